#include "core/rect_math.h"

#include <algorithm>

bool rect_is_empty(const GeoRect& rc) {
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

GeoRect intersect_rects(const GeoRect& a, const GeoRect& b) {
    const GeoRect rc{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
    return rect_is_empty(rc) ? GeoRect{0, 0, 0, 0} : rc;
}

GeoRect union_rects(const GeoRect& a, const GeoRect& b) {
    if (rect_is_empty(a))
        return b;
    if (rect_is_empty(b))
        return a;
    return GeoRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                   std::max(a.bottom, b.bottom)};
}

GeoRect inflate_rect(const GeoRect& rc, int32_t by) {
    return GeoRect{rc.left - by, rc.top - by, rc.right + by, rc.bottom + by};
}

GeoRect offset_rect(const GeoRect& rc, int32_t dx, int32_t dy) {
    return GeoRect{rc.left + dx, rc.top + dy, rc.right + dx, rc.bottom + dy};
}

int64_t rect_area(const GeoRect& rc) {
    if (rect_is_empty(rc))
        return 0;
    return static_cast<int64_t>(rc.right - rc.left) * (rc.bottom - rc.top);
}

int subtract_rect(const GeoRect& a, const GeoRect& b, GeoRect out[4]) {
    if (rect_is_empty(a))
        return 0;
    const GeoRect c = intersect_rects(a, b);
    if (rect_is_empty(c)) {
        out[0] = a;
        return 1;
    }
    int n = 0;
    // Full-width bands above and below the common part, then the pieces left and right of it.
    if (c.top > a.top)
        out[n++] = GeoRect{a.left, a.top, a.right, c.top};
    if (c.bottom < a.bottom)
        out[n++] = GeoRect{a.left, c.bottom, a.right, a.bottom};
    if (c.left > a.left)
        out[n++] = GeoRect{a.left, c.top, c.left, c.bottom};
    if (c.right < a.right)
        out[n++] = GeoRect{c.right, c.top, a.right, c.bottom};
    return n;
}
