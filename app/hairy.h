// The hairy effect: four environment-mapped tubes growing from the centre
// along the horizontal axes, each ring turned by the rotation its root had
// some frames before, over the inside of a sphere that turns with the roots.
#pragma once

#include <cstdint>

#include "engine/math/vector.h"

struct Pixmap;
struct MusicPosition;
struct frustum;
struct tpoly;
struct keyframe;

constexpr int HAIRY_HAIRS = 4;
constexpr int HAIRY_RINGS = 15;
constexpr int HAIRY_SIDES = 6;
constexpr int HAIRY_CHAIN = 80;
constexpr int HAIRY_VERTICES = HAIRY_RINGS * HAIRY_SIDES;               // 90 per hair
constexpr int HAIRY_TRIANGLES = (HAIRY_RINGS - 1) * 2 * HAIRY_SIDES;    // 168 per hair

struct HairyState {
    frustum* view;
    Pixmap* hair_texture;
    Pixmap* background_texture;
    tpoly* poly;
    keyframe* path[HAIRY_HAIRS];
    float alpha[HAIRY_CHAIN];   // entry 0 the root's angles, 1-15 the rings'
    float beta[HAIRY_CHAIN];
    float gamma[HAIRY_CHAIN];
    // The mesh of the hair being drawn, rebuilt for each hair.
    vector vertex[HAIRY_VERTICES];
    int32_t triangle[HAIRY_TRIANGLES][3];
    vector normal_sum[HAIRY_VERTICES];
    int32_t face_count[HAIRY_VERTICES];
    int vertex_count;
    int triangle_count;
    float background_radius;
};
extern HairyState hairy;

// The ring template: a hexagon of radius 10 in the z = 0 plane.
extern const vector hairy_ring[HAIRY_SIDES];

// Loads "data/hairy/envmap01.jpg" and "data/hairy/envmap03.pcx" and builds the
// four path tracks; 1, or 0 when anything cannot be made.
int hairy_create(Pixmap* screen);
// Rebuilds the mesh buffers for hair h (0-3) from its track and the angle chains.
void hairy_build_hair(int h);
// One frame; reads the position's frame_ticks.
void hairy_draw(Pixmap* screen, const MusicPosition* position);
