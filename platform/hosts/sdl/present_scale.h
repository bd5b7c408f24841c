// The SDL host's own scaling of a presented frame where there is no GPU: nearest
// pixels into SDL's 32-bit window surface, 5-6-5 frames widened on the way (SDL's
// software renderer scales between formats with a generic blit, several times slower).
#pragma once

#include <cstdint>

#include "platform/host.h"

// A 5-6-5 pixel as 0x00RRGGBB, each field's top bits repeated below it (31 -> 255).
uint32_t present_widen565(uint16_t pixel);

// The frame scaled to w x h pixels 0x00RRGGBB at `out`, rows `out_pitch` bytes
// apart: output pixel (x, y) is frame pixel (x * width / w, y * height / h).
void present_scale(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h);

// The same with the plain per-pixel loops only (the reference of the SSE2 path).
void present_scale_plain(const HostFrame* frame, void* out, int out_pitch, int32_t w, int32_t h);
