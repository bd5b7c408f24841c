// The studio's loop and keys: Space pauses and resumes; Left/Right a row back or
// on (with Shift a second); PgUp/PgDn an order; Home the start; ',' and '.' a
// frame back or on while paused; '[' and ']' mark a span; L loops the marked
// span (or the current order) until pressed again; F1 the overlay; R reloads
// the data files.
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

struct SyncDevice;
struct SyncEditor;

// The sync editor the studio follows: its row and pause are the studio's, and
// the demo's row goes back to it. Null link when none answered.
struct StudioEditor {
    SyncDevice* device;  // the tracks ("wendril_<name>.track" files)
    SyncEditor* link;
    int32_t last_row;    // the row the editor was last told (or sent us to)
};
extern StudioEditor studio_editor;

// Connects to a sync editor on 127.0.0.1:port; without one the studio says so
// once on standard error and plays on.
void studio_editor_start(int port);
// Applies what the editor sent (row: a seek; pause) and tells it the demo's row
// when that changed. A lost connection is said once; the studio plays on.
void studio_editor_follow();

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
// loop (with the keys, and the sync editor on `editor_port` when above 0, when
// `keys`), shutdown. The exit status: 0 after Escape,
// 1 when the start-up failed, 2 when `from` is never reached.
int studio_run(const StudioWhen* from, bool keys, int editor_port, DemoFrameHook hook, void* user);
