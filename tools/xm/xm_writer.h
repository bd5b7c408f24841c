// The XM writer: builds a FastTracker 2 extended module (version 0x0104) in
// memory from plain records and writes it with delta-encoded 8- or 16-bit samples.
// Tests use it to make modules with known timing; mkassets writes the demo's music.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Limits of the format as FastTracker 2 defines them.
enum : int {
    XM_MAX_CHANNELS = 32,
    XM_MAX_ORDERS = 256,
    XM_MAX_PATTERNS = 256,
    XM_MAX_ROWS = 256,
    XM_MAX_INSTRUMENTS = 128,
    XM_MAX_SAMPLES = 16,        // per instrument
    XM_MAX_ENVELOPE_POINTS = 12,
};

// Note column values: 1 is C-0, 96 is B-7, 97 releases the note.
enum : uint8_t {
    XM_NOTE_NONE = 0,
    XM_NOTE_C4 = 49,  // the note a sample plays at its own tuning (8363 Hz untuned)
    XM_NOTE_OFF = 97,
};

// Sample loop kinds (the low two bits of the sample type byte).
enum : uint8_t {
    XM_LOOP_NONE = 0,
    XM_LOOP_FORWARD = 1,
    XM_LOOP_PINGPONG = 2,
};

// Envelope type bits.
enum : uint8_t {
    XM_ENV_ON = 1,
    XM_ENV_SUSTAIN = 2,
    XM_ENV_LOOP = 4,
};

// Effect numbers of the effect column (the ones a composition usually needs).
enum : uint8_t {
    XM_FX_ARPEGGIO = 0x0,
    XM_FX_PORTA_UP = 0x1,
    XM_FX_PORTA_DOWN = 0x2,
    XM_FX_TONE_PORTA = 0x3,
    XM_FX_VIBRATO = 0x4,
    XM_FX_PANNING = 0x8,       // 0 left .. 0xFF right, until the next note with an instrument
    XM_FX_VOLUME_SLIDE = 0xA,
    XM_FX_JUMP = 0xB,          // to an order
    XM_FX_SET_VOLUME = 0xC,
    XM_FX_BREAK = 0xD,         // to a row of the next order (parameter in decimal digits)
    XM_FX_EXTENDED = 0xE,
    XM_FX_SPEED = 0xF,         // below 0x20 ticks per row, else BPM
};

struct XmEnvelope {
    int points = 0;                         // 0 .. 12
    uint16_t x[XM_MAX_ENVELOPE_POINTS] = {};  // ticks, increasing, the first 0
    uint16_t y[XM_MAX_ENVELOPE_POINTS] = {};  // 0 .. 64
    uint8_t sustain = 0;                    // point indices
    uint8_t loop_start = 0;
    uint8_t loop_end = 0;
    uint8_t flags = 0;                      // XM_ENV_*
};

struct XmSample {
    std::string name;         // up to 22 characters
    int bits = 8;             // 8 or 16
    std::vector<int16_t> data;  // one value a frame; 8-bit samples hold -128 .. 127
    uint32_t loop_start = 0;  // in frames
    uint32_t loop_length = 0;  // in frames; 0 means no loop
    uint8_t loop_type = XM_LOOP_NONE;
    uint8_t volume = 64;      // 0 .. 64
    int8_t finetune = 0;      // 1/128 semitone steps
    uint8_t panning = 128;    // 0 left .. 255 right
    int8_t relative_note = 0;  // semitones added to the played note
};

struct XmInstrument {
    std::string name;             // up to 22 characters
    std::vector<XmSample> samples;  // 0 .. 16
    uint8_t note_map[96] = {};    // sample index per note (C-0 .. B-7)
    XmEnvelope volume_envelope;
    XmEnvelope panning_envelope;
    uint8_t vibrato_type = 0;
    uint8_t vibrato_sweep = 0;
    uint8_t vibrato_depth = 0;
    uint8_t vibrato_rate = 0;
    uint16_t fadeout = 0;
};

// One pattern cell; 0 in every field is an empty cell.
struct XmCell {
    uint8_t note = 0;        // XM_NOTE_*, 1 .. 97
    uint8_t instrument = 0;  // 1-based, 0 for none
    uint8_t volume = 0;      // volume column byte: 0x10 .. 0x50 sets 0 .. 64, others are effects
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct XmPattern {
    int rows = 64;               // 1 .. 256
    std::vector<XmCell> cells;   // rows * channels, row after row
};

struct XmSong {
    std::string name;             // up to 20 characters
    std::string tracker = "Tavik xm writer";  // up to 20 characters
    int channels = 8;             // 1 .. 32
    int restart = 0;              // order the song loops back to
    int speed = 6;                // ticks per row
    int bpm = 125;                // a tick lasts 2.5 / bpm seconds
    bool linear_frequencies = true;
    std::vector<uint8_t> orders;  // pattern index per order, 1 .. 256 entries
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// Appends an empty pattern of `rows` rows sized for the song's channels; returns its index.
int xm_add_pattern(XmSong* song, int rows);

// The cell at (row, channel) of a pattern, which must exist.
XmCell* xm_cell(XmSong* song, int pattern, int row, int channel);

// Sets relative note and finetune so that C-4 plays the sample at `rate_hz` frames a second.
void xm_tune_sample(XmSample* sample, double rate_hz);

// An instrument of one sample mapped to every note.
XmInstrument xm_instrument_single(const std::string& name, const XmSample& sample);

// The whole file in `out` (replaced). 1 on success, 0 when the song breaks a limit
// of the format; xm_error_string says which.
int xm_write(const XmSong& song, std::vector<uint8_t>* out);

// xm_write into a file. 1 on success, 0 on failure.
int xm_write_file(const XmSong& song, const char* path);

// The reason of the last failure, "No error" when none.
const char* xm_error_string();
