// What programs, tests and the capture tool ask of the host system under the
// Windows stand-ins: every presented frame out, input fed in, failures armed, a
// reset between runs. The stand-ins implement it on both Linux hosts; what each
// host itself implements for them is platform/host_driver.h.
#pragma once

#include <cstdint>

#include "platform/host_clock.h"
#include "platform/win32.h"

// ---- Frames ------------------------------------------------------------------------
enum : uint32_t {
    HOST_FORMAT_XRGB8888 = 1,  // 32-bit words 0x00RRGGBB (bytes B, G, R, x): DIBs, 32-bit surfaces
    HOST_FORMAT_RGB565 = 2,    // 16-bit words rrrrrggggggbbbbb
};

// A picture as presented: rows top to bottom, `pitch` bytes apart.
struct HostFrame {
    int32_t width;
    int32_t height;
    int32_t pitch;
    uint32_t format;
    const void* pixels;
};

// Called with every presented frame as 32-bit RGBA (bytes R, G, B, 255 in memory,
// the Pixmap layout), width * height pixels, rows top to bottom; `index` counts from 0.
typedef void (*HostFrameCallback)(const uint8_t* rgba, int32_t width, int32_t height, uint64_t index,
                                  void* user);
void host_set_frame_callback(HostFrameCallback callback, void* user);
// The last presented frame as RGBA (null before the first); valid until the next present.
const uint8_t* host_last_frame(int32_t* width, int32_t* height);
// Frames presented since start (or host_reset).
uint64_t host_frame_count();

// The display also offers this size, at 8, 16 and 32 bits, after its standard
// modes: a scaled screen (16 sizes at most, kept for the process). Call it before
// a driver first gathers its mode list.
void host_offer_display_mode(int32_t width, int32_t height);

// ---- Input, from the machine or injected by tests (both hosts) ------------------------
// Each posts its message(s) to the host window, the top-level window shown last;
// false when there is none. Coordinates are client pixels of that window.
bool host_inject_key(UINT vk, bool down);  // WM_KEYDOWN / WM_KEYUP (WM_SYS* with Alt, F10)
bool host_inject_mouse_move(int32_t x, int32_t y);  // moves the cursor, WM_MOUSEMOVE
bool host_inject_mouse_button(int32_t button, bool down);  // 0 left, 1 right, 2 middle
bool host_inject_close();  // the window's close button: WM_CLOSE
bool host_inject_focus(bool active);  // WM_ACTIVATEAPP; losing it in exclusive mode loses surfaces
void host_set_key_toggle(UINT vk, bool on);  // e.g. the Caps Lock light at start

// Tests: the next call of the named stand-in (e.g. "GetPixelFormat", "LoadLibraryA",
// "DirectDrawCreate", "EnumDisplayModes", "SetCooperativeLevel", "CreateSurface",
// "Lock", "CreateWindowExA", "CreateDIBSection", "GetDC") fails with `result`.
void host_fail_next(const char* call, int32_t result);

// Between test cases and capture runs: clock at 0 without timers, no frames and no
// frame callback, empty message queues, keys up, cursor at (0, 0), no armed failures.
// Windows, window classes, window timers and the drivers' own state stay.
void host_reset();
