// The monitors of a capture as plain data, and the decisions that depend on them: which monitor
// the pointer is on, keeping a box on one monitor, what Shift+click and Ctrl+Shift+click select.
// No platform headers: the Win32 layer enumerates the monitors and hands them over in capture
// coordinates (the captured area's top-left pixel is (0, 0)); a dead zone is any part of the area
// on no monitor.
#pragma once

#include "core/overlay_placement.h"
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

// The information box (width x height) beside the pointer `pt`, on the pointer's monitor: placed
// as place_beside_pointer places it within that monitor, then moved aside at its edges, so that it
// never reaches onto another monitor or a dead zone. `fallback` stands for an empty list.
GeoRect place_box_on_monitor(const std::vector<MonitorArea>& monitors, GeoPoint pt, int32_t width,
                             int32_t height, int32_t gap, GeoRect fallback);

// The magnifier on the pointer's monitor: the first place of place_loupe that lies on that monitor
// and clear of `avoid` (the information box); where none does (a corner), the first of those
// places moved onto the monitor that stays clear of `avoid` and of the pointer's pixel, else the
// first one moved onto it that leaves the pointer's pixel free.
GeoRect place_loupe_on_monitor(const std::vector<MonitorArea>& monitors, GeoPoint pt, int32_t width,
                               int32_t height, int32_t gap, GeoRect avoid, GeoRect fallback);

// The selection of a Shift+click at `pt`: the monitor there; with Ctrl as well, the whole area.
GeoRect shift_click_selection(const std::vector<MonitorArea>& monitors, GeoRect area, GeoPoint pt,
                              bool ctrl);

// True when the monitors tile `area` without gaps or overlaps: no part of it lies on no monitor,
// so there is no dead zone to paint black.
bool monitors_tile(const std::vector<MonitorArea>& monitors, GeoRect area);

// The smallest rectangle that holds every monitor; empty for an empty list.
GeoRect monitors_bounds(const std::vector<MonitorArea>& monitors);
