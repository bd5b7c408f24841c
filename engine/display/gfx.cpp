// The parts of the display-driver interface both drivers share: the key table,
// the mode-argument mapping and the current-driver pointer.
#include "engine/display/gfx.h"

static constexpr uint8_t key_code(int vk) {
    if (vk >= 1 && vk <= 64) return (uint8_t)vk;           // Escape 27, Space 32, digits 48..57
    if (vk >= 65 && vk <= 90) return (uint8_t)(vk + 32);   // letters to lower case
    if (vk == 107) return '+';                             // numeric-pad plus
    if (vk == 109) return '-';                             // numeric-pad minus
    return 0;
}

const uint8_t gfx_key_table[256] = {
#define ROW(b)                                                                                              \
    key_code(b + 0), key_code(b + 1), key_code(b + 2), key_code(b + 3), key_code(b + 4), key_code(b + 5), \
        key_code(b + 6), key_code(b + 7), key_code(b + 8), key_code(b + 9), key_code(b + 10),             \
        key_code(b + 11), key_code(b + 12), key_code(b + 13), key_code(b + 14), key_code(b + 15)
    ROW(0),   ROW(16),  ROW(32),  ROW(48),  ROW(64),  ROW(80),  ROW(96),  ROW(112),
    ROW(128), ROW(144), ROW(160), ROW(176), ROW(192), ROW(208), ROW(224), ROW(240),
#undef ROW
};
static_assert(key_code(27) == 27 && key_code(65) == 'a' && key_code(90) == 'z' && key_code(107) == '+' &&
                  key_code(109) == '-' && key_code(0) == 0 && key_code(91) == 0,
              "key table rules");

int32_t gfx_mode_bits(uint32_t mode) {
    switch (mode & 15) {
    case GFX_MODE_8BPP: return 8;
    case GFX_MODE_16BPP: return 16;
    case GFX_MODE_24BPP: return 24;
    default: return 32;
    }
}

bool gfx_clip_blit(GfxBlitRect* r, int32_t pixmap_width, int32_t pixmap_height, int32_t display_width,
                   int32_t display_height) {
    if (r->w <= 0 || r->h <= 0) return false;
    // Edges in 64 bits: sx + w must not wrap for any 32-bit arguments.
    int64_t x0 = r->sx, y0 = r->sy, x1 = (int64_t)r->sx + r->w, y1 = (int64_t)r->sy + r->h;
    int64_t dx = r->dx, dy = r->dy;
    if (x0 < 0) {
        dx -= x0;
        x0 = 0;
    }
    if (y0 < 0) {
        dy -= y0;
        y0 = 0;
    }
    if (x1 > pixmap_width) x1 = pixmap_width;
    if (y1 > pixmap_height) y1 = pixmap_height;
    if (x1 <= x0 || y1 <= y0) return false;
    if (dx < 0) {
        x0 -= dx;
        dx = 0;
    }
    if (dy < 0) {
        y0 -= dy;
        dy = 0;
    }
    if (x1 - x0 > display_width - dx) x1 = x0 + (display_width - dx);
    if (y1 - y0 > display_height - dy) y1 = y0 + (display_height - dy);
    if (x1 <= x0 || y1 <= y0) return false;
    *r = {(int32_t)dx, (int32_t)dy, (int32_t)x0, (int32_t)y0, (int32_t)(x1 - x0), (int32_t)(y1 - y0)};
    return true;
}

const GfxDriver* current_gfx_driver = &gfx_ddraw_driver;
