// The zfx effect. The mesh is a trefoil-knotted tube of 40 rings of 8 sides,
// stored as 41 rings of 9 positions whose last entries repeat the first. Each
// frame: picture, credits, flat faces by the Lambert factor, depth outlines.
#include "app/effect.h"
#include "app/zfx.h"

#include <cmath>

#include "app/background.h"
#include "app/filters.h"
#include "app/picture.h"
#include "engine/fx/fx.h"
#include "engine/geometry/frustum.h"
#include "engine/image/jpeg.h"
#include "engine/math/trig.h"
#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

ZfxState zfx;
vector zfx_mesh[ZFX_VERTICES];
int32_t zfx_faces[ZFX_TRIANGLES][3];

namespace {

const char* const CREDIT_FILES[ZFX_CREDITS] = {
    "data/knot/music.jpg",  "data/knot/warnip.jpg", "data/knot/coding.jpg", "data/knot/hoskel.jpg",
    "data/knot/dunraf.jpg", "data/knot/selvin.jpg", "data/knot/mobrek.jpg",
};
constexpr float CREDIT_START[ZFX_CREDITS] = {1.0f, 1.5f, 2.0f, 2.5f, 3.0f, 3.5f, 4.0f};
constexpr int32_t CREDIT_X[ZFX_CREDITS] = {160, 180, 160, 180, 180, 180, 180};
constexpr float TUBE_RADIUS = 12.65f;

// The centre line: a trefoil knot, about 140 units across.
vector knot_point(double t) {
    return {float(22.0 * (math_sin(t) + 2.0 * math_sin(2.0 * t))),
            float(22.0 * (math_cos(t) - 2.0 * math_cos(2.0 * t)) + 10.0), float(-60.0 * math_sin(3.0 * t))};
}

void build_mesh() {
    const vector up = {0, 0, 1};  // the trefoil's tangent is never vertical
    for (int r = 0; r <= ZFX_RINGS; r++) {
        const double t = 2.0 * M_PI * r / ZFX_RINGS;
        const vector centre = knot_point(t);
        const vector ahead = knot_point(t + 0.001), behind = knot_point(t - 0.001);
        vector tangent;
        vec_sub(&tangent, &ahead, &behind);
        matrix frame;
        mat_frame(&frame, &tangent, &up);
        // The angle runs clockwise about the tangent so that, with the face
        // pattern below, every face's (B - A) x (C - A) points out of the tube.
        for (int s = 0; s < ZFX_RING_STRIDE; s++) {
            const double angle = -2.0 * M_PI * s / ZFX_SIDES;
            const float cs = float(TUBE_RADIUS * math_cos(angle)), sn = float(TUBE_RADIUS * math_sin(angle));
            zfx_mesh[ZFX_RING_STRIDE * r + s] = {centre.x + cs * frame.m[0] + sn * frame.m[3],
                                                 centre.y + cs * frame.m[1] + sn * frame.m[4],
                                                 centre.z + cs * frame.m[2] + sn * frame.m[5]};
        }
    }
    int n = 0;
    for (int r = 0; r < ZFX_RINGS; r++) {
        const int r1 = (r + 1) % ZFX_RINGS;
        for (int s = 0; s < ZFX_SIDES; s++) {
            const int s1 = (s + 1) % ZFX_SIDES;
            const int32_t a = ZFX_RING_STRIDE * r + s, b = ZFX_RING_STRIDE * r1 + s;
            const int32_t c = ZFX_RING_STRIDE * r1 + s1, d = ZFX_RING_STRIDE * r + s1;
            zfx_faces[n][0] = a, zfx_faces[n][1] = b, zfx_faces[n][2] = c, n++;
            zfx_faces[n][0] = a, zfx_faces[n][1] = c, zfx_faces[n][2] = d, n++;
        }
    }
}

}  // namespace

float zfx_lambert(const vector* a, const vector* b, const vector* c) {
    const vector eye = {0.0f, 0.0f, -1000.0f};
    vector centre, ray, ac, ab, n;
    vec_add(&centre, a, b);
    vec_add(&centre, &centre, c);
    vec_scale(&centre, 1.0f / 3.0f, &centre);
    vec_sub(&ray, &centre, &eye);
    vec_sub(&ac, a, c);
    vec_sub(&ab, a, b);
    vec_cross(&n, &ac, &ab);
    float factor = vec_dot(&ray, &n) / (vec_length(&n) * vec_length(&ray));
    // A degenerate face divides 0 by 0: it is seen edge-on, factor 0.
    if (!(factor >= 0.0f)) factor = 0.0f;
    if (factor > 1.0f) factor = 1.0f;
    return factor;
}

int zfx_create(Pixmap* screen) {
    // The logical view is the 320 x 240 screen at any scale of the target.
    zfx.view = frustum_create(0, screen, 320.0f, 240.0f, 200.0f);
    if (!zfx.view) return 0;
    effect_align_view(zfx.view);
    zfx.background = picture_load("data/knot/img.jpg", jpeg_load2pixmap, screen->width, screen->height);
    if (!zfx.background) return 0;
    for (int i = 0; i < ZFX_CREDITS; i++) {
        zfx.credit[i] = picture_load(CREDIT_FILES[i], jpeg_load2pixmap, screen->width, screen->height);
        if (!zfx.credit[i]) return 0;
        zfx.credit_timer[i] = CREDIT_START[i];
        zfx.credit_x[i] = CREDIT_X[i];
    }
    zfx.poly = tpoly_create();
    if (!zfx.poly) return 0;
    zfx.poly->flags = TPOLY_FLAT;
    zfx.poly->stride = 3;
    zfx.base_colour[0] = 100;
    zfx.base_colour[1] = 100;
    zfx.base_colour[2] = 255;
    zfx.outline_colour = 0;
    zfx.r1 = zfx.r2 = zfx.r3 = 0.0f;
    zfx.breathing = 0.0f;
    build_mesh();
    return 1;
}

void zfx_draw(Pixmap* screen, const MusicPosition* position) {
    const float dt = position->frame_ticks;
    raster_select(0x94);
    zfx.r1 += dt * 0.005034603611522104;
    zfx.r2 -= dt * 0.005650346499262218;
    zfx.r3 += dt * 0.0030679615757712823;

    // The eye distance breathes between 80 and 280; the frustum is set up
    // again in place, nothing is allocated.
    const int32_t perspective = background_trunc(180.0f + 100.0f * math_cosf(zfx.breathing));
    frustum_init(zfx.view, 0, screen, 320.0f, 240.0f, float(perspective));
    effect_align_view(zfx.view);

    filter_copy(screen, zfx.background, zfx.background->width, zfx.background->height);
    filter_fill_depth(screen, 0x7FFFFFFF);

    // Credit positions are in 320 x 240 units, scaled with the screen.
    const double sx = screen->width / 320.0, sy = screen->height / 240.0;
    for (int i = 0; i < ZFX_CREDITS; i++) {
        if (zfx.credit_timer[i] < 1.0f && zfx.credit_timer[i] > -1.0f)
            fx_add_blit(screen, int32_t(std::lround(zfx.credit_x[i] * sx)), int32_t(std::lround(32 * i * sy)),
                            zfx.credit[i], 0, 0, int32_t(std::lround(160 * sx)), int32_t(std::lround(32 * sy)));
        zfx.credit_timer[i] -= dt * 0.005;
    }

    matrix m;
    mat_rotate_zyx(&m, zfx.r1, zfx.r2, zfx.r3);
    vec_transform_array(zfx.transformed, zfx_mesh, ZFX_VERTICES, &m);
    for (int k = 0; k < ZFX_VERTICES; k++) {
        zfx.transformed[k].x -= 64.0f;
        zfx.transformed[k].y -= 32.0f;
    }

    tpoly* poly = zfx.poly;
    raster_begin(screen);
    for (int t = 0; t < ZFX_TRIANGLES; t++) {
        for (int i = 0; i < 3; i++) poly->vertex[i] = zfx.transformed[zfx_faces[t][i]];
        const float f = zfx_lambert(&poly->vertex[0], &poly->vertex[1], &poly->vertex[2]);
        // Bytes 0-2 are red, green, blue; the fourth byte is left as it is.
        uint8_t* colour = reinterpret_cast<uint8_t*>(&poly->colour);
        colour[0] = uint8_t(background_trunc(float(zfx.base_colour[0]) * f));
        colour[1] = uint8_t(background_trunc(float(zfx.base_colour[1]) * f));
        colour[2] = uint8_t(background_trunc(float(zfx.base_colour[2]) * f));
        frustum_draw_tpoly(zfx.view, poly);
    }
    raster_flush();

    fx_outline_scaled(screen, 20, zfx.outline_colour, float(sx));
    zfx.breathing += dt * 0.09817477042468103;
}
