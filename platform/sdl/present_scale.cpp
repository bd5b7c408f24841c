// Scaling a presented frame into the window surface. The common case, a 5-6-5
// frame at twice its size, has an SSE2 path that widens eight pixels at a time;
// everything else, and that path's reference, goes pixel by pixel.
#include "platform/sdl/present_scale.h"

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
// n 5-6-5 pixels widened, each written twice.
static void row_double_sse2(const uint16_t* src, uint32_t* dst, int32_t n) {
    const __m128i mask6 = _mm_set1_epi16(63), mask5 = _mm_set1_epi16(31);
    int32_t x = 0;
    for (; x + 8 <= n; x += 8) {
        __m128i p = _mm_loadu_si128((const __m128i*)(src + x));
        __m128i r = _mm_srli_epi16(p, 11);
        __m128i g = _mm_and_si128(_mm_srli_epi16(p, 5), mask6);
        __m128i b = _mm_and_si128(p, mask5);
        r = _mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2));
        g = _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4));
        b = _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2));
        __m128i gb = _mm_or_si128(_mm_slli_epi16(g, 8), b);  // 16-bit lanes 0xGGBB
        __m128i lo = _mm_unpacklo_epi16(gb, r);                // 0x00RRGGBB, pixels 0-3
        __m128i hi = _mm_unpackhi_epi16(gb, r);                // pixels 4-7
        __m128i* d = (__m128i*)(dst + 2 * x);
        _mm_storeu_si128(d, _mm_unpacklo_epi32(lo, lo));
        _mm_storeu_si128(d + 1, _mm_unpackhi_epi32(lo, lo));
        _mm_storeu_si128(d + 2, _mm_unpacklo_epi32(hi, hi));
        _mm_storeu_si128(d + 3, _mm_unpackhi_epi32(hi, hi));
    }
    for (; x < n; x++) dst[2 * x] = dst[2 * x + 1] = present_widen565(src[x]);
}
#endif

static void scale(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h, bool plain) {
    (void)plain;  // without SSE2 every row is plain
    static std::vector<int32_t> column;
    column.resize((size_t)w);
    for (int32_t x = 0; x < w; x++) column[x] = (int32_t)((int64_t)x * frame->width / w);
    int32_t last = -1;
    for (int32_t y = 0; y < h; y++) {
        int32_t sy = (int32_t)((int64_t)y * frame->height / h);
        uint32_t* dst = (uint32_t*)((uint8_t*)out + (size_t)y * out_pitch);
        if (sy == last) {  // the row above again
            memcpy(dst, (uint8_t*)dst - out_pitch, (size_t)w * 4);
            continue;
        }
        last = sy;
        const uint8_t* src = (const uint8_t*)frame->pixels + (size_t)sy * frame->pitch;
#if defined(__SSE2__)
        if (!plain && frame->format == HOST_FORMAT_RGB565 && w == 2 * frame->width) {
            row_double_sse2((const uint16_t*)src, dst, frame->width);
            continue;
        }
#endif
        row_plain(frame, src, dst, column.data(), w);
    }
}

void present_scale(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h) {
    scale(frame, out, out_pitch, w, h, false);
}

void present_scale_plain(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h) {
    scale(frame, out, out_pitch, w, h, true);
}
