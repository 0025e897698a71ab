#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/db_layout.h"
#include "convert/range_merge.h"

namespace {

struct In {
    uint32_t start, end;
    const char* country;
    const char* area;
};

struct Out {
    uint32_t start, end;
    std::string country, area;
    bool operator==(const Out& o) const {
        return start == o.start && end == o.end && country == o.country && area == o.area;
    }
};

std::ostream& operator<<(std::ostream& os, const Out& o) {
    return os << "[" << o.start << "," << o.end << "] " << o.country << "/" << o.area;
}

struct Merged {
    std::vector<Out> ranges;
    std::vector<std::string> texts;
};

Merged merge(const std::vector<In>& in, int32_t format = db_layout::kFormatNew) {
    std::vector<RangeRecord> recs;
    for (const In& r : in)
        recs.push_back(RangeRecord{r.start, r.end, -1, -1, r.country, r.area});
    LocationTable t;
    EXPECT_EQ(location_table_init(&t), 0);
    int32_t kept = -1;
    EXPECT_EQ(merge_ranges(recs.data(), int32_t(recs.size()), format, &t, &kept), MERGE_OK);
    Merged m;
    for (int32_t i = 0; i < kept; ++i) {
        const RangeRecord& r = recs[i];
        EXPECT_STREQ(t.entries[r.country_index].text, r.country_text);
        EXPECT_STREQ(t.entries[r.area_index].text, r.area_text);
        m.ranges.push_back(Out{r.start_ip, r.end_ip, r.country_text, r.area_text});
    }
    for (int32_t i = 0; i < t.location_count; ++i)
        m.texts.push_back(t.entries[i].text);
    return m;
}

using Outs = std::vector<Out>;
using Texts = std::vector<std::string>;

TEST(RangeMerge, NothingOrOnlySentinels) {
    EXPECT_TRUE(merge({}).ranges.empty());
    Merged m = merge(
        {{0xFFFFFFFF, 0xFFFFFFFF, "A", "x"}, {0, 0xFFFFFFFF, "A", "x"}, {0xFFFFFFFF, 5, "B", "y"}});
    EXPECT_TRUE(m.ranges.empty());
    EXPECT_TRUE(m.texts.empty());
}

TEST(RangeMerge, ContinuationsJoinOnlyWithEqualTextsAndNoGap) {
    Merged m = merge({{0, 9, "A", "x"}, {10, 19, "A", "x"}, {20, 29, "A", "x"}});
    EXPECT_EQ(m.ranges, (Outs{{0, 29, "A", "x"}}));
    EXPECT_EQ(m.texts, (Texts{"A", "x"}));

    EXPECT_EQ(merge({{0, 9, "A", "x"}, {10, 19, "A", "y"}}).ranges,
              (Outs{{0, 9, "A", "x"}, {10, 19, "A", "y"}}));
    EXPECT_EQ(merge({{0, 9, "A", "x"}, {11, 19, "A", "x"}}).ranges,
              (Outs{{0, 9, "A", "x"}, {11, 19, "A", "x"}}));
    // Equal bytes at different places join too.
    std::string a1 = "A", a2 = "A";
    EXPECT_EQ(merge({{0, 9, a1.c_str(), "x"}, {10, 19, a2.c_str(), "x"}}).ranges,
              (Outs{{0, 19, "A", "x"}}));
}

TEST(RangeMerge, RangesStartingInsideTheLastKeptOneAreDropped) {
    EXPECT_EQ(merge({{0, 9, "A", "x"}, {0, 9, "B", "y"}}).ranges, (Outs{{0, 9, "A", "x"}}));
    Merged m = merge({{0, 9, "A", "x"}, {5, 20, "A", "x"}, {9, 30, "C", "z"}});
    EXPECT_EQ(m.ranges, (Outs{{0, 9, "A", "x"}}));
    EXPECT_EQ(m.texts, (Texts{"A", "x"})); // dropped ranges intern nothing
}

TEST(RangeMerge, EarlierStartsAreKeptInOrder) {
    EXPECT_EQ(merge({{10, 19, "A", "x"}, {0, 5, "B", "y"}}).ranges,
              (Outs{{10, 19, "A", "x"}, {0, 5, "B", "y"}}));
    // An end below its start: only the start is compared with the last kept range.
    EXPECT_EQ(
        merge({{0, 9, "A", "x"}, {5, 2, "B", "y"}, {20, 3, "C", "z"}, {21, 30, "C", "z"}}).ranges,
        (Outs{{0, 9, "A", "x"}, {20, 3, "C", "z"}, {21, 30, "C", "z"}}));
}

TEST(RangeMerge, EachContinuationComparesWithTheLastKept) {
    Merged m = merge({{0, 9, "A", "x"},
                      {10, 19, "A", "x"},
                      {20, 29, "B", "y"},
                      {30, 39, "B", "y"},
                      {40, 49, "C", "z"},
                      {50, 59, "B", "y"}});
    EXPECT_EQ(
        m.ranges,
        (Outs{{0, 19, "A", "x"}, {20, 39, "B", "y"}, {40, 49, "C", "z"}, {50, 59, "B", "y"}}));
    EXPECT_EQ(m.texts, (Texts{"A", "x", "B", "y", "C", "z"}));
}

// Old layout: indexes stop at 0xFFFE. Fills the table with 0xFFFE distinct texts first.
TEST(RangeMerge, OldLayoutDropsRangesWhoseTextIndexWouldReach0xFFFF) {
    std::vector<std::string> pool;
    for (int i = 0; i < 0xFFFE + 3; ++i)
        pool.push_back("t" + std::to_string(i));
    std::vector<In> in;
    uint32_t ip = 0;
    // 0x7FFF ranges with two new texts each: indexes 0 .. 0xFFFD.
    for (int i = 0; i < 0xFFFE; i += 2, ip += 2)
        in.push_back({ip, ip, pool[i].c_str(), pool[i + 1].c_str()});
    in.push_back({ip, ip, "t0", pool[0xFFFE].c_str()}); // area index 0xFFFE: kept
    ip += 2;
    in.push_back({ip, ip, pool[0xFFFF].c_str(), "t1"}); // country 0xFFFF: dropped
    ip += 2;
    in.push_back({ip, ip, "t2", pool[0x10000].c_str()}); // area 0x10000: dropped
    ip += 2;
    in.push_back({ip, ip, pool[0xFFFF].c_str(), "t1"}); // text met in a dropped range: dropped
    ip += 2;
    in.push_back({ip, ip, "t4", "t5"}); // known texts: kept
    Merged old = merge(in, db_layout::kFormatOld);
    ASSERT_EQ(old.ranges.size(), in.size() - 3);
    EXPECT_EQ(old.ranges[0x7FFF].area, pool[0xFFFE]);
    EXPECT_EQ(old.ranges.back().country, "t4");
    EXPECT_EQ(old.texts.size(), 0xFFFFu + 2); // the dropped ranges' texts stay in the table

    Merged fresh = merge(in, db_layout::kFormatNew);
    EXPECT_EQ(fresh.ranges.size(), in.size());
}

// Many texts, each stored at two places and met through either, adjacent ranges sharing them:
// joins and indexes follow the bytes, however many pointers the merge has remembered.
TEST(RangeMerge, ManyPointersToEqualTextsJoinByContent) {
    const int kTexts = 6000;
    std::vector<std::string> first, second;
    for (int i = 0; i < kTexts; ++i) {
        first.push_back("text " + std::to_string(i));
        second.push_back(first.back());
    }
    uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    std::vector<In> in;
    Outs expected;
    for (uint32_t ip = 0; ip < 60000; ip += 2) {
        uint32_t c = next() % 50, a = 50 + next() % (kTexts - 50);
        const std::vector<std::string>& at = next() % 2 ? first : second;
        in.push_back({ip, ip + 1, at[c].c_str(), at[a].c_str()});
        if (next() % 3 == 0) { // a continuation with the same texts, through the other copies
            const std::vector<std::string>& other = &at == &first ? second : first;
            in.push_back({ip + 1 + 1, ip + 2, other[c].c_str(), other[a].c_str()});
            ip += 1;
        }
    }
    // The model: a continuation joins exactly when its texts have the same bytes.
    for (const In& r : in) {
        if (!expected.empty() && r.start == expected.back().end + 1 &&
            expected.back().country == r.country && expected.back().area == r.area)
            expected.back().end = r.end;
        else
            expected.push_back(Out{r.start, r.end, r.country, r.area});
    }
    Merged m = merge(in);
    EXPECT_EQ(m.ranges, expected);
    std::set<std::string> distinct(m.texts.begin(), m.texts.end());
    EXPECT_EQ(distinct.size(), m.texts.size()); // each text once
}

TEST(RangeMerge, TableFullEndsTheMerge) {
    RangeRecord recs[2] = {{0, 1, -1, -1, "A", "B"}, {5, 6, -1, -1, "C", "D"}};
    LocationTable t;
    ASSERT_EQ(location_table_init(&t, 3), 0);
    int32_t kept = -1;
    EXPECT_EQ(merge_ranges(recs, 2, db_layout::kFormatNew, &t, &kept), MERGE_TABLE_FULL);
}

} // namespace
