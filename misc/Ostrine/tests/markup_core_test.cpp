// The mark-up's platform-free core: tools and keys, undo and redo, the toolbar's layout and
// place, the mosaic, the highlighter, the dimmed screen and the changed area while drawing.
#include "core/markup_model.h"
#include "core/markup_pixels.h"
#include "core/markup_toolbar.h"
#include "core/rect_math.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

static bool operator==(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
static std::ostream& operator<<(std::ostream& os, const GeoRect& rc) {
    return os << "{" << rc.left << ", " << rc.top << ", " << rc.right << ", " << rc.bottom << "}";
}

namespace {

TEST(MarkupKeys, ToolsColoursWidthsAndEditing) {
    struct Step {
        char key;
        bool ctrl, shift;
        MarkupCommand command;
        MarkTool tool;
        int32_t colour, width;
    };
    // One capture's keys in a row: the state carries from each step to the next.
    const Step steps[] = {
        {'R', false, false, COMMAND_TOOL, TOOL_RECTANGLE, 0, 1},
        {'R', false, false, COMMAND_TOOL, TOOL_NONE, 0, 1}, // the active tool's key leaves it
        {'E', false, false, COMMAND_TOOL, TOOL_ELLIPSE, 0, 1},
        {'L', false, false, COMMAND_TOOL, TOOL_LINE, 0, 1},
        {'A', false, false, COMMAND_TOOL, TOOL_ARROW, 0, 1},
        {'P', false, false, COMMAND_TOOL, TOOL_PEN, 0, 1},
        {'H', false, false, COMMAND_TOOL, TOOL_HIGHLIGHTER, 0, 1},
        {'M', false, false, COMMAND_TOOL, TOOL_MOSAIC, 0, 1},
        {'T', false, false, COMMAND_TOOL, TOOL_TEXT, 0, 1},
        {'4', false, false, COMMAND_COLOUR, TOOL_TEXT, 3, 1},
        {'6', false, false, COMMAND_COLOUR, TOOL_TEXT, 5, 1},
        {'7', false, false, COMMAND_NONE, TOOL_TEXT, 5, 1},
        {']', false, false, COMMAND_WIDTH, TOOL_TEXT, 5, 2},
        {']', false, false, COMMAND_NONE, TOOL_TEXT, 5, 2}, // already the thickest
        {'[', false, false, COMMAND_WIDTH, TOOL_TEXT, 5, 1},
        {'[', false, false, COMMAND_WIDTH, TOOL_TEXT, 5, 0},
        {'[', false, false, COMMAND_NONE, TOOL_TEXT, 5, 0},
        {'Z', true, false, COMMAND_UNDO, TOOL_TEXT, 5, 0},
        {'Z', true, true, COMMAND_REDO, TOOL_TEXT, 5, 0},
        {'Y', true, false, COMMAND_REDO, TOOL_TEXT, 5, 0},
        {'R', true, false, COMMAND_NONE, TOOL_TEXT, 5, 0}, // Ctrl+R is no tool key
        {'1', false, false, COMMAND_COLOUR, TOOL_TEXT, 0, 0},
    };
    MarkupTools tools;
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(1, s.key) + (s.ctrl ? " ctrl" : "") + (s.shift ? " shift" : ""));
        EXPECT_EQ(markup_key(tools, s.key, s.ctrl, s.shift), s.command);
        EXPECT_EQ(tools.tool, s.tool);
        EXPECT_EQ(tools.colour_index, s.colour);
        EXPECT_EQ(tools.width_index, s.width);
    }
}

TEST(MarkupKeys, PaletteAndWidthsAtTheDpi) {
    const uint32_t expected[PALETTE_SIZE] = {0x1E1EE6, 0x00C8FA, 0x3CAA28,
                                             0xE66E1E, 0x000000, 0xFFFFFF};
    for (int i = 0; i < PALETTE_SIZE; ++i)
        EXPECT_EQ(palette_colour(i), expected[i]) << i;
    EXPECT_EQ(palette_colour(MarkupTools{}.colour_index), 0x1E1EE6u) << "red by default";
    const int32_t widths[][4] = {{96, 2, 4, 8}, {144, 3, 6, 12}, {192, 4, 8, 16}};
    for (const auto& w : widths)
        for (int i = 0; i < WIDTH_COUNT; ++i)
            EXPECT_EQ(stroke_width(i, w[0]), w[i + 1]) << w[0] << " dpi, width " << i;
    EXPECT_EQ(stroke_width(MarkupTools{}.width_index, 96), 4);
}

Mark box_mark(int32_t x) {
    Mark m = start_mark(MarkupTools{TOOL_RECTANGLE, 0, 1}, GeoPoint{x, x}, 96);
    extend_mark(m, GeoPoint{x + 10, x + 10});
    return m;
}

TEST(MarkList, UndoAndRedoInAnyOrderBackToTheBareSelection) {
    MarkList list;
    EXPECT_FALSE(undo_mark(list));
    EXPECT_FALSE(redo_mark(list));
    commit_mark(list, box_mark(1));
    commit_mark(list, box_mark(2));
    commit_mark(list, box_mark(3));
    // op: 'u' undo, 'r' redo, 'c' commit a new mark; then whether it did something and the
    // first points of the visible marks.
    struct Step {
        char op;
        bool done;
        std::vector<int32_t> visible;
    };
    const Step steps[] = {{'u', true, {1, 2}},     {'u', true, {1}},    {'r', true, {1, 2}},
                          {'u', true, {1}},        {'u', true, {}},     {'u', false, {}},
                          {'r', true, {1}},        {'r', true, {1, 2}}, {'r', true, {1, 2, 3}},
                          {'r', false, {1, 2, 3}}, {'u', true, {1, 2}}, {'c', true, {1, 2, 9}},
                          {'r', false, {1, 2, 9}}}; // a new mark drops what could be redone
    for (const Step& s : steps) {
        bool done = true;
        if (s.op == 'u')
            done = undo_mark(list);
        else if (s.op == 'r')
            done = redo_mark(list);
        else
            commit_mark(list, box_mark(9));
        EXPECT_EQ(done, s.done) << s.op;
        std::vector<int32_t> visible;
        for (size_t i = 0; i < list.visible; ++i)
            visible.push_back(list.marks[i].points[0].x);
        EXPECT_EQ(visible, s.visible) << s.op;
    }
    clear_marks(list);
    EXPECT_FALSE(undo_mark(list));
}

TEST(MarkList, MarksKeepTheirToolColourWidthAndPath) {
    const MarkupTools tools{TOOL_PEN, 3, 2};
    Mark pen = start_mark(tools, GeoPoint{5, 5}, 192);
    extend_mark(pen, GeoPoint{6, 9});
    extend_mark(pen, GeoPoint{8, 12});
    EXPECT_EQ(pen.colour, palette_colour(3));
    EXPECT_EQ(pen.width, 16);
    EXPECT_EQ(pen.points.size(), 4u) << "the pen keeps its whole path";
    EXPECT_TRUE(mark_has_content(pen));
    Mark line = start_mark(MarkupTools{TOOL_LINE, 0, 0}, GeoPoint{5, 5}, 96);
    EXPECT_FALSE(mark_has_content(line)) << "a click draws no line";
    extend_mark(line, GeoPoint{9, 5});
    extend_mark(line, GeoPoint{20, 5});
    EXPECT_EQ(line.points.size(), 2u);
    EXPECT_TRUE(mark_has_content(line));
    Mark box = start_mark(MarkupTools{TOOL_RECTANGLE, 0, 0}, GeoPoint{5, 5}, 96);
    extend_mark(box, GeoPoint{20, 5});
    EXPECT_FALSE(mark_has_content(box)) << "a box of no height";
    EXPECT_EQ(start_mark(MarkupTools{TOOL_MOSAIC, 0, 0}, GeoPoint{}, 144).width, 12);
}

TEST(MarkPreview, ChangedAreaCoversTheOldStrokeAndStaysThinForBoxes) {
    for (const int32_t size : {20, 900}) {
        Mark box = start_mark(MarkupTools{TOOL_RECTANGLE, 0, 2}, GeoPoint{100, 100}, 96);
        extend_mark(box, GeoPoint{100 + size, 100 + size * 2 / 3});
        GeoRect areas[4];
        ASSERT_EQ(preview_erase_areas(box, areas), 4);
        int64_t area = 0;
        for (const GeoRect& a : areas)
            area += rect_area(a);
        EXPECT_LE(area, 4 * (size + 12) * 12) << "four strips, not the box";
        // Every pixel within half the stroke (8) of the outline is in a strip.
        const GeoRect outline = mark_bounds(box);
        for (int32_t y = outline.top; y < outline.bottom; ++y)
            for (int32_t x = outline.left; x < outline.right; ++x) {
                const int32_t dx = std::min(std::abs(x - 100), std::abs(x - 100 - size));
                const int32_t dy = std::min(std::abs(y - 100), std::abs(y - 100 - size * 2 / 3));
                const bool near_outline = (dx <= 4 && y >= 96 && y <= 104 + size * 2 / 3) ||
                                          (dy <= 4 && x >= 96 && x <= 104 + size);
                bool covered = false;
                for (const GeoRect& a : areas)
                    covered = covered || rect_contains(a, GeoPoint{x, y});
                if (near_outline && !covered)
                    ADD_FAILURE() << x << "," << y << " not restored for size " << size;
            }
    }
    Mark pen = start_mark(MarkupTools{TOOL_PEN, 0, 1}, GeoPoint{10, 10}, 96);
    GeoRect areas[4];
    EXPECT_EQ(preview_erase_areas(pen, areas), 0) << "the pen only adds its newest segment";
    Mark arrow = start_mark(MarkupTools{TOOL_ARROW, 0, 1}, GeoPoint{10, 10}, 96);
    extend_mark(arrow, GeoPoint{110, 10});
    ASSERT_EQ(preview_erase_areas(arrow, areas), 1);
    GeoPoint head[3];
    arrow_head(arrow.points[0], arrow.points[1], arrow.width, head);
    EXPECT_EQ(head[0].x, 110);
    for (const GeoPoint& p : head)
        EXPECT_TRUE(rect_contains(areas[0], p)) << p.x << "," << p.y;
    EXPECT_LT(head[1].x, 110);
    EXPECT_GT(head[1].y, 10) << "the head is wider than the stroke";
    EXPECT_LT(head[2].y, 10);
}

TEST(Toolbar, LayoutHitTestAndTooltipsScaleWithTheDpi) {
    for (const int32_t dpi : {96, 144, 192}) {
        const ToolbarLayout layout = toolbar_layout(dpi);
        const int32_t button = 24 * dpi / 96;
        EXPECT_EQ(layout.height, button + 2 * ((3 * dpi + 48) / 96));
        for (int i = 0; i < BUTTON_COUNT; ++i) {
            const GeoRect& b = layout.buttons[i];
            EXPECT_EQ(b.right - b.left, button);
            EXPECT_LE(b.right, layout.width);
            EXPECT_EQ(toolbar_button_at(layout, GeoPoint{b.left, b.top}), i);
            EXPECT_EQ(toolbar_button_at(layout, GeoPoint{b.right - 1, b.bottom - 1}), i);
            if (i > 0) {
                EXPECT_GE(b.left, layout.buttons[i - 1].right);
            }
        }
        EXPECT_EQ(toolbar_button_at(layout, GeoPoint{0, 0}), -1) << "the border";
        const GeoRect gap{layout.buttons[BUTTON_TEXT].right, 0,
                          layout.buttons[BUTTON_COLOUR_FIRST].left, 0};
        EXPECT_GT(gap.right, gap.left) << "groups are set apart";
        EXPECT_EQ(toolbar_button_at(layout, GeoPoint{gap.left, 10 * dpi / 96}), -1);
    }
    const char* const tool_tips[] = {"Rectangle (R)", "Ellipse (E)",     "Line (L)",   "Arrow (A)",
                                     "Pen (P)",       "Highlighter (H)", "Mosaic (M)", "Text (T)"};
    for (int i = 0; i < 8; ++i)
        EXPECT_STREQ(toolbar_tooltip(BUTTON_RECTANGLE + i), tool_tips[i]);
    EXPECT_STREQ(toolbar_tooltip(BUTTON_COLOUR_FIRST + 1), "Yellow (2)");
    EXPECT_STREQ(toolbar_tooltip(BUTTON_COUNT), "");
}

TEST(Toolbar, ButtonsDoWhatTheirKeysDoAndShowTheChoice) {
    MarkupTools tools;
    EXPECT_EQ(press_toolbar_button(tools, BUTTON_RECTANGLE + 4), COMMAND_TOOL);
    EXPECT_EQ(tools.tool, TOOL_PEN);
    EXPECT_TRUE(toolbar_button_active(tools, BUTTON_RECTANGLE + 4));
    EXPECT_FALSE(toolbar_button_active(tools, BUTTON_RECTANGLE));
    EXPECT_EQ(press_toolbar_button(tools, BUTTON_RECTANGLE + 4), COMMAND_TOOL);
    EXPECT_EQ(tools.tool, TOOL_NONE);
    EXPECT_EQ(press_toolbar_button(tools, BUTTON_COLOUR_FIRST + 2), COMMAND_COLOUR);
    EXPECT_TRUE(toolbar_button_active(tools, BUTTON_COLOUR_FIRST + 2));
    EXPECT_FALSE(toolbar_button_active(tools, BUTTON_COLOUR_FIRST));
    EXPECT_EQ(press_toolbar_button(tools, BUTTON_WIDTH_FIRST + 2), COMMAND_WIDTH);
    EXPECT_EQ(tools.width_index, 2);
    const std::pair<MarkupCommand, int> others[] = {{COMMAND_UNDO, BUTTON_UNDO},
                                                    {COMMAND_REDO, BUTTON_REDO},
                                                    {COMMAND_CANCEL, BUTTON_CANCEL},
                                                    {COMMAND_ACCEPT, BUTTON_ACCEPT}};
    for (const auto& o : others)
        EXPECT_EQ(press_toolbar_button(tools, o.second), o.first);
}

TEST(Toolbar, PlacementBelowAboveOrInsideOnTheMonitorWithMostOfTheSelection) {
    const GeoRect one[] = {{0, 0, 1024, 768}};
    // The second monitor left of the primary, with a dead zone below it.
    const GeoRect two[] = {{0, 0, 1280, 800}, {-1024, 0, 0, 768}};
    const GeoPoint size{300, 30};
    struct Case {
        const char* what;
        GeoRect selection;
        const GeoRect* monitors;
        size_t count;
        GeoRect expected;
    };
    const Case cases[] = {
        {"below, right-aligned", {100, 100, 500, 400}, one, 1, {200, 405, 500, 435}},
        {"below, just room", {100, 100, 500, 733}, one, 1, {200, 738, 500, 768}},
        {"above", {100, 100, 500, 734}, one, 1, {200, 65, 500, 95}},
        {"inside the corner", {100, 34, 500, 734}, one, 1, {195, 699, 495, 729}},
        {"narrow, near the left edge", {10, 100, 50, 200}, one, 1, {0, 205, 300, 235}},
        {"on the second monitor", {-900, 700, -100, 760}, two, 2, {-400, 665, -100, 695}},
        {"mostly on the second", {-600, 100, 100, 200}, two, 2, {-300, 205, 0, 235}},
        {"mostly on the primary", {-100, 100, 600, 200}, two, 2, {300, 205, 600, 235}},
        {"whole monitor", {0, 0, 1024, 768}, one, 1, {719, 733, 1019, 763}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(place_toolbar(c.selection, size, 5, c.monitors, c.count), c.expected) << c.what;
}

std::vector<uint32_t> noise(int32_t w, int32_t h) {
    std::vector<uint32_t> px(static_cast<size_t>(w * h));
    uint32_t s = 12345;
    for (uint32_t& p : px) {
        s = s * 1103515245u + 12345u;
        p = (s >> 8) & 0xFFFFFF;
    }
    return px;
}

TEST(Mosaic, BlocksOnTheScreenGridAverageOnlyTheirPixelsInside) {
    // Buffers at different places of the virtual screen, negative ones included.
    struct Case {
        GeoPoint origin;
        GeoRect area;
        int32_t block;
    };
    const Case cases[] = {{{0, 0}, {3, 5, 29, 22}, 8},
                          {{-37, -20}, {-30, -13, 1, 9}, 8},
                          {{100, 50}, {100, 50, 140, 70}, 12}};
    for (const Case& c : cases) {
        const int32_t w = 48, h = 40;
        std::vector<uint32_t> px = noise(w, h);
        const std::vector<uint32_t> frozen = px;
        mosaic_pixels(PixelView{px.data(), w, h, w, c.origin}, c.area, c.block);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const int32_t vx = x + c.origin.x, vy = y + c.origin.y;
                const size_t i = static_cast<size_t>(y * w + x);
                if (!rect_contains(c.area, GeoPoint{vx, vy})) {
                    ASSERT_EQ(px[i], frozen[i]) << "outside changed at " << vx << "," << vy;
                    continue;
                }
                // The block on the grid and its pixels inside the area, averaged here directly.
                const int32_t bx = vx - ((vx % c.block) + c.block) % c.block;
                const int32_t by = vy - ((vy % c.block) + c.block) % c.block;
                uint64_t sum[3] = {0, 0, 0}, n = 0;
                for (int32_t yy = by; yy < by + c.block; ++yy)
                    for (int32_t xx = bx; xx < bx + c.block; ++xx)
                        if (rect_contains(c.area, GeoPoint{xx, yy})) {
                            const uint32_t f = frozen[static_cast<size_t>((yy - c.origin.y) * w +
                                                                          (xx - c.origin.x))];
                            for (int k = 0; k < 3; ++k)
                                sum[k] += (f >> (8 * k)) & 0xFF;
                            ++n;
                        }
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ((px[i] >> (8 * k)) & 0xFF, (sum[k] + n / 2) / n)
                        << vx << "," << vy << " channel " << k;
            }
    }
}

TEST(PixelBlends, HighlighterAtFortyPercentAndTheDimFactor) {
    struct Case {
        uint32_t pixel, colorref, highlighted, dimmed;
    };
    const Case cases[] = {
        // yellow RGB(250,200,0) over white: 255*0.6 + 250*0.4 = 253, 233, 153
        {0xFFFFFF, 0x0000C8FA, 0xFDE999, 0x7F7F7F},
        {0x000000, 0x0000C8FA, 0x645000, 0x000000},
        {0x102030, 0x00E66E1E, 0x163F79, 0x081018}, // blue over a dark colour
    };
    for (const Case& c : cases) {
        EXPECT_EQ(highlight_pixel(c.pixel, c.colorref), c.highlighted) << std::hex << c.pixel;
        EXPECT_EQ(dim_pixel(c.pixel), c.dimmed) << std::hex << c.pixel;
    }
    const double factor = static_cast<double>(DIM_NUMERATOR) / DIM_DENOMINATOR;
    EXPECT_GE(factor, 0.35);
    EXPECT_LE(factor, 0.65);
    std::vector<uint32_t> px = noise(16, 8);
    const std::vector<uint32_t> before = px;
    highlight_pixels(PixelView{px.data(), 8, 8, 16, {10, 10}}, GeoRect{12, 0, 20, 11}, 0x1E1EE6);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            const size_t i = static_cast<size_t>(y * 16 + x);
            const bool inside = x >= 2 && x < 8 && y < 1;
            EXPECT_EQ(px[i], inside ? highlight_pixel(before[i], 0x1E1EE6) : before[i]) << x << y;
        }
}

TEST(RectMath, SubtractGivesDisjointPiecesCoveringTheRest) {
    const GeoRect a{0, 0, 10, 8};
    const GeoRect others[] = {
        {3, 2, 6, 5}, {-5, -5, 4, 20}, {20, 20, 30, 30}, {0, 0, 10, 8}, {5, 4, 20, 20}};
    for (const GeoRect& b : others) {
        GeoRect out[4];
        const int n = subtract_rect(a, b, out);
        for (int32_t y = -6; y < 22; ++y)
            for (int32_t x = -6; x < 22; ++x) {
                int hits = 0;
                for (int i = 0; i < n; ++i)
                    hits += rect_contains(out[i], GeoPoint{x, y});
                const bool want = rect_contains(a, {x, y}) && !rect_contains(b, {x, y});
                ASSERT_EQ(hits, want ? 1 : 0) << b << " at " << x << "," << y;
            }
    }
}

} // namespace
