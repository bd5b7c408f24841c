// Messages: one queue per thread, peeking and waiting (window timers become
// WM_TIMER as they fall due), translation, dispatch, posting and sending, and
// the default window procedure.
#include "platform/host_clock.h"
#include "platform/standins/win32_state.h"

static bool filter_match(const MSG& m, HWND hwnd, UINT lo, UINT hi) {
    if (hwnd == (HWND)(intptr_t)-1) {
        if (m.hwnd) return false;
    } else if (hwnd && m.hwnd != hwnd) {
        return false;
    }
    if (lo == 0 && hi == 0) return true;
    return m.message >= lo && m.message <= hi;
}

// The thread's key state follows the key messages as they are taken from the queue.

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi, UINT remove) {
    if (!msg) return FALSE;
    bool pump;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        pump = w32.host_window && w32.host_thread == std::this_thread::get_id();
    }
    if (pump) host_pump_events();
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Queue& q = w32.queues[std::this_thread::get_id()];
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (!filter_match(*it, hwnd, lo, hi)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) {
            input_follow(*it);
            q.posted.erase(it);
        }
        return TRUE;
    }
    if (q.quit && (hwnd == nullptr || hwnd == (HWND)(intptr_t)-1) &&
        ((lo == 0 && hi == 0) || (lo <= WM_QUIT && WM_QUIT <= hi))) {
        *msg = {};
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)q.quit_code;
        msg->pt = w32.cursor;
        if (remove & PM_REMOVE) q.quit = false;
        return TRUE;
    }
    // Window timers: one WM_TIMER for the earliest due timer, counted again from now.
    if ((lo == 0 && hi == 0) || (lo <= WM_TIMER && WM_TIMER <= hi)) {
        uint64_t now = host_clock_us();
        Win32Timer* due = nullptr;
        for (Win32Timer& t : w32.timers)
            if (t.thread == std::this_thread::get_id() && t.due_us <= now && (!hwnd || t.hwnd == hwnd) &&
                (!due || t.due_us < due->due_us))
                due = &t;
        if (due) {
            *msg = {};
            msg->hwnd = due->hwnd;
            msg->message = WM_TIMER;
            msg->wParam = due->id;
            msg->lParam = (LPARAM)due->proc;
            msg->time = (DWORD)(now / 1000);
            msg->pt = w32.cursor;
            if (remove & PM_REMOVE) due->due_us = now + due->elapse_ms * 1000ull;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT lo, UINT hi) {
    for (;;) {
        if (PeekMessageA(msg, hwnd, lo, hi, PM_REMOVE)) return msg->message != WM_QUIT;
        if (host_is_headless()) {
            // Nothing will arrive by itself: let virtual time run to the next frame.
            host_clock_advance_frame();
        } else {
            std::unique_lock<std::mutex> lk(w32.lock);
            w32.posted.wait_for(lk, std::chrono::milliseconds(2));
        }
    }
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return FALSE;
    std::lock_guard<std::mutex> guard(w32.lock);
    WPARAM ch = input_char((UINT)msg->wParam);
    if (!ch) return FALSE;
    Win32Window* w = window_find(msg->hwnd);
    if (!w) return FALSE;
    MSG m = *msg;
    m.message = WM_CHAR;
    m.wParam = ch;
    w32.queues[w->thread].posted.push_front(m);  // the character comes next
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        ((TIMERPROC)msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, (DWORD)(host_clock_us() / 1000));
        return 0;
    }
    if (!msg->hwnd) return 0;
    return send_now(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    std::lock_guard<std::mutex> guard(w32.lock);
    return post_locked(hwnd, msg, wp, lp) ? TRUE : FALSE;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return send_now(hwnd, msg, wp, lp); }

void WINAPI PostQuitMessage(int code) {
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Queue& q = w32.queues[std::this_thread::get_id()];
    q.quit = true;
    q.quit_code = code;
    w32.posted.notify_all();
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_SETCURSOR: SetCursor(LoadCursorA(nullptr, IDC_ARROW)); return TRUE;
    case WM_SYSKEYDOWN:
        // Alt+F4 asks the window to close, as the system menu would.
        if (wp == VK_F4 && (lp & (1L << 29))) send_now(hwnd, WM_CLOSE, 0, 0);
        return 0;
    }
    return 0;
}
