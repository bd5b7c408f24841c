// tpoly: the one polygon record. An effect fills one with a view-space triangle
// (mode, colour, textures, coordinates) for the pipeline; the pipeline fills the
// frustum's own with screen-space triangles for the rasterizers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/math/vector.h"

struct Pixmap;
struct tpoly;

// Replaces the rasterizer for a triangle under TPOLY_CUSTOM.
typedef void (*tpoly_draw_routine)(tpoly* triangle, Pixmap* target);

// Lighting: under TPOLY_FLAT_LIGHT or TPOLY_GOURAUD the pipeline (frustum.h)
// sums the levels of the frustum's lights (light.h) at the triangle with the
// normals the caller fills in: face_normal (flat) or vertex_normal (Gouraud),
// in view space (x right, y up, z away from the eye), unit length (a level
// scales with the length), pointing out of the side that is seen. A face
// seen from the eye has its corners clockwise on the screen (the dispatcher
// culls the others unless TPOLY_TWO_SIDED); its outward normal is then
// normalize((vertex[1] - vertex[0]) x (vertex[2] - vertex[0])), which points
// towards the eye. With no light in the frustum every level is 0 (the
// frustum's error says so once). Which drivers draw the levels: flat fills
// in the grey of flat_intensity except in the safe driver, which fills with
// colour; lit textures only in the safe driver (raster.h).

// Drawing-mode flags; the rasterizer dispatcher reads the word as a whole.
enum : uint32_t {
    TPOLY_FLAT = 0x001,        // single-colour fill in colour (grey of flat_intensity
                               // with TPOLY_FLAT_LIGHT, but for the safe driver)
    TPOLY_TEXTURED = 0x004,    // texturemap with the first uv layer
    TPOLY_MAPPING2 = 0x010,    // second mapping mode; no driver draws it
    TPOLY_WIRE = 0x100,        // draw the flagged edges instead of filling
    TPOLY_FLAT_LIGHT = 0x200,  // the pipeline computes flat_intensity
    TPOLY_GOURAUD = 0x400,     // the pipeline computes vertex_intensity and clips it
    TPOLY_EDGE01 = 0x800,
    TPOLY_EDGE12 = 0x1000,
    TPOLY_EDGE20 = 0x2000,
    TPOLY_TWO_SIDED = 0x4000,  // no back-face test
    TPOLY_CUSTOM = 0x8000,     // draw with draw_routine when it is set
};

constexpr int TPOLY_TEXTURE_SLOTS = 6;
constexpr int TPOLY_UV_FLOATS = 36;  // six floats per layer, six layers

// Words as the design numbers them (pointers take the host's pointer size).
struct tpoly {
    uint32_t flags;                 // 0
    uint32_t colour;                // 1: pixel of flat fills, wires and lines
    uint32_t reserved[2];           // 2-3: carried into drawn triangles, never read
    int32_t flat_intensity;         // 4: 0-255, written by the pipeline (TPOLY_FLAT_LIGHT)
    int32_t vertex_intensity[3];    // 5-7: 0-255, written by the pipeline (TPOLY_GOURAUD)
    vector vertex[3];               // 8-16: view space in, screen x/y + view z out
    vector vertex_normal[3];        // 17-25: caller's, TPOLY_GOURAUD: view space, unit, outward
    vector face_normal;             // 26-28: caller's, TPOLY_FLAT_LIGHT: view space, unit, outward
    int32_t stride;                 // 29: clip floats per vertex, 3 + 2 per layer
    tpoly_draw_routine draw_routine;  // 30
    int32_t uv_index[TPOLY_TEXTURE_SLOTS];  // 31-36: start in uv of each slot's six floats
    int32_t uv_count;               // 37: uv floats in use, six per layer
    float uv[TPOLY_UV_FLOATS];      // 38-73: per layer u0 v0 u1 v1 u2 v2, in texels
    Pixmap* texturemap;             // 74: texture of the first slot (not owned)
    Pixmap* texturemap_more[TPOLY_TEXTURE_SLOTS - 1];  // 75-79: slots 2-6, carried only
    uint32_t reserved_end;          // 80: 0 at creation
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(tpoly, draw_routine) == 30 * 4);
static_assert(offsetof(tpoly, uv_index) == 31 * 4);
static_assert(offsetof(tpoly, uv_count) == 37 * 4);
static_assert(offsetof(tpoly, uv) == 38 * 4);
static_assert(offsetof(tpoly, texturemap) == 74 * 4);
static_assert(offsetof(tpoly, reserved_end) == 80 * 4);
static_assert(sizeof(tpoly) == 81 * 4);
#else
// 64-bit pointers: each widens its word to two, texturemap is 8-aligned.
static_assert(offsetof(tpoly, draw_routine) == 30 * 4);
static_assert(offsetof(tpoly, uv_index) == 32 * 4);
static_assert(offsetof(tpoly, uv_count) == 38 * 4);
static_assert(offsetof(tpoly, uv) == 39 * 4);
static_assert(offsetof(tpoly, texturemap) == 76 * 4);
static_assert(offsetof(tpoly, reserved_end) == 88 * 4);
static_assert(sizeof(tpoly) == 90 * 4);
#endif
static_assert(offsetof(tpoly, flat_intensity) == 4 * 4);
static_assert(offsetof(tpoly, vertex) == 8 * 4);
static_assert(offsetof(tpoly, vertex_normal) == 17 * 4);
static_assert(offsetof(tpoly, face_normal) == 26 * 4);
static_assert(offsetof(tpoly, stride) == 29 * 4);

// New record from GMEM (flags, draw routine, textures, uv_count, word 80 zero), or null (code 1).
tpoly* tpoly_create();
// Releases the record (not its textures); null is ignored.
void tpoly_destroy(tpoly* poly);
// Message for the last error; resets the code to 0.
const char* tpoly_error_string();
