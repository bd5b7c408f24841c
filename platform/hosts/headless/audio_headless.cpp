// Headless sound output: no device. The songs are rendered as the virtual clock
// advances, exactly up to it (lazily whenever a position is asked for or a song
// changes, and at each frame), and optionally written to a 16-bit WAV file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/host_audio.h"
#include "platform/host_clock.h"

// ---- module state -----------------------------------------------------------

static struct {
    const AudioSource* source = nullptr;  // the mixer, handed over at open or a WAV's start
    std::mutex pump_lock;  // one renderer at a time
    FILE* wav = nullptr;
    uint64_t wav_frames = 0;
    bool wav_failed = false;
    std::vector<float> block;
    std::vector<int16_t> pcm;
} hl;

static const int HL_BLOCK = 4096;

// ---- private helpers --------------------------------------------------------

// Frames due at the virtual clock: frame f is heard during [f, f+1) / 44100 s.
static uint64_t frames_due()
{
    return host_clock_us() * AUDIO_RATE / 1000000u;
}

static void put_le(unsigned char* p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

static void write_wav_header(FILE* f, uint64_t frames)
{
    uint32_t data_bytes = static_cast<uint32_t>(std::min<uint64_t>(frames * 4, 0xFFFFFFFFu - 36));
    unsigned char h[44];
    std::memcpy(h, "RIFF", 4);
    put_le(h + 4, 36 + data_bytes, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put_le(h + 16, 16, 4);
    put_le(h + 20, 1, 2);  // PCM
    put_le(h + 22, AUDIO_CHANNELS, 2);
    put_le(h + 24, AUDIO_RATE, 4);
    put_le(h + 28, AUDIO_RATE * AUDIO_CHANNELS * 2, 4);
    put_le(h + 32, AUDIO_CHANNELS * 2, 2);
    put_le(h + 34, 16, 2);
    std::memcpy(h + 36, "data", 4);
    put_le(h + 40, data_bytes, 4);
    std::fseek(f, 0, SEEK_SET);
    if (std::fwrite(h, 1, sizeof h, f) != sizeof h) hl.wav_failed = true;
}

// Renders up to the clock; the caller holds pump_lock.
static void pump_locked()
{
    // Before the mixer first reached this host no song was open and no WAV was
    // written: the frames due are rendered at that first call instead.
    if (!hl.source) return;
    uint64_t due = frames_due();
    uint64_t done = hl.source->rendered_frames();
    if (due < done) {
        // The virtual clock went back (reset between runs): start a new timeline.
        hl.source->rebase(due);
        return;
    }
    hl.block.resize(HL_BLOCK * AUDIO_CHANNELS);
    while (done < due) {
        int n = static_cast<int>(std::min<uint64_t>(due - done, HL_BLOCK));
        hl.source->render(hl.block.data(), n);
        done += n;
        if (!hl.wav) continue;
        hl.pcm.resize(static_cast<size_t>(n) * AUDIO_CHANNELS);
        for (int i = 0; i < n * AUDIO_CHANNELS; i++) {
            // Float to 16-bit: clip, then truncate towards zero as written.
            float v = std::clamp(hl.block[i], -1.0f, 1.0f) * 32767.0f;
            hl.pcm[i] = static_cast<int16_t>(v);
        }
        if (std::fwrite(hl.pcm.data(), sizeof(int16_t), hl.pcm.size(), hl.wav) != hl.pcm.size()) hl.wav_failed = true;
        hl.wav_frames += n;
    }
}

// ---- host interface ---------------------------------------------------------

int audio_host_open(const AudioSource* source)
{
    std::lock_guard<std::mutex> g(hl.pump_lock);
    hl.source = source;
    pump_locked();  // songs start at the current clock
    return 1;
}

void audio_host_close()
{
    std::lock_guard<std::mutex> g(hl.pump_lock);
    pump_locked();
}

void audio_host_pump()
{
    std::lock_guard<std::mutex> g(hl.pump_lock);
    pump_locked();
}

uint64_t audio_host_heard_frames()
{
    // Nothing is queued: what is rendered is heard.
    if (!hl.source) return 0;
    return hl.source->rendered_frames();
}

// ---- WAV --------------------------------------------------------------------

int audio_host_wav_begin(const AudioSource* source, const char* path)
{
    if (hl.wav) audio_host_wav_end();
    std::lock_guard<std::mutex> g(hl.pump_lock);
    hl.source = source;
    pump_locked();  // what came before is not part of the file
    hl.wav = std::fopen(path, "wb");
    if (!hl.wav) return 0;
    hl.wav_frames = 0;
    hl.wav_failed = false;
    write_wav_header(hl.wav, 0);
    return !hl.wav_failed;
}

int audio_host_wav_end()
{
    std::lock_guard<std::mutex> g(hl.pump_lock);
    if (!hl.wav) return 0;
    pump_locked();
    write_wav_header(hl.wav, hl.wav_frames);
    bool ok = !hl.wav_failed;
    if (std::fclose(hl.wav) != 0) ok = false;
    hl.wav = nullptr;
    return ok;
}
