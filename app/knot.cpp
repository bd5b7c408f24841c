// The knot effect. Per frame: the envelopes give the harmonics and the tube's
// cross-section, the curve and its tube are rebuilt, turned, mapped by their
// normals, then shifted by the swing (after mapping, so the kick keeps the shading).
#include "app/knot.h"

#include <cmath>

#include "app/background.h"
#include "app/effect.h"
#include "app/check.h"
#include "engine/anim/keyframe.h"
#include "engine/geometry/frustum.h"
#include "engine/image/jpeg.h"
#include "engine/math/trig.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

KnotState knot;

namespace {

constexpr int KEYS = 8;
constexpr float KEY_TIMES[KEYS] = {0, 10, 50, 100, 150, 200, 250, 260};
constexpr float ZEROS[KEYS] = {};
constexpr float AMPLITUDE_KEYS[KEYS][9] = {
    {100, 100, 0, 0, 0, 0, 0, 0, 0},   {100, 100, 0, 0, 0, 0, 0, 0, 0},
    {100, 100, 0, 0, 0, 0, 0, 0, 0},   {100, 100, 0, 0, 0, 50, 0, 0, 0},
    {100, 100, 0, 0, 0, 10, 20, 0, 50}, {100, 100, 0, 0, 50, 10, 20, 0, 20},
    {100, 100, 0, 0, 0, 0, 0, 0, 0},   {100, 100, 0, 0, 0, 0, 0, 0, 0},
};
constexpr float SIZE_KEYS[KEYS][6] = {
    {30, 30, 0, 0, 0, 0},   {30, 30, 0, 0, 0, 0},  {30, 30, 20, 0, 0, 20}, {30, 30, 10, 15, 15, 10},
    {30, 30, 10, 0, 0, 10}, {30, 30, 0, 10, 10, 0}, {30, 30, 0, 0, 0, 0},   {30, 30, 0, 0, 0, 0},
};
constexpr float PHASES[9] = {0, 1.570796f, 0, 0, 0, 0, 0, 0, 0};

int32_t clamp_byte(int32_t value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

int prev(int i, int n) { return i == 0 ? n - 1 : i - 1; }
int next(int i, int n) { return i == n - 1 ? 0 : i + 1; }

void build_curve() {
    const float* A = knot.amplitude;
    const float* p = knot.phase;
    for (int q = 0; q < KNOT_SEGMENTS; q++) {
        const float a = 2.0f * float(q) * float(M_PI) / float(KNOT_SEGMENTS);
        knot.curve[q].x = A[0] * math_sinf(a + p[0]) + A[3] * math_sinf(2 * a + p[3]) + A[6] * math_sinf(3 * a + p[6]);
        knot.curve[q].y = A[1] * math_sinf(a + p[1]) + A[4] * math_sinf(2 * a + p[4]) + A[7] * math_sinf(3 * a + p[7]);
        knot.curve[q].z = A[2] * math_sinf(a + p[2]) + A[5] * math_sinf(2 * a + p[5]) + A[8] * math_sinf(3 * a + p[8]);
    }
}

void build_tube() {
    const float* S = knot.size;
    for (int q = 0; q < KNOT_SEGMENTS; q++) {
        const float b = 2.0f * float(q) * float(M_PI) / float(KNOT_SEGMENTS);
        vector forward;
        matrix frame;
        vec_sub(&forward, &knot.curve[next(q, KNOT_SEGMENTS)], &knot.curve[q]);
        // The up vector is the curve point itself: the ring faces away from the centre.
        mat_frame(&frame, &forward, &knot.curve[q]);
        const vector f1 = {frame.m[0], frame.m[1], frame.m[2]};
        const vector f2 = {frame.m[3], frame.m[4], frame.m[5]};
        const float width = S[0] + S[2] * math_sinf(b) + S[4] * math_sinf(2 * b);
        const float height = S[1] + S[3] * math_sinf(b) + S[5] * math_sinf(2 * b);
        for (int s = 0; s < KNOT_SIDES; s++) {
            const float t = 2.0f * float(s) * float(M_PI) / float(KNOT_SIDES);
            const float e1 = math_cosf(t) * width;
            const float e2 = math_sinf(t) * height;
            vector offset, side;
            vec_scale(&offset, e1, &f1);
            vec_scale(&side, e2, &f2);
            vec_add(&offset, &offset, &side);
            vec_add(&knot.tube[q][s], &knot.curve[q], &offset);
        }
    }
}

void map_normals() {
    for (int q = 0; q < KNOT_SEGMENTS; q++) {
        const int qm = prev(q, KNOT_SEGMENTS), qp = next(q, KNOT_SEGMENTS);
        for (int s = 0; s < KNOT_SIDES; s++) {
            const int sm = prev(s, KNOT_SIDES), sp = next(s, KNOT_SIDES);
            vector along, around, n;
            vec_sub(&along, &knot.turned[qm][s], &knot.turned[qp][s]);
            vec_sub(&around, &knot.turned[q][sm], &knot.turned[q][sp]);
            vec_cross(&n, &along, &around);
            vec_normalize(&n, &n);
            knot.u[q][s] = clamp_byte(background_trunc(n.x * 128.0f + 128.0f));
            knot.v[q][s] = clamp_byte(background_trunc(n.y * 128.0f + 128.0f));
        }
    }
}

void draw_corner(tpoly* poly, int i, int q, int s) {
    poly->vertex[i] = knot.turned[q][s];
    poly->uv[2 * i] = float(knot.u[q][s]);
    poly->uv[2 * i + 1] = float(knot.v[q][s]);
}

}  // namespace

frustum* knot_create(Pixmap* screen) {
    knot.poly = effect_textured_poly();
    if (!knot.poly) return nullptr;
    tpoly* poly = knot.poly;
    CHECK_TEXT(poly->texturemap = jpeg_load2pixmap("envmap.jpg"),
               "tpoly->texturemap = jpeg_load2pixmap(\"envmap.jpg\")");

    keyframe* ampkeyframe;
    keyframe* sizekeyframe;
    CHECK(ampkeyframe=keyframe_create(KEYFRAME_TYPE_ENVELOPE,9));
    CHECK(sizekeyframe=keyframe_create(KEYFRAME_TYPE_ENVELOPE,6));
    // The table-built tracks replace the empty ones, which are given back.
    keyframe_destroy(ampkeyframe);
    keyframe_destroy(sizekeyframe);
    knot.ampkeyframe = keyframe_create_keys(KEYS, KEYFRAME_TYPE_ENVELOPE, KEYFRAME_ALGO_TCB, 9, KEY_TIMES, ZEROS,
                                            ZEROS, ZEROS, &AMPLITUDE_KEYS[0][0]);
    knot.sizekeyframe = keyframe_create_keys(KEYS, KEYFRAME_TYPE_ENVELOPE, KEYFRAME_ALGO_TCB, 6, KEY_TIMES, ZEROS,
                                             ZEROS, ZEROS, &SIZE_KEYS[0][0]);
    if (!knot.ampkeyframe || !knot.sizekeyframe) return nullptr;
    // Both are evaluated unprepared, straight from their key lists.

    for (int i = 0; i < 9; i++) knot.phase[i] = PHASES[i];
    knot.track_time = knot.wave_time = 0.0f;
    knot.swing = 150.0f;
    knot.c1 = 0.0f;
    knot.c2 = 3.0f;
    knot.c3 = 0.0f;
    knot.view = frustum_create(0, screen, 320.0f, 240.0f, 400.0f);
    effect_align_view(knot.view);
    return knot.view;
}

void knot_draw(Pixmap* screen, const MusicPosition* position) {
    (void)screen;  // drawn through the frustum, which holds the screen
    const float dt = position->frame_ticks;
    const uint32_t r = position->row;

    knot.wave_time += dt / 7.0;
    // A row that lasts several frames re-kicks the swing every frame.
    if ((r == 0 || r == 16 || r == 32 || r == 48) && knot.swing < 100.0f) knot.swing = 100.0f;
    knot.swing -= 2 * dt;
    if (knot.swing < 0.0f) knot.swing = 0.0f;

    knot.track_time += dt / 5.5;
    const float* values = keyframe_evaluate(knot.ampkeyframe, knot.track_time);
    if (values)
        for (int i = 0; i < 9; i++) knot.amplitude[i] = values[i];
    values = keyframe_evaluate(knot.sizekeyframe, knot.track_time);
    if (values)
        for (int i = 0; i < 6; i++) knot.size[i] = values[i];

    raster_select(0x94);
    knot.c3 += dt * 0.01;
    knot.c2 += dt * 0.02;
    knot.c1 += dt * 0.03;
    matrix m;
    mat_rotate_zyx(&m, knot.c1, knot.c2, knot.c3);

    build_curve();
    build_tube();
    vec_transform_array(&knot.turned[0][0], &knot.tube[0][0], KNOT_SEGMENTS * KNOT_SIDES, &m);
    map_normals();
    const float dx = knot.swing * math_cosf(knot.wave_time);
    const float dy = knot.swing * math_sinf(knot.wave_time);
    for (int q = 0; q < KNOT_SEGMENTS; q++)
        for (int s = 0; s < KNOT_SIDES; s++) {
            knot.turned[q][s].x += dx;
            knot.turned[q][s].y += dy;
        }

    tpoly* poly = knot.poly;
    raster_begin(knot.view->target);
    for (int q = 0; q < KNOT_SEGMENTS; q++) {
        const int qp = next(q, KNOT_SEGMENTS);
        for (int s = 0; s < KNOT_SIDES; s++) {
            const int sp = next(s, KNOT_SIDES);
            draw_corner(poly, 0, q, s);
            draw_corner(poly, 1, q, sp);
            draw_corner(poly, 2, qp, s);
            frustum_draw_tpoly(knot.view, poly);
            draw_corner(poly, 0, qp, sp);
            draw_corner(poly, 1, qp, s);
            draw_corner(poly, 2, q, sp);
            frustum_draw_tpoly(knot.view, poly);
        }
    }
    raster_flush();
}
