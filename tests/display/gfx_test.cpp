// The shared parts of the display-driver interface: the keyboard both drivers
// feed, the mode argument and the blit clipping at the edges of 32-bit arithmetic.
#include <gtest/gtest.h>

#include <climits>

#include "engine/display/gfx.h"
#include "platform/host.h"

// A key pressed through the host reaches both drivers' key_state and get_key
// as its engine code; its release clears the state again. The keys where the
// windowed driver keeps its own slots (arrows, pad plus and minus) are its tests'.
TEST(Gfx, InjectedKeysReachBothDriversAsEngineCodes) {
    struct Key {
        UINT vk;
        int32_t code;  // key-state slot and get_key result
    };
    static const Key keys[] = {
        {'A', 'a'}, {'Q', 'q'}, {'Z', 'z'}, {'0', '0'}, {'9', '9'}, {VK_ESCAPE, 27},
        {VK_SPACE, ' '}, {VK_RETURN, 13}, {VK_BACK, 8}, {VK_TAB, 9}, {'@', '@'},
    };
    for (const GfxDriver* driver : {&gfx_ddraw_driver, &gfx_gdi_driver}) {
        SCOPED_TRACE(driver == &gfx_gdi_driver ? "windowed" : "DirectDraw");
        host_reset();
        ASSERT_EQ(driver->open(320, 240, "keys", GFX_MODE_32BPP), 1) << driver->error_string();
        while (driver->key_state(0), driver->get_key()) {
        }
        for (const Key& k : keys) {
            SCOPED_TRACE(k.vk);
            ASSERT_TRUE(host_inject_key(k.vk, true));
            EXPECT_EQ(driver->key_state(k.code), 1);
            EXPECT_EQ(driver->get_key(), k.code);
            EXPECT_EQ(driver->get_key(), 0);
            ASSERT_TRUE(host_inject_key(k.vk, false));
            EXPECT_EQ(driver->key_state(k.code), 0);
        }
        // A key without an engine code sets no slot of a letter and queues nothing readable.
        ASSERT_TRUE(host_inject_key(VK_F1, true));
        EXPECT_EQ(driver->key_state('p'), 0);
        EXPECT_EQ(driver->get_key(), 0);
        host_inject_key(VK_F1, false);
        driver->close();
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
