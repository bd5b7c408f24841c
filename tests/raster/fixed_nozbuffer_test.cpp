// The non-z-buffered 16.16 rasterizer: wrap-around texel addressing, exact texel
// stepping, the float driver's coverage and clipping, no depth traffic, and the
// clamp for textures smaller than 256 x 256.
#include <gtest/gtest.h>

#include "tests/raster/raster_fixture.h"

namespace {

const RasterDriver& fixed = raster_driver_fixed_nozbuffer;
constexpr uint32_t empty = RASTER_TEST_EMPTY;

struct UvTexture {
    Pixmap* tex;
    explicit UvTexture(int32_t size) : tex(pixmap_create(size, size, 0)) { fill_uv_texture(tex); }
    ~UvTexture() { pixmap_destroy(tex); }
};

TEST(FixedNoZbuffer, TexelsStepExactlyAndWrapEvery256) {
    UvTexture t(256);
    const float xyz[9] = {0, 0, 7, 64, 0, 7, 0, 64, 7};
    // One texel per pixel from u = 250: columns wrap to texel 0 after 5 pixels.
    const float uv[6] = {250, 0, 314, 0, 250, 64};
    GuardedTarget g(72, 72, true);
    tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.tex);
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &tri, &g.view);
    int drawn = 0;
    for (int32_t y = 0; y < 72; ++y)
        for (int32_t x = 0; x < 72; ++x) {
            if (x < 64 - y) {
                ASSERT_EQ(texel_u(g.pixel(x, y)), (250 + x) & 255) << x << "," << y;
                ASSERT_EQ(texel_v(g.pixel(x, y)), y) << x << "," << y;
                ++drawn;
            } else {
                ASSERT_EQ(g.pixel(x, y), empty) << x << "," << y;
            }
        }
    EXPECT_EQ(drawn, 64 * 65 / 2);

    // u and u + 256, v and v - 256 address the same texels; the z plane is untouched.
    const float shifted[6] = {250 + 256, -256, 314 + 256, -256, 250 + 256, 64 - 256};
    GuardedTarget h(72, 72, true);
    tpoly moved = make_triangle(TPOLY_TEXTURED, xyz, shifted, t.tex);
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &moved, &h.view);
    EXPECT_EQ(h.pixel_plane, g.pixel_plane);
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
        GuardedTarget a(64, 48, true), b(64, 48, true);
        tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.tex);
        draw_slot(fixed, RASTER_SLOT_TEXTURED, &tri, &a.view);
        draw_slot(raster_driver_float_exact, RASTER_SLOT_TEXTURED, &tri, &b.view);
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x)
                ASSERT_EQ(a.pixel(x, y) == empty, b.pixel(x, y) == empty) << xyz[0] << ": " << x << "," << y;
        EXPECT_TRUE(a.guard_intact());
    }
    GuardedTarget s(64, 48, true);
    tpoly sliver = make_triangle(TPOLY_TEXTURED, shapes[4], uv, t.tex);
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &sliver, &s.view);
    EXPECT_EQ(s.count_not(empty), 0);
}

TEST(FixedNoZbuffer, SmallTexturesAreReadInsideTheirPixels) {
    // A 16 x 16 texture read as a 256 x 256 table: texels of row 0 come straight
    // from its pixels, every address past its end reads its last pixel.
    UvTexture t(16);
    const float xyz[9] = {0, 0, 1, 40, 0, 1, 0, 40, 1};
    const float uv[6] = {0, 0, 40, 0, 0, 40};
    GuardedTarget g(48, 48, false);
    tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.tex);
    draw_slot(fixed, RASTER_SLOT_TEXTURED, &tri, &g.view);
    for (int32_t x = 0; x < 40; ++x) EXPECT_EQ(g.pixel(x, 0), t.tex->pixels[x]) << x;
    EXPECT_EQ(g.pixel(3, 20), t.tex->pixels[255]);  // texel 20 * 256 + 3
    EXPECT_TRUE(g.guard_intact());
}

}  // namespace
