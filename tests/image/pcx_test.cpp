// PCX reader: files made by ImageMagick decode to exactly ImageMagick's pixels,
// hand-made files pin the run-length rules (odd-width padding, runs cut at row
// ends and carried across plane lines), and malformed files fail with their code.
#include "engine/image/pcx.h"

#include <string>
#include <vector>

#include "engine/io/gio.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"
#include "tests/image/image_fixtures.h"

using fixtures::Bytes;

namespace {

Bytes pixmap_rgb(const Pixmap* p)
{
    Bytes out;
    for (int y = 0; y < p->height; ++y) {
        for (int x = 0; x < p->width; ++x) {
            const uint8_t* px = reinterpret_cast<const uint8_t*>(&p->pixels[p->rows[y] + x]);
            out.insert(out.end(), px, px + 3);
            EXPECT_EQ(px[3], 0);
        }
    }
    return out;
}

// A version 5 header for an image of w x h with the given planes and line length.
Bytes header(int w, int h, int planes, int bytes_per_line, int version = 5, int bits = 8)
{
    Bytes b(128, 0);
    b[0] = 10;
    b[1] = static_cast<uint8_t>(version);
    b[2] = 1;
    b[3] = static_cast<uint8_t>(bits);
    b[8] = static_cast<uint8_t>(w - 1), b[9] = static_cast<uint8_t>((w - 1) >> 8);
    b[10] = static_cast<uint8_t>(h - 1), b[11] = static_cast<uint8_t>((h - 1) >> 8);
    b[65] = static_cast<uint8_t>(planes);
    b[66] = static_cast<uint8_t>(bytes_per_line), b[67] = static_cast<uint8_t>(bytes_per_line >> 8);
    return b;
}

// The palette marker and 256 entries: entry i is (i, 255 - i, i / 2).
void palette(Bytes& b)
{
    b.push_back(12);
    for (int i = 0; i < 256; ++i) {
        b.push_back(static_cast<uint8_t>(i));
        b.push_back(static_cast<uint8_t>(255 - i));
        b.push_back(static_cast<uint8_t>(i / 2));
    }
}

Bytes colour(int i) { return {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2)}; }

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Pixmap* load(const std::string& name, const Bytes& bytes)
{
    return pcx_load2pixmap(fixtures::write_file(name, bytes).c_str());
}

}  // namespace

TEST(PcxRead, FilesFromImageMagickDecodeExactly)
{
    struct Case {
        const char* name;
        const char* args;
        int planes;
    } cases[] = {
        {"palette-odd.pcx", "-size 37x23 plasma:fractal -colors 200 -type Palette", 1},
        {"palette-even.pcx", "-size 64x16 plasma:fractal -colors 256 -type Palette", 1},
        {"rgb-odd.pcx", "-size 37x23 plasma:fractal -type TrueColor", 3},
        {"rgb-even.pcx", "-size 100x41 gradient:red-blue -type TrueColor", 3},
        {"rgb-one.pcx", "-size 1x9 plasma:fractal -type TrueColor", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = fixtures::make(c.name, std::string("-seed 5 ") + c.args);
        Bytes bytes = fixtures::read_file(file);
        ASSERT_GT(bytes.size(), 128u);
        EXPECT_EQ(bytes[65], c.planes);  // the fixture is what it claims to be
        EXPECT_EQ(bytes[3], 8);
        Pixmap* p = pcx_load2pixmap(file.c_str());
        ASSERT_NE(p, nullptr) << pcx_error_string();
        EXPECT_EQ(p->flags, 0u);
        EXPECT_TRUE(pixmap_rgb(p) == fixtures::magick_rgb(file));
        pixmap_destroy(p);
    }
}

TEST(PcxRead, RunLengthRules)
{
    // Width 3 with the line padded to 4: after each row's 3 bytes one raw byte is
    // dropped (here 0xC7, which would be a run if it were decoded). A run longer
    // than the row is cut and the next row starts fresh; 0xC0 is a plain value.
    Bytes file = concat({header(3, 3, 1, 4),
                         {0xC5, 7, 0xC7},          // run of 5 cut to 3
                         {1, 0xC0, 3, 0xC7},       // 0xC0 stored as itself
                         {0xC1, 0xC1, 0xC2, 9, 0}, // a run of one 0xC1, then two 9s
                         {}});
    palette(file);
    Pixmap* p = load("rules1.pcx", file);
    ASSERT_NE(p, nullptr) << pcx_error_string();
    EXPECT_TRUE(pixmap_rgb(p) == concat({colour(7), colour(7), colour(7), colour(1), colour(0xC0), colour(3),
                                         colour(0xC1), colour(9), colour(9)}));
    pixmap_destroy(p);

    // Three planes: a run cut at the end of a plane line goes on into the next
    // plane line of the same row, but never into the next row.
    file = concat({header(2, 2, 3, 2),
                   {0xC3, 9, 5, 6, 7},              // red 9 9, green 9 5, blue 6 7
                   {0xC8, 4},                       // red 4 4, green 4 4, blue 4 4, 2 left over
                   {0xEE, 0xEE}});                  // trailing bytes after the image
    GioStream* s = gio_open(fixtures::write_file("rules3.pcx", file).c_str(), "rb");
    ASSERT_NE(s, nullptr);
    PcxImage* image = pcx_read(s);
    ASSERT_NE(image, nullptr) << pcx_error_string();
    EXPECT_EQ(image->type, PCX_TYPE_RGB);
    EXPECT_EQ(Bytes(image->data, image->data + 12), Bytes({9, 9, 6, 9, 5, 7, 4, 4, 4, 4, 4, 4}));
    // The stream is left just after the image data.
    EXPECT_EQ(gio_tell(s), 128 + 7);
    EXPECT_EQ(pcx_free(image), 1);
    gio_close(s);

    // Odd width, three planes, lines padded by one raw byte each.
    file = concat({header(1, 1, 3, 2), {10, 0xFF, 20, 0xFF, 30, 0xFF}});
    p = load("rules3-odd.pcx", file);
    ASSERT_NE(p, nullptr) << pcx_error_string();
    EXPECT_TRUE(pixmap_rgb(p) == Bytes({10, 20, 30}));
    pixmap_destroy(p);

    // A writer that states odd lines without padding is read by its stated length,
    // and one that pads wider has its padding decoded and dropped.
    file = concat({header(3, 2, 1, 3), {1, 2, 3, 0xC3, 4}});
    palette(file);
    p = load("unpadded.pcx", file);
    ASSERT_NE(p, nullptr) << pcx_error_string();
    EXPECT_TRUE(pixmap_rgb(p) == concat({colour(1), colour(2), colour(3), colour(4), colour(4), colour(4)}));
    pixmap_destroy(p);
    file = concat({header(2, 2, 1, 6), {1, 2, 0xC4, 0xAA, 0xC6, 5}});
    palette(file);
    p = load("wide-padding.pcx", file);
    ASSERT_NE(p, nullptr) << pcx_error_string();
    EXPECT_TRUE(pixmap_rgb(p) == concat({colour(1), colour(2), colour(5), colour(5)}));
    pixmap_destroy(p);
}

TEST(PcxRead, MalformedFilesFailWithTheirCode)
{
    Bytes good = concat({header(2, 2, 1, 2), {1, 2, 3, 4}});
    palette(good);
    Pixmap* p = load("good.pcx", good);
    ASSERT_NE(p, nullptr) << pcx_error_string();
    expect_detail(pcx_error_detail(), "", "");
    pixmap_destroy(p);

    struct Case {
        const char* name;
        Bytes bytes;
        const char* message;
        const char* detail;  // what pcx_error_detail names after the file
    };
    Bytes not_pcx = good;
    not_pcx[0] = 11;
    std::vector<Case> cases = {
        {"not-pcx.pcx", not_pcx, "[PCX]: Not a valid PCX-file.", "first byte 11, not 10"},
        {"version3.pcx", concat({header(2, 2, 1, 2, 3), {1, 2, 3, 4}}), "[PCX]: Unsupported version of fileformat.",
         "version 3 (only 5"},
        {"planes2.pcx", concat({header(2, 2, 2, 2), Bytes(8, 1)}), "[PCX]: Unsupported version of fileformat.",
         "2 plane(s) of 8 bits"},
        {"planes4.pcx", concat({header(2, 2, 4, 2), Bytes(16, 1)}), "[PCX]: Unsupported version of fileformat.",
         "4 plane(s) of 8 bits"},
        {"bits1.pcx", concat({header(8, 2, 1, 2, 5, 1), Bytes(4, 1)}), "[PCX]: Unsupported version of fileformat.",
         "1 plane(s) of 1 bits"},
        {"empty.pcx", {}, "[PCX]: Bad data or currupt file.", "shorter than the 128-byte header"},
        {"short-header.pcx", Bytes(good.begin(), good.begin() + 100), "[PCX]: Bad data or currupt file.", "128-byte header"},
        {"cut-data.pcx", Bytes(good.begin(), good.begin() + 130), "[PCX]: Bad data or currupt file.", "ends inside the image data"},
        {"cut-run.pcx", concat({header(2, 1, 3, 2), {1, 2, 3, 4, 0xC2}}), "[PCX]: Bad data or currupt file.", "ends inside the image data"},
        {"cut-palette.pcx", Bytes(good.begin(), good.end() - 10), "[PCX]: Bad data or currupt file.", "ends inside the palette"},
        {"wide.pcx", concat({header(16385, 1, 1, 16386), Bytes(20000, 1)}), "[PCX]: Not enough free memory.",
         "an image of 16385 x 1 is refused"},
        {"huge.pcx", concat({header(10000, 10000, 3, 10000), Bytes(64, 0xFF)}), "[PCX]: Not enough free memory.",
         "an image of 10000 x 10000 is refused"},
    };
    GmemStats before, after;
    gmem_stats(&before);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(load(c.name, c.bytes), nullptr);
        EXPECT_STREQ(pcx_error_string(), c.message);
        expect_detail(pcx_error_detail(), fixtures::path(c.name), c.detail);
    }
    EXPECT_EQ(pcx_load2pixmap(fixtures::path("missing.pcx").c_str()), nullptr);
    EXPECT_STREQ(pcx_error_string(), "[PCX]: File not found.");
    expect_detail(pcx_error_detail(), fixtures::path("missing.pcx"), "cannot be opened");
    EXPECT_EQ(pcx_read(nullptr), nullptr);
    EXPECT_STREQ(pcx_error_string(), "[PCX]: File not found.");
    expect_detail(pcx_error_detail(), "(stream)", "no stream");
    EXPECT_EQ(pcx_free(nullptr), 0);
    // Failed loads release everything they allocated.
    gmem_stats(&after);
    EXPECT_EQ(after.blocks, before.blocks);
}
