// The browser host's clock and its multimedia timers. The clock is the page's
// performance clock; nothing may block the browser's main thread, so timers have
// no threads of their own: each animation frame fires every deadline that has
// passed, in deadline order (then the older timer), with the clock reading the
// deadline while its callback runs, as the headless host's virtual clock does.
#include <emscripten.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/host_clock.h"
#include "platform/hosts/web/web_host.h"
#include "platform/mmsystem.h"

// ---- module state -----------------------------------------------------------

struct WebTimer {
    UINT id;
    uint64_t period_us;
    uint64_t deadline_us;
    LPTIMECALLBACK proc;
    DWORD_PTR user;
    bool periodic;
};

static struct {
    std::mutex lock;  // the timer list (worker threads of the threads build may ask the clock)
    double start_ms = emscripten_get_now();
    std::vector<WebTimer> timers;
    UINT next_id = 1;
    bool firing = false;
    uint64_t firing_us = 0;  // the deadline whose callback runs now
    uint32_t frame_rate = 60;
} wclock;

// A timer more than this late (a hidden tab gets no animation frames) starts
// again from now rather than firing a burst, as the desktop host's timer threads do.
static const uint64_t WEB_TIMER_STALL_US = 1000000;

static uint64_t wall_us()
{
    return static_cast<uint64_t>((emscripten_get_now() - wclock.start_ms) * 1000.0);
}

// ---- clock ------------------------------------------------------------------

uint64_t host_clock_us()
{
    std::lock_guard<std::mutex> g(wclock.lock);
    return wclock.firing ? wclock.firing_us : wall_us();
}

// The browser cannot be made to wait: the due timers fire, time is not moved.
void host_clock_advance(uint64_t)
{
    web_host_timers_fire();
}

void host_clock_advance_frame()
{
    web_host_timers_fire();
}

void host_clock_set_frame_rate(uint32_t frames_per_second)
{
    if (frames_per_second) wclock.frame_rate = frames_per_second;
}

uint32_t host_clock_frame_rate()
{
    return wclock.frame_rate;
}

void host_clock_reset() {}

bool host_is_headless()
{
    return false;
}

// ---- timers -----------------------------------------------------------------

void web_host_timers_fire()
{
    std::unique_lock<std::mutex> lk(wclock.lock);
    if (wclock.firing) return;  // a callback that asks for the clock to move
    const uint64_t now = wall_us();
    for (;;) {
        WebTimer* next = nullptr;
        for (WebTimer& t : wclock.timers) {
            if (t.deadline_us + WEB_TIMER_STALL_US < now) t.deadline_us = now;
            if (t.deadline_us <= now &&
                (!next || t.deadline_us < next->deadline_us || (t.deadline_us == next->deadline_us && t.id < next->id)))
                next = &t;
        }
        if (!next) break;
        WebTimer fire = *next;
        // Rescheduled before the call, so the callback may kill its own timer.
        if (fire.periodic)
            next->deadline_us += fire.period_us;
        else
            wclock.timers.erase(wclock.timers.begin() + (next - wclock.timers.data()));
        wclock.firing = true;
        wclock.firing_us = fire.deadline_us;
        lk.unlock();
        fire.proc(fire.id, 0, fire.user, 0, 0);
        lk.lock();
        wclock.firing = false;
    }
}

MMRESULT WINAPI timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser,
                             UINT fuEvent)
{
    (void)uResolution;
    if (uDelay == 0 || uDelay > 1000000 || !lpTimeProc || (fuEvent & ~(TIME_PERIODIC | TIME_KILL_SYNCHRONOUS))) return 0;
    std::lock_guard<std::mutex> g(wclock.lock);
    WebTimer t;
    t.id = wclock.next_id++;
    t.period_us = static_cast<uint64_t>(uDelay) * 1000;
    t.deadline_us = (wclock.firing ? wclock.firing_us : wall_us()) + t.period_us;
    t.proc = lpTimeProc;
    t.user = dwUser;
    t.periodic = (fuEvent & TIME_PERIODIC) != 0;
    wclock.timers.push_back(t);
    return t.id;
}

// Callbacks run only inside web_host_timers_fire on the page's thread: once the
// timer is off the list none of its callbacks can start.
MMRESULT WINAPI timeKillEvent(UINT uTimerID)
{
    std::lock_guard<std::mutex> g(wclock.lock);
    auto it = std::find_if(wclock.timers.begin(), wclock.timers.end(),
                           [&](const WebTimer& t) { return t.id == uTimerID; });
    if (it == wclock.timers.end()) return MMSYSERR_INVALPARAM;
    wclock.timers.erase(it);
    return TIMERR_NOERROR;
}
