// The Windows windowing, input and GDI stand-ins, shared by both hosts: window
// classes and windows, one message queue per thread, window timers made by the
// pump, key and cursor state, DIB sections, the library loader and message box.
#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ddraw.h"
#include "platform/win32_internal.h"

// ---- Types -------------------------------------------------------------------------
struct Win32Window {
    std::thread::id thread;
    WNDPROC proc;
    DWORD style;
    DWORD ex_style;
    std::string caption;
    int x, y, width, height;
    bool visible;
    std::vector<uint32_t> client;  // what GDI drew into the client area, 0x00RRGGBB
};

struct Win32Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse_ms;
    TIMERPROC proc;
    uint64_t due_us;
    std::thread::id thread;
};

struct Win32Queue {
    std::deque<MSG> posted;
    bool quit = false;
    int quit_code = 0;
};

struct Win32Dib {
    uint32_t* bits;
    int32_t width;
    int32_t height;
};

// Metrics of our window frame, shaped as Windows shapes a captioned window without
// a sizing border: a dialog frame (SM_CXDLGFRAME, SM_CYDLGFRAME) on every side and
// the caption (SM_CYCAPTION) above the client area. AdjustWindowRectEx gives the
// size for a wanted client area.
enum { METRIC_BORDER = 1, METRIC_DLGFRAME = 3, METRIC_CAPTION = 23, METRIC_SMCAPTION = 17 };

// ---- Module state ------------------------------------------------------------------
static struct {
    std::mutex lock;
    std::condition_variable posted;  // a message was posted (GetMessageA waits on it)
    std::map<std::string, WNDCLASSA> classes;  // by lower-case name
    std::map<uintptr_t, Win32Window> windows;
    uintptr_t next_handle = 0x10000;
    std::map<std::thread::id, Win32Queue> queues;
    std::vector<Win32Timer> timers;
    UINT_PTR next_timer_id = 0x7F00;  // for timers without a window
    std::map<uintptr_t, Win32Dib> dibs;
    HWND active = nullptr;
    bool app_active = false;
    HWND host_window = nullptr;
    std::thread::id host_thread;
    uint8_t keys[256] = {};        // as the thread sees them: 0x80 down, 0x01 toggled
    uint8_t async_keys[256] = {};  // as the machine sees them now
    POINT cursor = {0, 0};
    bool cursor_shown = true;
    int library_refs = 0;
    std::map<std::string, int32_t> faults;
    // Frames.
    uint64_t frame_count = 0;
    HostFrameCallback frame_callback = nullptr;
    void* frame_user = nullptr;
    std::vector<uint8_t> frame_native;  // the last frame as presented; converted when asked for
    HostFrame frame_info = {};
    std::vector<uint8_t> frame_rgba;
    bool frame_rgba_stale = false;
    int32_t frame_width = 0, frame_height = 0;
} w32;

static const uintptr_t DDRAW_MODULE = 0xDD000000;
static const uintptr_t EXE_MODULE = 0x00400000;
static const uintptr_t SCREEN_DC = 0x2;

// ---- Private helpers ------------------------------------------------------------------
static uintptr_t handle_of(const void* h) { return (uintptr_t)h; }

static Win32Window* window_find(HWND hwnd) {
    auto it = w32.windows.find(handle_of(hwnd));
    return it == w32.windows.end() ? nullptr : &it->second;
}

static void frame_extent(const Win32Window& w, int* left, int* top, int* cw, int* ch) {
    bool captioned = (w.style & WS_CAPTION) == WS_CAPTION && !(w.style & WS_CHILD);
    *left = captioned ? METRIC_DLGFRAME : 0;
    *top = captioned ? METRIC_CAPTION + METRIC_DLGFRAME : 0;
    *cw = std::max(0, w.width - (captioned ? 2 * METRIC_DLGFRAME : 0));
    *ch = std::max(0, w.height - (captioned ? METRIC_CAPTION + 2 * METRIC_DLGFRAME : 0));
}

static void screen_size(int32_t* w, int32_t* h) {
    if (!ddraw_display_size(w, h)) host_desktop_size(w, h);
}

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
static void key_state_follow(const MSG& m) {
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
static bool post_locked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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

static LRESULT send_now(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC proc;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        Win32Window* w = window_find(hwnd);
        if (!w || !w->proc) return 0;
        proc = w->proc;
    }
    return proc(hwnd, msg, wp, lp);
}

static UINT mouse_key_flags() {
    UINT flags = 0;
    if (w32.async_keys[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
    if (w32.async_keys[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
    if (w32.async_keys[VK_MBUTTON] & 0x80) flags |= MK_MBUTTON;
    if (w32.async_keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
    if (w32.async_keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
    return flags;
}

// ---- Shared-layer services --------------------------------------------------------------
bool platform_fault(const char* call, int32_t* result) {
    std::lock_guard<std::mutex> guard(w32.lock);
    auto it = w32.faults.find(call);
    if (it == w32.faults.end()) return false;
    if (result) *result = it->second;
    w32.faults.erase(it);
    return true;
}

bool platform_window_valid(HWND hwnd) {
    std::lock_guard<std::mutex> guard(w32.lock);
    return window_find(hwnd) != nullptr;
}

static uint32_t expand565(uint16_t v) {
    uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
    return ((r << 3) | (r >> 2)) | (((g << 2) | (g >> 4)) << 8) | (((b << 3) | (b >> 2)) << 16);
}

static void frame_to_rgba(const HostFrame* f, std::vector<uint8_t>& out) {
    out.resize((size_t)f->width * f->height * 4);
    for (int32_t y = 0; y < f->height; y++) {
        const uint8_t* row = (const uint8_t*)f->pixels + (size_t)y * f->pitch;
        uint8_t* o = out.data() + (size_t)y * f->width * 4;
        for (int32_t x = 0; x < f->width; x++, o += 4) {
            if (f->format == HOST_FORMAT_RGB565) {
                uint16_t v;
                memcpy(&v, row + x * 2, 2);
                uint32_t c = expand565(v);
                o[0] = (uint8_t)c;
                o[1] = (uint8_t)(c >> 8);
                o[2] = (uint8_t)(c >> 16);
            } else {
                o[0] = row[x * 4 + 2];
                o[1] = row[x * 4 + 1];
                o[2] = row[x * 4 + 0];
            }
            o[3] = 255;
        }
    }
}

// Caller holds the lock.
static void frame_refresh_rgba() {
    if (!w32.frame_rgba_stale) return;
    frame_to_rgba(&w32.frame_info, w32.frame_rgba);
    w32.frame_rgba_stale = false;
}

void platform_present(const HostFrame* frame, bool at_vblank) {
    HostFrameCallback callback;
    void* user;
    uint64_t index;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        // Keep a copy of the rows; the RGBA form is made only when someone looks.
        const size_t row_bytes = (size_t)frame->width * (frame->format == HOST_FORMAT_RGB565 ? 2 : 4);
        w32.frame_native.resize(row_bytes * frame->height);
        for (int32_t y = 0; y < frame->height; y++)
            memcpy(w32.frame_native.data() + y * row_bytes, (const uint8_t*)frame->pixels + (size_t)y * frame->pitch,
                   row_bytes);
        w32.frame_info = {frame->width, frame->height, (int32_t)row_bytes, frame->format, w32.frame_native.data()};
        w32.frame_rgba_stale = true;
        w32.frame_width = frame->width;
        w32.frame_height = frame->height;
        index = w32.frame_count++;
        callback = w32.frame_callback;
        user = w32.frame_user;
        if (callback) frame_refresh_rgba();
    }
    if (callback) callback(w32.frame_rgba.data(), frame->width, frame->height, index, user);
    host_present(frame, at_vblank);
}

// ---- Frames, input and test hooks (host.h) --------------------------------------------------
void host_set_frame_callback(HostFrameCallback callback, void* user) {
    std::lock_guard<std::mutex> guard(w32.lock);
    w32.frame_callback = callback;
    w32.frame_user = user;
}

const uint8_t* host_last_frame(int32_t* width, int32_t* height) {
    std::lock_guard<std::mutex> guard(w32.lock);
    if (width) *width = w32.frame_width;
    if (height) *height = w32.frame_height;
    if (!w32.frame_count) return nullptr;
    frame_refresh_rgba();
    return w32.frame_rgba.data();
}

uint64_t host_frame_count() {
    std::lock_guard<std::mutex> guard(w32.lock);
    return w32.frame_count;
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
    ddraw_app_focus(active);
    return true;
}

void host_set_key_toggle(UINT vk, bool on) {
    std::lock_guard<std::mutex> guard(w32.lock);
    vk &= 0xFF;
    w32.keys[vk] = (uint8_t)((w32.keys[vk] & 0x80) | (on ? 1 : 0));
    w32.async_keys[vk] = (uint8_t)((w32.async_keys[vk] & 0x80) | (on ? 1 : 0));
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

// ---- Window classes and windows ---------------------------------------------------------------
static std::string lower(LPCSTR s) {
    std::string r = s ? s : "";
    for (char& c : r) c = (char)tolower((unsigned char)c);
    return r;
}

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
    if (became_host) host_window_show(caption.c_str(), cw, ch);
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
    if (host) host_window_show(caption.c_str(), cw, ch);
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

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (!name) return (HMODULE)EXE_MODULE;
    std::string n = lower(name);
    if ((n == "ddraw.dll" || n == "ddraw") && w32.library_refs > 0) return (HMODULE)DDRAW_MODULE;
    return nullptr;
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

// ---- Messages ---------------------------------------------------------------------------------
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
            key_state_follow(*it);
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

static WPARAM key_char(UINT vk) {
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

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return FALSE;
    std::lock_guard<std::mutex> guard(w32.lock);
    WPARAM ch = key_char((UINT)msg->wParam);
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

// ---- Timers and time ---------------------------------------------------------------------------
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

// ---- Keyboard and mouse -------------------------------------------------------------------------
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

// ---- GDI ----------------------------------------------------------------------------------------
// A window's device context is its handle plus one; the screen's is SCREEN_DC.
HDC WINAPI GetDC(HWND hwnd) {
    if (platform_fault("GetDC", nullptr)) return nullptr;
    if (!hwnd) return (HDC)SCREEN_DC;
    return platform_window_valid(hwnd) ? (HDC)(handle_of(hwnd) + 1) : nullptr;
}

int WINAPI ReleaseDC(HWND, HDC dc) { return dc ? 1 : 0; }

static bool dib_header_ok(const BITMAPINFO* bmi) {
    if (!bmi) return false;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    return h.biSize >= sizeof(BITMAPINFOHEADER) && h.biPlanes == 1 && h.biBitCount == 32 &&
           h.biCompression == BI_RGB && h.biWidth > 0 && h.biHeight != 0 && h.biWidth <= 16384 &&
           h.biHeight >= -16384 && h.biHeight <= 16384;
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section,
                                DWORD) {
    if (bits) *bits = nullptr;
    if (platform_fault("CreateDIBSection", nullptr)) return nullptr;
    if (!hdc || !bits || section || usage != DIB_RGB_COLORS || !dib_header_ok(bmi)) return nullptr;
    int32_t w = bmi->bmiHeader.biWidth, h = std::abs(bmi->bmiHeader.biHeight);
    uint32_t* mem = (uint32_t*)calloc((size_t)w * h, 4);
    if (!mem) return nullptr;
    std::lock_guard<std::mutex> guard(w32.lock);
    uintptr_t handle = w32.next_handle;
    w32.next_handle += 4;
    w32.dibs[handle] = {mem, w, h};
    *bits = mem;
    return (HBITMAP)handle;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    std::lock_guard<std::mutex> guard(w32.lock);
    auto it = w32.dibs.find(handle_of(object));
    if (it == w32.dibs.end()) return FALSE;
    free(it->second.bits);
    w32.dibs.erase(it);
    return TRUE;
}

int WINAPI SetDIBitsToDevice(HDC hdc, int x_dest, int y_dest, DWORD w, DWORD h, int x_src, int y_src,
                             UINT start_scan, UINT lines, const void* bits, const BITMAPINFO* bmi,
                             UINT usage) {
    if (!hdc || !bits || usage != DIB_RGB_COLORS || !dib_header_ok(bmi) || w > 16384 || h > 16384) return 0;
    HWND hwnd = (HWND)(handle_of(hdc) - 1);
    HostFrame frame;
    int copied = 0;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        Win32Window* win = window_find(hwnd);
        if (!win) return 0;
        int left, top, cw, ch;
        frame_extent(*win, &left, &top, &cw, &ch);
        if (win->client.size() != (size_t)cw * ch) win->client.assign((size_t)cw * ch, 0);
        const int32_t bw = bmi->bmiHeader.biWidth, bh = std::abs(bmi->bmiHeader.biHeight);
        const bool bottom_up = bmi->bmiHeader.biHeight > 0;
        for (int i = 0; i < (int)h; i++) {
            // Source scan line counted from the DIB's origin: the bottom row when bottom-up.
            int scan = bottom_up ? y_src + ((int)h - 1 - i) : y_src + i;
            int dy = y_dest + i;
            if (scan < (int)start_scan || scan >= (int)(start_scan + lines) || scan >= bh || scan < 0) continue;
            if (dy < 0 || dy >= ch) continue;
            const uint32_t* src = (const uint32_t*)bits + (size_t)(scan - start_scan) * bw;
            uint32_t* dst = win->client.data() + (size_t)dy * cw;
            // Columns j with both x_src + j and x_dest + j inside their rows.
            int j0 = std::max({0, -x_src, -x_dest});
            int j1 = std::min({(int)w, bw - x_src, cw - x_dest});
            // The fourth byte is carried along: every reader of the client area ignores it.
            if (j1 > j0) memcpy(dst + x_dest + j0, src + x_src + j0, (size_t)(j1 - j0) * sizeof(uint32_t));
            copied++;
        }
        frame = {cw, ch, cw * 4, HOST_FORMAT_XRGB8888, win->client.data()};
    }
    if (frame.width > 0 && frame.height > 0) platform_present(&frame, false);
    return copied;
}

BOOL WINAPI GdiFlush() { return TRUE; }

// ---- Libraries and the message box ----------------------------------------------------------------
HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (platform_fault("LoadLibraryA", nullptr)) return nullptr;
    std::string n = lower(name);
    if (n != "ddraw.dll" && n != "ddraw") return nullptr;
    std::lock_guard<std::mutex> guard(w32.lock);
    w32.library_refs++;
    return (HMODULE)DDRAW_MODULE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (platform_fault("GetProcAddress", nullptr)) return nullptr;
    if (handle_of(module) != DDRAW_MODULE || !name || (uintptr_t)name < 0x10000) return nullptr;
    // Through void*: the generic FARPROC and the real signature are unrelated function types.
    if (strcmp(name, "DirectDrawCreate") == 0) return (FARPROC)(void*)&DirectDrawCreate;
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard<std::mutex> guard(w32.lock);
    if (handle_of(module) != DDRAW_MODULE || w32.library_refs <= 0) return FALSE;
    w32.library_refs--;
    return TRUE;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    fflush(stderr);
    host_message_box(text ? text : "", caption ? caption : "Error");
    return IDOK;
}
