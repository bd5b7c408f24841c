// A display driver's blit and an open triangle batch: a forgotten flush shows the
// one-thread picture at any thread count, plain and doubled. A program of its own:
// the GDI driver's doubling, once set, stays set for the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bench/tube_scene.h"
#include "engine/display/gfx.h"
#include "engine/jobs/jobs.h"
#include "engine/raster/raster.h"
#include "tests/display/display_test_util.h"

namespace {

// The window's pixels after blitting a tube left queued on `threads` threads.
std::vector<uint32_t> shown_after_blit(int threads) {
    jobs_set_threads(threads);
    TubeScene* s = tube_scene_create(320, 240);
    EXPECT_NE(s, nullptr);
    if (!s) return {};
    tube_scene_build(s, 0.7f);
    tube_scene_clear(s);
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    raster_begin(s->screen);
    tube_scene_draw(s, TPOLY_TEXTURED);
    gfx_gdi_driver.blit(0, 0, s->screen, 0, 0, 160, 120);  // no raster_flush() before it
    std::vector<uint32_t> shown;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) shown.push_back(frame_pixel(x, y));
    raster_flush();
    tube_scene_destroy(s);
    return shown;
}

}  // namespace

// The blit first draws the triangles queued into its Pixmap; the doubled copy
// does not go through the row jobs (which finish the batch themselves).
TEST(GdiBlit, FinishesTheTrianglesQueuedIntoThePixmap) {
    host_reset();
    ASSERT_EQ(gfx_gdi_driver.open(320, 240, "Wendril", GFX_MODE_32BPP), 1) << gfx_gdi_driver.error_string();
    for (bool doubled : {false, true}) {
        if (doubled) {
            ASSERT_EQ(gfx_gdi_driver.set_option(GFX_OPTION_DOUBLE), 1);
        }
        const std::vector<uint32_t> one = shown_after_blit(1);
        EXPECT_GT(std::count_if(one.begin(), one.end(), [&](uint32_t p) { return p != one[0]; }), 1000);
        for (int threads : {2, 5}) EXPECT_TRUE(shown_after_blit(threads) == one) << threads << " threads, doubled " << doubled;
    }
    jobs_set_threads(0);
    gfx_gdi_driver.close();
}
