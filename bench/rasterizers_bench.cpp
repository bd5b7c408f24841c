// Every rasterizer on the environment-mapped tube scene (1000 triangles through
// the polygon pipeline) at 320 x 240 and 1280 x 960, each size with the 16.16
// z-buffered driver the demo uses run first as the baseline of its ratios.
#include <benchmark/benchmark.h>

#include "bench/tube_scene.h"
#include "engine/raster/raster.h"

namespace {

void tube_frame(benchmark::State& state, const RasterDriver* driver, int width, int height) {
    TubeScene* scene = tube_scene_create(width, height);
    if (!scene) {
        state.SkipWithError("tube scene could not be created");
        return;
    }
    tube_scene_build(scene, 0.7f);
    const RasterDriver* saved = current_raster_driver;
    current_raster_driver = driver;
    for (auto _ : state) {
        tube_scene_clear(scene);
        tube_scene_draw(scene, TPOLY_TEXTURED);
        benchmark::DoNotOptimize(scene->screen->pixels);
        benchmark::ClobberMemory();
    }
    current_raster_driver = saved;
    state.counters["triangles/s"] =
        benchmark::Counter(static_cast<double>(TUBE_TRIANGLES), benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(driver->name);
    tube_scene_destroy(scene);
}

// No slots: the cost of the pipeline (lighting, clipping, projection, dispatch)
// without any pixels, to tell how much of a frame the rasterizer itself takes.
const RasterDriver pipeline_only = {"no rasterizer (pipeline only)", 0xFFFFFFFFu, {}};

struct Entry {
    const char* tag;
    const RasterDriver* driver;
};

// The baseline first, then the others in the registry's order of mention.
const Entry entries[] = {
    {"0x94_baseline", &raster_driver_fixed_zbuffer}, {"0x82", &raster_driver_float_zbuffer},
    {"0x00", &raster_driver_float_exact},            {"0x14", &raster_driver_fixed_nozbuffer},
    {"0x01", &raster_driver_safe},                   {"0xA0", &raster_driver_perspective},
    {"pipeline_only", &pipeline_only},
};

int register_all() {
    const int sizes[][2] = {{320, 240}, {1280, 960}};
    for (const auto& size : sizes) {
        for (const Entry& e : entries) {
            const std::string name =
                std::string("tube/") + std::to_string(size[0]) + "x" + std::to_string(size[1]) + "/" + e.tag;
            benchmark::RegisterBenchmark(name.c_str(), tube_frame, e.driver, size[0], size[1])
                ->Unit(benchmark::kMicrosecond);
        }
    }
    return 0;
}

const int registered = register_all();

}  // namespace
