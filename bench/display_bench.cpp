// The display drivers' per-frame cost on the headless host: a 320 x 240 Pixmap
// blitted into a 16-bit and a 32-bit DirectDraw surface and into the GDI bitmap,
// beside a plain memcpy of the same 300 KB as the baseline.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/display/gfx.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"

static const int32_t W = 320, H = 240;

struct BenchPixmap {
    std::vector<uint32_t> pixels;
    std::vector<int32_t> rows;
    Pixmap pixmap;
    BenchPixmap() : pixels((size_t)W * H), rows(H) {
        for (int32_t y = 0; y < H; y++) rows[y] = y * W;
        for (size_t i = 0; i < pixels.size(); i++) pixels[i] = (uint32_t)(i * 2654435761u) | 0xFF000000u;
        pixmap = {W, H, 0, rows.data(), nullptr, pixels.data(), 0};
    }
};

static void BM_Memcpy(benchmark::State& state) {
    BenchPixmap src;
    std::vector<uint32_t> dst((size_t)W * H);
    for (auto _ : state) {
        memcpy(dst.data(), src.pixels.data(), dst.size() * sizeof(uint32_t));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)W * H * 4);
}
BENCHMARK(BM_Memcpy);

static void blit_bench(benchmark::State& state, const GfxDriver* gfx, uint32_t mode) {
    BenchPixmap src;
    host_reset();
    if (!gfx->open(W, H, "bench", mode)) {
        state.SkipWithError(gfx->error_string());
        return;
    }
    for (auto _ : state) gfx->blit(0, 0, &src.pixmap, 0, 0, W, H);
    state.SetBytesProcessed(state.iterations() * (int64_t)W * H * 4);
    gfx->close();
}

// Lock, three table lookups and two ORs per pixel into 5-6-5, unlock (the host keeps a copy).
static void BM_DDrawBlit16(benchmark::State& state) { blit_bench(state, &gfx_ddraw_driver, GFX_MODE_16BPP); }
BENCHMARK(BM_DDrawBlit16);

static void BM_DDrawBlit32(benchmark::State& state) { blit_bench(state, &gfx_ddraw_driver, GFX_MODE_32BPP); }
BENCHMARK(BM_DDrawBlit32);

// Byte shuffle into the bottom-up bitmap, then the whole bitmap to the window.
static void BM_GdiBlit32(benchmark::State& state) { blit_bench(state, &gfx_gdi_driver, GFX_MODE_32BPP); }
BENCHMARK(BM_GdiBlit32);
