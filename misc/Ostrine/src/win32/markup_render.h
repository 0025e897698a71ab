// Draws marks with GDI: onto the marked copy of the frozen screen when they are committed, and
// onto the dialog, clipped to the selection, while they are drawn. Pens, brushes, fonts and
// memory DCs live only inside one call.
#pragma once

#include "core/markup_model.h"
#include "win32/capture_run.h"

#include <windows.h>

// The text tool's font for a mark height (the same for the edit field and the drawn text).
HFONT create_text_font(int32_t height);

// Draws `mark` onto the marked copy, selected into `marked_dc`, unclipped.
void draw_mark_into_marked(CaptureRun& run, HDC marked_dc, const Mark& mark);

// Draws `mark` onto the dialog's DC, clipped to the selection.
void draw_mark_on_screen(const CaptureRun& run, HDC hdc, const Mark& mark);

// Only the pen's newest segment (its last two points), clipped to the selection.
void draw_pen_segment(const CaptureRun& run, HDC hdc, const Mark& pen);
