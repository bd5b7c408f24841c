// SDL sound output: the mixed songs go to an SDL audio device (float stereo,
// 44100 Hz), pulled by its callback. With no device the songs still advance on
// the wall clock, silently, and that is said once on standard error.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/host_audio.h"

// ---- module state -----------------------------------------------------------

static struct {
    const AudioSource* source = nullptr;  // the mixer, handed over at the first open
    SDL_AudioDeviceID device = 0;
    bool silent = false;          // the wall-clock sink instead of a device
    bool said_silent = false;
    uint64_t buffer_frames = 0;   // frames the device holds beyond the one it plays
    // Written by the callback, read by whoever asks for the heard position.
    std::atomic<uint64_t> callback_frame{0};   // frames rendered before the last callback
    std::atomic<int64_t> callback_us{0};       // wall time of the last callback
    std::atomic<uint64_t> heard_max{0};        // the heard position never goes back
    // Silent sink.
    std::mutex pump_lock;
    int64_t silent_start_us = 0;
    uint64_t silent_start_frame = 0;
    std::vector<float> block;
} sdl;

// ---- private helpers --------------------------------------------------------

static int64_t wall_us()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

static void SDLCALL audio_callback(void*, Uint8* stream, int len)
{
    sdl.callback_frame.store(sdl.source->rendered_frames(), std::memory_order_relaxed);
    sdl.callback_us.store(wall_us(), std::memory_order_release);
    sdl.source->render(reinterpret_cast<float*>(stream), len / static_cast<int>(sizeof(float) * AUDIO_CHANNELS));
}

static void open_silent(const char* why)
{
    sdl.silent = true;
    sdl.silent_start_us = wall_us();
    sdl.silent_start_frame = sdl.source->rendered_frames();
    if (!sdl.said_silent) {
        std::fprintf(stderr, "audio: no sound device (%s); the music plays silently on the wall clock\n", why);
        sdl.said_silent = true;
    }
}

// ---- host interface ---------------------------------------------------------

int audio_host_open(const AudioSource* source)
{
    sdl.source = source;
    sdl.silent = false;
    sdl.heard_max.store(0);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        open_silent(SDL_GetError());
        return 1;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = AUDIO_RATE;
    want.format = AUDIO_F32SYS;
    want.channels = AUDIO_CHANNELS;
    want.samples = 512;  // 11.6 ms a buffer: the heard position lags little
    want.callback = audio_callback;
    sdl.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (sdl.device == 0) {
        open_silent(SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 1;
    }
    sdl.buffer_frames = have.samples;
    sdl.callback_frame.store(sdl.source->rendered_frames());
    sdl.callback_us.store(wall_us());
    SDL_PauseAudioDevice(sdl.device, 0);
    return 1;
}

void audio_host_close()
{
    if (sdl.device) {
        SDL_CloseAudioDevice(sdl.device);  // waits for a running callback
        sdl.device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    sdl.silent = false;
}

void audio_host_pump()
{
    if (!sdl.silent || !sdl.source) return;
    std::lock_guard<std::mutex> g(sdl.pump_lock);
    uint64_t due = sdl.silent_start_frame +
                   static_cast<uint64_t>(wall_us() - sdl.silent_start_us) * AUDIO_RATE / 1000000u;
    uint64_t done = sdl.source->rendered_frames();
    sdl.block.resize(4096 * AUDIO_CHANNELS);
    while (done < due) {
        int n = static_cast<int>(std::min<uint64_t>(due - done, 4096));
        sdl.source->render(sdl.block.data(), n);
        done += n;
    }
}

uint64_t audio_host_heard_frames()
{
    if (!sdl.source) return 0;
    if (!sdl.device) return sdl.source->rendered_frames();
    // At a callback the device starts the buffer filled one callback earlier
    // (SDL double-buffers); between callbacks it advances with the wall clock.
    int64_t at = sdl.callback_us.load(std::memory_order_acquire);
    uint64_t before = sdl.callback_frame.load(std::memory_order_relaxed);
    int64_t base = static_cast<int64_t>(before) - static_cast<int64_t>(sdl.buffer_frames);
    int64_t heard = base + (wall_us() - at) * AUDIO_RATE / 1000000;
    heard = std::clamp<int64_t>(heard, 0, static_cast<int64_t>(before));
    uint64_t h = static_cast<uint64_t>(heard);
    uint64_t prev = sdl.heard_max.load(std::memory_order_relaxed);
    while (h > prev && !sdl.heard_max.compare_exchange_weak(prev, h)) {
    }
    return std::max(h, prev);
}

// The WAV writer belongs to the headless host; here it refuses.
int audio_host_wav_begin(const AudioSource*, const char*)
{
    return 0;
}

int audio_host_wav_end()
{
    return 0;
}
