// The export formats, built in memory from databases made here and read back by small readers
// of their own (tests/mmdb_check.h for MaxMind DB, an ip2region-style search for xdb). What
// every address should give comes from the reader: db_lookup, the text codec and the location
// parser, never from fields written into the test.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "common/db_layout.h"
#include "export/cidr.h"
#include "export/csv_format.h"
#include "export/export_model.h"
#include "export/mmdb_data.h"
#include "export/mmdb_format.h"
#include "export/xdb_format.h"
#include "reader/db_reader.h"
#include "reader/location_parser.h"
#include "reader/text_codec.h"
#include "tests/db_builder.h"
#include "tests/mmdb_check.h"

namespace {

const char kChina[] = "\xd6\xd0\xb9\xfa";                                    // 中国
const char kBeijing[] = "\xb1\xb1\xbe\xa9\xca\xd0";                          // 北京市
const char kShenzhen[] = "\xb9\xe3\xb6\xab\xca\xa1\xc9\xee\xdb\xda\xca\xd0"; // 广东省深圳市
const char kTelecom[] = "\xb5\xe7\xd0\xc5";                                  // 电信
const char kUsa[] = "\xc3\xc0\xb9\xfa";                                      // 美国
const char kLan[] = "\xbe\xd6\xd3\xf2\xcd\xf8";                              // 局域网

uint32_t ip(int a, int b, int c, int d) {
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | uint32_t(d);
}

std::string bytes_of(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s.push_back(char(b));
    return s;
}

std::string utf8(const char* gbk) {
    TextDecoder decoder;
    EXPECT_TRUE(text_decoder_open(&decoder));
    std::string out;
    decode_to_utf8(&decoder, gbk, std::strlen(gbk), &out);
    return out;
}

// What an export must give for an address: the reader's answer, decoded and parsed.
struct Expected {
    bool found = false;
    std::string raw_country, raw_area;
    ParsedLocation parsed;
};

Expected expected_at(const NorvaneDb& db, uint32_t address) {
    Expected e;
    DbLocation location;
    e.found = db_lookup(&db, address, &location);
    if (e.found) {
        e.raw_country = utf8(location.country);
        e.raw_area = utf8(location.area);
        parse_location(e.raw_country, e.raw_area, &e.parsed);
    }
    return e;
}

// The addresses worth asking about: every range's edges and their neighbours, and the ends.
std::vector<uint32_t> probes(const NorvaneDb& db) {
    std::vector<uint32_t> out{0, 1, UINT32_MAX - 1, UINT32_MAX, ip(0x20, 2, 0, 0)};
    for (uint32_t i = 0; i < db.range_count; ++i) {
        DbRange r = db_range(&db, i);
        for (uint32_t a :
             {r.start_ip - 1, r.start_ip, r.start_ip + 1, r.end_ip - 1, r.end_ip, r.end_ip + 1})
            out.push_back(a);
    }
    return out;
}

struct DbCase {
    const char* name;
    int32_t version;
    std::vector<TextRange> ranges; // in file order; overlaps resolved as lookups do
};

std::vector<DbCase> db_cases() {
    return {
        {"sorted with gaps",
         db_layout::kFormatNew,
         {{ip(1, 0, 0, 0), ip(1, 0, 0, 255), kChina, kBeijing},
          {ip(1, 0, 1, 0), ip(1, 2, 255, 7), kShenzhen, kTelecom},
          {ip(1, 2, 255, 8), ip(1, 2, 255, 8), kUsa, ""},
          {ip(10, 0, 0, 1), ip(10, 255, 255, 254), kLan, ""},
          {ip(200, 0, 0, 0), ip(255, 255, 255, 255), kChina, " CZ88.NET"}}},
        {"the whole space", db_layout::kFormatOld, {{0, UINT32_MAX, kChina, kTelecom}}},
        {"overlapping, out of order",
         db_layout::kFormatNew,
         {{ip(5, 0, 0, 0), ip(5, 0, 0, 200), kUsa, kTelecom},
          {ip(4, 255, 255, 0), ip(5, 0, 1, 0), kShenzhen, ""},
          {ip(5, 0, 0, 100), ip(5, 0, 0, 50), kChina, ""}, // covers nothing
          {0, 0, kLan, ""},
          {ip(5, 0, 0, 150), ip(9, 0, 0, 0), kBeijing, kBeijing}}},
        {"nothing at all", db_layout::kFormatNew, {}},
    };
}

struct OpenCase {
    std::vector<uint8_t> bytes;
    NorvaneDb db;
    ExportModel model;
};

void open_case(const DbCase& c, OpenCase* open) {
    open->bytes = build_db_from_texts(c.version, c.ranges);
    DbError error;
    ASSERT_EQ(db_open_memory(open->bytes.data(), open->bytes.size(), &open->db, &error), DB_OK)
        << db_error_message(error);
    ASSERT_TRUE(build_export_model(&open->db, &open->model));
}

} // namespace

TEST(Cidr, RangesSplitIntoTheFewestBlocks) {
    struct Case {
        uint32_t start, end;
        std::vector<std::string> blocks;
    };
    const Case cases[] = {
        {0, UINT32_MAX, {"0.0.0.0/0"}},
        {0, 0, {"0.0.0.0/32"}},
        {UINT32_MAX, UINT32_MAX, {"255.255.255.255/32"}},
        {ip(1, 2, 3, 4), ip(1, 2, 3, 4), {"1.2.3.4/32"}},
        {ip(1, 0, 0, 1), ip(1, 0, 0, 6), {"1.0.0.1/32", "1.0.0.2/31", "1.0.0.4/31", "1.0.0.6/32"}},
        {ip(128, 0, 0, 0), UINT32_MAX, {"128.0.0.0/1"}},
        {ip(10, 0, 0, 0), ip(10, 1, 0, 0), {"10.0.0.0/16", "10.1.0.0/32"}},
        {ip(9, 255, 255, 255), ip(10, 0, 0, 0), {"9.255.255.255/32", "10.0.0.0/32"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for_each_cidr_block(c.start, c.end,
                            [&](const CidrBlock& b) { got.push_back(cidr_text(b)); });
        EXPECT_EQ(got, c.blocks) << c.start << "-" << c.end;
    }
    // Any range: aligned blocks that cover it exactly, no two neighbours that would join.
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        uint32_t a = uint32_t(random()), b = uint32_t(random()) >> (random() % 32);
        uint32_t start = i % 2 ? a : a & ~0xFFFFu, end = start + b < start ? UINT32_MAX : start + b;
        uint64_t next = start;
        CidrBlock previous{0, 99};
        for_each_cidr_block(start, end, [&](const CidrBlock& block) {
            uint64_t size = uint64_t(1) << (32 - block.prefix_length);
            EXPECT_EQ(block.base, next);
            EXPECT_EQ(block.base % size, 0u);
            bool joins =
                previous.prefix_length == block.prefix_length && previous.base % (2 * size) == 0;
            EXPECT_FALSE(joins) << cidr_text(previous) << " " << cidr_text(block);
            previous = block;
            next = block.base + size;
        });
        EXPECT_EQ(next, uint64_t(end) + 1);
    }
}

TEST(MmdbData, ControlBytesAndPointers) {
    struct Control {
        MmdbType type;
        size_t size;
        std::string bytes;
    };
    const Control controls[] = {
        {MMDB_STRING, 0, bytes_of({0x40})},
        {MMDB_STRING, 28, bytes_of({0x5C})},
        {MMDB_STRING, 29, bytes_of({0x5D, 0x00})},
        {MMDB_STRING, 284, bytes_of({0x5D, 0xFF})},
        {MMDB_STRING, 285, bytes_of({0x5E, 0x00, 0x00})},
        {MMDB_STRING, 65820, bytes_of({0x5E, 0xFF, 0xFF})},
        {MMDB_STRING, 65821, bytes_of({0x5F, 0x00, 0x00, 0x00})},
        {MMDB_MAP, 3, bytes_of({0xE3})},
        {MMDB_UINT16, 2, bytes_of({0xA2})},
        {MMDB_UINT32, 4, bytes_of({0xC4})},
        {MMDB_UINT64, 8, bytes_of({0x08, 0x02})},
        {MMDB_ARRAY, 30, bytes_of({0x1D, 0x04, 0x01})},
    };
    for (const Control& c : controls) {
        std::string out;
        mmdb_append_control(&out, c.type, c.size);
        EXPECT_EQ(out, c.bytes) << int(c.type) << " " << c.size;
    }
    struct Pointer {
        uint32_t offset;
        std::string bytes;
    };
    const Pointer pointers[] = {
        {0, bytes_of({0x20, 0x00})},
        {2047, bytes_of({0x27, 0xFF})},
        {2048, bytes_of({0x28, 0x00, 0x00})},
        {526335, bytes_of({0x2F, 0xFF, 0xFF})},
        {526336, bytes_of({0x30, 0x00, 0x00, 0x00})},
        {134744063, bytes_of({0x37, 0xFF, 0xFF, 0xFF})},
        {134744064, bytes_of({0x38, 0x08, 0x08, 0x08, 0x00})},
    };
    for (const Pointer& p : pointers) {
        std::string out;
        mmdb_append_pointer(&out, p.offset);
        EXPECT_EQ(out, p.bytes) << p.offset;
        EXPECT_EQ(mmdb_pointer_size(p.offset), p.bytes.size());
    }
    // Integers take the fewest bytes; sizes past a control byte's 28 read back whole.
    MmdbValue map;
    mmdb_put(&map, "zero", mmdb_unsigned(MMDB_UINT16, 0));
    mmdb_put(&map, "big", mmdb_unsigned(MMDB_UINT64, 0x123456789A));
    mmdb_put(&map, "long", mmdb_string(std::string(70000, 'x')));
    std::string plain;
    mmdb_append_plain(&plain, map);
    EXPECT_NE(plain.find(bytes_of({0x40 | 0x04, 'z', 'e', 'r', 'o', 0xA0})), std::string::npos);
    EXPECT_NE(plain.find(bytes_of({0x05, 0x02, 0x12, 0x34, 0x56, 0x78, 0x9A})), std::string::npos);
    MmdbFile file;
    file.data = reinterpret_cast<const uint8_t*>(plain.data());
    file.data_size = plain.size();
    MmdbDecoded decoded;
    std::string error;
    ASSERT_TRUE(mmdb_decode_at(file, 0, &decoded, &error)) << error;
    EXPECT_EQ(decoded.map["big"].number, 0x123456789Au);
    EXPECT_EQ(decoded.map["long"].text.size(), 70000u);
}

TEST(MmdbData, RepeatsAreStoredOnceBehindPointers) {
    ExportModel model;
    model.texts = {"", "CN", "中国", "北京市", "电信", "联通", "北京市电信", "北京市联通"};
    // code, country, province, city, district, isp, raw country, raw area
    model.locations = {{{1, 2, 3, 3, 0, 4, 2, 6}}, {{1, 2, 3, 3, 0, 5, 2, 7}}};
    MmdbRecordWriter writer;
    mmdb_record_writer_init(&writer, {"zh-CN", "en"});
    uint32_t first = mmdb_write_location(&writer, model, model.locations[0]);
    size_t first_size = writer.bytes.size();
    uint32_t second = mmdb_write_location(&writer, model, model.locations[1]);
    size_t second_size = writer.bytes.size() - first_size;
    EXPECT_LT(second_size * 2, first_size); // the country, city and subdivisions are pointers
    auto count = [&](const std::string& needle) {
        size_t n = 0;
        for (size_t at = writer.bytes.find(needle); at != std::string::npos;
             at = writer.bytes.find(needle, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("names"), 1u);
    EXPECT_EQ(count("北京市"), 1u + 2); // the value once, and inside both raw areas
    MmdbFile file;
    file.data = reinterpret_cast<const uint8_t*>(writer.bytes.data());
    file.data_size = writer.bytes.size();
    for (auto [offset, location] : {std::pair<uint32_t, size_t>{first, 0}, {second, 1}}) {
        const ExportLocation& l = model.locations[location];
        MmdbDecoded record;
        std::string error;
        ASSERT_TRUE(mmdb_decode_at(file, offset, &record, &error)) << error;
        EXPECT_EQ(mmdb_string_at(record, {"country", "iso_code"}), "CN");
        EXPECT_EQ(mmdb_string_at(record, {"country", "names", "zh-CN"}), "中国");
        EXPECT_EQ(mmdb_string_at(record, {"subdivisions", "0", "names", "en"}), "北京市");
        EXPECT_EQ(mmdb_string_at(record, {"city", "names", "zh-CN"}), "北京市");
        EXPECT_EQ(mmdb_string_at(record, {"isp"}), field_text(model, l, FIELD_ISP));
        EXPECT_EQ(mmdb_string_at(record, {"raw", "area"}), field_text(model, l, FIELD_RAW_AREA));
        EXPECT_EQ(mmdb_string_at(record, {"raw", "country"}), "中国");
        EXPECT_EQ(record.map.count("district"), 0u); // empty: left out
        EXPECT_EQ(record.map.size(), 5u);
    }
}

TEST(Mmdb, RecordSizeIsTheSmallestThatHoldsEveryValue) {
    struct Case {
        uint64_t nodes, data;
        uint32_t bits;
    };
    const Case cases[] = {
        {124, 0, 24},
        {(1u << 24) - 17, 0, 24},
        {(1u << 24) - 16, 0, 28},
        {1000, (1u << 24) - 1016, 28},
        {(1u << 28) - 17, 0, 28},
        {(1u << 28) - 16, 0, 32},
        {(uint64_t(1) << 32) - 17, 0, 32},
        {(uint64_t(1) << 32) - 16, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mmdb_record_size(c.nodes, c.data), c.bits) << c.nodes << " " << c.data;
}

// Every case at every record size: the file checks out, every probe gives the reader's answer
// in both IPv4 forms and through 2002::/16, and the metadata says what was asked.
TEST(Mmdb, LookupsGiveWhatTheReaderGives) {
    for (const DbCase& c : db_cases()) {
        OpenCase open;
        open_case(c, &open);
        for (uint32_t record_size : {0u, 28u, 32u}) {
            SCOPED_TRACE(std::string(c.name) + " record size " + std::to_string(record_size));
            MmdbOptions options{{"zh-CN", "en"}, "Norvane-City", 1700000000, record_size};
            ExportBytes bytes;
            ASSERT_EQ(build_mmdb(open.model, options, &bytes), EXPORT_OK);
            MmdbFile file;
            std::string error;
            ASSERT_TRUE(mmdb_check_open(bytes.data.get(), bytes.size, &file, &error)) << error;
            size_t records = 0;
            ASSERT_TRUE(mmdb_check_tree(file, &error, &records)) << error;
            EXPECT_EQ(file.record_size, record_size
                                            ? record_size
                                            : mmdb_record_size(file.node_count, file.data_size));
            EXPECT_EQ(file.ip_version, 6u);
            EXPECT_EQ(file.metadata.map["build_epoch"].number, 1700000000u);
            EXPECT_EQ(file.metadata.map["database_type"].text, "Norvane-City");
            EXPECT_EQ(file.metadata.map["languages"].array.size(), 2u);
            EXPECT_FALSE(mmdb_string_at(file.metadata, {"description", "zh-CN"}).empty());
            for (uint32_t address : probes(open.db)) {
                Expected e = expected_at(open.db, address);
                uint8_t forms[3][16];
                mmdb_ipv4_address(address, false, forms[0]);
                mmdb_ipv4_address(address, true, forms[1]);
                std::memset(forms[2], 0, 16); // 2002:aabb:ccdd:: (6to4)
                forms[2][0] = 0x20;
                forms[2][1] = 0x02;
                for (int i = 0; i < 4; ++i)
                    forms[2][2 + i] = uint8_t(address >> (24 - 8 * i));
                for (const auto& form : forms) {
                    MmdbDecoded record;
                    int prefix = 0;
                    bool found = mmdb_lookup(file, form, &record, &prefix);
                    ASSERT_EQ(found, e.found) << address;
                    if (!found)
                        continue;
                    EXPECT_EQ(mmdb_string_at(record, {"raw", "country"}), e.raw_country);
                    EXPECT_EQ(mmdb_string_at(record, {"raw", "area"}), e.raw_area);
                    EXPECT_EQ(mmdb_string_at(record, {"country", "iso_code"}),
                              e.parsed.country_code);
                    EXPECT_EQ(mmdb_string_at(record, {"country", "names", "en"}), e.parsed.country);
                    EXPECT_EQ(mmdb_string_at(record, {"subdivisions", "0", "names", "zh-CN"}),
                              e.parsed.province);
                    EXPECT_EQ(mmdb_string_at(record, {"city", "names", "en"}), e.parsed.city);
                    EXPECT_EQ(mmdb_string_at(record, {"district"}), e.parsed.district);
                    EXPECT_EQ(mmdb_string_at(record, {"isp"}), e.parsed.isp);
                }
            }
        }
    }
}

// An ip2region-style search over the file: the vector cell of the first two octets, then a
// binary search of its segments.
std::string xdb_search(const ExportBytes& xdb, uint32_t address, bool* found) {
    const uint8_t* b = xdb.data.get();
    const uint8_t* cell = b + 256 + (address >> 16) * 8;
    uint32_t first = load_le32(cell), last = load_le32(cell + 4);
    *found = false;
    if (first == 0 || last == 0)
        return "";
    int64_t low = 0, high = (last - first) / 14;
    while (low <= high) {
        int64_t middle = (low + high) / 2;
        const uint8_t* s = b + first + middle * 14;
        if (address < load_le32(s)) {
            high = middle - 1;
        } else if (address > load_le32(s + 4)) {
            low = middle + 1;
        } else {
            *found = true;
            return std::string(reinterpret_cast<const char*>(b + load_le32(s + 10)),
                               load_le16(s + 8));
        }
    }
    return "";
}

TEST(Xdb, SegmentsStopAtEachSlash16AndSearchesFindTheReadersAnswer) {
    for (const DbCase& c : db_cases()) {
        SCOPED_TRACE(c.name);
        OpenCase open;
        open_case(c, &open);
        ExportBytes xdb;
        ASSERT_EQ(build_xdb(open.model, 1700000000, &xdb), EXPORT_OK);
        const uint8_t* b = xdb.data.get();
        EXPECT_EQ(load_le16(b), 2u);
        EXPECT_EQ(load_le16(b + 2), 1u);
        EXPECT_EQ(load_le32(b + 4), 1700000000u);
        uint32_t start_index = load_le32(b + 8), end_index = load_le32(b + 12);
        if (!open.model.ranges.empty()) {
            EXPECT_EQ(end_index, xdb.size - 14);
        }
        for (uint32_t at = start_index; at + 14 <= xdb.size; at += 14)
            EXPECT_EQ(load_le32(b + at) >> 16, load_le32(b + at + 4) >> 16) << at;
        for (uint32_t address : probes(open.db)) {
            Expected e = expected_at(open.db, address);
            bool found = false;
            std::string region = xdb_search(xdb, address, &found);
            ASSERT_EQ(found, e.found) << address;
            if (found) {
                auto or0 = [](const std::string& f) { return f.empty() ? std::string("0") : f; };
                const ParsedLocation& p = e.parsed;
                EXPECT_EQ(region, or0(p.country) + "|0|" + or0(p.province) + "|" + or0(p.city) +
                                      "|" + or0(p.isp));
            }
        }
    }
    // 1.0.1.0-1.2.255.7 crosses two boundaries: three segments, one in each /16's cell.
    OpenCase open;
    open_case(db_cases()[0], &open);
    ExportBytes xdb;
    ASSERT_EQ(build_xdb(open.model, 0, &xdb), EXPORT_OK);
    for (uint32_t slash16 : {0x0100u, 0x0101u, 0x0102u}) {
        const uint8_t* cell = xdb.data.get() + 256 + slash16 * 8;
        const uint8_t* segment = xdb.data.get() + load_le32(cell + 4);
        EXPECT_EQ(load_le32(segment + 4),
                  slash16 == 0x0102 ? ip(1, 2, 255, 8) : (slash16 << 16 | 0xFFFF));
    }
    ExportModel empty;
    empty.texts = {""};
    EXPECT_EQ(xdb_region_text(empty, ExportLocation{}), "0|0|0|0|0");
}

TEST(Csv, FieldsAreQuotedOnlyWhereTheyMustBe) {
    struct Case {
        std::string field, written;
    };
    const Case cases[] = {
        {"plain", "plain"},       {"", ""},
        {"a,b", "\"a,b\""},       {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"a\r\nb", "\"a\r\nb\""}, {"line\n", "\"line\n\""},
        {"中国", "中国"},
    };
    for (const Case& c : cases) {
        std::string line;
        append_csv_value(&line, c.field);
        EXPECT_EQ(line, c.written);
    }
}

TEST(Csv, OneRowPerRangeOrPerNetwork) {
    OpenCase open;
    open_case(db_cases()[0], &open);
    for (bool cidr : {false, true}) {
        std::string text;
        ASSERT_TRUE(write_csv(open.model, cidr, [&](const std::string& piece) {
            text.append(piece);
            return true;
        }));
        std::vector<std::string> lines;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find("\r\n", at);
            ASSERT_NE(end, std::string::npos);
            lines.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        EXPECT_EQ(
            lines[0].rfind(cidr ? "network,country_code," : "start_ip,end_ip,country_code,", 0),
            0u);
        size_t rows = 0;
        for (const ExportRange& r : open.model.ranges)
            for_each_cidr_block(r.start_ip, r.end_ip, [&](const CidrBlock&) { ++rows; });
        EXPECT_EQ(lines.size() - 1, cidr ? rows : open.model.ranges.size());
        const ExportLocation& last = open.model.locations[open.model.ranges.back().location];
        EXPECT_EQ(lines.back().substr(lines.back().size() - 10), ", CZ88.NET"); // unquoted
        EXPECT_EQ(field_text(open.model, last, FIELD_RAW_AREA), " CZ88.NET");
    }
    auto refuse = [](const std::string&) { return false; };
    EXPECT_FALSE(write_csv(open.model, false, refuse));
}
