#include "win32/capture_dialog.h"

#include "Ostrine.h"
#include "core/interaction_core.h"
#include "core/monitor_layout.h"
#include "win32/markup_interaction.h"
#include "win32/markup_surface.h"
#include "win32/capture_area.h"
#include "win32/overlay_drawing.h"
#include "win32/pointer_interaction.h"
#include "win32/resource.h"
#include "win32/window_detection.h"

namespace {

const UINT SWP_TOPMOST_QUIETLY = SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE;

// Draws the pointer as the user saw it into the frozen image, at its true place (`origin` is the
// screen position of the image's top-left pixel).
void draw_pointer_into(HDC mdc, GeoPoint origin) {
    CURSORINFO info;
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info) || info.flags != CURSOR_SHOWING)
        return;
    ICONINFO icon;
    if (!GetIconInfo(info.hCursor, &icon))
        return;
    DrawIcon(mdc, info.ptScreenPos.x - origin.x - static_cast<int>(icon.xHotspot),
             info.ptScreenPos.y - origin.y - static_cast<int>(icon.yHotspot), info.hCursor);
    if (icon.hbmMask != NULL)
        DeleteObject(icon.hbmMask);
    if (icon.hbmColor != NULL)
        DeleteObject(icon.hbmColor);
}

HCURSOR build_capture_cursor(HWND hwnd) {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    HBITMAP colour = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_CURSOR_COLOR));
    HBITMAP mask = LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_CURSOR_MASK));
    ICONINFO info;
    info.fIcon = FALSE;
    info.xHotspot = 10;
    info.yHotspot = 5;
    info.hbmMask = mask;
    info.hbmColor = colour;
    HCURSOR cursor = CreateIconIndirect(&info);
    // The cursor holds its own copies.
    if (colour != NULL)
        DeleteObject(colour);
    if (mask != NULL)
        DeleteObject(mask);
    return cursor;
}

// The dialog class is shared with the host's dialogs: when the dialog goes, however the capture
// ended, the class gets back the cursor it had before.
void restore_class_cursor(CaptureRun& run, HWND hwnd) {
    if (!run.bClassCursorReplaced)
        return;
    SetClassLongPtrA(hwnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(run.hcurClassBefore));
    run.bClassCursorReplaced = false;
}

// The frozen image, copied straight over the part to repaint (a pattern brush of a whole
// desktop's image cost more to make and to fill with).
void on_erase_background(const CaptureRun& run, HDC hdc) {
    if (composite_active(run)) {
        // Inside and outside the selection come from different pictures.
        RECT box;
        if (GetClipBox(hdc, &box) == ERROR)
            GetClientRect(run.hwndDialog, &box);
        const GeoRect area{box.left, box.top, box.right, box.bottom};
        restore_area(run, hdc, &area, 1);
        return;
    }
    RECT part;
    if (GetClipBox(hdc, &part) == ERROR)
        GetClientRect(run.hwndDialog, &part);
    HDC mdc = CreateCompatibleDC(hdc);
    HGDIOBJ old = mdc != NULL ? SelectObject(mdc, run.hbmScreen) : NULL;
    if (old != NULL && old != HGDI_ERROR) {
        BitBlt(hdc, part.left, part.top, part.right - part.left, part.bottom - part.top, mdc,
               part.left, part.top, SRCCOPY);
        SelectObject(mdc, old);
    }
    if (mdc != NULL)
        DeleteDC(mdc);
}

// The error of a step that failed, or ERROR_NOT_ENOUGH_MEMORY when it set none (GDI often does
// not).
DWORD failure_code() {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY;
}

// Copies the captured area into the record's hbmScreen, monitor by monitor (the dead zones
// between them stay black), with the pointer drawn in unless the host asked for none. False,
// with nothing kept and run.dwError set, when any step fails (out of memory, a locked desktop).
bool freeze_screen(CaptureRun& run) {
    const int cx = run.rcArea.right - run.rcArea.left, cy = run.rcArea.bottom - run.rcArea.top;
    SetLastError(0);
    HDC sdc = GetWindowDC(NULL);
    if (sdc == NULL) {
        run.dwError = failure_code();
        return false;
    }
    HBITMAP image = CreateCompatibleBitmap(sdc, cx, cy);
    HDC mdc = image != NULL ? CreateCompatibleDC(sdc) : NULL;
    HGDIOBJ old = mdc != NULL ? SelectObject(mdc, image) : NULL;
    bool copied = old != NULL && old != HGDI_ERROR;
    // Black first only where some of the area lies on no monitor.
    if (copied && !monitors_tile(run.monitors, GeoRect{0, 0, cx, cy}))
        copied = PatBlt(mdc, 0, 0, cx, cy, BLACKNESS) != 0;
    for (size_t i = 0; copied && i < run.monitors.size(); ++i) {
        const GeoRect& m = run.monitors[i].rc;
        copied = BitBlt(mdc, m.left, m.top, m.right - m.left, m.bottom - m.top, sdc,
                        m.left + run.ptOrigin.x, m.top + run.ptOrigin.y, SRCCOPY) != 0;
    }
    if (copied && (run.options.dwFlags & OSTRINE_CAPTURE_NO_POINTER) == 0)
        draw_pointer_into(mdc, run.ptOrigin);
    if (!copied)
        run.dwError = failure_code();
    if (old != NULL && old != HGDI_ERROR)
        SelectObject(mdc, old);
    if (mdc != NULL)
        DeleteDC(mdc);
    ReleaseDC(NULL, sdc);
    if (!copied) {
        if (image != NULL)
            DeleteObject(image);
        return false;
    }
    run.hbmScreen = image;
    run.nScreenWidth = cx;
    run.nScreenHeight = cy;
    return true;
}

// The record that WM_INITDIALOG stored with the dialog; NULL before it.
CaptureRun* run_of(HWND hwnd) {
    return reinterpret_cast<CaptureRun*>(GetWindowLongPtrA(hwnd, DWLP_USER));
}

} // namespace

int pump_messages() {
    MSG msg;
    // Keys typed before the call were meant for the host's windows, which the capture now
    // covers: they are taken out unrun (an Alt+F4 would otherwise close the host's window). The
    // keyboard hook still sees each of them, so an Esc typed ahead cancels.
    while (PeekMessageA(&msg, NULL, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    // Pending repaints of the windows below happen before the freeze; the host's other messages
    // (input, timers, posted messages, WM_QUIT) stay in its queue. Bounded, for a window that
    // never validates itself.
    for (int i = 0; i < 1000 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i)
        DispatchMessageA(&msg);
    return 1;
}

BOOL on_init_dialog(CaptureRun& run, HWND hwnd) {
    measure_capture_area(run);
    const int cx = run.rcArea.right - run.rcArea.left, cy = run.rcArea.bottom - run.rcArea.top;
    run.hwndDialog = hwnd;
    reset_capture_state(run.state);
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_TOPMOST_QUIETLY);
    pump_messages();

    // The boxes' sizes follow the DPI of the monitor under the pointer (see on_pointer_move);
    // the handles, which a drag carries from monitor to monitor, that of the primary monitor.
    // The windows are taken as they are frozen.
    run.overlay = OverlayState{};
    run.overlay.dpi = run.monitors[0].dpi;
    run.overlay.metrics = overlay_metrics(run.overlay.dpi);
    run.state.nHandleRadius = run.overlay.metrics.handle_radius;
    collect_windows(run.overlay.windows, hwnd, run.hwndOwner, run.rcArea, run.ptOrigin);

    if (!freeze_screen(run)) {
        // Without the frozen screen there is nothing to show or to crop: the dialog never
        // appears and the capture ends as a cancel.
        EndDialog(hwnd, 0);
        return TRUE;
    }

    if (!open_markup(run)) {
        if (run.dwError == 0)
            run.dwError = ERROR_NOT_ENOUGH_MEMORY;
        EndDialog(hwnd, 0);
        return TRUE;
    }

    run.hcurArrow = LoadCursorA(NULL, IDC_ARROW);
    SetWindowPos(hwnd, HWND_TOP, run.rcArea.left, run.rcArea.top, cx, cy,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
    // The keyboard must reach the capture even when the calling thread had no focus (a worker
    // thread, a tray or console program). Where the system refuses, the low-level hook of the
    // capture run still brings Esc and Alt+F4 here.
    SetForegroundWindow(hwnd);
    run.hfontDialog = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    run.hcurCapture = build_capture_cursor(hwnd);
    run.hcurClassBefore = reinterpret_cast<HCURSOR>(GetClassLongPtrA(hwnd, GCLP_HCURSOR));
    run.bClassCursorReplaced = true;
    SetClassLongPtrA(hwnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(run.hcurCapture));
    return TRUE;
}

void on_paint(CaptureRun& run) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(run.hwndDialog, &ps);
    draw_selection_frame(run, hdc);
    EndPaint(run.hwndDialog, &ps);
}

void on_close(CaptureRun& run) {
    // Destroying the owner destroys the dialog with it; the modal loop then ends unaccepted.
    SendMessageA(run.hwndOwner, WM_CLOSE, 0, 0);
}

namespace {
// The handling of one message, before the mark-up's toolbar follows the selection.
INT_PTR dialog_message(CaptureRun& run, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
} // namespace

INT_PTR CALLBACK capture_dialog_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CaptureRun* started = reinterpret_cast<CaptureRun*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(started));
        return on_init_dialog(*started, hwnd);
    }
    CaptureRun* found = run_of(hwnd);
    if (found == NULL)
        return 0;
    CaptureRun& run = *found;
    const INT_PTR handled = dialog_message(run, hwnd, message, wParam, lParam);
    // The toolbar follows the selection, whichever message changed it.
    if (run.hwndDialog != NULL && IsWindow(hwnd))
        sync_markup(run);
    return handled;
}

namespace {

INT_PTR dialog_message(CaptureRun& run, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        on_paint(run);
        return 1;
    case WM_CLOSE:
        on_close(run);
        return 1;
    case WM_ERASEBKGND:
        on_erase_background(run, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_DESTROY:
        restore_class_cursor(run, hwnd);
        return 0;
    case WM_MOUSEMOVE:
        // The release went elsewhere (another window took the foreground mid-drag): the drag
        // ends where it was, and this move is a hover.
        if ((wParam & MK_LBUTTON) == 0 && markup_drawing(run))
            markup_end_stroke(run);
        if ((wParam & MK_LBUTTON) == 0 && drag_in_progress(run.state))
            end_drag(run);
        on_pointer_move(run, pointer_coordinate(LOWORD(lParam)),
                        pointer_coordinate(HIWORD(lParam)));
        return 1;
    case WM_CAPTURECHANGED:
        // Our own release comes here after the state has left the drag; any other loss of the
        // mouse capture ends the drag as a release.
        if (reinterpret_cast<HWND>(lParam) != hwnd && markup_drawing(run))
            markup_end_stroke(run);
        if (reinterpret_cast<HWND>(lParam) != hwnd && drag_in_progress(run.state))
            end_drag(run);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE && markup_drawing(run))
            markup_end_stroke(run);
        if (LOWORD(wParam) == WA_INACTIVE && drag_in_progress(run.state))
            end_drag(run);
        return 0;
    case WM_LBUTTONDOWN:
        // The message's own flags, or the keys as the hooks saw them go down (injected input may
        // reach the press before the system's key state shows the modifier).
        if ((wParam & MK_SHIFT) != 0 || run.bShiftHeld || run.bLowLevelShift)
            on_shift_click(run, pointer_coordinate(LOWORD(lParam)),
                           pointer_coordinate(HIWORD(lParam)),
                           (wParam & MK_CONTROL) != 0 || run.bCtrlHeld || run.bLowLevelCtrl);
        else
            on_button_down(run, pointer_coordinate(LOWORD(lParam)),
                           pointer_coordinate(HIWORD(lParam)));
        return 1;
    case WM_DISPLAYCHANGE:
        // The frozen image no longer matches the monitors (one unplugged or moved): the capture
        // ends as a cancel, and the next one measures the new layout.
        EndDialog(hwnd, 0);
        return 1;
    case WM_LBUTTONUP:
        on_button_up(run, pointer_coordinate(LOWORD(lParam)), pointer_coordinate(HIWORD(lParam)));
        return 1;
    case WM_LBUTTONDBLCLK:
        if (!markup_double_click(run, pointer_coordinate(LOWORD(lParam)),
                                 pointer_coordinate(HIWORD(lParam))))
            accept_selection(run);
        return 1;
    case WM_MARKUP_KEY:
        on_markup_key(run, static_cast<char>(wParam), (lParam & 1) != 0, (lParam & 2) != 0);
        return 1;
    case WM_MARKUP_TEXT:
        finish_text(run, wParam != 0);
        return 1;
    case WM_CTLCOLOREDIT:
        return reinterpret_cast<INT_PTR>(
            text_field_colours(run, reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam)));
    case WM_RBUTTONUP:
        on_right_button(run);
        return 1;
    case WM_CAPTURE_KEY:
        on_key(run, static_cast<CaptureKey>(wParam), (lParam & 1) != 0, (lParam & 2) != 0);
        return 1;
    case WM_CAPTURE_ESC:
        if (escape_clears_selection(run.state))
            on_escape(run);
        else
            EndDialog(hwnd, 0);
        return 1;
    default:
        return 0;
    }
}

} // namespace
