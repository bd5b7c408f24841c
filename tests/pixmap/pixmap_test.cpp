// Tests of the Pixmap module: creation values and refused sizes, the checked
// accessors and their miss counters, both dumps byte for byte, the rectangle
// clear, the clipped copy and alpha blits, and blits within one Pixmap.
#include "engine/pixmap/pixmap.h"
#include "engine/memory/gmem.h"
#include "tests/lib/pixmap_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

int live_blocks()
{
    GmemStats s;
    gmem_stats(&s);
    return s.blocks;
}

// The blit as a per-pixel rule: a source pixel lands where it and its
// destination both lie inside their Pixmaps; `from` is the source as it was
// before the blit.
void blit_model(std::vector<uint32_t>& to, int dw, int dh, int dx, int dy, const std::vector<uint32_t>& from,
                int sw, int sh, bool alpha, int sx, int sy, int w, int h)
{
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            int X = sx + i, Y = sy + j, DX = dx + i, DY = dy + j;
            if (X < 0 || Y < 0 || X >= sw || Y >= sh || DX < 0 || DY < 0 || DX >= dw || DY >= dh) continue;
            uint32_t s = from[size_t(Y) * sw + X];
            uint32_t& d = to[size_t(DY) * dw + DX];
            if (!alpha) {
                d = s;
                continue;
            }
            uint32_t a = s >> 24, out = d & 0xFF000000u;
            for (int k = 0; k < 3; ++k) {
                uint32_t sc = (s >> (8 * k)) & 0xFF, dc = (d >> (8 * k)) & 0xFF;
                out |= ((a * sc + 127) / 255 + ((255 - a) * dc + 127) / 255) << (8 * k);
            }
            d = out;
        }
    }
}

}  // namespace

// ---- creation ---------------------------------------------------------------

TEST(PixmapCreate, VirtualScreenIsClearedWithZBuffer)
{
    int blocks = live_blocks();
    Pixmap* p = pixmap_create(320, 240, 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(live_blocks() - blocks, 4);  // header, pixels, z plane, row table
    EXPECT_EQ(p->width, 320);
    EXPECT_EQ(p->height, 240);
    EXPECT_EQ(p->flags, 3u);
    EXPECT_EQ(p->reserved, 0u);
    ASSERT_NE(p->zbuffer, nullptr);
    for (int y = 0; y < 240; ++y) ASSERT_EQ(p->rows[y], y * 320);
    EXPECT_TRUE(std::all_of(p->pixels, p->pixels + 320 * 240, [](uint32_t v) { return v == 0xFF000000u; }));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(p->pixels);
    EXPECT_EQ(bytes[0], 0);  // red, green, blue, alpha in memory
    EXPECT_EQ(bytes[3], 255);
    EXPECT_TRUE(std::all_of(p->zbuffer, p->zbuffer + 320 * 240, [](int32_t z) { return z == PIXMAP_Z_FAR; }));
    pixmap_destroy(p);
    EXPECT_EQ(live_blocks(), blocks);
    pixmap_destroy(nullptr);
}

TEST(PixmapCreate, ClearWithoutZBufferAndPlainCreation)
{
    Pixmap* p = pixmap_create(7, 5, PIXMAP_CLEAR);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->zbuffer, nullptr);
    EXPECT_TRUE(std::all_of(p->pixels, p->pixels + 35, [](uint32_t v) { return v == 0xFF000000u; }));
    int sz = set_z_misses, gz = get_z_misses;
    pixmap_set_z(p, 1, 1, 5);
    pixmap_set_z(p, -1, 1, 5);
    EXPECT_EQ(pixmap_get_z(p, 1, 1), 0);
    EXPECT_EQ(pixmap_get_z(p, 100, 1), 0);
    EXPECT_EQ(set_z_misses, sz);
    EXPECT_EQ(get_z_misses, gz);
    pixmap_destroy(p);

    Pixmap* q = pixmap_create(3, 2, 0);  // planes as the allocator gives them: zeroed
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->zbuffer, nullptr);
    EXPECT_TRUE(std::all_of(q->pixels, q->pixels + 6, [](uint32_t v) { return v == 0u; }));
    pixmap_destroy(q);
}

TEST(PixmapCreate, RefusesEmptyNegativeAndOverflowingSizes)
{
    pixmap_error_string();
    int blocks = live_blocks();
    const int32_t sizes[][2] = {{0, 10}, {10, 0}, {-1, 10}, {10, -5}, {-4, -4}, {65536, 65536},
                                {0x7FFFFFFF, 2}, {46341, 46341}, {1 << 30, 1}};
    for (auto& s : sizes) {
        EXPECT_EQ(pixmap_create(s[0], s[1], 3), nullptr) << s[0] << " x " << s[1];
        EXPECT_STREQ(pixmap_error_string(), "No memory available");
        EXPECT_STREQ(pixmap_error_string(), "No error, so far...");
    }
    EXPECT_EQ(live_blocks(), blocks);  // nothing half-built is left behind
}

// The sanitizers reserve more address space than the limit allows: the test is
// for the plain build only.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(PixmapCreate, FailedZPlaneReleasesWhatWasBuilt)
{
    // Room for one 1 GiB plane but not two: the pixel plane is made, the z plane
    // is not. Zero-fill is off, so the planes are never touched.
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    ASSERT_GT(pages, 0) << "no /proc/self/statm";
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(3) << 29);  // + 1.5 GiB
    ASSERT_TRUE(saved.rlim_cur == RLIM_INFINITY || saved.rlim_cur >= tight.rlim_cur)
        << "the address-space limit (ulimit -v) is already below what the test needs";
    uint32_t flags = gmem_get_flags();
    gmem_set_flags(flags & ~uint32_t(GMEM_ZERO));
    pixmap_error_string();
    int blocks = live_blocks();

    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    Pixmap* one_plane = pixmap_create(16384, 16384, 0);
    pixmap_destroy(one_plane);
    Pixmap* two_planes = pixmap_create(16384, 16384, PIXMAP_ZBUFFER);
    setrlimit(RLIMIT_AS, &saved);
    gmem_set_flags(flags);

    ASSERT_NE(one_plane, nullptr) << "this machine will not lend 1 GiB of address space";
    EXPECT_EQ(two_planes, nullptr);
    EXPECT_EQ(live_blocks(), blocks);  // header and pixel plane went back
    EXPECT_STREQ(pixmap_error_string(), "No memory available");
    EXPECT_STREQ(pixmap_error_string(), "No error, so far...");
}
#endif

// ---- checked accessors ------------------------------------------------------

TEST(PixmapAccess, InsideStoresAndLoadsOutsideCountsMisses)
{
    TestPixmap t(8, 6, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    Pixmap* p = t.get();
    pixmap_set_pixel(p, 7, 5, 0x11223344);
    pixmap_set_z(p, 0, 5, -7);
    EXPECT_EQ(p->pixels[p->rows[5] + 7], 0x11223344u);
    EXPECT_EQ(pixmap_get_pixel(p, 7, 5), 0x11223344u);
    EXPECT_EQ(pixmap_get_z(p, 0, 5), -7);

    const std::vector<uint32_t> pixels = t.plane();
    const std::vector<int32_t> depths = t.zplane();
    int sp = set_p_misses, sz = set_z_misses, gp = get_p_misses, gz = get_z_misses;
    const int outside[][2] = {{8, 0}, {0, -1}, {-1, 0}, {0, 6}, {-2147483647 - 1, 0}, {0, 2147483647}};
    for (auto& o : outside) {
        pixmap_set_pixel(p, o[0], o[1], 0xDEADBEEF);
        pixmap_set_z(p, o[0], o[1], 1);
        EXPECT_EQ(pixmap_get_pixel(p, o[0], o[1]), 0u);
        EXPECT_EQ(pixmap_get_z(p, o[0], o[1]), 0);
    }
    EXPECT_EQ(set_p_misses - sp, 6);
    EXPECT_EQ(set_z_misses - sz, 6);
    EXPECT_EQ(get_p_misses - gp, 6);
    EXPECT_EQ(get_z_misses - gz, 6);
    EXPECT_EQ(t.plane(), pixels);
    EXPECT_EQ(t.zplane(), depths);
    EXPECT_TRUE(t.guard_intact());
}

// ---- dumps ------------------------------------------------------------------

namespace {

std::string dump_of(int w, int h, uint32_t flags)
{
    Pixmap* p = pixmap_create(w, h, flags);
    EXPECT_NE(p, nullptr);
    testing::internal::CaptureStdout();
    pixmap_dump(p);
    std::string out = testing::internal::GetCapturedStdout();
    pixmap_destroy(p);
    return out;
}

}  // namespace

TEST(PixmapDump, HeaderFormats)
{
    const std::string head = "---[ Pixmap ]------------------\n";
    EXPECT_EQ(dump_of(320, 240, 0), head + "Width:    320\nHeight:   240\nFlags:    none");
    EXPECT_EQ(dump_of(4, 3, 5), head + "Width:    4\nHeight:   3\nFlags:    ZBUFFER ALPHA \n");
    EXPECT_EQ(dump_of(4, 3, 2), head + "Width:    4\nHeight:   3\nFlags:    \n");
    EXPECT_EQ(dump_of(1, 1, 3), head + "Width:    1\nHeight:   1\nFlags:    ZBUFFER \n");
    EXPECT_EQ(dump_of(2, 9, 6), head + "Width:    2\nHeight:   9\nFlags:    ALPHA \n");
}

TEST(PixmapDump, MissCounters)
{
    Pixmap* p = pixmap_create(2, 2, PIXMAP_ZBUFFER);
    ASSERT_NE(p, nullptr);
    pixmap_set_pixel(p, 2, 0, 0);
    pixmap_get_z(p, 0, 2);
    pixmap_get_z(p, 0, -2);
    pixmap_destroy(p);
    std::string want = "-----[ Pixmap ]---------------\n"
                       "Set p misses:  " + std::to_string(set_p_misses) + "\n"
                       "Set z misses:  " + std::to_string(set_z_misses) + "\n"
                       "Get p misses:  " + std::to_string(get_p_misses) + "\n"
                       "Get z misses:  " + std::to_string(get_z_misses) + "\n";
    EXPECT_GE(set_p_misses, 1);
    EXPECT_GE(get_z_misses, 2);
    testing::internal::CaptureStdout();
    pixmap_dump_misses();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), want);
}

// ---- blend table ------------------------------------------------------------

TEST(PixmapBlendTable, RoundedProducts)
{
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) ASSERT_EQ(blend_table[a * 256 + c], (a * c + 127) / 255) << a << " " << c;
    EXPECT_EQ(blend_table[0 * 256 + 200], 0);
    EXPECT_EQ(blend_table[255 * 256 + 200], 200);
    EXPECT_EQ(blend_table[128 * 256 + 255], 128);
}

// ---- rectangle clear --------------------------------------------------------

TEST(PixmapClearRect, ClipsAndResetsDepth)
{
    TestPixmap t(20, 10, PIXMAP_ZBUFFER);
    Pixmap* p = t.get();
    for (int i = 0; i < 200; ++i) p->zbuffer[i] = 5;

    pixmap_clear_rect(p, 2, 2, 0, 5, 0xFFFFFFFF);  // w = 0: nothing
    pixmap_clear_rect(p, 2, 2, 5, -1, 0xFFFFFFFF);
    pixmap_clear_rect(p, 20, 0, 5, 5, 0xFFFFFFFF);
    pixmap_clear_rect(p, 0, -5, 5, 5, 0xFFFFFFFF);
    EXPECT_EQ(t.count_not(0), 0);

    pixmap_clear_rect(p, -5, 3, 10, 2, 0xAABBCCDD);  // columns 0 to 4 of rows 3 and 4
    pixmap_clear_rect(p, 17, 8, 100, 100, 0x01020304);  // runs past the right and bottom
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            bool a = x < 5 && (y == 3 || y == 4), b = x >= 17 && y >= 8;
            uint32_t want = a ? 0xAABBCCDD : b ? 0x01020304 : 0;
            ASSERT_EQ(p->pixels[p->rows[y] + x], want) << x << "," << y;
            ASSERT_EQ(p->zbuffer[p->rows[y] + x], a || b ? PIXMAP_Z_FAR : 5) << x << "," << y;
        }
    }
    EXPECT_TRUE(t.guard_intact());

    // Without a z-buffer only pixels change.
    TestPixmap q(4, 4);
    pixmap_clear_rect(q.get(), 1, 1, 2, 2, 7);
    EXPECT_EQ(q.at(1, 1), 7u);
    EXPECT_EQ(q.at(0, 0), 0u);
}

// ---- blits ------------------------------------------------------------------

TEST(PixmapBlit, WholeScreenCopyKeepsAlphaAndLeavesDepth)
{
    std::mt19937 rng(11);
    TestPixmap src(320, 240, PIXMAP_ZBUFFER), dst(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    src.randomise(rng);
    for (int i = 0; i < 320 * 240; ++i) src->zbuffer[i] = int32_t(rng());
    const std::vector<int32_t> depths = dst.zplane();
    pixmap_blit(dst.get(), 0, 0, src.get(), 0, 0, 320, 240);
    EXPECT_TRUE(same_pixels(dst.get(), src.get()));
    EXPECT_EQ(dst.zplane(), depths);
}

TEST(PixmapBlit, NamedClipCases)
{
    TestPixmap src(40, 2), dst(320, 2);
    for (int x = 0; x < 40; ++x) src.at(x, 0) = uint32_t(x + 1);
    pixmap_blit(dst.get(), 100, 0, src.get(), -10, 0, 30, 1);  // 20 columns from column 0 to dx + 10
    for (int x = 0; x < 320; ++x) ASSERT_EQ(dst.at(x, 0), x >= 110 && x < 130 ? uint32_t(x - 109) : 0u) << x;
    dst.clear(0);
    pixmap_blit(dst.get(), 310, 0, src.get(), 0, 0, 30, 1);  // 10 columns
    for (int x = 0; x < 320; ++x) ASSERT_EQ(dst.at(x, 0), x >= 310 ? uint32_t(x - 309) : 0u) << x;
    EXPECT_TRUE(dst.guard_intact());
}

TEST(PixmapBlit, ClipsOnEverySideLikeTheModel)
{
    std::mt19937 rng(12);
    std::uniform_int_distribution<int> corner(-30, 50), size(-3, 60);
    TestPixmap src(23, 17), asrc(23, 17, PIXMAP_ALPHA), dst(31, 19, PIXMAP_ZBUFFER);
    for (int trial = 0; trial < 3000; ++trial) {
        TestPixmap& s = trial % 2 ? asrc : src;
        s.randomise(rng);
        dst.randomise(rng);
        std::vector<uint32_t> want = dst.plane();
        int dx = corner(rng), dy = corner(rng), sx = corner(rng), sy = corner(rng), w = size(rng), h = size(rng);
        blit_model(want, 31, 19, dx, dy, s.plane(), 23, 17, trial % 2, sx, sy, w, h);
        pixmap_blit(dst.get(), dx, dy, s.get(), sx, sy, w, h);
        ASSERT_EQ(dst.plane(), want) << (trial % 2 ? "alpha " : "copy ") << dx << " " << dy << " " << sx << " "
                                     << sy << " " << w << " " << h;
    }
    EXPECT_TRUE(dst.guard_intact());
}

TEST(PixmapBlit, AlphaZeroHalfAndFull)
{
    TestPixmap src(3, 1, PIXMAP_ALPHA), dst(3, 1);
    src->pixels[0] = 0x00FF7F10;  // alpha 0
    src->pixels[1] = 0x80FFFFFF;  // alpha 128, channels 255
    src->pixels[2] = 0xFF123456;  // alpha 255
    dst->pixels[0] = 0x44332211;
    dst->pixels[1] = 0x77000000;
    dst->pixels[2] = 0x99ABCDEF;
    pixmap_blit(dst.get(), 0, 0, src.get(), 0, 0, 3, 1);
    EXPECT_EQ(dst->pixels[0], 0x44332211u);  // unchanged
    EXPECT_EQ(dst->pixels[1], 0x77808080u);  // 128 per channel, destination alpha kept
    EXPECT_EQ(dst->pixels[2], 0x99123456u);  // the source colour exactly
}

TEST(PixmapBlit, OverlapWithinOnePixmapCopiesAsMemmove)
{
    std::mt19937 rng(13);
    const int shifts[][2] = {{1, 0}, {-1, 0}, {3, 0}, {-7, 0}, {0, 1}, {0, -1}, {2, 3}, {-2, -3}, {5, -1}, {-4, 2}};
    for (uint32_t flags : {0u, uint32_t(PIXMAP_ALPHA)}) {
        for (auto& s : shifts) {
            TestPixmap p(29, 13, flags);
            p.randomise(rng);
            std::vector<uint32_t> before = p.plane(), want = before;
            blit_model(want, 29, 13, 4 + s[0], 3 + s[1], before, 29, 13, flags != 0, 4, 3, 20, 8);
            pixmap_blit(p.get(), 4 + s[0], 3 + s[1], p.get(), 4, 3, 20, 8);
            EXPECT_EQ(p.plane(), want) << "flags " << flags << " shift " << s[0] << "," << s[1];
        }
    }
}

TEST(PixmapBlit, HugeCornersAndSizesDoNotOverflow)
{
    TestPixmap src(8, 8), dst(8, 8);
    src.clear(0x01010101);
    const int32_t big = 0x7FFFFFFF;
    pixmap_blit(dst.get(), big - 2, 0, src.get(), 0, 0, big, 8);
    pixmap_blit(dst.get(), 0, 0, src.get(), big - 1, big - 1, big, big);
    pixmap_blit(dst.get(), -big - 1, 0, src.get(), 0, 0, big, 8);
    EXPECT_EQ(dst.count_not(0), 0);
    pixmap_blit(dst.get(), -3, -3, src.get(), -3, -3, big, big);
    EXPECT_EQ(dst.count_not(0x01010101), 0);
    EXPECT_TRUE(dst.guard_intact());
}

TEST(PixmapMisses, CountersStopAtTheLargestInt)
{
    TestPixmap t(4, 4, PIXMAP_ZBUFFER);
    Pixmap* p = t.get();
    int saved = set_p_misses;
    set_p_misses = 0x7FFFFFFE;
    pixmap_set_pixel(p, -1, 0, 0);
    pixmap_set_pixel(p, -1, 0, 0);
    pixmap_set_pixel(p, 4, 0, 0);
    EXPECT_EQ(set_p_misses, 0x7FFFFFFF);
    // Runs counted at once (long lines, skipped spans) stop there too.
    set_p_misses = 5;
    pixmap_count_misses(&set_p_misses, 0x7FFFFFFFll * 3);
    EXPECT_EQ(set_p_misses, 0x7FFFFFFF);
    pixmap_count_misses(&set_p_misses, -4);
    EXPECT_EQ(set_p_misses, 0x7FFFFFFF);
    set_p_misses = saved;
}
