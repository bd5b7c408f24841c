// Windows sound output: the mixed songs go to the waveOut device (16-bit stereo,
// 44100 Hz) in a ring of buffers that a feeder thread refills as the device
// returns them. The heard position is the device's own play position. With no
// device, or one that refuses a buffer (removed while playing), the songs go on
// silently on the wall clock from the last heard position, said once on
// standard error. The device is closed at exit if nobody closed it before.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/host_audio.h"
#include "platform/mmsystem.h"

namespace {

constexpr int WO_BUFFERS = 4;
constexpr int WO_BUFFER_FRAMES = 1024;  // 23 ms each; about 93 ms queued

struct {
    const AudioSource* source = nullptr;  // the mixer, handed over at the first open
    HWAVEOUT device = nullptr;
    HANDLE event = nullptr;  // signalled by the device as it returns a buffer
    std::thread feeder;
    std::atomic<bool> stop{false};
    WAVEHDR headers[WO_BUFFERS] = {};
    std::vector<int16_t> data[WO_BUFFERS];
    std::vector<float> mix;
    // The device's sample 0 is output frame `base_frame`. Its position is a
    // 32-bit count of samples or of bytes, as the driver chooses, wrapping at
    // 2^32 of its own unit: each is widened by adding up its steps.
    std::mutex position_lock;  // also guards `device` against the close
    uint64_t base_frame = 0;
    DWORD last_samples = 0;
    DWORD last_bytes = 0;
    uint64_t samples = 0;
    uint64_t bytes = 0;
    uint64_t heard_max = 0;
    bool closes_at_exit = false;  // audio_host_close is registered with atexit
    // Silent sink: from output frame `silent_start_frame` on, the wall clock.
    std::atomic<bool> silent{false};
    bool said_silent = false;
    std::mutex pump_lock;  // the silent clock's start and the pump
    int64_t silent_start_us = 0;
    uint64_t silent_start_frame = 0;
    std::vector<float> block;
} wo;

int64_t wall_us()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// From now on the songs advance on the wall clock from output frame `from`;
// the first time, says why on standard error.
void go_silent(uint64_t from, const char* message, const char* why)
{
    {
        std::lock_guard<std::mutex> g(wo.pump_lock);
        wo.silent_start_us = wall_us();
        wo.silent_start_frame = from;
        wo.silent.store(true);
    }
    if (!wo.said_silent) {
        std::fprintf(stderr, "audio: %s (%s); the music plays silently on the wall clock\n", message, why);
        wo.said_silent = true;
    }
}

void error_text(const char* call, MMRESULT result, char* out, size_t size)
{
    char text[MAXERRORLENGTH] = "";
    waveOutGetErrorTextA(result, text, sizeof text);
    std::snprintf(out, size, "%s: %s", call, text[0] ? text : "error");
}

// The output frame the device is playing, never less than an earlier answer.
// The caller holds position_lock and the device is open.
uint64_t device_heard()
{
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(wo.device, &time, sizeof time) == MMSYSERR_NOERROR) {
        // A driver may answer in bytes instead of the samples asked for.
        if (time.wType == TIME_SAMPLES) {
            wo.samples += static_cast<DWORD>(time.u.sample - wo.last_samples);
            wo.last_samples = time.u.sample;
        } else if (time.wType == TIME_BYTES) {
            wo.bytes += static_cast<DWORD>(time.u.cb - wo.last_bytes);
            wo.last_bytes = time.u.cb;
        }
    }
    const uint64_t played = std::max(wo.samples, wo.bytes / (AUDIO_CHANNELS * sizeof(int16_t)));
    const uint64_t heard = std::min(wo.base_frame + played, wo.source->rendered_frames());
    wo.heard_max = std::max(wo.heard_max, heard);
    return wo.heard_max;
}

// Renders the next buffer's frames and hands it to the device; on a refusal
// the buffer stays free and its reason is written to `why`.
bool fill(WAVEHDR* header, std::vector<int16_t>& samples, char* why, size_t size)
{
    wo.source->render(wo.mix.data(), WO_BUFFER_FRAMES);
    for (size_t i = 0; i < samples.size(); i++) {
        const float v = std::clamp(wo.mix[i], -1.0f, 1.0f) * 32767.0f;
        samples[i] = static_cast<int16_t>(std::lrintf(v));
    }
    header->dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    const MMRESULT result = waveOutWrite(wo.device, header, sizeof *header);
    if (result == MMSYSERR_NOERROR) return true;
    header->dwFlags |= WHDR_DONE;
    error_text("waveOutWrite", result, why, size);
    return false;
}

// Keeps every buffer queued, in ring order, until told to stop. A refused
// buffer would never come back: the songs go on silently from what was heard.
void feed()
{
    int next = 0;
    char why[2 * MAXERRORLENGTH];
    while (!wo.stop.load()) {
        while (!wo.stop.load() && (wo.headers[next].dwFlags & WHDR_DONE)) {
            if (!fill(&wo.headers[next], wo.data[next], why, sizeof why)) {
                uint64_t heard;
                {
                    std::lock_guard<std::mutex> g(wo.position_lock);
                    heard = device_heard();
                }
                go_silent(heard, "the sound device refused a buffer", why);
                return;
            }
            next = (next + 1) % WO_BUFFERS;
        }
        WaitForSingleObject(wo.event, 50);
    }
}

}  // namespace

// ---- host interface ---------------------------------------------------------

int audio_host_open(const AudioSource* source)
{
    wo.source = source;
    wo.silent.store(false);
    // Whatever way the process ends, the feeder is stopped before the statics
    // it uses (and its own std::thread) are destroyed.
    if (!wo.closes_at_exit) {
        std::atexit(audio_host_close);
        wo.closes_at_exit = true;
    }
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = AUDIO_CHANNELS;
    format.nSamplesPerSec = AUDIO_RATE;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    char why[2 * MAXERRORLENGTH];
    if (waveOutGetNumDevs() == 0) {
        go_silent(wo.source->rendered_frames(), "no sound device", "waveOut: no output device");
        return 1;
    }
    wo.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!wo.event) {
        go_silent(wo.source->rendered_frames(), "no sound device", "CreateEvent failed");
        return 1;
    }
    HWAVEOUT device = nullptr;
    MMRESULT result =
        waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(wo.event), 0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        CloseHandle(wo.event);
        wo.event = nullptr;
        error_text("waveOutOpen", result, why, sizeof why);
        go_silent(wo.source->rendered_frames(), "no sound device", why);
        return 1;
    }
    wo.mix.assign(static_cast<size_t>(WO_BUFFER_FRAMES) * AUDIO_CHANNELS, 0.0f);
    for (int i = 0; i < WO_BUFFERS; i++) {
        wo.data[i].assign(static_cast<size_t>(WO_BUFFER_FRAMES) * AUDIO_CHANNELS, 0);
        wo.headers[i] = {};
        wo.headers[i].lpData = reinterpret_cast<LPSTR>(wo.data[i].data());
        wo.headers[i].dwBufferLength = static_cast<DWORD>(wo.data[i].size() * sizeof(int16_t));
        result = waveOutPrepareHeader(device, &wo.headers[i], sizeof wo.headers[i]);
        if (result != MMSYSERR_NOERROR) {
            error_text("waveOutPrepareHeader", result, why, sizeof why);
            while (--i >= 0) waveOutUnprepareHeader(device, &wo.headers[i], sizeof wo.headers[i]);
            waveOutClose(device);
            CloseHandle(wo.event);
            wo.event = nullptr;
            go_silent(wo.source->rendered_frames(), "the sound device refused a buffer", why);
            return 1;
        }
        wo.headers[i].dwFlags |= WHDR_DONE;  // free for the feeder
    }
    {
        std::lock_guard<std::mutex> g(wo.position_lock);
        wo.device = device;
        wo.base_frame = wo.source->rendered_frames();
        wo.last_samples = 0;
        wo.last_bytes = 0;
        wo.samples = 0;
        wo.bytes = 0;
        wo.heard_max = wo.base_frame;
    }
    wo.stop.store(false);
    wo.feeder = std::thread(feed);
    return 1;
}

void audio_host_close()
{
    wo.stop.store(true);
    if (wo.event) SetEvent(wo.event);
    if (wo.feeder.joinable()) wo.feeder.join();
    HWAVEOUT device;
    {
        std::lock_guard<std::mutex> g(wo.position_lock);
        device = wo.device;
        wo.device = nullptr;
    }
    if (device) {
        // Every result is ignored: a removed device refuses these too, and
        // nothing is left to do about it.
        waveOutReset(device);  // returns every queued buffer
        for (WAVEHDR& header : wo.headers) waveOutUnprepareHeader(device, &header, sizeof header);
        waveOutClose(device);
    }
    if (wo.event) CloseHandle(wo.event);
    wo.event = nullptr;
    wo.silent.store(false);
}

void audio_host_pump()
{
    if (!wo.silent.load() || !wo.source) return;
    std::lock_guard<std::mutex> g(wo.pump_lock);
    const uint64_t due = wo.silent_start_frame +
                         static_cast<uint64_t>(wall_us() - wo.silent_start_us) * AUDIO_RATE / 1000000u;
    uint64_t done = wo.source->rendered_frames();
    wo.block.resize(4096 * AUDIO_CHANNELS);
    while (done < due) {
        const int n = static_cast<int>(std::min<uint64_t>(due - done, 4096));
        wo.source->render(wo.block.data(), n);
        done += n;
    }
}

uint64_t audio_host_heard_frames()
{
    if (!wo.source) return 0;
    if (wo.silent.load()) {
        // The wall clock, within what has been rendered: after a refused buffer
        // the frames rendered for the device but never heard are passed over.
        uint64_t due;
        {
            std::lock_guard<std::mutex> g(wo.pump_lock);
            due = wo.silent_start_frame +
                  static_cast<uint64_t>(wall_us() - wo.silent_start_us) * AUDIO_RATE / 1000000u;
        }
        std::lock_guard<std::mutex> g(wo.position_lock);
        wo.heard_max = std::max(wo.heard_max, std::min(due, wo.source->rendered_frames()));
        return wo.heard_max;
    }
    std::lock_guard<std::mutex> g(wo.position_lock);
    if (!wo.device) return wo.source->rendered_frames();
    return device_heard();
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
