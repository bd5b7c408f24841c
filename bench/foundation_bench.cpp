// Per-frame passes over one 320 x 240 virtual screen, each beside a plain
// memcpy of the same number of bytes in the same run: the colour fade and the
// additive blit (SIMD and scalar), the rectangle clear, the blit and the z fill.
#include "engine/fx/fx.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"

#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320, kHeight = 240, kPixels = kWidth * kHeight;
constexpr int64_t kFrameBytes = int64_t(kPixels) * 4;

// A screen with z-buffer as the demo creates it, and a picture to lay onto it,
// both filled with noise so that no pass meets only zeros.
struct Frame {
    Pixmap* screen;
    Pixmap* picture;
    Frame()
    {
        screen = pixmap_create(kWidth, kHeight, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
        picture = pixmap_create(kWidth, kHeight, 0);
        std::mt19937 rng(1);
        for (int i = 0; i < kPixels; ++i) {
            screen->pixels[i] = rng();
            picture->pixels[i] = rng() & 0x3F3F3F3F;
        }
    }
};

Frame& frame()
{
    static Frame f;
    return f;
}

// The baseline: copy `bytes` bytes between two buffers.
void BM_Memcpy(benchmark::State& state)
{
    size_t bytes = size_t(state.range(0));
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}
BENCHMARK(BM_Memcpy)->Arg(kFrameBytes)->Arg(2 * kFrameBytes);

// What 16-byte lanes cost by themselves: a plain SSE2 load/store copy of one
// frame. The C library's memcpy may use wider registers than the passes can.
void BM_CopyLoopSse2(benchmark::State& state)
{
    std::vector<uint32_t> from(kPixels, 1), to(kPixels, 0);
    for (auto _ : state) {
        for (int i = 0; i < kPixels; i += 4)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to.data() + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from.data() + i)));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_CopyLoopSse2);

// Towards black, as every fade of the demo goes.
void BM_ColourFade(benchmark::State& state)
{
    Pixmap* s = frame().screen;
    for (auto _ : state) {
        fx_fade(s, 0x00000000, 0.25f, kPixels);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_ColourFade);

// Towards another colour: the general 16-bit lane path.
void BM_ColourFadeToColour(benchmark::State& state)
{
    Pixmap* s = frame().screen;
    for (auto _ : state) {
        fx_fade(s, 0x80402010, 0.25f, kPixels);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_ColourFadeToColour);

void BM_ColourFadeScalar(benchmark::State& state)
{
    Pixmap* s = frame().screen;
    for (auto _ : state) {
        fx_fade_scalar(s, 0x00000000, 0.25f, kPixels);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_ColourFadeScalar);

void BM_AdditiveBlit(benchmark::State& state)
{
    Frame& f = frame();
    for (auto _ : state) {
        fx_add_blit(f.screen, 0, 0, f.picture, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_AdditiveBlit);

void BM_AdditiveBlitScalar(benchmark::State& state)
{
    Frame& f = frame();
    for (auto _ : state) {
        fx_add_blit_scalar(f.screen, 0, 0, f.picture, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_AdditiveBlitScalar);

// The whole screen with its z-buffer: two planes, so beside a two-frame memcpy.
void BM_ClearRect(benchmark::State& state)
{
    Pixmap* s = frame().screen;
    for (auto _ : state) {
        pixmap_clear_rect(s, 0, 0, kWidth, kHeight, 0xFF000000);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 2 * kFrameBytes);
}
BENCHMARK(BM_ClearRect);

void BM_Blit(benchmark::State& state)
{
    Frame& f = frame();
    for (auto _ : state) {
        pixmap_blit(f.screen, 0, 0, f.picture, 0, 0, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_Blit);

void BM_ZBufferFill32(benchmark::State& state)
{
    Pixmap* s = frame().screen;
    for (auto _ : state) {
        gmem_fill32(s->zbuffer, uint32_t(PIXMAP_Z_FAR), kPixels);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_ZBufferFill32);

// Prints the usual table, then each pass's time as a ratio to the memcpy of the
// same bytes measured in this run (medians when repeated).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (median || run.run_type == Run::RT_Iteration) {
                std::string name = run.run_name.str();
                if (median || !times_.count(name) || !medians_.count(name)) times_[name] = run.GetAdjustedCPUTime();
                if (median) medians_[name] = true;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        static const struct {
            const char* name;
            const char* baseline;
            const char* label;
        } rows[] = {
            {"BM_CopyLoopSse2", "BM_Memcpy/307200", "16-byte copy loop (SSE2), for scale"},
            {"BM_ColourFade", "BM_Memcpy/307200", "colour fade, to black"},
            {"BM_ColourFadeToColour", "BM_Memcpy/307200", "colour fade, to a colour"},
            {"BM_ColourFadeScalar", "BM_Memcpy/307200", "colour fade, scalar reference"},
            {"BM_AdditiveBlit", "BM_Memcpy/307200", "additive blit"},
            {"BM_AdditiveBlitScalar", "BM_Memcpy/307200", "additive blit, scalar reference"},
            {"BM_ClearRect", "BM_Memcpy/614400", "pixmap_clear_rect (pixels + z)"},
            {"BM_Blit", "BM_Memcpy/307200", "pixmap_blit"},
            {"BM_ZBufferFill32", "BM_Memcpy/307200", "gmem_fill32 of the z-buffer"},
        };
        std::printf("\nTime per 320 x 240 frame as a ratio to memcpy of the same bytes:\n");
        for (const auto& row : rows) {
            auto pass = times_.find(row.name), base = times_.find(row.baseline);
            if (pass == times_.end() || base == times_.end() || base->second <= 0) continue;
            std::printf("  %-38s %6.2f\n", row.label, pass->second / base->second);
        }
    }

private:
    std::map<std::string, double> times_;
    std::map<std::string, bool> medians_;
};

}  // namespace

// Repeated and interleaved by default, so that a busy machine shifts the
// passes and their baselines alike; flags given on the command line win.
int main(int argc, char** argv)
{
    std::vector<char*> args = {argv[0]};
    char repetitions[] = "--benchmark_repetitions=5";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.end(), {repetitions, interleave, aggregates});
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
