// The demo's start-up guard: like the C assertion, it reports the expression
// text, the file and the line and ends the process, but it ALWAYS evaluates its
// expression (the guarded loads live inside it) and it exits with status 1.
#pragma once

// Reports a failed check through a message box and standard error, then exit(1).
// The cleanup set by check_on_failure runs first.
[[noreturn]] void check_failed(const char* text, const char* file, int line);

// Sets what a failed check closes before its report (what start-up has opened so
// far: the sound, the screen); null for nothing. Called as start-up opens them.
void check_on_failure(void (*cleanup)());

// CHECK(expr): evaluates expr once; when it is false or null, reports its text.
#define CHECK(expr) ((expr) ? (void)0 : check_failed(#expr, __FILE__, __LINE__))
// CHECK_TEXT(expr, text): the same with the text given explicitly, for
// expressions whose source spelling is not the text to show (Latin-1 names).
#define CHECK_TEXT(expr, text) ((expr) ? (void)0 : check_failed((text), __FILE__, __LINE__))
