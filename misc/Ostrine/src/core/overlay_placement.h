// Sizes of the overlay at the display's DPI, and where its two boxes go beside the pointer: the
// information box (sized to its measured text) and the magnifier. No platform headers.
#pragma once

#include "core/selection_geometry.h"

#include <cstdint>

// The overlay's sizes in pixels at one DPI; at 96 DPI they are the classic ones.
struct OverlayMetrics {
    int32_t gap;           // between the pointer and a box: 3
    int32_t handle_radius; // a handle reaches this far from its centre: 2 (5 x 5 handles)
    int32_t box_padding;   // between a box's frame and its text: 3
    int32_t loupe_cells;   // pixels across the magnified area, odd so one is in the middle: 15
    int32_t loupe_zoom;    // screen pixels per magnified pixel: 8
};

// `value` (a size at 96 DPI) at `dpi`, rounded to the nearest pixel and never below `value`
// (a DPI under 96, or none reported, keeps the classic sizes).
int32_t scale_for_dpi(int32_t value, int32_t dpi);

OverlayMetrics overlay_metrics(int32_t dpi);

// A width x height box beside the pointer (x, y): right of it when it fits left of
// client.right, else left of it; above it when it fits below client.top, else below it; always
// `gap` pixels away, so it never covers the pointer's pixel. With the classic 60 x 85 box and a
// gap of 3 this is the classic placement of the information box.
GeoRect place_beside_pointer(int32_t x, int32_t y, int32_t width, int32_t height, int32_t gap,
                             GeoRect client);

// The magnifier's place: below and right of the pointer by preference, else the first of
// below-left, above-right, above-left that lies inside `client` and clear of `avoid` (the
// information box, or an empty rectangle). When none does, the first one clear of `avoid`.
// `gap` pixels from the pointer in both directions, so the pointer's pixel stays visible.
GeoRect place_loupe(int32_t x, int32_t y, int32_t width, int32_t height, int32_t gap,
                    GeoRect client, GeoRect avoid);

// The magnifier's panel: the magnified square on top, the caption (measured text size) below,
// inside a frame. Its total size.
GeoPoint loupe_size(const OverlayMetrics& m, GeoPoint caption);

// True when the two rectangles share a pixel.
bool rects_overlap(const GeoRect& a, const GeoRect& b);
