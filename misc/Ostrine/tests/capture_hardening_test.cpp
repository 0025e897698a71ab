// A capture tried the way a hostile host and an unlucky user would: calls from inside a capture
// and from another thread, a host that gave the dialog class its own cursor, a selection beyond
// the display, failing GDI calls, WM_QUIT and keys already in the host's queue, a thread without
// the keyboard focus, a lost mouse capture, a clipboard held by someone else.
#include "Ostrine.h"
#include "capture_checks.h"
#include "dll_test_support.h"
#include "gui_driver.h"
#include "handle_counter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Number of visible dialogs of the system dialog class: the capture dialogs that are open.
int open_capture_dialogs() {
    int n = 0;
    for (HWND w = FindWindowExA(NULL, NULL, "#32770", NULL); w != NULL;
         w = FindWindowExA(NULL, w, "#32770", NULL))
        n += IsWindowVisible(w) ? 1 : 0;
    return n;
}

// Moves the pointer and waits until the system reports it there.
bool pointer_moved_to(int x, int y) {
    return move_until(x, y, [&] {
        POINT p;
        return GetCursorPos(&p) && p.x == x && p.y == y;
    });
}

HCURSOR dialog_class_cursor() {
    WNDCLASSEXA dialog_class = {};
    dialog_class.cbSize = sizeof dialog_class;
    GetClassInfoExA(NULL, "#32770", &dialog_class);
    return dialog_class.hCursor;
}

class HostileHost : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { host = show_pattern_window(); }

    void SetUp() override {
        dll = LoadLibraryA(built_dll_path().c_str());
        ASSERT_NE(dll, nullptr);
        get_cap_bitmap = export_as<OstrineGetCapBitmapFn>(GetProcAddress(dll, "GetCapBitmap"));
        ASSERT_NE(get_cap_bitmap, nullptr);
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

    static HWND host;
    HMODULE dll = NULL;
    OstrineGetCapBitmapFn get_cap_bitmap = nullptr;
};

HWND HostileHost::host = NULL;

// A window of the host's main thread that calls GetCapBitmap again from a posted message, a
// timer or a hot key, as a host's screenshot key would.
const UINT WM_CALL_NOW = WM_APP + 1;
const UINT WM_CALL_BY_TIMER = WM_APP + 2;
OstrineGetCapBitmapFn nested_call = nullptr;
std::atomic<int> nested_returned{0};
HBITMAP nested_result = NULL;
DWORD nested_took_ms = 0;

void call_nested() {
    const DWORD start = GetTickCount();
    nested_result = nested_call();
    nested_took_ms = GetTickCount() - start;
    ++nested_returned;
}

LRESULT CALLBACK nested_caller_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CALL_NOW || message == WM_HOTKEY) {
        call_nested();
        return 0;
    }
    if (message == WM_CALL_BY_TIMER) {
        SetTimer(hwnd, 1, 10, NULL);
        return 0;
    }
    if (message == WM_TIMER) {
        KillTimer(hwnd, 1);
        call_nested();
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND make_nested_caller() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = nested_caller_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "OstrineNestedCaller";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                           wc.hInstance, NULL);
}

TEST_F(HostileHost, ACallFromInsideACaptureReturnsNullAndTouchesNothing) {
    ASSERT_TRUE(count_handles_of(dll));
    HWND caller = make_nested_caller();
    ASSERT_NE(caller, nullptr);
    nested_call = get_cap_bitmap;
    nested_returned = 0;
    const DWORD sequence = put_marker_on_clipboard("nested");
    HBITMAP result = capture([&](HWND dialog) {
        ASSERT_TRUE(drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250}));
        // The modal loop dispatches the host's posted message, its timer: each calls again.
        const UINT ways[] = {WM_CALL_NOW, WM_CALL_BY_TIMER};
        for (int i = 0; i < 2; ++i) {
            nested_result = reinterpret_cast<HBITMAP>(1);
            PostMessageA(caller, ways[i], 0, 0);
            ASSERT_TRUE(wait_until([&] { return nested_returned == i + 1; }, 2000))
                << "the inner call did not return (way " << i << ")";
            EXPECT_EQ(nested_result, nullptr);
            EXPECT_LT(nested_took_ms, 500u);
        }
        // The running capture is as it was: one dialog, its outline, its hook, the clipboard.
        EXPECT_EQ(open_capture_dialogs(), 1);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_TRUE(frame_drawn({100, 100, 300, 250}));
        EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
        EXPECT_TRUE(clipboard_holds_marker("nested"));
        escape();
        EXPECT_TRUE(wait_until([&] { return screen_mismatches({95, 95, 305, 255}) == 0; }));
        EXPECT_TRUE(IsWindow(dialog)) << "one Esc only clears the selection";
        drag(dialog, {200, 150}, {{320, 260}}, {200, 150, 320, 260});
        accept_at(dialog, 250, 200);
    });
    DestroyWindow(caller);
    EXPECT_EQ(pattern_mismatches(result, {200, 150, 320, 260}), 0);
    // Nothing of either call is left but the result itself.
    const HandleCounts& counts = handle_counts();
    EXPECT_EQ(counts.gdi_objects.size(), 1u);
    EXPECT_EQ(counts.gdi_objects.count(result), 1u);
    EXPECT_EQ(counts.cursors.size(), 0u);
    EXPECT_EQ(counts.dcs_held, 0);
    EXPECT_EQ(counts.windows.size(), 1u) << "only the one capture made an owner window";
    for (HWND w : counts.windows)
        EXPECT_FALSE(IsWindow(w));
}

TEST_F(HostileHost, ACallFromAnotherThreadReturnsNullAtOnce) {
    const DWORD sequence = put_marker_on_clipboard("thread");
    HBITMAP result = capture([&](HWND dialog) {
        ASSERT_TRUE(drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250}));
        std::atomic<bool> returned{false};
        HBITMAP other = reinterpret_cast<HBITMAP>(1);
        std::thread second([&] {
            other = get_cap_bitmap();
            returned = true;
        });
        const bool quick = wait_until([&] { return returned.load(); }, 1000);
        EXPECT_TRUE(quick) << "the second thread's call blocked";
        if (!quick) {
            // Let the second capture end so that the thread can be joined.
            for (HWND w = FindWindowExA(NULL, NULL, "#32770", NULL); w != NULL;
                 w = FindWindowExA(NULL, w, "#32770", NULL))
                if (w != dialog)
                    PostMessageA(w, WM_CLOSE, 0, 0);
        }
        second.join();
        EXPECT_EQ(other, nullptr);
        EXPECT_EQ(open_capture_dialogs(), 1);
        EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
        EXPECT_TRUE(frame_drawn({100, 100, 300, 250}));
        accept_at(dialog, 200, 175);
    });
    EXPECT_EQ(pattern_mismatches(result, {100, 100, 300, 250}), 0);
}

TEST_F(HostileHost, EveryEndingPutsBackTheHostsClassCursor) {
    // The host gave the shared dialog class a cursor of its own.
    HWND host_dialog = CreateWindowExA(0, "#32770", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                       GetModuleHandleA(NULL), NULL);
    ASSERT_NE(host_dialog, nullptr);
    HCURSOR cross = LoadCursorA(NULL, IDC_CROSS);
    SetClassLongPtrA(host_dialog, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cross));
    DestroyWindow(host_dialog);
    ASSERT_EQ(dialog_class_cursor(), cross);
    for (int ending = 0; ending < 3; ++ending) {
        HBITMAP result = capture([&](HWND dialog) {
            drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
            move_until(200, 200,
                       [&] { return class_cursor(dialog) == LoadCursorA(NULL, IDC_SIZEALL); });
            if (ending == 0)
                accept_at(dialog, 200, 200);
            else if (ending == 1)
                escape(), escape();
            else
                PostMessageA(dialog, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(result != nullptr, ending == 0);
        EXPECT_EQ(dialog_class_cursor(), cross) << "ending " << ending;
    }
    // The other tests expect the arrow.
    host_dialog = CreateWindowExA(0, "#32770", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    SetClassLongPtrA(host_dialog, GCLP_HCURSOR,
                     reinterpret_cast<LONG_PTR>(LoadCursorA(NULL, IDC_ARROW)));
    DestroyWindow(host_dialog);
}

} // namespace

namespace {

TEST_F(HostileHost, OnlyPixelsOfTheDisplayAreHandedBack) {
    // A selection moved past the right and bottom edges: the part on the display.
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {900, 500}, {{1000, 600}}, {900, 500, 1000, 600});
        send_move(950, 550);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        // The bottom-left handle: the opaque info box lies over the top-left one.
        ASSERT_TRUE(move_until(1010, 600, [&] {
            return screen_pixel(958, 647) == kFrameColour && screen_pixel(962, 651) == kFrameColour;
        }));
        send_button(false);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        accept_at(dialog, 1000, 620);
    });
    EXPECT_EQ(pattern_mismatches(result, {960, 550, 1024, 650}), 0);

    // A selection moved wholly off the display (a pointer on a display beside the primary one):
    // nothing to hand back, so acceptance is a cancel with the clipboard untouched.
    const DWORD sequence = put_marker_on_clipboard("outside");
    result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {{200, 160}}, {100, 100, 200, 160});
        send_move(150, 130);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(1150 + 1024, 130));
        send_button(false);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        accept_at(dialog, 500, 500);
    });
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    EXPECT_TRUE(clipboard_holds_marker("outside"));
}

TEST_F(HostileHost, AFailedCropIsACancelWithTheClipboardUntouched) {
    ASSERT_TRUE(count_handles_of(dll));
    const DWORD sequence = put_marker_on_clipboard("crop");
    // The crop's bitmap cannot be made (a 32-bit host short of address space), then its pixels
    // cannot be copied (a locked desktop): never a black bitmap returned as a success.
    for (int step = 0; step < 2; ++step) {
        if (step == 0)
            fail_bitmaps_of_size({123, 77});
        else
            fail_blits_of_size({123, 77});
        HBITMAP result = capture([&](HWND dialog) {
            drag(dialog, {100, 100}, {{223, 177}}, {100, 100, 223, 177});
            accept_at(dialog, 150, 150);
        });
        fail_bitmaps_of_size({0, 0});
        fail_blits_of_size({0, 0});
        EXPECT_EQ(result, nullptr) << "step " << step;
        EXPECT_EQ(GetClipboardSequenceNumber(), sequence) << "step " << step;
    }
    EXPECT_TRUE(clipboard_holds_marker("crop"));
    EXPECT_EQ(handle_counts().gdi_objects.size(), 0u);
}

TEST_F(HostileHost, ACaptureWhoseScreenCannotBeFrozenDoesNotOpen) {
    ASSERT_TRUE(count_handles_of(dll));
    fail_bitmaps_of_size({screen_width(), screen_height()});
    std::atomic<bool> returned{false};
    std::atomic<bool> dialog_seen{false};
    bool closed_by_watchdog = false;
    std::thread watchdog([&] {
        if (wait_until(
                [&] {
                    if (open_capture_dialogs() > 0)
                        dialog_seen = true;
                    return returned.load();
                },
                3000))
            return;
        HWND dialog = FindWindowA("#32770", NULL);
        closed_by_watchdog = dialog != NULL;
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(wait_for_pattern_on_screen());
    HBITMAP result = get_cap_bitmap();
    returned = true;
    watchdog.join();
    fail_bitmaps_of_size({0, 0});
    EXPECT_EQ(result, nullptr);
    EXPECT_FALSE(closed_by_watchdog);
    EXPECT_FALSE(dialog_seen);
    const HandleCounts& counts = handle_counts();
    EXPECT_EQ(counts.gdi_objects.size(), 0u);
    EXPECT_EQ(counts.cursors.size(), 0u);
    EXPECT_EQ(counts.dcs_held, 0);
    for (HWND w : counts.windows)
        EXPECT_FALSE(IsWindow(w));
}

} // namespace

namespace {

// The WM_QUIT waiting in this thread's queue, taken out: its exit code, or -1 when none waits.
int take_quit() {
    MSG msg;
    if (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
        return static_cast<int>(msg.wParam);
    return -1;
}

TEST_F(HostileHost, AWaitingQuitStaysTheHostsAndOpensNoCapture) {
    EXPECT_TRUE(wait_for_pattern_on_screen());
    const DWORD sequence = put_marker_on_clipboard("quit");
    PostQuitMessage(7);
    std::atomic<bool> returned{false};
    bool closed_by_watchdog = false;
    std::thread watchdog([&] {
        if (wait_until([&] { return returned.load(); }, 3000))
            return;
        HWND dialog = FindWindowA("#32770", NULL);
        closed_by_watchdog = dialog != NULL;
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    HBITMAP result = get_cap_bitmap();
    returned = true;
    watchdog.join();
    EXPECT_EQ(result, nullptr);
    EXPECT_FALSE(closed_by_watchdog) << "the capture opened";
    EXPECT_EQ(take_quit(), 7) << "the host's WM_QUIT was swallowed";
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

TEST_F(HostileHost, AQuitDuringACaptureEndsItAsACancelAndStaysQueued) {
    const DWORD sequence = put_marker_on_clipboard("quit");
    const DWORD host_thread = GetCurrentThreadId();
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        PostThreadMessageA(host_thread, WM_QUIT, 9, 0);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    });
    EXPECT_EQ(result, nullptr) << "a WM_QUIT is no acceptance";
    EXPECT_EQ(take_quit(), 9);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    EXPECT_TRUE(clipboard_holds_marker("quit"));
}

LRESULT CALLBACK plain_window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A top-level window of the host, in front and with the keyboard focus.
HWND show_host_window(const char* title) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = plain_window_proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "OstrineHostWindow";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                50, 200, 150, NULL, NULL, wc.hInstance, NULL);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    wait_until([&] { return GetForegroundWindow() == hwnd; });
    return hwnd;
}

void send_alt_f4() {
    send_key(VK_MENU, true);
    // A modifier sent in the same batch as its key is not always seen as held.
    Sleep(50);
    send_key(VK_F4, true);
    send_key(VK_F4, false);
    send_key(VK_MENU, false);
}

TEST_F(HostileHost, AnAltF4TypedJustBeforeTheCallLeavesTheHostsWindow) {
    HWND window = show_host_window("typed ahead");
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(GetForegroundWindow(), window);
    send_alt_f4();
    // The keys wait in this thread's queue when the call starts.
    ASSERT_TRUE(wait_until([] { return (HIWORD(GetQueueStatus(QS_KEY)) & QS_KEY) != 0; }));
    // Straight into the call: nothing may handle this thread's messages before it.
    HBITMAP result = drive_capture(get_cap_bitmap, [&](HWND dialog) {
        EXPECT_TRUE(IsWindow(window));
        escape();
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    });
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(IsWindow(window)) << "the host's window was closed";
    DestroyWindow(window);
}

} // namespace

namespace {

TEST_F(HostileHost, ACaptureOnAWorkerThreadSeesEscAndTheCloseCommand) {
    // The host's main window (this thread's) is in front; the capture runs on a worker thread.
    SetForegroundWindow(host);
    ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == host; }));
    EXPECT_TRUE(wait_for_pattern_on_screen());
    for (int ending = 0; ending < 2; ++ending) {
        std::atomic<bool> returned{false};
        HBITMAP result = reinterpret_cast<HBITMAP>(1);
        std::thread worker([&] {
            result = get_cap_bitmap();
            returned = true;
        });
        HWND dialog = wait_for_capture_dialog();
        ASSERT_NE(dialog, nullptr);
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        if (ending == 0) {
            escape();
            EXPECT_TRUE(wait_until([&] {
                return screen_mismatches({95, 95, 305, 255}) == 0;
            })) << "Esc did not clear the selection";
            EXPECT_TRUE(IsWindow(dialog));
            escape();
        } else {
            send_alt_f4();
        }
        const bool ended = wait_until([&] { return returned.load(); }, 2000);
        EXPECT_TRUE(ended) << "ending " << ending << " did not reach the capture";
        if (!ended)
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        worker.join();
        EXPECT_EQ(result, nullptr);
        SetForegroundWindow(host);
        EXPECT_TRUE(wait_for_pattern_on_screen());
    }
}

// A window of the driving thread, as another program in front would be.
LRESULT CALLBACK counting_window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// The key-downs of `vk` that reached `hwnd`'s queue. (A key-up after the capture has ended goes
// to the window in front, as it should.)
int key_downs_waiting(HWND hwnd, WPARAM vk) {
    MSG msg;
    int n = 0;
    while (PeekMessageA(&msg, hwnd, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE))
        n += msg.wParam == vk && (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN);
    return n;
}

TEST_F(HostileHost, EscAndTheCloseCommandReachTheCaptureWhenAnotherWindowIsInFront) {
    for (int ending = 0; ending < 2; ++ending) {
        int other_got_keys = -1;
        bool other_alive = false;
        HBITMAP result = capture([&](HWND dialog) {
            drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
            WNDCLASSA wc = {};
            wc.lpfnWndProc = counting_window_proc;
            wc.hInstance = GetModuleHandleA(NULL);
            wc.lpszClassName = "OstrineOtherProgram";
            RegisterClassA(&wc);
            HWND other =
                CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "other", WS_POPUP | WS_VISIBLE,
                                600, 500, 100, 100, NULL, NULL, wc.hInstance, NULL);
            SetForegroundWindow(other);
            ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == other; }));
            if (ending == 0) {
                escape();
                EXPECT_TRUE(wait_until([&] {
                    return screen_mismatches({95, 95, 305, 255}) == 0;
                })) << "Esc did not clear the selection";
                escape();
            } else {
                send_alt_f4();
            }
            EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
            other_got_keys = key_downs_waiting(other, ending == 0 ? VK_ESCAPE : VK_F4);
            other_alive = IsWindow(other) != 0;
            DestroyWindow(other);
        });
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(other_got_keys, 0) << "ending " << ending;
        EXPECT_TRUE(other_alive);
        SetForegroundWindow(host);
    }
}

} // namespace

namespace {

TEST_F(HostileHost, ALostMouseCaptureEndsTheDragAsAReleaseWould) {
    // Another program's window comes to the front mid-drag and takes the release.
    HBITMAP result = capture([&](HWND dialog) {
        send_move(100, 100);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        ASSERT_TRUE(move_until(300, 250, [&] { return frame_drawn({100, 100, 300, 250}); }));
        WNDCLASSA wc = {};
        wc.lpfnWndProc = counting_window_proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "OstrineOtherProgram";
        RegisterClassA(&wc);
        // Under the pointer, so that the release lands on it.
        HWND other =
            CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "other", WS_POPUP | WS_VISIBLE, 260,
                            210, 80, 80, NULL, NULL, wc.hInstance, NULL);
        SetForegroundWindow(other);
        ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == other; }));
        send_button(false);
        // The pointer goes on with the button up: the rubber band must not follow it.
        send_move(500, 400);
        send_move(520, 420);
        EXPECT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
        // The three corners that the other window does not cover.
        EXPECT_TRUE(wait_until([&] {
            return screen_pixel(98, 98) == kFrameColour && screen_pixel(301, 98) == kFrameColour &&
                   screen_pixel(98, 251) == kFrameColour;
        }));
        EXPECT_NE(screen_pixel(521, 98), kFrameColour) << "the band followed the pointer";
        EXPECT_NE(screen_pixel(98, 421), kFrameColour) << "the band followed the pointer";
        DestroyWindow(other);
        accept_at(dialog, 200, 175);
    });
    EXPECT_EQ(pattern_mismatches(result, {100, 100, 300, 250}), 0);
    // The next frozen screen must not show the pointer inside the selection.
    ASSERT_TRUE(pointer_moved_to(1000, 740));

    // A move that arrives without the left button during a move drag, and a capture taken away.
    result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        send_move(200, 175);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        ASSERT_TRUE(move_until(210, 185, [&] { return frame_drawn({110, 110, 310, 260}); }));
        SendMessageA(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(400, 300));
        SendMessageA(dialog, WM_MOUSEMOVE, 0, MAKELPARAM(420, 320));
        EXPECT_TRUE(frame_drawn({110, 110, 310, 260}));
        EXPECT_EQ(mouse_capture_of(dialog), nullptr);
        send_button(false);
        // Another drag, whose capture the system takes away (WM_CAPTURECHANGED).
        send_move(309, 259);
        send_button(true);
        ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
        ASSERT_TRUE(move_until(330, 280, [&] { return frame_drawn({110, 110, 330, 280}); }));
        SendMessageA(dialog, WM_CAPTURECHANGED, 0, 0);
        SendMessageA(dialog, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(500, 450));
        EXPECT_TRUE(frame_drawn({110, 110, 330, 280}));
        send_button(false);
        accept_at(dialog, 200, 175);
    });
    EXPECT_EQ(pattern_mismatches(result, {110, 110, 330, 280}), 0);
}

} // namespace

namespace {

TEST_F(HostileHost, AClipboardHeldBySomeoneElseIsWaitedForBriefly) {
    for (int hold = 0; hold < 2; ++hold) {
        ASSERT_TRUE(pointer_moved_to(1000, 740));
        const DWORD sequence = put_marker_on_clipboard("held");
        // Another thread holds the clipboard open when the user accepts: for a moment (0), or
        // until the call has returned (1).
        std::atomic<bool> held{false}, gone{false}, call_returned{false};
        DWORD gone_at = 0, returned_at = 0;
        std::thread holder([&] {
            held = OpenClipboard(NULL) != 0;
            wait_until([&] { return gone.load(); }, 10000);
            if (hold == 0)
                Sleep(80);
            else
                wait_until([&] { return call_returned.load(); }, 10000);
            CloseClipboard();
        });
        ASSERT_TRUE(wait_until([&] { return held.load(); }));
        HBITMAP result = capture([&](HWND dialog) {
            drag(dialog, {40, 30}, {{140, 90}}, {40, 30, 140, 90});
            accept_at(dialog, 80, 60);
            gone_at = GetTickCount();
            gone = true;
        });
        returned_at = GetTickCount();
        call_returned = true;
        holder.join();
        EXPECT_EQ(pattern_mismatches(result, {40, 30, 140, 90}), 0) << "hold " << hold;
        EXPECT_LT(returned_at - gone_at, 2000u) << "hold " << hold;
        if (hold == 0) {
            ASSERT_TRUE(OpenClipboard(NULL));
            HBITMAP on_clipboard = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
            EXPECT_EQ(pattern_mismatches(on_clipboard, {40, 30, 140, 90}), 0)
                << "the copy was dropped";
            CloseClipboard();
        } else {
            EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
            EXPECT_TRUE(clipboard_holds_marker("held"));
        }
    }
}

} // namespace

namespace {

TEST_F(HostileHost, AnAltF4AimedAtAnotherWindowOfTheCapturesThreadClosesTheCapture) {
    // The host's own window (of the capture's thread) gets the foreground back mid-capture.
    HWND window = show_host_window("in front again");
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(host);
    ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == host; }));
    HBITMAP result = capture([&](HWND dialog) {
        drag(dialog, {100, 100}, {{300, 250}}, {100, 100, 300, 250});
        SetForegroundWindow(window);
        ASSERT_TRUE(wait_until([&] { return GetForegroundWindow() == window; }));
        send_alt_f4();
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
    });
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(IsWindow(window)) << "the host's window was closed";
    DestroyWindow(window);
}

} // namespace
