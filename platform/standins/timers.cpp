// Window timers (the message pump makes their WM_TIMER), the tick count and Sleep,
// all on the host clock.
#include <algorithm>

#include "platform/host_clock.h"
#include "platform/standins/win32_state.h"

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    std::lock_guard<std::mutex> guard(w32.lock);
    std::thread::id thread = std::this_thread::get_id();
    if (hwnd) {
        Win32Window* w = window_find(hwnd);
        if (!w) return 0;
        thread = w->thread;
    } else {
        id = w32.next_timer_id++;
    }
    elapse = std::clamp<UINT>(elapse, 10, 0x7FFFFFFF);  // USER_TIMER_MINIMUM .. MAXIMUM
    uint64_t due = host_clock_us() + elapse * 1000ull;
    for (Win32Timer& t : w32.timers)
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse_ms = elapse;
            t.proc = proc;
            t.due_us = due;
            return hwnd ? 1 : id;
        }
    w32.timers.push_back({hwnd, id, elapse, proc, due, thread});
    return hwnd ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard<std::mutex> guard(w32.lock);
    auto it = std::find_if(w32.timers.begin(), w32.timers.end(),
                           [&](const Win32Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == w32.timers.end()) return FALSE;
    w32.timers.erase(it);
    return TRUE;
}

DWORD WINAPI GetTickCount() { return (DWORD)(host_clock_us() / 1000); }

void WINAPI Sleep(DWORD ms) { host_clock_advance(ms * 1000ull); }
