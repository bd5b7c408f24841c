// The zfx effect: a knotted tube mesh, flat-shaded in one colour by the angle
// between each face and the view and outlined where the depth jumps, turning
// while the perspective breathes, with seven credit pictures added on top.
#pragma once

#include <cstdint>

#include "engine/math/vector.h"

struct Pixmap;
struct MusicPosition;
struct frustum;
struct tpoly;

constexpr int ZFX_RINGS = 40;          // rings of the tube
constexpr int ZFX_SIDES = 8;           // sides of a ring
constexpr int ZFX_RING_STRIDE = 9;     // stored positions per ring (the ninth repeats the first)
constexpr int ZFX_VERTICES = (ZFX_RINGS + 1) * ZFX_RING_STRIDE;  // 369: the 41st ring repeats the first
constexpr int ZFX_TRIANGLES = ZFX_RINGS * ZFX_SIDES * 2;          // 640
constexpr int ZFX_CREDITS = 7;

struct ZfxState {
    frustum* view;
    Pixmap* background;
    Pixmap* credit[ZFX_CREDITS];
    float credit_timer[ZFX_CREDITS];  // counts down; shown while strictly inside (-1, 1)
    int32_t credit_x[ZFX_CREDITS];
    tpoly* poly;
    uint8_t base_colour[3];           // red, green, blue
    uint32_t outline_colour;
    vector transformed[ZFX_VERTICES];
    float r1, r2, r3;                 // rotation angles
    float breathing;                  // phase of the perspective
};
extern ZfxState zfx;

// The mesh: constant once built (zfx_create builds it).
extern vector zfx_mesh[ZFX_VERTICES];
extern int32_t zfx_faces[ZFX_TRIANGLES][3];

// Flat-shading factor of a view-space triangle seen from (0, 0, -1000):
// the cosine between the view ray to its centre and its normal, limited to [0, 1].
float zfx_lambert(const vector* a, const vector* b, const vector* c);

// Loads "data/knot/img.jpg" and the seven credits; 1, or 0 when anything cannot be made.
int zfx_create(Pixmap* screen);
// One frame; reads the position's frame_ticks.
void zfx_draw(Pixmap* screen, const MusicPosition* position);
