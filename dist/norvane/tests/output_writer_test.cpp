#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>
#ifndef _WIN32
#include <sys/sysmacros.h>
#endif

#include "common/db_layout.h"
#include "common/md5.h"
#include "common/output_file.h"
#include "convert/output_writer.h"
#include "convert/range_merge.h"
#include "tests/source_builder.h"
#include "tests/scratch_folder.h"

namespace {

std::vector<uint8_t> unhex(const std::string& h) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(uint8_t(std::stoul(h.substr(i, 2), nullptr, 16)));
    return out;
}

[[maybe_unused]] std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// One conversion of `ranges` through the reader, the merge and the writer, in a scratch folder.
struct Conversion {
    ScratchFolder folder;
    std::string dir, temp, out;
    WriteStatus status = WRITE_OK;
    WriteReport report{};
    int32_t kept = 0;

    Conversion() {
        dir = folder.path;
        temp = dir + "/vornip.tmp";
        out = dir + "/out.dat";
    }

    void run(const std::vector<SimpleRange>& ranges, int32_t format) {
        std::vector<uint8_t> src = build_source(ranges);
        run_bytes(src, format);
    }

    void run_bytes(const std::vector<uint8_t>& src, int32_t format) {
        SourceDatabase db;
        ASSERT_EQ(load_source_from_memory(src.data(), src.size(), &db), LOAD_OK);
        LocationTable t;
        ASSERT_EQ(location_table_init(&t), 0);
        ASSERT_EQ(merge_source_ranges(&db, format, &t, &kept), MERGE_OK);
        status = write_output_database(&db, kept, &t, format, out.c_str(), temp.c_str(), &report);
        if (status == WRITE_OK) {
            EXPECT_EQ(db.image.get(), nullptr) << "the source image is released by the writer";
        }
    }

    std::vector<uint8_t> file() const { return read_file(out); }
};

// A sentinel behind the range: an index of a single entry is not a valid source.
const std::vector<SimpleRange> kOneRange = {{0x01020300, 0x010203FF, "A", ""},
                                            {0xFFFFFFFF, 0xFFFFFFFF, "S", "s"}};

TEST(OutputWriter, NewLayoutExampleByteForByte) {
    Conversion c;
    c.run(kOneRange, db_layout::kFormatNew);
    ASSERT_EQ(c.status, WRITE_OK);
    std::vector<uint8_t> want(db_layout::kMagic, db_layout::kMagic + 16);
    for (uint8_t b : unhex("743df79db24ccf2ecf72bd4afb2344db"
                           "020000000100000002000000"
                           "00030201FF0302010000000001000000"
                           "0000000002000000410000"))
        want.push_back(b);
    EXPECT_EQ(c.file(), want);
    EXPECT_EQ(want.size(), 71u);
    EXPECT_FALSE(exists(c.temp)) << "the temporary file is deleted";
    EXPECT_FALSE(c.report.text_limit_hit);
}

TEST(OutputWriter, OldLayoutExampleByteForByte) {
    Conversion c;
    c.run(kOneRange, db_layout::kFormatOld);
    ASSERT_EQ(c.status, WRITE_OK);
    EXPECT_EQ(c.file(), unhex("c4c50d61c65b7535e62c6e319e6053e7"
                              "01000000010000000200"
                              "00030201FF03020100000100"
                              "0000000002000000410000"));
}

TEST(OutputWriter, EmptyDatabases) {
    // Only a sentinel: nothing is kept, no text is interned.
    std::vector<SimpleRange> sentinel = {{0xFFFFFFFF, 0xFFFFFFFF, "X", "Y"},
                                         {0xFFFFFFFF, 0xFFFFFFFF, "X", "Y"}};
    Conversion n;
    n.run(sentinel, db_layout::kFormatNew);
    ASSERT_EQ(n.status, WRITE_OK);
    EXPECT_EQ(n.kept, 0);
    std::vector<uint8_t> f = n.file();
    ASSERT_EQ(f.size(), 44u);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 16, f.end()),
              unhex("e4a1661c2c886ebb688dec494532431c020000000000000000000000"));
    Conversion o;
    o.run(sentinel, db_layout::kFormatOld);
    EXPECT_EQ(o.file(), unhex("86299d74b00af81f597352245a4a9ca101000000000000000000"));
}

TEST(OutputWriter, TextOffsetsAndTexts) {
    Conversion c;
    c.run({{1, 1, "AB", ""}, {5, 5, "C", ""}}, db_layout::kFormatNew);
    ASSERT_EQ(c.status, WRITE_OK);
    std::vector<uint8_t> f = c.file();
    size_t body = 32;
    std::vector<uint8_t> tail(f.begin() + body + 12 + 2 * 16, f.end());
    EXPECT_EQ(tail, unhex("000000000300000004000000"
                          "414200"
                          "00"
                          "4300"));
    // The digest covers exactly the body.
    uint8_t d[16];
    md5_buffer(f.data() + body, uint32_t(f.size() - body), d);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 16),
              std::vector<uint8_t>(f.begin() + 16, f.begin() + 32));
}

// The body is laid out over the records' block when it fits there and in a block of its own
// when the texts make it larger; both give the same bytes.
TEST(OutputWriter, BodyOverTheRecordsOrInABlockOfItsOwn) {
    std::string long_text(400, 'L'); // two records (one a sentinel) hold 64 bytes
    for (const std::string& country : {std::string("C"), long_text}) {
        Conversion c;
        c.run({{0x0A000000, 0x0A0000FF, country, "a"}, {0xFFFFFFFF, 0xFFFFFFFF, "S", "s"}},
              db_layout::kFormatNew);
        ASSERT_EQ(c.status, WRITE_OK);
        std::vector<uint8_t> body = unhex("02000000"
                                          "01000000"
                                          "02000000"
                                          "0000000A"
                                          "FF00000A"
                                          "00000000"
                                          "01000000"
                                          "00000000");
        uint32_t second = uint32_t(country.size() + 1);
        for (int k = 0; k < 4; ++k)
            body.push_back(uint8_t(second >> (8 * k)));
        body.insert(body.end(), country.begin(), country.end());
        for (char b : {'\0', 'a', '\0'})
            body.push_back(uint8_t(b));
        std::vector<uint8_t> want(db_layout::kMagic, db_layout::kMagic + 16);
        uint8_t d[16];
        md5_buffer(body.data(), uint32_t(body.size()), d);
        want.insert(want.end(), d, d + 16);
        want.insert(want.end(), body.begin(), body.end());
        EXPECT_EQ(c.file(), want) << country.size() << "-byte country";
    }
}

// The final file is written before its prefix is known; the prefix lands in front of the body,
// and the previous output stays whole until the stage is finished.
TEST(OutputWriter, FinalFileTakesItsPrefixLast) {
    Conversion c;
    ASSERT_TRUE(write_file(c.out, {9, 9, 9}));
    const uint8_t body[] = {1, 2, 3, 4, 5, 6, 7};
    const uint8_t prefix[] = {0xA1, 0xA2, 0xA3};
    OutputStage stage;
    ASSERT_EQ(begin_output_file(c.out.c_str(), sizeof prefix, body, sizeof body, &stage), STAGE_OK);
    EXPECT_EQ(read_file(c.out), (std::vector<uint8_t>{9, 9, 9}));
    ASSERT_EQ(finish_output_file(&stage, prefix, sizeof prefix, body, sizeof body), STAGE_OK);
    EXPECT_EQ(read_file(c.out), (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 1, 2, 3, 4, 5, 6, 7}));
#ifndef _WIN32
    EXPECT_EQ(entries(c.dir), (std::vector<std::string>{"out.dat"}));
#endif
    // A folder as the output is refused before anything is written.
    OutputStage refused;
    EXPECT_EQ(begin_output_file(c.dir.c_str(), sizeof prefix, body, sizeof body, &refused),
              STAGE_OPEN_FAILED);
}

// Ranges carrying `n` distinct texts in all: n / 2 ranges with a new country and area each.
std::vector<SimpleRange> many_texts(int n) {
    std::vector<SimpleRange> r;
    for (int i = 0; i + 1 < n; i += 2)
        r.push_back({uint32_t(i) * 4, uint32_t(i) * 4 + 1, "c" + std::to_string(i),
                     "a" + std::to_string(i + 1)});
    if (n % 2)
        r.push_back({uint32_t(n) * 4, uint32_t(n) * 4, "c" + std::to_string(n - 1), "a1"});
    return r;
}

TEST(OutputWriter, OldLayoutTextLimit) {
    {
        Conversion c; // exactly 65,535 texts: all written, reported with 0
        c.run(many_texts(65535), db_layout::kFormatOld);
        ASSERT_EQ(c.status, WRITE_OK);
        EXPECT_TRUE(c.report.text_limit_hit);
        EXPECT_EQ(c.report.discarded_texts, 0);
        std::vector<uint8_t> f = c.file();
        EXPECT_EQ(f[16 + 8], 0xFF);
        EXPECT_EQ(f[16 + 9], 0xFF);
    }
    {
        // Beyond the limit each range's new country is still interned before the range is
        // dropped (its area then is not): 65,535 + 1 + 3 texts, cut to 65,535.
        Conversion c;
        c.run(many_texts(65535 + 7), db_layout::kFormatOld);
        ASSERT_EQ(c.status, WRITE_OK);
        EXPECT_TRUE(c.report.text_limit_hit);
        EXPECT_EQ(c.report.discarded_texts, 4);
        std::vector<uint8_t> f = c.file();
        size_t offsets = 16 + 10 + 12 * size_t(c.kept);
        size_t texts = offsets + 4 * 65535;
        // The last text written is the 65,535th: "a65534" begins right where the offsets end
        // plus its offset, and the file ends behind it.
        uint32_t last = uint32_t(f[texts - 4]) | f[texts - 3] << 8 | f[texts - 2] << 16 |
                        uint32_t(f[texts - 1]) << 24;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[texts + last])), "c65534");
        EXPECT_EQ(f.size(), texts + last + 7);
    }
    {
        Conversion c; // the new layout has no such limit
        c.run(many_texts(65535 + 7), db_layout::kFormatNew);
        ASSERT_EQ(c.status, WRITE_OK);
        EXPECT_FALSE(c.report.text_limit_hit);
        std::vector<uint8_t> f = c.file();
        EXPECT_EQ(uint32_t(f[40]) | f[41] << 8 | f[42] << 16, 65535u + 7);
    }
}

TEST(OutputWriter, TempFileThatCannotBeCreated) {
    Conversion c;
    c.temp = c.dir + "/missing-folder/vornip.tmp";
    c.run(kOneRange, db_layout::kFormatNew);
    EXPECT_EQ(c.status, WRITE_TEMP_OPEN_FAILED);
    EXPECT_FALSE(exists(c.out));
}

TEST(OutputWriter, OutputThatCannotBeCreatedLeavesTheCompleteTempFile) {
    Conversion c;
    c.out = c.dir + "/missing-folder/out.dat";
    c.run(kOneRange, db_layout::kFormatNew);
    EXPECT_EQ(c.status, WRITE_OUTPUT_OPEN_FAILED);
    EXPECT_EQ(read_file(c.temp).size(), 39u);
}

// A body of 4 GiB or more can't be represented (32-bit sizes and offsets): refused before the
// body is allocated or any file is made.
TEST(OutputWriter, BodiesOf4GiBOrMoreAreRefusedBeforeAnythingIsWritten) {
    Conversion c;
    SourceDatabase db;
    LocationTable t;
    ASSERT_EQ(location_table_init(&t), 0);
    const char* text = "x";
    t.entries[0] = LocationEntry{text, 0xFFFFFFF0u, 1, 0};
    t.location_count = 1;
    WriteReport report;
    EXPECT_EQ(write_output_database(&db, 0, &t, db_layout::kFormatNew, c.out.c_str(),
                                    c.temp.c_str(), &report),
              WRITE_TOO_LARGE);
    EXPECT_FALSE(exists(c.temp));
    EXPECT_FALSE(exists(c.out));
}

#ifndef _WIN32
// A private device node, so that a fault in the clean-up could never remove the system's own.
std::string device(const std::string& dir, const char* name, unsigned minor) {
    std::string path = dir + "/" + name;
    std::remove(path.c_str());
    if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) != 0)
        return "";
    return path;
}

TEST(OutputWriter, DevicesAreRefusedNeverWrittenOrRemoved) {
    // A device as the output: refused before anything is written; no file appears beside it.
    Conversion c;
    std::string full = device(c.dir, "full", 7);
    if (full.empty())
        GTEST_SKIP() << "mknod needs root";
    c.out = full;
    c.run(kOneRange, db_layout::kFormatNew);
    EXPECT_EQ(c.status, WRITE_OUTPUT_OPEN_FAILED);
    EXPECT_TRUE(exists(full));
    EXPECT_EQ(entries(c.dir), (std::vector<std::string>{"full", "vornip.tmp"}));

    // A device where the temporary file goes: refused, left alone.
    Conversion t;
    t.temp = device(t.dir, "null", 3);
    t.run(kOneRange, db_layout::kFormatNew);
    EXPECT_EQ(t.status, WRITE_TEMP_OPEN_FAILED);
    EXPECT_TRUE(exists(t.temp));
    EXPECT_FALSE(exists(t.out));
}

TEST(OutputWriter, ReadBackThatDiffersFromTheBodyIsRefused) {
    ScratchFolder folder;
    std::string path = scratch_file(folder, "readback.tmp");
    const uint8_t body[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(write_temp_file(path.c_str(), body, sizeof body), STAGE_OK);
    EXPECT_EQ(verify_temp_file(path.c_str(), body, sizeof body), STAGE_OK);
    // Changed, cut short or grown by another program meanwhile.
    for (const std::vector<uint8_t>& other :
         {std::vector<uint8_t>{1, 2, 9, 4, 5}, std::vector<uint8_t>{1, 2, 3, 4},
          std::vector<uint8_t>{1, 2, 3, 4, 5, 6}}) {
        ASSERT_TRUE(write_file(path, other));
        EXPECT_EQ(verify_temp_file(path.c_str(), body, sizeof body), STAGE_CHANGED);
    }
    std::remove(path.c_str());
    EXPECT_EQ(verify_temp_file(path.c_str(), body, sizeof body), STAGE_READ_FAILED);
}
#endif

} // namespace
