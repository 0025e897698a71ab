#include "core/selection_geometry.h"

namespace {

// The hit rectangle: the selection grown by one pixel at 96 DPI (radius 2), more with larger
// handles, so that a press anywhere on a handle's inner part takes the capture.
GeoRect hit_rect(const CaptureState& cs, const GeoRect& rc) {
    const int32_t g = cs.nHandleRadius > 1 ? cs.nHandleRadius - 1 : 1;
    return GeoRect{rc.left - g, rc.top - g, rc.right + g, rc.bottom + g};
}

void shift(GeoRect& rc, int32_t dx, int32_t dy) {
    rc.left += dx;
    rc.right += dx;
    rc.top += dy;
    rc.bottom += dy;
}

// Signed midpoint, truncated toward zero; summed in 64 bits so that far-off coordinates of a
// moved selection cannot overflow.
int32_t midpoint(int32_t a, int32_t b) {
    return static_cast<int32_t>((static_cast<int64_t>(a) + b) / 2);
}

} // namespace

void rect_from_anchor(CaptureState& cs) {
    cs.rcPrevious = cs.rcSelection;
    GeoRect rc;
    rc.left = cs.ptAnchor.x < cs.ptDrag.x ? cs.ptAnchor.x : cs.ptDrag.x;
    rc.right = cs.ptAnchor.x < cs.ptDrag.x ? cs.ptDrag.x : cs.ptAnchor.x;
    rc.top = cs.ptAnchor.y < cs.ptDrag.y ? cs.ptAnchor.y : cs.ptDrag.y;
    rc.bottom = cs.ptAnchor.y < cs.ptDrag.y ? cs.ptDrag.y : cs.ptAnchor.y;
    cs.rcSelection = rc;
    cs.rcHit = hit_rect(cs, rc);
}

void rect_from_edge_drag(CaptureState& cs) {
    GeoRect& rc = cs.rcSelection;
    const GeoPoint p = cs.ptDrag;
    cs.rcPrevious = rc;
    // At a crossing the old opposite edge becomes the fixed near side and the pointer drives the
    // edge on the other side from now on; the rectangle stays normalised.
    switch (cs.nSizingEdge) {
    case EDGE_RIGHT:
        if (rc.left < p.x) {
            rc.right = p.x;
        } else {
            rc.right = rc.left;
            rc.left = p.x;
            cs.nSizingEdge = EDGE_LEFT;
        }
        break;
    case EDGE_LEFT:
        if (rc.right > p.x) {
            rc.left = p.x;
        } else {
            rc.left = rc.right;
            rc.right = p.x;
            cs.nSizingEdge = EDGE_RIGHT;
        }
        break;
    case EDGE_BOTTOM:
        if (rc.top < p.y) {
            rc.bottom = p.y;
        } else {
            rc.bottom = rc.top;
            rc.top = p.y;
            cs.nSizingEdge = EDGE_TOP;
        }
        break;
    case EDGE_TOP:
        if (rc.bottom > p.y) {
            rc.top = p.y;
        } else {
            rc.top = rc.bottom;
            rc.bottom = p.y;
            cs.nSizingEdge = EDGE_BOTTOM;
        }
        break;
    default:
        break;
    }
    cs.rcHit = hit_rect(cs, rc);
}

void update_edge_strips(CaptureState& cs) {
    const GeoRect& s = cs.rcSelection;
    const int32_t k = cs.nHandleRadius;
    cs.rcEdgeTop = GeoRect{s.left, s.top - k, s.right, s.top + k + 1};
    cs.rcEdgeBottom = GeoRect{s.left, s.bottom - k, s.right, s.bottom + k + 1};
    cs.rcEdgeLeft = GeoRect{s.left - k, s.top, s.left + k + 1, s.bottom};
    cs.rcEdgeRight = GeoRect{s.right - k, s.top, s.right + k + 1, s.bottom};
}

void update_handles(CaptureState& cs) {
    const int32_t l = cs.rcSelection.left;
    const int32_t t = cs.rcSelection.top;
    const int32_t r = cs.rcSelection.right;
    const int32_t b = cs.rcSelection.bottom;
    const int32_t mx = midpoint(l, r);
    const int32_t my = midpoint(t, b);
    const int32_t k = cs.nHandleRadius;
    // Squares of side 2k + 1: on the left/top lines they centre on L/T, on the right/bottom
    // lines on R-1/B-1.
    cs.rcHandles[HANDLE_TOP_LEFT] = GeoRect{l - k, t - k, l + k + 1, t + k + 1};
    cs.rcHandles[HANDLE_TOP_RIGHT] = GeoRect{r - 1 - k, t - k, r + k, t + k + 1};
    cs.rcHandles[HANDLE_BOTTOM_RIGHT] = GeoRect{r - 1 - k, b - 1 - k, r + k, b + k};
    cs.rcHandles[HANDLE_BOTTOM_LEFT] = GeoRect{l - k, b - 1 - k, l + k + 1, b + k};
    cs.rcHandles[HANDLE_TOP_MID] = GeoRect{mx - k, t - k, mx + k + 1, t + k + 1};
    cs.rcHandles[HANDLE_RIGHT_MID] = GeoRect{r - 1 - k, my - k, r + k, my + k + 1};
    cs.rcHandles[HANDLE_BOTTOM_MID] = GeoRect{mx - k, b - 1 - k, mx + k + 1, b + k};
    cs.rcHandles[HANDLE_LEFT_MID] = GeoRect{l - k, my - k, l + k + 1, my + k + 1};
}

void offset_selection(CaptureState& cs, int32_t dx, int32_t dy) {
    cs.rcPrevious = cs.rcSelection;
    shift(cs.rcSelection, dx, dy);
    // Shifted rather than recomputed: the midpoint handles keep their earlier truncation.
    for (GeoRect& rc : cs.rcHandles) {
        shift(rc, dx, dy);
    }
    shift(cs.rcEdgeTop, dx, dy);
    shift(cs.rcEdgeBottom, dx, dy);
    shift(cs.rcEdgeLeft, dx, dy);
    shift(cs.rcEdgeRight, dx, dy);
    shift(cs.rcHit, dx, dy);
}

bool rect_contains(const GeoRect& rc, GeoPoint pt) {
    return rc.left <= pt.x && pt.x < rc.right && rc.top <= pt.y && pt.y < rc.bottom;
}
