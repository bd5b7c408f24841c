// Cost of one frame's sync reads: 100 tracks of 64 keys each (the four types in
// turn) read at a row that moves on by a fraction of a row every frame, beside
// 100 plain lerps between two values per track as the baseline. The goal is at
// most 10 us a frame.
#include "engine/sync/sync.h"

#include <benchmark/benchmark.h>

#include <string>

static constexpr int TRACKS = 100;
static constexpr int KEYS = 64;
static constexpr int ROWS_APART = 8;   // rows between keys: the tracks span 512 rows

// The row of the next frame: 0.37 of a row on, wrapping a little past the last key
// so that both ends are read too.
static double next_row(double row)
{
    row += 0.37;
    return row > KEYS * ROWS_APART + 4 ? row - (KEYS * ROWS_APART + 8) : row;
}

static void BM_SyncRead100Tracks(benchmark::State& state)
{
    SyncDevice* device = sync_create("bench");
    const SyncTrack* tracks[TRACKS];
    for (int t = 0; t < TRACKS; ++t) {
        std::string name = "track" + std::to_string(t);
        sync_get_track(device, name.c_str());
        SyncTrack* track = sync_track_at(device, t);
        for (int k = 0; k < KEYS; ++k) {
            SyncKey key = {k * ROWS_APART, static_cast<float>((k * 7 + t) % 13), (k + t) % SYNC_TYPE_COUNT};
            sync_set_key(track, &key);
        }
        tracks[t] = track;
    }
    double row = 0.0;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int t = 0; t < TRACKS; ++t) sum += sync_get_val(tracks[t], row);
        benchmark::DoNotOptimize(sum);
        row = next_row(row);
    }
    sync_destroy(device);
}
BENCHMARK(BM_SyncRead100Tracks);

// The baseline: per track one lerp between two values at the row's fraction.
static void BM_Lerp100Values(benchmark::State& state)
{
    float a[TRACKS], b[TRACKS];
    for (int t = 0; t < TRACKS; ++t) {
        a[t] = static_cast<float>(t % 13);
        b[t] = static_cast<float>((t * 7) % 13);
    }
    double row = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        float f = static_cast<float>(row - static_cast<int>(row));
        float sum = 0.0f;
        for (int t = 0; t < TRACKS; ++t) sum += a[t] + (b[t] - a[t]) * f;
        benchmark::DoNotOptimize(sum);
        row = next_row(row);
    }
}
BENCHMARK(BM_Lerp100Values);
