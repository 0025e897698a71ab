// Captures on two monitors, played with real input on a host window that shows a known pattern
// over the whole virtual screen. Run by scripts/test-windows.sh on the two-monitor X server
// (tools/two-monitor-server.sh) once per layout; OSTRINE_LAYOUT names the layout (right, left,
// above) and the test checks that the system shows it. OSTRINE_DISPLAY_SWITCH is the 64-bit helper
// that changes the display mode (ostrine_display_switch.exe).
#include "Ostrine.h"
#include "capture_checks.h"
#include "dll_test_support.h"
#include "gui_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const uint32_t kBlack = 0x000000;

struct Layout {
    const char* name;
    RECT second; // the second monitor, virtual-screen coordinates (the primary: 1024 x 768 at 0, 0)
    // A drag from a point on one monitor to a point on the other: its rectangle spans both and a
    // dead zone.
    POINT span_from, span_to;
    // A pointer next to the edge the monitors share, and an area of the other monitor beside it
    // that the boxes must leave alone.
    POINT near_edge;
    RECT other_side;
    POINT drag_from; // a drag from here to near_edge
};

const Layout kLayouts[] = {
    {"right",
     {1024, 0, 2304, 1024},
     {900, 600},
     {1200, 900},
     {1018, 400},
     {1024, 200, 1400, 700},
     {800, 300}},
    {"left",
     {-800, 0, 0, 600},
     {-300, 400},
     {200, 700},
     {-6, 300},
     {0, 100, 400, 600},
     {-300, 100}},
    {"above",
     {200, -768, 1224, 0},
     {100, 200},
     {1100, -200},
     {600, 6},
     {300, -400, 900, 0},
     {300, 300}},
};

const Layout* current_layout() {
    const char* name = getenv("OSTRINE_LAYOUT");
    for (const Layout& l : kLayouts)
        if (name != nullptr && std::string(name) == l.name)
            return &l;
    return nullptr;
}

BOOL CALLBACK add_monitor(HMONITOR, HDC, LPRECT rc, LPARAM list) {
    reinterpret_cast<std::vector<RECT>*>(list)->push_back(*rc);
    return TRUE;
}

// The monitors as the system now shows them (asked once per check: a call per pixel would take
// seconds).
std::vector<RECT> monitor_rects() {
    std::vector<RECT> list;
    EnumDisplayMonitors(NULL, NULL, add_monitor, reinterpret_cast<LPARAM>(&list));
    return list;
}

bool on_monitor(const std::vector<RECT>& monitors, int x, int y) {
    for (const RECT& m : monitors)
        if (x >= m.left && x < m.right && y >= m.top && y < m.bottom)
            return true;
    return false;
}

// What a capture of the whole desktop holds at (x, y): the picture on a monitor, black elsewhere.
uint32_t frozen_pixel(const std::vector<RECT>& monitors, const RECT& v, int x, int y) {
    return on_monitor(monitors, x, y) ? pattern_pixel(x - v.left, y - v.top) : kBlack;
}

LRESULT CALLBACK desk_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        const RECT v = virtual_screen();
        const int w = v.right - v.left, h = v.bottom - v.top;
        std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                    pattern_pixel(x, y);
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = w;
        bmi.bmiHeader.biHeight = -h;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(hdc, 0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                          static_cast<UINT>(h), px.data(), &bmi, DIB_RGB_COLORS);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Number of pixels of `area` (on monitors) that differ from the host's picture.
int desk_mismatches(RECT area) {
    const std::vector<uint32_t> px = read_screen(area);
    const std::vector<RECT> monitors = monitor_rects();
    const RECT v = virtual_screen();
    const int w = area.right - area.left;
    int bad = 0;
    for (size_t i = 0; i < px.size(); ++i) {
        const int x = area.left + static_cast<int>(i) % w, y = area.top + static_cast<int>(i) / w;
        bad += on_monitor(monitors, x, y) && px[i] != pattern_pixel(x - v.left, y - v.top);
    }
    return bad;
}

// Pixels of the bitmap that differ from what the frozen desktop holds at `where`, except those in
// `skip`; -1 when the bitmap is missing or has another size.
int frozen_mismatches(HBITMAP bitmap, RECT where, RECT skip = RECT{0, 0, 0, 0}) {
    if (bitmap == NULL)
        return -1;
    int w = 0, h = 0;
    const std::vector<uint32_t> px = bitmap_pixels(bitmap, &w, &h);
    if (w != where.right - where.left || h != where.bottom - where.top)
        return -1;
    const std::vector<RECT> monitors = monitor_rects();
    const RECT v = virtual_screen();
    int bad = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int ax = where.left + x, ay = where.top + y;
            if (ax >= skip.left && ax < skip.right && ay >= skip.top && ay < skip.bottom)
                continue;
            bad += px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] !=
                   frozen_pixel(monitors, v, ax, ay);
        }
    return bad;
}

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

// The outer pixel of the handle at the selection's corner nearest `pt`.
POINT handle_pixel(const RECT& s, POINT pt) {
    return POINT{pt.x == s.left ? s.left - 2 : s.right + 1,
                 pt.y == s.top ? s.top - 2 : s.bottom + 1};
}

RECT spanned(POINT a, POINT b) {
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

class TwoMonitors : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        layout = current_layout();
        if (layout == nullptr)
            return;
        const RECT v = virtual_screen();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = desk_proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));
        wc.lpszClassName = "OstrineDeskHost";
        RegisterClassA(&wc);
        host = CreateWindowExA(0, wc.lpszClassName, "desk", WS_POPUP | WS_VISIBLE, v.left, v.top,
                               v.right - v.left, v.bottom - v.top, NULL, NULL, wc.hInstance, NULL);
        SetForegroundWindow(host);
        UpdateWindow(host);
    }

    static void TearDownTestSuite() {
        if (host != NULL)
            DestroyWindow(host);
        host = NULL;
    }

    void SetUp() override {
        if (layout == nullptr)
            GTEST_SKIP() << "OSTRINE_LAYOUT names no layout: run by scripts/test-windows.sh";
        ASSERT_EQ(GetSystemMetrics(SM_CMONITORS), 2) << "the rig shows no second monitor";
        ASSERT_EQ(screen_width(), 1024);
        ASSERT_EQ(screen_height(), 768);
        const POINT inside{(layout->second.left + layout->second.right) / 2,
                           (layout->second.top + layout->second.bottom) / 2};
        MONITORINFO info;
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetMonitorInfoA(MonitorFromPoint(inside, MONITOR_DEFAULTTONULL), &info));
        ASSERT_TRUE(same_rect(info.rcMonitor, layout->second)) << text(info.rcMonitor);
        dll = LoadLibraryA(built_dll_path().c_str());
        ASSERT_NE(dll, nullptr);
        get_cap_bitmap = export_as<OstrineGetCapBitmapFn>(GetProcAddress(dll, "GetCapBitmap"));
        get_cap_bitmap_ex =
            export_as<OstrineGetCapBitmapExFn>(GetProcAddress(dll, "GetCapBitmapEx"));
        send_move(1000, 740);
        ASSERT_TRUE(wait_for_desk());
    }

    void TearDown() override {
        if (dll != NULL)
            FreeLibrary(dll);
    }

    // Handles the host's messages until its picture is on every monitor again.
    static bool wait_for_desk() {
        const RECT v = virtual_screen();
        return wait_until([&] {
            MSG msg;
            while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            return desk_mismatches(v) == 0;
        });
    }

    HBITMAP capture_ex(DWORD flags, const std::function<void(HWND)>& script, RECT* selection,
                       DWORD* error = nullptr) {
        EXPECT_TRUE(wait_for_desk());
        OSTRINE_CAPTURE request = {sizeof request, flags, {-7, -7, -7, -7}};
        DWORD last = 0;
        HBITMAP result = drive_capture(
            [&] {
                HBITMAP r = get_cap_bitmap_ex(&request);
                last = GetLastError();
                return r;
            },
            script);
        *selection = request.rcSelection;
        if (error != nullptr)
            *error = last;
        return result;
    }

    // Press at `from`, move to `to`, release: the handles at both ends are drawn on the screen.
    static void drag_between(HWND dialog, POINT from, POINT to) {
        send_move(from.x, from.y);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        const RECT s = spanned(from, to);
        const POINT a = handle_pixel(s, from), b = handle_pixel(s, to);
        EXPECT_TRUE(move_until(to.x, to.y,
                               [&] {
                                   return screen_pixel(a.x, a.y) == kFrameColour &&
                                          screen_pixel(b.x, b.y) == kFrameColour;
                               }))
            << "no handles for " << text(s);
        send_button(false);
        EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
    }

    static void enter(HWND dialog) {
        send_key(VK_RETURN, true);
        send_key(VK_RETURN, false);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    }

    static const Layout* layout;
    static HWND host;
    HMODULE dll = NULL;
    OstrineGetCapBitmapFn get_cap_bitmap = nullptr;
    OstrineGetCapBitmapExFn get_cap_bitmap_ex = nullptr;
};

const Layout* TwoMonitors::layout = nullptr;
HWND TwoMonitors::host = NULL;

TEST_F(TwoMonitors, TheWholeDesktopIsFrozenWithBlackDeadZones) {
    const RECT v = virtual_screen();
    const RECT& second = layout->second;
    // A selection on the second monitor alone, and one from monitor to monitor over a dead zone.
    struct Case {
        POINT from, to;
    } const cases[] = {
        {{second.left + 40, second.top + 50}, {second.left + 300, second.top + 260}},
        {layout->span_from, layout->span_to},
    };
    for (const Case& c : cases) {
        RECT selection;
        DWORD error = 0;
        HBITMAP result = capture_ex(
            OSTRINE_CAPTURE_ALL_MONITORS | OSTRINE_CAPTURE_NO_POINTER,
            [&](HWND dialog) {
                RECT rc;
                GetWindowRect(dialog, &rc);
                EXPECT_TRUE(same_rect(rc, v)) << text(rc);
                // The frozen desktop on both monitors, clear of the pointer's boxes.
                EXPECT_EQ(desk_mismatches(RECT{second.left + 10, second.top + 10, second.left + 400,
                                               second.top + 300}),
                          0);
                EXPECT_EQ(desk_mismatches(RECT{10, 10, 500, 400}), 0);
                drag_between(dialog, c.from, c.to);
                enter(dialog);
            },
            &selection, &error);
        const RECT want = spanned(c.from, c.to);
        EXPECT_TRUE(same_rect(selection, want)) << text(selection) << " for " << text(want);
        EXPECT_EQ(frozen_mismatches(result, want), 0) << error;
        DeleteObject(result);
    }
}

TEST_F(TwoMonitors, GetCapBitmapCoversThePrimaryDisplayOnly) {
    // Ctrl+Shift+click selects all that this export covers: the primary display.
    HBITMAP result = drive_capture(get_cap_bitmap, [&](HWND dialog) {
        RECT rc;
        GetWindowRect(dialog, &rc);
        EXPECT_TRUE(same_rect(rc, RECT{0, 0, 1024, 768})) << text(rc);
        send_move(500, 400);
        send_key(VK_CONTROL, true);
        send_key(VK_SHIFT, true);
        Sleep(50);
        send_button(true);
        send_button(false);
        EXPECT_TRUE(wait_until([&] {
            return screen_pixel(0, 300) == kFrameColour && screen_pixel(1023, 300) == kFrameColour;
        }));
        send_key(VK_SHIFT, false);
        send_key(VK_CONTROL, false);
        enter(dialog);
    });
    // The pointer was drawn into the frozen screen at (1000, 740).
    EXPECT_EQ(frozen_mismatches(result, RECT{0, 0, 1024, 768}, RECT{990, 730, 1024, 768}), 0);
}

TEST_F(TwoMonitors, ShiftClickSelectsTheMonitorCtrlShiftClickTheDesktop) {
    const RECT& second = layout->second;
    const POINT on_second{second.left + 100, second.bottom - 100};
    struct Case {
        bool ctrl;
        RECT want;
    } const cases[] = {{false, second}, {true, virtual_screen()}};
    for (const Case& c : cases) {
        RECT selection;
        HBITMAP result = capture_ex(
            OSTRINE_CAPTURE_ALL_MONITORS | OSTRINE_CAPTURE_NO_POINTER,
            [&](HWND dialog) {
                send_move(on_second.x, on_second.y);
                if (c.ctrl)
                    send_key(VK_CONTROL, true);
                send_key(VK_SHIFT, true);
                Sleep(50);
                send_button(true);
                send_button(false);
                // The outline along the left edge of the selection, where a monitor shows it.
                POINT outline{c.want.left, 0};
                for (const RECT& m : monitor_rects())
                    if (m.left == c.want.left)
                        outline.y = (m.top + m.bottom) / 2;
                EXPECT_TRUE(wait_until([&] {
                    return screen_pixel(outline.x, outline.y) == kFrameColour;
                })) << "ctrl "
                    << c.ctrl;
                Sleep(100);
                send_key(VK_SHIFT, false);
                if (c.ctrl)
                    send_key(VK_CONTROL, false);
                enter(dialog);
            },
            &selection);
        EXPECT_TRUE(same_rect(selection, c.want)) << text(selection);
        EXPECT_EQ(frozen_mismatches(result, c.want), 0);
        DeleteObject(result);
    }
}

TEST_F(TwoMonitors, TheBoxesStayOnThePointersMonitor) {
    const POINT p = layout->near_edge;
    RECT selection;
    HBITMAP result = capture_ex(
        OSTRINE_CAPTURE_ALL_MONITORS | OSTRINE_CAPTURE_NO_POINTER,
        [&](HWND dialog) {
            // Idle: the magnifier beside the pointer, on its monitor, from a start on that
            // monitor.
            const POINT from = layout->drag_from;
            send_move(from.x, from.y);
            EXPECT_TRUE(move_until(p.x, p.y, [&] {
                return desk_mismatches(RECT{p.x - 200, p.y - 200, p.x + 200, p.y + 200}) > 0 &&
                       desk_mismatches(layout->other_side) == 0;
            })) << "the magnifier crossed over";
            // A drag ending there: the info box and the magnifier.
            send_move(from.x, from.y);
            send_button(true);
            ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
            const POINT handle = handle_pixel(spanned(from, p), p);
            EXPECT_TRUE(move_until(
                p.x, p.y, [&] { return screen_pixel(handle.x, handle.y) == kFrameColour; }));
            EXPECT_EQ(desk_mismatches(layout->other_side), 0) << "a box crossed over";
            send_button(false);
            EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
            escape();
            escape();
        },
        &selection);
    EXPECT_EQ(result, nullptr);
}

TEST_F(TwoMonitors, TheMagnifierShowsTheFrozenPixelsOnEveryMonitor) {
    const RECT& second = layout->second;
    const RECT v = virtual_screen();
    // A point on each monitor with room below and right of it for the magnifier.
    const POINT points[] = {{300, 300}, {second.left + 200, second.top + 150}};
    RECT selection;
    capture_ex(
        OSTRINE_CAPTURE_ALL_MONITORS | OSTRINE_CAPTURE_NO_POINTER,
        [&](HWND) {
            for (POINT p : points) {
                // The magnifier's frame right of and below the pointer; the top-left cell of its
                // 15 x 15 magnified square shows the frozen pixel 7 left and 7 above the pointer.
                RECT loupe = {0, 0, 0, 0};
                EXPECT_TRUE(move_until(p.x, p.y,
                                       [&] {
                                           loupe = find_framed_box(p.x + 3, p.y + 3, 1, 1, kBlack);
                                           return loupe.right - loupe.left > 100;
                                       }))
                    << p.x << "," << p.y;
                const int zoom = 8, square = 15 * zoom;
                const int sx = loupe.left + 1 + (loupe.right - loupe.left - 2 - square) / 2;
                const int sy = loupe.top + 1;
                for (POINT cell : {POINT{0, 0}, POINT{14, 3}, POINT{5, 14}})
                    EXPECT_EQ(
                        screen_pixel(sx + cell.x * zoom + zoom / 2, sy + cell.y * zoom + zoom / 2),
                        pattern_pixel(p.x - 7 + cell.x - v.left, p.y - 7 + cell.y - v.top))
                        << "cell " << cell.x << "," << cell.y << " for " << p.x << "," << p.y;
            }
            escape();
        },
        &selection);
}

TEST_F(TwoMonitors, AWindowOnTheSecondMonitorIsFoundAndSelected) {
    const RECT& second = layout->second;
    const RECT where{second.left + 120, second.top + 90, second.left + 320, second.top + 240};
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = CreateSolidBrush(RGB(0x30, 0xC0, 0x50));
    wc.lpszClassName = "OstrineSecondWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, where.left,
                                  where.top, where.right - where.left, where.bottom - where.top,
                                  NULL, NULL, wc.hInstance, NULL);
    ASSERT_TRUE(wait_until([&] {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        return screen_pixel(where.left + 50, where.top + 50) == 0x30C050;
    }));
    RECT selection;
    OSTRINE_CAPTURE request = {
        sizeof request, OSTRINE_CAPTURE_ALL_MONITORS | OSTRINE_CAPTURE_NO_POINTER, {}};
    HBITMAP result =
        drive_capture([&] { return get_cap_bitmap_ex(&request); },
                      [&](HWND dialog) {
                          // Hover: the window's outline; a click selects it.
                          EXPECT_TRUE(move_until(where.left + 60, where.top + 70, [&] {
                              return screen_pixel(where.left, where.top + 120) == kFrameColour;
                          }));
                          send_button(true);
                          send_button(false);
                          EXPECT_TRUE(wait_until([&] {
                              return mouse_capture_of(dialog) == NULL &&
                                     screen_pixel(where.left - 2, where.top - 2) == kFrameColour;
                          }));
                          enter(dialog);
                      });
    selection = request.rcSelection;
    DestroyWindow(window);
    DeleteObject(wc.hbrBackground);
    UnregisterClassA(wc.lpszClassName, wc.hInstance);
    EXPECT_TRUE(same_rect(selection, where)) << text(selection);
    int w = 0, h = 0;
    const std::vector<uint32_t> px = bitmap_pixels(result, &w, &h);
    EXPECT_EQ(w, where.right - where.left);
    EXPECT_EQ(std::count(px.begin(), px.end(), 0x30C050u), static_cast<std::ptrdiff_t>(px.size()));
    DeleteObject(result);
}

// Runs the display mode helper (a 64-bit program: only there does the mode change reach the X
// server) and waits for it; its exit status.
DWORD switch_display(int width, int height) {
    const char* helper = getenv("OSTRINE_DISPLAY_SWITCH");
    if (helper == nullptr)
        return 1000;
    std::string command =
        std::string("\"") + helper + "\" " + std::to_string(width) + " " + std::to_string(height);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 1001;
    WaitForSingleObject(pi.hProcess, 20000);
    DWORD status = 1002;
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return status;
}

TEST_F(TwoMonitors, ALayoutChangeInMidCaptureCancelsAndTheNextCallSeesIt) {
    if (getenv("OSTRINE_DISPLAY_SWITCH") == nullptr)
        GTEST_SKIP() << "OSTRINE_DISPLAY_SWITCH names no helper";
    RECT selection;
    DWORD error = 0;
    bool ended_by_itself = false;
    DWORD switched = 0;
    HBITMAP result = capture_ex(
        OSTRINE_CAPTURE_ALL_MONITORS,
        [&](HWND dialog) {
            drag_between(dialog, {100, 100}, {300, 250});
            switched = switch_display(800, 600);
            ended_by_itself = wait_until([&] { return !IsWindow(dialog); }, 5000);
        },
        &selection, &error);
    EXPECT_EQ(switched, 0u);
    EXPECT_TRUE(ended_by_itself) << "the capture went on over the old layout";
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_TRUE(same_rect(selection, RECT{0, 0, 0, 0}));

    // The next capture covers the new layout.
    const RECT now = virtual_screen();
    EXPECT_EQ(screen_width(), 800);
    OSTRINE_CAPTURE request = {sizeof request, OSTRINE_CAPTURE_ALL_MONITORS, {}};
    RECT shown = {0, 0, 0, 0};
    drive_capture([&] { return get_cap_bitmap_ex(&request); },
                  [&](HWND dialog) {
                      GetWindowRect(dialog, &shown);
                      escape();
                  });
    EXPECT_TRUE(same_rect(shown, now)) << text(shown) << " for " << text(now);
    EXPECT_EQ(switch_display(1024, 768), 0u);
    EXPECT_TRUE(wait_until([] { return screen_width() == 1024; }));
}

} // namespace
