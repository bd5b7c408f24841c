// Fuzz target for keyframe tracks: the input builds a track (type, channels,
// algorithm, keys in any order, repeated times included), prepares it or not,
// evaluates it at many times and destroys it. Every GMEM block must come back.
// Envelope tracks whose keys are finite and moderate must give finite values:
// zero-length segments are guarded, prepared or not.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <vector>

#include "engine/anim/keyframe.h"
#include "fuzz/fuzz_file.h"

namespace {

// Times on a 1/64 grid and values, tension, continuity and bias in the ranges
// tracks are built with; or, when the input says so, any float at all.
float pick_time(FuzzedDataProvider& in, bool wild)
{
    if (wild) return in.ConsumeFloatingPoint<float>();
    return static_cast<float>(in.ConsumeIntegralInRange<int32_t>(-64000, 64000)) / 64.0f;
}

float pick_value(FuzzedDataProvider& in, bool wild)
{
    if (wild) return in.ConsumeFloatingPoint<float>();
    return in.ConsumeFloatingPointInRange<float>(-1000.0f, 1000.0f);
}

float pick_shape(FuzzedDataProvider& in, bool wild)
{
    if (wild) return in.ConsumeFloatingPoint<float>();
    return in.ConsumeFloatingPointInRange<float>(-1.0f, 1.0f);
}

void fail(const char* what, float time)
{
    std::fprintf(stderr, "keyframe: %s at time %g\n", what, static_cast<double>(time));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int32_t blocks = fuzz::live_blocks();
    const bool wild = in.ConsumeBool();
    const int type = in.ConsumeIntegralInRange<int>(0, 3);
    const int channels = in.ConsumeIntegralInRange<int>(-1, 12);
    const int algorithm = in.ConsumeIntegralInRange<int>(0, 4);
    keyframe* track = keyframe_create(type, channels);
    if (!track) {
        // Refused: a type other than 1 and 2, a rotation without 4 channels, or no channels.
        if (type == KEYFRAME_TYPE_ENVELOPE && channels > 0) fail("an envelope track was refused", 0.0f);
        if (type == KEYFRAME_TYPE_ROTATION && channels == 4) fail("a rotation track was refused", 0.0f);
        keyframe_error_string();
        fuzz::check_no_leak(blocks);
        return 0;
    }
    track->algorithm = algorithm;

    const int keys = in.ConsumeIntegralInRange<int>(0, 40);
    std::vector<float> values(static_cast<size_t>(channels));
    for (int k = 0; k < keys; k++) {
        const float time = pick_time(in, wild);
        const float tension = pick_shape(in, wild), continuity = pick_shape(in, wild), bias = pick_shape(in, wild);
        for (float& v : values) v = pick_value(in, wild);
        if (keyframe_add_key(track, time, tension, continuity, bias, values.data()) != 1) fail("add key", time);
    }
    // The list stays in ascending time with consistent links.
    int counted = 0;
    for (const keyframe_key* k = track->keys; k; k = k->next, counted++) {
        if (k->next && k->next->prev != k) fail("broken links", k->time);
        if (k->next && k->next->time < k->time) fail("keys out of order", k->time);
    }
    if (counted != keys) fail("key count", 0.0f);

    const bool envelope = type == KEYFRAME_TYPE_ENVELOPE;
    const bool known = algorithm >= KEYFRAME_ALGO_LINEAR && algorithm <= KEYFRAME_ALGO_BSPLINE;
    if (in.ConsumeBool()) {
        const int ok = keyframe_prepare(track);
        const int needed = !envelope ? 4 : algorithm == KEYFRAME_ALGO_LINEAR ? 1 : 3;
        if (ok != ((envelope ? known : true) && keys >= needed)) fail("prepare result", 0.0f);
        if (!ok) keyframe_error_string();
    }

    const int evaluations = in.ConsumeIntegralInRange<int>(1, 32);
    for (int e = 0; e < evaluations; e++) {
        // Times on the same grid, a little outside the keys too; sometimes halfway.
        float time = pick_time(in, wild);
        if (!wild && in.ConsumeBool()) time += 1.0f / 128.0f;
        const float* out = keyframe_evaluate(track, time);
        if (!out) {
            if (keys > 0 && envelope && known) fail("an envelope track with keys gave no values", time);
            keyframe_error_string();
            continue;
        }
        if (out != track->values) fail("values elsewhere than the track", time);
        if (envelope && !wild)
            for (int c = 0; c < channels; c++)
                if (!std::isfinite(out[c])) fail("a value that is not finite", time);
    }
    keyframe_destroy(track);
    fuzz::check_no_leak(blocks);
    return 0;
}
