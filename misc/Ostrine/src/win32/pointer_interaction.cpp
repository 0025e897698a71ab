#include "win32/pointer_interaction.h"

#include "core/interaction_core.h"
#include "win32/markup_interaction.h"
#include "core/monitor_layout.h"
#include "win32/overlay_drawing.h"

namespace {

bool is_empty(const GeoRect& rc) {
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

bool same_rect(const GeoRect& a, const GeoRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

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

bool is_idle(const CaptureState& cs) {
    return !cs.bCapturing && !cs.bCaptured && !cs.bMoving;
}

void write_trace_line(const CaptureRun& run) {
    char line[1024];
    format_trace_line(run.state, line, sizeof line);
    OutputDebugStringA(line);
}

// Idle: the window under the pointer is outlined and the magnifier follows the pointer.
void redraw_idle_overlay(CaptureRun& run, HDC hdc, int x, int y) {
    const RECT client = pointer_monitor(run, x, y);
    OverlayState& os = run.overlay;
    const GeoRect hover = window_at(os.windows, GeoPoint{x, y});
    erase_loupe(run, hdc);
    if (!same_rect(hover, os.rcHover) && !is_empty(os.rcHover))
        erase_window_outline(run, hdc, os.rcHover);
    os.rcHover = hover;
    // Drawn again each time: the magnifier's old place may have covered part of it.
    if (!is_empty(hover))
        draw_window_outline(hdc, hover);
    draw_loupe(run, hdc, x, y, client);
}

// The magnifier and the window outline go (a selection is finished or cleared).
void erase_pointer_overlays(CaptureRun& run, HDC hdc) {
    erase_loupe(run, hdc);
    if (!is_empty(run.overlay.rcHover))
        erase_window_outline(run, hdc, run.overlay.rcHover);
    run.overlay.rcHover = GeoRect{0, 0, 0, 0};
}

} // namespace

void on_button_down(CaptureRun& run, int x, int y) {
    if (markup_press(run, x, y))
        return;
    run.overlay.rcPressWindow = is_idle(run.state) ? run.overlay.rcHover : GeoRect{0, 0, 0, 0};
    run.overlay.ptPress = GeoPoint{x, y};
    apply_capture_change(run.hwndDialog, press_pointer(run.state, x, y));
}

void on_pointer_move(CaptureRun& run, int x, int y) {
    if (markup_move(run, x, y)) {
        write_trace_line(run);
        return;
    }
    const PointerMoveResult result = move_pointer(run.state, x, y);
    write_trace_line(run);
    if (result.bSetCursor)
        SetClassLongPtrA(run.hwndDialog, GCLP_HCURSOR,
                         reinterpret_cast<LONG_PTR>(load_zone_cursor(run, result.cursor)));
    if (result.bRedraw) {
        HDC hdc = GetDC(run.hwndDialog);
        // The magnifier helps to place an edge or a corner; moving the whole selection does
        // without it.
        redraw_overlay(run, hdc, x, y, !run.state.bMoving);
        ReleaseDC(run.hwndDialog, hdc);
    } else if (is_idle(run.state)) {
        HDC hdc = GetDC(run.hwndDialog);
        redraw_idle_overlay(run, hdc, x, y);
        ReleaseDC(run.hwndDialog, hdc);
    }
}

void on_button_up(CaptureRun& run, int x, int y) {
    if (markup_release(run, x, y))
        return;
    if (click_selects_window(run.state, run.overlay.rcPressWindow, run.overlay.ptPress,
                             GeoPoint{x, y})) {
        ReleaseCapture();
        HDC hdc = GetDC(run.hwndDialog);
        erase_pointer_overlays(run, hdc);
        erase_info_box(run, hdc);
        draw_selection_frame(run, hdc);
        ReleaseDC(run.hwndDialog, hdc);
        return;
    }
    end_drag(run);
}

void end_drag(CaptureRun& run) {
    const ButtonUpResult result = release_pointer(run.state);
    apply_capture_change(run.hwndDialog, result.capture);
    if (result.bShowSelection) {
        HDC hdc = GetDC(run.hwndDialog);
        erase_info_box(run, hdc);
        erase_loupe(run, hdc);
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
    erase_pointer_overlays(run, hdc);
    ReleaseDC(run.hwndDialog, hdc);
    reset_capture_state(run.state);
    // The marks go with the selection; with the dimming its inside darkens.
    markup_selection_cleared(run);
}

void accept_selection(CaptureRun& run) {
    ReleaseCapture();
    run.bAccepted = true;
    EndDialog(run.hwndDialog, 1);
}

void on_key(CaptureRun& run, CaptureKey key, bool ctrl, bool shift) {
    // While a mark is drawn the selection and the pointer stay where they are.
    if (markup_drawing(run))
        return;
    const KeyAction action = press_key(run.state, key, ctrl, shift);
    if (action.effect == KEY_ACCEPTS) {
        accept_selection(run);
    } else if (action.effect == KEY_MOVES_POINTER) {
        POINT pt;
        if (!GetCursorPos(&pt))
            return;
        pt.x += action.dx;
        pt.y += action.dy;
        SetCursorPos(pt.x, pt.y);
        // The pointer's own path, in the dialog's (capture) coordinates. The system keeps the
        // pointer on a monitor: where it went is asked again.
        GetCursorPos(&pt);
        on_pointer_move(run, pt.x - run.ptOrigin.x, pt.y - run.ptOrigin.y);
    } else if (action.effect == KEY_CHANGED_SELECTION) {
        POINT pt = {0, 0};
        GetCursorPos(&pt);
        write_trace_line(run);
        const CaptureCursor cursor =
            cursor_at(run.state, GeoPoint{pt.x - run.ptOrigin.x, pt.y - run.ptOrigin.y});
        SetClassLongPtrA(run.hwndDialog, GCLP_HCURSOR,
                         reinterpret_cast<LONG_PTR>(load_zone_cursor(run, cursor)));
        HDC hdc = GetDC(run.hwndDialog);
        show_selection_change(run, hdc);
        erase_previous_frame(run, hdc);
        draw_selection_frame(run, hdc);
        ReleaseDC(run.hwndDialog, hdc);
    }
}

void on_shift_click(CaptureRun& run, int x, int y, bool ctrl) {
    const GeoRect whole{0, 0, run.nScreenWidth, run.nScreenHeight};
    const GeoRect chosen = shift_click_selection(run.monitors, whole, GeoPoint{x, y}, ctrl);
    if (drag_in_progress(run.state))
        return;
    HDC hdc = GetDC(run.hwndDialog);
    // The frame on screen is the one at rcSelection (none in Idle).
    run.state.rcPrevious = run.state.rcSelection;
    if (run.state.bCaptured)
        erase_previous_frame(run, hdc);
    erase_info_box(run, hdc);
    erase_pointer_overlays(run, hdc);
    if (select_finished(run.state, chosen))
        draw_selection_frame(run, hdc);
    ReleaseDC(run.hwndDialog, hdc);
    write_trace_line(run);
}

void on_right_button(CaptureRun& run) {
    if (escape_clears_selection(run.state))
        on_escape(run);
    else
        EndDialog(run.hwndDialog, 0);
}
