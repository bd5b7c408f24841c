// The default data set's pictures: procedural art made here, deterministic to
// the byte (integer hashing and plain double arithmetic only).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace art {

// 8-bit RGB, rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    Image(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, 0) {}
    uint8_t* at(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// A tint for the environment maps: the colours of the reflected sky, horizon and ground.
struct Metal {
    double sky[3];
    double horizon[3];
    double ground[3];
    double highlight[3];
};

Image environment_map(const Metal& metal, uint32_t seed);   // 256 x 256, a polished ball's reflection
Image tunnel_texture();                                     // 256 x 256, seamless, red
Image sphere_texture();                                     // 256 x 256, seamless
// The pictures at k times their size (k = 1: the originals the demo loads; the
// data set's hd/ copies are drawn at k = 4, text included).
Image grey_background(int k = 1);                           // 320 x 240
Image knot_background(int k = 1);                           // 320 x 240
Image end_picture(int k = 1);                               // 320 x 240, with the closing text
Image credit_picture(std::string_view role, std::string_view name, int k = 1);  // 160 x 32, light text on black

// Draws text with the bitmap font at (x, y), each font pixel scale x scale, in colour.
void draw_text(Image& img, int x, int y, std::string_view text, int scale, const uint8_t colour[3]);

// True when the left and right columns and the top and bottom rows continue
// each other as smoothly as neighbouring interior pixels do.
bool tiles_seamlessly(const Image& img);

}  // namespace art
