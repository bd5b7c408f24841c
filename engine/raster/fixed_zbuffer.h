// The fixed-point z-buffered rasterizer (flags 0x94), the one the demo draws
// with: float edges, 16.16 span routines with a strict z test, 256 x 256
// wrapped textures, anti-aliased additive lines. Its descriptor is in raster.h.
#pragma once

#include <cstdint>

#include "engine/raster/tpoly.h"

struct Pixmap;

// Slot routines (triangle in screen space: x, y pixels, z view depth).
void fixed_zbuffer_draw_textured(tpoly* triangle, Pixmap* target);
void fixed_zbuffer_draw_flat(tpoly* triangle, Pixmap* target);
void fixed_zbuffer_draw_wire(tpoly* triangle, Pixmap* target);
// Slot 0: anti-aliased additive line, depth tested at its centre pixel.
void fixed_zbuffer_draw_line(Pixmap* target, float x0, float y0, float z0, float x1, float y1,
                             float z1, uint32_t colour);

// Span routines: count pixels from dst/zbuf; z, u, v and steps in 16.16.
// texture is a 256 x 256 texel table indexed (v & 255) * 256 + (u & 255).
// The plain routines use SSE2, four pixels at a time; the _scalar ones are the
// one-pixel-at-a-time references they agree with byte for byte.
void fixed_zbuffer_texture_span_z(uint32_t* dst, const uint32_t* texture, int32_t* zbuf,
                                  int32_t count, int32_t z, int32_t u, int32_t v, int32_t du,
                                  int32_t dv, int32_t dz);
void fixed_zbuffer_flat_span_z(uint32_t* dst, int32_t* zbuf, int32_t count, int32_t z, int32_t dz,
                               uint32_t colour);
void fixed_zbuffer_texture_span_z_scalar(uint32_t* dst, const uint32_t* texture, int32_t* zbuf,
                                         int32_t count, int32_t z, int32_t u, int32_t v, int32_t du,
                                         int32_t dv, int32_t dz);
void fixed_zbuffer_flat_span_z_scalar(uint32_t* dst, int32_t* zbuf, int32_t count, int32_t z,
                                      int32_t dz, uint32_t colour);

// fixed_to16 four at a time (the same results for every float), through
// cvttps with the rare lanes it cannot represent taken by fixed_to16.
void fixed_zbuffer_to_fixed16x4(const float in[4], int32_t out[4]);
// Adds colour weighted by trunc(256 wx wy) to the pixel at (trunc(x), trunc(y)),
// each byte saturating at 255. Points outside the target are skipped.
void fixed_zbuffer_add_plot(Pixmap* target, float x, float y, float wx, float wy, uint32_t colour);
