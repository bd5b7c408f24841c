// The DirectDraw stand-in, shared by both Linux hosts: the display's mode list, exclusive
// full-screen mode, and one primary surface in memory that is shown (through the
// host) when it is unlocked. Losing the focus in exclusive mode loses the surface.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/ddraw.h"
#include "platform/standins/display.h"
#include "platform/standins/win32_state.h"

struct DDMode {
    DWORD width, height, bits;
};

// Every mode the display offers, in enumeration order. 8 bits is a palette mode.
static const DDMode dd_modes[] = {
    {320, 240, 8}, {320, 240, 16}, {320, 240, 32}, {640, 480, 8}, {640, 480, 16}, {640, 480, 32},
};

// Sizes offered after those, at 8, 16 and 32 bits each: the scaled screens asked for.
constexpr int DD_EXTRA_SIZES = 16;
static DDMode dd_extra_modes[3 * DD_EXTRA_SIZES];
static int dd_extra_count = 0;

void host_offer_display_mode(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const DWORD w = (DWORD)width, h = (DWORD)height;
    for (const DDMode& m : dd_modes)
        if (m.width == w && m.height == h) return;
    for (int i = 0; i < dd_extra_count; i++)
        if (dd_extra_modes[i].width == w && dd_extra_modes[i].height == h) return;
    if (dd_extra_count == 3 * DD_EXTRA_SIZES) return;
    for (DWORD bits : {8u, 16u, 32u}) dd_extra_modes[dd_extra_count++] = {w, h, bits};
}

// Calls f on every offered mode in enumeration order until it returns false.
template <typename F>
static void each_mode(F f) {
    for (const DDMode& m : dd_modes)
        if (!f(m)) return;
    for (int i = 0; i < dd_extra_count; i++)
        if (!f(dd_extra_modes[i])) return;
}

static void pixel_format_of(DWORD bits, DDPIXELFORMAT* pf) {
    memset(pf, 0, sizeof *pf);
    pf->dwSize = sizeof *pf;
    pf->dwRGBBitCount = bits;
    if (bits == 8) {
        pf->dwFlags = DDPF_PALETTEINDEXED8;
    } else if (bits == 16) {
        pf->dwFlags = DDPF_RGB;
        pf->dwRBitMask = 0xF800;
        pf->dwGBitMask = 0x07E0;
        pf->dwBBitMask = 0x001F;
    } else {
        pf->dwFlags = DDPF_RGB;
        pf->dwRBitMask = 0x00FF0000;
        pf->dwGBitMask = 0x0000FF00;
        pf->dwBBitMask = 0x000000FF;
    }
}

// Rows are padded to 256 bytes, as display memory often is: callers must use the pitch.
static LONG pitch_of(DWORD width, DWORD bits) { return (LONG)(((width * bits / 8) + 255) & ~255u); }

static void mode_desc(const DDMode& m, DDSURFACEDESC* d) {
    memset(d, 0, sizeof *d);
    d->dwSize = sizeof *d;
    d->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    d->dwWidth = m.width;
    d->dwHeight = m.height;
    d->lPitch = pitch_of(m.width, m.bits);
    d->dwRefreshRate = (DWORD)host_refresh_rate();
    pixel_format_of(m.bits, &d->ddpfPixelFormat);
}

struct DDObject;

struct DDSurface final : IDirectDrawSurface {
    ULONG refs = 1;
    DDObject* owner;
    DDMode mode;
    LONG pitch;
    std::vector<uint8_t> memory;
    bool locked = false;
    bool lost = false;

    HRESULT WINAPI QueryInterface(REFIID, LPVOID* out) override {
        if (out) *out = nullptr;
        return DDERR_UNSUPPORTED;
    }
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override;
    HRESULT WINAPI GetPixelFormat(LPDDPIXELFORMAT pf) override {
        int32_t fail;
        if (platform_fault("GetPixelFormat", &fail)) return fail;
        if (!pf) return DDERR_INVALIDPARAMS;
        pixel_format_of(mode.bits, pf);
        return DD_OK;
    }
    HRESULT WINAPI GetSurfaceDesc(LPDDSURFACEDESC d) override {
        if (!d || d->dwSize != sizeof *d) return DDERR_INVALIDPARAMS;
        mode_desc(mode, d);
        d->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
        d->lPitch = pitch;
        d->ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY;
        return DD_OK;
    }
    HRESULT WINAPI IsLost() override { return lost ? DDERR_SURFACELOST : DD_OK; }
    HRESULT WINAPI Lock(LPRECT rect, LPDDSURFACEDESC d, DWORD, HANDLE) override {
        int32_t fail;
        if (platform_fault("Lock", &fail)) return fail;
        if (!d || d->dwSize != sizeof *d) return DDERR_INVALIDPARAMS;
        if (lost) return DDERR_SURFACELOST;
        if (locked) return DDERR_SURFACEBUSY;
        size_t offset = 0;
        if (rect) {
            if (rect->left < 0 || rect->top < 0 || rect->right > (LONG)mode.width ||
                rect->bottom > (LONG)mode.height || rect->left >= rect->right || rect->top >= rect->bottom)
                return DDERR_INVALIDPARAMS;
            offset = (size_t)rect->top * pitch + (size_t)rect->left * (mode.bits / 8);
        }
        GetSurfaceDesc(d);
        d->dwFlags |= DDSD_LPSURFACE;
        d->lpSurface = memory.data() + offset;
        locked = true;
        return DD_OK;
    }
    HRESULT WINAPI Restore() override {
        if (lost) {
            std::fill(memory.begin(), memory.end(), 0);  // display memory comes back blank
            lost = false;
        }
        return DD_OK;
    }
    HRESULT WINAPI Unlock(LPVOID) override;
};

struct DDObject final : IDirectDraw {
    ULONG refs = 1;
    bool exclusive = false;
    HWND window = nullptr;
    DDSurface* primary = nullptr;

    HRESULT WINAPI QueryInterface(REFIID, LPVOID* out) override {
        if (out) *out = nullptr;
        return DDERR_UNSUPPORTED;
    }
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override;
    HRESULT WINAPI CreateSurface(LPDDSURFACEDESC d, LPDIRECTDRAWSURFACE* out, IUnknown* outer) override;
    HRESULT WINAPI EnumDisplayModes(DWORD, LPDDSURFACEDESC filter, LPVOID context,
                                    LPDDENUMMODESCALLBACK callback) override {
        int32_t fail;
        if (platform_fault("EnumDisplayModes", &fail)) return fail;
        if (!callback) return DDERR_INVALIDPARAMS;
        each_mode([&](const DDMode& m) {
            if (filter && (filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != m.width) return true;
            if (filter && (filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != m.height) return true;
            DDSURFACEDESC d;
            mode_desc(m, &d);
            return callback(&d, context) != DDENUMRET_CANCEL;
        });
        return DD_OK;
    }
    HRESULT WINAPI GetDisplayMode(LPDDSURFACEDESC d) override;
    HRESULT WINAPI GetVerticalBlankStatus(LPBOOL in_vb) override {
        if (!in_vb) return DDERR_INVALIDPARAMS;
        *in_vb = FALSE;
        return DD_OK;
    }
    HRESULT WINAPI RestoreDisplayMode() override;
    HRESULT WINAPI SetCooperativeLevel(HWND hwnd, DWORD flags) override;
    HRESULT WINAPI SetDisplayMode(DWORD w, DWORD h, DWORD bits) override;
    HRESULT WINAPI WaitForVerticalBlank(DWORD flags, HANDLE event) override {
        if (event || (flags & DDWAITVB_BLOCKBEGINEVENT)) return DDERR_UNSUPPORTED;
        if (!(flags & (DDWAITVB_BLOCKBEGIN | DDWAITVB_BLOCKEND))) return DDERR_INVALIDPARAMS;
        host_wait_vblank();
        return DD_OK;
    }
};

// Who holds the display: at most one object in exclusive mode, and its mode.
static struct {
    std::mutex lock;
    DDObject* exclusive_owner = nullptr;
    const DDMode* mode = nullptr;
    bool app_active = true;
} dd;

// The application's focus, as the display state reports it (listening from the
// first DirectDrawCreate on).
static void ddraw_app_focus(bool active) {
    std::lock_guard<std::mutex> guard(dd.lock);
    dd.app_active = active;
    // Another application takes the display: the exclusive owner's surfaces are lost.
    if (!active && dd.exclusive_owner && dd.exclusive_owner->primary) dd.exclusive_owner->primary->lost = true;
}

ULONG WINAPI DDSurface::Release() {
    if (--refs) return refs;
    if (owner && owner->primary == this) owner->primary = nullptr;
    delete this;
    return 0;
}

HRESULT WINAPI DDSurface::Unlock(LPVOID) {
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    bool shown;
    {
        std::lock_guard<std::mutex> guard(dd.lock);
        shown = owner && dd.exclusive_owner == owner && !lost;
    }
    if (shown && (mode.bits == 16 || mode.bits == 32)) {
        HostFrame frame = {(int32_t)mode.width, (int32_t)mode.height, pitch,
                           mode.bits == 16 ? HOST_FORMAT_RGB565 : HOST_FORMAT_XRGB8888, memory.data()};
        platform_present(&frame, true);
    }
    return DD_OK;
}

ULONG WINAPI DDObject::Release() {
    if (--refs) return refs;
    // The object takes its surfaces and the display mode with it.
    if (primary) {
        primary->owner = nullptr;
        primary->Release();
        primary = nullptr;
    }
    RestoreDisplayMode();
    {
        std::lock_guard<std::mutex> guard(dd.lock);
        if (dd.exclusive_owner == this) dd.exclusive_owner = nullptr;
    }
    delete this;
    return 0;
}

HRESULT WINAPI DDObject::GetDisplayMode(LPDDSURFACEDESC d) {
    if (!d || d->dwSize != sizeof *d) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> guard(dd.lock);
    if (dd.mode) {
        mode_desc(*dd.mode, d);
    } else {
        int32_t w, h;
        host_desktop_size(&w, &h);
        DDMode desktop = {(DWORD)w, (DWORD)h, 32};
        mode_desc(desktop, d);
    }
    return DD_OK;
}

HRESULT WINAPI DDObject::RestoreDisplayMode() {
    bool restore;
    {
        std::lock_guard<std::mutex> guard(dd.lock);
        restore = dd.exclusive_owner == this && dd.mode;
        if (restore) {
            dd.mode = nullptr;
            display_set_mode_size(0, 0);
        }
    }
    if (restore) host_display_mode(0, 0, 0);
    return DD_OK;
}

HRESULT WINAPI DDObject::SetCooperativeLevel(HWND hwnd, DWORD flags) {
    int32_t fail;
    if (platform_fault("SetCooperativeLevel", &fail)) return fail;
    bool want_exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
    if (want_exclusive && (!(flags & DDSCL_FULLSCREEN) || !platform_window_valid(hwnd))) return DDERR_INVALIDPARAMS;
    if (!want_exclusive && !(flags & DDSCL_NORMAL)) return DDERR_INVALIDPARAMS;
    std::lock_guard<std::mutex> guard(dd.lock);
    if (want_exclusive) {
        if (dd.exclusive_owner && dd.exclusive_owner != this) return DDERR_EXCLUSIVEMODEALREADYSET;
        dd.exclusive_owner = this;
        exclusive = true;
    } else if (dd.exclusive_owner == this) {
        dd.exclusive_owner = nullptr;
        exclusive = false;
    }
    window = hwnd;
    return DD_OK;
}

HRESULT WINAPI DDObject::SetDisplayMode(DWORD w, DWORD h, DWORD bits) {
    int32_t fail;
    if (platform_fault("SetDisplayMode", &fail)) return fail;
    const DDMode* found = nullptr;
    each_mode([&](const DDMode& m) {
        if (m.width == w && m.height == h && m.bits == bits) found = &m;
        return true;
    });
    {
        std::lock_guard<std::mutex> guard(dd.lock);
        if (dd.exclusive_owner != this) return DDERR_NOEXCLUSIVEMODE;
        if (!found) return DDERR_INVALIDMODE;
        dd.mode = found;
        display_set_mode_size((int32_t)found->width, (int32_t)found->height);
        if (primary) primary->lost = true;  // a mode change loses the surfaces
    }
    host_display_mode((int32_t)w, (int32_t)h, (int32_t)bits);
    return DD_OK;
}

HRESULT WINAPI DDObject::CreateSurface(LPDDSURFACEDESC d, LPDIRECTDRAWSURFACE* out, IUnknown* outer) {
    int32_t fail;
    if (out) *out = nullptr;
    if (platform_fault("CreateSurface", &fail)) return fail;
    if (!d || !out || outer || d->dwSize != sizeof *d || !(d->dwFlags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
    if (!(d->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE)) return DDERR_INVALIDCAPS;  // only the primary
    std::lock_guard<std::mutex> guard(dd.lock);
    if (dd.exclusive_owner != this) return DDERR_NOEXCLUSIVEMODE;
    if (!dd.mode) return DDERR_UNSUPPORTED;  // the desktop itself is not ours to lock
    if (primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    DDSurface* s = new DDSurface();
    s->owner = this;
    s->mode = *dd.mode;
    s->pitch = pitch_of(s->mode.width, s->mode.bits);
    s->memory.assign((size_t)s->pitch * s->mode.height, 0);
    primary = s;
    *out = s;
    return DD_OK;
}

HRESULT WINAPI DirectDrawCreate(GUID* guid, LPDIRECTDRAW* out, IUnknown* outer) {
    if (out) *out = nullptr;
    int32_t fail;
    if (platform_fault("DirectDrawCreate", &fail)) return fail;
    if (!out || outer || guid) return DDERR_INVALIDPARAMS;  // the primary display only
    display_set_focus_listener(ddraw_app_focus);
    *out = new DDObject();
    return DD_OK;
}
