// pixmap_save_png: what it writes read back through the PNG library's own reader
// (RGB, or RGBA for a PIXMAP_ALPHA Pixmap), and the saves that fail: code,
// message, the file named, nothing left behind.
#include "engine/fx/fx.h"
#include "engine/pixmap/pixmap.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Read {
    bool ok;
    uint32_t format;  // PNG_FORMAT_RGB or PNG_FORMAT_RGBA as the file says
    int32_t width, height;
    std::vector<uint8_t> bytes;  // as the file holds them
};

Read read_png(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {false, 0, 0, 0, {}};
    const uint32_t format = image.format;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr) != 0;
    return {ok, format, int32_t(image.width), int32_t(image.height), bytes};
}

std::string scratch(const char* name) { return std::string(TAVIK_BINARY_DIR) + "/fx_png_" + name; }

}  // namespace

TEST(PixmapSavePng, RoundTripsThroughTheLibrarysReader)
{
    std::mt19937 rng(1);
    for (uint32_t flags : {0u, uint32_t(PIXMAP_ALPHA), uint32_t(PIXMAP_ZBUFFER | PIXMAP_ALPHA)}) {
        for (auto size : {std::pair{1, 1}, std::pair{7, 5}, std::pair{320, 3}}) {
            Pixmap* p = pixmap_create(size.first, size.second, flags);
            ASSERT_NE(p, nullptr);
            for (int32_t i = 0; i < p->width * p->height; ++i) p->pixels[i] = uint32_t(rng());
            const std::string path = scratch("round_trip.png");
            ASSERT_EQ(pixmap_save_png(p, path.c_str()), 1) << fx_error_string();
            EXPECT_STREQ(fx_error_detail(), "");
            const Read r = read_png(path);
            ASSERT_TRUE(r.ok);
            const bool alpha = flags & PIXMAP_ALPHA;
            EXPECT_EQ(r.format, alpha ? uint32_t(PNG_FORMAT_RGBA) : uint32_t(PNG_FORMAT_RGB));
            EXPECT_EQ(r.width, p->width);
            EXPECT_EQ(r.height, p->height);
            const int n = alpha ? 4 : 3;
            ASSERT_EQ(r.bytes.size(), size_t(p->width) * p->height * n);
            for (int32_t i = 0; i < p->width * p->height; ++i)
                ASSERT_EQ(std::memcmp(&r.bytes[size_t(i) * n], &p->pixels[i], n), 0)
                    << "pixel " << i << " of " << p->width << "x" << p->height << " flags " << flags;
            pixmap_destroy(p);
            unlink(path.c_str());
        }
    }
}

TEST(PixmapSavePng, FailuresGiveZeroTheMessageAndTheFile)
{
    Pixmap* p = pixmap_create(4, 4, PIXMAP_CLEAR);
    ASSERT_NE(p, nullptr);
    const std::string absent = scratch("no_such_folder/frame.png");
    struct Case {
        const char* name;
        const Pixmap* pixmap;
        std::string path;
        int code;
        const char* message;
    } cases[] = {
        {"no Pixmap", nullptr, scratch("none.png"), FX_ERROR_PIXMAP, "[FX] No picture to save"},
        {"a folder that does not exist", p, absent, FX_ERROR_OPEN, "[FX] Unable to open file for writing"},
        {"a folder in place of the file", p, std::string(TAVIK_BINARY_DIR), FX_ERROR_OPEN,
         "[FX] Unable to open file for writing"},
        {"a full disk", p, "/dev/full", FX_ERROR_WRITE, "[FX] Unable to write file"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pixmap_save_png(c.pixmap, c.path.c_str()), 0) << c.name;
        EXPECT_STREQ(fx_error_string(), c.message) << c.name;
        EXPECT_EQ(fx_error_detail(), c.path) << c.name;
        EXPECT_STREQ(fx_error_string(), c.message) << c.name << ": reading the message keeps the code";
    }
    EXPECT_EQ(access(absent.c_str(), F_OK), -1);
    EXPECT_EQ(access("/dev/full", F_OK), 0) << "a device that refused the file is not removed";

    // A regular file the disk has no room for (a file-size limit of 64 bytes):
    // the part that was written is removed.
    Pixmap* noise = pixmap_create(64, 64, 0);
    ASSERT_NE(noise, nullptr);
    std::mt19937 rng(2);
    for (int32_t i = 0; i < 64 * 64; ++i) noise->pixels[i] = uint32_t(rng());
    const std::string cut = scratch("cut.png");
    rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 64;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int saved = pixmap_save_png(noise, cut.c_str());
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(saved, 0);
    EXPECT_STREQ(fx_error_string(), "[FX] Unable to write file");
    EXPECT_EQ(fx_error_detail(), cut);
    EXPECT_EQ(access(cut.c_str(), F_OK), -1) << "the cut file is left behind";
    pixmap_destroy(noise);

    // A success after a failure clears both.
    const std::string good = scratch("after_failure.png");
    EXPECT_EQ(pixmap_save_png(p, good.c_str()), 1);
    EXPECT_STREQ(fx_error_string(), "[FX] No error");
    EXPECT_STREQ(fx_error_detail(), "");
    unlink(good.c_str());
    pixmap_destroy(p);
}
