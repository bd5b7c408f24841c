// The machine under the Windows stand-ins: what the shared layer asks of a host
// (a window to show frames in, events, vertical-blank waits) and what tests, the
// capture tool and hosts use to feed input in and get every presented frame out.
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

// ---- Implemented by each host, called by the shared layer -------------------------------
// The shared layer's host window is shown (first call) or re-captioned.
void host_window_show(const char* caption, int32_t client_width, int32_t client_height);
// The host window goes away with what shows frames in it.
void host_window_destroy();
// Exclusive full-screen mode at this size; (0, 0, 0) gives the desktop back.
void host_display_mode(int32_t width, int32_t height, int32_t bits);
// Shows a frame: at once (GDI), or at the next vertical-blank wait (DirectDraw primary).
void host_present(const HostFrame* frame, bool at_vblank);
// Blocks until the next vertical blank (headless: advances the clock one frame period).
void host_wait_vblank();
// Turns the machine's pending events into host_inject_* calls (the window's thread only).
void host_pump_events();
// Puts the machine's pointer at this client position of the host window.
void host_cursor_warp(int32_t x, int32_t y);
void host_cursor_show(bool shown);
void host_desktop_size(int32_t* width, int32_t* height);
int32_t host_refresh_rate();
// Shows a message box when the machine can (standard error always gets the text).
void host_message_box(const char* text, const char* caption);
