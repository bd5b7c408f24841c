// Frame times of the whole demo at scales of 320 x 240 on the headless host: the
// mean and the worst frame (timeline, present, clock and music, wall time) from
// order 0 to the end loop, and beside each the baseline frame at that scale (a
// z-buffer reset and a copy of the full-screen picture).
// The demo runs at 20 frames a second of music time: a third of the frames of a
// 60 fps run, drawn alike, so the larger scales finish in minutes.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>

#include "app/demo.h"
#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"

namespace {

constexpr uint32_t FPS = 20;
const int SCALES_X10[] = {10, 20, 40, 45, 60};

// Starts the demo at a scale (stopping the last one) unless it runs at that
// scale already and `fresh` is false; false without data.
bool start_at(float scale, bool fresh = false) {
    static bool offered = false;
    static bool running = false;
    static float running_scale = 0.0f;
    if (running && running_scale == scale && !fresh) return true;
    const std::string data = std::string(TAVIK_BINARY_DIR) + "/data";
    struct stat st;
    if (stat((data + "/ragga.xm").c_str(), &st) != 0 || chdir(data.c_str()) != 0) return false;
    if (!offered) {
        // Every size before the display driver first gathers its modes.
        for (int s : SCALES_X10) {
            int32_t w, h;
            demo_screen_size(float(s) / 10.0f, &w, &h);
            host_offer_display_mode(w, h);
        }
        offered = true;
    }
    if (running) demo_shutdown();
    host_reset();
    host_clock_set_frame_rate(FPS);
    demo.scale = scale;
    running = demo_start() == 0;
    running_scale = scale;
    return running;
}

void BM_Baseline_ClearAndCopyPicture(benchmark::State& state) {
    if (!start_at(float(state.range(0)) / 10.0f)) return state.SkipWithError("no default data set in build/data");
    Pixmap* s = demo.vscreen;
    for (auto _ : state) {
        gmem_fill32(s->zbuffer, 0x7FFFFFFF, uint32_t(s->width * s->height));
        pixmap_blit(s, 0, 0, demo.bakg, 0, 0, s->width, s->height);
        benchmark::DoNotOptimize(s->pixels[0]);
    }
    state.SetLabel(std::to_string(s->width) + " x " + std::to_string(s->height));
}

double thread_ms() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// Wall time per frame, and the thread's CPU time per frame, whose worst frame
// a loaded machine does not inflate by descheduling the demo.
void BM_WholeDemoFrame(benchmark::State& state) {
    // Afresh from order 0, whatever ran before at this scale.
    if (!start_at(float(state.range(0)) / 10.0f, true)) return state.SkipWithError("no default data set in build/data");
    int64_t frames = 0;
    double total = 0, worst = 0, cpu_total = 0, cpu_worst = 0;
    for (auto _ : state) {
        bool seen_21 = false;
        for (int f = 0; f < 20000; f++) {
            const uint32_t order = demo.position->order;
            if (order == 21) seen_21 = true;
            if (order == 20 && seen_21) break;
            const auto t0 = std::chrono::steady_clock::now();
            const double c0 = thread_ms();
            demo_draw();
            demo_frame_end();
            const double cpu = thread_ms() - c0;
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            total += ms;
            worst = std::max(worst, ms);
            cpu_total += cpu;
            cpu_worst = std::max(cpu_worst, cpu);
            frames++;
        }
    }
    state.counters["frames"] = double(frames);
    state.counters["mean_ms"] = frames ? total / double(frames) : 0.0;
    state.counters["worst_ms"] = worst;
    state.counters["cpu_mean_ms"] = frames ? cpu_total / double(frames) : 0.0;
    state.counters["cpu_worst_ms"] = cpu_worst;
    state.SetLabel(std::to_string(demo.vscreen->width) + " x " + std::to_string(demo.vscreen->height));
}

}  // namespace

BENCHMARK(BM_Baseline_ClearAndCopyPicture)->Arg(10)->Arg(20)->Arg(40)->Arg(45)->Arg(60)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeDemoFrame)->Arg(10)->Arg(20)->Arg(40)->Arg(45)->Arg(60)->Unit(benchmark::kSecond)->Iterations(1);
