// Pixel work of the mark-up over a plain buffer: the mosaic, the highlighter's blend and the
// darkened screen outside the selection. Pixels are 32-bit words with blue in the low byte,
// green, red, then an unused byte (a 32-bit top-down DIB); the top byte is left as it is.
#pragma once

#include "core/selection_geometry.h"

#include <cstdint>

// A block of pixels; `origin` is the virtual-screen position of pixels[0], so that the mosaic's
// blocks sit on the screen's grid whatever part of it the buffer holds.
struct PixelView {
    uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t stride; // pixels from one row to the next
    GeoPoint origin;
};

// A COLORREF (0x00BBGGRR) as a pixel word (0x00RRGGBB), and back.
uint32_t pixel_from_colour(uint32_t colorref);
uint32_t colour_from_pixel(uint32_t pixel);

// Replaces the pixels of `area` (virtual-screen coordinates, clipped to the buffer) by blocks of
// `block` x `block` pixels on the grid of multiples of `block`, each of the average (rounded to
// the nearest) of its pixels inside `area`.
void mosaic_pixels(PixelView view, GeoRect area, int32_t block);

// The highlighter: `colorref` blended at 40% over every pixel of `area`.
const int32_t HIGHLIGHT_PERCENT = 40;
uint32_t highlight_pixel(uint32_t pixel, uint32_t colorref);
void highlight_pixels(PixelView view, GeoRect area, uint32_t colorref);

// Outside the selection the screen is shown darkened: every channel multiplied by one half
// (rounded down), the same everywhere, so the selection stands out at full brightness.
const int32_t DIM_NUMERATOR = 1;
const int32_t DIM_DENOMINATOR = 2;
uint32_t dim_pixel(uint32_t pixel);
void dim_pixels(PixelView view);
