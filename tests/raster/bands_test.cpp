// Banded drawing on several threads: the same bytes as one thread for any
// thread count and target size (depth ties, overdraw, triangles across band
// edges and off the target, wires and custom routines in the middle of a
// batch), everything drawn when the flush returns, batches that do not band,
// and the pool's row jobs and count changes after what was queued before them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/tube_scene.h"
#include "engine/jobs/jobs.h"
#include "engine/raster/raster.h"

namespace {

struct Frame {
    std::vector<uint32_t> pixels;
    std::vector<int32_t> depth;
    bool operator==(const Frame&) const = default;
};

Frame frame_of(const TubeScene* s) {
    const size_t n = (size_t)s->screen->width * s->screen->height;
    return {std::vector<uint32_t>(s->screen->pixels, s->screen->pixels + n),
            std::vector<int32_t>(s->screen->zbuffer, s->screen->zbuffer + n)};
}

// Copies the pixel left of the target's centre onto the centre: it reads what
// the triangles before it drew.
void copy_left_of_centre(tpoly*, Pixmap* target) {
    const int64_t c = (int64_t)(target->height / 2) * target->width + target->width / 2;
    target->pixels[c] = target->pixels[c - 1];
}

// One frame: the tube, then random flat and textured triangles (some far off
// the target, each drawn twice at the same depth in another colour: ties keep
// the first), with a wire and a custom triangle among them.
void draw_frame(TubeScene* s, uint32_t seed) {
    tube_scene_clear(s);
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    raster_begin(s->screen);
    tube_scene_draw(s, TPOLY_TEXTURED);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> xy(-200.0f, 200.0f), z(-150.0f, 300.0f), uv(0.0f, 512.0f);
    tpoly* p = s->poly;
    for (int i = 0; i < 300; i++) {
        p->flags = (i % 3 ? TPOLY_TEXTURED : TPOLY_FLAT) | TPOLY_TWO_SIDED;
        const float scale = i % 10 == 0 ? 40.0f : 1.0f;
        for (int k = 0; k < 3; k++) {
            p->vertex[k] = {scale * xy(rng), scale * xy(rng), z(rng)};
            p->uv[2 * k] = uv(rng);
            p->uv[2 * k + 1] = uv(rng);
        }
        p->colour = 0xFF000000u | rng();
        frustum_draw_tpoly(s->view, p);
        p->colour ^= 0x00FFFFFFu;
        frustum_draw_tpoly(s->view, p);
        if (i == 100) {
            p->flags = TPOLY_WIRE | TPOLY_EDGE01 | TPOLY_EDGE12 | TPOLY_EDGE20 | TPOLY_TWO_SIDED;
            frustum_draw_tpoly(s->view, p);
        }
        if (i == 200) {
            p->flags = TPOLY_FLAT | TPOLY_CUSTOM | TPOLY_TWO_SIDED;
            p->draw_routine = copy_left_of_centre;
            frustum_draw_tpoly(s->view, p);
            p->draw_routine = nullptr;
        }
    }
    raster_flush();
}

// The tube at 320 x 240, the 0x94 driver, two threads (banding at any size).
TubeScene* tube_on_two_threads() {
    TubeScene* s = tube_scene_create(320, 240);
    if (!s) return nullptr;
    tube_scene_build(s, 0.7f);
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    jobs_set_threads(2);
    return s;
}

class Bands : public ::testing::Test {
protected:
    void TearDown() override { jobs_set_threads(0); }
};

TEST_F(Bands, EveryThreadCountDrawsTheBytesOfOneThread) {
    const int sizes[][2] = {{320, 240}, {333, 257}, {1280, 960}, {64, 7}};
    for (const auto& size : sizes) {
        TubeScene* s = tube_scene_create(size[0], size[1]);
        ASSERT_NE(s, nullptr);
        for (uint32_t seed = 1; seed <= (size[0] > 400 ? 1u : 2u); seed++) {
            tube_scene_build(s, 0.9f * (float)seed);
            jobs_set_threads(1);
            draw_frame(s, seed);
            const Frame one = frame_of(s);
            for (int threads : {2, 3, 5}) {
                jobs_set_threads(threads);
                draw_frame(s, seed);
                EXPECT_TRUE(frame_of(s) == one) << size[0] << " x " << size[1] << ", " << threads << " threads";
            }
        }
        tube_scene_destroy(s);
    }
}

TEST_F(Bands, QueuedTrianglesReachTheTargetAtTheFlush) {
    TubeScene* s = tube_on_two_threads();
    ASSERT_NE(s, nullptr);
    tube_scene_clear(s);
    const Frame cleared = frame_of(s);
    raster_begin(s->screen);
    EXPECT_TRUE(raster_banded());
    tube_scene_draw(s, TPOLY_TEXTURED);
    raster_flush();
    EXPECT_FALSE(raster_banded());
    const Frame banded = frame_of(s);
    EXPECT_FALSE(banded == cleared);
    raster_flush();  // nothing left: no change
    EXPECT_TRUE(frame_of(s) == banded);

    // Without a batch, and with one thread, every triangle is drawn at once.
    for (int threads : {2, 1}) {
        jobs_set_threads(threads);
        tube_scene_clear(s);
        if (threads == 1) raster_begin(s->screen);
        tube_scene_draw(s, TPOLY_TEXTURED);
        EXPECT_TRUE(frame_of(s) == banded) << threads << " threads";
        raster_flush();
    }
    tube_scene_destroy(s);
}

TEST_F(Bands, DefaultCountBandsOnlyLargeTargets) {
    // The default as a program gets it with TAVIK_THREADS unset: every core, and
    // bands only for large targets (on a one-core machine, none).
    const char* env = std::getenv("TAVIK_THREADS");
    const std::string saved = env ? env : "";
    unsetenv("TAVIK_THREADS");
    jobs_set_threads(0);
    const bool cores = jobs_threads() > 1;
    const int sizes[][2] = {{320, 240}, {1280, 960}};
    for (const auto& size : sizes) {
        TubeScene* s = tube_scene_create(size[0], size[1]);
        ASSERT_NE(s, nullptr);
        tube_scene_build(s, 0.7f);
        raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
        raster_begin(s->screen);
        EXPECT_EQ(raster_banded(), cores && (int64_t)size[0] * size[1] >= JOBS_MIN_PIXELS)
            << size[0] << " x " << size[1] << ", " << jobs_threads() << " threads";
        raster_flush();
        tube_scene_destroy(s);
    }
    if (env) setenv("TAVIK_THREADS", saved.c_str(), 1);
    jobs_set_threads(0);
}

// The pool's other users come after the triangles queued before them: a row
// job sees them drawn, and a change of the thread count ends the batch.
TEST_F(Bands, RowJobsAndThreadCountsComeAfterWhatWasQueued) {
    TubeScene* s = tube_on_two_threads();
    ASSERT_NE(s, nullptr);
    tube_scene_clear(s);
    tube_scene_draw(s, TPOLY_TEXTURED);
    const Frame drawn = frame_of(s);
    tube_scene_clear(s);
    raster_begin(s->screen);
    tube_scene_draw(s, TPOLY_TEXTURED);
    Frame seen;
    jobs_parallel_rows(1, 0, [&](int32_t, int32_t) { seen = frame_of(s); });
    raster_flush();
    EXPECT_TRUE(seen == drawn);

    tube_scene_clear(s);
    raster_begin(s->screen);
    tube_scene_draw(s, TPOLY_TEXTURED);
    jobs_set_threads(3);
    EXPECT_FALSE(raster_banded());
    EXPECT_TRUE(frame_of(s) == drawn);
    tube_scene_destroy(s);
}

}  // namespace
