// Scaling a presented frame into the window surface. The common case, a 5-6-5
// frame at twice its size, has an SSE2 path that widens eight pixels at a time and
// writes each of them to both output rows in one pass; everything else, and that
// path's reference, goes pixel by pixel, repeated rows copied from the first.
#include "platform/hosts/sdl/present_scale.h"

#include <cstdint>
#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint32_t present_widen565(uint16_t pixel) {
    uint32_t r = pixel >> 11, g = (pixel >> 5) & 63, b = pixel & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

// One output row from source row `src`; `column` maps output to source columns.
static void row_plain(const HostFrame* frame, const uint8_t* src, uint32_t* dst, const int32_t* column, int32_t w) {
    if (frame->format == HOST_FORMAT_RGB565) {
        const uint16_t* s16 = (const uint16_t*)src;
        for (int32_t x = 0; x < w; x++) dst[x] = present_widen565(s16[column[x]]);
    } else {
        const uint32_t* s32 = (const uint32_t*)src;
        for (int32_t x = 0; x < w; x++) dst[x] = s32[column[x]];
    }
}

#if defined(__SSE2__)
// Eight widened pixels, each twice side by side: 16 output pixels at d. Where d is
// aligned the stores go past the cache: the window surface is only written here and
// read by the X server, and a cached store would first fetch each line (1.2 MB a frame).
static inline void store_doubled(uint8_t* d, __m128i lo, __m128i hi) {
    const __m128i q0 = _mm_unpacklo_epi32(lo, lo), q1 = _mm_unpackhi_epi32(lo, lo);
    const __m128i q2 = _mm_unpacklo_epi32(hi, hi), q3 = _mm_unpackhi_epi32(hi, hi);
    if (((uintptr_t)d & 15) == 0) {
        _mm_stream_si128((__m128i*)d, q0);
        _mm_stream_si128((__m128i*)d + 1, q1);
        _mm_stream_si128((__m128i*)d + 2, q2);
        _mm_stream_si128((__m128i*)d + 3, q3);
    } else {
        _mm_storeu_si128((__m128i*)d, q0);
        _mm_storeu_si128((__m128i*)d + 1, q1);
        _mm_storeu_si128((__m128i*)d + 2, q2);
        _mm_storeu_si128((__m128i*)d + 3, q3);
    }
}

// n 5-6-5 pixels widened, each written twice side by side into each of `rows` rows
// `pitch` bytes apart. The widening in multiplies: a field f of k bits moved to the
// top of its 16-bit lane, times 256 + 2^(8 - k), high half: f << (8 - k) | f >> (2k - 8),
// its top bits repeated below it (5 bits: x 264, 6 bits: x 260).
static void row_double_sse2(const uint16_t* src, uint32_t* dst, int pitch, int32_t rows, int32_t n) {
    const __m128i top5 = _mm_set1_epi16((short)0xF800), top6 = _mm_set1_epi16((short)0xFC00);
    const __m128i k5 = _mm_set1_epi16(264), k6 = _mm_set1_epi16(260);
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        __m128i p = _mm_loadu_si128((const __m128i*)(src + x));
        __m128i r = _mm_mulhi_epu16(_mm_and_si128(p, top5), k5);
        __m128i g = _mm_mulhi_epu16(_mm_and_si128(_mm_slli_epi16(p, 5), top6), k6);
        __m128i b = _mm_mulhi_epu16(_mm_slli_epi16(p, 11), k5);
        __m128i gb = _mm_or_si128(_mm_slli_epi16(g, 8), b);  // 16-bit lanes 0xGGBB
        __m128i lo = _mm_unpacklo_epi16(gb, r);                // 0x00RRGGBB, pixels 0-3
        __m128i hi = _mm_unpackhi_epi16(gb, r);                // pixels 4-7
        uint8_t* d = (uint8_t*)(dst + 2 * x);
        store_doubled(d, lo, hi);
        if (rows == 2) {
            store_doubled(d + pitch, lo, hi);
        } else {
            for (int32_t k = 1; k < rows; k++) store_doubled(d + (size_t)k * pitch, lo, hi);
        }
    }
    for (; x < n; x++) {
        const uint32_t c = present_widen565(src[x]);
        uint8_t* d = (uint8_t*)(dst + 2 * x);
        for (int32_t k = 0; k < rows; k++, d += pitch) ((uint32_t*)d)[0] = ((uint32_t*)d)[1] = c;
    }
}
#endif

static void scale(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h, bool plain) {
    (void)plain;  // without SSE2 every row is plain
    static std::vector<int32_t> column;
    column.resize((size_t)w);
    for (int32_t x = 0; x < w; x++) column[x] = (int32_t)((int64_t)x * frame->width / w);
    for (int32_t y = 0; y < h;) {
        const int32_t sy = (int32_t)((int64_t)y * frame->height / h);
        int32_t rows = 1;  // the output rows from y on that show source row sy
        while (y + rows < h && (int32_t)((int64_t)(y + rows) * frame->height / h) == sy) rows++;
        uint32_t* dst = (uint32_t*)((uint8_t*)out + (size_t)y * out_pitch);
        const uint8_t* src = (const uint8_t*)frame->pixels + (size_t)sy * frame->pitch;
        y += rows;
#if defined(__SSE2__)
        if (!plain && frame->format == HOST_FORMAT_RGB565 && w == 2 * frame->width) {
            row_double_sse2((const uint16_t*)src, dst, out_pitch, rows, frame->width);
            continue;
        }
#endif
        row_plain(frame, src, dst, column.data(), w);
        for (int32_t k = 1; k < rows; k++) memcpy((uint8_t*)dst + (size_t)k * out_pitch, dst, (size_t)w * 4);
    }
}

void present_scale(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h) {
    scale(frame, out, out_pitch, w, h, false);
#if defined(__SSE2__)
    _mm_sfence();  // the stores past the cache are done before the surface is handed on
#endif
}

void present_scale_plain(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h) {
    scale(frame, out, out_pitch, w, h, true);
}
