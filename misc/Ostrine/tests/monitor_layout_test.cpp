// The monitors as data: which one the pointer is on, the boxes kept on it, what Shift+click
// selects. Layouts in capture coordinates (the area's top-left pixel at (0, 0)), as the rig shows
// them.
#include "core/monitor_layout.h"

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

struct Layout {
    const char* name;
    std::vector<MonitorArea> monitors; // the primary first
    GeoRect area;
};

// Primary 1024 x 768; the second right (1280 x 1024), left (800 x 600), above and shifted right.
const std::vector<Layout> kLayouts = {
    {"right", {{{0, 0, 1024, 768}, 96}, {{1024, 0, 2304, 1024}, 96}}, {0, 0, 2304, 1024}},
    {"left", {{{800, 0, 1824, 768}, 96}, {{0, 0, 800, 600}, 96}}, {0, 0, 1824, 768}},
    {"above", {{{0, 768, 1024, 1536}, 96}, {{200, 0, 1224, 768}, 96}}, {0, 0, 1224, 1536}},
};

bool inside(const GeoRect& rc, const GeoRect& area) {
    return rc.left >= area.left && rc.top >= area.top && rc.right <= area.right &&
           rc.bottom <= area.bottom;
}

bool covers(const GeoRect& rc, GeoPoint pt) {
    return rect_contains(rc, pt);
}

TEST(Monitors, ThePointersMonitorOrTheNearestOne) {
    const std::vector<MonitorArea>& right = kLayouts[0].monitors;
    const std::vector<MonitorArea>& above = kLayouts[2].monitors;
    struct Case {
        const std::vector<MonitorArea>* monitors;
        GeoPoint pt;
        int32_t want;
    } const cases[] = {
        {&right, {0, 0}, 0},       {&right, {1023, 767}, 0}, {&right, {1024, 0}, 1},
        {&right, {2303, 1023}, 1}, {&right, {500, 900}, 0}, // dead zone below the primary
        {&right, {1010, 1000}, 1}, {&right, {-50, 300}, 0}, // off the area
        {&above, {100, 300}, 1},   {&above, {199, 767}, 0}, // dead zones, nearest
        {&above, {1100, 1000}, 0}, {&above, {1223, 767}, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(monitor_index_at(*c.monitors, c.pt), c.want) << c.pt.x << "," << c.pt.y;
    EXPECT_EQ(monitor_index_at({}, GeoPoint{1, 1}), -1);
    EXPECT_EQ(monitor_rect_at({}, GeoPoint{1, 1}, GeoRect{0, 0, 9, 9}), (GeoRect{0, 0, 9, 9}));
}

TEST(Monitors, KeepingInsideMovesTheLeastDistance) {
    const GeoRect area{100, 50, 300, 250};
    struct Case {
        GeoRect rc, want;
    } const cases[] = {
        {{150, 60, 200, 100}, {150, 60, 200, 100}},  // inside: unchanged
        {{280, 60, 330, 100}, {250, 60, 300, 100}},  // past the right edge
        {{80, 230, 130, 270}, {100, 210, 150, 250}}, // left and bottom
        {{50, 10, 400, 60}, {100, 50, 450, 100}},    // wider than the area: its left edge
    };
    for (const Case& c : cases)
        EXPECT_EQ(keep_inside(c.rc, area), c.want) << c.rc;
}

TEST(Monitors, TheBoxesStayOnThePointersMonitor) {
    // Every pointer position on a grid over each monitor, its edges included: the information box
    // and the magnifier (clear of that box) lie wholly on the pointer's monitor and leave the
    // pointer's pixel free.
    const int32_t box_w = 110, box_h = 55, loupe_w = 122, loupe_h = 160, gap = 3;
    for (const Layout& layout : kLayouts)
        for (const MonitorArea& m : layout.monitors) {
            const int32_t xs[] = {m.rc.left, m.rc.left + 1, (m.rc.left + m.rc.right) / 2,
                                  m.rc.right - 2, m.rc.right - 1};
            const int32_t ys[] = {m.rc.top, m.rc.top + 1, (m.rc.top + m.rc.bottom) / 2,
                                  m.rc.bottom - 2, m.rc.bottom - 1};
            for (int32_t x : xs)
                for (int32_t y : ys) {
                    const GeoPoint pt{x, y};
                    const GeoRect box =
                        place_box_on_monitor(layout.monitors, pt, box_w, box_h, gap, layout.area);
                    const GeoRect loupe = place_loupe_on_monitor(layout.monitors, pt, loupe_w,
                                                                 loupe_h, gap, box, layout.area);
                    EXPECT_TRUE(inside(box, m.rc)) << layout.name << " " << x << "," << y << box;
                    EXPECT_TRUE(inside(loupe, m.rc))
                        << layout.name << " " << x << "," << y << loupe;
                    EXPECT_FALSE(covers(loupe, pt)) << layout.name << " " << x << "," << y;
                    EXPECT_EQ(box.right - box.left, box_w);
                    EXPECT_EQ(loupe.bottom - loupe.top, loupe_h);
                }
        }
}

TEST(Monitors, AtTheSharedEdgeTheBoxesTurnBack) {
    const Layout& right = kLayouts[0];
    // Left of the edge between the monitors: the box goes left, not across it; right of it, right.
    const GeoRect before =
        place_box_on_monitor(right.monitors, {1020, 400}, 110, 55, 3, right.area);
    EXPECT_EQ(before, (GeoRect{907, 342, 1017, 397}));
    const GeoRect after = place_box_on_monitor(right.monitors, {1024, 400}, 110, 55, 3, right.area);
    EXPECT_EQ(after, (GeoRect{1027, 342, 1137, 397}));
    // Above the dead zone below the primary the magnifier turns up instead of going into it.
    const GeoRect none{0, 0, 0, 0};
    const GeoRect loupe =
        place_loupe_on_monitor(right.monitors, {500, 700}, 122, 160, 3, none, right.area);
    EXPECT_EQ(loupe, (GeoRect{503, 537, 625, 697}));
    // With the classic rule alone (the whole area as the client) it would reach into the dead
    // zone.
    EXPECT_GT(place_loupe(500, 700, 122, 160, 3, right.area, none).bottom, 768);
}

TEST(Monitors, ShiftClickSelectsTheMonitorCtrlShiftClickTheArea) {
    for (const Layout& layout : kLayouts)
        for (size_t i = 0; i < layout.monitors.size(); ++i) {
            const GeoRect m = layout.monitors[i].rc;
            const GeoPoint pt{m.left + 5, m.bottom - 5};
            EXPECT_EQ(shift_click_selection(layout.monitors, layout.area, pt, false), m)
                << layout.name << " " << i;
            EXPECT_EQ(shift_click_selection(layout.monitors, layout.area, pt, true), layout.area)
                << layout.name << " " << i;
            EXPECT_EQ(monitors_bounds(layout.monitors), layout.area) << layout.name;
        }
    EXPECT_EQ(monitors_bounds({}), (GeoRect{0, 0, 0, 0}));
}

TEST(Monitors, OnlyATilingWithoutGapsNeedsNoBlack) {
    // The three layouts have dead zones; two equal monitors side by side and one alone do not;
    // mirrored (overlapping) monitors leave the rest of the area uncovered.
    for (const Layout& layout : kLayouts)
        EXPECT_FALSE(monitors_tile(layout.monitors, layout.area)) << layout.name;
    const GeoRect wide{0, 0, 3840, 1080};
    EXPECT_TRUE(monitors_tile({{{0, 0, 1920, 1080}, 96}, {{1920, 0, 3840, 1080}, 96}}, wide));
    EXPECT_TRUE(monitors_tile({{{0, 0, 1024, 768}, 96}}, GeoRect{0, 0, 1024, 768}));
    EXPECT_FALSE(monitors_tile(
        {{{0, 0, 1920, 1080}, 96}, {{0, 0, 1920, 1080}, 96}, {{960, 0, 2880, 1080}, 96}}, wide));
    EXPECT_FALSE(monitors_tile({{{0, 0, 1920, 1080}, 96}}, wide));
}

} // namespace
