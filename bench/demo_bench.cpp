// Frame times of the demo at 320 x 240 on the headless host: each effect as the
// timeline draws it, on one thread (argument 1) and with the rasterizers' bands
// on every core (argument 0), the whole demo's mean frame, and beside them a
// baseline frame (clear, then copy a picture) that the figures are read against.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/blob.h"
#include "app/demo.h"
#include "app/hairy.h"
#include "app/klegg.h"
#include "app/knot.h"
#include "app/zfx.h"
#include "engine/jobs/jobs.h"
#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"

namespace {

// One frame at 60 frames a second is 1000 / 60 / 14 ticks of the sync clock.
constexpr float FRAME_TICKS = 1000.0f / 60.0f / 14.0f;

bool started() {
    static int state = -1;
    if (state < 0) {
        const std::string data = std::string(TAVIK_BINARY_DIR) + "/data";
        struct stat st;
        state = stat((data + "/ragga.xm").c_str(), &st) == 0 && chdir(data.c_str()) == 0 && demo_start() == 0;
    }
    return state == 1;
}

#define REQUIRE_DEMO(state)                                                  \
    if (!started()) {                                                        \
        (state).SkipWithError("no default data set in build/data");         \
        return;                                                              \
    }

MusicPosition* fake(uint32_t order, uint32_t row) {
    static MusicPosition p{};
    p.order = order;
    p.row = row;
    p.frame_ticks = FRAME_TICKS;
    return &p;
}

// The thread count of a section benchmark for its run: 1, or (0) every core
// with the band path on at 320 x 240.
struct Threads {
    explicit Threads(const benchmark::State& state) {
        const int n = (int)state.range(0);
        jobs_set_threads(n ? n : (int)std::thread::hardware_concurrency());
    }
    ~Threads() { jobs_set_threads(0); }
};

void zbuffer_reset() {
    gmem_fill32(demo.vscreen->zbuffer, 0x7FFFFFFF, uint32_t(demo.vscreen->width * demo.vscreen->height));
}

void BM_Baseline_ClearAndCopyPicture(benchmark::State& state) {
    REQUIRE_DEMO(state);
    for (auto _ : state) {
        zbuffer_reset();
        pixmap_blit(demo.vscreen, 0, 0, demo.bakg, 0, 0, 320, 240);
        benchmark::DoNotOptimize(demo.vscreen->pixels[0]);
    }
}
BENCHMARK(BM_Baseline_ClearAndCopyPicture)->Unit(benchmark::kMillisecond);

void BM_KleggWithTunnel(benchmark::State& state) {
    REQUIRE_DEMO(state);
    const Threads threads(state);
    klegg.fade_level = 0.5f;  // the tunnel is drawn and held at half fade
    MusicPosition* p = fake(2, 10);
    for (auto _ : state) klegg_draw(demo.vscreen, p);
}
BENCHMARK(BM_KleggWithTunnel)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_HairyWithSphereAndKlegg(benchmark::State& state) {
    REQUIRE_DEMO(state);
    const Threads threads(state);
    MusicPosition* p = fake(6, 10);
    for (auto _ : state) {
        hairy_draw(demo.vscreen, p);
        klegg_draw(demo.vscreen, p);
    }
}
BENCHMARK(BM_HairyWithSphereAndKlegg)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_KnotOverPicture(benchmark::State& state) {
    REQUIRE_DEMO(state);
    const Threads threads(state);
    MusicPosition* p = fake(10, 10);
    for (auto _ : state) {
        zbuffer_reset();
        pixmap_blit(demo.vscreen, 0, 0, demo.bakg, 0, 0, 320, 240);
        knot_draw(demo.vscreen, p);
    }
}
BENCHMARK(BM_KnotOverPicture)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Blob(benchmark::State& state) {
    REQUIRE_DEMO(state);
    const Threads threads(state);
    for (auto _ : state) {
        zbuffer_reset();
        pixmap_blit(demo.vscreen, 0, 0, demo.bakg, 0, 0, 320, 240);
        blob_draw();
    }
}
BENCHMARK(BM_Blob)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_Zfx(benchmark::State& state) {
    REQUIRE_DEMO(state);
    const Threads threads(state);
    MusicPosition* p = fake(16, 10);
    for (auto _ : state) zfx_draw(demo.vscreen, p);
}
BENCHMARK(BM_Zfx)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

// The real loop from order 0 until the ending loops once: timeline, present,
// clock and keys, with the music rendered as the virtual clock moves.
void BM_WholeDemoMeanFrame(benchmark::State& state) {
    REQUIRE_DEMO(state);
    int64_t frames = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        music_restart();
        bool seen_21 = false;
        for (int f = 0; f < 40000; f++) {
            const uint32_t order = demo.position->order;
            if (order == 21) seen_21 = true;
            if (order == 20 && seen_21) break;
            demo_draw();
            demo_frame_end();
            frames++;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["frames"] = double(frames);
    state.counters["ms_per_frame"] = frames ? seconds * 1000.0 / double(frames) : 0.0;
}
BENCHMARK(BM_WholeDemoMeanFrame)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
