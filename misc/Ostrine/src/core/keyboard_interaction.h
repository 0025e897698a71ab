// What the keys and the right button do, free of platform calls. The Win32 layer turns each
// decision into the same steps a pointer event takes (geometry, cursor, trace line, incremental
// redraw).
//
// Arrows move the pointer by one pixel (Ctrl: ten) in every state; with a finished selection and
// no drag they move the selection instead, and Shift+arrows move its right or bottom edge. Enter
// accepts a selection that has pixels, as a double-click does.
#pragma once

#include "core/selection_geometry.h"

#include <cstdint>

enum CaptureKey { KEY_LEFT, KEY_UP, KEY_RIGHT, KEY_DOWN, KEY_ENTER };

enum KeyEffect {
    KEY_IGNORED,
    KEY_MOVES_POINTER,     // move the pointer by (dx, dy); the pointer's path does the rest
    KEY_CHANGED_SELECTION, // rcSelection changed (rcPrevious holds the old one): redraw
    KEY_ACCEPTS            // end the capture as a double-click would
};

struct KeyAction {
    KeyEffect effect;
    int32_t dx;
    int32_t dy;
};

KeyAction press_key(CaptureState& cs, CaptureKey key, bool ctrl, bool shift);

// A finished selection and no drag or move in progress.
bool selection_is_finished(const CaptureState& cs);

// A press in Idle at `pressed_at` on the window `window`, released at `released_at` without a
// drag, makes that window's rectangle the finished selection (with its handles). True when it
// did; the state is then Selected.
bool click_selects_window(CaptureState& cs, GeoRect window, GeoPoint pressed_at,
                          GeoPoint released_at);

// Makes `rc` the finished selection with its handles (Shift+click selects a monitor or the whole
// area), the old one in rcPrevious. Refused (false, nothing changed) during a drag or a move and
// for an empty `rc`.
bool select_finished(CaptureState& cs, GeoRect rc);
