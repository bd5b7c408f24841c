// What the studio's tests share: the screen's hash, a key pressed between frames,
// one pass of the studio's loop, and a studio started in a child process on the
// headless host at 60 fps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/demo.h"
#include "app/studio.h"
#include "app/studio_keys.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#include "platform/host.h"
#include "tests/app/demo_child.h"

namespace studio_child {

// FNV-1a of the pixels' colour (the alpha byte left out).
inline uint64_t hash_pixels(const uint32_t* p, int64_t n) {
    uint64_t h = 1469598103934665603ull;
    for (int64_t i = 0; i < n; i++) h = (h ^ (p[i] & 0xFFFFFFu)) * 1099511628211ull;
    return h;
}

inline uint64_t hash_screen() {
    return hash_pixels(demo.vscreen->pixels, int64_t(demo.vscreen->width) * demo.vscreen->height);
}

inline void press(UINT vk) {
    host_inject_key(vk, true);
    host_inject_key(vk, false);
}

// One frame of the studio's loop, as studio_run does it.
inline void frame() {
    if (!music_is_paused()) demo_draw();
    studio_frame_end();
}

// Runs `body` in a child with the studio started over `dir`'s data set.
inline robust::ChildResult in_studio(const std::string& dir, const std::function<int()>& body) {
    return robust::run_child(dir, [&] {
        host_reset();
        host_clock_set_frame_rate(60);
        if (demo_start() != 0 || !studio_begin()) return 3;
        studio_keys_reset();
        const int status = body();
        demo_shutdown();
        return status;
    }, 300);
}

}  // namespace studio_child
