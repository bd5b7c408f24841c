// Seeking: the frames after a seek are the frames a run from the start draws
// at the same times, for seeks by time and by music position into several
// orders (the fades of orders 5-8, the picture sections, the end loop), at
// scale 1 and 2; later seeks start from the state kept at an earlier order,
// and seeking back to each point draws its frame again from the points kept.
// Each run is a child process: the clock's record and the effects start afresh.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/demo.h"
#include "app/studio.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tests/app/studio_child.h"

namespace {

using studio_child::hash_screen;

void start_host(float scale, uint32_t fps) {
    int32_t w, h;
    demo_screen_size(scale, &w, &h);
    host_reset();
    host_offer_display_mode(w, h);
    host_clock_set_frame_rate(fps);
    demo.scale = scale;
}

struct Seek {
    StudioWhen when;
    const char* text;
};

StudioWhen when_of(const char* text) {
    StudioWhen w;
    EXPECT_TRUE(studio_parse_when(text, &w)) << text;
    return w;
}

// Frames each seek is compared over: long enough for ticks, rows and fades to move.
constexpr int WINDOW = 40;

void check_seeks(float scale, uint32_t fps, const std::vector<const char*>& whens) {
    ROBUST_REQUIRE_DATA();
    // The run from the start: every frame's music position and picture.
    robust::Report ref;
    uint64_t last_frame = 0;
    robust::ChildResult r = robust::run_child(robust::data_dir(), [&] {
        start_host(scale, fps);
        if (demo_start() != 0) return 3;
        std::vector<StudioWhen> ws;
        for (const char* t : whens) ws.push_back(when_of(t));
        std::vector<int64_t> first(ws.size(), -1);
        for (uint64_t f = 0; f < 40000; f++) {
            const uint32_t o = demo.position->order, row = demo.position->row;
            bool all = true;
            for (size_t i = 0; i < ws.size(); i++) {
                const StudioWhen& w = ws[i];
                const bool there = w.kind == StudioWhen::SECONDS ? f * w.den >= w.num * fps
                                                                  : (o > w.order || (o == w.order && row >= w.row));
                if (first[i] < 0 && there) {
                    first[i] = int64_t(f);
                    ref.put("first" + std::to_string(i), int64_t(f));
                }
                all = all && first[i] >= 0 && f >= uint64_t(first[i]) + WINDOW;
            }
            if (all) break;
            demo_draw();
            ref.put("f" + std::to_string(f), int64_t(hash_screen()));
            demo_frame_end();
        }
        demo_shutdown();
        return 0;
    }, 600);
    ASSERT_EQ(r.status, 0) << r.err;

    // One run seeking to each point in turn, WINDOW frames after each.
    robust::Report seeked;
    r = robust::run_child(robust::data_dir(), [&] {
        start_host(scale, fps);
        if (demo_start() != 0 || !studio_begin()) return 3;
        for (size_t i = 0; i < whens.size(); i++) {
            if (!studio_seek(when_of(whens[i]), false)) return 4;
            seeked.put("first" + std::to_string(i), int64_t(studio_frame()));
            for (int k = 0; k < WINDOW; k++) {
                demo_draw();
                seeked.put("s" + std::to_string(i) + "_" + std::to_string(k), int64_t(hash_screen()));
                demo_frame_end();
                studio_frame_done();
            }
        }
        seeked.put("snapshots", studio_snapshot_count());
        // Back to each point again, now from the points kept on the way: the
        // frame drawn there (shown at once) is the run from the start's.
        for (size_t i = 0; i < whens.size(); i++) {
            if (!studio_seek(when_of(whens[i]), true)) return 5;
            seeked.put("again" + std::to_string(i), int64_t(hash_screen()));
        }
        demo_shutdown();
        return 0;
    }, 600);
    ASSERT_EQ(r.status, 0) << r.err;
    for (size_t i = 0; i < whens.size(); i++) {
        SCOPED_TRACE(std::string("--from ") + whens[i] + " at scale " + std::to_string(scale));
        const long long first = ref.get("first" + std::to_string(i));
        ASSERT_GE(first, 0);
        EXPECT_EQ(seeked.get("first" + std::to_string(i)), first);
        int same = 0;
        for (int k = 0; k < WINDOW; k++)
            same += seeked.get("s" + std::to_string(i) + "_" + std::to_string(k), 1) ==
                    ref.get("f" + std::to_string(first + k), 2);
        EXPECT_EQ(same, WINDOW) << "frames equal to the run from the start, of " << WINDOW;
        EXPECT_EQ(seeked.get("again" + std::to_string(i), 1), ref.get("f" + std::to_string(first), 2))
            << "the frame shown by a second seek there";
        last_frame = uint64_t(first);
    }
    // The start and at least one order's first frame were kept on the way.
    EXPECT_GE(seeked.get("snapshots"), 2);
    (void)last_frame;
}

TEST(StudioSeek, FramesAfterASeekAreTheRunFromTheStartAtScale1) {
    // Order 3's start; into order 5 (the hairs fading in over the ball); order 8
    // after row 40 (hairs gone, the fade-out under way); 100.25 s (the blob);
    // order 16 (the credits); order 21 (the end picture, just before the end loop).
    check_seeks(1.0f, 60, {"3:0", "5:10", "8:41", "100.25", "16:0", "21:60"});
}

TEST(StudioSeek, FramesAfterASeekAreTheRunFromTheStartAtScale2) {
    // Fewer frames a second keeps the larger screen's cost down; the seeks are the same kind.
    // (Seeks go forward: the headless clock cannot be moved back to an earlier time.)
    check_seeks(2.0f, 10, {"13.5", "2:33", "9:5", "18:0"});
}

TEST(StudioSeek, TimesAndPositionsAreReadOrRefused) {
    struct Case {
        const char* text;
        bool ok;
        StudioWhen::Kind kind = StudioWhen::START;
        uint64_t num = 0, den = 1;
        uint32_t order = 0, row = 0;
    };
    const Case cases[] = {
        {"12.5", true, StudioWhen::SECONDS, 125, 10, 0, 0}, {"0", true, StudioWhen::SECONDS, 0, 1, 0, 0},
        {"9:0", true, StudioWhen::POSITION, 0, 1, 9, 0},    {"21:63", true, StudioWhen::POSITION, 0, 1, 21, 63},
        {"", false},      {"-1", false},  {"1e3", false}, {"1.2.3", false}, {"9:", false},
        {":4", false},    {"9:4:1", false}, {"9:x", false}, {"300:0", false}, {".", false},
    };
    for (const Case& c : cases) {
        StudioWhen w;
        EXPECT_EQ(studio_parse_when(c.text, &w), c.ok) << c.text;
        if (!c.ok || !studio_parse_when(c.text, &w)) continue;
        EXPECT_EQ(w.kind, c.kind) << c.text;
        if (c.kind == StudioWhen::SECONDS) {
            EXPECT_EQ(w.num * c.den, c.num * w.den) << c.text;
        } else {
            EXPECT_EQ(w.order, c.order) << c.text;
            EXPECT_EQ(w.row, c.row) << c.text;
        }
    }
}

TEST(StudioSeek, APositionTheMusicNeverReachesIsAnError) {
    ROBUST_REQUIRE_DATA();
    robust::ChildResult r = robust::run_child(robust::data_dir(), [] {
        start_host(1.0f, 10);
        if (demo_start() != 0 || !studio_begin()) return 3;
        // Order 22 plays once, then the end loop keeps the music in 20-21.
        StudioWhen w = when_of("23:0");
        const int ok = studio_seek(w, false);
        std::fprintf(stderr, "%s\n", studio_error());
        demo_shutdown();
        return ok ? 0 : 5;
    }, 300);
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("never reaches 23:0"), std::string::npos) << r.err;
}

}  // namespace
