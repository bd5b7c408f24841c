// Faults the fuzz targets found, kept as plain tests so the normal suite
// guards them: a zero-byte GMEM block, and keyframe tracks without channels.
#include <gtest/gtest.h>

#include "engine/anim/keyframe.h"
#include "engine/memory/gmem.h"

TEST(FoundFaults, ZeroByteBlockCanBeReallocatedAndFreed) {
    GmemStats before{}, after{};
    gmem_stats(&before);
    void* p = gmem_alloc(0);
    ASSERT_NE(p, nullptr);
    p = gmem_realloc(p, 0);
    ASSERT_NE(p, nullptr) << gmem_error_string();
    EXPECT_EQ(gmem_free(p), 1) << gmem_error_string();
    gmem_stats(&after);
    EXPECT_EQ(after.blocks, before.blocks);
    EXPECT_EQ(after.bytes, before.bytes);
}

TEST(FoundFaults, EnvelopeWithoutChannelsGivesEverythingBack) {
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
