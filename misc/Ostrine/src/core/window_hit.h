// The windows that were on the display when the capture opened, and the innermost one under the
// pointer. No platform headers: the Win32 layer collects the list, this module reasons about it.
#pragma once

#include "core/selection_geometry.h"

#include <cstdint>
#include <vector>

// One window's visible rectangle. The list is in preorder of the window tree and in z-order
// (topmost first): a top-level window (depth 0), then its children (depth 1) and theirs, before
// the next top-level window.
struct WindowRect {
    GeoRect rc;
    int32_t depth;
};

// Appends a window whose rectangle is `rc`, clipped to `bounds` (the display for a top-level
// window, its parent's clipped rectangle for a child). Returns the clipped rectangle; nothing is
// appended when it is empty, and the window's children are then invisible too.
GeoRect add_window_rect(std::vector<WindowRect>& list, GeoRect rc, int32_t depth, GeoRect bounds);

// The rectangle of the innermost window under `pt`: the topmost top-level window that contains
// it, then within it the topmost child that contains it, and so on. Empty ({0,0,0,0}) when no
// window contains the point.
GeoRect window_at(const std::vector<WindowRect>& list, GeoPoint pt);
