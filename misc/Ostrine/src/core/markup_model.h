// The marks a user draws on the selection, free of platform calls: the tools, the palette and
// the stroke widths, the state of the toolbar's choices with the keys that change them, the list
// of committed marks with its undo and redo, and the areas a pointer move while drawing changes
// on the screen. The Win32 layer (win32/markup_render.cpp) draws the marks.
//
// Mark points are in the dialog's client coordinates, like the selection: moving the selection
// leaves the marks where they are on the screen.
#pragma once

#include "core/selection_geometry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum MarkTool {
    TOOL_NONE,
    TOOL_RECTANGLE,
    TOOL_ELLIPSE,
    TOOL_LINE,
    TOOL_ARROW,
    TOOL_PEN,
    TOOL_HIGHLIGHTER, // a translucent box: the colour blended at 40% over the pixels
    TOOL_MOSAIC,      // blocks of their average colour over the dragged box
    TOOL_TEXT
};

const int32_t PALETTE_SIZE = 6;
const int32_t WIDTH_COUNT = 3;

// The palette as COLORREF values (0x00BBGGRR): red (the default), yellow, green, blue, black,
// white, in the order of the keys 1 to 6.
uint32_t palette_colour(int32_t index);

// Stroke width `index` (0 thin, 1 medium, 2 thick: 2, 4, 8 pixels at 96 DPI) at `dpi`.
int32_t stroke_width(int32_t index, int32_t dpi);

// The text tool's font height for a stroke width: larger strokes, larger letters.
int32_t text_height_for(int32_t width);

// The choices of the toolbar, kept for the rest of the capture.
struct MarkupTools {
    MarkTool tool = TOOL_NONE;
    int32_t colour_index = 0; // red
    int32_t width_index = 1;  // 4 pixels at 96 DPI
};

enum MarkupCommand {
    COMMAND_NONE,
    COMMAND_TOOL,   // the tool changed (possibly to none)
    COMMAND_COLOUR, // the colour changed
    COMMAND_WIDTH,  // the stroke width changed
    COMMAND_UNDO,
    COMMAND_REDO,
    COMMAND_ACCEPT,
    COMMAND_CANCEL
};

// A key, as the character it stands for ('R', 'E', 'L', 'A', 'P', 'H', 'M', 'T' upper case,
// '1' to '6', '[', ']', 'Z', 'Y'), with Ctrl and Shift. The key of the active tool leaves it;
// Ctrl+Z undoes, Ctrl+Y and Ctrl+Shift+Z redo. Updates `tools` and says what changed.
MarkupCommand markup_key(MarkupTools& tools, char key, bool ctrl, bool shift);

// Picking tool `tool` from the toolbar: like its key.
MarkupCommand pick_tool(MarkupTools& tools, MarkTool tool);

// One mark. Boxes, lines and arrows: points[0] is where the drag began, points[1] where it is
// now; the pen: its whole path; text: points[0] is the box's top-left corner and points[1] its
// bottom-right one. `width` is the stroke width, for the mosaic its block size, for text its
// font height.
struct Mark {
    MarkTool tool = TOOL_NONE;
    uint32_t colour = 0;
    int32_t width = 0;
    std::vector<GeoPoint> points;
    std::u16string text;
};

// The committed marks in the order they were made. The first `visible` are shown; the rest can
// be redone until a new mark is committed.
struct MarkList {
    std::vector<Mark> marks;
    size_t visible = 0;
};

void commit_mark(MarkList& list, Mark mark);
// False when there is nothing to undo (the bare selection) or to redo.
bool undo_mark(MarkList& list);
bool redo_mark(MarkList& list);
void clear_marks(MarkList& list);

// A new mark of the current tool, colour and width, started at `pt`.
Mark start_mark(const MarkupTools& tools, GeoPoint pt, int32_t dpi);
// The pointer moved to `pt` while drawing: the pen adds a point, the other tools move their end.
void extend_mark(Mark& mark, GeoPoint pt);
// A mark worth keeping: a box or line that spans something, a pen path, text that is not empty.
bool mark_has_content(const Mark& mark);

// Every pixel the mark may touch.
GeoRect mark_bounds(const Mark& mark);

// The filled head of an arrow from `from` to `to` with stroke `width`: its tip at `to`, the
// other two corners behind it.
void arrow_head(GeoPoint from, GeoPoint to, int32_t width, GeoPoint head[3]);

// While a mark is drawn, the areas of its preview to restore before the mark is drawn again at
// its new extent (the changed area of a pointer move): a box outline only its four strips, the
// pen nothing (it only adds its newest segment); the other tools their bounds. Returns the count.
int preview_erase_areas(const Mark& shown, GeoRect areas[4]);
