// Composition and synthesis of the demo's music. Drums, a sub bass, a pad of
// detuned saws and a pulse lead, all generated from sums of sines and a fixed
// noise generator, so the module is the same on every run.
//
// Key A minor, four bars a pattern (16 rows a bar at 4 rows a beat, 125 BPM).
// Kick on rows 0/16/32/48 and snare on rows 4/20/36/52 carry the accents the
// effects pulse to.
#include "tools/mkassets/music.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace music {
namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double RATE = 44100.0;
// Pitched samples loop over whole cycles of this period: 44100 / 168 = 262.5 Hz.
constexpr int PERIOD = 168;

struct Noise {
    uint32_t state;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return ((state >> 8) & 0xFFFF) / 32767.5 - 1.0;
    }
};

std::vector<int16_t> to_pcm(const std::vector<double>& v, double peak)
{
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    double g = m > 0 ? peak / m : 0;
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) out[i] = static_cast<int16_t>(std::lround(v[i] * g * 32767.0));
    return out;
}

// Fades the last few milliseconds to silence so a one-shot never ends in a click.
void fade_tail(std::vector<double>& v, int frames)
{
    int n = static_cast<int>(v.size());
    for (int i = 0; i < frames && i < n; ++i) v[n - 1 - i] *= static_cast<double>(i) / frames;
}

XmSample one_shot(const char* name, std::vector<double> v, uint8_t volume)
{
    fade_tail(v, 220);
    XmSample s;
    s.name = name;
    s.bits = 16;
    s.data = to_pcm(v, 0.97);
    s.volume = volume;
    xm_tune_sample(&s, RATE);
    return s;
}

XmSample kick()
{
    std::vector<double> v(static_cast<size_t>(RATE * 0.42));
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        double t = i / RATE;
        double f = 45.0 + 110.0 * std::exp(-t * 28.0);
        phase += 2 * PI * f / RATE;
        double body = std::sin(phase) * std::exp(-t * 7.5);
        double click = std::exp(-t * 900.0) * 0.5;
        v[i] = std::tanh((body + click) * 1.6);
    }
    return one_shot("kick", v, 64);
}

XmSample snare()
{
    std::vector<double> v(static_cast<size_t>(RATE * 0.28));
    Noise n{12345};
    double lp = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        double t = i / RATE;
        double raw = n.next();
        lp += (raw - lp) * 0.45;
        double noise = lp * std::exp(-t * 16.0);
        double tone = (std::sin(2 * PI * 185.0 * t) + 0.5 * std::sin(2 * PI * 330.0 * t)) * std::exp(-t * 30.0);
        v[i] = noise * 0.9 + tone * 0.6;
    }
    return one_shot("snare", v, 56);
}

XmSample hat(bool open)
{
    std::vector<double> v(static_cast<size_t>(RATE * (open ? 0.25 : 0.06)));
    Noise n{open ? 777u : 555u};
    double prev = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        double t = i / RATE;
        double raw = n.next();
        double hp = raw - prev;  // a first difference keeps the hiss, drops the body
        prev = raw;
        v[i] = hp * std::exp(-t * (open ? 14.0 : 70.0));
    }
    return one_shot(open ? "open hat" : "closed hat", v, open ? 30 : 34);
}

// A looped tone over `cycles` periods: harmonic h has amplitude amp(h).
template <typename Amp>
XmSample looped_tone(const char* name, int cycles, int harmonics, Amp amp, uint8_t volume, double peak)
{
    int length = PERIOD * cycles;
    std::vector<double> v(static_cast<size_t>(length), 0.0);
    for (int h = 1; h <= harmonics; ++h) {
        double a = amp(h);
        if (a == 0) continue;
        for (int i = 0; i < length; ++i) v[i] += a * std::sin(2 * PI * h * cycles * i / length);
    }
    XmSample s;
    s.name = name;
    s.bits = 16;
    s.data = to_pcm(v, peak);
    s.loop_start = 0;
    s.loop_length = static_cast<uint32_t>(length);
    s.loop_type = XM_LOOP_FORWARD;
    s.volume = volume;
    // The sample's C-4 is 262.5 Hz at 44100; tune so C-4 plays middle C.
    xm_tune_sample(&s, RATE * 261.6255653 / 262.5);
    return s;
}

XmSample bass()
{
    return looped_tone("sub bass", 4, 6, [](int h) { return h == 1 ? 1.0 : h == 2 ? 0.35 : h == 3 ? 0.12 : 0.0; }, 60,
                       0.95);
}

XmSample lead()
{
    // A 30% pulse, band-limited and rolled off for a softer edge.
    return looped_tone("pulse lead", 4, 24,
                       [](int h) { return std::sin(PI * h * 0.3) / h * std::exp(-h * 0.08); }, 44, 0.9);
}

// Three detuned saws that each complete a whole number of cycles in the loop.
XmSample pad()
{
    const int cycles = 256;
    const int length = PERIOD * cycles;
    std::vector<double> v(static_cast<size_t>(length), 0.0);
    const int detune[3] = {cycles - 1, cycles, cycles + 1};
    for (int o = 0; o < 3; ++o)
        for (int h = 1; h <= 20; ++h) {
            double a = 1.0 / (h * h * 0.5 + h * 0.5);
            double w = 2 * PI * h * detune[o] / length;
            double ph = o * 2.1 + h * 0.37;
            for (int i = 0; i < length; ++i) v[i] += a * std::sin(w * i + ph);
        }
    XmSample s;
    s.name = "pad";
    s.bits = 16;
    s.data = to_pcm(v, 0.9);
    s.loop_start = 0;
    s.loop_length = static_cast<uint32_t>(length);
    s.loop_type = XM_LOOP_FORWARD;
    s.volume = 40;
    xm_tune_sample(&s, RATE * 261.6255653 / 262.5);
    return s;
}

XmEnvelope envelope(std::initializer_list<std::pair<int, int>> points, int sustain)
{
    XmEnvelope e;
    for (auto [x, y] : points) {
        e.x[e.points] = static_cast<uint16_t>(x);
        e.y[e.points] = static_cast<uint16_t>(y);
        ++e.points;
    }
    e.sustain = static_cast<uint8_t>(sustain);
    e.flags = XM_ENV_ON | XM_ENV_SUSTAIN;
    return e;
}

// Instrument numbers (1-based, as in the pattern cells).
enum : uint8_t { KICK = 1, SNARE, HAT, OPEN_HAT, BASS, PAD, LEAD };

// Channels. The echo channel repeats the lead's notes a dotted eighth later. The
// last four are written by the mastering pass only (see master()).
enum : int {
    CH_KICK, CH_SNARE, CH_HAT, CH_BASS, CH_PAD1, CH_PAD2, CH_PAD3, CH_LEAD, CH_ECHO,
    CH_KICK_TWIN, CH_SNARE_TWIN, CH_BASS_TWIN, CH_LEAD_TWIN, CHANNELS
};

// The stereo image (0 left .. 255 right): kick and bass in the centre, the snare
// a touch left, the hats apart, the pad's three voices spread wide, the lead a
// little right (on its twin pair, below) with its echo answering from the left.
constexpr uint8_t PAN_HAT = 184, PAN_OPEN_HAT = 76, PAN_ECHO = 72;
constexpr uint8_t PAN_PAD[3] = {40, 128, 216};
constexpr int ECHO_ROWS = 3;

// The mix is composed with the volumes balanced against each other; mastering
// then raises it all by this factor, to a peak just under -1 dBFS. A channel
// panned to the middle reaches only half of full scale on each side, and the
// loudest drums and the bass would need volumes above the format's 64: each plays
// on a pair of channels instead, one panned hard left and its twin to the right,
// both at half the volume. Together they are the same sound, twice as loud.
constexpr double MASTER_GAIN = 1.8;
struct Twin {
    int channel, twin;
    uint8_t pan, twin_pan;
};
constexpr Twin TWINS[] = {
    {CH_KICK, CH_KICK_TWIN, 0, 255},
    {CH_SNARE, CH_SNARE_TWIN, 0, 224},
    {CH_BASS, CH_BASS_TWIN, 0, 255},
    {CH_LEAD, CH_LEAD_TWIN, 96, 208},
};

// Notes by name: octave 4 holds middle C (XM note 49).
constexpr uint8_t note(int semitone_from_c4) { return static_cast<uint8_t>(XM_NOTE_C4 + semitone_from_c4); }
constexpr int A = -3, C = 0, D = 2, E = 4, F = 5, G = 7;

struct Chord {
    int root;        // bass note, semitones from C-4
    int tones[3];    // pad notes, semitones from C-4
};

// i - VI - III - VII in A minor, voiced close around middle C.
constexpr Chord verse[4] = {
    {A - 12, {A, C, E}}, {F - 24, {A, C, F}}, {C - 12, {G - 12, C, E}}, {G - 24, {G - 12, D, G}}};
// The credits move to iv - i - VI - VII.
constexpr Chord credits[4] = {
    {D - 12, {A, D, F}}, {A - 12, {A, C, E}}, {F - 24, {A, C, F}}, {G - 24, {G - 12, D, G}}};

// The theme: row within the pattern, semitones from C-4, length in rows.
struct Note {
    int row, pitch, length;
};
constexpr Note theme_a[] = {
    {0, 16, 3},  {3, 14, 3},  {6, 12, 2},  {8, 9, 4},   {12, 12, 4},  {16, 12, 3}, {19, 9, 3},
    {22, 5, 2},  {24, 9, 6},  {30, 12, 2}, {32, 7, 3},  {35, 12, 3},  {38, 16, 2}, {40, 14, 6},
    {46, 12, 2}, {48, 14, 3}, {51, 11, 3}, {54, 7, 2},  {56, 14, 4},  {60, 11, 4},
};
constexpr Note theme_b[] = {
    {0, 16, 3},  {3, 14, 3},  {6, 12, 2},  {8, 9, 4},   {12, 12, 4},  {16, 12, 3}, {19, 9, 3},
    {22, 5, 2},  {24, 9, 6},  {30, 12, 2}, {32, 7, 3},  {35, 12, 3},  {38, 16, 2}, {40, 19, 6},
    {46, 16, 2}, {48, 16, 3}, {51, 14, 3}, {54, 11, 2}, {56, 16, 8},
};

struct Part {
    int kicks = 0;      // 0 none, 1 the bar's downbeat, 2 the breakbeat
    int snares = 0;     // 0 none, 1 the second beat, 2 backbeats, 3 with ghost notes
    bool fill = false;  // a snare roll through the last two beats
    int hats = 0;       // 0 none, 1 eighths, 2 sixteenths with an open hat
    bool bass = false;
    bool pad = true;
    const Chord* chords = verse;
    const Note* theme = nullptr;
    size_t theme_notes = 0;
    bool arpeggio = false;
    bool ending = false;
};

void put_note(XmSong* song, int p, int row, int ch, uint8_t n, uint8_t ins, int vol)
{
    XmCell* c = xm_cell(song, p, row, ch);
    c->note = n;
    c->instrument = ins;
    c->volume = static_cast<uint8_t>(0x10 + std::clamp(vol, 0, 64));
}

// Pans the channel from this row's note on (a note with an instrument resets it).
void put_pan(XmSong* song, int p, int row, int ch, uint8_t pan)
{
    XmCell* c = xm_cell(song, p, row, ch);
    c->effect = XM_FX_PANNING;
    c->param = pan;
}

// Releases the channel's note. A release due past the pattern's end comes on its
// last row instead: the next pattern may have nothing for the channel (the theme
// before the break and before the outro), and the note would ring on through it.
void put_off(XmSong* song, int p, int row, int ch)
{
    XmCell* c = xm_cell(song, p, std::min(row, ROWS - 1), ch);
    if (c->note == 0) c->note = XM_NOTE_OFF;
}

int build(XmSong* song, const Part& part)
{
    int p = xm_add_pattern(song, ROWS);
    for (int bar = 0; bar < 4; ++bar) {
        int b = bar * 16;
        const Chord& chord = part.chords[bar];
        bool fill_bar = part.fill && bar == 3;
        // Drums. The accents: kick on each bar's first row, snare on its fifth.
        if (part.kicks >= 1) put_note(song, p, b, CH_KICK, XM_NOTE_C4, KICK, 64);
        if (part.kicks >= 2) {
            put_note(song, p, b + 10, CH_KICK, XM_NOTE_C4, KICK, 50);
            if (bar % 2 == 1) put_note(song, p, b + 7, CH_KICK, XM_NOTE_C4, KICK, 38);
        }
        if (part.snares >= 1) put_note(song, p, b + 4, CH_SNARE, XM_NOTE_C4, SNARE, 64);
        if (part.snares >= 2 && !fill_bar) put_note(song, p, b + 12, CH_SNARE, XM_NOTE_C4, SNARE, 52);
        if (part.snares >= 3 && !fill_bar) {
            put_note(song, p, b + 7, CH_SNARE, XM_NOTE_C4, SNARE, 16);
            put_note(song, p, b + 15, CH_SNARE, XM_NOTE_C4, SNARE, 20);
        }
        if (fill_bar) {
            const int rows[] = {8, 10, 12, 13, 14, 15};
            int vol = 30;
            for (int r : rows) {
                put_note(song, p, b + r, CH_SNARE, XM_NOTE_C4, SNARE, vol);
                vol += 6;
            }
        }
        if (part.hats >= 1) {
            for (int r = 0; r < 16; r += 2) {
                bool off_beat = (r % 4) == 2;
                if (part.hats >= 2 && r == 14)
                    put_note(song, p, b + r, CH_HAT, XM_NOTE_C4, OPEN_HAT, 40);
                else
                    put_note(song, p, b + r, CH_HAT, XM_NOTE_C4, HAT, off_beat ? 44 : 26);
            }
            if (part.hats >= 2)
                for (int r = 1; r < 14; r += 4) put_note(song, p, b + r, CH_HAT, XM_NOTE_C4, HAT, 16);
        }
        // Sub bass: root, a pushed root, the octave, and the fifth leading on.
        if (part.bass) {
            int r = chord.root;
            if (part.ending) {
                put_note(song, p, b, CH_BASS, note(r), BASS, 56);
            } else {
                put_note(song, p, b, CH_BASS, note(r), BASS, 64);
                put_note(song, p, b + 3, CH_BASS, note(r), BASS, 48);
                put_note(song, p, b + 6, CH_BASS, note(r + 12), BASS, 44);
                put_off(song, p, b + 8, CH_BASS);
                put_note(song, p, b + 10, CH_BASS, note(r), BASS, 56);
                put_note(song, p, b + 14, CH_BASS, note(r + 7), BASS, 46);
            }
        }
        if (part.pad) {
            const int ch[3] = {CH_PAD1, CH_PAD2, CH_PAD3};
            for (int k = 0; k < 3; ++k) {
                put_note(song, p, b, ch[k], note(chord.tones[k]), PAD, 36);
                put_pan(song, p, b, ch[k], PAN_PAD[k]);
            }
        }
        if (part.arpeggio) {
            for (int r = 0; r < 16; r += 2) {
                int tone = chord.tones[(r / 2) % 3] + 12 + ((r / 2) % 4 == 3 ? 12 : 0);
                put_note(song, p, b + r, CH_LEAD, note(tone), LEAD, 22 + bar * 6);
            }
        }
    }
    for (size_t i = 0; i < part.theme_notes; ++i) {
        const Note& n = part.theme[i];
        put_note(song, p, n.row, CH_LEAD, note(n.pitch), LEAD, 48);
        put_off(song, p, n.row + n.length, CH_LEAD);
    }
    if (part.ending) {
        put_note(song, p, 0, CH_LEAD, note(9), LEAD, 40);
        put_off(song, p, 48, CH_LEAD);
        put_off(song, p, 56, CH_PAD1);
        put_off(song, p, 56, CH_PAD2);
        put_off(song, p, 56, CH_PAD3);
        put_off(song, p, 60, CH_BASS);
    }
    // The echo: the lead's notes and releases, quieter; a note that would fall past
    // the pattern's end is dropped, as the next pattern may not follow the lead.
    for (int row = 0; row < ROWS; ++row) {
        const XmCell lead = *xm_cell(song, p, row, CH_LEAD);
        if (lead.note == XM_NOTE_OFF) {
            put_off(song, p, row + ECHO_ROWS, CH_ECHO);
        } else if (lead.note && row + ECHO_ROWS < ROWS) {
            put_note(song, p, row + ECHO_ROWS, CH_ECHO, lead.note, lead.instrument, (lead.volume - 0x10) * 9 / 20);
            put_pan(song, p, row + ECHO_ROWS, CH_ECHO, PAN_ECHO);
        }
    }
    return p;
}

// Each channel's note volumes scaled by the master gain (halved on twinned
// channels), or by as much of it as its loudest note allows: a channel's fader,
// so its own dynamics stay. Then the twins get their channel's notes, each side
// its panning. (A note's volume column sets the volume outright: the samples'
// default volumes play no part.)
void master(XmSong* song)
{
    for (int ch = 0; ch < CH_KICK_TWIN; ++ch) {
        double gain = MASTER_GAIN;
        for (const Twin& t : TWINS)
            if (t.channel == ch) gain /= 2;
        int loudest = 0;
        for (size_t p = 0; p < song->patterns.size(); ++p)
            for (int row = 0; row < ROWS; ++row) {
                const XmCell* c = xm_cell(song, static_cast<int>(p), row, ch);
                if (c->instrument) loudest = std::max(loudest, c->volume - 0x10);
            }
        if (loudest * gain > 64) gain = 64.0 / loudest;
        for (size_t p = 0; p < song->patterns.size(); ++p)
            for (int row = 0; row < ROWS; ++row) {
                XmCell* c = xm_cell(song, static_cast<int>(p), row, ch);
                if (c->instrument) c->volume = static_cast<uint8_t>(0x10 + std::lround((c->volume - 0x10) * gain));
            }
    }
    for (size_t p = 0; p < song->patterns.size(); ++p)
        for (int row = 0; row < ROWS; ++row)
            for (const Twin& t : TWINS) {
                XmCell* c = xm_cell(song, static_cast<int>(p), row, t.channel);
                XmCell* twin = xm_cell(song, static_cast<int>(p), row, t.twin);
                *twin = *c;
                if (c->instrument) {
                    c->effect = twin->effect = XM_FX_PANNING;
                    c->param = t.pan;
                    twin->param = t.twin_pan;
                }
            }
}

}  // namespace

XmSong compose()
{
    XmSong song;
    song.name = "ragga";
    song.channels = CHANNELS;
    song.speed = SPEED;
    song.bpm = BPM;
    song.restart = LOOP_ORDER;

    auto panned = [](XmSample s, uint8_t pan) {
        s.panning = pan;
        return s;
    };
    song.instruments.push_back(xm_instrument_single("kick", kick()));
    song.instruments.push_back(xm_instrument_single("snare", snare()));
    song.instruments.push_back(xm_instrument_single("closed hat", panned(hat(false), PAN_HAT)));
    song.instruments.push_back(xm_instrument_single("open hat", panned(hat(true), PAN_OPEN_HAT)));
    XmInstrument bass_ins = xm_instrument_single("sub bass", bass());
    bass_ins.volume_envelope = envelope({{0, 0}, {1, 64}, {12, 52}}, 2);
    bass_ins.fadeout = 4096;
    song.instruments.push_back(bass_ins);
    XmInstrument pad_ins = xm_instrument_single("pad", pad());
    pad_ins.volume_envelope = envelope({{0, 0}, {14, 64}, {60, 48}}, 2);
    pad_ins.fadeout = 600;
    song.instruments.push_back(pad_ins);
    XmInstrument lead_ins = xm_instrument_single("pulse lead", lead());
    lead_ins.volume_envelope = envelope({{0, 0}, {1, 64}, {10, 44}}, 2);
    lead_ins.fadeout = 2048;
    lead_ins.vibrato_type = 0;
    lead_ins.vibrato_sweep = 20;
    lead_ins.vibrato_depth = 4;
    lead_ins.vibrato_rate = 10;
    song.instruments.push_back(lead_ins);

    Part intro_a;
    intro_a.kicks = 1;
    intro_a.snares = 1;
    Part intro_b = intro_a;
    intro_b.hats = 1;
    intro_b.bass = true;
    Part intro_c = intro_b;
    intro_c.kicks = 2;
    intro_c.snares = 2;
    intro_c.fill = true;
    Part build_a;
    build_a.kicks = 2;
    build_a.snares = 3;
    build_a.hats = 2;
    build_a.bass = true;
    Part build_b = build_a;
    build_b.arpeggio = true;
    Part build_c = build_b;
    build_c.fill = true;
    Part theme_pa = build_a;
    theme_pa.theme = theme_a;
    theme_pa.theme_notes = std::size(theme_a);
    Part theme_pb = build_a;
    theme_pb.theme = theme_b;
    theme_pb.theme_notes = std::size(theme_b);
    theme_pb.fill = true;
    Part brk;
    brk.hats = 1;
    brk.bass = true;
    Part cred = build_a;
    cred.chords = credits;
    Part outro;
    outro.kicks = 1;
    outro.snares = 2;
    outro.hats = 1;
    outro.bass = true;
    Part ending;
    ending.kicks = 1;
    ending.bass = true;
    ending.ending = true;

    int p_intro_a = build(&song, intro_a), p_intro_b = build(&song, intro_b), p_intro_c = build(&song, intro_c);
    int p_build_a = build(&song, build_a), p_build_b = build(&song, build_b), p_build_c = build(&song, build_c);
    int p_theme_a = build(&song, theme_pa), p_theme_b = build(&song, theme_pb);
    int p_break = build(&song, brk), p_credits = build(&song, cred);
    int p_outro = build(&song, outro), p_ending = build(&song, ending);

    const int arrangement[ORDERS] = {
        p_intro_a, p_intro_a, p_intro_b, p_intro_b, p_intro_c,  // intro
        p_build_a, p_build_a, p_build_b, p_build_c,             // build
        p_theme_a, p_theme_b, p_theme_a, p_theme_b,             // main theme
        p_break,   p_break,                                     // break
        p_credits, p_credits, p_credits,                        // credits
        p_theme_a, p_theme_b,                                   // reprise
        p_outro,   p_outro,                                     // outro, looped
        p_ending,                                               // never finished
    };
    for (int p : arrangement) song.orders.push_back(static_cast<uint8_t>(p));
    master(&song);
    return song;
}

}  // namespace music
