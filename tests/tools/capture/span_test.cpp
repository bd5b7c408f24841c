// The capture's span rules on a made-up song, without rendering: where a span
// begins and ends for every kind of bound, when a sought position is out of
// reach, and which frame of each order goes on the contact sheet.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/capture/span.h"

namespace {

// The made-up song: orders 0 .. 5 of eight frames each, a frame every 8 rows;
// after order 5 the music goes back to order 4 for ever (the end loop).
// Frame 32 is the first of order 4, 48 the first loop back, 64 the second.
constexpr uint32_t LOOP = 4;
void song(uint64_t n, uint32_t* order, uint32_t* row) {
    const uint64_t block = n / 8;
    *order = uint32_t(block < 6 ? block : LOOP + (block - 6) % 2);
    *row = uint32_t(n % 8 * 8);
}

SpanWhen none() { return {}; }
SpanWhen seconds(uint64_t num, uint64_t den) { return {SpanWhen::SECONDS, num, den, 0, 0}; }
SpanWhen position(uint32_t order, uint32_t row) { return {SpanWhen::POSITION, 0, 1, order, row}; }
SpanWhen count(uint64_t frames) { return {SpanWhen::COUNT, frames, 1, 0, 0}; }

const char* name(SpanStep s) {
    static const char* const names[] = {"BEFORE", "IN", "END", "EMPTY", "NEVER_FROM", "NEVER_TO"};
    return names[s];
}

}  // namespace

TEST(Span, BoundsAndOutOfReachPositionsFrameByFrame) {
    const struct {
        const char* what;
        SpanWhen from, to;
        uint32_t fps;
        uint64_t first;  // SPAN_NONE: never found
        uint64_t stop;   // the frame of the last step
        SpanStep last;
    } cases[] = {
        {"whole demo: two seconds (8 frames) into the end loop", none(), none(), 4, 0, 40, SPAN_END},
        {"the default end at 2 fps: 4 frames into the loop", none(), none(), 2, 0, 36, SPAN_END},
        {"a start inside the end loop counts its own frames", seconds(12, 1), none(), 4, 48, 56, SPAN_END},
        {"2.5 s to 3.1 s at 4 fps: ceil 10, ceil 12.4", seconds(25, 10), seconds(31, 10), 4, 10, 13, SPAN_END},
        {"1.3 s to 2.9 s at 48 fps: ceil 62.4, ceil 139.2", seconds(13, 10), seconds(29, 10), 48, 63, 140, SPAN_END},
        {"0.1 s at 30 fps is frame 3 exactly, not 4", seconds(1, 10), count(2), 30, 3, 5, SPAN_END},
        {"1:20 is first reached at row 24; 5 frames", position(1, 20), count(5), 4, 11, 16, SPAN_END},
        {"3:57 is skipped: 4:0 is past it", position(2, 0), position(3, 57), 4, 16, 32, SPAN_END},
        {"times past the song's end are end-loop spans", seconds(20, 1), count(16), 4, 80, 96, SPAN_END},
        {"5 s (order 2 row 32) is already past 2:8", seconds(5, 1), position(2, 8), 4, 20, 20, SPAN_EMPTY},
        {"order 6 never plays: the loop came round twice", position(6, 0), none(), 4, SPAN_NONE, 64, SPAN_NEVER_FROM},
        {"--to 6:0 from 5:0: loop backs at 48 and 64", position(5, 0), position(6, 0), 4, 40, 64, SPAN_NEVER_TO},
        {"a loop back before the first frame is not counted", seconds(13, 1), position(6, 0), 4, 52, 80, SPAN_NEVER_TO},
    };
    for (const auto& c : cases) {
        const SpanRules rules = {c.from, c.to, c.fps, LOOP};
        SpanState span;
        SpanStep step = SPAN_BEFORE;
        uint64_t n = 0;
        for (; n < 1000; n++) {
            uint32_t order, row;
            song(n, &order, &row);
            step = span_step(rules, &span, n, order, row);
            if (step != SPAN_BEFORE && step != SPAN_IN) break;
            // Before the first frame nothing is kept, from it on every frame.
            ASSERT_EQ(step, n < c.first ? SPAN_BEFORE : SPAN_IN) << c.what << ": frame " << n;
        }
        EXPECT_EQ(span.first, c.first) << c.what;
        EXPECT_EQ(n, c.stop) << c.what;
        EXPECT_EQ(step, c.last) << c.what << ": " << name(step);
        if (c.last == SPAN_END) {
            EXPECT_EQ(span.end, c.stop) << c.what;
        }
    }
}

TEST(Span, ContactSheetPicksRow32OrTheFirstFrameOfEachOrder) {
    struct Frame {
        uint32_t order, row;
    };
    const struct {
        const char* what;
        std::vector<Frame> frames;  // frame numbers from 0
        std::vector<SpanPick> picks;
    } cases[] = {
        {"row 32 exactly, and a later frame past it", {{0, 0}, {0, 16}, {0, 32}, {0, 48}, {1, 0}, {1, 40}, {1, 56}},
         {{0, 32, 2}, {1, 40, 5}}},
        {"a span that starts past row 32 keeps its first frame", {{3, 48}, {3, 56}, {4, 8}}, {{3, 48, 0}, {4, 8, 2}}},
        {"an order that ends before row 32", {{2, 0}, {2, 8}, {3, 0}, {3, 33}}, {{2, 0, 0}, {3, 33, 3}}},
        {"the end loop's second pass adds and replaces nothing",
         {{4, 0}, {5, 0}, {5, 8}, {4, 0}, {4, 40}, {5, 40}}, {{4, 0, 0}, {5, 0, 1}}},
    };
    for (const auto& c : cases) {
        SpanSheet sheet;
        std::vector<SpanPick> kept;  // what a caller keeps beside the sheet, by the choices
        for (size_t i = 0; i < c.frames.size(); i++) {
            const Frame& f = c.frames[i];
            const SpanSheetChoice choice = span_sheet_offer(&sheet, i, f.order, f.row);
            if (choice == SPAN_SHEET_REPLACE) {
                ASSERT_FALSE(kept.empty()) << c.what;
                kept.pop_back();
            }
            if (choice != SPAN_SHEET_SKIP) kept.push_back({f.order, f.row, i});
        }
        ASSERT_EQ(sheet.picks.size(), c.picks.size()) << c.what;
        ASSERT_EQ(kept.size(), c.picks.size()) << c.what;
        for (size_t i = 0; i < c.picks.size(); i++) {
            for (const SpanPick& p : {sheet.picks[i], kept[i]}) {
                EXPECT_EQ(p.order, c.picks[i].order) << c.what << ": pick " << i;
                EXPECT_EQ(p.row, c.picks[i].row) << c.what << ": pick " << i;
                EXPECT_EQ(p.frame, c.picks[i].frame) << c.what << ": pick " << i;
            }
        }
    }
}

// Minutes, seconds and hundredths, cut: 61.239999 s is 1:01.23.
TEST(Span, SheetLabels) {
    EXPECT_EQ(span_sheet_label(0, 0, 0), "ORDER 0 ROW 0 0:00.00");
    EXPECT_EQ(span_sheet_label(5, 32, 61239999), "ORDER 5 ROW 32 1:01.23");
    EXPECT_EQ(span_sheet_label(21, 63, 155616666), "ORDER 21 ROW 63 2:35.61");
    EXPECT_EQ(span_sheet_label(255, 255, 3600000000), "ORDER 255 ROW 255 60:00.00");
}
