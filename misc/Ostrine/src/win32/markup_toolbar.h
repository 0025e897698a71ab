// The mark-up toolbar on the platform: a child window of the capture dialog that draws its
// buttons (the active tool, colour and width pressed), passes a press on one to the mark-up, and
// carries a tooltip control naming each button and its key. Shown beside a finished selection,
// hidden otherwise; never part of the frozen screen, so never in the result.
#pragma once

#include "win32/capture_run.h"

#include <windows.h>

// Creates the toolbar (hidden) and its tooltips. False when the window cannot be made.
bool create_toolbar(CaptureRun& run);
// Destroys both and unregisters the toolbar's window class.
void destroy_toolbar(CaptureRun& run);
// Shows the toolbar at its place beside a finished selection, or hides it.
void sync_toolbar(CaptureRun& run);
// Draws the buttons again after a choice changed.
void refresh_toolbar(const CaptureRun& run);
