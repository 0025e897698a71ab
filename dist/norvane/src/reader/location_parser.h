// Splits a range's two UTF-8 texts (country and area, as the qqwry-layout databases write them)
// into structured fields: ISO country code, country, province, city, district and ISP. Every
// field may be empty; a text that can't be placed is left unparsed rather than guessed.
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

// Fills *out (all fields replaced) from the two texts of one range, both UTF-8.
void parse_location(std::string_view country_utf8, std::string_view area_utf8, ParsedLocation* out);
