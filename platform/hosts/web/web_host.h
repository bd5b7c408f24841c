// Inside the browser host: what its files call of each other. The page's script
// calls the host's exported web_host_* entry points (input); the host calls the
// page through the Module.page object (present, sound, messages).
#pragma once

#include <cstdint>

// The host's work for one frame, done at the vertical-blank wait (once a pass of
// the demo's loop, where the headless host moves its clock): the multimedia timers
// that fell due fire (deadline order, each seeing its deadline as the clock), and
// the sound is rendered ahead of what is heard.
void web_host_timers_fire();
void web_host_audio_frame();

// Frames the sound is rendered ahead of what is heard (139 ms): enough to ride over
// a long animation frame (a picture loaded, a busy machine) without a gap; a jump
// of the music (the end loop) is heard that much later, its position at once.
constexpr uint64_t WEB_AUDIO_LEAD_FRAMES = 6144;
