// The perspective-correct z-buffered rasterizer: zero-area triangles, one depth
// per span with the 256 offset, the strict test, perspective-correct texels,
// modes it does not draw, and clipping to the target.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/raster/raster_fixture.h"

namespace {

const RasterDriver& persp = raster_driver_perspective;
constexpr uint32_t empty = RASTER_TEST_EMPTY;

TEST(PerspectiveRaster, ZeroAreaAndUntexturedModesDrawNothing) {
    UvTexture t(64);
    const float uv[6] = {0, 0, 20, 20, 40, 40};
    TestPixmap g(48, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
    const float line[9] = {0, 0, 1, 10, 10, 1, 20, 20, 1};
    tpoly flat_line = make_triangle(TPOLY_TEXTURED, line, uv, t.get());
    draw_slot(persp, RASTER_SLOT_TEXTURED, &flat_line, g.get());
    EXPECT_EQ(g.count_not(empty), 0);

    ASSERT_EQ(raster_select(0xA0), 1);
    const float xyz[9] = {2, 2, 1, 40, 4, 1, 6, 40, 1};
    for (uint32_t mode : {0x001u, 0x104u | TPOLY_EDGE01 | TPOLY_EDGE12 | TPOLY_EDGE20, 0x204u, 0x404u, 0x201u}) {
        tpoly t2 = make_triangle(mode, xyz, uv, t.get());
        t2.flat_intensity = t2.vertex_intensity[0] = t2.vertex_intensity[1] = t2.vertex_intensity[2] = 200;
        raster_draw_triangle(&t2, g.get());
        EXPECT_EQ(g.count_not(empty), 0) << mode;
    }
    tpoly textured = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
    raster_draw_triangle(&textured, g.get());
    EXPECT_GT(g.count_not(empty), 100);
    EXPECT_TRUE(g.guard_intact());
}

TEST(PerspectiveRaster, OneOffsetDepthPerSpanAndAStrictTest) {
    UvTexture t(64);
    const float uv[6] = {0, 0, 63, 0, 0, 63};
    // Corners at depth 0 write 256.
    TestPixmap g(48, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
    const float level[9] = {0, 0, 0, 40, 0, 0, 0, 40, 0};
    tpoly a = make_triangle(TPOLY_TEXTURED, level, uv, t.get());
    draw_slot(persp, RASTER_SLOT_TEXTURED, &a, g.get());
    EXPECT_EQ(g.z(3, 3), 256);
    EXPECT_EQ(g.z(45, 45), PIXMAP_Z_FAR);

    // Depth rising steeply to the right: still one value across each span, the
    // mean of the truncated edge depths, so rows differ but columns never do.
    TestPixmap s(48, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
    const float slope[9] = {0, 0, 0, 40, 0, 4000, 0, 40, 0};
    tpoly b = make_triangle(TPOLY_TEXTURED, slope, uv, t.get());
    draw_slot(persp, RASTER_SLOT_TEXTURED, &b, s.get());
    for (int32_t y = 0; y < 38; ++y) {
        const int32_t d = s.z(0, y);
        ASSERT_GT(d, 256);
        for (int32_t x = 0; x < 39 - y; ++x) ASSERT_EQ(s.z(x, y), d) << x << "," << y;
        if (y > 0) {
            ASSERT_LT(d, s.z(0, y - 1));  // the right edge's depth falls row by row
        }
    }

    // Equal depth is not drawn: a second texture over the same triangle is hidden.
    TestPixmap other(64, 64, PIXMAP_CLEAR);
    tpoly c = make_triangle(TPOLY_TEXTURED, level, uv, other.get());
    const std::vector<uint32_t> before = g.plane();
    draw_slot(persp, RASTER_SLOT_TEXTURED, &c, g.get());
    EXPECT_EQ(g.plane(), before);
    EXPECT_TRUE(g.guard_intact());
    // Nearer (smaller) depth is drawn.
    const float nearer[9] = {0, 0, -10, 40, 0, -10, 0, 40, -10};
    tpoly d = make_triangle(TPOLY_TEXTURED, nearer, uv, other.get());
    draw_slot(persp, RASTER_SLOT_TEXTURED, &d, g.get());
    EXPECT_EQ(g.at(3, 3), 0xFF000000u);
    EXPECT_EQ(g.z(3, 3), 246);
}

TEST(PerspectiveRaster, TexelsArePerspectiveCorrectAtPixelCentres) {
    UvTexture t(64);
    // Constant depth: the mapping u = x, v = y is exact at the centres.
    const float xyz[9] = {0, 0, 0, 64, 0, 0, 0, 64, 0};
    const float uv[6] = {0, 0, 64, 0, 0, 64};
    TestPixmap g(64, 64, PIXMAP_ZBUFFER, RASTER_GUARD);
    tpoly a = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
    draw_slot(persp, RASTER_SLOT_TEXTURED, &a, g.get());
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            if (x < 64 - y) {
                ASSERT_EQ(texel_u(g.at(x, y)), x) << x << "," << y;
                ASSERT_EQ(texel_v(g.at(x, y)), y) << x << "," << y;
            } else {
                ASSERT_EQ(g.at(x, y), empty) << x << "," << y;
            }
        }

    // Receding along y (offset depth 256 at the top, 1024 at the bottom): v
    // follows 1/z, not the screen; halfway down the texture is only a fifth in.
    TestPixmap p(64, 64, PIXMAP_ZBUFFER, RASTER_GUARD);
    const float deep[9] = {0, 0, 0, 64, 0, 0, 0, 64, 768};
    tpoly b = make_triangle(TPOLY_TEXTURED, deep, uv, t.get());
    draw_slot(persp, RASTER_SLOT_TEXTURED, &b, p.get());
    for (int32_t y = 0; y < 60; y += 4) {
        const double a_ = (y + 0.5) / 64.0;
        const double w = (1 - a_) / 256.0 + a_ / 1024.0;
        const double expected = (64.0 * a_ / 1024.0) / w;
        EXPECT_NEAR(texel_v(p.at(1, y)), std::floor(expected), 1.0) << y;
    }
    EXPECT_LT(texel_v(p.at(1, 32)), 16);
}

TEST(PerspectiveRaster, TrianglesBeyondTheTargetAreClippedToIt) {
    UvTexture t(64);
    const float uv[6] = {-20, -20, 90, 10, 30, 100};  // partly outside the texture: clamped
    const float shapes[][9] = {
        {-60, -50, 10, 130, 20, 50, 20, 120, 30},
        {-1e6f, 10, 10, 1e6f, 20, 10, 5, 1e6f, 10},
        {10, -3e9f, 5, 30, 3e9f, 5, 35, 2, 5},
    };
    for (const auto& xyz : shapes) {
        TestPixmap g(40, 30, PIXMAP_ZBUFFER, RASTER_GUARD);
        tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
        draw_slot(persp, RASTER_SLOT_TEXTURED, &tri, g.get());
        EXPECT_TRUE(g.guard_intact()) << xyz[0];
        EXPECT_GT(g.count_not(empty), 0) << xyz[0];
    }
    // A target without a z plane is drawn without the depth test.
    TestPixmap n(40, 30, 0, RASTER_GUARD);
    tpoly tri = make_triangle(TPOLY_TEXTURED, shapes[0], uv, t.get());
    draw_slot(persp, RASTER_SLOT_TEXTURED, &tri, n.get());
    EXPECT_GT(n.count_not(empty), 0);
    EXPECT_TRUE(n.guard_intact());
}

}  // namespace
