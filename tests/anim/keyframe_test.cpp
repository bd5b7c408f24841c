// Keyframe tracks: key order, the three envelope curves on both the prepared and
// the key-list paths, rotation tracks, refusals, and what a failed allocation
// leaves behind (checked by failing each allocation in turn).
#include "engine/anim/keyframe.h"
#include "engine/math/quat.h"
#include "engine/memory/gmem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEYFRAME_TEST_NO_MALLOC_HOOK 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KEYFRAME_TEST_NO_MALLOC_HOOK 1
#endif

#ifndef KEYFRAME_TEST_NO_MALLOC_HOOK
// Every allocation of the process passes here; when armed, the n-th one from now fails.
extern "C" void* __libc_malloc(size_t size);
static int malloc_fail_in = -1;
extern "C" void* malloc(size_t size)
{
    if (malloc_fail_in >= 0 && malloc_fail_in-- == 0) return nullptr;
    return __libc_malloc(size);
}
#endif

static int live_blocks()
{
    GmemStats stats;
    gmem_stats(&stats);
    return stats.blocks;
}

static keyframe* linear_0_to_100()
{
    const float times[] = {0.0f, 10.0f}, values[] = {0.0f, 100.0f};
    return keyframe_create_keys(2, KEYFRAME_TYPE_ENVELOPE, KEYFRAME_ALGO_LINEAR, 1, times, nullptr, nullptr,
                                nullptr, values);
}

TEST(Keyframe, CreationAndRefusals)
{
    keyframe_error_string();
    EXPECT_EQ(keyframe_create(KEYFRAME_TYPE_ROTATION, 3), nullptr);
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] A rotation must have 4 channels");
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] No error, so far...");
    EXPECT_EQ(keyframe_create(7, 4), nullptr);
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Algorithm not supported, yet");
    EXPECT_EQ(keyframe_create(KEYFRAME_TYPE_ENVELOPE, -1), nullptr);
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Unable to allocate memory");

    int before = live_blocks();
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 9);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->keys, nullptr);
    EXPECT_EQ(track->prepared, nullptr);
    EXPECT_EQ(track->channels, 9);
    EXPECT_EQ(track->type, KEYFRAME_TYPE_ENVELOPE);
    EXPECT_EQ(track->algorithm, KEYFRAME_ALGO_LINEAR);
    for (int c = 0; c < 9; c++) EXPECT_EQ(track->values[c], 0.0f);
    // No keys: no result, and the error code is left alone.
    keyframe_create(KEYFRAME_TYPE_ROTATION, 5);
    EXPECT_EQ(keyframe_evaluate(track, 1.0f), nullptr);
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] A rotation must have 4 channels");
    keyframe_destroy(track);
    EXPECT_EQ(live_blocks(), before);
}

TEST(Keyframe, InsertionByTimeTiesGoFirst)
{
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 1);
    const float tags[] = {20.0f, 0.0f, 10.0f, 11.0f, 1.0f};
    ASSERT_TRUE(keyframe_add_key(track, 2.0f, 0, 0, 0, &tags[0]));
    ASSERT_TRUE(keyframe_add_key(track, 0.0f, 0, 0, 0, &tags[1]));
    ASSERT_TRUE(keyframe_add_key(track, 1.0f, 0, 0, 0, &tags[2]));
    ASSERT_TRUE(keyframe_add_key(track, 1.0f, 0, 0, 0, &tags[3]));  // tie: before the other 1
    ASSERT_TRUE(keyframe_add_key(track, 0.0f, 0, 0, 0, &tags[4]));  // tie with the first: new first
    const float order[] = {1.0f, 0.0f, 11.0f, 10.0f, 20.0f};
    const keyframe_key* key = track->keys;
    const keyframe_key* prev = nullptr;
    for (float tag : order) {
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->values[0], tag);
        EXPECT_EQ(key->prev, prev);
        prev = key;
        key = key->next;
    }
    EXPECT_EQ(key, nullptr);

    testing::internal::CaptureStdout();
    keyframe_dump_keys(track);
    std::string dump = testing::internal::GetCapturedStdout();
    size_t banners = 0;
    for (size_t at = 0; (at = dump.find("-----[ Keyframe key ]----------\n", at)) != std::string::npos; at++) banners++;
    EXPECT_EQ(banners, 5u);
    EXPECT_NE(dump.find("Time:         1.000\nNext key:     0x"), std::string::npos);
    EXPECT_EQ(dump.find("Previous key: 0x000000\n"), dump.find("Previous key:"));  // the first key's
    EXPECT_NE(dump.find("Next key:     0x000000\nPrevious key: 0x"), std::string::npos);  // the last's
    keyframe_destroy(track);
}

TEST(Keyframe, LinearPreparedOrNot)
{
    keyframe* track = linear_0_to_100();
    for (int prepared = 0; prepared < 2; prepared++) {
        if (prepared) {
            ASSERT_TRUE(keyframe_prepare(track));
        }
        EXPECT_FLOAT_EQ(keyframe_evaluate(track, 2.5f)[0], 25.0f);
        EXPECT_EQ(keyframe_evaluate(track, -1.0f)[0], 0.0f);
        EXPECT_EQ(keyframe_evaluate(track, 0.0f)[0], 0.0f);
        EXPECT_FLOAT_EQ(keyframe_evaluate(track, 10.0f)[0], 100.0f);
        EXPECT_FLOAT_EQ(keyframe_evaluate(track, 20.0f)[0], 100.0f);
    }
    keyframe_destroy(track);

    // One key: that key everywhere, prepared or not.
    const float time = 3.0f, value = 7.0f;
    track = keyframe_create_keys(1, KEYFRAME_TYPE_ENVELOPE, KEYFRAME_ALGO_LINEAR, 1, &time, nullptr, nullptr, nullptr,
                                 &value);
    EXPECT_EQ(keyframe_evaluate(track, 0.0f)[0], 7.0f);
    ASSERT_TRUE(keyframe_prepare(track));
    EXPECT_EQ(keyframe_evaluate(track, 5.0f)[0], 7.0f);
    keyframe_destroy(track);
}

// Five keys at 0..4 whose values are 10 * (index + 1) in channel 0, the negatives in channel 1.
static keyframe* five_keys(int algorithm)
{
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 2);
    track->algorithm = algorithm;
    for (int i = 0; i < 5; i++) {
        const float v[2] = {10.0f * (i + 1), -10.0f * (i + 1)};
        keyframe_add_key(track, static_cast<float>(i), 0, 0, 0, v);
    }
    return track;
}

TEST(Keyframe, TcbOuterSegmentsHoldAKeyUnprepared)
{
    keyframe* track = five_keys(KEYFRAME_ALGO_TCB);
    for (float t : {0.0f, 0.3f, 0.99f}) EXPECT_EQ(keyframe_evaluate(track, t)[0], 20.0f) << t;
    for (float t : {3.0f, 3.5f, 3.99f}) EXPECT_EQ(keyframe_evaluate(track, t)[1], -40.0f) << t;
    EXPECT_EQ(keyframe_evaluate(track, -2.0f)[0], 10.0f);
    EXPECT_EQ(keyframe_evaluate(track, 4.0f)[0], 50.0f);
    // Equal steps and no tension: the inner segment is the straight line.
    EXPECT_FLOAT_EQ(keyframe_evaluate(track, 1.5f)[0], 25.0f);
    keyframe_destroy(track);
}

TEST(Keyframe, TcbPreparedPassesThroughKeys)
{
    keyframe* track = five_keys(KEYFRAME_ALGO_TCB);
    ASSERT_TRUE(keyframe_prepare(track));
    const keyframe_table* table = static_cast<const keyframe_table*>(track->prepared);
    EXPECT_EQ(table->count, 6);  // phantom, four real, phantom
    EXPECT_EQ(table->start, 0.0f);
    for (int i = 0; i < 5; i++) {
        const float* v = keyframe_evaluate(track, static_cast<float>(i));
        EXPECT_NEAR(v[0], 10.0f * (i + 1), 1e-4f) << i;
        EXPECT_NEAR(v[1], -10.0f * (i + 1), 1e-4f) << i;
    }
    // Clamped at both ends, and at or before the first key (where float times make
    // the phantom segment's end equal the key's time) the result is the first key.
    for (float t : {-5.0f, -0.5f}) EXPECT_EQ(keyframe_evaluate(track, t)[0], 10.0f);
    EXPECT_NEAR(keyframe_evaluate(track, 100.0f)[0], 50.0f, 1e-4f);
    keyframe_destroy(track);

    // Keys at 1000.25..: 1e-9 vanishes in float, so each segment ends exactly at its key
    // and a search from segment 0 would stop on the phantom one and read the row
    // before the table (the sanitizer build reports that read).
    track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 1);
    track->algorithm = KEYFRAME_ALGO_TCB;
    for (int i = 0; i < 3; i++) {
        const float v = static_cast<float>(i * i);
        keyframe_add_key(track, 1000.25f + i, 0.5f, 0, 0, &v);
    }
    ASSERT_TRUE(keyframe_prepare(track));
    const keyframe_table* t2 = static_cast<const keyframe_table*>(track->prepared);
    EXPECT_EQ(t2->segments[0].t1, t2->start);
    EXPECT_EQ(keyframe_evaluate(track, 1000.25f)[0], 0.0f);
    EXPECT_EQ(keyframe_evaluate(track, 999.0f)[0], 0.0f);
    EXPECT_NEAR(keyframe_evaluate(track, 1001.25f)[0], 1.0f, 1e-5f);
    keyframe_destroy(track);
}

// Kochanek-Bartels the textbook way, in double: tangents from the neighbours scaled by
// the interval ratio, phantom keys continuing the end keys as the tracks define them.
struct KbKey {
    double time, tension, continuity, bias, value;
};

static double kb_reference(std::vector<KbKey> k, double time)
{
    size_t n = k.size();
    KbKey head = k[0], tail = k[n - 1];
    head.time = k[0].time - (k[1].time - k[0].time) * 0.5;
    head.value = (7 * k[0].value - 4 * k[1].value + k[2].value) / 4;
    tail.time = k[n - 1].time + (k[n - 1].time - k[n - 2].time) * 0.5;
    tail.value = (7 * k[n - 1].value - 4 * k[n - 2].value + k[n - 3].value) / 4;
    k.insert(k.begin(), head);
    k.push_back(tail);
    size_t i = 1;
    while (i + 2 < k.size() - 1 && time > k[i + 1].time) i++;
    const KbKey &pm = k[i - 1], &p0 = k[i], &p1 = k[i + 1], &p2 = k[i + 2];
    double d0 = p0.time - pm.time, d1 = p1.time - p0.time, d2 = p2.time - p1.time;
    double out = 0.5 * (1 - p0.tension) * (1 + p0.continuity) * (1 + p0.bias) * (p0.value - pm.value) +
                 0.5 * (1 - p0.tension) * (1 - p0.continuity) * (1 - p0.bias) * (p1.value - p0.value);
    double in = 0.5 * (1 - p1.tension) * (1 - p1.continuity) * (1 + p1.bias) * (p1.value - p0.value) +
                0.5 * (1 - p1.tension) * (1 + p1.continuity) * (1 - p1.bias) * (p2.value - p1.value);
    out *= 2 * d1 / (d0 + d1);
    in *= 2 * d1 / (d1 + d2);
    double u = (time - p0.time) / d1;
    double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * p0.value + (3 * u2 - 2 * u3) * p1.value + (u3 - 2 * u2 + u) * out +
           (u3 - u2) * in;
}

TEST(Keyframe, TcbMatchesKochanekBartels)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> gap(0.3, 2.0), value(-5.0, 5.0), shape(-0.6, 0.6), unit(0.0, 1.0);
    for (int round = 0; round < 20; round++) {
        int n = 3 + round % 6;
        std::vector<KbKey> keys;
        double t = value(rng);
        for (int i = 0; i < n; i++, t += gap(rng)) {
            // Values and times that floats hold exactly, so both sides start from the same keys.
            keys.push_back(KbKey{static_cast<float>(t), static_cast<float>(shape(rng)), static_cast<float>(shape(rng)),
                                 static_cast<float>(shape(rng)), static_cast<float>(value(rng))});
        }
        // Added in a shuffled order: insertion sorts them.
        std::vector<KbKey> shuffled = keys;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 1);
        track->algorithm = KEYFRAME_ALGO_TCB;
        for (const KbKey& k : shuffled) {
            float v = static_cast<float>(k.value);
            keyframe_add_key(track, static_cast<float>(k.time), static_cast<float>(k.tension),
                             static_cast<float>(k.continuity), static_cast<float>(k.bias), &v);
        }
        ASSERT_TRUE(keyframe_prepare(track));
        keyframe* raw = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 1);
        raw->algorithm = KEYFRAME_ALGO_TCB;
        for (const KbKey& k : keys) {
            float v = static_cast<float>(k.value);
            keyframe_add_key(raw, static_cast<float>(k.time), static_cast<float>(k.tension),
                             static_cast<float>(k.continuity), static_cast<float>(k.bias), &v);
        }
        double first = keys.front().time, last = keys.back().time;
        for (int s = 0; s < 100; s++) {
            float when = static_cast<float>(first + (last - first) * unit(rng));
            double expect = kb_reference(keys, when);
            EXPECT_NEAR(keyframe_evaluate(track, when)[0], expect, 2e-4 * (1.0 + std::fabs(expect)))
                << "round " << round << " time " << when;
            // Away from the outer segments the key-list path draws the same curve.
            if (when > keys[1].time && when < keys[n - 2].time) {
                EXPECT_NEAR(keyframe_evaluate(raw, when)[0], expect, 2e-4 * (1.0 + std::fabs(expect)));
            }
        }
        keyframe_destroy(track);
        keyframe_destroy(raw);
    }
}

TEST(Keyframe, BSpline)
{
    // All keys equal: the curve is that constant, phantom points included.
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 1);
    track->algorithm = KEYFRAME_ALGO_BSPLINE;
    const float c = 3.75f;
    for (float t : {0.0f, 1.0f, 2.5f, 3.0f}) keyframe_add_key(track, t, 0, 0, 0, &c);
    for (int prepared = 0; prepared < 2; prepared++) {
        if (prepared) {
            ASSERT_TRUE(keyframe_prepare(track));
        }
        for (float t : {-1.0f, 0.0f, 0.4f, 1.7f, 2.9f, 3.0f, 8.0f}) {
            EXPECT_NEAR(keyframe_evaluate(track, t)[0], c, 1e-5f);
        }
    }
    keyframe_destroy(track);

    // 0, 0, 6, 0, 0: at the start of the second-to-third key segment, (0 + 0 + 6) / 6.
    track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 1);
    track->algorithm = KEYFRAME_ALGO_BSPLINE;
    const float v[] = {0, 0, 6, 0, 0};
    for (int i = 0; i < 5; i++) keyframe_add_key(track, static_cast<float>(i), 0, 0, 0, &v[i]);
    EXPECT_FLOAT_EQ(keyframe_evaluate(track, 1.0f)[0], 1.0f);
    EXPECT_FLOAT_EQ(keyframe_evaluate(track, 2.0f)[0], 4.0f);  // (0 + 24 + 0) / 6 at the peak
    ASSERT_TRUE(keyframe_prepare(track));
    EXPECT_FLOAT_EQ(keyframe_evaluate(track, 1.0f)[0], 1.0f);
    EXPECT_FLOAT_EQ(keyframe_evaluate(track, 2.0f)[0], 4.0f);
    EXPECT_FLOAT_EQ(keyframe_evaluate(track, 2.5f)[0], 2.875f);  // b1(0.5) = 2.875, times 6, over 6
    keyframe_destroy(track);
}

TEST(Keyframe, PrepareRefusalsChangeNothing)
{
    keyframe_error_string();
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 1);
    EXPECT_FALSE(keyframe_prepare(track));  // no key
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Bad algorithm value set");
    const float v[] = {1.0f, 2.0f};
    keyframe_add_key(track, 0.0f, 0, 0, 0, &v[0]);
    keyframe_add_key(track, 1.0f, 0, 0, 0, &v[1]);
    ASSERT_TRUE(keyframe_prepare(track));
    void* linear_table = track->prepared;
    int blocks = live_blocks();
    for (int algorithm : {int(KEYFRAME_ALGO_TCB), int(KEYFRAME_ALGO_BSPLINE), 0, 4}) {
        track->algorithm = algorithm;  // two keys are too few for the cubic curves
        EXPECT_FALSE(keyframe_prepare(track));
        EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Bad algorithm value set");
        EXPECT_EQ(track->prepared, linear_table);
        EXPECT_EQ(live_blocks(), blocks);
    }
    EXPECT_EQ(keyframe_evaluate(track, 0.5f), nullptr);  // algorithm 4
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Bad algorithm value set");
    // A table is read as the curve it was built for.
    track->algorithm = KEYFRAME_ALGO_TCB;
    EXPECT_FLOAT_EQ(keyframe_evaluate(track, 0.5f)[0], 1.5f);
    keyframe_destroy(track);
}

static keyframe* rotation_about_z(int keys)
{
    keyframe* track = keyframe_create(KEYFRAME_TYPE_ROTATION, 4);
    for (int i = 0; i < keys; i++) {
        const float v[4] = {0.0f, 0.0f, 1.0f, 0.5f * i};
        keyframe_add_key(track, static_cast<float>(i), 0, 0, 0, v);
    }
    return track;
}

TEST(Keyframe, RotationTracks)
{
    keyframe_error_string();
    int before = live_blocks();
    keyframe* track = rotation_about_z(3);
    EXPECT_EQ(keyframe_evaluate(track, 1.0f), nullptr);
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Rotation type require preprocessing");
    EXPECT_FALSE(keyframe_prepare(track));  // three keys make no segment
    EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Bad algorithm value set");
    EXPECT_EQ(track->prepared, nullptr);

    const float v[4] = {0.0f, 0.0f, 1.0f, 1.5f};
    keyframe_add_key(track, 3.0f, 0, 0, 0, v);
    ASSERT_TRUE(keyframe_prepare(track));
    ASSERT_TRUE(keyframe_prepare(track));  // again: the old interpolator is replaced
    const float times[] = {0.0f, 1.0f, 1.5f, 2.0f, 3.0f};
    const float angles[] = {0.5f, 0.5f, 0.75f, 1.0f, 1.0f};
    for (int i = 0; i < 5; i++) {
        const float* r = keyframe_evaluate(track, times[i]);
        ASSERT_NE(r, nullptr);
        EXPECT_NEAR(r[0], 0.0f, 1e-6f);
        EXPECT_NEAR(r[1], 0.0f, 1e-6f);
        EXPECT_NEAR(r[2], 1.0f, 1e-6f);
        EXPECT_NEAR(r[3], angles[i], 1e-6f) << times[i];
    }
    keyframe_destroy(track);
    EXPECT_EQ(live_blocks(), before);
}

TEST(Keyframe, KnotShapedTrack)
{
    // Eight keys of nine channels, TCB, one zero array for all shape parameters.
    float times[8], zeros[8] = {}, values[8 * 9];
    for (int i = 0; i < 8; i++) {
        times[i] = 100.0f * i;
        for (int c = 0; c < 9; c++) values[i * 9 + c] = static_cast<float>(i + c);
    }
    int before = live_blocks();
    keyframe* track = keyframe_create_keys(8, KEYFRAME_TYPE_ENVELOPE, KEYFRAME_ALGO_TCB, 9, times, zeros, zeros, zeros,
                                           values);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->algorithm, KEYFRAME_ALGO_TCB);
    const float* r = keyframe_evaluate(track, 250.0f);  // values rise by 1 per key: a straight line
    for (int c = 0; c < 9; c++) EXPECT_FLOAT_EQ(r[c], 2.5f + c);
    keyframe_destroy(track);
    EXPECT_EQ(live_blocks(), before);
}

#ifndef KEYFRAME_TEST_NO_MALLOC_HOOK
// Fails the n-th allocation of op for n = 0, 1, ... until op succeeds; each failure
// must report code 1 and leave no block behind and the track as it was.
template <typename Op, typename Check>
static int fail_each_allocation(Op op, Check unchanged)
{
    int failures = 0;
    for (int n = 0; n < 64; n++) {
        int blocks = live_blocks();
        keyframe_error_string();
        malloc_fail_in = n;
        bool ok = op();
        bool hook_fired = malloc_fail_in < 0;
        malloc_fail_in = -1;
        if (ok) {
            EXPECT_FALSE(hook_fired) << "success although allocation " << n << " failed";
            return failures;
        }
        failures++;
        EXPECT_STREQ(keyframe_error_string(), "[Keyframe] Unable to allocate memory") << n;
        EXPECT_EQ(live_blocks(), blocks) << n;
        unchanged();
    }
    ADD_FAILURE() << "never succeeded";
    return failures;
}

TEST(Keyframe, AllocationFailureLeavesTrackAsItWas)
{
    for (int algorithm : {int(KEYFRAME_ALGO_LINEAR), int(KEYFRAME_ALGO_TCB), int(KEYFRAME_ALGO_BSPLINE)}) {
        keyframe* track = five_keys(algorithm);
        ASSERT_TRUE(keyframe_prepare(track));
        void* old = track->prepared;
        float expect = keyframe_evaluate(track, 1.25f)[0];
        int failures = fail_each_allocation([&] { return keyframe_prepare(track) == 1; }, [&] {
            EXPECT_EQ(track->prepared, old);
            EXPECT_EQ(keyframe_evaluate(track, 1.25f)[0], expect);
        });
        EXPECT_GE(failures, 3) << algorithm;  // record, segments, points (two mallocs each)
        keyframe_destroy(track);
    }

    keyframe* rotation = rotation_about_z(5);
    ASSERT_TRUE(keyframe_prepare(rotation));
    void* old = rotation->prepared;
    EXPECT_GE(fail_each_allocation([&] { return keyframe_prepare(rotation) == 1; },
                                   [&] { EXPECT_EQ(rotation->prepared, old); }),
              3);  // hand-over array, spline record, segments
    keyframe_destroy(rotation);

    keyframe* track = five_keys(KEYFRAME_ALGO_LINEAR);
    const keyframe_key* first = track->keys;
    fail_each_allocation(
        [&] {
            const float v[2] = {1, 2};
            return keyframe_add_key(track, -1.0f, 0, 0, 0, v) == 1;
        },
        [&] { EXPECT_EQ(track->keys, first); });
    keyframe_destroy(track);

    const float times[] = {0, 1, 2, 3}, values[] = {0, 1, 2, 3};
    EXPECT_GE(fail_each_allocation(
                  [&] {
                      keyframe* made = keyframe_create_keys(4, KEYFRAME_TYPE_ENVELOPE, KEYFRAME_ALGO_LINEAR, 1, times,
                                                            nullptr, nullptr, nullptr, values);
                      keyframe_destroy(made);
                      return made != nullptr;
                  },
                  [] {}),
              5);
}
#endif

// Found by the fuzz target: a track without channels.
TEST(Keyframe, EnvelopeWithoutChannelsGivesEverythingBack)
{
    GmemStats before{}, after{};
    gmem_stats(&before);
    for (int algorithm : {KEYFRAME_ALGO_LINEAR, KEYFRAME_ALGO_TCB, KEYFRAME_ALGO_BSPLINE}) {
        keyframe* track = keyframe_create(KEYFRAME_TYPE_ENVELOPE, 0);
        ASSERT_NE(track, nullptr);
        track->algorithm = algorithm;
        for (int k = 0; k < 4; k++) ASSERT_EQ(keyframe_add_key(track, float(k), 0, 0, 0, nullptr), 1);
        EXPECT_EQ(keyframe_prepare(track), 1);
        EXPECT_EQ(keyframe_evaluate(track, 1.5f), track->values);
        keyframe_destroy(track);
    }
    gmem_stats(&after);
    EXPECT_EQ(after.blocks, before.blocks);
    EXPECT_EQ(after.bytes, before.bytes);
}
