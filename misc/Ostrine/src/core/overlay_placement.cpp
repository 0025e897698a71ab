#include "core/overlay_placement.h"

#include <algorithm>

namespace {

bool inside(const GeoRect& rc, const GeoRect& client) {
    return rc.left >= client.left && rc.top >= client.top && rc.right <= client.right &&
           rc.bottom <= client.bottom;
}

} // namespace

int32_t scale_for_dpi(int32_t value, int32_t dpi) {
    if (dpi <= 96)
        return value;
    return static_cast<int32_t>((static_cast<int64_t>(value) * dpi + 48) / 96);
}

OverlayMetrics overlay_metrics(int32_t dpi) {
    OverlayMetrics m;
    m.gap = scale_for_dpi(3, dpi);
    // 2 at 96 DPI, 4 at 192: the handle stays a square with the outline through its middle.
    m.handle_radius = scale_for_dpi(2, dpi);
    m.box_padding = scale_for_dpi(3, dpi);
    m.loupe_cells = 15;
    m.loupe_zoom = scale_for_dpi(8, dpi);
    return m;
}

GeoRect place_beside_pointer(int32_t x, int32_t y, int32_t width, int32_t height, int32_t gap,
                             GeoRect client) {
    // 64-bit sums: a pointer far off the display must not wrap into the other branch.
    const bool fits_right = static_cast<int64_t>(x) + gap + width <= client.right;
    const bool fits_above = static_cast<int64_t>(y) - gap - height >= client.top;
    const int32_t left = fits_right ? x + gap : x - gap - width;
    const int32_t top = fits_above ? y - gap - height : y + gap;
    return GeoRect{left, top, left + width, top + height};
}

GeoRect place_loupe(int32_t x, int32_t y, int32_t width, int32_t height, int32_t gap,
                    GeoRect client, GeoRect avoid) {
    const int32_t right = x + gap, left = x - gap - width;
    const int32_t below = y + gap, above = y - gap - height;
    const GeoRect candidates[4] = {
        {right, below, right + width, below + height},
        {left, below, left + width, below + height},
        {right, above, right + width, above + height},
        {left, above, left + width, above + height},
    };
    for (const GeoRect& rc : candidates)
        if (inside(rc, client) && !rects_overlap(rc, avoid))
            return rc;
    for (const GeoRect& rc : candidates)
        if (!rects_overlap(rc, avoid))
            return rc;
    return candidates[0];
}

GeoPoint loupe_size(const OverlayMetrics& m, GeoPoint caption) {
    const int32_t square = m.loupe_cells * m.loupe_zoom;
    // 1-pixel frame on each side; the caption under the square with padding around it.
    const int32_t width = std::max(square, caption.x + 2 * m.box_padding) + 2;
    const int32_t height = square + caption.y + 2 * m.box_padding + 2;
    return GeoPoint{width, height};
}

bool rects_overlap(const GeoRect& a, const GeoRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom &&
           a.left < a.right && a.top < a.bottom && b.left < b.right && b.top < b.bottom;
}
