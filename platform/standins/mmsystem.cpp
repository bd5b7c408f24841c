// The multimedia timer's queries, the same on both hosts: the system time in
// milliseconds of the host clock and the device capabilities.
#include "platform/mmsystem.h"

#include "platform/host_clock.h"

MMRESULT WINAPI timeGetSystemTime(LPMMTIME pmmt, UINT cbmmt) {
    if (!pmmt || cbmmt < sizeof(MMTIME)) return TIMERR_STRUCT;
    pmmt->wType = TIME_MS;
    pmmt->u.ms = (DWORD)(host_clock_us() / 1000);
    return TIMERR_NOERROR;
}

MMRESULT WINAPI timeGetDevCaps(LPTIMECAPS ptc, UINT cbtc) {
    if (!ptc || cbtc < sizeof(TIMECAPS)) return TIMERR_STRUCT;
    ptc->wPeriodMin = 1;
    ptc->wPeriodMax = 1000000;
    return TIMERR_NOERROR;
}
