// The display as the windowing and DirectDraw stand-ins share it: the size of
// the exclusive full-screen mode, which is the screen's size while it is set,
// and the application's focus, which DirectDraw listens to (losing it in
// exclusive mode loses the surfaces). Neither stand-in calls the other for them.
#pragma once

#include <cstdint>

// DirectDraw set (width, height) or gave the desktop back (0, 0).
void display_set_mode_size(int32_t width, int32_t height);
// The exclusive mode's size; false when none is set.
bool display_mode_size(int32_t* width, int32_t* height);

// Called with every change of the application's focus.
typedef void (*DisplayFocusListener)(bool active);
void display_set_focus_listener(DisplayFocusListener listener);
// The application gained or lost the focus: tells the listener.
void display_app_focus(bool active);
