// Sources converted by the converter's own load, merge and write read back through the reader:
// every range's start, end and end + 1 must give the texts that the source reader resolved for
// the range the merge kept there, or nothing where no kept range covers the address.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/db_layout.h"
#include "reader/db_reader.h"
#include "convert/location_table.h"
#include "convert/output_writer.h"
#include "convert/range_merge.h"
#include "tests/source_builder.h"
#include "tests/scratch_folder.h"
#include "convert/source_reader.h"

namespace {

struct KeptRange {
    uint32_t start_ip, end_ip;
    std::string country, area;
};

struct Converted {
    std::vector<uint8_t> file;
    std::vector<uint32_t> probes; // start, end and end + 1 of every source range
    std::vector<KeptRange> kept;  // as the merge left them, texts through the table
    uint32_t text_count = 0;
};

void convert(const std::vector<uint8_t>& source, int32_t format, Converted* out) {
    SourceDatabase db;
    ASSERT_EQ(load_source_from_memory(source.data(), source.size(), &db), LOAD_OK);
    for (int32_t i = 0; i < db.record_count; ++i) {
        out->probes.push_back(db.records[i].start_ip);
        out->probes.push_back(db.records[i].end_ip);
        out->probes.push_back(db.records[i].end_ip + 1);
    }
    LocationTable table;
    ASSERT_EQ(location_table_init(&table), 0);
    int32_t kept = 0;
    ASSERT_EQ(merge_source_ranges(&db, format, &table, &kept), MERGE_OK);
    for (int32_t i = 0; i < kept; ++i) {
        const RangeRecord& r = db.records[i];
        out->kept.push_back(
            {r.start_ip, r.end_ip, table.entries[r.country].text, table.entries[r.area].text});
    }
    ScratchFolder folder;
    std::string path = scratch_file(folder, "out.dat"), temp = scratch_file(folder, "out.tmp");
    WriteReport report;
    ASSERT_EQ(write_output_database(&db, kept, &table, format, path.c_str(), temp.c_str(), &report),
              WRITE_OK);
    out->text_count = uint32_t(table.location_count);
    out->file = read_file(path);
    std::remove(path.c_str());
}

std::string show(const KeptRange* r) {
    return r == nullptr ? "not found" : r->country + "/" + r->area;
}

// The range a lookup must find: the first kept range in order that holds the address. When the
// kept ranges ascend without overlap (every sorted source) that is found by bisection, so that
// large sources stay quick to check.
const KeptRange* expected_range(const std::vector<KeptRange>& kept, bool ascending,
                                uint32_t address) {
    if (ascending) {
        auto after =
            std::upper_bound(kept.begin(), kept.end(), address,
                             [](uint32_t a, const KeptRange& r) { return a < r.start_ip; });
        if (after == kept.begin() || address > (after - 1)->end_ip)
            return nullptr;
        return &*(after - 1);
    }
    for (const KeptRange& r : kept)
        if (r.start_ip <= address && address <= r.end_ip)
            return &r;
    return nullptr;
}

bool ascending_disjoint(const std::vector<KeptRange>& kept) {
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].start_ip > kept[i].end_ip)
            return false;
        if (i > 0 && kept[i].start_ip <= kept[i - 1].end_ip)
            return false;
    }
    return true;
}

struct Outcome {
    size_t kept = 0;
    bool sorted = false; // as the reader judged the database
};

void check_round_trip(const std::vector<uint8_t>& source, int32_t format,
                      Outcome* outcome = nullptr) {
    SCOPED_TRACE(format == db_layout::kFormatNew ? "new layout" : "old layout");
    Converted c;
    convert(source, format, &c);
    if (testing::Test::HasFatalFailure())
        return;
    NorvaneDb db;
    DbError error;
    ASSERT_EQ(db_open_memory(c.file.data(), c.file.size(), &db, &error), DB_OK)
        << db_error_message(error);
    if (outcome != nullptr) {
        outcome->kept = c.kept.size();
        outcome->sorted = db.sorted;
    }
    EXPECT_EQ(db.format_version, format);
    EXPECT_EQ(db.range_count, c.kept.size());
    EXPECT_EQ(db.text_count, c.text_count);
    bool ascending = ascending_disjoint(c.kept);
    int failures = 0;
    for (uint32_t address : c.probes) {
        DbLocation location;
        std::string got = db_lookup(&db, address, &location)
                              ? std::string(location.country) + "/" + location.area
                              : "not found";
        std::string want = show(expected_range(c.kept, ascending, address));
        EXPECT_EQ(got, want) << "address " << address;
        if (got != want && ++failures > 10)
            break;
    }
}

Outcome check_both_layouts(const std::vector<SimpleRange>& ranges) {
    std::vector<uint8_t> source = build_source(ranges);
    Outcome outcome;
    check_round_trip(source, db_layout::kFormatNew, &outcome);
    check_round_trip(source, db_layout::kFormatOld);
    return outcome;
}

const uint32_t kSentinel = 0xFFFFFFFF;

} // namespace

TEST(RoundTrip, EveryRedirectForm) {
    // build_source cycles through the record and area forms; fifteen ranges with empty and
    // non-empty areas reach each pairing, and shared texts are reached through several forms.
    std::vector<SimpleRange> ranges;
    for (uint32_t i = 0; i < 30; ++i) {
        std::string area = i % 4 == 1 ? "" : "area" + std::to_string(i % 6);
        ranges.push_back({i * 1000, i * 1000 + 499, "country" + std::to_string(i % 7), area});
    }
    ranges.push_back({kSentinel, kSentinel, "IANA", "reserved"});
    check_both_layouts(ranges);
}

TEST(RoundTrip, MergedAndDroppedRanges) {
    check_both_layouts({
        {0, 9, "A", "x"},
        {10, 19, "A", "x"},
        {20, 29, "A", "x"}, // joined to [0, 29]
        {30, 39, "A", "y"}, // area differs
        {41, 49, "A", "y"}, // gap of one
        {41, 45, "B", "z"}, // same start: dropped
        {45, 90, "C", "w"}, // starts inside: dropped
        {50, 59, "A", "y"},
        {60, 69, "B", "y"},                         // country differs
        {0xFFFFFF00, kSentinel, "end", "sentinel"}, // end sentinel: skipped
        {kSentinel, kSentinel, "IANA", ""},
    });
}

TEST(RoundTrip, UnsortedEntriesStayInKeptOrder) {
    Outcome outcome = check_both_layouts({
        {1000, 1999, "A", "x"},
        {0, 499, "B", "y"},     // before the last kept: kept after it
        {400, 1500, "C", "z"},  // starts inside the last kept: dropped
        {500, 999, "B", "y"},   // continues [0, 499]: joined
        {1200, 3000, "D", "w"}, // beyond [0, 999], the last kept: kept, overlapping [1000, 1999]
        {3001, 3001, "D", "w"},
        {20, 10, "E", "v"}, // before the last kept, end below start: kept, covers nothing
        {kSentinel, kSentinel, "IANA", ""},
    });
    EXPECT_EQ(outcome.kept, 4u);
    EXPECT_FALSE(outcome.sorted); // found by scanning, not by bisection
}

TEST(RoundTrip, RandomSources) {
    std::mt19937 engine(2024);
    auto rng = [&engine] { return uint32_t(engine()); };
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<SimpleRange> ranges;
        uint32_t count = 2 + rng() % 400;
        uint32_t next = rng() % 100;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t start, end;
            if (round % 3 == 0) { // anywhere, any order
                start = rng() % 200000;
                end = start + rng() % 3000;
            } else { // mostly ascending, with joins, gaps, overlaps and the odd step back
                start = rng() % 10 == 0 ? next - std::min<uint32_t>(next, rng() % 5000) : next;
                end = start + rng() % 700;
                next = end + 1 + (rng() % 3 == 0 ? rng() % 3 : 0);
            }
            ranges.push_back({start, end, "C" + std::to_string(rng() % 9),
                              rng() % 5 == 0 ? "" : "a" + std::to_string(rng() % 13)});
        }
        ranges.push_back({kSentinel, kSentinel, "IANA", ""});
        check_both_layouts(ranges);
        if (HasFatalFailure())
            return;
    }
}

TEST(RoundTrip, OldLayoutSixteenBitLimit) {
    // 70,000 distinct texts: the old layout keeps the ranges whose texts got indexes up to
    // 0xFFFE and drops the rest, which must read as not found; the new layout keeps them all.
    std::vector<SimpleRange> expected;
    std::vector<uint8_t> source = generate_source(70000, 70000, 7, &expected);
    Outcome old_layout, new_layout;
    check_round_trip(source, db_layout::kFormatOld, &old_layout);
    check_round_trip(source, db_layout::kFormatNew, &new_layout);
    EXPECT_EQ(new_layout.kept, 70000u);
    EXPECT_LT(old_layout.kept, 70000u);
    EXPECT_GT(old_layout.kept, 40000u);
}

// Neighbours sharing a block join, equal areas stored at many places are one text, and every
// source range's start and end still give its own texts.
TEST(RoundTrip, RealShapedSourceAnswersEachRangesTexts) {
    std::vector<SimpleRange> ranges;
    std::vector<uint8_t> source = generate_real_shaped_source(120000, 5, &ranges);
    Converted c;
    convert(source, db_layout::kFormatNew, &c);
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    EXPECT_LT(c.kept.size(), ranges.size() * 9 / 10); // many joins
    EXPECT_LE(c.text_count, 3000u);                   // each text once
    NorvaneDb db;
    DbError error;
    ASSERT_EQ(db_open_memory(c.file.data(), c.file.size(), &db, &error), DB_OK);
    int failures = 0;
    for (const SimpleRange& r : ranges) {
        for (uint32_t address : {r.start_ip, r.end_ip}) {
            DbLocation at;
            std::string got = db_lookup(&db, address, &at) ? std::string(at.country) + "/" + at.area
                                                           : "not found";
            EXPECT_EQ(got, r.country + "/" + r.area) << "address " << address;
            if (got != r.country + "/" + r.area && ++failures > 10)
                return;
        }
    }
}

TEST(RoundTrip, LargeGeneratedSource) {
    std::vector<uint8_t> source = generate_source(200000, 3000, 11, nullptr);
    Outcome outcome;
    check_round_trip(source, db_layout::kFormatNew, &outcome);
    EXPECT_TRUE(outcome.sorted);
}

// Distinct texts that are suffixes of one long run take far more room in the body than in the
// source: the body outgrows the records' block and the room kept beside it, and the block grows.
TEST(RoundTrip, ABodyLargerThanRecordsAndImage) {
    SourceBuilder b;
    sb_init(&b);
    std::string run(3000, 'x');
    for (size_t i = 0; i < run.size(); ++i)
        run[i] = char('a' + i % 26);
    uint32_t text = sb_put_text(&b, run);
    std::vector<uint32_t> records;
    for (uint32_t k = 0; k < 3000; ++k) {
        records.push_back(sb_put_u32(&b, k * 2));
        sb_put_redirect(&b, 2, text + k); // country: the run from its k-th byte
        sb_put_text(&b, "");
    }
    for (uint32_t k = 0; k < 3000; ++k)
        sb_add_index(&b, k * 2, records[k]);
    std::vector<uint8_t> source = sb_finish(&b);
    Converted c;
    convert(source, db_layout::kFormatNew, &c);
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    // The texts alone: 3000 suffixes of 1 to 3000 bytes with their zero bytes.
    EXPECT_GT(c.file.size(), size_t(3000) * 3001 / 2 + 3000);
    EXPECT_GT(c.file.size(), source.size() + 3000 * 16 + 65536);
    NorvaneDb db;
    DbError error;
    ASSERT_EQ(db_open_memory(c.file.data(), c.file.size(), &db, &error), DB_OK)
        << db_error_message(error);
    for (uint32_t k : {0u, 1u, 1234u, 2999u}) {
        DbLocation at;
        ASSERT_TRUE(db_lookup(&db, k * 2, &at)) << k;
        EXPECT_EQ(std::string(at.country), run.substr(k)) << k;
        EXPECT_EQ(std::string(at.area), "") << k;
    }
}
