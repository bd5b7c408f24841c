// The studio's keys on the headless host, pressed through the host's injected
// keys between frames: a pause holds the picture, the clock and the music; a
// step shows the next (or previous) frame of a run from the start; the loop
// wraps at its order's end and lets go when pressed again; a marked span
// loops; rows, orders and Home move the music there; a sync editor's row and
// pause are followed and the demo's rows reported back.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/demo.h"
#include "app/studio.h"
#include "app/studio_keys.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tests/app/studio_child.h"
#include "tests/sync/scripted_editor.h"

namespace {

using namespace studio_child;

uint32_t at() { return demo.position->order.load() * 64 + demo.position->row.load(); }

}  // namespace

TEST(StudioKeys, PauseHoldsAndStepsShowTheFramesOfARunFromTheStart) {
    ROBUST_REQUIRE_DATA();
    robust::Report ref, got;
    robust::ChildResult r = robust::run_child(robust::data_dir(), [&] {
        host_reset();
        host_clock_set_frame_rate(60);
        if (demo_start() != 0) return 3;
        for (int f = 0; f < 260; f++) {
            demo_draw();
            ref.put("f" + std::to_string(f), int64_t(hash_screen()));
            demo_frame_end();
        }
        demo_shutdown();
        return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;

    r = in_studio(robust::data_dir(), [&] {
        for (int f = 0; f < 200; f++) frame();  // frames 0-199 drawn
        press(VK_SPACE);
        frame();  // frame 200 drawn, then the key pauses
        got.put("paused", music_is_paused());
        const uint64_t held = hash_screen();
        const uint32_t held_at = at();
        const float ticks = demo.position->ticks.load();
        int same = 0;
        for (int f = 0; f < 30; f++) {
            frame();
            same += hash_screen() == held && at() == held_at && demo.position->ticks.load() == ticks;
        }
        got.put("held", same);
        got.put("held_frame", int64_t(held));
        for (int s = 1; s <= 3; s++) {
            press(0xBE);  // '.'
            frame();
            got.put("step" + std::to_string(s), int64_t(hash_screen()));
        }
        press(0xBC);  // ','
        frame();
        got.put("back", int64_t(hash_screen()));
        got.put("still_paused", music_is_paused());
        press(VK_SPACE);
        frame();
        got.put("resumed", !music_is_paused());
        return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got.get("paused"), 1);
    EXPECT_EQ(got.get("held"), 30) << "picture, position and ticks held for 30 frames";
    EXPECT_EQ(got.get("held_frame"), ref.get("f200"));
    EXPECT_EQ(got.get("step1"), ref.get("f201"));
    EXPECT_EQ(got.get("step2"), ref.get("f202"));
    EXPECT_EQ(got.get("step3"), ref.get("f203"));
    EXPECT_EQ(got.get("back"), ref.get("f202"));
    EXPECT_EQ(got.get("still_paused"), 1);
    EXPECT_EQ(got.get("resumed"), 1);
}

TEST(StudioKeys, TheLoopWrapsAtTheOrdersEndUntilPressedAgain) {
    ROBUST_REQUIRE_DATA();
    robust::Report got;
    robust::ChildResult r = in_studio(robust::data_dir(), [&] {
        while (demo.position->order.load() < 1) frame();
        for (int f = 0; f < 100; f++) frame();
        press('L');
        int wraps = 0, left_order = 0;
        uint32_t last = at();
        for (int f = 0; f < 1000; f++) {  // two orders' time
            frame();
            wraps += at() < last;
            left_order += demo.position->order.load() != 1;
            last = at();
        }
        got.put("wraps", wraps);
        got.put("left_order", left_order);
        press('L');
        int reached_next = 0;
        for (int f = 0; f < 600 && !reached_next; f++) {
            frame();
            reached_next = demo.position->order.load() == 2;
        }
        got.put("reached_next", reached_next);
        return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GE(got.get("wraps"), 2);
    EXPECT_EQ(got.get("left_order"), 0) << "frames outside order 1 while it looped";
    EXPECT_EQ(got.get("reached_next"), 1);
}

TEST(StudioKeys, AMarkedSpanLoopsAndTheMovingKeysGoWhereTheySay) {
    ROBUST_REQUIRE_DATA();
    robust::Report got;
    robust::ChildResult r = in_studio(robust::data_dir(), [&] {
        while (at() < 10) frame();
        press(0xDB);  // '['
        frame();
        const uint32_t start = at();
        while (at() < 20) frame();
        press(0xDD);  // ']'
        frame();
        const uint32_t end = at();
        press('L');
        uint32_t lo = 9999, hi = 0;
        for (int f = 0; f < 300; f++) {
            frame();
            lo = std::min(lo, at());
            hi = std::max(hi, at());
        }
        got.put("span_ok", lo >= start && hi < end && hi + 2 >= end);
        press('L');
        frame();
        // PgDn: the next order's start; PgUp: the order before; Right and Left: a row.
        const uint32_t o = demo.position->order.load();
        press(VK_NEXT);
        frame();
        got.put("pgdn", at() == (o + 1) * 64);
        press(VK_NEXT);
        frame();
        press(VK_PRIOR);
        frame();
        got.put("pgup", at() == (o + 1) * 64);
        press(VK_RIGHT);
        frame();
        got.put("right", at() == (o + 1) * 64 + 1);
        press(VK_LEFT);
        frame();
        got.put("left", at() == (o + 1) * 64);
        press(VK_HOME);
        frame();
        got.put("home", at() == 0);
        return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got.get("span_ok"), 1);
    EXPECT_EQ(got.get("pgdn"), 1);
    EXPECT_EQ(got.get("pgup"), 1);
    EXPECT_EQ(got.get("right"), 1);
    EXPECT_EQ(got.get("left"), 1);
    EXPECT_EQ(got.get("home"), 1);
}

TEST(StudioKeys, TheStudioFollowsASyncEditorsRowAndPauseAndReportsItsOwn) {
    ROBUST_REQUIRE_DATA();
    robust::Report got;
    robust::ChildResult r = in_studio(robust::data_dir(), [&] {
        scripted::ScriptedEditor ed;
        studio_editor_start(ed.port);
        ed.greeted();
        if (!studio_editor.link) return 6;
        for (int f = 0; f < 30; f++) frame();
        // The demo told the editor its rows as it played: the last is where it is.
        const scripted::Bytes first = ed.receive(5);
        got.put("reported", first.size() == 5 && first[0] == SYNC_CMD_SET_ROW);
        ed.send_bytes(scripted::set_row(3 * 64 + 5));
        ed.send_bytes({SYNC_CMD_PAUSE, 1});
        for (int f = 0; f < 10 && !music_is_paused(); f++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            frame();
        }
        got.put("at", at());
        got.put("paused", music_is_paused());
        ed.send_bytes({SYNC_CMD_PAUSE, 0});
        for (int f = 0; f < 10 && music_is_paused(); f++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            frame();
        }
        for (int f = 0; f < 60; f++) frame();
        got.put("playing_on", at() > 3 * 64 + 5);
        ed.hang_up();
        for (int f = 0; f < 10; f++) frame();  // a lost editor: the demo plays on
        got.put("after_hang_up", at() > 3 * 64 + 5 && !music_is_paused());
        return 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got.get("reported"), 1);
    EXPECT_EQ(got.get("at"), 3 * 64 + 5);
    EXPECT_EQ(got.get("paused"), 1);
    EXPECT_EQ(got.get("playing_on"), 1);
    EXPECT_EQ(got.get("after_hang_up"), 1);
    EXPECT_NE(r.err.find("the sync editor connection ended"), std::string::npos) << r.err;
}
