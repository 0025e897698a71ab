// What the overlay of the running capture shows besides the selection: the sizes at the
// display's DPI, the windows found when the capture opened, the window outlined under the pointer
// and the magnifier's place. Reset when the dialog opens.
#pragma once

#include "core/overlay_placement.h"
#include "core/window_hit.h"

#include <vector>

struct OverlayState {
    int32_t dpi = 96;
    OverlayMetrics metrics = overlay_metrics(96);
    std::vector<WindowRect> windows;
    GeoRect rcHover = {0, 0, 0, 0};       // the window outlined in Idle; empty when none is
    GeoRect rcLoupe = {0, 0, 0, 0};       // the magnifier on screen; empty when it is not shown
    GeoRect rcPressWindow = {0, 0, 0, 0}; // the window under a press in Idle
    GeoPoint ptPress = {0, 0};
};
