// The headless host: no window and no screen. Frames are only counted and kept
// (see host.h), input is injected by the caller, and the vertical-blank wait moves
// the virtual clock one frame period on, which is what makes runs deterministic.
#include <cstdio>

#include "platform/host_audio.h"
#include "platform/host_driver.h"

void host_window_show(const char*, int32_t, int32_t, const HostEvents*) {}
void host_window_destroy() {}

void host_display_mode(int32_t, int32_t, int32_t) {}

void host_present(const HostFrame*, bool) {}
// Sound is rendered up to the new time at every frame, so a capture's sound
// keeps pace with its pictures even when nothing asks for the position.
void host_wait_vblank() {
    host_clock_advance_frame();
    audio_host_pump();
}
void host_pump_events() {}
void host_cursor_warp(int32_t, int32_t) {}
void host_cursor_show(bool) {}

// A fixed desktop, so windowed positions are the same on every machine.
void host_desktop_size(int32_t* width, int32_t* height) {
    *width = 1920;
    *height = 1080;
}

int32_t host_refresh_rate() { return (int32_t)host_clock_frame_rate(); }

void host_message_box(const char*, const char*) {}  // MessageBoxA has written it to standard error
