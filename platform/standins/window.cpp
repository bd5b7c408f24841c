// Window classes and windows: creation and destruction with their messages,
// showing (the top-level window shown last is the host window), captions,
// client areas, the frame metrics, the system's icons and cursors.
#include <algorithm>

#include "platform/standins/win32_state.h"

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return 0;
    std::lock_guard<std::mutex> guard(w32.lock);
    std::string name = lower(wc->lpszClassName);
    if (w32.classes.count(name)) return 0;  // ERROR_CLASS_ALREADY_EXISTS
    w32.classes[name] = *wc;
    return (ATOM)(0xC000 + w32.classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE) {
    std::lock_guard<std::mutex> guard(w32.lock);
    return w32.classes.erase(lower(name)) ? TRUE : FALSE;
}

HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
    if (platform_fault("CreateWindowExA", nullptr)) return nullptr;
    HWND hwnd;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        auto it = w32.classes.find(lower(class_name));
        if (it == w32.classes.end()) return nullptr;
        if (parent && !window_find(parent)) return nullptr;
        Win32Window w;
        w.thread = std::this_thread::get_id();
        w.proc = it->second.lpfnWndProc;
        w.style = style;
        w.ex_style = ex_style;
        w.caption = window_name ? window_name : "";
        w.x = x == CW_USEDEFAULT ? 0 : x;
        w.y = y == CW_USEDEFAULT ? 0 : y;
        w.width = width == CW_USEDEFAULT ? 640 : std::max(0, width);
        w.height = height == CW_USEDEFAULT ? 480 : std::max(0, height);
        w.visible = false;
        hwnd = (HWND)w32.next_handle;
        w32.next_handle += 4;  // handles are never reused: a stale one stays invalid
        w32.windows[handle_of(hwnd)] = w;
    }
    if (!send_now(hwnd, WM_NCCREATE, 0, 0) && window_find(hwnd)) {
        // A window procedure that refuses WM_NCCREATE ends the creation (DefWindowProc accepts).
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (send_now(hwnd, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        Win32Window* w = window_find(hwnd);
        if (!w || w->thread != std::this_thread::get_id()) return FALSE;
    }
    send_now(hwnd, WM_DESTROY, 0, 0);
    send_now(hwnd, WM_NCDESTROY, 0, 0);
    bool was_host;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        w32.windows.erase(handle_of(hwnd));
        w32.timers.erase(std::remove_if(w32.timers.begin(), w32.timers.end(),
                                        [&](const Win32Timer& t) { return t.hwnd == hwnd; }),
                         w32.timers.end());
        for (auto& q : w32.queues)
            q.second.posted.erase(std::remove_if(q.second.posted.begin(), q.second.posted.end(),
                                                 [&](const MSG& m) { return m.hwnd == hwnd; }),
                                  q.second.posted.end());
        if (w32.active == hwnd) {
            w32.active = nullptr;
            w32.app_active = false;
        }
        was_host = w32.host_window == hwnd;
        if (was_host) w32.host_window = nullptr;
    }
    if (was_host) host_window_destroy();
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) { return platform_window_valid(hwnd) ? TRUE : FALSE; }

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    bool was_visible, top_level, activate = false, became_host = false;
    std::string caption;
    int cw = 0, ch = 0;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        Win32Window* w = window_find(hwnd);
        if (!w) return FALSE;
        was_visible = w->visible;
        w->visible = cmd != SW_HIDE;
        top_level = !(w->style & WS_CHILD);
        if (w->visible && top_level) {
            int left, top;
            frame_extent(*w, &left, &top, &cw, &ch);
            caption = w->caption;
            if (w32.host_window != hwnd) {
                w32.host_window = hwnd;
                w32.host_thread = w->thread;
                became_host = true;
            }
            if (w32.active != hwnd) {
                w32.active = hwnd;
                activate = !w32.app_active;
                w32.app_active = true;
            }
        }
    }
    if (was_visible == (cmd != SW_HIDE) && !became_host) return was_visible ? TRUE : FALSE;
    send_now(hwnd, WM_SHOWWINDOW, cmd != SW_HIDE, 0);
    if (became_host) host_window_show(caption.c_str(), cw, ch, input_host_events());
    if (activate) {
        send_now(hwnd, WM_ACTIVATEAPP, TRUE, 0);
        send_now(hwnd, WM_ACTIVATE, 1, 0);
    }
    // The cursor is over the new window: let it choose its cursor.
    if (became_host) send_now(hwnd, WM_SETCURSOR, (WPARAM)handle_of(hwnd), MAKELPARAM(1, WM_MOUSEMOVE));
    return was_visible ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    if (!platform_window_valid(hwnd)) return FALSE;
    send_now(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

HWND WINAPI GetActiveWindow() {
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Window* w = window_find(w32.active);
    return (w && w->thread == std::this_thread::get_id()) ? w32.active : nullptr;
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
    std::string caption;
    int cw, ch, left, top;
    bool host;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        Win32Window* w = window_find(hwnd);
        if (!w) return FALSE;
        w->caption = text ? text : "";
        caption = w->caption;
        frame_extent(*w, &left, &top, &cw, &ch);
        host = w32.host_window == hwnd;
    }
    if (host) host_window_show(caption.c_str(), cw, ch, input_host_events());
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Window* w = window_find(hwnd);
    if (!w || !rect) return FALSE;
    int left, top, cw, ch;
    frame_extent(*w, &left, &top, &cw, &ch);
    *rect = {0, 0, cw, ch};
    return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD ex_style) {
    (void)ex_style;
    if (!rect || menu) return FALSE;  // no window of ours has a menu bar
    if ((style & WS_CAPTION) == WS_CAPTION && !(style & WS_CHILD)) {
        rect->left -= METRIC_DLGFRAME;
        rect->right += METRIC_DLGFRAME;
        rect->top -= METRIC_CAPTION + METRIC_DLGFRAME;
        rect->bottom += METRIC_DLGFRAME;
    }
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    int32_t w, h;
    switch (index) {
    case SM_CXSCREEN: screen_size(&w, &h); return w;
    case SM_CYSCREEN: screen_size(&w, &h); return h;
    case SM_CXBORDER:
    case SM_CYBORDER: return METRIC_BORDER;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return METRIC_DLGFRAME;
    case SM_CYCAPTION: return METRIC_CAPTION;
    case SM_CYSMCAPTION: return METRIC_SMCAPTION;
    }
    return 0;
}

// The system's icons and cursors (null instance, ids 32512..32516) exist; programs have none.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    uintptr_t id = (uintptr_t)name;
    if (instance || id < 32512 || id > 32516) return nullptr;
    return (HICON)(0x1C000 + id);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    uintptr_t id = (uintptr_t)name;
    if (instance || id < 32512 || id > 32650) return nullptr;
    return (HCURSOR)(0x1D000 + id);
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    static HCURSOR current = (HCURSOR)(0x1D000 + 32512);
    HCURSOR previous = current;
    current = cursor;
    bool shown = cursor != nullptr, changed;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        changed = w32.cursor_shown != shown;
        w32.cursor_shown = shown;
    }
    if (changed) host_cursor_show(shown);
    return previous;
}
