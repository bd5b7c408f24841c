// Windows sound output: the mixed songs go to the waveOut device (16-bit stereo,
// 44100 Hz) in a ring of buffers that a feeder thread refills as the device
// returns them. The heard position is the device's own play position. With no
// device the songs advance silently on the wall clock, said once on standard error.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/mmsystem.h"

namespace {

constexpr int WO_BUFFERS = 4;
constexpr int WO_BUFFER_FRAMES = 1024;  // 23 ms each; about 93 ms queued

struct {
    HWAVEOUT device = nullptr;
    HANDLE event = nullptr;  // signalled by the device as it returns a buffer
    std::thread feeder;
    std::atomic<bool> stop{false};
    WAVEHDR headers[WO_BUFFERS] = {};
    std::vector<int16_t> data[WO_BUFFERS];
    std::vector<float> mix;
    // The device's sample 0 is output frame `base_frame`; its 32-bit sample
    // count is widened by adding up its steps.
    std::mutex position_lock;
    uint64_t base_frame = 0;
    DWORD last_samples = 0;
    uint64_t samples = 0;
    uint64_t heard_max = 0;
    // Silent sink.
    bool silent = false;
    bool said_silent = false;
    std::mutex pump_lock;
    int64_t silent_start_us = 0;
    uint64_t silent_start_frame = 0;
    std::vector<float> block;
} wo;

int64_t wall_us()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void open_silent(const char* why)
{
    wo.silent = true;
    wo.silent_start_us = wall_us();
    wo.silent_start_frame = audio_rendered_frames();
    if (!wo.said_silent) {
        std::fprintf(stderr, "audio: no sound device (%s); the music plays silently on the wall clock\n", why);
        wo.said_silent = true;
    }
}

// Renders the next buffer's frames and hands it to the device.
void fill(WAVEHDR* header, std::vector<int16_t>& samples)
{
    audio_render(wo.mix.data(), WO_BUFFER_FRAMES);
    for (size_t i = 0; i < samples.size(); i++) {
        const float v = std::clamp(wo.mix[i], -1.0f, 1.0f) * 32767.0f;
        samples[i] = static_cast<int16_t>(std::lrintf(v));
    }
    header->dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    waveOutWrite(wo.device, header, sizeof *header);
}

// Keeps every buffer queued, in ring order, until told to stop.
void feed()
{
    int next = 0;
    while (!wo.stop.load()) {
        while (!wo.stop.load() && (wo.headers[next].dwFlags & WHDR_DONE)) {
            fill(&wo.headers[next], wo.data[next]);
            next = (next + 1) % WO_BUFFERS;
        }
        WaitForSingleObject(wo.event, 50);
    }
}

void error_text(const char* call, MMRESULT result, char* out, size_t size)
{
    char text[MAXERRORLENGTH] = "";
    waveOutGetErrorTextA(result, text, sizeof text);
    std::snprintf(out, size, "%s: %s", call, text[0] ? text : "error");
}

}  // namespace

// ---- host interface ---------------------------------------------------------

int audio_host_open()
{
    wo.silent = false;
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = AUDIO_CHANNELS;
    format.nSamplesPerSec = AUDIO_RATE;
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    char why[2 * MAXERRORLENGTH];
    if (waveOutGetNumDevs() == 0) {
        open_silent("waveOut: no output device");
        return 1;
    }
    wo.event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!wo.event) {
        open_silent("CreateEvent failed");
        return 1;
    }
    MMRESULT result = waveOutOpen(&wo.device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(wo.event), 0,
                                  CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        wo.device = nullptr;
        CloseHandle(wo.event);
        wo.event = nullptr;
        error_text("waveOutOpen", result, why, sizeof why);
        open_silent(why);
        return 1;
    }
    wo.mix.assign(static_cast<size_t>(WO_BUFFER_FRAMES) * AUDIO_CHANNELS, 0.0f);
    for (int i = 0; i < WO_BUFFERS; i++) {
        wo.data[i].assign(static_cast<size_t>(WO_BUFFER_FRAMES) * AUDIO_CHANNELS, 0);
        wo.headers[i] = {};
        wo.headers[i].lpData = reinterpret_cast<LPSTR>(wo.data[i].data());
        wo.headers[i].dwBufferLength = static_cast<DWORD>(wo.data[i].size() * sizeof(int16_t));
        waveOutPrepareHeader(wo.device, &wo.headers[i], sizeof wo.headers[i]);
        wo.headers[i].dwFlags |= WHDR_DONE;  // free for the feeder
    }
    {
        std::lock_guard<std::mutex> g(wo.position_lock);
        wo.base_frame = audio_rendered_frames();
        wo.last_samples = 0;
        wo.samples = 0;
        wo.heard_max = wo.base_frame;
    }
    wo.stop.store(false);
    wo.feeder = std::thread(feed);
    return 1;
}

void audio_host_close()
{
    if (wo.device) {
        wo.stop.store(true);
        SetEvent(wo.event);
        if (wo.feeder.joinable()) wo.feeder.join();
        waveOutReset(wo.device);  // returns every queued buffer
        for (WAVEHDR& header : wo.headers) waveOutUnprepareHeader(wo.device, &header, sizeof header);
        waveOutClose(wo.device);
        wo.device = nullptr;
        CloseHandle(wo.event);
        wo.event = nullptr;
    }
    wo.silent = false;
}

void audio_host_pump()
{
    if (!wo.silent) return;
    std::lock_guard<std::mutex> g(wo.pump_lock);
    const uint64_t due = wo.silent_start_frame +
                         static_cast<uint64_t>(wall_us() - wo.silent_start_us) * AUDIO_RATE / 1000000u;
    uint64_t done = audio_rendered_frames();
    wo.block.resize(4096 * AUDIO_CHANNELS);
    while (done < due) {
        const int n = static_cast<int>(std::min<uint64_t>(due - done, 4096));
        audio_render(wo.block.data(), n);
        done += n;
    }
}

uint64_t audio_host_heard_frames()
{
    if (!wo.device) return audio_rendered_frames();
    std::lock_guard<std::mutex> g(wo.position_lock);
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(wo.device, &time, sizeof time) == MMSYSERR_NOERROR) {
        // A driver may answer in bytes instead of the samples asked for.
        const DWORD now = time.wType == TIME_BYTES ? time.u.cb / (AUDIO_CHANNELS * sizeof(int16_t))
                        : time.wType == TIME_SAMPLES ? time.u.sample
                                                     : wo.last_samples;
        wo.samples += static_cast<DWORD>(now - wo.last_samples);
        wo.last_samples = now;
    }
    const uint64_t heard = std::min(wo.base_frame + wo.samples, audio_rendered_frames());
    wo.heard_max = std::max(wo.heard_max, heard);
    return wo.heard_max;
}

// The WAV writer belongs to the headless host; here it refuses.
int audio_wav_begin(const char*)
{
    return 0;
}

int audio_wav_end()
{
    return 0;
}
