// The 2D kit's PNG saver: the PNG library codes the rows straight from the
// Pixmap (dropping the alpha byte for RGB files), its errors unwind to the
// caller, and a file begun but not finished is removed.
#include "engine/fx/fx.h"

#include "engine/pixmap/pixmap.h"

#include <png.h>
#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>

// ---- module state ---------------------------------------------------------

static int fx_error = FX_ERROR_NONE;
static char fx_message[256];      // the text of FX_ERROR_LIBRARY
static char fx_detail[4096];      // the file of the failed save

// ---- private helpers ------------------------------------------------------

static int fx_fail(int code, const char* path)
{
    fx_error = code;
    std::snprintf(fx_detail, sizeof fx_detail, "%s", path ? path : "(no file name)");
    return 0;
}

// The library's errors: keep its message, unwind to the saver.
static void fx_png_error(png_structp png, png_const_charp text)
{
    if (fx_error == FX_ERROR_NONE) {
        fx_error = FX_ERROR_LIBRARY;
        std::snprintf(fx_message, sizeof fx_message, "[FX] %s", text);
    }
    png_longjmp(png, 1);
}

static void fx_png_warning(png_structp, png_const_charp) {}

static void fx_png_write(png_structp png, png_bytep data, size_t length)
{
    FILE* file = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, file) != length) {
        fx_error = FX_ERROR_WRITE;
        png_error(png, "write failed");
    }
}

static void fx_png_flush(png_structp) {}

// Codes the Pixmap into the open file; false with the error code set.
static bool fx_png_code(const Pixmap* pixmap, FILE* file)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, fx_png_error, fx_png_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        fx_error = FX_ERROR_LIBRARY;
        std::snprintf(fx_message, sizeof fx_message, "[FX] No memory for the PNG library");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, file, fx_png_write, fx_png_flush);
    const bool alpha = (pixmap->flags & PIXMAP_ALPHA) != 0;
    png_set_IHDR(png, info, uint32_t(pixmap->width), uint32_t(pixmap->height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Rows are the Pixmap's own words, bytes red, green, blue, alpha: for an RGB
    // file the library drops the fourth byte of each.
    if (!alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int32_t y = 0; y < pixmap->height; ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(pixmap->pixels + pixmap->rows[y]));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// ---- public functions -----------------------------------------------------

int pixmap_save_png(const Pixmap* pixmap, const char* path)
{
    fx_error = FX_ERROR_NONE;
    fx_detail[0] = '\0';
    if (!pixmap || !pixmap->pixels || pixmap->width <= 0 || pixmap->height <= 0)
        return fx_fail(FX_ERROR_PIXMAP, path);
    if (!path || !path[0]) return fx_fail(FX_ERROR_OPEN, path);
    pixmap_finish(pixmap);  // triangles still queued into it come first
    FILE* file = std::fopen(path, "wb");
    if (!file) return fx_fail(FX_ERROR_OPEN, path);
    // Only a regular file is removed after a failure (never a device such as /dev/full).
    struct stat st;
    const bool regular = fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode);
    bool ok = fx_png_code(pixmap, file);
    if (ok && (std::fflush(file) != 0 || std::ferror(file))) {
        fx_error = FX_ERROR_WRITE;
        ok = false;
    }
    if (std::fclose(file) != 0 && ok) {
        fx_error = FX_ERROR_WRITE;
        ok = false;
    }
    if (ok) return 1;
    if (regular) std::remove(path);
    return fx_fail(fx_error, path);
}

const char* fx_error_string()
{
    switch (fx_error) {
    case FX_ERROR_PIXMAP: return "[FX] No picture to save";
    case FX_ERROR_OPEN: return "[FX] Unable to open file for writing";
    case FX_ERROR_WRITE: return "[FX] Unable to write file";
    case FX_ERROR_LIBRARY: return fx_message;
    default: return "[FX] No error";
    }
}

const char* fx_error_detail() { return fx_detail; }
