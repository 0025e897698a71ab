// Opening valid databases of both layouts, lookups against a brute-force oracle, and iteration.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tests/db_builder.h"
#include "tests/source_builder.h"
#include "tests/scratch_folder.h"
#include "common/db_layout.h"
#include "reader/db_reader.h"
#include "common/md5.h"

namespace {

const int32_t kNew = db_layout::kFormatNew;
const int32_t kOld = db_layout::kFormatOld;

struct Opened {
    std::vector<uint8_t> bytes;
    NorvaneDb db;
    DbError error;
    DbStatus status;
};

void open_bytes(Opened* o, std::vector<uint8_t> bytes) {
    o->bytes = std::move(bytes);
    o->status = db_open_memory(o->bytes.data(), o->bytes.size(), &o->db, &o->error);
}

std::string lookup(const NorvaneDb* db, uint32_t address) {
    DbLocation location;
    if (!db_lookup(db, address, &location))
        return "not found";
    return std::string(location.country) + "/" + location.area;
}

// The meaning of a lookup, spelled out: the first range in file order that holds the address.
std::string oracle(const std::vector<TextRange>& ranges, uint32_t address) {
    for (const TextRange& r : ranges)
        if (r.start_ip <= address && address <= r.end_ip)
            return r.country + "/" + r.area;
    return "not found";
}

std::vector<uint32_t> probes_for(const std::vector<TextRange>& ranges) {
    std::vector<uint32_t> probes = {0, 1, 0xFFFF, 0x10000, 0xFFFFFFFE, 0xFFFFFFFF};
    for (const TextRange& r : ranges) {
        probes.push_back(r.start_ip);
        probes.push_back(r.end_ip);
        probes.push_back(r.start_ip - 1);
        probes.push_back(r.end_ip + 1);
    }
    return probes;
}

uint32_t ip(int a, int b, int c, int d) {
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | uint32_t(d);
}

} // namespace

TEST(DbReaderLayouts, OneRangeNewLayoutFromHandWrittenBytes) {
    // 1.2.3.0 - 1.2.3.255, country "A", empty area.
    const uint8_t body[] = {0x02, 0,    0,    0,    0x01, 0,    0,    0,    0x02, 0, 0, 0, // header
                            0x00, 0x03, 0x02, 0x01, 0xFF, 0x03, 0x02, 0x01, 0,    0, 0, 0, 1, 0, 0,
                            0,                                           // range
                            0,    0,    0,    0,    2,    0,    0,    0, // text offsets
                            0x41, 0,    0};                              // texts
    std::vector<uint8_t> file(db_layout::kMagic, db_layout::kMagic + 16);
    file.resize(32);
    md5_buffer(body, sizeof body, file.data() + 16);
    file.insert(file.end(), body, body + sizeof body);
    ASSERT_EQ(file.size(), 71u);

    Opened o;
    open_bytes(&o, file);
    ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
    EXPECT_EQ(o.db.format_version, 2);
    EXPECT_EQ(o.db.range_count, 1u);
    EXPECT_EQ(o.db.text_count, 2u);
    EXPECT_TRUE(o.db.sorted);
    DbRange r = db_range(&o.db, 0);
    EXPECT_EQ(r.start_ip, ip(1, 2, 3, 0));
    EXPECT_EQ(r.end_ip, ip(1, 2, 3, 255));
    EXPECT_EQ(lookup(&o.db, ip(1, 2, 3, 4)), "A/");
    EXPECT_EQ(lookup(&o.db, ip(1, 2, 4, 0)), "not found");
    EXPECT_EQ(lookup(&o.db, ip(1, 2, 2, 255)), "not found");
}

TEST(DbReaderLayouts, OneRangeOldLayoutFromHandWrittenBytes) {
    const uint8_t body[] = {0x01, 0,    0,    0,    0x01, 0,    0,    0,    0x02, 0,       // header
                            0x00, 0x03, 0x02, 0x01, 0xFF, 0x03, 0x02, 0x01, 0,    0, 1, 0, // range
                            0,    0,    0,    0,    2,    0,    0,    0,    0x41, 0, 0};
    std::vector<uint8_t> file(16);
    md5_buffer(body, sizeof body, file.data());
    file.insert(file.end(), body, body + sizeof body);
    ASSERT_EQ(file.size(), 49u);

    Opened o;
    open_bytes(&o, file);
    ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
    EXPECT_EQ(o.db.format_version, 1);
    EXPECT_EQ(lookup(&o.db, ip(1, 2, 3, 255)), "A/");
    EXPECT_EQ(db_range(&o.db, 0).area_index, 1u);
}

TEST(DbReaderLayouts, EmptyDatabasesOpenAndFindNothing) {
    for (int32_t version : {db_layout::kFormatOld, db_layout::kFormatNew}) {
        Opened o;
        open_bytes(&o, build_db(version, {}, {}));
        EXPECT_EQ(o.bytes.size(), version == db_layout::kFormatNew ? 44u : 26u);
        ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
        EXPECT_EQ(lookup(&o.db, 0), "not found");
        EXPECT_EQ(lookup(&o.db, 0xFFFFFFFF), "not found");
    }
}

TEST(DbReaderLayouts, IterationGivesEntriesAndTextsInFileOrder) {
    std::vector<std::string> texts = {"AB", "", "C"};
    std::vector<TestRange> ranges = {{10, 20, 2, 1}, {0, 5, 0, 2}, {30, 29, 1, 0}};
    for (int32_t version : {db_layout::kFormatOld, db_layout::kFormatNew}) {
        Opened o;
        open_bytes(&o, build_db(version, ranges, texts));
        ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
        ASSERT_EQ(o.db.range_count, 3u);
        for (uint32_t i = 0; i < 3; ++i) {
            DbRange r = db_range(&o.db, i);
            EXPECT_EQ(r.start_ip, ranges[i].start_ip);
            EXPECT_EQ(r.end_ip, ranges[i].end_ip);
            EXPECT_EQ(r.country_index, ranges[i].country_index);
            EXPECT_EQ(r.area_index, ranges[i].area_index);
        }
        ASSERT_EQ(o.db.text_count, 3u);
        for (uint32_t j = 0; j < 3; ++j)
            EXPECT_EQ(db_text(&o.db, j), texts[j]);
    }
}

TEST(DbLookup, SortedDatabaseBoundaries) {
    std::vector<TextRange> ranges = {
        {0, 0, "zero", ""},
        {ip(1, 0, 0, 0), ip(1, 0, 0, 255), "A", "a"},
        {ip(1, 0, 1, 0), ip(1, 0, 255, 255), "B", "b"}, // ends at a bucket edge
        {ip(1, 1, 0, 0), ip(1, 1, 0, 0), "C", "c"},     // one address, bucket start
        {ip(1, 1, 255, 255), ip(1, 3, 0, 7), "D", "d"}, // spans whole buckets
        {ip(9, 0, 0, 0), ip(9, 0, 0, 0), "E", "e"},
        {0xFFFFFF00, 0xFFFFFFFF, "top", "end"},
    };
    Opened o;
    open_bytes(&o, build_db_from_texts(kNew, ranges));
    ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
    ASSERT_TRUE(o.db.sorted);
    EXPECT_EQ(lookup(&o.db, ip(1, 2, 9, 9)), "D/d");
    EXPECT_EQ(lookup(&o.db, ip(1, 3, 0, 8)), "not found");
    for (uint32_t address : probes_for(ranges))
        EXPECT_EQ(lookup(&o.db, address), oracle(ranges, address)) << address;
}

TEST(DbLookup, UnsortedOrOverlappingTakesFirstRangeInFileOrder) {
    std::vector<TextRange> ranges = {
        {100, 199, "A", "x"},
        {0, 49, "B", "y"},    // before the last one: not sorted
        {150, 300, "C", "z"}, // overlaps the first
        {40, 60, "D", "w"},
    };
    Opened o;
    open_bytes(&o, build_db_from_texts(kOld, ranges));
    ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
    EXPECT_FALSE(o.db.sorted);
    EXPECT_EQ(lookup(&o.db, 150), "A/x");
    EXPECT_EQ(lookup(&o.db, 200), "C/z");
    EXPECT_EQ(lookup(&o.db, 45), "B/y");
    EXPECT_EQ(lookup(&o.db, 50), "D/w");
    EXPECT_EQ(lookup(&o.db, 61), "not found");
    for (uint32_t address : probes_for(ranges))
        EXPECT_EQ(lookup(&o.db, address), oracle(ranges, address)) << address;
}

TEST(DbLookup, RangesWithEndBelowStartCoverNothing) {
    // Sorted apart from the reversed entry, which must neither hide nor break the others.
    std::vector<TextRange> ranges = {
        {0, 9, "A", "x"}, {50, 20, "R", "r"}, {10, 19, "B", "y"}, {30, 39, "C", "z"}};
    Opened o;
    open_bytes(&o, build_db_from_texts(kNew, ranges));
    ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
    EXPECT_TRUE(o.db.sorted);
    EXPECT_EQ(lookup(&o.db, 25), "not found");
    EXPECT_EQ(lookup(&o.db, 35), "C/z");
    for (uint32_t address : probes_for(ranges))
        EXPECT_EQ(lookup(&o.db, address), oracle(ranges, address)) << address;
}

TEST(DbLookup, TouchingRangesAreSortedButASharedAddressIsNot) {
    Opened touching;
    open_bytes(&touching, build_db_from_texts(kNew, {{0, 9, "A", ""}, {10, 19, "B", ""}}));
    ASSERT_EQ(touching.status, DB_OK);
    EXPECT_TRUE(touching.db.sorted);

    Opened sharing;
    open_bytes(&sharing, build_db_from_texts(kNew, {{0, 10, "A", ""}, {10, 19, "B", ""}}));
    ASSERT_EQ(sharing.status, DB_OK);
    EXPECT_FALSE(sharing.db.sorted);
    EXPECT_EQ(lookup(&sharing.db, 10), "A/");
}

TEST(DbLookup, RandomDatabasesAgreeWithTheOracle) {
    std::mt19937 engine(12345);
    auto rng = [&engine] { return uint32_t(engine()); };
    for (int round = 0; round < 40; ++round) {
        bool sorted = round % 2 == 0;
        // Crowded rounds put many ranges into a few buckets; sparse ones spread them out.
        uint32_t spread = round % 4 < 2 ? 0x3FFFF : 0xFFFFFFFF;
        std::vector<TextRange> ranges;
        uint32_t count = 1 + rng() % 300;
        uint64_t next = rng() % 1000;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t start, end;
            if (sorted) {
                if (next > 0xFFFFFFFF)
                    break;
                start = uint32_t(next);
                uint64_t length = 1 + rng() % (spread / count + 1);
                end = uint32_t(std::min<uint64_t>(start + length - 1, 0xFFFFFFFF));
                next = uint64_t(end) + 1 + rng() % 3; // touching or with a small gap
            } else {
                start = rng() & spread;
                end = start + rng() % 5000;
            }
            std::string country = "C" + std::to_string(rng() % 20);
            std::string area = "a" + std::to_string(rng() % 7);
            ranges.push_back({start, end, country, area});
        }
        Opened o;
        open_bytes(&o, build_db_from_texts(round % 3 == 0 ? kOld : kNew, ranges));
        ASSERT_EQ(o.status, DB_OK) << db_error_message(o.error);
        if (sorted) {
            ASSERT_TRUE(o.db.sorted);
        }
        std::vector<uint32_t> probes = probes_for(ranges);
        for (int k = 0; k < 200; ++k)
            probes.push_back(rng() & spread);
        for (uint32_t address : probes)
            ASSERT_EQ(lookup(&o.db, address), oracle(ranges, address))
                << "round " << round << " address " << address;
    }
}

TEST(DbOpenFile, FileGivesTheSameAnswersAsMemory) {
    std::vector<uint8_t> bytes =
        build_db_from_texts(kNew, {{ip(10, 0, 0, 0), ip(10, 255, 255, 255), "Net", "ten"}});
    ScratchFolder folder;
    std::string path = scratch_file(folder, "db_reader_test.dat");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    NorvaneDb db;
    DbError error;
    ASSERT_EQ(db_open_file(path.c_str(), &db, &error), DB_OK) << db_error_message(error);
    EXPECT_EQ(lookup(&db, ip(10, 1, 2, 3)), "Net/ten");
    EXPECT_EQ(lookup(&db, ip(11, 0, 0, 0)), "not found");
    std::remove(path.c_str());
}

TEST(DbOpenFile, MissingAndEmptyFilesAreRefused) {
    NorvaneDb db;
    DbError error;
    ScratchFolder folder;
    std::string missing = scratch_file(folder, "no_such_database.dat");
    EXPECT_EQ(db_open_file(missing.c_str(), &db, &error), DB_CANT_OPEN);
    EXPECT_EQ(db_error_message(error), "can't open the file");

    std::string empty = scratch_file(folder, "empty_database.dat");
    std::FILE* f = std::fopen(empty.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(db_open_file(empty.c_str(), &db, &error), DB_TOO_SHORT);
    std::remove(empty.c_str());
}

static int truncate_file(std::FILE* f, long size) {
#ifdef _WIN32
    return _chsize(_fileno(f), size);
#else
    return ftruncate(fileno(f), size);
#endif
}

// The database is read whole at open: a file truncated or rewritten in place by another program
// afterwards can't reach the reader (with a memory map the next lookup died with SIGBUS).
TEST(DbOpenFile, TruncatingOrRewritingTheFileLeavesAnOpenDatabaseAlone) {
    std::vector<TextRange> ranges;
    for (uint32_t i = 0; i < 3000; ++i)
        ranges.push_back({i << 12, (i << 12) + 4095, "country " + std::to_string(i % 97),
                          "area " + std::to_string(i % 13)});
    std::vector<uint8_t> bytes = build_db_from_texts(kNew, ranges);
    ScratchFolder folder;
    std::string path = scratch_file(folder, "rewritten_database.dat");
    ASSERT_TRUE(write_file(path, bytes));
    NorvaneDb db;
    DbError error;
    ASSERT_EQ(db_open_file(path.c_str(), &db, &error), DB_OK) << db_error_message(error);
    std::vector<std::string> before;
    for (const TextRange& r : ranges)
        before.push_back(lookup(&db, r.end_ip));

    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(truncate_file(f, 0), 0);
    for (int shape = 0; shape < 2; ++shape) {
        // Cut to a few bytes, then the same length of other bytes.
        std::vector<uint8_t> other(shape == 0 ? 10 : bytes.size(), uint8_t(0x5A + shape));
        std::rewind(f);
        std::fwrite(other.data(), 1, other.size(), f);
        std::fflush(f);
        for (size_t i = 0; i < ranges.size(); ++i)
            ASSERT_EQ(lookup(&db, ranges[i].end_ip), before[i]);
    }
    std::fclose(f);
    std::remove(path.c_str());
}

TEST(DbOpenFile, FoldersAreRefusedAsNotRegular) {
    NorvaneDb db;
    DbError error;
    ScratchFolder folder;
    EXPECT_EQ(db_open_file(folder.path.c_str(), &db, &error), DB_NOT_REGULAR);
    EXPECT_EQ(db_error_message(error), "not a regular file");
}

// A failed open releases the record; a record the caller declared without initialising must not
// look as if it held a memory map (releasing a garbage map crashed the program now and then).
TEST(DbOpenFile, FailedOpenOfAFreshRecordReleasesNothingForeign) {
    alignas(NorvaneDb) unsigned char storage[sizeof(NorvaneDb)];
    std::memset(storage, 0xAB, sizeof storage);
    NorvaneDb* db = new (storage) NorvaneDb;
    EXPECT_EQ(db->image.owned.bytes.get(), nullptr);
    EXPECT_EQ(db->image.data, nullptr);
    const uint8_t garbage[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    DbError error;
    EXPECT_EQ(db_open_memory(garbage, sizeof garbage, db, &error), DB_TOO_SHORT);
    db->~NorvaneDb();
}
