#include "win32/capture_api.h"

#include "Ostrine.h"
#include "core/interaction_core.h"
#include "core/keyboard_interaction.h"
#include "core/selection_geometry.h"
#include "win32/capture_dialog.h"
#include "win32/resource.h"

#include <cstddef>

// The geometry keeps its own platform-free records; GDI receives them as RECT, so their layout
// must stay that of RECT and POINT.
static_assert(sizeof(GeoRect) == sizeof(RECT) && offsetof(GeoRect, right) == offsetof(RECT, right),
              "GeoRect must have the layout of RECT");
static_assert(sizeof(GeoPoint) == sizeof(POINT) && offsetof(GeoPoint, y) == offsetof(POINT, y),
              "GeoPoint must have the layout of POINT");

HINSTANCE hinstModule = NULL;
HBITMAP hbmResult = NULL;

namespace {

// The record of the running capture.
CaptureRun capture_run;

// A bitmap in the display's format holding `width` x `height` pixels of `source` from (x, y).
HBITMAP copy_pixels(HBITMAP source, int x, int y, int width, int height) {
    HDC hdc = GetWindowDC(NULL);
    HBITMAP copy = CreateCompatibleBitmap(hdc, width, height);
    HDC to = CreateCompatibleDC(hdc);
    HDC from = CreateCompatibleDC(hdc);
    HGDIOBJ old_to = SelectObject(to, copy);
    HGDIOBJ old_from = SelectObject(from, source);
    BitBlt(to, 0, 0, width, height, from, x, y, SRCCOPY);
    SelectObject(to, old_to);
    SelectObject(from, old_from);
    DeleteDC(to);
    DeleteDC(from);
    ReleaseDC(NULL, hdc);
    return copy;
}

// The clipboard takes over and later deletes what it is given, so it gets its own copy: the
// host keeps using hbmResult, which the library deletes itself.
void put_on_clipboard(HBITMAP image) {
    if (!OpenClipboard(GetDesktopWindow()))
        return;
    BITMAP info;
    GetObjectA(image, sizeof info, &info);
    HBITMAP copy = copy_pixels(image, 0, 0, info.bmWidth, info.bmHeight);
    EmptyClipboard();
    if (SetClipboardData(CF_BITMAP, copy) == NULL)
        DeleteObject(copy);
    CloseClipboard();
}

} // namespace

bool run_capture(HBITMAP* slot) {
    CaptureRun& run = capture_run;
    run.hbmScreen = NULL;
    run.bCtrlHeld = false;
    run.bShiftHeld = false;
    run.hhkKeyboard =
        SetWindowsHookExA(WH_KEYBOARD, keyboard_hook_proc, NULL, GetCurrentThreadId());
    run.hwndOwner = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 60, 85, NULL, NULL,
                                    hinstModule, NULL);
    const INT_PTR result =
        DialogBoxParamA(hinstModule, MAKEINTRESOURCEA(IDD_CAPTURE), run.hwndOwner,
                        capture_dialog_proc, reinterpret_cast<LPARAM>(&run));

    // An empty selection has no pixels to hand back: accepting it counts as a cancel.
    const bool accepted = result == 1 && !selection_is_empty(run.state);
    if (accepted) {
        const GeoRect& s = run.state.rcSelection;
        *slot = copy_pixels(run.hbmScreen, s.left, s.top, s.right - s.left, s.bottom - s.top);
    }

    if (run.hbmScreen != NULL)
        DeleteObject(run.hbmScreen);
    if (run.hbrScreen != NULL)
        DeleteObject(run.hbrScreen);
    run.hbmScreen = NULL;
    run.hbrScreen = NULL;
    UnhookWindowsHookEx(run.hhkKeyboard);
    run.hhkKeyboard = NULL;
    // Every ending leaves nothing behind: the close command has destroyed the owner already, the
    // other endings (and a dialog that never opened) leave it to us.
    if (run.hwndOwner != NULL && IsWindow(run.hwndOwner))
        DestroyWindow(run.hwndOwner);
    run.hwndOwner = NULL;
    if (run.hcurCapture != NULL) {
        DestroyIcon(run.hcurCapture);
        run.hcurCapture = NULL;
    }
    return accepted;
}

namespace {

// A modifier is held when the hook saw it go down, or when the thread's key state says so (it
// went down before the capture began). Not the asynchronous state: that already shows keys still
// waiting in the queue behind the one at hand.
bool key_held(int vk, bool seen) {
    return seen || (GetKeyState(vk) & 0x8000) != 0;
}

// The keys that the capture uses besides Esc.
bool capture_key(WPARAM vk, CaptureKey* key) {
    switch (vk) {
    case VK_LEFT:
        *key = KEY_LEFT;
        return true;
    case VK_UP:
        *key = KEY_UP;
        return true;
    case VK_RIGHT:
        *key = KEY_RIGHT;
        return true;
    case VK_DOWN:
        *key = KEY_DOWN;
        return true;
    case VK_RETURN:
        *key = KEY_ENTER;
        return true;
    default:
        return false;
    }
}

} // namespace

LRESULT CALLBACK keyboard_hook_proc(int nCode, WPARAM wParam, LPARAM lParam) {
    // Bit 31 is set for a release, bit 30 for a key that was already down (a repeat): Esc and
    // Enter count on their first key-down, arrows on every one, so that a held arrow repeats.
    const unsigned long flags = static_cast<unsigned long>(lParam);
    const bool down = (flags & 0x80000000UL) == 0;
    const bool first = (flags & 0x40000000UL) == 0;
    CaptureKey key;
    if (nCode == HC_ACTION && wParam == VK_CONTROL)
        capture_run.bCtrlHeld = down;
    if (nCode == HC_ACTION && wParam == VK_SHIFT)
        capture_run.bShiftHeld = down;
    if (nCode == HC_ACTION && down && first && wParam == VK_ESCAPE) {
        SendMessageA(capture_run.hwndDialog, WM_CAPTURE_ESC, 0, 0);
    } else if (nCode == HC_ACTION && down && capture_key(wParam, &key) &&
               (first || key != KEY_ENTER)) {
        const LPARAM modifiers = (key_held(VK_CONTROL, capture_run.bCtrlHeld) ? 1 : 0) |
                                 (key_held(VK_SHIFT, capture_run.bShiftHeld) ? 2 : 0);
        SendMessageA(capture_run.hwndDialog, WM_CAPTURE_KEY, static_cast<WPARAM>(key), modifiers);
    }
    return CallNextHookEx(capture_run.hhkKeyboard, nCode, wParam, lParam);
}

extern "C" HBITMAP WINAPI GetCapBitmap(void) {
    if (hbmResult != NULL) {
        DeleteObject(hbmResult);
        hbmResult = NULL;
    }
    if (run_capture(&hbmResult))
        put_on_clipboard(hbmResult);
    return hbmResult;
}

extern "C" int WINAPI StartCapture(void) {
    return 1;
}
