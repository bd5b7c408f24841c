// Pictures at the screen's scale: separable resampling (area averaging down,
// bilinear up) and the choice between the hd/ copy and the original.
#include "app/picture.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/pixmap/pixmap.h"

int picture_hd_notice_given = 0;

namespace {

// One output sample along an axis: `count` source indices from `first`, with weights.
struct Tap {
    int32_t first;
    std::vector<float> weight;
};

// The taps that map n source samples onto m output samples.
std::vector<Tap> axis_taps(int32_t n, int32_t m) {
    std::vector<Tap> taps(static_cast<size_t>(m));
    const double ratio = double(n) / double(m);
    for (int32_t i = 0; i < m; i++) {
        Tap& t = taps[size_t(i)];
        if (m <= n) {
            // The output sample covers [i ratio, (i + 1) ratio) of the source.
            const double lo = i * ratio, hi = (i + 1) * ratio;
            t.first = int32_t(std::floor(lo));
            int32_t last = int32_t(std::ceil(hi)) - 1;
            if (last >= n) last = n - 1;
            for (int32_t k = t.first; k <= last; k++) {
                const double a = k > lo ? k : lo, b = k + 1 < hi ? k + 1 : hi;
                t.weight.push_back(float((b - a) / ratio));
            }
        } else {
            // Pixel centres aligned: output centre i + 0.5 sits at source (i + 0.5) ratio.
            double x = (i + 0.5) * ratio - 0.5;
            if (x < 0) x = 0;
            if (x > n - 1) x = n - 1;
            t.first = int32_t(std::floor(x));
            const double f = x - t.first;
            if (t.first + 1 < n && f > 0) t.weight = {float(1.0 - f), float(f)};
            else t.weight = {1.0f};
        }
    }
    return taps;
}

uint8_t to_byte(float v) {
    const float r = std::floor(v + 0.5f);
    return uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
}

}  // namespace

void picture_resample_bytes(const uint8_t* src, int32_t sw, int32_t sh, int32_t src_stride, uint8_t* dst,
                            int32_t dw, int32_t dh, int32_t dst_stride, int32_t channels) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || channels <= 0) return;
    const std::vector<Tap> across = axis_taps(sw, dw), down = axis_taps(sh, dh);
    // Horizontal pass into floats (dw x sh), then the vertical pass into bytes.
    std::vector<float> mid(size_t(dw) * size_t(sh) * size_t(channels));
    for (int32_t y = 0; y < sh; y++) {
        const uint8_t* row = src + size_t(y) * size_t(src_stride);
        float* out = mid.data() + size_t(y) * size_t(dw) * size_t(channels);
        for (int32_t x = 0; x < dw; x++) {
            const Tap& t = across[size_t(x)];
            for (int32_t c = 0; c < channels; c++) {
                float sum = 0;
                for (size_t k = 0; k < t.weight.size(); k++)
                    sum += t.weight[k] * float(row[size_t(t.first + int32_t(k)) * size_t(channels) + size_t(c)]);
                out[size_t(x) * size_t(channels) + size_t(c)] = sum;
            }
        }
    }
    const size_t line = size_t(dw) * size_t(channels);
    std::vector<float> acc(line);
    for (int32_t y = 0; y < dh; y++) {
        const Tap& t = down[size_t(y)];
        for (size_t i = 0; i < line; i++) acc[i] = 0;
        for (size_t k = 0; k < t.weight.size(); k++) {
            const float* in = mid.data() + size_t(t.first + int32_t(k)) * line;
            for (size_t i = 0; i < line; i++) acc[i] += t.weight[k] * in[i];
        }
        uint8_t* out = dst + size_t(y) * size_t(dst_stride);
        for (size_t i = 0; i < line; i++) out[i] = to_byte(acc[i]);
    }
}

void picture_resample(const Pixmap* src, Pixmap* dst) {
    if (!src || !dst || !src->pixels || !dst->pixels) return;
    picture_resample_bytes(reinterpret_cast<const uint8_t*>(src->pixels), src->width, src->height, src->width * 4,
                           reinterpret_cast<uint8_t*>(dst->pixels), dst->width, dst->height, dst->width * 4, 4);
}

Pixmap* picture_load(const char* name, PictureLoader load, int32_t screen_width, int32_t screen_height) {
    Pixmap* original = load(name);
    if (!original || (screen_width == 320 && screen_height == 240)) return original;
    const int32_t w = int32_t(std::lround(double(original->width) * screen_width / 320.0));
    const int32_t h = int32_t(std::lround(double(original->height) * screen_height / 240.0));
    Pixmap* sized = pixmap_create(w > 0 ? w : 1, h > 0 ? h : 1, original->flags & PIXMAP_ALPHA);
    if (!sized) {
        pixmap_destroy(original);
        return nullptr;
    }
    Pixmap* hd = load(("hd/" + std::string(name)).c_str());
    if (hd && hd->width == 4 * original->width && hd->height == 4 * original->height) {
        picture_resample(hd, sized);
    } else {
        if (!picture_hd_notice_given) {
            std::fprintf(stderr, "hd/%s %s: the pictures are enlarged from their originals\n", name,
                         hd ? "is not four times the original's size" : "is missing from the data folder");
            picture_hd_notice_given = 1;
        }
        picture_resample(original, sized);
    }
    pixmap_destroy(hd);
    pixmap_destroy(original);
    return sized;
}
