// PCX reader: version 5 files with one 8-bit plane and a 256-colour palette, or
// three 8-bit planes of true colour, run-length decoded through a GIO stream and
// turned into 32-bit Pixmaps.
#pragma once

#include <cstdint>

struct GioStream;
struct Pixmap;

// Error codes (module-wide).
enum : int {
    PCX_ERROR_NONE = 0,
    PCX_ERROR_OPEN = 1,
    PCX_ERROR_MEMORY = 2,    // out of memory, or an image too large for the file
    PCX_ERROR_CORRUPT = 3,   // short header, or the file ends inside the data or palette
    PCX_ERROR_VERSION = 4,   // not version 5, or not 1 or 3 planes of 8 bits
    PCX_ERROR_NOT_PCX = 5,   // first byte not 10
};

enum : int {
    PCX_TYPE_PALETTE = 1,    // one plane of indices and a 256-colour palette
    PCX_TYPE_RGB = 2,        // three planes: red, green, blue
};

constexpr int PCX_HEADER_SIZE = 128;
// Images beyond this width or height are refused (error 2) before allocating.
constexpr int32_t PCX_MAX_SIDE = 16384;

struct PcxImage {
    int32_t type;             // PCX_TYPE_*
    int32_t width, height;
    uint8_t* header;          // the file's first 128 bytes, a gmem block
    uint8_t palette[256][4];  // red, green, blue, 0 (palette type only)
    uint8_t* data;            // width * height indices, or width * height * 3 bytes RGB
};

// Decodes the image at the stream's position; null with the code set (1 for a
// null stream). A palette file is read to its end; a true-colour one is left
// just after its image data.
PcxImage* pcx_read(GioStream* stream);

// Frees the header, the data and the record; 0 for null, else 1.
int pcx_free(PcxImage* image);

// A new Pixmap (flags 0) from the file, or null with the code set. Palette files
// give bytes red, green, blue, 0; true-colour files red, green, blue, 0.
Pixmap* pcx_load2pixmap(const char* name);

// The message for the current error code.
const char* pcx_error_string();

// Beside the message: the file the last load read ("(stream)" for pcx_read)
// and what was wrong there ("tex.pcx: version 3 (only 5 is read)"); empty when
// the last read went well.
const char* pcx_error_detail();
