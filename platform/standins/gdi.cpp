// GDI: device contexts of windows and the screen, DIB sections, and
// SetDIBitsToDevice, which draws into a window's client area and presents it.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/standins/win32_state.h"

static const uintptr_t SCREEN_DC = 0x2;

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
