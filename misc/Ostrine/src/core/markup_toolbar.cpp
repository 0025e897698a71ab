#include "core/markup_toolbar.h"

#include "core/overlay_placement.h"
#include "core/rect_math.h"

#include <algorithm>

namespace {

bool starts_group(int button) {
    return button == BUTTON_COLOUR_FIRST || button == BUTTON_WIDTH_FIRST || button == BUTTON_UNDO ||
           button == BUTTON_CANCEL;
}

int32_t clamp_into(int32_t start, int32_t length, int32_t low, int32_t high) {
    return std::max(low, std::min(start, high - length));
}

} // namespace

ToolbarLayout toolbar_layout(int32_t dpi) {
    ToolbarLayout layout;
    const int32_t button = scale_for_dpi(24, dpi);
    const int32_t border = scale_for_dpi(3, dpi);
    const int32_t separator = scale_for_dpi(8, dpi);
    int32_t x = border;
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        if (starts_group(i))
            x += separator;
        layout.buttons[i] = GeoRect{x, border, x + button, border + button};
        x += button;
    }
    layout.width = x + border;
    layout.height = button + 2 * border;
    return layout;
}

int toolbar_button_at(const ToolbarLayout& layout, GeoPoint pt) {
    for (int i = 0; i < BUTTON_COUNT; ++i)
        if (rect_contains(layout.buttons[i], pt))
            return i;
    return -1;
}

const char* toolbar_tooltip(int button) {
    static const char* const tips[BUTTON_COUNT] = {
        "Rectangle (R)",    "Ellipse (E)",     "Line (L)",        "Arrow (A)",
        "Pen (P)",          "Highlighter (H)", "Mosaic (M)",      "Text (T)",
        "Red (1)",          "Yellow (2)",      "Green (3)",       "Blue (4)",
        "Black (5)",        "White (6)",       "Thin stroke ([)", "Medium stroke ([ ])",
        "Thick stroke (])", "Undo (Ctrl+Z)",   "Redo (Ctrl+Y)",   "Cancel",
        "Accept (Enter)"};
    if (button < 0 || button >= BUTTON_COUNT)
        return "";
    return tips[button];
}

bool toolbar_button_active(const MarkupTools& tools, int button) {
    if (button >= BUTTON_RECTANGLE && button <= BUTTON_TEXT)
        return tools.tool == TOOL_RECTANGLE + button;
    if (button >= BUTTON_COLOUR_FIRST && button < BUTTON_WIDTH_FIRST)
        return tools.colour_index == button - BUTTON_COLOUR_FIRST;
    if (button >= BUTTON_WIDTH_FIRST && button < BUTTON_UNDO)
        return tools.width_index == button - BUTTON_WIDTH_FIRST;
    return false;
}

MarkupCommand press_toolbar_button(MarkupTools& tools, int button) {
    if (button >= BUTTON_RECTANGLE && button <= BUTTON_TEXT)
        return pick_tool(tools, static_cast<MarkTool>(TOOL_RECTANGLE + button));
    if (button >= BUTTON_COLOUR_FIRST && button < BUTTON_WIDTH_FIRST) {
        tools.colour_index = button - BUTTON_COLOUR_FIRST;
        return COMMAND_COLOUR;
    }
    if (button >= BUTTON_WIDTH_FIRST && button < BUTTON_UNDO) {
        tools.width_index = button - BUTTON_WIDTH_FIRST;
        return COMMAND_WIDTH;
    }
    switch (button) {
    case BUTTON_UNDO:
        return COMMAND_UNDO;
    case BUTTON_REDO:
        return COMMAND_REDO;
    case BUTTON_CANCEL:
        return COMMAND_CANCEL;
    case BUTTON_ACCEPT:
        return COMMAND_ACCEPT;
    default:
        return COMMAND_NONE;
    }
}

GeoRect place_toolbar(GeoRect selection, GeoPoint size, int32_t gap, const GeoRect* monitors,
                      size_t monitor_count) {
    GeoRect mon{0, 0, 0, 0};
    int64_t best = -1;
    for (size_t i = 0; i < monitor_count; ++i) {
        const int64_t shared = rect_area(intersect_rects(selection, monitors[i]));
        if (shared > best) {
            best = shared;
            mon = monitors[i];
        }
    }
    const int32_t w = size.x, h = size.y;
    int32_t left = clamp_into(selection.right - w, w, mon.left, mon.right);
    int32_t top;
    if (static_cast<int64_t>(selection.bottom) + gap + h <= mon.bottom &&
        selection.bottom + gap >= mon.top) {
        top = selection.bottom + gap;
    } else if (static_cast<int64_t>(selection.top) - gap - h >= mon.top &&
               selection.top - gap <= mon.bottom) {
        top = selection.top - gap - h;
    } else {
        left = clamp_into(selection.right - gap - w, w, mon.left, mon.right);
        top = clamp_into(selection.bottom - gap - h, h, mon.top, mon.bottom);
    }
    return GeoRect{left, top, left + w, top + h};
}
