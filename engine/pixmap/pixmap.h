// Pixmap: the engine's one raster image: 32-bit pixels (bytes red, green, blue,
// alpha in memory), an optional signed 32-bit z plane, one row table for both.
// Also the rectangle clear, the clipped copy/alpha blit, the blend table, and
// the hook through which drawing queued above this module is finished first.
#pragma once

#include <array>
#include <cstdint>

enum : uint32_t {
    PIXMAP_ZBUFFER = 1,  // the Pixmap has a z plane
    PIXMAP_CLEAR = 2,    // initialise: pixels opaque black, z to PIXMAP_Z_FAR
    PIXMAP_ALPHA = 4,    // as a blit source, blend by per-pixel alpha
};

constexpr int32_t PIXMAP_Z_FAR = 0x7FFFFFFF;  // empty z: farther than anything

struct Pixmap {
    int32_t width;
    int32_t height;
    uint32_t flags;     // creation flags, unchanged
    int32_t* rows;      // rows[y] = y * width, index of row y in both planes
    int32_t* zbuffer;   // width * height depths, or null without PIXMAP_ZBUFFER
    uint32_t* pixels;   // width * height pixels, rows top to bottom, back to back
    uint32_t reserved;  // 0, unused
};

// Counters of out-of-range single-pixel accesses, over all Pixmaps, never reset.
extern int set_p_misses;
extern int set_z_misses;
extern int get_p_misses;
extern int get_z_misses;

// (a * c + 127) / 255 at index a * 256 + c: alpha a applied to channel value c,
// rounded to nearest. Built at compile time; row 0 is zeros, row 255 the identity.
constexpr std::array<int32_t, 65536> pixmap_make_blend_table()
{
    std::array<int32_t, 65536> table{};
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) table[a * 256 + c] = (a * c + 127) / 255;
    return table;
}
inline constexpr std::array<int32_t, 65536> blend_table = pixmap_make_blend_table();

// New Pixmap or null (error 1). Sizes <= 0 or whose byte count overflows are refused.
Pixmap* pixmap_create(int32_t width, int32_t height, uint32_t flags);
// Releases the row table, the z plane, the pixel plane and the header. Null is ignored.
void pixmap_destroy(Pixmap* pixmap);

// Checked single-pixel access: outside stores nothing / returns 0 and counts a miss.
void pixmap_set_pixel(Pixmap* pixmap, int32_t x, int32_t y, uint32_t value);
void pixmap_set_z(Pixmap* pixmap, int32_t x, int32_t y, int32_t z);
uint32_t pixmap_get_pixel(const Pixmap* pixmap, int32_t x, int32_t y);
int32_t pixmap_get_z(const Pixmap* pixmap, int32_t x, int32_t y);

// Diagnostic dumps to standard output.
void pixmap_dump(const Pixmap* pixmap);
void pixmap_dump_misses();

// Adds `count` misses to a counter at once (for routines that skip a run of
// out-of-range pixels instead of plotting each), stopping at the largest int.
void pixmap_count_misses(int* counter, int64_t count);

// Message for the last error; resets the code to 0.
const char* pixmap_error_string();

// Clears the clipped rectangle's z values (if any) to PIXMAP_Z_FAR, then its pixels to colour.
void pixmap_clear_rect(Pixmap* pixmap, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
// Copies (or, for a PIXMAP_ALPHA source, blends) the clipped w x h rectangle at
// (sx, sy) of src to (dx, dy) of dst. Overlapping rectangles in one Pixmap copy
// as memmove would.
void pixmap_blit(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                 int32_t w, int32_t h);

// A blit's rectangle after clipping against both Pixmaps: source corner, destination
// corner, extent.
struct PixmapBlitBox {
    int32_t sx, sy, dx, dy, w, h;
};
// Clips the w x h rectangle at (sx, sy) of src, going to (dx, dy) of dst, as
// pixmap_blit does (in 64 bits: huge corners or sizes cannot wrap); false when
// nothing is left.
bool pixmap_clip_blit(const Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                      int32_t w, int32_t h, PixmapBlitBox* box);

// ---- drawing queued on a Pixmap --------------------------------------------
// Threads never change the picture, also when the caller slips: the
// rasterizers' open batch (raster_begin .. raster_flush, engine/raster/raster.h)
// registers here while it is open, and every engine function that reads or
// writes a Pixmap (the accessors, clear, blit and destroy above, the image
// saver, the display drivers' blit) calls pixmap_finish on it first. So the
// triangles queued into that Pixmap, or reading it as a texture, are drawn
// before it is touched, and the bytes are those of one thread drawing each
// triangle at once. Code that reads or writes `pixels` or `zbuffer` itself
// calls pixmap_finish (or raster_flush) first.

// Finishes the queued work that draws into or reads pixmap; with `release`
// (the Pixmap is being destroyed) it also ends a batch that targets it.
// Called on the drawing thread only.
typedef void (*PixmapPendingFn)(const Pixmap* pixmap, bool release);
// Registers the finisher (null: nothing is queued anywhere).
void pixmap_set_pending(PixmapPendingFn finish);
extern PixmapPendingFn pixmap_pending;
// Draws what is queued into or from pixmap; a test of one pointer when no batch is open.
inline void pixmap_finish(const Pixmap* pixmap)
{
    if (pixmap_pending) pixmap_pending(pixmap, false);
}
