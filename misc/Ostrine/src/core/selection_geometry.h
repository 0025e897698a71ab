// Selection geometry: the arithmetic behind the interactive selection, with no platform headers,
// so that it builds and is tested natively as well as inside the DLL.
//
// Every operation works on the CaptureState it is given (the Win32 shell holds the one of the
// running capture; a test builds its own). Rectangles are half-open: left and top inclusive, right
// and bottom exclusive, as the platform's RECT and PtInRect treat them.
#pragma once

#include <cstdint>

// Same layout as the platform's RECT and POINT, so the DLL can hand them to GDI directly.
struct GeoRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct GeoPoint {
    int32_t x;
    int32_t y;
};

// Indexes into CaptureState::rcHandles.
enum HandleIndex {
    HANDLE_TOP_LEFT = 0,
    HANDLE_TOP_RIGHT = 1,
    HANDLE_BOTTOM_RIGHT = 2,
    HANDLE_BOTTOM_LEFT = 3,
    HANDLE_TOP_MID = 4,
    HANDLE_RIGHT_MID = 5,
    HANDLE_BOTTOM_MID = 6,
    HANDLE_LEFT_MID = 7,
    HANDLE_COUNT = 8
};

// Values of CaptureState::nSizingEdge.
enum SizingEdge { EDGE_RIGHT = 0, EDGE_BOTTOM = 1, EDGE_LEFT = 2, EDGE_TOP = 3 };

// The interaction record of one capture. The flags and points belong to the pointer
// interaction; they live here so that the whole record is one plain struct. A new record holds
// the values of a capture that has not started: nSizingEdge -1, ptLastMove (-1, -1), the rest zero.
struct CaptureState {
    int32_t bCapturing = 0;
    int32_t bCaptured = 0;
    int32_t bMoving = 0;
    int32_t bSizing = 0;
    int32_t nSizingEdge = -1;
    GeoPoint ptAnchor{0, 0};
    GeoPoint ptDrag{0, 0};
    GeoPoint ptLastMove{-1, -1};
    GeoRect rcSelection{};
    GeoRect rcPrevious{};
    GeoRect rcHit{};
    GeoRect rcHandles[HANDLE_COUNT]{};
    GeoRect rcEdgeTop{};
    GeoRect rcEdgeBottom{};
    GeoRect rcEdgeLeft{};
    GeoRect rcEdgeRight{};
    GeoRect rcInfo{};
    // Set once the current reshaping drag has drawn a selection (or started on an existing one):
    // a release tells from it whether there is a selection to keep.
    int32_t bDrawn = 0;
    // How far a handle and an edge strip reach from the outline: 2 (5-pixel handles) at 96 DPI,
    // more at higher DPI; rcHit reaches one pixel less. Kept by a reset.
    int32_t nHandleRadius = 2;
};

// rcSelection spans ptAnchor and ptDrag; rcPrevious keeps the old selection; rcHit follows.
void rect_from_anchor(CaptureState& cs);

// The edge named by nSizingEdge follows ptDrag. When the pointer reaches or crosses the opposite
// edge, the dragged edge changes sides: nSizingEdge is switched to the opposite edge, so the edge
// that was opposite stays fixed for the rest of the drag.
void rect_from_edge_drag(CaptureState& cs);

// The four 5-pixel strips along the edges of rcSelection.
void update_edge_strips(CaptureState& cs);

// The eight 5 x 5 handle squares of rcSelection.
void update_handles(CaptureState& cs);

// Shifts the selection and every rectangle derived from it; rcPrevious keeps the old selection.
void offset_selection(CaptureState& cs, int32_t dx, int32_t dy);

// The PtInRect test: left <= x < right and top <= y < bottom.
bool rect_contains(const GeoRect& rc, GeoPoint pt);
