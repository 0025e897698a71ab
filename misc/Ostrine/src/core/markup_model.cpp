#include "core/markup_model.h"

#include "core/overlay_placement.h"
#include "core/rect_math.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

GeoRect span(GeoPoint a, GeoPoint b) {
    return GeoRect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1,
                   std::max(a.y, b.y) + 1};
}

} // namespace

uint32_t palette_colour(int32_t index) {
    static const uint32_t colours[PALETTE_SIZE] = {
        0x001E1EE6, // RGB(230, 30, 30)
        0x0000C8FA, // RGB(250, 200, 0)
        0x003CAA28, // RGB(40, 170, 60)
        0x00E66E1E, // RGB(30, 110, 230)
        0x00000000, // black
        0x00FFFFFF  // white
    };
    return colours[std::clamp(index, 0, PALETTE_SIZE - 1)];
}

int32_t stroke_width(int32_t index, int32_t dpi) {
    static const int32_t widths[WIDTH_COUNT] = {2, 4, 8};
    return scale_for_dpi(widths[std::clamp(index, 0, WIDTH_COUNT - 1)], dpi);
}

int32_t text_height_for(int32_t width) {
    return 12 + 2 * width;
}

MarkupCommand pick_tool(MarkupTools& tools, MarkTool tool) {
    tools.tool = tools.tool == tool ? TOOL_NONE : tool;
    return COMMAND_TOOL;
}

MarkupCommand markup_key(MarkupTools& tools, char key, bool ctrl, bool shift) {
    if (ctrl) {
        if (key == 'Z')
            return shift ? COMMAND_REDO : COMMAND_UNDO;
        if (key == 'Y')
            return COMMAND_REDO;
        return COMMAND_NONE;
    }
    static const char tool_keys[] = "RELAPHMT";
    for (int i = 0; tool_keys[i] != 0; ++i)
        if (key == tool_keys[i])
            return pick_tool(tools, static_cast<MarkTool>(TOOL_RECTANGLE + i));
    if (key >= '1' && key < '1' + PALETTE_SIZE) {
        tools.colour_index = key - '1';
        return COMMAND_COLOUR;
    }
    if (key == '[' || key == ']') {
        const int32_t next = tools.width_index + (key == '[' ? -1 : 1);
        if (next < 0 || next >= WIDTH_COUNT)
            return COMMAND_NONE;
        tools.width_index = next;
        return COMMAND_WIDTH;
    }
    return COMMAND_NONE;
}

void commit_mark(MarkList& list, Mark mark) {
    list.marks.resize(list.visible);
    list.marks.push_back(std::move(mark));
    list.visible = list.marks.size();
}

bool undo_mark(MarkList& list) {
    if (list.visible == 0)
        return false;
    --list.visible;
    return true;
}

bool redo_mark(MarkList& list) {
    if (list.visible == list.marks.size())
        return false;
    ++list.visible;
    return true;
}

void clear_marks(MarkList& list) {
    list.marks.clear();
    list.visible = 0;
}

Mark start_mark(const MarkupTools& tools, GeoPoint pt, int32_t dpi) {
    Mark m;
    m.tool = tools.tool;
    m.colour = palette_colour(tools.colour_index);
    m.width = stroke_width(tools.width_index, dpi);
    if (m.tool == TOOL_MOSAIC)
        m.width = scale_for_dpi(8, dpi);
    else if (m.tool == TOOL_TEXT)
        m.width = text_height_for(m.width);
    m.points = {pt, pt};
    return m;
}

void extend_mark(Mark& mark, GeoPoint pt) {
    if (mark.tool == TOOL_PEN)
        mark.points.push_back(pt);
    else
        mark.points.back() = pt;
}

bool mark_has_content(const Mark& mark) {
    if (mark.points.size() < 2)
        return false;
    if (mark.tool == TOOL_TEXT)
        return !mark.text.empty();
    const GeoPoint a = mark.points.front(), b = mark.points.back();
    if (mark.tool == TOOL_PEN)
        return true;
    if (mark.tool == TOOL_LINE || mark.tool == TOOL_ARROW)
        return a.x != b.x || a.y != b.y;
    return a.x != b.x && a.y != b.y;
}

GeoRect mark_bounds(const Mark& mark) {
    if (mark.points.empty())
        return GeoRect{0, 0, 0, 0};
    GeoRect rc = span(mark.points.front(), mark.points.front());
    for (const GeoPoint& p : mark.points)
        rc = union_rects(rc, span(p, p));
    if (mark.tool == TOOL_TEXT || mark.tool == TOOL_MOSAIC || mark.tool == TOOL_HIGHLIGHTER)
        return rc;
    // A stroke reaches half its width past its path (one more for rounding); an arrow's head
    // reaches further sideways.
    int32_t reach = mark.width / 2 + 1;
    if (mark.tool == TOOL_ARROW)
        reach = 3 * mark.width + 6;
    return inflate_rect(rc, reach);
}

void arrow_head(GeoPoint from, GeoPoint to, int32_t width, GeoPoint head[3]) {
    const double dx = to.x - from.x, dy = to.y - from.y;
    const double length = std::max(std::sqrt(dx * dx + dy * dy), 1.0);
    const double ux = dx / length, uy = dy / length;
    // The head is longer than it is wide and grows with the stroke.
    const double head_length = 4.0 * width + 8.0, half_width = 2.5 * width + 4.0;
    const double bx = to.x - ux * head_length, by = to.y - uy * head_length;
    head[0] = to;
    head[1] = GeoPoint{static_cast<int32_t>(std::lround(bx - uy * half_width)),
                       static_cast<int32_t>(std::lround(by + ux * half_width))};
    head[2] = GeoPoint{static_cast<int32_t>(std::lround(bx + uy * half_width)),
                       static_cast<int32_t>(std::lround(by - ux * half_width))};
}

int preview_erase_areas(const Mark& shown, GeoRect areas[4]) {
    if (shown.points.empty() || shown.tool == TOOL_PEN)
        return 0;
    if (shown.tool == TOOL_RECTANGLE) {
        const GeoRect box = span(shown.points.front(), shown.points.back());
        const int32_t r = shown.width / 2 + 1;
        areas[0] = GeoRect{box.left - r, box.top - r, box.right + r, box.top + r + 1};
        areas[1] = GeoRect{box.left - r, box.bottom - r - 1, box.right + r, box.bottom + r};
        areas[2] = GeoRect{box.left - r, box.top - r, box.left + r + 1, box.bottom + r};
        areas[3] = GeoRect{box.right - r - 1, box.top - r, box.right + r, box.bottom + r};
        return 4;
    }
    areas[0] = mark_bounds(shown);
    return 1;
}
