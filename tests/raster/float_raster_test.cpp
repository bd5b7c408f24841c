// The floating-point rasterizers (z-buffered and exact): rejection and clipping
// at the four borders, the right-most column, depth rules, line end points and
// the normalised texture addressing with its clamp.
#include <gtest/gtest.h>

#include "tests/raster/raster_fixture.h"

namespace {

const RasterDriver* const float_drivers[] = {&raster_driver_float_zbuffer, &raster_driver_float_exact};
constexpr uint32_t black = RASTER_TEST_EMPTY;

TEST(FloatRaster, TrianglesWhollyOutsideEachBorderTouchNothing) {
    UvTexture t(16);
    // Left, right (with a vertical left edge: two corners share the smallest x),
    // above, below, and right with the corner exactly on x = width.
    const float outside[][9] = {
        {-10, 5, 1, -10, 40, 1, -30, 20, 1}, {70, 5, 1, 90, 20, 1, 70, 40, 1},  {10, -40, 1, 50, -5, 1, 20, -10, 1},
        {10, 50, 1, 50, 60, 1, 20, 70, 1},   {64, 0, 1, 64, 47, 1, 100, 20, 1},
    };
    const float uv[6] = {0, 0, 15, 0, 0, 15};
    for (const RasterDriver* d : float_drivers) {
        for (const auto& xyz : outside) {
            TestPixmap g(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
            tpoly flat = make_triangle(TPOLY_FLAT, xyz);
            tpoly tex = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
            draw_slot(*d, RASTER_SLOT_FLAT, &flat, g.get());
            draw_slot(*d, RASTER_SLOT_TEXTURED, &tex, g.get());
            EXPECT_EQ(g.count_not(black), 0) << d->name << " at " << xyz[0] << "," << xyz[1];
            for (int32_t y = 0; y < 48; ++y)
                for (int32_t x = 0; x < 64; ++x) ASSERT_EQ(g.z(x, y), PIXMAP_Z_FAR);
            EXPECT_TRUE(g.guard_intact());
        }
    }
}

TEST(FloatRaster, ClippingAtTopAndBottomMatchesTheUnclippedRows) {
    // Corners on integers with slopes of 0 and +-1/2: clipped and unclipped walks
    // give bit-identical edges, so the 64 x 48 picture must equal rows 32..79 of
    // the same triangle drawn 32 rows lower into a 64 x 128 target.
    UvTexture t(128);
    const float clipped[9] = {16, -32, 5, 48, 32, 5, 16, 96, 5};
    const float whole[9] = {16, 0, 5, 48, 64, 5, 16, 128, 5};
    const float uv[6] = {0, 0, 64, 64, 0, 127};
    for (const RasterDriver* d : float_drivers) {
        for (int slot : {RASTER_SLOT_FLAT, RASTER_SLOT_TEXTURED}) {
            TestPixmap small(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD), big(64, 128, PIXMAP_ZBUFFER, RASTER_GUARD);
            tpoly a = make_triangle(slot == RASTER_SLOT_FLAT ? TPOLY_FLAT : TPOLY_TEXTURED, clipped, uv, t.get());
            tpoly b = make_triangle(a.flags, whole, uv, t.get());
            draw_slot(*d, slot, &a, small.get());
            draw_slot(*d, slot, &b, big.get());
            EXPECT_TRUE(small.guard_intact());
            int drawn_top = 0, drawn_bottom = 0;
            for (int32_t x = 0; x < 64; ++x) {
                drawn_top += small.at(x, 0) != black;
                drawn_bottom += small.at(x, 47) != black;
                for (int32_t y = 0; y < 48; ++y)
                    ASSERT_EQ(small.at(x, y), big.at(x, y + 32)) << d->name << " slot " << slot << " at " << x
                                                                      << "," << y;
            }
            EXPECT_GT(drawn_top, 0);
            EXPECT_GT(drawn_bottom, 0);
        }
    }
    // A corner three billion rows up: the walk jumps to row 0 without a stray
    // prestep, so row 10 runs from the vertical edge at x = 10 to x = 40.
    const float far[9] = {10, -3e9f, 1, 40, 20, 1, 10, 40, 1};
    for (const RasterDriver* d : float_drivers) {
        TestPixmap g(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
        tpoly a = make_triangle(TPOLY_FLAT, far);
        draw_slot(*d, RASTER_SLOT_FLAT, &a, g.get());
        for (int32_t x = 0; x < 64; ++x) EXPECT_EQ(g.at(x, 10) != black, x >= 10 && x < 40) << d->name << " " << x;
    }
}

TEST(FloatRaster, RightMostColumnIsFilledButNeverPaintedFromBeyondTheBorder) {
    UvTexture t(16);
    const float uv[6] = {0, 0, 15, 0, 0, 15};
    for (const RasterDriver* d : float_drivers) {
        for (int slot : {RASTER_SLOT_FLAT, RASTER_SLOT_TEXTURED}) {
            const uint32_t mode = slot == RASTER_SLOT_FLAT ? TPOLY_FLAT : TPOLY_TEXTURED;
            TestPixmap g(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
            const float cover[9] = {0, 0, 1, 200, 0, 1, 0, 200, 1};
            tpoly all = make_triangle(mode, cover, uv, t.get());
            draw_slot(*d, slot, &all, g.get());
            EXPECT_EQ(g.count_not(black), 64 * 48) << d->name << " slot " << slot;
            EXPECT_TRUE(g.guard_intact());

            // Rows 0..2 of this triangle lie wholly right of column 63 (its left
            // edge runs from x = 66 down to 40): they must stay empty, while the
            // lower rows reach column 63.
            TestPixmap h(64, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
            const float crossing[9] = {66, 0, 1, 80, 47, 1, 40, 47, 1};
            tpoly c = make_triangle(mode, crossing, uv, t.get());
            draw_slot(*d, slot, &c, h.get());
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 64; ++x) EXPECT_EQ(h.at(x, y), black) << d->name << " row " << y;
            EXPECT_NE(h.at(63, 40), black);
            EXPECT_TRUE(h.guard_intact());
        }
    }
}

TEST(FloatRaster, DepthRulesOfTheTwoDrivers) {
    UvTexture t(16);
    const float xyz[9] = {0, 0, 100, 40, 0, 100, 0, 40, 100};
    const float uv[6] = {0, 0, 15, 0, 0, 15};

    // Flat triangles of the z-buffered driver ignore the z-buffer entirely.
    TestPixmap g(48, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
    for (int32_t i = 0; i < 48 * 48; ++i) g.z(i % 48, i / 48) = -1000;
    tpoly flat = make_triangle(TPOLY_FLAT, xyz);
    draw_slot(raster_driver_float_zbuffer, RASTER_SLOT_FLAT, &flat, g.get());
    EXPECT_EQ(g.at(5, 5), flat.colour);
    EXPECT_EQ(g.z(5, 5), -1000);

    // Textured: drawn only where the entry is strictly greater, which then
    // receives the depth; a tie keeps the old pixel.
    TestPixmap h(48, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 48; ++x) h.z(x, y) = x < 10 ? 100 : 101;
    tpoly tex = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
    draw_slot(raster_driver_float_zbuffer, RASTER_SLOT_TEXTURED, &tex, h.get());
    EXPECT_EQ(h.at(5, 5), black);
    EXPECT_EQ(h.z(5, 5), 100);
    EXPECT_NE(h.at(15, 5), black);
    EXPECT_EQ(h.z(15, 5), 100);
    EXPECT_EQ(h.z(45, 45), 101);  // outside the triangle

    // The exact driver draws over anything and leaves depths alone.
    TestPixmap e(48, 48, PIXMAP_ZBUFFER, RASTER_GUARD);
    for (int32_t i = 0; i < 48 * 48; ++i) e.z(i % 48, i / 48) = -1000;
    draw_slot(raster_driver_float_exact, RASTER_SLOT_TEXTURED, &tex, e.get());
    EXPECT_NE(e.at(5, 5), black);
    EXPECT_EQ(e.z(5, 5), -1000);

    // A target without a z plane is drawn by the z-buffered driver without the test.
    TestPixmap n(48, 48, 0, RASTER_GUARD);
    draw_slot(raster_driver_float_zbuffer, RASTER_SLOT_TEXTURED, &tex, n.get());
    EXPECT_NE(n.at(5, 5), black);
}

TEST(FloatRaster, LinesStopBeforeTheirEndPoint) {
    typedef void (*Line)(Pixmap*, int32_t, int32_t, int32_t, int32_t, uint32_t);
    const Line line = reinterpret_cast<Line>(reinterpret_cast<void (*)()>(raster_driver_float_exact.slot[0]));
    ASSERT_EQ(reinterpret_cast<void (*)()>(raster_driver_float_zbuffer.slot[0]),
              reinterpret_cast<void (*)()>(raster_driver_float_exact.slot[0]));
    TestPixmap g(32, 32, 0, RASTER_GUARD);
    line(g.get(), 3, 3, 3, 3, 0xFFFFFFFFu);
    EXPECT_EQ(g.count_not(black), 0);
    line(g.get(), 0, 0, 4, 0, 0xFFFFFFFFu);
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(g.at(x, 0), 0xFFFFFFFFu);
    EXPECT_EQ(g.at(4, 0), black);
    EXPECT_EQ(g.count_not(black), 4);

    // Lines from far outside draw exactly their in-target pixels and nothing else.
    TestPixmap h(32, 32, 0, RASTER_GUARD);
    line(h.get(), -1000, 10, 20, 10, 1u);
    line(h.get(), -100, -100, 20, 20, 2u);
    line(h.get(), 5, 5, 5, 100000, 3u);
    line(h.get(), 40, 40, 100, 100, 4u);
    for (int32_t x = 0; x < 32; ++x)
        EXPECT_EQ(h.at(x, 10), x == 5 ? 3u : x == 10 ? 2u : x < 20 ? 1u : black) << x;
    for (int32_t i = 0; i < 20; ++i) {
        if (i != 5) {
            EXPECT_EQ(h.at(i, i), 2u) << i;
        }
    }
    for (int32_t y = 5; y < 32; ++y) EXPECT_EQ(h.at(5, y), 3u) << y;
    EXPECT_EQ(h.count_not(black), 20 + 20 + 27 - 3);
    EXPECT_TRUE(h.guard_intact());

    // The wire draws only the flagged edges.
    TestPixmap w(32, 32, 0, RASTER_GUARD);
    const float xyz[9] = {2, 2, 0, 20, 2, 0, 2, 20, 0};
    tpoly t = make_triangle(TPOLY_WIRE | TPOLY_EDGE01, xyz);
    draw_slot(raster_driver_float_exact, RASTER_SLOT_WIRE, &t, w.get());
    EXPECT_EQ(w.count_not(black), 18);
    EXPECT_EQ(w.at(2, 2), t.colour);
    EXPECT_EQ(w.at(19, 2), t.colour);
}

TEST(FloatRaster, TexturesAreAddressedByNormalisedCoordinatesAndClamped) {
    // u = x / 2, v = y / 2 texels on a 16 x 16 texture: the flat-top triangle's
    // row r covers 0 <= x < 32 - r with texel (x / 2, r / 2).
    UvTexture t(16);
    const float xyz[9] = {0, 0, 1, 32, 0, 1, 0, 32, 1};
    const float uv[6] = {0, 0, 16, 0, 0, 16};
    for (const RasterDriver* d : float_drivers) {
        TestPixmap g(40, 40, PIXMAP_ZBUFFER, RASTER_GUARD);
        tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
        draw_slot(*d, RASTER_SLOT_TEXTURED, &tri, g.get());
        int drawn = 0;
        for (int32_t y = 0; y < 40; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const uint32_t p = g.at(x, y);
                if (x < 32 - y) {
                    ASSERT_NE(p, black) << x << "," << y;
                    ASSERT_EQ(texel_u(p), x / 2) << x << "," << y;
                    ASSERT_EQ(texel_v(p), y / 2) << x << "," << y;
                    ++drawn;
                } else {
                    ASSERT_EQ(p, black) << x << "," << y;
                }
            }
        EXPECT_EQ(drawn, 32 * 33 / 2);  // rows 0..31 hold 32, 31, ..., 1 pixels

        // Coordinates far beyond the texture: addresses past its end read its last
        // texel, addresses before its start its first; nothing outside is read.
        TestPixmap h(40, 40, PIXMAP_ZBUFFER, RASTER_GUARD);
        const float wild[6] = {-50, -50, 400, -50, -50, 400};
        tpoly w = make_triangle(TPOLY_TEXTURED, xyz, wild, t.get());
        draw_slot(*d, RASTER_SLOT_TEXTURED, &w, h.get());
        EXPECT_EQ(h.at(0, 0), t.get()->pixels[0]);
        EXPECT_EQ(h.at(30, 1), t.get()->pixels[0]);
        EXPECT_EQ(h.at(1, 30), t.get()->pixels[255]);
        EXPECT_TRUE(h.guard_intact());
    }
}

}  // namespace
