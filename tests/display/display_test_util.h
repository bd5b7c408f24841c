// Helpers for the display-driver tests on the headless host: colours as the
// displays show them and reading presented frames; the Pixmaps are the shared
// TestPixmap.
#pragma once

#include <cstdint>

#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tests/lib/pixmap_fixture.h"

// Pixmap pixel from channels: bytes red, green, blue, alpha in memory.
inline uint32_t test_rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16) | 0xFF000000u; }

// A distinct colour for each source position (channels stay below 248 so 5-6-5 keeps them apart).
inline uint32_t test_pattern(int32_t x, int32_t y) { return test_rgb((x * 8) & 0xF8, (y * 4) & 0xFC, 0x40); }

// Pixel (x, y) of the last presented frame as 0xRRGGBB, or 0xFFFFFFFF outside.
inline uint32_t frame_pixel(int32_t x, int32_t y) {
    int32_t w, h;
    const uint8_t* f = host_last_frame(&w, &h);
    if (!f || x < 0 || y < 0 || x >= w || y >= h) return 0xFFFFFFFFu;
    const uint8_t* p = f + ((size_t)y * w + x) * 4;
    return ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
}

// What a Pixmap colour looks like after a 32-bit DirectDraw surface (255 -> 254 per channel).
inline uint32_t dd32_colour(uint32_t c) {
    auto ch = [](uint32_t v) { return (uint32_t)((float)v * (255.0f / 256.0f)); };
    return (ch(c & 0xFF) << 16) | (ch((c >> 8) & 0xFF) << 8) | ch((c >> 16) & 0xFF);
}

// What a Pixmap colour looks like after a 5-6-5 surface, widened back to 8 bits per channel.
inline uint32_t dd16_colour(uint32_t c) {
    auto ch = [](uint32_t v, uint32_t range) { return (uint32_t)((float)v * ((float)range / 256.0f)); };
    uint32_t r = ch(c & 0xFF, 31), g = ch((c >> 8) & 0xFF, 63), b = ch((c >> 16) & 0xFF, 31);
    return (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
}

// As a frame pixel of a 32-bit bitmap (GDI keeps channels exactly).
inline uint32_t rgb_of(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
