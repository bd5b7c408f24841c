// The sound output shared by the FMOD and MIDAS stand-ins: loads songs with
// libopenmpt, mixes the playing ones in small blocks and keeps, per song, marks
// (output frame -> order, pattern, row) from which the heard position is answered.
#include "platform/audio.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <libopenmpt/libopenmpt.hpp>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host_audio.h"

// ---- types ------------------------------------------------------------------

// From output frame `frame` on (the last frame of the block it was taken after),
// the song is at `pos`. Frames are signed so a mark can sit just before frame 0.
struct AudioMark {
    int64_t frame;
    AudioPosition pos;
};

struct AudioSong {
    uint32_t id;
    std::unique_ptr<openmpt::module> mod;
    std::string name;
    bool playing;
    bool paused;                      // playing, but held where it is
    float gain;
    AudioPosition mixer;              // where the mixer is, after the last block
    std::deque<AudioMark> marks;      // increasing frames
    std::vector<std::vector<int>> sync_rows;  // per pattern and row: W parameter or -1
};

// Marks are taken after every block of this many frames, so a row change is
// located to within 1.5 ms; the headless host renders exactly up to its clock,
// which makes its answers exact.
static const int AUDIO_BLOCK = 64;
// A song nobody asks about still gets marks; keep the newest this many.
static const size_t AUDIO_MAX_MARKS = 4096;

// ---- module state -----------------------------------------------------------

static struct {
    std::mutex lock;  // songs, their modules and marks, the frame count
    std::vector<AudioSong*> songs;
    uint64_t rendered = 0;
    int open_refs = 0;
    int fail_opens = 0;
    uint32_t next_id = 1;
    float scratch[AUDIO_BLOCK * AUDIO_CHANNELS];
} audio;

// The last failure, per thread: a load fails and is reported on one thread.
static thread_local std::string audio_error;

// Larger files are refused rather than read whole: no module comes near it.
static const long AUDIO_MAX_FILE = 256L << 20;

// ---- private helpers --------------------------------------------------------

// The song if it is still loaded; the caller holds the lock.
static AudioSong* find_song(AudioSong* song)
{
    for (AudioSong* s : audio.songs)
        if (s == song) return s;
    return nullptr;
}

static bool position_before(const AudioPosition& a, const AudioPosition& b)
{
    return a.order < b.order || (a.order == b.order && a.row < b.row);
}

static bool same_position(const AudioPosition& a, const AudioPosition& b)
{
    return a.order == b.order && a.pattern == b.pattern && a.row == b.row && a.sync == b.sync && a.loops == b.loops;
}

static void push_mark(AudioSong* s, int64_t frame)
{
    if (!s->marks.empty() && same_position(s->marks.back().pos, s->mixer)) return;
    s->marks.push_back(AudioMark{frame, s->mixer});
    if (s->marks.size() > AUDIO_MAX_MARKS) s->marks.pop_front();
}

// A jump made from outside (play, set order): the heard position changes now,
// so marks of audio already rendered but not yet heard are dropped.
static void mark_jump(AudioSong* s, uint64_t heard)
{
    int64_t frame = static_cast<int64_t>(heard) - 1;
    while (!s->marks.empty() && s->marks.back().frame >= frame) s->marks.pop_back();
    s->marks.push_back(AudioMark{frame, s->mixer});
}

// Reads the mixer's position after a block; counts loops and sync commands.
static void update_mixer(AudioSong* s)
{
    AudioPosition p = s->mixer;
    p.order = s->mod->get_current_order();
    p.pattern = s->mod->get_current_pattern();
    p.row = s->mod->get_current_row();
    if (p.order == s->mixer.order && p.row == s->mixer.row) return;
    if (position_before(p, s->mixer)) p.loops++;
    if (p.pattern >= 0 && p.pattern < static_cast<int>(s->sync_rows.size()) && p.row >= 0 &&
        p.row < static_cast<int>(s->sync_rows[p.pattern].size()) && s->sync_rows[p.pattern][p.row] >= 0)
        p.sync = s->sync_rows[p.pattern][p.row];
    s->mixer = p;
}

static AudioSong* make_song(const void* data, size_t size)
{
    std::ostringstream log;
    std::unique_ptr<openmpt::module> mod;
    try {
        mod = std::make_unique<openmpt::module>(data, size, log);
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> g(audio.lock);
        audio_error = std::string("not a module libopenmpt can read: ") + e.what();
        return nullptr;
    } catch (...) {
        std::lock_guard<std::mutex> g(audio.lock);
        audio_error = "not a module libopenmpt can read";
        return nullptr;
    }
    mod->set_repeat_count(-1);

    AudioSong* s = new AudioSong();
    s->name = mod->get_metadata("title");
    // Sync commands are effect W, found once here rather than on every row.
    int patterns = mod->get_num_patterns();
    int channels = mod->get_num_channels();
    s->sync_rows.resize(patterns);
    for (int p = 0; p < patterns; p++) {
        int rows = mod->get_pattern_num_rows(p);
        s->sync_rows[p].assign(rows, -1);
        for (int r = 0; r < rows; r++)
            for (int c = 0; c < channels; c++)
                if (mod->format_pattern_row_channel_command(p, r, c, openmpt::module::command_effect) == "W")
                    s->sync_rows[p][r] = mod->get_pattern_row_channel_command(p, r, c, openmpt::module::command_parameter);
    }
    s->mod = std::move(mod);
    s->playing = false;
    s->paused = false;
    s->gain = 1.0f;
    s->mixer = AudioPosition{0, s->mod->get_current_pattern(), 0, 0, 0};
    std::lock_guard<std::mutex> g(audio.lock);
    s->id = audio.next_id++;
    if (audio.next_id == 0) audio.next_id = 1;
    audio.songs.push_back(s);
    audio_error.clear();
    return s;
}

// ---- output -----------------------------------------------------------------

// What the host's sound output renders through: the mixer's own entry points,
// handed over so that no host names a function of the mixer.
static const AudioSource mixer_source = {audio_render, audio_rendered_frames, audio_rebase};

int audio_open()
{
    {
        std::lock_guard<std::mutex> g(audio.lock);
        if (audio.fail_opens > 0) {
            audio.fail_opens--;
            audio_error = "sound output refused (test)";
            return 0;
        }
        if (audio.open_refs > 0) {
            audio.open_refs++;
            return 1;
        }
    }
    if (!audio_host_open(&mixer_source)) {
        std::lock_guard<std::mutex> g(audio.lock);
        audio_error = "the host has no sound output";
        return 0;
    }
    std::lock_guard<std::mutex> g(audio.lock);
    audio.open_refs++;
    return 1;
}

void audio_close()
{
    {
        std::lock_guard<std::mutex> g(audio.lock);
        if (audio.open_refs == 0) return;
        if (--audio.open_refs > 0) return;
    }
    audio_host_pump();
    {
        std::lock_guard<std::mutex> g(audio.lock);
        for (AudioSong* s : audio.songs) s->playing = false;
    }
    // Outside the lock: closing a device waits for its callback, which takes it.
    audio_host_close();
}

int audio_is_open()
{
    std::lock_guard<std::mutex> g(audio.lock);
    return audio.open_refs > 0;
}

void audio_fail_next_opens(int count)
{
    std::lock_guard<std::mutex> g(audio.lock);
    audio.fail_opens = count;
}

const char* audio_error_string()
{
    return audio_error.c_str();
}

// ---- songs ------------------------------------------------------------------

AudioSong* audio_song_load_file(const char* name)
{
    if (!name) return nullptr;
    FILE* f = std::fopen(name, "rb");
    if (!f) {
        std::lock_guard<std::mutex> g(audio.lock);
        audio_error = std::string("cannot open ") + name;
        return nullptr;
    }
    std::vector<char> bytes;
    char buf[65536];
    size_t n;
    bool failed = false;
    while (!failed && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        bytes.insert(bytes.end(), buf, buf + n);
        failed = bytes.size() > static_cast<size_t>(AUDIO_MAX_FILE);
    }
    failed = failed || std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::lock_guard<std::mutex> g(audio.lock);
        audio_error = std::string("cannot read ") + name + " (unreadable, or larger than 256 MiB)";
        return nullptr;
    }
    return make_song(bytes.data(), bytes.size());
}

AudioSong* audio_song_load_memory(const void* data, size_t size)
{
    if (!data || size == 0) {
        std::lock_guard<std::mutex> g(audio.lock);
        audio_error = "no module data";
        return nullptr;
    }
    return make_song(data, size);
}

int audio_song_free(AudioSong* song)
{
    audio_host_pump();
    std::lock_guard<std::mutex> g(audio.lock);
    auto it = std::find(audio.songs.begin(), audio.songs.end(), song);
    if (it == audio.songs.end()) return 0;
    audio.songs.erase(it);
    delete song;
    return 1;
}

int audio_song_play(AudioSong* song)
{
    audio_host_pump();
    uint64_t heard = audio_host_heard_frames();
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s || audio.open_refs == 0) return 0;
    s->mod->set_position_order_row(0, 0);
    s->mixer = AudioPosition{0, s->mod->get_current_pattern(), 0, 0, 0};
    s->marks.clear();
    mark_jump(s, heard);
    s->playing = true;
    s->paused = false;
    return 1;
}

int audio_song_stop(AudioSong* song)
{
    audio_host_pump();
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s) return 0;
    s->playing = false;
    return 1;
}

void audio_stop_all()
{
    audio_host_pump();
    std::lock_guard<std::mutex> g(audio.lock);
    for (AudioSong* s : audio.songs) s->playing = false;
}

int audio_song_is_playing(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s && s->playing;
}

int audio_song_set_order(AudioSong* song, int order)
{
    audio_host_pump();
    uint64_t heard = audio_host_heard_frames();
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s || order < 0 || order >= s->mod->get_num_orders()) return 0;
    s->mod->set_position_order_row(order, 0);
    s->mixer.order = s->mod->get_current_order();
    s->mixer.pattern = s->mod->get_current_pattern();
    s->mixer.row = s->mod->get_current_row();
    mark_jump(s, heard);
    return 1;
}

// Renders `frames` of a song into nothing, reading its position after every
// block as the mixer does; the caller holds the lock.
static void skip_frames(AudioSong* s, uint64_t frames)
{
    while (frames > 0) {
        int n = static_cast<int>(std::min<uint64_t>(frames, AUDIO_BLOCK));
        s->mod->read_interleaved_stereo(AUDIO_RATE, n, audio.scratch);
        update_mixer(s);
        frames -= static_cast<uint64_t>(n);
    }
}

int audio_song_set_paused(AudioSong* song, int paused)
{
    audio_host_pump();
    uint64_t heard = audio_host_heard_frames();
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s) return 0;
    // Resuming: what was rendered before the pause and not yet heard is gone
    // from the output's view; the song goes on from its own place.
    if (s->paused && !paused) mark_jump(s, heard);
    s->paused = paused != 0;
    return 1;
}

int audio_song_is_paused(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s && s->paused;
}

int audio_song_seek(AudioSong* song, int order, int row, uint64_t skip, double* row_seconds)
{
    audio_host_pump();
    uint64_t heard = audio_host_heard_frames();
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s || order < 0 || order >= s->mod->get_num_orders() || row < 0) return 0;
    const int pattern = s->mod->get_order_pattern(order);
    if (pattern < 0 || pattern >= s->mod->get_num_patterns() || row >= s->mod->get_pattern_num_rows(pattern)) return 0;
    const double seconds = s->mod->set_position_order_row(order, row);
    if (row_seconds) *row_seconds = seconds;
    s->mixer.order = s->mod->get_current_order();
    s->mixer.pattern = s->mod->get_current_pattern();
    s->mixer.row = s->mod->get_current_row();
    skip_frames(s, skip);
    mark_jump(s, heard);
    return 1;
}

int audio_song_advance(AudioSong* song, uint64_t frames, AudioPosition* out)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s) return 0;
    skip_frames(s, frames);
    if (out) *out = s->mixer;
    return 1;
}

double audio_song_seconds(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s ? s->mod->get_position_seconds() : 0.0;
}

int audio_song_set_gain(AudioSong* song, float gain)
{
    audio_host_pump();
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s || !(gain >= 0.0f && gain <= 1.0f)) return 0;
    s->gain = gain;
    return 1;
}

float audio_song_gain(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s ? s->gain : -1.0f;
}

int audio_song_num_orders(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s ? s->mod->get_num_orders() : 0;
}

int audio_song_speed(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s ? s->mod->get_current_speed() : 0;
}

int audio_song_tempo(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s ? s->mod->get_current_tempo() : 0;
}

const char* audio_song_name(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s ? s->name.c_str() : "";
}

int audio_song_heard(AudioSong* song, AudioPosition* out)
{
    audio_host_pump();
    return audio_song_position_at(song, audio_host_heard_frames(), out);
}

int audio_song_position_at(AudioSong* song, uint64_t frames_heard, AudioPosition* out)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    if (!s) return 0;
    if (s->marks.empty()) {
        *out = s->mixer;
        return 1;
    }
    // The last frame heard is frames_heard - 1: answer the newest mark at or before it.
    int64_t last = static_cast<int64_t>(frames_heard) - 1;
    size_t i = 0;
    while (i + 1 < s->marks.size() && s->marks[i + 1].frame <= last) i++;
    *out = s->marks[i].pos;
    s->marks.erase(s->marks.begin(), s->marks.begin() + i);  // older marks are past
    return 1;
}

uint32_t audio_song_id(AudioSong* song)
{
    std::lock_guard<std::mutex> g(audio.lock);
    AudioSong* s = find_song(song);
    return s ? s->id : 0;
}

AudioSong* audio_song_from_id(uint32_t id)
{
    std::lock_guard<std::mutex> g(audio.lock);
    for (AudioSong* s : audio.songs)
        if (id != 0 && s->id == id) return s;
    return nullptr;
}

// ---- for the hosts ----------------------------------------------------------

void audio_render(float* out, int frames)
{
    while (frames > 0) {
        int n = std::min(frames, AUDIO_BLOCK);
        std::fill(out, out + n * AUDIO_CHANNELS, 0.0f);
        std::lock_guard<std::mutex> g(audio.lock);
        int64_t last_frame = static_cast<int64_t>(audio.rendered) + n - 1;
        for (AudioSong* s : audio.songs) {
            if (!s->playing || s->paused) continue;
            size_t got = s->mod->read_interleaved_stereo(AUDIO_RATE, n, audio.scratch);
            for (size_t i = 0; i < got * AUDIO_CHANNELS; i++) out[i] += audio.scratch[i] * s->gain;
            update_mixer(s);
            push_mark(s, last_frame);
        }
        audio.rendered += n;
        out += n * AUDIO_CHANNELS;
        frames -= n;
    }
}

uint64_t audio_rendered_frames()
{
    std::lock_guard<std::mutex> g(audio.lock);
    return audio.rendered;
}

void audio_rebase(uint64_t frame)
{
    std::lock_guard<std::mutex> g(audio.lock);
    audio.rendered = frame;
    for (AudioSong* s : audio.songs) {
        s->marks.clear();
        s->marks.push_back(AudioMark{static_cast<int64_t>(frame) - 1, s->mixer});
    }
}

// ---- the WAV file, through the host ------------------------------------------

int audio_wav_begin(const char* path)
{
    return audio_host_wav_begin(&mixer_source, path);
}

int audio_wav_end()
{
    return audio_host_wav_end();
}
