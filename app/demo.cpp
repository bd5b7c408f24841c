// The demo's running order. The music's order picks a row of the timeline
// table each frame; the sync clock's ticks time the fades. Nothing inside the
// frame loop is checked: draw and driver results are ignored.
#include "app/demo.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/blob.h"
#include "app/check.h"
#include "app/filters.h"
#include "app/hairy.h"
#include "app/klegg.h"
#include "app/knot.h"
#include "app/picture.h"
#include "app/zfx.h"
#include "engine/display/gfx.h"
#include "engine/fx/fx.h"
#include "engine/image/gif.h"
#include "engine/image/jpeg.h"
#include "engine/memory/gmem.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/win32.h"

DemoState demo = {nullptr, nullptr, nullptr, nullptr, 0, 0.0f, -1.0f, 0, nullptr, 0, 1.0f};

namespace {

void fade(float weight) { fx_fade(demo.vscreen, demo.fade_colour, weight, demo.vscreen->width * demo.vscreen->height); }

void reset_zbuffer() { filter_fill_depth(demo.vscreen, 0x7FFFFFFF); }

void blit_full(const Pixmap* picture) { filter_copy(demo.vscreen, picture, demo.vscreen->width, demo.vscreen->height); }

// Orders 0-4: the ball over the tunnel; remembers when it was last seen.
void draw_opening() {
    klegg_draw(demo.vscreen, demo.position);
    demo.section_start = demo.position->ticks;
}

// Orders 5-8: the hairs fade in under the ball; late in order 8 the hairs go
// and everything fades out (from its first frame above row 32, never restarted).
void draw_hairy() {
    MusicPosition* p = demo.position;
    const uint32_t o = p->order;
    const float f_in = 1.0f - (p->ticks - demo.section_start) / 30.0f;
    if (!(o == 8 && p->row > 40)) {
        hairy_draw(demo.vscreen, p);
        if (f_in > 0.0f) fade(f_in);
    }
    klegg_draw(demo.vscreen, p);
    if (o >= 8 && p->row > 32) {
        if (demo.fadeout_start == -1.0f) demo.fadeout_start = p->ticks;
        float f_out = (p->ticks - demo.fadeout_start) / 50.0f;
        if (f_out > 1.0f) f_out = 1.0f;
        fade(f_out);
    }
}

// Orders 9-12: the knot over the background picture, which fades in from black.
void draw_knot_on_picture() {
    const float f_bg = 1.0f - (demo.position->ticks - demo.section_start) / 100.0f;
    reset_zbuffer();
    blit_full(demo.bakg);
    if (f_bg > 0.0f) fade(f_bg);
    knot_draw(demo.vscreen, demo.position);
}

// Orders 13-14: the blob over the background picture.
void draw_blob() {
    reset_zbuffer();
    blit_full(demo.bakg);
    blob_draw();
}

// Orders 15-17: the outlined knot with the credits.
void draw_zfx() { zfx_draw(demo.vscreen, demo.position); }

// Orders 18-19: the knot again, on a cleared screen.
void draw_knot_on_black() {
    filter_clear(demo.vscreen, demo.fade_colour);
    knot_draw(demo.vscreen, demo.position);
}

// Orders 20 on: the end picture (the frame end loops the music over 20-21:
// DEMO_END_LOOP_ORDER to DEMO_END_LOOP_LAST).
void draw_end() { blit_full(demo.endpic); }

// Shows a start-up failure; the caller then ends with status 1.
int fail(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
    return 1;
}

// Stops the clock and closes the sound: once the sound is open, every way out
// of start-up goes through here, so no sound thread outlives the program.
void close_music() {
    check_on_failure(nullptr);
    music_shutdown();
}

// A start-up failure once the sound may be open.
int fail_with_music(const char* text, const char* caption) {
    close_music();
    return fail(text, caption);
}

}  // namespace

const DemoSection demo_timeline[] = {
    {0, 4, "klegg over the tunnel", draw_opening},
    {5, 8, "hairy under klegg", draw_hairy},
    {9, 12, "knot over the picture", draw_knot_on_picture},
    {13, 14, "blob over the picture", draw_blob},
    {15, 17, "zfx with credits", draw_zfx},
    {18, 19, "knot on black", draw_knot_on_black},
    {DEMO_END_LOOP_ORDER, UINT32_MAX, "end picture", draw_end},
};
const int demo_timeline_count = sizeof demo_timeline / sizeof demo_timeline[0];

const DemoSection* demo_section(uint32_t order) {
    for (int i = 0; i < demo_timeline_count; i++)
        if (order >= demo_timeline[i].first && order <= demo_timeline[i].last) return &demo_timeline[i];
    return &demo_timeline[demo_timeline_count - 1];
}

bool demo_parse_scale(const char* text, float* scale) {
    if (!text || !*text) return false;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    // Digits and one point only: no signs, exponents, hex or words.
    if (*end || std::strspn(text, "0123456789.") != std::strlen(text)) return false;
    if (!(value >= 1.0 && value <= DEMO_SCALE_MAX)) return false;
    *scale = float(value);
    return true;
}

void demo_screen_size(float scale, int32_t* width, int32_t* height) {
    *width = int32_t(std::lround(320.0 * double(scale)));
    *height = int32_t(std::lround(240.0 * double(scale)));
}

int demo_start() {
    int32_t width, height;
    demo_screen_size(demo.scale, &width, &height);
    demo.vscreen = pixmap_create(width, height, PIXMAP_ZBUFFER | PIXMAP_CLEAR);
    if (!demo.vscreen) {
        std::printf("%s\n", pixmap_error_string());
        return 1;
    }
    if (!zfx_create(demo.vscreen)) return fail("Unable to create zfx!", "Error");
    if (!hairy_create(demo.vscreen)) return fail("Unable to create hariy!", "ERROR");
    if (!klegg_create(demo.vscreen)) return fail("Unable to create kleggy!", "ERROR");
    if (!knot_create(demo.vscreen)) return fail("Unable to create kleggy!", "ERROR");
    CHECK_TEXT(blob_init(demo.vscreen), "blob_init(vscreen)");

    // Makes the driver gather its mode list before open; the list is not used.
    demo.modes = current_gfx_driver->get_modes(&demo.mode_count);
    if (!music_init(DEMO_MODULE_FILE, MUSIC_FMOD, 0)) return fail_with_music("AutoInit", "error");
    check_on_failure(close_music);
    sync_start(100.0f);
    demo.position = sync_position();
    // A scaled screen asks for 32 bits first: 16 would band its smooth shading.
    const uint32_t first = width > 320 ? GFX_MODE_32BPP : GFX_MODE_16BPP;
    const uint32_t second = width > 320 ? GFX_MODE_16BPP : GFX_MODE_32BPP;
    if (!current_gfx_driver->open(width, height, "Wendril", first) &&
        !current_gfx_driver->open(width, height, "Wendril", second))
        return fail_with_music("Unable to open graphics mode!", "Error");
    CHECK_TEXT(demo.bakg = picture_load("t8-greyb.jpg", jpeg_load2pixmap, width, height),
               "bakg=jpeg_load2pixmap(\"t8-greyb.jpg\")");
    CHECK_TEXT(demo.endpic = picture_load("slutbild.gif", gif_load2pixmap, width, height),
               "endpic=gif_load2pixmap(\"slutbild.gif\")");
    if (!music_play(0)) return fail_with_music("Start", "Error");
    check_on_failure(nullptr);
    // A second start in the same process (tests, other scales) begins afresh.
    demo.section_start = 0.0f;
    demo.fadeout_start = -1.0f;
    demo.quit = 0;
    return 0;
}

void demo_draw() { demo_section(demo.position->order)->draw(); }

void demo_frame_end() {
    if (demo.position->order > DEMO_END_LOOP_LAST) music_set_order(DEMO_END_LOOP_ORDER);
    current_gfx_driver->update();
    current_gfx_driver->blit(0, 0, demo.vscreen, 0, 0, demo.vscreen->width, demo.vscreen->height);
    sync_update();
    // Every queued key is read; Escape among them ends the loop after this frame.
    for (int32_t key; (key = current_gfx_driver->get_key()) != 0;)
        if (key == 27) demo.quit = 1;
}

void demo_shutdown() {
    music_shutdown();
    current_gfx_driver->close();
}

int demo_run(DemoFrameHook hook, void* user) {
    const int status = demo_start();
    if (status != 0) return status;
    for (uint64_t frame = 0; !demo.quit; frame++) {
        demo_draw();
        demo_frame_end();
        if (hook) hook(frame, user);
    }
    demo_shutdown();
    return 0;
}
