// The mark-up's events on the platform: drawing a mark with the pointer (preview on the dialog,
// only the changed area redrawn; committed onto the marked screen at the release), the text
// field, the toolbar's commands and keys, undo and redo, and what a cleared or changed selection
// does to the marks and the dimmed screen. Each event function returns true when the event was
// the mark-up's, so that the selection's own handling is skipped.
#pragma once

#include "core/markup_model.h"
#include "win32/capture_run.h"

#include <windows.h>

// At the dialog's set-up, after the freeze: the marked and darkened copies, the toolbar. False
// when they cannot be made (the capture then fails as a failed freeze does).
bool open_markup(CaptureRun& run);
// Releases everything open_markup made, and the text field's font and brush.
void close_markup(CaptureRun& run);

bool markup_press(CaptureRun& run, int x, int y);
bool markup_move(CaptureRun& run, int x, int y);
// The release ends the mark where the button went up (x, y).
bool markup_release(CaptureRun& run, int x, int y);
// A double-click with a tool active is another press; without one the capture accepts.
bool markup_double_click(CaptureRun& run, int x, int y);
// The button went up elsewhere or the mouse capture was lost mid-stroke: the mark is committed.
void markup_end_stroke(CaptureRun& run);
bool markup_drawing(const CaptureRun& run);

void on_toolbar_button(CaptureRun& run, int button);
// A key for the tools (see markup_key in core/markup_model.h).
void on_markup_key(CaptureRun& run, char key, bool ctrl, bool shift);
void run_markup_command(CaptureRun& run, MarkupCommand command);

// Enter (commit) or Esc (drop) in the text field.
void finish_text(CaptureRun& run, bool commit);
// WM_CTLCOLOREDIT for the text field: its brush, or NULL for another control.
HBRUSH text_field_colours(const CaptureRun& run, HWND control, HDC hdc);

// The pixels that changed sides since the selection last shown (brighter inside, darker
// outside, the marks only inside) are restored. Before the outline is drawn again.
void show_selection_change(CaptureRun& run, HDC hdc);
// After Esc or the right button cleared the selection: its marks go, the screen shows it gone.
void markup_selection_cleared(CaptureRun& run);
// After every dialog message: the toolbar follows the selection; a selection changed by a path
// that did not redraw its inside (a click on a window) is shown.
void sync_markup(CaptureRun& run);
