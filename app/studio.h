// The studio: starts the demo anywhere with the frames a run from the start
// draws there, and lets the viewer pause, step, scrub and loop while the music
// plays. Seeking replays the clock (without waiting for it) from the nearest
// state kept at an order's first frame, because the effects carry state from
// frame to frame: angles, phases, fades and the screen itself.
#pragma once

#include <cstdint>

// A point of the demo: a time or a music position.
struct StudioWhen {
    enum Kind { START, SECONDS, POSITION } kind = START;
    uint64_t num = 0, den = 1;    // SECONDS: num / den
    uint32_t order = 0, row = 0;  // POSITION
};

// Reads "12.5" (seconds, digits and one point) or "9:0" (order:row). False for
// anything else, with the reason in studio_error().
bool studio_parse_when(const char* text, StudioWhen* when);

// After demo_start: keeps the start's state (the first seek point) and
// forgets any kept before. 1, or 0 without music.
int studio_begin();
// Plays on from `when`: the frame drawn next is the one a run from the start
// draws at that time (the first frame at or after it; for a position, the first
// frame that sees it), with the music there. With `show`, that frame is drawn
// into the screen at once and the demo goes on after it (for a paused studio).
// Exact on the headless host, whose clock is moved to the same time; on a real
// clock the timer counts on from there. Keeps the pause as it was. 1, or 0 with
// studio_error() when the demo never gets there (a position the music does not
// reach before its end loop comes round twice).
int studio_seek(const StudioWhen& when, bool show);
// Paused: draws the next frame and shows it (cheaply when nothing has moved
// since the last seek or step; otherwise through a seek).
int studio_step();
// The model's frame rate: the headless host's, 60 on a real clock.
uint32_t studio_frame_rate();
// The frame (at that rate, from the demo's first) that the live loop draws next.
uint64_t studio_frame();
// Called after every frame end of the live loop: counts the frame while the
// music runs.
void studio_frame_done();
// Seek points kept so far (an order's first frame each, and the start).
int studio_snapshot_count();
// Drops every seek point but the start (after a reload: the module's timing
// and the pictures may have changed).
void studio_forget();
const char* studio_error();
