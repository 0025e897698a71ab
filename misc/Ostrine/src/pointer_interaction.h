// The pointer and key events of the capture dialog, on the platform: each runs the state machine
// of interaction_core.h (keyboard_interaction.h for keys) and then takes or releases the mouse
// capture, installs the zone's cursor as the dialog class's cursor, writes the trace line and
// redraws the overlay.
#pragma once

#include <windows.h>

#include "core/keyboard_interaction.h"

void on_button_down(HWND hwnd, int x, int y);
// Also writes "bCapturing:%d bCaptured:%d,bMoving:%d\n" to the debug output, in every state.
void on_pointer_move(HWND hwnd, int x, int y);
// A release at (x, y). A click without a drag on a window outlined in Idle selects the window.
void on_button_up(HWND hwnd, int x, int y);
// Removes the frame, the info box, the magnifier and the window outline from the screen and
// resets the state to Idle; the mouse capture and the class cursor stay as they are.
void on_escape(HWND hwnd);
// Ends the dialog with 1, as a double-click does.
void accept_selection(HWND hwnd);
// An arrow key or Enter, with the state of Ctrl and Shift.
void on_key(HWND hwnd, CaptureKey key, bool ctrl, bool shift);
// The right button: clears a selection or a drag as Esc does; with neither, cancels.
void on_right_button(HWND hwnd);
