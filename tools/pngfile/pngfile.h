// PNG files through libpng: the one writer behind the capture tool's frames and
// contact sheet and the pictures the tests leave in the build folder. Header
// only, so that each program that links libpng can use it without a library.
#pragma once

#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

// Pixmap words (bytes red, green, blue, alpha in memory; row y at rows[y]) as
// width * height * 3 bytes red, green, blue at `rgb`, rows back to back.
inline void pngfile_rgb_from_rgba(const uint32_t* pixels, const int32_t* rows, int width, int height, uint8_t* rgb)
{
    for (int y = 0; y < height; y++) {
        const uint8_t* src = reinterpret_cast<const uint8_t*>(pixels + rows[y]);
        for (int x = 0; x < width; x++, src += 4, rgb += 3) rgb[0] = src[0], rgb[1] = src[1], rgb[2] = src[2];
    }
}

// Writes width x height pixels of `rgb` (3 bytes a pixel, rows back to back) as
// an 8-bit RGB PNG at zlib level `level` (-1: libpng's default). False with
// errno set (EIO when libpng fails) on failure.
inline bool pngfile_write_rgb(const std::string& path, int width, int height, const uint8_t* rgb, int level = -1)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        errno = EIO;
        return false;
    }
    png_init_io(png, f);
    if (level >= 0) png_set_compression_level(png, level);
    png_set_IHDR(png, info, uint32_t(width), uint32_t(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, const_cast<png_bytep>(rgb + size_t(y) * size_t(width) * 3));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}
