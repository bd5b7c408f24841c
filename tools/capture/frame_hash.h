// The frame hash of the whole-demo check (tests/app/demo_frames.txt) and of
// wendril-capture --hashes: one 64-bit value per drawn frame, and the line that
// records it, so a capture on any system is compared with the file by diff.
#pragma once

#include <cinttypes>
#include <cstdint>

#include "engine/pixmap/pixmap.h"

// One recorded frame: "N order row hash" (N counts from the demo's first frame).
#define FRAME_HASH_LINE "%" PRIu64 " %u %u %016" PRIx64 "\n"

// A 64-bit hash of the visible pixels, row by row (independent of row padding).
inline uint64_t frame_hash_pixels(const Pixmap* p) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (uint64_t(p->width) << 32 | uint32_t(p->height));
    for (int32_t y = 0; y < p->height; y++) {
        const uint32_t* row = p->pixels + p->rows[y];
        for (int32_t x = 0; x < p->width; x++) {
            h = (h ^ row[x]) * 0x100000001B3ull;
            h ^= h >> 29;
        }
    }
    return h;
}
