// The fixed-point z-buffered rasterizer: exact pixels of small triangles, the
// strict depth test, texture wrap, the additive line, memory safety for any
// finite triangle, and a picture of the tube scene through the whole pipeline.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/tube_scene.h"
#include "engine/geometry/frustum.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/fixed.h"
#include "engine/raster/fixed_zbuffer.h"
#include "engine/raster/raster.h"
#include "tests/raster/raster_fixture.h"

namespace {

constexpr uint32_t BLACK = 0xFF000000u;

// Targets with a z plane, cleared to opaque black, rows back to back (the
// driver addresses rows by width), 4096 guard words before and after each plane.
constexpr uint32_t TARGET = PIXMAP_ZBUFFER | PIXMAP_CLEAR;
constexpr PixmapGuard WIDE_GUARD{4096, 0, 0};

tpoly triangle_of(uint32_t flags, vector a, vector b, vector c) {
    tpoly t{};
    t.flags = flags;
    t.colour = 0xFF00FF00u;
    t.vertex[0] = a;
    t.vertex[1] = b;
    t.vertex[2] = c;
    t.stride = 5;
    t.uv_count = 6;
    return t;
}

// Texture coordinates u = 16 x + 4.5, v = 16 y + 4.5 at the three vertices.
void set_plane_uv(tpoly* t) {
    for (int i = 0; i < 3; i++) {
        t->uv[2 * i] = 16.0f * t->vertex[i].x + 4.5f;
        t->uv[2 * i + 1] = 16.0f * t->vertex[i].y + 4.5f;
    }
}

}  // namespace

// ---- exact pixels ------------------------------------------------------------

TEST(FixedZbufferFlat, FlatTopTriangleCoversTheHandCountedPixels) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    tpoly tri = triangle_of(TPOLY_FLAT, {1, 1, 10}, {7, 1, 10}, {1, 7, 10});
    fixed_zbuffer_draw_flat(&tri, t.get());
    // Flat top, edges from their vertices without prestep: row r covers x = 1 .. 6 - (r - 1).
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            bool inside = y >= 1 && y <= 6 && x >= 1 && x <= 7 - y;
            EXPECT_EQ(t.at(x, y), inside ? tri.colour : BLACK) << x << "," << y;
            EXPECT_EQ(t.z(x, y), inside ? 10 : PIXMAP_Z_FAR) << x << "," << y;
        }
    EXPECT_EQ(t.count_not(BLACK), 21);
}

TEST(FixedZbufferFlat, GeneralTriangleRowsStartAtTruncatedY) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    tpoly tri = triangle_of(TPOLY_FLAT, {1.25f, 0.5f, 3}, {6.75f, 3.25f, 3}, {2.25f, 6.75f, 3});
    fixed_zbuffer_draw_flat(&tri, t.get());
    // Hand-walked: the edges are prestepped to y = 1, 2, ... but drawn from row
    // trunc(0.5) = 0; spans run from trunc(xl) up to ceil(xr), exclusive.
    const int first[6] = {1, 1, 1, 1, 1, 2}, last[6] = {2, 4, 6, 5, 4, 3};
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            bool inside = y < 6 && x >= first[y] && x <= last[y];
            EXPECT_EQ(t.at(x, y), inside ? tri.colour : BLACK) << x << "," << y;
        }
    EXPECT_EQ(t.count_not(BLACK), 23);
}

TEST(FixedZbufferFlat, LitFlatFillIsTheGreyOfTheLevelAndDegenerateDrawsNothing) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    tpoly tri = triangle_of(TPOLY_FLAT | TPOLY_FLAT_LIGHT, {1, 1, 10}, {7, 1, 10}, {1, 7, 10});
    tri.flat_intensity = 0x1A5;  // only the low byte counts
    fixed_zbuffer_draw_flat(&tri, t.get());
    EXPECT_EQ(t.at(1, 1) & 0x00FFFFFFu, 0xA5A5A5u);

    t.clear(BLACK);
    tpoly flat = triangle_of(TPOLY_FLAT, {1, 3, 1}, {5, 3, 1}, {7, 3, 1});
    fixed_zbuffer_draw_flat(&flat, t.get());
    EXPECT_EQ(t.count_not(BLACK), 0);
}

TEST(FixedZbufferTextured, SpansStartAtTruncatedXWithTheValuesOfCeilX) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    UvTexture tex(256);
    tpoly tri = triangle_of(TPOLY_TEXTURED, {1.25f, 0.5f, 3}, {6.75f, 3.25f, 3}, {2.25f, 6.75f, 3});
    tri.texturemap = tex.get();
    set_plane_uv(&tri);
    fixed_zbuffer_draw_textured(&tri, t.get());
    // Textured spans end at trunc(xr); pixel (x, r) shows the texture at
    // (x + 1, r + 1): the first pixel takes column ceil(xl), the rows the
    // prestepped edge values.
    const int first[6] = {1, 1, 1, 1, 1, 2}, last[6] = {1, 3, 5, 4, 3, 2};
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            bool inside = y < 6 && x >= first[y] && x <= last[y];
            uint32_t want = inside ? 0xFF000000u | (uint32_t)(16 * (y + 1) + 4) << 8 |
                                         (uint32_t)(16 * (x + 1) + 4)
                                   : BLACK;
            EXPECT_EQ(t.at(x, y), want) << x << "," << y;
        }
}

TEST(FixedZbufferTextured, DepthTiesKeepTheFirstAndNearerWins) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    UvTexture tex(256);
    tpoly tri = triangle_of(TPOLY_TEXTURED, {1, 1, 20}, {7, 1, 20}, {1, 7, 20});
    tri.texturemap = tex.get();
    for (float& f : tri.uv) f = 5.0f;  // every pixel: texel (5, 5)
    fixed_zbuffer_draw_textured(&tri, t.get());
    const int covered = t.count_not(BLACK);
    ASSERT_GT(covered, 0);
    EXPECT_EQ(t.at(1, 1), 0xFF000505u);
    EXPECT_EQ(t.z(1, 1), 20);

    for (float& f : tri.uv) f = 9.0f;
    fixed_zbuffer_draw_textured(&tri, t.get());  // same depth: strict test fails
    EXPECT_EQ(t.count_not(0xFF000505u), 64 - covered);

    tpoly flat = triangle_of(TPOLY_FLAT, {1, 1, 20}, {7, 1, 20}, {1, 7, 20});
    fixed_zbuffer_draw_flat(&flat, t.get());  // a flat fill at the same depth neither
    EXPECT_EQ(t.count_not(0xFF000505u), 64 - covered);

    for (auto& v : tri.vertex) v.z = 19.0f;
    fixed_zbuffer_draw_textured(&tri, t.get());
    EXPECT_EQ(t.count_not(0xFF000909u), 64 - covered);
    EXPECT_EQ(t.z(1, 1), 19);

    for (auto& v : flat.vertex) v.z = 25.0f;  // farther: hidden
    fixed_zbuffer_draw_flat(&flat, t.get());
    EXPECT_EQ(t.count_not(0xFF000909u), 64 - covered);
}

TEST(FixedZbufferTextured, SpanWrapsUAndVAt256) {
    UvTexture tex(256);
    uint32_t px[6];
    int32_t zb[6];
    std::fill(zb, zb + 6, PIXMAP_Z_FAR);
    // u from 254.5 in steps of 0.75: 254, 255, 256 -> 0, 256.75 -> 0, 257.5 -> 1, ...
    fixed_zbuffer_texture_span_z(px, tex->pixels, zb, 6, 7 << 16, (int32_t)(254.5 * 65536),
                                 3 << 16, (int32_t)(0.75 * 65536), 0, 0);
    const uint32_t cols[6] = {254, 255, 0, 0, 1, 2};
    for (int i = 0; i < 6; i++) EXPECT_EQ(px[i], 0xFF000300u | cols[i]) << i;

    std::fill(zb, zb + 6, PIXMAP_Z_FAR);
    // Negative coordinates wrap the same way: u = -1 is column 255, -256.5 too;
    // v = -0.25 is row 255.
    fixed_zbuffer_texture_span_z(px, tex->pixels, zb, 2, 0, -65536, (int32_t)(-0.25 * 65536),
                                 (int32_t)(-255.5 * 65536), 0, 0);
    EXPECT_EQ(px[0], 0xFF00FF00u | 255);
    EXPECT_EQ(px[1], 0xFF00FF00u | 255);

    // u = 256.0 and 0.0 address the same column through a whole triangle.
    TestPixmap a(8, 8, TARGET, WIDE_GUARD), b(8, 8, TARGET, WIDE_GUARD);
    tpoly tri = triangle_of(TPOLY_TEXTURED, {1, 1, 3}, {7, 1, 3}, {1, 7, 3});
    tri.texturemap = tex.get();
    for (int i = 0; i < 3; i++) tri.uv[2 * i + 1] = 40.0f;
    for (int i = 0; i < 3; i++) tri.uv[2 * i] = 0.0f;
    fixed_zbuffer_draw_textured(&tri, a.get());
    for (int i = 0; i < 3; i++) tri.uv[2 * i] = 256.0f;
    fixed_zbuffer_draw_textured(&tri, b.get());
    EXPECT_EQ(a.plane(), b.plane());
    EXPECT_EQ(a.at(1, 1), 0xFF002800u);
}

TEST(FixedZbufferTextured, SpanWithNoWidthAndBadTexturesDrawNothing) {
    UvTexture tex(256);
    uint32_t px = BLACK;
    int32_t zb = PIXMAP_Z_FAR;
    fixed_zbuffer_texture_span_z(&px, tex->pixels, &zb, 0, 0, 0, 0, 0, 0, 0);
    fixed_zbuffer_texture_span_z(&px, tex->pixels, &zb, -3, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(px, BLACK);
    EXPECT_EQ(zb, PIXMAP_Z_FAR);

    // A texture smaller than the 256 x 256 texels the spans address, or a uv
    // index past the coordinates, is refused instead of read out of bounds.
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    TestPixmap small(64, 64);
    small.clear(0xFFFFFFFFu);
    tpoly tri = triangle_of(TPOLY_TEXTURED, {1, 1, 3}, {7, 1, 3}, {1, 7, 3});
    tri.texturemap = small.get();
    fixed_zbuffer_draw_textured(&tri, t.get());
    tri.texturemap = tex.get();
    tri.uv_index[0] = 31;
    fixed_zbuffer_draw_textured(&tri, t.get());
    tri.texturemap = nullptr;
    tri.uv_index[0] = 0;
    fixed_zbuffer_draw_textured(&tri, t.get());
    EXPECT_EQ(t.count_not(BLACK), 0);
}

// ---- lines ---------------------------------------------------------------------

TEST(FixedZbufferLine, IntegerLineLightsItsPixelsFullyAndSetsTheirDepth) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    fixed_zbuffer_draw_line(t.get(), 1, 2, 5, 4, 2, 5, 0x00402010u);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            bool on = y == 2 && x >= 1 && x <= 3;
            EXPECT_EQ(t.at(x, y), on ? 0xFF402010u : BLACK) << x << "," << y;
            EXPECT_EQ(t.z(x, y), on ? 5 : PIXMAP_Z_FAR) << x << "," << y;
        }
    // Drawn again at the same depth it fails the strict test: nothing adds.
    fixed_zbuffer_draw_line(t.get(), 1, 2, 5, 4, 2, 5, 0x00402010u);
    EXPECT_EQ(t.at(2, 2), 0xFF402010u);
    // A line of length 0 draws nothing.
    fixed_zbuffer_draw_line(t.get(), 6, 6, 1, 6, 6, 1, 0x00402010u);
    EXPECT_EQ(t.at(6, 6), BLACK);
}

TEST(FixedZbufferLine, FractionalLineSplitsItsWeightBetweenRows) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    t.clear(0);
    fixed_zbuffer_draw_line(t.get(), 1, 2.25f, 5, 4, 2.25f, 5, 0x80808080u);
    // wt = 0.75 -> k = 192, wb = 0.25 -> k = 64; 0x80 * k >> 8.
    EXPECT_EQ(t.at(2, 2), 0x60606060u);
    EXPECT_EQ(t.at(2, 3), 0x20202020u);
    EXPECT_EQ(t.at(0, 2), 0u);
    EXPECT_EQ(t.at(4, 2), 0u);
    // Only the centre pixel's depth is tested and written.
    EXPECT_EQ(t.z(2, 2), 5);
    EXPECT_EQ(t.z(2, 3), PIXMAP_Z_FAR);
}

TEST(FixedZbufferLine, AddPlotSaturatesEveryByteIncludingAlpha) {
    TestPixmap t(4, 4, TARGET, WIDE_GUARD);
    t.at(1, 1) = 0xF0C01020u;
    fixed_zbuffer_add_plot(t.get(), 1.5f, 1.2f, 1.0f, 1.0f, 0x30504020u);
    EXPECT_EQ(t.at(1, 1), 0xFFFF5040u);
    fixed_zbuffer_add_plot(t.get(), 1.0f, 1.0f, 0.5f, 0.5f, 0x40404040u);  // k = 64
    EXPECT_EQ(t.at(1, 1), 0xFFFF6050u);
    fixed_zbuffer_add_plot(t.get(), -3.0f, 9.0f, 1.0f, 1.0f, 0xFFFFFFFFu);  // outside: skipped
    EXPECT_TRUE(t.guard_intact());
}

TEST(FixedZbufferLine, WireDrawsTheFlaggedEdgesInOrder) {
    TestPixmap t(8, 8, TARGET, WIDE_GUARD);
    tpoly tri = triangle_of(TPOLY_WIRE | TPOLY_EDGE12, {1, 1, 2}, {6, 1, 2}, {6, 6, 2});
    tri.colour = 0x00102030u;
    fixed_zbuffer_draw_wire(&tri, t.get());
    // Only the vertical edge 1 -> 2: column 6, rows 1 .. 5.
    EXPECT_EQ(t.count_not(BLACK), 5);
    for (int y = 1; y <= 5; y++) EXPECT_EQ(t.at(6, y), 0xFF102030u);
    tri.flags = TPOLY_WIRE;
    t.clear(BLACK);
    fixed_zbuffer_draw_wire(&tri, t.get());
    EXPECT_EQ(t.count_not(BLACK), 0);
}

// ---- safety --------------------------------------------------------------------

// Random finite triangles and lines of every scale, most of them far outside
// a small target: nothing outside the target or the texture is touched.
TEST(FixedZbufferSafety, AnyFiniteTriangleStaysInsideTargetAndTexture) {
    TestPixmap t(37, 23, TARGET, WIDE_GUARD);
    UvTexture tex(256);
    std::mt19937 rng(1234);
    const float scales[] = {10.0f, 60.0f, 1000.0f, 1.0e6f, 1.0e12f, 3.0e38f};
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, 5);
    for (int n = 0; n < 20000; n++) {
        float s = scales[pick(rng)];
        tpoly tri = triangle_of(TPOLY_TEXTURED, {}, {}, {});
        tri.texturemap = tex.get();
        for (auto& v : tri.vertex) {
            v.x = 18.0f + s * unit(rng);
            v.y = 11.0f + s * unit(rng);
            v.z = scales[pick(rng)] * unit(rng);
        }
        for (int i = 0; i < 6; i++) tri.uv[i] = scales[pick(rng)] * unit(rng);
        fixed_zbuffer_draw_textured(&tri, t.get());
        fixed_zbuffer_draw_flat(&tri, t.get());
        tri.flags = TPOLY_WIRE | TPOLY_EDGE01 | TPOLY_EDGE12 | TPOLY_EDGE20;
        fixed_zbuffer_draw_wire(&tri, t.get());
        if (n % 1000 == 0) t.clear(BLACK);
    }
    EXPECT_TRUE(t.guard_intact());
    EXPECT_GT(t.count_not(BLACK), 0);
}

// Clipping only removes pixels: a triangle crossing the right and bottom edges
// of a small target draws there exactly what it draws in a larger one.
TEST(FixedZbufferSafety, ClippingKeepsThePixelsInsideTheTarget) {
    TestPixmap small(40, 30, TARGET, WIDE_GUARD), big(80, 60, TARGET, WIDE_GUARD);
    UvTexture tex(256);
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> px(0.0f, 79.9f), py(0.0f, 59.9f), z(1.0f, 500.0f);
    for (int n = 0; n < 500; n++) {
        tpoly tri = triangle_of(n % 2 ? TPOLY_TEXTURED : TPOLY_FLAT, {}, {}, {});
        tri.texturemap = tex.get();
        tri.colour = 0xFF000000u | (uint32_t)n * 2654435761u >> 8;
        for (auto& v : tri.vertex) v = {px(rng), py(rng), z(rng)};
        set_plane_uv(&tri);
        raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
        tri.flags |= TPOLY_TWO_SIDED;
        raster_draw_triangle(&tri, small.get());
        raster_draw_triangle(&tri, big.get());
    }
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++) {
            ASSERT_EQ(small.at(x, y), big.at(x, y)) << x << "," << y;
            ASSERT_EQ(small.z(x, y), big.z(x, y)) << x << "," << y;
        }
    EXPECT_TRUE(small.guard_intact());
}

// Random view-space triangles through the whole pipeline, many crossing the
// side planes or passing beside and behind the eye: still nothing outside.
TEST(FixedZbufferSafety, PipelineOutputStaysInsideTheTarget) {
    TestPixmap t(64, 48, TARGET, WIDE_GUARD);
    UvTexture tex(256);
    frustum* view = frustum_create(0, t.get(), 64, 48, 100);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(raster_select(RASTER_FLAGS_FIXED_ZBUFFER), 1);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> xy(-300.0f, 300.0f), z(-250.0f, 400.0f), uv(-500, 500);
    int drawn = 0;
    for (int n = 0; n < 20000; n++) {
        tpoly tri = triangle_of(n % 3 ? TPOLY_TEXTURED : TPOLY_FLAT, {}, {}, {});
        tri.texturemap = tex.get();
        tri.flags |= TPOLY_TWO_SIDED;
        for (auto& v : tri.vertex) v = {xy(rng), xy(rng), z(rng)};
        if (n % 7 == 0) tri.vertex[0] = {0, 0, -100};  // a corner exactly at the eye
        for (float& f : tri.uv) f = uv(rng);
        frustum_draw_tpoly(view, &tri);
        if (n % 500 == 0) {
            drawn += t.count_not(BLACK) > 0;
            t.clear(BLACK);
        }
    }
    EXPECT_TRUE(t.guard_intact());
    EXPECT_GT(drawn, 20);
    frustum_destroy(view);
}

// ---- the picture -----------------------------------------------------------------

TEST(FixedZbufferScene, TubeAndFlatTrianglesThroughThePipeline) {
    TubeScene* s = tube_scene_create(320, 240);
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(raster_select(RASTER_FLAGS_FIXED_ZBUFFER), 1);
    tube_scene_clear(s);
    tube_scene_build(s, 0.7f);
    tube_scene_draw(s, TPOLY_TEXTURED);

    // Two flat triangles through the same frustum: one behind the tube's
    // middle (hidden where they overlap), one in front at the lower right.
    tpoly* p = s->poly;
    p->flags = TPOLY_FLAT;
    p->colour = 0xFF2040E0u;
    p->vertex[0] = {-150, 110, 300};
    p->vertex[1] = {150, 110, 300};
    p->vertex[2] = {0, -110, 300};
    frustum_draw_tpoly(s->view, p);
    p->colour = 0xFF20C040u;
    p->vertex[0] = {20, -20, -100};
    p->vertex[1] = {100, -30, -100};
    p->vertex[2] = {60, -80, -100};
    frustum_draw_tpoly(s->view, p);

    // An outlined triangle (anti-aliased additive lines) at the upper left,
    // in front of everything.
    // Screen corners about (30, 30), (110, 40), (50, 100).
    const std::vector<uint32_t> before(s->screen->pixels, s->screen->pixels + 320 * 240);
    p->flags = TPOLY_WIRE | TPOLY_EDGE01 | TPOLY_EDGE12 | TPOLY_EDGE20;
    p->colour = 0x00FFFFFFu;
    p->vertex[0] = {-81.25f, 56.25f, -150};
    p->vertex[1] = {-31.25f, 50, -150};
    p->vertex[2] = {-68.75f, 12.5f, -150};
    frustum_draw_tpoly(s->view, p);
    int changed = 0, stray = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            if (s->screen->pixels[y * 320 + x] == before[y * 320 + x]) continue;
            changed++;
            stray += x < 28 || x > 112 || y < 28 || y > 102;
        }
    EXPECT_GT(changed, 200);  // about 230 line steps
    EXPECT_EQ(stray, 0);

    EXPECT_TRUE(write_png(test_output_dir() + "/pipeline_scene.png", s->screen));

    // The tube covers a band across the whole width; the near flat triangle is
    // in front of it, the far one shows only where the tube is not.
    const Pixmap* pm = s->screen;
    auto at = [&](int x, int y) { return pm->pixels[y * pm->width + x]; };
    int64_t covered = tube_scene_covered(s);
    EXPECT_GT(covered, 320 * 120);
    EXPECT_LT(covered, 320 * 240);
    EXPECT_EQ(at(240, 178), 0xFF20C040u);  // inside the near triangle
    int far_visible = 0;
    for (int i = 0; i < 320 * 240; i++) far_visible += pm->pixels[i] == 0xFF2040E0u;
    EXPECT_GT(far_visible, 0);
    tube_scene_destroy(s);
}

// The four-at-a-time spans against their one-pixel references: random spans of
// every length up to 37 with steps that include 0, -1 (all ones once rotated,
// the end-around add's second zero) and the extremes, over depths that tie,
// pass and fail, must leave the same pixels and depths.
TEST(FixedZbufferSimd, SpansMatchTheScalarReferencesByteForByte) {
    std::mt19937 rng(1234);
    const int32_t special[] = {0, -1, 1, 0x10000, -0x10000, 0xFFFF, INT32_MIN, INT32_MAX, 0x7FFF8000};
    auto value = [&](int32_t range) {
        if (rng() % 4 == 0) return special[rng() % (sizeof special / sizeof *special)];
        return (int32_t)(rng() % (2u * (uint32_t)range)) - range;
    };
    std::vector<uint32_t> texture(256 * 256);
    for (uint32_t& t : texture) t = rng();
    for (int round = 0; round < 20000; round++) {
        const int32_t count = (int32_t)(rng() % 38);
        const int32_t z = value(1 << 30), dz = value(1 << 20), u = value(1 << 28), v = value(1 << 28);
        const int32_t du = value(1 << 20), dv = value(1 << 20);
        std::vector<int32_t> zbuf(40);
        std::vector<uint32_t> pixels(40);
        for (int i = 0; i < 40; i++) {
            // Some depths equal to the span's own (ties), the rest at random.
            const int32_t own = (int32_t)((uint32_t)z + (uint32_t)i * (uint32_t)dz) >> 16;
            zbuf[i] = rng() % 3 == 0 ? own : (int32_t)rng();
            pixels[i] = rng();
        }
        std::vector<int32_t> zs = zbuf, zr = zbuf;
        std::vector<uint32_t> ps = pixels, pr = pixels;
        const bool flat = round % 2;
        if (flat) {
            fixed_zbuffer_flat_span_z(ps.data() + 1, zs.data() + 1, count, z, dz, 0xFF123456u);
            fixed_zbuffer_flat_span_z_scalar(pr.data() + 1, zr.data() + 1, count, z, dz, 0xFF123456u);
        } else {
            fixed_zbuffer_texture_span_z(ps.data() + 1, texture.data(), zs.data() + 1, count, z, u, v, du, dv, dz);
            fixed_zbuffer_texture_span_z_scalar(pr.data() + 1, texture.data(), zr.data() + 1, count, z, u, v, du,
                                                dv, dz);
        }
        ASSERT_EQ(ps, pr) << (flat ? "flat" : "textured") << " round " << round << " count " << count;
        ASSERT_EQ(zs, zr) << (flat ? "flat" : "textured") << " round " << round << " count " << count;
    }
}

// The four-wide 16.16 conversion against fixed_to16 one at a time: four
// floats in every 56 of the whole range (all exponents, NaNs, infinities,
// denormals) and every float in windows round the saturation edges and zero.
TEST(FixedZbufferSimd, FourWideFixed16ConversionMatchesTheReference) {
    uint64_t mismatches = 0, checked = 0;
    uint32_t first_bad = 0;
    float in[4];
    int32_t out[4];
    auto check = [&](uint32_t bits) {
        for (int k = 0; k < 4; k++) in[k] = std::bit_cast<float>(bits + (uint32_t)k);
        fixed_zbuffer_to_fixed16x4(in, out);
        for (int k = 0; k < 4; k++, checked++) {
            if (out[k] != fixed_to16(in[k])) {
                if (!mismatches) first_bad = bits + (uint32_t)k;
                mismatches++;
            }
        }
    };
    for (uint64_t bits = 0; bits + 4 <= 0x100000000ull; bits += 56) check((uint32_t)bits);
    const float edges[] = {32768.0f, -32768.0f, 0.0f, -0.0f};
    for (float e : edges) {
        const uint32_t centre = std::bit_cast<uint32_t>(e);
        for (uint32_t d = 0; d < (1u << 20); d += 4) check(centre - (1u << 19) + d);
    }
    EXPECT_GT(checked, 300000000u);
    EXPECT_EQ(mismatches, 0u) << "first at float bits 0x" << std::hex << first_bad;
}
