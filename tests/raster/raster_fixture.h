// Helpers shared by the rasterizer tests: targets with guard memory round them,
// targets and textures whose planes are exact-size heap blocks (so the address
// sanitizer sees every stray access), triangle set-up and PNG output.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/pixmap/pixmap.h"
#include "engine/raster/raster.h"
#include "engine/raster/tpoly.h"

// The background of test targets: no texel of fill_uv_texture and no test
// colour has alpha 0.
constexpr uint32_t RASTER_TEST_EMPTY = 0x00000000u;

// A Pixmap view of width x height inside a larger plane, with `guard` pixels of
// known contents on every side. The driver sees only the view; guard_intact()
// tells whether anything outside it was written.
struct GuardedTarget {
    static constexpr int32_t guard = 16;
    static constexpr uint32_t guard_pixel = 0xA5C3E1F0u;
    static constexpr int32_t guard_z = 0x5A5A5A5A;
    int32_t stride = 0, total_rows = 0;
    std::vector<uint32_t> pixel_plane;
    std::vector<int32_t> z_plane;
    std::vector<int32_t> rows;
    Pixmap view{};

    GuardedTarget(int32_t width, int32_t height, bool zbuffer) {
        stride = width + 2 * guard;
        total_rows = height + 2 * guard;
        pixel_plane.assign(static_cast<size_t>(stride) * total_rows, guard_pixel);
        if (zbuffer) z_plane.assign(pixel_plane.size(), int32_t{guard_z});
        rows.resize(height);
        for (int32_t y = 0; y < height; ++y) rows[y] = y * stride;
        const size_t origin = static_cast<size_t>(guard) * stride + guard;
        view.width = width;
        view.height = height;
        view.flags = zbuffer ? uint32_t{PIXMAP_ZBUFFER} : 0u;
        view.rows = rows.data();
        view.pixels = pixel_plane.data() + origin;
        view.zbuffer = zbuffer ? z_plane.data() + origin : nullptr;
        clear(RASTER_TEST_EMPTY);
    }
    void clear(uint32_t colour) {
        for (int32_t y = 0; y < view.height; ++y)
            for (int32_t x = 0; x < view.width; ++x) {
                view.pixels[rows[y] + x] = colour;
                if (view.zbuffer) view.zbuffer[rows[y] + x] = PIXMAP_Z_FAR;
            }
    }
    uint32_t pixel(int32_t x, int32_t y) const { return view.pixels[rows[y] + x]; }
    int32_t z(int32_t x, int32_t y) const { return view.zbuffer[rows[y] + x]; }
    bool inside(size_t index) const {
        const int64_t y = static_cast<int64_t>(index / stride) - guard;
        const int64_t x = static_cast<int64_t>(index % stride) - guard;
        return x >= 0 && x < view.width && y >= 0 && y < view.height;
    }
    bool guard_intact() const {
        for (size_t i = 0; i < pixel_plane.size(); ++i) {
            if (inside(i)) continue;
            if (pixel_plane[i] != guard_pixel) return false;
            if (!z_plane.empty() && z_plane[i] != guard_z) return false;
        }
        return true;
    }
    // Pixels of the view that differ from colour.
    int count_not(uint32_t colour) const {
        int n = 0;
        for (int32_t y = 0; y < view.height; ++y)
            for (int32_t x = 0; x < view.width; ++x) n += pixel(x, y) != colour;
        return n;
    }
};

// A Pixmap whose planes are exactly width * height heap words: any access
// outside them is an address-sanitizer error.
struct ExactPixmap {
    std::unique_ptr<uint32_t[]> pixels;
    std::unique_ptr<int32_t[]> zbuffer;
    std::unique_ptr<int32_t[]> rows;
    Pixmap map{};

    ExactPixmap(int32_t width, int32_t height, bool with_z) {
        const size_t n = static_cast<size_t>(width) * height;
        pixels.reset(new uint32_t[n]);
        for (size_t i = 0; i < n; ++i) pixels[i] = static_cast<uint32_t>(i * 2654435761u);
        if (with_z) {
            zbuffer.reset(new int32_t[n]);
            for (size_t i = 0; i < n; ++i) zbuffer[i] = PIXMAP_Z_FAR;
        }
        rows.reset(new int32_t[height]);
        for (int32_t y = 0; y < height; ++y) rows[y] = y * width;
        map.width = width;
        map.height = height;
        map.flags = with_z ? uint32_t{PIXMAP_ZBUFFER} : 0u;
        map.rows = rows.get();
        map.pixels = pixels.get();
        map.zbuffer = zbuffer.get();
    }
    void clear(uint32_t colour) {
        const size_t n = static_cast<size_t>(map.width) * map.height;
        for (size_t i = 0; i < n; ++i) pixels[i] = colour;
    }
    uint32_t pixel(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * map.width + x]; }
};

// A texture whose texel (u, v) is the opaque pixel with red u, green v (low
// bytes) and blue (u >> 8) * 16 + (v >> 8), so a pixel tells which texel it got.
inline void fill_uv_texture(Pixmap* tex) {
    for (int32_t v = 0; v < tex->height; ++v)
        for (int32_t u = 0; u < tex->width; ++u)
            tex->pixels[tex->rows[v] + u] = 0xFF000000u | static_cast<uint32_t>(((u >> 8) * 16 + (v >> 8)) << 16) |
                                            static_cast<uint32_t>((v & 255) << 8) | static_cast<uint32_t>(u & 255);
}
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

// Writes a Pixmap as an 8-bit RGB PNG; returns false on failure.
inline bool write_png(const std::string& path, const Pixmap* p) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, p->width, p->height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> line(static_cast<size_t>(p->width) * 3);
    for (int32_t y = 0; y < p->height; ++y) {
        const uint8_t* src = reinterpret_cast<const uint8_t*>(p->pixels + p->rows[y]);
        for (int32_t x = 0; x < p->width; ++x) {
            line[3 * x] = src[4 * x];
            line[3 * x + 1] = src[4 * x + 1];
            line[3 * x + 2] = src[4 * x + 2];
        }
        png_write_row(png, line.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}
