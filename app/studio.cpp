// The studio's seeking: a model of the clock as a run from the start sees it
// (frames at the frame rate, 14 ms ticks, the song moved on unheard to each
// tick), the demo drawn frame by frame against it without presenting, and the
// whole state kept at every order's first frame so that a later seek starts
// from the nearest one instead of from the start.
#include "app/studio.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/blob.h"
#include "app/demo.h"
#include "app/hairy.h"
#include "app/klegg.h"
#include "app/knot.h"
#include "app/zfx.h"
#include "engine/geometry/frustum.h"
#include "engine/music/music.h"
#include "engine/pixmap/pixmap.h"
#ifndef _WIN32
#include "platform/host_clock.h"
#endif

// ---- types ------------------------------------------------------------------

// The clock as the demo reads it, without the atomics (the model runs on one thread).
struct ClockFields {
    float frame_ticks, ticks;
    int32_t frame_count, count;
    uint32_t order, row;
    float last_ticks;
    int32_t last_count;
};

// Everything a frame's picture depends on, at the start of a frame (before it is drawn).
struct Snapshot {
    uint64_t frame;        // frames since the demo's first
    uint64_t ticks_fired;  // timer ticks since the clock started
    uint64_t song_frames;  // output frames the song has been moved on since it started
    ClockFields clock;
    MusicPlace place;      // the song there
    float section_start, fadeout_start;
    KleggState klegg;
    HairyState hairy;
    KnotState knot;
    ZfxState zfx;
    BlobState blob;
    frustum views[5];
    std::vector<uint32_t> pixels;
    std::vector<int32_t> zbuffer;
};

// ---- module state -----------------------------------------------------------

// Seek points take the screen twice over (pixels and depths): past this much,
// later orders are not kept and a seek there replays from an earlier one.
static const size_t STUDIO_SNAPSHOT_BYTES = size_t(256) << 20;

static struct {
    std::vector<Snapshot> snapshots;  // increasing frames; [0] is the start
    size_t bytes = 0;
    uint32_t fps = 60;
    uint64_t base_us = 0;     // the host clock at the first frame
    uint64_t frame = 0;       // the live frame, in model frames
    bool model_live = false;  // paused after a seek: the model's state is the live one
    std::string error;
} studio;

// The model run's state between frames.
static struct {
    uint64_t frame;
    uint64_t ticks_fired;
    uint64_t song_frames;
    bool looped;  // the end loop sent the music back: no more seek points
    MusicPosition clock;
} model;

// ---- private helpers --------------------------------------------------------

static frustum** view_slots(frustum** out)
{
    out[0] = klegg.view;
    out[1] = hairy.view;
    out[2] = knot.view;
    out[3] = zfx.view;
    out[4] = blob.view;
    return out;
}

static ClockFields clock_fields(const MusicPosition& p)
{
    return {p.frame_ticks, p.ticks.load(), p.frame_count, p.count.load(), p.order.load(), p.row.load(),
            p.last_ticks, p.last_count};
}

static void set_clock(MusicPosition* p, const ClockFields& c)
{
    p->frame_ticks = c.frame_ticks;
    p->ticks.store(c.ticks);
    p->frame_count = c.frame_count;
    p->count.store(c.count);
    p->order.store(c.order);
    p->row.store(c.row);
    p->last_ticks = c.last_ticks;
    p->last_count = c.last_count;
}

// The host clock at the start of model frame `frame` (the headless host's frame boundaries).
static uint64_t frame_us(uint64_t frame)
{
    return studio.base_us + frame * 1000000u / studio.fps;
}

// Output frames (44100 a second) due at host time `us`, counted from the first frame.
static uint64_t song_frames_at(uint64_t us)
{
    return us * 44100u / 1000000u - studio.base_us * 44100u / 1000000u;
}

static bool take_snapshot()
{
    const size_t pixels = size_t(demo.vscreen->width) * size_t(demo.vscreen->height);
    const size_t bytes = pixels * 8 + sizeof(Snapshot);
    if (studio.bytes + bytes > STUDIO_SNAPSHOT_BYTES) return false;
    Snapshot s;
    s.frame = model.frame;
    s.ticks_fired = model.ticks_fired;
    s.song_frames = model.song_frames;
    s.clock = clock_fields(model.clock);
    if (!music_tell(&s.place)) return false;
    s.section_start = demo.section_start;
    s.fadeout_start = demo.fadeout_start;
    s.klegg = klegg;
    s.hairy = hairy;
    s.knot = knot;
    s.zfx = zfx;
    s.blob = blob;
    frustum* views[5];
    view_slots(views);
    for (int i = 0; i < 5; i++) s.views[i] = *views[i];
    s.pixels.assign(demo.vscreen->pixels, demo.vscreen->pixels + pixels);
    if (demo.vscreen->zbuffer) s.zbuffer.assign(demo.vscreen->zbuffer, demo.vscreen->zbuffer + pixels);
    studio.snapshots.push_back(std::move(s));
    studio.bytes += bytes;
    return true;
}

static void restore_snapshot(const Snapshot& s)
{
    model.frame = s.frame;
    model.ticks_fired = s.ticks_fired;
    model.song_frames = s.song_frames;
    model.looped = false;
    set_clock(&model.clock, s.clock);
    music_seek_place(&s.place);
    demo.section_start = s.section_start;
    demo.fadeout_start = s.fadeout_start;
    klegg = s.klegg;
    hairy = s.hairy;
    knot = s.knot;
    zfx = s.zfx;
    blob = s.blob;
    frustum* views[5];
    view_slots(views);
    for (int i = 0; i < 5; i++) *views[i] = s.views[i];
    std::memcpy(demo.vscreen->pixels, s.pixels.data(), s.pixels.size() * sizeof(uint32_t));
    if (demo.vscreen->zbuffer) std::memcpy(demo.vscreen->zbuffer, s.zbuffer.data(), s.zbuffer.size() * sizeof(int32_t));
}

// Moves the (paused) song on to output frame `to` of the model run.
static void song_to(uint64_t to, uint32_t* order, uint32_t* row)
{
    uint32_t o = 0, r = 0;
    music_advance(to > model.song_frames ? to - model.song_frames : 0, &o, &r);
    if (to > model.song_frames) model.song_frames = to;
    if (order) *order = o;
    if (row) *row = r;
}

// One frame of the model run: draws it (the picture is kept in vscreen, not
// shown), then does what the frame end and the clock do before the next one.
static void model_frame()
{
    MusicPosition* live = demo.position;
    demo.position = &model.clock;
    demo_draw();
    demo.position = live;

    MusicPosition& p = model.clock;
    if (p.order.load() > DEMO_END_LOOP_LAST) {
        song_to(song_frames_at(frame_us(model.frame)), nullptr, nullptr);
        music_seek(DEMO_END_LOOP_ORDER, 0, 0);
        model.looped = true;
    }
    // The timer's ticks up to the next frame, each reading the song where it is then.
    const uint64_t next_us = frame_us(model.frame + 1);
    while (studio.base_us + (model.ticks_fired + 1) * 14000u <= next_us) {
        model.ticks_fired++;
        uint32_t order, row;
        song_to(song_frames_at(studio.base_us + model.ticks_fired * 14000u), &order, &row);
        p.ticks.store(p.ticks.load() + 1.0f);
        p.count.store(p.count.load() + 1);
        p.order.store(order);
        p.row.store(row);
    }
    // sync_update
    const float d = p.ticks.load() - p.last_ticks;
    p.frame_ticks = d;
    if (d > 0.0f) {
        p.frame_count = p.count.load() - p.last_count;
        p.last_ticks = p.ticks.load();
        p.last_count = p.count.load();
    }
    model.frame++;
}

static bool at_or_past(const ClockFields& c, uint32_t order, uint32_t row)
{
    return c.order > order || (c.order == order && c.row >= row);
}

// Hands the model's place over to the live clock and music.
static void hand_over()
{
    const uint64_t at_us = frame_us(model.frame);
#ifndef _WIN32
    // The headless clock is moved to the same time (its timer holds while
    // paused), so the ticks and frames that follow fall as in a run from the start.
    if (host_is_headless())
        while (host_clock_us() < at_us) host_clock_advance_frame();
#endif
    song_to(song_frames_at(at_us), nullptr, nullptr);
    sync_set(&model.clock);
    studio.frame = model.frame;
}

static bool fail(const std::string& why)
{
    studio.error = why;
    return false;
}

// ---- public functions ---------------------------------------------------------

bool studio_parse_when(const char* text, StudioWhen* when)
{
    if (!text || !*text) return fail("an empty time");
    StudioWhen w;
    if (const char* colon = std::strchr(text, ':')) {
        unsigned long o = 0, r = 0;
        char tail = 0;
        if (std::strspn(text, "0123456789:") != std::strlen(text) || colon == text || !colon[1] ||
            std::sscanf(text, "%lu:%lu%c", &o, &r, &tail) != 2 || o > 255 || r > 255)
            return fail(std::string("'") + text + "' is not order:row (such as 9:0)");
        w.kind = StudioWhen::POSITION;
        w.order = uint32_t(o);
        w.row = uint32_t(r);
    } else {
        // Digits and one point, kept as a fraction so that frames fall exactly.
        uint64_t num = 0, den = 1;
        bool point = false, digits = false;
        for (const char* c = text; *c; c++) {
            if (*c == '.' && !point) {
                point = true;
            } else if (*c >= '0' && *c <= '9' && num < 100000000000ull && den < 1000000000ull) {
                num = num * 10 + uint64_t(*c - '0');
                if (point) den *= 10;
                digits = true;
            } else {
                return fail(std::string("'") + text + "' is not a time in seconds (such as 12.5) or order:row");
            }
        }
        if (!digits) return fail(std::string("'") + text + "' is not a time in seconds");
        w.kind = StudioWhen::SECONDS;
        w.num = num;
        w.den = den;
    }
    *when = w;
    return true;
}

int studio_begin()
{
    studio.snapshots.clear();
    studio.bytes = 0;
    studio.error.clear();
    studio.fps = 60;
    studio.base_us = 0;
#ifndef _WIN32
    if (host_is_headless()) {
        studio.fps = host_clock_frame_rate();
        studio.base_us = host_clock_us();
    }
#endif
    const int was_paused = music_is_paused();
    if (!music_pause(1)) return fail("no music playing"), 0;
    // The start exactly: on a real clock the song has already moved a little.
    music_seek(0, 0, 0);
    model.frame = 0;
    model.ticks_fired = 0;
    model.song_frames = 0;
    model.looped = false;
    set_clock(&model.clock, clock_fields(*demo.position));
    studio.frame = 0;
    const bool kept = take_snapshot();
    if (!was_paused) music_pause(0);
    return kept ? 1 : (fail("cannot keep the start"), 0);
}

int studio_seek(const StudioWhen& when, bool show)
{
    if (studio.snapshots.empty()) return fail("the studio has not begun"), 0;
    const int was_paused = music_is_paused();
    music_pause(1);
    // For a time: its frame, ceil(seconds * fps), exactly.
    const uint64_t target = when.kind == StudioWhen::SECONDS ? (when.num * studio.fps + when.den - 1) / when.den : 0;
    const Snapshot* from = &studio.snapshots[0];
    for (const Snapshot& s : studio.snapshots) {
        // A point before the target, or the first frame of the target's order
        // when that frame already sees the target (the frame before it was in
        // an earlier order, so it is the first frame that does).
        const bool usable = when.kind == StudioWhen::POSITION
                                ? !at_or_past(s.clock, when.order, when.row) || &s == from ||
                                      (&s != &studio.snapshots[0] && s.clock.order == when.order)
                                : s.frame <= target;
        if (usable) from = &s;
    }
    restore_snapshot(*from);
    uint32_t last_order = model.clock.order.load();
    for (int loops = 0;;) {
        const ClockFields c = clock_fields(model.clock);
        if (when.kind == StudioWhen::POSITION ? at_or_past(c, when.order, when.row) : model.frame >= target) break;
        if (when.kind == StudioWhen::POSITION && c.order < last_order && ++loops >= 2) {
            if (!was_paused) music_pause(0);
            return fail("the music never reaches " + std::to_string(when.order) + ":" + std::to_string(when.row) +
                        " (its end loop came round twice)"), 0;
        }
        // Each order's first frame is a seek point, up to the end loop.
        if (c.order != last_order && !model.looped && model.frame > studio.snapshots.back().frame) take_snapshot();
        last_order = c.order;
        model_frame();
    }
    if (model.clock.order.load() != last_order && !model.looped && model.frame > studio.snapshots.back().frame)
        take_snapshot();
    if (show) model_frame();
    hand_over();
    studio.model_live = was_paused;
    if (!was_paused) music_pause(0);
    return 1;
}

int studio_step()
{
    if (!music_is_paused() || studio.snapshots.empty()) return 0;
    if (!studio.model_live) {
        StudioWhen w;
        w.kind = StudioWhen::SECONDS;
        w.num = studio.frame;  // the frame after the one shown
        w.den = studio.fps;
        return studio_seek(w, true);
    }
    model_frame();
    hand_over();
    return 1;
}

uint32_t studio_frame_rate() { return studio.fps; }

uint64_t studio_frame() { return studio.frame; }

void studio_frame_done()
{
    if (music_is_paused()) return;
    studio.frame++;
    studio.model_live = false;
}

int studio_snapshot_count() { return int(studio.snapshots.size()); }

void studio_forget()
{
    if (studio.snapshots.size() > 1) studio.snapshots.resize(1);
    studio.bytes = studio.snapshots.empty() ? 0 : studio.snapshots[0].pixels.size() * 8 + sizeof(Snapshot);
    studio.model_live = false;
}

const char* studio_error() { return studio.error.c_str(); }
