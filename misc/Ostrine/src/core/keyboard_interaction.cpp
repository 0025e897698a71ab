#include "core/keyboard_interaction.h"

namespace {

// rcSelection is set: the hit rectangle, strips and handles follow it.
void derive_zones(CaptureState& cs) {
    const GeoRect& s = cs.rcSelection;
    const int32_t g = cs.nHandleRadius > 1 ? cs.nHandleRadius - 1 : 1;
    cs.rcHit = GeoRect{s.left - g, s.top - g, s.right + g, s.bottom + g};
    update_edge_strips(cs);
    update_handles(cs);
}

} // namespace

bool selection_is_finished(const CaptureState& cs) {
    return cs.bCaptured && !cs.bMoving && !cs.bCapturing;
}

KeyAction press_key(CaptureState& cs, CaptureKey key, bool ctrl, bool shift) {
    KeyAction action{KEY_IGNORED, 0, 0};
    if (key == KEY_ENTER) {
        const GeoRect& s = cs.rcSelection;
        const bool has_pixels = s.right > s.left && s.bottom > s.top;
        if (has_pixels && (cs.bCaptured || cs.bCapturing))
            action.effect = KEY_ACCEPTS;
        return action;
    }
    const int32_t step = ctrl ? 10 : 1;
    const int32_t dx = key == KEY_LEFT ? -step : key == KEY_RIGHT ? step : 0;
    const int32_t dy = key == KEY_UP ? -step : key == KEY_DOWN ? step : 0;
    if (!selection_is_finished(cs)) {
        action = KeyAction{KEY_MOVES_POINTER, dx, dy};
        return action;
    }
    if (shift) {
        // The right or bottom edge; the selection keeps at least one pixel.
        GeoRect& s = cs.rcSelection;
        cs.rcPrevious = s;
        if (dx != 0)
            s.right = s.right + dx > s.left ? s.right + dx : s.left + 1;
        if (dy != 0)
            s.bottom = s.bottom + dy > s.top ? s.bottom + dy : s.top + 1;
        derive_zones(cs);
    } else {
        offset_selection(cs, dx, dy);
    }
    action.effect = KEY_CHANGED_SELECTION;
    return action;
}

bool click_selects_window(CaptureState& cs, GeoRect window, GeoPoint pressed_at,
                          GeoPoint released_at) {
    const bool rubber_band = cs.bCapturing && !cs.bCaptured && !cs.bSizing && !cs.bMoving;
    // Nothing drawn (the pointer never left the press point, or came back to it) and released
    // where it was pressed.
    const GeoRect& s = cs.rcSelection;
    const bool no_drag = (s.right <= s.left || s.bottom <= s.top) &&
                         pressed_at.x == released_at.x && pressed_at.y == released_at.y;
    if (!rubber_band || !no_drag || window.right <= window.left || window.bottom <= window.top)
        return false;
    cs.rcPrevious = cs.rcSelection;
    cs.rcSelection = window;
    derive_zones(cs);
    cs.bCapturing = 0;
    cs.bCaptured = 1;
    cs.bDrawn = 1;
    return true;
}

bool select_finished(CaptureState& cs, GeoRect rc) {
    // Not in the middle of a drag, and never an empty selection.
    if (cs.bCapturing || cs.bMoving || rc.right <= rc.left || rc.bottom <= rc.top)
        return false;
    cs.rcPrevious = cs.rcSelection;
    cs.rcSelection = rc;
    derive_zones(cs);
    cs.bCaptured = 1;
    cs.bDrawn = 1;
    return true;
}
