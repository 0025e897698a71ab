// Plays one capture the way a user would, on a made-up desktop of real windows, and saves what the
// screen showed at each step and the bitmap that came back, as .bmp files in OUTDIR:
//   hover.bmp   the pointer over a window: its outline and the magnifier
//   drag.bmp    in the middle of a rubber band: outline, handles, info box and magnifier
//   adjust.bmp  the finished selection after a few arrow keys
//   result.bmp  what GetCapBitmap returned (after Enter)
// and, in a second capture with the mark-up toolbar and the dimmed screen (GetCapBitmapEx with
// OSTRINE_CAPTURE_MARKUP | OSTRINE_CAPTURE_DIM; only on one monitor, with the capture in this
// process):
//   markup.bmp         the selection marked up: a box, an arrow, the highlighter, a mosaic, text
//   markup-result.bmp  what came back
//
//   ostrine_capture_pictures OUTDIR               the capture runs in this process (the README's
//                                                 pictures)
//   ostrine_capture_pictures OUTDIR HOST [ARGS]   the capture runs in the host program HOST,
//                                                 started with ARGS; this program only plays the
//                                                 user
//
// With --two-monitors after OUTDIR (on a display with two monitors, tools/two-monitor-server.sh)
// the desktop spans both monitors and GetCapBitmapEx captures all of it, a rubber band from one
// monitor onto the other:
//   monitors-drag.bmp    the whole desktop during the drag (the parts on no monitor black)
//   monitors-result.bmp  what came back (after Enter)
// In that mode HOST must capture with OSTRINE_CAPTURE_ALL_MONITORS (the example host does).
//
// Exit status 0 when every step was seen on the screen and a result came back.
#include "Ostrine.h"
#include "gui_driver.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const uint32_t kFrame = 0x0A6482;

struct Picture {
    int width, height;
    std::vector<uint32_t> pixels;
};

uint32_t mix(uint32_t a, uint32_t b, int t, int range) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= static_cast<uint32_t>(ca + (cb - ca) * t / range) << shift;
    }
    return out;
}

void fill(Picture& p, int l, int t, int r, int b, uint32_t c) {
    for (int y = std::max(t, 0); y < std::min(b, p.height); ++y)
        for (int x = std::max(l, 0); x < std::min(r, p.width); ++x)
            p.pixels[static_cast<size_t>(y) * p.width + x] = c;
}

Picture sky(int w, int h) {
    Picture p{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool sun = (x - w * 4 / 5) * (x - w * 4 / 5) + (y - 150) * (y - 150) < 70 * 70;
            p.pixels[static_cast<size_t>(y) * w + x] =
                sun ? 0xF6D36B : mix(0x2B5C8A, 0x9CC9E8, y, h);
        }
    return p;
}

// An application window: a title bar and lines of text on white.
Picture app(int w, int h, uint32_t title) {
    Picture p{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, 0xF4F4F4)};
    fill(p, 0, 0, w, 24, title);
    for (int line = 0; 44 + line * 22 < h - 16; ++line) {
        const int len = (w - 40) * (5 + (line * 7) % 5) / 10;
        fill(p, 20, 44 + line * 22, 20 + len, 52 + line * 22, line % 4 == 0 ? 0x505A64 : 0xA0A8B0);
    }
    return p;
}

// A panel inside an application window: a tinted box with a few bars.
Picture panel(int w, int h) {
    Picture p{w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, 0xE3ECF5)};
    for (int i = 0; i < 4; ++i)
        fill(p, 14, 16 + i * 26, 14 + (w - 28) * (4 - i) / 4, 30 + i * 26, 0x5C8FC0);
    return p;
}

LRESULT CALLBACK picture_window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        const Picture* p = reinterpret_cast<const Picture*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = p->width;
        bmi.bmiHeader.biHeight = -p->height;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(hdc, 0, 0, static_cast<DWORD>(p->width), static_cast<DWORD>(p->height), 0,
                          0, 0, static_cast<UINT>(p->height), p->pixels.data(), &bmi,
                          DIB_RGB_COLORS);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND show_picture(const Picture& p, int x, int y, HWND parent) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = picture_window_proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursorA(NULL, MAKEINTRESOURCEA(32512));
        wc.lpszClassName = "OstrinePicture";
        registered = RegisterClassA(&wc) != 0;
    }
    const DWORD style = parent != NULL ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE;
    HWND hwnd = CreateWindowExA(0, "OstrinePicture", "picture", style, x, y, p.width, p.height,
                                parent, NULL, GetModuleHandleA(NULL), NULL);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&p));
    UpdateWindow(hwnd);
    return hwnd;
}

// Handles this thread's messages until two reads of the screen 100 ms apart agree.
void wait_for_quiet_screen() {
    const RECT all{0, 0, screen_width(), screen_height()};
    std::vector<uint32_t> before = read_screen(all);
    wait_until([&] {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(100);
        std::vector<uint32_t> now = read_screen(all);
        const bool same = now == before;
        before.swap(now);
        return same;
    });
}

bool save_screen(const std::string& path) {
    const int w = screen_width(), h = screen_height();
    return save_bmp(path.c_str(), read_screen(RECT{0, 0, w, h}), w, h);
}

// The user's part. `panel_rect` is the inner window that the hover should outline.
bool play_user(HWND dialog, const std::string& out, RECT panel_rect) {
    bool ok = true;
    const auto step = [&](const char* name, bool seen) {
        printf("%-8s %s\n", name, seen ? "seen" : "NOT SEEN on the screen");
        ok = ok && seen;
        if (!seen)
            return;
        wait_for_quiet_screen();
        if (!save_screen(out + "\\" + name + ".bmp")) {
            printf("could not write %s.bmp\n", name);
            ok = false;
        }
    };

    // Hovering over the panel outlines it.
    const bool outlined = move_until(panel_rect.left + 120, panel_rect.top + 70, [&] {
        return screen_pixel(panel_rect.left, panel_rect.top + 40) == kFrame &&
               screen_pixel(panel_rect.right - 1, panel_rect.top + 40) == kFrame;
    });
    step("hover", outlined);

    // A rubber band, caught half-way.
    send_move(250, 170);
    send_button(true);
    wait_until([&] { return mouse_capture_of(dialog) == dialog; });
    send_move(500, 300);
    const bool dragging = move_until(590, 400, [] { return screen_pixel(591, 401) == kFrame; });
    step("drag", dragging);
    send_button(false);
    wait_until([&] { return mouse_capture_of(dialog) == NULL; });

    // The keyboard fine-tunes the finished selection: Ctrl+Right moves it by ten pixels, then
    // Shift+Down twice lowers its bottom edge.
    SetForegroundWindow(dialog);
    send_key(VK_CONTROL, true);
    Sleep(50);
    send_key(VK_RIGHT, true);
    send_key(VK_RIGHT, false);
    send_key(VK_CONTROL, false);
    send_key(VK_SHIFT, true);
    Sleep(50);
    for (int i = 0; i < 2; ++i) {
        send_key(VK_DOWN, true);
        send_key(VK_DOWN, false);
    }
    send_key(VK_SHIFT, false);
    const bool adjusted = wait_until([] { return screen_pixel(601, 403) == kFrame; });
    step("adjust", adjusted);

    send_key(VK_RETURN, true);
    send_key(VK_RETURN, false);
    const bool accepted = wait_until([&] { return !IsWindow(dialog); });
    printf("%-8s %s\n", "enter", accepted ? "accepted" : "DID NOT END the capture");
    return ok && accepted;
}

BOOL CALLBACK add_monitor(HMONITOR, HDC, LPRECT rc, LPARAM list) {
    reinterpret_cast<std::vector<RECT>*>(list)->push_back(*rc);
    return TRUE;
}

// The whole desktop as the user sees it: every monitor, black where there is none.
bool save_desktop(const std::string& path) {
    const RECT v = virtual_screen();
    const int w = v.right - v.left, h = v.bottom - v.top;
    std::vector<RECT> monitors;
    EnumDisplayMonitors(NULL, NULL, add_monitor, reinterpret_cast<LPARAM>(&monitors));
    std::vector<uint32_t> pixels = read_screen(v);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const POINT at{v.left + x, v.top + y};
            bool shown = false;
            for (const RECT& m : monitors)
                shown = shown || PtInRect(&m, at);
            if (!shown)
                pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                    0;
        }
    return save_bmp(path.c_str(), pixels, w, h);
}

// The second monitor's rectangle; the primary's when there is none.
RECT second_monitor() {
    std::vector<RECT> monitors;
    EnumDisplayMonitors(NULL, NULL, add_monitor, reinterpret_cast<LPARAM>(&monitors));
    for (const RECT& m : monitors)
        if (m.left != 0 || m.top != 0)
            return m;
    return RECT{0, 0, screen_width(), screen_height()};
}

// The user on two monitors: a rubber band from a window on the primary onto the second monitor,
// caught half-way, then Enter. `from` and `to` are its ends.
bool play_two_monitors(HWND dialog, const std::string& out, POINT from, POINT to) {
    send_move(from.x, from.y);
    send_button(true);
    wait_until([&] { return mouse_capture_of(dialog) == dialog; });
    send_move((from.x + to.x) / 2, (from.y + to.y) / 2);
    const bool dragging = move_until(to.x, to.y, [&] {
        return screen_pixel(to.x + 1, to.y + 1) == kFrame &&
               screen_pixel(from.x - 2, from.y - 2) == kFrame;
    });
    printf("%-8s %s\n", "drag", dragging ? "seen" : "NOT SEEN on the screen");
    bool ok = dragging;
    if (dragging) {
        wait_for_quiet_screen();
        ok = save_desktop(out + "\\monitors-drag.bmp");
    }
    send_button(false);
    wait_until([&] { return mouse_capture_of(dialog) == NULL; });
    send_key(VK_RETURN, true);
    send_key(VK_RETURN, false);
    const bool accepted = wait_until([&] { return !IsWindow(dialog); });
    printf("%-8s %s\n", "enter", accepted ? "accepted" : "DID NOT END the capture");
    return ok && accepted;
}

void tap(WORD vk) {
    send_key(vk, true);
    send_key(vk, false);
}

// A stroke of the current tool from `from` through `to`, waited for until committed.
void mark(HWND dialog, POINT from, POINT to) {
    send_move(from.x, from.y);
    send_button(true);
    wait_until([&] { return mouse_capture_of(dialog) == dialog; });
    send_move((from.x + to.x) / 2, (from.y + to.y) / 2);
    move_until(to.x, to.y, [&] {
        POINT pt;
        GetCursorPos(&pt);
        return pt.x == to.x && pt.y == to.y;
    });
    send_button(false);
    wait_until([&] { return mouse_capture_of(dialog) == NULL; });
}

// The user marks the selection up: a red box round the panel, an arrow to it, a yellow band over
// a line of the editor, a mosaic over the viewer's text, a few words in blue.
bool play_markup(HWND dialog, const std::string& out, RECT panel_rect) {
    send_move(140, 130);
    send_button(true);
    wait_until([&] { return mouse_capture_of(dialog) == dialog; });
    send_move(400, 300);
    move_until(760, 560, [] { return screen_pixel(761, 561) == kFrame; });
    send_button(false);
    const bool bar = wait_until([&] {
        HWND toolbar = FindWindowExA(dialog, NULL, "OstrineMarkupToolbar", NULL);
        return toolbar != NULL && IsWindowVisible(toolbar);
    });
    SetForegroundWindow(dialog);
    tap('R');
    mark(dialog, {panel_rect.left - 8, panel_rect.top - 8},
         {panel_rect.right + 7, panel_rect.bottom + 7});
    tap('A');
    mark(dialog, {panel_rect.right + 110, panel_rect.top + 48},
         {panel_rect.right + 12, panel_rect.top + 60});
    tap('H');
    tap('2');
    mark(dialog, {150, 150}, {420, 166});
    tap('M');
    mark(dialog, {495, 420}, {745, 545});
    tap('T');
    tap('4');
    send_move(panel_rect.right + 35, panel_rect.top + 15);
    send_button(true);
    send_button(false);
    const bool field =
        wait_until([&] { return FindWindowExA(dialog, NULL, "Edit", NULL) != NULL; });
    for (wchar_t ch : std::wstring(L"Check this")) {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wScan = in[1].ki.wScan = static_cast<WORD>(ch);
        in[0].ki.dwFlags = KEYEVENTF_UNICODE;
        in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof in[0]);
    }
    Sleep(200);
    tap(VK_RETURN);
    const bool committed =
        wait_until([&] { return FindWindowExA(dialog, NULL, "Edit", NULL) == NULL; });
    tap('T');
    send_move(900, 700);
    const bool seen = bar && field && committed;
    printf("%-8s %s\n", "markup", seen ? "seen" : "NOT SEEN on the screen");
    wait_for_quiet_screen();
    const bool saved = seen && save_screen(out + "\\markup.bmp");
    tap(VK_RETURN);
    const bool accepted = wait_until([&] { return !IsWindow(dialog); });
    return saved && accepted;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printf("usage: ostrine_capture_pictures OUTDIR [HOST [ARGS...]]\n");
        return 2;
    }
    const std::string out = argv[1];
    const bool two_monitors = argc > 2 && std::string(argv[2]) == "--two-monitors";
    if (two_monitors) {
        // The host, if any, follows the flag.
        for (int i = 2; i + 1 < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }
    const int w = screen_width(), h = screen_height();

    // The desktop: a sky, two application windows, a panel (child window) in the first.
    const Picture back = sky(w, h);
    const Picture editor = app(440, 320, 0x3A6EA5);
    const Picture viewer = app(470, 330, 0x6A4C93);
    const Picture side = panel(240, 130);
    show_picture(back, 0, 0, NULL);
    HWND first = show_picture(editor, 120, 110, NULL);
    show_picture(side, 180, 160, first);
    show_picture(viewer, 480, 360, NULL);
    // The newest window is on top; the editor goes above it and is the active one.
    SetForegroundWindow(first);
    const RECT panel_rect{120 + 180, 110 + 160, 120 + 180 + 240, 110 + 160 + 130};
    // On two monitors: the second one's own sky and a window on it; the band runs from the
    // editor on the primary monitor to the window on the second.
    const RECT second = second_monitor();
    const Picture second_back = sky(second.right - second.left, second.bottom - second.top);
    const Picture second_app = app(420, 300, 0x2E8B57);
    const POINT band_from{260, 200};
    POINT band_to{260, 200};
    if (two_monitors) {
        show_picture(second_back, second.left, second.top, NULL);
        const int ax = second.left + (second.right - second.left - 420) / 2;
        const int ay = second.top + (second.bottom - second.top - 300) / 2;
        show_picture(second_app, ax, ay, NULL);
        SetForegroundWindow(first);
        band_to = POINT{ax + 260, ay + 180};
    }
    const auto play = [&](HWND dialog) {
        return two_monitors ? play_two_monitors(dialog, out, band_from, band_to)
                            : play_user(dialog, out, panel_rect);
    };
    send_move(760, 560);
    wait_for_quiet_screen();

    bool played = false;
    bool have_result = false;
    if (argc == 2) {
        HMODULE dll = LoadLibraryA("Ostrine.dll");
        if (dll == NULL) {
            printf("Ostrine.dll not found\n");
            return 1;
        }
        auto capture = reinterpret_cast<OstrineGetCapBitmapFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(dll, "GetCapBitmap")));
        auto capture_ex = reinterpret_cast<OstrineGetCapBitmapExFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(dll, "GetCapBitmapEx")));
        OSTRINE_CAPTURE request = {sizeof request, OSTRINE_CAPTURE_ALL_MONITORS, {0, 0, 0, 0}};
        HBITMAP result =
            drive_capture([&] { return two_monitors ? capture_ex(&request) : capture(); },
                          [&](HWND dialog) { played = play(dialog); });
        int rw = 0, rh = 0;
        if (result != NULL) {
            const std::vector<uint32_t> pixels = bitmap_pixels(result, &rw, &rh);
            have_result =
                save_bmp((out + (two_monitors ? "\\monitors-result.bmp" : "\\result.bmp")).c_str(),
                         pixels, rw, rh);
        }
        if (two_monitors)
            printf("selected (%ld,%ld)-(%ld,%ld)\n", static_cast<long>(request.rcSelection.left),
                   static_cast<long>(request.rcSelection.top),
                   static_cast<long>(request.rcSelection.right),
                   static_cast<long>(request.rcSelection.bottom));
        if (two_monitors && result != NULL)
            DeleteObject(result);
        printf("result   %d x %d %s\n", rw, rh, have_result ? "saved" : "MISSING");
        if (!two_monitors) {
            send_move(760, 560);
            wait_for_quiet_screen();
            OSTRINE_CAPTURE marked_request = {sizeof marked_request,
                                              OSTRINE_CAPTURE_MARKUP | OSTRINE_CAPTURE_DIM |
                                                  OSTRINE_CAPTURE_NO_POINTER,
                                              {0, 0, 0, 0}};
            bool marked = false;
            HBITMAP marked_result =
                drive_capture([&] { return capture_ex(&marked_request); },
                              [&](HWND dialog) { marked = play_markup(dialog, out, panel_rect); });
            if (marked_result != NULL) {
                const std::vector<uint32_t> pixels = bitmap_pixels(marked_result, &rw, &rh);
                marked = marked && save_bmp((out + "\\markup-result.bmp").c_str(), pixels, rw, rh);
                DeleteObject(marked_result);
            }
            printf("markup result %d x %d %s\n", rw, rh, marked ? "saved" : "MISSING");
            have_result = have_result && marked;
        }
        FreeLibrary(dll);
    } else {
        std::string command;
        for (int i = 2; i < argc; ++i)
            command += std::string(i > 2 ? " " : "") + "\"" + argv[i] + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        // The host's lines go where this program's go.
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        fflush(stdout);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
            printf("could not start %s\n", command.c_str());
            return 1;
        }
        HWND dialog = wait_for_capture_dialog(10000);
        if (dialog != NULL)
            played = play(dialog);
        else
            printf("the host opened no capture\n");
        // Keeps this program's windows painted while the host finishes.
        wait_until(
            [&] {
                MSG msg;
                while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
                    DispatchMessageA(&msg);
                return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
            },
            10000);
        DWORD status = 1;
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        have_result = status == 0;
    }
    return played && have_result ? 0 : 1;
}
