// The DirectDraw driver at work: opens 320 x 240 (16 bits, else 32), shows a
// moving test picture (colour bars, a grey ramp, a scrolling checker band and a
// bouncing square) once per vertical blank, and ends on Escape or the close button.
#include <cstdio>

#include "engine/display/gfx.h"
#include "engine/pixmap/pixmap.h"
#include "platform/win32.h"

static const int32_t EXAMPLE_WIDTH = 320, EXAMPLE_HEIGHT = 240;

// Pixmap pixel from channels: bytes red, green, blue, alpha in memory.
static uint32_t example_rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16) | 0xFF000000u; }

static void example_draw(Pixmap* p, int32_t frame) {
    static const uint32_t bars[8] = {
        example_rgb(255, 255, 255), example_rgb(255, 255, 0), example_rgb(0, 255, 255), example_rgb(0, 255, 0),
        example_rgb(255, 0, 255),   example_rgb(255, 0, 0),   example_rgb(0, 0, 255),   example_rgb(0, 0, 0),
    };
    for (int32_t y = 0; y < p->height; y++) {
        uint32_t* row = p->pixels + (size_t)y * p->width;
        for (int32_t x = 0; x < p->width; x++) {
            uint32_t c;
            if (y < 120)
                c = bars[x * 8 / p->width];
            else if (y < 160)
                c = example_rgb(x * 255 / (p->width - 1), x * 255 / (p->width - 1), x * 255 / (p->width - 1));
            else
                c = (((x + frame) / 16 + (y - 160) / 16) & 1) ? example_rgb(200, 60, 20) : example_rgb(20, 40, 90);
            row[x] = c;
        }
    }
    // A square bouncing between the edges, 2 pixels per frame.
    const int32_t size = 32, span_x = p->width - size, span_y = p->height - size;
    int32_t bx = (frame * 2) % (2 * span_x), by = (frame * 3 / 2) % (2 * span_y);
    if (bx > span_x) bx = 2 * span_x - bx;
    if (by > span_y) by = 2 * span_y - by;
    for (int32_t y = by; y < by + size; y++)
        for (int32_t x = bx; x < bx + size; x++)
            p->pixels[(size_t)y * p->width + x] =
                (x == bx || y == by || x == bx + size - 1 || y == by + size - 1) ? example_rgb(0, 0, 0)
                                                                                  : example_rgb(255, 220, 0);
}

int main() {
    const GfxDriver* gfx = current_gfx_driver;
    printf("%s\n", gfx->name);
    int32_t count = 0;
    GfxMode* modes = gfx->get_modes(&count);
    for (int32_t i = 0; modes && i < count; i++)
        printf("mode %d: %d x %d, %d bits\n", i, modes[i].width, modes[i].height, modes[i].bits_per_pixel);
    if (!gfx->open(EXAMPLE_WIDTH, EXAMPLE_HEIGHT, "Tavik DirectDraw example", GFX_MODE_16BPP) &&
        !gfx->open(EXAMPLE_WIDTH, EXAMPLE_HEIGHT, "Tavik DirectDraw example", GFX_MODE_32BPP)) {
        MessageBoxA(nullptr, gfx->error_string(), "Error", MB_OK);
        return 1;
    }

    Pixmap* screen = pixmap_create(EXAMPLE_WIDTH, EXAMPLE_HEIGHT, PIXMAP_CLEAR);
    if (!screen) {
        MessageBoxA(nullptr, pixmap_error_string(), "Error", MB_OK);
        gfx->close();
        return 1;
    }

    bool quit = false;
    int32_t frame = 0;
    while (!quit) {
        example_draw(screen, frame++);
        gfx->update();
        gfx->blit(0, 0, screen, 0, 0, EXAMPLE_WIDTH, EXAMPLE_HEIGHT);
        for (int32_t key; (key = gfx->get_key()) != 0;)
            if (key == 27) quit = true;
    }
    gfx->close();
    pixmap_destroy(screen);
    printf("%d frames\n", frame);
    return 0;
}
