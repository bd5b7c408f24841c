// What each host implements for the Windows stand-ins (platform/standins/): a
// window to show frames in, the display mode, vertical-blank waits, the machine's
// events. The stand-ins call it; a host calls the stand-ins back only through the
// HostEvents table they hand it, so no host names a function of the stand-ins.
#pragma once

#include <cstdint>

#include "platform/host.h"
#include "platform/win32.h"

// Where a host delivers the machine's input, and the picture it may need again.
// The stand-ins fill it with their host_inject_* functions (see host.h).
struct HostEvents {
    bool (*key)(UINT vk, bool down);
    bool (*mouse_move)(int32_t x, int32_t y);
    bool (*mouse_button)(int32_t button, bool down);
    bool (*close)();
    bool (*focus)(bool active);
    void (*key_toggle)(UINT vk, bool on);  // e.g. the Caps Lock light when the window appears
    // The last presented frame as RGBA (null before the first), as host_last_frame.
    const uint8_t* (*last_frame)(int32_t* width, int32_t* height);
};

// The stand-ins' host window is shown (first call) or re-captioned; `events` says
// where the machine's input goes from now on (it stays valid for the process).
void host_window_show(const char* caption, int32_t client_width, int32_t client_height, const HostEvents* events);
// The host window goes away with what shows frames in it.
void host_window_destroy();
// Exclusive full-screen mode at this size; (0, 0, 0) gives the desktop back.
void host_display_mode(int32_t width, int32_t height, int32_t bits);
// Shows a frame: at once (GDI), or at the next vertical-blank wait (DirectDraw primary).
void host_present(const HostFrame* frame, bool at_vblank);
// Blocks until the next vertical blank (headless: advances the clock one frame period).
void host_wait_vblank();
// Turns the machine's pending events into calls of the window's HostEvents (the
// window's thread only).
void host_pump_events();
// Puts the machine's pointer at this client position of the host window.
void host_cursor_warp(int32_t x, int32_t y);
void host_cursor_show(bool shown);
void host_desktop_size(int32_t* width, int32_t* height);
int32_t host_refresh_rate();
// Shows a message box when the machine can (standard error always gets the text).
void host_message_box(const char* text, const char* caption);
