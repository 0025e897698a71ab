// Where the overlay goes: the info box's place and text, and the strips that erase an outline.
#include "core/overlay_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

static bool operator==(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& os, const GeoRect& rc) {
    return os << "{" << rc.left << ", " << rc.top << ", " << rc.right << ", " << rc.bottom << "}";
}

namespace {

const GeoRect kClient{0, 0, 1024, 768};

TEST(InfoBox, SitsRightAndAboveWhenThereIsRoomElseLeftOrBelow) {
    CaptureState cs;
    place_info_box(cs, 300, 250, kClient);
    EXPECT_EQ(cs.rcInfo, (GeoRect{303, 162, 363, 247}));
    // The comparison with the right edge is strict.
    place_info_box(cs, 1024 - 62, 200, kClient);
    EXPECT_EQ(cs.rcInfo.left, 1024 - 62 - 63);
    place_info_box(cs, 1024 - 63, 200, kClient);
    EXPECT_EQ(cs.rcInfo.left, 1024 - 60);
    EXPECT_EQ(cs.rcInfo.right, 1024);
    place_info_box(cs, 10, 88, kClient);
    EXPECT_EQ(cs.rcInfo, (GeoRect{13, 0, 73, 85}));
    place_info_box(cs, 10, 87, kClient);
    EXPECT_EQ(cs.rcInfo, (GeoRect{13, 90, 73, 175}));
    // Off the display to the left and above: right of and below the pointer.
    place_info_box(cs, -20, -10, kClient);
    EXPECT_EQ(cs.rcInfo, (GeoRect{-17, -7, 43, 78}));
    place_info_box(cs, INT_MAX - 10, 500, kClient);
    EXPECT_EQ(cs.rcInfo.left, INT_MAX - 10 - 63) << "no wrap-around";
}

TEST(InfoBox, TextStartsTwoPixelsBelowTheTop) {
    CaptureState cs;
    place_info_box(cs, 300, 250, kClient);
    EXPECT_EQ(info_text_rect(cs), (GeoRect{303, 164, 363, 247}));
}

std::u16string info_text(int32_t l, int32_t t, int32_t w, int32_t h, int32_t x, int32_t y,
                         size_t capacity = INFO_TEXT_CAPACITY) {
    char16_t buf[INFO_TEXT_CAPACITY];
    const size_t n = format_info_text(buf, capacity, l, t, w, h, x, y);
    EXPECT_EQ(buf[n], 0);
    return std::u16string(buf, n);
}

TEST(InfoText, ThreeLinesOfPositionSizeAndPointer) {
    EXPECT_EQ(info_text(100, 120, 200, 130, 300, 250), u"\u9876\u70b9\u4f4d\u7f6e (100,120)\n"
                                                       u"\u77e9\u5f62\u5927\u5c0f (200,130)\n"
                                                       u"\u5149\u6807\u5750\u6807 (300,250)");
    EXPECT_EQ(info_text(-20, -10, 0, 7, -20, 0).substr(0, 14),
              u"\u9876\u70b9\u4f4d\u7f6e (-20,-10)");
}

TEST(InfoText, ExtremeValuesFitAndSmallBuffersStayTerminated) {
    const std::u16string longest = info_text(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN);
    EXPECT_LT(longest.size(), INFO_TEXT_CAPACITY);
    EXPECT_NE(longest.find(u"(-2147483648,-2147483648)"), std::u16string::npos);
    EXPECT_EQ(longest.back(), u')');
    EXPECT_EQ(info_text(1, 2, 3, 4, 5, 6, 6), u"\u9876\u70b9\u4f4d\u7f6e ");
    char16_t one[1] = {u'x'};
    EXPECT_EQ(format_info_text(one, 1, 1, 2, 3, 4, 5, 6), 0u);
    EXPECT_EQ(one[0], 0);
}

// Every pixel that the outline and the eight handles of `sel` cover.
bool drawn_at(const GeoRect& sel, int32_t x, int32_t y) {
    CaptureState cs;
    cs.rcSelection = sel;
    update_handles(cs);
    const bool inside = rect_contains(sel, GeoPoint{x, y});
    const bool on_outline =
        inside && (x == sel.left || x == sel.right - 1 || y == sel.top || y == sel.bottom - 1);
    bool in_handle = false;
    for (const GeoRect& h : cs.rcHandles)
        in_handle = in_handle || rect_contains(h, GeoPoint{x, y});
    return on_outline || in_handle;
}

TEST(EraseStrips, CoverTheWholeOutlineWithItsHandlesAndLittleElse) {
    const GeoRect selections[] = {
        {100, 100, 200, 200},
        {10, 20, 11, 21},
        {50, 60, 50, 90},
        {50, 60, 90, 60},
        {-7, -9, 2, 0},
        // The pointer back on the anchor: a selection of no width and no height.
        {500, 500, 500, 500},
        {30, 40, 31, 40}};
    for (const GeoRect& sel : selections) {
        GeoRect strips[4];
        frame_erase_strips(sel, strips);
        if (sel.right - sel.left > 1 && sel.bottom - sel.top > 1) {
            EXPECT_EQ(strips[0], (GeoRect{sel.left - 2, sel.top - 2, sel.right + 2, sel.top + 3}));
        }
        for (int32_t y = sel.top - 6; y < sel.bottom + 6; ++y) {
            for (int32_t x = sel.left - 6; x < sel.right + 6; ++x) {
                bool covered = false;
                for (const GeoRect& s : strips)
                    covered = covered || rect_contains(s, GeoPoint{x, y});
                if (drawn_at(sel, x, y)) {
                    EXPECT_TRUE(covered) << sel << " pixel " << x << "," << y;
                }
                // Nothing beyond 3 pixels outside the edges is copied.
                if (covered) {
                    EXPECT_TRUE(x >= sel.left - 3 && x <= sel.right + 2 && y >= sel.top - 3 &&
                                y <= sel.bottom + 2)
                        << sel << " pixel " << x << "," << y;
                }
            }
        }
    }
}

} // namespace
