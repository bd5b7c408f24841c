// The DirectDraw (version 1) interfaces the full-screen driver calls, with the
// SDK's names, record layouts, flag values and result codes. The display offers
// 320 x 240 and 640 x 480 at 8 (palette), 16 (5-6-5) and 32 bits per pixel.
#pragma once

// TAVIK_STANDINS: the stand-ins' declarations on Windows too (the capture's build).
#if defined(_WIN32) && !defined(TAVIK_STANDINS)
// Windows: the system's own declarations.
#include "platform/windef.h"
#include <ddraw.h>
#else

#include "platform/win32.h"

typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID, IID;
typedef const IID& REFIID;

// ---- Result codes ---------------------------------------------------------------
#define DD_OK ((HRESULT)0)
#define DDENUMRET_CANCEL 0
#define DDENUMRET_OK 1
#define MAKE_DDHRESULT(code) ((HRESULT)(0x88760000u | (code)))
#define DDERR_GENERIC ((HRESULT)0x80004005u)
#define DDERR_UNSUPPORTED ((HRESULT)0x80004001u)
#define DDERR_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define DDERR_INVALIDPARAMS ((HRESULT)0x80070057u)
#define DDERR_INVALIDCAPS MAKE_DDHRESULT(100)
#define DDERR_INVALIDMODE MAKE_DDHRESULT(120)
#define DDERR_INVALIDOBJECT MAKE_DDHRESULT(130)
#define DDERR_NOCOOPERATIVELEVELSET MAKE_DDHRESULT(212)
#define DDERR_NOEXCLUSIVEMODE MAKE_DDHRESULT(225)
#define DDERR_SURFACEBUSY MAKE_DDHRESULT(430)
#define DDERR_SURFACELOST MAKE_DDHRESULT(450)
#define DDERR_WASSTILLDRAWING MAKE_DDHRESULT(540)
#define DDERR_PRIMARYSURFACEALREADYEXISTS MAKE_DDHRESULT(564)
#define DDERR_EXCLUSIVEMODEALREADYSET MAKE_DDHRESULT(581)
#define DDERR_NOTLOCKED MAKE_DDHRESULT(584)
#define DDERR_INVALIDSURFACETYPE MAKE_DDHRESULT(592)
static_assert(DDERR_SURFACELOST == (HRESULT)0x887601C2u, "DDERR_SURFACELOST");
static_assert(DDERR_INVALIDOBJECT == (HRESULT)0x88760082u, "DDERR_INVALIDOBJECT");
static_assert(DDERR_INVALIDSURFACETYPE == (HRESULT)0x88760250u, "DDERR_INVALIDSURFACETYPE");

// ---- Flags ---------------------------------------------------------------------------
#define DDSCL_FULLSCREEN 0x00000001L
#define DDSCL_ALLOWREBOOT 0x00000002L
#define DDSCL_NOWINDOWCHANGES 0x00000004L
#define DDSCL_NORMAL 0x00000008L
#define DDSCL_EXCLUSIVE 0x00000010L

#define DDSD_CAPS 0x00000001L
#define DDSD_HEIGHT 0x00000002L
#define DDSD_WIDTH 0x00000004L
#define DDSD_PITCH 0x00000008L
#define DDSD_BACKBUFFERCOUNT 0x00000020L
#define DDSD_LPSURFACE 0x00000800L
#define DDSD_PIXELFORMAT 0x00001000L
#define DDSD_REFRESHRATE 0x00020000L

#define DDSCAPS_OFFSCREENPLAIN 0x00000040L
#define DDSCAPS_PRIMARYSURFACE 0x00000200L
#define DDSCAPS_SYSTEMMEMORY 0x00000800L
#define DDSCAPS_VIDEOMEMORY 0x00004000L

#define DDPF_ALPHAPIXELS 0x00000001L
#define DDPF_FOURCC 0x00000004L
#define DDPF_PALETTEINDEXED8 0x00000020L
#define DDPF_RGB 0x00000040L

#define DDLOCK_SURFACEMEMORYPTR 0x00000000L
#define DDLOCK_WAIT 0x00000001L
#define DDLOCK_READONLY 0x00000010L
#define DDLOCK_WRITEONLY 0x00000020L

#define DDWAITVB_BLOCKBEGIN 0x00000001L
#define DDWAITVB_BLOCKBEGINEVENT 0x00000002L
#define DDWAITVB_BLOCKEND 0x00000004L

#define DDEDM_REFRESHRATES 0x00000001L

// ---- Records ---------------------------------------------------------------------------
typedef struct _DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
} DDCOLORKEY;

typedef struct _DDSCAPS {
    DWORD dwCaps;
} DDSCAPS, *LPDDSCAPS;

typedef struct _DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    union {
        DWORD dwRGBBitCount;
        DWORD dwYUVBitCount;
        DWORD dwZBufferBitDepth;
        DWORD dwAlphaBitDepth;
    };
    union {
        DWORD dwRBitMask;
        DWORD dwYBitMask;
    };
    union {
        DWORD dwGBitMask;
        DWORD dwUBitMask;
    };
    union {
        DWORD dwBBitMask;
        DWORD dwVBitMask;
    };
    union {
        DWORD dwRGBAlphaBitMask;
        DWORD dwYUVAlphaBitMask;
    };
} DDPIXELFORMAT, *LPDDPIXELFORMAT;
static_assert(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT is 32 bytes");

typedef struct _DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    union {
        LONG lPitch;
        DWORD dwLinearSize;
    };
    DWORD dwBackBufferCount;
    union {
        DWORD dwMipMapCount;
        DWORD dwZBufferBitDepth;
        DWORD dwRefreshRate;
    };
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    LPVOID lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
} DDSURFACEDESC, *LPDDSURFACEDESC;
// 108 bytes on 32-bit Windows; the surface pointer widens it to 120 on 64-bit.
static_assert(sizeof(DDSURFACEDESC) == (sizeof(void*) == 4 ? 108 : 120), "DDSURFACEDESC layout");

// ---- Interfaces ------------------------------------------------------------------------
struct IUnknown {
    virtual HRESULT WINAPI QueryInterface(REFIID riid, LPVOID* ppvObj) = 0;
    virtual ULONG WINAPI AddRef() = 0;
    virtual ULONG WINAPI Release() = 0;
};

struct IDirectDrawSurface;
typedef IDirectDrawSurface* LPDIRECTDRAWSURFACE;
struct IDirectDraw;
typedef IDirectDraw* LPDIRECTDRAW;
typedef HRESULT(WINAPI* LPDDENUMMODESCALLBACK)(LPDDSURFACEDESC lpDDSurfaceDesc, LPVOID lpContext);

struct IDirectDraw : IUnknown {
    virtual HRESULT WINAPI CreateSurface(LPDDSURFACEDESC lpDDSurfaceDesc, LPDIRECTDRAWSURFACE* lplpDDSurface,
                                         IUnknown* pUnkOuter) = 0;  // the primary surface only
    virtual HRESULT WINAPI EnumDisplayModes(DWORD dwFlags, LPDDSURFACEDESC lpDDSurfaceDesc, LPVOID lpContext,
                                            LPDDENUMMODESCALLBACK lpEnumModesCallback) = 0;
    virtual HRESULT WINAPI GetDisplayMode(LPDDSURFACEDESC lpDDSurfaceDesc) = 0;
    virtual HRESULT WINAPI GetVerticalBlankStatus(LPBOOL lpbIsInVB) = 0;
    virtual HRESULT WINAPI RestoreDisplayMode() = 0;
    virtual HRESULT WINAPI SetCooperativeLevel(HWND hWnd, DWORD dwFlags) = 0;
    virtual HRESULT WINAPI SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP) = 0;
    virtual HRESULT WINAPI WaitForVerticalBlank(DWORD dwFlags, HANDLE hEvent) = 0;
};

struct IDirectDrawSurface : IUnknown {
    virtual HRESULT WINAPI GetPixelFormat(LPDDPIXELFORMAT lpDDPixelFormat) = 0;
    virtual HRESULT WINAPI GetSurfaceDesc(LPDDSURFACEDESC lpDDSurfaceDesc) = 0;
    virtual HRESULT WINAPI IsLost() = 0;
    virtual HRESULT WINAPI Lock(LPRECT lpDestRect, LPDDSURFACEDESC lpDDSurfaceDesc, DWORD dwFlags,
                                HANDLE hEvent) = 0;  // whole surface only (null rectangle)
    virtual HRESULT WINAPI Restore() = 0;
    virtual HRESULT WINAPI Unlock(LPVOID lpSurfaceData) = 0;  // the primary is shown at unlock
};

HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter);

#endif  // _WIN32 && !TAVIK_STANDINS
