// The non-z-buffered 16.16 rasterizer: wrap-around texel addressing, exact texel
// stepping, the float driver's coverage and clipping, no depth traffic, and the
// clamp for textures smaller than 256 x 256.
#include <gtest/gtest.h>

#include "tests/raster/raster_fixture.h"

namespace {

const RasterDriver& fixed = raster_driver_fixed_nozbuffer;
constexpr uint32_t empty = RASTER_TEST_EMPTY;

TEST(FixedNoZbuffer, TexelsStepExactlyAndWrapEvery256) {
    UvTexture t(256);
    const float xyz[9] = {0, 0, 7, 64, 0, 7, 0, 64, 7};
    // One texel per pixel from u = 250: columns wrap to texel 0 after 5 pixels.
    const float uv[6] = {250, 0, 314, 0, 250, 64};
    TestPixmap g(72, 72, PIXMAP_ZBUFFER, RASTER_GUARD);
    tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &tri, g.get());
    int drawn = 0;
    for (int32_t y = 0; y < 72; ++y)
        for (int32_t x = 0; x < 72; ++x) {
            if (x < 64 - y) {
                ASSERT_EQ(texel_u(g.at(x, y)), (250 + x) & 255) << x << "," << y;
                ASSERT_EQ(texel_v(g.at(x, y)), y) << x << "," << y;
                ++drawn;
            } else {
                ASSERT_EQ(g.at(x, y), empty) << x << "," << y;
            }
        }
    EXPECT_EQ(drawn, 64 * 65 / 2);

    // u and u + 256, v and v - 256 address the same texels; the z plane is untouched.
    const float shifted[6] = {250 + 256, -256, 314 + 256, -256, 250 + 256, 64 - 256};
    TestPixmap h(72, 72, PIXMAP_ZBUFFER, RASTER_GUARD);
    tpoly moved = make_triangle(TPOLY_TEXTURED, xyz, shifted, t.get());
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &moved, h.get());
    EXPECT_TRUE(same_pixels(h.get(), g.get()));
    EXPECT_TRUE(g.guard_intact());
    for (int32_t y = 0; y < 72; ++y)
        for (int32_t x = 0; x < 72; ++x) ASSERT_EQ(h.z(x, y), PIXMAP_Z_FAR);
    EXPECT_TRUE(h.guard_intact());
}

TEST(FixedNoZbuffer, CoversWhatTheExactDriverCovers) {
    // The edges, clipping and span ends are the exact driver's: for triangles
    // inside, crossing every border and wholly outside, the drawn pixels coincide.
    UvTexture t(256);
    const float uv[6] = {10, 20, 240, 60, 90, 230};
    const float shapes[][9] = {
        {5.5f, 3.25f, 1, 60.75f, 20.5f, 1, 17.2f, 44.9f, 1}, {-40, -30, 1, 120, 10, 1, 20, 90, 1},
        {70, 5, 1, 90, 20, 1, 70, 40, 1},                     {10, -40, 1, 50, -5, 1, 20, -10, 1},
        {5.2f, 1, 1, 5.8f, 1, 1, 5.5f, 30, 1},  // a sliver no span reaches across
    };
    for (const auto& xyz : shapes) {
        TestPixmap a(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD), b(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
        tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
        draw_slot(fixed, RASTER_SLOT_TEXTURED, &tri, a.get());
        draw_slot(raster_driver_float_exact, RASTER_SLOT_TEXTURED, &tri, b.get());
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x)
                ASSERT_EQ(a.at(x, y) == empty, b.at(x, y) == empty) << xyz[0] << ": " << x << "," << y;
        EXPECT_TRUE(a.guard_intact());
    }
    TestPixmap s(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
    tpoly sliver = make_triangle(TPOLY_TEXTURED, shapes[4], uv, t.get());
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &sliver, s.get());
    EXPECT_EQ(s.count_not(empty), 0);
}

TEST(FixedNoZbuffer, SmallTexturesAreReadInsideTheirPixels) {
    // A 16 x 16 texture read as a 256 x 256 table: texels of row 0 come straight
    // from its pixels, every address past its end reads its last pixel.
    UvTexture t(16);
    const float xyz[9] = {0, 0, 1, 40, 0, 1, 0, 40, 1};
    const float uv[6] = {0, 0, 40, 0, 0, 40};
    TestPixmap g(48, 48, 0, RASTER_GUARD);
    tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &tri, g.get());
    for (int32_t x = 0; x < 40; ++x) EXPECT_EQ(g.at(x, 0), t.get()->pixels[x]) << x;
    EXPECT_EQ(g.at(3, 20), t.get()->pixels[255]);  // texel 20 * 256 + 3
    EXPECT_TRUE(g.guard_intact());
}

}  // namespace
