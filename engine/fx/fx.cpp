// The 2D kit's passes: the colour fade and the additive blit as SSE2 passes (four
// 8-bit lanes per pixel), and the depth outline that strokes the screen wherever
// the z-buffer jumps, its tests four columns at a time; each beside its plain
// loop reference. PNG saving is in fx_png.cpp.
#include "engine/fx/fx.h"

#include "engine/jobs/jobs.h"
#include "engine/pixmap/pixmap.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---- private helpers ------------------------------------------------------

// A fade weight scaled to 8.8 fixed point, truncated towards zero and kept as a
// 16-bit lane pattern (so -1 becomes 0xFFFF). Values outside the int range give
// the x86 "integer indefinite" 0x80000000, whose low 16 bits are 0.
static uint16_t fade_lane_weight(double scaled)
{
    if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) return 0;
    return static_cast<uint16_t>(static_cast<int32_t>(scaled));
}

struct FadeWeights {
    uint16_t colour;  // a: weight of the colour
    uint16_t pixel;   // b: weight of the pixel
};

static FadeWeights fade_weights(float weight)
{
    // The 1.0 and 256.0 are double: 1 - weight is formed without float rounding.
    return FadeWeights{fade_lane_weight(static_cast<double>(weight) * 256.0),
                       fade_lane_weight((1.0 - static_cast<double>(weight)) * 256.0)};
}

static int32_t fade_count(const Pixmap* pixmap, int32_t count)
{
    // Callers pass width * height; more would run off the pixel plane.
    int64_t area = static_cast<int64_t>(pixmap->width) * pixmap->height;
    if (area < 0) area = 0;
    return count < area ? count : static_cast<int32_t>(area);
}

// One pixel of the fade, byte by byte in 16-bit lanes; cw holds lo16(c * a) per byte.
static uint32_t fade_pixel(uint32_t p, const uint16_t cw[4], uint16_t b)
{
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t x = static_cast<uint16_t>(((p >> (8 * i)) & 0xFF) * b);
        uint32_t s = x + cw[i];
        if (s > 0xFFFF) s = 0xFFFF;
        out |= (s >> 8) << (8 * i);
    }
    return out;
}

static void fade_colour_lanes(uint32_t colour, uint16_t a, uint16_t cw[4])
{
    for (int i = 0; i < 4; ++i) cw[i] = static_cast<uint16_t>(((colour >> (8 * i)) & 0xFF) * a);
}

static uint32_t add_pixel(uint32_t d, uint32_t s)
{
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        uint32_t v = ((d >> (8 * i)) & 0xFF) + ((s >> (8 * i)) & 0xFF);
        out |= (v > 255 ? 255 : v) << (8 * i);
    }
    return out;
}

using AddRow = void (*)(uint32_t* d, const uint32_t* s, int32_t n, bool backward);

static void add_row_scalar(uint32_t* d, const uint32_t* s, int32_t n, bool backward)
{
    if (backward) {
        for (int32_t i = n - 1; i >= 0; --i) d[i] = add_pixel(d[i], s[i]);
    } else {
        for (int32_t i = 0; i < n; ++i) d[i] = add_pixel(d[i], s[i]);
    }
}

#if defined(__SSE2__)
// Four pixels (16 byte lanes) per step; every block is loaded before it is
// stored, so a backward walk is safe when the destination lies just after the source.
static void add_row_sse2(uint32_t* d, const uint32_t* s, int32_t n, bool backward)
{
    int32_t blocks = n / 4;
    if (backward) {
        for (int32_t i = n - 1; i >= blocks * 4; --i) d[i] = add_pixel(d[i], s[i]);
        for (int32_t k = blocks - 1; k >= 0; --k) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * k));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * k), _mm_adds_epu8(a, b));
        }
        return;
    }
    for (int32_t k = 0; k < blocks; ++k) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * k));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * k), _mm_adds_epu8(a, b));
    }
    for (int32_t i = blocks * 4; i < n; ++i) d[i] = add_pixel(d[i], s[i]);
}
#endif

// Walks the clipped rectangle row by row. When source and destination share a
// pixel plane and overlap, rows and pixels are taken in the order that reads every
// source pixel before it is overwritten, as memmove would.
static void add_blit(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                     int32_t w, int32_t h, AddRow add_row)
{
    if (!dst || !src) return;
    pixmap_finish(src);  // what is queued into either Pixmap is drawn first
    pixmap_finish(dst);
    PixmapBlitBox box;
    if (!pixmap_clip_blit(dst, dx, dy, src, sx, sy, w, h, &box)) return;
    uint32_t* dp = dst->pixels;
    const uint32_t* sp = src->pixels;
    bool bottom_up = false, backward = false;
    if (dp == sp) {
        const uint32_t* first_d = dp + dst->rows[box.dy] + box.dx;
        const uint32_t* first_s = sp + src->rows[box.sy] + box.sx;
        bottom_up = first_d > first_s && box.dy > box.sy;
        backward = first_d > first_s && box.dy == box.sy;
    }
    for (int32_t r = 0; r < box.h; ++r) {
        int32_t row = bottom_up ? box.h - 1 - r : r;
        add_row(dp + dst->rows[box.dy + row] + box.dx, sp + src->rows[box.sy + row] + box.sx, box.w,
                backward);
    }
}

// ---- public functions -----------------------------------------------------

void fx_fade_scalar(Pixmap* pixmap, uint32_t colour, float weight, int32_t count)
{
    if (!pixmap || !pixmap->pixels) return;
    pixmap_finish(pixmap);
    count = fade_count(pixmap, count);
    FadeWeights wt = fade_weights(weight);
    uint16_t cw[4];
    fade_colour_lanes(colour, wt.colour, cw);
    uint32_t* p = pixmap->pixels;
    for (int32_t i = 0; i < count; ++i) p[i] = fade_pixel(p[i], cw, wt.pixel);
}

#if defined(__SSE2__)
// The fade of n pixels from p: each pixel on its own, so any split of a run
// gives the same bytes.
static void fade_run(uint32_t* p, int32_t count, const FadeWeights& wt, const uint16_t cw[4])
{
    if (wt.pixel <= 257 && cw[0] == 0 && cw[1] == 0 && cw[2] == 0 && cw[3] == 0) {
        // Fading to black, as every fade of the demo does: the colour term is 0
        // and p * b cannot wrap or saturate, so each byte is (p * b) >> 8, the
        // high half of (p << 8) * b. With b = 256 or 257 that is p itself.
        if (wt.pixel >= 256) return;
        const __m128i b = _mm_set1_epi16(static_cast<int16_t>(wt.pixel));
        const __m128i odd_bytes = _mm_set1_epi16(static_cast<int16_t>(0xFF00));
        int32_t blocks = count / 4;
        for (int32_t k = 0; k < blocks; ++k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k));
            __m128i odd = _mm_mulhi_epu16(_mm_and_si128(v, odd_bytes), b);
            __m128i even = _mm_mulhi_epu16(_mm_slli_epi16(v, 8), b);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * k), _mm_or_si128(even, _mm_slli_epi16(odd, 8)));
        }
        for (int32_t i = blocks * 4; i < count; ++i) p[i] = fade_pixel(p[i], cw, wt.pixel);
        return;
    }

    // Per 16-bit lane: the colour term lo16(c * a) is the same for every pixel,
    // so only lo16(p * b), the saturating add and the shift remain. The even
    // bytes (red, blue) and the odd ones (green, alpha) go through separate
    // word lanes, which spares the unpack and pack: each result byte lands
    // where its source byte was.
    const __m128i b = _mm_set1_epi16(static_cast<int16_t>(wt.pixel));
    const __m128i even_bytes = _mm_set1_epi16(0x00FF);
    const __m128i odd_bytes = _mm_set1_epi16(static_cast<int16_t>(0xFF00));
    const __m128i y_even = _mm_setr_epi16(int16_t(cw[0]), int16_t(cw[2]), int16_t(cw[0]), int16_t(cw[2]),
                                          int16_t(cw[0]), int16_t(cw[2]), int16_t(cw[0]), int16_t(cw[2]));
    const __m128i y_odd = _mm_setr_epi16(int16_t(cw[1]), int16_t(cw[3]), int16_t(cw[1]), int16_t(cw[3]),
                                         int16_t(cw[1]), int16_t(cw[3]), int16_t(cw[1]), int16_t(cw[3]));
    int32_t blocks = count / 4;
    for (int32_t k = 0; k < blocks; ++k) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k));
        __m128i even = _mm_adds_epu16(_mm_mullo_epi16(_mm_and_si128(v, even_bytes), b), y_even);
        __m128i odd = _mm_adds_epu16(_mm_mullo_epi16(_mm_srli_epi16(v, 8), b), y_odd);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * k),
                         _mm_or_si128(_mm_srli_epi16(even, 8), _mm_and_si128(odd, odd_bytes)));
    }
    for (int32_t i = blocks * 4; i < count; ++i) p[i] = fade_pixel(p[i], cw, wt.pixel);
}
#endif

void fx_fade(Pixmap* pixmap, uint32_t colour, float weight, int32_t count)
{
#if defined(__SSE2__)
    if (!pixmap || !pixmap->pixels) return;
    count = fade_count(pixmap, count);
    if (count <= 0) return;
    const FadeWeights wt = fade_weights(weight);
    uint16_t cw[4];
    fade_colour_lanes(colour, wt.colour, cw);
    // A width of pixels at a time (the last run short), on every core when
    // the screen is large. The row job draws what is queued first.
    uint32_t* p = pixmap->pixels;
    const int32_t run = pixmap->width;
    jobs_parallel_rows((count + run - 1) / run, count, [&](int32_t first, int32_t end) {
        const int64_t from = int64_t(first) * run, to = std::min<int64_t>(int64_t(end) * run, count);
        fade_run(p + from, int32_t(to - from), wt, cw);
    });
#else
    fx_fade_scalar(pixmap, colour, weight, count);
#endif
}

void fx_add_blit_scalar(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx,
                            int32_t sy, int32_t w, int32_t h)
{
    add_blit(dst, dx, dy, src, sx, sy, w, h, add_row_scalar);
}

void fx_add_blit(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                     int32_t w, int32_t h)
{
#if defined(__SSE2__)
    add_blit(dst, dx, dy, src, sx, sy, w, h, add_row_sse2);
#else
    add_blit(dst, dx, dy, src, sx, sy, w, h, add_row_scalar);
#endif
}

void fx_outline_scalar(Pixmap* pixmap, int32_t threshold, uint32_t colour)
{
    if (!pixmap || !pixmap->zbuffer || !pixmap->pixels) return;
    pixmap_finish(pixmap);
    const int32_t* z = pixmap->zbuffer;
    uint32_t* p = pixmap->pixels;
    const int32_t* rows = pixmap->rows;
    // Depths span the whole int range (the cleared value is 0x7FFFFFFF, nearer
    // surfaces may be negative): differences are taken in 64 bits.
    const int64_t limit = threshold;
    for (int32_t y = 1; y <= pixmap->height - 3; ++y) {
        for (int32_t x = 1; x <= pixmap->width - 2; ++x) {
            int32_t at = rows[y] + x;
            int64_t depth = z[at];
            int64_t below = depth - z[rows[y + 1] + x];
            if ((below < 0 ? -below : below) > limit) {
                p[rows[y - 1] + x] = colour;
                p[at] = colour;
                p[rows[y + 1] + x] = colour;
            }
            int64_t right = depth - z[at + 1];
            if ((right < 0 ? -right : right) > limit) {
                p[at - 1] = colour;
                p[at] = colour;
                p[at + 1] = colour;
            }
        }
    }
}

void fx_outline_scaled_scalar(Pixmap* pixmap, int32_t threshold, uint32_t colour, float scale)
{
    if (!(scale > 1.0f)) {
        fx_outline_scalar(pixmap, threshold, colour);
        return;
    }
    if (!pixmap || !pixmap->zbuffer || !pixmap->pixels) return;
    pixmap_finish(pixmap);
    const int32_t* z = pixmap->zbuffer;
    uint32_t* p = pixmap->pixels;
    const int32_t* rows = pixmap->rows;
    const int32_t w = pixmap->width, h = pixmap->height;
    // A stroke at scale 1 covers the pixel before the step, the one at it and the
    // one after: two pixels before the boundary and one after. Scaled, it keeps
    // that span in screen units; depths step 1/scale as much per pixel.
    const int32_t before = static_cast<int32_t>(2.0f * scale + 0.5f);
    const int32_t after = static_cast<int32_t>(scale + 0.5f);
    const double limit = static_cast<double>(threshold) / scale;
    for (int32_t y = 1; y <= h - 3; ++y) {
        const int32_t y0 = y + 1 - before < 0 ? 0 : y + 1 - before;
        const int32_t y1 = y + 1 + after > h ? h : y + 1 + after;
        for (int32_t x = 1; x <= w - 2; ++x) {
            const int32_t at = rows[y] + x;
            const int64_t depth = z[at];
            const int64_t below = depth - z[rows[y + 1] + x];
            if (static_cast<double>(below < 0 ? -below : below) > limit)
                for (int32_t yy = y0; yy < y1; ++yy) p[rows[yy] + x] = colour;
            const int64_t right = depth - z[at + 1];
            if (static_cast<double>(right < 0 ? -right : right) > limit) {
                const int32_t x0 = x + 1 - before < 0 ? 0 : x + 1 - before;
                const int32_t x1 = x + 1 + after > w ? w : x + 1 + after;
                for (int32_t xx = x0; xx < x1; ++xx) p[rows[y] + xx] = colour;
            }
        }
    }
}

// ---- depth outline, four columns at a time ----------------------------------
//
// A step counts when |a - b| > t, the difference taken in 64 bits. With t in
// [0, INT32_MAX] the 32-bit wrapped difference d decides it exactly: without
// overflow d is the true difference and the step counts when d > t or d < -t
// (d = INT32_MIN included); with overflow the true difference is at least 2^31
// and always counts. Overflow is when a and b differ in sign and d's sign is not
// a's. The strokes are all one colour and the tests read only depths, so the
// order of the writes does not matter: the masks find the few columns with a
// step and the strokes are drawn for those alone.

#if defined(__SSE2__)
static inline int outline_step_mask(__m128i a, __m128i b, __m128i t, __m128i neg_t)
{
    const __m128i d = _mm_sub_epi32(a, b);
    const __m128i over = _mm_and_si128(_mm_xor_si128(a, b), _mm_xor_si128(a, d));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpgt_epi32(d, t), _mm_cmplt_epi32(d, neg_t)),
                                     _mm_srai_epi32(over, 31));
    return _mm_movemask_ps(_mm_castsi128_ps(hit));
}
#endif

static inline bool outline_step(int32_t a, int32_t b, int32_t t)
{
    const int64_t d = static_cast<int64_t>(a) - b;
    return (d < 0 ? -d : d) > t;
}

// Runs the tests of fx_outline over the tested rows and columns with the
// integer threshold t >= 0, calling down(x, y) for a step to the row below and
// across(x, y) for a step to the next column.
template <class Down, class Across>
static void outline_steps(const Pixmap* pixmap, int32_t t, Down down, Across across)
{
    pixmap_finish(pixmap);  // triangles queued into it are drawn before its depths are read
    const int32_t* z = pixmap->zbuffer;
    const int32_t* rows = pixmap->rows;
    const int32_t last = pixmap->width - 2;
#if defined(__SSE2__)
    const __m128i tv = _mm_set1_epi32(t);
    const __m128i neg_tv = _mm_set1_epi32(-t);
#endif
    for (int32_t y = 1; y <= pixmap->height - 3; ++y) {
        const int32_t* zr = z + rows[y];
        const int32_t* zb = z + rows[y + 1];
        int32_t x = 1;
#if defined(__SSE2__)
        for (; x + 3 <= last; x += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zr + x));
            const int m_down = outline_step_mask(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(zb + x)), tv,
                                                 neg_tv);
            const int m_across = outline_step_mask(
                a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(zr + x + 1)), tv, neg_tv);
            if ((m_down | m_across) == 0) continue;
            for (int i = 0; i < 4; ++i) {
                if (m_down & (1 << i)) down(x + i, y);
                if (m_across & (1 << i)) across(x + i, y);
            }
        }
#endif
        for (; x <= last; ++x) {
            if (outline_step(zr[x], zb[x], t)) down(x, y);
            if (outline_step(zr[x], zr[x + 1], t)) across(x, y);
        }
    }
}

void fx_outline(Pixmap* pixmap, int32_t threshold, uint32_t colour)
{
    if (!pixmap || !pixmap->zbuffer || !pixmap->pixels) return;
    if (threshold < 0) {
        // Every step counts; the masks need t >= 0.
        fx_outline_scalar(pixmap, threshold, colour);
        return;
    }
    uint32_t* p = pixmap->pixels;
    const int32_t* rows = pixmap->rows;
    outline_steps(
        pixmap, threshold,
        [&](int32_t x, int32_t y) {
            p[rows[y - 1] + x] = colour;
            p[rows[y] + x] = colour;
            p[rows[y + 1] + x] = colour;
        },
        [&](int32_t x, int32_t y) {
            uint32_t* at = p + rows[y] + x;
            at[-1] = colour;
            at[0] = colour;
            at[1] = colour;
        });
}

void fx_outline_scaled(Pixmap* pixmap, int32_t threshold, uint32_t colour, float scale)
{
    if (!(scale > 1.0f)) {
        fx_outline(pixmap, threshold, colour);
        return;
    }
    if (!pixmap || !pixmap->zbuffer || !pixmap->pixels) return;
    // A whole number n exceeds the limit L exactly when it exceeds floor(L); with
    // threshold an int32 and scale > 1, floor(L) fits an int32.
    const double limit = static_cast<double>(threshold) / scale;
    if (!(limit >= 0.0)) {
        fx_outline_scaled_scalar(pixmap, threshold, colour, scale);
        return;
    }
    const int32_t t = static_cast<int32_t>(limit);  // truncation is floor for limit >= 0
    uint32_t* p = pixmap->pixels;
    const int32_t* rows = pixmap->rows;
    const int32_t w = pixmap->width, h = pixmap->height;
    const int32_t before = static_cast<int32_t>(2.0f * scale + 0.5f);
    const int32_t after = static_cast<int32_t>(scale + 0.5f);
    outline_steps(
        pixmap, t,
        [&](int32_t x, int32_t y) {
            const int32_t y0 = y + 1 - before < 0 ? 0 : y + 1 - before;
            const int32_t y1 = y + 1 + after > h ? h : y + 1 + after;
            for (int32_t yy = y0; yy < y1; ++yy) p[rows[yy] + x] = colour;
        },
        [&](int32_t x, int32_t y) {
            const int32_t x0 = x + 1 - before < 0 ? 0 : x + 1 - before;
            const int32_t x1 = x + 1 + after > w ? w : x + 1 + after;
            for (int32_t xx = x0; xx < x1; ++xx) p[rows[y] + xx] = colour;
        });
}
