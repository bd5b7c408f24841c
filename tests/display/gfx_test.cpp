// The shared parts of the display-driver interface: the key table, the mode
// argument and the blit clipping at the edges of 32-bit arithmetic.
#include <gtest/gtest.h>

#include <climits>

#include "engine/display/gfx.h"

TEST(Gfx, KeyTable) {
    for (int vk = 0; vk < 256; vk++) {
        int want = 0;
        if (vk >= 1 && vk <= 64) want = vk;
        if (vk >= 'A' && vk <= 'Z') want = vk + 32;
        if (vk == 107) want = '+';
        if (vk == 109) want = '-';
        EXPECT_EQ(gfx_key_table[vk], want) << vk;
    }
}

TEST(Gfx, ModeArgument) {
    EXPECT_EQ(gfx_mode_bits(1), 8);
    EXPECT_EQ(gfx_mode_bits(2), 16);
    EXPECT_EQ(gfx_mode_bits(4), 24);
    EXPECT_EQ(gfx_mode_bits(8), 32);
    EXPECT_EQ(gfx_mode_bits(0), 32);
    EXPECT_EQ(gfx_mode_bits(3), 32);
    EXPECT_EQ(gfx_mode_bits(15), 32);
    EXPECT_EQ(gfx_mode_bits(0xFFF2), 16);  // high bits ignored
}

TEST(Gfx, ClippingSurvivesExtremeArguments) {
    GfxBlitRect r = {0, 0, INT_MAX - 1, 0, INT_MAX, 10};
    EXPECT_FALSE(gfx_clip_blit(&r, 320, 240, 320, 240));
    r = {INT_MIN, 0, 0, 0, 100, 10};
    EXPECT_FALSE(gfx_clip_blit(&r, 320, 240, 320, 240));
    r = {INT_MAX, 0, 0, 0, 100, 10};
    EXPECT_FALSE(gfx_clip_blit(&r, 320, 240, 320, 240));
    r = {-5, -5, INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_FALSE(gfx_clip_blit(&r, 320, 240, 320, 240));
    r = {0, 0, -10, -10, INT_MAX, INT_MAX};
    ASSERT_TRUE(gfx_clip_blit(&r, 320, 240, 320, 240));
    EXPECT_EQ(r.dx, 10);
    EXPECT_EQ(r.dy, 10);
    EXPECT_EQ(r.sx, 0);
    EXPECT_EQ(r.w, 310);
    EXPECT_EQ(r.h, 230);
}
