// The llvmpipe twin of the tube benchmark draws what ours draws: for several
// phases of the animation and target sizes, the pixels covered by Mesa's
// software OpenGL and by our 16.16 z-buffered rasterizer agree within 1%, and
// where both cover a pixel they show the same surface: with a texture whose
// texels are their own coordinates, nearly every such pixel has the same
// texel within 2 (a twin culling the wrong faces shows the tube's inside,
// with the same outline). Built against OSMesa only where it is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "engine/raster/raster.h"

#include "bench/osmesa_tube.h"

TEST(LlvmpipeTwin, CoversTheSamePixelsAsOurs) {
    const int sizes[][2] = {{320, 240}, {1280, 960}};
    const float phases[] = {0.0f, 0.7f, 2.5f};
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    for (const auto& size : sizes) {
        TubeScene* s = tube_scene_create(size[0], size[1]);
        ASSERT_NE(s, nullptr);
        for (int y = 0; y < 256; y++)  // red = u, green = v
            for (int x = 0; x < 256; x++) s->texture->pixels[y * 256 + x] = 0xFF000000u | (uint32_t)y << 8 | (uint32_t)x;
        for (float phase : phases) {
            tube_scene_build(s, phase);
            tube_scene_clear(s);
            tube_scene_draw(s, TPOLY_TEXTURED);
            const int64_t ours = tube_scene_covered(s);
            OsmesaTube* o = osmesa_tube_create(s);
            ASSERT_NE(o, nullptr);
            osmesa_tube_frame(o);
            const int64_t theirs = osmesa_tube_covered(o);
            // GL's rows run bottom to top.
            int64_t both = 0, same = 0;
            for (int y = 0; y < size[1]; y++) {
                for (int x = 0; x < size[0]; x++) {
                    const int64_t i = (int64_t)y * size[0] + x;
                    const uint8_t* gl = &o->colour[(((int64_t)size[1] - 1 - y) * size[0] + x) * 4];
                    const uint32_t p = s->screen->pixels[i];
                    if (s->screen->zbuffer[i] == PIXMAP_Z_FAR || (gl[0] == 0x08 && gl[1] == 0x10 && gl[2] == 0x20))
                        continue;
                    both++;
                    same += std::abs((int)(p & 0xFF) - gl[0]) <= 2 && std::abs((int)(p >> 8 & 0xFF) - gl[1]) <= 2;
                }
            }
            osmesa_tube_destroy(o);
            std::printf("%d x %d, phase %.1f: covered: ours %lld, OSMesa %lld; same texel in %.2f%% of %lld\n",
                        size[0], size[1], phase, (long long)ours, (long long)theirs, 100.0 * same / both,
                        (long long)both);
            // A view with little on it would make the 1% meaningless.
            EXPECT_GT(ours, (int64_t)size[0] * size[1] / 10);
            EXPECT_NEAR((double)theirs, (double)ours, 0.01 * (double)ours)
                << size[0] << " x " << size[1] << ", phase " << phase;
            EXPECT_GT((double)same, 0.98 * (double)both) << size[0] << " x " << size[1] << ", phase " << phase;
        }
        tube_scene_destroy(s);
    }
}
