// Wendril's entry point in a web page: the page's script fetches the data set
// into the program's file system, sets the scale and the threads, and starts the
// demo after a click; from then on each animation frame of the browser is one pass
// of the demo's loop (draw, frame end), and nothing blocks: the frame end's
// vertical-blank wait returns at once, after the host has fired the timers that
// fell due and topped up the sound. Escape ends the loop:
// the demo shuts down and the page offers to play again.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>

#include "app/demo.h"
#include "engine/display/gfx.h"
#include "engine/jobs/jobs.h"
#include "engine/music/music.h"
#include "platform/host.h"

// The page's side (web/wendril.js): the loop has ended after Escape.
EM_JS(void, web_js_ended, (), { Module.page.ended(); });

// The data set the demo reads from its working folder, and the large pictures a
// scaled screen reads from hd/ (fetched only then).
static const char* const WEB_DATA_FILES[] = {
    "ragga.xm", "t8-greyb.jpg", "slutbild.gif", ("r\xC3\xB6" "d.jpg"), "bl\xC3\xA5.jpg", "envmap.jpg",
    "data/hairy/envmap01.jpg", "data/hairy/envmap03.pcx", "data/knot/coding.jpg", "data/knot/dunraf.jpg",
    "data/knot/hoskel.jpg", "data/knot/img.jpg", "data/knot/mobrek.jpg", "data/knot/music.jpg",
    "data/knot/selvin.jpg", "data/knot/warnip.jpg",
};
static const char* const WEB_HD_FILES[] = {
    "hd/t8-greyb.jpg", "hd/slutbild.gif", "hd/data/knot/coding.jpg", "hd/data/knot/dunraf.jpg",
    "hd/data/knot/hoskel.jpg", "hd/data/knot/img.jpg", "hd/data/knot/mobrek.jpg", "hd/data/knot/music.jpg",
    "hd/data/knot/selvin.jpg", "hd/data/knot/warnip.jpg",
};

// What the page reads about the frames (the goals it reports, its tests).
static struct {
    bool running = false;
    uint64_t frames = 0;
    double work_ms_sum = 0;  // the demo's own time in the animation frames
    double work_ms_max = 0;
} page_loop;

static EM_BOOL animation_frame(double, void*) {
    const double begin = emscripten_get_now();
    demo_draw();
    demo_frame_end();
    const double ms = emscripten_get_now() - begin;
    page_loop.frames++;
    page_loop.work_ms_sum += ms;
    if (ms > page_loop.work_ms_max) page_loop.work_ms_max = ms;
    if (!demo.quit) return EM_TRUE;
    demo_shutdown();
    page_loop.running = false;
    web_js_ended();
    return EM_FALSE;
}

extern "C" {

// The i-th file of the data set (of its hd/ pictures when `hd`); null after the last.
EMSCRIPTEN_KEEPALIVE const char* web_data_file(int i, int hd) {
    const int n = hd ? int(sizeof WEB_HD_FILES / sizeof *WEB_HD_FILES) : int(sizeof WEB_DATA_FILES / sizeof *WEB_DATA_FILES);
    if (i < 0 || i >= n) return nullptr;
    return hd ? WEB_HD_FILES[i] : WEB_DATA_FILES[i];
}

// Sets the scale from the page's ?scale= text, as --scale does; 0 when it is not one.
EMSCRIPTEN_KEEPALIVE int web_set_scale(const char* text) {
    float scale;
    if (!demo_parse_scale(text, &scale)) return 0;
    demo.scale = scale;
    int32_t width, height;
    demo_screen_size(scale, &width, &height);
    host_offer_display_mode(width, height);
    return 1;
}

// The band renderer's thread count (1 in the single-thread build).
EMSCRIPTEN_KEEPALIVE void web_set_threads(int count) { jobs_set_threads(count); }
EMSCRIPTEN_KEEPALIVE int web_threads() { return jobs_threads(); }

// Start-up, then one pass of the loop per animation frame; the first is drawn
// at once. 0 when the demo runs; 1 after a failure the page has been shown.
EMSCRIPTEN_KEEPALIVE int web_start() {
    if (page_loop.running) return 0;
    if (demo_start() != 0) {
        // The message box named the step; the display driver's own words go to the console.
        std::fprintf(stderr, "wendril: start-up failed; the display driver says: %s\n",
                     current_gfx_driver->error_string());
        return 1;
    }
    page_loop = {};
    page_loop.running = true;
    animation_frame(0, nullptr);
    if (page_loop.running) emscripten_request_animation_frame_loop(animation_frame, nullptr);
    return 0;
}

// Where the demo is: the order and row its last frame drew (-1 before a start).
EMSCRIPTEN_KEEPALIVE int web_order() { return demo.position ? int(demo.position->order.load()) : -1; }
EMSCRIPTEN_KEEPALIVE int web_row() { return demo.position ? int(demo.position->row.load()) : -1; }
EMSCRIPTEN_KEEPALIVE double web_frames() { return double(page_loop.frames); }
EMSCRIPTEN_KEEPALIVE double web_work_ms_mean() {
    return page_loop.frames ? page_loop.work_ms_sum / double(page_loop.frames) : 0.0;
}
EMSCRIPTEN_KEEPALIVE double web_work_ms_max() { return page_loop.work_ms_max; }

}  // extern "C"

// The program's start only loads it: the page calls web_start after its click.
int main() { return 0; }
