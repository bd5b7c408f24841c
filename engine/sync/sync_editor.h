// Live sync tracks: the demo as the client of a sync editor (one that speaks
// the GNU Rocket protocol) over TCP on this machine. The demo asks for its
// tracks by name, takes keys as the editor changes them, follows the editor's
// row and pause, and reports its own row as it plays.
//
// The protocol: the client sends "hello, synctracker!" and the editor answers
// "hello, demo!". Then each message is one command byte and a payload of
// big-endian 32-bit words and bytes:
//   editor -> demo  0 set key     track, row, value (float bits), type (1 byte)
//                   1 delete key  track, row
//                   3 set row     row
//                   4 pause       1 byte: 1 paused, 0 playing
//                   5 save tracks (no payload): the demo writes its track files
//   demo -> editor  2 get track   name length, name bytes
//                   3 set row     row
// Tracks are numbered in the order the demo asked for them. Anything else from
// the editor (an unknown command, a track not asked for, a row past 2^31 - 1, a
// type other than 0-3, a value that is not a finite float) ends the connection,
// never the demo: the tracks keep the keys they have and play on from them.
#pragma once

#include <cstdint>

#include "engine/sync/sync.h"

constexpr int SYNC_EDITOR_PORT = 1338;               // the editor's usual port
constexpr int32_t SYNC_EDITOR_BUFFER = 4096;         // bytes read and not yet used

// Commands, as the bytes on the wire.
enum : uint8_t {
    SYNC_CMD_SET_KEY = 0,
    SYNC_CMD_DELETE_KEY = 1,
    SYNC_CMD_GET_TRACK = 2,
    SYNC_CMD_SET_ROW = 3,
    SYNC_CMD_PAUSE = 4,
    SYNC_CMD_SAVE_TRACKS = 5,
};

// A connection. `fd` is -1 once it has ended; the device stays the caller's.
struct SyncEditor {
    int fd;
    SyncDevice* device;
    int32_t requested;                 // tracks of the device asked for so far
    uint8_t buffer[SYNC_EDITOR_BUFFER];  // the start of a message not yet whole
    int32_t buffered;
    char error[160];                   // why the connection ended ("" while it is up)
};

// What the editor asked for since the last poll.
struct SyncEditorEvents {
    int row_set;      // 1 when the editor moved its cursor: go to `row`
    int32_t row;
    int pause_set;    // 1 when the editor paused or resumed: `paused`
    int paused;
    int saved;        // the track files were written on the editor's request
    int keys;         // keys set or deleted
};

// Connects to the editor at 127.0.0.1:port, greets it and asks for every track
// the device has; the device's later tracks are asked for by sync_editor_track.
// Null with the reason in sync_editor_error() when no editor answers (none
// listening, a wrong greeting, no answer within a second).
SyncEditor* sync_editor_connect(SyncDevice* device, int port);
// Reads what the editor sent without waiting and applies it to the device's
// tracks. 1 while connected; 0 once the connection has ended (the editor went,
// or sent bytes it may not: the reason is in editor->error).
int sync_editor_poll(SyncEditor* editor, SyncEditorEvents* events);
// The device's track of that name (sync_get_track), asked for from the editor
// when it is new to the connection. Null as sync_get_track fails.
const SyncTrack* sync_editor_track(SyncEditor* editor, const char* name);
// Tells the editor the demo's row (call when it changes). 0 when not connected.
int sync_editor_set_row(SyncEditor* editor, int32_t row);
// Whether the connection is up.
int sync_editor_connected(const SyncEditor* editor);
// Closes the connection (if still up) and frees the record. Null is ignored.
void sync_editor_close(SyncEditor* editor);
// Why the last sync_editor_connect failed.
const char* sync_editor_error();
