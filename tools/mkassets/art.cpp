// Procedural pictures for the default data set: reflection maps of polished
// balls, seamless tunnel and sphere textures, backgrounds, the end picture and
// the credit cards. Everything is computed from integer hashes, so runs repeat.
#include "tools/mkassets/art.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/font/font.h"

namespace art {
namespace {

constexpr double PI = 3.14159265358979323846;

uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

double lattice(int x, int y, int period, uint32_t seed)
{
    uint32_t ix = static_cast<uint32_t>(((x % period) + period) % period);
    uint32_t iy = static_cast<uint32_t>(((y % period) + period) % period);
    return (hash3(ix, iy, seed) & 0xFFFF) / 65535.0;
}

double smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// Value noise that repeats every `period` lattice cells.
double periodic_noise(double x, double y, int period, uint32_t seed)
{
    int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
    double fx = smooth(x - x0), fy = smooth(y - y0);
    double a = lattice(x0, y0, period, seed), b = lattice(x0 + 1, y0, period, seed);
    double c = lattice(x0, y0 + 1, period, seed), d = lattice(x0 + 1, y0 + 1, period, seed);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// Octaves of noise over a 256-pixel tile: seamless at every octave.
double fractal(double px, double py, int base_period, int octaves, uint32_t seed)
{
    double sum = 0, amp = 0.5, norm = 0;
    int period = base_period;
    for (int o = 0; o < octaves; ++o) {
        double scale = period / 256.0;
        sum += amp * periodic_noise(px * scale, py * scale, period, seed + static_cast<uint32_t>(o) * 101u);
        norm += amp;
        amp *= 0.5;
        period *= 2;
    }
    return sum / norm;
}

uint8_t to_byte(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(std::pow(v, 1.0 / 2.2) * 255.0));
}

void put(Image& img, int x, int y, const double c[3])
{
    uint8_t* p = img.at(x, y);
    for (int k = 0; k < 3; ++k) p[k] = to_byte(c[k]);
}

double mix(double a, double b, double t) { return a + (b - a) * t; }

}  // namespace

Image environment_map(const Metal& metal, uint32_t seed)
{
    Image img(256, 256);
    // A light from the upper left and two tall soft boxes, as in a studio.
    const double lx = -0.45, ly = -0.6, lz = 0.66;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            double nx = (x - 127.5) / 127.5, ny = (y - 127.5) / 127.5;
            double r2 = nx * nx + ny * ny;
            if (r2 > 1.0) {
                double r = std::sqrt(r2);
                nx /= r;
                ny /= r;
                r2 = 1.0;
            }
            double nz = std::sqrt(std::max(0.0, 1.0 - r2));
            // Reflect the view direction about the normal.
            double rx = 2 * nz * nx, ry = 2 * nz * ny, rz = 2 * nz * nz - 1;
            double up = -ry;  // picture y grows downwards
            double c[3];
            double grain = fractal(x, y, 8, 3, seed) - 0.5;
            if (up >= 0) {
                double t = std::pow(up, 0.6);
                for (int k = 0; k < 3; ++k) c[k] = mix(metal.horizon[k], metal.sky[k], t);
            } else {
                double t = std::pow(-up, 0.5);
                for (int k = 0; k < 3; ++k) c[k] = mix(metal.horizon[k] * 0.55, metal.ground[k], t) * (1.0 + grain * 0.25);
            }
            // A bright band where the horizon is reflected.
            double band = std::exp(-up * up * 180.0);
            for (int k = 0; k < 3; ++k) c[k] += band * metal.horizon[k] * 0.8;
            // Soft boxes: vertical strips of light to the left and right.
            double strip = std::exp(-std::pow((rx - 0.62) * 7.0, 2)) * std::max(0.0, up + 0.3) +
                           0.6 * std::exp(-std::pow((rx + 0.7) * 9.0, 2)) * std::max(0.0, up + 0.2);
            double sun = std::pow(std::max(0.0, rx * lx + ry * ly + rz * lz), 90.0);
            for (int k = 0; k < 3; ++k) c[k] += (strip * 0.7 + sun * 3.0) * metal.highlight[k];
            // Grazing angles reflect more: brighten towards the rim.
            double fresnel = 0.75 + 0.25 * std::pow(1.0 - nz, 3.0);
            for (int k = 0; k < 3; ++k) c[k] *= fresnel;
            put(img, x, y, c);
        }
    }
    return img;
}

Image tunnel_texture()
{
    Image img(256, 256);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            // 4 x 4 bevelled plates, offset every other row like brickwork.
            int row = y / 64;
            int px = (x + (row & 1) * 32) & 63, py = y & 63;
            double ex = std::min(px, 63 - px), ey = std::min(py, 63 - py);
            double edge = std::min(ex, ey);
            double light = 0.0;
            if (edge < 4.0) {
                // Bevel lit from the upper left.
                bool lit = (ey < ex) ? (py < 32) : (px < 32);
                light = lit ? 0.45 : -0.45;
            }
            double grime = fractal(x, y, 16, 4, 7);
            double streak = fractal(x, y, 4, 3, 11);
            double base = 0.32 + 0.35 * grime - 0.12 * streak;
            int rx = (x + (row & 1) * 32) & 63;
            // Rivets near the plate corners.
            double rivet = 0.0;
            for (int cx : {8, 55})
                for (int cy : {8, 55}) {
                    double d = std::hypot(rx - cx, py - cy);
                    if (d < 3.2) rivet = std::max(rivet, 0.5 * (1.0 - d / 3.2) + 0.25);
                }
            double v = std::clamp(base + light * 0.6 + rivet, 0.0, 1.2);
            if (edge < 1.0) v *= 0.35;  // the seam itself
            double c[3] = {v * 0.95 + 0.04, v * 0.16, v * 0.10};
            put(img, x, y, c);
        }
    }
    return img;
}

Image sphere_texture()
{
    Image img(256, 256);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            // Warped noise: swirling bands like polished stone.
            double wx = fractal(x, y, 4, 3, 21) * 2.0, wy = fractal(x, y, 4, 3, 22) * 2.0;
            double n = fractal(x + wx * 40.0, y + wy * 40.0, 8, 4, 23);
            double bands = 0.5 + 0.5 * std::sin((n * 9.0 + wx) * PI);
            double c[3] = {0.10 + 0.55 * bands * bands, 0.05 + 0.20 * bands, 0.22 + 0.45 * (1.0 - bands) * n};
            put(img, x, y, c);
        }
    }
    return img;
}

// The pictures take a zoom k: k = 1 is the 320 x 240 original; k > 1 draws the
// same picture at k times the size, each pixel sampled at its centre in the
// original's coordinates, so the larger picture is drawn, not enlarged.
namespace {

// A zoomed pixel's centre in the original's pixel coordinates (exactly X at k = 1).
double unzoom(int X, int k) { return (X + 0.5) / k - 0.5; }

// Pixel (X, Y) of a zoomed picture blended towards a colour by coverage 0..1.
void blend(Image& img, int X, int Y, const uint8_t colour[3], double coverage)
{
    uint8_t* p = img.at(X, Y);
    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::lround(p[c] + (colour[c] - p[c]) * coverage));
}

// Distance from (px, py) to the segment a-b.
double segment_distance(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// The font drawn as strokes: every lit cell's centre joined to its lit
// neighbours (diagonal ones only where no straight path joins them), half a cell
// thick with round ends. Same cells and advance as draw_text, smooth edges.
void draw_text_zoomed(Image& img, int x, int y, std::string_view text, int scale, const uint8_t colour[3], int k,
                      bool antialias)
{
    const int samples = antialias ? 4 : 1;
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* g = font::glyph(text[i]);
        auto lit = [&](int c, int r) {
            return c >= 0 && r >= 0 && c < font::GLYPH_W && r < font::GLYPH_H && (g[r] & (1 << (font::GLYPH_W - 1 - c)));
        };
        struct Segment {
            double ax, ay, bx, by;
        };
        std::vector<Segment> strokes;
        for (int r = 0; r < font::GLYPH_H; ++r)
            for (int c = 0; c < font::GLYPH_W; ++c) {
                if (!lit(c, r)) continue;
                const double cx = c + 0.5, cy = r + 0.5;
                strokes.push_back({cx, cy, cx, cy});
                if (lit(c + 1, r)) strokes.push_back({cx, cy, cx + 1, cy});
                if (lit(c, r + 1)) strokes.push_back({cx, cy, cx, cy + 1});
                if (lit(c + 1, r + 1) && !lit(c + 1, r) && !lit(c, r + 1)) strokes.push_back({cx, cy, cx + 1, cy + 1});
                if (lit(c - 1, r + 1) && !lit(c - 1, r) && !lit(c, r + 1)) strokes.push_back({cx, cy, cx - 1, cy + 1});
            }
        if (strokes.empty()) continue;
        // The glyph's box in the original's pixels, then in zoomed pixels.
        const int gx = x + static_cast<int>(i) * (font::GLYPH_W + 1) * scale;
        const int X0 = std::max(0, gx * k), Y0 = std::max(0, y * k);
        const int X1 = std::min(img.width, (gx + font::GLYPH_W * scale) * k);
        const int Y1 = std::min(img.height, (y + font::GLYPH_H * scale) * k);
        for (int Y = Y0; Y < Y1; ++Y)
            for (int X = X0; X < X1; ++X) {
                int inside = 0;
                for (int sy = 0; sy < samples; ++sy)
                    for (int sx = 0; sx < samples; ++sx) {
                        // The sample in font cells.
                        const double fx = ((X + (sx + 0.5) / samples) / k - gx) / scale;
                        const double fy = ((Y + (sy + 0.5) / samples) / k - y) / scale;
                        double d = 1e9;
                        for (const Segment& s : strokes) d = std::min(d, segment_distance(fx, fy, s.ax, s.ay, s.bx, s.by));
                        inside += d <= 0.5;
                    }
                if (inside) blend(img, X, Y, colour, double(inside) / (samples * samples));
            }
    }
}

}  // namespace

Image grey_background(int k)
{
    Image img(320 * k, 240 * k);
    for (int Y = 0; Y < 240 * k; ++Y) {
        for (int X = 0; X < 320 * k; ++X) {
            const double x = unzoom(X, k), y = unzoom(Y, k);
            double t = y / 239.0;
            double d = std::hypot(x - 210.0, y - 90.0);
            double rings = 0.5 + 0.5 * std::cos(d * 0.16);
            double glow = std::exp(-d / 140.0);
            // The grid lines are one original pixel wide.
            double grid = (((X / k) % 32) == 0 || ((Y / k) % 32) == 0) ? 0.04 : 0.0;
            double grain = fractal(x, y, 16, 3, 31) - 0.5;
            double v = 0.05 + 0.11 * (1.0 - t) + 0.17 * glow + 0.035 * rings * glow + grid + grain * 0.04;
            double c[3] = {v * 0.85, v * 0.92, v * 1.12};
            put(img, X, Y, c);
        }
    }
    return img;
}

Image knot_background(int k)
{
    Image img(320 * k, 240 * k);
    for (int Y = 0; Y < 240 * k; ++Y) {
        for (int X = 0; X < 320 * k; ++X) {
            const double x = unzoom(X, k), y = unzoom(Y, k);
            // Warm light behind the object on the left, darker where the credits go.
            double d = std::hypot(x - 96.0, y - 88.0);
            double glow = std::exp(-d / 110.0);
            double rays = 0.5 + 0.5 * std::cos(std::atan2(y - 88.0, x - 96.0) * 12.0);
            // Halftone dots that grow with the light.
            double cell = 8.0;
            double cx = (std::floor(x / cell) + 0.5) * cell, cy = (std::floor(y / cell) + 0.5) * cell;
            double dot = std::hypot(x - cx, y - cy) < 3.6 * glow + 0.6 ? 1.0 : 0.0;
            double v = 0.06 + 0.45 * glow * (0.7 + 0.3 * rays);
            double c[3] = {v * 1.25 + 0.05 * dot, v * 0.62 + 0.03 * dot, v * 0.30};
            put(img, X, Y, c);
        }
    }
    return img;
}

Image end_picture(int k)
{
    Image img(320 * k, 240 * k);
    for (int Y = 0; Y < 240 * k; ++Y) {
        for (int X = 0; X < 320 * k; ++X) {
            const double y = unzoom(Y, k);
            double t = y / 239.0;
            double c[3] = {0.02 + 0.10 * t, 0.01 + 0.03 * t, 0.08 + 0.14 * (1 - t)};
            // A few stars: one original pixel each, round when zoomed.
            const int x0 = X / k, y0 = Y / k;
            const bool in_dot = k == 1 || std::hypot(unzoom(X, k) - x0, y - y0) <= 0.5;
            if ((hash3(static_cast<uint32_t>(x0), static_cast<uint32_t>(y0), 41) & 0x3FF) == 0 && in_dot)
                c[0] = c[1] = c[2] = 0.6;
            put(img, X, Y, c);
        }
    }
    const uint8_t gold[3] = {255, 214, 120}, white[3] = {235, 235, 250}, dim[3] = {140, 140, 170};
    // Not smoothed: a GIF holds 256 colours.
    auto centred = [&](std::string_view text, int y, int scale, const uint8_t* colour) {
        int w = font::text_width(text) * scale;
        if (k == 1) draw_text(img, (320 - w) / 2, y, text, scale, colour);
        else draw_text_zoomed(img, (320 - w) / 2, y, text, scale, colour, k, false);
    };
    centred("WENDRIL", 70, 5, gold);
    centred("THANKS FOR WATCHING", 130, 2, white);
    centred("MADE WITH THE TAVIK ENGINE", 170, 1, dim);
    centred("PRESS ESC", 200, 1, dim);
    return img;
}

Image credit_picture(std::string_view role, std::string_view name, int k)
{
    Image img(160 * k, 32 * k);
    const uint8_t grey[3] = {150, 160, 190}, light[3] = {240, 240, 255};
    if (k == 1) {
        draw_text(img, 4, 2, role, 1, grey);
        draw_text(img, 4, 13, name, 2, light);
    } else {
        draw_text_zoomed(img, 4, 2, role, 1, grey, k, true);
        draw_text_zoomed(img, 4, 13, name, 2, light, k, true);
    }
    return img;
}

void draw_text(Image& img, int x, int y, std::string_view text, int scale, const uint8_t colour[3])
{
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* g = font::glyph(text[i]);
        int gx = x + static_cast<int>(i) * (font::GLYPH_W + 1) * scale;
        for (int r = 0; r < font::GLYPH_H; ++r)
            for (int c = 0; c < font::GLYPH_W; ++c) {
                if (!(g[r] & (1 << (font::GLYPH_W - 1 - c)))) continue;
                for (int sy = 0; sy < scale; ++sy)
                    for (int sx = 0; sx < scale; ++sx) {
                        int px = gx + c * scale + sx, py = y + r * scale + sy;
                        if (px < 0 || py < 0 || px >= img.width || py >= img.height) continue;
                        uint8_t* p = img.at(px, py);
                        p[0] = colour[0];
                        p[1] = colour[1];
                        p[2] = colour[2];
                    }
            }
    }
}

bool tiles_seamlessly(const Image& img)
{
    // Mean absolute step across the wrap edges against the mean step inside.
    auto step = [&](int x0, int y0, int x1, int y1) {
        const uint8_t* a = img.at(x0, y0);
        const uint8_t* b = img.at(x1, y1);
        return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
    };
    double wrap = 0, inner = 0;
    int w = img.width, h = img.height;
    for (int y = 0; y < h; ++y) {
        wrap += step(w - 1, y, 0, y);
        inner += step(w / 2 - 1, y, w / 2, y);
    }
    for (int x = 0; x < w; ++x) {
        wrap += step(x, h - 1, x, 0);
        inner += step(x, h / 2 - 1, x, h / 2);
    }
    return wrap <= inner * 1.5 + 2.0 * (w + h);
}

}  // namespace art
