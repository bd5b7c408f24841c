// All rasterizers side by side: the same front-facing textured triangle covers
// nearly the same pixels with nearly the same texels under every driver; random
// finite triangles never reach outside the target or the texture; and a picture
// of the tube scene from every driver, for the eye.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "bench/tube_scene.h"
#include "tests/raster/raster_fixture.h"

namespace {

constexpr uint32_t empty = RASTER_TEST_EMPTY;

struct NamedDriver {
    const RasterDriver* driver;
    const char* tag;
};
const NamedDriver all_drivers[] = {
    {&raster_driver_float_zbuffer, "0x82"}, {&raster_driver_float_exact, "0x00"},
    {&raster_driver_fixed_nozbuffer, "0x14"}, {&raster_driver_fixed_zbuffer, "0x94"},
    {&raster_driver_safe, "0x01"},          {&raster_driver_perspective, "0xA0"},
};

// Distance from point p to segment a-b.
double segment_distance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

struct Reference {
    double x[3], y[3];
    bool inside(double px, double py) const {
        int sign = 0;
        for (int k = 0; k < 3; ++k) {
            const int n = (k + 1) % 3;
            const double e = (x[n] - x[k]) * (py - y[k]) - (y[n] - y[k]) * (px - x[k]);
            const int s = e > 0 ? 1 : (e < 0 ? -1 : 0);
            if (s != 0 && sign != 0 && s != sign) return false;
            if (s != 0) sign = s;
        }
        return true;
    }
    double boundary_distance(double px, double py) const {
        double d = 1e30;
        for (int k = 0; k < 3; ++k) {
            const int n = (k + 1) % 3;
            d = std::min(d, segment_distance(px, py, x[k], y[k], x[n], y[n]));
        }
        return d;
    }
};

// Each driver decides coverage by its own rule: the float and 16.16 drivers give
// row r the edge positions of the first integer y at or below the top corner
// (half a row below the centres) and fill from trunc(left x); the safe driver
// truncates the corners to integers and fills both span ends; the perspective
// driver tests pixel centres, exactly the reference. So the others may differ
// from the centre-sampled triangle only on pixels whose centre lies within one
// pixel of the true boundary (measured: at most 0.7), at most one such pixel per
// pixel of boundary length. Away from the boundary each pixel's texel is within
// 2 texels of the coordinates at its centre (one texel per pixel here, so that
// is the same sub-pixel shift seen in the texture).
TEST(CrossDriver, SameTriangleNearlySameCoverageAndTexels) {
    UvTexture tex(256);
    const float xyz[9] = {20.3f, 10.7f, 40, 100.6f, 40.2f, 40, 35.1f, 85.9f, 40};
    const float uv[6] = {20.3f, 10.7f, 100.6f, 40.2f, 35.1f, 85.9f};
    const Reference ref{{20.3, 100.6, 35.1}, {10.7, 40.2, 85.9}};
    const double perimeter = std::hypot(80.3, 29.5) + std::hypot(65.5, 45.7) + std::hypot(14.8, 75.2);
    ASSERT_EQ(raster_select(0x01), 1);
    for (const NamedDriver& d : all_drivers) {
        // No gutters: the 16.16 z-buffered driver addresses rows by width.
        TestPixmap g(128, 96, PIXMAP_ZBUFFER);
        tpoly t = make_triangle(TPOLY_TEXTURED, xyz, uv, tex.get());
        current_raster_driver = d.driver;
        raster_draw_triangle(&t, g.get());
        int differing = 0, checked = 0;
        for (int32_t y = 0; y < 96; ++y)
            for (int32_t x = 0; x < 128; ++x) {
                const double cx = x + 0.5, cy = y + 0.5;
                const bool want = ref.inside(cx, cy), got = g.at(x, y) != empty;
                const double edge = ref.boundary_distance(cx, cy);
                if (want != got) {
                    ++differing;
                    EXPECT_LE(edge, 1.0) << d.tag << " pixel " << x << "," << y;
                }
                if (got && want && edge > 2.0) {
                    ++checked;
                    EXPECT_NEAR(texel_u(g.at(x, y)), cx, 2.0) << d.tag << " pixel " << x << "," << y;
                    EXPECT_NEAR(texel_v(g.at(x, y)), cy, 2.0) << d.tag << " pixel " << x << "," << y;
                }
            }
        EXPECT_LE(differing, perimeter) << d.tag;
        if (d.driver == &raster_driver_perspective) {
            EXPECT_EQ(differing, 0);
        }
        EXPECT_GT(checked, 1500) << d.tag;
    }
    raster_select(0x94);
}

// Random finite triangles of every size and place (and degenerate ones) through
// every slot of every driver but the 16.16 z-buffered one, whose spans are
// unclipped by design: nothing is written outside the target, with its rows back
// to back or apart (guard words, checked in every build), and under the address
// sanitizer nothing is read or written outside any plane or texture (the guards
// are poisoned).
TEST(CrossDriver, RandomFiniteTrianglesStayInsideTargetAndTexture) {
    const RasterDriver* const drivers[] = {&raster_driver_float_zbuffer, &raster_driver_float_exact,
                                           &raster_driver_fixed_nozbuffer, &raster_driver_safe,
                                           &raster_driver_perspective};
    const int slots[] = {RASTER_SLOT_FLAT, RASTER_SLOT_WIRE, RASTER_SLOT_TEXTURED, RASTER_SLOT_TEXTURED_LIT,
                         RASTER_SLOT_TEXTURED_GOURAUD};
    std::mt19937 rng(12345);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const double scales[] = {0.0, 3.0, 60.0, 2000.0, 1e6, 1e12, 3e38};
    const int saved_misses = set_p_misses;
    int drew = 0;  // driver-rounds that put pixels into the target: the test is not vacuous
    for (int round = 0; round < 1500; ++round) {
        const int32_t w = 1 + pick(80), h = round % 50 == 0 ? 1030 + pick(40) : 1 + pick(70);
        const int32_t tw = round % 3 == 0 ? 256 : 1 + pick(300), th = round % 3 == 0 ? 256 : 1 + pick(300);
        const double s = scales[pick(7)];
        float xyz[9], uv[6];
        for (int k = 0; k < 3; ++k) {
            xyz[3 * k] = static_cast<float>(uniform(-s, w + s));
            xyz[3 * k + 1] = static_cast<float>(uniform(-s, h + s));
            xyz[3 * k + 2] = static_cast<float>(pick(4) == 0 ? uniform(-1e9, 1e9) : uniform(-300, 2000));
        }
        const double us = pick(3) == 0 ? 1e9 : 600;
        for (float& c : uv) c = static_cast<float>(uniform(-us, us));
        switch (pick(6)) {  // degenerate shapes
        case 0: xyz[3] = xyz[0], xyz[4] = xyz[1]; break;                  // two corners equal
        case 1: xyz[4] = xyz[1], xyz[7] = xyz[1]; break;                  // one row
        case 2: xyz[6] = (xyz[0] + xyz[3]) / 2, xyz[7] = (xyz[1] + xyz[4]) / 2; break;  // collinear
        default: break;
        }
        TestPixmap texture(tw, th);
        fill_uv_texture(texture.get());
        tpoly t = make_triangle(TPOLY_TEXTURED | TPOLY_EDGE01 | TPOLY_EDGE12 | TPOLY_EDGE20, xyz, uv, texture.get());
        t.flat_intensity = pick(600) - 200;
        for (int k = 0; k < 3; ++k) t.vertex_intensity[k] = pick(600) - 200;
        for (const RasterDriver* d : drivers) {
            TestPixmap exact(w, h, pick(4) != 0 ? uint32_t{PIXMAP_ZBUFFER} : 0u);
            TestPixmap guarded(w, h, PIXMAP_ZBUFFER, RASTER_GUARD);
            for (int slot : slots) {
                draw_slot(*d, slot, &t, exact.get());
                draw_slot(*d, slot, &t, guarded.get());
            }
            ASSERT_TRUE(exact.guard_intact()) << d->name << " round " << round;
            ASSERT_TRUE(guarded.guard_intact()) << d->name << " round " << round;
            drew += guarded.count_not(empty) > 0;
        }
    }
    EXPECT_GT(drew, 1500 * 5 / 4);
    set_p_misses = saved_misses;
}

// The tube scene drawn by every driver (and flat and wire by two of them) into
// one picture in the build directory: a row of z-buffered and exact drivers,
// then the rest. Non-z-buffered drivers show the tube's own overlaps unsorted.
TEST(CrossDriver, TubePictureFromEveryDriver) {
    TubeScene* scene = tube_scene_create(320, 240);
    ASSERT_NE(scene, nullptr);
    tube_scene_build(scene, 0.7f);
    struct Panel {
        const RasterDriver* driver;
        uint32_t flags;
    } panels[] = {
        {&raster_driver_float_zbuffer, TPOLY_TEXTURED},  {&raster_driver_float_exact, TPOLY_TEXTURED},
        {&raster_driver_fixed_nozbuffer, TPOLY_TEXTURED}, {&raster_driver_fixed_zbuffer, TPOLY_TEXTURED},
        {&raster_driver_safe, TPOLY_TEXTURED},          {&raster_driver_perspective, TPOLY_TEXTURED},
        {&raster_driver_float_exact, TPOLY_FLAT},       {&raster_driver_safe, TPOLY_WIRE | TPOLY_EDGE01 | TPOLY_EDGE12},
    };
    TestPixmap sheet(4 * 320, 2 * 240, PIXMAP_CLEAR);
    for (int i = 0; i < 8; ++i) {
        tube_scene_clear(scene);
        current_raster_driver = panels[i].driver;
        tube_scene_draw(scene, panels[i].flags);
        int64_t changed = 0;
        for (int32_t y = 0; y < 240; ++y)
            for (int32_t x = 0; x < 320; ++x) {
                const uint32_t p = scene->screen->pixels[y * 320 + x];
                changed += p != 0xFF201008u;
                sheet.at(i % 4 * 320 + x, i / 4 * 240 + y) = p;
            }
        EXPECT_GT(changed, 320 * 240 / 10) << panels[i].driver->name;
    }
    raster_select(0x94);
    const std::string path = std::string(TAVIK_BINARY_DIR) + "/rasterizers_side_by_side.png";
    EXPECT_TRUE(write_png(path, sheet.get()));
    tube_scene_destroy(scene);
}

}  // namespace
