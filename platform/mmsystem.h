// The Windows multimedia timer, as the sync clock uses it: a periodic callback
// every uDelay ms. SDL host: its own thread with absolute deadlines (no drift).
// Headless host: fired from the virtual clock, in order, on the advancing thread.
#pragma once

// TAVIK_STANDINS: the stand-ins' declarations on Windows too (the capture's build).
#if defined(_WIN32) && !defined(TAVIK_STANDINS)
// Windows: the system's own declarations.
#include "platform/windef.h"
#include <mmsystem.h>
#else

#include "platform/windef.h"

typedef void(CALLBACK* LPTIMECALLBACK)(UINT uTimerID, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1,
                                       DWORD_PTR dw2);

typedef struct timecaps_tag {
    UINT wPeriodMin;
    UINT wPeriodMax;
} TIMECAPS, *LPTIMECAPS;

typedef struct mmtime_tag {
    UINT wType;
    union {
        DWORD ms;
        DWORD sample;
        DWORD cb;
        DWORD ticks;
        struct {
            BYTE hour;
            BYTE min;
            BYTE sec;
            BYTE frame;
            BYTE fps;
            BYTE dummy;
            BYTE pad[2];
        } smpte;
        struct {
            DWORD songptrpos;
        } midi;
    } u;
} MMTIME, *LPMMTIME;
static_assert(sizeof(MMTIME) == 12, "MMTIME is 12 bytes");
static_assert(sizeof(TIMECAPS) == 8, "TIMECAPS is 8 bytes");

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97
#define TIMERR_STRUCT 129
#define TIME_ONESHOT 0x0000
#define TIME_PERIODIC 0x0001
#define TIME_CALLBACK_FUNCTION 0x0000
#define TIME_CALLBACK_EVENT_SET 0x0010
#define TIME_CALLBACK_EVENT_PULSE 0x0020
#define TIME_KILL_SYNCHRONOUS 0x0100  // accepted; timeKillEvent always waits here
#define TIME_MS 0x0001
#define MMSYSERR_NOERROR 0
#define MMSYSERR_INVALPARAM 11

MMRESULT WINAPI timeSetEvent(UINT uDelay, UINT uResolution, LPTIMECALLBACK lpTimeProc, DWORD_PTR dwUser,
                             UINT fuEvent);  // timer id, or 0 on failure
MMRESULT WINAPI timeKillEvent(UINT uTimerID);  // waits for a running callback to finish
MMRESULT WINAPI timeGetSystemTime(LPMMTIME pmmt, UINT cbmmt);
MMRESULT WINAPI timeGetDevCaps(LPTIMECAPS ptc, UINT cbtc);

#endif  // _WIN32 && !TAVIK_STANDINS
