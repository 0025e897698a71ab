// The decisions of the pointer interaction, free of platform calls: the six-state machine over
// CaptureState, the zone under the pointer and its cursor, and the trace line. The Win32 layer
// (win32/pointer_interaction.cpp) calls these and then does what they ask: take or release the
// mouse capture, install a cursor, redraw.
//
// States, as the flags show them:
//   Idle         bCapturing 0  bCaptured 0  bMoving 0
//   Rubber band  bCapturing 1  bCaptured 0  (ptAnchor is the press point)
//   Corner drag  bCapturing 1  bCaptured 0  (ptAnchor is the corner opposite the grabbed one)
//   Edge drag    bCapturing 1  bCaptured 0  bSizing 1 (nSizingEdge names the edge)
//   Selected     bCapturing 0  bCaptured 1  bMoving 0
//   Moving       bCapturing 0  bCaptured 1  bMoving 1
#pragma once

#include "core/selection_geometry.h"

#include <cstddef>
#include <cstdint>

// The cursor for a zone: a standard cursor id (the platform's IDC_ values), or the library's own
// capture cursor away from every zone.
enum CaptureCursor {
    CURSOR_CAPTURE = 0,
    CURSOR_SIZENWSE = 32642,
    CURSOR_SIZENESW = 32643,
    CURSOR_SIZEWE = 32644,
    CURSOR_SIZENS = 32645,
    CURSOR_SIZEALL = 32646
};

// What a pointer event asks of the dialog's mouse capture.
enum MouseCaptureChange { MOUSE_CAPTURE_KEEP, MOUSE_CAPTURE_TAKE, MOUSE_CAPTURE_RELEASE };

struct PointerMoveResult {
    bool bSetCursor; // install `cursor` as the dialog class's cursor
    CaptureCursor cursor;
    bool bRedraw; // a drag or a move changed the selection: run the incremental redraw
};

struct ButtonUpResult {
    MouseCaptureChange capture; // KEEP or RELEASE
    bool bShowSelection;        // the drag ended: remove the info box, draw the frame
};

// Idle, no selection; nSizingEdge keeps its value.
void reset_capture_state(CaptureState& cs);

// A press at (x, y): starts a rubber band (Idle), grabs a corner, an edge or the inside of the
// selection, or does nothing but release the capture when it misses every zone.
MouseCaptureChange press_pointer(CaptureState& cs, int32_t x, int32_t y);

// A pointer move to (x, y): recomputes the selection during a drag, follows a move, picks the
// cursor while a selection exists.
PointerMoveResult move_pointer(CaptureState& cs, int32_t x, int32_t y);

// The button goes up. A drag that never drew anything (no move after an Idle press, or Esc
// during the drag) leaves the state Idle, so that the next press starts a new selection.
ButtonUpResult release_pointer(CaptureState& cs);

// A drag (rubber band, corner or edge drag, move) runs: the mouse capture is held for it. When
// the capture is lost or the button turns out to be up, the drag ends as a release would end it.
bool drag_in_progress(const CaptureState& cs);

// Esc is for the selection (any of bCapturing, bMoving, bCaptured set); otherwise it cancels.
bool escape_clears_selection(const CaptureState& cs);

// The zone's cursor at pt; rcHit plays no part.
CaptureCursor cursor_at(const CaptureState& cs, GeoPoint pt);

// True when rcSelection has no pixel (zero width or height): there is nothing to crop.
bool selection_is_empty(const CaptureState& cs);

// The part of rcSelection that lies within `image` (the frozen screen, from (0, 0)): what an
// acceptance hands back. A selection moved or dragged past an edge loses what lies beyond it; one
// wholly outside gives a rectangle without pixels.
GeoRect selection_within(const CaptureState& cs, GeoRect image);

// A pointer coordinate from one half of a mouse message's position word: signed 16 bits, so
// that positions left of or above the display are negative.
int32_t pointer_coordinate(uint32_t half_word);

// "bCapturing:%d bCaptured:%d,bMoving:%d\n" with the current flags; returns the length written
// (truncated to size - 1).
size_t format_trace_line(const CaptureState& cs, char* buf, size_t size);
