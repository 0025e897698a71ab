#include "core/selection_geometry.h"

namespace {

GeoRect grown_by_one(const GeoRect& rc) {
    return GeoRect{rc.left - 1, rc.top - 1, rc.right + 1, rc.bottom + 1};
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
    cs.rcHit = grown_by_one(rc);
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
    cs.rcHit = grown_by_one(rc);
}

void update_edge_strips(CaptureState& cs) {
    const GeoRect& s = cs.rcSelection;
    cs.rcEdgeTop = GeoRect{s.left, s.top - 2, s.right, s.top + 3};
    cs.rcEdgeBottom = GeoRect{s.left, s.bottom - 2, s.right, s.bottom + 3};
    cs.rcEdgeLeft = GeoRect{s.left - 2, s.top, s.left + 3, s.bottom};
    cs.rcEdgeRight = GeoRect{s.right - 2, s.top, s.right + 3, s.bottom};
}

void update_handles(CaptureState& cs) {
    const int32_t l = cs.rcSelection.left;
    const int32_t t = cs.rcSelection.top;
    const int32_t r = cs.rcSelection.right;
    const int32_t b = cs.rcSelection.bottom;
    const int32_t mx = midpoint(l, r);
    const int32_t my = midpoint(t, b);
    // Squares on the left/top lines centre on L/T, those on the right/bottom on R-1/B-1.
    cs.rcHandles[HANDLE_TOP_LEFT] = GeoRect{l - 2, t - 2, l + 3, t + 3};
    cs.rcHandles[HANDLE_TOP_RIGHT] = GeoRect{r - 3, t - 2, r + 2, t + 3};
    cs.rcHandles[HANDLE_BOTTOM_RIGHT] = GeoRect{r - 3, b - 3, r + 2, b + 2};
    cs.rcHandles[HANDLE_BOTTOM_LEFT] = GeoRect{l - 2, b - 3, l + 3, b + 2};
    cs.rcHandles[HANDLE_TOP_MID] = GeoRect{mx - 2, t - 2, mx + 3, t + 3};
    cs.rcHandles[HANDLE_RIGHT_MID] = GeoRect{r - 3, my - 2, r + 2, my + 3};
    cs.rcHandles[HANDLE_BOTTOM_MID] = GeoRect{mx - 2, b - 3, mx + 3, b + 2};
    cs.rcHandles[HANDLE_LEFT_MID] = GeoRect{l - 2, my - 2, l + 3, my + 3};
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
