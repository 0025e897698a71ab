// Draws the overlay straight onto the capture dialog's DC and erases it by copying the capture's
// frozen screen (hbmScreen) back. None of these takes or releases the DC it is given; pens,
// brushes and memory DCs live only inside one call.
#pragma once

#include "win32/capture_run.h"

#include <windows.h>

// The monitor under the pointer (x, y), or the nearest one: the boxes stay on it. Its DPI becomes
// the boxes' (overlay.metrics).
RECT pointer_monitor(CaptureRun& run, int x, int y);

// Outline of rcSelection and its eight handles, in FRAME_COLOR.
void draw_selection_frame(const CaptureRun& run, HDC hdc);

// Restores the four strips under the outline and handles drawn for rcPrevious.
void erase_previous_frame(const CaptureRun& run, HDC hdc);

// Restores the area of rcInfo (nothing when it is empty).
void erase_info_box(const CaptureRun& run, HDC hdc);

// Sets rcInfo beside the pointer within `client` (the pointer's monitor), sized to `text` measured
// in the dialog's font (frame, padding, text).
void place_info_box(CaptureRun& run, HDC hdc, int x, int y, RECT client, const wchar_t* text);

// Draws rcInfo: an opaque light box with a black frame and `text` dark in the dialog's font,
// centred line by line.
void draw_info_box(const CaptureRun& run, HDC hdc, const wchar_t* text);

// The magnifier beside the pointer (x, y): the frozen screen around the pointer enlarged, the
// pointer's pixel marked, its position and colour below; clear of the info box when that is
// shown, within `client` (the pointer's monitor). Sets overlay.rcLoupe.
void draw_loupe(CaptureRun& run, HDC hdc, int x, int y, RECT client);
// Restores the magnifier's area and forgets it.
void erase_loupe(CaptureRun& run, HDC hdc);

// The outline of the window under the pointer (FRAME_COLOR, no handles), and its removal.
void draw_window_outline(HDC hdc, const GeoRect& rc);
void erase_window_outline(const CaptureRun& run, HDC hdc, const GeoRect& rc);

// The incremental redraw after a change of the selection, pointer at (x, y): the old overlays go,
// then the outline, the info box and (when `with_loupe`) the magnifier are drawn at their new
// places.
void redraw_overlay(CaptureRun& run, HDC hdc, int x, int y, bool with_loupe);
