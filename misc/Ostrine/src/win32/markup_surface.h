// The pictures behind the mark-up: the marked copy of the frozen screen and the darkened one,
// made once when the capture opens, and the restore that shows each pixel from the right one
// (inside the selection the marked or plain screen, outside the darkened or plain one).
#pragma once

#include "core/markup_pixels.h"
#include "win32/capture_run.h"

#include <windows.h>

// True when the mark-up or the dimming is on: restores then come from two pictures.
bool composite_active(const CaptureRun& run);

// Makes the marked and darkened copies the options ask for. False when one cannot be made.
bool open_markup_surfaces(CaptureRun& run);
void release_markup_surfaces(CaptureRun& run);

// What an acceptance crops: the marked screen with the mark-up, else the frozen screen.
HBITMAP result_source(const CaptureRun& run);

// Restores `count` rectangles on the dialog's DC: inside rcSelection from the marked (or plain)
// screen, outside it from the darkened (or plain) one.
void restore_area(const CaptureRun& run, HDC hdc, const GeoRect* rects, int count);

// The marked copy drawn again from the frozen screen and the visible marks (after undo, redo or
// clearing).
void rebuild_marked(CaptureRun& run);

// The marked copy's pixels, for the mosaic and the highlighter.
PixelView marked_view(const CaptureRun& run);

// Virtual-screen position of the dialog's (0, 0): the mosaic's grid is the screen's.
GeoPoint capture_origin(const CaptureRun& run);
