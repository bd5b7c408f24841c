// The start-up guard's report: the expression text, file and line in a message
// box (which also writes standard error), then the end of the process.
#include "app/check.h"

#include <cstdio>
#include <cstdlib>

#include "platform/win32.h"

void check_failed(const char* text, const char* file, int line) {
    char message[1024];
    std::snprintf(message, sizeof message, "Assertion failed!\n\nFile: %s\nLine: %d\n\nExpression: %s", file, line,
                  text);
    MessageBoxA(nullptr, message, "Wendril", MB_OK);
    std::exit(1);
}
