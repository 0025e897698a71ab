// Benchmark of the interactive capture, run under Wine on a virtual display (or on Windows):
//   1. the time from calling GetCapBitmap to the frozen screen being on the display;
//   2. the cost of one pointer move during a drag, for a small and a large selection;
//   3. with the mark-up toolbar (GetCapBitmapEx, OSTRINE_CAPTURE_MARKUP): the opening, and the
//      cost of one pointer move while a rectangle or a pen stroke is drawn, for a small and a
//      large selection.
// The pointer moves are sent to the dialog from a second thread; hooks on the capturing thread
// time the dialog's handling of each (state machine, trace line, incremental redraw), without
// the cross-thread send around it.
//
// The desktop holds `windows` top-level windows with four child windows each, painted with the
// host's pattern so that the screen looks the same: the capture collects them when it opens.
//
//   ostrine_capture_bench [captures] [moves] [windows] [--no-markup]
//       --no-markup leaves out the mark-up's figures (for a DLL without it)
//   ostrine_capture_bench [captures] [moves] [windows] --monitors
//       on a desktop of several monitors: GetCapBitmapEx's opening time and pointer moves for the
//       primary monitor alone and for the whole desktop (OSTRINE_CAPTURE_ALL_MONITORS), taken in
//       turn in the same run
#include "Ostrine.h"
#include "core/markup_toolbar.h"
#include "gui_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

double ticks_per_ms;
LARGE_INTEGER move_start;
std::vector<double> move_ms;
LARGE_INTEGER init_done;

double now_ms() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / ticks_per_ms;
}

bool is_capture_dialog(HWND hwnd) {
    char name[16] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return std::string(name) == "#32770";
}

LRESULT CALLBACK before_call(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_MOUSEMOVE && is_capture_dialog(m->hwnd))
        QueryPerformanceCounter(&move_start);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

LRESULT CALLBACK after_call(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && is_capture_dialog(m->hwnd)) {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        if (m->message == WM_MOUSEMOVE)
            move_ms.push_back(static_cast<double>(t.QuadPart - move_start.QuadPart) / ticks_per_ms);
        else if (m->message == WM_INITDIALOG)
            init_done = t;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// A window that shows the pattern at its place on the screen: invisible against the host's.
LRESULT CALLBACK pattern_part_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetWindowRect(hwnd, &rc);
        const int w = rc.right - rc.left, h = rc.bottom - rc.top;
        std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                px[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
                    pattern_pixel(rc.left + x, rc.top + y);
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

void show_desktop_windows(int count) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = pattern_part_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "OstrineBenchWindow";
    RegisterClassA(&wc);
    for (int i = 0; i < count; ++i) {
        // A grid of overlapping windows over the left part of the display.
        const int x = 20 + (i % 6) * 140, y = 20 + (i / 6 % 5) * 110;
        HWND top = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, x, y, 200, 150,
                                   NULL, NULL, wc.hInstance, NULL);
        for (int c = 0; c < 4; ++c)
            CreateWindowExA(0, wc.lpszClassName, "", WS_CHILD | WS_VISIBLE, 10 + (c % 2) * 95,
                            10 + (c / 2) * 65, 85, 55, top, NULL, wc.hInstance, NULL);
    }
}

void escape() {
    send_key(VK_ESCAPE, true);
    send_key(VK_ESCAPE, false);
}

// Ends a timed run: one more move, to a corner that no earlier step drew at, and the wait until
// its handle is on the screen. The dialog's drawing requests reach the display server in order,
// so by then every earlier step has been drawn too.
void sync_with_display(HWND dialog, int x, int y) {
    SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
    wait_until([&] { return screen_pixel(x + 1, y + 1) == 0x0A6482; }, 10000);
}

// Press at `anchor`, then `moves` pointer moves alternating between two neighbouring far corners.
void time_moves(const std::function<HBITMAP()>& capture, POINT anchor, int w, int h, int moves,
                const char* label, double* repaint_ms = nullptr) {
    move_ms.clear();
    double sent = 0, shown = 0;
    drive_capture(capture, [&](HWND dialog) {
        send_move(anchor.x, anchor.y);
        send_button(true);
        wait_until([&] { return mouse_capture_of(dialog) == dialog; });
        const double start = now_ms();
        for (int i = 0; i < moves; ++i) {
            const int d = i % 2;
            SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON,
                         MAKELPARAM(anchor.x + w + d, anchor.y + h + d));
        }
        sent = (now_ms() - start) / moves;
        sync_with_display(dialog, anchor.x + w / 2, anchor.y + h / 2);
        shown = (now_ms() - start) / (moves + 1);
        if (repaint_ms != nullptr) {
            // What repainting the whole dialog (frozen background and frame) costs instead.
            const int repaints = 50;
            const double t0 = now_ms();
            for (int i = 0; i < repaints; ++i)
                RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            sync_with_display(dialog, anchor.x + w / 3, anchor.y + h / 3);
            *repaint_ms = (now_ms() - t0) / repaints;
        }
        send_button(false);
        escape();
        escape();
    });
    printf("%-28s %8.3f %8.3f %8.3f %8.3f %10.3f %10.3f\n", label, percentile(move_ms, 0.1),
           median(move_ms), percentile(move_ms, 0.9), percentile(move_ms, 0.99), sent, shown);
}

// One opening: from the call to the end of the dialog's set-up and to the frozen screen on the
// display. The pointer drawn into the frozen image is the one visible difference from the screen
// below: when it shows, the frozen screen is on the display.
void time_opening(const std::function<HBITMAP()>& capture, std::vector<double>* to_init,
                  std::vector<double>* to_shown) {
    const int px = 1000, py = 740;
    const RECT probe{px, py, px + 8, py + 8};
    send_move(px, py);
    wait_for_pattern_on_screen();
    const std::vector<uint32_t> below = read_screen(probe);
    init_done.QuadPart = 0;
    double shown = 0;
    const double start = now_ms();
    std::thread watcher([&] {
        while (read_screen(probe) == below && now_ms() - start < 5000) {
        }
        shown = now_ms();
        HWND dialog = wait_for_capture_dialog();
        escape();
        wait_until([&] { return !IsWindow(dialog); });
    });
    HBITMAP result = capture();
    watcher.join();
    if (result != NULL)
        DeleteObject(result);
    to_init->push_back(static_cast<double>(init_done.QuadPart) / ticks_per_ms - start);
    to_shown->push_back(shown - start);
}

// The primary monitor alone against the whole desktop, in turn.
int compare_monitors(OstrineGetCapBitmapExFn capture_ex, int captures, int moves) {
    const RECT v = virtual_screen();
    printf("monitors %d, virtual screen %ld x %ld, primary %d x %d, %d captures each, %d moves\n\n",
           GetSystemMetrics(SM_CMONITORS), static_cast<long>(v.right - v.left),
           static_cast<long>(v.bottom - v.top), screen_width(), screen_height(), captures, moves);
    const DWORD flags[2] = {0, OSTRINE_CAPTURE_ALL_MONITORS};
    const char* names[2] = {"primary monitor", "whole desktop"};
    std::vector<double> init[2], shown[2];
    for (int i = 0; i < captures; ++i)
        for (int k = 0; k < 2; ++k) {
            OSTRINE_CAPTURE request = {sizeof request, flags[k], {0, 0, 0, 0}};
            time_opening([&] { return capture_ex(&request); }, &init[k], &shown[k]);
        }
    printf("%-28s %8s %8s %8s %8s\n", "opening (ms)", "min", "median", "p90", "max");
    for (int k = 0; k < 2; ++k) {
        const std::string a = std::string(names[k]) + ", set-up done";
        const std::string b = std::string(names[k]) + ", shown";
        printf("%-28s %8.2f %8.2f %8.2f %8.2f\n", a.c_str(), percentile(init[k], 0.0),
               median(init[k]), percentile(init[k], 0.9), percentile(init[k], 1.0));
        printf("%-28s %8.2f %8.2f %8.2f %8.2f\n", b.c_str(), percentile(shown[k], 0.0),
               median(shown[k]), percentile(shown[k], 0.9), percentile(shown[k], 1.0));
    }
    printf("ratio of the medians, whole desktop / primary: set-up %.2f, shown %.2f\n\n",
           median(init[1]) / median(init[0]), median(shown[1]) / median(shown[0]));
    printf("%-28s %8s %8s %8s %8s %10s %10s\n", "pointer move in a drag (ms)", "p10", "median",
           "p90", "p99", "with send", "displayed");
    for (int round = 0; round < 2; ++round)
        for (int k = 0; k < 2; ++k) {
            OSTRINE_CAPTURE request = {sizeof request, flags[k], {0, 0, 0, 0}};
            const std::string label = std::string(names[k]) + ", 200 x 150";
            time_moves([&] { return capture_ex(&request); }, POINT{100, 100}, 200, 150, moves,
                       label.c_str());
        }
    return 0;
}

// With the mark-up: a selection of w x h at `anchor`, the tool picked on the toolbar, a press
// inside, then `moves` pointer moves while the mark is drawn: a rectangle's corner alternates
// between two neighbouring points near the far corner; a pen goes round a path inside.
void time_markup_moves(OstrineGetCapBitmapExFn capture_ex, int tool_button, POINT anchor, int w,
                       int h, int moves, const char* label) {
    move_ms.clear();
    double shown = 0;
    OSTRINE_CAPTURE request = {sizeof request,
                               OSTRINE_CAPTURE_MARKUP | OSTRINE_CAPTURE_NO_CLIPBOARD |
                                   OSTRINE_CAPTURE_NO_POINTER,
                               {0, 0, 0, 0}};
    drive_capture([&] { return capture_ex(&request); },
                  [&](HWND dialog) {
                      send_move(anchor.x, anchor.y);
                      send_button(true);
                      wait_until([&] { return mouse_capture_of(dialog) == dialog; });
                      send_move(anchor.x + w / 2, anchor.y + h / 2);
                      send_move(anchor.x + w, anchor.y + h);
                      wait_until([&] {
                          POINT pt;
                          GetCursorPos(&pt);
                          return pt.x == anchor.x + w && pt.y == anchor.y + h;
                      });
                      send_button(false);
                      HWND bar = NULL;
                      RECT rc = {0, 0, 0, 0};
                      wait_until([&] {
                          bar = FindWindowExA(dialog, NULL, "OstrineMarkupToolbar", NULL);
                          return bar != NULL && IsWindowVisible(bar) && GetWindowRect(bar, &rc);
                      });
                      const GeoRect b = toolbar_layout(96).buttons[tool_button];
                      send_move(rc.left + (b.left + b.right) / 2, rc.top + (b.top + b.bottom) / 2);
                      send_button(true);
                      send_button(false);
                      const bool active = wait_until([&] {
                          return screen_pixel(rc.left + b.left + 1, rc.top + b.top + 1) == 0xCCE4F7;
                      });
                      const POINT from{anchor.x + 2, anchor.y + 2};
                      send_move(from.x, from.y);
                      send_button(true);
                      wait_until([&] { return mouse_capture_of(dialog) == dialog; });
                      for (int i = 0; i < moves; ++i) {
                          int x, y;
                          if (tool_button == BUTTON_RECTANGLE) {
                              x = anchor.x + w - 3 - i % 2;
                              y = anchor.y + h - 3 - i % 2;
                          } else {
                              // Round the inside of the selection, one step a move.
                              const int step = i % 40;
                              x = anchor.x + 2 + (w - 4) * (step < 20 ? step : 40 - step) / 20;
                              y = anchor.y + 2 + (h - 4) * ((i / 40) % 2) / 2 + step % 2;
                          }
                          SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
                      }
                      // On the display too: one more move, and the wait until its mark shows.
                      const double t0 = now_ms();
                      const int fx = anchor.x + w * 3 / 4,
                                fy = anchor.y + h - 4; // clear of the handles
                      SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(fx, fy));
                      if (!wait_until([&] { return screen_pixel(fx, fy) == 0xE61E1E; }, 10000))
                          printf("(no mark at %d,%d: %06X; tool %s)\n", fx, fy,
                                 screen_pixel(fx, fy), active ? "picked" : "NOT picked");
                      shown = now_ms() - t0;
                      send_button(false);
                      escape();
                      escape();
                  });
    printf("%-28s %8.3f %8.3f %8.3f %8.3f %10.3f\n", label, percentile(move_ms, 0.1),
           median(move_ms), percentile(move_ms, 0.9), percentile(move_ms, 0.99), shown);
}

} // namespace

int main(int argc, char** argv) {
    const int captures = argc > 1 ? atoi(argv[1]) : 20;
    const int moves = argc > 2 ? atoi(argv[2]) : 500;
    const int windows = argc > 3 ? atoi(argv[3]) : 30;
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    ticks_per_ms = static_cast<double>(freq.QuadPart) / 1000.0;

    HMODULE dll = LoadLibraryA("Ostrine.dll");
    if (dll == NULL) {
        printf("Ostrine.dll not found\n");
        return 1;
    }
    auto capture = reinterpret_cast<OstrineGetCapBitmapFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "GetCapBitmap")));
    show_pattern_window();
    show_desktop_windows(windows);
    SetWindowsHookExA(WH_CALLWNDPROC, before_call, NULL, GetCurrentThreadId());
    SetWindowsHookExA(WH_CALLWNDPROCRET, after_call, NULL, GetCurrentThreadId());
    if (argc > 4 && std::string(argv[4]) == "--monitors") {
        auto capture_ex = reinterpret_cast<OstrineGetCapBitmapExFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(dll, "GetCapBitmapEx")));
        const int status =
            capture_ex != nullptr ? compare_monitors(capture_ex, captures, moves) : 1;
        FreeLibrary(dll);
        return status;
    }

    printf("screen %d x %d, %d windows with 4 children each, %d captures, %d moves per selection "
           "size\n\n",
           screen_width(), screen_height(), windows, captures, moves);

    std::vector<double> to_init, to_shown;
    for (int i = 0; i < captures; ++i)
        time_opening(capture, &to_init, &to_shown);
    // The minimum as well: on a shared machine it is the figure least disturbed by other work.
    printf("%-28s %8s %8s %8s %8s\n", "opening (ms)", "min", "median", "p90", "max");
    printf("%-28s %8.2f %8.2f %8.2f %8.2f\n", "GetCapBitmap to set-up done",
           percentile(to_init, 0.0), median(to_init), percentile(to_init, 0.9),
           percentile(to_init, 1.0));
    printf("%-28s %8.2f %8.2f %8.2f %8.2f\n", "GetCapBitmap to frozen shown",
           percentile(to_shown, 0.0), median(to_shown), percentile(to_shown, 0.9),
           percentile(to_shown, 1.0));
    // GetCapBitmapEx without the mark-up's flags, with the toolbar, with the dimmed screen too.
    const bool markup = !(argc > 4 && std::string(argv[4]) == "--no-markup");
    auto capture_ex = reinterpret_cast<OstrineGetCapBitmapExFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(dll, "GetCapBitmapEx")));
    const DWORD ex_flags[] = {0, OSTRINE_CAPTURE_MARKUP,
                              OSTRINE_CAPTURE_MARKUP | OSTRINE_CAPTURE_DIM};
    const char* const ex_labels[] = {"GetCapBitmapEx", "GetCapBitmapEx, MARKUP",
                                     "GetCapBitmapEx, MARKUP|DIM"};
    for (int k = 0; capture_ex != NULL && k < (markup ? 3 : 1); ++k) {
        std::vector<double> init, shown;
        for (int i = 0; i < captures; ++i) {
            OSTRINE_CAPTURE request = {sizeof request, ex_flags[k], {0, 0, 0, 0}};
            time_opening([&] { return capture_ex(&request); }, &init, &shown);
        }
        const std::string a = std::string(ex_labels[k]) + ", set-up";
        const std::string b = std::string(ex_labels[k]) + ", shown";
        printf("%-28s %8.2f %8.2f %8.2f %8.2f\n", a.c_str(), percentile(init, 0.0), median(init),
               percentile(init, 0.9), percentile(init, 1.0));
        printf("%-28s %8.2f %8.2f %8.2f %8.2f\n", b.c_str(), percentile(shown, 0.0), median(shown),
               percentile(shown, 0.9), percentile(shown, 1.0));
    }
    printf("\n");

    // p10 as well: the figure least disturbed by other work on a shared machine.
    printf("%-28s %8s %8s %8s %8s %10s %10s\n", "pointer move in a drag (ms)", "p10", "median",
           "p90", "p99", "with send", "displayed");
    const std::function<HBITMAP()> call = [&] { return capture(); };
    time_moves(call, POINT{100, 100}, 20, 20, moves, "selection 20 x 20");
    time_moves(call, POINT{100, 100}, 200, 150, moves, "selection 200 x 150");
    double repaint_ms = 0;
    time_moves(call, POINT{40, 40}, 900, 650, moves, "selection 900 x 650", &repaint_ms);
    printf("\n%-28s %8.3f\n", "whole repaint, displayed", repaint_ms);
    if (markup && capture_ex != NULL && screen_width() >= 1000 && screen_height() >= 760) {
        printf("\n%-28s %8s %8s %8s %8s %10s\n", "move drawing a mark (ms)", "p10", "median", "p90",
               "p99", "last shown");
        time_markup_moves(capture_ex, BUTTON_RECTANGLE, POINT{40, 40}, 20, 20, moves,
                          "rectangle, 20 x 20");
        time_markup_moves(capture_ex, BUTTON_RECTANGLE, POINT{40, 40}, 900, 650, moves,
                          "rectangle, 900 x 650");
        time_markup_moves(capture_ex, BUTTON_RECTANGLE + 4, POINT{40, 40}, 20, 20, moves,
                          "pen, 20 x 20");
        time_markup_moves(capture_ex, BUTTON_RECTANGLE + 4, POINT{40, 40}, 900, 650, moves,
                          "pen, 900 x 650");
    }
    FreeLibrary(dll);
    return 0;
}
