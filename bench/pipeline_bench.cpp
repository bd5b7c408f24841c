// The polygon pipeline with the fixed-point z-buffered rasterizer: one frame of
// the environment-mapped tube (1000 triangles) at 320 x 240 and 1280 x 960,
// beside baselines of the same frame without rasterizing and of the clear alone.
#include <benchmark/benchmark.h>

#include "bench/tube_scene.h"
#include "engine/raster/fixed_zbuffer.h"
#include "engine/raster/raster.h"

#include <vector>

namespace {

void no_draw(tpoly*, Pixmap*) {}

// One frame: clear, then the tube through frustum_draw_tpoly.
void run_tube(benchmark::State& state, uint32_t flags, bool rasterize) {
    TubeScene* s = tube_scene_create((int)state.range(0), (int)state.range(1));
    if (!s) {
        state.SkipWithError("scene set-up failed");
        return;
    }
    raster_select(RASTER_FLAGS_FIXED_ZBUFFER);
    tube_scene_build(s, 0.7f);
    if (!rasterize) {
        // Everything up to the dispatcher, which hands each triangle to a no-op.
        flags |= TPOLY_CUSTOM;
        s->poly->draw_routine = no_draw;
    }
    tube_scene_clear(s);
    tube_scene_draw(s, flags);
    const int64_t covered = tube_scene_covered(s);
    for (auto _ : state) {
        tube_scene_clear(s);
        tube_scene_draw(s, flags);
        benchmark::ClobberMemory();
    }
    state.counters["covered_px"] = (double)covered;
    state.counters["covered_px_per_s"] =
        benchmark::Counter((double)covered, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["triangles_per_s"] =
        benchmark::Counter(TUBE_TRIANGLES, benchmark::Counter::kIsIterationInvariantRate);
    tube_scene_destroy(s);
}

void BM_TubeTextured(benchmark::State& state) { run_tube(state, TPOLY_TEXTURED, true); }
void BM_TubeFlat(benchmark::State& state) { run_tube(state, TPOLY_FLAT, true); }
void BM_TubeGeometryOnly(benchmark::State& state) { run_tube(state, TPOLY_TEXTURED, false); }

void BM_ClearOnly(benchmark::State& state) {
    TubeScene* s = tube_scene_create((int)state.range(0), (int)state.range(1));
    if (!s) {
        state.SkipWithError("scene set-up failed");
        return;
    }
    for (auto _ : state) {
        tube_scene_clear(s);
        benchmark::ClobberMemory();
    }
    tube_scene_destroy(s);
}

// The inner loops alone: spans over 256 pixels of one 320-pixel row, depth test
// passing on every pixel (the z-buffer is refilled each pass, like a frame).
// The SSE2 spans and their scalar references, at span lengths 256 and 8 (the
// tube's mean at 320 x 240).
template <decltype(&fixed_zbuffer_texture_span_z) span>
void BM_TextureSpanZ(benchmark::State& state) {
    std::vector<uint32_t> texture(256 * 256, 0xFF808080u), row(320);
    std::vector<int32_t> z(320);
    const int32_t n = (int32_t)state.range(0);
    for (auto _ : state) {
        std::fill(z.begin(), z.end(), PIXMAP_Z_FAR);
        for (int32_t x = 0; x + n <= 256; x += n)
            span(row.data() + 32 + x, texture.data(), z.data() + 32 + x, n, 50 << 16,
                                     3 << 16, 7 << 16, 0x14000, 0x3800, 0x100);
        benchmark::ClobberMemory();
    }
    state.counters["px_per_s"] = benchmark::Counter(256, benchmark::Counter::kIsIterationInvariantRate);
}

template <decltype(&fixed_zbuffer_flat_span_z) span>
void BM_FlatSpanZ(benchmark::State& state) {
    std::vector<uint32_t> row(320);
    std::vector<int32_t> z(320);
    const int32_t n = (int32_t)state.range(0);
    for (auto _ : state) {
        std::fill(z.begin(), z.end(), PIXMAP_Z_FAR);
        for (int32_t x = 0; x + n <= 256; x += n)
            span(row.data() + 32 + x, z.data() + 32 + x, n, 50 << 16, 0x100, 0xFF3080C0u);
        benchmark::ClobberMemory();
    }
    state.counters["px_per_s"] = benchmark::Counter(256, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK_TEMPLATE(BM_FlatSpanZ, fixed_zbuffer_flat_span_z)->Arg(256)->Arg(8);
BENCHMARK_TEMPLATE(BM_FlatSpanZ, fixed_zbuffer_flat_span_z_scalar)->Arg(256)->Arg(8);
BENCHMARK_TEMPLATE(BM_TextureSpanZ, fixed_zbuffer_texture_span_z)->Arg(256)->Arg(8);
BENCHMARK_TEMPLATE(BM_TextureSpanZ, fixed_zbuffer_texture_span_z_scalar)->Arg(256)->Arg(8);
BENCHMARK(BM_ClearOnly)->Args({320, 240})->Args({1280, 960})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TubeGeometryOnly)->Args({320, 240})->Args({1280, 960})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TubeFlat)->Args({320, 240})->Args({1280, 960})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TubeTextured)->Args({320, 240})->Args({1280, 960})->Unit(benchmark::kMicrosecond);
