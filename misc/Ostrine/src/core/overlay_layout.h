// Where the overlay goes, free of platform calls: the information box beside the pointer, its
// text, and the strips that the incremental redraw copies back from the frozen screen.
#pragma once

#include "core/selection_geometry.h"

#include <cstddef>
#include <cstdint>

// Outline and handle colour as a COLORREF (0x00BBGGRR): red 10, green 100, blue 130.
const uint32_t FRAME_COLOR = 0x82640A;

const int32_t INFO_BOX_WIDTH = 60;
const int32_t INFO_BOX_HEIGHT = 85;

// Room for the info text with six values of any 32-bit size, terminator included.
const size_t INFO_TEXT_CAPACITY = 100;

// Sets cs.rcInfo to a box of the classic fixed size (60 x 85) beside the pointer (x, y): right of
// it when the box fits left of client.right, else left of it; above it when there are 88 rows
// above, else below it. The dialog sizes its box to the text instead, by the same rule
// (place_beside_pointer in core/overlay_placement.h).
void place_info_box(CaptureState& cs, int32_t x, int32_t y, GeoRect client);

// The four strips (top, right, bottom, left) that cover the outline and all eight handles drawn
// for the selection `rc`, handles reaching `radius` pixels from the outline (2 at 96 DPI).
void frame_erase_strips(const GeoRect& rc, GeoRect strips[4], int32_t radius = 2);

// The info box's text, UTF-16 (drawn with the wide text call whatever the system's code page):
// "顶点位置 (left,top)\n矩形大小 (width,height)\n光标坐标 (x,y)". Writes at most `capacity`
// units, terminator included; returns the length without the terminator.
size_t format_info_text(char16_t* buf, size_t capacity, int32_t left, int32_t top, int32_t width,
                        int32_t height, int32_t x, int32_t y);

// The rectangle that the text is drawn in: rcInfo with its top 2 pixels lower.
GeoRect info_text_rect(const CaptureState& cs);
