// Tests of the 2D kit's passes: fade weights and their 16-bit lane arithmetic,
// additive saturation and clipping, depth outline strokes, the SIMD passes
// held byte for byte to their scalar references on random data, and triangles
// still queued into a Pixmap drawn before a pass touches it.
#include "bench/tube_scene.h"
#include "engine/fx/fx.h"
#include "engine/jobs/jobs.h"
#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "tests/lib/pixmap_fixture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

uint8_t byte_of(uint32_t v, int i) { return uint8_t(v >> (8 * i)); }

}  // namespace

// ---- colour fade ------------------------------------------------------------

TEST(FxFade, WeightOneGivesTheColourWeightZeroLeavesThePixel)
{
    std::mt19937 rng(1);
    TestPixmap s(320, 240);
    s.randomise(rng);
    std::vector<uint32_t> before = s.plane();

    fx_fade(s.get(), 0x12345678, 0.0f, 76800);
    EXPECT_EQ(s.plane(), before);

    fx_fade(s.get(), 0x12345678, 1.0f, 76800);
    for (uint32_t p : s.plane()) ASSERT_EQ(p, 0x12345678u);  // alpha byte included
    EXPECT_TRUE(s.guard_intact());
}

TEST(FxFade, HalfWeightAveragesRoundingDown)
{
    TestPixmap s(16, 16);
    for (int i = 0; i < 256; ++i) s->pixels[i] = uint32_t(i) * 0x01010101u;
    fx_fade(s.get(), 0x00000000, 0.5f, 256);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(s->pixels[i], uint32_t(i / 2) * 0x01010101u) << i;

    for (int i = 0; i < 256; ++i) s->pixels[i] = uint32_t(i) * 0x01010101u;
    fx_fade(s.get(), 0xFFFFFFFF, 0.5f, 256);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(s->pixels[i], uint32_t((i + 255) / 2) * 0x01010101u) << i;
}

TEST(FxFade, SlightlyNegativeWeightIsNotClamped)
{
    // a = trunc(-1.28) = -1 (0xFFFF per lane), b = trunc(257.28) = 257:
    // against black the pixel survives exactly ...
    std::mt19937 rng(2);
    TestPixmap s(33, 7);
    s.randomise(rng);
    std::vector<uint32_t> before = s.plane();
    fx_fade(s.get(), 0x00000000, -0.005f, 33 * 7);
    EXPECT_EQ(s.plane(), before);

    // ... while a non-zero colour byte c adds lo16(-c) = 65536 - c and saturates.
    s->pixels[0] = 0x00000000;
    s->pixels[1] = 0x01020304;
    fx_fade(s.get(), 0x00000080, -0.005f, 2);
    EXPECT_EQ(s->pixels[0], 0x000000FFu);
    EXPECT_EQ(s->pixels[1], 0x010203FFu);
}

TEST(FxFade, OnlyTheFirstCountPixelsChangeAndCountIsCutToThePixmap)
{
    TestPixmap s(10, 3);
    for (int i = 0; i < 30; ++i) s->pixels[i] = 0x80808080;
    fx_fade(s.get(), 0, 1.0f, 13);  // runs across the row boundary
    for (int i = 0; i < 30; ++i) ASSERT_EQ(s->pixels[i], i < 13 ? 0u : 0x80808080u) << i;

    fx_fade(s.get(), 0, 1.0f, 1000);
    for (int i = 0; i < 30; ++i) ASSERT_EQ(s->pixels[i], 0u);
    EXPECT_TRUE(s.guard_intact());

    fx_fade(s.get(), 0xFFFFFFFF, 1.0f, 0);
    fx_fade(s.get(), 0xFFFFFFFF, 1.0f, -5);
    EXPECT_EQ(s->pixels[0], 0u);
}

TEST(FxFade, SimdMatchesScalarOnRandomData)
{
    std::mt19937 rng(3);
    const float weights[] = {0.0f,  1.0f,  0.5f,   -0.005f, -0.004f, 0.015f, 0.333f, 0.999f,
                             1e-9f, -0.5f, -0.01f, 1.5f,    3.7f,    -300.0f, 1e12f,
                             std::numeric_limits<float>::quiet_NaN()};
    for (float weight : weights) {
        for (int count : {1, 2, 3, 4, 5, 7, 8, 9, 15, 31, 64, 77, 1001}) {
            for (int misalign : {0, 1, 2, 3}) {
                TestPixmap a(count, 1, 0, {16, 0, misalign}), b(count, 1, 0, {16, 0, misalign});
                a.randomise(rng);
                std::memcpy(b->pixels, a->pixels, size_t(count) * 4);
                // Black (every fade of the demo) half of the time, noise otherwise.
                uint32_t colour = misalign % 2 ? 0u : uint32_t(rng());
                fx_fade(a.get(), colour, weight, count);
                fx_fade_scalar(b.get(), colour, weight, count);
                ASSERT_EQ(a.plane(), b.plane()) << "weight " << weight << " count " << count;
                ASSERT_TRUE(a.guard_intact());
            }
        }
    }
}

TEST(FxFade, FollowsTheLaneRuleForEveryBytePair)
{
    // Every pixel byte against every colour byte for a few weights, computed
    // here from the written-out rule, including weights whose terms wrap or saturate.
    for (float weight : {0.25f, 0.7f, 1.3f, 2.0f, -0.005f}) {
        int a = int(std::trunc(double(weight) * 256.0)), b = int(std::trunc((1.0 - weight) * 256.0));
        for (int c = 0; c < 256; ++c) {
            TestPixmap row(256, 1);
            for (int p = 0; p < 256; ++p) row->pixels[p] = uint32_t(p) * 0x01010101u;
            fx_fade(row.get(), uint32_t(c) * 0x01010101u, weight, 256);
            for (int p = 0; p < 256; ++p) {
                unsigned x = unsigned(p * b) & 0xFFFF, y = unsigned(c * a) & 0xFFFF;
                unsigned sum = std::min(x + y, 0xFFFFu);
                ASSERT_EQ(row->pixels[p], (sum >> 8) * 0x01010101u) << weight << " p " << p << " c " << c;
            }
        }
    }
}

// ---- additive blit ------------------------------------------------------------

namespace {

// Independent model of the clipped rectangle: a source pixel lands where both
// it and its destination lie inside their Pixmaps.
void add_blit_model(TestPixmap& dst, int dx, int dy, const TestPixmap& src, int sx, int sy, int w, int h)
{
    std::vector<uint32_t> from = src.plane();
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            int X = sx + i, Y = sy + j, DX = dx + i, DY = dy + j;
            if (X < 0 || Y < 0 || X >= src->width || Y >= src->height) continue;
            if (DX < 0 || DY < 0 || DX >= dst->width || DY >= dst->height) continue;
            uint32_t& d = dst.at(DX, DY);
            uint32_t s = from[size_t(Y) * src->width + X], out = 0;
            for (int k = 0; k < 4; ++k) out |= uint32_t(std::min(255, byte_of(d, k) + byte_of(s, k))) << (8 * k);
            d = out;
        }
    }
}

}  // namespace

TEST(FxAddBlit, WhiteSaturatesBlackLeavesOutsideDrawsNothing)
{
    std::mt19937 rng(4);
    TestPixmap dst(40, 30), white(10, 10), black(10, 10);
    dst.randomise(rng);
    std::vector<uint32_t> before = dst.plane();
    for (int i = 0; i < 100; ++i) white->pixels[i] = 0xFFFFFFFF;

    fx_add_blit(dst.get(), 0, 0, black.get(), 0, 0, 10, 10);
    EXPECT_EQ(dst.plane(), before);
    fx_add_blit(dst.get(), 40, 0, white.get(), 0, 0, 10, 10);
    fx_add_blit(dst.get(), -10, 5, white.get(), 0, 0, 10, 10);
    fx_add_blit(dst.get(), 5, 5, white.get(), 10, 0, 10, 10);
    fx_add_blit(dst.get(), 5, 5, white.get(), 0, 0, 0, 10);
    EXPECT_EQ(dst.plane(), before);

    fx_add_blit(dst.get(), 3, 4, white.get(), 0, 0, 10, 10);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            bool inside = x >= 3 && x < 13 && y >= 4 && y < 14;
            ASSERT_EQ(dst.at(x, y), inside ? 0xFFFFFFFFu : before[y * 40 + x]) << x << "," << y;
        }
}

TEST(FxAddBlit, SaturatesEachByteOnItsOwn)
{
    TestPixmap dst(1, 1), src(1, 1);
    dst->pixels[0] = 0x80FF0110;
    src->pixels[0] = 0x8001FFF0;
    fx_add_blit(dst.get(), 0, 0, src.get(), 0, 0, 1, 1);
    EXPECT_EQ(dst->pixels[0], 0xFFFFFFFFu);
    dst->pixels[0] = 0x7F000102;
    src->pixels[0] = 0x80000304;
    fx_add_blit(dst.get(), 0, 0, src.get(), 0, 0, 1, 1);
    EXPECT_EQ(dst->pixels[0], 0xFF000406u);
}

TEST(FxAddBlit, ClipsOnEverySideLikeTheModel)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> corner(-30, 50), size(-3, 60);
    for (int trial = 0; trial < 2000; ++trial) {
        TestPixmap src(23, 17), dst(31, 19), ref(31, 19);
        src.randomise(rng);
        dst.randomise(rng);
        std::memcpy(ref->pixels, dst->pixels, 31 * 19 * 4);
        int dx = corner(rng), dy = corner(rng), sx = corner(rng), sy = corner(rng);
        int w = size(rng), h = size(rng);
        fx_add_blit(dst.get(), dx, dy, src.get(), sx, sy, w, h);
        add_blit_model(ref, dx, dy, src, sx, sy, w, h);
        ASSERT_EQ(dst.plane(), ref.plane()) << dx << " " << dy << " " << sx << " " << sy << " " << w << " " << h;
        ASSERT_TRUE(dst.guard_intact());
    }
}

TEST(FxAddBlit, NamedClipCases)
{
    TestPixmap src(40, 4), dst(320, 4);
    for (int x = 0; x < 40; ++x) src.at(x, 0) = uint32_t(x + 1);
    // sx = -10, w = 30: 20 columns from source column 0, placed from dx + 10.
    fx_add_blit(dst.get(), 100, 0, src.get(), -10, 0, 30, 1);
    for (int x = 0; x < 320; ++x)
        ASSERT_EQ(dst.at(x, 0), x >= 110 && x < 130 ? uint32_t(x - 110 + 1) : 0u) << x;
    // dx = 310, w = 30 in a 320-wide destination: 10 columns.
    TestPixmap dst2(320, 4);
    fx_add_blit(dst2.get(), 310, 0, src.get(), 0, 0, 30, 1);
    for (int x = 0; x < 320; ++x) ASSERT_EQ(dst2.at(x, 0), x >= 310 ? uint32_t(x - 310 + 1) : 0u) << x;
}

TEST(FxAddBlit, HugeCornersAndSizesDoNotOverflow)
{
    TestPixmap src(8, 8), dst(8, 8);
    for (int i = 0; i < 64; ++i) src->pixels[i] = 0x01010101;
    const int32_t big = std::numeric_limits<int32_t>::max();
    fx_add_blit(dst.get(), big - 2, 0, src.get(), 0, 0, big, 8);
    fx_add_blit(dst.get(), 0, 0, src.get(), big - 1, big - 1, big, big);
    fx_add_blit(dst.get(), std::numeric_limits<int32_t>::min(), 0, src.get(), 0, 0, big, 8);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(dst->pixels[i], 0u);
    fx_add_blit(dst.get(), -3, -3, src.get(), -3, -3, big, big);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(dst->pixels[i], 0x01010101u);
}

TEST(FxAddBlit, SimdMatchesScalarOnRandomData)
{
    std::mt19937 rng(6);
    for (int w = 1; w <= 37; ++w) {
        for (int misalign : {0, 1, 3}) {
            TestPixmap src(w + 5, 6, 0, {16, 0, misalign}), a(w + 3, 7, 0, {16, 0, (misalign + 1) % 4}), b(w + 3, 7);
            src.randomise(rng);
            a.randomise(rng);
            std::memcpy(b->pixels, a->pixels, size_t(w + 3) * 7 * 4);
            fx_add_blit(a.get(), 2, 1, src.get(), 1, 0, w, 6);
            fx_add_blit_scalar(b.get(), 2, 1, src.get(), 1, 0, w, 6);
            ASSERT_EQ(a.plane(), b.plane()) << "width " << w;
            ASSERT_TRUE(a.guard_intact());
        }
    }
}

TEST(FxAddBlit, OverlapWithinOnePixmapReadsTheSourceFirst)
{
    std::mt19937 rng(7);
    const int shifts[][2] = {{1, 0}, {3, 0}, {5, 0}, {-2, 0}, {0, 1}, {2, 2}, {-1, 3}, {4, -1}, {0, -2}};
    for (auto& s : shifts) {
        TestPixmap p(29, 13), q(29, 13), r(29, 13);
        p.randomise(rng);
        for (int i = 0; i < 29 * 13; ++i) p->pixels[i] &= 0x3F3F3F3F;  // keep sums below saturation
        std::memcpy(q->pixels, p->pixels, 29 * 13 * 4);
        std::memcpy(r->pixels, p->pixels, 29 * 13 * 4);
        TestPixmap copy(29, 13);
        std::memcpy(copy->pixels, p->pixels, 29 * 13 * 4);
        fx_add_blit(p.get(), 3 + s[0], 2 + s[1], p.get(), 3, 2, 21, 9);
        fx_add_blit_scalar(q.get(), 3 + s[0], 2 + s[1], q.get(), 3, 2, 21, 9);
        add_blit_model(r, 3 + s[0], 2 + s[1], copy, 3, 2, 21, 9);
        ASSERT_EQ(p.plane(), r.plane()) << s[0] << "," << s[1];
        ASSERT_EQ(q.plane(), r.plane()) << s[0] << "," << s[1];
    }
}

// ---- depth outline ----------------------------------------------------------

namespace {

std::vector<std::string> picture(TestPixmap& t)
{
    std::vector<std::string> out;
    for (int y = 0; y < t->height; ++y) {
        std::string row;
        for (int x = 0; x < t->width; ++x) row += t.at(x, y) == 0xFF00FF00u ? '#' : '.';
        out.push_back(row);
    }
    return out;
}

}  // namespace

// Depth steps across columns or rows at threshold 20: strokes on the tested
// rows (1 to height - 3) or columns where a step is over the threshold; a
// constant depth or a step of exactly the threshold draws nothing.
TEST(FxOutline, StrokesWhereTheDepthStepsOverTheThreshold)
{
    struct Case {
        const char* name;
        int w, h;
        int32_t (*depth)(int x, int y);
        std::vector<std::string> want;
    };
    const std::vector<std::string> none9(9, std::string(12, '.')), none7(7, std::string(10, '.'));
    const Case cases[] = {
        {"constant 0", 12, 9, [](int, int) { return 0; }, none9},
        {"constant -5", 12, 9, [](int, int) { return -5; }, none9},
        {"constant far", 12, 9, [](int, int) { return PIXMAP_Z_FAR; }, none9},
        {"column step 21", 10, 7, [](int x, int) { return x < 5 ? 0 : 21; },
         {"..........", "...###....", "...###....", "...###....", "...###....", "..........", ".........."}},
        {"column step 20", 10, 7, [](int x, int) { return x < 5 ? 0 : 20; }, none7},
        {"row step 100", 8, 8, [](int, int y) { return y < 4 ? 100 : 0; },
         {"........", "........", ".######.", ".######.", ".######.", "........", "........", "........"}},
    };
    for (const Case& c : cases) {
        TestPixmap t(c.w, c.h, PIXMAP_ZBUFFER);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) t.z(x, y) = c.depth(x, y);
        fx_outline(t.get(), 20, 0xFF00FF00);
        EXPECT_EQ(picture(t), c.want) << c.name;
        int strokes = 0;  // and no pixel but the strokes changes
        for (const std::string& row : c.want) strokes += int(std::count(row.begin(), row.end(), '#'));
        EXPECT_EQ(t.count_not(0), strokes) << c.name;
        EXPECT_TRUE(t.guard_intact()) << c.name;
    }
}

TEST(FxOutline, SilhouetteAndCreasesAgainstTheClearedBuffer)
{
    // An object at negative depths over a cleared z-buffer: 0x7FFFFFFF minus a
    // negative depth overflows 32 bits, and the silhouette must still be found.
    TestPixmap t(16, 12, PIXMAP_ZBUFFER);
    for (int y = 3; y <= 8; ++y)
        for (int x = 3; x <= 12; ++x)
            t.z(x, y) = x <= 5 ? std::numeric_limits<int32_t>::min() + 10 : x <= 9 ? -100 : -90;
    fx_outline(t.get(), 20, 0xFF00FF00);
    // Silhouette all round; a crease between columns 5 and 6; none between 9 and
    // 10, whose depths differ by only 10.
    std::vector<std::string> want = {
        "................",
        "...##########...",
        "...##########...",
        ".#############..",
        ".######....###..",
        ".######....###..",
        ".######....###..",
        ".#############..",
        ".#############..",
        "...##########...",
        "................",
        "................",
    };
    EXPECT_EQ(picture(t), want);

    // The same crease on its own, away from the silhouette.
    TestPixmap c(12, 10, PIXMAP_ZBUFFER);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) c.z(x, y) = x < 6 ? std::numeric_limits<int32_t>::min() : PIXMAP_Z_FAR;
    fx_outline(c.get(), 20, 0xFF00FF00);
    EXPECT_EQ(c.at(5, 4), 0xFF00FF00u);
    EXPECT_EQ(c.at(4, 4), 0xFF00FF00u);
    EXPECT_EQ(c.at(6, 4), 0xFF00FF00u);
    EXPECT_EQ(c.at(7, 4), 0u);
}

TEST(FxOutline, WithoutZBufferOrTooSmallDoesNothing)
{
    TestPixmap t(10, 10, 0);
    fx_outline(t.get(), 0, 0xFF00FF00);
    for (uint32_t p : t.plane()) ASSERT_EQ(p, 0u);
    TestPixmap s(2, 3, PIXMAP_ZBUFFER);
    s.z(0, 0) = 0;
    fx_outline(s.get(), 0, 0xFF00FF00);
    for (uint32_t p : s.plane()) ASSERT_EQ(p, 0u);
    fx_outline(nullptr, 0, 0);
}

TEST(FxOutline, SimdMatchesScalarOnRandomDepths)
{
    // Runs of depths from a few surfaces with gentle slopes, the cleared value and
    // both ends of the int range, so steps are just under, at and over the threshold
    // and some differences overflow 32 bits.
    std::mt19937 rng(11);
    const int32_t pool[] = {0, 5, -5, 100, 2000, -2000, PIXMAP_Z_FAR, INT32_MIN, INT32_MAX - 1, -1};
    struct Case { int w, h; int32_t threshold; float scale; };
    const Case cases[] = {{3, 4, 20, 1.0f},      {4, 4, 20, 1.0f},       {9, 7, 0, 1.0f},
                          {17, 11, 20, 1.0f},    {33, 9, -1, 1.0f},      {33, 9, INT32_MAX, 1.0f},
                          {33, 9, INT32_MIN, 1.0f}, {21, 13, 20, 2.0f},  {22, 14, 20, 2.5f},
                          {40, 12, 7, 4.0f},     {19, 10, -30, 3.0f},    {25, 16, 100, 1.5f}};
    for (const Case& c : cases) {
        for (int misalign : {0, 1, 3}) {
            TestPixmap a(c.w, c.h, PIXMAP_ZBUFFER, {16, 0, misalign}), b(c.w, c.h, PIXMAP_ZBUFFER, {16, 0, misalign});
            a.randomise(rng);
            std::memcpy(b->pixels, a->pixels, size_t(c.w) * c.h * 4);
            int32_t base = 0;
            for (int i = 0; i < c.w * c.h; ++i) {
                if (rng() % 6 == 0) base = pool[rng() % 10];  // runs of one surface
                int32_t slope = int32_t(rng() % 41) - 20;
                const bool end = base > INT32_MAX - 20 || base < INT32_MIN + 20;
                a->zbuffer[i] = b->zbuffer[i] = end ? base : base + slope;
            }
            fx_outline_scaled(a.get(), c.threshold, 0xFF00FF00, c.scale);
            fx_outline_scaled_scalar(b.get(), c.threshold, 0xFF00FF00, c.scale);
            ASSERT_EQ(a.plane(), b.plane()) << c.w << "x" << c.h << " threshold " << c.threshold << " scale "
                                            << c.scale;
            ASSERT_TRUE(a.guard_intact());
        }
    }
}

// ---- drawing queued into the Pixmaps ----------------------------------------

// Each pass runs inside an open batch of the tube's triangles, never flushed:
// it must draw them first, on its target and on a source, so that 2 and 5
// threads give the bytes of one thread (which draws each triangle at once).
TEST(FxQueued, EveryPassDrawsWhatIsQueuedFirst)
{
    struct Pass {
        const char* name;
        void (*run)(TubeScene* s, Pixmap* other);
    };
    const Pass passes[] = {
        {"fade", [](TubeScene* s, Pixmap*) { fx_fade(s->screen, 0xFF102030u, 0.25f, 320 * 240); }},
        {"fade, scalar", [](TubeScene* s, Pixmap*) { fx_fade_scalar(s->screen, 0xFF102030u, 0.25f, 320 * 240); }},
        {"add blit onto the target", [](TubeScene* s, Pixmap* other) { fx_add_blit(s->screen, 5, 3, other, 0, 0, 320, 240); }},
        {"add blit from the target", [](TubeScene* s, Pixmap* other) { fx_add_blit(other, 0, 0, s->screen, 0, 0, 320, 240); }},
        {"add blit, scalar", [](TubeScene* s, Pixmap* other) { fx_add_blit_scalar(other, 0, 0, s->screen, 0, 0, 320, 240); }},
        {"outline", [](TubeScene* s, Pixmap*) { fx_outline(s->screen, 20, 0xFF00FF00u); }},
        {"outline, scalar", [](TubeScene* s, Pixmap*) { fx_outline_scalar(s->screen, 20, 0xFF00FF00u); }},
        {"outline scaled", [](TubeScene* s, Pixmap*) { fx_outline_scaled(s->screen, 20, 0xFF00FF00u, 2.0f); }},
        {"outline scaled, scalar", [](TubeScene* s, Pixmap*) { fx_outline_scaled_scalar(s->screen, 20, 0xFF00FF00u, 2.0f); }},
        {"saved as PNG", [](TubeScene* s, Pixmap* other) {
             // The file read back into the other Pixmap (the target's own pixels unread).
             const std::string path = std::string(TAVIK_BINARY_DIR) + "/fx_queued.png";
             ASSERT_EQ(pixmap_save_png(s->screen, path.c_str()), 1) << fx_error_string();
             png_image image{};
             image.version = PNG_IMAGE_VERSION;
             ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
             image.format = PNG_FORMAT_RGBA;
             ASSERT_TRUE(png_image_finish_read(&image, nullptr, other->pixels, 0, nullptr));
             std::remove(path.c_str());
         }},
    };
    // Both Pixmaps' pixels after the pass, the batch still open.
    auto frame = [](const Pass& pass, int threads) {
        jobs_set_threads(threads);
        TubeScene* s = tube_scene_create(320, 240);
        Pixmap* other = pixmap_create(320, 240, PIXMAP_CLEAR);
        EXPECT_TRUE(s && other);
        if (!s || !other) return std::vector<uint32_t>{};
        for (int32_t i = 0; i < 320 * 240; ++i) other->pixels[i] = uint32_t(i) * 0x00010203u;
        tube_scene_build(s, 0.7f);
        tube_scene_clear(s);
        raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
        raster_begin(s->screen);
        EXPECT_EQ(raster_banded(), threads > 1);
        tube_scene_draw(s, TPOLY_TEXTURED);
        pass.run(s, other);
        std::vector<uint32_t> out(s->screen->pixels, s->screen->pixels + 320 * 240);
        out.insert(out.end(), other->pixels, other->pixels + 320 * 240);
        raster_flush();
        pixmap_destroy(other);
        tube_scene_destroy(s);
        return out;
    };
    for (const Pass& pass : passes) {
        const std::vector<uint32_t> one = frame(pass, 1);
        for (int threads : {2, 5}) EXPECT_TRUE(frame(pass, threads) == one) << pass.name << ", " << threads << " threads";
    }
    jobs_set_threads(0);
}
