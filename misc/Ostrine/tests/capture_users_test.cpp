// What users of capture tools expect, played with real input on the host's pattern window: a
// readable info box, the keyboard, the right button, the magnifier and the windows under the
// pointer.
#include "Ostrine.h"
#include "dll_test_support.h"
#include "gui_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const uint32_t kFrame = 0x0A6482;
const uint32_t kBlack = 0x000000;

double luminance(uint32_t rgb) {
    double sum = 0;
    const double weights[3] = {0.0722, 0.7152, 0.2126}; // blue, green, red
    for (int i = 0; i < 3; ++i) {
        const double c = ((rgb >> (8 * i)) & 0xFF) / 255.0;
        sum += weights[i] * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return sum;
}

double contrast(uint32_t a, uint32_t b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A top-level window filled with one colour, optionally with a child of another colour.
LRESULT CALLBACK solid_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush =
            CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)));
        FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
        DeleteObject(brush);
        return 1;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND solid_window(RECT rc, COLORREF colour, HWND parent) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = solid_proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));
        wc.lpszClassName = "OstrineSolid";
        registered = RegisterClassA(&wc) != 0;
    }
    HWND hwnd = CreateWindowExA(0, "OstrineSolid", "", (parent ? WS_CHILD : WS_POPUP), rc.left,
                                rc.top, rc.right - rc.left, rc.bottom - rc.top, parent, NULL,
                                GetModuleHandleA(NULL), NULL);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(colour));
    ShowWindow(hwnd, SW_SHOWNA);
    UpdateWindow(hwnd);
    return hwnd;
}

void pump() {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

class CaptureUser : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (host == NULL)
            host = show_pattern_window();
    }

    void SetUp() override {
        dll = LoadLibraryA(built_dll_path().c_str());
        ASSERT_NE(dll, nullptr);
        get_cap_bitmap = export_as<OstrineGetCapBitmapFn>(GetProcAddress(dll, "GetCapBitmap"));
        ASSERT_NE(get_cap_bitmap, nullptr);
        SetForegroundWindow(host);
        send_move(1000, 740);
    }

    void TearDown() override {
        if (dll != NULL)
            FreeLibrary(dll);
    }

    HBITMAP capture(const std::function<void(HWND)>& script) {
        EXPECT_TRUE(wait_for_pattern_on_screen());
        return drive_capture(get_cap_bitmap, script);
    }

    static bool frame_drawn(RECT s) {
        return screen_pixel(s.left - 2, s.top - 2) == kFrame &&
               screen_pixel(s.right + 1, s.bottom + 1) == kFrame &&
               screen_pixel(s.right + 1, s.top - 2) == kFrame &&
               screen_pixel(s.left - 2, s.bottom + 1) == kFrame;
    }

    static int screen_mismatches(RECT area) {
        const std::vector<uint32_t> px = read_screen(area);
        int bad = 0;
        const int w = area.right - area.left;
        for (size_t i = 0; i < px.size(); ++i)
            bad += px[i] != pattern_pixel(area.left + static_cast<int>(i) % w,
                                          area.top + static_cast<int>(i) / w);
        return bad;
    }

    static void expect_pattern(HBITMAP bitmap, RECT where) {
        ASSERT_NE(bitmap, nullptr);
        int w = 0, h = 0;
        const std::vector<uint32_t> px = bitmap_pixels(bitmap, &w, &h);
        ASSERT_EQ(w, where.right - where.left);
        ASSERT_EQ(h, where.bottom - where.top);
        int bad = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bad += px[static_cast<size_t>(y) * w + x] !=
                       pattern_pixel(where.left + x, where.top + y);
        EXPECT_EQ(bad, 0);
    }

    // Press at `from`, move to `to`, leave the button down.
    static void start_drag(HWND dialog, POINT from, POINT to) {
        send_move(from.x, from.y);
        send_button(true);
        EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        const RECT s{std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x),
                     std::max(from.y, to.y)};
        EXPECT_TRUE(move_until(to.x, to.y, [&] { return frame_drawn(s); }));
    }

    static void finish_drag(HWND dialog) {
        // Released where the pointer is now (arrow keys may have moved it).
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &in, sizeof in);
        EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
    }

    static void drag(HWND dialog, POINT from, POINT to) {
        start_drag(dialog, from, to);
        finish_drag(dialog);
    }

    static void key(WORD vk, WORD modifier = 0) {
        if (modifier != 0) {
            send_key(modifier, true);
            Sleep(50); // a modifier in the same batch is not always seen as held
        }
        send_key(vk, true);
        send_key(vk, false);
        if (modifier != 0) {
            send_key(modifier, false);
            Sleep(50); // nor is its release always seen before the next key
        }
    }

    static void right_click() {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_MOUSE;
        in[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
        in[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
        SendInput(2, in, sizeof in[0]);
    }

    static HWND host;
    HMODULE dll = NULL;
    OstrineGetCapBitmapFn get_cap_bitmap = nullptr;
};

HWND CaptureUser::host = NULL;

// The info box over a dark screen and near the display's edges: an opaque light box as large as
// its text measured in the dialog's font, dark text on it at 4.5:1 or better.
TEST_F(CaptureUser, InfoBoxIsSizedToItsTextOpaqueAndReadable) {
    // A dark window over the pattern: the box's text must read on it.
    HWND dark = solid_window(RECT{0, 0, 600, 500}, RGB(0x20, 0x24, 0x28), NULL);
    SetForegroundWindow(dark);
    ASSERT_TRUE(wait_until([] {
        pump();
        return screen_pixel(300, 300) == 0x202428;
    }));
    HBITMAP result = drive_capture(get_cap_bitmap, [&](HWND dialog) {
        start_drag(dialog, {100, 100}, {300, 250});
        // Right of and above the pointer, 3 pixels away.
        const RECT box = find_framed_box(303, 246, 1, -1, kBlack);
        ASSERT_GT(box.right - box.left, 2);

        // What the text needs in the dialog's font.
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
        HDC dc = GetDC(NULL);
        HGDIOBJ old = SelectObject(dc, font);
        RECT need = {0, 0, 0, 0};
        DrawTextW(dc,
                  L"\u9876\u70b9\u4f4d\u7f6e (100,100)\n\u77e9\u5f62\u5927\u5c0f (200,150)\n"
                  L"\u5149\u6807\u5750\u6807 (300,250)",
                  -1, &need, DT_CALCRECT | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(NULL, dc);
        EXPECT_GE(box.right - box.left, need.right + 2) << "text cut off horizontally";
        EXPECT_GE(box.bottom - box.top, need.bottom + 2) << "text cut off vertically";
        EXPECT_LE(box.right - box.left, need.right + 20);

        // Opaque: the inside is one background colour wherever there is no text, and the text
        // reads on it.
        const RECT inside{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
        const std::vector<uint32_t> px = read_screen(inside);
        const uint32_t background = px[0];
        EXPECT_EQ(px[static_cast<size_t>(inside.right - inside.left - 1)], background);
        EXPECT_EQ(px.back(), background);
        double best = 0;
        for (uint32_t p : px)
            best = std::max(best, contrast(p, background));
        EXPECT_GE(best, 4.5) << "text against its background";
        EXPECT_GE(contrast(background, 0x202428), 4.5) << "box against the dark screen";

        // Near the right and top edges the box moves to the left of and below the pointer.
        const int x = screen_width() - 20;
        ASSERT_TRUE(move_until(x, 30, [&] { return screen_pixel(x - 4, 33) == kBlack; }));
        const RECT flipped = find_framed_box(x - 4, 33, -1, 1, kBlack);
        EXPECT_EQ(flipped.right, x - 3);
        EXPECT_EQ(flipped.top, 33);
        EXPECT_GE(flipped.right - flipped.left, need.right + 2);
        finish_drag(dialog);
        send_key(VK_ESCAPE, true);
        send_key(VK_ESCAPE, false);
        send_key(VK_ESCAPE, true);
        send_key(VK_ESCAPE, false);
    });
    EXPECT_EQ(result, nullptr);
    DestroyWindow(dark);
}

// Arrows move the pointer by one pixel (Ctrl: ten) during a rubber band, so it ends exactly where
// the keys took it; Enter accepts.
TEST_F(CaptureUser, ArrowsMoveThePointerDuringADragAndEnterAccepts) {
    HBITMAP result = capture([&](HWND dialog) {
        start_drag(dialog, {100, 100}, {200, 150});
        for (int i = 0; i < 3; ++i)
            key(VK_RIGHT);
        key(VK_DOWN, VK_CONTROL);
        key(VK_LEFT, VK_CONTROL);
        key(VK_UP);
        EXPECT_TRUE(wait_until([] {
            POINT pt;
            GetCursorPos(&pt);
            return pt.x == 193 && pt.y == 159;
        }));
        EXPECT_TRUE(wait_until([&] { return frame_drawn({100, 100, 193, 159}); }));
        finish_drag(dialog);
        key(VK_RETURN);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    });
    expect_pattern(result, {100, 100, 193, 159});
}

// With a finished selection arrows move it and Shift+arrows move its right or bottom edge; the
// old outline goes, the cursor follows; Enter without a selection does nothing.
TEST_F(CaptureUser, ArrowsMoveAndShiftArrowsResizeAFinishedSelection) {
    HBITMAP result = capture([&](HWND dialog) {
        send_move(400, 400);
        key(VK_RETURN);
        Sleep(100);
        ASSERT_TRUE(IsWindow(dialog)) << "Enter with no selection must not end the capture";
        drag(dialog, {100, 100}, {300, 250});
        send_move(200, 175);
        key(VK_RIGHT, VK_CONTROL);
        key(VK_DOWN);
        key(VK_RIGHT, VK_SHIFT);
        key(VK_RIGHT, VK_SHIFT);
        key(VK_UP, VK_SHIFT);
        EXPECT_TRUE(wait_until([&] { return frame_drawn({110, 101, 312, 250}); }));
        // The old outline's left side is gone.
        EXPECT_EQ(screen_mismatches(RECT{95, 95, 107, 260}), 0);
        EXPECT_EQ(class_cursor(dialog), LoadCursorA(NULL, IDC_SIZEALL));
        key(VK_RETURN);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    });
    expect_pattern(result, {110, 101, 312, 250});
}

// While a window of another thread is in front (the capture's thread then sees no keys), arrows,
// Ctrl, Shift and Enter still reach the capture.
TEST_F(CaptureUser, KeysReachTheCaptureWhenAnotherWindowIsInFront) {
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {300, 250});
        HWND other = solid_window(RECT{600, 500, 700, 600}, RGB(0x30, 0x30, 0x30), NULL);
        SetForegroundWindow(other);
        ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == other; }));
        key(VK_RIGHT, VK_CONTROL);
        key(VK_DOWN, VK_SHIFT);
        EXPECT_TRUE(wait_until([&] { return frame_drawn({110, 100, 310, 251}); }));
        key(VK_RETURN);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
        DestroyWindow(other);
    });
    expect_pattern(result, {110, 100, 310, 251});
    SetForegroundWindow(host);
}

// The right button clears a selection, and a drag in progress, as Esc does; with nothing
// selected it cancels.
TEST_F(CaptureUser, RightButtonClearsASelectionOrADragThenCancels) {
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {300, 250});
        right_click();
        EXPECT_TRUE(wait_until([&] { return screen_mismatches(RECT{95, 95, 302, 252}) == 0; }));
        EXPECT_TRUE(IsWindow(dialog));

        start_drag(dialog, {400, 300}, {500, 380});
        right_click();
        EXPECT_TRUE(wait_until([&] { return screen_mismatches(RECT{395, 295, 502, 382}) == 0; }));
        finish_drag(dialog);
        EXPECT_TRUE(IsWindow(dialog));

        right_click();
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }, 2000))
            << "the right button with nothing selected must cancel";
    });
    EXPECT_EQ(result, nullptr);
}

// The magnifier: the frozen pixels around the pointer at 8x with the pointer's pixel marked and
// its colour in hex; beside the pointer, aside near the edges, never over the pointer's pixel,
// erased as it moves, never in the result.
TEST_F(CaptureUser, MagnifierShowsThePixelsAroundThePointer) {
    HBITMAP result = capture([&](HWND dialog) {
        ASSERT_TRUE(move_until(400, 300, [] { return screen_pixel(403, 303) == kBlack; }));
        const RECT loupe = find_framed_box(403, 303, 1, 1, kBlack);
        ASSERT_GE(loupe.right - loupe.left, 122);
        ASSERT_GE(loupe.bottom - loupe.top, 130);
        // The magnified square starts inside the frame: cell (i, j) shows pixel
        // (393 + i, 293 + j) over 8 x 8 screen pixels.
        const int sx = loupe.left + 1 + (loupe.right - loupe.left - 2 - 120) / 2;
        const int sy = loupe.top + 1;
        int wrong = 0;
        for (int j = 0; j < 15; ++j)
            for (int i = 0; i < 15; ++i)
                wrong +=
                    screen_pixel(sx + i * 8 + 4, sy + j * 8 + 4) != pattern_pixel(393 + i, 293 + j);
        EXPECT_EQ(wrong, 0);
        // The middle cell is ringed.
        EXPECT_EQ(screen_pixel(sx + 7 * 8 - 1, sy + 7 * 8 + 4), kBlack);
        EXPECT_EQ(screen_pixel(sx + 7 * 8, sy + 7 * 8 + 4), 0xFFFFFFu);
        // The pointer's pixel itself is not covered.
        EXPECT_EQ(screen_pixel(400, 300), pattern_pixel(400, 300));

        // Near the bottom-right corner it moves above and left of the pointer.
        const int x = screen_width() - 30, y = screen_height() - 30;
        ASSERT_TRUE(move_until(x, y, [&] { return screen_pixel(x - 4, y - 4) == kBlack; }));
        const RECT aside = find_framed_box(x - 4, y - 4, -1, -1, kBlack);
        EXPECT_EQ(aside.right, x - 3);
        EXPECT_EQ(aside.bottom, y - 3);
        EXPECT_EQ(screen_pixel(x, y), pattern_pixel(x, y));
        // The first place is restored.
        EXPECT_EQ(screen_mismatches(loupe), 0);

        // During a rubber band that runs up and left the magnifier lies inside the selection.
        start_drag(dialog, {600, 500}, {350, 250});
        EXPECT_EQ(screen_pixel(353, 253), kBlack);
        finish_drag(dialog);
        // Gone with the release.
        EXPECT_TRUE(wait_until([&] { return screen_mismatches(RECT{360, 260, 590, 490}) == 0; }));
        key(VK_RETURN);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    });
    expect_pattern(result, {350, 250, 600, 500});
}

// Hovering outlines the innermost window under the pointer (outline colour, no handles); a
// click selects it with handles; Enter returns its pixels.
TEST_F(CaptureUser, HoverOutlinesTheInnermostWindowAndAClickSelectsIt) {
    HWND outer = solid_window(RECT{200, 150, 500, 400}, RGB(0xD0, 0x40, 0x40), NULL);
    solid_window(RECT{50, 40, 150, 120}, RGB(0x40, 0xC0, 0x40), outer);
    // Minimized and hidden windows are not outlined.
    HWND hidden = solid_window(RECT{600, 100, 900, 300}, RGB(0x40, 0x40, 0xD0), NULL);
    ShowWindow(hidden, SW_HIDE);
    SetForegroundWindow(outer);
    ASSERT_TRUE(wait_until([] {
        pump();
        return screen_pixel(210, 160) == 0xD04040 && screen_pixel(300, 230) == 0x40C040;
    }));
    HBITMAP result = drive_capture(get_cap_bitmap, [&](HWND dialog) {
        // Over the outer window.
        EXPECT_TRUE(move_until(230, 350, [] {
            return screen_pixel(200, 300) == kFrame && screen_pixel(499, 300) == kFrame &&
                   screen_pixel(350, 150) == kFrame && screen_pixel(450, 399) == kFrame;
        }));
        EXPECT_NE(screen_pixel(198, 148), kFrame) << "no handles on a hovered window";
        // Over the inner one: its outline replaces the outer one's.
        EXPECT_TRUE(move_until(300, 230, [] {
            return screen_pixel(250, 250) == kFrame && screen_pixel(349, 200) == kFrame;
        }));
        EXPECT_EQ(screen_pixel(200, 300), 0xD04040u);
        // Over the hidden window's place: the host's full-screen window.
        EXPECT_TRUE(move_until(700, 200, [] { return screen_pixel(0, 400) == kFrame; }));
        // A click without a drag on the inner window selects it, with handles.
        send_move(300, 230);
        send_button(true);
        send_button(false);
        EXPECT_TRUE(wait_until([&] { return frame_drawn({250, 190, 350, 270}); }));
        key(VK_RETURN);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    });
    ASSERT_NE(result, nullptr);
    int w = 0, h = 0;
    const std::vector<uint32_t> px = bitmap_pixels(result, &w, &h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 80);
    EXPECT_EQ(std::count(px.begin(), px.end(), 0x40C040u), static_cast<std::ptrdiff_t>(px.size()));
    DestroyWindow(hidden);
    DestroyWindow(outer);
}

// At 192 DPI (the LogPixels setting, read when a program starts) the handles, the hit zones, the
// boxes and the magnifier are larger; the returned bitmap is the same. Played in a child process
// started with the setting in place.
TEST_F(CaptureUser, OverlayScalesWithTheDpiAndTheResultDoesNot) {
    if (getenv("OSTRINE_DPI_CHILD") != nullptr) {
        HDC screen = GetDC(NULL);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(NULL, screen);
        ASSERT_EQ(dpi, 192);
        HBITMAP result = capture([&](HWND dialog) {
            start_drag(dialog, {100, 100}, {300, 250});
            // 9 x 9 handles: the top-left one from (96, 96) to (104, 104).
            EXPECT_EQ(screen_pixel(96, 96), kFrame);
            EXPECT_EQ(screen_pixel(104, 104), kFrame);
            EXPECT_NE(screen_pixel(95, 95), kFrame);
            EXPECT_EQ(screen_pixel(303, 253), kFrame);
            EXPECT_NE(screen_pixel(304, 254), kFrame);
            // The magnifier 6 pixels from the pointer, its square 15 x 16 = 240 wide.
            const RECT loupe = find_framed_box(306, 256, 1, 1, kBlack);
            EXPECT_GE(loupe.right - loupe.left, 242);
            // The info box fits its text in the larger dialog font.
            const RECT box = find_framed_box(306, 243, 1, -1, kBlack);
            HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
            HDC dc = GetDC(NULL);
            HGDIOBJ old = SelectObject(dc, font);
            RECT need = {0, 0, 0, 0};
            DrawTextW(dc, L"(100,100)", -1, &need, DT_CALCRECT | DT_NOPREFIX);
            SelectObject(dc, old);
            ReleaseDC(NULL, dc);
            EXPECT_GE(box.right - box.left, need.right + 2);
            finish_drag(dialog);
            // A press 3 pixels off the outline, on the larger handle, still grabs it.
            send_move(302, 252);
            send_button(true);
            EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
            EXPECT_TRUE(move_until(400, 300, [&] { return frame_drawn({100, 100, 400, 300}); }));
            finish_drag(dialog);
            key(VK_RETURN);
            EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
        });
        expect_pattern(result, {100, 100, 400, 300});
        return;
    }
    HKEY key_handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, NULL, 0,
                              KEY_READ | KEY_WRITE, NULL, &key_handle, NULL),
              ERROR_SUCCESS);
    DWORD before = 0, size = sizeof before, type = 0;
    const bool had = RegQueryValueExA(key_handle, "LogPixels", NULL, &type,
                                      reinterpret_cast<BYTE*>(&before), &size) == ERROR_SUCCESS &&
                     type == REG_DWORD;
    const DWORD doubled = 192;
    RegSetValueExA(key_handle, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&doubled),
                   sizeof doubled);
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string command =
        std::string("\"") + self +
        "\" --gtest_filter=CaptureUser.OverlayScalesWithTheDpiAndTheResultDoesNot";
    SetEnvironmentVariableA("OSTRINE_DPI_CHILD", "1");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    fflush(stdout);
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    SetEnvironmentVariableA("OSTRINE_DPI_CHILD", NULL);
    DWORD status = 1;
    if (started) {
        WaitForSingleObject(pi.hProcess, 60000);
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (had)
        RegSetValueExA(key_handle, "LogPixels", 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&before), sizeof before);
    else
        RegDeleteValueA(key_handle, "LogPixels");
    RegCloseKey(key_handle);
    ASSERT_TRUE(started);
    EXPECT_EQ(status, 0u) << "the capture at 192 DPI (its lines are above)";
}

} // namespace
