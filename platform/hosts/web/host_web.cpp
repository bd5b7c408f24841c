// The browser host: each presented frame goes into the page's canvas (the page
// scales it to the window, 4:3 and centred), the page's keyboard and mouse come
// in through the exported web_host_* entry points, and a message box is a card on
// the page. The browser paces the frames: the vertical-blank wait does the frame's
// due work (timers, sound) and returns at once.
#include <emscripten.h>
#include <wasm_simd128.h>

#include <cstring>
#include <vector>

#include "platform/host_driver.h"
#include "platform/hosts/web/web_host.h"

// ---- the page's side (Module.page, web/wendril.js) ---------------------------

// The page gets a view of the program's memory, valid during the call.
EM_JS(void, web_js_present, (const uint8_t* rgba, int32_t width, int32_t height),
      { Module.page.present(HEAPU8.subarray(rgba, rgba + width * height * 4), width, height); });
EM_JS(void, web_js_caption, (const char* caption), { Module.page.caption(UTF8ToString(caption)); });
EM_JS(void, web_js_cursor_show, (int shown), { Module.page.cursorShow(shown != 0); });
EM_JS(void, web_js_message, (const char* text, const char* caption),
      { Module.page.message(UTF8ToString(text), UTF8ToString(caption)); });
EM_JS(int32_t, web_js_screen_width, (), { return (screen.width * (window.devicePixelRatio || 1)) | 0; });
EM_JS(int32_t, web_js_screen_height, (), { return (screen.height * (window.devicePixelRatio || 1)) | 0; });

// ---- module state -----------------------------------------------------------

static struct {
    const HostEvents* events = nullptr;  // where input goes, handed over with the window
    std::vector<uint32_t> rgba;          // the frame as the canvas takes it: bytes R, G, B, 255
    std::vector<uint32_t> from565;       // 5-6-5 words to RGBA, made at the first such frame
    double present_ms = 0;               // time spent presenting (conversion and canvas), for the page's figures
} web;

// ---- private helpers --------------------------------------------------------

// The same widening as the stand-ins' RGBA copies (low bits from the high ones).
static void make_565_table()
{
    web.from565.resize(65536);
    for (uint32_t v = 0; v < 65536; v++) {
        uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
        r = (r << 3) | (r >> 2);
        g = (g << 2) | (g >> 4);
        b = (b << 3) | (b >> 2);
        web.from565[v] = 0xFF000000u | b << 16 | g << 8 | r;
    }
}

static void frame_to_rgba(const HostFrame* f)
{
    web.rgba.resize(static_cast<size_t>(f->width) * f->height);
    uint32_t* o = web.rgba.data();
    if (f->format == HOST_FORMAT_RGB565 && web.from565.empty()) make_565_table();
    for (int32_t y = 0; y < f->height; y++) {
        const uint8_t* row = static_cast<const uint8_t*>(f->pixels) + static_cast<size_t>(y) * f->pitch;
        if (f->format == HOST_FORMAT_RGB565) {
            for (int32_t x = 0; x < f->width; x++) {
                uint16_t v;
                std::memcpy(&v, row + 2 * x, 2);
                *o++ = web.from565[v];
            }
        } else {
            int32_t x = 0;
            // Four pixels at a time: bytes B, G, R, x to R, G, B, 255 (the scalar loop's result).
            const v128_t opaque = wasm_u32x4_splat(0xFF000000u);
            for (; x + 4 <= f->width; x += 4, o += 4) {
                v128_t v = wasm_v128_load(row + 4 * x);
                v = wasm_i8x16_shuffle(v, v, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
                wasm_v128_store(o, wasm_v128_or(v, opaque));
            }
            for (; x < f->width; x++) {
                uint32_t v;
                std::memcpy(&v, row + 4 * x, 4);  // 0x00RRGGBB
                *o++ = 0xFF000000u | (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
            }
        }
    }
}

// ---- host interface ---------------------------------------------------------

void host_window_show(const char* caption, int32_t, int32_t, const HostEvents* events)
{
    web.events = events;
    web_js_caption(caption ? caption : "");
}

void host_window_destroy() {}

// The page is the screen: a display mode changes nothing there.
void host_display_mode(int32_t, int32_t, int32_t) {}

// Into the canvas at once: the browser shows it at its next refresh.
void host_present(const HostFrame* frame, bool)
{
    const double begin = emscripten_get_now();
    frame_to_rgba(frame);
    web_js_present(reinterpret_cast<const uint8_t*>(web.rgba.data()), frame->width, frame->height);
    web.present_ms += emscripten_get_now() - begin;
}

// Nothing to wait for: the browser calls the next pass at its next refresh. What
// time brought since the last pass happens here, where the headless host moves its
// clock: the due timers fire and the sound is topped up.
void host_wait_vblank()
{
    web_host_timers_fire();
    web_host_audio_frame();
}

// The page's events arrive through the web_host_* entry points as they happen.
void host_pump_events() {}

// A page cannot move the pointer.
void host_cursor_warp(int32_t, int32_t) {}

void host_cursor_show(bool shown)
{
    web_js_cursor_show(shown);
}

void host_desktop_size(int32_t* width, int32_t* height)
{
    *width = web_js_screen_width();
    *height = web_js_screen_height();
    if (*width <= 0 || *height <= 0) {
        *width = 1920;
        *height = 1080;
    }
}

int32_t host_refresh_rate()
{
    return 60;
}

void host_message_box(const char* text, const char* caption)
{
    web_js_message(text ? text : "", caption ? caption : "");
}

// ---- the page's input -----------------------------------------------------------

extern "C" {

EMSCRIPTEN_KEEPALIVE int web_host_key(int vk, int down)
{
    return web.events && web.events->key(static_cast<UINT>(vk), down != 0);
}

// Picture pixels (the page maps the canvas' client position to them).
EMSCRIPTEN_KEEPALIVE int web_host_mouse_move(int x, int y)
{
    return web.events && web.events->mouse_move(x, y);
}

EMSCRIPTEN_KEEPALIVE int web_host_mouse_button(int button, int down)
{
    return web.events && web.events->mouse_button(button, down != 0);
}

// Milliseconds spent presenting frames since the program started.
EMSCRIPTEN_KEEPALIVE double web_host_present_ms()
{
    return web.present_ms;
}

}  // extern "C"
