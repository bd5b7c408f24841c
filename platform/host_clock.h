// The host's clock. On the SDL host it is the monotonic wall clock; on the
// headless host it is a virtual clock that only moves when told to (at each
// vertical-blank wait, by a fixed frame period), firing timers in deadline order.
#pragma once

#include <cstdint>

// Microseconds since the host started (wall or virtual).
uint64_t host_clock_us();

// Headless host: moves the virtual clock forward by `us`, firing every timer
// deadline that falls inside the step in order, with host_clock_us() equal to
// the deadline while its callback runs. SDL host: sleeps for `us`.
void host_clock_advance(uint64_t us);

// One frame period: headless, host_clock_advance to the next frame boundary
// (frame n at n * 1e6 / rate us, exactly); SDL host, sleeps one period.
void host_clock_advance_frame();

// Headless host: the fixed frame period the vertical-blank wait advances by
// (default 1e6 / 60 us, kept as an exact rational so 60 frames are 1 s exactly).
void host_clock_set_frame_rate(uint32_t frames_per_second);
uint32_t host_clock_frame_rate();

// Headless host: back to time 0 with no timers (tests, capture runs).
void host_clock_reset();

// True on the headless host.
bool host_is_headless();
