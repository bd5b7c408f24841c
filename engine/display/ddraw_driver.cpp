// The full-screen display driver: DirectDraw loaded at run time, exclusive mode,
// Pixmap pixels converted straight into the locked primary surface through three
// channel tables; keys from window messages, a mouse emulated by re-centring.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/display/gfx.h"
#include "engine/display/input.h"
#include "engine/display/pixel_spans.h"
#include "engine/jobs/jobs.h"
#include "engine/memory/gmem.h"
#include "engine/pixmap/pixmap.h"
#include "platform/ddraw.h"

enum {
    DD_ERR_NONE = 0,
    DD_ERR_MEMORY = 1,
    DD_ERR_LIBRARY = 2,
    DD_ERR_FUNCTIONS = 3,
    DD_ERR_WINDOW = 4,
    DD_ERR_CREATE = 5,
    DD_ERR_COOPERATIVE = 6,
    DD_ERR_MODES = 7,
    DD_ERR_SET_MODE = 8,
    DD_ERR_SURFACE = 9,
    DD_ERR_PIXEL_FORMAT = 10,
    // Beyond the design's table, in the room of its "any other" row: blit or
    // update called while no display is open.
    DD_ERR_NOT_OPEN = 11,
};

constexpr UINT_PTR DD_MOUSE_TIMER = 1;
constexpr UINT DD_MOUSE_PERIOD_MS = 20;
constexpr DWORD DD_COOPERATIVE_FLAGS = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT;
static_assert(DD_COOPERATIVE_FLAGS == 19, "exclusive, full screen, allow reboot");

typedef HRESULT(WINAPI* DirectDrawCreateFn)(GUID*, LPDIRECTDRAW*, IUnknown*);

static struct {
    HMODULE library;
    DirectDrawCreateFn create;
    LPDIRECTDRAW object;
    LPDIRECTDRAWSURFACE primary;
    GfxMode* modes;
    int32_t mode_count;
    bool modes_built;
    GfxMode* mode;  // the current mode
    HWND window;
    ChannelTables tables;
    int32_t active, opened, input1, input2, doubling;
    int32_t mouse_x, mouse_y, raw_x, raw_y, buttons;
    RECT bounds;
    UINT_PTR mouse_timer;
    int32_t error;
    int32_t enum_count;  // the mode enumeration's running count
} dd;

static void dd_pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static HRESULT WINAPI dd_count_mode(LPDDSURFACEDESC desc, LPVOID) {
    if (desc->ddpfPixelFormat.dwFlags & DDPF_RGB) dd.enum_count++;
    return DDENUMRET_OK;
}

static HRESULT WINAPI dd_store_mode(LPDDSURFACEDESC desc, LPVOID) {
    const DDPIXELFORMAT& pf = desc->ddpfPixelFormat;
    if (!(pf.dwFlags & DDPF_RGB) || pf.dwRGBBitCount <= 8) return DDENUMRET_OK;
    // The list was sized by the first pass; a display that now offers more is cut short.
    if (dd.enum_count >= dd.mode_count) return DDENUMRET_CANCEL;
    dd.modes[dd.enum_count++] = {(int32_t)desc->dwWidth, (int32_t)desc->dwHeight, (int32_t)pf.dwRGBBitCount};
    return DDENUMRET_OK;
}

static GfxMode* dd_get_modes(int32_t* count) {
    if (dd.modes_built) {
        if (count) *count = dd.mode_count;
        return dd.modes;
    }
    HMODULE library = LoadLibraryA("ddraw.dll");
    if (!library) {
        dd.error = DD_ERR_LIBRARY;
        return nullptr;
    }
    DirectDrawCreateFn create = (DirectDrawCreateFn)(void*)GetProcAddress(library, "DirectDrawCreate");
    if (!create) {
        FreeLibrary(library);
        dd.error = DD_ERR_FUNCTIONS;
        return nullptr;
    }
    LPDIRECTDRAW object = nullptr;
    if (FAILED(create(nullptr, &object, nullptr))) {
        FreeLibrary(library);
        dd.error = DD_ERR_CREATE;
        return nullptr;
    }
    dd.enum_count = 0;
    if (FAILED(object->EnumDisplayModes(0, nullptr, nullptr, dd_count_mode))) {
        object->Release();
        FreeLibrary(library);
        dd.error = DD_ERR_MODES;
        return nullptr;
    }
    if (dd.enum_count == 0) {
        object->Release();
        FreeLibrary(library);
        return nullptr;
    }
    dd.modes = (GfxMode*)gmem_alloc((uint32_t)(dd.enum_count * sizeof(GfxMode)));
    if (!dd.modes) {
        object->Release();
        FreeLibrary(library);
        dd.error = DD_ERR_MEMORY;
        return nullptr;
    }
    dd.mode_count = dd.enum_count;
    dd.enum_count = 0;
    object->EnumDisplayModes(0, nullptr, nullptr, dd_store_mode);
    dd.mode_count = dd.enum_count;
    object->Release();
    FreeLibrary(library);
    gfx_input_keys_up();
    dd.modes_built = true;
    if (count) *count = dd.mode_count;
    return dd.modes;
}

static void dd_write_pferr(HRESULT result) {
    FILE* f = fopen("pferr.txt", "w");
    if (!f) return;
    if (result == DDERR_INVALIDPARAMS) fprintf(f, "DDERR_INVALIDPARAMS\n");
    if (result == DDERR_INVALIDOBJECT) fprintf(f, "DDERR_INVALIDOBJECT\n");
    if (result == DDERR_INVALIDSURFACETYPE) fprintf(f, "DDERR_INVALIDSURFACETYPE\n");
    fprintf(f, "%x\n", (unsigned)result);
    fclose(f);
}

static void dd_mouse_tick() {
    if (!dd.active || !dd.mode) return;
    const int32_t cx = dd.mode->width / 2, cy = dd.mode->height / 2;
    POINT p;
    GetCursorPos(&p);
    const int32_t dx = p.x - cx, dy = p.y - cy;
    dd.raw_x += dx;
    dd.raw_y += dy;
    dd.mouse_x += dx;
    dd.mouse_y += dy;
    if (dd.mouse_x < dd.bounds.left) dd.mouse_x = dd.bounds.left;
    if (dd.mouse_x > dd.bounds.right) dd.mouse_x = dd.bounds.right;
    if (dd.mouse_y < dd.bounds.top) dd.mouse_y = dd.bounds.top;
    if (dd.mouse_y > dd.bounds.bottom) dd.mouse_y = dd.bounds.bottom;
    SetCursorPos(cx, cy);
}

static LRESULT CALLBACK dd_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE:
        // Closing the window is an Escape key for the program.
        PostMessageA(hwnd, WM_KEYDOWN, 27, 0);
        return 0;
    case WM_ACTIVATEAPP: dd.active = (int32_t)wp; break;
    case WM_SETCURSOR: SetCursor(nullptr); return 1;
    case WM_KEYDOWN:
        gfx_input_queue((UINT)(wp & 0xFF));
        gfx_input_set(gfx_key_table[wp & 0xFF], 1);
        break;
    case WM_KEYUP: gfx_input_set(gfx_key_table[wp & 0xFF], 0); break;
    case WM_TIMER:
        if (wp != dd.mouse_timer)
            printf("Unknown timer caught!\n");
        else
            dd_mouse_tick();
        break;
    case WM_LBUTTONDOWN: dd.buttons |= 1; break;
    case WM_LBUTTONUP: dd.buttons &= ~1; break;
    case WM_RBUTTONDOWN: dd.buttons |= 2; break;
    case WM_RBUTTONUP: dd.buttons &= ~2; break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// The window class goes with the window, so the other driver (or a later open)
// registers "Tavik" with its own window procedure.
static void dd_destroy_window() {
    DestroyWindow(dd.window);
    UnregisterClassA("Tavik", GetModuleHandleA(nullptr));
    dd.window = nullptr;
}

// Undoes a failed open from the window on.
static int32_t dd_open_failed(int32_t error) {
    if (dd.primary) dd.primary->Release();
    if (dd.object) dd.object->Release();  // also gives the display mode back
    dd.primary = nullptr;
    dd.object = nullptr;
    dd_destroy_window();
    if (dd.library) FreeLibrary(dd.library);
    dd.library = nullptr;
    dd.error = error;
    return 0;
}

static int32_t dd_open(int32_t width, int32_t height, const char* caption, uint32_t mode) {
    int32_t count;
    if (!dd_get_modes(&count)) return 0;
    const int32_t bits = gfx_mode_bits(mode);
    dd.mode = nullptr;
    for (int32_t i = 0; i < count && !dd.mode; i++)
        if (dd.modes[i].width == width && dd.modes[i].height == height && dd.modes[i].bits_per_pixel == bits)
            dd.mode = &dd.modes[i];
    if (!dd.mode) {
        dd.error = DD_ERR_SET_MODE;
        return 0;
    }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = dd_window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "Tavik";
    RegisterClassA(&wc);
    dd.window = CreateWindowExA(WS_EX_TOPMOST, "Tavik", caption, WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                instance, nullptr);
    if (!dd.window) {
        dd.error = DD_ERR_WINDOW;
        return 0;
    }
    ShowWindow(dd.window, SW_SHOWDEFAULT);
    UpdateWindow(dd.window);

    dd.library = LoadLibraryA("ddraw.dll");
    if (!dd.library) return dd_open_failed(DD_ERR_LIBRARY);
    dd.create = (DirectDrawCreateFn)(void*)GetProcAddress(dd.library, "DirectDrawCreate");
    if (!dd.create) return dd_open_failed(DD_ERR_FUNCTIONS);
    if (FAILED(dd.create(nullptr, &dd.object, nullptr))) return dd_open_failed(DD_ERR_CREATE);
    if (FAILED(dd.object->SetCooperativeLevel(dd.window, DD_COOPERATIVE_FLAGS)))
        return dd_open_failed(DD_ERR_COOPERATIVE);
    if (FAILED(dd.object->SetDisplayMode((DWORD)width, (DWORD)height, (DWORD)bits)))
        return dd_open_failed(DD_ERR_SET_MODE);
    DDSURFACEDESC desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(dd.object->CreateSurface(&desc, &dd.primary, nullptr))) return dd_open_failed(DD_ERR_SURFACE);
    DDPIXELFORMAT pf;
    memset(&pf, 0, sizeof pf);
    pf.dwSize = sizeof pf;
    HRESULT result = dd.primary->GetPixelFormat(&pf);
    if (FAILED(result)) {
        dd_write_pferr(result);
        return dd_open_failed(DD_ERR_PIXEL_FORMAT);
    }

    channel_tables(&dd.tables, pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask);
    dd.bounds = {0, 0, width, height};
    if (!dd.mouse_timer) dd.mouse_timer = SetTimer(dd.window, DD_MOUSE_TIMER, DD_MOUSE_PERIOD_MS, nullptr);
    dd.input1 = dd.input2 = 1;
    dd.opened = 1;
    return 1;
}

static int32_t dd_close() {
    dd.mouse_timer = 0;
    dd.primary = nullptr;  // released with the object
    if (dd.object) dd.object->Release();
    dd.object = nullptr;
    PostQuitMessage(0);
    dd_destroy_window();
    if (dd.library) FreeLibrary(dd.library);
    dd.library = nullptr;
    // The surface is gone: later blits must do nothing (the input flags stay).
    dd.opened = 0;
    return 1;
}

static inline uint32_t dd_pixel(uint32_t p) { return channel_pixel(&dd.tables, p); }

static int32_t dd_blit(int32_t dx, int32_t dy, Pixmap* pixmap, int32_t sx, int32_t sy, int32_t w, int32_t h) {
    if (!dd.opened) {
        dd.error = DD_ERR_NOT_OPEN;
        return 0;
    }
    dd_pump();
    if (!dd.active || !dd.primary || !pixmap) return 0;
    pixmap_finish(pixmap);  // triangles still queued into it come first
    DDSURFACEDESC desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    HRESULT result = dd.primary->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    if (result == DDERR_SURFACELOST) {
        dd.primary->Restore();
        result = dd.primary->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    }
    if (FAILED(result)) return 0;

    const int32_t W = dd.mode->width, H = dd.mode->height, bits = dd.mode->bits_per_pixel;
    const LONG pitch = desc.lPitch;
    uint8_t* surface = (uint8_t*)desc.lpSurface;
    GfxBlitRect r = {dx, dy, sx, sy, w, h};
    if ((bits == 16 || bits == 32) && gfx_clip_blit(&r, pixmap->width, pixmap->height, W, H)) {
        const uint32_t* src = pixmap->pixels + (size_t)r.sy * pixmap->width + r.sx;
        if (!dd.doubling) {
            // Row by row, on every core for a large frame.
            jobs_parallel_rows(r.h, (int64_t)r.w * r.h, [&](int32_t first, int32_t end) {
                for (int32_t i = first; i < end; i++) {
                    uint8_t* row = surface + (size_t)(r.dy + i) * pitch;
                    const uint32_t* from = src + (size_t)i * pixmap->width;
                    if (bits == 16)
                        channel_span16(&dd.tables, (uint16_t*)row + r.dx, from, r.w, false);
                    else
                        channel_span32(&dd.tables, (uint32_t*)row + r.dx, from, r.w, false);
                }
            });
        } else {
            // Doubled: every source row goes to every other display row, kept inside the surface.
            const int32_t rows = (int32_t)std::min<int64_t>(r.h, (H - r.dy + 1) / 2);
            const int32_t cols = (int32_t)std::min<int64_t>(r.w, (W - r.dx) / 2);
            const bool half = cols < r.w && r.dx + 2 * cols < W;  // room for one copy of one more pixel
            uint8_t* row = surface + (size_t)r.dy * pitch;
            for (int32_t i = 0; i < rows; i++, src += pixmap->width, row += 2 * (size_t)pitch) {
                if (bits == 16) {
                    uint16_t* dst = (uint16_t*)row + r.dx;
                    channel_span16(&dd.tables, dst, src, cols, true);
                    if (half) dst[2 * cols] = (uint16_t)dd_pixel(src[cols]);
                } else {
                    uint32_t* dst = (uint32_t*)row + r.dx;
                    channel_span32(&dd.tables, dst, src, cols, true);
                    if (half) dst[2 * cols] = dd_pixel(src[cols]);
                }
            }
        }
    }
    dd.primary->Unlock(nullptr);
    return 1;
}

static int32_t dd_update() {
    // The result stays 1 as the interface fixes it; the code tells a caller
    // that nothing is open to update.
    if (!dd.opened) dd.error = DD_ERR_NOT_OPEN;
    dd_pump();
    if (dd.active && dd.object) dd.object->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    return 1;
}

static int32_t dd_set_option(int32_t option) {
    if (option != GFX_OPTION_DOUBLE) return 0;
    dd.doubling = 1;
    return 1;
}

static int32_t dd_get_caps() { return (dd.input1 ? GFX_CAPS_INPUT1 : 0) + (dd.input2 ? GFX_CAPS_INPUT2 : 0); }

static int32_t dd_key_state(int32_t code) {
    dd_pump();
    return gfx_input_state(code);
}

static int32_t dd_get_key() {
    return gfx_input_next();
}

static int32_t dd_mouse_x() {
    dd_pump();
    return dd.input1 ? dd.mouse_x : 0;
}

static int32_t dd_mouse_y() {
    dd_pump();
    return dd.input1 ? dd.mouse_y : 0;
}

static int32_t dd_mouse_raw_x() { return dd.input1 ? dd.raw_x : 0; }
static int32_t dd_mouse_raw_y() { return dd.input1 ? dd.raw_y : 0; }

static int32_t dd_mouse_buttons() {
    dd_pump();
    return dd.input1 ? dd.buttons : 0;
}

static int32_t dd_joy(int32_t) { return 0; }  // no joystick

static const char* dd_error_string() {
    // Code 0 has its own message: with "Unknown error" for it a caller could
    // not tell success from a failure. Unknown codes keep "Unknown error".
    static const char* const messages[] = {
        "[DirectX] No error",
        "[DirectX] Unable allocate memory",
        "[DirectX] Unable to load ddraw.dll",
        "[DirectX] Missing functions in ddraw.dll",
        "[DirectX] Failed while opening window",
        "[DirectX] Failed while create DirectDraw object",
        "[DirectX] Unable to set cooperative mode",
        "[DirectX] Failed while gathering mode information",
        "[DirectX] Failed while setting mode",
        "[DirectX] Unable to create surface",
        "[DirectX] Failed while reading DDPIXELFORMAT",
        "[DirectX] Display not open (blit or update before open, or after close)",
    };
    const int32_t code = dd.error;
    dd.error = DD_ERR_NONE;
    if (code < 0 || code > DD_ERR_NOT_OPEN) return "[DirectX] Unknown error";
    return messages[code];
}

const GfxDriver gfx_ddraw_driver = {
    "DirectX 3+ Driver v 0.1 for Tavik",
    dd_get_modes,
    dd_open,
    dd_close,
    dd_blit,
    dd_update,
    dd_set_option,
    dd_get_caps,
    dd_key_state,
    dd_get_key,
    dd_mouse_x,
    dd_mouse_y,
    dd_mouse_raw_x,
    dd_mouse_raw_y,
    dd_mouse_buttons,
    dd_joy,
    dd_joy,
    dd_joy,
    dd_error_string,
};
