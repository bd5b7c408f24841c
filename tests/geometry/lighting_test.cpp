// Lighting through the pipeline with one headlight: three spheres whose
// triangles run clockwise as seen from the eye, flat-lit by outward face
// normals (z-buffered fixed-point driver), Gouraud-lit by outward vertex
// normals (the safe driver, the one that lights textures), and flat-lit by
// normals pointing in, which the light never reaches. The picture is left in
// test_output/lighting.png (the guide's lighting picture, docs/lighting.png).
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "engine/geometry/frustum.h"
#include "engine/geometry/light.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"
#include "tests/lib/pixmap_fixture.h"

namespace {

constexpr int32_t PANEL = 96;          // pixels per sphere, side by side
constexpr float RADIUS = 40.0f;
constexpr uint32_t BACKGROUND = 0xFF402010u;  // dark blue

enum Normals { OUTWARD, INWARD };

// Draws a sphere of 10 x 20 facets at centre through view: each triangle's
// corners turned so that its cross product points out (clockwise on the
// screen when it faces the eye), face and vertex normals outward or inward.
void draw_sphere(frustum* view, tpoly* poly, vector centre, Normals normals) {
    const int stacks = 10, slices = 20;
    auto at = [&](int i, int j) {
        const float th = 3.14159265f * (float)i / stacks, ph = 6.2831853f * (float)j / slices;
        const vector unit = {std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph)};
        return unit;
    };
    const float sign = normals == OUTWARD ? 1.0f : -1.0f;
    for (int i = 0; i < stacks; i++) {
        for (int j = 0; j < slices; j++) {
            const vector quad[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
            static const int halves[2][3] = {{0, 1, 2}, {0, 2, 3}};
            for (const auto& t : halves) {
                vector u[3] = {quad[t[0]], quad[t[1]], quad[t[2]]};
                vector e1, e2, n, mid;
                vec_sub(&e1, &u[1], &u[0]);
                vec_sub(&e2, &u[2], &u[0]);
                vec_cross(&n, &e1, &e2);
                if (vec_length(&n) < 1e-6f) continue;  // the poles' degenerate halves
                vec_add(&mid, &u[0], &u[1]);
                vec_add(&mid, &mid, &u[2]);
                if (vec_dot(&n, &mid) < 0.0f) {  // turn it to point out
                    std::swap(u[1], u[2]);
                    vec_scale(&n, -1.0f, &n);
                }
                vec_normalize(&n, &n);
                vec_scale(&poly->face_normal, sign, &n);
                for (int k = 0; k < 3; k++) {
                    vec_scale(&poly->vertex_normal[k], sign, &u[k]);
                    vec_scale(&poly->vertex[k], RADIUS, &u[k]);
                    vec_add(&poly->vertex[k], &poly->vertex[k], &centre);
                    poly->uv[2 * k] = (float)(k & 1) * 7.0f;
                    poly->uv[2 * k + 1] = (float)(k >> 1) * 7.0f;
                }
                frustum_draw_tpoly(view, poly);
            }
        }
    }
}

uint32_t grey_of(uint32_t p, bool* grey) {
    *grey = (p & 0xFF) == (p >> 8 & 0xFF) && (p & 0xFF) == (p >> 16 & 0xFF);
    return p & 0xFF;
}

}  // namespace

TEST(Lighting, AFreshLightShadesWhatFacesTheEye) {
    TestPixmap target{3 * PANEL, PANEL, PIXMAP_ZBUFFER | PIXMAP_CLEAR};
    Pixmap* screen = target.get();
    pixmap_clear_rect(screen, 0, 0, screen->width, screen->height, BACKGROUND);
    TestPixmap white{8, 8, 0};
    pixmap_clear_rect(white.get(), 0, 0, 8, 8, 0xFFFFFFFFu);
    frustum* view = frustum_create(0, screen, (float)screen->width, (float)PANEL, 400.0f);
    tpoly* poly = tpoly_create();
    light* headlight = light_create_headlight();
    ASSERT_TRUE(view && poly && headlight);
    frustum_add_light(view, headlight);
    poly->stride = 5;
    poly->uv_count = 6;
    poly->colour = 0xFF0000FFu;  // what an unlit flat fill would show: red
    poly->texturemap = white.get();
    frustum_error_string();

    const struct {
        uint32_t flags;
        uint32_t driver;
        Normals normals;
        uint32_t centre_low, centre_high, rim_high;  // grey levels
    } panels[] = {
        {TPOLY_FLAT | TPOLY_FLAT_LIGHT, RASTER_FLAGS_FIXED_ZBUFFER, OUTWARD, 240, 255, 160},
        {TPOLY_TEXTURED | TPOLY_GOURAUD, RASTER_FLAGS_SAFE, OUTWARD, 245, 255, 160},
        {TPOLY_FLAT | TPOLY_FLAT_LIGHT, RASTER_FLAGS_FIXED_ZBUFFER, INWARD, 0, 0, 0},
    };
    for (int k = 0; k < 3; k++) {
        raster_select(panels[k].driver);
        poly->flags = panels[k].flags;
        const vector centre = {(float)((k - 1) * PANEL), 0.0f, 0.0f};
        draw_sphere(view, poly, centre, panels[k].normals);
    }
    EXPECT_STREQ(frustum_error_string(), "No error, so far...");
    for (int k = 0; k < 3; k++) {
        const int32_t cx = k * PANEL + PANEL / 2, cy = PANEL / 2;
        bool grey;
        const uint32_t centre = grey_of(target.at(cx, cy), &grey);
        EXPECT_TRUE(grey) << "panel " << k;
        EXPECT_GE(centre, panels[k].centre_low) << "panel " << k;
        EXPECT_LE(centre, panels[k].centre_high) << "panel " << k;
        const uint32_t rim = grey_of(target.at(cx + 36, cy), &grey);
        EXPECT_TRUE(grey) << "panel " << k;
        EXPECT_LE(rim, panels[k].rim_high) << "panel " << k;
        EXPECT_NE(target.at(cx + 36, cy), BACKGROUND) << "panel " << k;
    }
    EXPECT_TRUE(write_png(test_output_dir() + "/lighting.png", screen));
    light_destroy(headlight);
    tpoly_destroy(poly);
    frustum_destroy(view);
}
