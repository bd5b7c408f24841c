// The klegg effect. The ball is built once (octahedron, three subdivisions,
// merged vertices); each frame rotates it, ripples each vertex's radius and
// maps it by its normal, and in orders 0-4 clears and draws the tunnel first.
#include "app/klegg.h"

#include <cmath>

#include "app/background.h"
#include "app/effect.h"
#include "app/check.h"
#include "app/filters.h"
#include "engine/fx/fx.h"
#include "engine/geometry/frustum.h"
#include "engine/image/jpeg.h"
#include "engine/math/trig.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

KleggState klegg;

namespace {

constexpr int MAX_TRIANGLES = 10000;  // the subdivision's working array

struct Triangle {
    vector a, b, c;
};

Triangle work[MAX_TRIANGLES];

vector midpoint(const vector* a, const vector* b) {
    vector d, m;
    vec_sub(&d, b, a);
    vec_scale(&d, 0.5f, &d);
    vec_add(&m, a, &d);
    return *vec_normalize(&m, &m);
}

// Replaces each triangle, in order, by its four children.
int subdivide(int count) {
    for (int t = count - 1; t >= 0; t--) {
        const Triangle tri = work[t];
        const vector ab = midpoint(&tri.a, &tri.b);
        const vector bc = midpoint(&tri.b, &tri.c);
        const vector ca = midpoint(&tri.c, &tri.a);
        work[4 * t + 0] = {tri.a, ab, ca};
        work[4 * t + 1] = {tri.b, bc, ab};
        work[4 * t + 2] = {tri.c, ca, bc};
        work[4 * t + 3] = {ab, bc, ca};
    }
    return 4 * count;
}

int find_or_add(const vector* p) {
    for (int k = 0; k < klegg.vertex_count; k++) {
        const vector* q = &klegg.unit[k];
        if (q->x == p->x && q->y == p->y && q->z == p->z) return k;
    }
    klegg.unit[klegg.vertex_count] = *p;
    return klegg.vertex_count++;
}

int32_t clamp_byte(int32_t value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

void build_ball() {
    const float h = std::sqrt(2.0f) / 2.0f;
    const vector zp = {0, 0, 1}, zm = {0, 0, -1};
    const vector q1 = {h, h, 0}, q2 = {h, -h, 0}, q3 = {-h, -h, 0}, q4 = {-h, h, 0};
    const Triangle octahedron[8] = {{zp, q1, q2}, {zp, q2, q3}, {zp, q3, q4}, {zp, q4, q1},
                                    {zm, q2, q1}, {zm, q3, q2}, {zm, q4, q3}, {zm, q1, q4}};
    int count = 8;
    for (int t = 0; t < count; t++) work[t] = octahedron[t];
    for (int level = 0; level < 3; level++) count = subdivide(count);
    klegg.vertex_count = 0;
    for (int t = 0; t < count; t++) {
        klegg.faces[t][0] = find_or_add(&work[t].a);
        klegg.faces[t][1] = find_or_add(&work[t].b);
        klegg.faces[t][2] = find_or_add(&work[t].c);
    }
    for (int k = 0; k < klegg.vertex_count; k++) {
        klegg.theta[k] = math_atan2f(klegg.unit[k].x, klegg.unit[k].z);
        klegg.phi[k] = math_atan2f(klegg.unit[k].y, klegg.unit[k].z);
    }
}

}  // namespace

Pixmap* klegg_create(Pixmap* screen) {
    klegg.view = frustum_create(0, screen, 320.0f, 240.0f, 400.0f);
    if (!klegg.view) return nullptr;
    effect_align_view(klegg.view);
    build_ball();
    klegg.poly = effect_textured_poly();
    if (!klegg.poly) return nullptr;
    tpoly* poly = klegg.poly;
    CHECK_TEXT(poly->texturemap = jpeg_load2pixmap("bl\xE5.jpg"),
               "tpoly->texturemap = jpeg_load2pixmap(\"bl\xC3\xA5.jpg\")");
    CHECK_TEXT(klegg.s_envmap = jpeg_load2pixmap("r\xF6" "d.jpg"),
               "s_envmap = jpeg_load2pixmap(\"r\xC3\xB6" "d.jpg\")");
    klegg.a1 = 0.0f;
    klegg.a2 = 3.0f;
    klegg.a3 = 0.0f;
    klegg.wave_time = klegg.pulse_amplitude = klegg.pulse_phase = 0.0f;
    klegg.tunnel_time = klegg.tunnel_roll = 0.0f;
    klegg.fade_level = 1.0f;
    klegg.clear_colour = 0;
    return klegg.s_envmap;
}

void klegg_draw(Pixmap* screen, const MusicPosition* position) {
    const uint32_t o = position->order;
    const uint32_t r = position->row;
    const float dt = position->frame_ticks;

    if (o < 5) {
        // Every frame on a pulse row restarts the pulse, so the last one counts.
        if (r == 4 || r == 20 || r == 36 || r == 52) {
            klegg.pulse_amplitude = o >= 4 ? (64.0f - float(r)) / 1.5f : 25.0f;
            klegg.pulse_phase = 0.0f;
        }
        filter_clear(screen, klegg.clear_colour);
        if (o > 0 && klegg.fade_level != 1.0f) {
            klegg.tunnel_roll += dt / 100.0;
            tunnel_draw(screen, klegg.s_envmap, klegg.tunnel_time, 32.0f, 0.0f, 0.0f, klegg.tunnel_roll);
        }
        if (o == 1 && klegg.fade_level > 0.0f) {
            klegg.fade_level -= 0.015f;
            fx_fade(screen, klegg.clear_colour, klegg.fade_level, screen->width * screen->height);
        }
        if (o >= 4 && klegg.fade_level < 1.0f) {
            klegg.fade_level += 0.015f;
            fx_fade(screen, klegg.clear_colour, klegg.fade_level, screen->width * screen->height);
        }
        klegg.tunnel_time += dt * 1.0f;
    }

    raster_select(0x94);
    // The rotation advances per frame, not per tick.
    klegg.a1 += 0.01f;
    klegg.a2 += 0.01f;
    klegg.a3 += 0.01f;
    matrix m;
    mat_rotate_zyx(&m, klegg.a1, klegg.a2, klegg.a3);

    const float amplitude = 15.0f + klegg.pulse_amplitude * math_cosf(klegg.pulse_phase);
    const float wave = klegg.wave_time;
    for (int k = 0; k < klegg.vertex_count; k++) {
        vector q, n;
        vec_mul_matrix(&q, &klegg.unit[k], &m);
        const float radius =
            40.0f + amplitude * (math_sinf(4.0f * klegg.theta[k] + 2.0f * wave) + math_sinf(4.0f * klegg.phi[k] + wave));
        vec_scale(&klegg.position[k], radius, &q);
        vec_normalize(&n, &klegg.position[k]);
        klegg.u[k] = clamp_byte(background_trunc(n.x * 128.0f + 128.0f));
        klegg.v[k] = clamp_byte(background_trunc(n.y * 128.0f + 128.0f));
    }

    klegg.wave_time += dt * 0.05f;
    klegg.pulse_amplitude -= dt * 0.3f;
    if (klegg.pulse_amplitude < 0.0f) klegg.pulse_amplitude = 0.0f;
    klegg.pulse_phase += dt * 0.2f;

    tpoly* poly = klegg.poly;
    raster_begin(screen);
    for (int f = 0; f < KLEGG_FACES; f++) {
        // The face list is wound with its normals inwards: corners 0, 2, 1 turn them out.
        const int32_t corner[3] = {klegg.faces[f][0], klegg.faces[f][2], klegg.faces[f][1]};
        for (int i = 0; i < 3; i++) {
            poly->vertex[i] = klegg.position[corner[i]];
            poly->uv[2 * i] = float(klegg.u[corner[i]]);
            poly->uv[2 * i + 1] = float(klegg.v[corner[i]]);
        }
        frustum_draw_tpoly(klegg.view, poly);
    }
    raster_flush();
}
