// The windowed display driver: a captioned window with a 32-bit bottom-up DIB
// section the size of the display, copied whole to the window on every blit;
// keyboard and mouse from the window's messages, a joystick from the arrow keys.
#include <cstring>

#include "engine/display/gfx.h"
#include "engine/display/input.h"
#include "engine/display/pixel_spans.h"
#include "engine/jobs/jobs.h"
#include "engine/pixmap/pixmap.h"
#include "platform/win32.h"

// Key-state slots of keys the key table does not translate.
enum {
    GDI_SLOT_UP = 256,
    GDI_SLOT_DOWN = 257,
    GDI_SLOT_LEFT = 258,
    GDI_SLOT_RIGHT = 259,
    GDI_SLOT_SHIFT = 260,  // and 261
    GDI_SLOT_CONTROL = 263,
    GDI_SLOT_ALT = 264,
    GDI_SLOT_PAD_PLUS = 43,
    GDI_SLOT_PAD_MINUS = 45,
};

enum {
    GDI_ERR_NONE = 0,
    GDI_ERR_MEMORY = 1,
    GDI_ERR_WINDOW = 2,
    GDI_ERR_DIB = 3,
    GDI_ERR_DC = 4,
    GDI_ERR_MODE = 5,
    // Beyond the design's table (whose "any other" row would answer "Ambiguous
    // error..."): blit or update called while no display is open.
    GDI_ERR_NOT_OPEN = 6,
};

static struct {
    GfxMode modes[1];
    int32_t mode_count;  // 0 until the first get_modes
    int32_t width, height, bits;
    BITMAPINFO header;
    HWND window;
    HDC dc;
    HBITMAP bitmap;
    uint32_t* bitmap_bits;
    int32_t opened, active, input1, input2, doubling;
    int32_t mouse_x, mouse_y, raw_x, raw_y, buttons;
    struct {
        int32_t up, down, left, right, button;
    } joy;
    int32_t error;
} gdi;

static void gdi_pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static void gdi_show_bitmap() {
    SetDIBitsToDevice(gdi.dc, 0, 0, (DWORD)gdi.width, (DWORD)gdi.height, 0, 0, 0, (UINT)gdi.height,
                      gdi.bitmap_bits, &gdi.header, DIB_RGB_COLORS);
    GdiFlush();
}

// The key-state slot a key message sets or clears, and whether a press is queued.
static int32_t gdi_key_slot(UINT vk, bool* queued) {
    *queued = false;
    switch (vk) {
    case VK_CONTROL: return GDI_SLOT_CONTROL;
    case VK_MENU: return GDI_SLOT_ALT;
    case VK_LEFT: return GDI_SLOT_LEFT;
    case VK_UP: return GDI_SLOT_UP;
    case VK_RIGHT: return GDI_SLOT_RIGHT;
    case VK_DOWN: return GDI_SLOT_DOWN;
    case VK_ADD: return GDI_SLOT_PAD_PLUS;
    case VK_SUBTRACT: return GDI_SLOT_PAD_MINUS;
    }
    *queued = true;
    return gfx_key_table[vk];
}

static LRESULT CALLBACK gdi_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE:
        // Closing the window is an Escape key for the program.
        PostMessageA(hwnd, WM_KEYDOWN, 27, 0);
        return 0;
    case WM_ACTIVATEAPP:
        gdi.active = (int32_t)wp;
        // Coming back to the front shows the last picture again at once.
        if (gdi.active && gdi.opened) gdi_show_bitmap();
        break;
    case WM_SETCURSOR: SetCursor(nullptr); return 1;
    case WM_KEYDOWN:
    case WM_KEYUP: {
        const int32_t down = msg == WM_KEYDOWN;
        const UINT vk = (UINT)(wp & 0xFF);
        if (vk == VK_SHIFT) {
            gfx_input_set(GDI_SLOT_SHIFT, down);
            gfx_input_set(GDI_SLOT_SHIFT + 1, down);
            break;
        }
        bool queued;
        gfx_input_set(gdi_key_slot(vk, &queued), down);
        if (down && queued) gfx_input_queue(vk);
        break;
    }
    case WM_MOUSEMOVE:
        gdi.raw_x = gdi.mouse_x = LOWORD(lp);
        gdi.raw_y = gdi.mouse_y = HIWORD(lp);
        break;
    case WM_LBUTTONDOWN: gdi.buttons |= 1; break;
    case WM_LBUTTONUP: gdi.buttons &= ~1; break;
    case WM_RBUTTONDOWN: gdi.buttons |= 2; break;
    case WM_RBUTTONUP: gdi.buttons &= ~2; break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

static GfxMode* gdi_get_modes(int32_t* count) {
    if (!gdi.mode_count) {
        gdi.modes[0] = {-1, -1, 32};
        gdi.mode_count = 1;
    }
    if (count) *count = gdi.mode_count;
    return gdi.modes;
}

// The window class goes with the window, so the other driver (or a later open)
// registers "Tavik" with its own window procedure.
static void gdi_destroy_window() {
    DestroyWindow(gdi.window);
    UnregisterClassA("Tavik", GetModuleHandleA(nullptr));
    gdi.window = nullptr;
}

static int32_t gdi_open(int32_t width, int32_t height, const char* caption, uint32_t mode) {
    int32_t count;
    gdi_get_modes(&count);
    if (gfx_mode_bits(mode) != 32) {
        gdi.error = GDI_ERR_MODE;
        return 0;
    }
    gdi.width = width;
    gdi.height = height;
    gdi.bits = 32;
    memset(&gdi.header, 0, sizeof gdi.header);
    gdi.header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    gdi.header.bmiHeader.biWidth = width;
    gdi.header.bmiHeader.biHeight = height;  // positive: bottom-up
    gdi.header.bmiHeader.biPlanes = 1;
    gdi.header.bmiHeader.biBitCount = 32;
    gdi.header.bmiHeader.biCompression = BI_RGB;

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = gdi_window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(32512));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "Tavik";
    RegisterClassA(&wc);
    // The outer size is the one the system gives for a width x height client
    // area: adding the frame metrics by hand lost a few rows and columns of the
    // picture to frames wider than a one-pixel border.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT outer = {0, 0, width, height};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    gdi.window = CreateWindowExA(0, "Tavik", caption, style, (GetSystemMetrics(SM_CXSCREEN) - width) >> 1,
                                 (GetSystemMetrics(SM_CYSCREEN) - height) >> 1, outer.right - outer.left,
                                 outer.bottom - outer.top,
                                 nullptr, nullptr, instance, nullptr);
    if (!gdi.window) {
        gdi.error = GDI_ERR_WINDOW;
        return 0;
    }
    ShowWindow(gdi.window, SW_SHOWNORMAL);
    UpdateWindow(gdi.window);

    gdi.dc = GetDC(GetActiveWindow());
    if (!gdi.dc) {
        gdi.error = GDI_ERR_DC;
        gdi_destroy_window();
        return 0;
    }
    void* bits = nullptr;
    gdi.bitmap = CreateDIBSection(gdi.dc, &gdi.header, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!gdi.bitmap) {
        gdi.error = GDI_ERR_DIB;
        gdi_destroy_window();
        return 0;
    }
    gdi.bitmap_bits = (uint32_t*)bits;

    gdi.mouse_x = width / 2;
    gdi.mouse_y = height / 2;
    gdi.raw_x = gdi.raw_y = gdi.buttons = 0;
    memset(&gdi.joy, 0, sizeof gdi.joy);
    gfx_input_keys_up();
    gfx_input_flush();
    gdi.input1 = gdi.input2 = 1;
    gdi.opened = 1;
    return 1;
}

static int32_t gdi_close() {
    PostQuitMessage(0);
    gdi_destroy_window();
    DeleteObject(gdi.bitmap);
    // The bitmap is gone: later blits must not write into it (the input flags stay).
    gdi.opened = 0;
    gdi.bitmap_bits = nullptr;
    return 1;
}

// Pixmap bytes R, G, B, x to bitmap bytes B, G, R, 0.
static inline uint32_t gdi_pixel(uint32_t p) { return swap_pixel(p); }

static int32_t gdi_blit(int32_t dx, int32_t dy, Pixmap* pixmap, int32_t sx, int32_t sy, int32_t w, int32_t h) {
    if (!gdi.opened) {
        gdi.error = GDI_ERR_NOT_OPEN;
        return 0;
    }
    gdi_pump();
    if (!gdi.active || w <= 0 || h <= 0 || !pixmap) return 0;
    pixmap_finish(pixmap);  // triangles still queued into it come first
    GfxBlitRect r = {dx, dy, sx, sy, w, h};
    if (!gfx_clip_blit(&r, pixmap->width, pixmap->height, gdi.width, gdi.height)) return 0;
    const int32_t W = gdi.width, H = gdi.height;
    if (!gdi.doubling) {
        // Row by row, on every core for a large frame.
        jobs_parallel_rows(r.h, (int64_t)r.w * r.h, [&](int32_t first, int32_t end) {
            for (int32_t i = first; i < end; i++) {
                const uint32_t* src = pixmap->pixels + (size_t)(r.sy + i) * pixmap->width + r.sx;
                uint32_t* dst = gdi.bitmap_bits + (size_t)(H - 1 - (r.dy + i)) * W + r.dx;
                swap_span(dst, src, r.w);
            }
        });
    } else {
        // Doubled: every pixel twice across, every row twice down, kept inside the bitmap.
        for (int32_t i = 0; i < r.h && r.dy + 2 * i < H; i++) {
            const uint32_t* src = pixmap->pixels + (size_t)(r.sy + i) * pixmap->width + r.sx;
            uint32_t* dst = gdi.bitmap_bits + (size_t)(H - 1 - (r.dy + 2 * i)) * W;
            int32_t x = r.dx;
            for (int32_t j = 0; j < r.w && x < W; j++) {
                uint32_t p = gdi_pixel(src[j]);
                dst[x++] = p;
                if (x < W) dst[x++] = p;
            }
            if (r.dy + 2 * i + 1 < H)
                memcpy(dst - W + r.dx, dst + r.dx, (size_t)(x - r.dx) * sizeof(uint32_t));
        }
    }
    gdi_show_bitmap();
    return 1;
}

static int32_t gdi_update() {
    // The result stays 1 as the interface fixes it; the code tells a caller
    // that nothing is open to update.
    if (!gdi.opened) gdi.error = GDI_ERR_NOT_OPEN;
    gdi_pump();
    return 1;
}

static int32_t gdi_set_option(int32_t option) {
    if (!(option & GFX_OPTION_DOUBLE)) return 0;
    gdi.doubling = 1;
    return 1;
}

static int32_t gdi_get_caps() { return (gdi.input1 ? GFX_CAPS_INPUT1 : 0) + (gdi.input2 ? GFX_CAPS_INPUT2 : 0); }

static int32_t gdi_key_state(int32_t code) {
    gdi_pump();
    return gfx_input_state(code);
}

static int32_t gdi_get_key() {
    gdi_pump();
    return gfx_input_next();
}

static int32_t gdi_mouse_x() {
    gdi_pump();
    return gdi.input1 ? gdi.mouse_x : 0;
}

static int32_t gdi_mouse_y() {
    gdi_pump();
    return gdi.input1 ? gdi.mouse_y : 0;
}

static int32_t gdi_mouse_raw_x() { return gdi.input1 ? gdi.raw_x : 0; }
static int32_t gdi_mouse_raw_y() { return gdi.input1 ? gdi.raw_y : 0; }

static int32_t gdi_mouse_buttons() {
    gdi_pump();
    return gdi.input1 ? gdi.buttons : 0;
}

static int32_t gdi_joy_x(int32_t index) {
    gdi.joy.right = gfx_input_state(GDI_SLOT_RIGHT);
    gdi.joy.left = gfx_input_state(GDI_SLOT_LEFT);
    if (index != 0) return 0;
    return (gdi.joy.right ? 255 : 0) - (gdi.joy.left ? 255 : 0);
}

static int32_t gdi_joy_y(int32_t index) {
    gdi.joy.up = gfx_input_state(GDI_SLOT_UP);
    gdi.joy.down = gfx_input_state(GDI_SLOT_DOWN);
    if (index != 0) return 0;
    return (gdi.joy.up ? 255 : 0) - (gdi.joy.down ? 255 : 0);
}

static int32_t gdi_joy_button(int32_t index) {
    gdi.joy.button = gfx_input_state(32);
    return index == 0 ? gdi.joy.button : 0;
}

static const char* gdi_error_string() {
    static const char* const messages[] = {
        "[Win32gdi] No error, so far...",
        "[Win32gdi] Unable to allocate memory",
        "[Win32gdi] Failed opening window",
        "[Win32gdi] Unable to get a Device Independent Bitmap",
        "[Win32gdi] No device context",
        "[Win32gdi] Requested mode not supported",
        "[Win32gdi] Display not open (blit or update before open, or after close)",
    };
    const int32_t code = gdi.error;
    gdi.error = GDI_ERR_NONE;
    if (code < 0 || code > GDI_ERR_NOT_OPEN) return "[Win32gdi] Ambiguous error...";
    return messages[code];
}

const GfxDriver gfx_gdi_driver = {
    "Win32GDI Driver v0.3 for Tavik",
    gdi_get_modes,
    gdi_open,
    gdi_close,
    gdi_blit,
    gdi_update,
    gdi_set_option,
    gdi_get_caps,
    gdi_key_state,
    gdi_get_key,
    gdi_mouse_x,
    gdi_mouse_y,
    gdi_mouse_raw_x,
    gdi_mouse_raw_y,
    gdi_mouse_buttons,
    gdi_joy_x,
    gdi_joy_y,
    gdi_joy_button,
    gdi_error_string,
};
