// The demo on the SDL host with no sound device (SDL's dummy video driver, an
// audio driver that does not exist): it says so once on standard error, plays
// silently on the wall clock, and its timeline moves as it would with sound.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "app/demo.h"
#include "engine/music/music.h"
#include "platform/host.h"
#include "tests/app/demo_child.h"

TEST(DemoSilent, RunsOnTheWallClockWithoutASoundDevice) {
    ROBUST_REQUIRE_DATA();
    robust::DataCopy data;
    robust::Report report;
    const robust::ChildResult r = robust::run_child(data.dir, [&report] {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
        setenv("TAVIK_WINDOWED", "1", 1);
        static const robust::Report* rep;
        static uint64_t start_us;
        rep = &report;
        // Two seconds of the wall clock, then Escape.
        return demo_run([](uint64_t frame, void*) {
            if (frame == 0) start_us = host_clock_us();
            const uint64_t now = host_clock_us();
            if (now - start_us >= 2000000 && now - start_us < 60000000) {
                rep->put("frames", static_cast<long long>(frame));
                rep->put("ticks", static_cast<long long>(demo.position->count));
                rep->put("order", static_cast<long long>(demo.position->order));
                rep->put("row", static_cast<long long>(demo.position->row));
                start_us = 0;  // once
                host_inject_key(0x1B, true);
            }
        }, nullptr);
    }, 60);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_match(r.err, std::regex("audio: no sound device \\([^\n]*\\); the music plays silently "
                                                    "on the wall clock\n")))
        << "said once, and nothing else:\n" << r.err;
    // 2 s of 14 ms ticks (about 142); the song has moved past its first rows.
    EXPECT_GE(report.get("ticks"), 120);
    EXPECT_LE(report.get("ticks"), 200);
    EXPECT_GT(report.get("order") * 64 + report.get("row"), 8);
    EXPECT_GT(report.get("frames"), 10);
}
