// The shared Windows stand-ins on the headless host: per-thread message queues,
// window procedures and destruction, window timers made by the pump, key state,
// the cursor, DIB sections and their copy to a window, the library loader.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/host.h"
#include "platform/win32.h"

static std::vector<std::string> seen;

static LRESULT CALLBACK record_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER || msg == WM_TIMER || msg == WM_CHAR || msg == WM_KEYDOWN || msg == WM_DESTROY ||
        msg == WM_ACTIVATEAPP)
        seen.push_back(std::to_string(msg) + ":" + std::to_string(wp));
    if (msg == WM_CLOSE) return 0;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

static void pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

class Win32 : public ::testing::Test {
protected:
    HWND hwnd = nullptr;
    void SetUp() override {
        host_reset();
        seen.clear();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = record_proc;
        wc.lpszClassName = "Record";
        RegisterClassA(&wc);
        // Sized for a 200 x 100 client area, as a program asks the system.
        RECT outer = {0, 0, 200, 100};
        ASSERT_TRUE(AdjustWindowRectEx(&outer, WS_POPUP | WS_CAPTION, FALSE, 0));
        hwnd = CreateWindowExA(0, "record", "t", WS_POPUP | WS_CAPTION, 100, 50, outer.right - outer.left,
                               outer.bottom - outer.top, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
        ShowWindow(hwnd, SW_SHOWNORMAL);
        pump();
        seen.clear();
    }
    void TearDown() override {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
};

TEST_F(Win32, ClassesAreNamedOnce) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = record_proc;
    wc.lpszClassName = "RECORD";
    EXPECT_EQ(RegisterClassA(&wc), 0);  // names ignore case
    EXPECT_EQ(CreateWindowExA(0, "nothing", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(Win32, ShowingActivatesTheApplication) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = record_proc;
    wc.lpszClassName = "Second";
    RegisterClassA(&wc);
    DestroyWindow(hwnd);
    seen.clear();
    HWND w = CreateWindowExA(0, "Second", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(seen.empty());  // not visible yet
    ShowWindow(w, SW_SHOWDEFAULT);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "28:1");  // WM_ACTIVATEAPP, sent at once
    EXPECT_EQ(GetActiveWindow(), w);
    DestroyWindow(w);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(Win32, PostedMessagesArriveInOrderAndFilterWorks) {
    PostMessageA(hwnd, WM_USER, 1, 0);
    PostMessageA(hwnd, WM_USER + 1, 2, 0);
    PostMessageA(hwnd, WM_USER, 3, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE));
    pump();
    EXPECT_EQ(seen, (std::vector<std::string>{"1024:1", "1024:3"}));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Win32, EachThreadHasItsOwnQueue) {
    // A message posted from another thread goes to the window's thread.
    std::thread([&] {
        EXPECT_TRUE(PostMessageA(hwnd, WM_USER, 7, 0));
        MSG m;
        EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));  // not to the poster's queue
        PostQuitMessage(3);
        EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(m.message, (UINT)WM_QUIT);
        EXPECT_EQ(m.wParam, 3u);
    }).join();
    pump();
    EXPECT_EQ(seen, (std::vector<std::string>{"1024:7"}));
}

TEST_F(Win32, QuitComesAfterPostedMessages) {
    PostQuitMessage(5);
    PostMessageA(hwnd, WM_USER, 1, 0);
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, (UINT)WM_USER);
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.wParam, 5u);
}

TEST_F(Win32, DestroyedWindowsLoseTheirMessagesAndHandles) {
    PostMessageA(hwnd, WM_USER, 1, 0);
    DestroyWindow(hwnd);
    EXPECT_EQ(seen, (std::vector<std::string>{"2:0"}));  // WM_DESTROY
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(PostMessageA(hwnd, WM_USER, 2, 0));
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetDC(hwnd), nullptr);
}

TEST_F(Win32, DefaultCloseDestroysTheWindow) {
    EXPECT_EQ(DefWindowProcA(hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Win32, WindowTimersComeThroughThePumpOnTheClock) {
    EXPECT_EQ(SetTimer(hwnd, 5, 20, nullptr), 1u);
    EXPECT_EQ(SetTimer(hwnd, 6, 50, nullptr), 1u);
    host_clock_advance(19000);
    pump();
    EXPECT_TRUE(seen.empty());
    host_clock_advance(1000);
    pump();
    EXPECT_EQ(seen, (std::vector<std::string>{"275:5"}));
    // Late by a lot: still one message per timer, the earliest due first.
    seen.clear();
    host_clock_advance(100000);
    pump();
    EXPECT_EQ(seen, (std::vector<std::string>{"275:5", "275:6"}));
    EXPECT_TRUE(KillTimer(hwnd, 5));
    EXPECT_FALSE(KillTimer(hwnd, 5));
    seen.clear();
    host_clock_advance(100000);  // timer 6 is due 50 ms after its last message, at 170 ms
    pump();
    EXPECT_EQ(seen, (std::vector<std::string>{"275:6"}));
}

static int timer_proc_calls = 0;
static void CALLBACK count_timer(HWND, UINT msg, UINT_PTR, DWORD) { timer_proc_calls += msg == WM_TIMER; }

TEST_F(Win32, TimerProceduresAreCalledByDispatch) {
    timer_proc_calls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 10, count_timer);
    ASSERT_NE(id, 0u);
    host_clock_advance(10000);
    pump();
    EXPECT_EQ(timer_proc_calls, 1);
    EXPECT_TRUE(seen.empty());
    KillTimer(nullptr, id);
}

TEST_F(Win32, KeyStateFollowsTheQueueAndCapsLockToggles) {
    EXPECT_EQ(GetKeyState(VK_CAPITAL) & 1, 0);
    host_inject_key(VK_CAPITAL, true);
    EXPECT_EQ(GetKeyState(VK_CAPITAL), 0);  // not yet taken from the queue
    EXPECT_NE(GetAsyncKeyState(VK_CAPITAL), 0);
    pump();
    EXPECT_EQ((uint16_t)GetKeyState(VK_CAPITAL), 0x8001);
    host_inject_key(VK_CAPITAL, false);
    host_inject_key(VK_CAPITAL, true);  // held: repeats do not toggle
    host_inject_key(VK_CAPITAL, true);
    pump();
    EXPECT_EQ((uint16_t)GetKeyState(VK_CAPITAL), 0x8000);
    host_inject_key(VK_CAPITAL, false);
    pump();
    EXPECT_EQ(GetKeyState(VK_CAPITAL), 0);
    host_set_key_toggle(VK_CAPITAL, true);
    EXPECT_EQ(GetKeyState(VK_CAPITAL), 1);
}

TEST_F(Win32, TranslateMakesCharactersAndAltMakesSystemKeys) {
    host_inject_key('K', true);
    host_inject_key(VK_SHIFT, true);
    host_inject_key('K', true);
    host_inject_key(VK_SHIFT, false);
    pump();
    EXPECT_EQ(seen, (std::vector<std::string>{"256:75", "258:107", "256:16", "256:75", "258:75"}));
    seen.clear();
    host_inject_key(VK_MENU, true);
    host_inject_key('X', true);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_SYSKEYDOWN);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_SYSKEYDOWN);
    EXPECT_NE(m.lParam & (1 << 29), 0);  // the Alt context bit
    host_inject_key('X', false);
    host_inject_key(VK_MENU, false);
    pump();
}

TEST_F(Win32, CursorIsClampedToTheScreenAndMapsToClients) {
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    SetCursorPos(-5, sh + 10);
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, sh - 1);
    SetCursorPos(sw / 2, sh / 2);
    GetCursorPos(&p);
    ScreenToClient(hwnd, &p);
    POINT back = p;
    ClientToScreen(hwnd, &back);
    EXPECT_EQ(back.x, sw / 2);
    EXPECT_EQ(back.y, sh / 2);
    // An injected move is in client pixels and lands on the screen accordingly.
    host_inject_mouse_move(3, 4);
    GetCursorPos(&p);
    ScreenToClient(hwnd, &p);
    EXPECT_EQ(p.x, 3);
    EXPECT_EQ(p.y, 4);
}

TEST_F(Win32, DibSectionIsBottomUpAndCopiesToTheWindow) {
    RECT r;
    ASSERT_TRUE(GetClientRect(hwnd, &r));
    ASSERT_EQ(r.right, 200);  // the size AdjustWindowRectEx gave, less the frame
    ASSERT_EQ(r.bottom, 100);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, 3, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = GetDC(hwnd);
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bmp, nullptr);
    uint32_t* px = (uint32_t*)bits;
    for (int i = 0; i < 12; i++) EXPECT_EQ(px[i], 0u);  // zeroed
    // Memory row 0 is the bottom row of the picture.
    for (int i = 0; i < 12; i++) px[i] = 0x00010000u * (i / 4 + 1) + (uint32_t)(i % 4);
    uint64_t frames = host_frame_count();
    EXPECT_EQ(SetDIBitsToDevice(dc, 10, 20, 4, 3, 0, 0, 0, 3, bits, &bi, DIB_RGB_COLORS), 3);
    EXPECT_EQ(host_frame_count(), frames + 1);
    int32_t w, h;
    const uint8_t* f = host_last_frame(&w, &h);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(w, 200);
    ASSERT_EQ(h, 100);
    auto red_at = [&](int x, int y) { return f[((size_t)y * w + x) * 4]; };
    auto blue_at = [&](int x, int y) { return f[((size_t)y * w + x) * 4 + 2]; };
    EXPECT_EQ(red_at(10, 20), 3);  // top row of the picture = last memory row
    EXPECT_EQ(red_at(10, 22), 1);
    EXPECT_EQ(blue_at(13, 22), 3);
    EXPECT_EQ(red_at(9, 20), 0);
    // A source rectangle counts rows from the bottom: rows 1..2 from the bottom, 2 columns.
    EXPECT_EQ(SetDIBitsToDevice(dc, 0, 0, 2, 2, 2, 1, 0, 3, bits, &bi, DIB_RGB_COLORS), 2);
    f = host_last_frame(&w, &h);
    EXPECT_EQ(red_at(0, 0), 3);
    EXPECT_EQ(red_at(0, 1), 2);
    EXPECT_EQ(blue_at(1, 1), 3);
    // Only 32-bit uncompressed bitmaps are made.
    bi.bmiHeader.biBitCount = 16;
    EXPECT_EQ(CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_FALSE(DeleteObject(bmp));
}

TEST_F(Win32, LibraryLoaderKnowsDirectDraw) {
    EXPECT_EQ(LoadLibraryA("user32.dll"), nullptr);
    HMODULE lib = LoadLibraryA("DDRAW.DLL");
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(GetProcAddress(lib, "DirectDrawCreate"), nullptr);
    EXPECT_EQ(GetProcAddress(lib, "DirectDrawCreateEx"), nullptr);
    EXPECT_TRUE(FreeLibrary(lib));
    EXPECT_FALSE(FreeLibrary(lib));
}

TEST(Win32Box, MessageBoxWritesToStandardError) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Unable to open graphics mode!", "Error", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Unable to open graphics mode!\n");
}
