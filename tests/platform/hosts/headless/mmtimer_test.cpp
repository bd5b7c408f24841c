// The multimedia timer on the headless host's virtual clock: callbacks fire in
// deadline order at exact times, periodic timers do not drift, killing works from
// inside a callback, and frame steps add up to whole seconds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host_clock.h"
#include "platform/mmsystem.h"

struct Fired {
    UINT id;
    uint64_t at_us;
    DWORD_PTR user;
};
static std::vector<Fired> fired;

static void CALLBACK record(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    fired.push_back({id, host_clock_us(), user});
}

class MmTimer : public ::testing::Test {
protected:
    void SetUp() override {
        host_clock_reset();
        fired.clear();
    }
};

TEST_F(MmTimer, QueriesAnswerWithCheckedRecordSizes) {
    EXPECT_TRUE(host_is_headless());
    host_clock_advance(1234567);
    MMTIME t;
    EXPECT_EQ(timeGetSystemTime(&t, sizeof t), (MMRESULT)TIMERR_NOERROR);
    EXPECT_EQ(t.wType, (UINT)TIME_MS);
    EXPECT_EQ(t.u.ms, 1234u);
    EXPECT_EQ(timeGetSystemTime(&t, 8), (MMRESULT)TIMERR_STRUCT);
    TIMECAPS caps;
    EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps), (MMRESULT)TIMERR_NOERROR);
    EXPECT_LE(caps.wPeriodMin, 7u);
    EXPECT_GE(caps.wPeriodMax, 14u);
    EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), (MMRESULT)TIMERR_STRUCT);
}

TEST_F(MmTimer, TimersFireInDeadlineOrderAtTheirDeadlines) {
    UINT a = timeSetEvent(14, 7, record, 1, TIME_PERIODIC);
    UINT b = timeSetEvent(10, 1, record, 2, TIME_PERIODIC);
    UINT c = timeSetEvent(28, 1, record, 3, TIME_ONESHOT);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_NE(c, 0u);
    host_clock_advance(30000);  // one step holding several deadlines
    std::vector<std::pair<DWORD_PTR, uint64_t>> got;
    for (const Fired& f : fired) got.push_back({f.user, f.at_us});
    // At 28 ms two deadlines meet: the older timer first. The step's end (30 ms) is included.
    std::vector<std::pair<DWORD_PTR, uint64_t>> want = {{2, 10000}, {1, 14000}, {2, 20000},
                                                        {1, 28000}, {3, 28000}, {2, 30000}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(host_clock_us(), 30000u);
    EXPECT_EQ(timeKillEvent(c), (MMRESULT)MMSYSERR_INVALPARAM);  // a one-shot timer is gone once fired
    EXPECT_EQ(timeKillEvent(a), (MMRESULT)TIMERR_NOERROR);
    EXPECT_EQ(timeKillEvent(b), (MMRESULT)TIMERR_NOERROR);
    EXPECT_EQ(timeKillEvent(b), (MMRESULT)MMSYSERR_INVALPARAM);
}

TEST_F(MmTimer, FourteenMillisecondsDoNotDriftOverFrames) {
    UINT id = timeSetEvent(14, 7, record, 0, TIME_PERIODIC);
    for (int i = 0; i < 60 * 10; i++) host_clock_advance_frame();  // ten seconds at 60 frames
    EXPECT_EQ(host_clock_us(), 10000000u);  // 600 frame steps of 1e6/60 us: exactly 10 s
    ASSERT_EQ(fired.size(), 714u);  // 10000 / 14
    for (size_t i = 0; i < fired.size(); i++) ASSERT_EQ(fired[i].at_us, (i + 1) * 14000u);
    timeKillEvent(id);
}

static UINT self_id;
static void CALLBACK kill_self(UINT id, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    fired.push_back({id, host_clock_us(), 0});
    timeKillEvent(self_id);
}

TEST_F(MmTimer, CallbackMayKillItsOwnTimer) {
    self_id = timeSetEvent(5, 1, kill_self, 0, TIME_PERIODIC);
    host_clock_advance(100000);
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].id, self_id);
}

TEST_F(MmTimer, BadRequestsAreRefused) {
    EXPECT_EQ(timeSetEvent(0, 0, record, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(14, 7, nullptr, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(14, 7, record, 0, TIME_CALLBACK_EVENT_SET), 0u);  // event callbacks are not offered
    EXPECT_EQ(timeKillEvent(12345), (MMRESULT)MMSYSERR_INVALPARAM);
}

TEST_F(MmTimer, ResetForgetsTimers) {
    timeSetEvent(14, 7, record, 0, TIME_PERIODIC);
    host_clock_reset();
    host_clock_advance(100000);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(host_clock_frame_rate(), 60u);
}
