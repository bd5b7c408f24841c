// JPEG loading and saving through the JPEG library's release-6b interface: a GIO
// data source and destination, an error handler that unwinds to the caller with
// the library's message, and the scanline copies to and from Pixmaps.
#include "engine/image/jpeg.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

#include "engine/image/detail.h"
#include "engine/io/gio.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"

// The objects are created with the version and record sizes of the 6b interface.
static_assert(JPEG_LIB_VERSION == 62, "the loader is written against the release-6b interface");

// ---- types ----------------------------------------------------------------

constexpr int JPEG_BUFFER_SIZE = 4096;
// The largest image loaded; the same bound as the GIF and PCX readers.
constexpr JDIMENSION JPEG_MAX_SIDE = 16384;
// Legitimate progressive files have a dozen scans; thousands only burn time.
constexpr int JPEG_MAX_SCANS = 1000;

// The GIO data source: the library's public fields first.
struct JpegGioSource {
    jpeg_source_mgr pub;
    GioStream* stream;
    JOCTET buffer[JPEG_BUFFER_SIZE];
    boolean start_of_file;
};

// The GIO data destination.
struct JpegGioDestination {
    jpeg_destination_mgr pub;
    GioStream* stream;
    JOCTET* buffer;
};

// The standard error manager with a way back to the caller.
struct JpegErrorHandler {
    jpeg_error_mgr pub;
    jmp_buf recovery;
};

// ---- module state ---------------------------------------------------------

static int jpeg_error = JPEG_ERROR_NONE;
// The text of JPEG_ERROR_LIBRARY: "[JPEG]: " and the library's own message.
static char jpeg_message[JMSG_LENGTH_MAX + 64];
static ImageDetail jpeg_detail;

// ---- error handling -------------------------------------------------------

static void jpeg_set_library_error(const char* text)
{
    jpeg_error = JPEG_ERROR_LIBRARY;
    std::snprintf(jpeg_message, sizeof jpeg_message, "[JPEG]: %s", text);
    image_detail_fail(&jpeg_detail, "%s", text);
}

// Replaces the library's error exit: keep its message, print nothing, unwind.
static void jpeg_error_exit(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    jpeg_set_library_error(text);
    longjmp(reinterpret_cast<JpegErrorHandler*>(cinfo->err)->recovery, 1);
}

// Stops files whose scan count would only burn time.
static void jpeg_progress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor) return;
    j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > JPEG_MAX_SCANS) {
        char text[64];
        std::snprintf(text, sizeof text, "Too many scans (more than %d)", JPEG_MAX_SCANS);
        jpeg_set_library_error(text);
        longjmp(reinterpret_cast<JpegErrorHandler*>(cinfo->err)->recovery, 1);
    }
}

// ---- the GIO data source --------------------------------------------------

static void gio_source_init(j_decompress_ptr cinfo)
{
    reinterpret_cast<JpegGioSource*>(cinfo->src)->start_of_file = TRUE;
}

static boolean gio_source_fill(j_decompress_ptr cinfo)
{
    JpegGioSource* src = reinterpret_cast<JpegGioSource*>(cinfo->src);
    int32_t n = gio_read(src->buffer, 1, JPEG_BUFFER_SIZE, src->stream);
    if (n <= 0) {
        if (src->start_of_file) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A file cut short still decodes: the library sees an end-of-image marker.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = static_cast<size_t>(n);
    src->start_of_file = FALSE;
    return TRUE;
}

static void gio_source_skip(j_decompress_ptr cinfo, long count)
{
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    while (count > static_cast<long>(src->bytes_in_buffer)) {
        count -= static_cast<long>(src->bytes_in_buffer);
        gio_source_fill(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

static void gio_source_term(j_decompress_ptr) {}

// Attaches a GIO source; the record lives in the object's permanent pool.
static void jpeg_attach_gio_source(j_decompress_ptr cinfo, GioStream* stream)
{
    if (!cinfo->src) {
        cinfo->src = static_cast<jpeg_source_mgr*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegGioSource)));
    }
    JpegGioSource* src = reinterpret_cast<JpegGioSource*>(cinfo->src);
    src->pub.init_source = gio_source_init;
    src->pub.fill_input_buffer = gio_source_fill;
    src->pub.skip_input_data = gio_source_skip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = gio_source_term;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->stream = stream;
}

// ---- the GIO data destination ---------------------------------------------

static void gio_destination_init(j_compress_ptr cinfo)
{
    JpegGioDestination* dest = reinterpret_cast<JpegGioDestination*>(cinfo->dest);
    dest->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, JPEG_BUFFER_SIZE));
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = JPEG_BUFFER_SIZE;
}

static boolean gio_destination_empty(j_compress_ptr cinfo)
{
    JpegGioDestination* dest = reinterpret_cast<JpegGioDestination*>(cinfo->dest);
    if (gio_write(dest->buffer, 1, JPEG_BUFFER_SIZE, dest->stream) != JPEG_BUFFER_SIZE)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = JPEG_BUFFER_SIZE;
    return TRUE;
}

static void gio_destination_term(j_compress_ptr cinfo)
{
    JpegGioDestination* dest = reinterpret_cast<JpegGioDestination*>(cinfo->dest);
    int32_t held = JPEG_BUFFER_SIZE - static_cast<int32_t>(dest->pub.free_in_buffer);
    if (held > 0 && gio_write(dest->buffer, 1, held, dest->stream) != held)
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

static void jpeg_attach_gio_destination(j_compress_ptr cinfo, GioStream* stream)
{
    if (!cinfo->dest) {
        cinfo->dest = static_cast<jpeg_destination_mgr*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegGioDestination)));
    }
    JpegGioDestination* dest = reinterpret_cast<JpegGioDestination*>(cinfo->dest);
    dest->pub.init_destination = gio_destination_init;
    dest->pub.empty_output_buffer = gio_destination_empty;
    dest->pub.term_destination = gio_destination_term;
    dest->stream = stream;
}

// ---- scanline copies ------------------------------------------------------

// One decoded RGB scanline into Pixmap pixels: bytes red, green, blue, 0.
static void jpeg_copy_row(uint32_t* dst, const JSAMPLE* src, int32_t width)
{
    int32_t x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Four pixels from three words: red, green, blue land in bytes 0-2.
        for (; x + 4 <= width; x += 4, src += 12) {
            uint32_t w[3];
            std::memcpy(w, src, 12);
            dst[x] = w[0] & 0xFFFFFFu;
            dst[x + 1] = (w[0] >> 24) | ((w[1] & 0xFFFFu) << 8);
            dst[x + 2] = (w[1] >> 16) | ((w[2] & 0xFFu) << 16);
            dst[x + 3] = w[2] >> 8;
        }
    }
    for (; x < width; ++x, src += 3) {
        const uint8_t px[4] = {src[0], src[1], src[2], 0};
        std::memcpy(&dst[x], px, 4);
    }
}

// One Pixmap row into an RGB scanline: the fourth byte is dropped.
static void jpeg_pack_row(JSAMPLE* dst, const uint32_t* src, int32_t width)
{
    for (int32_t x = 0; x < width; ++x, dst += 3) {
        uint8_t px[4];
        std::memcpy(px, &src[x], 4);
        dst[0] = px[0];
        dst[1] = px[1];
        dst[2] = px[2];
    }
}

// ---- public functions -----------------------------------------------------

Pixmap* jpeg_load2pixmap(const char* name)
{
    jpeg_error = JPEG_ERROR_NONE;
    image_detail_begin(&jpeg_detail, name);
    GioStream* stream = gio_open(name, "rb");
    if (!stream) {
        jpeg_error = JPEG_ERROR_OPEN;
        image_detail_fail(&jpeg_detail, "cannot be opened for reading");
        return nullptr;
    }

    jpeg_decompress_struct cinfo;
    JpegErrorHandler handler;
    jpeg_progress_mgr progress;
    // Written after the recovery point is set and read after a jump back to it.
    Pixmap* volatile pixmap = nullptr;

    cinfo.err = jpeg_std_error(&handler.pub);
    handler.pub.error_exit = jpeg_error_exit;
    if (setjmp(handler.recovery)) {
        jpeg_destroy_decompress(&cinfo);
        gio_close(stream);
        pixmap_destroy(pixmap);
        return nullptr;
    }
    jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    progress.progress_monitor = jpeg_progress;
    cinfo.progress = &progress;
    jpeg_attach_gio_source(&cinfo, stream);
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width > JPEG_MAX_SIDE || cinfo.image_height > JPEG_MAX_SIDE) {
        char text[80];
        std::snprintf(text, sizeof text, "Image too large (%u x %u)", cinfo.image_width,
                      cinfo.image_height);
        jpeg_set_library_error(text);
        longjmp(handler.recovery, 1);
    }
    // Greyscale files would give one byte per pixel: ask for RGB from every file.
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    // The library's SIMD colour conversion writes 16-byte-aligned rows with
    // non-temporal stores, which bypass the cache: copying such a row into the
    // Pixmap then waits on main memory for every line. An odd start address
    // keeps the row in the cache (measured: the load runs twice as fast).
    JSAMPARRAY sample = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                   cinfo.output_width * cinfo.output_components + 1, 1);
    JSAMPROW scanline = sample[0] + 1;
    JSAMPARRAY row = &scanline;

    Pixmap* created = pixmap_create(static_cast<int32_t>(cinfo.output_width),
                                    static_cast<int32_t>(cinfo.output_height), PIXMAP_CLEAR);
    if (!created) {
        jpeg_destroy_decompress(&cinfo);
        gio_close(stream);
        jpeg_error = JPEG_ERROR_PIXMAP;
        image_detail_fail(&jpeg_detail, "no Pixmap of %u x %u: %s", cinfo.output_width, cinfo.output_height,
                          pixmap_error_string());
        return nullptr;
    }
    pixmap = created;

    while (cinfo.output_scanline < cinfo.output_height) {
        int32_t y = static_cast<int32_t>(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, row, 1);
        jpeg_copy_row(created->pixels + created->rows[y], row[0], created->width);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    gio_close(stream);
    return created;
}

uint32_t* jpeg_load_pixels(const char* name, int* width, int* height)
{
    Pixmap* pixmap = jpeg_load2pixmap(name);
    if (!pixmap) return nullptr;
    if (width) *width = pixmap->width;
    if (height) *height = pixmap->height;
    // The caller keeps the pixel plane; the header and row table go back here.
    uint32_t* pixels = pixmap->pixels;
    gmem_free(pixmap->rows);
    gmem_free(pixmap);
    return pixels;
}

int jpeg_save_pixmap(const char* name, const Pixmap* pixmap, int quality)
{
    jpeg_error = JPEG_ERROR_NONE;
    image_detail_begin(&jpeg_detail, name);
    if (!pixmap || !pixmap->pixels || pixmap->width <= 0 || pixmap->height <= 0) {
        jpeg_set_library_error("No image to save");
        return 0;
    }
    if (pixmap->width > JPEG_MAX_DIMENSION || pixmap->height > JPEG_MAX_DIMENSION) {
        jpeg_set_library_error("Image too large for a JPEG file");
        return 0;
    }
    pixmap_finish(pixmap);  // triangles still queued into it come first
    JSAMPLE* row = static_cast<JSAMPLE*>(gmem_alloc(static_cast<uint32_t>(pixmap->width) * 3));
    if (!row) {
        jpeg_error = JPEG_ERROR_MEMORY;
        image_detail_fail(&jpeg_detail, "no memory for a row of %d pixels", pixmap->width);
        return 0;
    }

    jpeg_compress_struct cinfo;
    JpegErrorHandler handler;
    GioStream* volatile stream = nullptr;

    cinfo.err = jpeg_std_error(&handler.pub);
    handler.pub.error_exit = jpeg_error_exit;
    if (setjmp(handler.recovery)) {
        // The library's message is kept; the program goes on.
        jpeg_destroy_compress(&cinfo);
        gio_close(stream);
        gmem_free(row);
        return 0;
    }
    jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
    GioStream* opened = gio_open(name, "wb");
    if (!opened) {
        jpeg_destroy_compress(&cinfo);
        gmem_free(row);
        jpeg_error = JPEG_ERROR_OPEN;
        image_detail_fail(&jpeg_detail, "cannot be opened for writing");
        return 0;
    }
    stream = opened;
    jpeg_attach_gio_destination(&cinfo, opened);
    cinfo.image_width = static_cast<JDIMENSION>(pixmap->width);
    cinfo.image_height = static_cast<JDIMENSION>(pixmap->height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        jpeg_pack_row(row, pixmap->pixels + pixmap->rows[cinfo.next_scanline], pixmap->width);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    gio_close(opened);
    jpeg_destroy_compress(&cinfo);
    gmem_free(row);
    return 1;
}

const char* jpeg_error_string()
{
    switch (jpeg_error) {
    case JPEG_ERROR_OPEN: return "[JPEG]: Unable to open file!";
    case JPEG_ERROR_PIXMAP: return pixmap_error_string();
    case JPEG_ERROR_MEMORY: return "[JPEG]: No memory.";
    case JPEG_ERROR_LIBRARY: return jpeg_message;
    default: return "[JPEG]: No error!";
    }
}

const char* jpeg_error_detail()
{
    return jpeg_detail.text;
}
