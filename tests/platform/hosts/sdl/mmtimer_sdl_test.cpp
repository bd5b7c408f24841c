// The multimedia timer on the SDL host's wall clock: a 14 ms periodic timer gives
// 70 to 72 ticks in one second (absolute deadlines, no drift), and killing it
// waits for a callback that is running.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/host_clock.h"
#include "platform/mmsystem.h"

static std::vector<uint64_t> tick_times;
static std::atomic<int> ticks{0};

static void CALLBACK on_tick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    if (ticks.load() < 1000) tick_times.push_back(host_clock_us());
    ticks++;
}

TEST(MmTimerSdl, FourteenMillisecondsGiveSeventyOneTicksASecond) {
    EXPECT_FALSE(host_is_headless());
    tick_times.reserve(1000);
    const uint64_t start = host_clock_us();
    UINT id = timeSetEvent(14, 7, on_tick, 0, TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    ASSERT_EQ(timeKillEvent(id), (MMRESULT)TIMERR_NOERROR);
    // Ticks whose deadline lies within the first second: the deadline of tick n is start + 14 n ms,
    // and a late wake-up does not push the later ones back.
    int in_first_second = 0;
    for (uint64_t t : tick_times)
        if (t - start < 1000000) in_first_second++;
    EXPECT_GE(in_first_second, 70);
    EXPECT_LE(in_first_second, 72);
    ASSERT_GE(tick_times.size(), 80u);
    const uint64_t tick80 = tick_times[79] - start;  // due at 1120 ms
    EXPECT_GE(tick80, 1120000u);
    EXPECT_LT(tick80, 1120000u + 14000u * 3);  // late by less than three periods, not drifting
    const int after_kill = ticks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ticks.load(), after_kill);  // nothing after the kill
}

static std::atomic<bool> in_callback{false}, callback_done{false};
static void CALLBACK slow_tick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    if (callback_done) return;
    in_callback = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    callback_done = true;
}

TEST(MmTimerSdl, KillWaitsForARunningCallback) {
    UINT id = timeSetEvent(5, 1, slow_tick, 0, TIME_PERIODIC);
    while (!in_callback) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(timeKillEvent(id), (MMRESULT)TIMERR_NOERROR);
    EXPECT_TRUE(callback_done);
}
