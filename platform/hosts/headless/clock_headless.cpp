// The headless host's virtual clock and its multimedia timers: time moves only
// when told to, and every timer deadline inside a step fires in order (earliest
// deadline first, then the older timer) on the thread that moves the clock.
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/host_clock.h"
#include "platform/mmsystem.h"

struct VirtualTimer {
    UINT id;
    uint64_t period_us;
    uint64_t deadline_us;
    LPTIMECALLBACK proc;
    DWORD_PTR user;
    bool periodic;
};

static struct {
    std::mutex lock;
    std::condition_variable idle;  // a callback finished
    uint64_t now_us = 0;
    uint32_t frame_rate = 60;
    uint64_t frame_base_us = 0;  // frame boundaries are frame_base_us + n * 1e6 / frame_rate
    uint64_t frames = 0;
    std::vector<VirtualTimer> timers;
    UINT next_id = 1;
    UINT running_id = 0;  // timer whose callback runs now
    std::thread::id running_thread;
} vclock;

uint64_t host_clock_us() {
    std::lock_guard<std::mutex> guard(vclock.lock);
    return vclock.now_us;
}

void host_clock_advance(uint64_t us) {
    std::unique_lock<std::mutex> lk(vclock.lock);
    const uint64_t target = vclock.now_us + us;
    for (;;) {
        VirtualTimer* next = nullptr;
        for (VirtualTimer& t : vclock.timers)
            if (t.deadline_us <= target && (!next || t.deadline_us < next->deadline_us ||
                                            (t.deadline_us == next->deadline_us && t.id < next->id)))
                next = &t;
        if (!next) break;
        vclock.now_us = next->deadline_us;
        VirtualTimer fire = *next;
        // Rescheduled before the call, so the callback may kill its own timer.
        if (fire.periodic)
            next->deadline_us += fire.period_us;
        else
            vclock.timers.erase(vclock.timers.begin() + (next - vclock.timers.data()));
        vclock.running_id = fire.id;
        vclock.running_thread = std::this_thread::get_id();
        lk.unlock();
        fire.proc(fire.id, 0, fire.user, 0, 0);
        lk.lock();
        vclock.running_id = 0;
        vclock.idle.notify_all();
    }
    vclock.now_us = target;
}

void host_clock_advance_frame() {
    uint64_t step;
    {
        std::lock_guard<std::mutex> guard(vclock.lock);
        vclock.frames++;
        uint64_t boundary = vclock.frame_base_us + vclock.frames * 1000000ull / vclock.frame_rate;
        if (boundary <= vclock.now_us) {
            // Someone moved the clock past the boundary: count frames from here.
            vclock.frame_base_us = vclock.now_us;
            vclock.frames = 1;
            boundary = vclock.now_us + 1000000ull / vclock.frame_rate;
        }
        step = boundary - vclock.now_us;
    }
    host_clock_advance(step);
}

void host_clock_set_frame_rate(uint32_t frames_per_second) {
    if (frames_per_second == 0) return;
    std::lock_guard<std::mutex> guard(vclock.lock);
    vclock.frame_rate = frames_per_second;
    vclock.frame_base_us = vclock.now_us;
    vclock.frames = 0;
}

uint32_t host_clock_frame_rate() {
    std::lock_guard<std::mutex> guard(vclock.lock);
    return vclock.frame_rate;
}

void host_clock_reset() {
    std::lock_guard<std::mutex> guard(vclock.lock);
    vclock.now_us = 0;
    vclock.frame_base_us = 0;
    vclock.frames = 0;
    vclock.timers.clear();
}

bool host_is_headless() { return true; }

MMRESULT WINAPI timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser,
                             UINT fuEvent) {
    (void)uResolution;
    if (uDelay == 0 || uDelay > 1000000 || !lpTimeProc || (fuEvent & ~(TIME_PERIODIC | TIME_KILL_SYNCHRONOUS))) return 0;
    std::lock_guard<std::mutex> guard(vclock.lock);
    VirtualTimer t;
    t.id = vclock.next_id++;
    t.period_us = (uint64_t)uDelay * 1000;
    t.deadline_us = vclock.now_us + t.period_us;
    t.proc = lpTimeProc;
    t.user = dwUser;
    t.periodic = (fuEvent & TIME_PERIODIC) != 0;
    vclock.timers.push_back(t);
    return t.id;
}

MMRESULT WINAPI timeKillEvent(UINT uTimerID) {
    std::unique_lock<std::mutex> lk(vclock.lock);
    for (size_t i = 0; i < vclock.timers.size(); i++) {
        if (vclock.timers[i].id != uTimerID) continue;
        vclock.timers.erase(vclock.timers.begin() + i);
        // Another thread's running callback of this timer finishes first.
        vclock.idle.wait(lk, [&] {
            return vclock.running_id != uTimerID || vclock.running_thread == std::this_thread::get_id();
        });
        return TIMERR_NOERROR;
    }
    return MMSYSERR_INVALPARAM;
}
