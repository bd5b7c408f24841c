// The safe edge-table rasterizer, the fallback when no driver has the requested
// flags: integer corners, each edge scanned once into per-row tables, rows filled
// from the tables. Bounds-checked flat fills and lines; lit and Gouraud textures.
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/raster/fixed.h"
#include "engine/raster/float_fill.h"
#include "engine/raster/raster.h"

// ---------------------------------------------------------------------------
// Edge tables: one entry per target row 0..1023, overwritten by every triangle.
// Edges running up the screen go into the start tables, edges running down into
// the end tables; for a front-facing triangle start <= end on every row.

constexpr int32_t SAFE_ROWS = 1024;

static int32_t safe_start_x[SAFE_ROWS], safe_end_x[SAFE_ROWS];
static int32_t safe_start_u[SAFE_ROWS], safe_end_u[SAFE_ROWS];
static int32_t safe_start_v[SAFE_ROWS], safe_end_v[SAFE_ROWS];
static int32_t safe_start_i[SAFE_ROWS], safe_end_i[SAFE_ROWS];

// Scans one edge of one quantity (x, u, v or intensity) from (a, ya) to (b, yb).
// Rows outside the tables are not stored; an edge that starts above row 0 jumps
// there in one multiplication instead of stepping through the rows it skips.
static void safe_edge_scan(int32_t* start, int32_t* end, int32_t a, int32_t ya, int32_t b, int32_t yb) {
    if (ya == yb) return;
    int32_t* table = end;
    if (ya > yb) {
        std::swap(a, b);
        std::swap(ya, yb);
        table = start;
    }
    const float slope = static_cast<float>(static_cast<int64_t>(b) - a) /
                        static_cast<float>(static_cast<int64_t>(yb) - ya);
    float x = static_cast<float>(a);
    int64_t y = ya;
    if (y < 0) {
        x += slope * static_cast<float>(-y);
        y = 0;
    }
    const int64_t last = std::min<int64_t>(yb, SAFE_ROWS - 1);
    for (; y <= last; ++y) {
        table[y] = fixed_trunc(x, FIXED_INT32);
        x += slope;
    }
}

// The triangle with its corners truncated to integers.
struct SafeCorners {
    int32_t x[3], y[3];
    int32_t top, bottom;  // smallest and largest y
};

// Truncates and scans the x edges. Returns false when nothing is to be drawn: a
// back-facing triangle (only its apex rows would have start = end), or one whose
// corners share one row (no edge is scanned, the tables hold another triangle's).
static bool safe_scan_x(const tpoly* triangle, SafeCorners* c) {
    for (int k = 0; k < 3; ++k) {
        c->x[k] = fixed_trunc(triangle->vertex[k].x, FIXED_INT32);
        c->y[k] = fixed_trunc(triangle->vertex[k].y, FIXED_INT32);
    }
    c->top = std::min(c->y[0], std::min(c->y[1], c->y[2]));
    c->bottom = std::max(c->y[0], std::max(c->y[1], c->y[2]));
    if (c->top == c->bottom) return false;
    const double winding =
        (static_cast<double>(c->x[0]) - c->x[1]) * (static_cast<double>(c->y[2]) - c->y[1]) -
        (static_cast<double>(c->y[0]) - c->y[1]) * (static_cast<double>(c->x[2]) - c->x[1]);
    if (winding > 0.0) return false;
    for (int k = 0; k < 3; ++k) {
        const int n = (k + 1) % 3;
        safe_edge_scan(safe_start_x, safe_end_x, c->x[k], c->y[k], c->x[n], c->y[n]);
    }
    return true;
}

static void safe_scan(int32_t* start, int32_t* end, const SafeCorners& c, const int32_t value[3]) {
    for (int k = 0; k < 3; ++k) {
        const int n = (k + 1) % 3;
        safe_edge_scan(start, end, value[k], c.y[k], value[n], c.y[n]);
    }
}

// Plots x0 <= x <= x1 of row y through the checked pixel store; the part outside
// the target is counted in one step rather than plotted.
static void safe_plot_run(Pixmap* target, int64_t x0, int64_t x1, int64_t y, uint32_t colour) {
    if (x1 < x0) return;
    if (y < 0 || y >= target->height) {
        pixmap_count_misses(&set_p_misses, x1 - x0 + 1);
        return;
    }
    const int64_t from = std::max<int64_t>(x0, 0), to = std::min<int64_t>(x1, target->width - 1);
    if (from > to) {
        pixmap_count_misses(&set_p_misses, x1 - x0 + 1);
        return;
    }
    pixmap_count_misses(&set_p_misses, (from - x0) + (x1 - to));
    for (int64_t x = from; x <= to; ++x) {
        pixmap_set_pixel(target, static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
    }
}

// ---------------------------------------------------------------------------
// Lines: integer 8.8 fixed point. The first end point is always drawn; the last
// only where the truncated step reaches it ((0,0)-(3,1) ends at (3,0)).

static void safe_draw_line(Pixmap* target, const float* p0, const float* p1, uint32_t colour) {
    int64_t x0 = fixed_trunc(p0[0], FIXED_INT32), y0 = fixed_trunc(p0[1], FIXED_INT32);
    int64_t x1 = fixed_trunc(p1[0], FIXED_INT32), y1 = fixed_trunc(p1[1], FIXED_INT32);
    int64_t dx = x1 - x0, dy = y1 - y0;
    const bool along_x = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy);
    if (along_x ? dx == 0 : dy == 0) return;
    if (along_x ? dx < 0 : dy < 0) {
        std::swap(x0, x1);
        std::swap(y0, y1);
        dx = -dx;
        dy = -dy;
    }
    // Position across the line in 8.8, stepped exactly: the i-th plot is a product,
    // so the steps off the target are counted, not walked.
    const int64_t length = along_x ? dx : dy;
    const int64_t step = along_x ? (dy * 256) / dx : (dx * 256) / dy;
    const int64_t across0 = (along_x ? y0 : x0) * 256;
    const int64_t along0 = along_x ? x0 : y0;
    const int64_t limit = along_x ? target->width : target->height;
    const int64_t first = std::clamp<int64_t>(-along0, 0, length + 1);
    const int64_t last = std::clamp<int64_t>(limit - 1 - along0, -1, length);
    if (first > last) {
        pixmap_count_misses(&set_p_misses, length + 1);
        return;
    }
    pixmap_count_misses(&set_p_misses, first + (length - last));
    for (int64_t i = first; i <= last; ++i) {
        const int64_t across = (across0 + i * step) >> 8;
        const int64_t a = along0 + i;
        const int64_t px = along_x ? a : across, py = along_x ? across : a;
        if (px < 0 || px >= target->width || py < 0 || py >= target->height) {
            pixmap_count_misses(&set_p_misses, 1);
            continue;
        }
        pixmap_set_pixel(target, static_cast<int32_t>(px), static_cast<int32_t>(py), colour);
    }
}

static void safe_draw_wire(tpoly* triangle, Pixmap* target) {
    static const uint32_t edge_flags[3] = {TPOLY_EDGE01, TPOLY_EDGE12, TPOLY_EDGE20};
    for (int k = 0; k < 3; ++k) {
        if (!(triangle->flags & edge_flags[k])) continue;
        const vector& a = triangle->vertex[k];
        const vector& b = triangle->vertex[(k + 1) % 3];
        const float pa[2] = {a.x, a.y}, pb[2] = {b.x, b.y};
        safe_draw_line(target, pa, pb, triangle->colour);
    }
}

// ---------------------------------------------------------------------------
// Flat triangles: every pixel through the checked plot, in the plain colour,
// also under TPOLY_FLAT_LIGHT (this driver does not light flat fills; the
// others draw the grey of flat_intensity)

static void safe_draw_flat(tpoly* triangle, Pixmap* target) {
    SafeCorners c;
    if (!safe_scan_x(triangle, &c)) return;
    const int32_t first = std::max(c.top, 0), last = std::min(c.bottom, SAFE_ROWS - 1);
    for (int32_t y = first; y <= last; ++y) {
        safe_plot_run(target, safe_start_x[y], safe_end_x[y], y, triangle->colour);
    }
}

// ---------------------------------------------------------------------------
// Textured triangles: plain, flat-lit and Gouraud-lit

enum SafeLight { SAFE_UNLIT, SAFE_LIT };

static void safe_fill_textured(tpoly* triangle, Pixmap* target, SafeLight light, const int32_t intensity[3]) {
    if (!raster_texture_usable(triangle, "0x01", true)) return;
    const Pixmap* tex = triangle->texturemap;
    const float* uv = float_fill_first_uv(triangle);
    SafeCorners c;
    if (!safe_scan_x(triangle, &c)) return;
    const int32_t u[3] = {fixed_trunc(uv[0], FIXED_INT32), fixed_trunc(uv[2], FIXED_INT32),
                          fixed_trunc(uv[4], FIXED_INT32)};
    const int32_t v[3] = {fixed_trunc(uv[1], FIXED_INT32), fixed_trunc(uv[3], FIXED_INT32),
                          fixed_trunc(uv[5], FIXED_INT32)};
    safe_scan(safe_start_u, safe_end_u, c, u);
    safe_scan(safe_start_v, safe_end_v, c, v);
    if (light == SAFE_LIT) safe_scan(safe_start_i, safe_end_i, c, intensity);

    // Spans are clipped to the target (rows and columns) and texels clamped into
    // the texture; inside both, every pixel gets the texel the plain walk gives.
    const int32_t first = std::max(c.top, 0);
    const int32_t last = std::min(std::min(c.bottom, SAFE_ROWS - 1), target->height - 1);
    for (int32_t y = first; y <= last; ++y) {
        const int64_t xs = safe_start_x[y];
        const int64_t w = static_cast<int64_t>(safe_end_x[y]) - xs;
        if (w < 0) continue;
        const float fw = static_cast<float>(w);
        const float du = w ? static_cast<float>(static_cast<int64_t>(safe_end_u[y]) - safe_start_u[y]) / fw : 0.0f;
        const float dv = w ? static_cast<float>(static_cast<int64_t>(safe_end_v[y]) - safe_start_v[y]) / fw : 0.0f;
        float fu = static_cast<float>(safe_start_u[y]), fv = static_cast<float>(safe_start_v[y]);
        float fi = 0.0f, di = 0.0f;
        if (light == SAFE_LIT) {
            di = w ? static_cast<float>(static_cast<int64_t>(safe_end_i[y]) - safe_start_i[y]) / fw : 0.0f;
            fi = static_cast<float>(safe_start_i[y]);
        }
        int64_t j = 0;
        if (xs < 0) {
            // Columns left of the target: jump over them.
            j = -xs;
            const float skip = static_cast<float>(j);
            fu += skip * du;
            fv += skip * dv;
            fi += skip * di;
        }
        const int64_t j_end = std::min<int64_t>(w, target->width - 1 - xs);
        uint32_t* line = target->pixels + target->rows[y];
        for (; j <= j_end; ++j) {
            const int32_t tu = std::clamp(fixed_trunc(fu, FIXED_INT32), 0, tex->width - 1);
            const int32_t tv = std::clamp(fixed_trunc(fv, FIXED_INT32), 0, tex->height - 1);
            const uint32_t texel = tex->pixels[tex->rows[tv] + tu];
            uint32_t* pixel = line + (xs + j);
            if (light == SAFE_UNLIT) {
                *pixel = texel;
            } else {
                // Colour bytes scaled by the light level; the target keeps its alpha.
                const uint8_t* src = reinterpret_cast<const uint8_t*>(&texel);
                uint8_t* dst = reinterpret_cast<uint8_t*>(pixel);
                for (int b = 0; b < 3; ++b) {
                    const double scaled = static_cast<float>(src[b]) * fi / 255.0;
                    dst[b] = static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0));
                }
            }
            fu += du;
            fv += dv;
            fi += di;
        }
    }
}

static void safe_draw_textured(tpoly* triangle, Pixmap* target) {
    safe_fill_textured(triangle, target, SAFE_UNLIT, nullptr);
}

static void safe_draw_textured_lit(tpoly* triangle, Pixmap* target) {
    const int32_t level[3] = {triangle->flat_intensity, triangle->flat_intensity, triangle->flat_intensity};
    safe_fill_textured(triangle, target, SAFE_LIT, level);
}

static void safe_draw_textured_gouraud(tpoly* triangle, Pixmap* target) {
    safe_fill_textured(triangle, target, SAFE_LIT, triangle->vertex_intensity);
}

// ---------------------------------------------------------------------------

const RasterDriver raster_driver_safe = {
    "Software SAFE polygon drawer",
    RASTER_FLAGS_SAFE,
    {raster_line_slot(safe_draw_line), safe_draw_flat, safe_draw_wire, nullptr, safe_draw_textured,
     safe_draw_textured_lit, nullptr, nullptr, safe_draw_textured_gouraud},
};
