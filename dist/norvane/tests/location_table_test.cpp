#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/location_table.h"
#include "convert/source_reader.h"

namespace {

struct Table {
    LocationTable t{};
    explicit Table(int32_t capacity = kLocationCapacity) {
        EXPECT_EQ(location_table_init(&t, capacity), 0);
    }
};

TEST(LocationTable, OffsetsFollowTheTextLengths) {
    Table tb;
    EXPECT_EQ(intern_location(&tb.t, "ab"), 0);
    EXPECT_EQ(location_offset(&tb.t, 0), 0u);
    EXPECT_EQ(intern_location(&tb.t, ""), 1);
    EXPECT_EQ(intern_location(&tb.t, "cdefg"), 2);
    EXPECT_EQ(location_offset(&tb.t, 1), 3u);
    EXPECT_EQ(location_offset(&tb.t, 2), 4u);
    EXPECT_EQ(tb.t.entries[0].end_offset, 3u);
    EXPECT_EQ(tb.t.entries[1].end_offset, 4u);
    EXPECT_EQ(tb.t.entries[2].end_offset, 10u);
}

TEST(LocationTable, EmptyNullAndZeroLengthTextsShareOneEntry) {
    Table tb;
    const char image[] = "X\0Y";
    EXPECT_EQ(intern_location(&tb.t, "A"), 0);
    int32_t empty = intern_location(&tb.t, nullptr);
    EXPECT_EQ(empty, 1);
    EXPECT_EQ(tb.t.entries[1].text, empty_text);
    EXPECT_EQ(intern_location(&tb.t, empty_text), empty);
    EXPECT_EQ(intern_location(&tb.t, image + 1), empty);
    EXPECT_EQ(tb.t.location_count, 2);
}

TEST(LocationTable, EqualBytesAnywhereKeepTheFirstPointer) {
    Table tb;
    std::string a = "\xB1\xB1\xBE\xA9";
    std::string b = a;
    EXPECT_EQ(intern_location(&tb.t, a.c_str()), 0);
    EXPECT_EQ(intern_location(&tb.t, b.c_str()), 0);
    EXPECT_EQ(tb.t.entries[0].text, a.c_str());
    EXPECT_EQ(tb.t.location_count, 1);
    EXPECT_EQ(intern_location(&tb.t, "Beijing"), 1);
    EXPECT_EQ(intern_location(&tb.t, "beijing"), 2);
    EXPECT_EQ(intern_location(&tb.t, "Beijing "), 3);
    EXPECT_EQ(intern_location(&tb.t, "Beijing"), 1);
    EXPECT_EQ(tb.t.location_count, 4);
}

// Many texts: the index grows and keeps first-appearance order and every lookup right.
TEST(LocationTable, ManyTextsKeepTheirOrderAndOffsets) {
    Table tb;
    std::vector<std::string> texts;
    for (int i = 0; i < 50000; ++i)
        texts.push_back("t" + std::to_string(i * 7919 % 100003));
    uint32_t offset = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(intern_location(&tb.t, texts[i].c_str()), int32_t(i));
        ASSERT_EQ(location_offset(&tb.t, int32_t(i)), offset);
        offset += uint32_t(texts[i].size()) + 1;
    }
    for (size_t i = 0; i < texts.size(); i += 97) {
        std::string copy = texts[i];
        EXPECT_EQ(intern_location(&tb.t, copy.c_str()), int32_t(i));
    }
    EXPECT_EQ(tb.t.location_count, int32_t(texts.size()));
}

TEST(LocationTable, CapacityIsNeverExceeded) {
    Table tb(3);
    EXPECT_EQ(intern_location(&tb.t, "a"), 0);
    EXPECT_EQ(intern_location(&tb.t, "b"), 1);
    EXPECT_EQ(intern_location(&tb.t, "c"), 2);
    EXPECT_EQ(intern_location(&tb.t, "d"), INTERN_TABLE_FULL);
    EXPECT_EQ(intern_location(&tb.t, "b"), 1); // known texts are still found
    EXPECT_EQ(tb.t.location_count, 3);
}

TEST(LocationTable, AppendedTextsAreFoundByLaterSearches) {
    // The merge appends texts its labels say are new without searching; a search afterwards
    // (the table's other users) must still see them, past a growth of the entries and the index.
    Table tb;
    ASSERT_TRUE(reserve_locations(&tb.t, 3000));
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i)
        texts.push_back("appended " + std::to_string(i));
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(
            append_location(&tb.t, texts[size_t(i)].c_str(), uint32_t(texts[size_t(i)].size())), i);
    EXPECT_EQ(location_offset(&tb.t, 1), uint32_t(texts[0].size()) + 1);
    for (int i = 0; i < 3000; i += 7) {
        std::string copy = texts[size_t(i)];
        EXPECT_EQ(intern_location(&tb.t, copy.c_str()), i);
    }
    EXPECT_EQ(intern_location(&tb.t, "new"), 3000);
    EXPECT_EQ(append_location(&tb.t, "later", 5), 3001);
    EXPECT_EQ(intern_location(&tb.t, "later"), 3001);
    EXPECT_EQ(tb.t.location_count, 3002);
}

TEST(LocationTable, AppendingStopsAtTheCapacity) {
    Table tb(2);
    EXPECT_TRUE(reserve_locations(&tb.t, 10)); // room beyond the capacity is not taken
    EXPECT_EQ(append_location(&tb.t, "a", 1), 0);
    EXPECT_EQ(append_location(&tb.t, "b", 1), 1);
    EXPECT_EQ(append_location(&tb.t, "c", 1), INTERN_TABLE_FULL);
    EXPECT_EQ(tb.t.location_count, 2);
}

} // namespace
