// The XM writer: lays out an XmSong as FastTracker 2 writes it (header of 276
// bytes, packed patterns, 263-byte instrument headers, 40-byte sample headers,
// delta-encoded sample data), checking every limit before a byte is written.
#include "tools/xm/xm_writer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// ---- module state -----------------------------------------------------------

static std::string xm_error = "No error";

// ---- private helpers --------------------------------------------------------

static int xm_fail(const std::string& reason)
{
    xm_error = "[XM] " + reason;
    return 0;
}

static void put8(std::vector<uint8_t>* out, int value)
{
    out->push_back(static_cast<uint8_t>(value));
}

static void put16(std::vector<uint8_t>* out, int value)
{
    out->push_back(static_cast<uint8_t>(value & 0xFF));
    out->push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

static void put32(std::vector<uint8_t>* out, uint32_t value)
{
    for (int i = 0; i < 4; i++) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A fixed-width text field, padded with zeros (FT2 pads names with spaces or
// zeros; both load everywhere).
static void put_text(std::vector<uint8_t>* out, const std::string& text, size_t width)
{
    for (size_t i = 0; i < width; i++) out->push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

static void put16_at(std::vector<uint8_t>* out, size_t at, int value)
{
    (*out)[at] = static_cast<uint8_t>(value & 0xFF);
    (*out)[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

static int check_envelope(const XmEnvelope& env, const char* what, int instrument)
{
    char where[64];
    std::snprintf(where, sizeof where, "instrument %d %s envelope: ", instrument + 1, what);
    if (env.points < 0 || env.points > XM_MAX_ENVELOPE_POINTS) return xm_fail(std::string(where) + "more than 12 points");
    if ((env.flags & XM_ENV_ON) && env.points < 1) return xm_fail(std::string(where) + "switched on without points");
    for (int i = 0; i < env.points; i++) {
        if (env.y[i] > 64) return xm_fail(std::string(where) + "value above 64");
        if (i == 0 && env.x[0] != 0) return xm_fail(std::string(where) + "first point not at tick 0");
        if (i > 0 && env.x[i] <= env.x[i - 1]) return xm_fail(std::string(where) + "ticks not increasing");
    }
    if (env.points > 0) {
        if ((env.flags & XM_ENV_SUSTAIN) && env.sustain >= env.points)
            return xm_fail(std::string(where) + "sustain point out of range");
        if ((env.flags & XM_ENV_LOOP) && (env.loop_start > env.loop_end || env.loop_end >= env.points))
            return xm_fail(std::string(where) + "loop points out of range");
    }
    return 1;
}

static int check_sample(const XmSample& s, int instrument, int index)
{
    char where[64];
    std::snprintf(where, sizeof where, "instrument %d sample %d: ", instrument + 1, index + 1);
    if (s.bits != 8 && s.bits != 16) return xm_fail(std::string(where) + "bits must be 8 or 16");
    if (s.name.size() > 22) return xm_fail(std::string(where) + "name longer than 22 characters");
    if (s.volume > 64) return xm_fail(std::string(where) + "volume above 64");
    // Lengths are stored in bytes in a 32-bit field.
    if (s.data.size() > 0x3FFFFFFFu) return xm_fail(std::string(where) + "too long");
    if (s.bits == 8)
        for (int16_t v : s.data)
            if (v < -128 || v > 127) return xm_fail(std::string(where) + "8-bit value out of range");
    if (s.loop_type > XM_LOOP_PINGPONG) return xm_fail(std::string(where) + "unknown loop type");
    if (s.loop_type != XM_LOOP_NONE) {
        if (s.loop_length == 0) return xm_fail(std::string(where) + "loop of length 0");
        if (s.loop_start > s.data.size() || s.loop_length > s.data.size() - s.loop_start)
            return xm_fail(std::string(where) + "loop past the end");
    }
    return 1;
}

static int check_song(const XmSong& song)
{
    if (song.name.size() > 20) return xm_fail("song name longer than 20 characters");
    if (song.tracker.size() > 20) return xm_fail("tracker name longer than 20 characters");
    if (song.channels < 1 || song.channels > XM_MAX_CHANNELS) return xm_fail("channels must be 1 .. 32");
    if (song.orders.empty() || song.orders.size() > XM_MAX_ORDERS) return xm_fail("orders must be 1 .. 256");
    if (song.restart < 0 || song.restart >= static_cast<int>(song.orders.size()))
        return xm_fail("restart position past the order list");
    if (song.speed < 1 || song.speed > 31) return xm_fail("speed must be 1 .. 31");
    if (song.bpm < 32 || song.bpm > 255) return xm_fail("bpm must be 32 .. 255");
    if (song.patterns.empty() || song.patterns.size() > XM_MAX_PATTERNS) return xm_fail("patterns must be 1 .. 256");
    for (uint8_t o : song.orders)
        if (o >= song.patterns.size()) return xm_fail("order refers to a missing pattern");
    for (size_t p = 0; p < song.patterns.size(); p++) {
        const XmPattern& pat = song.patterns[p];
        if (pat.rows < 1 || pat.rows > XM_MAX_ROWS) return xm_fail("pattern rows must be 1 .. 256");
        if (pat.cells.size() != static_cast<size_t>(pat.rows) * song.channels)
            return xm_fail("pattern cells do not match rows times channels");
        for (const XmCell& c : pat.cells) {
            if (c.note > XM_NOTE_OFF) return xm_fail("note above 97");
            if (c.instrument > song.instruments.size()) return xm_fail("cell refers to a missing instrument");
            if (c.effect > 35) return xm_fail("effect number above 35");
        }
    }
    if (song.instruments.size() > XM_MAX_INSTRUMENTS) return xm_fail("more than 128 instruments");
    for (size_t i = 0; i < song.instruments.size(); i++) {
        const XmInstrument& ins = song.instruments[i];
        if (ins.name.size() > 22) return xm_fail("instrument name longer than 22 characters");
        if (ins.samples.size() > XM_MAX_SAMPLES) return xm_fail("more than 16 samples in an instrument");
        for (int n = 0; n < 96; n++)
            if (!ins.samples.empty() && ins.note_map[n] >= ins.samples.size())
                return xm_fail("note map refers to a missing sample");
        if (!check_envelope(ins.volume_envelope, "volume", static_cast<int>(i))) return 0;
        if (!check_envelope(ins.panning_envelope, "panning", static_cast<int>(i))) return 0;
        for (size_t s = 0; s < ins.samples.size(); s++)
            if (!check_sample(ins.samples[s], static_cast<int>(i), static_cast<int>(s))) return 0;
    }
    return 1;
}

// Rows packed as FT2 does: a cell with every field present is five raw bytes,
// any other cell a flag byte (0x80 | which fields follow) and those fields.
static void write_pattern(std::vector<uint8_t>* out, const XmPattern& pat, int channels)
{
    put32(out, 9);  // header length
    put8(out, 0);   // packing type
    put16(out, pat.rows);
    size_t size_at = out->size();
    put16(out, 0);  // packed size, filled in below
    size_t start = out->size();
    for (int r = 0; r < pat.rows; r++) {
        for (int ch = 0; ch < channels; ch++) {
            const XmCell& c = pat.cells[static_cast<size_t>(r) * channels + ch];
            uint8_t mask = (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) | (c.effect ? 8 : 0) |
                           (c.param ? 16 : 0);
            if (mask == 31) {
                put8(out, c.note);
                put8(out, c.instrument);
                put8(out, c.volume);
                put8(out, c.effect);
                put8(out, c.param);
                continue;
            }
            put8(out, 0x80 | mask);
            if (mask & 1) put8(out, c.note);
            if (mask & 2) put8(out, c.instrument);
            if (mask & 4) put8(out, c.volume);
            if (mask & 8) put8(out, c.effect);
            if (mask & 16) put8(out, c.param);
        }
    }
    put16_at(out, size_at, static_cast<int>(out->size() - start));
}

static void write_envelope_points(std::vector<uint8_t>* out, const XmEnvelope& env)
{
    for (int i = 0; i < XM_MAX_ENVELOPE_POINTS; i++) {
        put16(out, i < env.points ? env.x[i] : 0);
        put16(out, i < env.points ? env.y[i] : 0);
    }
}

static void write_instrument(std::vector<uint8_t>* out, const XmInstrument& ins)
{
    if (ins.samples.empty()) {
        // An empty slot: the short header FT2 itself writes for it.
        put32(out, 29);
        put_text(out, ins.name, 22);
        put8(out, 0);
        put16(out, 0);
        return;
    }
    put32(out, 263);
    put_text(out, ins.name, 22);
    put8(out, 0);  // type
    put16(out, static_cast<int>(ins.samples.size()));
    put32(out, 40);  // sample header size
    for (int n = 0; n < 96; n++) put8(out, ins.note_map[n]);
    write_envelope_points(out, ins.volume_envelope);
    write_envelope_points(out, ins.panning_envelope);
    put8(out, ins.volume_envelope.points);
    put8(out, ins.panning_envelope.points);
    put8(out, ins.volume_envelope.sustain);
    put8(out, ins.volume_envelope.loop_start);
    put8(out, ins.volume_envelope.loop_end);
    put8(out, ins.panning_envelope.sustain);
    put8(out, ins.panning_envelope.loop_start);
    put8(out, ins.panning_envelope.loop_end);
    put8(out, ins.volume_envelope.flags);
    put8(out, ins.panning_envelope.flags);
    put8(out, ins.vibrato_type);
    put8(out, ins.vibrato_sweep);
    put8(out, ins.vibrato_depth);
    put8(out, ins.vibrato_rate);
    put16(out, ins.fadeout);
    for (int i = 0; i < 22; i++) put8(out, 0);  // reserved

    for (const XmSample& s : ins.samples) {
        uint32_t bytes_per = s.bits == 16 ? 2 : 1;
        bool looped = s.loop_type != XM_LOOP_NONE;
        put32(out, static_cast<uint32_t>(s.data.size()) * bytes_per);
        put32(out, looped ? s.loop_start * bytes_per : 0);
        put32(out, looped ? s.loop_length * bytes_per : 0);
        put8(out, s.volume);
        put8(out, static_cast<uint8_t>(s.finetune));
        put8(out, (looped ? s.loop_type : 0) | (s.bits == 16 ? 0x10 : 0));
        put8(out, s.panning);
        put8(out, static_cast<uint8_t>(s.relative_note));
        put8(out, 0);  // delta packing
        put_text(out, s.name, 22);
    }
    // Sample data after all headers, each value stored as its difference from the previous.
    for (const XmSample& s : ins.samples) {
        int prev = 0;
        for (int16_t v : s.data) {
            int delta = v - prev;
            prev = v;
            if (s.bits == 16) put16(out, delta & 0xFFFF);
            else put8(out, delta & 0xFF);
        }
    }
}

// ---- public functions -------------------------------------------------------

int xm_add_pattern(XmSong* song, int rows)
{
    XmPattern pat;
    pat.rows = rows;
    pat.cells.assign(static_cast<size_t>(rows > 0 ? rows : 0) * (song->channels > 0 ? song->channels : 0), XmCell{});
    song->patterns.push_back(pat);
    return static_cast<int>(song->patterns.size()) - 1;
}

XmCell* xm_cell(XmSong* song, int pattern, int row, int channel)
{
    return &song->patterns[pattern].cells[static_cast<size_t>(row) * song->channels + channel];
}

void xm_tune_sample(XmSample* sample, double rate_hz)
{
    // C-4 plays an untuned sample at 8363 frames a second; each semitone is a
    // factor 2^(1/12) and finetune divides it into 128 steps.
    double semis = 12.0 * std::log2(rate_hz / 8363.0);
    int steps = static_cast<int>(std::lround(semis * 128.0));
    int rel = steps >= 0 ? steps / 128 : -((-steps + 127) / 128);
    int fine = steps - rel * 128;  // 0 .. 127
    if (fine > 63) {               // keep finetune in -64 .. 63, nearer the note
        rel += 1;
        fine -= 128;
    }
    sample->relative_note = static_cast<int8_t>(rel);
    sample->finetune = static_cast<int8_t>(fine);
}

XmInstrument xm_instrument_single(const std::string& name, const XmSample& sample)
{
    XmInstrument ins;
    ins.name = name;
    ins.samples.push_back(sample);
    std::memset(ins.note_map, 0, sizeof ins.note_map);
    return ins;
}

int xm_write(const XmSong& song, std::vector<uint8_t>* out)
{
    if (!check_song(song)) return 0;
    out->clear();
    put_text(out, "Extended Module: ", 17);
    put_text(out, song.name, 20);
    put8(out, 0x1A);
    put_text(out, song.tracker, 20);
    put16(out, 0x0104);
    put32(out, 276);  // header size, counted from this field
    put16(out, static_cast<int>(song.orders.size()));
    put16(out, song.restart);
    put16(out, song.channels);
    put16(out, static_cast<int>(song.patterns.size()));
    put16(out, static_cast<int>(song.instruments.size()));
    put16(out, song.linear_frequencies ? 1 : 0);
    put16(out, song.speed);
    put16(out, song.bpm);
    for (int i = 0; i < 256; i++) put8(out, i < static_cast<int>(song.orders.size()) ? song.orders[i] : 0);
    for (const XmPattern& pat : song.patterns) write_pattern(out, pat, song.channels);
    for (const XmInstrument& ins : song.instruments) write_instrument(out, ins);
    return 1;
}

int xm_write_file(const XmSong& song, const char* path)
{
    std::vector<uint8_t> bytes;
    if (!xm_write(song, &bytes)) return 0;
    FILE* f = std::fopen(path, "wb");
    if (!f) return xm_fail(std::string("cannot create ") + path);
    size_t n = std::fwrite(bytes.data(), 1, bytes.size(), f);
    int closed = std::fclose(f);
    if (n != bytes.size() || closed != 0) return xm_fail(std::string("cannot write ") + path);
    return 1;
}

const char* xm_error_string()
{
    return xm_error.c_str();
}
