// The mark-up toolbar (OSTRINE_CAPTURE_MARKUP) and the dimmed screen (OSTRINE_CAPTURE_DIM) as a
// user meets them: every tool's pixels in the result, the mosaic's blocks, undo and redo, the
// toolbar's place and tooltips, typed text, the endings, the clipboard and the handles. Played
// with real input on the host's pattern window.
#include "Ostrine.h"
#include "capture_checks.h"
#include "core/markup_toolbar.h"
#include "dll_test_support.h"
#include "gui_driver.h"
#include "handle_counter.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kToolbarClass[] = "OstrineMarkupToolbar";
// A pressed button's fill, and the palette, as 0x00RRGGBB.
const uint32_t kActiveFill = 0xCCE4F7;
const uint32_t kRed = 0xE61E1E, kYellow = 0xFAC800, kBlue = 0x1E6EE6;

struct Pixels {
    std::vector<uint32_t> px;
    int width = 0, height = 0;
    uint32_t at(int x, int y) const {
        return px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

Pixels pixels_of(HBITMAP bitmap) {
    Pixels p;
    if (bitmap != NULL)
        p.px = bitmap_pixels(bitmap, &p.width, &p.height);
    return p;
}

// The highlighter's blend, worked out here on its own: 60% pixel, 40% colour, rounded.
uint32_t blend40(uint32_t pixel, uint32_t colour) {
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8)
        out |= ((((pixel >> s) & 0xFF) * 60 + ((colour >> s) & 0xFF) * 40 + 50) / 100) << s;
    return out;
}

uint32_t halved(uint32_t pixel) {
    return (pixel >> 1) & 0x7F7F7F;
}

HWND toolbar_of(HWND dialog) {
    return FindWindowExA(dialog, NULL, kToolbarClass, NULL);
}

// The toolbar's rectangle on the screen once it is shown; empty after the timeout.
RECT shown_toolbar(HWND dialog) {
    RECT rc = {0, 0, 0, 0};
    wait_until([&] {
        HWND bar = toolbar_of(dialog);
        return bar != NULL && IsWindowVisible(bar) && GetWindowRect(bar, &rc);
    });
    return rc;
}

POINT button_centre(HWND dialog, int button) {
    const RECT bar = shown_toolbar(dialog);
    const GeoRect b = toolbar_layout(96).buttons[button];
    return POINT{bar.left + (b.left + b.right) / 2, bar.top + (b.top + b.bottom) / 2};
}

bool button_pressed(HWND dialog, int button) {
    const RECT bar = shown_toolbar(dialog);
    const GeoRect b = toolbar_layout(96).buttons[button];
    return screen_pixel(bar.left + b.left + 1, bar.top + b.top + 1) == kActiveFill;
}

void key(WORD vk, WORD modifier = 0, WORD modifier2 = 0) {
    for (WORD m : {modifier, modifier2})
        if (m != 0) {
            send_key(m, true);
            Sleep(50); // a modifier in the same batch is not always seen as held
        }
    send_key(vk, true);
    send_key(vk, false);
    for (WORD m : {modifier2, modifier})
        if (m != 0) {
            send_key(m, false);
            Sleep(50);
        }
}

void click(POINT pt) {
    send_move(pt.x, pt.y);
    send_button(true);
    send_button(false);
}

// A tool or colour picked with its key; waits until its button shows it.
void pick(HWND dialog, WORD vk, int button) {
    key(vk);
    EXPECT_TRUE(wait_until([&] { return button_pressed(dialog, button); })) << "key " << vk;
}

// A stroke with the button down through `path`; waits until the release committed it.
void stroke(HWND dialog, std::initializer_list<POINT> path) {
    const POINT from = *path.begin();
    send_move(from.x, from.y);
    send_button(true);
    EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
    for (POINT p : path)
        send_move(p.x, p.y);
    const POINT last = *(path.end() - 1);
    move_until(last.x, last.y, [&] {
        POINT pt;
        GetCursorPos(&pt);
        return pt.x == last.x && pt.y == last.y;
    });
    send_button(false);
    EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
}

// Rubber band from (l, t) to (r, b); waits for the toolbar.
void select_area(HWND dialog, Box s) {
    drag(dialog, {s.left, s.top}, {{s.left + 5, s.top + 5}, {s.right, s.bottom}}, s);
    EXPECT_NE(shown_toolbar(dialog).right, 0) << "no toolbar";
}

class MarkupHost : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (host == NULL)
            host = show_pattern_window();
    }

    void SetUp() override {
        dll = LoadLibraryA(built_dll_path().c_str());
        ASSERT_NE(dll, nullptr);
        get_cap_bitmap_ex =
            export_as<OstrineGetCapBitmapExFn>(GetProcAddress(dll, "GetCapBitmapEx"));
        ASSERT_NE(get_cap_bitmap_ex, nullptr);
        SetForegroundWindow(host);
        send_move(1000, 740);
    }

    void TearDown() override {
        if (dll != NULL)
            FreeLibrary(dll);
    }

    HBITMAP capture(DWORD flags, const std::function<void(HWND)>& script) {
        EXPECT_TRUE(wait_for_pattern_on_screen());
        // Frozen without the pointer: it would stand where the previous capture left it.
        request = OSTRINE_CAPTURE{sizeof request, flags | OSTRINE_CAPTURE_NO_POINTER, {0, 0, 0, 0}};
        return drive_capture(
            [&] {
                HBITMAP r = get_cap_bitmap_ex(&request);
                error = GetLastError();
                return r;
            },
            script);
    }

    static HWND host;
    HMODULE dll = NULL;
    OstrineGetCapBitmapExFn get_cap_bitmap_ex = nullptr;
    OSTRINE_CAPTURE request = {};
    DWORD error = 0;
};

HWND MarkupHost::host = NULL;

const Box kSelection = {100, 100, 600, 500};

// Pixels of `result` (cropped at kSelection) that differ from the frozen pattern: all of them
// `colour` and inside `bounds`; returns their count.
int marked_pixels(const Pixels& result, uint32_t colour, RECT bounds) {
    int marked = 0;
    for (int y = 0; y < result.height; ++y)
        for (int x = 0; x < result.width; ++x) {
            const int sx = x + kSelection.left, sy = y + kSelection.top;
            const uint32_t p = result.at(x, y);
            if (p == pattern_pixel(sx, sy))
                continue;
            ++marked;
            const bool inside =
                sx >= bounds.left && sx < bounds.right && sy >= bounds.top && sy < bounds.bottom;
            if (p != colour || !inside) {
                ADD_FAILURE() << "pixel " << sx << "," << sy << " is " << std::hex << p;
                return -1;
            }
        }
    return marked;
}

TEST_F(MarkupHost, EachToolDrawsInItsColourWhereTheMarkIsAndNowhereElse) {
    struct Case {
        const char* what;
        WORD tool_key, colour_key;
        int tool_button;
        std::vector<POINT> path;
        uint32_t colour;
        RECT bounds;                 // every changed pixel lies here
        std::vector<POINT> on_mark;  // these are in the mark's colour
        std::vector<POINT> off_mark; // these are frozen
    };
    const Case cases[] = {
        {"rectangle",
         'R',
         0,
         0,
         {{200, 200}, {300, 260}, {400, 300}},
         kRed,
         {196, 196, 405, 305},
         {{201, 250}, {399, 250}, {300, 201}, {300, 299}},
         {{300, 250}, {190, 250}, {300, 310}}},
        {"ellipse in blue",
         'E',
         '4',
         1,
         {{200, 200}, {400, 300}},
         kBlue,
         {196, 196, 405, 305},
         {{300, 201}, {201, 250}, {399, 250}, {300, 299}},
         {{300, 250}, {204, 204}}},
        {"line",
         'L',
         0,
         2,
         {{200, 200}, {400, 300}},
         kRed,
         {196, 196, 405, 305},
         {{300, 250}, {250, 225}, {350, 275}},
         {{300, 200}, {300, 300}}},
        {"arrow",
         'A',
         0,
         3,
         {{200, 250}, {400, 250}},
         kRed,
         {196, 225, 405, 276},
         {{300, 250}, {396, 250}, {385, 244}, {385, 256}},
         {{300, 243}, {300, 257}, {405, 250}}},
        {"pen",
         'P',
         0,
         4,
         {{200, 200}, {250, 260}, {300, 200}, {350, 260}},
         kRed,
         {196, 196, 355, 265},
         {{225, 230}, {275, 230}, {325, 230}},
         {{250, 220}, {300, 250}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HBITMAP result = capture(OSTRINE_CAPTURE_MARKUP, [&](HWND dialog) {
            select_area(dialog, kSelection);
            pick(dialog, c.tool_key, BUTTON_RECTANGLE + c.tool_button);
            if (c.colour_key != 0)
                key(c.colour_key);
            // A stroke given point by point.
            const POINT from = c.path.front();
            send_move(from.x, from.y);
            send_button(true);
            EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
            // Moves that queue up reach the dialog as one: the pen's corners are waited for.
            for (size_t i = 1; i < c.path.size(); ++i) {
                const POINT p = c.path[i];
                if (c.tool_key == 'P')
                    move_until(p.x, p.y, [&] { return screen_pixel(p.x, p.y) == c.colour; });
                else
                    send_move(p.x, p.y);
            }
            wait_until([&] {
                POINT pt;
                GetCursorPos(&pt);
                return pt.x == c.path.back().x && pt.y == c.path.back().y;
            });
            send_button(false);
            EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
            // The screen shows the mark as the result will.
            EXPECT_TRUE(wait_until(
                [&] { return screen_pixel(c.on_mark[0].x, c.on_mark[0].y) == c.colour; }));
            key(VK_RETURN);
        });
        ASSERT_NE(result, nullptr);
        const Pixels px = pixels_of(result);
        ASSERT_EQ(px.width, 500);
        EXPECT_GT(marked_pixels(px, c.colour, c.bounds), 100);
        for (POINT p : c.on_mark)
            EXPECT_EQ(px.at(p.x - 100, p.y - 100), c.colour) << p.x << "," << p.y;
        for (POINT p : c.off_mark)
            EXPECT_EQ(px.at(p.x - 100, p.y - 100), pattern_pixel(p.x, p.y)) << p.x << "," << p.y;
        DeleteObject(result);
    }
}

TEST_F(MarkupHost, HighlighterBlendsMosaicAveragesAndTextIsTyped) {
    // Yellow highlighter over one box, a mosaic over another (its edges off the 8-pixel grid),
    // then typed text, ASCII and not: one capture.
    const RECT lit = {150, 150, 301, 201};
    const RECT mosaic = {203, 255, 331, 346};
    HBITMAP result = capture(OSTRINE_CAPTURE_MARKUP, [&](HWND dialog) {
        select_area(dialog, kSelection);
        pick(dialog, 'H', BUTTON_RECTANGLE + 5);
        key('2');
        stroke(dialog, {{150, 150}, {220, 180}, {300, 200}});
        pick(dialog, 'M', BUTTON_RECTANGLE + 6);
        stroke(dialog, {{203, 255}, {260, 300}, {330, 345}});
        pick(dialog, 'T', BUTTON_TEXT);
        key('3'); // green
        click({400, 400});
        HWND edit = NULL;
        ASSERT_TRUE(wait_until([&] {
            edit = FindWindowExA(dialog, NULL, "Edit", NULL);
            GUITHREADINFO gui = {};
            gui.cbSize = sizeof gui;
            return edit != NULL && GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &gui) &&
                   gui.hwndFocus == edit;
        }));
        // Characters as a keyboard or an input method delivers them: "Ab" and 中 (U+4E2D).
        for (wchar_t ch : std::wstring(L"Ab\u4e2d")) {
            INPUT in[2] = {};
            in[0].type = in[1].type = INPUT_KEYBOARD;
            in[0].ki.wScan = in[1].ki.wScan = static_cast<WORD>(ch);
            in[0].ki.dwFlags = KEYEVENTF_UNICODE;
            in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
            SendInput(2, in, sizeof in[0]);
        }
        EXPECT_TRUE(wait_until([&] { return GetWindowTextLengthW(edit) == 3; }));
        wchar_t typed[8] = {};
        GetWindowTextW(edit, typed, 8);
        EXPECT_EQ(std::wstring(typed), L"Ab\u4e2d");
        key(VK_RETURN); // commits the text; the capture stays open
        EXPECT_TRUE(wait_until([&] { return !IsWindow(edit); }));
        EXPECT_TRUE(IsWindow(dialog));
        key(VK_RETURN);
    });
    ASSERT_NE(result, nullptr);
    const Pixels px = pixels_of(result);
    ASSERT_EQ(px.width, 500);
    for (int y = lit.top; y < lit.bottom; ++y)
        for (int x = lit.left; x < lit.right; ++x)
            ASSERT_EQ(px.at(x - 100, y - 100), blend40(pattern_pixel(x, y), kYellow))
                << x << "," << y;
    EXPECT_EQ(px.at(149 - 100, 170 - 100), pattern_pixel(149, 170));
    // Every block on the screen's 8-pixel grid: uniform, the average of its frozen pixels inside
    // the mosaic's box.
    for (int by = mosaic.top / 8 * 8; by < mosaic.bottom; by += 8)
        for (int bx = mosaic.left / 8 * 8; bx < mosaic.right; bx += 8) {
            unsigned sum[3] = {0, 0, 0}, n = 0;
            for (int y = std::max(by, int(mosaic.top)); y < std::min(by + 8, int(mosaic.bottom));
                 ++y)
                for (int x = std::max(bx, int(mosaic.left));
                     x < std::min(bx + 8, int(mosaic.right)); ++x) {
                    for (int s = 0; s < 3; ++s)
                        sum[s] += (pattern_pixel(x, y) >> (8 * s)) & 0xFF;
                    ++n;
                }
            uint32_t average = 0;
            for (int s = 0; s < 3; ++s)
                average |= ((sum[s] + n / 2) / n) << (8 * s);
            for (int y = std::max(by, int(mosaic.top)); y < std::min(by + 8, int(mosaic.bottom));
                 ++y)
                for (int x = std::max(bx, int(mosaic.left));
                     x < std::min(bx + 8, int(mosaic.right)); ++x)
                    ASSERT_EQ(px.at(x - 100, y - 100), average) << "block " << bx << "," << by;
        }
    EXPECT_EQ(px.at(202 - 100, 300 - 100), pattern_pixel(202, 300));
    // The text: green letters in a box beside the click, nothing else changed there.
    int green = 0;
    for (int y = 400; y < 460; ++y)
        for (int x = 400; x < 500; ++x) {
            const uint32_t p = px.at(x - 100, y - 100);
            if (p == 0x28AA3C)
                ++green;
            else
                ASSERT_EQ(p, pattern_pixel(x, y)) << x << "," << y;
        }
    EXPECT_GT(green, 40);
    for (int x = 380; x < 400; ++x)
        EXPECT_EQ(px.at(x - 100, 410 - 100), pattern_pixel(x, 410));
    DeleteObject(result);
}

TEST_F(MarkupHost, UndoAndRedoInAnyOrderWithKeysAndButtons) {
    // Three boxes; each step then shows the boxes listed, on the screen, and the result shows
    // those of the last step.
    const POINT corners[3] = {{150, 150}, {250, 250}, {350, 350}};
    struct Step {
        const char* what;
        int action; // 0 Ctrl+Z, 1 Ctrl+Y, 2 Ctrl+Shift+Z, 3 undo button, 4 redo button
        bool shown[3];
    };
    const Step steps[] = {{"Ctrl+Z", 0, {true, true, false}},
                          {"Ctrl+Z", 0, {true, false, false}},
                          {"Ctrl+Y", 1, {true, true, false}},
                          {"undo button", 3, {true, false, false}},
                          {"Ctrl+Shift+Z", 2, {true, true, false}},
                          {"Ctrl+Z", 0, {true, false, false}},
                          {"Ctrl+Z", 0, {false, false, false}},
                          {"Ctrl+Z at the bare selection", 0, {false, false, false}},
                          {"redo button", 4, {true, false, false}}};
    HBITMAP result = capture(OSTRINE_CAPTURE_MARKUP, [&](HWND dialog) {
        select_area(dialog, kSelection);
        pick(dialog, 'R', BUTTON_RECTANGLE);
        for (POINT c : corners) {
            stroke(dialog, {c, {c.x + 40, c.y + 30}, {c.x + 60, c.y + 40}});
            EXPECT_TRUE(wait_until([&] { return screen_pixel(c.x, c.y + 20) == kRed; }));
        }
        for (const Step& s : steps) {
            SCOPED_TRACE(s.what);
            switch (s.action) {
            case 0:
                key('Z', VK_CONTROL);
                break;
            case 1:
                key('Y', VK_CONTROL);
                break;
            case 2:
                key('Z', VK_CONTROL, VK_SHIFT);
                break;
            default:
                click(button_centre(dialog, s.action == 3 ? BUTTON_UNDO : BUTTON_REDO));
                break;
            }
            EXPECT_TRUE(wait_until([&] {
                for (int i = 0; i < 3; ++i) {
                    const uint32_t p = screen_pixel(corners[i].x, corners[i].y + 20);
                    if ((p == kRed) != s.shown[i])
                        return false;
                }
                return true;
            }));
        }
        click(button_centre(dialog, BUTTON_ACCEPT));
    });
    ASSERT_NE(result, nullptr);
    const Pixels px = pixels_of(result);
    EXPECT_EQ(px.at(150 - 100, 170 - 100), kRed);
    EXPECT_EQ(px.at(250 - 100, 270 - 100), pattern_pixel(250, 270));
    EXPECT_EQ(px.at(350 - 100, 370 - 100), pattern_pixel(350, 370));
    // The clipboard holds the same picture.
    ASSERT_TRUE(OpenClipboard(NULL));
    HBITMAP copy = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    const Pixels clip = pixels_of(copy);
    CloseClipboard();
    EXPECT_EQ(clip.width, px.width);
    EXPECT_TRUE(clip.px == px.px) << "the clipboard differs from the result";
    DeleteObject(result);
}

TEST_F(MarkupHost, ToolbarSitsBesideTheSelectionNeverInTheResultWithTooltips) {
    struct Case {
        const char* what;
        Box selection;
        RECT expected; // where the 96-DPI toolbar goes on the 1024 x 768 display
    };
    const ToolbarLayout layout = toolbar_layout(96);
    const int w = layout.width, h = layout.height;
    const Case cases[] = {
        {"below, right-aligned", {300, 200, 900, 400}, {900 - w, 405, 900, 405 + h}},
        {"above, at the bottom edge", {300, 500, 900, 760}, {900 - w, 495 - h, 900, 495}},
        {"inside, the whole height", {300, 10, 900, 760}, {895 - w, 755 - h, 895, 755}},
        {"kept on the display at the left", {5, 100, 60, 200}, {0, 205, w, 205 + h}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RECT bar = {0, 0, 0, 0};
        std::string tip;
        HBITMAP result = capture(OSTRINE_CAPTURE_MARKUP, [&](HWND dialog) {
            EXPECT_EQ(toolbar_of(dialog) != NULL && IsWindowVisible(toolbar_of(dialog)), false);
            select_area(dialog, c.selection);
            bar = shown_toolbar(dialog);
            // Hovering a tool shows its tooltip.
            const POINT over = button_centre(dialog, BUTTON_RECTANGLE + 3);
            send_move(over.x, over.y);
            HWND tooltip = NULL;
            wait_until([&] {
                tooltip = FindWindowA(TOOLTIPS_CLASSA, NULL);
                return tooltip != NULL && IsWindowVisible(tooltip);
            });
            char text[80] = {};
            TOOLINFOA ti = {};
            ti.cbSize = TTTOOLINFOA_V2_SIZE;
            ti.lpszText = text;
            if (tooltip != NULL &&
                SendMessageA(tooltip, TTM_GETCURRENTTOOLA, 0, reinterpret_cast<LPARAM>(&ti)))
                tip = text;
            key(VK_RETURN);
        });
        EXPECT_EQ(bar.left, c.expected.left);
        EXPECT_EQ(bar.top, c.expected.top);
        EXPECT_EQ(bar.right, c.expected.right);
        EXPECT_EQ(bar.bottom, c.expected.bottom);
        EXPECT_EQ(tip, "Arrow (A)");
        // The toolbar lies over the selection in the "inside" case; the result is the screen.
        const Box& s = c.selection;
        EXPECT_EQ(pattern_mismatches(result, s), 0);
        if (result != NULL)
            DeleteObject(result);
    }
}

TEST_F(MarkupHost, CancelButtonEscAndRightButtonEndOrClear) {
    // 0: the cancel button; 1: Esc clears the selection with its marks, the next selection is
    // bare; 2: the right button likewise, then Esc cancels.
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        HBITMAP result = capture(OSTRINE_CAPTURE_MARKUP, [&](HWND dialog) {
            select_area(dialog, kSelection);
            pick(dialog, 'R', BUTTON_RECTANGLE);
            stroke(dialog, {{200, 200}, {300, 300}});
            if (way == 0) {
                click(button_centre(dialog, BUTTON_CANCEL));
                return;
            }
            if (way == 1) {
                escape();
            } else {
                INPUT in[2] = {};
                in[0].type = in[1].type = INPUT_MOUSE;
                in[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
                in[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
                SendInput(2, in, sizeof in[0]);
            }
            EXPECT_TRUE(wait_until([&] { return !IsWindowVisible(toolbar_of(dialog)); }));
            EXPECT_TRUE(wait_until([] {
                return screen_mismatches({150, 150, 350, 350}) == 0;
            })) << "the mark is gone with the selection";
            if (way == 2) {
                escape();
                return;
            }
            // The tool stays chosen; without a selection a press starts a new one.
            select_area(dialog, {150, 150, 400, 400});
            key(VK_RETURN);
        });
        if (way == 1) {
            EXPECT_EQ(pattern_mismatches(result, {150, 150, 400, 400}), 0);
            DeleteObject(result);
        } else {
            EXPECT_EQ(result, nullptr);
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_CANCELLED));
        }
    }
}

TEST_F(MarkupHost, DimmedOutsideTheSelectionAtHalfBeforeAndAfterMovingAndResizing) {
    HBITMAP result = capture(OSTRINE_CAPTURE_DIM, [&](HWND dialog) {
        EXPECT_TRUE(wait_until([] {
            return screen_pixel(500, 300) == halved(pattern_pixel(500, 300));
        })) << "the whole screen is dim before a selection";
        drag(dialog, {200, 200}, {{300, 300}, {400, 350}}, {200, 200, 400, 350});
        const auto shows = [](Box in) {
            // Inside bright, a ring outside dim; the outline's pixels left alone.
            for (int y = in.top - 20; y < in.bottom + 20; y += 3)
                for (int x = in.left - 20; x < in.right + 20; x += 3) {
                    const bool inside = x >= in.left + 3 && x < in.right - 3 && y >= in.top + 3 &&
                                        y < in.bottom - 3;
                    const bool outside = x < in.left - 3 || x >= in.right + 3 || y < in.top - 3 ||
                                         y >= in.bottom + 3;
                    const uint32_t p = screen_pixel(x, y);
                    if (inside && p != pattern_pixel(x, y))
                        return false;
                    if (outside && p != halved(pattern_pixel(x, y)))
                        return false;
                }
            return true;
        };
        EXPECT_TRUE(wait_until([&] { return shows({200, 200, 400, 350}); }));
        // Moved by 40, 30, then its right edge dragged out by 60.
        drag(dialog, {300, 280}, {{320, 300}, {340, 310}}, {240, 230, 440, 380});
        EXPECT_TRUE(wait_until([&] { return shows({240, 230, 440, 380}); }));
        drag(dialog, {440, 300}, {{470, 300}, {500, 300}}, {240, 230, 500, 380});
        EXPECT_TRUE(wait_until([&] { return shows({240, 230, 500, 380}); }));
        key(VK_RETURN);
    });
    EXPECT_EQ(pattern_mismatches(result, {240, 230, 500, 380}), 0) << "the result is not dim";
    if (result != NULL)
        DeleteObject(result);
}

TEST_F(MarkupHost, FiftyCapturesWithMarksLeakNothing) {
    ASSERT_TRUE(count_handles_of(dll));
    std::vector<HBITMAP> results;
    for (int i = 0; i < 50; ++i) {
        HBITMAP result = capture(OSTRINE_CAPTURE_MARKUP | OSTRINE_CAPTURE_DIM, [&](HWND dialog) {
            select_area(dialog, kSelection);
            pick(dialog, i % 2 ? 'M' : 'T', i % 2 ? BUTTON_RECTANGLE + 6 : BUTTON_TEXT);
            if (i % 2) {
                stroke(dialog, {{200, 200}, {260, 260}});
            } else {
                click({200, 200});
                wait_until([&] { return FindWindowExA(dialog, NULL, "Edit", NULL) != NULL; });
                key('X');
                key(VK_RETURN);
            }
            key('Z', VK_CONTROL);
            key(VK_RETURN);
        });
        ASSERT_NE(result, nullptr) << i;
        results.push_back(result);
    }
    // Nothing is left but the results, which are the host's.
    const HandleCounts& after = handle_counts();
    EXPECT_EQ(after.gdi_objects.size(), results.size());
    for (HBITMAP r : results) {
        EXPECT_EQ(after.gdi_objects.count(r), 1u);
        DeleteObject(r);
    }
    EXPECT_EQ(after.cursors.size(), 0u);
    EXPECT_EQ(after.dcs_held, 0);
    int windows_alive = 0;
    for (HWND w : after.windows)
        windows_alive += IsWindow(w) ? 1 : 0;
    EXPECT_EQ(windows_alive, 0);
}

// Real input anywhere on the virtual screen.
void send_virtual(DWORD flags, int x, int y) {
    const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((static_cast<long long>(x - vx) * 65536 + vw - 1) / vw);
    in.mi.dy = static_cast<LONG>((static_cast<long long>(y - vy) * 65536 + vh - 1) / vh);
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    SendInput(1, &in, sizeof in);
}

BOOL CALLBACK note_secondary_monitor(HMONITOR, HDC, LPRECT rc, LPARAM data) {
    if (rc->left != 0 || rc->top != 0)
        *reinterpret_cast<RECT*>(data) = *rc;
    return TRUE;
}

bool pointer_at(int x, int y) {
    POINT pt;
    return GetCursorPos(&pt) && pt.x == x && pt.y == y;
}

TEST_F(MarkupHost, OnTwoMonitorsTheToolbarStaysOnTheOneWithMostOfTheSelection) {
    if (GetSystemMetrics(SM_CMONITORS) < 2 && getenv("OSTRINE_LAYOUT") != nullptr)
        FAIL() << "the two-monitor server shows one monitor";
    if (GetSystemMetrics(SM_CMONITORS) < 2)
        GTEST_SKIP() << GetSystemMetrics(SM_CMONITORS)
                     << " monitor(s): the two-monitor server runs this";
    // The monitor that is not the primary one.
    RECT second = {0, 0, 0, 0};
    EnumDisplayMonitors(NULL, NULL, note_secondary_monitor, reinterpret_cast<LPARAM>(&second));
    ASSERT_NE(second.right, second.left);
    // A rubber band mostly on the second monitor, ending 10 pixels above its bottom edge (no
    // room below); then the whole second monitor with Shift+click (room neither below nor above).
    for (int way = 0; way < 2; ++way) {
        SCOPED_TRACE(way);
        RECT bar = {0, 0, 0, 0};
        const RECT band = {second.left + 40, second.bottom - 200, second.right - 40,
                           second.bottom - 10};
        HBITMAP result =
            capture(OSTRINE_CAPTURE_MARKUP | OSTRINE_CAPTURE_ALL_MONITORS, [&](HWND dialog) {
                if (way == 0) {
                    send_virtual(MOUSEEVENTF_MOVE, band.left, band.top);
                    wait_until([&] { return pointer_at(band.left, band.top); });
                    send_virtual(MOUSEEVENTF_LEFTDOWN, band.left, band.top);
                    wait_until([&] { return mouse_capture_of(dialog) == dialog; });
                    send_virtual(MOUSEEVENTF_MOVE, band.right, band.bottom);
                    wait_until([&] { return pointer_at(band.right, band.bottom); });
                    send_virtual(MOUSEEVENTF_LEFTUP, band.right, band.bottom);
                } else {
                    const int cx = (second.left + second.right) / 2;
                    const int cy = (second.top + second.bottom) / 2;
                    send_virtual(MOUSEEVENTF_MOVE, cx, cy);
                    wait_until([&] { return pointer_at(cx, cy); });
                    // A key is lost while no window is in front; Shift is held until the click
                    // has shown its effect.
                    wait_until([&] { return GetForegroundWindow() == dialog; });
                    Sleep(100);
                    send_key(VK_SHIFT, true);
                    Sleep(50);
                    send_virtual(MOUSEEVENTF_LEFTDOWN, cx, cy);
                    send_virtual(MOUSEEVENTF_LEFTUP, cx, cy);
                    bar = shown_toolbar(dialog);
                    Sleep(100);
                    send_key(VK_SHIFT, false);
                }
                bar = shown_toolbar(dialog);
                key(VK_RETURN);
            });
        ASSERT_NE(result, nullptr);
        DeleteObject(result);
        const ToolbarLayout layout = toolbar_layout(96);
        EXPECT_EQ(bar.right - bar.left, layout.width);
        EXPECT_TRUE(bar.left >= second.left && bar.right <= second.right && bar.top >= second.top &&
                    bar.bottom <= second.bottom)
            << "toolbar at " << bar.left << "," << bar.top << " off the second monitor";
        const RECT& s = way == 0 ? band : second;
        if (way == 0) {
            EXPECT_EQ(bar.right, s.right) << "right-aligned";
            EXPECT_EQ(bar.bottom, s.top - 5) << "above";
        } else {
            EXPECT_EQ(bar.right, s.right - 5) << "inside the bottom-right corner";
            EXPECT_EQ(bar.bottom, s.bottom - 5);
        }
        EXPECT_EQ(request.rcSelection.left, s.left);
        EXPECT_EQ(request.rcSelection.bottom, s.bottom);
    }
    // The pointer back on the primary monitor: the next program's desktop is read around it.
    send_virtual(MOUSEEVENTF_MOVE, 1000, 740);
    wait_until([] { return pointer_at(1000, 740); });
}

} // namespace
