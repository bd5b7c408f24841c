// The SDL host's scaling of a presented frame into the window surface: every
// output pixel is the nearest source pixel, 5-6-5 widened with its top bits
// repeated, rows and padding respected, and the SSE2 path equals the plain one.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/hosts/sdl/present_scale.h"

namespace {

uint32_t widened(uint16_t p) {
    uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return ((r << 3) | (r >> 2)) << 16 | ((g << 2) | (g >> 4)) << 8 | ((b << 3) | (b >> 2));
}

}  // namespace

TEST(PresentScale, NearestPixelsWidenedAtEverySizeAndPitch) {
    struct Case {
        uint32_t format;
        int32_t width, height, w, h;
    } const cases[] = {
        {HOST_FORMAT_RGB565, 256, 256, 512, 512},  // every 5-6-5 value, twice the size (the SSE2 path)
        {HOST_FORMAT_RGB565, 320, 240, 640, 480},
        {HOST_FORMAT_RGB565, 13, 5, 26, 10},       // a row of eight and a tail of five
        {HOST_FORMAT_RGB565, 13, 5, 26, 17},       // twice as wide, each row written to three or four rows
        {HOST_FORMAT_RGB565, 7, 3, 21, 9},         // three times
        {HOST_FORMAT_RGB565, 10, 10, 17, 13},      // not a whole multiple
        {HOST_FORMAT_RGB565, 8, 8, 8, 8},          // one to one
        {HOST_FORMAT_XRGB8888, 5, 4, 10, 8},
        {HOST_FORMAT_XRGB8888, 9, 7, 16, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " to " << c.w << "x" << c.h
                                        << (c.format == HOST_FORMAT_RGB565 ? " 5-6-5" : " 32-bit"));
        const int bpp = c.format == HOST_FORMAT_RGB565 ? 2 : 4;
        const int32_t pitch = c.width * bpp + 8;  // padded rows on both sides, as DIBs and surfaces have
        const int out_pitch = c.w * 4 + 12;
        std::vector<uint8_t> src((size_t)pitch * c.height, 0xA5);
        uint32_t seed = 12345;
        for (int32_t y = 0; y < c.height; y++)
            for (int32_t x = 0; x < c.width; x++) {
                seed = seed * 1664525u + 1013904223u;
                uint32_t v = c.width == 256 ? (uint32_t)(y * 256 + x) : seed >> 8;
                if (bpp == 2) {
                    uint16_t p = (uint16_t)v;
                    memcpy(&src[(size_t)y * pitch + 2 * x], &p, 2);
                } else {
                    memcpy(&src[(size_t)y * pitch + 4 * x], &v, 4);
                }
            }
        HostFrame frame = {c.width, c.height, pitch, c.format, src.data()};
        std::vector<uint8_t> fast((size_t)out_pitch * c.h, 0xEE), plain = fast;
        present_scale(&frame, fast.data(), out_pitch, c.w, c.h);
        present_scale_plain(&frame, plain.data(), out_pitch, c.w, c.h);
        EXPECT_TRUE(fast == plain) << "the SSE2 path differs from the plain one";
        int wrong = 0, padding = 0;
        for (int32_t y = 0; y < c.h; y++) {
            for (int32_t x = 0; x < c.w; x++) {
                const uint8_t* s = &src[(size_t)(y * c.height / c.h) * pitch + (size_t)(x * c.width / c.w) * bpp];
                uint32_t want, got;
                if (bpp == 2) {
                    uint16_t p;
                    memcpy(&p, s, 2);
                    want = widened(p);
                } else {
                    memcpy(&want, s, 4);
                }
                memcpy(&got, &fast[(size_t)y * out_pitch + 4 * x], 4);
                wrong += got != want;
            }
            for (int i = c.w * 4; i < out_pitch; i++) padding += fast[(size_t)y * out_pitch + i] != 0xEE;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(padding, 0) << "bytes past the row's pixels were written";
    }
}
