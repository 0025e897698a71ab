#include "pointer_interaction.h"

#include "capture_dialog.h"
#include "interaction_core.h"
#include "overlay_drawing.h"
#include "core/keyboard_interaction.h"
#include "win32/overlay_state.h"

namespace {

const RECT& as_rect(const GeoRect& rc) {
    return *reinterpret_cast<const RECT*>(&rc);
}

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

HCURSOR load_zone_cursor(CaptureCursor cursor) {
    if (cursor == CURSOR_CAPTURE)
        return hcurCapture;
    return LoadCursorA(NULL, MAKEINTRESOURCEA(cursor));
}

bool is_idle() {
    const CaptureState& cs = capture_state;
    return !cs.bCapturing && !cs.bCaptured && !cs.bMoving;
}

// Idle: the window under the pointer is outlined and the magnifier follows the pointer.
void redraw_idle_overlay(HWND hwnd, HDC hdc, int x, int y) {
    RECT client;
    GetClientRect(hwnd, &client);
    OverlayState& os = overlay_state;
    const GeoRect hover = window_at(os.windows, GeoPoint{x, y});
    erase_loupe(hdc);
    if (!same_rect(hover, os.rcHover) && !is_empty(os.rcHover))
        erase_window_outline(hdc, as_rect(os.rcHover));
    os.rcHover = hover;
    // Drawn again each time: the magnifier's old place may have covered part of it.
    if (!is_empty(hover))
        draw_window_outline(hdc, as_rect(hover));
    draw_loupe(hdc, x, y, client);
}

// The magnifier and the window outline go (a selection is finished or cleared).
void erase_pointer_overlays(HDC hdc) {
    erase_loupe(hdc);
    if (!is_empty(overlay_state.rcHover))
        erase_window_outline(hdc, as_rect(overlay_state.rcHover));
    overlay_state.rcHover = GeoRect{0, 0, 0, 0};
}

} // namespace

void on_button_down(HWND hwnd, int x, int y) {
    const bool was_idle = is_idle();
    overlay_state.rcPressWindow = was_idle ? overlay_state.rcHover : GeoRect{0, 0, 0, 0};
    overlay_state.ptPress = GeoPoint{x, y};
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
        // The magnifier helps to place an edge; a move of the whole selection does without.
        redraw_overlay(hwnd, hdc, x, y, !capture_state.bMoving);
        ReleaseDC(hwnd, hdc);
    } else if (is_idle()) {
        HDC hdc = GetDC(hwnd);
        redraw_idle_overlay(hwnd, hdc, x, y);
        ReleaseDC(hwnd, hdc);
    }
}

void on_button_up(HWND hwnd, int x, int y) {
    if (click_selects_window(capture_state, overlay_state.rcPressWindow, overlay_state.ptPress,
                             GeoPoint{x, y})) {
        ReleaseCapture();
        HDC hdc = GetDC(hwnd);
        erase_pointer_overlays(hdc);
        erase_info_box(hdc);
        draw_selection_frame(hdc);
        ReleaseDC(hwnd, hdc);
        return;
    }
    const ButtonUpResult result = release_pointer();
    apply_capture_change(hwnd, result.capture);
    if (result.bShowSelection) {
        HDC hdc = GetDC(hwnd);
        erase_info_box(hdc);
        erase_loupe(hdc);
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
    erase_pointer_overlays(hdc);
    ReleaseDC(hwnd, hdc);
    reset_capture_state();
}

void accept_selection(HWND hwnd) {
    ReleaseCapture();
    EndDialog(hwnd, 1);
}

void on_key(HWND hwnd, CaptureKey key, bool ctrl, bool shift) {
    const KeyAction action = press_key(capture_state, key, ctrl, shift);
    switch (action.effect) {
    case KEY_ACCEPTS:
        accept_selection(hwnd);
        break;
    case KEY_MOVES_POINTER: {
        POINT pt;
        if (!GetCursorPos(&pt))
            break;
        pt.x += action.dx;
        pt.y += action.dy;
        SetCursorPos(pt.x, pt.y);
        // The pointer's own path: geometry, cursor, trace line, redraw. The dialog covers the
        // display from (0, 0), so screen and client positions are the same.
        on_pointer_move(hwnd, pt.x, pt.y);
        break;
    }
    case KEY_CHANGED_SELECTION: {
        POINT pt = {0, 0};
        GetCursorPos(&pt);
        char line[1024];
        format_trace_line(line, sizeof line);
        OutputDebugStringA(line);
        SetClassLongPtrA(hwnd, GCLP_HCURSOR,
                         reinterpret_cast<LONG_PTR>(load_zone_cursor(cursor_at(
                             GeoPoint{static_cast<int32_t>(pt.x), static_cast<int32_t>(pt.y)}))));
        HDC hdc = GetDC(hwnd);
        erase_previous_frame(hdc);
        draw_selection_frame(hdc);
        ReleaseDC(hwnd, hdc);
        break;
    }
    case KEY_IGNORED:
        break;
    }
}

void on_right_button(HWND hwnd) {
    if (escape_clears_selection())
        on_escape(hwnd);
    else
        EndDialog(hwnd, 0);
}
