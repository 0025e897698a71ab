// Selection geometry: the arithmetic behind the interactive selection, with no platform headers,
// so that it builds and is tested natively as well as inside the DLL.
//
// The capture library keeps one process-wide CaptureState (capture_state); the operations here
// read and write its geometry fields. Rectangles are half-open: left and top inclusive, right and
// bottom exclusive, as the platform's RECT and PtInRect treat them.
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

// The one interaction record of the library. The flags and points belong to the pointer
// interaction; they live here so that the whole record is one plain struct.
struct CaptureState {
    int32_t bCapturing;
    int32_t bCaptured;
    int32_t bMoving;
    int32_t bSizing;
    int32_t nSizingEdge;
    GeoPoint ptAnchor;
    GeoPoint ptDrag;
    GeoPoint ptLastMove;
    GeoRect rcSelection;
    GeoRect rcPrevious;
    GeoRect rcHit;
    GeoRect rcHandles[HANDLE_COUNT];
    GeoRect rcEdgeTop;
    GeoRect rcEdgeBottom;
    GeoRect rcEdgeLeft;
    GeoRect rcEdgeRight;
    GeoRect rcInfo;
};

// Process-wide; initialised to the load-time values (nSizingEdge -1, ptLastMove (-1, -1),
// everything else zero).
extern CaptureState capture_state;

// rcSelection spans ptAnchor and ptDrag; rcPrevious keeps the old selection; rcHit follows.
void rect_from_anchor();

// The edge named by nSizingEdge follows ptDrag. When the pointer reaches or crosses the opposite
// edge, the dragged edge changes sides: nSizingEdge is switched to the opposite edge, so the edge
// that was opposite stays fixed for the rest of the drag.
void rect_from_edge_drag();

// The four 5-pixel strips along the edges of rcSelection.
void update_edge_strips();

// The eight 5 x 5 handle squares of rcSelection.
void update_handles();

// Shifts the selection and every rectangle derived from it; rcPrevious keeps the old selection.
void offset_selection(int32_t dx, int32_t dy);

// The PtInRect test: left <= x < right and top <= y < bottom.
bool rect_contains(const GeoRect& rc, GeoPoint pt);
