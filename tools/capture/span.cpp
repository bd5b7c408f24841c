// The capture's span rules (see span.h): the bounds of a span decided from the
// music position each frame sees, and the contact sheet's picks and labels.
#include "tools/capture/span.h"

#include <cstdio>

namespace {

constexpr uint32_t SHEET_ROW = 32;  // the middle of a 64-row pattern

// A music position as a number of patterns, for the progress.
double position_of(uint32_t order, uint32_t row) { return order + row / 64.0; }

// The end as a frame once the first frame is known, for the ends that are frames.
uint64_t end_frame_of(const SpanRules& r, uint64_t first) {
    if (r.to.kind == SpanWhen::COUNT) return first + r.to.num;
    if (r.to.kind == SpanWhen::SECONDS) return span_frame_at(r.to, r.fps);
    return SPAN_NONE;
}

// The first frame for --from in seconds (0 without --from).
uint64_t from_frame_of(const SpanRules& r) { return r.from.kind == SpanWhen::SECONDS ? span_frame_at(r.from, r.fps) : 0; }

}  // namespace

uint64_t span_frame_at(const SpanWhen& w, uint32_t fps) { return (w.num * fps + w.den - 1) / w.den; }

bool span_at_or_past(uint32_t order, uint32_t row, const SpanWhen& w) {
    return order > w.order || (order == w.order && row >= w.row);
}

SpanStep span_step(const SpanRules& r, SpanState* s, uint64_t n, uint32_t order, uint32_t row) {
    if (n > 0 && order < s->last_order) s->loops_back++;
    s->last_order = order;
    if (s->first == SPAN_NONE) {
        const bool start = r.from.kind == SpanWhen::POSITION ? span_at_or_past(order, row, r.from) : n >= from_frame_of(r);
        if (start) {
            s->first = n;
            s->loops_back = 0;  // the search for --to starts here
            s->first_pos = position_of(order, row);
            s->end_frame = end_frame_of(r, n);
        }
    }
    if (s->first != SPAN_NONE) {
        if (order >= r.end_loop_order) s->end_loop_frames++;
        const bool stop = r.to.kind == SpanWhen::POSITION ? span_at_or_past(order, row, r.to)
                          : r.to.kind == SpanWhen::NONE   ? s->end_loop_frames > 2 * uint64_t(r.fps)
                                                          : n >= s->end_frame;
        if (stop) s->end = n;
    }
    // Bounds that only the run can show to be wrong.
    if (s->first == n && s->end == n) return SPAN_EMPTY;
    // An order:row the music never plays: the end loop has come round twice while
    // it was sought. Times and frame counts past the song's end are spans of the
    // end loop, which plays for ever.
    if (s->loops_back >= 2 && s->first == SPAN_NONE && r.from.kind == SpanWhen::POSITION) return SPAN_NEVER_FROM;
    if (s->loops_back >= 2 && s->first != SPAN_NONE && s->end == SPAN_NONE && r.to.kind == SpanWhen::POSITION)
        return SPAN_NEVER_TO;
    if (s->end == n) return SPAN_END;
    return s->first == SPAN_NONE ? SPAN_BEFORE : SPAN_IN;
}

double span_progress(const SpanRules& r, const SpanState& s, uint64_t n, uint32_t order, uint32_t row) {
    const double pos = position_of(order, row);
    if (s.first == SPAN_NONE) {
        const double f = r.from.kind == SpanWhen::POSITION ? pos / (position_of(r.from.order, r.from.row) + 1e-9)
                                                           : double(n) / double(from_frame_of(r));
        return f * 0.02;
    }
    const double loop = r.end_loop_order, first = s.first_pos;
    double f;
    if (r.to.kind == SpanWhen::POSITION) f = (pos - first) / (position_of(r.to.order, r.to.row) - first);
    else if (r.to.kind == SpanWhen::NONE && first < loop && order < r.end_loop_order) f = 0.95 * (pos - first) / (loop - first);
    else if (r.to.kind == SpanWhen::NONE)
        f = (first < loop ? 0.95 : 0.0) + (first < loop ? 0.05 : 1.0) * double(s.end_loop_frames) / (2.0 * r.fps);
    else f = double(n - s.first + 1) / double(s.end_frame - s.first);
    return 0.02 + 0.98 * f;
}

SpanSheetChoice span_sheet_offer(SpanSheet* sheet, uint64_t frame, uint32_t order, uint32_t row) {
    bool known = false;
    for (const SpanPick& p : sheet->picks) known = known || p.order == order;
    if (sheet->open && sheet->picks.back().order != order) sheet->open = false;
    const bool better = sheet->open && sheet->picks.back().row < SHEET_ROW && row >= SHEET_ROW;
    if (known && !better) return SPAN_SHEET_SKIP;
    if (better) sheet->picks.pop_back();
    sheet->picks.push_back({order, row, frame});
    sheet->open = true;
    return better ? SPAN_SHEET_REPLACE : SPAN_SHEET_ADD;
}

std::string span_sheet_label(uint32_t order, uint32_t row, uint64_t time_us) {
    const uint64_t cs = time_us / 10000;  // hundredths of a second
    char line[64];
    std::snprintf(line, sizeof line, "ORDER %u ROW %u %llu:%02llu.%02llu", order, row,
                  static_cast<unsigned long long>(cs / 6000), static_cast<unsigned long long>(cs / 100 % 60),
                  static_cast<unsigned long long>(cs % 100));
    return line;
}
