// Keyframe tracks: keys of float channels over time, interpolated linearly, as a
// Kochanek-Bartels (TCB) cubic or as a uniform cubic B-spline; rotation tracks
// (axis and angle per key) go through the quaternion interpolator of quat.h.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int {
    KEYFRAME_TYPE_ROTATION = 1,  // exactly 4 channels: axis x, y, z, angle in radians
    KEYFRAME_TYPE_ENVELOPE = 2,  // independent float channels
};

enum : int {
    KEYFRAME_ALGO_LINEAR = 1,   // the default at creation
    KEYFRAME_ALGO_TCB = 2,      // cubic Hermite, Kochanek-Bartels tangents
    KEYFRAME_ALGO_BSPLINE = 3,  // uniform cubic B-spline (does not pass through the keys)
};

// Error codes, read through keyframe_error_string.
enum : int {
    KEYFRAME_ERR_NONE = 0,
    KEYFRAME_ERR_MEMORY = 1,            // an allocation failed
    KEYFRAME_ERR_UNSUPPORTED = 2,       // a track type other than rotation or envelope
    KEYFRAME_ERR_ALGORITHM = 3,         // bad algorithm, or too few keys to prepare
    KEYFRAME_ERR_ROTATION_CHANNELS = 4, // a rotation track without 4 channels
    KEYFRAME_ERR_ROTATION_PREPARE = 6,  // an unprepared rotation track was evaluated
};

// One key; taken from GMEM, zeroed when created. Keys of a track form a doubly
// linked list in ascending time.
struct keyframe_key {
    keyframe_key* next;
    keyframe_key* prev;
    float time;
    float tension;
    float continuity;
    float bias;
    float values[];     // one per channel of the track
};
static_assert(offsetof(keyframe_key, time) == 2 * sizeof(void*), "key links come first");
static_assert(offsetof(keyframe_key, values) == 2 * sizeof(void*) + 4 * sizeof(float),
              "key values follow time, tension, continuity and bias");

// A track; taken from GMEM.
struct keyframe {
    keyframe_key* keys;  // first key, or null
    void* prepared;      // keyframe_table (envelope) or rotation_spline (rotation), or null
    int channels;        // values per key
    int type;            // KEYFRAME_TYPE_*
    int algorithm;       // KEYFRAME_ALGO_*, set by the caller after creation
    float values[];      // the result of the last evaluation; 0 at creation
};
static_assert(offsetof(keyframe, channels) == 2 * sizeof(void*), "track pointers come first");
static_assert(offsetof(keyframe, values) == 2 * sizeof(void*) + 3 * sizeof(int),
              "track values follow channels, type and algorithm");

// One segment of a prepared envelope track, between two neighbouring points.
struct keyframe_segment {
    float t0;            // start key time
    float t1;            // end key time - 1e-9, as a float
    float inv;           // 1 / (end key time - start key time); 0 for a zero-length segment
    float f0, f1, f2, f3;  // TCB tangent factors, 0 for the other algorithms
    float* p0;           // start point row
    float* p1;           // end point row
};
static_assert(offsetof(keyframe_segment, p0) == (7 * sizeof(float) + alignof(float*) - 1) / alignof(float*) * alignof(float*),
              "seven floats, then two rows (at a pointer's alignment: 32 bytes in, 28 in wasm32)");

// The prepared data of an envelope track. TCB and B-spline tables have a phantom
// point before the first key and after the last, and phantom segments 0 and count
// (count = key count); their real segments are 1 .. count - 1. Linear tables have
// one point per key and segments 0 .. count - 1 (count = key count - 1).
struct keyframe_table {
    int algorithm;               // copy of the track's algorithm at preparation
    float start;                 // time of the first key
    float end;                   // end time (t1) of the last real segment
    int count;                   // number of segments (points - 1)
    keyframe_segment* segments;
    float* points;               // one row of `channels` floats per point, back to back
};

// New track with no keys, algorithm linear, values 0; null on failure (code 4 for a
// rotation track without 4 channels, 2 for an unknown type, 1 for no memory or a
// channel count that is not positive or is absurdly large).
keyframe* keyframe_create(int type, int channels);
// New track with the given algorithm and count keys: key i takes times[i],
// tensions[i], continuities[i], biases[i] and values[i * channels ...] (any null
// array stands for zeros). Null, with nothing left over, on failure.
keyframe* keyframe_create_keys(int count, int type, int algorithm, int channels,
                               const float* times, const float* tensions,
                               const float* continuities, const float* biases,
                               const float* values);
// New zeroed key with room for the track's channels, not in any list; null with code 1.
keyframe_key* keyframe_new_key(keyframe* track);
// Creates, fills and inserts a key (values may be null: all 0). 1, or 0 with code 1.
int keyframe_add_key(keyframe* track, float time, float tension, float continuity, float bias,
                     const float* values);
// Puts a key into the list by time; a key whose time equals existing keys' goes before them.
int keyframe_insert_key(keyframe* track, keyframe_key* key);
// Releases one key that is not in a list.
void keyframe_free_key(keyframe_key* key);
// Releases the keys, the prepared data and the track. Null is ignored.
void keyframe_destroy(keyframe* track);
// Builds the prepared data from the keys as they are now; 1, or 0 with the track
// left exactly as it was (code 3: an algorithm other than 1-3, no key, fewer than 3
// keys for TCB or B-spline, fewer than 4 for a rotation; code 1: no memory).
int keyframe_prepare(keyframe* track);
// Computes the values at time into track->values and returns them; null when the
// track has no key (no code), for an unprepared rotation track (code 6) or a bad
// algorithm (code 3).
float* keyframe_evaluate(keyframe* track, float time);
// Prints every key with its address, time and links to standard output.
void keyframe_dump_keys(const keyframe* track);
// Message for the last error; resets the code to 0.
const char* keyframe_error_string();
