// GIF reader: header, colour tables, extension and image blocks read through a
// GIO stream with a trace on standard output, a variable-length-code LZW decoder,
// and the conversion of decoded images into Pixmaps.
#include "engine/image/gif.h"

#include <cstdio>
#include <cstring>

#include "engine/image/detail.h"
#include "engine/io/gio.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"

// ---- types ----------------------------------------------------------------

constexpr int GIF_MAX_CODE_SIZE = 12;
constexpr int GIF_TABLE_SIZE = 1 << GIF_MAX_CODE_SIZE;

// The most pixels one byte of LZW data can describe: a code of k bits names a
// string of at most 2^k pixels, so 8 * 4096 / 12 (about 2731) per byte at best.
// Images that together claim more than this per byte of the whole file cannot
// be real and are refused before anything is allocated.
constexpr int64_t GIF_PIXELS_PER_BYTE = 4096;

// The decoder's result besides a decoded image: the data ended without an end
// code (its block terminator already read), or the data was corrupt.
enum : int {
    GIF_LZW_END = 0,         // end code seen
    GIF_LZW_TERMINATED = 1,  // zero-length sub-block seen before an end code
    GIF_LZW_CORRUPT = -1,
};

// Codes from the bit reader besides real codes.
enum : int {
    GIF_CODE_EOF = -1,         // the file ended inside the data
    GIF_CODE_TERMINATOR = -2,  // a zero-length sub-block
};

// LZW decoder state, set up per image.
struct GifLzw {
    int min_size;    // the image's minimum code size byte, for the detail line
    int code_size;   // bits per code now, at most 12
    int clear_code;
    int end_code;
    int first_free;  // first code that names a table entry
    int slot;        // next table entry to fill
    int top_slot;    // 2^code_size: the code size grows when slot reaches it
    int bits_left;   // bits held in `bits`
    uint32_t bits;   // bits not yet taken, low bit first
    int block_left;  // bytes left in the current sub-block
    int block_pos;
    uint8_t block[257];
    uint8_t stack[GIF_TABLE_SIZE];
    uint8_t suffix[GIF_TABLE_SIZE];
    uint16_t prefix[GIF_TABLE_SIZE];
};

// ---- module state ---------------------------------------------------------

static int gif_error = GIF_ERROR_NONE;
static ImageDetail gif_detail;
static GifLzw gif_lzw;

static const uint16_t gif_code_mask[GIF_MAX_CODE_SIZE + 1] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F,
    0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF,
};

// ---- private helpers ------------------------------------------------------

// Sets the code and the detail line's cause.
static void gif_fail(int code, const char* cause)
{
    gif_error = code;
    image_detail_fail(&gif_detail, "%s", cause);
}


// One byte, or -1 at the end of the data.
static int gif_get8(GioStream* s)
{
    uint8_t b;
    return gio_read(&b, 1, 1, s) == 1 ? b : -1;
}

// A little-endian 16-bit number, or -1 at the end of the data.
static int gif_get16(GioStream* s)
{
    uint8_t b[2];
    return gio_read(b, 1, 2, s) == 2 ? b[0] | (b[1] << 8) : -1;
}

// Reads `count` red, green, blue triples into a palette; fourth byte 255.
static bool gif_read_palette(GioStream* s, uint8_t palette[256][4], int count)
{
    uint8_t rgb[256 * 3];
    if (gio_read(rgb, 3, count, s) != count) return false;
    for (int i = 0; i < count; ++i) {
        palette[i][0] = rgb[i * 3];
        palette[i][1] = rgb[i * 3 + 1];
        palette[i][2] = rgb[i * 3 + 2];
        palette[i][3] = 255;
    }
    return true;
}

// Skips sub-blocks up to and including the zero-length one.
static bool gif_skip_blocks(GioStream* s)
{
    uint8_t data[255];
    for (;;) {
        int n = gif_get8(s);
        if (n < 0) return false;
        if (n == 0) return true;
        if (gio_read(data, 1, n, s) != n) return false;
    }
}

static void gif_free_image(GifImage* image)
{
    if (!image) return;
    if (image->indices) gmem_free(image->indices);
    gmem_free(image);
}

// The next code, low bit first, from the data sub-blocks.
static int gif_get_code(GioStream* s)
{
    GifLzw& z = gif_lzw;
    while (z.bits_left < z.code_size) {
        if (z.block_left == 0) {
            int n = gif_get8(s);
            if (n < 0) return GIF_CODE_EOF;
            if (n == 0) return GIF_CODE_TERMINATOR;
            if (gio_read(z.block, 1, n, s) != n) return GIF_CODE_EOF;
            z.block_left = n;
            z.block_pos = 0;
        }
        z.bits |= static_cast<uint32_t>(z.block[z.block_pos++]) << z.bits_left;
        z.bits_left += 8;
        --z.block_left;
    }
    int code = static_cast<int>(z.bits & gif_code_mask[z.code_size]);
    z.bits >>= z.code_size;
    z.bits_left -= z.code_size;
    return code;
}

// Decodes one image's LZW data into `out`, never past `total` indices.
static int gif_decode(GioStream* s, uint8_t* out, uint32_t total)
{
    GifLzw& z = gif_lzw;
    int min_size = gif_get8(s);
    z.min_size = min_size;
    if (min_size < 2 || min_size > 9) return GIF_LZW_CORRUPT;

    z.code_size = min_size + 1;
    z.top_slot = 1 << z.code_size;
    z.clear_code = 1 << min_size;
    z.end_code = z.clear_code + 1;
    z.first_free = z.slot = z.clear_code + 2;
    z.bits_left = 0;
    z.bits = 0;
    z.block_left = 0;
    z.block_pos = 0;

    uint32_t pos = 0;
    int old_code = 0;
    int first_char = 0;
    for (;;) {
        int c = gif_get_code(s);
        if (c == GIF_CODE_EOF) return GIF_LZW_CORRUPT;
        if (c == GIF_CODE_TERMINATOR) return GIF_LZW_TERMINATED;
        if (c == z.end_code) return GIF_LZW_END;

        if (c == z.clear_code) {
            z.code_size = min_size + 1;
            z.slot = z.first_free;
            z.top_slot = 1 << z.code_size;
            do {
                c = gif_get_code(s);
            } while (c == z.clear_code);
            if (c == GIF_CODE_EOF) return GIF_LZW_CORRUPT;
            if (c == GIF_CODE_TERMINATOR) return GIF_LZW_TERMINATED;
            if (c == z.end_code) return GIF_LZW_END;
            if (c >= z.slot) c = 0;
            if (pos >= total) return GIF_LZW_CORRUPT;
            out[pos++] = static_cast<uint8_t>(c);
            old_code = first_char = c;
            continue;
        }

        // Walk the string of the code back to its first character on the stack.
        int sp = 0;
        int code = c;
        if (code >= z.slot) {
            z.stack[sp++] = static_cast<uint8_t>(first_char);
            code = old_code;
        }
        while (code >= z.first_free) {
            // Only corrupt tables chain longer than the table itself.
            if (sp >= GIF_TABLE_SIZE - 1) return GIF_LZW_CORRUPT;
            z.stack[sp++] = z.suffix[code];
            code = z.prefix[code];
        }
        z.stack[sp++] = static_cast<uint8_t>(code);
        if (z.slot < z.top_slot) {
            first_char = code;
            z.suffix[z.slot] = static_cast<uint8_t>(code);
            z.prefix[z.slot] = static_cast<uint16_t>(old_code);
            ++z.slot;
            old_code = c;
        }
        if (z.slot >= z.top_slot && z.code_size < GIF_MAX_CODE_SIZE) {
            z.top_slot <<= 1;
            ++z.code_size;
        }
        if (static_cast<uint32_t>(sp) > total - pos) return GIF_LZW_CORRUPT;
        while (sp > 0) out[pos++] = z.stack[--sp];
    }
}

// Reads one image after its ',' separator. `budget` is the number of pixels the
// rest of the file can still describe; the image's pixels are taken from it.
static GifImage* gif_read_image(GioStream* s, int64_t* budget)
{
    GifImage* image = static_cast<GifImage*>(gmem_alloc(sizeof(GifImage)));
    if (!image) {
        gif_fail(GIF_ERROR_MEMORY, "no memory for an image record");
        return nullptr;
    }
    image->indices = nullptr;
    int left = gif_get16(s);
    int top = gif_get16(s);
    int width = gif_get16(s);
    int height = gif_get16(s);
    int flags = gif_get8(s);
    if (left < 0 || top < 0 || width < 0 || height < 0 || flags < 0 || width == 0 || height == 0) {
        gif_free_image(image);
        gif_fail(GIF_ERROR_CORRUPT, "an image descriptor is cut short or has no pixels");
        return nullptr;
    }
    int64_t pixels = static_cast<int64_t>(width) * height;
    if (width > GIF_MAX_SIDE || height > GIF_MAX_SIDE || pixels > *budget) {
        gif_free_image(image);
        gif_error = GIF_ERROR_MEMORY;
        image_detail_fail(&gif_detail, "an image of %d x %d is refused (sides up to %d, and no more pixels than the file's size can describe)",
                          width, height, GIF_MAX_SIDE);
        return nullptr;
    }
    *budget -= pixels;
    image->indices = static_cast<uint8_t*>(gmem_alloc(static_cast<uint32_t>(pixels)));
    if (!image->indices) {
        gif_free_image(image);
        gif_error = GIF_ERROR_MEMORY;
        image_detail_fail(&gif_detail, "no memory for an image of %d x %d", width, height);
        return nullptr;
    }
    image->local_colours = 0;
    if (flags & 0x80) {
        int count = 1 << ((flags & 7) + 1);
        std::printf("[GIF] reading local palette with %d colors\n", count);
        if (!gif_read_palette(s, image->local_palette, count)) {
            gif_free_image(image);
            gif_fail(GIF_ERROR_CORRUPT, "the file ends inside a local palette");
            return nullptr;
        }
        image->local_colours = count;
    }
    int result = gif_decode(s, image->indices, static_cast<uint32_t>(pixels));
    // After an end code the data's remaining sub-blocks and terminator are passed over.
    if (result == GIF_LZW_CORRUPT || (result == GIF_LZW_END && !gif_skip_blocks(s))) {
        gif_free_image(image);
        gif_error = GIF_ERROR_CORRUPT;
        if (gif_lzw.min_size < 2 || gif_lzw.min_size > 9)
            image_detail_fail(&gif_detail, "LZW minimum code size %d (2 to 9 allowed)", gif_lzw.min_size);
        else
            image_detail_fail(&gif_detail, "the LZW data of a %d x %d image ends early or runs past it", width,
                              height);
        return nullptr;
    }
    image->left = left;
    image->top = top;
    image->width = width;
    image->height = height;
    image->flags = static_cast<uint8_t>(flags);
    return image;
}

// Reads the blocks after the header up to the trailer. False with the code set.
static bool gif_read_blocks(GioStream* s, GifFile* file, int64_t budget)
{
    for (;;) {
        int type = gif_get8(s);
        if (type < 0) {
            gif_fail(GIF_ERROR_CORRUPT, "the file ends before its trailer (';')");
            return false;
        }
        if (type == 0x3B) {
            std::printf("[GIF] Finished reading\n");
            return true;
        }
        if (type == 0x21) {
            int label = gif_get8(s);
            bool ok = label >= 0;
            if (label == 0xF9) {
                std::printf("[GIF] skipping Graphical Control Extension\n");
                ok = gif_skip_blocks(s);
            } else if (label == 0x01 || label == 0xFF) {
                std::printf("[GIF] skipping Application / Plain Text Extension\n");
                ok = gif_skip_blocks(s);
            } else if (label == 0xFE) {
                std::printf("[GIF] printing Comment Extension\n");
                uint8_t text[255];
                for (;;) {
                    int n = gif_get8(s);
                    if (n <= 0) {
                        ok = n == 0;
                        break;
                    }
                    if (gio_read(text, 1, n, s) != n) {
                        ok = false;
                        break;
                    }
                    for (int i = 0; i < n; ++i) std::printf("%c", text[i]);
                }
                std::printf("\n");
            }
            if (!ok) {
                gif_fail(GIF_ERROR_CORRUPT, "the file ends inside an extension block");
                return false;
            }
        } else if (type == 0x2C) {
            std::printf("[GIF] reading image\n");
            GifImage* image = gif_read_image(s, &budget);
            if (!image) return false;
            GifImage** grown = static_cast<GifImage**>(
                gmem_realloc(file->images, static_cast<uint32_t>(file->image_count + 1) * sizeof(GifImage*)));
            if (!grown) {
                gif_free_image(image);
                gif_fail(GIF_ERROR_MEMORY, "no memory for the image list");
                return false;
            }
            file->images = grown;
            file->images[file->image_count++] = image;
        } else {
            std::printf("[GIF] unknown type (0x%2x)\n", type);
        }
    }
}

// Builds a Pixmap (flags 0) from an image and a palette of 32-bit entries.
static Pixmap* gif_image2pixmap(const GifImage* image, const uint8_t palette[256][4])
{
    Pixmap* p = pixmap_create(image->width, image->height, 0);
    if (!p) {
        gif_error = GIF_ERROR_MEMORY;
        image_detail_fail(&gif_detail, "no Pixmap of %d x %d: %s", image->width, image->height,
                          pixmap_error_string());
        return nullptr;
    }
    uint32_t colours[256];
    std::memcpy(colours, palette, sizeof colours);
    const uint8_t* in = image->indices;
    for (int32_t y = 0; y < image->height; ++y) {
        uint32_t* row = p->pixels + p->rows[y];
        for (int32_t x = 0; x < image->width; ++x) row[x] = colours[in[x]];
        in += image->width;
    }
    return p;
}

// ---- public functions -----------------------------------------------------

GifFile* gif_read(const char* name)
{
    gif_error = GIF_ERROR_NONE;
    image_detail_begin(&gif_detail, name);
    GioStream* s = gio_open(name, "rb");
    if (!s) {
        gif_fail(GIF_ERROR_OPEN, "cannot be opened for reading");
        return nullptr;
    }
    char signature[4] = {0, 0, 0, 0};
    int got = gio_read(signature, 1, 3, s);
    signature[got > 0 ? got : 0] = 0;
    std::printf("[GIF] signature: '%s'\n", signature);
    if (std::strcmp(signature, "GIF") != 0) {
        gio_close(s);
        gif_error = GIF_ERROR_SIGNATURE;
        image_detail_fail(&gif_detail, "starts with '%s', not 'GIF'", signature);
        return nullptr;
    }
    char version[4] = {0, 0, 0, 0};
    if (gio_read(version, 1, 3, s) != 3) {
        gio_close(s);
        gif_fail(GIF_ERROR_CORRUPT, "the file ends inside its header");
        return nullptr;
    }
    std::printf("[GIF] version: '%s'\n", version);

    GifFile* file = static_cast<GifFile*>(gmem_alloc(sizeof(GifFile)));
    if (!file) {
        gio_close(s);
        gif_fail(GIF_ERROR_MEMORY, "no memory for the file record");
        return nullptr;
    }
    std::memset(file, 0, sizeof *file);
    std::memcpy(file->version, version, 4);

    uint8_t screen[7];
    bool ok = gio_read(screen, 1, 7, s) == 7;
    if (ok) {
        file->width = screen[0] | (screen[1] << 8);
        file->height = screen[2] | (screen[3] << 8);
        file->flags = screen[4];
        file->background = screen[5];  // screen[6], the aspect byte, is not used
        std::printf("[GIF] (width,height) = (%d,%d)\n", file->width, file->height);
        if (file->flags & 0x80) {
            int count = 1 << ((file->flags & 7) + 1);
            std::printf("[GIF] reading global palette with %d colors\n", count);
            ok = gif_read_palette(s, file->global_palette, count);
            file->global_colours = count;
        }
    }
    if (!ok) gif_fail(GIF_ERROR_CORRUPT, "the file ends inside its screen descriptor or global palette");
    // The file's size bounds how many pixels its images can describe.
    int64_t budget = s->size > 0 ? static_cast<int64_t>(s->size) * GIF_PIXELS_PER_BYTE
                                 : static_cast<int64_t>(GIF_MAX_SIDE) * GIF_MAX_SIDE;
    if (ok) ok = gif_read_blocks(s, file, budget);
    gio_close(s);
    if (!ok) {
        gif_free(file);
        return nullptr;
    }
    return file;
}

void gif_free(GifFile* file)
{
    if (!file) return;
    for (int32_t i = 0; i < file->image_count; ++i) gif_free_image(file->images[i]);
    if (file->images) gmem_free(file->images);
    gmem_free(file);
}

Pixmap* gif_load2pixmap(const char* name)
{
    GifFile* file = gif_read(name);
    if (!file) return nullptr;
    if (file->image_count == 0) {
        gif_free(file);
        gif_fail(GIF_ERROR_NO_IMAGES, "the file holds extensions and a trailer but no image");
        return nullptr;
    }
    const GifImage* image = file->images[0];
    const uint8_t(*palette)[4] = nullptr;
    if (image->local_colours > 0)
        palette = image->local_palette;
    else if (file->global_colours > 0)
        palette = file->global_palette;
    if (!palette) {
        gif_free(file);
        gif_fail(GIF_ERROR_NO_PALETTE, "the first image has no local colour table and the file no global one");
        return nullptr;
    }
    Pixmap* p = gif_image2pixmap(image, palette);
    gif_free(file);
    return p;
}

Pixmap** gif_load_frames(const char* name, int* count)
{
    GifFile* file = gif_read(name);
    if (!file) return nullptr;
    if (file->image_count == 0) {
        gif_free(file);
        gif_fail(GIF_ERROR_NO_IMAGES, "the file holds extensions and a trailer but no image");
        return nullptr;
    }
    Pixmap** frames = static_cast<Pixmap**>(gmem_alloc(static_cast<uint32_t>(file->image_count) * sizeof(Pixmap*)));
    if (!frames) {
        gif_free(file);
        gif_fail(GIF_ERROR_MEMORY, "no memory for the frame list");
        return nullptr;
    }
    for (int32_t i = 0; i < file->image_count; ++i) {
        const GifImage* image = file->images[i];
        frames[i] = gif_image2pixmap(image, image->local_colours >= 1 ? image->local_palette
                                                                      : file->global_palette);
        if (!frames[i]) {
            for (int32_t j = 0; j < i; ++j) pixmap_destroy(frames[j]);
            gmem_free(frames);
            gif_free(file);
            return nullptr;
        }
    }
    if (count) *count = file->image_count;
    gif_free(file);
    return frames;
}

const char* gif_error_string()
{
    switch (gif_error) {
    case GIF_ERROR_OPEN: return "[GIF] No such file";
    case GIF_ERROR_MEMORY: return "[GIF] Out of memory";
    case GIF_ERROR_CORRUPT: return "[GIF] Image data corrupt";
    case GIF_ERROR_SIGNATURE: return "[GIF] Not a gif file";
    case GIF_ERROR_VERSION: return "[GIF] Not a gif89a file";
    case GIF_ERROR_NO_PALETTE: return "[GIF] No image palette present";
    case GIF_ERROR_NO_IMAGES: return "[GIF] No images";
    default: return "[GIF] Unknown error";
    }
}

const char* gif_error_detail()
{
    return gif_detail.text;
}
