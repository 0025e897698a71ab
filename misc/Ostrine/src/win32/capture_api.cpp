#include "win32/capture_api.h"

#include "Ostrine.h"
#include "core/interaction_core.h"
#include "core/keyboard_interaction.h"
#include "core/selection_geometry.h"
#include "win32/capture_dialog.h"
#include "win32/markup_interaction.h"
#include "win32/markup_surface.h"
#include "win32/dpi_awareness.h"
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

// The flags GetCapBitmapEx knows; any other bit is refused.
const DWORD KNOWN_CAPTURE_FLAGS = OSTRINE_CAPTURE_ALL_MONITORS | OSTRINE_CAPTURE_NO_CLIPBOARD |
                                  OSTRINE_CAPTURE_NO_POINTER | OSTRINE_CAPTURE_MARKUP |
                                  OSTRINE_CAPTURE_DIM;

// 1 while a capture runs anywhere in the process. Taken and given back by the exports alone.
LONG capture_guard = 0;
// The record of the running capture, for the keyboard hook; NULL between captures.
CaptureRun* running_capture = NULL;

bool selected(HGDIOBJ old) {
    return old != NULL && old != HGDI_ERROR;
}

// A bitmap in the display's format holding `width` x `height` pixels of `source` from (x, y);
// NULL when any step fails (out of memory, a locked desktop): never a bitmap that was not filled.
HBITMAP copy_pixels(HBITMAP source, int x, int y, int width, int height) {
    if (source == NULL || width <= 0 || height <= 0)
        return NULL;
    HDC hdc = GetWindowDC(NULL);
    if (hdc == NULL)
        return NULL;
    HBITMAP copy = CreateCompatibleBitmap(hdc, width, height);
    HDC to = CreateCompatibleDC(hdc);
    HDC from = CreateCompatibleDC(hdc);
    HGDIOBJ old_to = to != NULL && copy != NULL ? SelectObject(to, copy) : NULL;
    HGDIOBJ old_from = from != NULL ? SelectObject(from, source) : NULL;
    const bool copied = selected(old_to) && selected(old_from) &&
                        BitBlt(to, 0, 0, width, height, from, x, y, SRCCOPY);
    if (selected(old_to))
        SelectObject(to, old_to);
    if (selected(old_from))
        SelectObject(from, old_from);
    if (to != NULL)
        DeleteDC(to);
    if (from != NULL)
        DeleteDC(from);
    ReleaseDC(NULL, hdc);
    if (!copied && copy != NULL) {
        DeleteObject(copy);
        copy = NULL;
    }
    return copy;
}

// How long another program may hold the clipboard open before the copy is left off it.
const DWORD CLIPBOARD_PATIENCE_MS = 300;
const DWORD CLIPBOARD_RETRY_MS = 10;

// Opens the clipboard, waiting a little while someone else holds it open.
bool open_clipboard_patiently() {
    const DWORD start = GetTickCount();
    for (;;) {
        if (OpenClipboard(GetDesktopWindow()))
            return true;
        if (GetTickCount() - start >= CLIPBOARD_PATIENCE_MS)
            return false;
        Sleep(CLIPBOARD_RETRY_MS);
    }
}

// The clipboard takes over and later deletes what it is given, so it gets its own copy: the
// host keeps using hbmResult, which the library deletes itself. When the copy cannot be made,
// or the clipboard stays held by someone else, the clipboard is left as it was.
void put_on_clipboard(HBITMAP image) {
    BITMAP info;
    if (GetObjectA(image, sizeof info, &info) == 0)
        return;
    // The copy first: the clipboard is emptied only once there is something to put on it.
    HBITMAP copy = copy_pixels(image, 0, 0, info.bmWidth, info.bmHeight);
    if (copy == NULL)
        return;
    if (!open_clipboard_patiently()) {
        DeleteObject(copy);
        return;
    }
    EmptyClipboard();
    if (SetClipboardData(CF_BITMAP, copy) == NULL)
        DeleteObject(copy);
    CloseClipboard();
}

// Everything a capture holds goes here, however it ended: the owner window (and with it the
// dialog, if it still exists), the hook, the frozen screen, the capture cursor.
void release_capture(CaptureRun& run) {
    close_markup(run);
    if (run.hwndOwner != NULL && IsWindow(run.hwndOwner))
        DestroyWindow(run.hwndOwner);
    run.hwndOwner = NULL;
    run.hwndDialog = NULL;
    if (run.hhkKeyboard != NULL)
        UnhookWindowsHookEx(run.hhkKeyboard);
    run.hhkKeyboard = NULL;
    if (run.hhkLowLevel != NULL)
        UnhookWindowsHookEx(run.hhkLowLevel);
    run.hhkLowLevel = NULL;
    if (run.hbmScreen != NULL)
        DeleteObject(run.hbmScreen);
    run.hbmScreen = NULL;
    if (run.hcurCapture != NULL) {
        // A cursor still on screen cannot be destroyed.
        if (GetCursor() == run.hcurCapture)
            SetCursor(LoadCursorA(NULL, IDC_ARROW));
        DestroyIcon(run.hcurCapture);
        run.hcurCapture = NULL;
    }
}

} // namespace

CaptureResult run_capture(const CaptureOptions& options) {
    CaptureResult outcome;
    outcome.dwError = ERROR_CANCELLED;
    // A WM_QUIT already waiting is the host's: it stays in its queue and the capture does not
    // open (the modal loop would take it, and the host's own loop would never end).
    MSG quit;
    if (PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        PostQuitMessage(static_cast<int>(quit.wParam));
        return outcome;
    }
    // Physical pixels on every monitor, whatever the host's awareness; the host's comes back
    // when the scope ends, however the capture does.
    ThreadDpiScope dpi_scope;
    CaptureRun run;
    run.options = options;
    run.markup.bEnabled = (options.dwFlags & OSTRINE_CAPTURE_MARKUP) != 0;
    run.markup.bDim = (options.dwFlags & OSTRINE_CAPTURE_DIM) != 0;
    running_capture = &run;
    run.dwThreadId = GetCurrentThreadId();
    run.hhkKeyboard = SetWindowsHookExA(WH_KEYBOARD, keyboard_hook_proc, NULL, run.dwThreadId);
    run.hhkLowLevel = SetWindowsHookExA(WH_KEYBOARD_LL, low_level_keyboard_proc, hinstModule, 0);
    run.hwndOwner = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 60, 85, NULL, NULL,
                                    hinstModule, NULL);
    const INT_PTR result =
        DialogBoxParamA(hinstModule, MAKEINTRESOURCEA(IDD_CAPTURE), run.hwndOwner,
                        capture_dialog_proc, reinterpret_cast<LPARAM>(&run));
    if (result == -1 && run.dwError == 0)
        run.dwError = GetLastError() != 0 ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;

    // Only pixels of the captured area are handed back: the part of the selection within the
    // frozen image. With none (an empty selection, one moved off the area) accepting counts as a
    // cancel; a failed copy is a failure.
    if (run.dwError != 0) {
        outcome.dwError = run.dwError;
    } else if (result == 1 && run.bAccepted) {
        const GeoRect s =
            selection_within(run.state, GeoRect{0, 0, run.nScreenWidth, run.nScreenHeight});
        if (s.right > s.left && s.bottom > s.top) {
            SetLastError(0);
            outcome.hbmImage =
                copy_pixels(result_source(run), s.left, s.top, s.right - s.left, s.bottom - s.top);
            if (outcome.hbmImage != NULL) {
                outcome.rcScreen = RECT{s.left + run.ptOrigin.x, s.top + run.ptOrigin.y,
                                        s.right + run.ptOrigin.x, s.bottom + run.ptOrigin.y};
                outcome.dwError = 0;
            } else {
                outcome.dwError = GetLastError() != 0 ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
            }
        }
    }
    release_capture(run);
    running_capture = NULL;
    return outcome;
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

// The mark-up's keys as the characters they stand for: the tools' letters, the colours' digits
// (on the main keys and the number pad), the brackets (where a US layout has them), and the
// letters of undo and redo.
char markup_key_char(WPARAM vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '1' && vk <= '6'))
        return static_cast<char>(vk);
    if (vk >= VK_NUMPAD1 && vk <= VK_NUMPAD6)
        return static_cast<char>('1' + (vk - VK_NUMPAD1));
    if (vk == VK_OEM_4)
        return '[';
    if (vk == VK_OEM_6)
        return ']';
    return 0;
}

// The text field has the keyboard: Enter commits and Esc drops its text, and neither goes on
// (the field would beep, the capture would accept or clear). True when the key was one of them.
bool route_text_field_key(CaptureRun& run, WPARAM vk, bool down, bool first) {
    if (run.markup.hwndEdit == NULL || (vk != VK_RETURN && vk != VK_ESCAPE))
        return false;
    if (down && first)
        SendMessageA(run.hwndDialog, WM_MARKUP_TEXT, vk == VK_RETURN ? 1 : 0, 0);
    return true;
}

} // namespace

LRESULT CALLBACK keyboard_hook_proc(int nCode, WPARAM wParam, LPARAM lParam) {
    CaptureRun* run = running_capture;
    if (run == NULL)
        return CallNextHookEx(NULL, nCode, wParam, lParam);
    // Bit 31 is set for a release, bit 30 for a key that was already down (a repeat): Esc and
    // Enter count on their first key-down, arrows on every one, so that a held arrow repeats.
    const unsigned long flags = static_cast<unsigned long>(lParam);
    const bool down = (flags & 0x80000000UL) == 0;
    const bool first = (flags & 0x40000000UL) == 0;
    CaptureKey key;
    if (nCode == HC_ACTION && wParam == VK_CONTROL)
        run->bCtrlHeld = down;
    if (nCode == HC_ACTION && wParam == VK_SHIFT)
        run->bShiftHeld = down;
    if (nCode == HC_ACTION && run->hwndDialog != NULL &&
        route_text_field_key(*run, wParam, down, first))
        return 1;
    const char markup_char = run->markup.bEnabled ? markup_key_char(wParam) : 0;
    if (nCode == HC_ACTION && down && markup_char != 0 && run->hwndDialog != NULL &&
        run->markup.hwndEdit == NULL) {
        const LPARAM modifiers = (key_held(VK_CONTROL, run->bCtrlHeld) ? 1 : 0) |
                                 (key_held(VK_SHIFT, run->bShiftHeld) ? 2 : 0);
        SendMessageA(run->hwndDialog, WM_MARKUP_KEY, static_cast<WPARAM>(markup_char), modifiers);
    }
    if (nCode == HC_ACTION && down && first && wParam == VK_ESCAPE && run->hwndDialog != NULL) {
        SendMessageA(run->hwndDialog, WM_CAPTURE_ESC, 0, 0);
    } else if (nCode == HC_ACTION && down && capture_key(wParam, &key) &&
               (first || key != KEY_ENTER) && run->hwndDialog != NULL) {
        const LPARAM modifiers = (key_held(VK_CONTROL, run->bCtrlHeld) ? 1 : 0) |
                                 (key_held(VK_SHIFT, run->bShiftHeld) ? 2 : 0);
        SendMessageA(run->hwndDialog, WM_CAPTURE_KEY, static_cast<WPARAM>(key), modifiers);
    }
    // Bit 29: Alt is held (the low-level hook's own account of Alt also counts: the bit is not
    // always set for injected input). Aimed at a window of the host (the thread's focus is not
    // on the dialog), the close command would close that window: it closes the capture instead.
    const bool alt = (flags & 0x20000000UL) != 0 || run->bAltDown;
    if (nCode == HC_ACTION && wParam == VK_F4 && down && first && alt && run->hwndDialog != NULL &&
        GetFocus() != run->hwndDialog) {
        PostMessageA(run->hwndDialog, WM_CLOSE, 0, 0);
        return 1;
    }
    return CallNextHookEx(run->hhkKeyboard, nCode, wParam, lParam);
}

LRESULT CALLBACK low_level_keyboard_proc(int nCode, WPARAM wParam, LPARAM lParam) {
    CaptureRun* run = running_capture;
    if (nCode != HC_ACTION || run == NULL || run->hwndDialog == NULL)
        return CallNextHookEx(NULL, nCode, wParam, lParam);
    const KBDLLHOOKSTRUCT* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
    const bool first_esc_down = key->vkCode == VK_ESCAPE && down && !run->bEscDown;
    if (key->vkCode == VK_ESCAPE)
        run->bEscDown = down;
    if (key->vkCode == VK_MENU || key->vkCode == VK_LMENU || key->vkCode == VK_RMENU)
        run->bAltDown = down;
    if (key->vkCode == VK_CONTROL || key->vkCode == VK_LCONTROL || key->vkCode == VK_RCONTROL)
        run->bLowLevelCtrl = down;
    if (key->vkCode == VK_SHIFT || key->vkCode == VK_LSHIFT || key->vkCode == VK_RSHIFT)
        run->bLowLevelShift = down;
    const bool first_enter_down = key->vkCode == VK_RETURN && down && !run->bEnterDown;
    if (key->vkCode == VK_RETURN)
        run->bEnterDown = down;
    // Not every system sets the flag for injected input: the hook keeps its own account too.
    const bool alt = (key->flags & LLKHF_ALTDOWN) != 0 || run->bAltDown;
    // While a window of the capture's thread is in front the keys reach that thread, whose own
    // hook handles them.
    HWND front = GetForegroundWindow();
    if (front != NULL && GetWindowThreadProcessId(front, NULL) == run->dwThreadId)
        return CallNextHookEx(NULL, nCode, wParam, lParam);
    // Posted, not sent: a low-level hook must return quickly.
    if (key->vkCode == VK_ESCAPE) {
        if (first_esc_down)
            PostMessageA(run->hwndDialog, WM_CAPTURE_ESC, 0, 0);
        return 1;
    }
    if (key->vkCode == VK_F4 && alt) {
        if (down)
            PostMessageA(run->hwndDialog, WM_CLOSE, 0, 0);
        return 1;
    }
    // Arrows (repeats too) and the first Enter, as the thread's hook passes them on.
    CaptureKey capture;
    if (capture_key(key->vkCode, &capture)) {
        if (down && (capture != KEY_ENTER || first_enter_down))
            PostMessageA(run->hwndDialog, WM_CAPTURE_KEY, static_cast<WPARAM>(capture),
                         (run->bLowLevelCtrl ? 1 : 0) | (run->bLowLevelShift ? 2 : 0));
        return 1;
    }
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

extern "C" HBITMAP WINAPI GetCapBitmap(void) {
    // One capture at a time in the process. A call while one runs (from a message that its modal
    // loop dispatches, or from another thread) returns NULL at once and changes nothing: not the
    // running capture, not the previous result, not the clipboard.
    if (InterlockedCompareExchange(&capture_guard, 1, 0) != 0) {
        SetLastError(ERROR_BUSY);
        return NULL;
    }
    if (hbmResult != NULL) {
        DeleteObject(hbmResult);
        hbmResult = NULL;
    }
    const CaptureResult outcome = run_capture(CaptureOptions{});
    hbmResult = outcome.hbmImage;
    if (hbmResult != NULL)
        put_on_clipboard(hbmResult);
    InterlockedExchange(&capture_guard, 0);
    SetLastError(outcome.dwError);
    return hbmResult;
}

extern "C" HBITMAP WINAPI GetCapBitmapEx(OSTRINE_CAPTURE* capture) {
    if (capture == NULL || capture->cbSize != sizeof(OSTRINE_CAPTURE) ||
        (capture->dwFlags & ~KNOWN_CAPTURE_FLAGS) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    capture->rcSelection = RECT{0, 0, 0, 0};
    if (InterlockedCompareExchange(&capture_guard, 1, 0) != 0) {
        SetLastError(ERROR_BUSY);
        return NULL;
    }
    CaptureOptions options;
    options.dwFlags = capture->dwFlags;
    const CaptureResult outcome = run_capture(options);
    // The caller owns the image; the clipboard gets a copy of its own.
    if (outcome.hbmImage != NULL) {
        capture->rcSelection = outcome.rcScreen;
        if ((options.dwFlags & OSTRINE_CAPTURE_NO_CLIPBOARD) == 0)
            put_on_clipboard(outcome.hbmImage);
    }
    InterlockedExchange(&capture_guard, 0);
    SetLastError(outcome.dwError);
    return outcome.hbmImage;
}

extern "C" int WINAPI StartCapture(void) {
    return 1;
}
