// PCX reader: the 128-byte header checks, run-length lines (runs carried across
// the plane lines of a row), the trailing 256-colour palette, and the conversion
// of the decoded image into a Pixmap.
#include "engine/image/pcx.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/image/detail.h"
#include "engine/io/gio.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"

// ---- types ----------------------------------------------------------------

// Header fields (byte offsets).
constexpr int PCX_MANUFACTURER = 0;
constexpr int PCX_VERSION = 1;
constexpr int PCX_BITS_PER_PIXEL = 3;
constexpr int PCX_X_MAX = 8;
constexpr int PCX_Y_MAX = 10;
constexpr int PCX_PLANES = 65;
constexpr int PCX_BYTES_PER_LINE = 66;

// Two bytes of run-length data give at most 63 bytes of image data.
constexpr int64_t PCX_BYTES_PER_FILE_BYTE = 32;

// Reads the stream in blocks; a run-length decoder asks for one byte at a time.
struct PcxReader {
    GioStream* stream;
    int32_t pos;
    int32_t len;
    uint8_t buffer[4096];
};

// One row's run state: what is left of the last run.
struct PcxRun {
    int count;
    uint8_t value;
};

// ---- module state ---------------------------------------------------------

static int pcx_error = PCX_ERROR_NONE;
static ImageDetail pcx_detail;

// ---- private helpers ------------------------------------------------------

// Refills the buffer and returns its first byte, or -1 at the end of the data.
static int pcx_refill(PcxReader* r)
{
    r->pos = 0;
    r->len = gio_read(r->buffer, 1, static_cast<int32_t>(sizeof r->buffer), r->stream);
    if (r->len <= 0) {
        r->len = 0;
        return -1;
    }
    return r->buffer[r->pos++];
}

// The next byte, or -1 at the end of the data.
static inline int pcx_get(PcxReader* r)
{
    return r->pos < r->len ? r->buffer[r->pos++] : pcx_refill(r);
}

// Hands the bytes read ahead back to the stream.
static void pcx_unread(PcxReader* r)
{
    if (r->len > r->pos) gio_seek(r->stream, r->pos - r->len, 1);
    r->pos = r->len = 0;
}

// Decodes `count` bytes of a line, storing the first `store` of them every
// `stride` bytes from dst. A run cut at the end of the line stays in `run`.
static bool pcx_decode_line(PcxReader* r, uint8_t* dst, int stride, int32_t store, int32_t count, PcxRun* run)
{
    int32_t i = 0;
    while (i < count) {
        if (run->count == 0) {
            int b = pcx_get(r);
            if (b < 0) return false;
            if (b > 192) {
                int v = pcx_get(r);
                if (v < 0) return false;
                run->count = b - 192;
                run->value = static_cast<uint8_t>(v);
            } else {
                run->count = 1;  // 0xC0 itself is an ordinary value
                run->value = static_cast<uint8_t>(b);
            }
        }
        int32_t n = run->count < count - i ? run->count : count - i;
        int32_t end = i + n < store ? i + n : store;
        for (int32_t j = i; j < end; ++j) dst[static_cast<size_t>(j) * stride] = run->value;
        run->count -= n;
        i += n;
    }
    return true;
}

// Frees what was read, sets the code and the detail line's cause; null.
static PcxImage* pcx_fail(PcxImage* image, int code, const char* format, ...)
{
    pcx_free(image);
    pcx_error = code;
    char cause[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(cause, sizeof cause, format, args);
    va_end(args);
    image_detail_fail(&pcx_detail, "%s", cause);
    return nullptr;
}

// pcx_read without starting the detail line: the caller named the source.
static PcxImage* pcx_read_named(GioStream* stream)
{
    pcx_error = PCX_ERROR_NONE;
    if (!stream) return pcx_fail(nullptr, PCX_ERROR_OPEN, "no stream to read");
    PcxImage* image = static_cast<PcxImage*>(gmem_alloc(sizeof(PcxImage)));
    if (!image) return pcx_fail(nullptr, PCX_ERROR_MEMORY, "no memory for the image record");
    std::memset(image, 0, sizeof *image);
    image->header = static_cast<uint8_t*>(gmem_alloc(PCX_HEADER_SIZE));
    if (!image->header) return pcx_fail(image, PCX_ERROR_MEMORY, "no memory for the header");
    const uint8_t* h = image->header;
    if (gio_read(image->header, PCX_HEADER_SIZE, 1, stream) != 1)
        return pcx_fail(image, PCX_ERROR_CORRUPT, "shorter than the 128-byte header");
    if (h[PCX_MANUFACTURER] != 10)
        return pcx_fail(image, PCX_ERROR_NOT_PCX, "first byte %d, not 10", h[PCX_MANUFACTURER]);
    if (h[PCX_VERSION] != 5)
        return pcx_fail(image, PCX_ERROR_VERSION, "version %d (only 5 is read)", h[PCX_VERSION]);

    int32_t width = (h[PCX_X_MAX] | (h[PCX_X_MAX + 1] << 8)) + 1;
    int32_t height = (h[PCX_Y_MAX] | (h[PCX_Y_MAX + 1] << 8)) + 1;
    int planes = h[PCX_PLANES];
    // Only 8-bit planes are read: other depths would decode to nonsense.
    if ((planes != 1 && planes != 3) || h[PCX_BITS_PER_PIXEL] != 8)
        return pcx_fail(image, PCX_ERROR_VERSION, "%d plane(s) of %d bits (1 or 3 planes of 8 bits are read)", planes,
                        h[PCX_BITS_PER_PIXEL]);

    // A plane line holds the width rounded up to an even count, the last byte
    // dropped raw. Writers that state another line length (odd lines without
    // padding, wider padding) are decoded by the length they state.
    int32_t bytes_per_line = h[PCX_BYTES_PER_LINE] | (h[PCX_BYTES_PER_LINE + 1] << 8);
    int32_t line = width;
    int32_t padding = width & 1;
    if (bytes_per_line >= width && bytes_per_line != width + padding) {
        line = bytes_per_line;
        padding = 0;
    }

    // Refuse sizes the rest of the file could not describe before allocating.
    int64_t decoded = static_cast<int64_t>(height) * (line + padding) * planes;
    int64_t available = stream->size > PCX_HEADER_SIZE
                            ? (static_cast<int64_t>(stream->size) - PCX_HEADER_SIZE) * PCX_BYTES_PER_FILE_BYTE
                            : INT64_MAX;
    if (width > PCX_MAX_SIDE || height > PCX_MAX_SIDE || decoded > available)
        return pcx_fail(image, PCX_ERROR_MEMORY,
                        "an image of %d x %d is refused (sides up to %d, and no more than the file can describe)",
                        width, height, PCX_MAX_SIDE);

    image->width = width;
    image->height = height;
    image->type = planes == 1 ? PCX_TYPE_PALETTE : PCX_TYPE_RGB;
    image->data = static_cast<uint8_t*>(gmem_alloc(static_cast<uint32_t>(width * height * planes)));
    if (!image->data) return pcx_fail(image, PCX_ERROR_MEMORY, "no memory for %d x %d pixels", width, height);

    PcxReader* r = static_cast<PcxReader*>(gmem_alloc(sizeof(PcxReader)));
    if (!r) return pcx_fail(image, PCX_ERROR_MEMORY, "no memory for the reader");
    r->stream = stream;
    r->pos = r->len = 0;

    bool ok = true;
    for (int32_t y = 0; y < height && ok; ++y) {
        uint8_t* row = image->data + static_cast<size_t>(y) * width * planes;
        PcxRun run = {0, 0};  // no run is pending at the start of a row
        for (int p = 0; p < planes && ok; ++p) {
            ok = pcx_decode_line(r, row + p, planes, width, line, &run);
            if (ok && padding) ok = pcx_get(r) >= 0;
        }
    }
    const bool rows_read = ok;
    if (ok && image->type == PCX_TYPE_PALETTE) {
        ok = pcx_get(r) >= 0;  // the palette marker, not tested
        for (int i = 0; i < 256 && ok; ++i) {
            int red = pcx_get(r), green = pcx_get(r), blue = pcx_get(r);
            ok = blue >= 0;
            image->palette[i][0] = static_cast<uint8_t>(red);
            image->palette[i][1] = static_cast<uint8_t>(green);
            image->palette[i][2] = static_cast<uint8_t>(blue);
            image->palette[i][3] = 0;
        }
        // The rest of the file is read and dropped.
        while (ok && pcx_get(r) >= 0) r->pos = r->len;
    }
    pcx_unread(r);
    gmem_free(r);
    if (!ok)
        return pcx_fail(image, PCX_ERROR_CORRUPT, "the file ends inside the %s",
                        rows_read ? "palette" : "image data");
    return image;
}

// ---- public functions -----------------------------------------------------

PcxImage* pcx_read(GioStream* stream)
{
    image_detail_begin(&pcx_detail, "(stream)");
    return pcx_read_named(stream);
}

int pcx_free(PcxImage* image)
{
    if (!image) return 0;
    if (image->header) gmem_free(image->header);
    if (image->data) gmem_free(image->data);
    gmem_free(image);
    return 1;
}

Pixmap* pcx_load2pixmap(const char* name)
{
    image_detail_begin(&pcx_detail, name);
    GioStream* stream = gio_open(name, "rb");
    if (!stream) {
        pcx_fail(nullptr, PCX_ERROR_OPEN, "cannot be opened for reading");
        return nullptr;
    }
    PcxImage* image = pcx_read_named(stream);
    if (!image) {
        gio_close(stream);
        return nullptr;
    }
    Pixmap* p = pixmap_create(image->width, image->height, 0);
    if (!p) {
        gio_close(stream);
        pcx_fail(image, PCX_ERROR_MEMORY, "no Pixmap of %d x %d: %s", image->width, image->height,
                 pixmap_error_string());
        return nullptr;
    }
    const uint8_t* in = image->data;
    if (image->type == PCX_TYPE_PALETTE) {
        uint32_t colours[256];
        std::memcpy(colours, image->palette, sizeof colours);
        for (int32_t y = 0; y < image->height; ++y) {
            uint32_t* row = p->pixels + p->rows[y];
            for (int32_t x = 0; x < image->width; ++x) row[x] = colours[*in++];
        }
    } else {
        for (int32_t y = 0; y < image->height; ++y) {
            uint8_t* row = reinterpret_cast<uint8_t*>(p->pixels + p->rows[y]);
            for (int32_t x = 0; x < image->width; ++x, in += 3, row += 4) {
                row[0] = in[0];
                row[1] = in[1];
                row[2] = in[2];
                row[3] = 0;  // as the palette files give it
            }
        }
    }
    pcx_free(image);
    gio_close(stream);
    return p;
}

const char* pcx_error_string()
{
    switch (pcx_error) {
    case PCX_ERROR_NONE: return "[PCX]: No error (yet).";
    case PCX_ERROR_OPEN: return "[PCX]: File not found.";
    case PCX_ERROR_MEMORY: return "[PCX]: Not enough free memory.";
    case PCX_ERROR_CORRUPT: return "[PCX]: Bad data or currupt file.";
    case PCX_ERROR_VERSION: return "[PCX]: Unsupported version of fileformat.";
    case PCX_ERROR_NOT_PCX: return "[PCX]: Not a valid PCX-file.";
    default: return "[PCX]: Other (undeterminant) error.\n";
    }
}

const char* pcx_error_detail()
{
    return pcx_detail.text;
}
