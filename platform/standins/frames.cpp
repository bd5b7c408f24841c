// Presented frames: each one counted, kept for host_last_frame (made RGBA only
// when asked for) and handed to the frame callback and the host.
#include <cstring>

#include "platform/standins/win32_state.h"

static uint32_t expand565(uint16_t v) {
    uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
    return ((r << 3) | (r >> 2)) | (((g << 2) | (g >> 4)) << 8) | (((b << 3) | (b >> 2)) << 16);
}

static void frame_to_rgba(const HostFrame* f, std::vector<uint8_t>& out) {
    out.resize((size_t)f->width * f->height * 4);
    for (int32_t y = 0; y < f->height; y++) {
        const uint8_t* row = (const uint8_t*)f->pixels + (size_t)y * f->pitch;
        uint8_t* o = out.data() + (size_t)y * f->width * 4;
        for (int32_t x = 0; x < f->width; x++, o += 4) {
            if (f->format == HOST_FORMAT_RGB565) {
                uint16_t v;
                memcpy(&v, row + x * 2, 2);
                uint32_t c = expand565(v);
                o[0] = (uint8_t)c;
                o[1] = (uint8_t)(c >> 8);
                o[2] = (uint8_t)(c >> 16);
            } else {
                o[0] = row[x * 4 + 2];
                o[1] = row[x * 4 + 1];
                o[2] = row[x * 4 + 0];
            }
            o[3] = 255;
        }
    }
}

// Caller holds the lock.
static void frame_refresh_rgba() {
    if (!w32.frame_rgba_stale) return;
    frame_to_rgba(&w32.frame_info, w32.frame_rgba);
    w32.frame_rgba_stale = false;
}

void platform_present(const HostFrame* frame, bool at_vblank) {
    HostFrameCallback callback;
    void* user;
    uint64_t index;
    {
        std::lock_guard<std::mutex> guard(w32.lock);
        // Keep a copy of the rows; the RGBA form is made only when someone looks.
        const size_t row_bytes = (size_t)frame->width * (frame->format == HOST_FORMAT_RGB565 ? 2 : 4);
        w32.frame_native.resize(row_bytes * frame->height);
        for (int32_t y = 0; y < frame->height; y++)
            memcpy(w32.frame_native.data() + y * row_bytes, (const uint8_t*)frame->pixels + (size_t)y * frame->pitch,
                   row_bytes);
        w32.frame_info = {frame->width, frame->height, (int32_t)row_bytes, frame->format, w32.frame_native.data()};
        w32.frame_rgba_stale = true;
        w32.frame_width = frame->width;
        w32.frame_height = frame->height;
        index = w32.frame_count++;
        callback = w32.frame_callback;
        user = w32.frame_user;
        if (callback) frame_refresh_rgba();
    }
    if (callback) callback(w32.frame_rgba.data(), frame->width, frame->height, index, user);
    host_present(frame, at_vblank);
}

void host_set_frame_callback(HostFrameCallback callback, void* user) {
    std::lock_guard<std::mutex> guard(w32.lock);
    w32.frame_callback = callback;
    w32.frame_user = user;
}

const uint8_t* host_last_frame(int32_t* width, int32_t* height) {
    std::lock_guard<std::mutex> guard(w32.lock);
    if (width) *width = w32.frame_width;
    if (height) *height = w32.frame_height;
    if (!w32.frame_count) return nullptr;
    frame_refresh_rgba();
    return w32.frame_rgba.data();
}

uint64_t host_frame_count() {
    std::lock_guard<std::mutex> guard(w32.lock);
    return w32.frame_count;
}
