// Selection geometry on its own, natively and (cross-built) under Wine.
#include "core/selection_geometry.h"

#include <gtest/gtest.h>

#include <ostream>

static bool operator==(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static std::ostream& operator<<(std::ostream& os, const GeoRect& rc) {
    return os << "{" << rc.left << ", " << rc.top << ", " << rc.right << ", " << rc.bottom << "}";
}

namespace {

// Each test works on a record of its own, fresh as a capture that has not started.
class SelectionGeometry : public ::testing::Test {
  protected:
    CaptureState cs;

    // A selection as a finished drag leaves it, with its derived rectangles up to date.
    void select(GeoRect rc) {
        cs.rcSelection = rc;
        cs.rcHit = GeoRect{rc.left - 1, rc.top - 1, rc.right + 1, rc.bottom + 1};
        update_edge_strips(cs);
        update_handles(cs);
    }

    GeoRect drag_edge(int edge, int32_t x, int32_t y) {
        cs.nSizingEdge = edge;
        cs.ptDrag = GeoPoint{x, y};
        rect_from_edge_drag(cs);
        return cs.rcSelection;
    }

    GeoRect drag_to(int32_t x, int32_t y) {
        cs.ptDrag = GeoPoint{x, y};
        rect_from_edge_drag(cs);
        return cs.rcSelection;
    }
};

int count_points(const GeoRect& rc) {
    int n = 0;
    for (int32_t y = rc.top - 3; y < rc.bottom + 3; ++y)
        for (int32_t x = rc.left - 3; x < rc.right + 3; ++x)
            n += rect_contains(rc, GeoPoint{x, y}) ? 1 : 0;
    return n;
}

TEST(RectContains, IsHalfOpen) {
    const GeoRect rc{10, 20, 13, 22};
    EXPECT_TRUE(rect_contains(rc, GeoPoint{10, 20}));
    EXPECT_TRUE(rect_contains(rc, GeoPoint{12, 21}));
    EXPECT_FALSE(rect_contains(rc, GeoPoint{13, 21}));
    EXPECT_FALSE(rect_contains(rc, GeoPoint{12, 22}));
    EXPECT_FALSE(rect_contains(rc, GeoPoint{9, 20}));
    EXPECT_FALSE(rect_contains(rc, GeoPoint{10, 19}));
    EXPECT_EQ(count_points(rc), 6);
    EXPECT_EQ(count_points(GeoRect{5, 5, 5, 9}), 0);
    EXPECT_EQ(count_points(GeoRect{5, 5, 4, 9}), 0);
}

TEST_F(SelectionGeometry, AnchorSpansToThePointerFromAnyCorner) {
    cs.rcSelection = GeoRect{1, 2, 3, 4};
    cs.ptAnchor = GeoPoint{100, 50};
    cs.ptDrag = GeoPoint{40, 80};
    rect_from_anchor(cs);
    EXPECT_EQ(cs.rcSelection, (GeoRect{40, 50, 100, 80}));
    EXPECT_EQ(cs.rcHit, (GeoRect{39, 49, 101, 81}));
    EXPECT_EQ(cs.rcPrevious, (GeoRect{1, 2, 3, 4}));

    // The same rectangle whichever of its corners is the anchor.
    const GeoPoint corners[4][2] = {
        {{40, 50}, {100, 80}}, {{100, 80}, {40, 50}}, {{40, 80}, {100, 50}}, {{100, 50}, {40, 80}}};
    for (const auto& c : corners) {
        cs.ptAnchor = c[0];
        cs.ptDrag = c[1];
        rect_from_anchor(cs);
        EXPECT_EQ(cs.rcSelection, (GeoRect{40, 50, 100, 80}));
        EXPECT_EQ(cs.rcPrevious, (GeoRect{40, 50, 100, 80}));
    }
}

TEST_F(SelectionGeometry, AnchorOnThePointerGivesAnEmptySelection) {
    cs.ptAnchor = GeoPoint{-7, 300};
    cs.ptDrag = GeoPoint{-7, 300};
    rect_from_anchor(cs);
    EXPECT_EQ(cs.rcSelection, (GeoRect{-7, 300, -7, 300}));
    EXPECT_EQ(cs.rcHit, (GeoRect{-8, 299, -6, 301}));
    EXPECT_EQ(count_points(cs.rcSelection), 0);
    EXPECT_EQ(count_points(cs.rcHit), 4);
}

TEST_F(SelectionGeometry, HandlesAndStripsOfASelection) {
    cs.rcSelection = GeoRect{10, 20, 110, 70};
    update_handles(cs);
    update_edge_strips(cs);
    const GeoRect expected[8] = {{8, 18, 13, 23},  {107, 18, 112, 23}, {107, 67, 112, 72},
                                 {8, 67, 13, 72},  {58, 18, 63, 23},   {107, 43, 112, 48},
                                 {58, 67, 63, 72}, {8, 43, 13, 48}};
    for (int i = 0; i < HANDLE_COUNT; ++i)
        EXPECT_EQ(cs.rcHandles[i], expected[i]) << "handle " << i;
    EXPECT_EQ(cs.rcEdgeTop, (GeoRect{10, 18, 110, 23}));
    EXPECT_EQ(cs.rcEdgeBottom, (GeoRect{10, 68, 110, 73}));
    EXPECT_EQ(cs.rcEdgeLeft, (GeoRect{8, 20, 13, 70}));
    EXPECT_EQ(cs.rcEdgeRight, (GeoRect{108, 20, 113, 70}));
    // Neither touches the rectangles that only the changing operations keep.
    EXPECT_EQ(cs.rcHit, (GeoRect{0, 0, 0, 0}));
    EXPECT_EQ(cs.rcPrevious, (GeoRect{0, 0, 0, 0}));
}

TEST_F(SelectionGeometry, MidpointsTruncateTowardZero) {
    cs.rcSelection = GeoRect{-7, -9, 2, 0};
    update_handles(cs);
    // (-7 + 2) / 2 = -2 and (-9 + 0) / 2 = -4, not -3 and -5.
    EXPECT_EQ(cs.rcHandles[HANDLE_TOP_MID], (GeoRect{-4, -11, 1, -6}));
    EXPECT_EQ(cs.rcHandles[HANDLE_LEFT_MID], (GeoRect{-9, -6, -4, -1}));
}

TEST_F(SelectionGeometry, EveryPointOfTheHitRectangleIsInAZone) {
    // A press that takes the mouse capture must always start a drag.
    const GeoRect selections[] = {{100, 100, 200, 200},
                                  {100, 100, 102, 102},
                                  {50, 60, 50, 60},
                                  {-30, -40, -29, 10},
                                  {0, 0, 7, 1}};
    for (const GeoRect& rc : selections) {
        select(rc);
        const GeoRect zones[] = {cs.rcHandles[0], cs.rcHandles[1], cs.rcHandles[2],
                                 cs.rcHandles[3], cs.rcEdgeTop,    cs.rcEdgeBottom,
                                 cs.rcEdgeLeft,   cs.rcEdgeRight,  cs.rcSelection};
        for (int32_t y = cs.rcHit.top; y < cs.rcHit.bottom; ++y) {
            for (int32_t x = cs.rcHit.left; x < cs.rcHit.right; ++x) {
                bool found = false;
                for (const GeoRect& z : zones)
                    found = found || rect_contains(z, GeoPoint{x, y});
                EXPECT_TRUE(found) << "(" << x << ", " << y << ") of " << rc;
            }
        }
    }
}

TEST_F(SelectionGeometry, EdgeDragMovesOnlyTheDraggedEdge) {
    const GeoRect start{100, 100, 200, 200};
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_RIGHT, 250, -999), (GeoRect{100, 100, 250, 200}));
    EXPECT_EQ(cs.rcPrevious, start);
    EXPECT_EQ(cs.rcHit, (GeoRect{99, 99, 251, 201}));
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_LEFT, 130, 7), (GeoRect{130, 100, 200, 200}));
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_TOP, 170, 150), (GeoRect{100, 150, 200, 200}));
    EXPECT_EQ(cs.nSizingEdge, EDGE_TOP);
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_BOTTOM, 0, 101), (GeoRect{100, 100, 200, 101}));
    EXPECT_EQ(cs.nSizingEdge, EDGE_BOTTOM);
}

TEST_F(SelectionGeometry, EdgeDragReachingOrCrossingTheOppositeEdge) {
    const GeoRect start{100, 100, 200, 200};
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_RIGHT, 60, 0), (GeoRect{60, 100, 100, 200}));
    EXPECT_EQ(cs.rcHit, (GeoRect{59, 99, 101, 201}));
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_RIGHT, 100, 0), (GeoRect{100, 100, 100, 200}));
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_LEFT, 250, 0), (GeoRect{200, 100, 250, 200}));
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_TOP, 0, 200), (GeoRect{100, 200, 200, 200}));
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_BOTTOM, 0, 100), (GeoRect{100, 100, 200, 100}));
    cs.rcSelection = start;
    EXPECT_EQ(drag_edge(EDGE_BOTTOM, 0, 40), (GeoRect{100, 40, 200, 100}));
}

TEST_F(SelectionGeometry, OppositeEdgeStaysFixedForTheRestOfTheDrag) {
    // Right edge dragged over the left edge and on, back, and across again: the old left edge at
    // 100 is the pivot throughout.
    cs.rcSelection = GeoRect{100, 100, 200, 200};
    EXPECT_EQ(drag_edge(EDGE_RIGHT, 80, 0), (GeoRect{80, 100, 100, 200}));
    EXPECT_EQ(drag_to(50, 0), (GeoRect{50, 100, 100, 200}));
    EXPECT_EQ(drag_to(90, 0), (GeoRect{90, 100, 100, 200}));
    EXPECT_EQ(drag_to(100, 0), (GeoRect{100, 100, 100, 200}));
    EXPECT_EQ(drag_to(130, 0), (GeoRect{100, 100, 130, 200}));
    EXPECT_EQ(drag_to(20, 0), (GeoRect{20, 100, 100, 200}));

    // The same for a top edge dragged down past the bottom.
    cs.rcSelection = GeoRect{0, 10, 50, 30};
    EXPECT_EQ(drag_edge(EDGE_TOP, 0, 45), (GeoRect{0, 30, 50, 45}));
    EXPECT_EQ(drag_to(0, 60), (GeoRect{0, 30, 50, 60}));
    EXPECT_EQ(drag_to(0, 12), (GeoRect{0, 12, 50, 30}));
    EXPECT_EQ(cs.rcPrevious, (GeoRect{0, 30, 50, 60}));
}

TEST_F(SelectionGeometry, UnknownEdgeLeavesTheSelection) {
    cs.rcSelection = GeoRect{100, 100, 200, 200};
    EXPECT_EQ(drag_edge(-1, 10, 10), (GeoRect{100, 100, 200, 200}));
    EXPECT_EQ(drag_edge(4, 10, 10), (GeoRect{100, 100, 200, 200}));
    EXPECT_EQ(cs.rcHit, (GeoRect{99, 99, 201, 201}));
    EXPECT_EQ(cs.nSizingEdge, 4);
}

TEST_F(SelectionGeometry, OffsetShiftsEverythingDerived) {
    select(GeoRect{100, 100, 200, 200});
    const CaptureState before = cs;
    offset_selection(cs, -150, 0);
    EXPECT_EQ(cs.rcSelection, (GeoRect{-50, 100, 50, 200}));
    EXPECT_EQ(cs.rcPrevious, (GeoRect{100, 100, 200, 200}));
    EXPECT_EQ(cs.rcHit, (GeoRect{-51, 99, 51, 201}));
    auto shifted = [](GeoRect rc) {
        return GeoRect{rc.left - 150, rc.top, rc.right - 150, rc.bottom};
    };
    for (int i = 0; i < HANDLE_COUNT; ++i)
        EXPECT_EQ(cs.rcHandles[i], shifted(before.rcHandles[i])) << "handle " << i;
    EXPECT_EQ(cs.rcEdgeTop, shifted(before.rcEdgeTop));
    EXPECT_EQ(cs.rcEdgeBottom, shifted(before.rcEdgeBottom));
    EXPECT_EQ(cs.rcEdgeLeft, shifted(before.rcEdgeLeft));
    EXPECT_EQ(cs.rcEdgeRight, shifted(before.rcEdgeRight));

    offset_selection(cs, 10, -5);
    EXPECT_EQ(cs.rcSelection, (GeoRect{-40, 95, 60, 195}));
    EXPECT_EQ(cs.rcPrevious, (GeoRect{-50, 100, 50, 200}));
    EXPECT_EQ(cs.rcEdgeLeft, (GeoRect{-42, 95, -37, 195}));
}

TEST_F(SelectionGeometry, OffsetKeepsTheMidpointTruncationOfTheLastUpdate) {
    select(GeoRect{-7, 0, 2, 10}); // mx = -2
    offset_selection(cs, 3, 0);    // recomputing would give (-4 + 5) / 2 = 0
    EXPECT_EQ(cs.rcHandles[HANDLE_TOP_MID], (GeoRect{-1, -2, 4, 3}));
}

} // namespace
