// Sync tracks: named float tracks of keys on rows, read at the fractional row of
// the sync clock, and kept in one file per track for a finished demo.
//
// A key holds a value on a row and says how the track goes on to the next key:
// step (the key's value until the next key), linear, smooth (smoothstep,
// t * t * (3 - 2t)) or ramp (t * t), with t the fraction of the way from the key's
// row to the next key's. Before the first key a track reads the first key's value,
// from the last key on the last key's value, and with no key at all 0.
//
// The track file is the one the GNU Rocket sync editor and its player library
// write and read: "<base>_<name>.track", where every character of the name other
// than a letter, a digit, '.', '_' or '/' is written as '-' and two upper-case
// hex digits (':' becomes "-3A"); the base is used as given. Its bytes are a
// 32-bit key count, then per key its 32-bit row, its 32-bit float value and one
// byte of type (0 step, 1 linear, 2 smooth, 3 ramp): 4 + 9 * count bytes, no
// padding, little-endian (the byte order every machine the editor runs on
// writes). Bytes after the last key are ignored.
#pragma once

#include <cstdint>

// Interpolation from a key to the next, as the file stores it.
enum : int32_t {
    SYNC_STEP = 0,
    SYNC_LINEAR = 1,
    SYNC_SMOOTH = 2,
    SYNC_RAMP = 3,
    SYNC_TYPE_COUNT = 4,
};

// Error codes, read through sync_error_string.
enum : int {
    SYNC_ERR_NONE = 0,
    SYNC_ERR_MEMORY = 1,    // an allocation failed, or more keys than a track may hold
    SYNC_ERR_ARGUMENT = 2,  // a null device, track, name or key, or a bad key type
    SYNC_ERR_OPEN = 3,      // a track file could not be opened
    SYNC_ERR_SHORT = 4,     // a track file shorter than its 4-byte key count
    SYNC_ERR_COUNT = 5,     // a negative key count, or more keys than the file holds
    SYNC_ERR_TYPE = 6,      // a key of a track file with a type other than 0-3
    SYNC_ERR_WRITE = 7,     // a track file could not be written whole
    SYNC_ERR_PATH = 8,      // base and name make a file name too long
};

constexpr int32_t SYNC_KEY_BYTES = 9;          // one key in a track file
constexpr int32_t SYNC_MAX_KEYS = 1 << 22;     // keys a track may hold
constexpr int32_t SYNC_MAX_PATH = 1024;        // bytes of a track file's name, with its 0

// One key.
struct SyncKey {
    int32_t row;
    float value;
    int32_t type;    // SYNC_STEP .. SYNC_RAMP
};

// A track: its keys in ascending rows, one key per row. From GMEM.
struct SyncTrack {
    char* name;
    SyncKey* keys;
    int32_t count;
    int32_t capacity;
};

// The device: the base of the track files and the tracks in the order they were
// first asked for (the editor names a track by this index). From GMEM.
struct SyncDevice {
    char* base;
    SyncTrack** tracks;
    int32_t count;
    int32_t capacity;
};

// New device with no track for the track files "<base>_<name>.track"; null with
// code 2 for a null base, 1 for no memory.
SyncDevice* sync_create(const char* base);
// Releases the device, its tracks and their keys. Null is ignored.
void sync_destroy(SyncDevice* device);
// The track of that name, created with no key when the device has none; it stays
// at the same address until sync_destroy. Null with code 2 or 1.
const SyncTrack* sync_get_track(SyncDevice* device, const char* name);
// The index of the track of that name (the order of first sync_get_track), or -1.
int32_t sync_find_track(const SyncDevice* device, const char* name);
// The track at index for editing; null (code 2) outside 0 .. count - 1.
SyncTrack* sync_track_at(SyncDevice* device, int32_t index);

// The track's value at row (fractional rows interpolate); 0 for a null track.
float sync_get_val(const SyncTrack* track, double row);
// Puts the key on its row, replacing the key already there; 1, or 0 with code 2
// (bad type) or 1, the track as it was.
int sync_set_key(SyncTrack* track, const SyncKey* key);
// Removes the key on row; 1, or 0 when there is none (no code) or for null (code 2).
int sync_del_key(SyncTrack* track, int32_t row);
// The index of the key on row, or -1.
int32_t sync_find_key(const SyncTrack* track, int32_t row);

// Writes the track's file name into path (size bytes); 1, or 0 with code 8 when it
// does not fit or 2 for a null argument.
int sync_track_path(const SyncDevice* device, const char* name, char* path, int32_t size);
// Writes the track's file; 1, or 0 with code 7, 8 or 2.
int sync_save_track(const SyncDevice* device, const SyncTrack* track);
// Replaces the track's keys with its file's; 1, or 0 with codes 3-8, 1 or 2 and the
// track as it was. Keys out of order are sorted; of two on one row the later stays.
int sync_load_track(const SyncDevice* device, SyncTrack* track);
// Saves every track; 1, or 0 when one failed (the code and detail of the last).
int sync_save_tracks(const SyncDevice* device);
// Loads every track; 1, or 0 when one failed (those keep their keys; the code and
// detail of the last failure).
int sync_load_tracks(SyncDevice* device);

// Message for the last error; resets the code to 0.
const char* sync_error_string();
// The file and cause of the last file error ("" when none); kept until the next.
const char* sync_error_detail();
