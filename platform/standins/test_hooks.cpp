// Test hooks: failures armed for the next call of a stand-in, and the reset
// between test cases and capture runs.
#include <cstring>

#include "platform/host_clock.h"
#include "platform/standins/win32_state.h"

bool platform_fault(const char* call, int32_t* result) {
    std::lock_guard<std::mutex> guard(w32.lock);
    auto it = w32.faults.find(call);
    if (it == w32.faults.end()) return false;
    if (result) *result = it->second;
    w32.faults.erase(it);
    return true;
}

void host_fail_next(const char* call, int32_t result) {
    std::lock_guard<std::mutex> guard(w32.lock);
    w32.faults[call] = result;
}

void host_reset() {
    host_clock_reset();
    std::lock_guard<std::mutex> guard(w32.lock);
    w32.queues.clear();
    w32.faults.clear();
    memset(w32.keys, 0, sizeof w32.keys);
    memset(w32.async_keys, 0, sizeof w32.async_keys);
    w32.frame_count = 0;
    w32.frame_callback = nullptr;
    w32.frame_user = nullptr;
    w32.frame_rgba.clear();
    w32.frame_rgba_stale = false;
    w32.frame_width = w32.frame_height = 0;
    w32.cursor = {0, 0};
    for (Win32Timer& t : w32.timers) t.due_us = t.elapse_ms * 1000ull;
}
