// The windowed GDI driver on the headless host: its one mode, Caps Lock against
// Shift, keys that only set state, the arrow-key joystick, the bottom-up bitmap
// as the window shows it, clipping with and without doubling, and focus.
#include <gtest/gtest.h>

#include "engine/display/gfx.h"
#include "tests/display/display_test_util.h"

static const GfxDriver* gfx = &gfx_gdi_driver;

TEST(GdiDriver, ModesAndCapsBeforeOpen) {
    EXPECT_EQ(gfx->get_caps(), 0);
    EXPECT_EQ(gfx->mouse_raw_x(), 0);
    int32_t count = 0;
    GfxMode* modes = gfx->get_modes(&count);
    ASSERT_NE(modes, nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(modes[0].width, -1);
    EXPECT_EQ(modes[0].height, -1);
    EXPECT_EQ(modes[0].bits_per_pixel, 32);
    EXPECT_EQ(gfx->get_modes(&count), modes);
}

TEST(GdiDriver, OnlyThirtyTwoBitsOpen) {
    for (uint32_t mode : {GFX_MODE_8BPP, GFX_MODE_16BPP, GFX_MODE_24BPP}) {
        EXPECT_EQ(gfx->open(320, 240, "x", mode), 0);
        EXPECT_STREQ(gfx->error_string(), "[Win32gdi] Requested mode not supported");
        EXPECT_STREQ(gfx->error_string(), "[Win32gdi] No error, so far...");
    }
    EXPECT_EQ(GetActiveWindow(), nullptr);
    host_fail_next("CreateWindowExA", 0);
    EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_32BPP), 0);
    EXPECT_STREQ(gfx->error_string(), "[Win32gdi] Failed opening window");
    host_fail_next("GetDC", 0);
    EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_32BPP), 0);
    EXPECT_STREQ(gfx->error_string(), "[Win32gdi] No device context");
    EXPECT_EQ(GetActiveWindow(), nullptr);  // destroyed again
    host_fail_next("CreateDIBSection", 0);
    EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_32BPP), 0);
    EXPECT_STREQ(gfx->error_string(), "[Win32gdi] Unable to get a Device Independent Bitmap");
    EXPECT_EQ(GetActiveWindow(), nullptr);
    // Mode 0 and any other value than 1, 2, 4 mean 32 bits; high bits are ignored.
    ASSERT_EQ(gfx->open(320, 240, "x", 0x100), 1);
    EXPECT_EQ(gfx->get_caps(), 0x4A);
    gfx->close();
    EXPECT_EQ(gfx->get_caps(), 0x4A);  // close leaves the flags
}

TEST(GdiDriver, BlitAndUpdateWithoutAnOpenDisplaySayNotOpen) {
    const char* not_open = "[Win32gdi] Display not open (blit or update before open, or after close)";
    ASSERT_EQ(gfx->open(320, 240, "x", GFX_MODE_32BPP), 1);
    EXPECT_EQ(gfx->update(), 1);
    EXPECT_STREQ(gfx->error_string(), "[Win32gdi] No error, so far...");
    gfx->close();
    EXPECT_EQ(gfx->blit(0, 0, nullptr, 0, 0, 8, 8), 0);
    EXPECT_STREQ(gfx->error_string(), not_open);
    EXPECT_EQ(gfx->update(), 1);  // the interface's result is kept
    EXPECT_STREQ(gfx->error_string(), not_open);
    EXPECT_STREQ(gfx->error_string(), "[Win32gdi] No error, so far...");
}

class GdiOpen : public ::testing::Test {
protected:
    void SetUp() override {
        host_reset();
        ASSERT_EQ(gfx->open(320, 240, "Wendril", GFX_MODE_32BPP), 1) << gfx->error_string();
    }
    void TearDown() override { gfx->close(); }
    void press(UINT vk) { host_inject_key(vk, true); }
    void release(UINT vk) { host_inject_key(vk, false); }
    void tap(UINT vk) {
        press(vk);
        release(vk);
    }
};

TEST_F(GdiOpen, WindowIsCentredWithTheDisplaySizeAsClientArea) {
    HWND w = GetActiveWindow();
    ASSERT_NE(w, nullptr);
    RECT r;
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 240);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    // The window (frame included) starts at the centring offset.
    RECT outer = {0, 0, 320, 240};
    AdjustWindowRectEx(&outer, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, 0);
    EXPECT_EQ(origin.x, ((GetSystemMetrics(SM_CXSCREEN) - 320) >> 1) - outer.left);
    EXPECT_EQ(gfx->mouse_x(), 160);  // open puts the mouse in the middle
    EXPECT_EQ(gfx->mouse_y(), 120);
    EXPECT_EQ(gfx->mouse_raw_x(), 0);
}

TEST_F(GdiOpen, CapsLockUpperCasesButShiftDoesNot) {
    press(VK_SHIFT);
    tap('A');
    EXPECT_EQ(gfx->key_state(260), 1);
    EXPECT_EQ(gfx->key_state(261), 1);
    EXPECT_EQ(gfx->key_state(16), 0);
    EXPECT_EQ(gfx->get_key(), 'a');  // Shift itself is not queued either
    EXPECT_EQ(gfx->get_key(), 0);
    release(VK_SHIFT);
    EXPECT_EQ(gfx->key_state(260), 0);
    tap(VK_CAPITAL);
    tap('B');
    tap('7');
    EXPECT_EQ(gfx->get_key(), 20);
    EXPECT_EQ(gfx->get_key(), 'B');
    EXPECT_EQ(gfx->get_key(), '7');
    tap(VK_CAPITAL);
    tap('C');
    EXPECT_EQ(gfx->get_key(), 20);
    EXPECT_EQ(gfx->get_key(), 'c');
}

TEST_F(GdiOpen, StateOnlyKeysNeverQueue) {
    press(VK_ADD);
    press(VK_SUBTRACT);
    press(VK_CONTROL);
    press(VK_LEFT);
    EXPECT_EQ(gfx->key_state('+'), 1);
    EXPECT_EQ(gfx->key_state('-'), 1);
    EXPECT_EQ(gfx->key_state(263), 1);
    EXPECT_EQ(gfx->key_state(258), 1);
    EXPECT_EQ(gfx->key_state(37), 0);  // the arrow's own table code is not used
    EXPECT_EQ(gfx->get_key(), 0);
    for (UINT vk : {VK_ADD, VK_SUBTRACT, VK_CONTROL, VK_LEFT}) release(vk);
    EXPECT_EQ(gfx->key_state('+'), 0);
    EXPECT_EQ(gfx->key_state(258), 0);
    EXPECT_EQ(gfx->get_key(), 0);
}

TEST_F(GdiOpen, QueueDropsThe257thAndStopsAtKeysWithoutCode) {
    for (int i = 0; i < 256; i++) tap('Q');
    tap('W');
    int n = 0;
    for (int32_t k; (k = gfx->get_key()) != 0; n++) ASSERT_EQ(k, 'q');
    EXPECT_EQ(n, 256);
    tap('A');
    tap(VK_NUMPAD0);  // virtual key 96: no engine code
    tap(VK_ESCAPE);
    EXPECT_EQ(gfx->get_key(), 'a');
    EXPECT_EQ(gfx->get_key(), 0);
    EXPECT_EQ(gfx->get_key(), 27);
}

TEST_F(GdiOpen, CloseButtonIsEscape) {
    host_inject_close();
    EXPECT_EQ(gfx->get_key(), 27);  // get_key pumps in this driver
}

TEST_F(GdiOpen, JoystickFromArrowsAndSpace) {
    EXPECT_EQ(gfx->joy_x(0), 0);
    press(VK_RIGHT);
    gfx->update();
    EXPECT_EQ(gfx->joy_x(0), 255);
    EXPECT_EQ(gfx->joy_x(1), 0);
    press(VK_LEFT);
    gfx->update();
    EXPECT_EQ(gfx->joy_x(0), 0);
    release(VK_RIGHT);
    gfx->update();
    EXPECT_EQ(gfx->joy_x(0), -255);
    release(VK_LEFT);
    press(VK_UP);
    gfx->update();
    EXPECT_EQ(gfx->joy_y(0), 255);
    release(VK_UP);
    press(VK_DOWN);
    press(VK_SPACE);
    gfx->update();
    EXPECT_EQ(gfx->joy_y(0), -255);
    EXPECT_EQ(gfx->joy_y(1), 0);
    EXPECT_EQ(gfx->joy_button(0), 1);
    EXPECT_EQ(gfx->joy_button(1), 0);
    release(VK_DOWN);
    release(VK_SPACE);
    gfx->update();
    EXPECT_EQ(gfx->joy_button(0), 0);
}

TEST_F(GdiOpen, MouseFollowsTheWindowMessages) {
    host_inject_mouse_move(10, 200);
    EXPECT_EQ(gfx->mouse_x(), 10);
    EXPECT_EQ(gfx->mouse_y(), 200);
    EXPECT_EQ(gfx->mouse_raw_x(), 10);
    EXPECT_EQ(gfx->mouse_raw_y(), 200);
    host_inject_mouse_button(1, true);
    EXPECT_EQ(gfx->mouse_buttons(), 2);
    host_inject_mouse_button(1, false);
    EXPECT_EQ(gfx->mouse_buttons(), 0);
}

TEST_F(GdiOpen, BlitShowsThePixmapTopDownInExactColours) {
    TestPixmap src(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) src.at(x, y) = test_rgb(x & 0xFF, y, (x + y) & 0xFF);
    uint64_t frames = host_frame_count();
    gfx->blit(0, 0, src.get(), 0, 0, 320, 240);
    EXPECT_EQ(host_frame_count(), frames + 1);
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 320; x += 5) ASSERT_EQ(frame_pixel(x, y), rgb_of(src.at(x, y))) << x << "," << y;
    EXPECT_EQ(frame_pixel(319, 239), rgb_of(src.at(319, 239)));
}

TEST_F(GdiOpen, BlitClipsAgainstPixmapAndDisplay) {
    TestPixmap black(320, 240), src(10, 10);
    black.clear(test_rgb(0, 0, 0));
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++) src.at(x, y) = test_pattern(x + 1, y + 1);
    gfx->blit(0, 0, black.get(), 0, 0, 320, 240);
    gfx->blit(315, -4, src.get(), -2, 0, 10, 10);  // source starts 2 early, display cuts top and right
    // dx grows to 317, the top 4 rows are cut, 3 columns fit.
    for (int y = 0; y < 8; y++)
        for (int x = 310; x < 320; x++) {
            uint32_t want = (x >= 317 && y < 6) ? rgb_of(src.at(x - 317, y + 4)) : 0;
            EXPECT_EQ(frame_pixel(x, y), want) << x << "," << y;
        }
    // Negative source and destination starts: source column -3 + j belongs at display
    // column -5 + j, so only source columns 2 .. 6 are drawn, at 0 .. 4.
    gfx->blit(0, 0, black.get(), 0, 0, 320, 240);
    gfx->blit(-5, 20, src.get(), -3, 0, 10, 10);
    for (int y = 18; y < 32; y++)
        for (int x = 0; x < 10; x++) {
            const uint32_t want = (x < 5 && y >= 20 && y < 30) ? rgb_of(src.at(x + 2, y - 20)) : 0;
            EXPECT_EQ(frame_pixel(x, y), want) << x << "," << y;
        }
    EXPECT_EQ(gfx->blit(0, 0, src.get(), 0, 0, -1, 5), 0);
    EXPECT_EQ(gfx->blit(0, 0, nullptr, 0, 0, 5, 5), 0);
}

TEST_F(GdiOpen, InactiveLeavesTheWindowAndFocusRedraws) {
    TestPixmap red(320, 240), green(320, 240);
    red.clear(test_rgb(255, 0, 0));
    green.clear(test_rgb(0, 255, 0));
    gfx->blit(0, 0, red.get(), 0, 0, 320, 240);
    uint64_t frames = host_frame_count();
    host_inject_focus(false);
    gfx->blit(0, 0, green.get(), 0, 0, 320, 240);
    EXPECT_EQ(host_frame_count(), frames);
    EXPECT_EQ(frame_pixel(100, 100), 0xFF0000u);
    host_inject_focus(true);
    gfx->update();
    EXPECT_EQ(host_frame_count(), frames + 1);  // shown again at once
    EXPECT_EQ(frame_pixel(100, 100), 0xFF0000u);
}

TEST_F(GdiOpen, ZDoublingFillsPairsAndStaysInsideTheBitmap) {
    EXPECT_EQ(gfx->set_option(0), 0);
    EXPECT_EQ(gfx->set_option(3), 1);  // any odd value
    TestPixmap src(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) src.at(x, y) = test_pattern(x, y);
    // Twice the display in each direction: only the top-left quarter of the source fits.
    gfx->blit(0, 0, src.get(), 0, 0, 320, 240);
    for (int y = 0; y < 240; y += 3)
        for (int x = 0; x < 320; x += 3) ASSERT_EQ(frame_pixel(x, y), rgb_of(src.at(x / 2, y / 2))) << x << "," << y;
    // An odd start leaves room for one copy of the last pixel and one copy of the last row.
    TestPixmap two(2, 2);
    two.at(0, 0) = two.at(0, 1) = test_rgb(1, 2, 3);
    two.at(1, 0) = two.at(1, 1) = test_rgb(4, 5, 6);
    gfx->blit(317, 237, two.get(), 0, 0, 2, 2);
    EXPECT_EQ(frame_pixel(318, 238), 0x010203u);
    EXPECT_EQ(frame_pixel(319, 238), 0x040506u);
    EXPECT_EQ(frame_pixel(319, 239), 0x040506u);
}

TEST(GdiDriverAfterDDraw, BothDriversCanRunInOneProcess) {
    // Both register the window class "Tavik": each close unregisters it, so the
    // second driver's window gets its own procedure and its messages.
    host_reset();
    ASSERT_EQ(gfx_ddraw_driver.open(320, 240, "a", GFX_MODE_32BPP), 1);
    gfx_ddraw_driver.close();
    ASSERT_EQ(gfx->open(64, 48, "b", GFX_MODE_32BPP), 1);
    TestPixmap p(64, 48);
    p.clear(test_rgb(9, 8, 7));
    uint64_t frames = host_frame_count();
    gfx->blit(0, 0, p.get(), 0, 0, 64, 48);
    EXPECT_EQ(host_frame_count(), frames + 1);
    EXPECT_EQ(frame_pixel(63, 47), 0x090807u);
    gfx->close();
}
