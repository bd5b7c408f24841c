// The sound output behind the FMOD and MIDAS stand-ins: songs decoded by
// libopenmpt at 44100 Hz stereo, mixed into one output stream, with marks that
// tie output frames to song positions so the position HEARD can be answered.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int {
    AUDIO_RATE = 44100,   // frames a second
    AUDIO_CHANNELS = 2,   // interleaved left, right
};

// A loaded song. Handles stay safe to pass after audio_song_free: every call
// checks that the song is still loaded and fails otherwise.
struct AudioSong;

// The position of a song, as heard or as the mixer has it.
struct AudioPosition {
    int order;
    int pattern;
    int row;
    int sync;    // value of the last sync command (effect W) passed, 0 before any
    int loops;   // times the song has jumped back to an earlier position by itself
};

// ---- output (common) --------------------------------------------------------

// Opens the host output (reference counted: the two stand-ins share it).
// 1 on success; 0 only when the host refuses (or a test asked for a failure).
int audio_open();
// Drops one reference; the last one stops every song and closes the host output.
void audio_close();
int audio_is_open();

// Tests: make the next `count` calls of audio_open fail.
void audio_fail_next_opens(int count);

// The last failure of this module as text, "" when none.
const char* audio_error_string();

// ---- songs ------------------------------------------------------------------

AudioSong* audio_song_load_file(const char* name);  // null on failure
AudioSong* audio_song_load_memory(const void* data, size_t size);  // the bytes are copied
int audio_song_free(AudioSong* song);       // stops it first
int audio_song_play(AudioSong* song);       // from order 0, row 0, looping forever
// Stops the song where it is (0 for a bad handle); 1 while it plays; stops every song.
int audio_song_stop(AudioSong* song);
int audio_song_is_playing(AudioSong* song);
void audio_stop_all();
// Jumps to row 0 of `order` now; what is heard follows at once. 0 for an order
// the song does not have.
int audio_song_set_order(AudioSong* song, int order);
int audio_song_set_gain(AudioSong* song, float gain);  // linear, 0 .. 1
float audio_song_gain(AudioSong* song);             // -1 for a bad handle
int audio_song_num_orders(AudioSong* song);
int audio_song_speed(AudioSong* song);   // current ticks a row
int audio_song_tempo(AudioSong* song);   // current BPM
const char* audio_song_name(AudioSong* song);
// Extension for seeking and pausing (beyond the two players' own calls).
// Paused: the song is not mixed and keeps its place; resuming is heard at once.
int audio_song_set_paused(AudioSong* song, int paused);
int audio_song_is_paused(AudioSong* song);  // 0 for a bad handle
// Jumps to `row` of `order`, then moves `skip` output frames further on without
// them being heard; what is heard follows at once. The song's time in seconds
// after the jump (before the skip) goes to *row_seconds when given. 0 for an
// order or row the song does not have.
int audio_song_seek(AudioSong* song, int order, int row, uint64_t skip, double* row_seconds);
// Moves a song `frames` output frames on without mixing them into the output
// (a paused song too); its mixer position after them goes to *out.
int audio_song_advance(AudioSong* song, uint64_t frames, AudioPosition* out);
// The song's own time in seconds at the mixer's place (from its start, jumps included).
double audio_song_seconds(AudioSong* song);
// The position at the output's play position: what is being heard now.
int audio_song_heard(AudioSong* song, AudioPosition* out);
// The position once `frames_heard` output frames have been played (the song's
// marks answer it); earlier marks are dropped, so ask in increasing order.
int audio_song_position_at(AudioSong* song, uint64_t frames_heard, AudioPosition* out);
// A small non-zero number naming the song (the MIDAS play handle), 0 for a bad handle.
uint32_t audio_song_id(AudioSong* song);
AudioSong* audio_song_from_id(uint32_t id);

// ---- the mixer: what the hosts render through ---------------------------------

// Renders the next `frames` frames of the output (every playing song mixed,
// float stereo interleaved) and records position marks. The hosts reach it only
// through the AudioSource the mixer hands them (platform/host_audio.h).
void audio_render(float* out, int frames);
// Frames rendered so far.
uint64_t audio_rendered_frames();
// Forgets every mark and restarts the frame count at `frame` (the headless host
// when its virtual clock was reset).
void audio_rebase(uint64_t frame);

// ---- the sound as a WAV file (headless host; 0 on the others) -----------------

// Starts writing every frame rendered from now on into a 16-bit stereo WAV file.
// 1 on success. A WAV already being written is finished first.
int audio_wav_begin(const char* path);
// Renders up to the virtual clock, fixes the header and closes the file; the
// file then covers exactly the frames rendered between begin and end. 1 on success.
int audio_wav_end();
