// The music player and the sync clock: plays one module through MIDAS or FMOD
// and, every 14 ms on the multimedia timer's thread, copies the song's order and
// row into MusicPosition, the record the demo's timeline reads as its only clock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/mmsystem.h"

// The position record. Fields the timer thread writes are atomics read and
// written with relaxed order: each is one aligned 32-bit word, nothing is locked,
// and a reader accepts that two fields may come from different ticks.
struct MusicPosition {
    float frame_ticks;               // ticks since the previous update that saw one; 0.0 if none
    std::atomic<float> ticks;        // +1.0 a tick while the clock runs; never reset
    int32_t frame_count;             // frame_ticks as an integer; kept when no tick happened
    std::atomic<int32_t> count;      // ticks as an integer
    std::atomic<uint32_t> order;     // song position (MIDAS `position`)
    std::atomic<uint32_t> pattern;   // MIDAS only
    std::atomic<uint32_t> row;
    std::atomic<int32_t> sync_info;  // MIDAS only: last sync command value
    std::atomic<uint32_t> loop_count;  // MIDAS only: song loops
    float last_ticks;                // ticks at the last update that saw a tick
    int32_t last_count;              // count at that update
};
static_assert(sizeof(std::atomic<float>) == 4 && std::atomic<float>::is_always_lock_free, "one plain word");
static_assert(sizeof(std::atomic<uint32_t>) == 4 && std::atomic<uint32_t>::is_always_lock_free, "one plain word");
static_assert(sizeof(MusicPosition) == 11 * 4, "eleven 32-bit fields");
// order .. loop_count are laid out as the MIDAS play status (five words in a row).
static_assert(offsetof(MusicPosition, order) == 16 && offsetof(MusicPosition, loop_count) == 32, "play status");
static_assert(offsetof(MusicPosition, last_ticks) == 36 && offsetof(MusicPosition, last_count) == 40, "field order");

// Flags of music_init.
enum : uint32_t {
    MUSIC_SYNC = 0x001,    // start the sync clock
    MUSIC_PLAY = 0x100,    // start playing after loading (starts the clock too)
    MUSIC_MIDAS = 0x1000,  // the MIDAS back end (the mode word's start value)
    MUSIC_FMOD = 0x2000,   // the FMOD back end for every later operation
};

// Error codes; music_error_string gives their messages.
enum : int {
    MUSIC_ERR_NONE = 0,
    MUSIC_ERR_TIMER = 0x100,
    MUSIC_ERR_IO = 0x101,
    MUSIC_ERR_MIDAS_STARTUP = 0x1000,
    MUSIC_ERR_MIDAS_CONFIG = 0x1001,
    MUSIC_ERR_MIDAS_INIT = 0x1002,
    MUSIC_ERR_MIDAS_BACKGROUND = 0x1003,
    MUSIC_ERR_MIDAS_LOAD = 0x1004,
    MUSIC_ERR_FMOD_INIT = 0x20001,
    MUSIC_ERR_FMOD_LOAD = 0x20002,
    MUSIC_ERR_FMOD_MEMLOAD = 0x20003,
};

struct MusicError {
    int code;
    const char* message;
};
extern const MusicError music_errors[];
extern const int music_error_count;

// Starts the back end the flags name, then (with a file name) loads the module,
// plays it with MUSIC_PLAY, and starts the clock with MUSIC_SYNC or MUSIC_PLAY.
// 1 on success; on failure what was already started keeps running.
int music_init(const char* name, uint32_t flags, int unused);
int music_load(const char* name);         // through the back end's file loader
int music_load_memory(const char* name);  // FMOD only: the whole file read through GIO first
int music_play(int unused);               // looping
int music_restart();                      // back to order 0; 0 when not playing
int music_set_order(int order);           // 0 when not playing
int music_set_volume(int volume);         // MIDAS: clamped to 0 .. 63; FMOD: no effect
int music_stop();                         // stops and frees the song; always returns 0
int music_shutdown();                     // the clock first, then the song and the back end
const char* music_error_string();         // message of the error code, which is kept

// The sync clock.
int sync_start(float rate);     // the 14 ms timer; the rate is not used
int sync_stop();                // 0 when the clock was not running
int sync_update();              // once a frame: frame_ticks, frame_count; 0 when the clock is stopped
MusicPosition* sync_position(); // the one record, valid for the whole run

// The timer callback sync_start installs (multimedia-timer signature).
void CALLBACK sync_timer_callback(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR reserved1, DWORD_PTR reserved2);

// ---- Extension (not in the design): seeking and pausing for the studio ---------
// The design's calls above keep their behaviour; these are added beside them.
// FMOD back end only: with MIDAS each returns 0 and changes nothing.

// A place in the song, sample-exact: a row and the song's time there.
struct MusicPlace {
    uint32_t order;
    uint32_t row;
    double seconds;  // the song's own time (its start is 0), within that row
};

// Pauses (1) or resumes (0) the song. While paused the song is silent and keeps
// its place, and the sync clock does not count: ticks, order and row hold.
// 0 when not playing.
int music_pause(int paused);
int music_is_paused();  // 1 between music_pause(1) and music_pause(0) or a new music_play
// Plays on from row `row` of `order`, `skip` output frames (1 / 44100 s) into
// it, heard at once; the position record's order and row follow at once.
// 0 when not playing or for a place the song does not have.
int music_seek(uint32_t order, uint32_t row, uint64_t skip);
// The mixer's place: where the song is in what has been rendered (at or ahead
// of what is heard). 0 when not playing.
int music_tell(MusicPlace* place);
// Plays on from a place music_tell gave, to the output frame.
int music_seek_place(const MusicPlace* place);
// Moves the song `frames` output frames on without them being heard (paused or
// not); its order and row after them go to *order and *row. Lets a caller
// replay the clock faster than it runs. 0 when not playing.
int music_advance(uint64_t frames, uint32_t* order, uint32_t* row);

// The clock goes on from `from`: every field of the record is set from it
// (ticks, counts, order, row and the frame fields), and the timer counts on.
void sync_set(const MusicPosition* from);
