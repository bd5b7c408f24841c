// Rasterizer registry and dispatcher: six interchangeable software triangle
// drivers, each a constant descriptor (name, capability word, 21 routine slots),
// one current pointer, and the per-triangle dispatch with back-face culling.
#pragma once

#include <cstdint>

#include "engine/raster/tpoly.h"

struct Pixmap;

// Slots 1 to 20: draw one screen-space triangle into the target.
typedef void (*RasterSlot)(tpoly* triangle, Pixmap* target);

constexpr int RASTER_SLOTS = 21;

// Slot numbers. Slot 0 holds the driver's line routine with its own argument
// list, stored cast to RasterSlot (see raster_line_slot): the dispatcher never
// calls it, each driver's wire routine calls its own line directly.
enum : int {
    RASTER_SLOT_LINE = 0,
    RASTER_SLOT_FLAT = 1,               // also every unlisted mode
    RASTER_SLOT_WIRE = 2,               // TPOLY_WIRE
    RASTER_SLOT_TEXTURED = 4,           // TPOLY_TEXTURED
    RASTER_SLOT_TEXTURED_LIT = 5,       // TPOLY_TEXTURED | TPOLY_FLAT_LIGHT
    RASTER_SLOT_TEXTURED_GOURAUD = 8,   // TPOLY_TEXTURED | TPOLY_GOURAUD
    RASTER_SLOT_MAPPING2 = 18,          // TPOLY_MAPPING2 (19 flat-lit, 20 Gouraud)
    RASTER_SLOT_MAPPING2_LIT = 19,
    RASTER_SLOT_MAPPING2_GOURAUD = 20,
};

// Capability words; raster_select compares them whole.
enum : uint32_t {
    RASTER_FLAGS_FLOAT_ZBUFFER = 0x82,   // float edges and spans, z-buffered
    RASTER_FLAGS_FLOAT_EXACT = 0x00,     // float edges and spans, no depth
    RASTER_FLAGS_FIXED_NOZBUFFER = 0x14, // 16.16 spans, 256 x 256 textures, no depth
    RASTER_FLAGS_FIXED_ZBUFFER = 0x94,   // 16.16 spans, 256 x 256 textures, z-buffered
    RASTER_FLAGS_SAFE = 0x01,            // edge tables, bounds-checked flat drawing (never lit),
                                         // lit and Gouraud textures
    RASTER_FLAGS_PERSPECTIVE = 0xA0,     // perspective-correct textures, z-buffered
};

// The triangle's modes that choose a slot (see raster_draw_triangle).
constexpr uint32_t RASTER_MODE_MASK = 0x6FD;

struct RasterDriver {
    const char* name;            // human-readable description
    uint32_t flags;              // capability word
    RasterSlot slot[RASTER_SLOTS];  // null slots draw nothing
};

// The six drivers, each defined with its routines in its own file.
extern const RasterDriver raster_driver_float_zbuffer;    // 0x82, float_raster.cpp
extern const RasterDriver raster_driver_float_exact;      // 0x00, float_raster.cpp
extern const RasterDriver raster_driver_fixed_nozbuffer;  // 0x14, fixed_nozbuffer.cpp
extern const RasterDriver raster_driver_fixed_zbuffer;    // 0x94, fixed_zbuffer.cpp
extern const RasterDriver raster_driver_safe;             // 0x01, safe_raster.cpp
extern const RasterDriver raster_driver_perspective;      // 0xA0, perspective_raster.cpp

// Null-terminated search order of raster_select: 0xA0, 0x94, 0x14, 0x00, 0x01.
// The float z-buffered driver is not listed: it can only be the start value.
extern const RasterDriver* const raster_drivers[];

// The driver in use: the float z-buffered one until the first raster_select.
extern const RasterDriver* current_raster_driver;

// Makes the first listed driver whose flags equal the word current and returns
// 1; with no match the safe driver becomes current and 0 is returned, and the
// note RASTER_NOTE_UNKNOWN_FLAGS says so. Every call clears the earlier notes.
int raster_select(uint32_t flags);

// Draws one screen-space triangle with the current driver: back-face test
// (unless TPOLY_TWO_SIDED), custom routine, wire, then the slot of the mode.
void raster_draw_triangle(tpoly* triangle, Pixmap* target);

// The slot number the dispatcher uses for a fill of these flags (no wire, no custom).
int raster_mode_slot(uint32_t flags);

// ---- notes: why nothing (or not what was asked) was drawn ------------------
// Drawing reports no errors (its results are fixed), so each cause of a
// triangle not drawn as asked is noted once, with the numbers of the first
// triangle that showed it, until the next raster_select or
// raster_clear_notes: the first triangle of a cause formats one line, the
// rest cost a test. Triangles of an open batch are noted when they are drawn:
// read the notes after raster_flush (or after the target was blitted).
enum : uint32_t {
    RASTER_NOTE_UNKNOWN_FLAGS = 1u << 0,  // raster_select found no driver: the safe one is current
    RASTER_NOTE_BACK_FACE = 1u << 1,      // culled as a back face (normal for closed objects)
    RASTER_NOTE_NO_SLOT = 1u << 2,        // the current driver has no routine for the mode
    RASTER_NOTE_NO_TEXTURE = 1u << 3,     // textured mode, no usable texturemap
    RASTER_NOTE_UV_INDEX = 1u << 4,       // uv_index[0] leaves no six floats in uv
    RASTER_NOTE_TEXTURE_SIZE = 1u << 5,   // a 256 x 256-table driver given another size
    RASTER_NOTE_TARGET = 1u << 6,         // the target lacks what the driver draws into
    RASTER_NOTE_STRIDE = 1u << 7,         // the pipeline refused or cut the polygon's stride
};

// The causes noted since the last raster_select or raster_clear_notes.
uint32_t raster_notes();
// One line per noted cause, in the order of the bits above, each naming the
// driver, the numbers and what to change; "" when nothing was noted. The text
// stays valid until the next call.
const char* raster_error_detail();
// Forgets the notes (raster_select does this too).
void raster_clear_notes();
// Notes a cause with its line (printf format) unless it is noted already.
// For the drivers and the polygon pipeline; safe from the band threads.
void raster_note(uint32_t cause, const char* format, ...);
// Notes RASTER_NOTE_BACK_FACE with the three screen corners of a culled
// triangle (the dispatcher and the pipeline's own early cull call it).
void raster_note_back_face(const vector* corners);
// For the textured routines: whether the triangle has a texture with pixels
// and a size (and a row table when `rows`) and six coordinates inside uv;
// if not, notes RASTER_NOTE_NO_TEXTURE or RASTER_NOTE_UV_INDEX for `driver`.
bool raster_texture_usable(const tpoly* triangle, const char* driver, bool rows);

// ---- bands: one frame's triangles on every core ------------------------------
// Between raster_begin(target) and raster_flush(), the fills that
// raster_draw_triangle sends to a banded routine (the 16.16 z-buffered flat
// and textured fills) are queued instead of drawn at once: the target's rows
// are cut into horizontal bands, each band takes every queued triangle,
// clipped to its rows, in submission order, on the worker pool
// (engine/jobs/jobs.h). The pool's threads draw chunks of the queue while the
// caller goes on transforming and queueing; raster_flush draws the rest on
// every thread. Depth ties and overdraw come out as on one thread. Everything
// else (wires, custom routines, other drivers, other targets, a triangle
// textured with its own target, the frustum's points and lines) first draws
// what is queued and then runs on the calling thread, in order; so do the
// pool's row jobs, and a change of the thread count ends the batch.
//
// The rule: threads never change the picture, also when the caller slips.
// Every engine function that reads or writes a Pixmap finishes the open
// batch first when the batch draws into that Pixmap or reads it as a texture
// (pixmap_finish, engine/pixmap/pixmap.h): the Pixmap accessors, clear, blit
// and destroy, the image saver, the display drivers' blit, the pool's row
// jobs. So a forgotten raster_flush is finished by whatever reads the target
// next, a clear inside the batch clears what was queued before it, a texture
// written inside the batch is written after the triangles that read it, and
// destroying the target ends its batch: the bytes are those of one thread,
// for any thread count. Code that reads or writes a Pixmap's `pixels` or
// `zbuffer` itself calls raster_flush (or pixmap_finish) first; with one
// thread, or a small target when the count was not set (jobs_worth), nothing
// is queued and these calls cost a test each.
// These calls, like all drawing, come from one thread: the one that draws.

// Opens a batch of triangles for target (ends an open one with a flush).
void raster_begin(Pixmap* target);
// Whether the open batch is drawn in bands (queued, on the pool).
bool raster_banded();
// Draws everything queued and ends the batch; returns when the target is
// complete. Cheap when nothing is queued; safe without raster_begin.
void raster_flush();
// Draws what is queued when it draws into or reads target (the batch stays
// open): for code that writes to a Pixmap outside the queue.
void raster_drain(const Pixmap* target);

// The rows a banded routine may draw on this thread: first <= row < end.
// Outside a flush's band work it allows every row (the default).
struct RasterBand {
    int32_t first, end;
};
extern thread_local RasterBand raster_band;

// Colour of a flat fill: colour, or under TPOLY_FLAT_LIGHT the opaque grey whose
// red, green and blue bytes are the low byte of flat_intensity. The flat fills
// of the fixed-point and floating-point drivers use it; the safe driver's
// (RASTER_FLAGS_SAFE) does not: it fills with colour whatever the light, and
// lights only textured triangles (slots 5 and 8).
inline uint32_t raster_flat_colour(const tpoly* t) {
    if (!(t->flags & TPOLY_FLAT_LIGHT)) return t->colour;
    uint32_t g = (uint32_t)t->flat_intensity & 0xFF;
    return 0xFF000000u | g << 16 | g << 8 | g;
}

// Stores a driver's own line routine in slot 0.
template <typename F>
inline RasterSlot raster_line_slot(F* line) {
    // Through the generic function pointer type: a deliberate, documented cast.
    return reinterpret_cast<RasterSlot>(reinterpret_cast<void (*)()>(line));
}
