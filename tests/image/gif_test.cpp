// GIF reader: files made by ImageMagick decode to exactly ImageMagick's pixels
// (interlaced ones in stored row order), the trace is as documented, and malformed
// files fail with the right code and message.
#include "engine/image/gif.h"

#include <string>
#include <vector>

#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"
#include "tests/image/image_fixtures.h"

using fixtures::Bytes;

namespace {

// Pixels of a Pixmap as RGB bytes, rows in the Pixmap's order; also checks alpha.
Bytes pixmap_rgb(const Pixmap* p, uint8_t alpha)
{
    Bytes out;
    for (int y = 0; y < p->height; ++y) {
        for (int x = 0; x < p->width; ++x) {
            const uint8_t* px = reinterpret_cast<const uint8_t*>(&p->pixels[p->rows[y] + x]);
            out.insert(out.end(), px, px + 3);
            EXPECT_EQ(px[3], alpha);
        }
    }
    return out;
}

// The rows of an interlaced image in the order they are stored in the file.
Bytes interlaced_order(const Bytes& rgb, int width, int height)
{
    Bytes out;
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass])
            out.insert(out.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
    return out;
}

// LZW data for the indices using literal codes only, with the decoder's own
// code-size growth: a valid stream that does not depend on an encoder's choices.
Bytes lzw_literals(int min_size, const std::vector<int>& codes_in, bool clear_first = true,
                   bool end_code = true)
{
    std::vector<int> codes;
    int clear = 1 << min_size;
    if (clear_first) codes.push_back(clear);
    codes.insert(codes.end(), codes_in.begin(), codes_in.end());
    if (end_code) codes.push_back(clear + 1);

    Bytes packed;
    uint32_t acc = 0;
    int nbits = 0, size = min_size + 1, slot = clear + 2, top = 1 << size;
    bool first = true;
    for (int c : codes) {
        acc |= static_cast<uint32_t>(c) << nbits;
        nbits += size;
        while (nbits >= 8) {
            packed.push_back(static_cast<uint8_t>(acc));
            acc >>= 8;
            nbits -= 8;
        }
        if (c == clear) {
            size = min_size + 1, slot = clear + 2, top = 1 << size, first = true;
        } else if (first) {
            first = false;
        } else {
            if (slot < top) ++slot;
            if (slot >= top && size < 12) top <<= 1, ++size;
        }
    }
    if (nbits > 0) packed.push_back(static_cast<uint8_t>(acc));

    Bytes out = {static_cast<uint8_t>(min_size)};
    for (size_t i = 0; i < packed.size(); i += 255) {
        size_t n = std::min<size_t>(255, packed.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), packed.begin() + i, packed.begin() + i + n);
    }
    out.push_back(0);
    return out;
}

void put16(Bytes& b, int v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

// Header, logical screen and an optional 2-colour global table (black, white).
Bytes header(int w, int h, bool global = true)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    put16(b, w);
    put16(b, h);
    b.push_back(global ? 0x80 : 0x00);
    b.push_back(0);
    b.push_back(0);
    if (global) b.insert(b.end(), {0, 0, 0, 255, 255, 255});
    return b;
}

void image_descriptor(Bytes& b, int w, int h, int flags = 0)
{
    b.push_back(0x2C);
    put16(b, 0);
    put16(b, 0);
    put16(b, w);
    put16(b, h);
    b.push_back(static_cast<uint8_t>(flags));
}

}  // namespace

TEST(GifRead, FilesFromImageMagickDecodeExactly)
{
    struct Case {
        const char* name;
        const char* args;
        const char* format;  // ImageMagick's output format prefix
        const char* version;
        int colours;
        bool interlaced;
    } cases[] = {
        {"c256.gif", "-colors 256", "gif:", "89a", 256, false},
        {"c256-87.gif", "-colors 256", "gif87:", "87a", 256, false},
        {"c2.gif", "-resize 37x23! -colors 2", "gif:", "89a", 2, false},
        {"interlaced.gif", "-colors 64 -interlace GIF", "gif:", "89a", 64, true},
        {"interlaced-odd.gif", "-resize 13x11! -colors 16 -interlace GIF", "gif:", "89a", 16, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = fixtures::path(c.name);
        fixtures::run(std::string("convert -seed 3 -size 97x61 plasma:fractal ") + c.args + " '" + c.format +
                      file + "'");

        GifFile* g = gif_read(file.c_str());
        ASSERT_NE(g, nullptr) << gif_error_string();
        EXPECT_STREQ(g->version, c.version);
        EXPECT_EQ(g->global_colours, c.colours);
        ASSERT_EQ(g->image_count, 1);
        EXPECT_EQ((g->images[0]->flags & 0x40) != 0, c.interlaced);
        gif_free(g);

        Pixmap* p = gif_load2pixmap(file.c_str());
        ASSERT_NE(p, nullptr) << gif_error_string();
        EXPECT_EQ(p->flags, 0u);
        Bytes expect = fixtures::magick_rgb(file);
        ASSERT_EQ(expect.size(), static_cast<size_t>(p->width) * p->height * 3);
        if (c.interlaced) expect = interlaced_order(expect, p->width, p->height);
        EXPECT_TRUE(pixmap_rgb(p, 255) == expect);
        pixmap_destroy(p);
    }
    // The two versions of the format give the same picture.
    Pixmap* a = gif_load2pixmap(fixtures::path("c256.gif").c_str());
    Pixmap* b = gif_load2pixmap(fixtures::path("c256-87.gif").c_str());
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(pixmap_rgb(a, 255) == pixmap_rgb(b, 255));
    pixmap_destroy(a);
    pixmap_destroy(b);
}

TEST(GifRead, FramesWithLocalAndGlobalTables)
{
    // Frames of different sizes and colours: ImageMagick gives each its own table
    // unless it matches the first frame's.
    std::string file = fixtures::path("frames.gif");
    fixtures::run("convert -seed 1 -size 40x30 plasma:fractal -seed 2 -size 51x21 plasma:fractal "
                  "-size 33x33 gradient:yellow-blue -seed 4 -size 40x30 plasma:fractal "
                  "-colors 64 '" + file + "'");
    testing::internal::CaptureStdout();
    int count = 0;
    Pixmap** frames = gif_load_frames(file.c_str(), &count);
    std::string trace = testing::internal::GetCapturedStdout();
    ASSERT_NE(frames, nullptr) << gif_error_string();
    ASSERT_EQ(count, 4);
    EXPECT_NE(trace.find("[GIF] reading global palette with"), std::string::npos);
    EXPECT_NE(trace.find("[GIF] reading local palette with"), std::string::npos);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        Bytes expect = fixtures::magick_rgb(file + "[" + std::to_string(i) + "]");
        ASSERT_EQ(expect.size(), static_cast<size_t>(frames[i]->width) * frames[i]->height * 3);
        EXPECT_TRUE(pixmap_rgb(frames[i], 255) == expect);
        pixmap_destroy(frames[i]);
    }
    gmem_free(frames);

    // The single-image load takes the first frame.
    Pixmap* first = gif_load2pixmap(file.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width, 40);
    EXPECT_TRUE(pixmap_rgb(first, 255) == fixtures::magick_rgb(file + "[0]"));
    pixmap_destroy(first);
}

TEST(GifRead, TraceListsEveryBlock)
{
    Bytes b = header(2, 2);
    b.insert(b.end(), {0x21, 0xF9, 4, 0, 0, 0, 0, 0});                        // graphic control
    b.insert(b.end(), {0x21, 0xFF, 3, 'A', 'B', 'C', 2, 1, 0, 0});            // application
    b.insert(b.end(), {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 3, ' ', 'h', 'i', 0});
    b.push_back(0x99);                                                        // unknown block
    b.insert(b.end(), {0x21, 0x42});                                          // unknown label
    image_descriptor(b, 2, 2, 0x81);                                          // local, 4 colours
    b.insert(b.end(), {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120});
    Bytes data = lzw_literals(2, {3, 2, 1, 0});
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(0x3B);
    std::string file = fixtures::write_file("trace.gif", b);

    testing::internal::CaptureStdout();
    Pixmap* p = gif_load2pixmap(file.c_str());
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(trace,
              "[GIF] signature: 'GIF'\n"
              "[GIF] version: '89a'\n"
              "[GIF] (width,height) = (2,2)\n"
              "[GIF] reading global palette with 2 colors\n"
              "[GIF] skipping Graphical Control Extension\n"
              "[GIF] skipping Application / Plain Text Extension\n"
              "[GIF] printing Comment Extension\n"
              "hello hi\n"
              "[GIF] unknown type (0x99)\n"
              "[GIF] reading image\n"
              "[GIF] reading local palette with 4 colors\n"
              "[GIF] Finished reading\n");
    ASSERT_NE(p, nullptr) << gif_error_string();
    // The local table wins over the global one; every entry gets 255 as its fourth byte.
    EXPECT_TRUE(pixmap_rgb(p, 255) == Bytes({100, 110, 120, 70, 80, 90, 40, 50, 60, 10, 20, 30}));
    pixmap_destroy(p);
}

TEST(GifRead, DataEdgeCasesThatStillLoad)
{
    // Image data closed by its block terminator without an end code (the codes
    // fill whole bytes, so no padding bits read as one more code).
    Bytes b = header(4, 1);
    image_descriptor(b, 4, 1);
    Bytes data = lzw_literals(2, {1, 0, 1, 0}, true, false);
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(0x3B);
    Pixmap* p = gif_load2pixmap(fixtures::write_file("no-end-code.gif", b).c_str());
    ASSERT_NE(p, nullptr) << gif_error_string();
    EXPECT_TRUE(pixmap_rgb(p, 255) == Bytes({255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0}));
    pixmap_destroy(p);

    // Data without a leading clear code, and a 9-bit minimum code size.
    b = header(2, 1);
    image_descriptor(b, 2, 1);
    data = lzw_literals(9, {1, 1}, false);
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(0x3B);
    p = gif_load2pixmap(fixtures::write_file("size9.gif", b).c_str());
    ASSERT_NE(p, nullptr) << gif_error_string();
    EXPECT_TRUE(pixmap_rgb(p, 255) == Bytes({255, 255, 255, 255, 255, 255}));
    pixmap_destroy(p);
}

TEST(GifRead, MalformedFilesFailWithTheirCode)
{
    struct Case {
        const char* name;
        Bytes bytes;
        const char* message;
        const char* detail = "";  // what gif_error_detail names after the file
    };
    std::vector<Case> cases;
    auto with_image = [](Bytes b, int w, int h, const Bytes& data, bool trailer = true) {
        image_descriptor(b, w, h);
        b.insert(b.end(), data.begin(), data.end());
        if (trailer) b.push_back(0x3B);
        return b;
    };
    Bytes good = with_image(header(2, 2), 2, 2, lzw_literals(2, {0, 1, 1, 0}));

    cases.push_back({"empty.gif", {}, "[GIF] Not a gif file", "starts with '', not 'GIF'"});
    Bytes bad_sig = good;
    bad_sig[2] = 'X';
    cases.push_back({"signature.gif", bad_sig, "[GIF] Not a gif file", "starts with 'GIX', not 'GIF'"});
    Bytes size1 = with_image(header(2, 2), 2, 2, lzw_literals(2, {0, 1, 1, 0}));
    size1[header(2, 2).size() + 10] = 1;  // the minimum code size byte
    cases.push_back({"codesize1.gif", size1, "[GIF] Image data corrupt", "LZW minimum code size 1 (2 to 9"});
    Bytes size10 = size1;
    size10[header(2, 2).size() + 10] = 10;
    cases.push_back({"codesize10.gif", size10, "[GIF] Image data corrupt", "LZW minimum code size 10 (2 to 9"});
    cases.push_back({"no-trailer.gif", with_image(header(2, 2), 2, 2, lzw_literals(2, {0, 1, 1, 0}), false),
                     "[GIF] Image data corrupt", "ends before its trailer"});
    cases.push_back({"cut-data.gif", Bytes(good.begin(), good.begin() + static_cast<long>(good.size()) - 4),
                     "[GIF] Image data corrupt", "LZW data of a 2 x 2 image ends early"});
    cases.push_back({"cut-header.gif", Bytes(good.begin(), good.begin() + 8), "[GIF] Image data corrupt",
                     "ends inside its screen descriptor"});
    // More indices than the image holds.
    cases.push_back({"overflow.gif", with_image(header(2, 2), 2, 2, lzw_literals(2, {0, 1, 1, 0, 1})),
                     "[GIF] Image data corrupt", "runs past it"});
    cases.push_back({"zero-width.gif", with_image(header(2, 2), 0, 2, lzw_literals(2, {})),
                     "[GIF] Image data corrupt", "has no pixels"});
    // Sizes no file of this length could describe, refused before allocating.
    cases.push_back({"wide.gif", with_image(header(2, 2), 16385, 1, lzw_literals(2, {0})),
                     "[GIF] Out of memory", "an image of 16385 x 1 is refused"});
    cases.push_back({"huge.gif", with_image(header(2, 2), 16000, 16000, lzw_literals(2, {0})),
                     "[GIF] Out of memory", "an image of 16000 x 16000 is refused"});
    Bytes no_palette = with_image(header(2, 2, false), 2, 2, lzw_literals(2, {0, 1, 1, 0}));
    cases.push_back({"no-palette.gif", no_palette, "[GIF] No image palette present", "no local colour table"});
    Bytes no_images = header(2, 2);
    no_images.insert(no_images.end(), {0x21, 0xF9, 4, 0, 0, 0, 0, 0, 0x3B});
    cases.push_back({"no-images.gif", no_images, "[GIF] No images", "but no image"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = fixtures::write_file(c.name, c.bytes);
        testing::internal::CaptureStdout();
        Pixmap* p = gif_load2pixmap(file.c_str());
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(p, nullptr);
        EXPECT_STREQ(gif_error_string(), c.message);
        expect_detail(gif_error_detail(), file, c.detail);
        pixmap_destroy(p);
    }

    GmemStats before, after;
    gmem_stats(&before);
    EXPECT_EQ(gif_load2pixmap(fixtures::path("missing.gif").c_str()), nullptr);
    EXPECT_STREQ(gif_error_string(), "[GIF] No such file");
    expect_detail(gif_error_detail(), fixtures::path("missing.gif"), "cannot be opened");
    int count = 7;
    testing::internal::CaptureStdout();
    EXPECT_EQ(gif_load_frames(fixtures::write_file("overflow.gif", cases[7].bytes).c_str(), &count), nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(gif_error_string(), "[GIF] Image data corrupt");
    // Failed loads release everything they allocated.
    gmem_stats(&after);
    EXPECT_EQ(after.blocks, before.blocks);
}
