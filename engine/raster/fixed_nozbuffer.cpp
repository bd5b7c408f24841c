// The non-z-buffered 16.16 rasterizer: the exact float driver's edges, clipping
// and span set-up, with each textured span handed to a register-only routine that
// reads the texture as a 256 x 256 table with wrap-around. Never touches depth.
#include "engine/raster/fixed.h"
#include "engine/raster/float_fill.h"
#include "engine/raster/raster.h"

// Every texture is addressed as 256 x 256 texels: (v AND 255) * 256 + (u AND 255).
constexpr int32_t FIXED_TEXELS = 256 * 256;

// One textured span, u, v and their steps in 16.16. The integer parts are taken
// from unsigned words: the same bytes an arithmetic shift gives, without signed
// overflow when a coordinate wraps.
static void texture_span(int32_t count, int32_t offset, int32_t u, int32_t v, int32_t du, int32_t dv,
                         const uint32_t* texture, uint32_t* target) {
    if (count <= 0) return;
    uint32_t* dst = target + offset;
    uint32_t uu = static_cast<uint32_t>(u), vv = static_cast<uint32_t>(v);
    const uint32_t su = static_cast<uint32_t>(du), sv = static_cast<uint32_t>(dv);
    for (int32_t i = 0; i < count; ++i) {
        dst[i] = texture[((vv >> 16) & 255) << 8 | ((uu >> 16) & 255)];
        uu += su;
        vv += sv;
    }
}

// The same span for a texture smaller than 256 x 256: the texel index is clamped
// to the texture's last pixel instead of reading past it.
static void texture_span_small(int32_t count, int32_t offset, int32_t u, int32_t v, int32_t du, int32_t dv,
                               const uint32_t* texture, uint32_t last, uint32_t* target) {
    if (count <= 0) return;
    uint32_t* dst = target + offset;
    uint32_t uu = static_cast<uint32_t>(u), vv = static_cast<uint32_t>(v);
    const uint32_t su = static_cast<uint32_t>(du), sv = static_cast<uint32_t>(dv);
    for (int32_t i = 0; i < count; ++i) {
        uint32_t texel = ((vv >> 16) & 255) << 8 | ((uu >> 16) & 255);
        dst[i] = texture[texel < last ? texel : last];
        uu += su;
        vv += sv;
    }
}

struct FixedRow {
    Pixmap* target;
    const Pixmap* texture;
};

static void fixed_textured_row(void* context, int32_t r, const FloatEdge* left, const FloatEdge* right) {
    const FixedRow* c = static_cast<const FixedRow*>(context);
    FloatSpan s;
    if (!float_fill_span(left, right, c->target->width, &s)) return;
    // Prescale to 16.16, truncating.
    const int32_t u = fixed_trunc(s.u * 65536.0f, FIXED_INT32);
    const int32_t v = fixed_trunc(s.v * 65536.0f, FIXED_INT32);
    const int32_t du = fixed_trunc(s.du * 65536.0f, FIXED_INT32);
    const int32_t dv = fixed_trunc(s.dv * 65536.0f, FIXED_INT32);
    const int32_t offset = c->target->rows[r] + s.xs;
    const int64_t texels = static_cast<int64_t>(c->texture->width) * c->texture->height;
    if (texels >= FIXED_TEXELS) {
        texture_span(s.xe - s.xs, offset, u, v, du, dv, c->texture->pixels, c->target->pixels);
    } else {
        texture_span_small(s.xe - s.xs, offset, u, v, du, dv, c->texture->pixels,
                           static_cast<uint32_t>(texels - 1), c->target->pixels);
    }
}

static void fixed_nozbuffer_draw_textured(tpoly* triangle, Pixmap* target) {
    if (!raster_texture_usable(triangle, "0x14", false)) return;
    const Pixmap* tex = triangle->texturemap;
    if (tex->width != 256 || tex->height < 256)
        raster_note(RASTER_NOTE_TEXTURE_SIZE,
                    "the 0x14 driver reads its %d x %d texture as a 256 x 256 table (texel (v AND 255) x 256 + "
                    "(u AND 255)%s): only a texture 256 pixels wide shows as it is",
                    (int)tex->width, (int)tex->height,
                    (int64_t)tex->width * tex->height < FIXED_TEXELS ? ", held at its last pixel" : "");
    FixedRow context{target, tex};
    // Texel units, unchanged: the span wraps them.
    const float* uv = float_fill_first_uv(triangle);
    FloatVertex corners[3];
    for (int k = 0; k < 3; ++k) {
        corners[k] = {triangle->vertex[k].x, triangle->vertex[k].y, uv[2 * k], uv[2 * k + 1], 0.0f};
    }
    float_fill_walk(corners, false, target, fixed_textured_row, &context);
}

// Lines, wires and flat fills are the exact float driver's.
const RasterDriver raster_driver_fixed_nozbuffer = {
    "ASM-opt non-zbuffered (256x256 tsize) software polygondrawer",
    RASTER_FLAGS_FIXED_NOZBUFFER,
    {raster_line_slot(float_raster_draw_line), float_raster_draw_flat, float_raster_draw_wire, nullptr,
     fixed_nozbuffer_draw_textured},
};
