// The pointer events of the capture dialog, on the platform: each runs the state machine of
// interaction_core.h and then takes or releases the mouse capture, installs the zone's cursor as
// the dialog class's cursor, writes the trace line and redraws the overlay.
#pragma once

#include <windows.h>

void on_button_down(HWND hwnd, int x, int y);
// Also writes "bCapturing:%d bCaptured:%d,bMoving:%d\n" to the debug output, in every state.
void on_pointer_move(HWND hwnd, int x, int y);
void on_button_up(HWND hwnd);
// Removes the frame and the info box from the screen and resets the state to Idle; the mouse
// capture and the class cursor stay as they are.
void on_escape(HWND hwnd);
