// The monitors of a capture as plain data, and the decisions that depend on them: which monitor
// the pointer is on, keeping a box on one monitor, what Shift+click and Ctrl+Shift+click select.
// No platform headers: the Win32 layer enumerates the monitors and hands them over in capture
// coordinates (the captured area's top-left pixel is (0, 0)); a dead zone is any part of the area
// on no monitor.
#pragma once

#include "core/selection_geometry.h"

#include <cstdint>
#include <vector>

struct MonitorArea {
    GeoRect rc;  // the monitor's pixels, capture coordinates
    int32_t dpi; // its DPI (96 unscaled)
};

// The index of the monitor that contains `pt`; when none does (a dead zone, or a position off the
// area), the nearest one. -1 for an empty list.
int32_t monitor_index_at(const std::vector<MonitorArea>& monitors, GeoPoint pt);

// The monitor's rectangle at `pt` (as monitor_index_at chooses it); `fallback` for an empty list.
GeoRect monitor_rect_at(const std::vector<MonitorArea>& monitors, GeoPoint pt, GeoRect fallback);

// `rc` moved, not resized, the least distance that puts it inside `area`; a box wider or higher
// than the area keeps the area's left or top edge.
GeoRect keep_inside(GeoRect rc, GeoRect area);

// The selection of a Shift+click at `pt`: the monitor there; with Ctrl as well, the whole area.
GeoRect shift_click_selection(const std::vector<MonitorArea>& monitors, GeoRect area, GeoPoint pt,
                              bool ctrl);

// The smallest rectangle that holds every monitor; empty for an empty list.
GeoRect monitors_bounds(const std::vector<MonitorArea>& monitors);
