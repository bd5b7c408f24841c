// Banded drawing on several threads: the same bytes as one thread for any
// thread count and target size (depth ties, overdraw, triangles across band
// edges and off the target, wires and custom routines in the middle of a
// batch), everything drawn when the flush returns, batches that do not band,
// the pool's row jobs and count changes after what was queued before them, and
// a caller that slips (no flush, Pixmaps touched inside a batch).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/tube_scene.h"
#include "engine/jobs/jobs.h"
#include "engine/pixmap/pixmap.h"
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

// ---- a caller that slips ------------------------------------------------------

// Each sequence runs inside an open batch on the tube scene and is never
// flushed: what it leaves queued is finished by the engine's own reader.
struct Slip {
    const char* name;
    void (*steps)(TubeScene* s);
};

const Slip slips[] = {
    {"a forgotten flush", [](TubeScene* s) { tube_scene_draw(s, TPOLY_TEXTURED); }},
    {"a clear inside the batch",
     [](TubeScene* s) {
         tube_scene_draw(s, TPOLY_TEXTURED);
         pixmap_clear_rect(s->screen, 40, 30, 200, 150, 0xFF0000FFu);
     }},
    {"pixels set and read inside the batch",
     [](TubeScene* s) {
         tube_scene_draw(s, TPOLY_TEXTURED);
         const uint32_t centre = pixmap_get_pixel(s->screen, 160, 120);
         for (int32_t k = 0; k < 40; k++) pixmap_set_pixel(s->screen, 140 + k, 100 + k / 2, ~centre);
     }},
    {"the texture written inside the batch",
     [](TubeScene* s) {
         tube_scene_draw(s, TPOLY_TEXTURED);
         pixmap_clear_rect(s->texture, 0, 0, 256, 128, 0xFF00FF00u);
         tube_scene_draw(s, TPOLY_FLAT);
     }},
    {"the target blitted into the texture and drawn again",
     [](TubeScene* s) {
         tube_scene_draw(s, TPOLY_TEXTURED);
         pixmap_blit(s->texture, 0, 0, s->screen, 32, 0, 256, 240);
         pixmap_clear_rect(s->screen, 0, 0, 320, 240, 0xFF201008u);
         tube_scene_draw(s, TPOLY_TEXTURED);
     }},
    {"the target as its own texture",
     [](TubeScene* s) {
         tube_scene_draw(s, TPOLY_FLAT);
         s->poly->texturemap = s->screen;
         tube_scene_build(s, 2.0f);
         tube_scene_draw(s, TPOLY_TEXTURED);
     }},
};

// The slip at this thread count, read through pixmap_blit and pixmap_get_z.
Frame slip_frame(const Slip& slip, int threads) {
    jobs_set_threads(threads);
    TubeScene* s = tube_scene_create(320, 240);
    Pixmap* copy = pixmap_create(320, 240, 0);
    EXPECT_TRUE(s && copy);
    if (!s || !copy) return {};
    tube_scene_build(s, 0.7f);
    tube_scene_clear(s);
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    raster_begin(s->screen);
    EXPECT_EQ(raster_banded(), threads > 1);
    slip.steps(s);
    pixmap_blit(copy, 0, 0, s->screen, 0, 0, 320, 240);
    Frame f = {std::vector<uint32_t>(copy->pixels, copy->pixels + 320 * 240), {}};
    for (int32_t y = 0; y < 240; y++)
        for (int32_t x = 0; x < 320; x++) f.depth.push_back(pixmap_get_z(s->screen, x, y));
    raster_flush();
    pixmap_destroy(copy);
    tube_scene_destroy(s);
    return f;
}

TEST_F(Bands, ASlippingCallerGetsTheBytesOfOneThread) {
    for (const Slip& slip : slips) {
        const Frame one = slip_frame(slip, 1);
        EXPECT_NE(std::count(one.depth.begin(), one.depth.end(), PIXMAP_Z_FAR), (long)one.depth.size()) << slip.name;
        for (int threads : {2, 5}) EXPECT_TRUE(slip_frame(slip, threads) == one) << slip.name << ", " << threads << " threads";
    }
}

// Destroying the target ends its batch: nothing is drawn into freed planes later.
TEST_F(Bands, DestroyingTheTargetEndsItsBatch) {
    TubeScene* s = tube_on_two_threads();
    ASSERT_NE(s, nullptr);
    Pixmap* target = pixmap_create(320, 240, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    ASSERT_NE(target, nullptr);
    frustum_init(s->view, 0, target, 320.0f, 240.0f, 400.0f);
    raster_begin(target);
    tube_scene_draw(s, TPOLY_TEXTURED);
    pixmap_destroy(target);
    EXPECT_FALSE(raster_banded());
    raster_flush();
    tube_scene_destroy(s);
}

}  // namespace
