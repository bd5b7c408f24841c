// What the Windows stand-ins' files share, not part of any Windows interface:
// the windows, queues, timers, key and cursor state and presented frames behind
// one lock, and the helpers every file uses. Each stand-in file keeps one concern
// (window.cpp, messages.cpp, timers.cpp, input.cpp, gdi.cpp, loader.cpp,
// frames.cpp, test_hooks.cpp); none calls a file that calls it back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host_driver.h"
#include "platform/win32.h"

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

// ---- The state (win32_state.cpp) ---------------------------------------------------
struct Win32State {
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
};
extern Win32State w32;

// ---- Helpers (win32_state.cpp) -----------------------------------------------------
inline uintptr_t handle_of(const void* h) { return (uintptr_t)h; }
// The window of a handle, null when none. Caller holds the lock.
Win32Window* window_find(HWND hwnd);
// A window's client area inside its frame.
void frame_extent(const Win32Window& w, int* left, int* top, int* cw, int* ch);
// The screen: the exclusive display mode's size, else the desktop's.
void screen_size(int32_t* w, int32_t* h);
// Posts to the window's thread (the calling thread's queue without a window).
// Caller holds the lock.
bool post_locked(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Calls the window procedure now, outside the lock.
LRESULT send_now(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// A name in lower case (class and library names are compared so).
std::string lower(LPCSTR s);
bool platform_window_valid(HWND hwnd);

// ---- Input (input.cpp) ---------------------------------------------------------------
// The thread's key state follows a key message taken from the queue. Caller holds the lock.
void input_follow(const MSG& m);
// The character a key down gives (TranslateMessage), 0 when none. Caller holds the lock.
WPARAM input_char(UINT vk);
// Where the host delivers the machine's input: the host_inject_* functions.
const HostEvents* input_host_events();

// ---- Frames (frames.cpp) and test hooks (test_hooks.cpp) ---------------------------------
// Counts the frame, hands it to the frame callback and to the host.
void platform_present(const HostFrame* frame, bool at_vblank);
// Consumes a failure armed by host_fail_next for this call.
bool platform_fault(const char* call, int32_t* result);
