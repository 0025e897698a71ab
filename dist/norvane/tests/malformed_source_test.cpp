// Every byte the reader's rules reach is bounds-checked: damaged sources fail the load instead of
// reading past the image.
#include <gtest/gtest.h>

#include "common/byte_order.h"
#include "tests/source_builder.h"
#include "convert/source_reader.h"

namespace {

LoadStatus load(const std::vector<uint8_t>& bytes) {
    SourceDatabase db;
    LoadStatus s = load_source_from_memory(bytes.data(), bytes.size(), &db);
    if (s != LOAD_OK) {
        EXPECT_EQ(db.image.get(), nullptr);
        EXPECT_EQ(db.records.get(), nullptr);
    }
    return s;
}

// A source whose record is built by `put` and whose index comes first in the file, so that the
// record is the file's tail and "past the end" is easy to reach.
template <typename Put> std::vector<uint8_t> tail_record(Put put) {
    SourceBuilder b;
    sb_init(&b);
    b.bytes.resize(8 + 14); // room for two index entries right behind the header
    uint32_t r = put(&b);
    std::vector<uint8_t> out = b.bytes;
    store_le32(out.data(), 8);
    store_le32(out.data() + 4, 15);
    for (int i = 0; i < 2; ++i) {
        store_le32(out.data() + 8 + 7 * i, uint32_t(i));
        out[12 + 7 * i] = uint8_t(r);
        out[13 + 7 * i] = uint8_t(r >> 8);
        out[14 + 7 * i] = uint8_t(r >> 16);
    }
    return out;
}

TEST(MalformedSource, ShorterThanTheHeader) {
    for (size_t n = 0; n < 8; ++n)
        EXPECT_EQ(load(std::vector<uint8_t>(n, 0)), LOAD_BAD_HEADER) << n << " bytes";
}

TEST(MalformedSource, IndexPositionsOutOfRange) {
    std::vector<uint8_t> v(8, 0);
    store_le32(v.data(), 0xFFFFFFF0u);
    store_le32(v.data() + 4, 0xFFFFFFFFu);
    EXPECT_EQ(load(v), LOAD_BAD_HEADER);
    store_le32(v.data(), 0);
    store_le32(v.data() + 4, 2); // last entry would end past an 8-byte file
    EXPECT_EQ(load(v), LOAD_BAD_HEADER);
}

TEST(MalformedSource, RecordPositionPastTheEnd) {
    // The record's 4-byte end address must lie inside the file.
    for (uint32_t short_by : {1u, 4u}) {
        std::vector<uint8_t> v = tail_record([&](SourceBuilder* b) {
            uint32_t r = sb_put_u32(b, 9);
            b->bytes.resize(b->bytes.size() - short_by);
            return r;
        });
        EXPECT_EQ(load(v), LOAD_BAD_RECORD) << short_by;
    }
    std::vector<uint8_t> v = tail_record([](SourceBuilder* b) {
        sb_put_u32(b, 9);
        return 0xFFFFFFu; // far beyond the file
    });
    EXPECT_EQ(load(v), LOAD_BAD_RECORD);
}

TEST(MalformedSource, CountryFieldMissing) {
    std::vector<uint8_t> v = tail_record([](SourceBuilder* b) { return sb_put_u32(b, 9); });
    EXPECT_EQ(load(v), LOAD_BAD_RECORD);
}

TEST(MalformedSource, TextsWithoutAZeroByte) {
    // Plain country running to the end.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_byte(b, 'C');
                  return r;
              })),
              LOAD_BAD_RECORD);
    // Country fine, area running to the end.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_text(b, "C");
                  sb_put_byte(b, 'A');
                  return r;
              })),
              LOAD_BAD_RECORD);
    // Country fine, area field entirely missing.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_text(b, "C");
                  return r;
              })),
              LOAD_BAD_RECORD);
}

TEST(MalformedSource, RedirectsPastTheEnd) {
    // Country redirect cut short (3-byte position incomplete).
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_byte(b, 1);
                  sb_put_byte(b, 0x20);
                  return r;
              })),
              LOAD_BAD_RECORD);
    // Country redirect to beyond the file.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_redirect(b, 2, 0xFFFFF0);
                  sb_put_text(b, "A");
                  return r;
              })),
              LOAD_BAD_RECORD);
    // Second country redirect (at X+1) cut short at the end of the file.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_redirect(b, 1, r + 8);
                  sb_put_byte(b, 2);
                  sb_put_byte(b, 0x20);
                  return r;
              })),
              LOAD_BAD_RECORD);
    // Area redirect whose target is past the end.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_text(b, "C");
                  sb_put_redirect(b, 1, 0x800000);
                  return r;
              })),
              LOAD_BAD_RECORD);
    // Area's second redirect past the end.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_text(b, "C");
                  uint32_t z = sb_pos(b) + 4;
                  sb_put_redirect(b, 2, z);
                  sb_put_redirect(b, 2, 0x7FFFFF);
                  return r;
              })),
              LOAD_BAD_RECORD);
}

TEST(MalformedSource, BytesTheRulesNeverReadMayPointAnywhere) {
    // Mode 1 to mode 1: the area is empty by rule, so whatever follows the record is not read.
    std::vector<uint8_t> v = tail_record([](SourceBuilder* b) {
        uint32_t c = sb_put_text(b, "C");
        uint32_t x = sb_put_redirect(b, 1, c);
        uint32_t r = sb_put_u32(b, 9);
        sb_put_redirect(b, 1, x);
        return r;
    });
    EXPECT_EQ(load(v), LOAD_OK);
    // A text whose zero byte is the file's very last byte is fine.
    EXPECT_EQ(load(tail_record([](SourceBuilder* b) {
                  uint32_t r = sb_put_u32(b, 9);
                  sb_put_text(b, "C");
                  sb_put_text(b, "A");
                  return r;
              })),
              LOAD_OK);
}

TEST(MalformedSource, RefusesFilesOf2GiBOrMore) {
    SourceDatabase db;
    EXPECT_EQ(load_source_from_memory(nullptr, size_t(1) << 31, &db), LOAD_TOO_LARGE);
    EXPECT_EQ(db.image.get(), nullptr);
}

} // namespace
