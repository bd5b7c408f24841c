// The fixed-point z-buffered rasterizer (flags 0x94): float edge walking, 16.16
// span routines with a strict depth test, 256 x 256 wrapped textures, additive
// anti-aliased lines. Everything it writes is clipped to the target.
#include "engine/raster/fixed_zbuffer.h"

#include <emmintrin.h>
#if defined(__EMSCRIPTEN__)
#include <wasm_simd128.h>
#endif

#include <cmath>
#include <cstddef>
#include <utility>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/fixed.h"
#include "engine/raster/raster.h"

// ---- types -----------------------------------------------------------------

// x, u, v, z first, in the order of an edge's values (loaded as one vector).
struct ZVertex {
    float x, u, v, z, y;
};

// One edge of the triangle as the row loop walks it: values at the current
// row and their change per row.
struct ZEdge {
    float x, u, v, z;
    float dx, du, dv, dz;
};
// The edge and row set-ups load x, u, v, z as one vector, the steps as another.
static_assert(offsetof(ZEdge, u) == 4 && offsetof(ZEdge, v) == 8 && offsetof(ZEdge, z) == 12 &&
              offsetof(ZEdge, dx) == 16);
static_assert(offsetof(ZVertex, u) == 4 && offsetof(ZVertex, v) == 8 && offsetof(ZVertex, z) == 12);

// ---- helpers ---------------------------------------------------------------

#if defined(__EMSCRIPTEN__)
// cvttss's result, 0x80000000 for what it cannot represent (NaN, magnitudes of
// 2^31 and more but -2^31), without emscripten's emulation (a call to lrint).
static inline __attribute__((always_inline)) int32_t cvttss(float f) {
    return std::fabs(f) < 2147483648.0f ? (int32_t)f : INT32_MIN;  // the cast sees only values in range
}
#else
static inline __attribute__((always_inline)) int32_t cvttss(float f) { return _mm_cvttss_si32(_mm_set_ss(f)); }
#endif

// Four floats to 16.16 at once. f * 65536 is exact in single precision as in
// double (a power of two; an overflow to infinity saturates either way), and
// the truncating conversion gives 0x80000000 for every value it cannot
// represent (and for -32768.0 exactly): those lanes, rare, take the reference.
// In wasm, the saturating conversion (NaN to 0, INT32_MIN and INT32_MAX beyond
// the ends) is fixed_to16's rule for every float, in one instruction: emscripten
// emulates cvttps lane by lane through calls to lrint.
static inline __attribute__((always_inline)) __m128i to_fixed16_ps(__m128 f) {
#if defined(__EMSCRIPTEN__)
    return (__m128i)wasm_i32x4_trunc_sat_f32x4((v128_t)_mm_mul_ps(f, _mm_set1_ps(65536.0f)));
#else
    __m128i r = _mm_cvttps_epi32(_mm_mul_ps(f, _mm_set1_ps(65536.0f)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(r, _mm_set1_epi32(INT32_MIN)))) {
        alignas(16) float in[4];
        alignas(16) int32_t out[4];
        _mm_store_ps(in, f);
        _mm_store_si128(reinterpret_cast<__m128i*>(out), r);
        for (int i = 0; i < 4; i++)
            if (out[i] == INT32_MIN) out[i] = fixed_to16(in[i]);
        r = _mm_load_si128(reinterpret_cast<const __m128i*>(out));
    }
    return r;
#endif
}

void fixed_zbuffer_to_fixed16x4(const float in[4], int32_t out[4]) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), to_fixed16_ps(_mm_loadu_ps(in)));
}

// fixed_ceil16 (the prestep rule) through cvttss, the same for every float:
// v * 65536 is exact, and what cvttss cannot represent goes the long way.
static int32_t ceil_fixed16_ss(float v) {
    int32_t i = cvttss(v * 65536.0f);
    if (i == INT32_MIN) return fixed_ceil16(v);
    return (int32_t)(((int64_t)i + 0xFFFF) >> 16);
}

static uint32_t rotl16(int32_t a) {
    uint32_t u = (uint32_t)a;
    return u << 16 | u >> 16;
}

// The add of the rotated coordinates: the carry out of the fraction (high
// half) comes back in at the integer's lowest bit.
static uint32_t add_end_around(uint32_t a, uint32_t b) {
    uint32_t s = a + b;
    return s + (s < a);  // the carry out, added back: an add and an add-with-carry
}

// The four values of an edge are computed lane by lane with the operations
// of the scalar expressions: (b - a) / h, v += rows * dv, v += dv.
static ZEdge edge_from(const ZVertex& a, const ZVertex& b) {
    ZEdge e;
    const __m128 start = _mm_loadu_ps(&a.x);
    __m128 step = _mm_setzero_ps();
    if (b.y != a.y)  // an edge with no height keeps gradient 0
        step = _mm_div_ps(_mm_sub_ps(_mm_loadu_ps(&b.x), start), _mm_set1_ps(b.y - a.y));
    _mm_storeu_ps(&e.x, start);
    _mm_storeu_ps(&e.dx, step);
    return e;
}

static void edge_advance(ZEdge& e, float rows) {
    _mm_storeu_ps(&e.x, _mm_add_ps(_mm_loadu_ps(&e.x), _mm_mul_ps(_mm_set1_ps(rows), _mm_loadu_ps(&e.dx))));
}

static void edge_step(ZEdge& e) {
    _mm_storeu_ps(&e.x, _mm_add_ps(_mm_loadu_ps(&e.x), _mm_loadu_ps(&e.dx)));
}

// Per-triangle drawing state handed to the row routine.
struct ZTarget {
    Pixmap* target;
    const uint32_t* texture;  // null for flat fills
    uint32_t colour;
};

static inline __attribute__((always_inline)) void texture_span(uint32_t* dst, const uint32_t* texture,
                                                                int32_t* zbuf, int32_t count, int32_t z,
                                                                int32_t u, int32_t v, int32_t du, int32_t dv,
                                                                int32_t dz);

// One row of a textured triangle. The gradients of u, v and z along the row
// are (right - left) / (xr - xl), the start values left + pre * gradient,
// all in 16.16: done for the three at once, lane by lane the same single-
// precision operations (lanes x, u, v, z as the edge holds them).
static void textured_row(const ZTarget& t, int32_t r, const ZEdge& l, const ZEdge& rt) {
    int32_t xs = fixed_trunc(l.x, FIXED_FAR);
    int64_t count = (int64_t)fixed_trunc(rt.x, FIXED_FAR) - xs;
    if (count <= 0) return;  // also keeps xr - xl away from zero below
    const __m128 left = _mm_loadu_ps(&l.x), right = _mm_loadu_ps(&rt.x);
    const __m128 diff = _mm_sub_ps(right, left);  // xr - xl, then the differences
    const __m128 grad = _mm_div_ps(diff, _mm_shuffle_ps(diff, diff, 0));
    // The first pixel, trunc(xl), receives the values of column ceil(xl).
    const float pre = (float)ceil_fixed16_ss(l.x) - l.x;
    const __m128 start = _mm_add_ps(left, _mm_mul_ps(_mm_set1_ps(pre), grad));
    const __m128 not_x = _mm_castsi128_ps(_mm_set_epi32(-1, -1, -1, 0));  // lane x unused
    alignas(16) int32_t at[4], step[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), to_fixed16_ps(_mm_and_ps(start, not_x)));
    _mm_store_si128(reinterpret_cast<__m128i*>(step), to_fixed16_ps(_mm_and_ps(grad, not_x)));
    int32_t u = at[1], v = at[2], z = at[3];
    const int32_t du = step[1], dv = step[2], dz = step[3];
    const Pixmap* pm = t.target;
    if (xs < 0) {  // skip the columns left of the target
        int64_t skip = -(int64_t)xs;
        u = (int32_t)(uint32_t)((uint64_t)(uint32_t)u + (uint64_t)skip * (uint32_t)du);
        v = (int32_t)(uint32_t)((uint64_t)(uint32_t)v + (uint64_t)skip * (uint32_t)dv);
        z = (int32_t)(uint32_t)((uint64_t)(uint32_t)z + (uint64_t)skip * (uint32_t)dz);
        count -= skip;
        xs = 0;
    }
    if ((int64_t)xs + count > pm->width) count = (int64_t)pm->width - xs;
    if (count <= 0) return;
    int64_t offset = (int64_t)r * pm->width + xs;
    texture_span(pm->pixels + offset, t.texture, pm->zbuffer + offset, (int32_t)count, z, u, v, du, dv, dz);
}

// One row of a flat triangle: no horizontal prestep, depth from zl.
static void flat_row(const ZTarget& t, int32_t r, const ZEdge& l, const ZEdge& rt) {
    int32_t xs = fixed_trunc(l.x, FIXED_FAR);
    int64_t count = (int64_t)fixed_ceil16(rt.x) - xs;
    if (count <= 0) return;
    int32_t z = fixed_to16(l.z), dz = fixed_to16((rt.z - l.z) / (float)count);
    const Pixmap* pm = t.target;
    if (xs < 0) {
        int64_t skip = -(int64_t)xs;
        z = (int32_t)(uint32_t)((uint64_t)(uint32_t)z + (uint64_t)skip * (uint32_t)dz);
        count -= skip;
        xs = 0;
    }
    if ((int64_t)xs + count > pm->width) count = (int64_t)pm->width - xs;
    if (count <= 0) return;
    int64_t offset = (int64_t)r * pm->width + xs;
    fixed_zbuffer_flat_span_z(pm->pixels + offset, pm->zbuffer + offset, (int32_t)count, z, dz,
                              t.colour);
}

typedef void (*ZRowFn)(const ZTarget& t, int32_t r, const ZEdge& l, const ZEdge& rt);

// The walks below are instantiated per row routine, so that the row routine
// is inlined into the row loop.

// Rows first <= r < end (in truncated row numbers) with the edges holding the
// values of the first row. Rows outside the target are skipped; the rows above
// it are jumped over in one step so that any finite triangle costs at most one
// pass over the target.
template <ZRowFn row>
static void draw_rows(const ZTarget& t, float y_first, float y_end, ZEdge& l,
                      ZEdge& rt) {
    int32_t first = fixed_trunc(y_first, FIXED_FAR), end = fixed_trunc(y_end, FIXED_FAR);
    if (first < 0 && first < end) {
        // Jump over the rows above the target (to the half's end if it lies
        // there too): the edges must still arrive where the next half expects.
        float rows = end < 0 ? std::trunc(y_end) - std::trunc(y_first) : 0.0f - std::trunc(y_first);
        edge_advance(l, rows);
        edge_advance(rt, rows);
        first = end < 0 ? end : 0;
    }
    if (end > t.target->height) end = t.target->height;
    // Drawing one band of the target (raster_flush): the rows above it are
    // still walked one by one, so the edges reach it with the values they
    // have when the whole triangle is drawn.
    const RasterBand band = raster_band;
    if (end > band.end) end = band.end;
    int32_t r = first;
    for (; r < end && r < band.first; r++) {
        edge_step(l);
        edge_step(rt);
    }
    for (; r < end; r++) {
        row(t, r, l, rt);
        edge_step(l);
        edge_step(rt);
    }
}

// The shared triangle walk of the textured and flat fills: sort, three cases,
// edge choice, prestep and restart. flat_tie: the flat-top tie-break is x0 > x1
// for flat fills and x0 >= x1 for textured ones.
template <ZRowFn row>
static void draw_triangle(const ZTarget& t, ZVertex* p, bool flat_tie) {
    if (p[0].y > p[1].y) std::swap(p[0], p[1]);
    if (p[0].y > p[2].y) std::swap(p[0], p[2]);
    if (p[1].y > p[2].y) std::swap(p[1], p[2]);
    if (p[0].y == p[1].y && (flat_tie ? p[0].x > p[1].x : p[0].x >= p[1].x)) std::swap(p[0], p[1]);
    if (p[2].y == p[0].y) return;

    const ZEdge e02 = edge_from(p[0], p[2]);
    const ZEdge e01 = edge_from(p[0], p[1]);
    const ZEdge e12 = edge_from(p[1], p[2]);
    const bool flat_top = p[1].y == p[0].y;     // case 2
    const bool flat_bottom = p[2].y == p[1].y;  // case 1

    ZEdge l, rt;
    if (flat_top) {
        // Both edges start unprestepped at their upper vertices.
        l = e02;
        rt = e12;
    } else {
        if (e02.dx < e01.dx) {
            l = e02;
            rt = e01;
        } else {
            l = e01;
            rt = e02;
        }
        float pre = (float)fixed_ceil16(p[0].y) - p[0].y;
        edge_advance(l, pre);
        edge_advance(rt, pre);
        draw_rows<row>(t, p[0].y, p[1].y, l, rt);
        if (flat_bottom) return;
        // The edge that ended at vertex 1 restarts there on edge 1->2.
        float pre1 = (float)fixed_ceil16(p[1].y) - p[1].y;
        if (l.dx == e02.dx) {
            rt = e12;
            edge_advance(rt, pre1);
        } else if (rt.dx == e02.dx) {
            l = e12;
            edge_advance(l, pre1);
        }
    }
    draw_rows<row>(t, p[1].y, p[2].y, l, rt);
}

static void triangle_vertices(const tpoly* t, ZVertex* p, const float* uv) {
    for (int i = 0; i < 3; i++) {
        p[i].x = t->vertex[i].x;
        p[i].y = t->vertex[i].y;
        p[i].z = t->vertex[i].z;
        p[i].u = uv ? uv[2 * i] : 0.0f;
        p[i].v = uv ? uv[2 * i + 1] : 0.0f;
    }
}

// A target the driver can draw into: pixels and a z-buffer (else noted).
static bool target_ok(const Pixmap* pm) {
    if (pm && pm->pixels && pm->zbuffer && pm->width > 0 && pm->height > 0) return true;
    raster_note(RASTER_NOTE_TARGET, "the 0x94 driver drew nothing: %s",
                !pm || !pm->pixels || pm->width <= 0 || pm->height <= 0
                    ? "its target has no pixels"
                    : "its target has no z-buffer (create it with PIXMAP_ZBUFFER)");
    return false;
}

// ---- slot routines -----------------------------------------------------------

void fixed_zbuffer_draw_textured(tpoly* triangle, Pixmap* target) {
    if (!target_ok(target) || !raster_texture_usable(triangle, "0x94", false)) return;
    const Pixmap* tex = triangle->texturemap;
    const int32_t first = triangle->uv_index[0];
    // The spans read a 256 x 256 texel table: a smaller texture would be read
    // out of bounds, so nothing is drawn.
    if ((int64_t)tex->width * tex->height < 256 * 256) {
        raster_note(RASTER_NOTE_TEXTURE_SIZE,
                    "the 0x94 driver drew no textured triangle: its texture is %d x %d, smaller than the "
                    "256 x 256 texels its spans read; give it a 256 x 256 texture, or select a driver that "
                    "reads any size (0x00, 0x01, 0xA0)",
                    (int)tex->width, (int)tex->height);
        return;
    }
    if (tex->width != 256)
        raster_note(RASTER_NOTE_TEXTURE_SIZE,
                    "the 0x94 driver reads its %d x %d texture as a 256 x 256 table (texel (v AND 255) x 256 + "
                    "(u AND 255)): only a texture 256 pixels wide shows as it is",
                    (int)tex->width, (int)tex->height);
    ZVertex p[3];
    triangle_vertices(triangle, p, triangle->uv + first);
    const ZTarget t = {target, tex->pixels, 0};
    draw_triangle<textured_row>(t, p, false);
}

void fixed_zbuffer_draw_flat(tpoly* triangle, Pixmap* target) {
    if (!target_ok(target)) return;
    ZVertex p[3];
    triangle_vertices(triangle, p, nullptr);
    const ZTarget t = {target, nullptr, raster_flat_colour(triangle)};
    draw_triangle<flat_row>(t, p, true);
}

void fixed_zbuffer_draw_wire(tpoly* triangle, Pixmap* target) {
    static const uint32_t edge_flags[3] = {TPOLY_EDGE01, TPOLY_EDGE12, TPOLY_EDGE20};
    const vector* v = triangle->vertex;
    for (int i = 0; i < 3; i++) {
        if (!(triangle->flags & edge_flags[i])) continue;
        const vector& a = v[i];
        const vector& b = v[(i + 1) % 3];
        fixed_zbuffer_draw_line(target, a.x, a.y, a.z, b.x, b.y, b.z, triangle->colour);
    }
}

// ---- line --------------------------------------------------------------------

// The step range [i_lo, i_hi] of the line whose centre (x0 + 0.5 + i sx, ...)
// can touch the target: Liang-Barsky against the target grown by two pixels.
static void line_steps(const Pixmap* pm, float x, float y, float sx, float sy, float n,
                       double* i_lo, double* i_hi) {
    double lo = 0.0, hi = (double)n;
    const double box[2][2] = {{-2.0, (double)pm->width + 2.0}, {-2.0, (double)pm->height + 2.0}};
    const double start[2] = {x, y}, step[2] = {sx, sy};
    for (int a = 0; a < 2; a++) {
        if (step[a] == 0.0) {
            if (start[a] < box[a][0] || start[a] > box[a][1]) hi = -1.0;
            continue;
        }
        double t0 = (box[a][0] - start[a]) / step[a], t1 = (box[a][1] - start[a]) / step[a];
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > lo) lo = t0;
        if (t1 < hi) hi = t1;
    }
    *i_lo = lo;
    *i_hi = hi;
}

void fixed_zbuffer_draw_line(Pixmap* target, float x0, float y0, float z0, float x1, float y1,
                             float z1, uint32_t colour) {
    if (!target_ok(target)) return;
    float n = std::fabs(x1 - x0);
    if (std::fabs(y1 - y0) > n) n = std::fabs(y1 - y0);
    if (!(n > 0.0f) || !std::isfinite(n)) return;  // zero length draws nothing
    float sx = (x1 - x0) / n, sy = (y1 - y0) / n, sz = (z1 - z0) / n;
    float x = x0 + 0.5f, y = y0 + 0.5f, z = z0;

    // Steps whose centre is far outside the target plot nothing: start at the
    // first that may touch it, stop after the last.
    double i_lo, i_hi;
    line_steps(target, x, y, sx, sy, n, &i_lo, &i_hi);
    if (i_hi < i_lo) return;
    double i = 0.0;
    if (i_lo > 0.0) {
        i = std::floor(i_lo);
        x += (float)i * sx;
        y += (float)i * sy;
        z += (float)i * sz;
    }
    const double i_end = std::floor(i_hi) + 1.0;
    for (; i < (double)n && i < i_end; i += 1.0) {
        int32_t cx = fixed_trunc(x, FIXED_FAR), cy = fixed_trunc(y, FIXED_FAR);
        // Only the centre pixel's depth is tested and written.
        if (cx >= 0 && cx < target->width && cy >= 0 && cy < target->height) {
            int32_t* zp = &target->zbuffer[(int64_t)cy * target->width + cx];
            if ((float)*zp > z) {
                *zp = fixed_trunc(z, FIXED_FAR);
                float wl = 1.0f - ((x - 0.5f) - std::trunc(x - 0.5f));
                float wr = (x + 0.5f) - std::trunc(x + 0.5f);
                float wt = 1.0f - ((y - 0.5f) - std::trunc(y - 0.5f));
                float wb = (y + 0.5f) - std::trunc(y + 0.5f);
                fixed_zbuffer_add_plot(target, x - 0.5f, y - 0.5f, wl, wt, colour);
                fixed_zbuffer_add_plot(target, x + 0.5f, y - 0.5f, wr, wt, colour);
                fixed_zbuffer_add_plot(target, x - 0.5f, y + 0.5f, wl, wb, colour);
                fixed_zbuffer_add_plot(target, x + 0.5f, y + 0.5f, wr, wb, colour);
            }
        }
        x += sx;
        y += sy;
        z += sz;
    }
}

void fixed_zbuffer_add_plot(Pixmap* target, float x, float y, float wx, float wy, uint32_t colour) {
    int32_t px = fixed_trunc(x, FIXED_FAR), py = fixed_trunc(y, FIXED_FAR);
    if (px < 0 || px >= target->width || py < 0 || py >= target->height) return;
    uint32_t k = (uint32_t)fixed_trunc(256.0f * wx * wy, FIXED_FAR) & 0xFFFF;
    uint32_t* dst = &target->pixels[(int64_t)py * target->width + px];
    uint32_t old = *dst, out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = ((old >> shift) & 0xFF) + ((((colour >> shift) & 0xFF) * k) >> 8);
        out |= (sum > 255 ? 255 : sum) << shift;
    }
    *dst = out;
}

// ---- spans -------------------------------------------------------------------

void fixed_zbuffer_texture_span_z_scalar(uint32_t* dst, const uint32_t* texture, int32_t* zbuf,
                                         int32_t count, int32_t z, int32_t u, int32_t v, int32_t du,
                                         int32_t dv, int32_t dz) {
    if (count <= 0) return;
    // Rotated 16.16: fraction in the high half, integer in the low half.
    uint32_t ur = rotl16(u), vr = rotl16(v), dur = rotl16(du), dvr = rotl16(dv);
    uint32_t zf = (uint32_t)z;
    for (int32_t i = 0; i < count; i++) {
        int32_t d = (int32_t)zf >> 16;
        if (zbuf[i] > d) {  // strictly nearer: ties keep the old pixel
            zbuf[i] = d;
            dst[i] = texture[(vr & 0xFF) << 8 | (ur & 0xFF)];
        }
        ur = add_end_around(ur, dur);
        vr = add_end_around(vr, dvr);
        zf += (uint32_t)dz;
    }
}

void fixed_zbuffer_flat_span_z_scalar(uint32_t* dst, int32_t* zbuf, int32_t count, int32_t z,
                                      int32_t dz, uint32_t colour) {
    uint32_t zf = (uint32_t)z;
    for (int32_t i = 0; i < count; i++) {
        int32_t d = (int32_t)zf >> 16;
        if (zbuf[i] > d) {
            zbuf[i] = d;
            dst[i] = colour;
        }
        zf += (uint32_t)dz;
    }
}

// The end-around add of four rotated coordinates: the carry out of each lane
// (the sum below an operand, unsigned) is added back at its lowest bit.
static __m128i add_end_around4(__m128i a, __m128i b) {
    const __m128i sign = _mm_set1_epi32(INT32_MIN);
    const __m128i s = _mm_add_epi32(a, b);
    return _mm_sub_epi32(s, _mm_cmpgt_epi32(_mm_xor_si128(a, sign), _mm_xor_si128(s, sign)));
}

// Where mask is set, a; elsewhere b.
static __m128i select4(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Four pixels per step: lanes hold pixels i .. i + 3 and advance by four
// pixels' steps. The end-around add is addition modulo 2^32 - 1 whose result
// is never 0 unless both operands are: with a step other than 0 every value
// after the first is the one representative in 1 .. 2^32 - 1 of its class,
// however the steps are grouped, and with step 0 nothing moves. So four steps
// at once give the one-step walk's values bit for bit; the depth is a plain
// wrapping add.
static inline __attribute__((always_inline)) void texture_span(uint32_t* dst, const uint32_t* texture,
                                                                int32_t* zbuf, int32_t count, int32_t z,
                                                                int32_t u, int32_t v, int32_t du, int32_t dv,
                                                                int32_t dz) {
    // Rotated 16.16: fraction in the high half, integer in the low half.
    uint32_t ur = rotl16(u), vr = rotl16(v), dur = rotl16(du), dvr = rotl16(dv);
    uint32_t zf = (uint32_t)z;
    int32_t i = 0;
    if (count >= 4) {
        // Lane k starts at the first value plus k steps (0 adds nothing), the
        // steps summed first: the same values as k single steps, as above.
        const uint32_t du2 = add_end_around(dur, dur), du3 = add_end_around(du2, dur);
        const uint32_t dv2 = add_end_around(dvr, dvr), dv3 = add_end_around(dv2, dvr);
        const __m128i step_u = _mm_set1_epi32((int32_t)add_end_around(du3, dur));
        const __m128i step_v = _mm_set1_epi32((int32_t)add_end_around(dv3, dvr));
        const __m128i step_z = _mm_set1_epi32((int32_t)(4u * (uint32_t)dz));
        const __m128i byte = _mm_set1_epi32(0xFF);
        __m128i ul4 = add_end_around4(_mm_set1_epi32((int32_t)ur),
                                      _mm_setr_epi32(0, (int32_t)dur, (int32_t)du2, (int32_t)du3));
        __m128i vl4 = add_end_around4(_mm_set1_epi32((int32_t)vr),
                                      _mm_setr_epi32(0, (int32_t)dvr, (int32_t)dv2, (int32_t)dv3));
        __m128i zl4 = _mm_add_epi32(_mm_set1_epi32(z), _mm_setr_epi32(0, dz, (int32_t)(2u * (uint32_t)dz),
                                                                     (int32_t)(3u * (uint32_t)dz)));
        for (; i + 4 <= count; i += 4) {
            const __m128i depth = _mm_srai_epi32(zl4, 16);
            const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zbuf + i));
            const __m128i nearer = _mm_cmpgt_epi32(old, depth);  // strictly: ties keep the old pixel
            if (_mm_movemask_epi8(nearer)) {
                const __m128i index =
                    _mm_or_si128(_mm_slli_epi32(_mm_and_si128(vl4, byte), 8), _mm_and_si128(ul4, byte));
                const __m128i texel = _mm_set_epi32(
                    (int32_t)texture[_mm_extract_epi16(index, 6)], (int32_t)texture[_mm_extract_epi16(index, 4)],
                    (int32_t)texture[_mm_extract_epi16(index, 2)], (int32_t)texture[_mm_extract_epi16(index, 0)]);
                __m128i* out = reinterpret_cast<__m128i*>(dst + i);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(zbuf + i), select4(nearer, depth, old));
                _mm_storeu_si128(out, select4(nearer, texel, _mm_loadu_si128(out)));
            }
            ul4 = add_end_around4(ul4, step_u);
            vl4 = add_end_around4(vl4, step_v);
            zl4 = _mm_add_epi32(zl4, step_z);
        }
        // What is left goes on from lane 0's values (already rotated).
        ur = (uint32_t)_mm_cvtsi128_si32(ul4);
        vr = (uint32_t)_mm_cvtsi128_si32(vl4);
        zf = (uint32_t)_mm_cvtsi128_si32(zl4);
    }
    // Short spans, and what is left of long ones, one pixel at a time.
    for (; i < count; i++) {
        int32_t d = (int32_t)zf >> 16;
        if (zbuf[i] > d) {
            zbuf[i] = d;
            dst[i] = texture[(vr & 0xFF) << 8 | (ur & 0xFF)];
        }
        ur = add_end_around(ur, dur);
        vr = add_end_around(vr, dvr);
        zf += (uint32_t)dz;
    }
}

void fixed_zbuffer_texture_span_z(uint32_t* dst, const uint32_t* texture, int32_t* zbuf,
                                  int32_t count, int32_t z, int32_t u, int32_t v, int32_t du,
                                  int32_t dv, int32_t dz) {
    texture_span(dst, texture, zbuf, count, z, u, v, du, dv, dz);
}

void fixed_zbuffer_flat_span_z(uint32_t* dst, int32_t* zbuf, int32_t count, int32_t z, int32_t dz,
                               uint32_t colour) {
    uint32_t zf = (uint32_t)z;
    int32_t i = 0;
    if (count >= 4) {
        const uint32_t dz1 = (uint32_t)dz;
        __m128i zl4 = _mm_setr_epi32((int32_t)zf, (int32_t)(zf + dz1), (int32_t)(zf + 2 * dz1),
                                     (int32_t)(zf + 3 * dz1));
        const __m128i step_z = _mm_set1_epi32((int32_t)(4u * dz1));
        const __m128i fill = _mm_set1_epi32((int32_t)colour);
        for (; i + 4 <= count; i += 4) {
            const __m128i depth = _mm_srai_epi32(zl4, 16);
            const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zbuf + i));
            const __m128i nearer = _mm_cmpgt_epi32(old, depth);
            if (_mm_movemask_epi8(nearer)) {
                __m128i* out = reinterpret_cast<__m128i*>(dst + i);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(zbuf + i), select4(nearer, depth, old));
                _mm_storeu_si128(out, select4(nearer, fill, _mm_loadu_si128(out)));
            }
            zl4 = _mm_add_epi32(zl4, step_z);
        }
        zf = (uint32_t)_mm_cvtsi128_si32(zl4);
    }
    for (; i < count; i++) {
        int32_t d = (int32_t)zf >> 16;
        if (zbuf[i] > d) {
            zbuf[i] = d;
            dst[i] = colour;
        }
        zf += (uint32_t)dz;
    }
}

// ---- descriptor ----------------------------------------------------------------

const RasterDriver raster_driver_fixed_zbuffer = {
    "ASM-opt zbuffered (256x256 tsize) software polygondrawer",
    RASTER_FLAGS_FIXED_ZBUFFER,
    {
        raster_line_slot(fixed_zbuffer_draw_line),  // 0
        fixed_zbuffer_draw_flat,                    // 1
        fixed_zbuffer_draw_wire,                    // 2
        nullptr,                                    // 3
        fixed_zbuffer_draw_textured,                // 4
    },
};
