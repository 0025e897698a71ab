// Damaged databases are refused with the message that names the damage, and never read out of
// bounds (each case opens an exact-size copy, so the sanitizer build catches any over-read).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/byte_order.h"
#include "tests/db_builder.h"
#include "common/db_layout.h"
#include "reader/db_reader.h"
#include "query/export_command.h"
#include "tests/scratch_folder.h"
#include "tests/source_builder.h"

namespace {

// Three ranges over the texts "AB", "" and "C": offsets 0, 3, 4; text area 41 42 00 00 43 00.
std::vector<uint8_t> sample(int32_t version) {
    return build_db(version, {{0, 9, 0, 1}, {10, 19, 2, 1}, {20, 29, 0, 2}}, {"AB", "", "C"});
}

struct Fields {
    size_t body, range_count, text_count, ranges, offsets, texts;
};

Fields fields_of(int32_t version) {
    Fields f;
    f.body = db_layout::traits(version).prefix_size;
    f.range_count = f.body + 4;
    f.text_count = f.body + 8;
    f.ranges = f.body + db_layout::traits(version).header_size;
    f.offsets = f.ranges + 3 * db_layout::traits(version).range_entry_size;
    f.texts = f.offsets + 3 * 4;
    return f;
}

DbStatus open_copy(const std::vector<uint8_t>& bytes, DbError* error) {
    std::vector<uint8_t> exact(bytes); // capacity == size: nothing readable past the end
    exact.shrink_to_fit();
    NorvaneDb db;
    DbStatus status = db_open_memory(exact.data(), exact.size(), &db, error);
    if (status == DB_OK) {
        DbLocation location;
        for (uint32_t a = 0; a < 40; ++a)
            db_lookup(&db, a, &location);
    }
    return status;
}

// Every export refuses the file (exit status 1) and writes nothing.
void expect_exports_refuse(const std::vector<uint8_t>& bytes) {
    ScratchFolder folder;
    const std::string path = scratch_file(folder, "damaged.dat");
    const std::string output = scratch_file(folder, "out");
    ASSERT_TRUE(write_file(path, bytes));
    for (ExportFormat format : {EXPORT_MMDB, EXPORT_XDB, EXPORT_CSV}) {
        QueryOptions options{};
        options.command = QUERY_EXPORT;
        options.format = format;
        options.languages = {"en"};
        options.database_type = "Norvane-City";
        options.operands = {path, output};
        EXPECT_EQ(query_export(options), 1) << format;
        EXPECT_TRUE(read_file(output).empty()) << format;
    }
}

std::string message_of(const std::vector<uint8_t>& bytes, DbStatus expected) {
    expect_exports_refuse(bytes);
    DbError error;
    DbStatus status = open_copy(bytes, &error);
    EXPECT_EQ(status, expected) << db_error_message(error);
    return db_error_message(error);
}

void put32(std::vector<uint8_t>* b, size_t at, uint32_t v) {
    store_le32(b->data() + at, v);
}

const int32_t kLayouts[] = {db_layout::kFormatOld, db_layout::kFormatNew};

} // namespace

TEST(DamagedDb, TheSampleItselfIsValid) {
    for (int32_t version : kLayouts) {
        DbError error;
        EXPECT_EQ(open_copy(sample(version), &error), DB_OK) << db_error_message(error);
    }
}

TEST(DamagedDb, MagicAndVersion) {
    std::vector<uint8_t> b = sample(db_layout::kFormatNew);
    b[3] = 'x'; // without its magic the file is read as the old layout, whose version is 1
    EXPECT_NE(message_of(b, DB_BAD_VERSION).find("no NorvaneDatabase2 magic"), std::string::npos);

    b = sample(db_layout::kFormatNew);
    put32(&b, 32, 1);
    restamp_digest(&b);
    EXPECT_EQ(message_of(b, DB_BAD_VERSION),
              "format_version 1 behind the NorvaneDatabase2 magic, 2 expected");

    b = sample(db_layout::kFormatOld);
    put32(&b, 16, 2);
    restamp_digest(&b);
    EXPECT_EQ(message_of(b, DB_BAD_VERSION),
              "no NorvaneDatabase2 magic and format_version 2 is not the old layout's 1");
}

TEST(DamagedDb, CountsThatDoNotFitTheFile) {
    for (int32_t version : kLayouts) {
        Fields f = fields_of(version);
        std::vector<uint8_t> b = sample(version);
        put32(&b, f.range_count, 0xFFFFFFFF);
        restamp_digest(&b);
        EXPECT_NE(message_of(b, DB_TRUNCATED).find("truncated"), std::string::npos);

        b = sample(version);
        put32(&b, f.range_count, 4); // one entry more than the 6 text bytes can hold
        restamp_digest(&b);
        message_of(b, DB_TRUNCATED);

        b = sample(version);
        b[f.text_count] = 0xFF;
        b[f.text_count + 1] = 0xFF;
        restamp_digest(&b);
        message_of(b, DB_TRUNCATED);

        // One text fewer: the last offset's 4 bytes join the text area, and the texts no longer
        // end where the area does.
        b = sample(version);
        b[f.text_count] = 2;
        restamp_digest(&b);
        message_of(b, DB_TRAILING_BYTES);

        b = sample(version);
        b.push_back('Z');
        restamp_digest(&b);
        EXPECT_EQ(message_of(b, DB_TRAILING_BYTES), "1 stray bytes after the last text");
    }
}

TEST(DamagedDb, TextOffsetsAndTerminators) {
    for (int32_t version : kLayouts) {
        Fields f = fields_of(version);
        std::vector<uint8_t> b = sample(version);
        put32(&b, f.offsets + 4, 6); // the area is 6 bytes: offset 6 is already outside
        restamp_digest(&b);
        EXPECT_EQ(message_of(b, DB_BAD_TEXT_OFFSET),
                  "text 1: offset 6 lies outside the text area of 6 bytes");

        b = sample(version);
        put32(&b, f.offsets + 8, 0x80000000);
        restamp_digest(&b);
        message_of(b, DB_BAD_TEXT_OFFSET);

        b = sample(version);
        b.back() = 'D'; // "C" loses its zero byte, the last of the file
        restamp_digest(&b);
        EXPECT_EQ(message_of(b, DB_UNTERMINATED_TEXT),
                  "text 2 at offset 4 has no zero byte inside the text area");

        // Texts may share bytes: "B" inside "AB" is still a valid text, but then "C" and its
        // zero byte follow nothing that an offset reaches... they are trailing bytes.
        b = sample(version);
        put32(&b, f.offsets + 8, 1);
        restamp_digest(&b);
        EXPECT_EQ(message_of(b, DB_TRAILING_BYTES), "2 stray bytes after the last text");
    }
}

TEST(DamagedDb, TextIndexesOutOfRange) {
    for (int32_t version : kLayouts) {
        Fields f = fields_of(version);
        size_t entry = db_layout::traits(version).range_entry_size;
        size_t width = db_layout::traits(version).index_width;
        std::vector<uint8_t> b = sample(version);
        b[f.ranges + entry + 8] = 3; // range 1, country index = text_count
        restamp_digest(&b);
        EXPECT_EQ(message_of(b, DB_BAD_TEXT_INDEX),
                  "range 1: country index 3 is not below text_count 3");

        b = sample(version);
        b[f.ranges + 2 * entry + 8 + width + 1] = 0xFF; // range 2, area index high byte
        restamp_digest(&b);
        EXPECT_EQ(message_of(b, DB_BAD_TEXT_INDEX),
                  "range 2: area index 65282 is not below text_count 3");
    }
}

TEST(DamagedDb, DigestMismatch) {
    for (int32_t version : kLayouts) {
        Fields f = fields_of(version);
        std::vector<uint8_t> b = sample(version);
        b[f.body - 1] ^= 1; // the stored digest
        EXPECT_EQ(message_of(b, DB_DIGEST_MISMATCH),
                  "MD5 digest mismatch: the body is not what was written");

        b = sample(version);
        b[f.ranges] ^= 0x40; // a start address; the structure stays valid
        message_of(b, DB_DIGEST_MISMATCH);
    }
}

TEST(DamagedDb, EveryTruncationIsRefused) {
    for (int32_t version : kLayouts) {
        std::vector<uint8_t> full = sample(version);
        Fields f = fields_of(version);
        size_t minimum = f.body + db_layout::traits(version).header_size;
        for (size_t length = 0; length < full.size(); ++length) {
            std::vector<uint8_t> cut(full.begin(), full.begin() + long(length));
            DbError error;
            DbStatus status = open_copy(cut, &error);
            // Cut inside the magic, a new-layout file reads as an old one, also too short.
            DbStatus expected = length < minimum   ? DB_TOO_SHORT
                                : length < f.texts ? DB_TRUNCATED
                                                   : DB_DIGEST_MISMATCH;
            EXPECT_EQ(status, expected) << "version " << version << " length " << length;
            if (length >= minimum) {
                restamp_digest(&cut); // a writer that stopped early but digested what it wrote
                status = open_copy(cut, &error);
                EXPECT_NE(status, DB_OK) << "version " << version << " length " << length;
            }
        }
    }
}
