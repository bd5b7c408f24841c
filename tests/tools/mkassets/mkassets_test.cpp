// The default data set: every file loads through the engine's own loaders at
// the sizes the effects need, textures tile, the module is well formed and
// sounds clean, and two runs of the tool give the same bytes.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <xmp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/image/gif.h"
#include "engine/image/jpeg.h"
#include "engine/image/pcx.h"
#include "engine/pixmap/pixmap.h"

namespace {

const std::string bin = TAVIK_BINARY_DIR;

std::vector<uint8_t> read_all(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The data set written once for the whole file, into a scratch folder.
const std::string& data_dir()
{
    static std::string dir = [] {
        std::string d = bin + "/test-mkassets-a";
        std::string cmd = bin + "/mkassets " + d + " > /dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return d;
    }();
    return dir;
}

const char* const all_files[] = {
    "ragga.xm", "t8-greyb.jpg", "slutbild.gif", "envmap.jpg", "bl\xC3\xA5.jpg", "r\xC3\xB6" "d.jpg",
    "data/knot/img.jpg", "data/knot/music.jpg", "data/knot/warnip.jpg", "data/knot/coding.jpg",
    "data/knot/hoskel.jpg", "data/knot/dunraf.jpg", "data/knot/selvin.jpg", "data/knot/mobrek.jpg",
    "data/hairy/envmap01.jpg", "data/hairy/envmap03.pcx",
};

// Summed step across the wrap edges against the step across the middle lines,
// which sit at the same phase of any 2^n-pixel pattern: a seamless texture has
// a wrap no harder than its middle.
double wrap_ratio(const Pixmap* p)
{
    auto step = [&](int x0, int y0, int x1, int y1) {
        uint32_t a = p->pixels[p->rows[y0] + x0], b = p->pixels[p->rows[y1] + x1];
        int s = 0;
        for (int k = 0; k < 24; k += 8) s += std::abs(static_cast<int>((a >> k) & 255) - static_cast<int>((b >> k) & 255));
        return s;
    };
    double wrap = 0, middle = 0;
    int w = p->width, h = p->height;
    for (int y = 0; y < h; ++y) {
        wrap += step(w - 1, y, 0, y);
        middle += step(w / 2 - 1, y, w / 2, y);
    }
    for (int x = 0; x < w; ++x) {
        wrap += step(x, h - 1, x, 0);
        middle += step(x, h / 2 - 1, x, h / 2);
    }
    return wrap / middle;
}

}  // namespace

TEST(DefaultData, TwoRunsGiveIdenticalBytes)
{
    std::string other = bin + "/test-mkassets-b";
    ASSERT_EQ(std::system((bin + "/mkassets " + other + " > /dev/null").c_str()), 0);
    for (const char* f : all_files) {
        auto a = read_all(data_dir() + "/" + f), b = read_all(other + "/" + f);
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_EQ(a, b) << f << " differs between runs";
    }
}

TEST(DefaultData, PicturesLoadAtTheSizesTheEffectsUse)
{
    struct Want {
        const char* file;
        int w, h;
    } const jpegs[] = {
        {"t8-greyb.jpg", 320, 240}, {"envmap.jpg", 256, 256}, {"bl\xE5.jpg", 256, 256}, {"r\xF6" "d.jpg", 256, 256},
        {"data/knot/img.jpg", 320, 240}, {"data/hairy/envmap01.jpg", 256, 256},
        {"data/knot/music.jpg", 160, 32}, {"data/knot/warnip.jpg", 160, 32}, {"data/knot/coding.jpg", 160, 32},
        {"data/knot/hoskel.jpg", 160, 32}, {"data/knot/dunraf.jpg", 160, 32}, {"data/knot/selvin.jpg", 160, 32},
        {"data/knot/mobrek.jpg", 160, 32},
    };
    for (const Want& w : jpegs) {
        // The Latin-1 names must reach the UTF-8 files through the file device.
        std::string path = data_dir() + "/" + w.file;
        Pixmap* p = jpeg_load2pixmap(path.c_str());
        ASSERT_NE(p, nullptr) << w.file << ": " << jpeg_error_string();
        EXPECT_EQ(p->width, w.w) << w.file;
        EXPECT_EQ(p->height, w.h) << w.file;
        pixmap_destroy(p);
    }
    Pixmap* end = gif_load2pixmap((data_dir() + "/slutbild.gif").c_str());
    ASSERT_NE(end, nullptr) << gif_error_string();
    EXPECT_EQ(end->width, 320);
    EXPECT_EQ(end->height, 240);
    pixmap_destroy(end);
    Pixmap* sphere = pcx_load2pixmap((data_dir() + "/data/hairy/envmap03.pcx").c_str());
    ASSERT_NE(sphere, nullptr) << pcx_error_string();
    EXPECT_EQ(sphere->width, 256);
    EXPECT_EQ(sphere->height, 256);
    pixmap_destroy(sphere);
}

TEST(DefaultData, CreditsAreLightTextOnBlack)
{
    Pixmap* p = jpeg_load2pixmap((data_dir() + "/data/knot/coding.jpg").c_str());
    ASSERT_NE(p, nullptr);
    int dark = 0, light = 0;
    for (int i = 0; i < p->width * p->height; ++i) {
        int g = (p->pixels[i] >> 8) & 255;
        dark += g < 24;
        light += g > 160;
    }
    // Mostly black (invisible when added), with a real amount of bright text.
    EXPECT_GT(dark, p->width * p->height * 6 / 10);
    EXPECT_GT(light, 60);
    pixmap_destroy(p);
}

TEST(DefaultData, TexturesTileSeamlessly)
{
    Pixmap* tunnel = jpeg_load2pixmap((data_dir() + "/r\xF6" "d.jpg").c_str());
    Pixmap* sphere = pcx_load2pixmap((data_dir() + "/data/hairy/envmap03.pcx").c_str());
    ASSERT_NE(tunnel, nullptr);
    ASSERT_NE(sphere, nullptr);
    // JPEG coding noise differs from block to block, hence the margin.
    EXPECT_LT(wrap_ratio(tunnel), 1.3);
    EXPECT_LT(wrap_ratio(sphere), 1.3);
    pixmap_destroy(tunnel);
    pixmap_destroy(sphere);
}

namespace {

struct LogCapture {
    std::string text;
};

void log_to(const char* message, void* user)
{
    static_cast<LogCapture*>(user)->text += message;
    static_cast<LogCapture*>(user)->text += "\n";
}

}  // namespace

TEST(DefaultData, ModuleHasTheArrangementAndLoadsCleanly)
{
    auto bytes = read_all(data_dir() + "/ragga.xm");
    LogCapture log;
    int error = 0;
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), log_to, &log, nullptr,
                                                             nullptr, &error, nullptr, nullptr);
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(log.text, "") << "libopenmpt warned while loading";
    EXPECT_EQ(openmpt_module_get_num_orders(mod), 23);
    for (int o = 0; o < 23; ++o) EXPECT_EQ(openmpt_module_get_pattern_num_rows(mod, openmpt_module_get_order_pattern(mod, o)), 64);
    EXPECT_EQ(openmpt_module_get_current_speed(mod), 6);
    EXPECT_EQ(openmpt_module_get_current_tempo(mod), 125);
    openmpt_module_destroy(mod);
    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), static_cast<long>(bytes.size())), 0);
    xmp_module_info info;
    xmp_get_module_info(ctx, &info);
    EXPECT_EQ(info.mod->len, 23);
    EXPECT_EQ(info.mod->rst, 20);
    EXPECT_EQ(info.mod->spd, 6);
    EXPECT_EQ(info.mod->bpm, 125);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
}

// The whole piece as libopenmpt plays it: mastered to a peak just under -1 dBFS
// with no clipped sample, a stereo image (the two sides differ, every section is
// still mostly in phase, neither side louder), never a beat of silence and no
// note left ringing where its channel has nothing to play.
TEST(DefaultData, MusicIsMasteredInStereoCleanAndNeverSilent)
{
    auto bytes = read_all(data_dir() + "/ragga.xm");
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(mod, nullptr);
    const int rate = 44100, beat = rate * 480 / 1000;  // 4 rows at 120 ms
    std::vector<float> buf(2 * 1024);
    float peak = 0;
    long clipped = 0, frames = 0, quiet_run = 0, longest_quiet = 0;
    // Sums of L*L, R*R and L*R over the piece and over each order.
    double ll = 0, rr = 0, lr = 0;
    std::vector<double> order_ll(32), order_rr(32), order_lr(32);
    // A channel with no note in a pattern must be quiet there after its first beat:
    // a note left ringing from the pattern before would hang over a whole section.
    const int channels = openmpt_module_get_num_channels(mod);
    auto empty = [&](int pattern, int ch) {
        for (int row = 0; row < openmpt_module_get_pattern_num_rows(mod, pattern); ++row)
            if (openmpt_module_get_pattern_row_channel_command(mod, pattern, row, ch, OPENMPT_MODULE_COMMAND_NOTE))
                return false;
        return true;
    };
    float hung = 0;
    for (;;) {
        int order = openmpt_module_get_current_order(mod);
        size_t n = openmpt_module_read_interleaved_float_stereo(mod, rate, 1024, buf.data());
        if (n == 0) break;
        ASSERT_TRUE(order >= 0 && order < 32);
        int now = openmpt_module_get_current_order(mod), pattern = openmpt_module_get_order_pattern(mod, now);
        if (now == order && openmpt_module_get_current_row(mod) >= 8)
            for (int ch = 0; ch < channels; ++ch)
                if (empty(pattern, ch)) hung = std::max(hung, openmpt_module_get_current_channel_vu_mono(mod, ch));
        for (size_t i = 0; i < n; ++i) {
            double l = buf[2 * i], r = buf[2 * i + 1];
            float m = std::max(std::fabs(buf[2 * i]), std::fabs(buf[2 * i + 1]));
            peak = std::max(peak, m);
            clipped += m >= 1.0f;
            quiet_run = m < 0.001f ? quiet_run + 1 : 0;
            longest_quiet = std::max(longest_quiet, quiet_run);
            ll += l * l, rr += r * r, lr += l * r;
            order_ll[order] += l * l, order_rr[order] += r * r, order_lr[order] += l * r;
        }
        frames += static_cast<long>(n);
    }
    openmpt_module_destroy(mod);
    ASSERT_GT(ll * rr, 0);
    double least_correlated_order = 1;
    for (int o = 0; o < 23; ++o)
        if (order_ll[o] * order_rr[o] > 0)
            least_correlated_order = std::min(least_correlated_order, order_lr[o] / std::sqrt(order_ll[o] * order_rr[o]));
    struct Figure {
        const char* what;
        double value, low, high;
    } const figures[] = {
        {"seconds (the piece should run well over two minutes)", frames / double(rate), 150, 1e9},
        {"peak, dBFS", 20 * std::log10(peak), -1.5, -0.5},
        {"clipped samples", double(clipped), 0, 0},
        {"correlation of left and right (1 is mono)", lr / std::sqrt(ll * rr), 0.5, 0.95},
        {"correlation in the least correlated order", least_correlated_order, 0.5, 0.95},
        {"left RMS over right RMS, dB", 10 * std::log10(ll / rr), -1, 1},
        {"longest silence, beats", longest_quiet / double(beat), 0, 0.999},
        {"loudest channel with nothing to play in its pattern (a hung note)", hung, 0, 0.001},
    };
    for (const Figure& f : figures) {
        EXPECT_GE(f.value, f.low) << f.what;
        EXPECT_LE(f.value, f.high) << f.what;
    }
}
