#include "capture_api.h"

#include "Ostrine.h"
#include "selection_geometry.h"

#include <cstddef>

// The geometry keeps its own platform-free records; GDI receives them field by field in the same
// order, so their layout must stay that of RECT and POINT.
static_assert(sizeof(GeoRect) == sizeof(RECT) && offsetof(GeoRect, right) == offsetof(RECT, right),
              "GeoRect must have the layout of RECT");
static_assert(sizeof(GeoPoint) == sizeof(POINT) && offsetof(GeoPoint, y) == offsetof(POINT, y),
              "GeoPoint must have the layout of POINT");

HBITMAP hbmResult = NULL;

// PLACEHOLDER: the interactive capture (dialog, pointer interaction, overlay, crop and clipboard)
// is not built yet. Until it is, no capture runs and the result is always NULL, which hosts
// already have to treat as "cancelled".
extern "C" HBITMAP WINAPI GetCapBitmap(void) {
    if (hbmResult != NULL) {
        DeleteObject(hbmResult);
        hbmResult = NULL;
    }
    return hbmResult;
}

extern "C" int WINAPI StartCapture(void) {
    return 1;
}
