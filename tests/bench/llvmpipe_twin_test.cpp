// The llvmpipe twin of the tube benchmark draws what ours draws: for several
// phases of the animation and target sizes, the pixels covered by Mesa's
// software OpenGL and by our 16.16 z-buffered rasterizer agree within 1%.
// Built against OSMesa only where it is installed; skipped otherwise.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/raster/raster.h"

#ifdef TAVIK_HAVE_OSMESA
#include "bench/osmesa_tube.h"
#endif

TEST(LlvmpipeTwin, CoversTheSamePixelsAsOurs) {
#ifndef TAVIK_HAVE_OSMESA
    GTEST_SKIP() << "OSMesa is not installed";
#else
    const int sizes[][2] = {{320, 240}, {1280, 960}};
    const float phases[] = {0.0f, 0.7f, 2.5f};
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    for (const auto& size : sizes) {
        TubeScene* s = tube_scene_create(size[0], size[1]);
        ASSERT_NE(s, nullptr);
        for (float phase : phases) {
            tube_scene_build(s, phase);
            tube_scene_clear(s);
            tube_scene_draw(s, TPOLY_TEXTURED);
            const int64_t ours = tube_scene_covered(s);
            OsmesaTube* o = osmesa_tube_create(s);
            ASSERT_NE(o, nullptr);
            osmesa_tube_frame(o);
            const int64_t theirs = osmesa_tube_covered(o);
            osmesa_tube_destroy(o);
            std::printf("%d x %d, phase %.1f: ours %lld, OSMesa %lld\n", size[0], size[1], phase,
                        (long long)ours, (long long)theirs);
            // A view with little on it would make the 1% meaningless.
            EXPECT_GT(ours, (int64_t)size[0] * size[1] / 10);
            EXPECT_NEAR((double)theirs, (double)ours, 0.01 * (double)ours)
                << size[0] << " x " << size[1] << ", phase " << phase;
        }
        tube_scene_destroy(s);
    }
#endif
}
