// The SDL host: one SDL2 window showing the presented picture scaled with its
// aspect kept and sharp (nearest) pixels, vertical-blank pacing, and the machine's
// keyboard, mouse, close button and focus turned into Windows messages.
// Without a GPU the host scales each frame into SDL's window surface itself as it
// is presented, in one pass from the presented pixels (no copy of the frame kept).
// A program that needs a window and finds no display (SDL would fall back to its
// offscreen driver and play unseen) says so and ends with status 1; one that asks for
// SDL's dummy or offscreen driver by SDL_VIDEODRIVER runs without a window (tests do).
#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#ifdef __linux__
#include <dirent.h>
#endif
#include <unistd.h>

#include "platform/host_driver.h"
#include "platform/hosts/sdl/present_scale.h"

static struct {
    const HostEvents* events = nullptr;  // where input goes, handed over with the window
    bool init_tried = false;
    bool video = false;       // SDL's video runs on a real display, or on a driver asked for
    char no_display[256] = {};  // else why not
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int32_t tex_width = 0, tex_height = 0;
    uint32_t tex_format = 0;
    bool direct = false;      // no renderer: frames are scaled into the window surface
    bool redraw = false;      // there, the surface lost its picture (resized): drawn again
    SDL_Surface* drawn = nullptr;  // the surface last drawn into
    std::vector<uint32_t> redraw_pixels;
    bool exclusive = false;  // a DirectDraw display mode is set: full screen
    bool pending = false;    // a frame waits for the next vertical blank
    bool have_frame = false;
    uint64_t last_vblank_us = 0;
    bool cursor_shown = true;
} sdl;

// True when OpenGL could only be Mesa's rasterizer running in this process: no GPU
// device to open (a virtual X server, a container, a virtual machine), or software
// rendering asked for. That rasterizer loads about 75 MB of libraries and costs
// more CPU than drawing the demo; scaling the small picture ourselves costs little.
static bool gl_is_software() {
    const char* forced = getenv("LIBGL_ALWAYS_SOFTWARE");
    if (forced && *forced && strcmp(forced, "0") != 0) return true;
#ifdef __linux__
    if (access("/dev/nvidiactl", F_OK) == 0) return false;
    bool gpu = false;
    if (DIR* dri = opendir("/dev/dri")) {
        while (dirent* e = readdir(dri))
            if (strncmp(e->d_name, "card", 4) == 0 || strncmp(e->d_name, "renderD", 7) == 0) gpu = true;
        closedir(dri);
    }
    return !gpu;
#else
    return false;
#endif
}

// Starts SDL's video once; false (and the reason in sdl.no_display) when there is no
// display: SDL's video did not start, or it fell back to a driver without one that
// SDL_VIDEODRIVER did not ask for.
static bool video_init() {
    if (!sdl.init_tried) {
        sdl.init_tried = true;
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // Otherwise SDL would put the window surface itself through OpenGL.
        if (gl_is_software()) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
        const char* x11 = getenv("DISPLAY");
        const char* wayland = getenv("WAYLAND_DISPLAY");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            snprintf(sdl.no_display, sizeof sdl.no_display, "SDL's video did not start (%s)", SDL_GetError());
            return false;
        }
        const char* driver = SDL_GetCurrentVideoDriver();
        const bool stand_in = driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0);
        if (stand_in && !(asked && *asked)) {
            if ((x11 && *x11) || (wayland && *wayland))
                snprintf(sdl.no_display, sizeof sdl.no_display,
                         "could not connect to the display%s%s%s%s (no server there, or it refused)",
                         x11 && *x11 ? " DISPLAY=" : "", x11 && *x11 ? x11 : "",
                         wayland && *wayland ? " WAYLAND_DISPLAY=" : "", wayland && *wayland ? wayland : "");
            else
                snprintf(sdl.no_display, sizeof sdl.no_display, "neither DISPLAY nor WAYLAND_DISPLAY is set");
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            return false;
        }
        sdl.video = true;
    }
    return sdl.video;
}

// The program needs the display and cannot go on without it: the reason and the ways
// to see the demo anyway, then status 1 at once (other threads may be running, so
// no exit handlers: the output is flushed and the process ends).
[[noreturn]] static void no_display_exit(const char* what, const char* why) {
#ifdef __GLIBC__
    const char* program = program_invocation_short_name;
#else
    const char* program = "tavik";
#endif
    fflush(stdout);
    fprintf(stderr,
            "%s: %s: %s.\n"
            "Without a display, scripts/run renders the demo as a video, and wendril-capture renders its\n"
            "frames and sound (wendril-capture --help). SDL_VIDEODRIVER=dummy runs a program without a window.\n",
            program, what, why);
    fflush(stderr);
    _exit(1);
}

// Video for what cannot be done without a display (a window, its size and refresh rate).
static void video_need() {
    if (!video_init()) no_display_exit("no display", sdl.no_display);
}

// The size in pixels of what is drawn into: the renderer's output or the window surface.
static void output_size(int* w, int* h) {
    *w = *h = 0;
    if (sdl.renderer) {
        SDL_GetRendererOutputSize(sdl.renderer, w, h);
    } else if (SDL_Surface* s = sdl.direct ? SDL_GetWindowSurface(sdl.window) : nullptr) {
        *w = s->w;
        *h = s->h;
    }
}

// Where the picture goes in the renderer's output: as large as fits, aspect kept.
static SDL_Rect picture_rect() {
    SDL_Rect r = {0, 0, 0, 0};
    int ow = 0, oh = 0;
    if (!sdl.tex_width || !sdl.tex_height) return r;
    output_size(&ow, &oh);
    double scale = std::min((double)ow / sdl.tex_width, (double)oh / sdl.tex_height);
    // Whole multiples when they fill most of the window: every pixel the same size.
    if (scale >= 1.0 && std::floor(scale) / scale > 0.85) scale = std::floor(scale);
    r.w = (int)(sdl.tex_width * scale);
    r.h = (int)(sdl.tex_height * scale);
    r.x = (ow - r.w) / 2;
    r.y = (oh - r.h) / 2;
    return r;
}

// Output pixels per window coordinate (high-density displays differ).
static double output_ratio() {
    int ww = 1, wh = 1, ow = 1, oh = 1;
    SDL_GetWindowSize(sdl.window, &ww, &wh);
    output_size(&ow, &oh);
    return ww > 0 ? (double)ow / ww : 1.0;
}

// The window surface: black around the picture, `frame` (or nothing) scaled into its place.
static void draw_direct(const HostFrame* frame) {
    SDL_Surface* s = SDL_GetWindowSurface(sdl.window);
    if (!s) return;
    SDL_Rect r = picture_rect();
    if (frame && r.w > 0 && r.h > 0) {
        const SDL_Rect bars[4] = {{0, 0, s->w, r.y},
                                  {0, r.y + r.h, s->w, s->h - r.y - r.h},
                                  {0, r.y, r.x, r.h},
                                  {r.x + r.w, r.y, s->w - r.x - r.w, r.h}};
        SDL_FillRects(s, bars, 4, 0);
        present_scale(frame, (uint8_t*)s->pixels + (size_t)r.y * s->pitch + (size_t)r.x * 4, s->pitch, r.w, r.h);
    } else {
        SDL_FillRect(s, nullptr, 0);
    }
    sdl.drawn = s;
    sdl.redraw = false;
}

// A new window surface (the window was resized) gets the last frame again, from the
// stand-ins' copy: its RGBA back to 0x00RRGGBB, which for a 5-6-5 frame are the
// very values the widening gives.
static void redraw_direct() {
    int32_t w = 0, h = 0;
    const uint8_t* rgba = sdl.have_frame && sdl.events ? sdl.events->last_frame(&w, &h) : nullptr;
    if (!rgba || w != sdl.tex_width || h != sdl.tex_height) {
        draw_direct(nullptr);
        return;
    }
    sdl.redraw_pixels.resize((size_t)w * h);
    for (size_t i = 0; i < sdl.redraw_pixels.size(); i++, rgba += 4)
        sdl.redraw_pixels[i] = (uint32_t)rgba[0] << 16 | (uint32_t)rgba[1] << 8 | rgba[2];
    const HostFrame frame = {w, h, w * 4, HOST_FORMAT_XRGB8888, sdl.redraw_pixels.data()};
    draw_direct(&frame);
}

// Shows the window surface; the frame was scaled into it when it was presented.
static void render_direct() {
    SDL_Surface* s = SDL_GetWindowSurface(sdl.window);
    if (!s) return;
    if (sdl.redraw || s != sdl.drawn) redraw_direct();
    SDL_UpdateWindowSurface(sdl.window);
}

static void render() {
    if (sdl.direct) {
        render_direct();
        return;
    }
    if (!sdl.renderer) return;
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    if (sdl.texture) {
        SDL_Rect r = picture_rect();
        // Sharp pixels when enlarging; shrinking a large picture averages instead.
        SDL_SetTextureScaleMode(sdl.texture, r.w < sdl.tex_width ? SDL_ScaleModeLinear : SDL_ScaleModeNearest);
        SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, &r);
    }
    SDL_RenderPresent(sdl.renderer);
}

static void set_fullscreen(bool on) {
    if (sdl.window) SDL_SetWindowFullscreen(sdl.window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void host_window_show(const char* caption, int32_t client_width, int32_t client_height, const HostEvents* events) {
    sdl.events = events;
    video_need();
    if (sdl.window) {
        SDL_SetWindowTitle(sdl.window, caption);
        return;
    }
    SDL_DisplayMode desktop;
    int scale = 1;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && client_width > 0 && client_height > 0)
        scale = std::max(1, std::min(desktop.w * 4 / 5 / client_width, desktop.h * 4 / 5 / client_height));
    sdl.window = SDL_CreateWindow(caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  std::max(1, client_width * scale), std::max(1, client_height * scale),
                                  SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!sdl.window) no_display_exit("no window", SDL_GetError());
    const Uint32 accelerated = SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC;
    bool software_gl = gl_is_software();
    if (!software_gl) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, accelerated);
    // No GPU: the window surface, when it has the 0x00RRGGBB pixels the scaling writes
    // (SDL's software renderer would scale a 5-6-5 texture into it several times
    // slower), unless SDL_RENDER_DRIVER asks for one of SDL's renderers.
    SDL_Surface* surface =
        sdl.renderer || SDL_GetHint(SDL_HINT_RENDER_DRIVER) ? nullptr : SDL_GetWindowSurface(sdl.window);
    sdl.direct = surface && surface->format->BytesPerPixel == 4 && surface->format->Rmask == 0xFF0000 &&
                 surface->format->Gmask == 0xFF00 && surface->format->Bmask == 0xFF;
    if (!sdl.renderer && !sdl.direct) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl.renderer && !sdl.direct && software_gl) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, accelerated);
    if (!sdl.renderer && !sdl.direct) no_display_exit("nothing draws into the window", SDL_GetError());
    events->key_toggle(VK_CAPITAL, (SDL_GetModState() & KMOD_CAPS) != 0);
    SDL_ShowCursor(sdl.cursor_shown ? SDL_ENABLE : SDL_DISABLE);
    if (sdl.exclusive && !getenv("TAVIK_WINDOWED")) set_fullscreen(true);
    render();
}

void host_window_destroy() {
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    if (sdl.renderer) SDL_DestroyRenderer(sdl.renderer);
    if (sdl.window) SDL_DestroyWindow(sdl.window);
    sdl.texture = nullptr;
    sdl.renderer = nullptr;
    sdl.window = nullptr;
    sdl.tex_width = sdl.tex_height = 0;
    sdl.direct = false;
    sdl.drawn = nullptr;
    sdl.pending = sdl.have_frame = false;
    SDL_ShowCursor(SDL_ENABLE);
}

// A mode larger than 320 x 240 is a scaled screen: the window takes its size,
// shrunk to fit the desktop's usable area with the aspect kept.
static void fit_window_to(int32_t width, int32_t height) {
    if (!sdl.window || width <= 320 || height <= 240) return;
    SDL_Rect usable;
    double shrink = 1.0;
    if (SDL_GetDisplayUsableBounds(SDL_GetWindowDisplayIndex(sdl.window), &usable) == 0 && usable.w > 0 && usable.h > 0)
        shrink = std::min(1.0, std::min((double)usable.w / width, (double)usable.h / height));
    SDL_SetWindowSize(sdl.window, std::max(1, (int)(width * shrink)), std::max(1, (int)(height * shrink)));
    SDL_SetWindowPosition(sdl.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
}

void host_display_mode(int32_t width, int32_t height, int32_t) {
    sdl.exclusive = width > 0;
    if (sdl.exclusive) fit_window_to(width, height);
    if (!getenv("TAVIK_WINDOWED")) set_fullscreen(sdl.exclusive);
}

void host_present(const HostFrame* frame, bool at_vblank) {
    if (sdl.direct) {
        sdl.tex_width = frame->width;
        sdl.tex_height = frame->height;
        draw_direct(frame);
        sdl.have_frame = true;
        if (at_vblank)
            sdl.pending = true;
        else
            SDL_UpdateWindowSurface(sdl.window);
        return;
    }
    if (!sdl.renderer) return;
    uint32_t format = frame->format == HOST_FORMAT_RGB565 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB888;
    if (!sdl.texture || sdl.tex_width != frame->width || sdl.tex_height != frame->height ||
        sdl.tex_format != format) {
        if (sdl.texture) SDL_DestroyTexture(sdl.texture);
        sdl.texture = SDL_CreateTexture(sdl.renderer, format, SDL_TEXTUREACCESS_STREAMING, frame->width,
                                        frame->height);
        sdl.tex_width = sdl.texture ? frame->width : 0;
        sdl.tex_height = sdl.texture ? frame->height : 0;
        sdl.tex_format = format;
        if (!sdl.texture) return;
    }
    SDL_UpdateTexture(sdl.texture, nullptr, frame->pixels, frame->pitch);
    sdl.have_frame = true;
    if (at_vblank)
        sdl.pending = true;  // shown at the next vertical blank, without tearing
    else
        render();
}

void host_wait_vblank() {
    if (sdl.pending) {
        render();  // with vsync this returns at the vertical blank
        sdl.pending = false;
    }
    // Without vsync (or without a window) keep the refresh rate's pace ourselves.
    uint64_t period = 1000000ull / (uint64_t)std::max(1, host_refresh_rate());
    uint64_t now = host_clock_us();
    if (sdl.last_vblank_us && now < sdl.last_vblank_us + period) {
        host_clock_advance(sdl.last_vblank_us + period - now);
        now = sdl.last_vblank_us + period;
    }
    sdl.last_vblank_us = now;
}

static UINT vk_of(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return VK_F1 + (sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return VK_NUMPAD0 + 1 + (sc - SDL_SCANCODE_KP_1);
    switch (sc) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_KP_0: return VK_NUMPAD0;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
    case SDL_SCANCODE_ESCAPE: return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE: return VK_BACK;
    case SDL_SCANCODE_TAB: return VK_TAB;
    case SDL_SCANCODE_SPACE: return VK_SPACE;
    case SDL_SCANCODE_MINUS: return VK_OEM_MINUS;
    case SDL_SCANCODE_EQUALS: return VK_OEM_PLUS;
    case SDL_SCANCODE_LEFTBRACKET: return VK_OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET: return VK_OEM_6;
    case SDL_SCANCODE_BACKSLASH: return VK_OEM_5;
    case SDL_SCANCODE_SEMICOLON: return VK_OEM_1;
    case SDL_SCANCODE_APOSTROPHE: return VK_OEM_7;
    case SDL_SCANCODE_GRAVE: return VK_OEM_3;
    case SDL_SCANCODE_COMMA: return VK_OEM_COMMA;
    case SDL_SCANCODE_PERIOD: return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH: return VK_OEM_2;
    case SDL_SCANCODE_CAPSLOCK: return VK_CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN: return VK_SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK: return VK_SCROLL;
    case SDL_SCANCODE_PAUSE: return VK_PAUSE;
    case SDL_SCANCODE_INSERT: return VK_INSERT;
    case SDL_SCANCODE_HOME: return VK_HOME;
    case SDL_SCANCODE_PAGEUP: return VK_PRIOR;
    case SDL_SCANCODE_DELETE: return VK_DELETE;
    case SDL_SCANCODE_END: return VK_END;
    case SDL_SCANCODE_PAGEDOWN: return VK_NEXT;
    case SDL_SCANCODE_RIGHT: return VK_RIGHT;
    case SDL_SCANCODE_LEFT: return VK_LEFT;
    case SDL_SCANCODE_DOWN: return VK_DOWN;
    case SDL_SCANCODE_UP: return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE: return VK_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY: return VK_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS: return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS: return VK_ADD;
    case SDL_SCANCODE_KP_PERIOD: return VK_DECIMAL;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT: return VK_SHIFT;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL: return VK_CONTROL;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT: return VK_MENU;
    default: return 0;
    }
}

// Window coordinates to picture pixels; false outside the picture.
static bool picture_point(int wx, int wy, int32_t* x, int32_t* y) {
    SDL_Rect r = picture_rect();
    if (r.w <= 0 || r.h <= 0) return false;
    double k = output_ratio();
    double px = (wx * k - r.x) * sdl.tex_width / r.w, py = (wy * k - r.y) * sdl.tex_height / r.h;
    if (px < 0 || py < 0 || px >= sdl.tex_width || py >= sdl.tex_height) return false;
    *x = (int32_t)px;
    *y = (int32_t)py;
    return true;
}

void host_pump_events() {
    if (!sdl.video || !sdl.events) return;
    const HostEvents& to = *sdl.events;
    SDL_Event e;
    bool closed = false;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT:
            if (!closed) to.close();
            closed = true;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            UINT vk = vk_of(e.key.keysym.scancode);
            if (e.type == SDL_KEYDOWN && vk == VK_RETURN && (e.key.keysym.mod & KMOD_ALT)) {
                // Alt+Enter: between full screen and a window; the program never sees it.
                if (!e.key.repeat)
                    set_fullscreen(!(SDL_GetWindowFlags(sdl.window) & SDL_WINDOW_FULLSCREEN_DESKTOP));
                break;
            }
            if (vk) to.key(vk, e.type == SDL_KEYDOWN);
            break;
        }
        case SDL_MOUSEMOTION: {
            int32_t x, y;
            if (picture_point(e.motion.x, e.motion.y, &x, &y)) to.mouse_move(x, y);
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            int button = e.button.button == SDL_BUTTON_LEFT    ? 0
                         : e.button.button == SDL_BUTTON_RIGHT ? 1
                         : e.button.button == SDL_BUTTON_MIDDLE ? 2
                                                                : -1;
            if (button >= 0) to.mouse_button(button, e.type == SDL_MOUSEBUTTONDOWN);
            break;
        }
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                if (!closed) to.close();
                closed = true;
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED: to.focus(true); break;
            case SDL_WINDOWEVENT_FOCUS_LOST: to.focus(false); break;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
                sdl.redraw = true;
                [[fallthrough]];
            case SDL_WINDOWEVENT_EXPOSED:
                if (sdl.have_frame && !sdl.pending) render();
                break;
            }
            break;
        }
    }
}

void host_cursor_warp(int32_t x, int32_t y) {
    if (!sdl.window) return;
    SDL_Rect r = picture_rect();
    if (r.w <= 0 || r.h <= 0) return;
    double k = output_ratio();
    int wx = (int)((r.x + (x + 0.5) * r.w / sdl.tex_width) / k);
    int wy = (int)((r.y + (y + 0.5) * r.h / sdl.tex_height) / k);
    SDL_WarpMouseInWindow(sdl.window, wx, wy);
}

void host_cursor_show(bool shown) {
    sdl.cursor_shown = shown;
    if (sdl.video) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void host_desktop_size(int32_t* width, int32_t* height) {
    SDL_DisplayMode mode;
    video_need();
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        *width = mode.w;
        *height = mode.h;
    } else {
        *width = 1920;
        *height = 1080;
    }
}

int32_t host_refresh_rate() {
    static int32_t rate = 0;
    if (!rate) {
        SDL_DisplayMode mode;
        video_need();
        rate = (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0)
                   ? mode.refresh_rate
                   : 60;
    }
    return rate;
}

void host_message_box(const char* text, const char* caption) {
    // Unattended runs (tests under a virtual display) set TAVIK_NO_MESSAGE_BOX: nobody would click OK.
    if (getenv("TAVIK_NO_MESSAGE_BOX") || !video_init()) return;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, sdl.window);
}
