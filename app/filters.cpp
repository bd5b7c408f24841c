// The demo's whole-screen passes as row jobs: each part fills, copies or clears
// only its own rows, through the engine's own fill, blit and clear.
#include "app/filters.h"

#include "engine/jobs/jobs.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"

#include <cstdint>

void filter_fill_depth(Pixmap* screen, int32_t depth)
{
    if (!screen || !screen->zbuffer || screen->width <= 0 || screen->height <= 0) return;
    const int32_t w = screen->width;
    jobs_parallel_rows(screen->height, int64_t(w) * screen->height, [&](int32_t first, int32_t end) {
        gmem_fill32(screen->zbuffer + int64_t(first) * w, uint32_t(depth), uint32_t(int64_t(end - first) * w));
    });
}

void filter_copy(Pixmap* screen, const Pixmap* picture, int32_t w, int32_t h)
{
    if (!screen || !picture || h <= 0) return;
    jobs_parallel_rows(h, int64_t(w) * h, [&](int32_t first, int32_t end) {
        pixmap_blit(screen, 0, first, picture, 0, first, w, end - first);
    });
}

void filter_clear(Pixmap* screen, uint32_t colour)
{
    if (!screen || screen->width <= 0 || screen->height <= 0) return;
    const int32_t w = screen->width;
    jobs_parallel_rows(screen->height, int64_t(w) * screen->height, [&](int32_t first, int32_t end) {
        pixmap_clear_rect(screen, 0, first, w, end - first, colour);
    });
}
