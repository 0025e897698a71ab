#include "core/interaction_core.h"

#include <algorithm>
#include <cstdio>

void reset_capture_state(CaptureState& cs) {
    const int32_t edge = cs.nSizingEdge;
    const int32_t radius = cs.nHandleRadius;
    cs = CaptureState{};
    cs.nSizingEdge = edge;
    cs.nHandleRadius = radius;
    cs.ptLastMove = GeoPoint{-1, -1};
}

MouseCaptureChange press_pointer(CaptureState& cs, int32_t x, int32_t y) {
    const GeoPoint pt{x, y};
    if (!cs.bCaptured) {
        // Idle: a new rubber band; the selection follows from the first move.
        cs.bCapturing = 1;
        cs.bDrawn = 0;
        cs.ptAnchor = pt;
        return MOUSE_CAPTURE_TAKE;
    }

    MouseCaptureChange change = MOUSE_CAPTURE_KEEP;
    if (rect_contains(cs.rcHit, pt)) {
        change = MOUSE_CAPTURE_TAKE;
        cs.bCapturing = 1;
        cs.bCaptured = 0;
        // An existing selection is on screen: a release without a move keeps it.
        cs.bDrawn = 1;
    }
    // The outer rim of a zone lies outside rcHit: the zone's effect applies, but without the
    // capture no drag follows and the release clears it again.
    const GeoRect& s = cs.rcSelection;
    if (rect_contains(cs.rcHandles[HANDLE_TOP_LEFT], pt)) {
        cs.ptAnchor = GeoPoint{s.right, s.bottom};
    } else if (rect_contains(cs.rcHandles[HANDLE_BOTTOM_RIGHT], pt)) {
        cs.ptAnchor = GeoPoint{s.left, s.top};
    } else if (rect_contains(cs.rcHandles[HANDLE_TOP_RIGHT], pt)) {
        cs.ptAnchor = GeoPoint{s.left, s.bottom};
    } else if (rect_contains(cs.rcHandles[HANDLE_BOTTOM_LEFT], pt)) {
        cs.ptAnchor = GeoPoint{s.right, s.top};
    } else if (rect_contains(cs.rcEdgeTop, pt)) {
        cs.bSizing = 1;
        cs.nSizingEdge = EDGE_TOP;
    } else if (rect_contains(cs.rcEdgeBottom, pt)) {
        cs.bSizing = 1;
        cs.nSizingEdge = EDGE_BOTTOM;
    } else if (rect_contains(cs.rcEdgeLeft, pt)) {
        cs.bSizing = 1;
        cs.nSizingEdge = EDGE_LEFT;
    } else if (rect_contains(cs.rcEdgeRight, pt)) {
        cs.bSizing = 1;
        cs.nSizingEdge = EDGE_RIGHT;
    } else if (rect_contains(cs.rcSelection, pt)) {
        // Moving keeps the capture taken above but counts as "selection exists".
        cs.bMoving = 1;
        cs.ptLastMove = pt;
        cs.bCaptured = 1;
        cs.bCapturing = 0;
    } else {
        cs.bCaptured = 1;
        cs.bCapturing = 0;
        change = MOUSE_CAPTURE_RELEASE;
    }
    return change;
}

PointerMoveResult move_pointer(CaptureState& cs, int32_t x, int32_t y) {
    PointerMoveResult result{false, CURSOR_CAPTURE, false};
    if (cs.bCapturing && !cs.bCaptured) {
        cs.ptDrag = GeoPoint{x, y};
        if (cs.bSizing)
            rect_from_edge_drag(cs);
        else
            rect_from_anchor(cs);
        update_edge_strips(cs);
        update_handles(cs);
        cs.bDrawn = 1;
    }
    if (cs.bCapturing) {
        result.bRedraw = true;
        return result;
    }
    if (cs.bCaptured) {
        result.bSetCursor = true;
        result.cursor = cursor_at(cs, GeoPoint{x, y});
        if (cs.bMoving) {
            offset_selection(cs, x - cs.ptLastMove.x, y - cs.ptLastMove.y);
            cs.ptLastMove = GeoPoint{x, y};
            result.bRedraw = true;
        }
    }
    return result;
}

ButtonUpResult release_pointer(CaptureState& cs) {
    ButtonUpResult result{MOUSE_CAPTURE_KEEP, false};
    const bool idle = !cs.bCapturing && !cs.bCaptured && !cs.bMoving;
    if (idle || (cs.bCapturing && !cs.bDrawn)) {
        // Nothing was drawn: stay Idle rather than hold an empty selection no press can grab.
        result.capture = MOUSE_CAPTURE_RELEASE;
    } else if (!cs.bCaptured || cs.bMoving) {
        result.capture = MOUSE_CAPTURE_RELEASE;
        result.bShowSelection = true;
        cs.bCaptured = 1;
    }
    cs.bCapturing = 0;
    cs.bSizing = 0;
    cs.bMoving = 0;
    return result;
}

bool drag_in_progress(const CaptureState& cs) {
    return cs.bCapturing || cs.bMoving;
}

bool escape_clears_selection(const CaptureState& cs) {
    return cs.bCapturing || cs.bMoving || cs.bCaptured;
}

CaptureCursor cursor_at(const CaptureState& cs, GeoPoint pt) {
    if (rect_contains(cs.rcHandles[HANDLE_TOP_LEFT], pt) ||
        rect_contains(cs.rcHandles[HANDLE_BOTTOM_RIGHT], pt))
        return CURSOR_SIZENWSE;
    if (rect_contains(cs.rcHandles[HANDLE_TOP_RIGHT], pt) ||
        rect_contains(cs.rcHandles[HANDLE_BOTTOM_LEFT], pt))
        return CURSOR_SIZENESW;
    if (rect_contains(cs.rcEdgeTop, pt) || rect_contains(cs.rcEdgeBottom, pt))
        return CURSOR_SIZENS;
    if (rect_contains(cs.rcEdgeLeft, pt) || rect_contains(cs.rcEdgeRight, pt))
        return CURSOR_SIZEWE;
    if (rect_contains(cs.rcSelection, pt))
        return CURSOR_SIZEALL;
    return CURSOR_CAPTURE;
}

bool selection_is_empty(const CaptureState& cs) {
    const GeoRect& s = cs.rcSelection;
    return s.right <= s.left || s.bottom <= s.top;
}

GeoRect selection_within(const CaptureState& cs, GeoRect image) {
    const GeoRect& s = cs.rcSelection;
    GeoRect rc{std::max(s.left, image.left), std::max(s.top, image.top),
               std::min(s.right, image.right), std::min(s.bottom, image.bottom)};
    if (rc.right <= rc.left || rc.bottom <= rc.top)
        return GeoRect{0, 0, 0, 0};
    return rc;
}

int32_t pointer_coordinate(uint32_t half_word) {
    return static_cast<int16_t>(static_cast<uint16_t>(half_word & 0xFFFFu));
}

size_t format_trace_line(const CaptureState& cs, char* buf, size_t size) {
    const int n = snprintf(buf, size, "bCapturing:%d bCaptured:%d,bMoving:%d\n",
                           static_cast<int>(cs.bCapturing), static_cast<int>(cs.bCaptured),
                           static_cast<int>(cs.bMoving));
    if (n < 0 || size == 0)
        return 0;
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}
