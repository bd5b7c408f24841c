// The safe edge-table rasterizer: winding, integer line end points and their
// miss counts, one-pixel spans, light levels with the alpha byte kept, and the
// clipping of rows beyond the tables and spans beyond the target.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "tests/raster/raster_fixture.h"

namespace {

const RasterDriver& safe = raster_driver_safe;
constexpr uint32_t empty = RASTER_TEST_EMPTY;

typedef void (*SafeLine)(Pixmap*, const float*, const float*, uint32_t);

std::set<std::pair<int, int>> drawn_pixels(const TestPixmap& g) {
    std::set<std::pair<int, int>> out;
    for (int32_t y = 0; y < g->height; ++y)
        for (int32_t x = 0; x < g->width; ++x)
            if (g.at(x, y) != empty) out.insert({x, y});
    return out;
}

TEST(SafeRaster, BackFacingTrianglesDrawNothingFrontFacingOnesDo) {
    ASSERT_EQ(raster_select(0x01), 1);
    ASSERT_EQ(current_raster_driver, &safe);
    UvTexture t(64);
    const float front[9] = {10, 2, 1, 20, 12, 1, 0, 12, 1};
    const float back[9] = {10, 2, 1, 0, 12, 1, 20, 12, 1};
    const float uv[6] = {5, 7, 30, 20, 0, 20};
    for (uint32_t mode : {uint32_t{TPOLY_FLAT}, uint32_t{TPOLY_TEXTURED}, uint32_t{TPOLY_TEXTURED | TPOLY_GOURAUD}}) {
        TestPixmap g(32, 16, 0, RASTER_GUARD);
        tpoly b = make_triangle(mode | TPOLY_TWO_SIDED, back, uv, t.get());
        b.vertex_intensity[0] = b.vertex_intensity[1] = b.vertex_intensity[2] = 255;
        raster_draw_triangle(&b, g.get());
        EXPECT_EQ(g.count_not(empty), 0) << mode;
        tpoly f = make_triangle(mode, front, uv, t.get());
        f.vertex_intensity[0] = f.vertex_intensity[1] = f.vertex_intensity[2] = 255;
        raster_draw_triangle(&f, g.get());
        EXPECT_GT(g.count_not(empty), 100) << mode;
        EXPECT_TRUE(g.guard_intact());
    }
}

TEST(SafeRaster, LinesDrawBothEndPointsAndCountWhatLeavesTheTarget) {
    const SafeLine line = reinterpret_cast<SafeLine>(reinterpret_cast<void (*)()>(safe.slot[0]));
    TestPixmap g(32, 16, 0, RASTER_GUARD);
    const float a[2] = {2.9f, 2.5f}, b[2] = {6.2f, 4.9f};  // (2, 2) to (6, 4) after truncation
    line(g.get(), a, b, 1u);
    EXPECT_EQ(drawn_pixels(g), (std::set<std::pair<int, int>>{{2, 2}, {3, 2}, {4, 3}, {5, 3}, {6, 4}}));

    TestPixmap s(32, 16, 0, RASTER_GUARD);
    const float c[2] = {5, 10}, d[2] = {3, 2};  // steep and reversed: walked from (3, 2)
    line(s.get(), c, d, 1u);
    EXPECT_EQ(drawn_pixels(s), (std::set<std::pair<int, int>>{
                                   {3, 2}, {3, 3}, {3, 4}, {3, 5}, {4, 6}, {4, 7}, {4, 8}, {4, 9}, {5, 10}}));

    // The 8.8 step is truncated (256 / 3 = 85), so the last plot lands at 255 / 256
    // of the way to row 1: the far end point is (3, 0), not (3, 1). The same in
    // reverse, which walks from the same end.
    for (const bool reversed : {false, true}) {
        TestPixmap t(32, 16, 0, RASTER_GUARD);
        const float p0[2] = {0, 0}, p1[2] = {3, 1};
        line(t.get(), reversed ? p1 : p0, reversed ? p0 : p1, 1u);
        EXPECT_EQ(drawn_pixels(t), (std::set<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {3, 0}})) << reversed;
    }

    TestPixmap n(32, 16, 0, RASTER_GUARD);
    const float e[2] = {3.2f, 3.7f}, f[2] = {3.9f, 3.1f};
    line(n.get(), e, f, 1u);
    EXPECT_EQ(n.count_not(empty), 0);

    // 51 plots, 32 inside: the other 19 are counted as misses, none written.
    TestPixmap o(32, 16, 0, RASTER_GUARD);
    const float h0[2] = {-10, 5}, h1[2] = {40, 5};
    const int before = set_p_misses;
    line(o.get(), h0, h1, 1u);
    EXPECT_EQ(set_p_misses - before, 19);
    EXPECT_EQ(o.count_not(empty), 32);
    // A line from very far away costs no more than its pixels and writes nothing
    // outside; its four billion misses saturate the counter (restored afterwards
    // for the other tests of this program).
    const float far0[2] = {-2.0e9f, 7}, far1[2] = {2.0e9f, 9};
    line(o.get(), far0, far1, 2u);
    EXPECT_EQ(set_p_misses, INT32_MAX);
    set_p_misses = before;
    for (int32_t x = 0; x < 32; ++x) EXPECT_EQ(o.at(x, 7), 2u);
    EXPECT_TRUE(o.guard_intact());
}

TEST(SafeRaster, OnePixelSpansAndLightLevels) {
    UvTexture t(64);
    // Apex row 2 is a span of one pixel (start x = end x = 10): it gets the
    // apex's texel (5, 7) and its neighbours stay empty.
    const float xyz[9] = {10, 2, 1, 20, 12, 1, 0, 12, 1};
    const float uv[6] = {5, 7, 30, 20, 0, 20};
    TestPixmap g(32, 16, 0, RASTER_GUARD);
    tpoly tri = make_triangle(TPOLY_TEXTURED, xyz, uv, t.get());
    draw_slot(safe, RASTER_SLOT_TEXTURED, &tri, g.get());
    EXPECT_EQ(texel_u(g.at(10, 2)), 5);
    EXPECT_EQ(texel_v(g.at(10, 2)), 7);
    EXPECT_EQ(g.at(9, 2), empty);
    EXPECT_EQ(g.at(11, 2), empty);

    // Lit texels: level 255 keeps the colour bytes, 0 clears them, 128 scales
    // them by 128 / 255 truncated; the target's alpha byte survives every time.
    TestPixmap tex(64, 64);
    tex.clear(0xFF3C64C8u);  // red 200, green 100, blue 60
    const uint32_t old_pixel = 0x5A010203u;
    struct Case {
        int level;
        uint32_t expected;
    } cases[] = {{255, 0x5A3C64C8u}, {0, 0x5A000000u}, {128, 0x5A1E3264u}};
    for (const Case& c : cases) {
        for (int slot : {RASTER_SLOT_TEXTURED_LIT, RASTER_SLOT_TEXTURED_GOURAUD}) {
            TestPixmap l(32, 16, 0, RASTER_GUARD);
            l.clear(old_pixel);
            tpoly lit = make_triangle(TPOLY_TEXTURED | TPOLY_FLAT_LIGHT, xyz, uv, tex.get());
            lit.flat_intensity = c.level;
            for (int k = 0; k < 3; ++k) lit.vertex_intensity[k] = c.level;
            draw_slot(safe, slot, &lit, l.get());
            EXPECT_EQ(l.at(10, 2), c.expected) << c.level;
            EXPECT_EQ(l.at(10, 11), c.expected) << c.level;
            EXPECT_EQ(l.at(1, 2), old_pixel);
        }
    }
    // Gouraud: the level runs from 0 at the apex to 255 along the bottom row.
    TestPixmap gl(32, 16, 0, RASTER_GUARD);
    tpoly gouraud = make_triangle(TPOLY_TEXTURED | TPOLY_GOURAUD, xyz, uv, tex.get());
    gouraud.vertex_intensity[0] = 0;
    gouraud.vertex_intensity[1] = gouraud.vertex_intensity[2] = 255;
    draw_slot(safe, RASTER_SLOT_TEXTURED_GOURAUD, &gouraud, gl.get());
    EXPECT_EQ(gl.at(10, 2), 0x00000000u);
    EXPECT_EQ(gl.at(10, 12), 0x003C64C8u);
    const uint32_t mid = gl.at(10, 7);
    EXPECT_GT(mid & 0xFF, 0x40u);
    EXPECT_LT(mid & 0xFF, 0xC8u);
}

TEST(SafeRaster, RowsBeyondTheTablesAndSpansBeyondTheTargetAreClipped) {
    UvTexture t(64);
    const float uv[6] = {0, 0, 63, 0, 30, 63};
    // A target taller than the tables: rows from 1024 on are never drawn.
    TestPixmap tall(40, 1100, 0, RASTER_GUARD);
    const float low[9] = {2, 1000, 1, 38, 1000, 1, 20, 1090, 1};
    for (uint32_t mode : {uint32_t{TPOLY_FLAT}, uint32_t{TPOLY_TEXTURED}}) {
        tpoly tri = make_triangle(mode, low, uv, t.get());
        draw_slot(safe, mode == TPOLY_FLAT ? RASTER_SLOT_FLAT : RASTER_SLOT_TEXTURED, &tri, tall.get());
    }
    int below = 0, above = 0;
    for (int32_t y = 0; y < 1100; ++y)
        for (int32_t x = 0; x < 40; ++x) (y >= 1024 ? below : above) += tall.at(x, y) != empty;
    EXPECT_EQ(below, 0);
    EXPECT_GT(above, 0);
    EXPECT_TRUE(tall.guard_intact());

    // A triangle over every border: the textured fill covers exactly the pixels
    // the checked flat fill reaches, nothing outside is written, and corners in
    // one row (which scan no edge) draw nothing rather than stale table rows.
    const float over[9] = {-50, -40, 1, 100, 10, 1, 10, 90, 1};
    TestPixmap flat(40, 30, 0, RASTER_GUARD), tex(40, 30, 0, RASTER_GUARD);
    tpoly a = make_triangle(TPOLY_FLAT, over);
    tpoly b = make_triangle(TPOLY_TEXTURED, over, uv, t.get());
    const int before = set_p_misses;
    draw_slot(safe, RASTER_SLOT_FLAT, &a, flat.get());
    EXPECT_GT(set_p_misses, before);
    draw_slot(safe, RASTER_SLOT_TEXTURED, &b, tex.get());
    EXPECT_EQ(drawn_pixels(flat), drawn_pixels(tex));
    EXPECT_GT(flat.count_not(empty), 0);
    EXPECT_TRUE(flat.guard_intact());
    EXPECT_TRUE(tex.guard_intact());

    TestPixmap line(40, 30, 0, RASTER_GUARD);
    const float one_row[9] = {0, 5.2f, 1, 30, 5.9f, 1, 15, 5.5f, 1};
    tpoly r = make_triangle(TPOLY_FLAT, one_row);
    tpoly rt = make_triangle(TPOLY_TEXTURED, one_row, uv, t.get());
    draw_slot(safe, RASTER_SLOT_FLAT, &r, line.get());
    draw_slot(safe, RASTER_SLOT_TEXTURED, &rt, line.get());
    EXPECT_EQ(line.count_not(empty), 0);
}

}  // namespace
