#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/byte_order.h"
#include "tests/source_builder.h"
#include "tests/scratch_folder.h"
#include "convert/source_reader.h"

namespace {

struct Loaded {
    SourceDatabase db{};
    LoadStatus status = LOAD_CANT_OPEN;
    explicit Loaded(const std::vector<uint8_t>& bytes) {
        status = load_source_from_memory(bytes.data(), bytes.size(), &db);
    }
    const RangeRecord& operator[](int i) const { return db.records[i]; }
    const char* country(int i) const { return source_text(db.image.get(), db.records[i].country); }
    const char* area(int i) const { return source_text(db.image.get(), db.records[i].area); }
};

TEST(SourceReader, ResolvesEveryRedirectForm) {
    std::vector<SimpleRange> ranges = {
        {0x01000000, 0x010000FF, "CN", "Beijing"},   {0x01000100, 0x010001FF, "CN", ""},
        {0x01000200, 0x010002FF, "US", "Texas"},     {0x01000300, 0x010003FF, "\xD6\xD0", "x"},
        {0x01000400, 0x010004FF, "JP", ""},          {0x01000500, 0x010005FF, "JP", "Tokyo"},
        {0x01000600, 0x010006FF, "DE", "Berlin"},    {0x01000700, 0x010007FF, "FR", ""},
        {0x01000800, 0x010008FF, "", "lonely area"}, {0x01000900, 0x010009FF, "UK", "London"},
    };
    Loaded l(build_source(ranges));
    ASSERT_EQ(l.status, LOAD_OK);
    ASSERT_EQ(l.db.record_count, int32_t(ranges.size()));
    for (int i = 0; i < int(ranges.size()); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(l[i].start_ip, ranges[i].start_ip);
        EXPECT_EQ(l[i].end_ip, ranges[i].end_ip);
        EXPECT_STREQ(l.country(i), ranges[i].country.c_str());
        EXPECT_STREQ(l.area(i), ranges[i].area.c_str());
    }
}

TEST(SourceReader, AddressesAreNumbersWithTheFirstOctetHighest) {
    SourceBuilder b;
    sb_init(&b);
    uint32_t r = sb_put_u32(&b, 0x04030205);
    sb_put_text(&b, "A");
    sb_put_text(&b, "B");
    b.index = {0x01, 0x02, 0x03, 0x04, uint8_t(r), 0, 0}; // start 4.3.2.1
    sb_add_index(&b, 0x7F000001, r);
    Loaded l(sb_finish(&b));
    ASSERT_EQ(l.status, LOAD_OK);
    EXPECT_EQ(l[0].start_ip, 0x04030201u);
    EXPECT_EQ(l[0].end_ip, 0x04030205u);
}

// Builds a one-record source whose record is whatever `put` appends, indexed twice so the header
// is valid.
template <typename Put> std::vector<uint8_t> one_record(Put put) {
    SourceBuilder b;
    sb_init(&b);
    uint32_t r = put(&b);
    sb_add_index(&b, 1, r);
    sb_add_index(&b, 2, r);
    return sb_finish(&b);
}

TEST(SourceReader, ZeroByteCountryIsAnEmptyTextInsideTheImage) {
    uint32_t r = 0;
    Loaded l(one_record([&](SourceBuilder* b) {
        r = sb_put_u32(b, 9);
        sb_put_text(b, "");
        sb_put_text(b, "area");
        return r;
    }));
    ASSERT_EQ(l.status, LOAD_OK);
    EXPECT_EQ(l[0].country, r + 4);
    EXPECT_STREQ(l.country(0), "");
    EXPECT_EQ(l[0].area, r + 5);
}

TEST(SourceReader, ModeOneToAPlainTextReadsTheAreaBehindIt) {
    Loaded l(one_record([](SourceBuilder* b) {
        uint32_t block = sb_put_text(b, "\xB5\xE7\xD0\xC5"); // country
        sb_put_text(b, "\xC1\xAA\xCD\xA8");                  // its area, right behind it
        uint32_t r = sb_put_u32(b, 9);
        sb_put_redirect(b, 1, block);
        sb_put_text(b, "not read"); // bytes behind a mode-1 record are not the area
        return r;
    }));
    ASSERT_EQ(l.status, LOAD_OK);
    EXPECT_STREQ(l.country(0), "\xB5\xE7\xD0\xC5");
    EXPECT_STREQ(l.area(0), "\xC1\xAA\xCD\xA8");
}

TEST(SourceReader, ModeOneToModeOneLeavesTheAreaEmpty) {
    Loaded l(one_record([](SourceBuilder* b) {
        uint32_t country = sb_put_text(b, "C");
        uint32_t x = sb_put_redirect(b, 1, country);
        sb_put_text(b, "not an area");
        uint32_t r = sb_put_u32(b, 9);
        sb_put_redirect(b, 1, x);
        sb_put_text(b, "not an area either");
        return r;
    }));
    ASSERT_EQ(l.status, LOAD_OK);
    EXPECT_STREQ(l.country(0), "C");
    EXPECT_EQ(l.area(0), empty_text);
}

TEST(SourceReader, ModeTwoTakesTheAreaAtRPlus8UnlessXIsModeTwo) {
    // Mode 2 to a plain text, and mode 2 to mode 1: area field at R+8.
    for (bool via_mode1 : {false, true}) {
        Loaded l(one_record([&](SourceBuilder* b) {
            uint32_t x = sb_put_text(b, "C");
            sb_put_text(b, "not the area");
            if (via_mode1)
                x = sb_put_redirect(b, 1, x);
            uint32_t r = sb_put_u32(b, 9);
            sb_put_redirect(b, 2, x);
            sb_put_text(b, "R8");
            return r;
        }));
        ASSERT_EQ(l.status, LOAD_OK);
        EXPECT_STREQ(l.country(0), "C");
        EXPECT_STREQ(l.area(0), "R8");
    }
    // Mode 2 (or 1) to mode 2: area field at X+4.
    for (uint8_t m1 : {uint8_t(1), uint8_t(2)}) {
        Loaded l(one_record([&](SourceBuilder* b) {
            uint32_t c = sb_put_text(b, "C");
            uint32_t x = sb_put_redirect(b, 2, c);
            sb_put_text(b, "X4");
            uint32_t r = sb_put_u32(b, 9);
            sb_put_redirect(b, m1, x);
            sb_put_text(b, "R8");
            return r;
        }));
        ASSERT_EQ(l.status, LOAD_OK);
        EXPECT_STREQ(l.area(0), "X4");
    }
}

TEST(SourceReader, AreaFollowsAtMostTwoRedirects) {
    Loaded l(one_record([](SourceBuilder* b) {
        uint32_t deep = sb_put_redirect(b, 2, 0); // would be a third redirect
        uint32_t z = sb_put_redirect(b, 1, deep);
        uint32_t r = sb_put_u32(b, 9);
        sb_put_text(b, "C");
        sb_put_redirect(b, 2, z);
        return r;
    }));
    ASSERT_EQ(l.status, LOAD_OK);
    // The second target is taken as text, mode byte and all: 02 00 00 00.
    EXPECT_STREQ(l.area(0), "\x02");
}

TEST(SourceReader, RedirectToZeroReadsTheHeader) {
    SourceBuilder b;
    sb_init(&b);
    uint32_t r = sb_put_u32(&b, 9);
    sb_put_text(&b, "C");
    sb_put_redirect(&b, 2, 0);
    // Pad so that the index starts at 0x0100 and its header bytes form the text "\x01".
    while (sb_pos(&b) < 0x100)
        sb_put_byte(&b, 0x55);
    sb_add_index(&b, 1, r);
    sb_add_index(&b, 2, r);
    Loaded l(sb_finish(&b));
    ASSERT_EQ(l.status, LOAD_OK);
    // Byte 0 is 00 (first index offset 0x100): the area is the empty text at position 0.
    EXPECT_EQ(l[0].area, 0u);
}

TEST(SourceReader, HeaderBoundsAndRecordCount) {
    SourceBuilder b;
    sb_init(&b);
    uint32_t r = sb_put_u32(&b, 9);
    sb_put_text(&b, "C");
    sb_put_text(&b, "A");
    for (int i = 0; i < 3; ++i)
        sb_add_index(&b, uint32_t(i), r);
    std::vector<uint8_t> file = sb_finish(&b);
    uint32_t first = load_le32(file.data());
    uint32_t size = uint32_t(file.size());

    auto load_with = [&](uint32_t f, uint32_t l, int32_t* count) {
        std::vector<uint8_t> v = file;
        store_le32(v.data(), f);
        store_le32(v.data() + 4, l);
        SourceDatabase db;
        LoadStatus s = load_source_from_memory(v.data(), v.size(), &db);
        *count = db.record_count;
        return s;
    };
    int32_t count = 0;
    EXPECT_EQ(load_with(first, size - 7, &count), LOAD_OK); // last entry ends at the last byte
    EXPECT_EQ(count, 3);
    EXPECT_EQ(load_with(first, size - 6, &count), LOAD_BAD_HEADER);
    EXPECT_EQ(load_with(first, first, &count), LOAD_BAD_HEADER); // a single entry
    EXPECT_EQ(load_with(first + 7, first, &count), LOAD_BAD_HEADER);
    EXPECT_EQ(load_with(first, first + 13, &count), LOAD_OK); // remainder dropped
    EXPECT_EQ(count, 2);
}

TEST(SourceReader, LoadsFromAFileAndReleasesTheImage) {
    std::vector<uint8_t> bytes = build_source({{1, 2, "C", "A"}, {3, 4, "D", "B"}});
    ScratchFolder folder;
    std::string path = scratch_file(folder, "reader_test.dat");
    ASSERT_TRUE(write_file(path, bytes));
    SourceDatabase db;
    ASSERT_EQ(load_source_database(path.c_str(), &db), LOAD_OK);
    EXPECT_EQ(db.source_size, int32_t(bytes.size()));
    EXPECT_EQ(std::memcmp(db.image.get(), bytes.data(), bytes.size()), 0);
    EXPECT_STREQ(source_text(db.image.get(), db.records[1].area), "B");
    release_source_image(&db);
    EXPECT_EQ(db.image.get(), nullptr);
    EXPECT_EQ(db.record_count, 2);
    std::remove(path.c_str());

    EXPECT_EQ(load_source_database((path + ".missing").c_str(), &db), LOAD_CANT_OPEN);
    EXPECT_EQ(db.records.get(), nullptr);
}

// Sizes of count * sizeof(element) that a 32-bit size_t can't hold (a source of 1.25 GiB gives
// that many records on i686) are refused instead of wrapping to a small block.
TEST(Memory, ArraysWhoseSizeWouldWrapAreRefused) {
    size_t too_many = SIZE_MAX / sizeof(RangeRecord) + 1;
    EXPECT_EQ(malloc_array<RangeRecord>(too_many).get(), nullptr);
    MallocArray<RangeRecord> block = malloc_array<RangeRecord>(4);
    ASSERT_NE(block.get(), nullptr);
    RangeRecord* before = block.get();
    EXPECT_FALSE(realloc_array(&block, too_many));
    EXPECT_EQ(block.get(), before);
    EXPECT_TRUE(realloc_array(&block, 8));
}

} // namespace

// Large indexes are resolved in two halves at once: a bad record in either half fails the load,
// and an intact one gives every record as the generator made it.
TEST(SourceReader, LargeIndexesResolveBothHalves) {
    std::vector<SimpleRange> expected;
    const std::vector<uint8_t> good = generate_source(100000, 3000, 3, &expected);
    SourceDatabase db;
    ASSERT_EQ(load_source_from_memory(good.data(), good.size(), &db), LOAD_OK);
    ASSERT_EQ(db.record_count, 100000);
    for (int32_t k : {0, 49999, 50000, 99999}) {
        const RangeRecord& r = db.records[size_t(k)];
        EXPECT_EQ(r.start_ip, expected[size_t(k)].start_ip) << k;
        EXPECT_EQ(r.end_ip, expected[size_t(k)].end_ip) << k;
        EXPECT_EQ(std::string(source_text(db.image.get(), r.country)), expected[size_t(k)].country)
            << k;
        EXPECT_EQ(std::string(source_text(db.image.get(), r.area)), expected[size_t(k)].area) << k;
    }
    uint32_t first = load_le32(good.data());
    for (uint32_t k : {10u, 60000u, 99999u}) {
        std::vector<uint8_t> bad = good;
        // The record's country redirect now points past the end of the file.
        uint32_t record = load_le24(bad.data() + first + 7 * k + 4);
        bad[record + 5] = bad[record + 6] = bad[record + 7] = 0xFF;
        SourceDatabase broken;
        EXPECT_EQ(load_source_from_memory(bad.data(), bad.size(), &broken), LOAD_BAD_RECORD)
            << "record " << k;
    }
}

// A large source read from a file gets its record block ready from the header while the file is
// read; the records are the same as from the bytes in memory.
TEST(SourceReader, LargeFileLoadsAsFromMemory) {
    const std::vector<uint8_t> bytes = generate_source(100000, 3000, 9, nullptr);
    ScratchFolder folder;
    std::string path = scratch_file(folder, "reader_large_test.dat");
    ASSERT_TRUE(write_file(path, bytes));
    SourceDatabase from_file, from_memory;
    ASSERT_EQ(load_source_database(path.c_str(), &from_file), LOAD_OK);
    ASSERT_EQ(load_source_from_memory(bytes.data(), bytes.size(), &from_memory), LOAD_OK);
    std::remove(path.c_str());
    ASSERT_EQ(from_file.record_count, from_memory.record_count);
    EXPECT_GE(from_file.record_room, size_t(from_file.record_count));
    EXPECT_EQ(std::memcmp(from_file.records.get(), from_memory.records.get(),
                          size_t(from_file.record_count) * sizeof(RangeRecord)),
              0);
}
