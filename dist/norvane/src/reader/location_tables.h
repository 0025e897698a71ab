// The names the location parser knows, as the qqwry-layout databases write them (UTF-8): China's
// province-level divisions, the countries and regions with their ISO 3166-1 alpha-2 codes, and
// the texts that name no place at all.
#pragma once

#include <cstddef>
#include <string_view>

struct ProvinceName {
    std::string_view full;       // "广西壮族自治区"
    std::string_view short_name; // "广西": the full name without its suffix
    bool municipality;           // 北京, 天津, 上海, 重庆: the province is its own city
};

struct CountryName {
    std::string_view written; // as the texts spell it: "台湾省", "阿拉伯联合酋长国"
    std::string_view name;    // the name given out: "台湾", "阿联酋"
    const char* code;         // "TW", "AE"
};

struct ProvinceTable {
    const ProvinceName* entries;
    size_t count;
};

struct CountryTable {
    const CountryName* entries;
    size_t count;
};

// The 31 province-level divisions of the mainland (香港, 澳门 and 台湾 are countries here).
ProvinceTable province_names();

// Countries and regions, 中国 among them; several spellings of one country are entries of
// their own. No entry is another's prefix unless the longer one must win (印度尼西亚, 印度).
CountryTable country_names();

// True for a whole text that names no place: "局域网", "IANA保留地址", "亚太地区", "欧盟", the
// source's version record ("纯真网络"), ...
bool is_non_geographic(std::string_view text);
