// Grid-mapped full-screen backgrounds: a ray is cast through each point of a
// 41 x 31 grid over the 320 x 240 screen, turned into texture coordinates and a
// brightness, and each 8 x 8 block between four grid points is interpolated.
#pragma once

#include <cstdint>

struct Pixmap;

constexpr int BACKGROUND_GRID_COLUMNS = 41;
constexpr int BACKGROUND_GRID_ROWS = 31;

// One grid point: c[0] = u, c[1] = v, c[2] = shade (0-255), plain integers.
struct BackgroundPoint {
    int32_t c[3];
};
static_assert(sizeof(BackgroundPoint) == 12, "a grid point is three 32-bit integers");

// The grid, shared by both backgrounds (they never run in the same frame) and
// rewritten completely at the start of every draw.
extern BackgroundPoint background_grid[BACKGROUND_GRID_ROWS][BACKGROUND_GRID_COLUMNS];

// Tunnel: u from the ray's angle around z (the texture wraps 8 times), v from its
// depth over its distance from the axis, scrolled by t. Angles in radians.
// The texture is read as a 256-wide image and must hold at least 256 x 256
// pixels and the destination at least 320 x 240; otherwise nothing is drawn.
void tunnel_draw(Pixmap* dst, const Pixmap* texture, float t, float shade_offset, float a1, float a2,
                 float a3);
// Sphere of radius t around the eye: u and v are fractions of a turn in 1/1024 steps.
void sphere_draw(Pixmap* dst, const Pixmap* texture, float t, float shade_offset, float a1, float a2,
                 float a3);

// Fills the 8 x 8 block at (x, y) of dst between grid points a (top left), b (top
// right), c (bottom left) and d (bottom right). count 3 interpolates u, v and the
// shade and brightens each texel towards white by it; count 2 copies texels.
// Corrects the grid points in place where a coordinate wraps by more than 900.
void background_block_fill(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, int count,
                           BackgroundPoint* a, BackgroundPoint* b, BackgroundPoint* c,
                           BackgroundPoint* d);
// The same with the shade blend done one byte at a time; the SIMD path is held to it.
void background_block_fill_scalar(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, int count,
                                  BackgroundPoint* a, BackgroundPoint* b, BackgroundPoint* c,
                                  BackgroundPoint* d);

// Float to int32 truncating towards zero; NaN and values outside the int32
// range give INT32_MIN, as the x86 conversion instruction does.
int32_t background_trunc(double value);
