// Tests of GMEM: accounting and peaks, refused releases, guard zones, zero-fill
// on resize, the statistics snapshot and the error messages. Each case measures
// against the statistics it finds, so the cases may run in one process or apart.
#include "engine/memory/gmem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

GmemStats snapshot()
{
    GmemStats s;
    EXPECT_EQ(gmem_stats(&s), 1);
    return s;
}

// Restores the option word when a case that changes it ends.
struct FlagsGuard {
    uint32_t saved = gmem_get_flags();
    ~FlagsGuard() { gmem_set_flags(saved); }
};

}  // namespace

TEST(Gmem, DefaultOptionsCountBlockRecordAndPeaks)
{
    EXPECT_EQ(gmem_get_flags(), 0x1BFu);
    GmemStats before = snapshot();
    void* p = gmem_alloc(100);
    ASSERT_NE(p, nullptr);
    GmemStats during = snapshot();
    EXPECT_EQ(during.bytes - before.bytes, 116);  // no guard zone by default
    EXPECT_EQ(during.blocks - before.blocks, 1);
    EXPECT_EQ(during.overhead - before.overhead, 16);
    EXPECT_EQ(during.peak_bytes, std::max(before.peak_bytes, before.bytes + 116));

    EXPECT_EQ(gmem_free(p), 1);
    GmemStats after = snapshot();
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.blocks, before.blocks);
    EXPECT_EQ(after.overhead, before.overhead);
    EXPECT_EQ(after.peak_bytes, during.peak_bytes);
    EXPECT_EQ(after.peak_blocks, std::max(before.peak_blocks, before.blocks + 1));
    EXPECT_EQ(after.peak_overhead, std::max(before.peak_overhead, before.overhead + 16));

    // New memory is zeroed under the default options.
    unsigned char* q = static_cast<unsigned char*>(gmem_alloc(4096));
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(q[i], 0) << i;
    gmem_free(q);
}

TEST(Gmem, RefusedReleasesAndTheirMessages)
{
    gmem_error_string();
    EXPECT_EQ(gmem_free(nullptr), 0);
    EXPECT_STREQ(gmem_error_string(), "[GMEM] Pointer is NULL or invalid");
    EXPECT_STREQ(gmem_error_string(), "[GMEM] No error, so far...");

    GmemStats before = snapshot();
    char* p = static_cast<char*>(gmem_alloc(64));
    ASSERT_NE(p, nullptr);
    // An address inside the block but in another bucket is not a live block.
    EXPECT_EQ(gmem_free(p + 1), 0);
    EXPECT_STREQ(gmem_error_string(), "[GMEM] Adress invalid");
    EXPECT_EQ(gmem_free(p), 1);
    EXPECT_EQ(gmem_free(p), 0);  // the second release of one block
    EXPECT_STREQ(gmem_error_string(), "[GMEM] Adress invalid");
    GmemStats after = snapshot();
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.blocks, before.blocks);

    int local = 0;
    EXPECT_EQ(gmem_realloc(&local, 8), nullptr);
    EXPECT_STREQ(gmem_error_string(), "[GMEM] Adress invalid");
}

TEST(Gmem, GuardViolationIsCountedOnceAndReleaseStillSucceeds)
{
    FlagsGuard keep;
    gmem_set_flags(GMEM_DEFAULT_FLAGS | GMEM_GUARD);
    GmemStats before = snapshot();
    unsigned char* clean = static_cast<unsigned char*>(gmem_alloc(10));
    unsigned char* dirty = static_cast<unsigned char*>(gmem_alloc(10));
    ASSERT_NE(clean, nullptr);
    ASSERT_NE(dirty, nullptr);
    GmemStats during = snapshot();
    EXPECT_EQ(during.bytes - before.bytes, 2 * (10 + 512 + 16));
    EXPECT_EQ(during.overhead - before.overhead, 2 * (512 + 16));

    clean[9] = 0xFF;                    // the last byte of the block is fine
    dirty[10] = 1;                      // one past the end ...
    dirty[200] = 7;                     // ... and further into the zone: still one block
    EXPECT_EQ(gmem_free(clean), 1);
    EXPECT_EQ(snapshot().guard_violations, before.guard_violations);
    EXPECT_EQ(gmem_free(dirty), 1);
    GmemStats after = snapshot();
    EXPECT_EQ(after.guard_violations, before.guard_violations + 1);
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_STREQ(gmem_error_string(), "[GMEM] No error, so far...");  // counted, not reported
}

TEST(Gmem, GuardSizeIsTheOneChosenAtAllocation)
{
    FlagsGuard keep;
    GmemStats before = snapshot();
    void* p = gmem_alloc(32);  // no guard zone
    gmem_set_flags(GMEM_DEFAULT_FLAGS | GMEM_GUARD);
    EXPECT_EQ(gmem_free(p), 1);  // released with the guard of its allocation: 0
    EXPECT_EQ(snapshot().bytes, before.bytes);
}

TEST(Gmem, ReallocZeroFillsGrowthAndKeepsContents)
{
    GmemStats before = snapshot();
    unsigned char* p = static_cast<unsigned char*>(gmem_realloc(nullptr, 8));  // as gmem_alloc
    ASSERT_NE(p, nullptr);
    GmemStats one = snapshot();
    EXPECT_EQ(one.blocks - before.blocks, 1);
    EXPECT_EQ(one.bytes - before.bytes, 8 + 16);

    std::memset(p, 0xAB, 8);
    p = static_cast<unsigned char*>(gmem_realloc(p, 16));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p[i], 0xAB) << i;
    for (int i = 8; i < 16; ++i) EXPECT_EQ(p[i], 0) << i;
    GmemStats two = snapshot();
    EXPECT_EQ(two.bytes - one.bytes, 8);  // grows by the size difference only
    EXPECT_EQ(two.blocks, one.blocks);
    EXPECT_EQ(two.overhead, one.overhead);

    // Many resizes that move the block: the registry follows it.
    for (uint32_t size = 32; size <= 1 << 20; size *= 2) {
        p = static_cast<unsigned char*>(gmem_realloc(p, size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p[size - 1], 0);
        p[size - 1] = 1;
    }
    p = static_cast<unsigned char*>(gmem_realloc(p, 4));  // shrinking keeps the front
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0xAB);
    EXPECT_EQ(gmem_free(p), 1);
    GmemStats after = snapshot();
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.blocks, before.blocks);
}

TEST(Gmem, StatsBucketFigures)
{
    GmemStats idle = snapshot();
    ASSERT_EQ(idle.blocks, 0) << "an earlier case left blocks behind";
    // No bucket in use: the mean is reported as 0.0, not 0/0.
    EXPECT_EQ(idle.used_buckets, 0);
    EXPECT_EQ(idle.bucket_fill, 0.0f);
    EXPECT_EQ(idle.mean_chain, 0.0f);

    void* blocks[5];
    std::set<uintptr_t> buckets;
    for (void*& b : blocks) {
        b = gmem_alloc(24);
        ASSERT_NE(b, nullptr);
        buckets.insert(reinterpret_cast<uintptr_t>(b) & 0x1FFF);
    }
    GmemStats s = snapshot();
    int used = int(buckets.size());
    EXPECT_EQ(s.used_buckets, used);
    EXPECT_FLOAT_EQ(s.bucket_fill, float(used / 8192.0));
    EXPECT_FLOAT_EQ(s.mean_chain, float(5.0f / used + 0.5));
    for (void* b : blocks) EXPECT_EQ(gmem_free(b), 1);
    EXPECT_EQ(snapshot().used_buckets, 0);
}

TEST(Gmem, CountingFollowsTheOptionWord)
{
    FlagsGuard keep;
    gmem_set_flags(GMEM_ZERO);
    GmemStats before = snapshot();
    void* p = gmem_alloc(1000);
    ASSERT_NE(p, nullptr);
    GmemStats during = snapshot();
    EXPECT_EQ(during.bytes, before.bytes);
    EXPECT_EQ(during.blocks, before.blocks);
    EXPECT_EQ(during.overhead, before.overhead);
    EXPECT_EQ(gmem_free(p), 1);  // registered all the same
    GmemStats after = snapshot();
    EXPECT_EQ(after.bytes, before.bytes);
    EXPECT_EQ(after.blocks, before.blocks);
}

TEST(Gmem, CopyAndFillOperations)
{
    gmem_error_string();
    uint8_t bytes[8] = {};
    EXPECT_EQ(gmem_copy(nullptr, bytes, 4), 0);
    EXPECT_STREQ(gmem_error_string(), "[GMEM] Pointer is NULL or invalid");
    EXPECT_EQ(gmem_copy16(bytes, nullptr, 4), 0);
    EXPECT_STREQ(gmem_error_string(), "[GMEM] Pointer is NULL or invalid");
    EXPECT_EQ(gmem_fill(nullptr, 0, 4), 0);
    EXPECT_STREQ(gmem_error_string(), "[GMEM] Pointer is NULL or invalid");

    EXPECT_EQ(gmem_fill(bytes, 0x1C5, 7), 1);  // the byte value only
    for (int i = 0; i < 7; ++i) EXPECT_EQ(bytes[i], 0xC5);
    EXPECT_EQ(bytes[7], 0);

    uint16_t h[6] = {};
    EXPECT_EQ(gmem_fill16(h, 0xDEADBEEF, 5), 1);  // the low 16 bits
    for (int i = 0; i < 5; ++i) EXPECT_EQ(h[i], 0xBEEF);
    EXPECT_EQ(h[5], 0);
    uint16_t h2[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(gmem_copy16(h, h2, 3), 1);
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(h[2], 3);
    EXPECT_EQ(h[3], 0xBEEF);

    uint32_t z[77];
    z[76] = 0;
    EXPECT_EQ(gmem_fill32(z, 0x7FFFFFFF, 76), 1);
    for (int i = 0; i < 76; ++i) EXPECT_EQ(z[i], 0x7FFFFFFFu);
    EXPECT_EQ(z[76], 0u);
    uint32_t w[77] = {};
    EXPECT_EQ(gmem_copy32(w, z, 77), 1);
    EXPECT_EQ(std::memcmp(w, z, sizeof z), 0);
    for (uint32_t n : {1u, 3u, 4u, 15u, 16u, 17u, 33u}) {  // every tail length of the wide fill
        std::vector<uint32_t> f(n + 2, 5);
        gmem_fill32(f.data() + 1, 0xCAFEF00D, n);
        EXPECT_EQ(f[0], 5u);
        EXPECT_EQ(f[n + 1], 5u);
        EXPECT_EQ(std::count(f.begin(), f.end(), 0xCAFEF00Du), std::ptrdiff_t(n));
    }

    // Overlapping 32-bit copies run first to last: downwards they shift, and
    // upwards the first words repeat.
    uint32_t down[6] = {1, 2, 3, 4, 5, 6}, up[6] = {1, 2, 3, 4, 5, 6};
    gmem_copy32(down, down + 1, 5);
    gmem_copy32(up + 2, up, 4);
    EXPECT_EQ(std::vector<uint32_t>(down, down + 6), (std::vector<uint32_t>{2, 3, 4, 5, 6, 6}));
    EXPECT_EQ(std::vector<uint32_t>(up, up + 6), (std::vector<uint32_t>{1, 2, 1, 2, 1, 2}));

    EXPECT_EQ(gmem_copy(bytes, "abcdefgh", 8), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 8), "abcdefgh");
}

// Found by the fuzz target.
TEST(Gmem, ZeroByteBlockCanBeReallocatedAndFreed)
{
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
