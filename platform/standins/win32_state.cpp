// The Windows stand-ins' shared state and helpers.
#include "platform/standins/win32_state.h"

#include <algorithm>
#include <cctype>

#include "platform/host_clock.h"
#include "platform/standins/display.h"

Win32State w32;

Win32Window* window_find(HWND hwnd) {
    auto it = w32.windows.find(handle_of(hwnd));
    return it == w32.windows.end() ? nullptr : &it->second;
}

void frame_extent(const Win32Window& w, int* left, int* top, int* cw, int* ch) {
    bool captioned = (w.style & WS_CAPTION) == WS_CAPTION && !(w.style & WS_CHILD);
    *left = captioned ? METRIC_DLGFRAME : 0;
    *top = captioned ? METRIC_CAPTION + METRIC_DLGFRAME : 0;
    *cw = std::max(0, w.width - (captioned ? 2 * METRIC_DLGFRAME : 0));
    *ch = std::max(0, w.height - (captioned ? METRIC_CAPTION + 2 * METRIC_DLGFRAME : 0));
}

void screen_size(int32_t* w, int32_t* h) {
    if (!display_mode_size(w, h)) host_desktop_size(w, h);
}

bool post_locked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    std::thread::id thread = std::this_thread::get_id();
    if (hwnd) {
        Win32Window* w = window_find(hwnd);
        if (!w) return false;
        thread = w->thread;
    }
    MSG m = {};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wp;
    m.lParam = lp;
    m.time = (DWORD)(host_clock_us() / 1000);
    m.pt = w32.cursor;
    w32.queues[thread].posted.push_back(m);
    w32.posted.notify_all();
    return true;
}

LRESULT send_now(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC proc;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        Win32Window* w = window_find(hwnd);
        if (!w || !w->proc) return 0;
        proc = w->proc;
    }
    return proc(hwnd, msg, wp, lp);
}

std::string lower(LPCSTR s) {
    std::string r = s ? s : "";
    for (char& c : r) c = (char)tolower((unsigned char)c);
    return r;
}

bool platform_window_valid(HWND hwnd) {
    std::lock_guard<std::mutex> guard(w32.lock);
    return window_find(hwnd) != nullptr;
}
