#include "core/monitor_layout.h"

#include <algorithm>

namespace {

// Squared distance from `pt` to the nearest pixel of `rc` (0 inside).
int64_t distance_to(const GeoRect& rc, GeoPoint pt) {
    const int64_t dx = pt.x < rc.left ? int64_t{rc.left} - pt.x
                                      : (pt.x >= rc.right ? int64_t{pt.x} - rc.right + 1 : 0);
    const int64_t dy = pt.y < rc.top ? int64_t{rc.top} - pt.y
                                     : (pt.y >= rc.bottom ? int64_t{pt.y} - rc.bottom + 1 : 0);
    return dx * dx + dy * dy;
}

bool operator==(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

int32_t monitor_index_at(const std::vector<MonitorArea>& monitors, GeoPoint pt) {
    int32_t best = -1;
    int64_t best_distance = 0;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const int64_t d = distance_to(monitors[i].rc, pt);
        if (best < 0 || d < best_distance) {
            best = static_cast<int32_t>(i);
            best_distance = d;
        }
    }
    return best;
}

GeoRect monitor_rect_at(const std::vector<MonitorArea>& monitors, GeoPoint pt, GeoRect fallback) {
    const int32_t i = monitor_index_at(monitors, pt);
    return i < 0 ? fallback : monitors[static_cast<size_t>(i)].rc;
}

GeoRect keep_inside(GeoRect rc, GeoRect area) {
    int32_t dx = 0, dy = 0;
    if (rc.right > area.right)
        dx = area.right - rc.right;
    if (rc.left + dx < area.left)
        dx = area.left - rc.left;
    if (rc.bottom > area.bottom)
        dy = area.bottom - rc.bottom;
    if (rc.top + dy < area.top)
        dy = area.top - rc.top;
    return GeoRect{rc.left + dx, rc.top + dy, rc.right + dx, rc.bottom + dy};
}

GeoRect place_box_on_monitor(const std::vector<MonitorArea>& monitors, GeoPoint pt, int32_t width,
                             int32_t height, int32_t gap, GeoRect fallback) {
    const GeoRect area = monitor_rect_at(monitors, pt, fallback);
    return keep_inside(place_beside_pointer(pt.x, pt.y, width, height, gap, area), area);
}

GeoRect place_loupe_on_monitor(const std::vector<MonitorArea>& monitors, GeoPoint pt, int32_t width,
                               int32_t height, int32_t gap, GeoRect avoid, GeoRect fallback) {
    const GeoRect area = monitor_rect_at(monitors, pt, fallback);
    const GeoRect chosen = place_loupe(pt.x, pt.y, width, height, gap, area, avoid);
    if (keep_inside(chosen, area) == chosen && !rects_overlap(chosen, avoid))
        return chosen;
    // A corner: the four places of place_loupe, each moved onto the monitor.
    const int32_t right = pt.x + gap, left = pt.x - gap - width;
    const int32_t below = pt.y + gap, above = pt.y - gap - height;
    const GeoRect places[4] = {
        keep_inside(GeoRect{right, below, right + width, below + height}, area),
        keep_inside(GeoRect{left, below, left + width, below + height}, area),
        keep_inside(GeoRect{right, above, right + width, above + height}, area),
        keep_inside(GeoRect{left, above, left + width, above + height}, area),
    };
    const GeoRect pixel{pt.x, pt.y, pt.x + 1, pt.y + 1};
    for (const GeoRect& rc : places)
        if (!rects_overlap(rc, avoid) && !rects_overlap(rc, pixel))
            return rc;
    for (const GeoRect& rc : places)
        if (!rects_overlap(rc, pixel))
            return rc;
    return places[0];
}

GeoRect shift_click_selection(const std::vector<MonitorArea>& monitors, GeoRect area, GeoPoint pt,
                              bool ctrl) {
    return ctrl ? area : monitor_rect_at(monitors, pt, area);
}

bool monitors_tile(const std::vector<MonitorArea>& monitors, GeoRect area) {
    int64_t covered = 0;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const GeoRect& m = monitors[i].rc;
        if (!(keep_inside(m, area) == m))
            return false;
        for (size_t j = 0; j < i; ++j)
            if (rects_overlap(m, monitors[j].rc))
                return false;
        covered += int64_t{m.right - m.left} * (m.bottom - m.top);
    }
    return covered == int64_t{area.right - area.left} * (area.bottom - area.top);
}

GeoRect monitors_bounds(const std::vector<MonitorArea>& monitors) {
    if (monitors.empty())
        return GeoRect{0, 0, 0, 0};
    GeoRect b = monitors[0].rc;
    for (const MonitorArea& m : monitors) {
        b.left = std::min(b.left, m.rc.left);
        b.top = std::min(b.top, m.rc.top);
        b.right = std::max(b.right, m.rc.right);
        b.bottom = std::max(b.bottom, m.rc.bottom);
    }
    return b;
}
