// A host's view of a whole capture: Ostrine.dll loaded by path, a full-screen window with a known
// pixel pattern, GetCapBitmap on the main thread, and the user played from a second thread with
// real input events. What the user sees is read back from the screen.
#include "Ostrine.h"
#include "dll_test_support.h"
#include "gui_driver.h"
#include "handle_counter.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const uint32_t kFrame = 0x0A6482; // the outline's colour as 0x00RRGGBB
const uint32_t kBlack = 0x000000;

struct Box {
    int left, top, right, bottom;
};

class CaptureHost : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { host = show_pattern_window(); }

    void SetUp() override {
        dll = LoadLibraryA(built_dll_path().c_str());
        ASSERT_NE(dll, nullptr);
        get_cap_bitmap = export_as<OstrineGetCapBitmapFn>(GetProcAddress(dll, "GetCapBitmap"));
        ASSERT_NE(get_cap_bitmap, nullptr);
        // The frozen screen shows the pointer where it is: keep it away from what is checked.
        send_move(1000, 740);
    }

    void TearDown() override {
        if (dll != NULL)
            FreeLibrary(dll);
    }

    HBITMAP capture(const std::function<void(HWND)>& script) {
        // What is frozen must be the pattern, not what an earlier capture left on the screen.
        EXPECT_TRUE(wait_for_pattern_on_screen());
        return drive_capture(get_cap_bitmap, script);
    }

    // Press at `from`, move to each of `path`, release. Waits for the capture to be taken, the
    // frame of `shown` (the selection after the last move) to be drawn, and the capture released.
    static void drag(HWND dialog, POINT from, std::initializer_list<POINT> path, Box shown) {
        send_move(from.x, from.y);
        send_button(true);
        EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }))
            << "press at " << from.x << "," << from.y << " took no capture";
        for (POINT p : path)
            send_move(p.x, p.y);
        const POINT last = *(path.end() - 1);
        EXPECT_TRUE(move_until(last.x, last.y, [&] { return frame_drawn(shown); }))
            << "no frame at " << shown.left << "," << shown.top << "," << shown.right << ","
            << shown.bottom;
        send_button(false);
        EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
    }

    // The corner handles of the outline: 5 x 5 squares centred on the outline's corners.
    static bool frame_drawn(Box s) {
        return screen_pixel(s.left - 2, s.top - 2) == kFrame &&
               screen_pixel(s.right + 1, s.bottom + 1) == kFrame &&
               screen_pixel(s.right + 1, s.top - 2) == kFrame &&
               screen_pixel(s.left - 2, s.bottom + 1) == kFrame;
    }

    // Number of pixels of `area` on the screen that differ from the pattern.
    static int screen_mismatches(Box area) {
        const std::vector<uint32_t> px =
            read_screen(RECT{area.left, area.top, area.right, area.bottom});
        int bad = 0;
        const int w = area.right - area.left;
        for (size_t i = 0; i < px.size(); ++i)
            bad += px[i] != pattern_pixel(area.left + static_cast<int>(i) % w,
                                          area.top + static_cast<int>(i) / w);
        return bad;
    }

    // The bitmap holds exactly the pattern of `where`.
    static void expect_pattern(HBITMAP bitmap, Box where) {
        ASSERT_NE(bitmap, nullptr);
        int w = 0, h = 0;
        const std::vector<uint32_t> px = bitmap_pixels(bitmap, &w, &h);
        ASSERT_EQ(w, where.right - where.left);
        ASSERT_EQ(h, where.bottom - where.top);
        int bad = 0, first = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (px[static_cast<size_t>(y) * w + x] !=
                    pattern_pixel(where.left + x, where.top + y)) {
                    if (bad++ == 0)
                        first = y * w + x;
                }
        if (bad != 0) {
            const std::string name =
                ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                std::string(".bmp");
            save_bmp(name.c_str(), px, w, h);
        }
        EXPECT_EQ(bad, 0) << "first wrong pixel at " << first % (w ? w : 1) << ","
                          << first / (w ? w : 1);
    }

    static void accept_at(HWND dialog, int x, int y) {
        send_double_click(x, y);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    }

    static void escape() {
        send_key(VK_ESCAPE, true);
        send_key(VK_ESCAPE, false);
    }

    static HWND host;
    HMODULE dll = NULL;
    OstrineGetCapBitmapFn get_cap_bitmap = nullptr;
};

HWND CaptureHost::host = NULL;

TEST_F(CaptureHost, DialogCoversTheScreenAsTopmostOverTheFrozenScreen) {
    HBITMAP result = capture([&](HWND dialog) {
        RECT rc;
        GetWindowRect(dialog, &rc);
        EXPECT_EQ(rc.left, 0);
        EXPECT_EQ(rc.top, 0);
        EXPECT_EQ(rc.right, screen_width());
        EXPECT_EQ(rc.bottom, screen_height());
        EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
        // The host's windows stay enabled: the dialog is owned by a hidden window of its own.
        HWND owner = GetWindow(dialog, GW_OWNER);
        EXPECT_NE(owner, nullptr);
        EXPECT_NE(owner, host);
        EXPECT_FALSE(IsWindowVisible(owner));
        EXPECT_TRUE(IsWindowEnabled(host));
        // The frozen screen is the background, with the pointer drawn in where it was.
        // (Clear of the display's edges and of the pointer's corner, where the outline of the
        // window under the pointer and the magnifier may already show.)
        EXPECT_EQ(screen_mismatches(Box{2, 2, 860, 560}), 0);
        EXPECT_GT(screen_mismatches(Box{1000, 740, 1010, 750}), 0);
        escape();
    });
    EXPECT_EQ(result, nullptr);
}

TEST_F(CaptureHost, RubberBandInEitherDirectionGivesThePatternOfTheSelection) {
    HBITMAP forward = capture([&](HWND dialog) {
        drag(dialog, {100, 120}, {{300, 250}}, {100, 120, 300, 250});
        accept_at(dialog, 200, 180);
    });
    expect_pattern(forward, {100, 120, 300, 250});

    HBITMAP backward = capture([&](HWND dialog) {
        drag(dialog, {420, 330}, {{500, 400}, {260, 290}}, {260, 290, 420, 330});
        accept_at(dialog, 300, 300);
    });
    expect_pattern(backward, {260, 290, 420, 330});
}

TEST_F(CaptureHost, CornerAndEdgeDragsResizeAlsoAcrossTheOppositeEdge) {
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        // Bottom-right handle: the top-left corner stays.
        drag(dialog, {299, 249}, {{400, 350}}, {100, 100, 400, 350});
        // Top edge dragged below the bottom edge: the old bottom edge becomes the top.
        drag(dialog, {250, 100}, {{250, 400}}, {100, 350, 400, 400});
        // Left edge, outwards.
        drag(dialog, {100, 375}, {{50, 375}}, {50, 350, 400, 400});
        // Top-left handle dragged past the bottom-right corner.
        drag(dialog, {50, 350}, {{500, 450}}, {400, 400, 500, 450});
        accept_at(dialog, 450, 420);
    });
    expect_pattern(result, {400, 400, 500, 450});
}

TEST_F(CaptureHost, MovingShiftsTheSelectionAndLeavesNothingBehind) {
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        drag(dialog, {200, 175}, {{230, 190}, {250, 145}}, {150, 70, 350, 220});
        // The old outline is gone; the new one and no info box are on screen.
        EXPECT_EQ(screen_mismatches(Box{95, 95, 146, 260}), 0);
        EXPECT_EQ(screen_mismatches(Box{95, 225, 360, 260}), 0);
        EXPECT_TRUE(frame_drawn({150, 70, 350, 220}));
        accept_at(dialog, 250, 150);
    });
    expect_pattern(result, {150, 70, 350, 220});
}

TEST_F(CaptureHost, OverlayWhileDraggingAndNothingLeftAfterTheRelease) {
    HBITMAP result = capture([&](HWND dialog) {
        send_move(100, 100);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        ASSERT_TRUE(move_until(500, 400, [&] { return frame_drawn({100, 100, 500, 400}); }));
        ASSERT_TRUE(move_until(300, 250, [&] { return frame_drawn({100, 100, 300, 250}); }));

        // Outline on columns 100 and 299, rows 100 and 249, one pixel wide.
        for (int y : {110, 150, 240}) {
            EXPECT_EQ(screen_pixel(100, y), kFrame) << y;
            EXPECT_EQ(screen_pixel(299, y), kFrame) << y;
            EXPECT_NE(screen_pixel(101, y), kFrame) << y;
            EXPECT_NE(screen_pixel(298, y), kFrame) << y;
        }
        EXPECT_EQ(screen_pixel(150, 100), kFrame);
        EXPECT_EQ(screen_pixel(150, 249), kFrame);
        // Eight 5 x 5 handles; the midpoints at (200, 175).
        const POINT handle_centres[] = {{100, 100}, {299, 100}, {299, 249}, {100, 249},
                                        {200, 100}, {299, 175}, {200, 249}, {100, 175}};
        for (POINT c : handle_centres) {
            const std::vector<uint32_t> px = read_screen(RECT{c.x - 2, c.y - 2, c.x + 3, c.y + 3});
            for (uint32_t p : px)
                EXPECT_EQ(p, kFrame) << "handle at " << c.x << "," << c.y;
        }
        // The info box: right of and above the pointer (3 pixels away), framed in black, with
        // text; its size follows the text. The magnifier: right of and below the pointer.
        const RECT box = find_framed_box(303, 246, 1, -1, kBlack);
        const Box info{box.left, box.top, box.right, box.bottom};
        EXPECT_GT(info.right - info.left, 60) << "the box is sized to its text";
        EXPECT_EQ(screen_pixel(info.left, info.top), kBlack);
        EXPECT_EQ(screen_pixel(info.right - 1, info.top), kBlack);
        EXPECT_EQ(screen_pixel(info.left, info.bottom - 1), kBlack);
        EXPECT_EQ(screen_pixel(info.right - 1, info.bottom - 1), kBlack);
        EXPECT_NE(screen_pixel(info.left - 1, info.top), kBlack);
        EXPECT_NE(screen_pixel(info.right, info.bottom - 1), kBlack);
        EXPECT_GT(
            screen_mismatches(Box{info.left + 1, info.top + 2, info.right - 1, info.top + 40}), 0)
            << "no text in the info box";
        const RECT lrc = find_framed_box(303, 253, 1, 1, kBlack);
        const Box loupe{lrc.left, lrc.top, lrc.right, lrc.bottom};
        EXPECT_GT(loupe.right - loupe.left, 100) << "no magnifier";
        // The first, larger rectangle and its box are gone without a trace.
        EXPECT_EQ(screen_mismatches(Box{302, 95, 505, 460}) - screen_mismatches(info) -
                      screen_mismatches(loupe),
                  0);
        EXPECT_EQ(screen_mismatches(Box{95, 252, 505, 460}) - screen_mismatches(loupe), 0);

        send_button(false);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        // The box and the magnifier go with the release; the outline stays.
        EXPECT_TRUE(wait_until([&] { return screen_mismatches(info) == 0; }));
        EXPECT_EQ(screen_mismatches(loupe), 0);
        EXPECT_TRUE(frame_drawn({100, 100, 300, 250}));
        // A whole repaint (another window shown above and removed) brings back the frozen
        // screen and the outline, but not the info box of the drag in progress.
        send_move(299, 249);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        ASSERT_TRUE(move_until(320, 260, [&] {
            return frame_drawn({100, 100, 320, 260}) && screen_pixel(323, 256) == kBlack;
        }));
        const RECT moved = find_framed_box(323, 256, 1, -1, kBlack);
        const Box moved_info{moved.left, moved.top, moved.right, moved.bottom};
        RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_TRUE(wait_until([&] { return screen_mismatches(moved_info) == 0; }));
        EXPECT_TRUE(frame_drawn({100, 100, 320, 260}));
        send_button(false);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        accept_at(dialog, 200, 175);
    });
    expect_pattern(result, {100, 100, 320, 260});
}

TEST_F(CaptureHost, HoverCursorsFollowTheZones) {
    HBITMAP result = capture([&](HWND dialog) {
        HCURSOR capture_cursor = class_cursor(dialog);
        ASSERT_NE(capture_cursor, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(capture_cursor, &info));
        EXPECT_FALSE(info.fIcon);
        EXPECT_EQ(info.xHotspot, 10u);
        EXPECT_EQ(info.yHotspot, 5u);
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);

        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        struct {
            POINT at;
            LPCSTR id;
        } const zones[] = {
            {{200, 175}, IDC_SIZEALL},  {{99, 99}, IDC_SIZENWSE},   {{300, 250}, IDC_SIZENWSE},
            {{299, 100}, IDC_SIZENESW}, {{100, 249}, IDC_SIZENESW}, {{200, 101}, IDC_SIZENS},
            {{200, 251}, IDC_SIZENS},   {{98, 175}, IDC_SIZEWE},    {{301, 175}, IDC_SIZEWE},
            {{600, 500}, nullptr},      {{200, 175}, IDC_SIZEALL},  {{95, 175}, nullptr},
        };
        for (const auto& z : zones) {
            HCURSOR want = z.id != nullptr ? LoadCursorA(NULL, z.id) : capture_cursor;
            EXPECT_TRUE(move_until(z.at.x, z.at.y, [&] { return class_cursor(dialog) == want; }))
                << "at " << z.at.x << "," << z.at.y;
        }
        accept_at(dialog, 200, 175);
    });
    expect_pattern(result, {100, 100, 300, 250});
}

TEST_F(CaptureHost, EscClearsTheSelectionThenCancelsWithTheClipboardUnchanged) {
    ASSERT_TRUE(OpenClipboard(NULL));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 7);
    memcpy(GlobalLock(text), "marker", 7);
    GlobalUnlock(text);
    SetClipboardData(CF_TEXT, text);
    CloseClipboard();
    const DWORD sequence = GetClipboardSequenceNumber();

    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        // A held key repeats its key-down: only the first one counts.
        send_key(VK_ESCAPE, true);
        send_key(VK_ESCAPE, true);
        send_key(VK_ESCAPE, false);
        EXPECT_TRUE(wait_until([&] { return screen_mismatches(Box{95, 95, 305, 255}) == 0; }));
        EXPECT_TRUE(IsWindow(dialog)) << "the first Esc must only clear the selection";
        escape();
    });
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    ASSERT_TRUE(OpenClipboard(NULL));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));
    const char* held = static_cast<const char*>(GetClipboardData(CF_TEXT));
    EXPECT_STREQ(held, "marker");
    CloseClipboard();
}

TEST_F(CaptureHost, AcceptedImageIsOnTheClipboardAsItsOwnCopy) {
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {40, 30}, {{140, 90}}, {40, 30, 140, 90});
        accept_at(dialog, 80, 60);
    });
    expect_pattern(result, {40, 30, 140, 90});
    ASSERT_TRUE(OpenClipboard(NULL));
    HBITMAP held = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    CloseClipboard();
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held, result);
    expect_pattern(held, {40, 30, 140, 90});

    // The clipboard's image outlives the result, which the next call deletes.
    HBITMAP second = capture([&](HWND) {
        EXPECT_EQ(GetObjectType(result), 0u) << "the previous result must be gone";
        escape();
    });
    EXPECT_EQ(second, nullptr);
    ASSERT_TRUE(OpenClipboard(NULL));
    expect_pattern(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP)), {40, 30, 140, 90});
    CloseClipboard();
}

TEST_F(CaptureHost, TwoCapturesInARowTheFirstResultGoesWhenTheSecondStarts) {
    HBITMAP first = capture([&](HWND dialog) {
        drag(dialog, {10, 10}, {{60, 50}}, {10, 10, 60, 50});
        accept_at(dialog, 30, 30);
    });
    expect_pattern(first, {10, 10, 60, 50});
    HBITMAP second = capture([&](HWND dialog) {
        EXPECT_EQ(GetObjectType(first), 0u);
        drag(dialog, {600, 500}, {{700, 520}}, {600, 500, 700, 520});
        accept_at(dialog, 650, 510);
    });
    expect_pattern(second, {600, 500, 700, 520});
}

TEST_F(CaptureHost, ADragThatDrewNothingLeavesRoomForANewSelection) {
    HBITMAP result = capture([&](HWND dialog) {
        // Press and release without a move: that selects the window under the pointer (the
        // host's, as large as the display), which Esc clears again.
        send_move(400, 400);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        send_button(false);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        EXPECT_TRUE(wait_until([&] { return screen_pixel(0, 300) == kFrame; }));
        escape();
        ASSERT_TRUE(wait_until([&] { return screen_pixel(0, 300) == pattern_pixel(0, 300); }));
        // Esc while the button is still held.
        send_move(500, 500);
        send_button(true);
        ASSERT_TRUE(move_until(600, 600, [&] { return frame_drawn({500, 500, 600, 600}); }));
        escape();
        ASSERT_TRUE(wait_until([&] { return screen_mismatches(Box{495, 495, 605, 605}) == 0; }));
        send_button(false);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        ASSERT_TRUE(IsWindow(dialog));

        drag(dialog, {100, 100}, {{200, 160}}, {100, 100, 200, 160});
        accept_at(dialog, 150, 130);
    });
    expect_pattern(result, {100, 100, 200, 160});
}

BOOL CALLBACK collect_visible(HWND hwnd, LPARAM list) {
    if (IsWindowVisible(hwnd))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

TEST_F(CaptureHost, DoubleClickOnAnEmptySelectionReturnsNull) {
    // With a window under the pointer the first click would select it: no window here.
    std::vector<HWND> shown;
    EnumThreadWindows(GetCurrentThreadId(), collect_visible, reinterpret_cast<LPARAM>(&shown));
    for (HWND hwnd : shown)
        ShowWindow(hwnd, SW_HIDE);
    const DWORD sequence = GetClipboardSequenceNumber();
    HBITMAP result =
        drive_capture(get_cap_bitmap, [&](HWND dialog) { accept_at(dialog, 300, 300); });
    for (HWND hwnd : shown)
        ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(host);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

TEST_F(CaptureHost, PositionsLeftOfAndAboveTheDisplayAreNegative) {
    HBITMAP result = capture([&](HWND dialog) {
        send_move(200, 150);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        // A captured pointer on a display left of and above the primary one.
        SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-20, -10));
        send_button(false);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        accept_at(dialog, 100, 100);
    });
    // The selection {-20, -10, 200, 150} reaches beyond the display: only the part on it, the
    // pattern of {0, 0, 200, 150}, is handed back (not 220 x 160 with black beyond the edge).
    expect_pattern(result, {0, 0, 200, 150});
}

TEST_F(CaptureHost, CloseCommandCancelsAndRestoresTheArrow) {
    HWND owner = NULL;
    HCURSOR capture_cursor = NULL;
    HBITMAP result = capture([&](HWND dialog) {
        owner = GetWindow(dialog, GW_OWNER);
        capture_cursor = class_cursor(dialog);
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(result, nullptr);
    EXPECT_FALSE(IsWindow(owner));
    ICONINFO info;
    EXPECT_FALSE(GetIconInfo(capture_cursor, &info)) << "the capture cursor must be destroyed";
    WNDCLASSEXA dialog_class = {};
    dialog_class.cbSize = sizeof dialog_class;
    ASSERT_TRUE(GetClassInfoExA(NULL, "#32770", &dialog_class));
    EXPECT_EQ(dialog_class.hCursor, LoadCursorA(NULL, IDC_ARROW));
}

TEST_F(CaptureHost, EveryEndingRestoresTheArrowAndLeavesNoWindowOrCursor) {
    for (int ending = 0; ending < 2; ++ending) {
        HWND owner = NULL;
        HCURSOR capture_cursor = NULL;
        HBITMAP result = capture([&](HWND dialog) {
            owner = GetWindow(dialog, GW_OWNER);
            capture_cursor = class_cursor(dialog);
            drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
            // The class cursor is now a zone cursor.
            EXPECT_TRUE(move_until(
                200, 200, [&] { return class_cursor(dialog) == LoadCursorA(NULL, IDC_SIZEALL); }));
            if (ending == 0) {
                accept_at(dialog, 200, 200);
            } else {
                escape();
                escape();
            }
        });
        EXPECT_EQ(result != nullptr, ending == 0);
        EXPECT_FALSE(IsWindow(owner)) << "ending " << ending;
        ICONINFO info;
        EXPECT_FALSE(GetIconInfo(capture_cursor, &info)) << "ending " << ending;
        WNDCLASSEXA dialog_class = {};
        dialog_class.cbSize = sizeof dialog_class;
        ASSERT_TRUE(GetClassInfoExA(NULL, "#32770", &dialog_class));
        EXPECT_EQ(dialog_class.hCursor, LoadCursorA(NULL, IDC_ARROW)) << "ending " << ending;
    }
}

TEST_F(CaptureHost, StartCaptureAndUnloadingFreesTheLastResult) {
    auto start = export_as<OstrineStartCaptureFn>(GetProcAddress(dll, "StartCapture"));
    EXPECT_EQ(start(), 1);
    HBITMAP result = capture([&](HWND dialog) {
        EXPECT_EQ(start(), 1) << "StartCapture during a capture changes nothing";
        drag(dialog, {100, 100}, {{150, 150}}, {100, 100, 150, 150});
        accept_at(dialog, 120, 120);
    });
    expect_pattern(result, {100, 100, 150, 150});
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(GetObjectType(result), static_cast<DWORD>(OBJ_BITMAP));
    ASSERT_TRUE(FreeLibrary(dll));
    dll = NULL;
    EXPECT_EQ(GetObjectType(result), 0u);
}

} // namespace

namespace {

// The pointer moves of this capture go through every state that a trace line can show; the
// lines themselves are read from the debug output by check_trace_lines.py.
TEST_F(CaptureHost, TraceLinesScenario) {
    HBITMAP result = capture([&](HWND dialog) {
        send_move(600, 600);
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        EXPECT_TRUE(move_until(
            500, 500, [&] { return class_cursor(dialog) != LoadCursorA(NULL, IDC_SIZEALL); }));
        drag(dialog, {200, 175}, {{220, 190}}, {120, 115, 320, 265});
        send_move(600, 600);
        escape();
        EXPECT_TRUE(wait_until([&] { return screen_mismatches(Box{115, 110, 325, 270}) == 0; }));
        send_move(650, 650);
        escape();
    });
    EXPECT_EQ(result, nullptr);
}

} // namespace

namespace {

TEST_F(CaptureHost, FiftyCapturesInARowLeakNoObject) {
    ASSERT_TRUE(count_handles_of(dll));
    const HandleCounts& counts = handle_counts();
    HBITMAP result = NULL;
    DWORD gdi_before = 0, user_before = 0;
    for (int i = 0; i < 50; ++i) {
        if (i == 1) {
            // Zero where the system does not report them (Wine); the redirected calls count.
            gdi_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
            user_before = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
        }
        // Each way of ending in turn: accept, Esc, Esc during a drag, the close command.
        const int ending = i % 4;
        result = capture([&](HWND dialog) {
            send_move(100 + i, 100);
            send_button(true);
            EXPECT_TRUE(move_until(200 + i, 150, [&] {
                return frame_drawn({100 + i, 100, 200 + i, 150});
            }));
            if (ending == 2) {
                escape();
                send_button(false);
                escape();
                return;
            }
            send_button(false);
            if (ending == 0)
                accept_at(dialog, 150 + i, 120);
            else if (ending == 1)
                escape(), escape();
            else
                PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(result != NULL, ending == 0) << "capture " << i;
    }
    // The last capture (49) ended with Esc: nothing of the library is alive but the clipboard's
    // copies, one per acceptance.
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(counts.gdi_objects.size(), 0u);
    for (HGDIOBJ h : counts.gdi_objects)
        ADD_FAILURE() << "GDI object of type " << GetObjectType(h) << " left";
    EXPECT_GT(counts.gdi_created, 50 * 5);
    EXPECT_EQ(counts.gdi_created, counts.gdi_deleted + 50 / 4 + 1) << "one copy per acceptance";
    EXPECT_EQ(counts.cursors.size(), 0u);
    EXPECT_EQ(counts.dcs_held, 0);
    EXPECT_EQ(counts.windows.size(), 50u);
    for (HWND w : counts.windows)
        EXPECT_FALSE(IsWindow(w));
    if (gdi_before != 0) {
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi_before);
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user_before);
    }
}

} // namespace

namespace {

// Where the dialog's WM_CAPTURE_ESC arrives: inside its WM_INITDIALOG or later.
bool in_init_dialog = false;
int esc_during_init = 0, esc_after_init = 0;

LRESULT CALLBACK note_sent(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_INITDIALOG)
        in_init_dialog = true;
    if (code == HC_ACTION && m->message == WM_USER + 1000)
        ++(in_init_dialog ? esc_during_init : esc_after_init);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

LRESULT CALLBACK note_returned(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_INITDIALOG)
        in_init_dialog = false;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

TEST_F(CaptureHost, EscQueuedBeforeTheCallCancelsWhileTheDialogIsSetUp) {
    SetForegroundWindow(host);
    ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == host; }));
    HHOOK sent = SetWindowsHookExA(WH_CALLWNDPROC, note_sent, NULL, GetCurrentThreadId());
    HHOOK returned_hook =
        SetWindowsHookExA(WH_CALLWNDPROCRET, note_returned, NULL, GetCurrentThreadId());
    send_key(VK_ESCAPE, true);
    send_key(VK_ESCAPE, false);
    // If the queued Esc were lost the call would not return: close the dialog then.
    volatile bool returned = false;
    bool closed_by_watchdog = false;
    std::thread watchdog([&] {
        if (wait_until([&] { return returned; }, 3000))
            return;
        HWND dialog = FindWindowA("#32770", NULL);
        closed_by_watchdog = dialog != NULL;
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    HBITMAP result = get_cap_bitmap();
    returned = true;
    watchdog.join();
    UnhookWindowsHookEx(sent);
    UnhookWindowsHookEx(returned_hook);
    EXPECT_EQ(result, nullptr);
    EXPECT_FALSE(closed_by_watchdog);
    // The set-up handles what is queued before it freezes the screen.
    EXPECT_EQ(esc_during_init, 1);
    EXPECT_EQ(esc_after_init, 0);
}

} // namespace
