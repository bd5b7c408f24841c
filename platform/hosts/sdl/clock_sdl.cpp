// The SDL host's clock is the monotonic wall clock; each multimedia timer runs on
// its own thread against absolute deadlines (start + n * period), so a 14 ms tick
// does not drift however late a single wake-up is.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/host_clock.h"
#include "platform/mmsystem.h"

using Clock = std::chrono::steady_clock;

static const Clock::time_point clock_start = Clock::now();
static std::atomic<uint32_t> clock_frame_rate{60};

uint64_t host_clock_us() {
    return (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - clock_start).count();
}

void host_clock_advance(uint64_t us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

void host_clock_advance_frame() { host_clock_advance(1000000ull / clock_frame_rate.load()); }

void host_clock_set_frame_rate(uint32_t frames_per_second) {
    if (frames_per_second) clock_frame_rate = frames_per_second;
}

uint32_t host_clock_frame_rate() { return clock_frame_rate.load(); }

void host_clock_reset() {}

bool host_is_headless() { return false; }

struct ThreadTimer {
    UINT id;
    std::chrono::microseconds period;
    LPTIMECALLBACK proc;
    DWORD_PTR user;
    bool periodic;
    std::mutex lock;
    std::condition_variable wake;
    bool killed = false;
    std::thread thread;
};

static std::mutex timers_lock;
static std::map<UINT, std::shared_ptr<ThreadTimer>> timers;
static UINT timers_next_id = 1;

static void timer_run(std::shared_ptr<ThreadTimer> t) {
    Clock::time_point deadline = Clock::now();
    std::unique_lock<std::mutex> lk(t->lock);
    for (;;) {
        deadline += t->period;
        if (t->wake.wait_until(lk, deadline, [&] { return t->killed; })) break;
        lk.unlock();
        t->proc(t->id, 0, t->user, 0, 0);
        lk.lock();
        if (!t->periodic || t->killed) break;
        // After a long stall (a suspended machine) start again rather than fire a burst.
        if (Clock::now() - deadline > std::chrono::seconds(1)) deadline = Clock::now();
    }
}

MMRESULT WINAPI timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser,
                             UINT fuEvent) {
    (void)uResolution;
    if (uDelay == 0 || uDelay > 1000000 || !lpTimeProc || (fuEvent & ~(TIME_PERIODIC | TIME_KILL_SYNCHRONOUS))) return 0;
    auto t = std::make_shared<ThreadTimer>();
    t->period = std::chrono::milliseconds(uDelay);
    t->proc = lpTimeProc;
    t->user = dwUser;
    t->periodic = (fuEvent & TIME_PERIODIC) != 0;
    std::lock_guard<std::mutex> guard(timers_lock);
    t->id = timers_next_id++;
    // The id is set before the thread starts, so the first callback can compare it.
    t->thread = std::thread(timer_run, t);
    timers[t->id] = t;
    return t->id;
}

MMRESULT WINAPI timeKillEvent(UINT uTimerID) {
    std::shared_ptr<ThreadTimer> t;
    {
        std::lock_guard<std::mutex> guard(timers_lock);
        auto it = timers.find(uTimerID);
        if (it == timers.end()) return MMSYSERR_INVALPARAM;
        t = it->second;
        timers.erase(it);
    }
    {
        std::lock_guard<std::mutex> guard(t->lock);
        t->killed = true;
    }
    t->wake.notify_all();
    // Joining waits for a running callback; a callback killing its own timer cannot wait for itself.
    if (t->thread.get_id() == std::this_thread::get_id())
        t->thread.detach();
    else
        t->thread.join();
    return TIMERR_NOERROR;
}
