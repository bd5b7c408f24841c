// The two floating-point rasterizers: z-buffered (the driver current at start-up)
// and exact (no depth). They share edges, clipping, lines and flat fills and differ
// only in the depth test of textured spans; textures of any size, coordinates
// normalised by the texture's size.
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/raster/fixed.h"
#include "engine/raster/float_fill.h"
#include "engine/raster/raster.h"

// ---------------------------------------------------------------------------
// The walker shared with the 16.16 non-z-buffered driver

int32_t float_fill_ceil16(float value) {
    // 16.16 holds magnitudes below 32768: there the prestep rule of the 16.16
    // drivers. Beyond it the plain ceiling is the same integer the 16.16 form
    // would give if it had the room (fixed_ceil16 saturates instead).
    if (value > -32767.0f && value < 32767.0f) return fixed_ceil16(value);
    return fixed_trunc(std::ceil(value), FIXED_INT32);
}

// Distance from value up to the row (or column) whose values the edge holds.
static float float_fill_prestep(float value) {
    // Floats of 2^23 and beyond are whole numbers: nothing to step (and the
    // saturated ceiling must not turn into a step of billions).
    if (!(value > -8388608.0f && value < 8388608.0f)) return 0.0f;
    return static_cast<float>(float_fill_ceil16(value)) - value;
}

static void float_fill_advance(FloatEdge* e, float rows) {
    e->x += rows * e->dx;
    e->u += rows * e->du;
    e->v += rows * e->dv;
    e->z += rows * e->dz;
}

static void float_fill_step(FloatEdge* e) {
    e->x += e->dx;
    e->u += e->du;
    e->v += e->dv;
    e->z += e->dz;
}

// An edge starting at a with the gradients per row of a->b.
static FloatEdge float_fill_edge(const FloatVertex& a, const FloatVertex& b) {
    FloatEdge e{a.x, a.u, a.v, a.z, 0.0f, 0.0f, 0.0f, 0.0f};
    float h = b.y - a.y;
    if (h != 0.0f) {
        e.dx = (b.x - a.x) / h;
        e.du = (b.u - a.u) / h;
        e.dv = (b.v - a.v) / h;
        e.dz = (b.z - a.z) / h;
    }
    return e;
}

static FloatEdge float_fill_restart(const FloatEdge& gradient, const FloatVertex& from) {
    FloatEdge e = gradient;
    e.x = from.x;
    e.u = from.u;
    e.v = from.v;
    e.z = from.z;
    return e;
}

void float_fill_walk(const FloatVertex corners[3], bool flat_tie_strict, const Pixmap* target,
                     FloatRowFn row, void* context) {
    FloatVertex p0 = corners[0], p1 = corners[1], p2 = corners[2];
    if (p0.y > p1.y) std::swap(p0, p1);
    if (p0.y > p2.y) std::swap(p0, p2);
    if (p1.y > p2.y) std::swap(p1, p2);
    if (p0.y == p1.y && (flat_tie_strict ? p0.x > p1.x : p0.x >= p1.x)) std::swap(p0, p1);

    const int32_t width = target->width, height = target->height;
    if (static_cast<float>(height - 1) < p0.y || p2.y < 0.0f) return;
    // Wholly left or right of the target. Compared against the smallest and largest
    // x even when two corners share them: a triangle with a vertical edge beyond
    // the right border would otherwise leak its clamped spans into column width-1.
    float min_x = std::min(p0.x, std::min(p1.x, p2.x));
    float max_x = std::max(p0.x, std::max(p1.x, p2.x));
    if (min_x > static_cast<float>(width - 1) || max_x < 0.0f) return;
    if (p2.y == p0.y) return;

    const FloatEdge e02 = float_fill_edge(p0, p2);
    const FloatEdge e01 = float_fill_edge(p0, p1);
    const FloatEdge e12 = float_fill_edge(p1, p2);
    enum { GENERAL, FLAT_BOTTOM, FLAT_TOP } shape =
        p1.y == p0.y ? FLAT_TOP : (p2.y == p1.y ? FLAT_BOTTOM : GENERAL);

    FloatEdge left, right;
    if (shape != FLAT_TOP) {
        if (e02.dx < e01.dx) {
            left = e02;
            right = e01;
        } else {
            left = e01;
            right = e02;
        }
        // Upper half. Clipping at the top advances both edges to row 0 (or to the
        // middle vertex when it is above the target too); the prestep is added to
        // that advance, taken from the unclipped y0.
        float ys = p0.y, advance = 0.0f;
        if (ys < 0.0f) {
            advance = p1.y < 0.0f ? p1.y - p0.y : -p0.y;
            ys = 0.0f;
        }
        advance += float_fill_prestep(p0.y);
        float_fill_advance(&left, advance);
        float_fill_advance(&right, advance);
        const int32_t end = fixed_trunc(p1.y, FIXED_INT32);
        for (int32_t r = fixed_trunc(ys, FIXED_INT32); r < end; ++r) {
            if (r > height - 1) return;
            row(context, r, &left, &right);
            float_fill_step(&left);
            float_fill_step(&right);
        }
    } else {
        left = e02;
        right = float_fill_restart(e12, p1);
    }
    if (shape == FLAT_BOTTOM) return;

    // Lower half: the edge that ended at vertex 1 restarts there (a flat top keeps
    // its unprestepped start edges). Equality of the stored gradients tells which.
    float ys = p1.y, clip = 0.0f;
    if (ys < 0.0f) {
        clip = -p1.y;
        ys = 0.0f;
    }
    if (shape == GENERAL && left.dx == e02.dx) {
        right = float_fill_restart(e12, p1);
        float_fill_advance(&right, float_fill_prestep(p1.y) + clip);
        float_fill_advance(&left, clip);
    } else if (shape == GENERAL && right.dx == e02.dx) {
        left = float_fill_restart(e12, p1);
        float_fill_advance(&left, float_fill_prestep(p1.y) + clip);
        float_fill_advance(&right, clip);
    } else {
        float_fill_advance(&left, clip);
        float_fill_advance(&right, clip);
    }
    const int32_t end = fixed_trunc(p2.y, FIXED_INT32);
    for (int32_t r = fixed_trunc(ys, FIXED_INT32); r < end; ++r) {
        if (r > height - 1) return;
        row(context, r, &left, &right);
        float_fill_step(&left);
        float_fill_step(&right);
    }
}

bool float_fill_span(const FloatEdge* left, const FloatEdge* right, int32_t width, FloatSpan* span) {
    const float xl = left->x;
    int32_t xs = fixed_trunc(xl, FIXED_INT32);
    int32_t xe = fixed_trunc(right->x, FIXED_INT32);
    const float dx = right->x - xl;
    span->du = (right->u - left->u) / dx;
    span->dv = (right->v - left->v) / dx;
    span->dz = (right->z - left->z) / dx;
    const float pre = float_fill_prestep(xl);
    span->u = left->u + pre * span->du;
    span->v = left->v + pre * span->dv;
    span->z = left->z + pre * span->dz;
    if (xs < 0) {
        span->u += (-xl) * span->du;
        span->v += (-xl) * span->dv;
        span->z += (-xl) * span->dz;
        xs = 0;
    }
    xe = std::clamp(xe, 0, width);
    // At most width, not width - 1: a span wholly right of the target stays empty
    // instead of painting the last column.
    xs = std::min(xs, width);
    span->xs = xs;
    span->xe = xe;
    return xs < xe;
}

// ---------------------------------------------------------------------------
// Lines and flat fills (both drivers, and the 16.16 non-z-buffered one)

void float_raster_draw_line(Pixmap* target, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    const int64_t dx = static_cast<int64_t>(x1) - x0, dy = static_cast<int64_t>(y1) - y0;
    const int64_t n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    const float nf = static_cast<float>(n);
    if (nf < 1.0f) return;
    const float sx = static_cast<float>(dx) / nf, sy = static_cast<float>(dy) / nf;
    float x = static_cast<float>(x0), y = static_cast<float>(y0);
    const float w = static_cast<float>(target->width), h = static_cast<float>(target->height);
    int64_t i = 0;
    // Truncation maps -1 < x < width onto a column. A line that starts outside
    // jumps to just before it enters; one that starts inside steps exactly.
    if (!(x > -1.0f && x < w && y > -1.0f && y < h)) {
        double k = 0.0;
        if (x <= -1.0f) k = sx > 0.0f ? std::max(k, (-1.0 - x) / sx) : INFINITY;
        if (x >= w) k = sx < 0.0f ? std::max(k, (double(x) - w) / -sx) : INFINITY;
        if (y <= -1.0f) k = sy > 0.0f ? std::max(k, (-1.0 - y) / sy) : INFINITY;
        if (y >= h) k = sy < 0.0f ? std::max(k, (double(y) - h) / -sy) : INFINITY;
        k = std::floor(k) - 1.0;
        if (!(k < static_cast<double>(n))) return;
        if (k > 0.0) {
            i = static_cast<int64_t>(k);
            x = static_cast<float>(x0 + k * sx);
            y = static_cast<float>(y0 + k * sy);
        }
    }
    for (; i < n; ++i) {
        const int32_t px = fixed_trunc(x, FIXED_INT32), py = fixed_trunc(y, FIXED_INT32);
        if (px >= 0 && px < target->width && py >= 0 && py < target->height) {
            target->pixels[target->rows[py] + px] = colour;
        } else if ((x <= -1.0f && sx <= 0.0f) || (x >= w && sx >= 0.0f) || (y <= -1.0f && sy <= 0.0f) ||
                   (y >= h && sy >= 0.0f)) {
            return;  // outside and moving away: nothing more to draw
        }
        x += sx;
        y += sy;
    }
}

void float_raster_draw_wire(tpoly* triangle, Pixmap* target) {
    static const uint32_t edge_flags[3] = {TPOLY_EDGE01, TPOLY_EDGE12, TPOLY_EDGE20};
    for (int k = 0; k < 3; ++k) {
        if (!(triangle->flags & edge_flags[k])) continue;
        const vector& a = triangle->vertex[k];
        const vector& b = triangle->vertex[(k + 1) % 3];
        float_raster_draw_line(target, fixed_trunc(a.x, FIXED_INT32), fixed_trunc(a.y, FIXED_INT32),
                               fixed_trunc(b.x, FIXED_INT32), fixed_trunc(b.y, FIXED_INT32), triangle->colour);
    }
}

struct FlatRow {
    Pixmap* target;
    uint32_t colour;
};

static void float_flat_row(void* context, int32_t r, const FloatEdge* left, const FloatEdge* right) {
    const FlatRow* c = static_cast<const FlatRow*>(context);
    const int32_t width = c->target->width;
    const int32_t xs = std::clamp(fixed_trunc(left->x, FIXED_INT32), 0, width);  // width: see float_fill_span
    const int32_t xe = std::clamp(float_fill_ceil16(right->x), 0, width);
    uint32_t* line = c->target->pixels + c->target->rows[r];
    for (int32_t x = xs; x < xe; ++x) line[x] = c->colour;
}

void float_raster_draw_flat(tpoly* triangle, Pixmap* target) {
    FlatRow context{target, raster_flat_colour(triangle)};
    FloatVertex corners[3];
    for (int k = 0; k < 3; ++k) {
        // The depths travel with the corners but flat fills neither test nor write them.
        corners[k] = {triangle->vertex[k].x, triangle->vertex[k].y, 0.0f, 0.0f, triangle->vertex[k].z};
    }
    float_fill_walk(corners, true, target, float_flat_row, &context);
}

// ---------------------------------------------------------------------------
// Textured spans: normalised coordinates scaled back by the texture's size

struct TexturedRow {
    Pixmap* target;
    const Pixmap* texture;
    bool depth;  // test and write the z-buffer
};

static void float_textured_row(void* context, int32_t r, const FloatEdge* left, const FloatEdge* right) {
    const TexturedRow* c = static_cast<const TexturedRow*>(context);
    FloatSpan s;
    if (!float_fill_span(left, right, c->target->width, &s)) return;
    const Pixmap* tex = c->texture;
    const float tw = static_cast<float>(tex->width), th = static_cast<float>(tex->height);
    const int32_t last = tex->width * tex->height - 1;
    uint32_t* line = c->target->pixels + c->target->rows[r];
    int32_t* zline = c->depth ? c->target->zbuffer + c->target->rows[r] : nullptr;
    float u = s.u, v = s.v, z = s.z;
    for (int32_t x = s.xs; x < s.xe; ++x) {
        // The texel address is not wrapped; clamping it keeps coordinates beyond
        // 0..1 inside the texture and leaves every address inside it unchanged.
        const float row_start = static_cast<float>(fixed_trunc(v * th, FIXED_INT32)) * tw;
        const int32_t texel = std::clamp(fixed_trunc(row_start + u * tw, FIXED_INT32), 0, last);
        if (zline) {
            const int32_t depth = fixed_trunc(z, FIXED_INT32);
            if (zline[x] > depth) {
                zline[x] = depth;
                line[x] = tex->pixels[texel];
            }
        } else {
            line[x] = tex->pixels[texel];
        }
        u += s.du;
        v += s.dv;
        z += s.dz;
    }
}

static void float_draw_textured(tpoly* triangle, Pixmap* target, bool depth) {
    if (!raster_texture_usable(triangle, depth ? "0x82" : "0x00", false)) return;
    const Pixmap* tex = triangle->texturemap;
    // A target without a z plane is drawn without the depth test rather than
    // through a null z-buffer.
    TexturedRow context{target, tex, depth && target->zbuffer != nullptr};
    const float* uv = float_fill_first_uv(triangle);
    const float tw = static_cast<float>(tex->width), th = static_cast<float>(tex->height);
    FloatVertex corners[3];
    for (int k = 0; k < 3; ++k) {
        corners[k] = {triangle->vertex[k].x, triangle->vertex[k].y, uv[2 * k] / tw, uv[2 * k + 1] / th,
                      depth ? triangle->vertex[k].z : 0.0f};
    }
    float_fill_walk(corners, false, target, float_textured_row, &context);
}

static void float_zbuffer_draw_textured(tpoly* triangle, Pixmap* target) {
    float_draw_textured(triangle, target, true);
}

static void float_exact_draw_textured(tpoly* triangle, Pixmap* target) {
    float_draw_textured(triangle, target, false);
}

// ---------------------------------------------------------------------------
// The descriptors

const RasterDriver raster_driver_float_zbuffer = {
    "ZBuffered software polygondrawer, extensive float-usage!",
    RASTER_FLAGS_FLOAT_ZBUFFER,
    {raster_line_slot(float_raster_draw_line), float_raster_draw_flat, float_raster_draw_wire, nullptr,
     float_zbuffer_draw_textured},
};

const RasterDriver raster_driver_float_exact = {
    "Exakt,non-zbuffered software polgondriver",
    RASTER_FLAGS_FLOAT_EXACT,
    {raster_line_slot(float_raster_draw_line), float_raster_draw_flat, float_raster_draw_wire, nullptr,
     float_exact_draw_textured},
};
