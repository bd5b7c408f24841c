// The 2D kit: whole-Pixmap passes an effect runs on its screen between drawing
// steps (the colour fade, the additive blit, the depth outline) and saving a
// Pixmap as a PNG file. The passes work in place, allocate nothing and report
// no error; each first draws what is queued into the Pixmaps it touches.
#pragma once

#include <cstdint>

struct Pixmap;

// ---- passes ------------------------------------------------------------------------

// Blends the first `count` pixels (memory order, across rows) towards `colour`:
// each byte becomes sat16(lo16(p * b) + lo16(c * a)) >> 8 with a = trunc(weight * 256),
// b = trunc((1 - weight) * 256). Weight 0 leaves the pixels, 1 gives the colour (its
// alpha byte included). The weight is not clamped (slightly below 0 gives a = -1,
// b = 257, which leaves pixels unchanged against colour 0). Usually called with
// count = width * height; a count beyond the Pixmap is cut to it. On every core
// when the Pixmap is large; the same bytes for any thread count.
void fx_fade(Pixmap* pixmap, uint32_t colour, float weight, int32_t count);

// Adds the w x h rectangle at (sx, sy) of src onto (dx, dy) of dst, every byte
// saturating at 255. Clipped exactly as pixmap_blit clips; the flags do not matter.
// Overlapping rectangles in one Pixmap read every source pixel before it is written.
void fx_add_blit(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                 int32_t w, int32_t h);

// Draws 3-pixel strokes in `colour` wherever neighbouring depths differ by more
// than `threshold`: vertical strokes for a step to the row below, horizontal ones
// for a step to the next column, over rows 1 .. height - 3 and columns
// 1 .. width - 2. Reads only the z-buffer; without one it does nothing.
void fx_outline(Pixmap* pixmap, int32_t threshold, uint32_t colour);

// The outline on a screen drawn `scale` times larger than the one the threshold
// and strokes were chosen for: the strokes keep their span in the smaller
// screen's units (2 scale pixels before each step, scale pixels after it,
// rounded) and a step counts when it exceeds threshold / scale. Scale 1 or
// less is fx_outline.
void fx_outline_scaled(Pixmap* pixmap, int32_t threshold, uint32_t colour, float scale);

// Plain loop versions of the SIMD passes above, with identical results (the
// tests hold the SIMD code to them byte for byte).
void fx_fade_scalar(Pixmap* pixmap, uint32_t colour, float weight, int32_t count);
void fx_add_blit_scalar(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                        int32_t w, int32_t h);
void fx_outline_scalar(Pixmap* pixmap, int32_t threshold, uint32_t colour);
void fx_outline_scaled_scalar(Pixmap* pixmap, int32_t threshold, uint32_t colour, float scale);

// ---- PNG files ---------------------------------------------------------------------

// Error codes (module-wide, 0 at the start of each save).
enum : int {
    FX_ERROR_NONE = 0,
    FX_ERROR_PIXMAP = 1,   // no Pixmap, or one without pixels
    FX_ERROR_OPEN = 2,     // the file could not be created
    FX_ERROR_WRITE = 3,    // writing or closing the file failed (a full disk, ...)
    FX_ERROR_LIBRARY = 4,  // the PNG library refused (its message follows the tag)
};

// Writes the Pixmap as an 8-bit PNG file: RGBA from the bytes red, green, blue,
// alpha of each pixel when it was created with PIXMAP_ALPHA, RGB from red, green,
// blue otherwise. Triangles queued into it are drawn first. 1 on success; 0 with
// the error code set, fx_error_detail() naming the file, and no partial file left
// behind (a regular file that was begun is removed).
int pixmap_save_png(const Pixmap* pixmap, const char* path);

// The message for the current error code ("[FX] Unable to write file"); the code
// is not reset.
const char* fx_error_string();
// The file the failed save was writing ("" when the last save succeeded).
const char* fx_error_detail();
