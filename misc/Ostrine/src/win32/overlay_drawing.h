// Draws the overlay straight onto the capture dialog's DC and erases it by copying the capture's
// frozen screen (hbmScreen) back. None of these takes or releases the DC it is given; pens,
// brushes and memory DCs live only inside one call.
#pragma once

#include "win32/capture_run.h"

#include <windows.h>

// Outline of rcSelection and its eight handles, in FRAME_COLOR.
void draw_selection_frame(const CaptureRun& run, HDC hdc);

// Restores the four strips under the outline and handles drawn for rcPrevious.
void erase_previous_frame(const CaptureRun& run, HDC hdc);

// Restores the area of rcInfo (nothing when it is empty).
void erase_info_box(const CaptureRun& run, HDC hdc);

// Sets rcInfo beside the pointer within the dialog's client rectangle.
void place_info_box(CaptureRun& run, int x, int y, RECT client);

// Frames rcInfo in black and draws `text` in it, centred line by line, over the frozen screen.
void draw_info_box(const CaptureRun& run, HDC hdc, const wchar_t* text);

// The incremental redraw after a change of the selection, pointer at (x, y): both old overlays
// go, then the outline and the info box are drawn at their new places.
void redraw_overlay(CaptureRun& run, HDC hdc, int x, int y);
