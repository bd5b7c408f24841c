// What each host implements for the module players' mixer
// (platform/standins/audio.cpp): the sound output. The mixer calls it and hands
// it an AudioSource, its own entry points; the host renders through that table
// and never names a function of the mixer.
#pragma once

#include <cstdint>

#include "platform/audio.h"

// The mixer as a host sees it (see audio.h for what each entry does).
struct AudioSource {
    void (*render)(float* out, int frames);
    uint64_t (*rendered_frames)();
    void (*rebase)(uint64_t frame);
};

// Opens the output, rendering through `source` from now on (it stays valid for the
// process). 1 when sound output runs (a silent sink counts).
int audio_host_open(const AudioSource* source);
void audio_host_close();
// Renders what the clock says is due on hosts that render on demand (headless,
// the silent sink); nothing on a real device, whose callback pulls.
void audio_host_pump();
// Output frames played so far: rendered frames minus what is still queued.
uint64_t audio_host_heard_frames();
// audio_wav_begin and audio_wav_end of audio.h: the headless host writes the file,
// rendering through `source`; the others have no file and answer 0.
int audio_host_wav_begin(const AudioSource* source, const char* path);
int audio_host_wav_end();
