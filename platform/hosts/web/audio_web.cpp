// The browser host's sound output: the mixer renders on the page's thread, a few
// animation frames ahead of what is heard, and the blocks go to an AudioWorklet
// (web/audio-worklet.js) through its port. The heard position is the worklet's
// stream frame at the audio context's output time (the page works it out from
// getOutputTimestamp and the worklet's reports). Without a running context the
// songs advance silently on the clock, as the desktop host's silent sink does.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/host_audio.h"
#include "platform/host_clock.h"
#include "platform/hosts/web/web_host.h"

// ---- the page's side (Module.page, web/wendril.js) ---------------------------

// 1 when a worklet plays what is posted from stream frame 0 on; 0 for silence
// (the page has said why).
EM_JS(int, web_js_audio_open, (), { return Module.page.audioOpen() ? 1 : 0; });
// `frames` interleaved stereo frames, as a view of the program's memory (the page copies).
EM_JS(void, web_js_audio_post, (const float* samples, int frames),
      { Module.page.audioPost(HEAPF32.subarray(samples >> 2, (samples >> 2) + frames * 2), frames); });
// Stream frames heard so far; -1 once the output has stopped for good.
EM_JS(double, web_js_audio_heard, (), { return Module.page.audioHeard(); });
EM_JS(void, web_js_audio_close, (), { Module.page.audioClose(); });

// ---- module state -----------------------------------------------------------

static struct {
    const AudioSource* source = nullptr;  // the mixer, handed over at open
    bool open = false;
    bool worklet = false;                 // else the silent sink on the clock
    uint64_t silent_start_us = 0;
    uint64_t silent_start_frame = 0;
    uint64_t heard = 0;                   // never goes back
    std::vector<float> block;
} wa;

static const int WA_BLOCK = 1024;

// ---- private helpers --------------------------------------------------------

static void go_silent()
{
    wa.worklet = false;
    wa.silent_start_us = host_clock_us();
    wa.silent_start_frame = wa.source->rendered_frames();
}

// Renders `frames` frames, posting them to the worklet when `post`.
static void render(uint64_t frames, bool post)
{
    wa.block.resize(WA_BLOCK * AUDIO_CHANNELS);
    while (frames > 0) {
        int n = static_cast<int>(std::min<uint64_t>(frames, WA_BLOCK));
        wa.source->render(wa.block.data(), n);
        if (post) web_js_audio_post(wa.block.data(), n);
        frames -= n;
    }
}

// ---- host interface ---------------------------------------------------------

int audio_host_open(const AudioSource* source)
{
    wa.source = source;
    wa.open = true;
    wa.heard = 0;
    wa.worklet = web_js_audio_open() != 0;
    if (wa.worklet)
        source->rebase(0);  // the worklet's stream starts at frame 0
    else
        go_silent();
    return 1;
}

void audio_host_close()
{
    if (wa.worklet) web_js_audio_close();
    wa.worklet = false;
    wa.open = false;
}

void audio_host_pump()
{
    if (!wa.open || wa.worklet) return;
    uint64_t due = wa.silent_start_frame + (host_clock_us() - wa.silent_start_us) * AUDIO_RATE / 1000000u;
    uint64_t done = wa.source->rendered_frames();
    if (due > done) render(due - done, false);
}

uint64_t audio_host_heard_frames()
{
    if (!wa.source) return 0;
    if (!wa.worklet) return wa.source->rendered_frames();
    double heard = web_js_audio_heard();
    if (heard < 0) {
        // The context stopped (device gone, page suspended it): silent from here.
        go_silent();
        return wa.source->rendered_frames();
    }
    uint64_t h = std::min<uint64_t>(static_cast<uint64_t>(heard), wa.source->rendered_frames());
    wa.heard = std::max(wa.heard, h);
    return wa.heard;
}

int audio_host_wav_begin(const AudioSource*, const char*)
{
    return 0;
}

int audio_host_wav_end()
{
    return 0;
}

// ---- the animation frame ------------------------------------------------------

// Keeps WEB_AUDIO_LEAD_FRAMES rendered beyond what is heard.
void web_host_audio_frame()
{
    if (!wa.open) return;
    if (!wa.worklet) {
        audio_host_pump();
        return;
    }
    uint64_t target = audio_host_heard_frames() + WEB_AUDIO_LEAD_FRAMES;
    if (!wa.worklet) return;  // the output stopped just now
    uint64_t done = wa.source->rendered_frames();
    if (target > done) render(target - done, true);
}
