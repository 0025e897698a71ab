#include "pointer_interaction.h"

#include "capture_dialog.h"
#include "interaction_core.h"
#include "overlay_drawing.h"

namespace {

void apply_capture_change(HWND hwnd, MouseCaptureChange change) {
    if (change == MOUSE_CAPTURE_TAKE)
        SetCapture(hwnd);
    else if (change == MOUSE_CAPTURE_RELEASE)
        ReleaseCapture();
}

HCURSOR load_zone_cursor(CaptureCursor cursor) {
    if (cursor == CURSOR_CAPTURE)
        return hcurCapture;
    return LoadCursorA(NULL, MAKEINTRESOURCEA(cursor));
}

} // namespace

void on_button_down(HWND hwnd, int x, int y) {
    apply_capture_change(hwnd, press_pointer(x, y));
}

void on_pointer_move(HWND hwnd, int x, int y) {
    const PointerMoveResult result = move_pointer(x, y);
    char line[1024];
    format_trace_line(line, sizeof line);
    OutputDebugStringA(line);
    if (result.bSetCursor)
        SetClassLongPtrA(hwnd, GCLP_HCURSOR,
                         reinterpret_cast<LONG_PTR>(load_zone_cursor(result.cursor)));
    if (result.bRedraw) {
        HDC hdc = GetDC(hwnd);
        redraw_overlay(hwnd, hdc, x, y);
        ReleaseDC(hwnd, hdc);
    }
}

void on_button_up(HWND hwnd) {
    const ButtonUpResult result = release_pointer();
    apply_capture_change(hwnd, result.capture);
    if (result.bShowSelection) {
        HDC hdc = GetDC(hwnd);
        erase_info_box(hdc);
        draw_selection_frame(hdc);
        ReleaseDC(hwnd, hdc);
    }
}

void on_escape(HWND hwnd) {
    HDC hdc = GetDC(hwnd);
    // The frame on screen is the one at rcSelection.
    capture_state.rcPrevious = capture_state.rcSelection;
    erase_previous_frame(hdc);
    erase_info_box(hdc);
    ReleaseDC(hwnd, hdc);
    reset_capture_state();
}
