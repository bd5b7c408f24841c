// Keyboard and mouse: the thread's key state as messages are taken, the
// machine's as input arrives (from the host or injected), the cursor, and the
// translation of key downs into characters.
#include <algorithm>

#include "platform/host_clock.h"
#include "platform/standins/display.h"
#include "platform/standins/win32_state.h"

void input_follow(const MSG& m) {
    UINT vk = (UINT)(m.wParam & 0xFF);
    switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (!(w32.keys[vk] & 0x80)) w32.keys[vk] ^= 0x01;
        w32.keys[vk] |= 0x80;
        break;
    case WM_KEYUP:
    case WM_SYSKEYUP: w32.keys[vk] &= (uint8_t)~0x80; break;
    case WM_LBUTTONDOWN: w32.keys[VK_LBUTTON] |= 0x80; break;
    case WM_LBUTTONUP: w32.keys[VK_LBUTTON] &= (uint8_t)~0x80; break;
    case WM_RBUTTONDOWN: w32.keys[VK_RBUTTON] |= 0x80; break;
    case WM_RBUTTONUP: w32.keys[VK_RBUTTON] &= (uint8_t)~0x80; break;
    case WM_MBUTTONDOWN: w32.keys[VK_MBUTTON] |= 0x80; break;
    case WM_MBUTTONUP: w32.keys[VK_MBUTTON] &= (uint8_t)~0x80; break;
    }
}

// Caller holds the lock.

static UINT mouse_key_flags() {
    UINT flags = 0;
    if (w32.async_keys[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
    if (w32.async_keys[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
    if (w32.async_keys[VK_MBUTTON] & 0x80) flags |= MK_MBUTTON;
    if (w32.async_keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
    if (w32.async_keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
    return flags;
}

bool host_inject_key(UINT vk, bool down) {
    vk &= 0xFF;
    std::lock_guard<std::mutex> guard(w32.lock);
    if (!w32.host_window) return false;
    bool was_down = (w32.async_keys[vk] & 0x80) != 0;
    if (down) {
        if (!was_down) w32.async_keys[vk] ^= 0x01;
        w32.async_keys[vk] |= 0x80;
    } else {
        w32.async_keys[vk] &= (uint8_t)~0x80;
    }
    bool alt = (w32.async_keys[VK_MENU] & 0x80) != 0;
    bool ctrl = (w32.async_keys[VK_CONTROL] & 0x80) != 0;
    // As in Windows: Alt, F10 and keys pressed with Alt (without Control) are system keys.
    bool sys = vk == VK_MENU || vk == VK_F10 || (alt && !ctrl);
    LPARAM lp = 1 | ((alt && vk != VK_MENU) ? (1L << 29) : 0) | (was_down ? (1L << 30) : 0) |
                (down ? 0 : (1L << 31));
    UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    return post_locked(w32.host_window, msg, vk, (LPARAM)(uint32_t)lp);
}

bool host_inject_mouse_move(int32_t x, int32_t y) {
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Window* w = window_find(w32.host_window);
    if (!w) return false;
    int left, top, cw, ch;
    frame_extent(*w, &left, &top, &cw, &ch);
    int32_t sw, sh;
    screen_size(&sw, &sh);
    w32.cursor.x = std::clamp(w->x + left + x, 0, std::max(0, sw - 1));
    w32.cursor.y = std::clamp(w->y + top + y, 0, std::max(0, sh - 1));
    int cx = w32.cursor.x - (w->x + left), cy = w32.cursor.y - (w->y + top);
    post_locked(w32.host_window, WM_SETCURSOR, (WPARAM)handle_of(w32.host_window), MAKELPARAM(1, WM_MOUSEMOVE));
    return post_locked(w32.host_window, WM_MOUSEMOVE, mouse_key_flags(), MAKELPARAM(cx, cy));
}

bool host_inject_mouse_button(int32_t button, bool down) {
    static const UINT vks[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    static const UINT downs[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static const UINT ups[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    if (button < 0 || button > 2) return false;
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Window* w = window_find(w32.host_window);
    if (!w) return false;
    if (down)
        w32.async_keys[vks[button]] |= 0x80;
    else
        w32.async_keys[vks[button]] &= (uint8_t)~0x80;
    int left, top, cw, ch;
    frame_extent(*w, &left, &top, &cw, &ch);
    int cx = w32.cursor.x - (w->x + left), cy = w32.cursor.y - (w->y + top);
    return post_locked(w32.host_window, down ? downs[button] : ups[button], mouse_key_flags(),
                       MAKELPARAM(cx, cy));
}

bool host_inject_close() {
    std::lock_guard<std::mutex> guard(w32.lock);
    return w32.host_window && post_locked(w32.host_window, WM_CLOSE, 0, 0);
}

bool host_inject_focus(bool active) {
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        if (!w32.host_window || w32.app_active == active) return w32.host_window != nullptr;
        w32.app_active = active;
        post_locked(w32.host_window, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
    }
    display_app_focus(active);
    return true;
}

void host_set_key_toggle(UINT vk, bool on) {
    std::lock_guard<std::mutex> guard(w32.lock);
    vk &= 0xFF;
    w32.keys[vk] = (uint8_t)((w32.keys[vk] & 0x80) | (on ? 1 : 0));
    w32.async_keys[vk] = (uint8_t)((w32.async_keys[vk] & 0x80) | (on ? 1 : 0));
}

WPARAM input_char(UINT vk) {
    bool shift = (w32.keys[VK_SHIFT] & 0x80) != 0;
    bool caps = (w32.keys[VK_CAPITAL] & 0x01) != 0;
    if (vk >= 'A' && vk <= 'Z') return (shift != caps) ? vk : vk + 32;
    if (vk >= '0' && vk <= '9' && !shift) return vk;
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return '0' + (vk - VK_NUMPAD0);
    switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_ESCAPE: return 27;
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_MULTIPLY: return '*';
    case VK_DIVIDE: return '/';
    }
    return 0;
}

SHORT WINAPI GetKeyState(int vk) {
    std::lock_guard<std::mutex> guard(w32.lock);
    uint8_t k = w32.keys[vk & 0xFF];
    return (SHORT)(((k & 0x80) ? 0x8000 : 0) | (k & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int vk) {
    std::lock_guard<std::mutex> guard(w32.lock);
    return (SHORT)((w32.async_keys[vk & 0xFF] & 0x80) ? 0x8000 : 0);
}

BOOL WINAPI GetCursorPos(LPPOINT p) {
    if (!p) return FALSE;
    std::lock_guard<std::mutex> guard(w32.lock);
    *p = w32.cursor;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
    int32_t cx, cy;
    bool warp = false;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        int32_t sw, sh;
        screen_size(&sw, &sh);
        w32.cursor.x = std::clamp(x, 0, std::max(0, sw - 1));
        w32.cursor.y = std::clamp(y, 0, std::max(0, sh - 1));
        Win32Window* w = window_find(w32.host_window);
        if (w) {
            int left, top, cw, ch;
            frame_extent(*w, &left, &top, &cw, &ch);
            cx = w32.cursor.x - (w->x + left);
            cy = w32.cursor.y - (w->y + top);
            warp = true;
        }
    }
    if (warp) host_cursor_warp(cx, cy);
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT p) {
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Window* w = window_find(hwnd);
    if (!w || !p) return FALSE;
    int left, top, cw, ch;
    frame_extent(*w, &left, &top, &cw, &ch);
    p->x -= w->x + left;
    p->y -= w->y + top;
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT p) {
    std::lock_guard<std::mutex> guard(w32.lock);
    Win32Window* w = window_find(hwnd);
    if (!w || !p) return FALSE;
    int left, top, cw, ch;
    frame_extent(*w, &left, &top, &cw, &ch);
    p->x += w->x + left;
    p->y += w->y + top;
    return TRUE;
}

const HostEvents* input_host_events() {
    static const HostEvents events = {host_inject_key,   host_inject_mouse_move, host_inject_mouse_button,
                                      host_inject_close, host_inject_focus,      host_set_key_toggle,
                                      host_last_frame};
    return &events;
}
