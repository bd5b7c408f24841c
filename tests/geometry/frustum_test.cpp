// The frustum and the polygon pipeline: the demo frustum's fields and dump,
// projection, lights, rejection, lighting, clipping with texture coordinates
// and light levels, the fan, points and lines, and the tpoly record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/geometry/frustum.h"
#include "engine/geometry/light.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"
#include "tests/lib/pixmap_fixture.h"

namespace {

// Every triangle the pipeline hands on, as the custom routine sees it.
std::vector<tpoly> drawn;
void capture(tpoly* t, Pixmap*) {
    drawn.push_back(*t);
}

struct DemoView : ::testing::Test {
    TestPixmap target{320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR};
    Pixmap* screen = target.get();
    frustum* view = nullptr;
    tpoly* poly = nullptr;
    void SetUp() override {
        view = frustum_create(0, screen, 320, 240, 400);
        ASSERT_NE(view, nullptr);
        poly = tpoly_create();
        ASSERT_NE(poly, nullptr);
        poly->flags = TPOLY_CUSTOM | TPOLY_TWO_SIDED | TPOLY_TEXTURED;
        poly->draw_routine = capture;
        poly->stride = 5;
        poly->uv_count = 6;
        drawn.clear();
    }
    void TearDown() override {
        tpoly_destroy(poly);
        frustum_destroy(view);
    }
    void set(vector a, vector b, vector c) {
        poly->vertex[0] = a;
        poly->vertex[1] = b;
        poly->vertex[2] = c;
    }
};

void expect_vec(const vector& v, float x, float y, float z, float tol = 1e-3f) {
    EXPECT_NEAR(v.x, x, tol);
    EXPECT_NEAR(v.y, y, tol);
    EXPECT_NEAR(v.z, z, tol);
}

}  // namespace

TEST_F(DemoView, FieldsAndDump) {
    EXPECT_EQ(view->midx, 160.0f);
    EXPECT_EQ(view->midy, 120.0f);
    EXPECT_EQ(view->sfx, 400.0f);
    EXPECT_EQ(view->sfy, 400.0f);
    EXPECT_EQ(view->light_capacity, 32);
    EXPECT_EQ(view->light_count, 0);
    EXPECT_EQ(view->reserved_near, 40.0f);
    uint32_t far_bits;
    std::memcpy(&far_bits, &view->reserved_far, 4);
    EXPECT_EQ(far_bits, 0x7F7FFFFFu);
    EXPECT_EQ(view->target, screen);
    testing::internal::CaptureStdout();
    frustum_dump(view);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "-----[ Frustum ]---------------\n"
              "Logic x     320.000\n"
              "Logic y     240.000\n"
              "Perspective 400.000\n"
              "Width       320\n"
              "Height      240\n"
              "Midx        160.000\n"
              "Midy        120.000\n"
              "Sfx         400.000\n"
              "Sfy         400.000\n"
              "N left      (-0.929, 0.000, -0.371)\n"
              "N right     (0.929, 0.000, -0.371)\n"
              "N up        (0.000, 0.958, -0.287)\n"
              "N down      (0.000, -0.958, -0.287)\n");
}

TEST_F(DemoView, ProjectionExamples) {
    vector out;
    vector o = {0, 0, 0}, corner = {160, 120, 0}, deep = {160, 0, 400};
    // 1 / 400 is not exact in float: equal within rounding.
    expect_vec(*frustum_project(view, &out, &o), 160, 120, 0, 0);
    expect_vec(*frustum_project(view, &out, &corner), 320, 0, 0, 1e-4f);
    expect_vec(*frustum_project(view, &out, &deep), 240, 120, 400, 1e-4f);
    vector in_place = {-80, -60, 0};
    frustum_project(view, &in_place, &in_place);
    expect_vec(in_place, 80, 180, 0, 1e-4f);
    EXPECT_FLOAT_EQ(frustum_project_size(view, &deep, 10.0f), 5.0f);

    vector c = {0, 0, 500};
    EXPECT_EQ(frustum_sphere_visible(view, &c, 10), 1);
    vector left = {-2000, 0, 500};  // N left . c is about 1672 > 10^2
    EXPECT_EQ(frustum_sphere_visible(view, &left, 10), 0);
    EXPECT_EQ(frustum_sphere_visible(view, &left, 50), 1);

    // Re-initialising with a new perspective changes the scale and the planes.
    EXPECT_EQ(frustum_init(view, 0, screen, 320, 240, 200), 1);
    EXPECT_EQ(view->sfx, 200.0f);
    EXPECT_EQ(frustum_init(nullptr, 0, screen, 320, 240, 200), 0);
    EXPECT_EQ(frustum_create(0, nullptr, 320, 240, 400), nullptr);
    EXPECT_STREQ(frustum_error_string(), "Ambiguous error...");
    EXPECT_STREQ(frustum_error_string(), "No error, so far...");
}

TEST_F(DemoView, LightListGrowsByDoubling) {
    std::vector<light*> lights;
    for (int i = 0; i < 33; i++) {
        lights.push_back(light_create());
        ASSERT_EQ(frustum_add_light(view, lights.back()), 1);
    }
    EXPECT_EQ(view->light_capacity, 64);
    EXPECT_EQ(view->light_count, 33);
    for (int i = 0; i < 33; i++) EXPECT_EQ(view->lights[i], lights[i]);
    frustum_clear_lights(view);
    EXPECT_EQ(view->light_count, 0);
    EXPECT_EQ(view->light_capacity, 64);
    for (light* l : lights) light_destroy(l);
}

TEST_F(DemoView, InsideTriangleIsOneFanTriangleInCallerOrder) {
    set({-100, 50, 0}, {100, 50, 0}, {0, -50, 100});
    poly->colour = 0x11223344u;
    for (int i = 0; i < 6; i++) poly->uv[i] = 10.0f * i;
    poly->uv_index[0] = 0;
    frustum_draw_tpoly(view, poly);
    ASSERT_EQ(drawn.size(), 1u);
    const tpoly& t = drawn[0];
    expect_vec(t.vertex[0], 60, 70, 0);
    expect_vec(t.vertex[1], 260, 70, 0);
    expect_vec(t.vertex[2], 160, 160, 100);
    for (int i = 0; i < 6; i++) EXPECT_FLOAT_EQ(t.uv[i], 10.0f * i);
    EXPECT_EQ(t.colour, 0x11223344u);
    EXPECT_EQ(t.flags, poly->flags);
    EXPECT_EQ(t.stride, 5);
}

// What the pipeline refuses or cuts is noted for the person who sees nothing.
TEST_F(DemoView, StrideAndWindingProblemsAreNoted) {
    struct Case {
        int32_t stride;
        bool back;
        size_t drawn;
        uint32_t note;
        const char* says;
    } cases[] = {
        {0, false, 0, RASTER_NOTE_STRIDE, "no polygon of stride 0"},
        {3, false, 1, RASTER_NOTE_STRIDE, "carried 0 of the 1 texture layers of a polygon of stride 3"},
        {5, true, 0, RASTER_NOTE_BACK_FACE, "culled as a back face"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        raster_clear_notes();
        drawn.clear();
        if (c.back) {
            set({-100, 50, 0}, {0, -50, 100}, {100, 50, 0});
            poly->flags &= ~TPOLY_TWO_SIDED;
        } else {
            set({-100, 50, 0}, {100, 50, 0}, {0, -50, 100});
        }
        poly->stride = c.stride;
        frustum_draw_tpoly(view, poly);
        EXPECT_EQ(drawn.size(), c.drawn);
        EXPECT_EQ(raster_notes(), c.note);
        EXPECT_NE(std::string(raster_error_detail()).find(c.says), std::string::npos) << raster_error_detail();
    }
}

TEST_F(DemoView, TrianglesBehindTheEyeAreRejectedUnlit) {
    poly->flags |= TPOLY_FLAT_LIGHT;
    poly->flat_intensity = 77;
    light* amb = light_create();
    amb->type = 8;
    frustum_add_light(view, amb);
    set({0, 0, -401}, {10, 0, -500}, {0, 10, -400.5f});
    frustum_draw_tpoly(view, poly);
    EXPECT_TRUE(drawn.empty());
    EXPECT_EQ(poly->flat_intensity, 77);
    // A vertex exactly at -perspective does not count as behind: it is lit
    // (and clipped to the apex, where nothing is left to draw).
    set({0, 0, -401}, {10, 0, -500}, {0, 0, -400});
    frustum_draw_tpoly(view, poly);
    EXPECT_EQ(poly->flat_intensity, 255);
    light_destroy(amb);
}

TEST_F(DemoView, FlatLightingSumsAndClamps) {
    poly->flags |= TPOLY_FLAT_LIGHT;
    poly->face_normal = {0, 0, -1};
    set({-10, 0, 0}, {10, 0, 0}, {0, 10, 0});
    frustum_draw_tpoly(view, poly);
    EXPECT_EQ(poly->flat_intensity, 0);  // no lights
    light* a = light_create();
    light* b = light_create();
    a->type = b->type = 8;
    a->colour[0] = 100;
    b->colour[0] = 200;  // 300 in all
    frustum_add_light(view, a);
    frustum_add_light(view, b);
    frustum_draw_tpoly(view, poly);
    EXPECT_EQ(poly->flat_intensity, 255);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[1].flat_intensity, 255);
    // Diffuse at the centroid: light straight in front of it, 0.5 of its level.
    frustum_clear_lights(view);
    a->type = 1;
    a->colour[0] = 200;
    vector centroid = {0, 10.0f / 3, 0};
    a->position = {centroid.x, centroid.y + 10, -10};  // 45 degrees off the normal
    frustum_add_light(view, a);
    frustum_draw_tpoly(view, poly);
    EXPECT_EQ(poly->flat_intensity, 141);  // 200 cos 45
    light_destroy(a);
    light_destroy(b);
}

// A lit triangle drawn with no light comes out black: the frustum's error says
// so once per frustum and light list, not for every triangle, and not for
// unlit modes, lit ones with a light, or the combination that computes nothing.
TEST_F(DemoView, LitTriangleWithNoLightIsReportedOnce) {
    const char* const none = "No error, so far...";
    const char* const unlit = "Lit triangle drawn with no light";
    set({-10, 0, 0}, {10, 0, 0}, {0, 10, 0});
    frustum_error_string();
    const struct {
        uint32_t light_flags;
        int lights;
        const char* message;
    } cases[] = {
        {0, 0, none},
        {TPOLY_FLAT_LIGHT | TPOLY_GOURAUD, 0, none},
        {TPOLY_FLAT_LIGHT, 1, none},
        {TPOLY_GOURAUD, 1, none},
        {TPOLY_FLAT_LIGHT, 0, unlit},
        {TPOLY_GOURAUD, 0, unlit},
    };
    light* l = light_create();
    ASSERT_NE(l, nullptr);
    for (const auto& c : cases) {
        frustum_clear_lights(view);
        if (c.lights) frustum_add_light(view, l);
        poly->flags = TPOLY_CUSTOM | TPOLY_TWO_SIDED | TPOLY_TEXTURED | c.light_flags;
        for (int i = 0; i < 3; i++) frustum_draw_tpoly(view, poly);
        EXPECT_STREQ(frustum_error_string(), c.message) << c.light_flags << ", " << c.lights << " lights";
        frustum_draw_tpoly(view, poly);  // once: not again for the same light list
        EXPECT_STREQ(frustum_error_string(), none) << c.light_flags;
    }
    // Another frustum with no light is another cause.
    frustum* other = frustum_create(0, screen, 320, 240, 400);
    ASSERT_NE(other, nullptr);
    frustum_draw_tpoly(other, poly);
    EXPECT_STREQ(frustum_error_string(), unlit);
    frustum_destroy(other);
    light_destroy(l);
}

TEST_F(DemoView, CrossingOnePlaneMakesTwoFanTrianglesWithInterpolatedLayers) {
    poly->flags |= TPOLY_GOURAUD;
    light* amb = light_create();
    amb->type = 8;
    amb->colour[0] = 90;
    frustum_add_light(view, amb);
    // Vertex 1 lies beyond the right plane; vertices 0 and 2 are inside.
    set({0, 0, 0}, {400, 0, 0}, {0, 100, 0});
    const float uv[6] = {0, 0, 200, 40, 0, 100};
    std::memcpy(poly->uv, uv, sizeof uv);
    frustum_draw_tpoly(view, poly);
    ASSERT_EQ(drawn.size(), 2u);
    // Gouraud levels of the three corners, all 90 from the ambient light.
    for (int i = 0; i < 3; i++) EXPECT_EQ(poly->vertex_intensity[i], 90);

    // The right plane in eye space: (p + 0.5) x = (logic_x / 2) z_eye. Edge
    // 0 -> 1 runs along x at z_eye = 400: it leaves at x = 160 * 400 / 400.5;
    // edge 1 -> 2 from (400, 0) to (0, 100) at x = 400 - 400 t, same bound.
    const float xr = 160.0f * 400.0f / 400.5f;
    const float t01 = xr / 400.0f, t12 = 1.0f - xr / 400.0f;
    // Fan: (c0, c1, c2), (c0, c2, c3) with c0 = vertex 0, c1 the exit point on
    // 0 -> 1, c2 the entry point on 1 -> 2, c3 = vertex 2.
    const tpoly& f0 = drawn[0];
    const tpoly& f1 = drawn[1];
    expect_vec(f0.vertex[0], 160, 120, 0);
    expect_vec(f0.vertex[1], 160 + xr, 120, 0);
    expect_vec(f0.vertex[2], 160 + xr, 120 - 100 * t12, 0);
    expect_vec(f1.vertex[0], 160, 120, 0);
    expect_vec(f1.vertex[1], 160 + xr, 120 - 100 * t12, 0);
    expect_vec(f1.vertex[2], 160, 20, 0);
    // Texture coordinates at the clipped vertices: linear along the edges.
    EXPECT_NEAR(f0.uv[2], 200 * t01, 1e-3);
    EXPECT_NEAR(f0.uv[3], 40 * t01, 1e-3);
    EXPECT_NEAR(f0.uv[4], 200 * (1 - t12), 1e-3);
    EXPECT_NEAR(f0.uv[5], 40 + 60 * t12, 1e-3);
    EXPECT_NEAR(f1.uv[2], f0.uv[4], 1e-6);
    EXPECT_NEAR(f1.uv[3], f0.uv[5], 1e-6);
    EXPECT_NEAR(f1.uv[4], 0, 1e-6);
    EXPECT_NEAR(f1.uv[5], 100, 1e-6);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(f0.vertex_intensity[i], 90);
        EXPECT_EQ(f1.vertex_intensity[i], 90);
    }
    light_destroy(amb);
}

TEST_F(DemoView, GouraudLevelsInterpolateAtTheClippedVertex) {
    // Levels come in through the clip vertices: with both lighting flags the
    // pipeline computes nothing and carries the stored levels.
    poly->flags |= TPOLY_GOURAUD | TPOLY_FLAT_LIGHT;
    poly->vertex_intensity[0] = 0;
    poly->vertex_intensity[1] = 200;
    poly->vertex_intensity[2] = 0;
    set({0, 0, 0}, {400, 0, 0}, {0, 100, 0});
    frustum_draw_tpoly(view, poly);
    ASSERT_EQ(drawn.size(), 2u);
    const float xr = 160.0f * 400.0f / 400.5f;
    EXPECT_EQ(drawn[0].vertex_intensity[0], 0);
    EXPECT_EQ(drawn[0].vertex_intensity[1], (int)(200 * xr / 400));
    EXPECT_EQ(drawn[0].vertex_intensity[2], (int)(200 * xr / 400));
    EXPECT_EQ(drawn[1].vertex_intensity[2], 0);
}

TEST_F(DemoView, ClipEdgeCases) {
    const vector n = {1, 0, 0};  // inside: x <= 0
    float a[5] = {-2, 0, 0, 10, 20}, b[5] = {2, 0, 0, 30, 40};
    EXPECT_EQ(clip_edge(&n, a, b, 5), 2);  // leaving: end moved onto the plane
    EXPECT_FLOAT_EQ(b[0], 0);
    EXPECT_FLOAT_EQ(b[3], 20);
    EXPECT_FLOAT_EQ(b[4], 30);
    float c[3] = {3, 0, 0}, d[3] = {-1, 0, 0};
    EXPECT_EQ(clip_edge(&n, c, d, 3), 1);  // entering: start moved
    EXPECT_FLOAT_EQ(c[0], 0);
    float e[3] = {1, 0, 0}, f[3] = {2, 0, 0};
    EXPECT_EQ(clip_edge(&n, e, f, 3), 0);
    // Both ends exactly on the plane: kept unchanged, no 0/0.
    float g[4] = {0, 1, 2, 7}, h[4] = {0, 5, 6, 9};
    EXPECT_EQ(clip_edge(&n, g, h, 4), 1);
    EXPECT_EQ(g[1], 1.0f);
    EXPECT_EQ(g[3], 7.0f);
    EXPECT_EQ(h[1], 5.0f);
    // A polygon lying in the plane passes whole.
    float in[9] = {0, 0, 0, 0, 1, 0, 0, 0, 1}, out[9 * 2];
    EXPECT_EQ(clip_polygon(&n, out, in, 3, 3), 3);
    for (float v : out) EXPECT_FALSE(std::isnan(v));
    // A vertex on the plane between an inside and an outside one: both its
    // edges emit two vertices, five from three (the clip buffers allow two per edge).
    float tri[9] = {-1, 0, 0, 0, 1, 0, 1, 0, 0};
    ASSERT_EQ(clip_polygon(&n, out, tri, 3, 3), 5);
    const float want[15] = {-1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0};
    for (int i = 0; i < 15; i++) EXPECT_EQ(out[i], want[i]) << i;
}

TEST_F(DemoView, PlotTruncatesTowardZeroAndSkipsTheEye) {
    const int misses = set_p_misses;
    vector p = {-160.5f, 0, 0};  // projects to x = -0.5
    frustum_plot(view, &p, 0xFFFFFFFFu);
    EXPECT_EQ(pixmap_get_pixel(screen, 0, 120), 0xFFFFFFFFu);
    vector eye = {0, 0, -400}, behind = {5, 5, -900};
    frustum_plot(view, &eye, 0xFF0000FFu);
    frustum_plot(view, &behind, 0xFF0000FFu);
    vector near_eye = {1.0e6f, 0, -399.999f};  // far off screen: counted, not drawn
    frustum_plot(view, &near_eye, 0xFF0000FFu);
    EXPECT_EQ(set_p_misses, misses + 1);
}

TEST_F(DemoView, LinesClipToTheViewAndSkipTheFarEnd) {
    vector a = {-1000, 0, 0}, b = {1000, 0, 0};
    const int misses = set_p_misses;
    frustum_line(view, &a, &b, 0xFF00FF00u);
    // Clipped to the tilted planes: it stays inside the target.
    EXPECT_EQ(set_p_misses, misses);
    int lit = 0;
    for (int x = 0; x < 320; x++) lit += pixmap_get_pixel(screen, x, 120) == 0xFF00FF00u;
    EXPECT_GE(lit, 318);
    // Wholly outside one plane: nothing.
    vector c = {0, 1000, 0}, d = {50, 1000, 0};
    pixmap_clear_rect(screen, 0, 0, 320, 240, 0);
    frustum_line(view, &c, &d, 0xFF00FF00u);
    vector eye = {0, 0, -400}, e = {10, 10, 0};
    frustum_line(view, &eye, &e, 0xFF00FF00u);  // from the eye itself: no crash
    vector behind = {0, 0, -500};
    frustum_line(view, &behind, &behind, 0xFF00FF00u);
    EXPECT_EQ(target.count_not(0), 0);
    EXPECT_TRUE(target.guard_intact());
}

TEST_F(DemoView, PixmapLineEndPoints) {
    auto lit_row0 = [&] {
        std::vector<int> xs;
        for (int x = 0; x < 320; x++)
            if (pixmap_get_pixel(screen, x, 0) == 0xFFFFFFFFu) xs.push_back(x);
        return xs;
    };
    std::vector<int> zero_to_nine = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    pixmap_line(screen, 0, 0, 10, 0, 0xFFFFFFFFu);
    EXPECT_EQ(lit_row0(), zero_to_nine);
    pixmap_clear_rect(screen, 0, 0, 320, 240, 0);
    pixmap_line(screen, 10, 0, 0, 0, 0xFFFFFFFFu);
    EXPECT_EQ(lit_row0(), zero_to_nine);
    pixmap_clear_rect(screen, 0, 0, 320, 240, 0);
    pixmap_line(screen, 0, 0, 0, 0, 0xFFFFFFFFu);
    EXPECT_TRUE(lit_row0().empty());
    // Steep: 8.8 steps in x, the lower end not drawn.
    pixmap_line(screen, 5, 10, 7, 14, 0xFFFFFFFFu);
    EXPECT_EQ(pixmap_get_pixel(screen, 5, 10), 0xFFFFFFFFu);
    EXPECT_EQ(pixmap_get_pixel(screen, 5, 11), 0xFFFFFFFFu);  // x = 5.5 -> 5
    EXPECT_EQ(pixmap_get_pixel(screen, 6, 12), 0xFFFFFFFFu);
    EXPECT_EQ(pixmap_get_pixel(screen, 6, 13), 0xFFFFFFFFu);  // x = 6.5 -> 6
    EXPECT_NE(pixmap_get_pixel(screen, 7, 14), 0xFFFFFFFFu);
    // Lines leaving the target count their outside plots and finish at once,
    // however long they are.
    const int misses = set_p_misses;
    pixmap_line(screen, -10, 3, 5, 3, 0xFFFFFFFFu);
    EXPECT_EQ(set_p_misses, misses + 10);
    pixmap_line(screen, -2000000000, 7, 2000000000, 7, 0xFFFFFFFFu);
    EXPECT_EQ(pixmap_get_pixel(screen, 319, 7), 0xFFFFFFFFu);
}

TEST(Tpoly, FreshRecord) {
    tpoly* p = tpoly_create();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->flags, 0u);
    EXPECT_EQ(p->draw_routine, nullptr);
    EXPECT_EQ(p->uv_count, 0);
    EXPECT_EQ(p->texturemap, nullptr);
    for (Pixmap* t : p->texturemap_more) EXPECT_EQ(t, nullptr);
    EXPECT_EQ(p->reserved_end, 0u);
    tpoly_destroy(p);
    tpoly_destroy(nullptr);
    EXPECT_STREQ(tpoly_error_string(), "[Poly] No error, so far...");
}
