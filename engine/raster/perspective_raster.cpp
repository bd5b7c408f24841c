// The perspective-correct z-buffered rasterizer: samples at pixel centres,
// interpolates 1/z, u/z and v/z linearly on the screen from plane-equation
// gradients, divides once per drawn pixel, and tests one depth per span.
#include <algorithm>
#include <utility>

#include "engine/raster/fixed.h"
#include "engine/raster/float_fill.h"
#include "engine/raster/raster.h"

// Depths are offset by this before any use (and land offset in the z-buffer), so
// that 1/z stays finite for corners near the projection plane.
constexpr float PERSPECTIVE_Z_OFFSET = 256.0f;

// One corner after set-up: centre-sampled position, offset depth, and
// w = 1/z, s = u/z, t = v/z.
struct PerspectiveVertex {
    float x, y, z, w, s, t;
};

// The per-triangle state the row routine reads and advances. Module-wide: the
// driver is not re-entrant.
struct PerspectiveState {
    Pixmap* target;
    const Pixmap* texture;
    float xl, xr, dxl, dxr;  // edge x at the current row, steps per row
    float zl, zr, dzl, dzr;  // edge depth (offset) at the current row, steps per row
    float wl, sl, tl;        // 1/z, u/z, v/z on the left edge at the current row
    float dwl, dsl, dtl;     // their steps per row along the left edge
    float dwdx, dsdx, dtdx;  // gradients per pixel
    float dwdy, dsdy, dtdy;  // gradients per row
};

static PerspectiveState persp;

static void perspective_advance(float rows) {
    persp.xl += rows * persp.dxl;
    persp.xr += rows * persp.dxr;
    persp.zl += rows * persp.dzl;
    persp.zr += rows * persp.dzr;
    persp.wl += rows * persp.dwl;
    persp.sl += rows * persp.dsl;
    persp.tl += rows * persp.dtl;
}

// One row's pixels: one depth for the whole span, one division per drawn pixel.
static void perspective_span(int32_t r) {
    const Pixmap* target = persp.target;
    const Pixmap* tex = persp.texture;
    int32_t xs = fixed_trunc(persp.xl, FIXED_INT32);
    int32_t xe = fixed_trunc(persp.xr, FIXED_INT32);
    const int32_t depth = static_cast<int32_t>(
        (static_cast<int64_t>(fixed_trunc(persp.zl, FIXED_INT32)) + fixed_trunc(persp.zr, FIXED_INT32)) /
        2);
    const float f = 1.0f - (persp.xl - static_cast<float>(xs));
    float w = persp.wl + f * persp.dwdx;
    float s = persp.sl + f * persp.dsdx;
    float t = persp.tl + f * persp.dtdx;
    if (xs < 0) {
        // Columns left of the target: jump over them.
        const float skip = static_cast<float>(static_cast<int64_t>(std::min(xe, 0)) - xs);
        w += skip * persp.dwdx;
        s += skip * persp.dsdx;
        t += skip * persp.dtdx;
        xs = 0;
    }
    xe = std::min(xe, target->width);
    uint32_t* line = target->pixels + target->rows[r];
    int32_t* zline = target->zbuffer ? target->zbuffer + target->rows[r] : nullptr;
    for (int32_t x = xs; x < xe; ++x) {
        if (!zline || depth < zline[x]) {
            const float q = 1.0f / w;
            // Texel (trunc(u), trunc(v)), clamped into the texture.
            const int32_t u = std::clamp(fixed_trunc(s * q, FIXED_INT32), 0, tex->width - 1);
            const int32_t v = std::clamp(fixed_trunc(t * q, FIXED_INT32), 0, tex->height - 1);
            line[x] = tex->pixels[tex->rows[v] + u];
            if (zline) zline[x] = depth;
        }
        w += persp.dwdx;
        s += persp.dsdx;
        t += persp.dtdx;
    }
}

// Draws rows first <= r < end from the state, advancing it per row. Rows above
// the target are skipped in one step, rows below it end the walk.
static void perspective_rows(int32_t first, int32_t end) {
    int32_t r = first;
    if (r < 0) {
        const int32_t stop = std::min(end, 0);
        perspective_advance(static_cast<float>(static_cast<int64_t>(stop) - r));
        r = stop;
    }
    end = std::min(end, persp.target->height);
    for (; r < end; ++r) {
        perspective_span(r);
        perspective_advance(1.0f);
    }
}

// Sets the left edge from corner a along a->b with steps per row dx, dz.
static void perspective_left(const PerspectiveVertex& a, float dx, float dz, float prestep) {
    persp.dxl = dx;
    persp.dzl = dz;
    persp.xl = a.x + prestep * dx;
    persp.zl = a.z + prestep * dz;
    persp.dwl = dx * persp.dwdx + persp.dwdy;
    persp.dsl = dx * persp.dsdx + persp.dsdy;
    persp.dtl = dx * persp.dtdx + persp.dtdy;
    persp.wl = a.w + prestep * persp.dwl;
    persp.sl = a.s + prestep * persp.dsl;
    persp.tl = a.t + prestep * persp.dtl;
}

static void perspective_right(const PerspectiveVertex& a, float dx, float dz, float prestep) {
    persp.dxr = dx;
    persp.dzr = dz;
    persp.xr = a.x + prestep * dx;
    persp.zr = a.z + prestep * dz;
}

static void perspective_draw_textured(tpoly* triangle, Pixmap* target) {
    if (!raster_texture_usable(triangle, "0xA0", true)) return;
    const Pixmap* tex = triangle->texturemap;
    const float* uv = float_fill_first_uv(triangle);

    PerspectiveVertex p[3];
    for (int k = 0; k < 3; ++k) {
        const vector& c = triangle->vertex[k];
        p[k].x = c.x + 0.5f;
        p[k].y = c.y + 0.5f;
        p[k].z = c.z + PERSPECTIVE_Z_OFFSET;
        p[k].w = 1.0f / p[k].z;
        p[k].s = uv[2 * k] * p[k].w;
        p[k].t = uv[2 * k + 1] * p[k].w;
    }
    if (p[0].y > p[1].y) std::swap(p[0], p[1]);
    if (p[0].y > p[2].y) std::swap(p[0], p[2]);
    if (p[1].y > p[2].y) std::swap(p[1], p[2]);
    const PerspectiveVertex &a = p[0], &b = p[1], &c = p[2];
    const int32_t y0 = fixed_trunc(a.y, FIXED_INT32), y1 = fixed_trunc(b.y, FIXED_INT32),
                  y2 = fixed_trunc(c.y, FIXED_INT32);

    const float det = (c.x - a.x) * (b.y - a.y) - (b.x - a.x) * (c.y - a.y);
    if (det == 0.0f) return;
    persp.target = target;
    persp.texture = tex;
    persp.dwdx = ((b.y - a.y) * (c.w - a.w) - (c.y - a.y) * (b.w - a.w)) / det;
    persp.dsdx = ((b.y - a.y) * (c.s - a.s) - (c.y - a.y) * (b.s - a.s)) / det;
    persp.dtdx = ((b.y - a.y) * (c.t - a.t) - (c.y - a.y) * (b.t - a.t)) / det;
    persp.dwdy = ((c.x - a.x) * (b.w - a.w) - (b.x - a.x) * (c.w - a.w)) / det;
    persp.dsdy = ((c.x - a.x) * (b.s - a.s) - (b.x - a.x) * (c.s - a.s)) / det;
    persp.dtdy = ((c.x - a.x) * (b.t - a.t) - (b.x - a.x) * (c.t - a.t)) / det;

    // Edge steps per row, for edges with height.
    float dx01 = 0.0f, dz01 = 0.0f, dx02 = 0.0f, dz02 = 0.0f, dx12 = 0.0f, dz12 = 0.0f;
    if (b.y != a.y) {
        dx01 = (b.x - a.x) / (b.y - a.y);
        dz01 = (b.z - a.z) / (b.y - a.y);
    }
    if (c.y != a.y) {
        dx02 = (c.x - a.x) / (c.y - a.y);
        dz02 = (c.z - a.z) / (c.y - a.y);
    }
    if (c.y != b.y) {
        dx12 = (c.x - b.x) / (c.y - b.y);
        dz12 = (c.z - b.z) / (c.y - b.y);
    }
    bool long_right = dx02 > dx01;
    if (a.y == b.y) {
        long_right = a.x > b.x;
    } else if (b.y == c.y) {
        long_right = b.x < c.x;
    }

    // Each edge starts at the centre of its first row.
    const float p0 = 1.0f - (a.y - static_cast<float>(y0));
    const float p1 = 1.0f - (b.y - static_cast<float>(y1));
    if (long_right) {
        perspective_right(a, dx02, dz02, p0);
        if (y0 < y1) {
            perspective_left(a, dx01, dz01, p0);
            perspective_rows(y0, y1);
        }
        if (y1 < y2) {
            perspective_left(b, dx12, dz12, p1);
            perspective_rows(y1, y2);
        }
    } else {
        perspective_left(a, dx02, dz02, p0);
        if (y0 < y1) {
            perspective_right(a, dx01, dz01, p0);
            perspective_rows(y0, y1);
        }
        if (y1 < y2) {
            perspective_right(b, dx12, dz12, p1);
            perspective_rows(y1, y2);
        }
    }
}

// Textured triangles only: flat, wire and lit triangles draw nothing with it.
const RasterDriver raster_driver_perspective = {
    "Software perspective correct and Z-bufferd polygondrawer",
    RASTER_FLAGS_PERSPECTIVE,
    {nullptr, nullptr, nullptr, nullptr, perspective_draw_textured},
};
