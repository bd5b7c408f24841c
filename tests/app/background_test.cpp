// Grid-mapped backgrounds: the block fill's shade blend and wrap corrections,
// the SIMD path against the byte loop, and the two mappings' grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/background.h"
#include "engine/pixmap/pixmap.h"
#include "tests/lib/pixmap_fixture.h"

namespace {

struct Pixmaps {
    TestPixmap screen{320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR};
    TestPixmap texture{256, 256};
};

void fill_noise(Pixmap* pm, unsigned seed) {
    srand(seed);
    for (int i = 0; i < pm->width * pm->height; i++) pm->pixels[i] = uint32_t(rand()) ^ (uint32_t(rand()) << 16);
}

BackgroundPoint point(int u, int v, int shade) { return {{u, v, shade}}; }

}  // namespace

TEST(BackgroundBlockFill, ShadeZeroDarkensSlightlyAndFullShadeIsNearWhite) {
    Pixmaps p;
    for (int i = 0; i < 256 * 256; i++) p.texture->pixels[i] = 0xFF8040C8u;
    BackgroundPoint a = point(0, 0, 0), b = a, c = a, d = a;
    background_block_fill(p.screen.get(), 0, 0, p.texture.get(), 3, &a, &b, &c, &d);
    // b * 255 / 256 rounded down, alpha byte included.
    EXPECT_EQ(p.screen->pixels[0], 0xFE7F3FC7u);
    a = b = c = d = point(0, 0, 255);
    background_block_fill(p.screen.get(), 8, 0, p.texture.get(), 3, &a, &b, &c, &d);
    EXPECT_EQ(p.screen->pixels[8], 0xFEFEFEFEu);
    EXPECT_EQ(p.screen->pixels[p.screen->rows[7] + 15], 0xFEFEFEFEu);
    EXPECT_EQ(p.screen->pixels[16], 0xFF000000u) << "the block must stay 8 pixels wide";
}

TEST(BackgroundBlockFill, SimdMatchesByteLoop) {
    Pixmaps p;
    TestPixmap other(320, 240);
    fill_noise(p.texture.get(), 7);
    srand(11);
    for (int n = 0; n < 500; n++) {
        BackgroundPoint g[4], h[4];
        for (auto& q : g) q = point(rand() % 1024, rand() % 1024, rand() % 256);
        for (int i = 0; i < 4; i++) h[i] = g[i];
        const int x = 8 * (n % 40), y = 8 * ((n / 40) % 30);
        background_block_fill(p.screen.get(), x, y, p.texture.get(), 3, &g[0], &g[1], &g[2], &g[3]);
        background_block_fill_scalar(other.get(), x, y, p.texture.get(), 3, &h[0], &h[1], &h[2], &h[3]);
        for (int r = 0; r < 8; r++)
            for (int c = 0; c < 8; c++)
                ASSERT_EQ(p.screen->pixels[p.screen->rows[y + r] + x + c], other->pixels[other->rows[y + r] + x + c])
                    << "block " << n << " pixel " << c << "," << r;
        for (int i = 0; i < 4; i++)
            for (int k = 0; k < 3; k++) ASSERT_EQ(g[i].c[k], h[i].c[k]);
    }
}

// Corners far outside one turn, negative, or with shades outside 0-255: the
// SIMD path finds texel indices from the low 16 bits of the 8.8 values and
// must still read the texels the byte loop reads.
TEST(BackgroundBlockFill, SimdMatchesByteLoopForOutOfRangeCorners) {
    Pixmaps p;
    TestPixmap other(320, 240);
    fill_noise(p.texture.get(), 13);
    const BackgroundPoint cases[][4] = {
        {point(-5000, -3, 0), point(-4100, 7, 20), point(-5001, -900, 255), point(-3000, 40, 255)},
        {point(70000, 65536, -40), point(70500, 65100, 300), point(69000, 66000, 1000), point(71000, 64000, -300)},
        {point(0, 0, 0), point(2047, 0, 0), point(-2047, 1023, 0), point(4095, -1023, 255)},
        {point(255, 255, 255), point(-256, -256, -256), point(100000, -100000, 65535), point(-65536, 65535, -65536)},
    };
    for (size_t n = 0; n < sizeof cases / sizeof cases[0]; n++) {
        BackgroundPoint g[4], h[4];
        for (int i = 0; i < 4; i++) g[i] = h[i] = cases[n][i];
        background_block_fill(p.screen.get(), 0, 0, p.texture.get(), 3, &g[0], &g[1], &g[2], &g[3]);
        background_block_fill_scalar(other.get(), 0, 0, p.texture.get(), 3, &h[0], &h[1], &h[2], &h[3]);
        for (int r = 0; r < 8; r++)
            for (int c = 0; c < 8; c++)
                ASSERT_EQ(p.screen->pixels[p.screen->rows[r] + c], other->pixels[other->rows[r] + c])
                    << "case " << n << " pixel " << c << "," << r;
    }
}

TEST(BackgroundBlockFill, WrapCorrectionsStayInTheGridAndTakeTheShortWay) {
    Pixmaps p;
    for (int v = 0; v < 256; v++)
        for (int u = 0; u < 256; u++) p.texture->pixels[v * 256 + u] = uint32_t(u) | uint32_t(v) << 8;
    // Down the left edge u passes from 1020 to 4: the bottom corner moves up a turn.
    BackgroundPoint a = point(1020, 0, 0), b = point(1020, 0, 0), c = point(4, 0, 0), d = point(1020, 0, 0);
    background_block_fill(p.screen.get(), 0, 0, p.texture.get(), 2, &a, &b, &c, &d);
    EXPECT_EQ(c.c[0], 1028);
    EXPECT_EQ(a.c[0], 1020);
    // Rows step from 1020 towards 1028 (by one texel per row): texels 252 .. 259 & 255.
    for (int r = 0; r < 8; r++) EXPECT_EQ(p.screen->pixels[p.screen->rows[r]] & 0xFF, uint32_t((1020 + r) & 255));
    // Across a row: left 4, right 1020 (difference above 900): the left end moves up
    // a turn, so the row runs 1028 -> 1020 (short way, down) and not 4 -> 1020.
    a = point(4, 0, 0), b = point(1020, 0, 0), c = point(4, 0, 0), d = point(1020, 0, 0);
    background_block_fill(p.screen.get(), 8, 0, p.texture.get(), 2, &a, &b, &c, &d);
    EXPECT_EQ(p.screen->pixels[8] & 0xFF, 4u);
    EXPECT_EQ(p.screen->pixels[9] & 0xFF, 3u);
    EXPECT_EQ(p.screen->pixels[15] & 0xFF, uint32_t((1028 - 7) & 255));
    // A 2-component fill copies texels unchanged (no shade), v from the high byte.
    a = b = c = d = point(17, 300, 0);
    background_block_fill(p.screen.get(), 16, 0, p.texture.get(), 2, &a, &b, &c, &d);
    EXPECT_EQ(p.screen->pixels[16], uint32_t(17 | (300 & 255) << 8));
}

TEST(BackgroundSphere, RadiusZeroShowsOneTexelBrightenedByTheShade) {
    Pixmaps p;
    fill_noise(p.texture.get(), 3);
    sphere_draw(p.screen.get(), p.texture.get(), 0.0f, 32.0f, 0.0f, 0.0f, 0.0f);
    for (int j = 0; j < BACKGROUND_GRID_ROWS; j++)
        for (int i = 0; i < BACKGROUND_GRID_COLUMNS; i++) {
            ASSERT_EQ(background_grid[j][i].c[0], 0);
            ASSERT_EQ(background_grid[j][i].c[1], 512);
            ASSERT_GE(background_grid[j][i].c[2], 32);
        }
    // Texel (0, 512 & 255 = 0): pixel 0 of the texture, every screen pixel a shade of it.
    const uint32_t texel = p.texture->pixels[0];
    const uint32_t corner = p.screen->pixels[0];
    for (int byte = 0; byte < 4; byte++) {
        const uint32_t b = (texel >> (8 * byte)) & 255, out = (corner >> (8 * byte)) & 255;
        EXPECT_GE(out + 1, b * 255 / 256) << "byte " << byte;
    }
}

TEST(BackgroundTunnel, StraightTunnelHasRingsAndWedgesAroundTheCentre) {
    Pixmaps p;
    fill_noise(p.texture.get(), 5);
    tunnel_draw(p.screen.get(), p.texture.get(), 0.0f, 32.0f, 0.0f, 0.0f, 0.0f);
    for (int j = 0; j < BACKGROUND_GRID_ROWS; j++)
        for (int i = 0; i < BACKGROUND_GRID_COLUMNS; i++) {
            const BackgroundPoint& g = background_grid[j][i];
            ASSERT_TRUE(g.c[0] >= 0 && g.c[0] <= 255 && g.c[1] >= 0 && g.c[1] <= 255);
            ASSERT_TRUE(g.c[2] >= 32 && g.c[2] <= 255);
        }
    // Grid points next to the brightest spot (column 20.5, row 16.5) clamp to 255.
    EXPECT_EQ(background_grid[16][20].c[2], 255);
    EXPECT_EQ(background_grid[17][21].c[2], 255);
    // v depends only on the distance from the axis: columns 1 and 40 of a row
    // lie mirrored about it (the columns stop one step short of the right edge).
    for (int j = 0; j < BACKGROUND_GRID_ROWS; j++)
        EXPECT_NEAR(background_grid[j][1].c[1], background_grid[j][40].c[1], 1) << "row " << j;
    // The texture wraps 8 times around: rolling the tunnel by an eighth of a turn
    // moves every u by 256 texels, so the same texels show (within rounding).
    BackgroundPoint before[BACKGROUND_GRID_ROWS][BACKGROUND_GRID_COLUMNS];
    std::copy(&background_grid[0][0], &background_grid[0][0] + BACKGROUND_GRID_ROWS * BACKGROUND_GRID_COLUMNS,
              &before[0][0]);
    tunnel_draw(p.screen.get(), p.texture.get(), 0.0f, 32.0f, 0.0f, 0.0f, float(M_PI / 4));
    int moved = 0;
    for (int j = 0; j < BACKGROUND_GRID_ROWS; j++)
        for (int i = 0; i < BACKGROUND_GRID_COLUMNS; i++) {
            const int du = (background_grid[j][i].c[0] - before[j][i].c[0]) & 255;
            EXPECT_TRUE(du <= 1 || du >= 255) << j << "," << i;
            EXPECT_NEAR(background_grid[j][i].c[1], before[j][i].c[1], 1);
            moved += background_grid[j][i].c[0] != before[j][i].c[0];
        }
    EXPECT_LT(moved, BACKGROUND_GRID_ROWS * BACKGROUND_GRID_COLUMNS / 4);
    // Scrolling t moves v along the axis by t texels.
    tunnel_draw(p.screen.get(), p.texture.get(), 10.0f, 32.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(background_grid[5][5].c[1], (before[5][5].c[1] + 10) & 255);
}

TEST(BackgroundDraw, RefusesTexturesTooSmallToReadAs256By256) {
    Pixmaps p;
    TestPixmap small(64, 64);
    fill_noise(small.get(), 1);
    pixmap_clear_rect(p.screen.get(), 0, 0, 320, 240, 0x12345678u);
    tunnel_draw(p.screen.get(), small.get(), 0.0f, 32.0f, 0.0f, 0.0f, 0.0f);
    sphere_draw(p.screen.get(), small.get(), 10.0f, 32.0f, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 320 * 240; i++) ASSERT_EQ(p.screen->pixels[i], 0x12345678u);
}

TEST(BackgroundTrunc, TruncatesTowardsZeroAndGivesIntMinOutOfRange) {
    EXPECT_EQ(background_trunc(-2.7), -2);
    EXPECT_EQ(background_trunc(2.7), 2);
    EXPECT_EQ(background_trunc(1e30), INT32_MIN);
    EXPECT_EQ(background_trunc(std::nan("")), INT32_MIN);
}
