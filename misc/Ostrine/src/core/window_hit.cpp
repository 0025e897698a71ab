#include "core/window_hit.h"

#include <algorithm>

GeoRect add_window_rect(std::vector<WindowRect>& list, GeoRect rc, int32_t depth, GeoRect bounds) {
    const GeoRect clipped{std::max(rc.left, bounds.left), std::max(rc.top, bounds.top),
                          std::min(rc.right, bounds.right), std::min(rc.bottom, bounds.bottom)};
    if (clipped.right <= clipped.left || clipped.bottom <= clipped.top)
        return GeoRect{0, 0, 0, 0};
    list.push_back(WindowRect{clipped, depth});
    return clipped;
}

GeoRect window_at(const std::vector<WindowRect>& list, GeoPoint pt) {
    GeoRect found{0, 0, 0, 0};
    // The depth whose windows are searched next: the children of the window found last.
    int32_t level = 0;
    for (const WindowRect& w : list) {
        if (w.depth < level)
            break; // past the subtree of the window found last
        if (w.depth == level && rect_contains(w.rc, pt)) {
            found = w.rc;
            ++level;
        }
    }
    return found;
}
