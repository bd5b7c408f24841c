// The tube scene shared by the rasterizer benchmarks and picture tests: a
// bent, environment-mapped tube of 50 x 10 segments (1000 triangles, radius
// about 100 pixels on the 320 x 240 view) drawn through frustum_draw_tpoly.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/geometry/frustum.h"
#include "engine/jobs/jobs.h"
#include "engine/math/vector.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

constexpr int TUBE_SEGMENTS = 50;  // along the tube
constexpr int TUBE_SIDES = 10;     // around it
constexpr int TUBE_TRIANGLES = TUBE_SEGMENTS * TUBE_SIDES * 2;
constexpr float TUBE_RADIUS = 100.0f;

struct TubeScene {
    Pixmap* screen;    // the target, with z-buffer
    Pixmap* texture;   // 256 x 256 environment map
    frustum* view;     // logic 320 x 240, perspective 400, whatever the target's size
    tpoly* poly;
    vector ring[TUBE_SEGMENTS + 1][TUBE_SIDES];    // view-space vertices
    vector normal[TUBE_SEGMENTS + 1][TUBE_SIDES];  // unit normals
};

// A shiny-metal environment map: a bright highlight up left, a dark horizon band.
inline Pixmap* tube_texture_create() {
    Pixmap* t = pixmap_create(256, 256, 0);
    if (!t) return nullptr;
    for (int y = 0; y < 256; y++) {
        for (int x = 0; x < 256; x++) {
            float dx = (x - 100) / 128.0f, dy = (y - 90) / 128.0f;
            float hi = 1.0f - std::sqrt(dx * dx + dy * dy);
            hi = hi < 0.0f ? 0.0f : hi * hi;
            float band = 0.5f + 0.5f * std::cos((y - 128) * 0.06f);
            float rings = 0.5f + 0.5f * std::sin((x + y) * 0.2f);
            int r = (int)(40 + 60 * band + 155 * hi);
            int g = (int)(50 + 70 * band + 135 * hi + 20 * rings);
            int b = (int)(80 + 100 * band + 75 * hi);
            r = r > 255 ? 255 : r;
            g = g > 255 ? 255 : g;
            b = b > 255 ? 255 : b;
            t->pixels[y * 256 + x] = 0xFF000000u | (uint32_t)b << 16 | (uint32_t)g << 8 | (uint32_t)r;
        }
    }
    return t;
}

inline void tube_scene_destroy(TubeScene* s) {
    if (!s) return;
    tpoly_destroy(s->poly);
    frustum_destroy(s->view);
    pixmap_destroy(s->texture);
    pixmap_destroy(s->screen);
    delete s;
}

// The scene on a new width x height target; null when anything fails.
inline TubeScene* tube_scene_create(int width, int height) {
    TubeScene* s = new TubeScene{};
    s->screen = pixmap_create(width, height, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    s->texture = tube_texture_create();
    if (s->screen) s->view = frustum_create(0, s->screen, 320.0f, 240.0f, 400.0f);
    s->poly = tpoly_create();
    if (!s->screen || !s->texture || !s->view || !s->poly) {
        tube_scene_destroy(s);
        return nullptr;
    }
    s->poly->stride = 5;
    s->poly->uv_count = 6;
    s->poly->uv_index[0] = 0;
    s->poly->texturemap = s->texture;
    s->poly->colour = 0xFF3080C0u;
    return s;
}

// Vertices and normals for animation phase t: the tube's centre line sweeps
// across the view (leaving it left and right, so clipping is exercised) on a
// slow S-curve, and the tube turns about its own axis.
inline void tube_scene_build(TubeScene* s, float t) {
    for (int i = 0; i <= TUBE_SEGMENTS; i++) {
        float a = (float)i / TUBE_SEGMENTS;
        vector c = {-260.0f + 520.0f * a, 50.0f * std::sin(6.2831853f * a + t),
                    60.0f + 80.0f * std::cos(3.1415926f * a + 0.5f * t)};
        vector dc = {520.0f, 50.0f * 6.2831853f * std::cos(6.2831853f * a + t),
                     -80.0f * 3.1415926f * std::sin(3.1415926f * a + 0.5f * t)};
        const vector up = {0.0f, 1.0f, 0.0f};
        matrix frame;
        mat_frame(&frame, &dc, &up);  // rows: side, up, forward
        const vector side = {frame.m[0], frame.m[1], frame.m[2]};
        const vector upv = {frame.m[3], frame.m[4], frame.m[5]};
        for (int j = 0; j < TUBE_SIDES; j++) {
            float th = 6.2831853f * (float)j / TUBE_SIDES + t;
            vector n, p;
            vector a1, a2;
            vec_scale(&a1, std::cos(th), &side);
            vec_scale(&a2, std::sin(th), &upv);
            vec_add(&n, &a1, &a2);
            vec_scale(&p, TUBE_RADIUS, &n);
            vec_add(&s->ring[i][j], &c, &p);
            s->normal[i][j] = n;
        }
    }
}

// Fills the z-buffer with PIXMAP_Z_FAR and the pixels with dark blue, on
// every core when the target is large (the rasterizers' row jobs).
inline void tube_scene_clear(TubeScene* s) {
    Pixmap* screen = s->screen;
    const int32_t w = screen->width;
    jobs_parallel_rows(screen->height, (int64_t)w * screen->height, [&](int32_t first, int32_t end) {
        const uint32_t n = (uint32_t)((int64_t)(end - first) * w);
        gmem_fill32(screen->zbuffer + (int64_t)first * w, (uint32_t)PIXMAP_Z_FAR, n);
        gmem_fill32(screen->pixels + (int64_t)first * w, 0xFF201008u, n);
    });
}

// Sets one triangle of the tube into the scene's tpoly: vertices, and the
// environment-mapping coordinates from the view-space normals.
inline void tube_scene_triangle(TubeScene* s, const int (*corner)[2]) {
    tpoly* p = s->poly;
    for (int k = 0; k < 3; k++) {
        const int i = corner[k][0], j = corner[k][1] % TUBE_SIDES;
        p->vertex[k] = s->ring[i][j];
        const vector& n = s->normal[i][j];
        p->uv[2 * k] = 128.0f + 120.0f * n.x;
        p->uv[2 * k + 1] = 128.0f - 120.0f * n.y;
    }
}

// Draws the 1000 triangles with the given tpoly flags (TPOLY_TEXTURED for the
// environment-mapped tube, TPOLY_FLAT for a plain one) through the pipeline
// with the current rasterizer. The caller clears the target first.
inline void tube_scene_draw(TubeScene* s, uint32_t flags) {
    s->poly->flags = flags;
    for (int i = 0; i < TUBE_SEGMENTS; i++) {
        for (int j = 0; j < TUBE_SIDES; j++) {
            // Wound clockwise on the screen for the outside of the tube.
            const int first[3][2] = {{i, j}, {i, j + 1}, {i + 1, j + 1}};
            const int second[3][2] = {{i, j}, {i + 1, j + 1}, {i + 1, j}};
            tube_scene_triangle(s, first);
            frustum_draw_tpoly(s->view, s->poly);
            tube_scene_triangle(s, second);
            frustum_draw_tpoly(s->view, s->poly);
        }
    }
}

// Pixels that received a depth: what a frame covered.
inline int64_t tube_scene_covered(const TubeScene* s) {
    int64_t n = 0, total = (int64_t)s->screen->width * s->screen->height;
    for (int64_t i = 0; i < total; i++) n += s->screen->zbuffer[i] != PIXMAP_Z_FAR;
    return n;
}
