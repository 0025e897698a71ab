#include "win32/pointer_interaction.h"

#include "core/interaction_core.h"
#include "win32/overlay_drawing.h"

namespace {

void apply_capture_change(HWND hwnd, MouseCaptureChange change) {
    if (change == MOUSE_CAPTURE_TAKE)
        SetCapture(hwnd);
    else if (change == MOUSE_CAPTURE_RELEASE)
        ReleaseCapture();
}

HCURSOR load_zone_cursor(const CaptureRun& run, CaptureCursor cursor) {
    if (cursor == CURSOR_CAPTURE)
        return run.hcurCapture;
    return LoadCursorA(NULL, MAKEINTRESOURCEA(cursor));
}

} // namespace

void on_button_down(CaptureRun& run, int x, int y) {
    apply_capture_change(run.hwndDialog, press_pointer(run.state, x, y));
}

void on_pointer_move(CaptureRun& run, int x, int y) {
    const PointerMoveResult result = move_pointer(run.state, x, y);
    char line[1024];
    format_trace_line(run.state, line, sizeof line);
    OutputDebugStringA(line);
    if (result.bSetCursor)
        SetClassLongPtrA(run.hwndDialog, GCLP_HCURSOR,
                         reinterpret_cast<LONG_PTR>(load_zone_cursor(run, result.cursor)));
    if (result.bRedraw) {
        HDC hdc = GetDC(run.hwndDialog);
        redraw_overlay(run, hdc, x, y);
        ReleaseDC(run.hwndDialog, hdc);
    }
}

void on_button_up(CaptureRun& run) {
    const ButtonUpResult result = release_pointer(run.state);
    apply_capture_change(run.hwndDialog, result.capture);
    if (result.bShowSelection) {
        HDC hdc = GetDC(run.hwndDialog);
        erase_info_box(run, hdc);
        draw_selection_frame(run, hdc);
        ReleaseDC(run.hwndDialog, hdc);
    }
}

void on_escape(CaptureRun& run) {
    HDC hdc = GetDC(run.hwndDialog);
    // The frame on screen is the one at rcSelection.
    run.state.rcPrevious = run.state.rcSelection;
    erase_previous_frame(run, hdc);
    erase_info_box(run, hdc);
    ReleaseDC(run.hwndDialog, hdc);
    reset_capture_state(run.state);
}
