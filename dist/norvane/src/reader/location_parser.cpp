#include "reader/location_parser.h"

#include <cstring>
#include <vector>

#include "reader/location_tables.h"
#include "reader/utf8_text.h"

// The texts are made valid UTF-8 first, so every step below moves by whole characters and every
// field is valid UTF-8 too. Names are compared byte by byte: a UTF-8 name that matches at a
// character boundary ends at one.

namespace {

using std::string_view;

bool starts_with(string_view text, string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(string_view text, string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

size_t char_length(string_view text, size_t at) {
    size_t length = utf8_char_length(text, at);
    return length != 0 ? length : 1;
}

const string_view kWideBlanks[] = {"\xC2\xA0", "\xE3\x80\x80"}; // no-break, ideographic space

bool is_ascii_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Bytes of the blank at the start of text, or 0.
size_t leading_blank(string_view text) {
    if (text.empty())
        return 0;
    if (is_ascii_blank(text[0]))
        return 1;
    for (string_view blank : kWideBlanks)
        if (starts_with(text, blank))
            return blank.size();
    return 0;
}

size_t trailing_blank(string_view text) {
    if (text.empty())
        return 0;
    if (is_ascii_blank(text.back()))
        return 1;
    for (string_view blank : kWideBlanks)
        if (ends_with(text, blank))
            return blank.size();
    return 0;
}

string_view skip_blanks(string_view text) {
    size_t n;
    while ((n = leading_blank(text)) != 0)
        text.remove_prefix(n);
    return text;
}

string_view trim_blanks(string_view text) {
    text = skip_blanks(text);
    size_t n;
    while ((n = trailing_blank(text)) != 0)
        text.remove_suffix(n);
    return text;
}

// The area up to its first '/', trimmed; the source's placeholder is no ISP.
string_view isp_of(string_view area) {
    string_view isp = trim_blanks(area.substr(0, area.find('/')));
    return isp == "CZ88.NET" ? string_view() : isp;
}

// Suffixes that follow a short province name in place of its own ("广西省" for 广西壮族自治区),
// longest first. "市" is not one: "吉林市" is a city, not the province 吉林省.
const string_view kWrongSuffixes[] = {"维吾尔族自治区", "维吾尔自治区", "壮族自治区",
                                      "回族自治区",     "自治区",       "省"};

struct ProvinceMatch {
    const ProvinceName* province = nullptr;
    size_t length = 0;       // bytes of text the name took
    bool bare_short = false; // the short name without any suffix
};

// The province-level division whose name starts text, the longest match.
bool match_province(string_view text, ProvinceMatch* match) {
    ProvinceTable table = province_names();
    *match = ProvinceMatch{};
    for (size_t i = 0; i < table.count; ++i) {
        const ProvinceName& p = table.entries[i];
        ProvinceMatch m;
        m.province = &p;
        if (starts_with(text, p.full)) {
            m.length = p.full.size();
        } else if (starts_with(text, p.short_name)) {
            m.length = p.short_name.size();
            m.bare_short = true;
            for (string_view suffix : kWrongSuffixes) {
                if (starts_with(text.substr(m.length), suffix)) {
                    m.length += suffix.size();
                    m.bare_short = false;
                    break;
                }
            }
        } else {
            continue;
        }
        if (m.length > match->length)
            *match = m;
    }
    return match->province != nullptr;
}

// The country or region whose written name starts text, the longest match; null for none.
const CountryName* match_country(string_view text) {
    CountryTable table = country_names();
    const CountryName* best = nullptr;
    for (size_t i = 0; i < table.count; ++i) {
        const CountryName& c = table.entries[i];
        if (starts_with(text, c.written) &&
            (best == nullptr || c.written.size() > best->written.size()))
            best = &c;
    }
    return best;
}

const CountryName* exact_country(string_view text) {
    const CountryName* c = match_country(text);
    return c != nullptr && c->written.size() == text.size() ? c : nullptr;
}

bool is_code(const CountryName* c, const char* code) {
    return std::strcmp(c->code, code) == 0;
}

bool is_own_region(const CountryName* c) {
    return is_code(c, "HK") || is_code(c, "MO") || is_code(c, "TW");
}

bool is_char(string_view text, size_t at, string_view ch) {
    return text.compare(at, ch.size(), ch) == 0;
}

// Bytes of the city that starts text: up to the first 市, 州, 盟 or 地区 after at least one
// character (州 and a 市 right behind it are one name: 广州市). 0 when a blank or a district's
// ending (区, 县, 旗) comes first: a county directly under its province has no city.
size_t city_length(string_view text) {
    size_t at = 0;
    for (int chars = 0; at < text.size(); ++chars) {
        if (leading_blank(text.substr(at)) != 0)
            return 0;
        if (chars >= 1) {
            if (is_char(text, at, "地区"))
                return at + std::strlen("地区");
            if (is_char(text, at, "州")) {
                size_t end = at + std::strlen("州");
                return is_char(text, end, "市") ? end + std::strlen("市") : end;
            }
            if (is_char(text, at, "市") || is_char(text, at, "盟"))
                return at + std::strlen("市");
        }
        if (is_char(text, at, "区") || is_char(text, at, "县") || is_char(text, at, "旗"))
            return 0;
        at += char_length(text, at);
    }
    return 0;
}

// Bytes of the district that starts text: the longest part of 2 to 8 characters ending in 区,
// 县, 市 or 旗 (so 沙市区 and 津市市 stay whole); 0 for none.
size_t district_length(string_view text) {
    const int kMaxChars = 8;
    size_t at = 0, best = 0;
    for (int chars = 1; chars <= kMaxChars && at < text.size(); ++chars) {
        if (leading_blank(text.substr(at)) != 0)
            break;
        size_t length = char_length(text, at);
        string_view ch = text.substr(at, length);
        at += length;
        if (chars >= 2 && (ch == "区" || ch == "县" || ch == "市" || ch == "旗"))
            best = at;
    }
    return best;
}

void set_country(const CountryName* c, ParsedLocation* out) {
    out->country_code = c->code;
    out->country = std::string(c->name);
}

void set_china(ParsedLocation* out) {
    out->country_code = "CN";
    out->country = "中国";
}

// Run-together text that starts with a province-level division. False, with nothing filled,
// for a bare short name followed by neither a city nor a district ("四川大学").
bool place_in_province(string_view text, const ProvinceMatch& match, ParsedLocation* out) {
    const ProvinceName& p = *match.province;
    string_view rest = skip_blanks(text.substr(match.length));
    string_view city, district;
    if (p.municipality) {
        district = rest.substr(0, district_length(rest));
    } else {
        city = rest.substr(0, city_length(rest));
        string_view after = skip_blanks(rest.substr(city.size()));
        district = after.substr(0, district_length(after));
    }
    if (match.bare_short && !rest.empty() && city.empty() && district.empty())
        return false;
    set_china(out);
    out->province = std::string(p.full);
    out->city = std::string(p.municipality ? p.full : city);
    out->district = std::string(district);
    return true;
}

// Province or state, city, district of another country, as written: parts from `first` on;
// the district keeps everything after it too (nothing lost).
void place_abroad(const std::vector<string_view>& parts, size_t first, string_view text,
                  ParsedLocation* out) {
    std::string* fields[] = {&out->province, &out->city};
    size_t k = first;
    for (std::string* field : fields) {
        if (k < parts.size())
            *field = std::string(parts[k++]);
    }
    if (k < parts.size()) {
        const char* from = parts[k].data();
        out->district =
            std::string(trim_blanks(string_view(from, size_t(text.data() + text.size() - from))));
    }
}

// Splits text at every `delimiter`, each part trimmed.
std::vector<string_view> split(string_view text, string_view delimiter) {
    std::vector<string_view> parts;
    size_t begin = 0;
    for (;;) {
        size_t end = text.find(delimiter, begin);
        parts.push_back(
            trim_blanks(text.substr(begin, end == string_view::npos ? end : end - begin)));
        if (end == string_view::npos)
            return parts;
        begin = end + delimiter.size();
    }
}

// The delimited style ("中国–广东–深圳", also with '-' or '|'), only when the first part is a
// country: hyphens occur inside names too ("法国普罗旺斯-阿尔卑斯-蓝色海岸").
bool parse_delimited(string_view text, ParsedLocation* out) {
    string_view delimiter;
    for (size_t at = 0; at < text.size() && delimiter.empty(); at += char_length(text, at)) {
        if (text[at] == '-' || text[at] == '|')
            delimiter = text.substr(at, 1);
        else if (is_char(text, at, "–"))
            delimiter = text.substr(at, std::strlen("–"));
    }
    if (delimiter.empty())
        return false;
    std::vector<string_view> parts = split(text, delimiter);
    const CountryName* country = exact_country(parts[0]);
    if (country == nullptr)
        return false;
    size_t next = 1;
    if (is_code(country, "CN") && parts.size() > 1) {
        const CountryName* region = exact_country(parts[1]);
        ProvinceMatch match;
        if (region != nullptr && is_own_region(region)) {
            country = region;
            next = 2;
        } else if (match_province(parts[1], &match) && match.length == parts[1].size()) {
            const ProvinceName& p = *match.province;
            set_china(out);
            out->province = std::string(p.full);
            size_t k = 2;
            if (p.municipality) {
                out->city = std::string(p.full);
                if (k < parts.size() && (parts[k] == p.full || parts[k] == p.short_name))
                    ++k;
            } else if (k < parts.size()) {
                out->city = std::string(parts[k++]);
            }
            if (k < parts.size())
                out->district = std::string(parts[k]);
            return true;
        } else {
            set_china(out);
            return true;
        }
    }
    set_country(country, out);
    if (!is_code(country, "CN"))
        place_abroad(parts, next, text, out);
    return true;
}

// Blank-separated parts of what follows a country name.
std::vector<string_view> blank_parts(string_view text) {
    std::vector<string_view> parts;
    text = trim_blanks(text);
    while (!text.empty()) {
        size_t at = 0;
        while (at < text.size() && leading_blank(text.substr(at)) == 0)
            at += char_length(text, at);
        parts.push_back(text.substr(0, at));
        text = skip_blanks(text.substr(at));
    }
    return parts;
}

void parse_run_together(string_view text, ParsedLocation* out) {
    ProvinceMatch match;
    if (match_province(text, &match)) {
        place_in_province(text, match, out);
        return;
    }
    const CountryName* country = match_country(text);
    if (country == nullptr)
        return;
    string_view rest = trim_blanks(text.substr(country->written.size()));
    if (is_code(country, "CN")) {
        if (match_province(rest, &match) && place_in_province(rest, match, out))
            return;
        const CountryName* region = match_country(rest);
        if (region == nullptr || !is_own_region(region)) {
            set_china(out);
            return;
        }
        country = region;
        rest = trim_blanks(rest.substr(region->written.size()));
    }
    set_country(country, out);
    place_abroad(blank_parts(rest), 0, rest, out);
}

} // namespace

void parse_location(std::string_view country_utf8, std::string_view area_utf8,
                    ParsedLocation* out) {
    *out = ParsedLocation{};
    std::string country, area;
    append_valid_utf8(country_utf8, &country);
    append_valid_utf8(area_utf8, &area);
    out->isp = std::string(isp_of(area));
    string_view text = trim_blanks(country);
    if (text.empty() || is_non_geographic(text))
        return;
    if (!parse_delimited(text, out))
        parse_run_together(text, out);
}
