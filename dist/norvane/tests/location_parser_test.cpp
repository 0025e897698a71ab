// The location parser: each rule on the texts these databases write (both styles, provinces with
// and without suffixes, municipalities, districts that hold a suffix character, countries by the
// longest name, texts that name no place, the ISP), and that any bytes at all give valid UTF-8
// without a crash.
#include "reader/location_parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "reader/text_codec.h"
#include "reader/utf8_text.h"
#include "tests/real_shaped_texts.h"
#include "tests/source_builder.h"

namespace {

struct Case {
    const char* country_text;
    const char* area_text;
    const char* code;
    const char* country;
    const char* province;
    const char* city;
    const char* district;
    const char* isp;
};

void expect_parsed(const Case& c) {
    ParsedLocation p;
    parse_location(c.country_text, c.area_text, &p);
    SCOPED_TRACE(std::string(c.country_text) + " | " + c.area_text);
    EXPECT_EQ(p.country_code, c.code);
    EXPECT_EQ(p.country, c.country);
    EXPECT_EQ(p.province, c.province);
    EXPECT_EQ(p.city, c.city);
    EXPECT_EQ(p.district, c.district);
    EXPECT_EQ(p.isp, c.isp);
}

TEST(LocationParser, ChineseProvincesCitiesAndDistricts) {
    const Case cases[] = {
        {"广东省深圳市", "电信", "CN", "中国", "广东省", "深圳市", "", "电信"},
        {"广东省深圳市南山区科技园", "", "CN", "中国", "广东省", "深圳市", "南山区", ""},
        {"辽宁省铁岭市昌图县", "联通/力天网吧", "CN", "中国", "辽宁省", "铁岭市", "昌图县", "联通"},
        {"内蒙古呼伦贝尔市", "", "CN", "中国", "内蒙古自治区", "呼伦贝尔市", "", ""},
        {"内蒙古锡林郭勒盟", "", "CN", "中国", "内蒙古自治区", "锡林郭勒盟", "", ""},
        {"广西桂林市", "", "CN", "中国", "广西壮族自治区", "桂林市", "", ""},
        {"新疆阿克苏地区库车县", "", "CN", "中国", "新疆维吾尔自治区", "阿克苏地区", "库车县", ""},
        {"吉林省延边朝鲜族自治州延吉市", "", "CN", "中国", "吉林省", "延边朝鲜族自治州", "延吉市",
         ""},
        // 州 with 市 right behind it is one name.
        {"广东省广州市天河区", "", "CN", "中国", "广东省", "广州市", "天河区", ""},
        {"浙江省杭州市", "", "CN", "中国", "浙江省", "杭州市", "", ""},
        // Suffix characters inside district names.
        {"湖北省荆州市沙市区", "", "CN", "中国", "湖北省", "荆州市", "沙市区", ""},
        {"湖南省常德市津市市", "", "CN", "中国", "湖南省", "常德市", "津市市", ""},
        {"河南省新乡市辉县市", "", "CN", "中国", "河南省", "新乡市", "辉县市", ""},
        {"山东省济南市市中区", "", "CN", "中国", "山东省", "济南市", "市中区", ""},
        {"内蒙古呼伦贝尔市鄂温克族自治旗", "", "CN", "中国", "内蒙古自治区", "呼伦贝尔市",
         "鄂温克族自治旗", ""},
        // A county directly under its province has no city.
        {"海南省琼中县", "", "CN", "中国", "海南省", "", "琼中县", ""},
        // Municipalities are their own city.
        {"北京市", "", "CN", "中国", "北京市", "北京市", "", ""},
        {"北京市海淀区", "联通", "CN", "中国", "北京市", "北京市", "海淀区", "联通"},
        {"重庆市九龙坡区杨家坪", "", "CN", "中国", "重庆市", "重庆市", "九龙坡区", ""},
        {"上海浦东新区", "", "CN", "中国", "上海市", "上海市", "浦东新区", ""},
        // Short names and wrong suffixes get the full name.
        {"广西", "", "CN", "中国", "广西壮族自治区", "", "", ""},
        {"内蒙古", "", "CN", "中国", "内蒙古自治区", "", "", ""},
        {"广西省南宁市", "", "CN", "中国", "广西壮族自治区", "南宁市", "", ""},
        {"宁夏自治区银川市", "", "CN", "中国", "宁夏回族自治区", "银川市", "", ""},
        {"中国广东省深圳市", "", "CN", "中国", "广东省", "深圳市", "", ""},
        {"  广东省 深圳市  ", "", "CN", "中国", "广东省", "深圳市", "", ""},
        {"中国", "", "CN", "中国", "", "", "", ""},
        // A full province name followed by no city or district is still the province.
        {"广东省华南理工大学", "教育网", "CN", "中国", "广东省", "", "", "教育网"},
        // What follows a street number stays in the raw text only.
        {"福建省厦门市嘉禾路610-614号", "", "CN", "中国", "福建省", "厦门市", "", ""},
        // A short name followed by neither a city nor a district is not placed.
        {"四川大学", "教育网", "", "", "", "", "", "教育网"},
        {"重庆工学院", "", "", "", "", "", "", ""},
        {"吉林市", "", "", "", "", "", "", ""},
        {"深圳市", "", "", "", "", "", "", ""},
    };
    for (const Case& c : cases)
        expect_parsed(c);
}

TEST(LocationParser, DelimitedStyleOnlyAfterACountry) {
    const Case cases[] = {
        {"中国–广东–深圳", "电信", "CN", "中国", "广东省", "深圳", "", "电信"},
        {"中国-广东-深圳-南山区", "", "CN", "中国", "广东省", "深圳", "南山区", ""},
        {"中国|广西|桂林", "", "CN", "中国", "广西壮族自治区", "桂林", "", ""},
        {"中国–北京–北京–海淀区", "", "CN", "中国", "北京市", "北京市", "海淀区", ""},
        {"中国–北京市–朝阳区", "", "CN", "中国", "北京市", "北京市", "朝阳区", ""},
        {"中国–香港", "", "HK", "香港", "", "", "", ""},
        {"中国–台湾–台北", "", "TW", "台湾", "台北", "", "", ""},
        {"中国–火星", "", "CN", "中国", "", "", "", ""},
        {"美国–加利福尼亚州–洛杉矶", "", "US", "美国", "加利福尼亚州", "洛杉矶", "", ""},
        {"美国|纽约州|纽约|曼哈顿|时代广场", "", "US", "美国", "纽约州", "纽约", "曼哈顿|时代广场",
         ""},
        // Hyphens inside names: the first part is no country, so the text is run-together.
        {"法国普罗旺斯-阿尔卑斯-蓝色海岸", "", "FR", "法国", "普罗旺斯-阿尔卑斯-蓝色海岸", "", "",
         ""},
        {"广东–深圳", "", "", "", "", "", "", ""},
    };
    for (const Case& c : cases)
        expect_parsed(c);
}

TEST(LocationParser, OtherCountriesByTheLongestName) {
    const Case cases[] = {
        {"美国加利福尼亚州", "", "US", "美国", "加利福尼亚州", "", "", ""},
        {"日本东京都", "", "JP", "日本", "东京都", "", "", ""},
        {"韩国", "首尔", "KR", "韩国", "", "", "", "首尔"},
        {"印度尼西亚雅加达", "", "ID", "印度尼西亚", "雅加达", "", "", ""},
        {"印度", "", "IN", "印度", "", "", "", ""},
        {"几内亚比绍", "", "GW", "几内亚比绍", "", "", "", ""},
        {"几内亚", "", "GN", "几内亚", "", "", "", ""},
        {"阿拉伯联合酋长国迪拜", "", "AE", "阿联酋", "迪拜", "", "", ""},
        {"美国 加利福尼亚州 洛杉矶 山景城 某街", "Google", "US", "美国", "加利福尼亚州", "洛杉矶",
         "山景城 某街", "Google"},
        // Regions of their own, not provinces.
        {"香港", "", "HK", "香港", "", "", "", ""},
        {"澳门", "", "MO", "澳门", "", "", "", ""},
        {"台湾", "", "TW", "台湾", "", "", "", ""},
        {"台湾省台北市", "", "TW", "台湾", "台北市", "", "", ""},
        {"中国香港", "", "HK", "香港", "", "", "", ""},
        {"英国伦敦", "", "GB", "英国", "伦敦", "", "", ""},
        {"Australia", "", "", "", "", "", "", ""},
    };
    for (const Case& c : cases)
        expect_parsed(c);
}

TEST(LocationParser, TextsThatNameNoPlaceAndTheIsp) {
    const Case cases[] = {
        {"局域网", "对方和您在同一内部网", "", "", "", "", "", "对方和您在同一内部网"},
        {"本机地址", " CZ88.NET", "", "", "", "", "", ""},
        {"IANA保留地址", "  CZ88.NET  ", "", "", "", "", "", ""},
        {"亚太地区", "", "", "", "", "", "", ""},
        {"北美地区", "", "", "", "", "", "", ""},
        {"欧洲地区", "", "", "", "", "", "", ""},
        {"欧洲", "", "", "", "", "", "", ""},
        {"欧盟", "", "", "", "", "", "", ""},
        {"纯真网络", "2026年12月07日IP数据", "", "", "", "", "", "2026年12月07日IP数据"},
        {"", "", "", "", "", "", "", ""},
        {"   ", " \t ", "", "", "", "", "", ""},
        {"美国", "CZ88.NET", "US", "美国", "", "", "", ""},
        {"美国", " Microsoft / Azure ", "US", "美国", "", "", "", "Microsoft"},
        {"美国", "/Azure", "US", "美国", "", "", "", ""},
        {"北京市", "\xe3\x80\x80联通\xe3\x80\x80", "CN", "中国", "北京市", "北京市", "", "联通"},
        {"北京市", "CZ88.NET/x", "CN", "中国", "北京市", "北京市", "", ""},
    };
    for (const Case& c : cases)
        expect_parsed(c);
}

bool valid_utf8(const std::string& text) {
    for (size_t at = 0; at < text.size();) {
        size_t length = utf8_char_length(text, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

size_t char_count(const std::string& text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); at += utf8_char_length(text, at))
        ++count;
    return count;
}

TEST(LocationParser, InvalidBytesBecomeReplacementCharacters) {
    const Case cases[] = {
        {"美国\xff加州", "\xc0\xaf联通", "US", "美国", "\xef\xbf\xbd加州", "", "",
         "\xef\xbf\xbd\xef\xbf\xbd联通"},
        {"广东省深圳市\xe6\xb7", "\xed\xa0\x80", "CN", "中国", "广东省", "深圳市", "",
         "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"\xe4\xb8", "x", "", "", "", "", "", "x"},
    };
    for (const Case& c : cases)
        expect_parsed(c);
}

std::string place_text(const ParsedLocation& p) {
    return p.country_code + "|" + p.country + "|" + p.province + "|" + p.city + "|" + p.district +
           "|" + p.isp;
}

TEST(LocationParser, AnyBytesGiveValidFieldsAndShortDistricts) {
    std::mt19937 random(18);
    const std::string pieces[] = {"广东省", "北京", "市",   "区", "县",       "州",
                                  "地区",   "中国", "–",    "-",  "|",        " ",
                                  "美国",   "\xff", "\xe5", "/",  "CZ88.NET", "旗"};
    for (int i = 0; i < 20000; ++i) {
        std::string texts[2];
        for (std::string& t : texts) {
            size_t n = random() % 24;
            for (size_t k = 0; k < n; ++k) {
                if (random() % 2 == 0)
                    t += pieces[random() % (sizeof pieces / sizeof pieces[0])];
                else
                    t += char(random() % 256);
            }
        }
        ParsedLocation p;
        parse_location(texts[0], texts[1], &p);
        for (const std::string* field :
             {&p.country_code, &p.country, &p.province, &p.city, &p.district, &p.isp})
            ASSERT_TRUE(valid_utf8(*field)) << texts[0] << " | " << texts[1];
        if (p.country_code == "CN") {
            ASSERT_LE(char_count(p.district), 8u) << texts[0];
        }
        // Each text's fields depend on that text alone (callers cache them per text).
        ParsedLocation country_only, area_only;
        parse_location(texts[0], "", &country_only);
        parse_location("", texts[1], &area_only);
        country_only.isp = area_only.isp;
        ASSERT_EQ(place_text(p), place_text(country_only)) << texts[0] << " | " << texts[1];
    }
    // Long texts: a province and then a great many suffix characters, or none.
    for (const std::string& filler : {std::string("区"), std::string("a"), std::string("\xff")}) {
        std::string text = "广东省";
        for (int k = 0; k < 100000; ++k)
            text += filler;
        ParsedLocation p;
        parse_location(text, text, &p);
        EXPECT_EQ(p.province, "广东省");
        EXPECT_LE(char_count(p.district), 8u);
        EXPECT_TRUE(valid_utf8(p.isp));
    }
}

// Every range of a generated real-shaped source, its GBK texts decoded as the reader does, gives
// the fields its texts were composed from; the shares of filled fields are printed.
TEST(LocationParser, RealShapedSourceRangesGiveTheFieldsTheirTextsSay) {
    std::vector<SimpleRange> ranges;
    generate_real_shaped_source(60000, 3, &ranges);
    std::map<std::string, ShapedText> countries, areas;
    for (uint32_t n = 0; n < 3000; ++n) {
        countries.emplace(shaped_country(n).gbk, shaped_country(n));
        areas.emplace(shaped_area(n).gbk, shaped_area(n));
    }
    TextDecoder decoder;
    ASSERT_TRUE(text_decoder_open(&decoder));
    const char* names[] = {"country_code", "country", "province", "city", "district", "isp"};
    size_t filled[6] = {};
    int failures = 0;
    for (const SimpleRange& r : ranges) {
        ASSERT_EQ(countries.count(r.country), 1u);
        ASSERT_EQ(areas.count(r.area), 1u);
        const ShapedText& c = countries[r.country];
        std::string country, area;
        decode_to_utf8(&decoder, r.country.data(), r.country.size(), &country);
        decode_to_utf8(&decoder, r.area.data(), r.area.size(), &area);
        ParsedLocation p;
        parse_location(country, area, &p);
        const std::string got[] = {p.country_code, p.country,  p.province,
                                   p.city,         p.district, p.isp};
        const std::string want[] = {c.code, c.country,  c.province,
                                    c.city, c.district, areas[r.area].isp};
        for (int k = 0; k < 6; ++k) {
            filled[k] += got[k].empty() ? 0 : 1;
            if (got[k] != want[k] && ++failures <= 10)
                ADD_FAILURE() << country << " | " << area << ": " << names[k] << " " << got[k]
                              << ", expected " << want[k];
        }
    }
    EXPECT_EQ(failures, 0);
    std::printf("real-shaped source, %zu ranges, fields filled:", ranges.size());
    for (int k = 0; k < 6; ++k)
        std::printf(" %s %.1f%%", names[k], 100.0 * double(filled[k]) / double(ranges.size()));
    std::printf("\n");
    for (size_t share : filled)
        EXPECT_GT(share, 0u); // every kind of text occurs
}

TEST(Utf8Text, CharacterLengthsFollowRfc3629) {
    struct {
        const char* bytes;
        size_t size;
        size_t length;
    } cases[] = {
        {"a", 1, 1},
        {"\xc3\xa9", 2, 2},
        {"\xe4\xb8\xad", 3, 3},
        {"\xf0\x9f\x98\x80", 4, 4},
        {"\xc0\xaf", 2, 0},         // overlong
        {"\xe0\x80\xaf", 3, 0},     // overlong
        {"\xed\xa0\x80", 3, 0},     // surrogate
        {"\xf4\x90\x80\x80", 4, 0}, // past U+10FFFF
        {"\xe4\xb8", 2, 0},         // cut short
        {"\x80", 1, 0},             // continuation byte
        {"\xe4\x41\xad", 3, 0},     // not a continuation
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8_char_length(std::string_view(c.bytes, c.size), 0), c.length) << c.bytes;
    std::string out;
    append_valid_utf8(std::string_view("a\xff\xe4\xb8\xad\xe4\xb8", 7), &out);
    EXPECT_EQ(out, "a\xef\xbf\xbd\xe4\xb8\xad\xef\xbf\xbd\xef\xbf\xbd");
}

} // namespace
