// The klegg effect: a bumpy, pulsating ball (a subdivided octahedron pushed out
// to a sphere, its radius rippled by two sine waves over the surface),
// environment-mapped by its normals, over the tunnel in the opening orders.
#pragma once

#include <cstdint>

#include "engine/math/vector.h"

struct Pixmap;
struct MusicPosition;
struct frustum;
struct tpoly;

constexpr int KLEGG_FACES = 512;
constexpr int KLEGG_MAX_VERTICES = 3 * KLEGG_FACES;

struct KleggState {
    frustum* view;
    int vertex_count;
    vector unit[KLEGG_MAX_VERTICES];        // the ball's distinct unit vertices
    int32_t faces[KLEGG_FACES][3];          // vertex indices
    float theta[KLEGG_MAX_VERTICES];        // math_atan2f(x, z) of each unit vertex
    float phi[KLEGG_MAX_VERTICES];          // math_atan2f(y, z)
    vector position[KLEGG_MAX_VERTICES];    // this frame's displaced vertices
    int32_t u[KLEGG_MAX_VERTICES];          // this frame's texture coordinates, 0-255
    int32_t v[KLEGG_MAX_VERTICES];
    tpoly* poly;
    Pixmap* s_envmap;                       // the tunnel's texture
    float a1, a2, a3;                       // rotation angles, per frame
    float wave_time;
    float pulse_amplitude;
    float pulse_phase;
    float tunnel_time;
    float tunnel_roll;
    float fade_level;                       // 1.0: tunnel fully faded to the clear colour
    uint32_t clear_colour;
};
extern KleggState klegg;

// Builds the ball and loads "blå.jpg" (the ball) and "röd.jpg" (the tunnel);
// returns the tunnel texture, or null when the frustum or polygon cannot be made.
// A texture that does not load stops the program through the start-up check.
Pixmap* klegg_create(Pixmap* screen);
// One frame; reads the position's order, row and frame_ticks.
void klegg_draw(Pixmap* screen, const MusicPosition* position);
