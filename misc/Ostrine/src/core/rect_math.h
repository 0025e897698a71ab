// Small rectangle arithmetic on half-open rectangles (left and top inclusive).
#pragma once

#include "core/selection_geometry.h"

#include <cstdint>

bool rect_is_empty(const GeoRect& rc);
// The common part; empty ({0,0,0,0}) when there is none.
GeoRect intersect_rects(const GeoRect& a, const GeoRect& b);
// The smallest rectangle holding both; an empty one adds nothing.
GeoRect union_rects(const GeoRect& a, const GeoRect& b);
GeoRect inflate_rect(const GeoRect& rc, int32_t by);
GeoRect offset_rect(const GeoRect& rc, int32_t dx, int32_t dy);
int64_t rect_area(const GeoRect& rc);
// The parts of `a` outside `b`, as at most four disjoint rectangles; returns their count.
int subtract_rect(const GeoRect& a, const GeoRect& b, GeoRect out[4]);
