// Screen filters: whole-Pixmap passes the timeline and the effects run on the
// virtual screen between drawing steps: the colour fade, the additive blit and
// the depth outline. None allocates or reports an error; all work in place.
#pragma once

#include <cstdint>

struct Pixmap;

// Blends the first `count` pixels (memory order, across rows) towards `colour`:
// each byte becomes sat16(lo16(p * b) + lo16(c * a)) >> 8 with a = trunc(weight * 256),
// b = trunc((1 - weight) * 256). The weight is not clamped (slightly below 0 gives
// a = -1, b = 257, which leaves pixels unchanged against colour 0). Called once or
// more per frame with count = width * height; a count beyond the Pixmap is cut to it.
void filter_fade(Pixmap* pixmap, uint32_t colour, float weight, int32_t count);

// Adds the w x h rectangle at (sx, sy) of src onto (dx, dy) of dst, every byte
// saturating at 255. Clipped exactly as pixmap_blit clips; the flags do not matter.
void filter_add_blit(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                     int32_t w, int32_t h);

// Draws 3-pixel strokes in `colour` wherever neighbouring depths differ by more
// than `threshold`: vertical strokes for a step to the row below, horizontal ones
// for a step to the next column. Reads only the z-buffer; without one it does nothing.
void filter_outline(Pixmap* pixmap, int32_t threshold, uint32_t colour);

// The outline on a screen `scale` times 320 x 240: the strokes keep their span in
// 320 x 240 units (2 scale pixels before each step, scale pixels after it, rounded)
// and a step counts when it exceeds threshold / scale. Scale 1 or less is filter_outline.
void filter_outline_scaled(Pixmap* pixmap, int32_t threshold, uint32_t colour, float scale);

// Whole-screen passes, on every core when the screen is large (the
// rasterizers' pool; the same bytes for any thread count): the z-buffer set
// to `depth`; the w x h top-left rectangle of `picture` copied over the
// screen's (clipped as pixmap_blit clips); pixels and depths cleared as
// pixmap_clear_rect clears the whole Pixmap.
void filter_fill_depth(Pixmap* screen, int32_t depth);
void filter_copy(Pixmap* screen, const Pixmap* picture, int32_t w, int32_t h);
void filter_clear(Pixmap* screen, uint32_t colour);

// Plain loop versions of the SIMD passes, with identical results; the tests
// hold the SIMD code to them.
void filter_fade_scalar(Pixmap* pixmap, uint32_t colour, float weight, int32_t count);
void filter_add_blit_scalar(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx,
                            int32_t sy, int32_t w, int32_t h);
void filter_outline_scalar(Pixmap* pixmap, int32_t threshold, uint32_t colour);
void filter_outline_scaled_scalar(Pixmap* pixmap, int32_t threshold, uint32_t colour, float scale);
