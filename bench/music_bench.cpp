// What the music costs and how steady its clock is: CPU time to mix one second
// of a 16-channel module through the sound output (beside libopenmpt decoding
// alone), and the 14 ms timer's tick intervals over 10 s of wall time (beside a
// loop of relative 14 ms sleeps). Runs on the SDL host for the real clock.
#include <benchmark/benchmark.h>

#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/mmsystem.h"
#include "tools/xm/xm_writer.h"

// 16 channels busy all the time: 16-bit looped waves with a volume envelope,
// a new note on every channel every other row, speed 3 at 140 BPM.
static std::vector<uint8_t> busy_module()
{
    XmSong song;
    song.name = "bench 16 channels";
    song.channels = 16;
    song.speed = 3;
    song.bpm = 140;
    for (int i = 0; i < 4; i++) {
        XmSample s;
        s.name = "wave";
        s.bits = 16;
        int period = 64 << (i % 3);
        for (int f = 0; f < period * 16; f++) {
            double x = 2 * M_PI * f / period;
            s.data.push_back(static_cast<int16_t>(6000 * (std::sin(x) + 0.3 * std::sin(3 * x + i))));
        }
        s.loop_type = i % 2 ? XM_LOOP_PINGPONG : XM_LOOP_FORWARD;
        s.loop_length = static_cast<uint32_t>(s.data.size());
        xm_tune_sample(&s, period * 261.63);
        XmInstrument ins = xm_instrument_single("wave", s);
        ins.volume_envelope.points = 3;
        ins.volume_envelope.y[0] = 64;
        ins.volume_envelope.x[1] = 6, ins.volume_envelope.y[1] = 40;
        ins.volume_envelope.x[2] = 60, ins.volume_envelope.y[2] = 20;
        ins.volume_envelope.flags = XM_ENV_ON;
        song.instruments.push_back(ins);
    }
    for (int p = 0; p < 2; p++) {
        int pat = xm_add_pattern(&song, 64);
        for (int r = 0; r < 64; r += 2)
            for (int c = 0; c < 16; c++)
                *xm_cell(&song, pat, r, c) =
                    XmCell{static_cast<uint8_t>(25 + (r * 7 + c * 5 + p * 3) % 48), static_cast<uint8_t>(1 + c % 4),
                           static_cast<uint8_t>(0x10 + 24 + c),
                           static_cast<uint8_t>(c % 4 == 1 ? XM_FX_VIBRATO : 0),
                           static_cast<uint8_t>(c % 4 == 1 ? 0x24 : 0)};
        song.orders.push_back(static_cast<uint8_t>(pat));
    }
    std::vector<uint8_t> bytes;
    xm_write(song, &bytes);
    return bytes;
}

// The sound output's mix of one second, in 512-frame pulls as the device makes them.
static void BM_MixOneSecond16Channels(benchmark::State& state)
{
    // No device: nothing renders behind the benchmark's back.
    setenv("SDL_AUDIODRIVER", "bench-no-device", 1);
    std::vector<uint8_t> bytes = busy_module();
    audio_open();
    AudioSong* song = audio_song_load_memory(bytes.data(), bytes.size());
    audio_song_play(song);
    std::vector<float> buf(512 * 2);
    for (auto _ : state) {
        for (int f = 0; f < 44100; f += 512) audio_render(buf.data(), std::min(512, 44100 - f));
        benchmark::DoNotOptimize(buf.data());
    }
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    audio_song_free(song);
    audio_close();
}
BENCHMARK(BM_MixOneSecond16Channels)->Unit(benchmark::kMillisecond);

// Baseline: libopenmpt decoding the same module alone, same pulls, no marks.
static void BM_BaselineDecodeOneSecond16Channels(benchmark::State& state)
{
    std::vector<uint8_t> bytes = busy_module();
    openmpt::module mod(bytes);
    mod.set_repeat_count(-1);
    std::vector<float> buf(512 * 2);
    for (auto _ : state) {
        for (int f = 0; f < 44100; f += 512) mod.read_interleaved_stereo(44100, std::min(512, 44100 - f), buf.data());
        benchmark::DoNotOptimize(buf.data());
    }
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BaselineDecodeOneSecond16Channels)->Unit(benchmark::kMillisecond);

// ---- timer jitter -----------------------------------------------------------

using Clock = std::chrono::steady_clock;
static std::vector<Clock::time_point> tick_times;

static void CALLBACK record_tick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    tick_times.push_back(Clock::now());
}

// Interval statistics (ms) and the drift of the last tick from n * 14 ms.
static void report_intervals(benchmark::State& state, Clock::time_point start)
{
    std::vector<double> iv;
    for (size_t i = 1; i < tick_times.size(); i++)
        iv.push_back(std::chrono::duration<double, std::milli>(tick_times[i] - tick_times[i - 1]).count());
    if (iv.empty()) return;
    std::vector<double> sorted = iv;
    std::sort(sorted.begin(), sorted.end());
    auto pct = [&](double p) { return sorted[static_cast<size_t>(p * (sorted.size() - 1))]; };
    double worst = 0;
    for (double v : iv) worst = std::max(worst, std::fabs(v - 14.0));
    double drift = std::chrono::duration<double, std::milli>(tick_times.back() - start).count() - 14.0 * tick_times.size();
    state.counters["ticks"] = static_cast<double>(tick_times.size());
    state.counters["p01_ms"] = pct(0.01);
    state.counters["p50_ms"] = pct(0.5);
    state.counters["p99_ms"] = pct(0.99);
    state.counters["worst_dev_ms"] = worst;
    state.counters["drift_ms"] = drift;
}

// The multimedia timer the sync clock runs on: 10 s of 14 ms ticks.
static void BM_TimerTicks10s(benchmark::State& state)
{
    for (auto _ : state) {
        tick_times.clear();
        tick_times.reserve(800);
        Clock::time_point start = Clock::now();
        UINT id = timeSetEvent(14, 7, record_tick, 0, TIME_PERIODIC);
        std::this_thread::sleep_for(std::chrono::milliseconds(10000));
        timeKillEvent(id);
        report_intervals(state, start);
    }
}
BENCHMARK(BM_TimerTicks10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Baseline: a thread sleeping 14 ms after each tick (relative deadlines).
static void BM_BaselineSleepLoop10s(benchmark::State& state)
{
    for (auto _ : state) {
        tick_times.clear();
        Clock::time_point start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(10)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(14));
            tick_times.push_back(Clock::now());
        }
        report_intervals(state, start);
    }
}
BENCHMARK(BM_BaselineSleepLoop10s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
