// Grid-mapped backgrounds: 41 x 31 rays per frame turned into (u, v, shade)
// by the tunnel or sphere mapping, then 8 x 8 blocks filled by stepping the
// three components in 8.8 fixed point and blending each texel towards white.
#include "app/background.h"

#include <cmath>
#include <emmintrin.h>
#include <vector>

#include "engine/jobs/jobs.h"
#include "engine/math/trig.h"
#include "engine/math/vector.h"
#include "engine/pixmap/pixmap.h"

BackgroundPoint background_grid[BACKGROUND_GRID_ROWS][BACKGROUND_GRID_COLUMNS];

namespace {

constexpr int BLOCK = 8;
constexpr int32_t WRAP = 900;     // a jump larger than this is a pass from 1023 to 0
constexpr int32_t TURN = 1024;    // one turn of the sphere's coordinates

// The four corner rays: top-left, top-right, bottom-left, bottom-right.
constexpr vector CORNER_RAYS[4] = {{-4, -4, 4}, {4, -4, 4}, {-4, 4, 4}, {4, 4, 4}};

constexpr int64_t BACKGROUND_PIXELS = 320 * 240;  // the work of one 320 x 240 background

typedef void (*MappingFn)(const vector* d, float t, int32_t* u, int32_t* v);

// A block's four corners as the walk over the blocks in order sees them: after
// its own corrections and those of every block before it.
struct BlockCorners {
    BackgroundPoint a, b, c, d;
};

void correct_block(BackgroundPoint* a, BackgroundPoint* b, BackgroundPoint* c, BackgroundPoint* d);
void shade_block_corrected_sse2(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, const BackgroundPoint* a,
                                const BackgroundPoint* b, const BackgroundPoint* c, const BackgroundPoint* d);

void tunnel_mapping(const vector* d, float t, int32_t* u, int32_t* v) {
    const float r = 1.0f / std::sqrt(d->x * d->x + d->y * d->y);
    *u = background_trunc(double(math_atan2f(d->y, d->x)) * 2048.0 / 6.283185307179586) & 255;
    *v = background_trunc(r * d->z * 64.0f + t) & 255;
}

void sphere_mapping(const vector* d, float radius, int32_t* u, int32_t* v) {
    const float a = d->x * d->x + d->y * d->y + d->z * d->z;
    const float s = std::sqrt(4.0f * radius * radius * a) / (2.0f * a);
    vector p;
    vec_scale(&p, s, d);
    float theta, phi;
    if (p.x == 0.0f && p.z == 0.0f) {
        theta = 0.0f;
        phi = p.y == 0.0f ? 0.0f : (p.y < 0.0f ? float(-M_PI / 2) : float(M_PI / 2));
    } else {
        theta = math_atan2f(p.x, p.z) / 2.0f;
        phi = math_atan2f(p.y, std::sqrt(p.x * p.x + p.z * p.z)) / 2.0f;
    }
    const float theta1 = 1.0f - theta / float(M_PI);
    const float phi1 = 0.5f - 2.0f * phi / float(M_PI);
    *u = background_trunc((theta1 - float(background_trunc(theta1))) * 1024.0f);
    *v = background_trunc((phi1 - float(background_trunc(phi1))) * 1024.0f);
}

// The four corner rays of the view, turned by the angles (scaled to a tenth).
void corner_rays(vector p[4], float a1, float a2, float a3) {
    matrix m, tm;
    mat_rotate_zyx(&m, a1, a2, a3);
    mat_transpose(&tm, &m);
    for (int i = 0; i < 4; i++) {
        vector scaled;
        vec_scale(&scaled, 0.1f, &CORNER_RAYS[i]);
        vec_mul_matrix(&p[i], &scaled, &tm);
    }
}

// Casts the grid's rays and stores (u, v, shade) at every grid point.
void fill_grid(MappingFn mapping, float t, float shade_offset, float a1, float a2, float a3) {
    vector p[4];
    corner_rays(p, a1, a2, a3);
    // The divisors are the grid's row and column counts, so the last row and
    // column stop one step short of the bottom and right corner rays.
    const float rows = float(BACKGROUND_GRID_ROWS), columns = float(BACKGROUND_GRID_COLUMNS);
    const vector left_step = {(p[2].x - p[0].x) / rows, (p[2].y - p[0].y) / rows, (p[2].z - p[0].z) / rows};
    const vector right_step = {(p[3].x - p[1].x) / rows, (p[3].y - p[1].y) / rows, (p[3].z - p[1].z) / rows};
    // The rows' end rays step down the sides here; the rows are then cast on
    // every core when the work pays (each row steps along from its own start).
    vector left[BACKGROUND_GRID_ROWS], right[BACKGROUND_GRID_ROWS];
    left[0] = p[0], right[0] = p[1];
    for (int j = 1; j < BACKGROUND_GRID_ROWS; j++) {
        vec_add(&left[j], &left[j - 1], &left_step);
        vec_add(&right[j], &right[j - 1], &right_step);
    }
    jobs_parallel_rows(BACKGROUND_GRID_ROWS, BACKGROUND_PIXELS, [&](int32_t first, int32_t end) {
        for (int j = first; j < end; j++) {
            vector d = left[j];
            const vector step = {(right[j].x - left[j].x) / columns, (right[j].y - left[j].y) / columns,
                                 (right[j].z - left[j].z) / columns};
            const float dy2 = (float(j) - 16.5f) * (float(j) - 16.5f);
            for (int i = 0; i < BACKGROUND_GRID_COLUMNS; i++) {
                const float dx2 = (float(i) - 20.5f) * (float(i) - 20.5f);
                BackgroundPoint* g = &background_grid[j][i];
                mapping(&d, t, &g->c[0], &g->c[1]);
                float shade = 190.0f / std::sqrt(dx2 + dy2) + shade_offset;
                if (shade > 255.0f) shade = 255.0f;
                if (shade < 0.0f) shade = 0.0f;
                g->c[2] = int32_t(shade);
                vec_add(&d, &d, &step);
            }
        }
    });
}

bool usable(const Pixmap* dst, const Pixmap* texture) {
    return dst && texture && dst->pixels && texture->pixels && dst->width >= 320 && dst->height >= 240 &&
           int64_t(texture->width) * texture->height >= 256 * 256;
}

void draw_scaled(Pixmap* dst, const Pixmap* texture, MappingFn mapping, float t, float shade_offset, float a1,
                 float a2, float a3);
void fill_blocks(Pixmap* dst, const Pixmap* texture, BackgroundPoint* grid, int32_t columns, int32_t rows);

void draw(Pixmap* dst, const Pixmap* texture, MappingFn mapping, float t, float shade_offset, float a1,
          float a2, float a3) {
    if (!usable(dst, texture)) return;
    if (dst->width != 320 || dst->height != 240) {
        draw_scaled(dst, texture, mapping, t, shade_offset, a1, a2, a3);
        return;
    }
    fill_grid(mapping, t, shade_offset, a1, a2, a3);
    fill_blocks(dst, texture, &background_grid[0][0], BACKGROUND_GRID_COLUMNS, BACKGROUND_GRID_ROWS);
}

// One row of 8 pixels: u, v in 8.8 fixed point stepped by du, dv; s the shade
// in 8.8 kept to 16 bits, stepped by ds modulo 65536. The texture is read as
// 256 x 256.
struct BlockSpan {
    uint32_t* out;
    const uint32_t* texels;
    int32_t u, v, du, dv;
    uint16_t s, ds;
};

// Each byte b becomes sat16(b * ((65535 - s) >> 8) + 255 * (s >> 8)) >> 8.
// The reference: one pixel and one byte at a time.
struct ShadeSpanScalar {
    void operator()(BlockSpan span) const {
        for (int i = 0; i < BLOCK; i++) {
            const uint32_t texel = span.texels[((span.v >> 8) & 255) * 256 + ((span.u >> 8) & 255)];
            const uint32_t w_texel = uint16_t(65535 - span.s) >> 8;
            const uint32_t w_white = 255u * (span.s >> 8);
            uint32_t pixel = 0;
            for (int byte = 0; byte < 4; byte++) {
                uint32_t sum = ((texel >> (8 * byte)) & 255) * w_texel + w_white;
                if (sum > 65535) sum = 65535;
                pixel |= (sum >> 8) << (8 * byte);
            }
            span.out[i] = pixel;
            span.u += span.du;
            span.v += span.dv;
            span.s = uint16_t(span.s + span.ds);
        }
    }
};

inline __m128i blend_pair(__m128i bytes, __m128i w_texel, __m128i w_white) {
    return _mm_srli_epi16(_mm_adds_epu16(_mm_mullo_epi16(bytes, w_texel), w_white), 8);
}

// The same in 16-bit lanes, given a row's u, v and shade for its eight pixels
// modulo 65536. A texel's row and column are bits 8-15 of v and u, so the eight
// texel indices (v & 0xFF00 | u >> 8) are found in one register. The blend: each
// pixel's four bytes in four lanes; multiply keeping the low words, add with
// unsigned saturation, shift, pack.
inline void shade_row_sse2(uint32_t* out, const uint32_t* t, __m128i u, __m128i v, __m128i s) {
    const __m128i index = _mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(int16_t(-256))), _mm_srli_epi16(u, 8));
    const __m128i lo = _mm_setr_epi32(int32_t(t[_mm_extract_epi16(index, 0)]), int32_t(t[_mm_extract_epi16(index, 1)]),
                                      int32_t(t[_mm_extract_epi16(index, 2)]), int32_t(t[_mm_extract_epi16(index, 3)]));
    const __m128i hi = _mm_setr_epi32(int32_t(t[_mm_extract_epi16(index, 4)]), int32_t(t[_mm_extract_epi16(index, 5)]),
                                      int32_t(t[_mm_extract_epi16(index, 6)]), int32_t(t[_mm_extract_epi16(index, 7)]));
    const __m128i zero = _mm_setzero_si128();
    const __m128i w_texel = _mm_srli_epi16(_mm_xor_si128(s, _mm_cmpeq_epi16(s, s)), 8);  // (65535 - s) >> 8
    const __m128i w_white = _mm_mullo_epi16(_mm_srli_epi16(s, 8), _mm_set1_epi16(255));
    // Each weight spread over the four lanes of its pixel.
    const __m128i t03 = _mm_unpacklo_epi16(w_texel, w_texel), t47 = _mm_unpackhi_epi16(w_texel, w_texel);
    const __m128i h03 = _mm_unpacklo_epi16(w_white, w_white), h47 = _mm_unpackhi_epi16(w_white, w_white);
    const __m128i p01 = blend_pair(_mm_unpacklo_epi8(lo, zero), _mm_unpacklo_epi32(t03, t03), _mm_unpacklo_epi32(h03, h03));
    const __m128i p23 = blend_pair(_mm_unpackhi_epi8(lo, zero), _mm_unpackhi_epi32(t03, t03), _mm_unpackhi_epi32(h03, h03));
    const __m128i p45 = blend_pair(_mm_unpacklo_epi8(hi, zero), _mm_unpacklo_epi32(t47, t47), _mm_unpacklo_epi32(h47, h47));
    const __m128i p67 = blend_pair(_mm_unpackhi_epi8(hi, zero), _mm_unpackhi_epi32(t47, t47), _mm_unpackhi_epi32(h47, h47));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(p01, p23));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_packus_epi16(p45, p67));
}

struct CopySpan {
    void operator()(BlockSpan span) const {
        for (int i = 0; i < BLOCK; i++) {
            span.out[i] = span.texels[(span.v & 0xFF00) | ((span.u >> 8) & 255)];
            span.u += span.du;
            span.v += span.dv;
        }
    }
};

// Moves a grid point's value by a turn when it is more than 900 away from the
// one below it, so the block interpolates the short way round.
void correct_edge(int32_t* top, int32_t* bottom) {
    if (*bottom - *top < -WRAP)
        *bottom += TURN;
    else if (*bottom - *top > WRAP)
        *top += TURN;
}

// One component down the block's left and right edges, in 8.8 fixed point:
// one eighth of the difference per pixel row.
struct Edges {
    int32_t left, right, left_step, right_step;

    Edges(int32_t* a, int32_t* b, int32_t* c, int32_t* d) {
        correct_edge(a, c);
        correct_edge(b, d);
        left = *a * 256;
        right = *b * 256;
        left_step = (*c - *a) * 32;
        right_step = (*d - *b) * 32;
    }

    // The next row's start and its step per pixel; then moves down a row.
    int32_t row(int32_t* step) {
        // The start is taken before this correction: the two differ by whole
        // turns of 256 texels, which read the same texel.
        const int32_t start = left;
        int32_t e = (right >> 8) - (left >> 8);
        if (e < -WRAP) {
            right += TURN * 256;
            e = (right >> 8) - (left >> 8);
        } else if (e > WRAP) {
            left += TURN * 256;
            e = (right >> 8) - (left >> 8);
        }
        *step = e * 32;
        left += left_step;
        right += right_step;
        return start;
    }
};

template <typename Span>
void shade_block(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, BackgroundPoint* a, BackgroundPoint* b,
                 BackgroundPoint* c, BackgroundPoint* d, Span span) {
    Edges u(&a->c[0], &b->c[0], &c->c[0], &d->c[0]);
    Edges v(&a->c[1], &b->c[1], &c->c[1], &d->c[1]);
    Edges s(&a->c[2], &b->c[2], &c->c[2], &d->c[2]);
    uint32_t* out = dst->pixels + dst->rows[y] + x;
    for (int row = 0; row < BLOCK; row++, out += dst->width) {
        BlockSpan line = {out, texture->pixels, 0, 0, 0, 0, 0, 0};
        line.u = u.row(&line.du);
        line.v = v.row(&line.dv);
        int32_t ds;
        line.s = uint16_t(s.row(&ds));
        line.ds = uint16_t(ds);
        span(line);
    }
}

// The shaded block from corners already corrected (correct_block), with u, v
// and the shade walked down the edges side by side in lanes 0-2 of one
// register, as Edges::row does each one: rows whose ends lie more than 900
// texels apart are corrected before the step is taken.
void shade_block_corrected_sse2(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, const BackgroundPoint* a,
                                const BackgroundPoint* b, const BackgroundPoint* c, const BackgroundPoint* d) {
    const __m128i top_left = _mm_setr_epi32(a->c[0], a->c[1], a->c[2], 0);
    const __m128i top_right = _mm_setr_epi32(b->c[0], b->c[1], b->c[2], 0);
    __m128i left = _mm_slli_epi32(top_left, 8), right = _mm_slli_epi32(top_right, 8);
    const __m128i left_step = _mm_slli_epi32(_mm_sub_epi32(_mm_setr_epi32(c->c[0], c->c[1], c->c[2], 0), top_left), 5);
    const __m128i right_step = _mm_slli_epi32(_mm_sub_epi32(_mm_setr_epi32(d->c[0], d->c[1], d->c[2], 0), top_right), 5);
    const __m128i above = _mm_set1_epi32(WRAP), below = _mm_set1_epi32(-WRAP), turn = _mm_set1_epi32(TURN * 256);
    const __m128i ramp = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    const uint32_t* texels = texture->pixels;
    uint32_t* out = dst->pixels + dst->rows[y] + x;
    for (int row = 0; row < BLOCK; row++, out += dst->width) {
        const __m128i start = left;
        __m128i e = _mm_sub_epi32(_mm_srai_epi32(right, 8), _mm_srai_epi32(left, 8));
        const __m128i low = _mm_cmplt_epi32(e, below), high = _mm_cmpgt_epi32(e, above);
        if (_mm_movemask_epi8(_mm_or_si128(low, high))) {
            right = _mm_add_epi32(right, _mm_and_si128(low, turn));
            left = _mm_add_epi32(left, _mm_and_si128(high, turn));
            e = _mm_sub_epi32(_mm_srai_epi32(right, 8), _mm_srai_epi32(left, 8));
        }
        const __m128i step = _mm_slli_epi32(e, 5);
        left = _mm_add_epi32(left, left_step);
        right = _mm_add_epi32(right, right_step);
        // Each component's start and step in all eight 16-bit lanes.
        const __m128i u = _mm_add_epi16(_mm_shuffle_epi32(_mm_shufflelo_epi16(start, 0x00), 0x00),
                                        _mm_mullo_epi16(ramp, _mm_shuffle_epi32(_mm_shufflelo_epi16(step, 0x00), 0x00)));
        const __m128i v = _mm_add_epi16(_mm_shuffle_epi32(_mm_shufflelo_epi16(start, 0xAA), 0x55),
                                        _mm_mullo_epi16(ramp, _mm_shuffle_epi32(_mm_shufflelo_epi16(step, 0xAA), 0x55)));
        const __m128i s = _mm_add_epi16(_mm_shuffle_epi32(_mm_shufflehi_epi16(start, 0x00), 0xAA),
                                        _mm_mullo_epi16(ramp, _mm_shuffle_epi32(_mm_shufflehi_epi16(step, 0x00), 0xAA)));
        shade_row_sse2(out, texels, u, v, s);
    }
}

// Top and bottom corners more than 900 apart are corrected first: the grid
// points change for the blocks that come after.
void correct_block(BackgroundPoint* a, BackgroundPoint* b, BackgroundPoint* c, BackgroundPoint* d) {
    for (int k = 0; k < 3; k++) {
        correct_edge(&a->c[k], &c->c[k]);
        correct_edge(&b->c[k], &d->c[k]);
    }
}

void shade_block_sse2(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, BackgroundPoint* a,
                      BackgroundPoint* b, BackgroundPoint* c, BackgroundPoint* d) {
    correct_block(a, b, c, d);
    shade_block_corrected_sse2(dst, x, y, texture, a, b, c, d);
}

void copy_block(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, BackgroundPoint* a, BackgroundPoint* b,
                BackgroundPoint* c, BackgroundPoint* d) {
    Edges u(&a->c[0], &b->c[0], &c->c[0], &d->c[0]);
    Edges v(&a->c[1], &b->c[1], &c->c[1], &d->c[1]);
    uint32_t* out = dst->pixels + dst->rows[y] + x;
    for (int row = 0; row < BLOCK; row++, out += dst->width) {
        BlockSpan line = {out, texture->pixels, 0, 0, 0, 0, 0, 0};
        line.u = u.row(&line.du);
        line.v = v.row(&line.dv);
        CopySpan()(line);
    }
}

// A screen larger than 320 x 240 keeps 8 x 8-pixel blocks: a grid of one point
// per 8 pixels (and one past the last) over the same view. Grid values are taken
// where the 320 x 240 field has them: a pixel's centre maps to the same place in
// both, and u, v below count the 320 x 240 grid's steps.
void draw_scaled(Pixmap* dst, const Pixmap* texture, MappingFn mapping, float t, float shade_offset, float a1,
                 float a2, float a3) {
    static std::vector<BackgroundPoint> grid;
    const int32_t columns = (dst->width + BLOCK - 1) / BLOCK + 1, rows = (dst->height + BLOCK - 1) / BLOCK + 1;
    grid.resize(size_t(columns) * size_t(rows));
    vector p[4];
    corner_rays(p, a1, a2, a3);
    const double sx = dst->width / 320.0, sy = dst->height / 240.0;
    const double grid_columns = BACKGROUND_GRID_COLUMNS, grid_rows = BACKGROUND_GRID_ROWS;
    const int64_t pixels = int64_t(dst->width) * dst->height;
    // Each ray depends only on its grid position: the rows are cast on every core.
    jobs_parallel_rows(rows, pixels, [&](int32_t j_first, int32_t j_end) {
        for (int32_t j = j_first; j < j_end; j++) {
            const double v = ((BLOCK * j + 0.5) / sy - 0.5) / BLOCK;
            const double fl = v / grid_rows;
            const double left[3] = {p[0].x + fl * (p[2].x - p[0].x), p[0].y + fl * (p[2].y - p[0].y),
                                    p[0].z + fl * (p[2].z - p[0].z)};
            const double right[3] = {p[1].x + fl * (p[3].x - p[1].x), p[1].y + fl * (p[3].y - p[1].y),
                                     p[1].z + fl * (p[3].z - p[1].z)};
            const double dy2 = (v - 16.5) * (v - 16.5);
            for (int32_t i = 0; i < columns; i++) {
                const double u = ((BLOCK * i + 0.5) / sx - 0.5) / BLOCK;
                const double fc = u / grid_columns;
                const vector d = {float(left[0] + fc * (right[0] - left[0])),
                                  float(left[1] + fc * (right[1] - left[1])),
                                  float(left[2] + fc * (right[2] - left[2]))};
                BackgroundPoint* g = &grid[size_t(j) * size_t(columns) + size_t(i)];
                mapping(&d, t, &g->c[0], &g->c[1]);
                double shade = 190.0 / std::sqrt((u - 20.5) * (u - 20.5) + dy2) + shade_offset;
                if (shade > 255.0) shade = 255.0;
                if (shade < 0.0) shade = 0.0;
                g->c[2] = int32_t(shade);
            }
        }
    });
    fill_blocks(dst, texture, grid.data(), columns, rows);
}

// Fills the screen's 8 x 8 blocks from a grid of columns x rows points, one
// per block corner. A block's corrections change grid points that the blocks
// after it read, so they are made first, in the blocks' order, and each block
// keeps its corners as they then stand; the blocks are filled on every core.
// Blocks that the screen's right or bottom edge cuts are drawn into a scratch
// block and cut to the screen.
void fill_blocks(Pixmap* dst, const Pixmap* texture, BackgroundPoint* grid, int32_t columns, int32_t rows) {
    static std::vector<BlockCorners> blocks;
    static Pixmap* scratch = nullptr;
    blocks.resize(size_t(columns - 1) * size_t(rows - 1));
    for (int32_t r = 0; r < rows - 1; r++)
        for (int32_t c = 0; c < columns - 1; c++) {
            BackgroundPoint* a = &grid[size_t(r) * size_t(columns) + size_t(c)];
            correct_block(a, a + 1, a + columns, a + columns + 1);
            blocks[size_t(r) * size_t(columns - 1) + size_t(c)] = {a[0], a[1], a[columns], a[columns + 1]};
        }
    const int32_t full_columns = dst->width / BLOCK, full_rows = dst->height / BLOCK;
    jobs_parallel_rows(full_rows, int64_t(dst->width) * dst->height, [&](int32_t r_first, int32_t r_end) {
        for (int32_t r = r_first; r < r_end; r++)
            for (int32_t c = 0; c < full_columns; c++) {
                const BlockCorners& k = blocks[size_t(r) * size_t(columns - 1) + size_t(c)];
                shade_block_corrected_sse2(dst, BLOCK * c, BLOCK * r, texture, &k.a, &k.b, &k.c, &k.d);
            }
    });
    for (int32_t r = 0; r < rows - 1; r++)
        for (int32_t c = r < full_rows ? full_columns : 0; c < columns - 1; c++) {
            if (!scratch && !(scratch = pixmap_create(BLOCK, BLOCK, 0))) return;
            const BlockCorners& k = blocks[size_t(r) * size_t(columns - 1) + size_t(c)];
            const int32_t x = BLOCK * c, y = BLOCK * r;
            shade_block_corrected_sse2(scratch, 0, 0, texture, &k.a, &k.b, &k.c, &k.d);
            for (int32_t yy = y; yy < y + BLOCK && yy < dst->height; yy++)
                for (int32_t xx = x; xx < x + BLOCK && xx < dst->width; xx++)
                    dst->pixels[dst->rows[yy] + xx] = scratch->pixels[scratch->rows[yy - y] + xx - x];
        }
}

}  // namespace

int32_t background_trunc(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return int32_t(value);
}

void tunnel_draw(Pixmap* dst, const Pixmap* texture, float t, float shade_offset, float a1, float a2,
                 float a3) {
    draw(dst, texture, tunnel_mapping, t, shade_offset, a1, a2, a3);
}

void sphere_draw(Pixmap* dst, const Pixmap* texture, float t, float shade_offset, float a1, float a2,
                 float a3) {
    draw(dst, texture, sphere_mapping, t, shade_offset, a1, a2, a3);
}

void background_block_fill(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, int count,
                           BackgroundPoint* a, BackgroundPoint* b, BackgroundPoint* c, BackgroundPoint* d) {
    if (count == 3)
        shade_block_sse2(dst, x, y, texture, a, b, c, d);
    else if (count == 2)
        copy_block(dst, x, y, texture, a, b, c, d);
}

void background_block_fill_scalar(Pixmap* dst, int32_t x, int32_t y, const Pixmap* texture, int count,
                                  BackgroundPoint* a, BackgroundPoint* b, BackgroundPoint* c,
                                  BackgroundPoint* d) {
    if (count == 3)
        shade_block(dst, x, y, texture, a, b, c, d, ShadeSpanScalar());
    else if (count == 2)
        copy_block(dst, x, y, texture, a, b, c, d);
}
