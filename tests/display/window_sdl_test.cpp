// The DirectDraw driver in a real window through the SDL host: a known pattern is
// blitted, the window is photographed from the X server and must show the pattern
// scaled with sharp pixels (also after a resize with no new frame), and keys typed and a button pressed with xdotool must come
// out of get_key and mouse_buttons.
// Run by tests/window_test.sh, which provides an X display (Xvfb when there is none).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/display/gfx.h"
#include "tests/display/display_test_util.h"

static std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    return out;
}

// Reads a binary PPM (P6, maxval 255) into RGB bytes.
static bool read_ppm(const std::string& path, int* w, int* h, std::vector<uint8_t>* rgb) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    int maxval = 0;
    bool ok = fscanf(f, "P6 %d %d %d", w, h, &maxval) == 3 && maxval == 255 && *w > 0 && *h > 0 &&
              *w < 10000 && *h < 10000;
    if (ok) {
        fgetc(f);  // the single whitespace after the header
        rgb->resize((size_t)*w * *h * 3);
        ok = fread(rgb->data(), 1, rgb->size(), f) == rgb->size();
    }
    fclose(f);
    return ok;
}

// The pattern: four coloured quadrants with a one-pixel checkerboard in the middle.
static uint32_t pattern(int x, int y) {
    if (x >= 140 && x < 180 && y >= 100 && y < 140) return ((x + y) & 1) ? test_rgb(255, 255, 255) : test_rgb(0, 0, 0);
    if (y < 120) return x < 160 ? test_rgb(255, 0, 0) : test_rgb(0, 255, 0);
    return x < 160 ? test_rgb(0, 0, 255) : test_rgb(255, 255, 0);
}

TEST(WindowSdl, PatternShownScaledAndEscapeTyped) {
    if (!getenv("TAVIK_WINDOW_TEST")) GTEST_SKIP() << "run by tests/window_test.sh under an X display";
    const GfxDriver* gfx = current_gfx_driver;
    const std::string caption = "Tavik window test " + std::to_string(getpid());
    ASSERT_EQ(gfx->open(320, 240, caption.c_str(), GFX_MODE_32BPP), 1) << gfx->error_string();
    TestPixmap pic(320, 240);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) pic.at(x, y) = pattern(x, y);
    // A few frames, so the window is mapped and the picture reached the screen.
    for (int i = 0; i < 20; i++) {
        gfx->update();
        gfx->blit(0, 0, pic.get(), 0, 0, 320, 240);
    }
    gfx->update();
    std::string id = run("xdotool search --name '" + caption + "' | head -n 1");
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    ASSERT_FALSE(id.empty()) << "no window named " << caption;

    // The window photographed must show the 320 x 240 picture at k times the size, pixel for pixel.
    const std::string shot = std::string(TAVIK_BINARY_DIR) + "/window_test_shot.ppm";
    auto expect_picture = [&](int k) {
        std::string import_out = run("import -window " + id + " -depth 8 ppm:" + shot + " 2>&1");
        int w = 0, h = 0;
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(read_ppm(shot, &w, &h, &rgb)) << "no screenshot: " << import_out;
        ASSERT_EQ(w, 320 * k);
        ASSERT_EQ(h, 240 * k);
        int wrong = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                uint32_t c = dd32_colour(pattern(x / k, y / k));
                const uint8_t* p = &rgb[((size_t)y * w + x) * 3];
                uint32_t got = ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
                if (got != c && wrong++ < 5)
                    ADD_FAILURE() << "screen " << x << "," << y << ": " << std::hex << got << " not " << c;
            }
        EXPECT_EQ(wrong, 0);
    };
    // The 320 x 240 picture fills the 640 x 480 window at twice the size.
    {
        SCOPED_TRACE("the window as opened");
        expect_picture(2);
    }
    // Resized with no frame presented since: the window shows the last frame at its new
    // size (moved to the corner first: the photograph holds only what is on the screen).
    {
        SCOPED_TRACE("resized to 960 x 720");
        run("xdotool windowmove --sync " + id + " 0 0 windowsize --sync " + id + " 960 720 2>&1");
        for (int i = 0; i < 10; i++) gfx->update();
        expect_picture(3);
    }

    run("xdotool windowfocus --sync " + id + " key Escape 2>&1");
    int32_t key = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (key != 27 && std::chrono::steady_clock::now() < until) {
        gfx->update();
        for (int32_t k; (k = gfx->get_key()) != 0;)
            if (k == 27) key = k;
    }
    EXPECT_EQ(key, 27);

    // More keys through the machine's keyboard: a letter, the numeric-pad plus, an arrow.
    run("xdotool key --delay 20 a KP_Add Up 2>&1");
    std::vector<int32_t> keys;
    until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (keys.size() < 3 && std::chrono::steady_clock::now() < until) {
        gfx->update();
        for (int32_t k; (k = gfx->get_key()) != 0;) keys.push_back(k);
    }
    EXPECT_EQ(keys, (std::vector<int32_t>{'a', '+', 38}));

    // A mouse button held down over the window.
    run("xdotool mousemove --window " + id + " 100 100 mousedown 1 2>&1");
    int32_t buttons = 0;
    until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (buttons != 1 && std::chrono::steady_clock::now() < until) {
        gfx->update();
        buttons = gfx->mouse_buttons();
    }
    run("xdotool mouseup 1 2>&1");
    EXPECT_EQ(buttons, 1);
    gfx->close();
}
