// The start-up guard's report: the expression text, file and line in a message
// box (which also writes standard error), then the end of the process, with
// what start-up had opened closed first.
#include "app/check.h"

#include <cstdio>
#include <cstdlib>

#include "platform/win32.h"

static void (*check_cleanup)() = nullptr;

void check_on_failure(void (*cleanup)()) { check_cleanup = cleanup; }

void check_failed(const char* text, const char* file, int line) {
    if (void (*cleanup)() = check_cleanup) {
        check_cleanup = nullptr;  // a check failing inside the cleanup ends here
        cleanup();
    }
    char message[1024];
    std::snprintf(message, sizeof message, "Assertion failed!\n\nFile: %s\nLine: %d\n\nExpression: %s", file, line,
                  text);
    MessageBoxA(nullptr, message, "Wendril", MB_OK);
    std::exit(1);
}
