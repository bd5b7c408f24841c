// JPEG loader and writer: files made by ImageMagick decode exactly as the JPEG
// library decodes them itself, failures carry the right code and message, and a
// saved Pixmap comes back within the coding loss.
#include "engine/image/jpeg.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"
#include "tests/image/image_fixtures.h"

using fixtures::Bytes;

namespace {

struct Decoded {
    bool ok = false;
    int width = 0, height = 0, components = 0;
    bool progressive = false;
    Bytes rgb;
};

struct RefError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void ref_error_exit(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<RefError*>(cinfo->err)->jump, 1);
}

// The library's own decode of the bytes, from memory, as RGB.
Decoded library_decode(const Bytes& data)
{
    Decoded out;
    jpeg_decompress_struct cinfo;
    RefError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ref_error_exit;
    err.pub.output_message = [](j_common_ptr) {};
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Decoded{};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    out.components = cinfo.num_components;
    out.progressive = cinfo.progressive_mode;
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + static_cast<size_t>(cinfo.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    out.ok = true;
    return out;
}

// Every pixel equals the reference decode, with 0 in the fourth byte.
void expect_pixels(const Pixmap* p, const Decoded& ref)
{
    ASSERT_TRUE(ref.ok);
    ASSERT_EQ(p->width, ref.width);
    ASSERT_EQ(p->height, ref.height);
    int wrong = 0;
    for (int y = 0; y < p->height; ++y) {
        for (int x = 0; x < p->width; ++x) {
            const uint8_t* px = reinterpret_cast<const uint8_t*>(&p->pixels[p->rows[y] + x]);
            const uint8_t* r = &ref.rgb[(static_cast<size_t>(y) * ref.width + x) * 3];
            if (px[0] != r[0] || px[1] != r[1] || px[2] != r[2] || px[3] != 0) {
                if (++wrong <= 5)
                    ADD_FAILURE() << "pixel (" << x << "," << y << ") differs";
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

std::string plasma(const std::string& name, const std::string& extra)
{
    return fixtures::make(name, "-seed 7 -size 97x61 plasma:fractal " + extra);
}

}  // namespace

TEST(JpegLoad, FilesFromImageMagickDecodeAsTheLibraryDecodesThem)
{
    struct Case {
        const char* name;
        const char* args;
        int components;
        bool progressive;
    } cases[] = {
        {"baseline.jpg", "-quality 85", 3, false},
        {"progressive.jpg", "-interlace JPEG -quality 90", 3, true},
        {"grey.jpg", "-colorspace Gray", 1, false},
        {"odd444.jpg", "-resize 33x17! -sampling-factor 1x1 -quality 100", 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = plasma(c.name, c.args);
        Decoded ref = library_decode(fixtures::read_file(file));
        ASSERT_TRUE(ref.ok);
        EXPECT_EQ(ref.components, c.components);  // the fixture is what it claims to be
        EXPECT_EQ(ref.progressive, c.progressive);
        Pixmap* p = jpeg_load2pixmap(file.c_str());
        ASSERT_NE(p, nullptr) << jpeg_error_string();
        EXPECT_EQ(p->flags, PIXMAP_CLEAR);
        EXPECT_EQ(p->zbuffer, nullptr);
        expect_pixels(p, ref);
        if (c.components == 1) {
            const uint8_t* px = reinterpret_cast<const uint8_t*>(&p->pixels[p->rows[30] + 50]);
            EXPECT_TRUE(px[0] == px[1] && px[1] == px[2]);
        }
        pixmap_destroy(p);
    }
}

TEST(JpegLoad, LoadPixelsHandsOverOnlyThePixelPlane)
{
    std::string file = plasma("pixels.jpg", "");
    Pixmap* p = jpeg_load2pixmap(file.c_str());
    ASSERT_NE(p, nullptr);

    GmemStats before, after;
    gmem_stats(&before);
    int w = 0, h = 0;
    uint32_t* pixels = jpeg_load_pixels(file.c_str(), &w, &h);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w, 97);
    EXPECT_EQ(h, 61);
    EXPECT_EQ(std::memcmp(pixels, p->pixels, static_cast<size_t>(w) * h * 4), 0);
    // Releasing the pixels as the header says returns every block the load made.
    EXPECT_EQ(gmem_free(pixels), 1);
    gmem_stats(&after);
    EXPECT_EQ(after.blocks, before.blocks);
    EXPECT_EQ(after.bytes, before.bytes);
    pixmap_destroy(p);

    EXPECT_EQ(jpeg_load_pixels(fixtures::path("missing.jpg").c_str(), &w, &h), nullptr);
}

TEST(JpegLoad, FailuresGiveNullAndSayWhy)
{
    EXPECT_EQ(jpeg_load2pixmap(fixtures::path("no-such-file.jpg").c_str()), nullptr);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: Unable to open file!");
    expect_detail(jpeg_error_detail(), fixtures::path("no-such-file.jpg"), "cannot be opened for reading");

    // Not a JPEG: the library refuses it in the header and its message is passed on.
    std::string gif = fixtures::make("not-a-jpeg.gif", "-size 8x8 xc:red");
    EXPECT_EQ(jpeg_load2pixmap(gif.c_str()), nullptr);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: Not a JPEG file: starts with 0x47 0x49");
    expect_detail(jpeg_error_detail(), gif, "Not a JPEG file");

    // A colour space the library cannot turn into RGB.
    std::string cmyk = plasma("cmyk.jpg", "-colorspace CMYK");
    EXPECT_EQ(jpeg_load2pixmap(cmyk.c_str()), nullptr);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: Unsupported color conversion request");

    std::string empty = fixtures::write_file("empty.jpg", {});
    EXPECT_EQ(jpeg_load2pixmap(empty.c_str()), nullptr);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: Empty input file");

    // A size beyond the loader's bound is refused before anything is allocated.
    Bytes big = fixtures::read_file(plasma("big.jpg", ""));
    size_t sof = 0;
    for (size_t i = 2; i + 8 < big.size(); ++i)
        if (big[i] == 0xFF && big[i + 1] == 0xC0) { sof = i; break; }
    ASSERT_NE(sof, 0u);
    big[sof + 5] = 20000 >> 8, big[sof + 6] = 20000 & 0xFF;  // height
    big[sof + 7] = 20000 >> 8, big[sof + 8] = 20000 & 0xFF;  // width
    std::string huge = fixtures::write_file("huge.jpg", big);
    EXPECT_EQ(jpeg_load2pixmap(huge.c_str()), nullptr);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: Image too large (20000 x 20000)");

    // A successful load clears the code.
    Pixmap* p = jpeg_load2pixmap(fixtures::path("big.jpg").c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: No error!");
    expect_detail(jpeg_error_detail(), "", "");
    pixmap_destroy(p);
}

TEST(JpegLoad, FileCutShortInsideTheScanStillLoads)
{
    Bytes whole = fixtures::read_file(plasma("whole.jpg", "-quality 95"));
    Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 2 / 3));
    std::string file = fixtures::write_file("cut.jpg", cut);
    Pixmap* p = jpeg_load2pixmap(file.c_str());
    ASSERT_NE(p, nullptr) << jpeg_error_string();
    // The library's own decode of the same bytes also ends on a supplied end marker.
    expect_pixels(p, library_decode(cut));
    // The first rows match the whole file's decode.
    Decoded full = library_decode(whole);
    const uint8_t* px = reinterpret_cast<const uint8_t*>(&p->pixels[0]);
    EXPECT_EQ(px[0], full.rgb[0]);
    EXPECT_EQ(px[1], full.rgb[1]);
    EXPECT_EQ(px[2], full.rgb[2]);
    pixmap_destroy(p);
}

// A smooth picture, its three channels running in different directions.
static Pixmap* test_picture(int w, int h)
{
    Pixmap* p = pixmap_create(w, h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* px = reinterpret_cast<uint8_t*>(&p->pixels[p->rows[y] + x]);
            px[0] = static_cast<uint8_t>(x * 255 / (w - 1));
            px[1] = static_cast<uint8_t>(y * 255 / (h - 1));
            px[2] = static_cast<uint8_t>((x + y) * 255 / (w + h - 2));
            px[3] = 0x5A;  // dropped by the writer
        }
    }
    return p;
}

TEST(JpegSave, RoundTripStaysWithinTheCodingLoss)
{
    Pixmap* src = test_picture(160, 96);
    std::string file = fixtures::path("saved.jpg");
    ASSERT_EQ(jpeg_save_pixmap(file.c_str(), src, 95), 1) << jpeg_error_string();

    Bytes data = fixtures::read_file(file);
    Decoded ref = library_decode(data);
    ASSERT_TRUE(ref.ok);
    EXPECT_EQ(ref.components, 3);
    EXPECT_FALSE(ref.progressive);

    Pixmap* back = jpeg_load2pixmap(file.c_str());
    ASSERT_NE(back, nullptr);
    expect_pixels(back, ref);

    // Tolerance: at quality 95 the quantiser steps of the low frequencies that carry
    // a ramp are 1-2 levels, the colour conversion each way rounds by up to 1, and
    // 2x2 chroma averaging of linear ramps is exact but for rounding. So a few
    // levels at worst and under one on average (measured: 0.53 and 3); a lost or
    // swapped channel or a shifted row would be off by tens of levels.
    double sum = 0;
    int worst = 0;
    for (int i = 0; i < 160 * 96; ++i) {
        const uint8_t* a = reinterpret_cast<const uint8_t*>(&src->pixels[i]);
        const uint8_t* b = reinterpret_cast<const uint8_t*>(&back->pixels[i]);
        for (int c = 0; c < 3; ++c) {
            int d = std::abs(a[c] - b[c]);
            sum += d;
            if (d > worst) worst = d;
        }
    }
    double mean = sum / (160 * 96 * 3);
    EXPECT_LT(mean, 1.0);
    EXPECT_LE(worst, 6);
    pixmap_destroy(back);
    pixmap_destroy(src);
}

TEST(JpegSave, FailuresReturnZeroAndTheProgramGoesOn)
{
    Pixmap* src = test_picture(256, 256);
    EXPECT_EQ(jpeg_save_pixmap(fixtures::path("no/such/dir/x.jpg").c_str(), src, 90), 0);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: Unable to open file!");
    expect_detail(jpeg_error_detail(), fixtures::path("no/such/dir/x.jpg"), "cannot be opened for writing");

    // A device that takes no bytes: the library's write error comes back as a failure.
    EXPECT_EQ(jpeg_save_pixmap("/dev/full", src, 100), 0);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: Output file write error --- out of disk space?");
    expect_detail(jpeg_error_detail(), "/dev/full", "Output file write error");

    EXPECT_EQ(jpeg_save_pixmap(fixtures::path("null.jpg").c_str(), nullptr, 90), 0);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: No image to save");

    // And the module still works afterwards.
    EXPECT_EQ(jpeg_save_pixmap(fixtures::path("after.jpg").c_str(), src, 90), 1);
    EXPECT_STREQ(jpeg_error_string(), "[JPEG]: No error!");
    pixmap_destroy(src);
}
