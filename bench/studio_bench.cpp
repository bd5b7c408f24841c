// The studio's costs at 320 x 240 on the headless host: a seek to an order's
// first row and the first frame drawn there, with the order's seek point kept
// (every seek after the first) and without (the replay from the start that the
// first seek to a late order costs); a reload of every picture, texture and the
// module; beside them one frame of the demo drawn where it is, the baseline.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/demo.h"
#include "app/studio.h"
#include "app/studio_view.h"
#include "engine/music/music.h"
#include "platform/host.h"

namespace {

bool started() {
    static int state = -1;
    if (state < 0) {
        const std::string data = std::string(TAVIK_BINARY_DIR) + "/data";
        struct stat st;
        host_clock_set_frame_rate(60);
        state = stat((data + "/ragga.xm").c_str(), &st) == 0 && chdir(data.c_str()) == 0 && demo_start() == 0 &&
                studio_begin();
        // Every order's seek point, as after the studio has been through the demo once.
        StudioWhen end;
        studio_parse_when("21:0", &end);
        if (state == 1 && !studio_seek(end, false)) state = 0;
    }
    return state == 1;
}

#define REQUIRE_STUDIO(state)                                                \
    if (!started()) {                                                        \
        (state).SkipWithError("no default data set in build/data");         \
        return;                                                              \
    }

StudioWhen order_start(int order) {
    StudioWhen w;
    w.kind = StudioWhen::POSITION;
    w.order = uint32_t(order);
    return w;
}

// Baseline: the demo's frame at the order's start, drawn again where it is.
void BM_DrawFrame(benchmark::State& state) {
    REQUIRE_STUDIO(state);
    studio_seek(order_start(int(state.range(0))), false);
    for (auto _ : state) demo_draw();
}
BENCHMARK(BM_DrawFrame)->Arg(0)->Arg(8)->Arg(13)->Arg(21)->Unit(benchmark::kMillisecond);

// A seek to the order's first row and its first frame, its seek point kept.
void BM_SeekToOrderAndDraw(benchmark::State& state) {
    REQUIRE_STUDIO(state);
    for (auto _ : state) {
        studio_seek(order_start(int(state.range(0))), false);
        demo_draw();
    }
}
BENCHMARK(BM_SeekToOrderAndDraw)->DenseRange(0, 21, 1)->Unit(benchmark::kMillisecond);

// The first seek to an order: no seek point but the start, so the demo is
// replayed up to there (the points on the way are kept and dropped again).
void BM_FirstSeekToOrderAndDraw(benchmark::State& state) {
    REQUIRE_STUDIO(state);
    for (auto _ : state) {
        studio_forget();
        studio_seek(order_start(int(state.range(0))), false);
        demo_draw();
    }
    studio_forget();
    studio_seek(order_start(21), false);  // the points back for the benchmarks after
}
BENCHMARK(BM_FirstSeekToOrderAndDraw)->Arg(1)->Arg(10)->Arg(21)->Iterations(3)->Unit(benchmark::kMillisecond);

// R: every picture and texture and the module read again from disk.
void BM_ReloadAll(benchmark::State& state) {
    REQUIRE_STUDIO(state);
    int failed = 0;
    for (auto _ : state) failed += studio_reload();
    if (failed) state.SkipWithError("a data file did not reload");
    studio_seek(order_start(21), false);
}
BENCHMARK(BM_ReloadAll)->Unit(benchmark::kMillisecond);

}  // namespace
