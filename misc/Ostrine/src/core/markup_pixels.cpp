#include "core/markup_pixels.h"

#include "core/rect_math.h"

namespace {

// `area` in the buffer's own coordinates, clipped to it.
GeoRect local_area(const PixelView& view, GeoRect area) {
    const GeoRect local{area.left - view.origin.x, area.top - view.origin.y,
                        area.right - view.origin.x, area.bottom - view.origin.y};
    return intersect_rects(local, GeoRect{0, 0, view.width, view.height});
}

// The grid line at or before `v` (floor division, right for negative coordinates too).
int32_t grid_floor(int32_t v, int32_t block) {
    const int32_t q = v / block;
    return (v % block != 0 && v < 0 ? q - 1 : q) * block;
}

uint32_t channel(uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFF;
}

} // namespace

uint32_t pixel_from_colour(uint32_t colorref) {
    return (channel(colorref, 0) << 16) | (channel(colorref, 8) << 8) | channel(colorref, 16);
}

uint32_t colour_from_pixel(uint32_t pixel) {
    return pixel_from_colour(pixel);
}

void mosaic_pixels(PixelView view, GeoRect area, int32_t block) {
    if (block < 1)
        return;
    const GeoRect a = local_area(view, area);
    if (rect_is_empty(a))
        return;
    // Grid lines in virtual-screen coordinates, walked in buffer coordinates.
    const int32_t x0 = grid_floor(a.left + view.origin.x, block) - view.origin.x;
    const int32_t y0 = grid_floor(a.top + view.origin.y, block) - view.origin.y;
    for (int32_t by = y0; by < a.bottom; by += block) {
        for (int32_t bx = x0; bx < a.right; bx += block) {
            const GeoRect cell = intersect_rects(GeoRect{bx, by, bx + block, by + block}, a);
            uint64_t sum[3] = {0, 0, 0};
            for (int32_t y = cell.top; y < cell.bottom; ++y)
                for (int32_t x = cell.left; x < cell.right; ++x) {
                    const uint32_t p = view.pixels[static_cast<int64_t>(y) * view.stride + x];
                    for (int c = 0; c < 3; ++c)
                        sum[c] += channel(p, 8 * c);
                }
            const uint64_t n = static_cast<uint64_t>(rect_area(cell));
            uint32_t average = 0;
            for (int c = 0; c < 3; ++c)
                average |= static_cast<uint32_t>((sum[c] + n / 2) / n) << (8 * c);
            for (int32_t y = cell.top; y < cell.bottom; ++y)
                for (int32_t x = cell.left; x < cell.right; ++x) {
                    uint32_t& p = view.pixels[static_cast<int64_t>(y) * view.stride + x];
                    p = (p & 0xFF000000u) | average;
                }
        }
    }
}

uint32_t highlight_pixel(uint32_t pixel, uint32_t colorref) {
    const uint32_t colour = pixel_from_colour(colorref);
    uint32_t out = pixel & 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        const uint32_t mixed = (channel(pixel, 8 * c) * (100 - HIGHLIGHT_PERCENT) +
                                channel(colour, 8 * c) * HIGHLIGHT_PERCENT + 50) /
                               100;
        out |= mixed << (8 * c);
    }
    return out;
}

void highlight_pixels(PixelView view, GeoRect area, uint32_t colorref) {
    const GeoRect a = local_area(view, area);
    for (int32_t y = a.top; y < a.bottom; ++y)
        for (int32_t x = a.left; x < a.right; ++x) {
            uint32_t& p = view.pixels[static_cast<int64_t>(y) * view.stride + x];
            p = highlight_pixel(p, colorref);
        }
}

uint32_t dim_pixel(uint32_t pixel) {
    uint32_t out = pixel & 0xFF000000u;
    for (int c = 0; c < 3; ++c)
        out |= (channel(pixel, 8 * c) * DIM_NUMERATOR / DIM_DENOMINATOR) << (8 * c);
    return out;
}

void dim_pixels(PixelView view) {
    for (int32_t y = 0; y < view.height; ++y) {
        uint32_t* row = view.pixels + static_cast<int64_t>(y) * view.stride;
        for (int32_t x = 0; x < view.width; ++x)
            row[x] = dim_pixel(row[x]);
    }
}
