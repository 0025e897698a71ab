// The pieces of norvane-query below its commands that its command-line test reaches poorly:
// address text, GB18030 decoding, the stats figures for overlapping and complete coverage, and
// JSON strings for every byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/db_builder.h"
#include "common/db_layout.h"
#include "reader/db_stats.h"
#include "reader/ipv4_text.h"
#include "reader/text_codec.h"
#include "query/json_writer.h"

namespace {

bool parse(const char* text, uint32_t* address) {
    return parse_ipv4(text, std::strlen(text), address);
}

std::string decode(const std::string& bytes, bool* four_byte = nullptr) {
    TextDecoder decoder;
    EXPECT_TRUE(text_decoder_open(&decoder));
    std::string out;
    decode_to_utf8(&decoder, bytes.data(), bytes.size(), &out);
    if (four_byte != nullptr)
        *four_byte = decoder.four_byte;
    return out;
}

} // namespace

TEST(Ipv4Text, ParsesDottedQuadsOnly) {
    uint32_t a = 0;
    EXPECT_TRUE(parse("1.2.3.4", &a));
    EXPECT_EQ(a, 0x01020304u);
    EXPECT_TRUE(parse("255.255.255.255", &a));
    EXPECT_EQ(a, 0xFFFFFFFFu);
    EXPECT_TRUE(parse("0.0.0.0", &a));
    EXPECT_EQ(a, 0u);
    EXPECT_TRUE(parse("100.10.0.9", &a));
    EXPECT_EQ(a, 0x640A0009u);
    // Leading zeros are refused: some tools read "010" as octal 8.
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.0.0.0", "1.2.3.4 ", " 1.2.3.4", "1..3.4",
                            "1.2.3.", "0001.2.3.4", "a.b.c.d", "1.2.3.-4", "4294967295",
                            "010.0.0.1", "1.00.0.1", "1.2.3.04", "00.0.0.0"})
        EXPECT_FALSE(parse(bad, &a)) << bad;
}

TEST(Ipv4Text, FormatsEveryOctetWidth) {
    char text[kIpv4TextSize];
    EXPECT_EQ(format_ipv4(0x01020304u, text), 7u);
    EXPECT_STREQ(text, "1.2.3.4");
    format_ipv4(0xFFFFFFFFu, text);
    EXPECT_STREQ(text, "255.255.255.255");
    format_ipv4(0x0A64C800u, text);
    EXPECT_STREQ(text, "10.100.200.0");
    uint32_t back = 0;
    for (uint32_t a : {0u, 0x7F000001u, 0xC0A80A0Au, 0x08080808u}) {
        size_t n = format_ipv4(a, text);
        ASSERT_TRUE(parse_ipv4(text, n, &back));
        EXPECT_EQ(back, a);
    }
}

TEST(TextCodec, GbkBytesBecomeUtf8) {
    EXPECT_EQ(decode("plain ASCII"), "plain ASCII");
    EXPECT_EQ(decode("\xD6\xD0\xB9\xFA"), "\xE4\xB8\xAD\xE5\x9B\xBD"); // China
    EXPECT_EQ(decode("\xB1\xB1\xBE\xA9\xCA\xD0 CZ88.NET"), "\xE5\x8C\x97\xE4\xBA\xAC"
                                                           "\xE5\xB8\x82 CZ88.NET"); // Beijing
    EXPECT_EQ(decode(""), "");
}

TEST(TextCodec, FourByteCharactersWhereThePlatformHasGb18030) {
    // Windows without the GB18030 code page falls back to GBK: one U+FFFD per such character.
    bool four_byte = false;
    std::string got = decode("x\x81\x30\x81\x30y", &four_byte);
    EXPECT_EQ(got, four_byte ? "x\xC2\x80y" : "x\xEF\xBF\xBDy");
}

TEST(TextCodec, InvalidBytesAreReplacedAndDecodingGoesOn) {
    // 0xFF is no lead byte; 0xD6 at the end lacks its second byte.
    EXPECT_EQ(decode("a\xFF"
                     "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(decode("\xD6\xD0\xD6"), "\xE4\xB8\xAD\xEF\xBF\xBD");
}

TEST(DbStats, CoverageCountsOverlapsOnceAndSkipsReversedRanges) {
    std::vector<uint8_t> bytes =
        build_db(db_layout::kFormatOld,
                 {{100, 199, 0, 1},
                  {0, 9, 2, 1},
                  {150, 249, 0, 1},
                  {10, 10, 2, 2},
                  {500, 400, 3, 3},
                  {0xFFFFFF00, 0xFFFFFFFF, 2, 1}},
                 {"long country", "", "C", "never used by a covering range"});
    NorvaneDb db;
    DbError error;
    ASSERT_EQ(db_open_memory(bytes.data(), bytes.size(), &db, &error), DB_OK);
    DbStats stats;
    ASSERT_TRUE(compute_db_stats(&db, 2, &stats));
    EXPECT_EQ(stats.covered_addresses, 150u + 11u + 256u);
    EXPECT_EQ(stats.empty_ranges, 1u);
    EXPECT_EQ(stats.used_texts, 4u);
    EXPECT_EQ(stats.distinct_countries, 3u); // 0, 2, 3
    EXPECT_EQ(stats.distinct_areas, 3u);     // 1, 2, 3
    EXPECT_EQ(stats.longest_texts, (std::vector<uint32_t>{3, 0}));
}

TEST(DbStats, WholeAddressSpace) {
    std::vector<uint8_t> bytes = build_db(
        db_layout::kFormatNew, {{0, 0x7FFFFFFF, 0, 0}, {0x80000000, 0xFFFFFFFF, 0, 0}}, {"all"});
    NorvaneDb db;
    DbError error;
    ASSERT_EQ(db_open_memory(bytes.data(), bytes.size(), &db, &error), DB_OK);
    DbStats whole;
    ASSERT_TRUE(compute_db_stats(&db, 1, &whole));
    EXPECT_EQ(whole.covered_addresses, uint64_t(1) << 32);
}

TEST(JsonWriter, EscapesWhatRfc8259RequiresAndRepairsUtf8) {
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"", "\"\""},
        {"say \"hi\" \\ /", "\"say \\\"hi\\\" \\\\ /\""},
        {std::string("\0\x01\t\n\x1f\x7f", 6), "\"\\u0000\\u0001\\u0009\\u000a\\u001f\x7f\""},
        {"\xe4\xb8\xad\xf0\x9f\x98\x80", "\"\xe4\xb8\xad\xf0\x9f\x98\x80\""},
        {"a\xff\xe4\xb8\"", "\"a\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\\\"\""},
        {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        append_json_string(&out, c.text);
        EXPECT_EQ(out, "x" + c.json) << c.text;
    }
}
