// Splits a range's two UTF-8 texts (country and area, as the qqwry-layout databases write them)
// into structured fields: ISO country code, country, province, city, district and ISP. Every
// field may be empty; a text that can't be placed is left unparsed rather than guessed.
//
// The country text comes in two styles. Run-together ("广东省深圳市南山区", "内蒙古呼伦贝尔市",
// "美国加利福尼亚州"): a province-level division of China by its full or short name (a wrong
// suffix too: 广西省), then the city (the first part ending in 市, 州, 盟 or 地区; a municipality
// is its own city), then the district (the longest part of 2 to 8 characters ending in 区, 县,
// 市 or 旗); or a country or region, the longest name that matches, then its province or state,
// city and district as written, separated by blanks. Delimited ("中国–广东–深圳", with an en
// dash, '-' or '|'), only when the first part is a country. Texts that name no place
// ("局域网", "IANA保留地址", "欧盟") give no country. Invalid UTF-8 bytes become U+FFFD, so every
// field is valid UTF-8.
#pragma once

#include <string>
#include <string_view>

struct ParsedLocation {
    std::string country_code; // ISO 3166-1 alpha-2 ("CN", "US", "HK"), or empty
    std::string country;      // "中国", "美国", ...
    std::string province;     // full name: "广东省", "广西壮族自治区", "北京市"
    std::string city;         // "深圳市"; for a municipality the same as the province
    std::string district;     // "南山区", "琼中县"
    std::string isp;          // the area text up to its first '/', trimmed; empty for " CZ88.NET"
};

// Fills *out (all fields replaced) from the two texts of one range, both UTF-8. The country
// fields depend on the country text alone, isp on the area text alone (callers may cache each).
void parse_location(std::string_view country_utf8, std::string_view area_utf8, ParsedLocation* out);
