// JPEG loading and saving: the JPEG library (its release-6b interface) does the
// coding; this module feeds it from GIO streams, writes its output to GIO streams,
// turns its fatal errors into a failed load, and copies scanlines to and from Pixmaps.
#pragma once

#include <cstdint>

struct Pixmap;

// Error codes (module-wide, 0 at the start of each load and save).
enum : int {
    JPEG_ERROR_NONE = 0,
    JPEG_ERROR_OPEN = 1,     // the file could not be opened
    JPEG_ERROR_PIXMAP = 2,   // the Pixmap could not be created: the Pixmap module's message
    JPEG_ERROR_MEMORY = 3,   // the row buffer of the writer could not be allocated
    JPEG_ERROR_LIBRARY = 4,  // the library (or a size or scan limit) refused the file
};

// Loads a JPEG file into a new Pixmap (flags PIXMAP_CLEAR, no z plane) of the
// image's size, or null. Pixels are bytes red, green, blue, 0; greyscale files
// load as grey RGB. Images beyond 16384 x 16384 are refused.
Pixmap* jpeg_load2pixmap(const char* name);

// Loads like jpeg_load2pixmap, stores the size and returns only the pixel plane
// (rows top to bottom, back to back, width * height values), or null. The caller
// owns the returned block and releases it with gmem_free; the Pixmap header and
// row table are released here.
uint32_t* jpeg_load_pixels(const char* name, int* width, int* height);

// Writes the Pixmap as a baseline JPEG of the given quality (0-100, as the library
// takes it) from bytes red, green, blue of each pixel. 1 on success; 0 with the
// error code set on failure (library errors included: the program goes on).
int jpeg_save_pixmap(const char* name, const Pixmap* pixmap, int quality);

// The message for the current error code; the code is not reset.
const char* jpeg_error_string();

// Beside the message: the file the last load or save named and what went wrong
// there ("back.jpg: cannot be opened for reading", or the library's own words);
// empty when the last load or save went well.
const char* jpeg_error_detail();
