#include "capture_dialog.h"

#include "capture_api.h"
#include "interaction_core.h"
#include "overlay_drawing.h"
#include "pointer_interaction.h"
#include "resource.h"
#include "win32/overlay_state.h"
#include "win32/window_detection.h"

HWND hwndDialog = NULL;
HBITMAP hbmScreen = NULL;
HBRUSH hbrScreen = NULL;
HCURSOR hcurArrow = NULL;
HCURSOR hcurCapture = NULL;
HFONT hfontDialog = NULL;
OverlayState overlay_state;

namespace {

const UINT SWP_TOPMOST_QUIETLY = SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE;

// Draws the pointer as the user saw it into the frozen image, at its true place.
void draw_pointer_into(HDC mdc) {
    CURSORINFO info;
    info.cbSize = sizeof info;
    if (!GetCursorInfo(&info) || info.flags != CURSOR_SHOWING)
        return;
    ICONINFO icon;
    if (!GetIconInfo(info.hCursor, &icon))
        return;
    DrawIcon(mdc, info.ptScreenPos.x - static_cast<int>(icon.xHotspot),
             info.ptScreenPos.y - static_cast<int>(icon.yHotspot), info.hCursor);
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

// Every ending of the dialog passes here: the dialog class is shared with the host's dialogs,
// which must get the arrow back, and the capture cursor must not outlive the capture.
void release_capture_cursor(HWND hwnd) {
    if (hcurArrow == NULL)
        hcurArrow = LoadCursorA(NULL, IDC_ARROW);
    SetClassLongPtrA(hwnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(hcurArrow));
    if (hcurCapture == NULL)
        return;
    // A cursor still on screen cannot be destroyed.
    if (GetCursor() == hcurCapture)
        SetCursor(hcurArrow);
    DestroyIcon(hcurCapture);
    hcurCapture = NULL;
}

void on_erase_background(HWND hwnd, HDC hdc) {
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(hdc, &client, hbrScreen);
}

} // namespace

int pump_messages() {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 1;
}

BOOL on_init_dialog(HWND hwnd) {
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    hbrScreen = NULL;
    hwndDialog = hwnd;
    reset_capture_state();
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_TOPMOST_QUIETLY);
    // Pending repaints of the windows below happen before the screen is copied.
    pump_messages();

    // The overlay's sizes follow the display's DPI; the windows are taken as they are frozen.
    overlay_state = OverlayState{};
    HDC screen_dc = GetDC(NULL);
    overlay_state.dpi = GetDeviceCaps(screen_dc, LOGPIXELSY);
    ReleaseDC(NULL, screen_dc);
    overlay_state.metrics = overlay_metrics(overlay_state.dpi);
    collect_windows(overlay_state.windows, hwnd, hwndOwner, RECT{0, 0, cx, cy});

    HDC sdc = GetWindowDC(NULL);
    hbmScreen = CreateCompatibleBitmap(sdc, cx, cy);
    HDC mdc = CreateCompatibleDC(sdc);
    HGDIOBJ old = SelectObject(mdc, hbmScreen);
    BitBlt(mdc, 0, 0, cx, cy, sdc, 0, 0, SRCCOPY);
    draw_pointer_into(mdc);
    SelectObject(mdc, old);
    hbrScreen = CreatePatternBrush(hbmScreen);
    DeleteDC(mdc);
    ReleaseDC(NULL, sdc);

    hcurArrow = LoadCursorA(NULL, IDC_ARROW);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, cx, cy, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    hfontDialog = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    hcurCapture = build_capture_cursor(hwnd);
    SetClassLongPtrA(hwnd, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(hcurCapture));
    return TRUE;
}

void on_paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    draw_selection_frame(hdc);
    EndPaint(hwnd, &ps);
}

void on_close(HWND hwnd) {
    release_capture_cursor(hwnd);
    // Destroying the owner destroys the dialog with it; the modal loop then ends unaccepted.
    SendMessageA(hwndOwner, WM_CLOSE, 0, 0);
}

INT_PTR CALLBACK capture_dialog_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        on_paint(hwnd);
        return 1;
    case WM_CLOSE:
        on_close(hwnd);
        return 1;
    case WM_ERASEBKGND:
        on_erase_background(hwnd, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_INITDIALOG:
        return on_init_dialog(hwnd);
    case WM_DESTROY:
        release_capture_cursor(hwnd);
        return 0;
    case WM_MOUSEMOVE:
        on_pointer_move(hwnd, pointer_coordinate(LOWORD(lParam)),
                        pointer_coordinate(HIWORD(lParam)));
        return 1;
    case WM_LBUTTONDOWN:
        on_button_down(hwnd, pointer_coordinate(LOWORD(lParam)),
                       pointer_coordinate(HIWORD(lParam)));
        return 1;
    case WM_LBUTTONUP:
        on_button_up(hwnd, pointer_coordinate(LOWORD(lParam)), pointer_coordinate(HIWORD(lParam)));
        return 1;
    case WM_LBUTTONDBLCLK:
        accept_selection(hwnd);
        return 1;
    case WM_RBUTTONUP:
        on_right_button(hwnd);
        return 1;
    case WM_CAPTURE_KEY:
        on_key(hwnd, static_cast<CaptureKey>(wParam), (lParam & 1) != 0, (lParam & 2) != 0);
        return 1;
    case WM_CAPTURE_ESC:
        if (escape_clears_selection())
            on_escape(hwnd);
        else
            EndDialog(hwnd, 0);
        return 1;
    default:
        return 0;
    }
}
