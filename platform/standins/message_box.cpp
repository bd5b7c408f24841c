// The message box: standard error always gets the text, the host shows it when it can.
#include <cstdio>

#include "platform/host_driver.h"
#include "platform/win32.h"

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text ? text : "");
    fflush(stderr);
    host_message_box(text ? text : "", caption ? caption : "Error");
    return IDOK;
}
