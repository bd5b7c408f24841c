// Float to integer conversions the pipeline and every rasterizer share: one
// truncation that saturates instead of overflowing, and the 16.16 forms built
// on it (the truncated value and the prestep ceiling).
#pragma once

#include <cstdint>

// What a truncation gives outside its range. Strictly between lo and hi a value
// is truncated toward zero; at or below lo (-infinity too) it gives below, at
// or above hi (+infinity too) above, and NaN gives nan. lo and hi are whole
// numbers, so that truncation meets them without a step.
struct FixedRange {
    float lo, hi;
    int32_t below, above, nan;
};

// The whole 32-bit range, NaN as the most negative value (the float drivers).
constexpr FixedRange FIXED_INT32 = {-2147483648.0f, 2147483648.0f, INT32_MIN, INT32_MAX, INT32_MIN};
// Far outside any target but with room to add and subtract, NaN as 0 (the
// 16.16 z-buffered driver's coordinates, depths and weights).
constexpr FixedRange FIXED_FAR = {-1.0e9f, 1.0e9f, -1000000000, 1000000000, 0};

// v truncated toward zero, or r's value where v has no place in it.
inline int32_t fixed_trunc(float v, const FixedRange& r) {
    if (v < r.hi) return v > r.lo ? (int32_t)v : r.below;
    return v >= r.hi ? r.above : r.nan;
}

// The 16.16 range for fixed_to16 (NaN to 0) and fixed_ceil16 (NaN to the top:
// its ceiling is then 32768, as beyond the top). v * 65536 is exact in single
// precision (a power of two; an overflow to infinity saturates either way).
constexpr FixedRange FIXED_16_16 = {-2147483648.0f, 2147483648.0f, INT32_MIN, INT32_MAX, 0};
constexpr FixedRange FIXED_16_16_CEIL = {-2147483648.0f, 2147483648.0f, INT32_MIN, INT32_MAX, INT32_MAX};

// Float to 16.16, truncated; saturating outside the 16.16 range, NaN to 0.
inline int32_t fixed_to16(float v) { return fixed_trunc(v * 65536.0f, FIXED_16_16); }

// Smallest integer not below a 16.16 value taken as trunc(v * 65536): the
// prestep rule of the 16.16 drivers. Beyond the 16.16 range (and for NaN) it
// saturates at -32768 and 32768 instead of overflowing.
inline int32_t fixed_ceil16(float v) {
    return (int32_t)(((int64_t)fixed_trunc(v * 65536.0f, FIXED_16_16_CEIL) + 0xFFFF) >> 16);
}
