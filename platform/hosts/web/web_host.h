// The browser host as the page program sees it: the host's work for one animation
// frame, and its sound state. The page's script calls the host's exported
// web_host_* entry points (input, sound reports); the host calls the page through
// the Module.page object (present, sound, messages).
#pragma once

#include <cstdint>

// Sound after a gesture: what the page's audio context gave (set before start-up).
enum : int32_t {
    WEB_AUDIO_NONE = 0,     // no context, refused, or not running: silent on the clock
    WEB_AUDIO_WORKLET = 1,  // an AudioWorklet node plays what the host posts
};

// Once per animation frame, before the demo draws: fires the multimedia timers
// that fell due (deadline order, each seeing its deadline as the clock) and
// renders the sound a few frames ahead of what is heard.
void web_host_frame();

// Fires the multimedia timers whose deadlines have passed (part of web_host_frame).
void web_host_timers_fire();

// Frames the sound is rendered ahead of what is heard (139 ms): enough to ride over
// a long animation frame (a picture loaded, a busy machine) without a gap; a jump
// of the music (the end loop) is heard that much later, its position at once.
constexpr uint64_t WEB_AUDIO_LEAD_FRAMES = 6144;
