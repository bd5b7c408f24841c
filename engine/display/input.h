// The keyboard as the display drivers report it: one table of key states and
// one queue of pressed keys, kept here once. The drivers' window procedures only
// feed it (each choosing which state slot a key sets and which presses queue);
// their key_state and get_key entries answer from it.
#pragma once

#include <cstdint>

// All keys up (a driver opening or gathering its modes).
void gfx_input_keys_up();
// The queue empty (a driver opening).
void gfx_input_flush();
// Sets the state of slot `slot` (0 .. GFX_KEY_STATES - 1; others are ignored):
// 1 down, 0 up.
void gfx_input_set(int32_t slot, int32_t down);
// Queues a pressed Windows virtual key; a full queue (GFX_KEY_QUEUE) drops it.
void gfx_input_queue(uint32_t vk);
// The state of slot `code`, 0 outside the table.
int32_t gfx_input_state(int32_t code);
// Takes the oldest queued key as an engine code (gfx_key_table), upper case when
// slot 16 (Shift) is down or Caps Lock is on, as a signed char; 0 when none.
int32_t gfx_input_next();
