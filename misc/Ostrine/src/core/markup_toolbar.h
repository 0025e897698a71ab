// The mark-up toolbar without platform calls: its buttons and their tooltips, their layout at a
// DPI, which button is under a point, what a press on one does, and where the toolbar goes
// beside the selection.
#pragma once

#include "core/markup_model.h"
#include "core/selection_geometry.h"

#include <cstddef>
#include <cstdint>

// Left to right: the eight tools, the six colours, the three widths, undo, redo, cancel, accept.
enum ToolbarButton {
    BUTTON_RECTANGLE = 0, // the tools in the order of MarkTool, from TOOL_RECTANGLE
    BUTTON_TEXT = 7,
    BUTTON_COLOUR_FIRST = 8,
    BUTTON_WIDTH_FIRST = BUTTON_COLOUR_FIRST + PALETTE_SIZE,
    BUTTON_UNDO = BUTTON_WIDTH_FIRST + WIDTH_COUNT,
    BUTTON_REDO,
    BUTTON_CANCEL,
    BUTTON_ACCEPT,
    BUTTON_COUNT
};

// Positions relative to the toolbar's top-left corner.
struct ToolbarLayout {
    int32_t width;
    int32_t height;
    GeoRect buttons[BUTTON_COUNT];
};

// Buttons of 24 x 24 pixels at 96 DPI in groups set apart, inside a 3-pixel border; scaled with
// the DPI.
ToolbarLayout toolbar_layout(int32_t dpi);

// The button at `pt` (toolbar coordinates), or -1 between buttons and outside.
int toolbar_button_at(const ToolbarLayout& layout, GeoPoint pt);

// The tooltip of a button: its name and its key, such as "Rectangle (R)".
const char* toolbar_tooltip(int button);

// Whether the button shows as pressed: the active tool, the current colour and width.
bool toolbar_button_active(const MarkupTools& tools, int button);

// A press on `button`: like the button's key.
MarkupCommand press_toolbar_button(MarkupTools& tools, int button);

// The toolbar's place for a `size` toolbar beside `selection`, on the monitor that holds the most
// of the selection (monitors as rectangles in the same coordinates; the first when the selection
// lies on none): below the bottom edge, right-aligned with it, when there is room below; else
// above the top edge; else inside the bottom-right corner. Always `gap` pixels from the edge and
// kept on that monitor.
GeoRect place_toolbar(GeoRect selection, GeoPoint size, int32_t gap, const GeoRect* monitors,
                      size_t monitor_count);
