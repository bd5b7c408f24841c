// The capture's span rules: which frame is the first, which one ends the span,
// when a music position that is sought is out of reach, and which frames go on
// the contact sheet under what label. Plain values in and out, decided frame by
// frame from what each frame sees before it is drawn, so that they are tested
// without running the demo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint64_t SPAN_NONE = UINT64_MAX;  // a frame not found yet

// A point of the demo: a time (rational seconds), a music position, or for the
// end a count of frames.
struct SpanWhen {
    enum Kind { NONE, SECONDS, POSITION, COUNT } kind = NONE;
    uint64_t num = 0, den = 1;    // SECONDS: num / den; COUNT: num frames from the first
    uint32_t order = 0, row = 0;  // POSITION
};

// What bounds a span.
struct SpanRules {
    SpanWhen from;                 // NONE: frame 0
    SpanWhen to;                   // NONE: two seconds into the end loop
    uint32_t fps = 60;
    uint32_t end_loop_order = 0;   // the order the music's end loop starts at
};

// The span as found so far; starts empty, span_step fills it in.
struct SpanState {
    uint64_t first = SPAN_NONE;      // the span's first frame
    uint64_t end = SPAN_NONE;        // the frame after its last one
    uint64_t end_frame = SPAN_NONE;  // the end as a frame, once the first is known (--to in seconds, --frames)
    uint64_t end_loop_frames = 0;    // frames of the span in the end loop (the default end)
    double first_pos = 0;            // the first frame's order + row / 64, for the progress
    int loops_back = 0;              // the music went to an earlier order (counted again from the first frame)
    uint32_t last_order = 0;
};

// What to do with a frame, given before it is drawn.
enum SpanStep {
    SPAN_BEFORE,      // before the span: drawn, not kept
    SPAN_IN,          // a frame of the span; span.first == frame at its first
    SPAN_END,         // the frame after the span: drawn (its frame end moves the sound on), not kept
    SPAN_EMPTY,       // the end is reached at the first frame: nothing to capture
    SPAN_NEVER_FROM,  // the end loop came round twice while --from's position was sought
    SPAN_NEVER_TO,    // the same for --to's
};

// The first frame at or after a time: ceil(seconds * fps), exactly.
uint64_t span_frame_at(const SpanWhen& w, uint32_t fps);
// True when the music position order:row is at or past w's.
bool span_at_or_past(uint32_t order, uint32_t row, const SpanWhen& w);

// Called for every frame from 0 in turn with the music position the frame sees;
// after SPAN_END, SPAN_EMPTY or a SPAN_NEVER_ the run is over.
SpanStep span_step(const SpanRules& rules, SpanState* span, uint64_t frame, uint32_t order, uint32_t row);

// How far the run has come, 0 to 1: the search for the first frame is the first
// 2 %. An end given as a music position is estimated from order and row (64-row
// patterns); the default end reckons 95 % to the end loop and 5 % in it.
double span_progress(const SpanRules& rules, const SpanState& span, uint64_t frame, uint32_t order, uint32_t row);

// ---- contact sheet -------------------------------------------------------------------

// One order's frame on the contact sheet.
struct SpanPick {
    uint32_t order;
    uint32_t row;
    uint64_t frame;
};

// The sheet's picks so far, in the order the orders first play.
struct SpanSheet {
    std::vector<SpanPick> picks;
    bool open = false;  // the last pick's order is still playing
};

enum SpanSheetChoice {
    SPAN_SHEET_SKIP,     // not on the sheet
    SPAN_SHEET_ADD,      // the first frame of an order not on the sheet: a new last pick
    SPAN_SHEET_REPLACE,  // replaces the last pick
};

// Offers each frame of the span in turn. An order's pick is its frame at row 32
// (the middle of a 64-row pattern), or its first frame when it ends before; an
// order the music comes back to keeps the pick of its first visit.
SpanSheetChoice span_sheet_offer(SpanSheet* sheet, uint64_t frame, uint32_t order, uint32_t row);

// The first line of a thumbnail's label: "ORDER 5 ROW 32 0:41.27" (minutes,
// seconds and hundredths of the frame's virtual time, cut, not rounded).
std::string span_sheet_label(uint32_t order, uint32_t row, uint64_t time_us);
