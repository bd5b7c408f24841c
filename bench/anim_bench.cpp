// Cost of one track evaluation in the shapes the effects use: a prepared 4-channel
// TCB track of ten keys (a hair's path) and an unprepared 9-channel TCB track of
// eight keys (the knot's amplitudes), beside a plain two-row lerp of as many channels.
#include "engine/anim/keyframe.h"
#include "engine/math/quat.h"

#include <benchmark/benchmark.h>

// Times swept over the whole track and a bit beyond, so every segment and both
// clamps are visited; the step is not a divisor of the range.
static float next_time(float t, float step, float lo, float hi)
{
    t += step;
    return t > hi ? t - (hi - lo) : t;
}

static keyframe* hair_track()
{
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 4);
    track->algorithm = KEYFRAME_ALGO_TCB;
    for (int j = 0; j < 10; j++) {
        const float v[4] = {50.0f * j, 0.0f, 0.0f, 4.0f * j};
        keyframe_add_key(track, 10.0f * j, 0, 0, 0, v);
    }
    keyframe_prepare(track);
    return track;
}

static keyframe* knot_track()
{
    const float times[8] = {0, 10, 50, 100, 150, 200, 250, 260};
    const float values[8 * 9] = {
        100, 100, 0, 0, 0, 0,  0,  0, 0,  100, 100, 0, 0, 0,  0,  0,  0, 0,
        100, 100, 0, 0, 0, 0,  0,  0, 0,  100, 100, 0, 0, 0,  50, 0,  0, 0,
        100, 100, 0, 0, 0, 10, 20, 0, 50, 100, 100, 0, 0, 50, 10, 20, 0, 20,
        100, 100, 0, 0, 0, 0,  0,  0, 0,  100, 100, 0, 0, 0,  0,  0,  0, 0,
    };
    const float zeros[8] = {};
    return keyframe_create_keys(8, KEYFRAME_TYPE_ENVELOPE, KEYFRAME_ALGO_TCB, 9, times, zeros, zeros, zeros, values);
}

static void BM_HairPreparedTcb4(benchmark::State& state)
{
    keyframe* track = hair_track();
    float t = -5.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(keyframe_evaluate(track, t));
        t = next_time(t, 0.37f, -5.0f, 95.0f);
    }
    keyframe_destroy(track);
}
BENCHMARK(BM_HairPreparedTcb4);

static void BM_KnotUnpreparedTcb9(benchmark::State& state)
{
    keyframe* track = knot_track();
    float t = -5.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(keyframe_evaluate(track, t));
        t = next_time(t, 0.93f, -5.0f, 265.0f);
    }
    keyframe_destroy(track);
}
BENCHMARK(BM_KnotUnpreparedTcb9);

static void BM_RotationPrepared(benchmark::State& state)
{
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ROTATION, 4);
    for (int j = 0; j < 10; j++) {
        const float v[4] = {0.0f, 0.6f, 0.8f, 0.7f * j};
        keyframe_add_key(track, 10.0f * j, 0, 0, 0, v);
    }
    keyframe_prepare(track);
    float t = -5.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(keyframe_evaluate(track, t));
        t = next_time(t, 0.37f, -5.0f, 95.0f);
    }
    keyframe_destroy(track);
}
BENCHMARK(BM_RotationPrepared);

// The baseline: what any evaluation must at least do, one lerp per channel between
// two fixed rows, with the same time sweep and an opaque result.
template <int N>
static void BM_BaselineLerp(benchmark::State& state)
{
    float a[N], b[N], out[N];
    for (int c = 0; c < N; c++) {
        a[c] = static_cast<float>(c);
        b[c] = static_cast<float>(3 * c + 1);
    }
    float t = -5.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        float u = t * 0.01f;
        for (int c = 0; c < N; c++) out[c] = a[c] + (b[c] - a[c]) * u;
        benchmark::DoNotOptimize(out);
        t = next_time(t, 0.37f, -5.0f, 95.0f);
    }
}
BENCHMARK(BM_BaselineLerp<4>);
BENCHMARK(BM_BaselineLerp<9>);
