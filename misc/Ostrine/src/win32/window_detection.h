// The windows on the display when the capture opens, for the outline under the pointer: visible
// top-level windows and their visible children in z-order, without the capture's own windows and
// minimized or cloaked ones, at their DWM frame bounds where the system offers them, clipped to
// the captured area.
#pragma once

#include <windows.h>

#include "core/window_hit.h"

#include <vector>

// Collects into `list` (cleared first), in capture coordinates: `area` is the captured area in
// virtual-screen coordinates, `origin` the screen position of its top-left pixel. `skip1` and
// `skip2` are the capture's own windows.
void collect_windows(std::vector<WindowRect>& list, HWND skip1, HWND skip2, GeoRect area,
                     GeoPoint origin);
