// The DirectDraw driver on the headless host, driven through injected input:
// key queue and its limits, Caps Lock and Shift, the emulated mouse, blit clipping
// and conversion, doubling, focus, and the error paths of open.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/display/gfx.h"
#include "platform/ddraw.h"
#include "tests/display/display_test_util.h"

static const GfxDriver* gfx = &gfx_ddraw_driver;

// Runs first in its process: nothing has opened the driver yet.
TEST(DDrawDriver, CapsAndInputBeforeOpen) {
    EXPECT_EQ(current_gfx_driver, &gfx_ddraw_driver);
    EXPECT_EQ(gfx->get_caps(), 0);
    EXPECT_EQ(gfx->mouse_x(), 0);
    EXPECT_EQ(gfx->get_key(), 0);
    for (int i = -1; i < 3; i++) {
        EXPECT_EQ(gfx->joy_x(i), 0);
        EXPECT_EQ(gfx->joy_y(i), 0);
        EXPECT_EQ(gfx->joy_button(i), 0);
    }
}

// Second in its process, so the first round is before any open; the second
// is after a close. Success reads as success, not as "Unknown error".
TEST(DDrawDriver, BlitAndUpdateWithoutAnOpenDisplaySayNotOpen) {
    const char* not_open = "[DirectX] Display not open (blit or update before open, or after close)";
    for (bool after_close : {false, true}) {
        SCOPED_TRACE(after_close ? "after close" : "before open");
        if (after_close) {
            ASSERT_EQ(gfx->open(320, 240, "x", GFX_MODE_16BPP), 1);
            EXPECT_EQ(gfx->update(), 1);
            EXPECT_STREQ(gfx->error_string(), "[DirectX] No error");
            gfx->close();
        }
        EXPECT_EQ(gfx->blit(0, 0, nullptr, 0, 0, 8, 8), 0);
        EXPECT_STREQ(gfx->error_string(), not_open);
        EXPECT_EQ(gfx->update(), 1);  // the interface's result is kept
        EXPECT_STREQ(gfx->error_string(), not_open);
        EXPECT_STREQ(gfx->error_string(), "[DirectX] No error");
    }
}

TEST(DDrawDriver, ModeListHasOnlyDeepRgbModesAndIsBuiltOnce) {
    int32_t count = -1;
    GfxMode* modes = gfx->get_modes(&count);
    ASSERT_NE(modes, nullptr);
    ASSERT_EQ(count, 4);  // the 8-bit palette modes are left out
    EXPECT_EQ(modes[0].width, 320);
    EXPECT_EQ(modes[0].height, 240);
    EXPECT_EQ(modes[0].bits_per_pixel, 16);
    EXPECT_EQ(modes[1].bits_per_pixel, 32);
    EXPECT_EQ(modes[3].width, 640);
    int32_t again = 0;
    EXPECT_EQ(gfx->get_modes(&again), modes);
    EXPECT_EQ(again, 4);
}

TEST(DDrawDriver, UnlistedModesFailWithSettingModeBeforeAnyWindow) {
    EXPECT_EQ(gfx->open(800, 600, "x", GFX_MODE_16BPP), 0);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_STREQ(gfx->error_string(), "[DirectX] Failed while setting mode");
    EXPECT_STREQ(gfx->error_string(), "[DirectX] No error");  // the code was reset
    EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_24BPP), 0);  // no 24-bit mode on this display
    EXPECT_STREQ(gfx->error_string(), "[DirectX] Failed while setting mode");
    EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_8BPP), 0);
}

TEST(DDrawDriver, FailingStepsReportTheirMessageAndCleanUp) {
    struct Case {
        const char* call;
        int32_t result;
        const char* message;
    } cases[] = {
        {"CreateWindowExA", 0, "[DirectX] Failed while opening window"},
        {"LoadLibraryA", 0, "[DirectX] Unable to load ddraw.dll"},
        {"GetProcAddress", 0, "[DirectX] Missing functions in ddraw.dll"},
        {"DirectDrawCreate", DDERR_GENERIC, "[DirectX] Failed while create DirectDraw object"},
        {"SetCooperativeLevel", DDERR_GENERIC, "[DirectX] Unable to set cooperative mode"},
        {"SetDisplayMode", DDERR_INVALIDMODE, "[DirectX] Failed while setting mode"},
        {"CreateSurface", DDERR_OUTOFMEMORY, "[DirectX] Unable to create surface"},
    };
    int32_t count;
    ASSERT_NE(gfx->get_modes(&count), nullptr);  // so the failures hit open, not the mode list
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        host_fail_next(c.call, c.result);
        EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_16BPP), 0);
        EXPECT_STREQ(gfx->error_string(), c.message);
        EXPECT_EQ(GetActiveWindow(), nullptr);  // the window was destroyed
        EXPECT_EQ(GetModuleHandleA("ddraw.dll"), nullptr);  // and the library freed
    }
    // Nothing left behind: a normal open still works.
    ASSERT_EQ(gfx->open(320, 240, "x", GFX_MODE_16BPP), 1);
    gfx->close();
}

TEST(DDrawDriver, UnreadablePixelFormatWritesPferr) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("tavik_pferr_" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path old = fs::current_path();
    fs::current_path(dir);
    host_fail_next("GetPixelFormat", DDERR_INVALIDOBJECT);
    EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_16BPP), 0);
    EXPECT_STREQ(gfx->error_string(), "[DirectX] Failed while reading DDPIXELFORMAT");
    std::ifstream f("pferr.txt");
    std::stringstream text;
    text << f.rdbuf();
    EXPECT_EQ(text.str(), "DDERR_INVALIDOBJECT\n88760082\n");
    // A result without a name gets only the number.
    host_fail_next("GetPixelFormat", DDERR_GENERIC);
    EXPECT_EQ(gfx->open(320, 240, "x", GFX_MODE_16BPP), 0);
    std::ifstream g("pferr.txt");
    std::stringstream text2;
    text2 << g.rdbuf();
    EXPECT_EQ(text2.str(), "80004005\n");
    fs::current_path(old);
    fs::remove_all(dir);
}

// An open 320 x 240 display for the tests below.
class DDrawOpen : public ::testing::Test {
protected:
    int32_t bits = 16;
    void open(uint32_t mode) {
        host_reset();
        ASSERT_EQ(gfx->open(320, 240, "Wendril", mode), 1) << gfx->error_string();
        bits = gfx_mode_bits(mode);
        while (gfx->get_key()) {
        }
    }
    void SetUp() override { open(GFX_MODE_16BPP); }
    void TearDown() override { gfx->close(); }
    void press(UINT vk) { host_inject_key(vk, true); }
    void release(UINT vk) { host_inject_key(vk, false); }
    void tap(UINT vk) {
        press(vk);
        release(vk);
    }
};

TEST_F(DDrawOpen, OpenSetsCapsAndShowsFrames) {
    EXPECT_EQ(gfx->get_caps(), 0x4A);
    TestPixmap white(320, 240);
    white.clear(test_rgb(255, 255, 255));
    uint64_t before = host_frame_count();
    gfx->update();
    gfx->blit(0, 0, white.get(), 0, 0, 320, 240);
    EXPECT_EQ(host_frame_count(), before + 1);
    int32_t w, h;
    ASSERT_NE(host_last_frame(&w, &h), nullptr);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    // 5-6-5 white is (30 << 11) | (62 << 5) | 30; shown as 8-bit channels 247, 251, 247.
    EXPECT_EQ(frame_pixel(0, 0), 0xF7FBF7u);
    EXPECT_EQ(frame_pixel(319, 239), 0xF7FBF7u);
}

TEST_F(DDrawOpen, KeysQueueInOrderWithShiftAndCapsLock) {
    tap('A');
    tap(VK_ESCAPE);
    tap('1');
    press(VK_SHIFT);
    tap('B');
    release(VK_SHIFT);
    tap('C');
    gfx->update();
    EXPECT_EQ(gfx->get_key(), 'a');
    EXPECT_EQ(gfx->get_key(), 27);
    EXPECT_EQ(gfx->get_key(), '1');
    // Shift is virtual key 16, which this driver keeps in slot 16: but it is also queued.
    EXPECT_EQ(gfx->get_key(), 16);
    // Shift was already released when the queue is read: the state at reading time counts.
    EXPECT_EQ(gfx->get_key(), 'b');
    EXPECT_EQ(gfx->get_key(), 'c');
    EXPECT_EQ(gfx->get_key(), 0);

    press(VK_SHIFT);
    tap('D');
    gfx->update();
    EXPECT_EQ(gfx->key_state(16), 1);
    EXPECT_EQ(gfx->get_key(), 16);
    EXPECT_EQ(gfx->get_key(), 'D');
    release(VK_SHIFT);
    gfx->update();
    EXPECT_EQ(gfx->key_state(16), 0);

    tap(VK_CAPITAL);  // Caps Lock on
    tap('E');
    tap('5');
    gfx->update();
    EXPECT_EQ(gfx->get_key(), 20);
    EXPECT_EQ(gfx->get_key(), 'E');
    EXPECT_EQ(gfx->get_key(), '5');  // only letters change
    tap(VK_CAPITAL);  // and off
    tap('F');
    gfx->update();
    EXPECT_EQ(gfx->get_key(), 20);
    EXPECT_EQ(gfx->get_key(), 'f');
}

TEST_F(DDrawOpen, QueueHolds256AndDropsTheRest) {
    for (int i = 0; i < 256; i++) tap('A');
    tap('B');
    gfx->update();
    int n = 0;
    for (int32_t k; (k = gfx->get_key()) != 0; n++) EXPECT_EQ(k, 'a');
    EXPECT_EQ(n, 256);
    EXPECT_EQ(gfx->key_state('b'), 0);  // its state was still kept (and released)
}

TEST_F(DDrawOpen, KeyWithoutEngineCodeStopsTheDrain) {
    tap('A');
    tap(VK_F1);  // virtual key 112: no engine code
    tap(VK_ESCAPE);
    gfx->update();
    EXPECT_EQ(gfx->get_key(), 'a');
    EXPECT_EQ(gfx->get_key(), 0);
    EXPECT_EQ(gfx->get_key(), 27);  // read at the next drain
    EXPECT_EQ(gfx->get_key(), 0);
}

TEST_F(DDrawOpen, NumericPadPlusAndMinusQueueHere) {
    press(VK_ADD);
    tap(VK_SUBTRACT);
    EXPECT_EQ(gfx->key_state('+'), 1);
    EXPECT_EQ(gfx->key_state('-'), 0);
    EXPECT_EQ(gfx->get_key(), '+');
    EXPECT_EQ(gfx->get_key(), '-');
    release(VK_ADD);
    EXPECT_EQ(gfx->key_state('+'), 0);
    EXPECT_EQ(gfx->key_state(600), 0);
    EXPECT_EQ(gfx->key_state(-1), 0);
    EXPECT_EQ(gfx->key_state(300), 0);  // no key reaches the upper slots in this driver
}

TEST_F(DDrawOpen, ClosingTheWindowIsEscape) {
    ASSERT_TRUE(host_inject_close());
    gfx->update();
    EXPECT_EQ(gfx->get_key(), 27);
    EXPECT_NE(GetActiveWindow(), nullptr);  // the window stays until close
}

TEST_F(DDrawOpen, EmulatedMouseAccumulatesAndClamps) {
    auto tick = [] {
        host_clock_advance(20000);
        gfx->mouse_x();  // pumps: the 20 ms window timer runs
    };
    auto clamp = [](int32_t v, int32_t hi) { return v < 0 ? 0 : v > hi ? hi : v; };
    // The driver never resets its mouse: earlier ticks in this process count, so start from here.
    host_inject_mouse_move(160, 120);  // at the centre: no movement
    tick();
    const int32_t x0 = gfx->mouse_x(), y0 = gfx->mouse_y(), rx0 = gfx->mouse_raw_x(), ry0 = gfx->mouse_raw_y();
    tick();
    EXPECT_EQ(gfx->mouse_raw_x(), rx0);
    host_inject_mouse_move(319, 130);
    tick();
    EXPECT_EQ(gfx->mouse_x(), clamp(x0 + 159, 320));
    EXPECT_EQ(gfx->mouse_y(), clamp(y0 + 10, 240));
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 160);  // put back at the centre
    EXPECT_EQ(p.y, 120);
    host_inject_mouse_move(319, 120);
    tick();
    host_inject_mouse_move(319, 120);
    tick();
    EXPECT_EQ(gfx->mouse_x(), 320);  // the bound itself is allowed
    EXPECT_EQ(gfx->mouse_raw_x(), rx0 + 477);  // raw keeps counting
    host_inject_mouse_move(0, 0);
    tick();
    EXPECT_EQ(gfx->mouse_x(), 160);
    EXPECT_EQ(gfx->mouse_y(), clamp(clamp(y0 + 10, 240) - 120, 240));
    EXPECT_EQ(gfx->mouse_raw_x(), rx0 + 317);
    EXPECT_EQ(gfx->mouse_raw_y(), ry0 - 110);
    host_inject_mouse_button(0, true);
    host_inject_mouse_button(1, true);
    EXPECT_EQ(gfx->mouse_buttons(), 3);
    host_inject_mouse_button(0, false);
    EXPECT_EQ(gfx->mouse_buttons(), 2);
    host_inject_mouse_button(1, false);
    EXPECT_EQ(gfx->mouse_buttons(), 0);
}

TEST_F(DDrawOpen, ForeignTimerPrintsItsLine) {
    ASSERT_NE(SetTimer(GetActiveWindow(), 7, 10, nullptr), 0u);
    testing::internal::CaptureStdout();
    host_clock_advance(10000);
    gfx->update();
    fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    KillTimer(GetActiveWindow(), 7);
    EXPECT_EQ(out, "Unknown timer caught!\n");
}

TEST_F(DDrawOpen, InactiveDrawsNothingAndFocusBackRestoresTheSurface) {
    TestPixmap red(320, 240), blue(320, 240);
    red.clear(test_rgb(255, 0, 0));
    blue.clear(test_rgb(0, 0, 255));
    gfx->blit(0, 0, red.get(), 0, 0, 320, 240);
    uint64_t frames = host_frame_count();
    host_inject_focus(false);
    gfx->update();
    gfx->blit(0, 0, blue.get(), 0, 0, 320, 240);
    EXPECT_EQ(host_frame_count(), frames);  // nothing drawn, nothing shown
    EXPECT_EQ(frame_pixel(5, 5), 0xF70000u);
    uint64_t t = host_clock_us();
    gfx->update();  // no vertical-blank wait while inactive
    EXPECT_EQ(host_clock_us(), t);
    host_inject_focus(true);
    gfx->blit(0, 0, blue.get(), 0, 0, 320, 240);  // the lost surface is restored and drawn
    EXPECT_EQ(host_frame_count(), frames + 1);
    EXPECT_EQ(frame_pixel(5, 5), 0x0000F7u);
}

TEST_F(DDrawOpen, UpdateWaitsOneFramePeriod) {
    uint64_t t = host_clock_us();
    gfx->update();
    uint64_t step = host_clock_us() - t;
    EXPECT_GE(step, 16666u);
    EXPECT_LE(step, 16667u);
}

class DDrawOpen32 : public DDrawOpen {
protected:
    void SetUp() override { open(GFX_MODE_32BPP); }
};

TEST_F(DDrawOpen32, EightBitChannelsMap255To254) {
    TestPixmap p(4, 1);
    p.at(0, 0) = test_rgb(255, 255, 255);
    p.at(1, 0) = test_rgb(128, 1, 0);
    p.at(2, 0) = 0x00FFFFFFu;  // the fourth byte is ignored
    p.at(3, 0) = test_rgb(0, 0, 2);
    gfx->blit(0, 0, p.get(), 0, 0, 4, 1);
    EXPECT_EQ(frame_pixel(0, 0), 0xFEFEFEu);
    EXPECT_EQ(frame_pixel(1, 0), 0x7F0000u);  // 128 x 255/256 = 127.5 -> 127; 1 -> 0
    EXPECT_EQ(frame_pixel(2, 0), 0xFEFEFEu);
    EXPECT_EQ(frame_pixel(3, 0), 0x000001u);
}

TEST_F(DDrawOpen32, BlitClipsOnEverySide) {
    TestPixmap black(320, 240);
    black.clear(test_rgb(0, 0, 0));
    TestPixmap src(16, 12);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 16; x++) src.at(x, y) = test_pattern(x + 1, y + 1);
    struct Case {
        int32_t dx, dy, sx, sy, w, h;
        // expected: display (ex, ey) shows source (esx, esy); the copied size ew x eh
        int32_t ex, ey, esx, esy, ew, eh;
    } cases[] = {
        {10, 20, 0, 0, 16, 12, 10, 20, 0, 0, 16, 12},      // inside
        {-3, 20, 0, 0, 16, 12, 0, 20, 3, 0, 13, 12},       // left edge of the display
        {10, -5, 0, 0, 16, 12, 10, 0, 0, 5, 16, 7},        // top edge
        {310, 20, 0, 0, 16, 12, 310, 20, 0, 0, 10, 12},    // right edge
        {10, 235, 0, 0, 16, 12, 10, 235, 0, 0, 16, 5},     // bottom edge
        {10, 20, -4, -2, 16, 12, 14, 22, 0, 0, 12, 10},    // source starts before the Pixmap
        {10, 20, 8, 6, 100, 100, 10, 20, 8, 6, 8, 6},      // source runs past the Pixmap
        // Both starts negative: every source pixel keeps its place, (sx + j, sy + i) at
        // (dx + j, dy + i), and only what lies inside both is drawn. Source columns
        // -3 .. 6 would land on -5 .. 4: columns 2 .. 6 are drawn at 0 .. 4.
        {-5, 20, -3, 0, 10, 12, 0, 20, 2, 0, 5, 12},
        {-2, 20, -3, 0, 10, 12, 1, 20, 0, 0, 7, 12},       // the Pixmap's left edge comes first
        {-20, 20, 0, 0, 16, 12, 0, 0, 0, 0, 0, 0},         // entirely left: nothing
        {10, 240, 0, 0, 16, 12, 0, 0, 0, 0, 0, 0},         // entirely below
        {10, 20, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0},           // empty
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dx << "," << c.dy << " " << c.sx << "," << c.sy);
        gfx->blit(0, 0, black.get(), 0, 0, 320, 240);
        gfx->blit(c.dx, c.dy, src.get(), c.sx, c.sy, c.w, c.h);
        int written = 0;
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 320; x++) {
                uint32_t px = frame_pixel(x, y);
                bool inside = x >= c.ex && x < c.ex + c.ew && y >= c.ey && y < c.ey + c.eh;
                uint32_t want = inside ? dd32_colour(src.at(c.esx + x - c.ex, c.esy + y - c.ey)) : 0;
                if (px != want) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << px << " not " << want;
                    return;
                }
                written += inside;
            }
        EXPECT_EQ(written, c.ew * c.eh);
    }
}

// Doubling stays on once set: these suites are registered (and so run) last.
using DDrawDoubling = DDrawOpen;
using DDrawDoubling32 = DDrawOpen32;

TEST_F(DDrawDoubling, LeavesOddRowsAndStaysInsideTheSurface) {
    EXPECT_EQ(gfx->set_option(2), 0);
    EXPECT_EQ(gfx->set_option(3), 0);  // only the value 1 here
    TestPixmap blue(320, 240);
    blue.clear(test_rgb(0, 0, 255));
    gfx->blit(0, 0, blue.get(), 0, 0, 320, 240);
    ASSERT_EQ(gfx->set_option(1), 1);
    TestPixmap src(3, 2);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++) src.at(x, y) = test_pattern(x + 1, y + 1);
    gfx->blit(4, 6, src.get(), 0, 0, 3, 2);
    for (int y = 4; y < 12; y++)
        for (int x = 2; x < 12; x++) {
            bool even_row = y == 6 || y == 8;
            bool inside = x >= 4 && x < 10 && even_row;
            uint32_t want = inside ? 0 : 0x0000F7u;
            if (inside) want = dd16_colour(src.at((x - 4) / 2, (y - 6) / 2));
            EXPECT_EQ(frame_pixel(x, y), want) << x << "," << y;
        }
    // A doubled full-size blit would be twice the surface: it is clipped to it.
    TestPixmap big(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) big.at(x, y) = test_pattern(x, y);
    gfx->blit(0, 0, big.get(), 0, 0, 320, 240);
    EXPECT_EQ(frame_pixel(318, 238), frame_pixel(319, 238));
    TestPixmap one(1, 1);
    one.clear(big.at(159, 119));
    // Same colour as source (159, 119) shown alone at an even spot.
    gfx->blit(0, 0, one.get(), 0, 0, 1, 1);
    EXPECT_EQ(frame_pixel(318, 238), frame_pixel(0, 0));
}

TEST_F(DDrawDoubling32, ThirtyTwoBitsToo) {
    gfx->set_option(1);
    TestPixmap src(2, 1);
    src.at(0, 0) = test_rgb(255, 0, 0);
    src.at(1, 0) = test_rgb(0, 255, 0);
    TestPixmap black(320, 240);
    black.clear(test_rgb(0, 0, 0));
    gfx->blit(0, 0, black.get(), 0, 0, 320, 240);
    gfx->blit(317, 0, src.get(), 0, 0, 2, 1);  // the second source pixel has room for one copy
    EXPECT_EQ(frame_pixel(317, 0), 0xFE0000u);
    EXPECT_EQ(frame_pixel(318, 0), 0xFE0000u);
    EXPECT_EQ(frame_pixel(319, 0), 0x00FE00u);
    EXPECT_EQ(frame_pixel(317, 1), 0u);
}
