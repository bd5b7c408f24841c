// The float-to-integer conversions the pipeline and the rasterizers share: each
// range's edges, infinities and NaN, and the 16.16 forms in single precision
// against the same expressions through double.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/raster/fixed.h"

namespace {

constexpr float INF = std::numeric_limits<float>::infinity();
const float NaN = std::nanf("");

TEST(Fixed, TruncSaturatesByItsRange) {
    struct Case {
        const char* range;
        const FixedRange& r;
        float v;
        int32_t want;
    };
    const Case cases[] = {
        {"int32", FIXED_INT32, 2.9f, 2},
        {"int32", FIXED_INT32, -2.9f, -2},
        {"int32", FIXED_INT32, -0.0f, 0},
        {"int32", FIXED_INT32, 2147483520.0f, 2147483520},    // the largest float below 2^31
        {"int32", FIXED_INT32, 2147483648.0f, INT32_MAX},
        {"int32", FIXED_INT32, -2147483648.0f, INT32_MIN},    // exactly representable
        {"int32", FIXED_INT32, -2147483904.0f, INT32_MIN},
        {"int32", FIXED_INT32, INF, INT32_MAX},
        {"int32", FIXED_INT32, -INF, INT32_MIN},
        {"int32", FIXED_INT32, NaN, INT32_MIN},
        {"far", FIXED_FAR, 999999936.0f, 999999936},         // the float below 1e9
        {"far", FIXED_FAR, 1.0e9f, 1000000000},
        {"far", FIXED_FAR, 3.0e9f, 1000000000},
        {"far", FIXED_FAR, -3.0e9f, -1000000000},
        {"far", FIXED_FAR, -INF, -1000000000},
        {"far", FIXED_FAR, NaN, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fixed_trunc(c.v, c.r), c.want) << c.range << " " << c.v;
}

// 16.16 as it was first written: the exact product in double, saturated there.
int32_t to16_double(float v) {
    const double d = (double)v * 65536.0;
    if (d < 2147483647.0) return d > -2147483648.0 ? (int32_t)d : INT32_MIN;
    return d >= 2147483647.0 ? INT32_MAX : 0;
}
int32_t ceil16_double(float v) {
    const double d = (double)v * 65536.0;
    const int64_t f = d < 2147483647.0 ? (d > -2147483648.0 ? (int64_t)d : -2147483648LL) : 2147483647LL;
    return (int32_t)((f + 0xFFFF) >> 16);
}

TEST(Fixed, SixteenSixteenFormsAgreeWithDoubleEverywhere) {
    const struct {
        float v;
        int32_t to16, ceil16;
    } cases[] = {
        {3.0f, 3 << 16, 3},       {3.0001f, 196614, 4},  {3.00001f, 196608, 3},  // under one unit above 3
        {-2.5f, -163840, -2},     {-3.0f, -196608, -3},  {1.0e-6f, 0, 0},
        {1.0e20f, INT32_MAX, 32768}, {-1.0e20f, INT32_MIN, -32768},
        {INF, INT32_MAX, 32768},  {-INF, INT32_MIN, -32768}, {NaN, 0, 32768},  // NaN: 0, yet a ceiling of 32768
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fixed_to16(c.v), c.to16) << c.v;
        EXPECT_EQ(fixed_ceil16(c.v), c.ceil16) << c.v;
    }
    // Every 37th float of the whole range (all exponents, denormals, NaNs) and
    // every float in windows round the edges of 16.16 and round zero.
    uint64_t bad = 0;
    auto check = [&](uint32_t bits) {
        const float v = std::bit_cast<float>(bits);
        bad += fixed_to16(v) != to16_double(v) || fixed_ceil16(v) != ceil16_double(v);
    };
    for (uint64_t bits = 0; bits < 0x100000000ull; bits += 37) check((uint32_t)bits);
    for (float e : {32768.0f, -32768.0f, 0.0f, -0.0f})
        for (uint32_t d = 0; d < (1u << 20); d++) check(std::bit_cast<uint32_t>(e) - (1u << 19) + d);
    EXPECT_EQ(bad, 0u);
}

}  // namespace
