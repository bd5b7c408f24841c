// The line each image loader keeps beside its error code: the file it was
// reading and what it found there, for the person who sees only "corrupt".
// The loaders' codes and messages stay as they are; this only adds to them.
#pragma once

#include <cstdarg>
#include <cstdio>

struct ImageDetail {
    char file[256];  // the name the load was given ("(stream)" for a stream)
    char text[660];  // "file: cause", empty while the last load went well
};

// Starts a load of `name`: remembers it and clears the last cause.
inline void image_detail_begin(ImageDetail* d, const char* name) {
    std::snprintf(d->file, sizeof d->file, "%s", name ? name : "(no name)");
    d->text[0] = 0;
}

// Notes why the load failed: "file: " and the formatted cause.
inline void image_detail_fail(ImageDetail* d, const char* format, ...) {
    char cause[384];
    va_list args;
    va_start(args, format);
    std::vsnprintf(cause, sizeof cause, format, args);
    va_end(args);
    std::snprintf(d->text, sizeof d->text, "%s: %s", d->file, cause);
}
