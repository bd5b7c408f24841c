// Pixmap: creation and release, the checked single-pixel accessors with their
// miss counters, the two dumps, the rectangle clear and the clipped blit; each
// finishes the drawing queued on its Pixmaps first (pixmap_finish).
#include "engine/pixmap/pixmap.h"

#include <cstdio>
#include <cstring>

#include "engine/memory/gmem.h"

// ---- module state ---------------------------------------------------------

int set_p_misses = 0;
int set_z_misses = 0;
int get_p_misses = 0;
int get_z_misses = 0;
static int pixmap_error = 0;
PixmapPendingFn pixmap_pending = nullptr;

static_assert(blend_table[255 * 256 + 200] == 200 && blend_table[0 * 256 + 255] == 0 &&
              blend_table[128 * 256 + 255] == 128);

// ---- private helpers ------------------------------------------------------

static bool inside(const Pixmap* p, int32_t x, int32_t y)
{
    return x >= 0 && y >= 0 && x < p->width && y < p->height;
}

// One row of the alpha blit: bytes 0-2 take the source weighted by its alpha
// plus the destination weighted by the rest; the destination's alpha stays.
static void blend_row(uint32_t* dst, const uint32_t* src, int64_t n, bool backward)
{
    for (int64_t k = 0; k < n; ++k) {
        int64_t i = backward ? n - 1 - k : k;
        const uint8_t* s = reinterpret_cast<const uint8_t*>(src + i);
        uint8_t* d = reinterpret_cast<uint8_t*>(dst + i);
        int a = s[3];
        const int32_t* ws = blend_table.data() + a * 256;
        const int32_t* wd = blend_table.data() + (255 - a) * 256;
        d[0] = static_cast<uint8_t>(ws[s[0]] + wd[d[0]]);
        d[1] = static_cast<uint8_t>(ws[s[1]] + wd[d[1]]);
        d[2] = static_cast<uint8_t>(ws[s[2]] + wd[d[2]]);
    }
}

// The counters stop at the largest int instead of overflowing.
void pixmap_count_misses(int* counter, int64_t count)
{
    if (count <= 0) return;
    int64_t total = static_cast<int64_t>(*counter) + count;
    *counter = total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(total);
}

// ---- public functions -----------------------------------------------------

Pixmap* pixmap_create(int32_t width, int32_t height, uint32_t flags)
{
    // Sizes the planes cannot hold are refused like a failed allocation.
    uint64_t count = (width > 0 && height > 0) ? static_cast<uint64_t>(width) * static_cast<uint64_t>(height) : 0;
    if (count == 0 || count * 4 > 0xFFFFFFFFull) {
        pixmap_error = 1;
        return nullptr;
    }
    Pixmap* p = static_cast<Pixmap*>(gmem_alloc(sizeof(Pixmap)));
    if (!p) {
        pixmap_error = 1;
        return nullptr;
    }
    p->rows = nullptr;
    p->zbuffer = nullptr;
    p->pixels = nullptr;
    p->reserved = 0;
    p->width = width;
    p->height = height;
    p->flags = flags;

    uint32_t bytes = static_cast<uint32_t>(count * 4);
    p->pixels = static_cast<uint32_t*>(gmem_alloc(bytes));
    if (!p->pixels) {
        gmem_free(p);
        pixmap_error = 1;
        return nullptr;
    }
    if (flags & PIXMAP_ZBUFFER) {
        p->zbuffer = static_cast<int32_t*>(gmem_alloc(bytes));
        if (!p->zbuffer) {
            gmem_free(p->pixels);
            gmem_free(p);
            pixmap_error = 1;
            return nullptr;
        }
    }
    p->rows = static_cast<int32_t*>(gmem_alloc(static_cast<uint32_t>(height) * 4));
    if (!p->rows) {
        if (p->zbuffer) gmem_free(p->zbuffer);
        gmem_free(p->pixels);
        gmem_free(p);
        pixmap_error = 1;
        return nullptr;
    }
    for (int32_t y = 0; y < height; ++y) p->rows[y] = y * width;
    if (flags & PIXMAP_CLEAR) {
        gmem_fill32(p->pixels, 0xFF000000u, static_cast<uint32_t>(count));
        if (flags & PIXMAP_ZBUFFER) gmem_fill32(p->zbuffer, static_cast<uint32_t>(PIXMAP_Z_FAR), static_cast<uint32_t>(count));
    }
    return p;
}

void pixmap_destroy(Pixmap* pixmap)
{
    if (!pixmap) return;
    if (pixmap_pending) pixmap_pending(pixmap, true);  // nothing may draw into freed planes later
    gmem_free(pixmap->rows);
    if (pixmap->flags & PIXMAP_ZBUFFER) gmem_free(pixmap->zbuffer);
    gmem_free(pixmap->pixels);
    gmem_free(pixmap);
}

void pixmap_set_pixel(Pixmap* pixmap, int32_t x, int32_t y, uint32_t value)
{
    pixmap_finish(pixmap);
    if (inside(pixmap, x, y))
        pixmap->pixels[pixmap->rows[y] + x] = value;
    else
        pixmap_count_misses(&set_p_misses, 1);
}

void pixmap_set_z(Pixmap* pixmap, int32_t x, int32_t y, int32_t z)
{
    pixmap_finish(pixmap);
    if (!(pixmap->flags & PIXMAP_ZBUFFER)) return;
    if (inside(pixmap, x, y))
        pixmap->zbuffer[pixmap->rows[y] + x] = z;
    else
        pixmap_count_misses(&set_z_misses, 1);
}

uint32_t pixmap_get_pixel(const Pixmap* pixmap, int32_t x, int32_t y)
{
    pixmap_finish(pixmap);
    if (inside(pixmap, x, y)) return pixmap->pixels[pixmap->rows[y] + x];
    pixmap_count_misses(&get_p_misses, 1);
    return 0;
}

int32_t pixmap_get_z(const Pixmap* pixmap, int32_t x, int32_t y)
{
    pixmap_finish(pixmap);
    if (!(pixmap->flags & PIXMAP_ZBUFFER)) return 0;
    if (inside(pixmap, x, y)) return pixmap->zbuffer[pixmap->rows[y] + x];
    pixmap_count_misses(&get_z_misses, 1);
    return 0;
}

void pixmap_dump(const Pixmap* pixmap)
{
    std::printf("---[ Pixmap ]------------------\n");
    std::printf("Width:    %d\n", pixmap->width);
    std::printf("Height:   %d\n", pixmap->height);
    if (pixmap->flags == 0) {
        std::printf("Flags:    none");
        return;
    }
    std::printf("Flags:    ");
    if (pixmap->flags & PIXMAP_ZBUFFER) std::printf("ZBUFFER ");
    if (pixmap->flags & PIXMAP_ALPHA) std::printf("ALPHA ");
    std::printf("\n");
}

void pixmap_dump_misses()
{
    std::printf("-----[ Pixmap ]---------------\n");
    std::printf("Set p misses:  %d\n", set_p_misses);
    std::printf("Set z misses:  %d\n", set_z_misses);
    std::printf("Get p misses:  %d\n", get_p_misses);
    std::printf("Get z misses:  %d\n", get_z_misses);
}

void pixmap_set_pending(PixmapPendingFn finish)
{
    pixmap_pending = finish;
}

const char* pixmap_error_string()
{
    const char* message;
    switch (pixmap_error) {
    case 0: message = "No error, so far..."; break;
    case 1: message = "No memory available"; break;
    case 2: message = "Bad matching pixmaps"; break;
    default: message = "Ambiguous error..."; break;
    }
    pixmap_error = 0;
    return message;
}

void pixmap_clear_rect(Pixmap* pixmap, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour)
{
    pixmap_finish(pixmap);
    if (w <= 0 || h <= 0) return;
    int64_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
    int64_t x1 = static_cast<int64_t>(x) + w, y1 = static_cast<int64_t>(y) + h;
    if (x1 > pixmap->width) x1 = pixmap->width;
    if (y1 > pixmap->height) y1 = pixmap->height;
    int64_t n = x1 - x0;
    if (n <= 0 || y1 - y0 <= 0) return;
    if (pixmap->flags & PIXMAP_ZBUFFER) {
        for (int64_t r = y0; r < y1; ++r)
            gmem_fill32(pixmap->zbuffer + pixmap->rows[r] + x0, static_cast<uint32_t>(PIXMAP_Z_FAR), static_cast<uint32_t>(n));
    }
    for (int64_t r = y0; r < y1; ++r)
        gmem_fill32(pixmap->pixels + pixmap->rows[r] + x0, colour, static_cast<uint32_t>(n));
}

bool pixmap_clip_blit(const Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy,
                      int32_t w, int32_t h, PixmapBlitBox* box)
{
    if (w <= 0 || h <= 0) return false;
    // 64-bit arithmetic: corners near the int range must not wrap into the planes.
    int64_t sx0 = sx, sy0 = sy, sx1 = static_cast<int64_t>(sx) + w, sy1 = static_cast<int64_t>(sy) + h;
    int64_t dx0 = dx, dy0 = dy;
    if (sx0 < 0) { dx0 += -sx0; sx0 = 0; }
    if (sy0 < 0) { dy0 += -sy0; sy0 = 0; }
    if (sx1 > src->width) sx1 = src->width;
    if (sy1 > src->height) sy1 = src->height;
    if (sx1 - sx0 <= 0 || sy1 - sy0 <= 0) return false;
    int64_t dx1 = dx0 + (sx1 - sx0), dy1 = dy0 + (sy1 - sy0);
    if (dx0 < 0) { sx0 += -dx0; dx0 = 0; }
    if (dy0 < 0) { sy0 += -dy0; dy0 = 0; }
    if (dx1 > dst->width) { sx1 -= dx1 - dst->width; dx1 = dst->width; }
    if (dy1 > dst->height) { sy1 -= dy1 - dst->height; dy1 = dst->height; }
    int64_t cw = sx1 - sx0, ch = sy1 - sy0;
    if (cw <= 0 || ch <= 0 || dx1 - dx0 <= 0 || dy1 - dy0 <= 0) return false;
    *box = PixmapBlitBox{int32_t(sx0), int32_t(sy0), int32_t(dx0), int32_t(dy0), int32_t(cw), int32_t(ch)};
    return true;
}

void pixmap_blit(Pixmap* dst, int32_t dx, int32_t dy, const Pixmap* src, int32_t sx, int32_t sy, int32_t w, int32_t h)
{
    pixmap_finish(src);
    pixmap_finish(dst);
    PixmapBlitBox box;
    if (!pixmap_clip_blit(dst, dx, dy, src, sx, sy, w, h, &box)) return;
    const int64_t sx0 = box.sx, sy0 = box.sy, dx0 = box.dx, dy0 = box.dy, cw = box.w, ch = box.h;

    // Within one Pixmap, a destination below the source (or on the same row to
    // its right) would re-read rows and words already written: walk backwards,
    // so every source pixel is read before it is overwritten, as memmove would.
    bool same = (src->pixels == dst->pixels);
    bool rows_up = same && dy0 > sy0;
    bool words_back = same && dy0 == sy0 && dx0 > sx0;
    bool alpha = (src->flags & PIXMAP_ALPHA) != 0;
    for (int64_t k = 0; k < ch; ++k) {
        int64_t r = rows_up ? ch - 1 - k : k;
        uint32_t* d = dst->pixels + dst->rows[dy0 + r] + dx0;
        const uint32_t* s = src->pixels + src->rows[sy0 + r] + sx0;
        if (alpha)
            blend_row(d, s, cw, words_back);
        else if (words_back)
            std::memmove(d, s, static_cast<size_t>(cw) * 4);
        else
            gmem_copy32(d, s, static_cast<uint32_t>(cw));
    }
}
