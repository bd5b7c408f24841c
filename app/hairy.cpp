// The hairy effect. Each hair's rings sit on a keyframed path; ring s is turned
// by the root's angles of s frames before (the angle chains shift one step per
// frame), so the tubes whip behind their roots. Smooth normals map the texture.
#include "app/hairy.h"

#include "app/background.h"
#include "app/filters.h"
#include "app/effect.h"
#include "engine/anim/keyframe.h"
#include "engine/geometry/frustum.h"
#include "engine/image/jpeg.h"
#include "engine/image/pcx.h"
#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

HairyState hairy;

// The first point's y is 8.66202, as the effect has always had it.
const vector hairy_ring[HAIRY_SIDES] = {{5, 8.66202f, 0},  {10, 0, 0}, {5, -8.6602f, 0},
                                        {-5, -8.6602f, 0}, {-10, 0, 0}, {-5, 8.6602f, 0}};

namespace {

constexpr vector DIRECTIONS[HAIRY_HAIRS] = {{50, 0, 0}, {-50, 0, 0}, {0, 0, 50}, {0, 0, -50}};

vector evaluate(keyframe* track, float time) {
    const float* v = keyframe_evaluate(track, time);
    return v ? vector{v[0], v[1], v[2]} : vector{0, 0, 0};
}

void shade_and_draw_hair() {
    for (int k = 0; k < hairy.vertex_count; k++) {
        hairy.normal_sum[k] = {0, 0, 0};
        hairy.face_count[k] = 0;
    }
    for (int t = 0; t < hairy.triangle_count; t++) {
        const int32_t* c = hairy.triangle[t];
        vector e1, e2, n;
        vec_sub(&e1, &hairy.vertex[c[1]], &hairy.vertex[c[0]]);
        vec_sub(&e2, &hairy.vertex[c[2]], &hairy.vertex[c[0]]);
        vec_cross(&n, &e1, &e2);
        for (int i = 0; i < 3; i++) {
            vec_add(&hairy.normal_sum[c[i]], &hairy.normal_sum[c[i]], &n);
            hairy.face_count[c[i]]++;
        }
    }
    for (int k = 0; k < hairy.vertex_count; k++) {
        vector* n = &hairy.normal_sum[k];
        vec_scale(n, 1.0f / float(hairy.face_count[k]), n);
        vec_normalize(n, n);
    }
    tpoly* poly = hairy.poly;
    for (int t = 0; t < hairy.triangle_count; t++) {
        for (int i = 0; i < 3; i++) {
            const int32_t k = hairy.triangle[t][i];
            poly->vertex[i] = hairy.vertex[k];
            poly->uv[2 * i] = hairy.normal_sum[k].x * 128.0f + 127.0f;
            poly->uv[2 * i + 1] = hairy.normal_sum[k].y * 128.0f + 127.0f;
        }
        frustum_draw_tpoly(hairy.view, poly);
    }
}

}  // namespace

void hairy_build_hair(int h) {
    hairy.vertex_count = 0;
    hairy.triangle_count = 0;
    const vector up = {0, -1, 0};
    for (int s = 1; s <= HAIRY_RINGS; s++) {
        const vector ahead = evaluate(hairy.path[h], float(4 * s + 4));
        const vector behind = evaluate(hairy.path[h], float(4 * s - 4));
        vector d, q;
        vec_sub(&d, &ahead, &behind);
        const vector p = evaluate(hairy.path[h], float(4 * s));
        matrix m, frame, r;
        mat_rotate_zyx(&m, hairy.alpha[s], hairy.beta[s], hairy.gamma[s]);
        vec_mul_matrix(&q, &p, &m);
        mat_frame(&frame, &d, &up);
        mat_mul(&r, &frame, &m);
        const int base = hairy.vertex_count;
        for (int i = 0; i < HAIRY_SIDES; i++) {
            vector* v = &hairy.vertex[base + i];
            vec_mul_matrix(v, &hairy_ring[i], &r);
            vec_add(v, v, &q);
        }
        if (s > 1) {
            for (int i = 0; i < HAIRY_SIDES; i++) {
                const int j = (i + 1) % HAIRY_SIDES;
                int32_t* t = hairy.triangle[hairy.triangle_count++];
                t[0] = base + i, t[1] = base + j, t[2] = base + i - HAIRY_SIDES;
                t = hairy.triangle[hairy.triangle_count++];
                t[0] = base + i - HAIRY_SIDES, t[1] = base + j, t[2] = base + j - HAIRY_SIDES;
            }
        }
        hairy.vertex_count += HAIRY_SIDES;
    }
}

int hairy_create(Pixmap* screen) {
    hairy.view = frustum_create(0, screen, 320.0f, 240.0f, 400.0f);
    if (!hairy.view) return 0;
    effect_align_view(hairy.view);
    hairy.hair_texture = jpeg_load2pixmap("data/hairy/envmap01.jpg");
    if (!hairy.hair_texture) return 0;
    hairy.background_texture = pcx_load2pixmap("data/hairy/envmap03.pcx");
    if (!hairy.background_texture) return 0;
    hairy.poly = effect_textured_poly();
    if (!hairy.poly) return 0;
    tpoly* poly = hairy.poly;
    poly->texturemap = hairy.hair_texture;
    for (int h = 0; h < HAIRY_HAIRS; h++) {
        keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 4);
        if (!track) return 0;
        track->algorithm = KEYFRAME_ALGO_TCB;
        for (int j = 0; j < 10; j++) {
            const float fj = float(j);
            const float values[4] = {fj * DIRECTIONS[h].x, fj * DIRECTIONS[h].y, fj * DIRECTIONS[h].z, 4.0f * fj};
            if (!keyframe_add_key(track, 10.0f * fj, 0.0f, 0.0f, 0.0f, values)) return 0;
        }
        if (!keyframe_prepare(track)) return 0;
        hairy.path[h] = track;
    }
    for (int k = 0; k < HAIRY_CHAIN; k++) hairy.alpha[k] = hairy.beta[k] = hairy.gamma[k] = 0.0f;
    hairy.background_radius = 0.0f;
    return 1;
}

void hairy_draw(Pixmap* screen, const MusicPosition* position) {
    const float dt = position->frame_ticks;
    raster_select(0x94);
    filter_fill_depth(screen, 0x7FFFFFFF);
    sphere_draw(screen, hairy.background_texture, hairy.background_radius, 32.0f, hairy.alpha[0], hairy.beta[0],
                hairy.gamma[0]);
    // The four hairs are one batch: building a hair reads nothing drawn.
    raster_begin(hairy.view->target);
    for (int h = 0; h < HAIRY_HAIRS; h++) {
        hairy_build_hair(h);
        shade_and_draw_hair();
    }
    raster_flush();
    // One step along the chains per frame, with a fixed twist per step; entry 0
    // is read last, so ring s shows the root of s frames before.
    for (int k = HAIRY_CHAIN - 1; k >= 1; k--) {
        hairy.alpha[k] = hairy.alpha[k - 1] - 0.046542113386515455;
        hairy.beta[k] = hairy.beta[k - 1] + 0.06544984694978735;
        hairy.gamma[k] = hairy.gamma[k - 1] - 0.04027682889217683;
    }
    hairy.alpha[0] += dt * 0.005817764173314432;
    hairy.beta[0] -= dt * 0.008181230868723419;
    hairy.gamma[0] += dt * 0.005034603611522104;
    hairy.background_radius += dt * 4.0f;
}
