// The DirectDraw stand-in on the headless host: the mode list, exclusive mode
// and its rules, the primary surface's format, pitch and locking, losing and
// restoring it, and the vertical-blank wait moving the virtual clock.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/ddraw.h"
#include "platform/host.h"

static LRESULT CALLBACK plain_proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

static HRESULT WINAPI collect(LPDDSURFACEDESC d, LPVOID context) {
    ((std::vector<DDSURFACEDESC>*)context)->push_back(*d);
    return DDENUMRET_OK;
}

class DDraw : public ::testing::Test {
protected:
    HWND hwnd = nullptr;
    LPDIRECTDRAW dd = nullptr;
    void SetUp() override {
        host_reset();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = plain_proc;
        wc.lpszClassName = "Plain";
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(WS_EX_TOPMOST, "Plain", "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr,
                               nullptr);
        ShowWindow(hwnd, SW_SHOWDEFAULT);
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    }
    void TearDown() override {
        if (dd) dd->Release();
        DestroyWindow(hwnd);
    }
    LPDIRECTDRAWSURFACE primary(DWORD w, DWORD h, DWORD bits) {
        EXPECT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
        EXPECT_EQ(dd->SetDisplayMode(w, h, bits), DD_OK);
        DDSURFACEDESC d;
        memset(&d, 0, sizeof d);
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS;
        d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        LPDIRECTDRAWSURFACE s = nullptr;
        EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
        return s;
    }
};

TEST_F(DDraw, ModesAreListedWithTheirFormats) {
    std::vector<DDSURFACEDESC> modes;
    ASSERT_EQ(dd->EnumDisplayModes(0, nullptr, &modes, collect), DD_OK);
    ASSERT_EQ(modes.size(), 6u);
    int rgb16 = 0, rgb32 = 0, palette = 0;
    for (const DDSURFACEDESC& m : modes) {
        const DDPIXELFORMAT& pf = m.ddpfPixelFormat;
        EXPECT_EQ(pf.dwSize, sizeof(DDPIXELFORMAT));
        if (pf.dwFlags & DDPF_PALETTEINDEXED8) {
            palette++;
            EXPECT_FALSE(pf.dwFlags & DDPF_RGB);
        } else if (pf.dwRGBBitCount == 16) {
            rgb16++;
            EXPECT_EQ(pf.dwRBitMask, 0xF800u);
            EXPECT_EQ(pf.dwGBitMask, 0x07E0u);
            EXPECT_EQ(pf.dwBBitMask, 0x001Fu);
        } else {
            rgb32++;
            EXPECT_EQ(pf.dwRGBBitCount, 32u);
            EXPECT_EQ(pf.dwRBitMask, 0xFF0000u);
        }
        EXPECT_GE(m.lPitch, (LONG)(m.dwWidth * pf.dwRGBBitCount / 8));
    }
    EXPECT_EQ(rgb16, 2);
    EXPECT_EQ(rgb32, 2);
    EXPECT_EQ(palette, 2);
    EXPECT_EQ(dd->EnumDisplayModes(0, nullptr, nullptr, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(DDraw, ExclusiveModeRules) {
    EXPECT_EQ(dd->SetDisplayMode(320, 240, 16), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);  // needs full screen
    EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DDERR_INVALIDPARAMS);
    ASSERT_EQ(dd->SetCooperativeLevel(hwnd, 19), DD_OK);
    LPDIRECTDRAW other = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &other, nullptr), DD_OK);
    EXPECT_EQ(other->SetCooperativeLevel(hwnd, 19), DDERR_EXCLUSIVEMODEALREADYSET);
    other->Release();
    EXPECT_EQ(dd->SetDisplayMode(800, 600, 16), DDERR_INVALIDMODE);
    EXPECT_EQ(dd->SetDisplayMode(320, 240, 24), DDERR_INVALIDMODE);
    EXPECT_EQ(dd->SetDisplayMode(320, 240, 16), DD_OK);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);  // the screen is the mode now
    dd->Release();
    dd = nullptr;
    EXPECT_NE(GetSystemMetrics(SM_CXSCREEN), 320);  // releasing gives the desktop back
}

TEST_F(DDraw, PrimarySurfaceLocksWithPitchAndShowsAtUnlock) {
    LPDIRECTDRAWSURFACE s = primary(320, 240, 16);
    ASSERT_NE(s, nullptr);
    DDSURFACEDESC d2;
    memset(&d2, 0, sizeof d2);
    d2.dwSize = sizeof d2;
    d2.dwFlags = DDSD_CAPS;
    d2.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    LPDIRECTDRAWSURFACE s2 = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d2, &s2, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
    DDPIXELFORMAT pf;
    ASSERT_EQ(s->GetPixelFormat(&pf), DD_OK);
    EXPECT_EQ(pf.dwFlags, (DWORD)DDPF_RGB);
    EXPECT_EQ(pf.dwGBitMask, 0x07E0u);

    DDSURFACEDESC d;
    memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(d.dwWidth, 320u);
    EXPECT_GT(d.lPitch, 640);  // rows are padded: callers must step by the pitch
    EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
    // Pure red at (2, 1), white at the last pixel.
    uint8_t* base = (uint8_t*)d.lpSurface;
    ((uint16_t*)(base + 1 * d.lPitch))[2] = 0xF800;
    ((uint16_t*)(base + 239 * d.lPitch))[319] = 0xFFFF;
    uint64_t frames = host_frame_count();
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);
    EXPECT_EQ(host_frame_count(), frames + 1);
    int32_t w, h;
    const uint8_t* f = host_last_frame(&w, &h);
    ASSERT_EQ(w, 320);
    EXPECT_EQ(f[(1 * 320 + 2) * 4 + 0], 255);
    EXPECT_EQ(f[(1 * 320 + 2) * 4 + 1], 0);
    EXPECT_EQ(f[(239 * 320 + 319) * 4 + 1], 255);
    EXPECT_EQ(f[(239 * 320 + 319) * 4 + 3], 255);
}

TEST_F(DDraw, FocusLossLosesTheSurfaceUntilRestored) {
    LPDIRECTDRAWSURFACE s = primary(640, 480, 32);
    ASSERT_NE(s, nullptr);
    DDSURFACEDESC d;
    memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    host_inject_focus(false);
    EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
    host_inject_focus(true);
    EXPECT_EQ(s->Restore(), DD_OK);
    EXPECT_EQ(s->IsLost(), DD_OK);
    ASSERT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(d.lPitch, 2560);
    s->Unlock(nullptr);
}

TEST_F(DDraw, VerticalBlankWaitsOneFrameOfVirtualTime) {
    host_clock_set_frame_rate(50);
    uint64_t t = host_clock_us();
    EXPECT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
    EXPECT_EQ(host_clock_us() - t, 20000u);
    EXPECT_EQ(dd->WaitForVerticalBlank(DDWAITVB_BLOCKBEGINEVENT, nullptr), DDERR_UNSUPPORTED);
    host_clock_set_frame_rate(60);
}
