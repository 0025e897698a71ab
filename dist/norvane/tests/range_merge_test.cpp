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

// The records' texts stand in one image, each text of each record at a place of its own (equal
// texts at different places, as in real sources); an empty area is the program's empty text
// every other time. The merge runs twice: with labels, as the program does, and interning the
// texts' bytes; both must give the same result.
Merged merge(const std::vector<In>& in, int32_t format = db_layout::kFormatNew) {
    std::string image;
    std::vector<size_t> at;
    for (const In& r : in) {
        for (const char* text : {r.country, r.area}) {
            at.push_back(image.size());
            image.append(text);
            image.push_back('\0');
        }
    }
    std::vector<RangeRecord> recs;
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t area = uint32_t(at[2 * i + 1]);
        recs.push_back(RangeRecord{in[i].start, in[i].end, uint32_t(at[2 * i]),
                                   image[area] == 0 && i % 2 ? kEmptyTextAt : area});
    }
    std::vector<RangeRecord> plain = recs;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(image.data());

    LocationTable t, by_bytes;
    EXPECT_EQ(location_table_init(&t), 0);
    EXPECT_EQ(location_table_init(&by_bytes), 0);
    TextLabels labels;
    EXPECT_EQ(
        label_texts(recs.data(), int32_t(recs.size()), bytes, uint32_t(image.size()), &labels),
        LABEL_OK);
    int32_t kept = -1, kept_plain = -1;
    EXPECT_EQ(merge_ranges(recs.data(), int32_t(recs.size()), format, bytes, &labels, &t, &kept),
              MERGE_OK);
    EXPECT_EQ(merge_ranges(plain.data(), int32_t(plain.size()), format, bytes, nullptr, &by_bytes,
                           &kept_plain),
              MERGE_OK);
    EXPECT_EQ(kept, kept_plain);
    EXPECT_EQ(t.location_count, by_bytes.location_count);
    Merged m;
    for (int32_t i = 0; i < kept; ++i) {
        const RangeRecord& r = recs[i];
        EXPECT_EQ(r.country, plain[i].country);
        EXPECT_EQ(r.area, plain[i].area);
        // Every text the table points to lies in the image (or is the program's empty text).
        for (uint32_t index : {r.country, r.area}) {
            const char* text = t.entries[index].text;
            EXPECT_TRUE(text == empty_text ||
                        (text >= image.data() && text < image.data() + image.size()));
        }
        m.ranges.push_back(
            Out{r.start_ip, r.end_ip, t.entries[r.country].text, t.entries[r.area].text});
    }
    for (int32_t i = 0; i < t.location_count; ++i) {
        m.texts.push_back(t.entries[i].text);
        EXPECT_STREQ(t.entries[i].text, by_bytes.entries[i].text);
        EXPECT_EQ(t.entries[i].end_offset, by_bytes.entries[i].end_offset);
    }
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
    const char image[] = "A\0B\0C\0D";
    for (bool with_labels : {false, true}) {
        RangeRecord recs[2] = {{0, 1, 0, 2}, {5, 6, 4, 6}};
        TextLabels labels;
        if (with_labels) {
            ASSERT_EQ(label_texts(recs, 2, reinterpret_cast<const uint8_t*>(image), sizeof image,
                                  &labels),
                      LABEL_OK);
        }
        LocationTable t;
        ASSERT_EQ(location_table_init(&t, 3), 0);
        int32_t kept = -1;
        EXPECT_EQ(merge_ranges(recs, 2, db_layout::kFormatNew,
                               reinterpret_cast<const uint8_t*>(image),
                               with_labels ? &labels : nullptr, &t, &kept),
                  MERGE_TABLE_FULL);
        EXPECT_EQ(kept, 1);
        EXPECT_EQ(t.location_count, 3);
    }
}

TEST(TextLabels, EqualBytesShareALabelWhereverTheyStand) {
    // Texts at six places: "ab" twice, "" inside the image and as the empty text, "a" (a prefix
    // of "ab"), and "b" (a suffix of "ab", at a place inside it).
    const char image[] = "ab\0ab\0\0a";
    RangeRecord recs[3] = {{0, 0, 0, 3}, {1, 1, 6, kEmptyTextAt}, {2, 2, 7, 1}};
    TextLabels labels;
    ASSERT_EQ(label_texts(recs, 3, reinterpret_cast<const uint8_t*>(image), sizeof image, &labels),
              LABEL_OK);
    EXPECT_EQ(labels.label_count, 4);
    EXPECT_EQ(recs[0].country, recs[0].area);
    EXPECT_EQ(recs[1].country, recs[1].area);
    std::set<uint32_t> distinct{recs[0].country, recs[1].country, recs[2].country, recs[2].area};
    EXPECT_EQ(distinct.size(), 4u);
    EXPECT_EQ(labels.lengths[recs[0].country], 2u);
    EXPECT_EQ(labels.lengths[recs[1].country], 0u);
    EXPECT_EQ(labels.lengths[recs[2].area], 1u);
    // Each label keeps the first place its bytes stand at.
    EXPECT_EQ(labels.first_at[recs[0].country], 0u);
    EXPECT_EQ(labels.first_at[recs[2].area], 1u);
}

TEST(TextLabels, ATextOutsideTheImageIsRefused) {
    const char image[] = "a\0b";
    RangeRecord inside{0, 0, 0, 2};
    for (uint32_t foreign : {uint32_t(sizeof image), uint32_t(sizeof image) + 100, 0xFFFFFFFEu}) {
        RangeRecord recs[2] = {inside, {1, 1, 0, foreign}};
        TextLabels labels;
        EXPECT_EQ(
            label_texts(recs, 2, reinterpret_cast<const uint8_t*>(image), sizeof image, &labels),
            LABEL_FOREIGN_TEXT);
        EXPECT_EQ(labels.label_count, 0);
    }
}

TEST(TextLabels, ManyRecordsOnTwoThreadsMatchTheBytes) {
    // Enough records for both halves to run at once; texts drawn from a few dozen, each copy at
    // a place of its own.
    std::string image;
    std::vector<size_t> at;
    std::vector<uint32_t> which;
    const uint32_t n = 200000;
    for (uint32_t i = 0; i < 2 * n; ++i) {
        uint32_t k = (i * 2654435761u) >> 27; // 32 different texts
        which.push_back(k);
        at.push_back(image.size());
        image += "text" + std::to_string(k);
        image.push_back('\0');
    }
    std::vector<RangeRecord> recs;
    for (uint32_t i = 0; i < n; ++i)
        recs.push_back({i, i, uint32_t(at[2 * i]), uint32_t(at[2 * i + 1])});
    TextLabels labels;
    ASSERT_EQ(label_texts(recs.data(), int32_t(n), reinterpret_cast<const uint8_t*>(image.data()),
                          uint32_t(image.size()), &labels),
              LABEL_OK);
    std::vector<int32_t> label_of_text(32, -1);
    for (uint32_t i = 0; i < 2 * n; ++i) {
        int32_t label = int32_t(i % 2 ? recs[i / 2].area : recs[i / 2].country);
        if (label_of_text[which[i]] < 0)
            label_of_text[which[i]] = label;
        ASSERT_EQ(label, label_of_text[which[i]]) << i;
    }
    std::set<int32_t> distinct(label_of_text.begin(), label_of_text.end());
    EXPECT_EQ(int32_t(distinct.size()), labels.label_count);
}

} // namespace
