// Modules with known timing for the music tests, made with the XM writer:
// a looping tone instrument and patterns that place a note every few rows.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/xm/xm_writer.h"

// A sine of `period` frames, `frames` long, as 8- or 16-bit values.
inline XmSample test_sine_sample(int bits, int period, int frames, int amplitude)
{
    XmSample s;
    s.name = bits == 16 ? "sine16" : "sine8";
    s.bits = bits;
    s.data.resize(frames);
    for (int i = 0; i < frames; i++)
        s.data[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * 3.14159265358979 * i / period)));
    return s;
}

// `orders` orders over `patterns` 64-row patterns (order i plays pattern i % patterns),
// one tone instrument, a note every 4 rows on channel 0 of every pattern.
inline XmSong test_song(int orders, int patterns, int speed, int bpm, int channels = 4)
{
    XmSong song;
    song.name = "test song";
    song.channels = channels;
    song.speed = speed;
    song.bpm = bpm;
    XmSample tone = test_sine_sample(8, 100, 1000, 100);
    tone.loop_type = XM_LOOP_FORWARD;
    tone.loop_start = 0;
    tone.loop_length = 1000;
    xm_tune_sample(&tone, 44100.0);
    song.instruments.push_back(xm_instrument_single("tone", tone));
    for (int p = 0; p < patterns; p++) {
        int pat = xm_add_pattern(&song, 64);
        for (int r = 0; r < 64; r += 4) {
            XmCell* c = xm_cell(&song, pat, r, 0);
            c->note = static_cast<uint8_t>(XM_NOTE_C4 + (p % 12));
            c->instrument = 1;
        }
    }
    for (int o = 0; o < orders; o++) song.orders.push_back(static_cast<uint8_t>(o % patterns));
    return song;
}

// The file bytes of a song that must be valid.
inline std::vector<uint8_t> test_song_bytes(const XmSong& song)
{
    std::vector<uint8_t> bytes;
    xm_write(song, &bytes);
    return bytes;
}

// Writes a song into the test scratch folder; returns its path.
inline std::string test_song_file(const XmSong& song, const std::string& name)
{
    std::string path = std::string(TAVIK_BINARY_DIR) + "/" + name;
    xm_write_file(song, path.c_str());
    return path;
}

// The 16-bit samples of a WAV file written by the headless host (44-byte header),
// empty if the file is not such a WAV.
inline std::vector<int16_t> test_read_wav(const std::string& path, int* channels = nullptr, int* rate = nullptr)
{
    std::vector<int16_t> samples;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return samples;
    unsigned char h[44];
    if (std::fread(h, 1, 44, f) == 44 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVEfmt ", 8) == 0 &&
        std::memcmp(h + 36, "data", 4) == 0) {
        uint32_t bytes = h[40] | h[41] << 8 | h[42] << 16 | static_cast<uint32_t>(h[43]) << 24;
        if (channels) *channels = h[22] | h[23] << 8;
        if (rate) *rate = h[24] | h[25] << 8 | h[26] << 16 | h[27] << 24;
        samples.resize(bytes / 2);
        samples.resize(std::fread(samples.data(), 2, samples.size(), f));
    }
    std::fclose(f);
    return samples;
}

// Root mean square of interleaved samples [from, to).
inline double test_rms(const std::vector<int16_t>& s, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; i++) sum += static_cast<double>(s[i]) * s[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}
