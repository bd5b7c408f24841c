// The knot effect: an environment-mapped tube, 50 segments by 10 sides, along a
// closed curve of three sine harmonics per axis, morphed by two keyframe
// envelopes, turning, and kicked sideways on every sixteenth row.
#pragma once

#include <cstdint>

#include "engine/math/vector.h"

struct Pixmap;
struct MusicPosition;
struct frustum;
struct tpoly;
struct keyframe;

constexpr int KNOT_SEGMENTS = 50;
constexpr int KNOT_SIDES = 10;

struct KnotState {
    tpoly* poly;
    keyframe* ampkeyframe;    // 9 harmonic amplitudes
    keyframe* sizekeyframe;   // 6 cross-section sizes
    frustum* view;
    float phase[9];
    float amplitude[9];       // this frame's A0..A8
    float size[6];            // this frame's S0..S5
    vector curve[KNOT_SEGMENTS];
    vector tube[KNOT_SEGMENTS][KNOT_SIDES];
    vector turned[KNOT_SEGMENTS][KNOT_SIDES];
    int32_t u[KNOT_SEGMENTS][KNOT_SIDES];
    int32_t v[KNOT_SEGMENTS][KNOT_SIDES];
    float track_time;
    float wave_time;
    float swing;              // sideways kick, decays 2 per tick
    float c1, c2, c3;         // rotation angles
};
extern KnotState knot;

// Loads "envmap.jpg", builds the two tracks and the frustum; returns the
// frustum, or null when the frustum, polygon or tracks cannot be made.
frustum* knot_create(Pixmap* screen);
// One frame; reads the position's row and frame_ticks.
void knot_draw(Pixmap* screen, const MusicPosition* position);
