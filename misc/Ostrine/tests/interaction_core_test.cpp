// The pointer state machine without a window: presses, moves and releases as the dialog passes
// them on, and what each asks of the platform (mouse capture, cursor, redraw).
#include "core/interaction_core.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

static bool operator==(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& os, const GeoRect& rc) {
    return os << "{" << rc.left << ", " << rc.top << ", " << rc.right << ", " << rc.bottom << "}";
}

namespace {

std::string flags_of(const CaptureState& cs) {
    return std::to_string(cs.bCapturing) + std::to_string(cs.bCaptured) +
           std::to_string(cs.bMoving) + std::to_string(cs.bSizing);
}

// Each test works on a record of its own, fresh as a capture that has not started.
class PointerStateMachine : public ::testing::Test {
  protected:
    CaptureState cs;

    std::string flags() const { return flags_of(cs); }

    // A finished rubber band from (l, t) to (r, b): state Selected.
    void select(int32_t l, int32_t t, int32_t r, int32_t b) {
        reset_capture_state(cs);
        ASSERT_EQ(press_pointer(cs, l, t), MOUSE_CAPTURE_TAKE);
        move_pointer(cs, r, b);
        const ButtonUpResult up = release_pointer(cs);
        ASSERT_EQ(up.capture, MOUSE_CAPTURE_RELEASE);
        ASSERT_TRUE(up.bShowSelection);
        ASSERT_EQ(flags(), "0100");
        ASSERT_EQ(cs.rcSelection, (GeoRect{l, t, r, b}));
    }
};

TEST_F(PointerStateMachine, ResetGoesIdleButKeepsTheSizingEdge) {
    cs.nSizingEdge = EDGE_LEFT;
    cs.bCaptured = 1;
    cs.rcSelection = GeoRect{1, 2, 3, 4};
    cs.rcInfo = GeoRect{5, 6, 7, 8};
    cs.ptLastMove = GeoPoint{9, 9};
    reset_capture_state(cs);
    EXPECT_EQ(flags(), "0000");
    EXPECT_EQ(cs.nSizingEdge, EDGE_LEFT);
    EXPECT_EQ(cs.rcSelection, (GeoRect{0, 0, 0, 0}));
    EXPECT_EQ(cs.rcInfo, (GeoRect{0, 0, 0, 0}));
    EXPECT_EQ(cs.ptLastMove.x, -1);
    EXPECT_EQ(cs.ptLastMove.y, -1);
}

TEST_F(PointerStateMachine, RubberBandRedrawsOnEveryMoveWithoutChangingTheCursor) {
    reset_capture_state(cs);
    EXPECT_FALSE(move_pointer(cs, 10, 10).bRedraw) << "Idle moves only trace";
    EXPECT_EQ(press_pointer(cs, 100, 50), MOUSE_CAPTURE_TAKE);
    EXPECT_EQ(flags(), "1000");
    EXPECT_EQ(cs.rcSelection, (GeoRect{0, 0, 0, 0})) << "untouched until a move";
    const PointerMoveResult moved = move_pointer(cs, 40, 80);
    EXPECT_TRUE(moved.bRedraw);
    EXPECT_FALSE(moved.bSetCursor);
    EXPECT_EQ(cs.rcSelection, (GeoRect{40, 50, 100, 80}));
    EXPECT_EQ(cs.rcHandles[HANDLE_BOTTOM_RIGHT], (GeoRect{97, 77, 102, 82}));
    EXPECT_EQ(cs.rcEdgeLeft, (GeoRect{38, 50, 43, 80}));
}

TEST_F(PointerStateMachine, CornerHandleAnchorsTheOppositeCorner) {
    select(100, 100, 200, 200);
    EXPECT_EQ(press_pointer(cs, 99, 99), MOUSE_CAPTURE_TAKE);
    EXPECT_EQ(flags(), "1000");
    EXPECT_EQ(cs.ptAnchor.x, 200);
    EXPECT_EQ(cs.ptAnchor.y, 200);
    move_pointer(cs, 150, 120);
    EXPECT_EQ(cs.rcSelection, (GeoRect{150, 120, 200, 200}));
    move_pointer(cs, 250, 260);
    EXPECT_EQ(cs.rcSelection, (GeoRect{200, 200, 250, 260}));

    // The other three corners, each with its own opposite anchor.
    const struct {
        int32_t x, y, ax, ay;
    } corners[] = {{199, 199, 100, 100}, {199, 100, 100, 200}, {100, 199, 200, 100}};
    for (const auto& c : corners) {
        select(100, 100, 200, 200);
        EXPECT_EQ(press_pointer(cs, c.x, c.y), MOUSE_CAPTURE_TAKE);
        EXPECT_EQ(cs.ptAnchor.x, c.ax) << c.x << "," << c.y;
        EXPECT_EQ(cs.ptAnchor.y, c.ay) << c.x << "," << c.y;
    }
}

TEST_F(PointerStateMachine, OverlappingHandlesOfATinySelectionPreferTopLeft) {
    select(100, 100, 102, 102);
    EXPECT_EQ(press_pointer(cs, 101, 101), MOUSE_CAPTURE_TAKE);
    EXPECT_EQ(cs.ptAnchor.x, 102);
    EXPECT_EQ(cs.ptAnchor.y, 102);
}

TEST_F(PointerStateMachine, EdgeStripsDragOneEdge) {
    const struct {
        int32_t x, y;
        int32_t edge;
        int32_t to_x, to_y;
        GeoRect want;
    } cases[] = {
        {150, 101, EDGE_TOP, 170, 130, {100, 130, 200, 200}},
        {150, 200, EDGE_BOTTOM, 10, 260, {100, 100, 200, 260}},
        {101, 150, EDGE_LEFT, 60, 10, {60, 100, 200, 200}},
        {200, 150, EDGE_RIGHT, 230, 10, {100, 100, 230, 200}},
    };
    for (const auto& c : cases) {
        select(100, 100, 200, 200);
        EXPECT_EQ(press_pointer(cs, c.x, c.y), MOUSE_CAPTURE_TAKE);
        EXPECT_EQ(flags(), "1001");
        EXPECT_EQ(cs.nSizingEdge, c.edge);
        EXPECT_TRUE(move_pointer(cs, c.to_x, c.to_y).bRedraw);
        EXPECT_EQ(cs.rcSelection, c.want) << "edge " << c.edge;
        release_pointer(cs);
        EXPECT_EQ(flags(), "0100");
    }
}

TEST_F(PointerStateMachine, MovingShiftsByThePointerDelta) {
    select(100, 100, 200, 200);
    EXPECT_EQ(press_pointer(cs, 150, 150), MOUSE_CAPTURE_TAKE);
    EXPECT_EQ(flags(), "0110");
    const PointerMoveResult moved = move_pointer(cs, 160, 145);
    EXPECT_TRUE(moved.bRedraw);
    EXPECT_TRUE(moved.bSetCursor);
    EXPECT_EQ(moved.cursor, CURSOR_SIZEALL);
    EXPECT_EQ(cs.rcSelection, (GeoRect{110, 95, 210, 195}));
    EXPECT_EQ(cs.rcPrevious, (GeoRect{100, 100, 200, 200}));
    EXPECT_EQ(cs.rcHandles[HANDLE_TOP_LEFT], (GeoRect{108, 93, 113, 98}));
    EXPECT_EQ(cs.rcEdgeRight, (GeoRect{208, 95, 213, 195}));
    EXPECT_EQ(cs.ptLastMove.x, 160);
    EXPECT_EQ(cs.ptLastMove.y, 145);
    const ButtonUpResult up = release_pointer(cs);
    EXPECT_EQ(up.capture, MOUSE_CAPTURE_RELEASE);
    EXPECT_TRUE(up.bShowSelection);
    EXPECT_EQ(flags(), "0100");
}

TEST_F(PointerStateMachine, PressOnTheOuterRimOfAZoneStartsNoDrag) {
    select(100, 100, 200, 200);
    // Inside rcEdgeLeft but outside rcHit: the zone's effect without the capture.
    EXPECT_EQ(press_pointer(cs, 98, 150), MOUSE_CAPTURE_KEEP);
    EXPECT_EQ(flags(), "0101");
    EXPECT_EQ(cs.nSizingEdge, EDGE_LEFT);
    const PointerMoveResult moved = move_pointer(cs, 50, 150);
    EXPECT_FALSE(moved.bRedraw);
    EXPECT_EQ(cs.rcSelection, (GeoRect{100, 100, 200, 200}));
    const ButtonUpResult up = release_pointer(cs);
    EXPECT_EQ(up.capture, MOUSE_CAPTURE_KEEP);
    EXPECT_FALSE(up.bShowSelection);
    EXPECT_EQ(flags(), "0100");
}

TEST_F(PointerStateMachine, PressOutsideEveryZoneOnlyReleasesTheCapture) {
    select(100, 100, 200, 200);
    const CaptureState before = cs;
    EXPECT_EQ(press_pointer(cs, 300, 300), MOUSE_CAPTURE_RELEASE);
    EXPECT_EQ(flags(), "0100");
    EXPECT_EQ(cs.rcSelection, before.rcSelection);
    EXPECT_EQ(cs.ptAnchor.x, before.ptAnchor.x);
    EXPECT_FALSE(move_pointer(cs, 400, 400).bRedraw) << "no new rubber band";
}

TEST_F(PointerStateMachine, HoverPicksTheCursorByZone) {
    select(100, 100, 200, 200);
    const struct {
        int32_t x, y;
        CaptureCursor cursor;
    } cases[] = {
        {150, 150, CURSOR_SIZEALL}, {99, 99, CURSOR_SIZENWSE},  {200, 200, CURSOR_SIZENWSE},
        {199, 98, CURSOR_SIZENESW}, {98, 200, CURSOR_SIZENESW}, {150, 98, CURSOR_SIZENS},
        {150, 202, CURSOR_SIZENS},  {98, 150, CURSOR_SIZEWE},   {202, 150, CURSOR_SIZEWE},
        {300, 300, CURSOR_CAPTURE}, {97, 150, CURSOR_CAPTURE},  {150, 203, CURSOR_CAPTURE},
    };
    for (const auto& c : cases) {
        const PointerMoveResult moved = move_pointer(cs, c.x, c.y);
        EXPECT_TRUE(moved.bSetCursor);
        EXPECT_FALSE(moved.bRedraw);
        EXPECT_EQ(moved.cursor, c.cursor) << c.x << "," << c.y;
    }
    char line[1024];
    EXPECT_EQ(format_trace_line(cs, line, sizeof line), 35u);
    EXPECT_STREQ(line, "bCapturing:0 bCaptured:1,bMoving:0\n");
}

TEST_F(PointerStateMachine, EscapeDecisionFollowsTheFlags) {
    reset_capture_state(cs);
    EXPECT_FALSE(escape_clears_selection(cs));
    press_pointer(cs, 10, 10);
    EXPECT_TRUE(escape_clears_selection(cs)) << "rubber band";
    select(100, 100, 200, 200);
    EXPECT_TRUE(escape_clears_selection(cs)) << "selected";
    press_pointer(cs, 150, 150);
    EXPECT_TRUE(escape_clears_selection(cs)) << "moving";
}

TEST_F(PointerStateMachine, ADragThatDrewNothingEndsIdle) {
    reset_capture_state(cs);
    // Press and release without a move in between.
    press_pointer(cs, 50, 60);
    ButtonUpResult up = release_pointer(cs);
    EXPECT_EQ(up.capture, MOUSE_CAPTURE_RELEASE);
    EXPECT_FALSE(up.bShowSelection);
    EXPECT_EQ(flags(), "0000");
    // Esc during a drag with the button still held: the release finds Idle.
    press_pointer(cs, 50, 60);
    move_pointer(cs, 80, 90);
    reset_capture_state(cs);
    up = release_pointer(cs);
    EXPECT_EQ(up.capture, MOUSE_CAPTURE_RELEASE);
    EXPECT_FALSE(up.bShowSelection);
    EXPECT_EQ(flags(), "0000");
    // A new rubber band starts at once.
    EXPECT_EQ(press_pointer(cs, 10, 20), MOUSE_CAPTURE_TAKE);
    move_pointer(cs, 30, 40);
    EXPECT_TRUE(release_pointer(cs).bShowSelection);
    EXPECT_EQ(cs.rcSelection, (GeoRect{10, 20, 30, 40}));

    // A corner press on an existing selection released without a move keeps the selection.
    EXPECT_EQ(press_pointer(cs, 10, 20), MOUSE_CAPTURE_TAKE);
    up = release_pointer(cs);
    EXPECT_TRUE(up.bShowSelection);
    EXPECT_EQ(flags(), "0100");
    EXPECT_EQ(cs.rcSelection, (GeoRect{10, 20, 30, 40}));
}

TEST_F(PointerStateMachine, EmptySelectionsHaveNoPixels) {
    cs.rcSelection = GeoRect{5, 5, 5, 9};
    EXPECT_TRUE(selection_is_empty(cs));
    cs.rcSelection = GeoRect{5, 5, 9, 5};
    EXPECT_TRUE(selection_is_empty(cs));
    cs.rcSelection = GeoRect{5, 5, 6, 6};
    EXPECT_FALSE(selection_is_empty(cs));
}

TEST(PointerCoordinate, IsSigned16Bits) {
    EXPECT_EQ(pointer_coordinate(0), 0);
    EXPECT_EQ(pointer_coordinate(1023), 1023);
    EXPECT_EQ(pointer_coordinate(0x7FFF), 32767);
    EXPECT_EQ(pointer_coordinate(0xFFEC), -20);
    EXPECT_EQ(pointer_coordinate(0x8000), -32768);
    EXPECT_EQ(pointer_coordinate(0x1FFFF), -1) << "only the low 16 bits count";
}

TEST(TraceLine, CarriesTheThreeFlags) {
    CaptureState cs;
    cs.bCapturing = 1;
    cs.bCaptured = 0;
    cs.bMoving = 1;
    char line[1024];
    format_trace_line(cs, line, sizeof line);
    EXPECT_STREQ(line, "bCapturing:1 bCaptured:0,bMoving:1\n");
    char small[8];
    EXPECT_EQ(format_trace_line(cs, small, sizeof small), 7u);
    EXPECT_STREQ(small, "bCaptur");
}

} // namespace

namespace {

TEST(SelectionWithin, KeepsOnlyThePartOnTheImage) {
    const GeoRect image{0, 0, 1024, 768};
    CaptureState cs;
    cs.rcSelection = GeoRect{100, 120, 300, 250};
    EXPECT_EQ(selection_within(cs, image), (GeoRect{100, 120, 300, 250}));
    cs.rcSelection = GeoRect{-20, -10, 200, 150};
    EXPECT_EQ(selection_within(cs, image), (GeoRect{0, 0, 200, 150}));
    cs.rcSelection = GeoRect{960, 550, 1060, 800};
    EXPECT_EQ(selection_within(cs, image), (GeoRect{960, 550, 1024, 768}));
    // Wholly outside, touching an edge from outside, or empty: no pixels.
    for (const GeoRect& outside : {GeoRect{2174, 100, 2274, 160}, GeoRect{-50, 10, 0, 20},
                                   GeoRect{10, 768, 20, 800}, GeoRect{5, 5, 5, 9}}) {
        cs.rcSelection = outside;
        EXPECT_EQ(selection_within(cs, image), (GeoRect{0, 0, 0, 0})) << outside;
    }
}

} // namespace

namespace {

TEST(DragInProgress, HoldsForReshapingDragsAndMovesOnly) {
    CaptureState cs;
    EXPECT_FALSE(drag_in_progress(cs)) << "idle";
    press_pointer(cs, 10, 10);
    EXPECT_TRUE(drag_in_progress(cs)) << "rubber band";
    move_pointer(cs, 50, 40);
    release_pointer(cs);
    EXPECT_FALSE(drag_in_progress(cs)) << "selected";
    press_pointer(cs, 30, 25);
    EXPECT_TRUE(drag_in_progress(cs)) << "moving";
    release_pointer(cs);
    EXPECT_FALSE(drag_in_progress(cs));
}

} // namespace
