// The pointer and key events of the capture dialog, on the platform: each runs the state machine
// of core/interaction_core.h (core/keyboard_interaction.h for keys) on the capture's state and
// then takes or releases the mouse capture, installs the zone's cursor as the dialog class's
// cursor, writes the trace line and redraws the overlay. Positions are in the dialog's client
// coordinates (capture coordinates: see win32/capture_run.h).
#pragma once

#include "core/keyboard_interaction.h"
#include "win32/capture_run.h"

void on_button_down(CaptureRun& run, int x, int y);
// Also writes "bCapturing:%d bCaptured:%d,bMoving:%d\n" to the debug output, in every state. In
// Idle it outlines the window under the pointer and shows the magnifier.
void on_pointer_move(CaptureRun& run, int x, int y);
// A release at (x, y). A click without a drag on the window outlined in Idle selects it.
void on_button_up(CaptureRun& run, int x, int y);
// Ends a drag as a release does, but never as a click that selects a window: the release's second
// half, and all of it when the mouse capture was lost mid-drag (the release went elsewhere).
void end_drag(CaptureRun& run);
// Removes the frame, the info box, the magnifier and the window outline from the screen and
// resets the state to Idle; the mouse capture and the class cursor stay as they are.
void on_escape(CaptureRun& run);
// Ends the dialog with 1, as a double-click does.
void accept_selection(CaptureRun& run);
// An arrow key or Enter, with the state of Ctrl and Shift: the same steps as the pointer's.
void on_key(CaptureRun& run, CaptureKey key, bool ctrl, bool shift);
// A press with Shift at (x, y): the monitor there becomes the finished selection; with Ctrl as
// well, the whole captured area. Ignored during a drag.
void on_shift_click(CaptureRun& run, int x, int y, bool ctrl);
// The right button: clears a selection or a drag as Esc does; with neither, cancels.
void on_right_button(CaptureRun& run);
