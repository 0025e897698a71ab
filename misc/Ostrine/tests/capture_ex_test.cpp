// GetCapBitmapEx as a host uses it on one display: the parameter checks and every last error, the
// caller-owned result, the clipboard left alone on request, the screen frozen without the pointer,
// the rectangle on the screen, Shift+click and Ctrl+Shift+click. Played with real input.
#include "Ostrine.h"
#include "capture_checks.h"
#include "dll_test_support.h"
#include "gui_driver.h"
#include "handle_counter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class ExHost : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { host = show_pattern_window(); }

    void SetUp() override {
        dll = LoadLibraryA(built_dll_path().c_str());
        ASSERT_NE(dll, nullptr);
        get_cap_bitmap = export_as<OstrineGetCapBitmapFn>(GetProcAddress(dll, "GetCapBitmap"));
        get_cap_bitmap_ex =
            export_as<OstrineGetCapBitmapExFn>(GetProcAddress(dll, "GetCapBitmapEx"));
        ASSERT_NE(get_cap_bitmap_ex, nullptr);
        send_move(1000, 740);
    }

    void TearDown() override {
        if (dll != NULL)
            FreeLibrary(dll);
    }

    // One GetCapBitmapEx with `flags`, played by `script`; the last error it left in *error.
    HBITMAP capture(DWORD flags, const std::function<void(HWND)>& script, RECT* selection,
                    DWORD* error) {
        EXPECT_TRUE(wait_for_pattern_on_screen());
        OSTRINE_CAPTURE request = {sizeof request, flags, {-7, -7, -7, -7}};
        HBITMAP result = drive_capture(
            [&] {
                SetLastError(0xDEAD);
                HBITMAP r = get_cap_bitmap_ex(&request);
                *error = GetLastError();
                return r;
            },
            script);
        *selection = request.rcSelection;
        return result;
    }

    static HWND host;
    HMODULE dll = NULL;
    OstrineGetCapBitmapFn get_cap_bitmap = nullptr;
    OstrineGetCapBitmapExFn get_cap_bitmap_ex = nullptr;
};

HWND ExHost::host = NULL;

bool same_rect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(ExHost, BadRequestsAreRefusedAtOnceWithoutACapture) {
    struct Case {
        const char* what;
        bool null_pointer;
        DWORD size;
        DWORD flags;
    } const cases[] = {
        {"NULL pointer", true, sizeof(OSTRINE_CAPTURE), 0},
        {"size 0", false, 0, 0},
        {"size one short", false, sizeof(OSTRINE_CAPTURE) - 1, 0},
        {"size larger", false, sizeof(OSTRINE_CAPTURE) + 4, 0},
        {"unknown flag 0x20", false, sizeof(OSTRINE_CAPTURE), 0x20},
        {"unknown high flag", false, sizeof(OSTRINE_CAPTURE),
         OSTRINE_CAPTURE_ALL_MONITORS | 0x80000000u},
    };
    for (const Case& c : cases) {
        OSTRINE_CAPTURE request = {c.size, c.flags, {1, 2, 3, 4}};
        SetLastError(0);
        const DWORD start = GetTickCount();
        HBITMAP result = get_cap_bitmap_ex(c.null_pointer ? nullptr : &request);
        EXPECT_EQ(result, nullptr) << c.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.what;
        EXPECT_LT(GetTickCount() - start, 500u) << c.what << ": no dialog may open";
        EXPECT_EQ(FindWindowA("#32770", NULL), nullptr) << c.what;
        EXPECT_TRUE(same_rect(request.rcSelection, RECT{1, 2, 3, 4})) << c.what;
    }
}

TEST_F(ExHost, TheCallerOwnsTheResultAndMayKeepTheClipboard) {
    // With and without the clipboard: the rectangle on the screen, the caller's own bitmap, which
    // later calls of both exports leave alone.
    struct Case {
        DWORD flags;
        bool on_clipboard;
    } const cases[] = {{0, true}, {OSTRINE_CAPTURE_NO_CLIPBOARD, false}};
    for (const Case& c : cases) {
        // The pointer drawn into the frozen screen stays off the selection.
        send_move(1000, 740);
        const DWORD sequence = put_marker_on_clipboard("sentinel");
        RECT selection;
        DWORD error = 0;
        HBITMAP result = capture(
            c.flags,
            [&](HWND dialog) {
                drag(dialog, {120, 90}, {{321, 240}}, {120, 90, 321, 240});
                accept_at(dialog, 200, 150);
            },
            &selection, &error);
        EXPECT_EQ(error, 0u) << c.flags;
        EXPECT_TRUE(same_rect(selection, RECT{120, 90, 321, 240}))
            << selection.left << "," << selection.top << "," << selection.right << ","
            << selection.bottom;
        EXPECT_EQ(pattern_mismatches(result, {120, 90, 321, 240}), 0) << c.flags;
        if (c.on_clipboard) {
            ASSERT_TRUE(OpenClipboard(NULL));
            HBITMAP held = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
            CloseClipboard();
            EXPECT_NE(held, result);
            EXPECT_EQ(pattern_mismatches(held, {120, 90, 321, 240}), 0);
        } else {
            EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
            EXPECT_TRUE(clipboard_holds_marker("sentinel"));
        }

        // The next calls (a cancelled one of each export) do not touch it.
        RECT second_selection;
        HBITMAP second = capture(
            0, [&](HWND) { escape(); }, &second_selection, &error);
        EXPECT_EQ(second, nullptr);
        EXPECT_EQ(drive_capture(get_cap_bitmap, [&](HWND) { escape(); }), nullptr);
        EXPECT_EQ(pattern_mismatches(result, {120, 90, 321, 240}), 0) << "the caller's bitmap";
        EXPECT_TRUE(DeleteObject(result));
    }
}

TEST_F(ExHost, ACancelIsTellableFromAFailure) {
    RECT selection;
    DWORD error = 0;
    // Esc after a selection and again: a cancel, the rectangle empty.
    HBITMAP result = capture(
        0,
        [&](HWND dialog) {
            drag(dialog, {100, 100}, {{200, 200}}, {100, 100, 200, 200});
            escape();
            ASSERT_TRUE(wait_until([&] { return screen_mismatches(Box{95, 95, 205, 205}) == 0; }));
            escape();
        },
        &selection, &error);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_TRUE(same_rect(selection, RECT{0, 0, 0, 0}));

    // The screen cannot be frozen (no memory for its image): that step's error, no dialog.
    ASSERT_TRUE(count_handles_of(dll));
    fail_bitmaps_of_size({screen_width(), screen_height()});
    std::atomic<bool> returned{false};
    std::thread watchdog([&] {
        if (!wait_until([&] { return returned.load(); }, 3000))
            PostMessageA(FindWindowA("#32770", NULL), WM_CLOSE, 0, 0);
    });
    OSTRINE_CAPTURE request = {sizeof request, OSTRINE_CAPTURE_ALL_MONITORS, {5, 5, 5, 5}};
    SetLastError(0);
    result = get_cap_bitmap_ex(&request);
    error = GetLastError();
    returned = true;
    watchdog.join();
    fail_bitmaps_of_size({0, 0});
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(same_rect(request.rcSelection, RECT{0, 0, 0, 0}));
    EXPECT_EQ(handle_counts().gdi_objects.size(), 0u);
}

// Calls GetCapBitmapEx from a thread timer of the capturing thread: the modal loop runs it.
OstrineGetCapBitmapExFn timer_export = nullptr;
HBITMAP timer_result = reinterpret_cast<HBITMAP>(1);
DWORD timer_error = 0;
UINT_PTR timer_id = 0;

void CALLBACK call_from_timer(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(NULL, timer_id);
    OSTRINE_CAPTURE request = {sizeof request, 0, {9, 9, 9, 9}};
    timer_result = timer_export(&request);
    timer_error = GetLastError();
}

TEST_F(ExHost, ASecondCaptureWhileOneRunsIsBusy) {
    timer_export = get_cap_bitmap_ex;
    timer_result = reinterpret_cast<HBITMAP>(1);
    timer_error = 0;
    HBITMAP other_result = reinterpret_cast<HBITMAP>(1);
    DWORD other_error = 0;
    RECT selection;
    DWORD error = 0;
    timer_id = SetTimer(NULL, 0, 10, call_from_timer);
    HBITMAP result = capture(
        0,
        [&](HWND dialog) {
            EXPECT_TRUE(wait_until([&] { return timer_result != reinterpret_cast<HBITMAP>(1); }));
            std::thread other([&] {
                OSTRINE_CAPTURE request = {sizeof request, OSTRINE_CAPTURE_ALL_MONITORS, {}};
                other_result = get_cap_bitmap_ex(&request);
                other_error = GetLastError();
            });
            other.join();
            EXPECT_TRUE(IsWindow(dialog)) << "the running capture goes on";
            drag(dialog, {50, 60}, {{150, 110}}, {50, 60, 150, 110});
            accept_at(dialog, 100, 80);
        },
        &selection, &error);
    EXPECT_EQ(timer_result, nullptr);
    EXPECT_EQ(timer_error, static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(other_result, nullptr);
    EXPECT_EQ(other_error, static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(pattern_mismatches(result, {50, 60, 150, 110}), 0);
    DeleteObject(result);
}

TEST_F(ExHost, TheScreenCanBeFrozenWithoutThePointer) {
    // The pointer stands at (1000, 740) when the capture opens; the selection covers it. Near the
    // display's corner the boxes may cover the handles: the drag waits for the mouse capture.
    const Box around{950, 700, 1015, 760};
    struct Case {
        DWORD flags;
        bool pointer_shown;
    } const cases[] = {{0, true}, {OSTRINE_CAPTURE_NO_POINTER, false}};
    for (const Case& c : cases) {
        send_move(1000, 740);
        RECT selection;
        DWORD error = 0;
        bool frozen_pointer = false;
        HBITMAP result = capture(
            c.flags,
            [&](HWND dialog) {
                send_move(around.left, around.top);
                send_button(true);
                ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == dialog; }));
                send_move(around.right, around.bottom);
                send_button(false);
                ASSERT_TRUE(wait_until([&] { return mouse_capture_of(dialog) == NULL; }));
                // The boxes have gone with the release; the frozen screen shows under them.
                frozen_pointer = wait_until(
                    [&] {
                        return screen_mismatches(Box{1000, 740, 1010, 750}) > 0;
                    },
                    c.pointer_shown ? 2000 : 200);
                send_key(VK_RETURN, true);
                send_key(VK_RETURN, false);
                EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
            },
            &selection, &error);
        ASSERT_NE(result, nullptr) << error;
        EXPECT_TRUE(
            same_rect(selection, RECT{around.left, around.top, around.right, around.bottom}));
        EXPECT_EQ(frozen_pointer, c.pointer_shown) << c.flags;
        const int wrong = pattern_mismatches(result, around);
        EXPECT_GE(wrong, 0);
        EXPECT_EQ(wrong > 0, c.pointer_shown) << c.flags;
        DeleteObject(result);
    }
}

TEST_F(ExHost, ShiftClickSelectsTheDisplayAndCtrlShiftClickTheWholeArea) {
    // On one display both select all of it; the result is the whole screen.
    const WORD modifiers[][2] = {{VK_SHIFT, 0}, {VK_SHIFT, VK_CONTROL}};
    for (const auto& held : modifiers) {
        RECT selection;
        DWORD error = 0;
        HBITMAP result = capture(
            OSTRINE_CAPTURE_NO_POINTER | OSTRINE_CAPTURE_ALL_MONITORS,
            [&](HWND dialog) {
                send_move(400, 300);
                for (WORD vk : held)
                    if (vk != 0)
                        send_key(vk, true);
                Sleep(50);
                send_button(true);
                send_button(false);
                EXPECT_TRUE(wait_until([&] {
                    return screen_pixel(0, 300) == kFrameColour &&
                           screen_pixel(screen_width() - 1, 300) == kFrameColour &&
                           mouse_capture_of(dialog) == NULL;
                }));
                for (WORD vk : held)
                    if (vk != 0)
                        send_key(vk, false);
                send_key(VK_RETURN, true);
                send_key(VK_RETURN, false);
                EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
            },
            &selection, &error);
        const Box whole{0, 0, screen_width(), screen_height()};
        EXPECT_TRUE(same_rect(selection, RECT{0, 0, whole.right, whole.bottom}));
        EXPECT_EQ(pattern_mismatches(result, whole), 0) << error;
        DeleteObject(result);
    }
}

} // namespace
