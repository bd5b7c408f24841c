// GIF reader: reads GIF files (1987 and 1989 versions alike) through a GIO stream,
// decodes their images with a variable-length-code LZW decoder and turns the first
// image, or every image, into 32-bit Pixmaps. Traces each block on standard output.
#pragma once

#include <cstdint>

struct Pixmap;

// Error codes (module-wide; reading the message does not reset them).
enum : int {
    GIF_ERROR_NONE = 0,
    GIF_ERROR_OPEN = 1,        // "[GIF] No such file"
    GIF_ERROR_MEMORY = 2,      // out of memory, or an image too large for the file
    GIF_ERROR_CORRUPT = 3,     // bad LZW data, or the file ends early
    GIF_ERROR_SIGNATURE = 4,   // not a GIF file
    GIF_ERROR_VERSION = 5,     // in the message table only
    GIF_ERROR_NO_PALETTE = 6,
    GIF_ERROR_NO_IMAGES = 7,
};

// Images beyond this width or height are refused (error 2) before allocating.
constexpr int32_t GIF_MAX_SIDE = 16384;

// One decoded image.
struct GifImage {
    int32_t left, top, width, height;
    int32_t local_colours;          // 0 without a local colour table, else 2^(n+1)
    uint8_t flags;                  // the image descriptor's packed byte
    uint8_t local_palette[256][4];  // red, green, blue, 255
    uint8_t* indices;               // width * height colour indices, in decoded row order
};

// One decoded file.
struct GifFile {
    char version[4];                 // the three version characters and a zero
    int32_t width, height;           // logical screen size
    int32_t global_colours;          // 0 without a global colour table, else 2^(n+1)
    int32_t background;
    uint8_t flags;                   // the header's packed byte
    uint8_t global_palette[256][4];  // red, green, blue, 255
    int32_t image_count;
    GifImage** images;               // image_count pointers, in file order
};

// Reads and decodes the whole file, or returns null with the code set. The trace
// goes to standard output. Release the result with gif_free.
GifFile* gif_read(const char* name);
void gif_free(GifFile* file);

// A new Pixmap (flags 0) holding the file's first image, or null with the code set.
Pixmap* gif_load2pixmap(const char* name);

// New Pixmaps, one per image in file order, in a gmem block; their number is
// stored through count. Null on failure. The caller releases each Pixmap with
// pixmap_destroy and the array with gmem_free.
Pixmap** gif_load_frames(const char* name, int* count);

// The message for the current error code; the code is not reset.
const char* gif_error_string();

// Beside the message: the file the last load read and what was wrong there
// ("ragga.gif: LZW minimum code size 10 (2 to 9 allowed)"); empty when the last
// load went well.
const char* gif_error_detail();
