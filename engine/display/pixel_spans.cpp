// Pixmap rows converted into display surfaces, by table and four pixels at a time.
#include "engine/display/pixel_spans.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__EMSCRIPTEN__) && defined(__SSE2__)
#include <wasm_simd128.h>
#endif

void channel_table(uint32_t table[256], uint32_t mask)
{
    if (!mask) {
        std::memset(table, 0, 256 * sizeof *table);
        return;
    }
    int shift = 0;
    while (!((mask >> shift) & 1)) shift++;
    const float step = (float)(mask >> shift) / 256.0f;
    for (int i = 0; i < 256; i++) table[i] = (uint32_t)((float)i * step) << shift;
}

// The shift and range of a mask, and whether its table is the closed form.
static bool closed_form(const uint32_t table[256], uint32_t mask, uint32_t* range, uint32_t* shift)
{
    *range = 0;
    *shift = 0;
    if (mask) {
        while (!((mask >> *shift) & 1)) ++*shift;
        *range = mask >> *shift;
    }
    if (*range > 255) return false;
    for (uint32_t i = 0; i < 256; i++)
        if (table[i] != ((i * *range) >> 8) << *shift) return false;
    return true;
}

void channel_tables(ChannelTables* t, uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask)
{
    channel_table(t->red, red_mask);
    channel_table(t->green, green_mask);
    channel_table(t->blue, blue_mask);
    t->closed = closed_form(t->red, red_mask, &t->range[0], &t->shift[0]) &&
                closed_form(t->green, green_mask, &t->range[1], &t->shift[1]) &&
                closed_form(t->blue, blue_mask, &t->range[2], &t->shift[2]);
}

void channel_span16_plain(const ChannelTables* t, uint16_t* dst, const uint32_t* src, int32_t n, bool doubled)
{
    if (doubled)
        for (int32_t j = 0; j < n; j++) dst[2 * j] = dst[2 * j + 1] = (uint16_t)channel_pixel(t, src[j]);
    else
        for (int32_t j = 0; j < n; j++) dst[j] = (uint16_t)channel_pixel(t, src[j]);
}

void channel_span32_plain(const ChannelTables* t, uint32_t* dst, const uint32_t* src, int32_t n, bool doubled)
{
    if (doubled)
        for (int32_t j = 0; j < n; j++) dst[2 * j] = dst[2 * j + 1] = channel_pixel(t, src[j]);
    else
        for (int32_t j = 0; j < n; j++) dst[j] = channel_pixel(t, src[j]);
}

#if defined(__SSE2__)
// Four pixels by the closed form. Each byte times a range below 256 fits the low
// 16-bit half of its 32-bit lane, whose high half is zero times zero.
#if defined(__EMSCRIPTEN__)
// emscripten's _mm_sll_epi32, and a wasm shift whose count is set up outside
// the loop, become four scalar shifts; a multiply by 2^count is one wasm
// instruction with the same bits (modulo 2^32), the counts being bit positions
// of a 32-bit mask, below 32.
static inline __m128i shift_count(uint32_t s) { return _mm_set1_epi32((int32_t)(1u << s)); }
static inline __m128i shift_left(__m128i v, __m128i s) { return (__m128i)wasm_i32x4_mul((v128_t)v, (v128_t)s); }
#else
static inline __m128i shift_count(uint32_t s) { return _mm_cvtsi32_si128((int32_t)s); }
static inline __m128i shift_left(__m128i v, __m128i s) { return _mm_sll_epi32(v, s); }
#endif

struct ClosedForm {
    __m128i r_range, g_range, b_range, r_shift, g_shift, b_shift, byte;
    explicit ClosedForm(const ChannelTables* t)
        : r_range(_mm_set1_epi32((int32_t)t->range[0])), g_range(_mm_set1_epi32((int32_t)t->range[1])),
          b_range(_mm_set1_epi32((int32_t)t->range[2])), r_shift(shift_count(t->shift[0])),
          g_shift(shift_count(t->shift[1])), b_shift(shift_count(t->shift[2])), byte(_mm_set1_epi32(0xFF))
    {
    }
    __m128i operator()(__m128i p) const
    {
        const __m128i r = _mm_srli_epi32(_mm_mullo_epi16(_mm_and_si128(p, byte), r_range), 8);
        const __m128i g = _mm_srli_epi32(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(p, 8), byte), g_range), 8);
        const __m128i b = _mm_srli_epi32(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(p, 16), byte), b_range), 8);
        return _mm_or_si128(_mm_or_si128(shift_left(r, r_shift), shift_left(g, g_shift)), shift_left(b, b_shift));
    }
};

// The low 16 bits of four 32-bit lanes (twice over): sign-extended first, so the
// signed pack keeps them as they are.
static inline __m128i pack16(__m128i v)
{
    v = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
    return _mm_packs_epi32(v, v);
}
#endif

void channel_span16(const ChannelTables* t, uint16_t* dst, const uint32_t* src, int32_t n, bool doubled)
{
    int32_t j = 0;
#if defined(__SSE2__)
    if (t->closed) {
        const ClosedForm form(t);
        if (doubled)
            for (; j + 4 <= n; j += 4) {
                const __m128i v = pack16(form(_mm_loadu_si128((const __m128i*)(src + j))));
                _mm_storeu_si128((__m128i*)(dst + 2 * j), _mm_unpacklo_epi16(v, v));
            }
        else
            for (; j + 4 <= n; j += 4)
                _mm_storel_epi64((__m128i*)(dst + j), pack16(form(_mm_loadu_si128((const __m128i*)(src + j)))));
    }
#endif
    channel_span16_plain(t, dst + (doubled ? 2 * j : j), src + j, n - j, doubled);
}

void channel_span32(const ChannelTables* t, uint32_t* dst, const uint32_t* src, int32_t n, bool doubled)
{
    int32_t j = 0;
#if defined(__SSE2__)
    if (t->closed) {
        const ClosedForm form(t);
        if (doubled)
            for (; j + 4 <= n; j += 4) {
                const __m128i v = form(_mm_loadu_si128((const __m128i*)(src + j)));
                _mm_storeu_si128((__m128i*)(dst + 2 * j), _mm_unpacklo_epi32(v, v));
                _mm_storeu_si128((__m128i*)(dst + 2 * j + 4), _mm_unpackhi_epi32(v, v));
            }
        else
            for (; j + 4 <= n; j += 4)
                _mm_storeu_si128((__m128i*)(dst + j), form(_mm_loadu_si128((const __m128i*)(src + j))));
    }
#endif
    channel_span32_plain(t, dst + (doubled ? 2 * j : j), src + j, n - j, doubled);
}

void swap_span_plain(uint32_t* dst, const uint32_t* src, int32_t n)
{
    for (int32_t j = 0; j < n; j++) dst[j] = swap_pixel(src[j]);
}

void swap_span(uint32_t* dst, const uint32_t* src, int32_t n)
{
    int32_t j = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi32(0xFF), mid = _mm_set1_epi32(0xFF00);
    for (; j + 4 <= n; j += 4) {
        const __m128i p = _mm_loadu_si128((const __m128i*)(src + j));
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(_mm_and_si128(p, low), 16), _mm_and_si128(p, mid)),
                                       _mm_and_si128(_mm_srli_epi32(p, 16), low));
        _mm_storeu_si128((__m128i*)(dst + j), v);
    }
#endif
    swap_span_plain(dst + j, src + j, n - j);
}
