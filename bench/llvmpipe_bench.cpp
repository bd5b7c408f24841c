// The tube beside Mesa's llvmpipe: the same 1000 environment-mapped triangles,
// texture, projection and per-frame clear of colour and depth, drawn by our
// 16.16 z-buffered rasterizer and by OSMesa, at 320 x 240, 1280 x 960 and
// 1920 x 1440. Wall time per frame (both renderers may use several threads).
// llvmpipe takes its thread count from LP_NUM_THREADS once per process, so
// scripts/bench runs this program twice: as it is, and with LP_NUM_THREADS=0.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "bench/osmesa_tube.h"
#include "engine/jobs/jobs.h"
#include "engine/raster/raster.h"

namespace {

const int SIZES[][2] = {{320, 240}, {1280, 960}, {1920, 1440}};

// threads: 1 for the single-thread path, 0 for the band path on every core
// (forced on at every size).
void ours(benchmark::State& state, int width, int height, int threads) {
    TubeScene* s = tube_scene_create(width, height);
    if (!s) {
        state.SkipWithError("scene set-up failed");
        return;
    }
    jobs_set_threads(threads ? threads : (int)std::thread::hardware_concurrency());
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    tube_scene_build(s, 0.7f);
    for (auto _ : state) {
        tube_scene_clear(s);
        raster_begin(s->screen);
        tube_scene_draw(s, TPOLY_TEXTURED);
        raster_flush();
        benchmark::ClobberMemory();
    }
    state.counters["covered_px"] = (double)tube_scene_covered(s);
    state.counters["threads"] = jobs_threads();
    jobs_set_threads(0);
    tube_scene_destroy(s);
}

void llvmpipe(benchmark::State& state, int width, int height) {
    TubeScene* s = tube_scene_create(width, height);
    OsmesaTube* o = s ? (tube_scene_build(s, 0.7f), osmesa_tube_create(s)) : nullptr;
    if (!o) {
        state.SkipWithError("no OSMesa context");
        tube_scene_destroy(s);
        return;
    }
    osmesa_tube_frame(o);
    const int64_t covered = osmesa_tube_covered(o);
    for (auto _ : state) osmesa_tube_frame(o);
    const char* threads = std::getenv("LP_NUM_THREADS");
    state.SetLabel(std::string(osmesa_tube_renderer()) + ", LP_NUM_THREADS=" + (threads ? threads : "(default)"));
    state.counters["covered_px"] = (double)covered;
    osmesa_tube_destroy(o);
    tube_scene_destroy(s);
}

int register_all() {
    for (const auto& size : SIZES) {
        const std::string prefix = "tube/" + std::to_string(size[0]) + "x" + std::to_string(size[1]) + "/";
        benchmark::RegisterBenchmark((prefix + "ours_one_thread").c_str(), ours, size[0], size[1], 1)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((prefix + "ours_all_threads").c_str(), ours, size[0], size[1], 0)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((prefix + "llvmpipe").c_str(), llvmpipe, size[0], size[1])
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return 0;
}

const int registered = register_all();

}  // namespace
