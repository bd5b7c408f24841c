// Helpers shared by the rasterizer tests: targets with guards between their rows,
// textures whose texels name their coordinates, and triangle set-up.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"
#include "tests/lib/pixmap_fixture.h"

// The background of test targets: no texel of fill_uv_texture and no test
// colour has alpha 0.
constexpr uint32_t RASTER_TEST_EMPTY = 0x00000000u;

// Targets for the drivers that address rows only through the row table: guard
// words round the planes and between the rows, so that a span running past
// either end of a row is seen (tests/lib/pixmap_fixture.h).
inline constexpr PixmapGuard RASTER_GUARD{4096, 32, 0};

// A texture whose texel (u, v) is the opaque pixel with red u, green v (low
// bytes) and blue (u >> 8) * 16 + (v >> 8), so a pixel tells which texel it got.
inline void fill_uv_texture(Pixmap* tex) {
    for (int32_t v = 0; v < tex->height; ++v)
        for (int32_t u = 0; u < tex->width; ++u)
            tex->pixels[tex->rows[v] + u] = 0xFF000000u | static_cast<uint32_t>(((u >> 8) * 16 + (v >> 8)) << 16) |
                                            static_cast<uint32_t>((v & 255) << 8) | static_cast<uint32_t>(u & 255);
}
// A size x size texture of fill_uv_texture.
struct UvTexture : TestPixmap {
    explicit UvTexture(int32_t size) : TestPixmap(size, size) { fill_uv_texture(get()); }
};
inline int texel_u(uint32_t p) { return static_cast<int>(p & 255) + 256 * static_cast<int>((p >> 20) & 15); }
inline int texel_v(uint32_t p) { return static_cast<int>((p >> 8) & 255) + 256 * static_cast<int>((p >> 16) & 15); }

// A screen-space triangle: corners (x, y, z), texture coordinates in texels.
inline tpoly make_triangle(uint32_t flags, const float xyz[9], const float uv[6] = nullptr, Pixmap* tex = nullptr) {
    tpoly t;
    std::memset(&t, 0, sizeof t);
    t.flags = flags;
    t.colour = 0xFF20C040u;
    for (int k = 0; k < 3; ++k) t.vertex[k] = {xyz[3 * k], xyz[3 * k + 1], xyz[3 * k + 2]};
    if (uv) std::memcpy(t.uv, uv, 6 * sizeof(float));
    t.uv_count = 6;
    t.texturemap = tex;
    return t;
}

// Calls one slot of a driver directly (bypassing the back-face test).
inline void draw_slot(const RasterDriver& driver, int slot, tpoly* t, Pixmap* target) {
    if (driver.slot[slot]) driver.slot[slot](t, target);
}
