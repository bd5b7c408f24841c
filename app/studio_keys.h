// The studio's loop and keys: Space pauses and resumes; Left/Right a row back or
// on (with Shift a second); PgUp/PgDn an order; Home the start; ',' and '.' a
// frame back or on while paused; '[' and ']' mark a span; L loops the marked
// span (or the current order) until pressed again.
#pragma once

#include <cstdint>

#include "app/demo.h"
#include "app/studio.h"

// The loop L turns on: from `from` up to (not including) `to`.
struct StudioLoop {
    bool on = false;
    StudioWhen from, to;
    bool mark_start = false, mark_end = false;  // '[' and ']' pressed
    uint32_t start_order = 0, start_row = 0, end_order = 0, end_row = 0;
};
extern StudioLoop studio_loop;

// Takes the keys' present toggle bits as seen (a key pressed before the studio
// began is not a press) and turns the loop off.
void studio_keys_reset();
// True once for each press of the virtual key since it was last asked about.
bool studio_key_pressed(int vk);
// Answers the keys pressed since the last frame.
void studio_handle_keys();
// With the loop on: back to its start once the music reaches its end.
void studio_check_loop();
// The demo's frame end, then the studio's keys and loop.
void studio_frame_end();
// The whole program in the studio: start-up, a seek to `from` when given, the
// loop (with the keys when `keys`), shutdown. The exit status: 0 after Escape,
// 1 when the start-up failed, 2 when `from` is never reached.
int studio_run(const StudioWhen* from, bool keys, DemoFrameHook hook, void* user);
