// The demo at larger scales: frames drawn at 2 and 4.5 times the size and
// area-averaged back to 320 x 240 match the 320 x 240 frames of the same
// moments; at 4 times the objects carry detail no enlargement of the 320 x 240
// frame has; the hd/ pictures of the data set are four times the originals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/demo.h"
#include "engine/fx/fx.h"
#include "app/picture.h"
#include "engine/image/gif.h"
#include "engine/image/jpeg.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tests/lib/pixmap_fixture.h"

namespace {

const std::string DATA = std::string(TAVIK_BINARY_DIR) + "/data";
constexpr uint32_t FPS = 5;  // few frames: the larger scales cost

bool have_data() {
    struct stat st;
    return stat((DATA + "/ragga.xm").c_str(), &st) == 0 && stat((DATA + "/hd/t8-greyb.jpg").c_str(), &st) == 0;
}

#define REQUIRE_DATA()                                                                                 \
    if (!have_data()) GTEST_FAIL() << "no default data set with hd/ in " << DATA << " (the build writes it)"

// A frame as drawn: RGBA bytes and the z plane.
struct Shot {
    int32_t width = 0, height = 0;
    uint32_t order = 0;
    std::vector<uint8_t> rgba;
    std::vector<int32_t> z;
};

// Plays the demo at a scale on the headless host up to the last frame asked for.
std::map<uint64_t, Shot> play(float scale, const std::vector<uint64_t>& wanted) {
    std::map<uint64_t, Shot> shots;
    int32_t w, h;
    demo_screen_size(scale, &w, &h);
    host_reset();
    host_offer_display_mode(w, h);
    host_clock_set_frame_rate(FPS);
    demo.scale = scale;
    if (chdir(DATA.c_str()) != 0 || demo_start() != 0) return shots;
    uint64_t last = 0;
    for (uint64_t f : wanted) last = f > last ? f : last;
    for (uint64_t n = 0; n <= last && !demo.quit; n++) {
        const uint32_t order = demo.position->order;
        demo_draw();
        for (uint64_t f : wanted)
            if (f == n) {
                Shot& s = shots[n];
                const Pixmap* p = demo.vscreen;
                s.width = p->width, s.height = p->height, s.order = order;
                const uint8_t* bytes = reinterpret_cast<const uint8_t*>(p->pixels);
                s.rgba.assign(bytes, bytes + size_t(p->width) * size_t(p->height) * 4);
                s.z.assign(p->zbuffer, p->zbuffer + size_t(p->width) * size_t(p->height));
            }
        demo_frame_end();
    }
    demo_shutdown();
    demo.scale = 1.0f;
    return shots;
}

std::vector<uint8_t> area_down(const Shot& s, int32_t w, int32_t h) {
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 4);
    picture_resample_bytes(s.rgba.data(), s.width, s.height, s.width * 4, out.data(), w, h, w * 4, 4);
    return out;
}

// Mean absolute difference of the colour bytes of two 320 x 240 RGBA frames,
// the second read (dx, dy) pixels away (the outermost pixels left out).
double difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int dx = 0, int dy = 0) {
    double sum = 0;
    int n = 0;
    for (int y = 1; y < 239; y++)
        for (int x = 1; x < 319; x++)
            for (int c = 0; c < 3; c++, n++)
                sum += std::abs(int(a[size_t(y * 320 + x) * 4 + c]) - int(b[size_t((y + dy) * 320 + x + dx) * 4 + c]));
    return sum / n;
}

// What a one-pixel shift costs in this frame: the smallest difference between
// the frame and itself moved one pixel in any of the four directions.
double shift_cost(const std::vector<uint8_t>& frame) {
    double cost = 1e9;
    for (int d : {-1, 1}) cost = std::min({cost, difference(frame, frame, d, 0), difference(frame, frame, 0, d)});
    return cost;
}

// Moments of the demo at 5 fps, one in each part of the timeline.
const std::vector<uint64_t> MOMENTS = {96, 249, 403, 518, 624, 710, 777};
constexpr uint64_t KNOT_MOMENT = 403;  // the knot over the background picture

// The scale-1 frames of the moments, played once for all tests.
std::map<uint64_t, Shot>& originals() {
    static std::map<uint64_t, Shot> shots;
    if (shots.empty()) {
        for (float scale : {2.0f, 4.0f, 4.5f}) {
            int32_t w, h;
            demo_screen_size(scale, &w, &h);
            host_offer_display_mode(w, h);  // before the driver first gathers its modes
        }
        shots = play(1.0f, MOMENTS);
    }
    return shots;
}

// Luminance (r + g + b) of an RGBA frame.
std::vector<int32_t> luminance(const uint8_t* rgba, size_t pixels) {
    std::vector<int32_t> l(pixels);
    for (size_t i = 0; i < pixels; i++) l[i] = rgba[4 * i] + rgba[4 * i + 1] + rgba[4 * i + 2];
    return l;
}

// Fine detail inside a mask of a frame four times 320 x 240: the mean squared
// second difference of the luminance (across and down), taken separately where
// the three pixels lie inside one 4-pixel cell of the 320 x 240 grid and where
// they straddle a cell border, and the smaller of the two returned. A picture
// enlarged from 320 x 240 by repeating pixels has none of the first kind; one
// enlarged bilinearly (pixel centres aligned) has none of the second.
double fine_detail(const std::vector<int32_t>& l, const std::vector<uint8_t>& mask, int w, int h) {
    double sum[2] = {0, 0};
    int64_t n[2] = {0, 0};
    for (int y = 1; y < h - 1; y++)
        for (int x = 1; x < w - 1; x++) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (!mask[i]) continue;
            const double across = l[i - 1] - 2.0 * l[i] + l[i + 1];
            const double down = l[i - size_t(w)] - 2.0 * l[i] + l[i + size_t(w)];
            const int kx = (x % 4 == 1 || x % 4 == 2) ? 0 : 1, ky = (y % 4 == 1 || y % 4 == 2) ? 0 : 1;
            sum[kx] += across * across, n[kx]++;
            sum[ky] += down * down, n[ky]++;
        }
    return std::min(n[0] ? sum[0] / double(n[0]) : 0.0, n[1] ? sum[1] / double(n[1]) : 0.0);
}

}  // namespace

TEST(Scale, ScreenSizesAndScaleArguments) {
    struct Case {
        const char* text;
        bool ok;
        int32_t width, height;
    } cases[] = {{"1", true, 320, 240},   {"2", true, 640, 480},    {"4.5", true, 1440, 1080}, {"8", true, 2560, 1920},
                 {"1.01", true, 323, 242}, {"0.5", false, 0, 0},    {"8.01", false, 0, 0},     {"-2", false, 0, 0},
                 {"2x", false, 0, 0},     {"1e0", false, 0, 0},     {"", false, 0, 0},         {"nan", false, 0, 0}};
    for (const Case& c : cases) {
        float s = -1;
        EXPECT_EQ(demo_parse_scale(c.text, &s), c.ok) << c.text;
        if (!c.ok) continue;
        int32_t w, h;
        demo_screen_size(s, &w, &h);
        EXPECT_EQ(w, c.width) << c.text;
        EXPECT_EQ(h, c.height) << c.text;
    }
}

// A larger frame averaged down may differ from the original by its smoother
// edges and texture sampling; the bound is a share of what a one-pixel shift of
// the same frame costs. Measured (mean byte difference / shift cost): 0.26 to
// 0.58 at scale 2 and 4.5 over these moments; the larger frame moved by one
// pixel 0.95 to 1.11, another moment's frame 6 or more.
constexpr double BOUND = 0.75;

TEST(Scale, LargerFramesAveragedDownMatchTheOriginal) {
    REQUIRE_DATA();
    std::map<uint64_t, Shot>& base = originals();
    ASSERT_EQ(base.size(), MOMENTS.size());
    for (float scale : {2.0f, 4.5f}) {
        std::map<uint64_t, Shot> big = play(scale, MOMENTS);
        ASSERT_EQ(big.size(), MOMENTS.size()) << "scale " << scale;
        for (size_t i = 0; i < MOMENTS.size(); i++) {
            const uint64_t f = MOMENTS[i];
            const Shot& original = base[f];
            ASSERT_EQ(big[f].order, original.order);
            const std::vector<uint8_t> down = area_down(big[f], 320, 240);
            const double cost = shift_cost(original.rgba);
            const double d = difference(down, original.rgba) / cost;
            const double other = difference(down, base[MOMENTS[(i + 1) % MOMENTS.size()]].rgba) / cost;
            double shifted = 1e9;
            for (int dd : {-1, 1})
                shifted = std::min({shifted, difference(down, original.rgba, dd, 0) / cost,
                                    difference(down, original.rgba, 0, dd) / cost});
            SCOPED_TRACE(testing::Message() << "scale " << scale << ", frame " << f << ", order " << original.order
                                            << ": " << d << " (shifted " << shifted << ", other " << other << ")");
            EXPECT_LT(d, BOUND);
            // The bound catches the larger frame moved by one original pixel, or another moment's.
            EXPECT_GT(shifted, BOUND);
            EXPECT_GT(other, BOUND);
        }
    }
}

TEST(Scale, FourTimesTheSizeDrawsDetailNoEnlargementHas) {
    REQUIRE_DATA();
    const Shot& original = originals()[KNOT_MOMENT];
    ASSERT_EQ(original.width, 320);
    std::map<uint64_t, Shot> big = play(4.0f, {KNOT_MOMENT});
    ASSERT_EQ(big.size(), 1u);
    const Shot& s = big[KNOT_MOMENT];
    ASSERT_EQ(s.width, 1280);
    const size_t pixels = size_t(s.width) * size_t(s.height);
    // The object's pixels (the knot wrote the z plane) and 4 pixels around them: its silhouette.
    std::vector<uint8_t> object(pixels, 0), mask(pixels, 0);
    for (size_t i = 0; i < pixels; i++) object[i] = s.z[i] != PIXMAP_Z_FAR;
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++)
            if (object[size_t(y) * size_t(s.width) + size_t(x)])
                for (int dy = -4; dy <= 4; dy++)
                    for (int dx = -4; dx <= 4; dx++)
                        if (y + dy >= 0 && y + dy < s.height && x + dx >= 0 && x + dx < s.width)
                            mask[size_t(y + dy) * size_t(s.width) + size_t(x + dx)] = 1;
    size_t covered = 0;
    for (uint8_t m : mask) covered += m;
    ASSERT_GT(covered, pixels / 20) << "the knot covers too little of the frame to judge";

    std::vector<uint8_t> nearest(pixels * 4), bilinear(pixels * 4);
    for (int y = 0; y < s.height; y++)
        for (int x = 0; x < s.width; x++)
            for (int c = 0; c < 4; c++)
                nearest[(size_t(y) * size_t(s.width) + size_t(x)) * 4 + size_t(c)] =
                    original.rgba[(size_t(y / 4) * 320 + size_t(x / 4)) * 4 + size_t(c)];
    picture_resample_bytes(original.rgba.data(), 320, 240, 320 * 4, bilinear.data(), s.width, s.height, s.width * 4, 4);

    const double drawn = fine_detail(luminance(s.rgba.data(), pixels), mask, s.width, s.height);
    const double repeated = fine_detail(luminance(nearest.data(), pixels), mask, s.width, s.height);
    const double smoothed = fine_detail(luminance(bilinear.data(), pixels), mask, s.width, s.height);
    // Measured: drawn 1181, enlarged by repeating 0, bilinearly 2.7.
    EXPECT_GT(drawn, 50.0);
    EXPECT_LT(repeated, 50.0);
    EXPECT_LT(smoothed, 50.0);
}

TEST(Scale, HdPicturesAreFourTimesTheOriginals) {
    REQUIRE_DATA();
    ASSERT_EQ(chdir(DATA.c_str()), 0);
    struct Picture {
        const char* name;
        PictureLoader load;
    } pictures[] = {{"t8-greyb.jpg", jpeg_load2pixmap},        {"slutbild.gif", gif_load2pixmap},
                    {"data/knot/img.jpg", jpeg_load2pixmap},   {"data/knot/music.jpg", jpeg_load2pixmap},
                    {"data/knot/warnip.jpg", jpeg_load2pixmap}, {"data/knot/coding.jpg", jpeg_load2pixmap},
                    {"data/knot/hoskel.jpg", jpeg_load2pixmap}, {"data/knot/dunraf.jpg", jpeg_load2pixmap},
                    {"data/knot/selvin.jpg", jpeg_load2pixmap}, {"data/knot/mobrek.jpg", jpeg_load2pixmap}};
    // Each hd/ picture averaged down against its original, and against the
    // original of the next picture of the same size (the bound must tell them
    // apart). Measured: 0.4 to 3.1 against the own original (the text's smooth
    // strokes differ most), 13 or more against another.
    constexpr double BOUND = 6.0;
    const size_t count = sizeof pictures / sizeof pictures[0];
    for (size_t k = 0; k < count; k++) {
        const Picture& p = pictures[k];
        SCOPED_TRACE(p.name);
        const PixmapPtr original(p.load(p.name)), hd(p.load(("hd/" + std::string(p.name)).c_str()));
        ASSERT_NE(original, nullptr);
        ASSERT_NE(hd, nullptr) << "hd/" << p.name << " is missing";
        ASSERT_EQ(hd->width, 4 * original->width);
        ASSERT_EQ(hd->height, 4 * original->height);
        TestPixmap down(original->width, original->height);
        picture_resample(hd.get(), down.get());
        PixmapPtr other;
        for (size_t j = (k + 1) % count; j != k && !other; j = (j + 1) % count) {
            other.reset(pictures[j].load(pictures[j].name));
            if (other && (other->width != original->width || other->height != original->height)) other.reset();
        }
        ASSERT_NE(other, nullptr);
        const auto difference = [&](const Pixmap* a, const Pixmap* b) {
            const size_t n = size_t(a->width) * size_t(a->height);
            const uint8_t* pa = reinterpret_cast<const uint8_t*>(a->pixels);
            const uint8_t* pb = reinterpret_cast<const uint8_t*>(b->pixels);
            double sum = 0;
            for (size_t i = 0; i < n; i++)
                for (size_t c = 0; c < 3; c++) sum += std::abs(int(pa[4 * i + c]) - int(pb[4 * i + c]));
            return sum / double(3 * n);
        };
        EXPECT_LT(difference(down.get(), original.get()), BOUND);
        EXPECT_GT(difference(down.get(), other.get()), BOUND);
    }
}

TEST(Scale, ResampleAveragesAreasDownAndInterpolatesUp) {
    struct Case {
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
    } cases[] = {
        {{0, 255}, {128}},                 // one sample of two: their mean, rounded
        {{0, 90, 180}, {30, 150}},         // 1.5 samples each: partial weights
        {{0, 100}, {0, 25, 75, 100}},      // up: centres aligned, edges clamped
        {{7, 7, 7}, {7, 7, 7, 7, 7, 7, 7}},  // flat stays flat
        {{10, 20, 30}, {10, 20, 30}},      // same size: a copy
    };
    for (const Case& c : cases) {
        const int32_t n = int32_t(c.in.size()), m = int32_t(c.out.size());
        // The same row on both axes: across (1 row) and down (1 column).
        std::vector<uint8_t> across(c.out.size()), down(c.out.size());
        picture_resample_bytes(c.in.data(), n, 1, n, across.data(), m, 1, m, 1);
        picture_resample_bytes(c.in.data(), 1, n, 1, down.data(), 1, m, 1, 1);
        EXPECT_EQ(across, c.out);
        EXPECT_EQ(down, c.out);
    }
}

TEST(Scale, OutlineStrokesKeepTheirSpanInScreenUnits) {
    TestPixmap p(40, 40, PIXMAP_ZBUFFER | PIXMAP_CLEAR), q(40, 40, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    // Scale 1 is the plain outline, stroke for stroke, on arbitrary depths.
    uint32_t seed = 1;
    for (int i = 0; i < 1600; i++) {
        seed = seed * 1664525u + 1013904223u;
        p->zbuffer[i] = q->zbuffer[i] = int32_t(seed >> 20) - 2048;
    }
    fx_outline(p.get(), 20, 0xFF0000FFu);
    fx_outline_scaled(q.get(), 20, 0xFF0000FFu, 1.0f);
    EXPECT_TRUE(same_pixels(q.get(), p.get()));
    // A depth step between rows 19 and 20 at scale 2: rows 16 to 21 (four before
    // the boundary, two after), as rows 18 to 20 are at scale 1. A step of 15 is
    // below the threshold at scale 1 but counts at scale 2 (15 > 20 / 2).
    for (int32_t step : {15, 1000}) {
        for (int y = 0; y < 40; y++)
            for (int x = 0; x < 40; x++) {
                q->zbuffer[y * 40 + x] = y < 20 ? 0 : step;
                q->pixels[y * 40 + x] = 0;
            }
        fx_outline_scaled(q.get(), 20, 1, 2.0f);
        for (int y = 0; y < 40; y++) EXPECT_EQ(q->pixels[y * 40 + 10], y >= 16 && y <= 21 ? 1u : 0u) << step << " " << y;
    }
}
