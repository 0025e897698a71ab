// The pointer events of the capture dialog, on the platform: each runs the state machine of
// core/interaction_core.h on the capture's state and then takes or releases the mouse capture,
// installs the zone's cursor as the dialog class's cursor, writes the trace line and redraws the
// overlay. Positions are in the dialog's client coordinates.
#pragma once

#include "win32/capture_run.h"

void on_button_down(CaptureRun& run, int x, int y);
// Also writes "bCapturing:%d bCaptured:%d,bMoving:%d\n" to the debug output, in every state.
void on_pointer_move(CaptureRun& run, int x, int y);
void on_button_up(CaptureRun& run);
// Removes the frame and the info box from the screen and resets the state to Idle; the mouse
// capture and the class cursor stay as they are.
void on_escape(CaptureRun& run);
