// The platform-free decisions behind the magnifier, the info box, the windows under the pointer
// and the keys: placement beside the pointer near every edge, the innermost window of a
// z-ordered tree, and the key transitions of each state.
#include "core/interaction_core.h"
#include "core/keyboard_interaction.h"
#include "core/overlay_layout.h"
#include "core/overlay_placement.h"
#include "core/window_hit.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

static bool operator==(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& os, const GeoRect& rc) {
    return os << "{" << rc.left << ", " << rc.top << ", " << rc.right << ", " << rc.bottom << "}";
}

namespace {

const GeoRect kDisplay{0, 0, 1920, 1080};

bool covers(const GeoRect& rc, int32_t x, int32_t y) {
    return rect_contains(rc, GeoPoint{x, y});
}

TEST(Placement, TheClassicBoxKeepsItsClassicPlaces) {
    // 60 x 85 with a gap of 3: right/above, and the strict edges of the old rule.
    EXPECT_EQ(place_beside_pointer(300, 250, 60, 85, 3, kDisplay), (GeoRect{303, 162, 363, 247}));
    EXPECT_EQ(place_beside_pointer(1857, 88, 60, 85, 3, kDisplay), (GeoRect{1860, 0, 1920, 85}));
    EXPECT_EQ(place_beside_pointer(1858, 87, 60, 85, 3, kDisplay), (GeoRect{1795, 90, 1855, 175}));
}

TEST(Placement, AMeasuredBoxMovesAsideByItsOwnSize) {
    // A wide box (four-digit coordinates) near the right edge goes left of the pointer.
    const GeoRect right = place_beside_pointer(1700, 600, 190, 50, 3, kDisplay);
    EXPECT_EQ(right, (GeoRect{1703, 547, 1893, 597}));
    const GeoRect left = place_beside_pointer(1800, 600, 190, 50, 3, kDisplay);
    EXPECT_EQ(left, (GeoRect{1607, 547, 1797, 597}));
    // Taller than the room above: below.
    EXPECT_EQ(place_beside_pointer(500, 52, 190, 50, 3, kDisplay).top, 55);
    EXPECT_EQ(place_beside_pointer(500, 53, 190, 50, 3, kDisplay).top, 0);
    // Never over the pointer's pixel, wherever it is.
    for (int32_t x : {0, 5, 960, 1914, 1919})
        for (int32_t y : {0, 40, 540, 1075, 1079})
            EXPECT_FALSE(covers(place_beside_pointer(x, y, 190, 50, 3, kDisplay), x, y))
                << x << "," << y;
}

TEST(Placement, TheLoupeGoesBelowRightThenAsideAndClearOfTheInfoBox) {
    const GeoRect none{0, 0, 0, 0};
    EXPECT_EQ(place_loupe(400, 300, 122, 160, 3, kDisplay, none), (GeoRect{403, 303, 525, 463}));
    // Right edge: below-left. Bottom edge: above-right. Corner: above-left.
    EXPECT_EQ(place_loupe(1850, 300, 122, 160, 3, kDisplay, none).right, 1847);
    EXPECT_EQ(place_loupe(400, 1000, 122, 160, 3, kDisplay, none).bottom, 997);
    EXPECT_EQ(place_loupe(1850, 1000, 122, 160, 3, kDisplay, none),
              (GeoRect{1725, 837, 1847, 997}));
    // Where the info box lies below-right, the loupe takes the next free place.
    const GeoRect info{403, 303, 600, 350};
    EXPECT_EQ(place_loupe(400, 300, 122, 160, 3, kDisplay, info), (GeoRect{275, 303, 397, 463}));
    // At the top-right corner the info box is below-left: the loupe does not overlap it.
    const GeoRect corner_info = place_beside_pointer(1900, 10, 190, 50, 3, kDisplay);
    const GeoRect loupe = place_loupe(1900, 10, 122, 160, 3, kDisplay, corner_info);
    EXPECT_FALSE(rects_overlap(loupe, corner_info));
    for (int32_t x : {0, 960, 1919})
        for (int32_t y : {0, 540, 1079})
            EXPECT_FALSE(covers(place_loupe(x, y, 122, 160, 3, kDisplay, none), x, y));
}

TEST(Placement, SizesScaleWithTheDpi) {
    const OverlayMetrics classic = overlay_metrics(96);
    EXPECT_EQ(classic.gap, 3);
    EXPECT_EQ(classic.handle_radius, 2);
    EXPECT_EQ(classic.loupe_zoom, 8);
    EXPECT_EQ(classic.loupe_cells, 15);
    const OverlayMetrics doubled = overlay_metrics(192);
    EXPECT_EQ(doubled.gap, 6);
    EXPECT_EQ(doubled.handle_radius, 4);
    EXPECT_EQ(doubled.loupe_zoom, 16);
    EXPECT_EQ(overlay_metrics(144).handle_radius, 3);
    // No DPI reported (0) or a lower one keeps the classic sizes.
    EXPECT_EQ(overlay_metrics(0).loupe_zoom, 8);
    EXPECT_EQ(overlay_metrics(72).gap, 3);
    // The loupe panel holds the magnified square and a caption wider than it.
    EXPECT_EQ(loupe_size(classic, GeoPoint{60, 26}).x, 122);
    EXPECT_EQ(loupe_size(classic, GeoPoint{60, 26}).y, 120 + 26 + 6 + 2);
    EXPECT_EQ(loupe_size(classic, GeoPoint{130, 26}).x, 130 + 6 + 2);
}

TEST(WindowHit, TheInnermostWindowOfTheTopmostTreeUnderThePointer) {
    std::vector<WindowRect> list;
    // Front window with a child that has a grandchild; a second child overlapping the first
    // (lower in z-order); then a full-display window behind everything.
    const GeoRect front = add_window_rect(list, {100, 100, 600, 500}, 0, kDisplay);
    add_window_rect(list, {150, 150, 350, 300}, 1, front);
    add_window_rect(list, {160, 160, 200, 200}, 2, GeoRect{150, 150, 350, 300});
    add_window_rect(list, {300, 150, 500, 300}, 1, front);
    add_window_rect(list, {0, 0, 1920, 1080}, 0, kDisplay);
    EXPECT_EQ(window_at(list, {170, 170}), (GeoRect{160, 160, 200, 200}));
    EXPECT_EQ(window_at(list, {250, 250}), (GeoRect{150, 150, 350, 300}));
    // In the overlap the child higher in z-order wins.
    EXPECT_EQ(window_at(list, {320, 200}), (GeoRect{150, 150, 350, 300}));
    EXPECT_EQ(window_at(list, {400, 200}), (GeoRect{300, 150, 500, 300}));
    EXPECT_EQ(window_at(list, {120, 450}), front);
    EXPECT_EQ(window_at(list, {700, 700}), (GeoRect{0, 0, 1920, 1080}));
    // A grandchild of a window that does not contain the pointer is never found.
    EXPECT_EQ(window_at(list, {1000, 170}), (GeoRect{0, 0, 1920, 1080}));
    EXPECT_EQ(window_at({}, {10, 10}), (GeoRect{0, 0, 0, 0}));
}

TEST(WindowHit, RectanglesAreClippedToTheirParentAndTheDisplay) {
    std::vector<WindowRect> list;
    // Partly off the display; a child reaching out of its parent; a window wholly off it.
    const GeoRect clipped = add_window_rect(list, {-50, 900, 400, 1200}, 0, kDisplay);
    EXPECT_EQ(clipped, (GeoRect{0, 900, 400, 1080}));
    EXPECT_EQ(add_window_rect(list, {300, 1000, 700, 1100}, 1, clipped),
              (GeoRect{300, 1000, 400, 1080}));
    EXPECT_EQ(add_window_rect(list, {2000, 0, 2500, 400}, 0, kDisplay), (GeoRect{0, 0, 0, 0}));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(window_at(list, {500, 1050}), (GeoRect{0, 0, 0, 0}));
}

TEST(Dpi, LargerHandlesZonesAndEraseStripsAtADoubledDpi) {
    CaptureState cs;
    cs.nHandleRadius = overlay_metrics(192).handle_radius;
    reset_capture_state(cs);
    EXPECT_EQ(cs.nHandleRadius, 4) << "a reset keeps the radius";
    press_pointer(cs, 100, 100);
    move_pointer(cs, 300, 250);
    release_pointer(cs);
    EXPECT_EQ(cs.rcHandles[HANDLE_TOP_LEFT], (GeoRect{96, 96, 105, 105}));
    EXPECT_EQ(cs.rcHandles[HANDLE_BOTTOM_RIGHT], (GeoRect{295, 245, 304, 254}));
    EXPECT_EQ(cs.rcEdgeLeft, (GeoRect{96, 100, 105, 250}));
    EXPECT_EQ(cs.rcHit, (GeoRect{97, 97, 303, 253}));
    // A press on the inner part of a handle takes the capture and grabs the corner.
    EXPECT_EQ(press_pointer(cs, 98, 98), MOUSE_CAPTURE_TAKE);
    EXPECT_EQ(cs.ptAnchor.x, 300);
    // The erase strips cover every pixel of every handle and of the outline.
    GeoRect strips[4];
    frame_erase_strips(cs.rcSelection, strips, cs.nHandleRadius);
    int uncovered = 0;
    for (const GeoRect& h : cs.rcHandles)
        for (int32_t y = h.top; y < h.bottom; ++y)
            for (int32_t x = h.left; x < h.right; ++x) {
                bool in = false;
                for (const GeoRect& st : strips)
                    in = in || rect_contains(st, GeoPoint{x, y});
                uncovered += in ? 0 : 1;
            }
    EXPECT_EQ(uncovered, 0);
    // At radius 2 the strips are the classic ones.
    frame_erase_strips(GeoRect{100, 100, 300, 250}, strips, 2);
    EXPECT_EQ(strips[0], (GeoRect{98, 98, 302, 103}));
    EXPECT_EQ(strips[1], (GeoRect{297, 98, 303, 252}));
}

class Keys : public ::testing::Test {
  protected:
    CaptureState cs;
    void SetUp() override { reset_capture_state(cs); }
    void select(int32_t l, int32_t t, int32_t r, int32_t b) {
        press_pointer(cs, l, t);
        move_pointer(cs, r, b);
        release_pointer(cs);
        ASSERT_TRUE(selection_is_finished(cs));
    }
};

TEST_F(Keys, ArrowsMoveThePointerUnlessASelectionIsFinished) {
    // Idle, a rubber band and a move: the pointer, 1 or 10 pixels.
    KeyAction a = press_key(cs, KEY_LEFT, false, false);
    EXPECT_EQ(a.effect, KEY_MOVES_POINTER);
    EXPECT_EQ(a.dx, -1);
    EXPECT_EQ(a.dy, 0);
    press_pointer(cs, 100, 100);
    move_pointer(cs, 150, 150);
    a = press_key(cs, KEY_DOWN, true, true);
    EXPECT_EQ(a.effect, KEY_MOVES_POINTER);
    EXPECT_EQ(a.dy, 10);
    release_pointer(cs);
    press_pointer(cs, 120, 120); // inside: Moving
    a = press_key(cs, KEY_UP, false, false);
    EXPECT_EQ(a.effect, KEY_MOVES_POINTER);
    EXPECT_EQ(a.dy, -1);
}

TEST_F(Keys, AFinishedSelectionMovesAndShiftMovesItsRightOrBottomEdge) {
    select(100, 100, 200, 160);
    EXPECT_EQ(press_key(cs, KEY_RIGHT, true, false).effect, KEY_CHANGED_SELECTION);
    EXPECT_EQ(cs.rcSelection, (GeoRect{110, 100, 210, 160}));
    EXPECT_EQ(cs.rcPrevious, (GeoRect{100, 100, 200, 160}));
    EXPECT_EQ(cs.rcHandles[HANDLE_TOP_LEFT], (GeoRect{108, 98, 113, 103}));
    press_key(cs, KEY_UP, false, false);
    EXPECT_EQ(cs.rcSelection, (GeoRect{110, 99, 210, 159}));
    press_key(cs, KEY_LEFT, false, true);
    EXPECT_EQ(cs.rcSelection, (GeoRect{110, 99, 209, 159}));
    press_key(cs, KEY_DOWN, true, true);
    EXPECT_EQ(cs.rcSelection, (GeoRect{110, 99, 209, 169}));
    // Zones follow: the bottom-right handle, the strips and the hit rectangle.
    EXPECT_EQ(cs.rcHandles[HANDLE_BOTTOM_RIGHT], (GeoRect{206, 166, 211, 171}));
    EXPECT_EQ(cs.rcEdgeBottom, (GeoRect{110, 167, 209, 172}));
    EXPECT_EQ(cs.rcHit, (GeoRect{109, 98, 210, 170}));
    // Shrinking stops at one pixel.
    for (int i = 0; i < 20; ++i)
        press_key(cs, KEY_LEFT, true, true);
    EXPECT_EQ(cs.rcSelection.right, 111);
    EXPECT_TRUE(selection_is_finished(cs));
}

TEST_F(Keys, EnterAcceptsOnlyASelectionWithPixels) {
    EXPECT_EQ(press_key(cs, KEY_ENTER, false, false).effect, KEY_IGNORED);
    press_pointer(cs, 100, 100);
    move_pointer(cs, 100, 100); // the move that comes with a press: nothing drawn
    EXPECT_EQ(press_key(cs, KEY_ENTER, false, false).effect, KEY_IGNORED);
    move_pointer(cs, 130, 120);
    EXPECT_EQ(press_key(cs, KEY_ENTER, false, false).effect, KEY_ACCEPTS);
    release_pointer(cs);
    EXPECT_EQ(press_key(cs, KEY_ENTER, false, false).effect, KEY_ACCEPTS);
}

TEST_F(Keys, AClickWithoutADragSelectsTheWindowUnderIt) {
    const GeoRect window{50, 40, 300, 200};
    press_pointer(cs, 100, 100);
    move_pointer(cs, 100, 100);
    ASSERT_TRUE(click_selects_window(cs, window, {100, 100}, {100, 100}));
    EXPECT_TRUE(selection_is_finished(cs));
    EXPECT_EQ(cs.rcSelection, window);
    EXPECT_EQ(cs.rcHandles[HANDLE_BOTTOM_RIGHT], (GeoRect{297, 197, 302, 202}));
    EXPECT_EQ(cursor_at(cs, {150, 100}), CURSOR_SIZEALL);

    // A drag, a press on an existing selection, or no window: no window selection.
    reset_capture_state(cs);
    press_pointer(cs, 100, 100);
    move_pointer(cs, 180, 150);
    EXPECT_FALSE(click_selects_window(cs, window, {100, 100}, {100, 100}));
    release_pointer(cs);
    press_pointer(cs, 180, 150); // the bottom-right corner of the selection
    EXPECT_FALSE(click_selects_window(cs, window, {180, 150}, {180, 150}));
    reset_capture_state(cs);
    press_pointer(cs, 100, 100);
    EXPECT_FALSE(click_selects_window(cs, GeoRect{0, 0, 0, 0}, {100, 100}, {100, 100}));
    EXPECT_FALSE(click_selects_window(cs, window, {100, 100}, {101, 100}));
}

} // namespace
