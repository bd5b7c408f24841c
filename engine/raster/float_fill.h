// The floating-point triangle walker shared by the float rasterizers (z-buffered
// and exact) and the 16.16 non-z-buffered one: edges, clipping to the target and
// span set-up in float; each driver supplies its own per-row span routine.
#pragma once

#include <cstdint>

#include "engine/raster/fixed.h"
#include "engine/raster/tpoly.h"
#include "engine/pixmap/pixmap.h"

// One corner as the walker sees it: screen position, texture coordinates (already
// in the unit the span wants) and depth.
struct FloatVertex {
    float x, y, u, v, z;
};

// An edge's values at the current row and their steps per row.
struct FloatEdge {
    float x, u, v, z;
    float dx, du, dv, dz;
};

// A textured span after horizontal clipping: pixels xs <= x < xe of the row, with
// the values of the first pixel and the steps per pixel.
struct FloatSpan {
    int32_t xs, xe;
    float u, v, z;
    float du, dv, dz;
};

// Called once per row inside the target (0 <= row < height), top to bottom.
typedef void (*FloatRowFn)(void* context, int32_t row, const FloatEdge* left, const FloatEdge* right);

// The six coordinates u0, v0, u1, v1, u2, v2 of the first texture layer, or null
// when the layer's index would read past the coordinate array.
inline const float* float_fill_first_uv(const tpoly* triangle) {
    const int32_t index = triangle->uv_index[0];
    constexpr int32_t floats = sizeof(tpoly::uv) / sizeof(float);
    if (index < 0 || index > floats - 6) return nullptr;
    return triangle->uv + index;
}

// Smallest integer not below value, through a 16.16 value (trunc(value * 65536),
// plus 0xFFFF, arithmetic shift right by 16): fixed_ceil16 inside the 16.16
// range. Outside it, unlike fixed_ceil16, it falls back to the plain ceiling,
// saturated by FIXED_INT32 (NaN the most negative value): these drivers clip
// spans and rows in float-derived integers of any size, where a ceiling stuck
// at +-32768 would put far-off edges in the wrong place.
int32_t float_fill_ceil16(float value);

// Sorts, rejects, walks and clips the triangle and calls row() for every row
// inside the target. flat_tie_strict selects the flat-top tie-break: x0 > x1
// (flat fills) instead of x0 >= x1 (textured fills).
void float_fill_walk(const FloatVertex corners[3], bool flat_tie_strict, const Pixmap* target,
                     FloatRowFn row, void* context);

// The textured row set-up: first and end pixel, values stepped to the first
// pixel, clipping to 0 <= x < width. Returns false when the span is empty.
bool float_fill_span(const FloatEdge* left, const FloatEdge* right, int32_t width, FloatSpan* span);

// The exact driver's line, flat and wire routines, shared by the 16.16
// non-z-buffered driver.
void float_raster_draw_line(Pixmap* target, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
void float_raster_draw_flat(tpoly* triangle, Pixmap* target);
void float_raster_draw_wire(tpoly* triangle, Pixmap* target);
