// What the shared Windows stand-ins tell each other (windowing, DirectDraw),
// not part of any Windows interface.
#pragma once

#include "platform/host.h"
#include "platform/win32.h"

// Consumes a failure armed by host_fail_next for this call.
bool platform_fault(const char* call, int32_t* result);
// Counts the frame, hands it to the frame callback and to the host.
void platform_present(const HostFrame* frame, bool at_vblank);
bool platform_window_valid(HWND hwnd);

// The DirectDraw side: the exclusive mode's display size (false when none),
// and the application losing or regaining the focus (surfaces are lost).
bool ddraw_display_size(int32_t* width, int32_t* height);
void ddraw_app_focus(bool active);
