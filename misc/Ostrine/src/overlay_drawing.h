// Draws the overlay straight onto the capture dialog's DC and erases it by copying the frozen
// screen (hbmScreen) back. None of these takes or releases the DC it is given; pens, brushes and
// memory DCs live only inside one call.
#pragma once

#include <windows.h>

// Outline of rcSelection and its eight handles, in FRAME_COLOR.
void draw_selection_frame(HDC hdc);

// Restores the four strips under the outline and handles drawn for rcPrevious.
void erase_previous_frame(HDC hdc);

// Restores the area of rcInfo (nothing when it is empty).
void erase_info_box(HDC hdc);

// Sets rcInfo beside the pointer within the dialog's client rectangle, sized to `text` measured
// in the dialog's font.
void place_info_box(HDC hdc, int x, int y, RECT client, const wchar_t* text);

// Draws rcInfo: an opaque light box with a dark frame and `text` in the dialog's font, dark,
// centred line by line.
void draw_info_box(HDC hdc, const wchar_t* text);

// The magnifier beside the pointer (x, y): the frozen screen around the pointer enlarged, the
// pointer's pixel marked, its position and colour below. Placed clear of the info box when that
// is shown.
void draw_loupe(HDC hdc, int x, int y, RECT client);
// Restores the magnifier's area and forgets it.
void erase_loupe(HDC hdc);

// The outline of the window under the pointer (no handles), and its removal.
void draw_window_outline(HDC hdc, const RECT& rc);
void erase_window_outline(HDC hdc, const RECT& rc);

// The incremental redraw after a change of the selection, pointer at (x, y): the old overlays go,
// then the outline, the info box and (during a drag, not a move) the magnifier are drawn at their
// new places.
void redraw_overlay(HWND hwnd, HDC hdc, int x, int y, bool with_loupe);
