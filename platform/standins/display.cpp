// The display state the windowing and DirectDraw stand-ins share.
#include "platform/standins/display.h"

#include <mutex>

static struct {
    std::mutex lock;
    int32_t width = 0, height = 0;  // the exclusive mode, 0 x 0 when none
    DisplayFocusListener focus_listener = nullptr;
} display;

void display_set_mode_size(int32_t width, int32_t height) {
    std::lock_guard<std::mutex> guard(display.lock);
    display.width = width;
    display.height = height;
}

bool display_mode_size(int32_t* width, int32_t* height) {
    std::lock_guard<std::mutex> guard(display.lock);
    if (display.width <= 0 || display.height <= 0) return false;
    *width = display.width;
    *height = display.height;
    return true;
}

void display_set_focus_listener(DisplayFocusListener listener) {
    std::lock_guard<std::mutex> guard(display.lock);
    display.focus_listener = listener;
}

void display_app_focus(bool active) {
    DisplayFocusListener listener;
    {
        std::lock_guard<std::mutex> guard(display.lock);
        listener = display.focus_listener;
    }
    if (listener) listener(active);
}
