// The sync editor's client against an editor scripted here, on 127.0.0.1:
// the greeting, the track requests in order, keys set and deleted and seen at
// the next poll, the row and the pause both ways, messages that arrive in
// pieces, the save request, a connection dropped mid-play, and bytes the
// editor may not send (garbage, a message cut short, values out of range),
// each ending the connection with the tracks as they were.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/sync/sync_editor.h"

#include "tests/sync/scripted_editor.h"

namespace {

using namespace scripted;

// Polls until `done` holds or a second has passed; the last poll's result and events.
template <typename F>
int poll_until(SyncEditor* e, SyncEditorEvents* ev, F done) {
    int up = 1;
    for (int i = 0; i < 200; i++) {
        up = sync_editor_poll(e, ev);
        if (!up || done(*ev)) return up;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return up;
}

struct Fixture {
    SyncDevice* device = sync_create("/tmp/wendril_sync_editor_test");
    ~Fixture() { sync_destroy(device); }
};

}  // namespace

TEST(SyncEditor, NoEditorOrAWrongGreetingLeavesTheTracksToTheirFiles) {
    Fixture f;
    // A port nobody listens on: bound, read back and closed without listening.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    const int free_port = ntohs(a.sin_port);
    EXPECT_EQ(sync_editor_connect(f.device, free_port), nullptr);
    EXPECT_NE(std::string(sync_editor_error()).find("no sync editor on 127.0.0.1:" + std::to_string(free_port)),
              std::string::npos)
        << sync_editor_error();

    ScriptedEditor wrong("hello, demO!");
    EXPECT_EQ(sync_editor_connect(f.device, wrong.port), nullptr);
    EXPECT_NE(std::string(sync_editor_error()).find("did not answer as a sync editor"), std::string::npos);
    wrong.greeted();
    EXPECT_EQ(wrong.heard_greeting, "hello, synctracker!");
    EXPECT_EQ(sync_editor_connect(nullptr, wrong.port), nullptr);
}

TEST(SyncEditor, ASessionBothWays) {
    Fixture f;
    const SyncTrack* dist = sync_get_track(f.device, "camera:distance");
    const SyncTrack* fade = sync_get_track(f.device, "fade");
    ScriptedEditor ed;
    SyncEditor* e = sync_editor_connect(f.device, ed.port);
    ASSERT_NE(e, nullptr) << sync_editor_error();
    ed.greeted();
    EXPECT_EQ(ed.heard_greeting, "hello, synctracker!");
    // The tracks the device had, asked for in order.
    Bytes expect = get_track("camera:distance");
    const Bytes second = get_track("fade");
    expect.insert(expect.end(), second.begin(), second.end());
    EXPECT_EQ(ed.receive(expect.size()), expect);

    // Keys: seen at the next poll, interpolated as their types say.
    ed.send_bytes(set_key(0, 0, 10.0f, SYNC_LINEAR));
    ed.send_bytes(set_key(0, 8, 20.0f, SYNC_STEP));
    ed.send_bytes(set_key(1, 4, 1.0f, SYNC_STEP));
    SyncEditorEvents ev;
    ASSERT_EQ(poll_until(e, &ev, [&](const SyncEditorEvents&) { return fade->count == 1; }), 1);
    EXPECT_EQ(dist->count, 2);
    EXPECT_FLOAT_EQ(sync_get_val(dist, 4.0), 15.0f);
    EXPECT_FLOAT_EQ(sync_get_val(fade, 100.0), 1.0f);

    // A key in two pieces: nothing until the rest arrives.
    const Bytes key = set_key(0, 4, 99.0f, SYNC_STEP);
    ed.send_bytes(Bytes(key.begin(), key.begin() + 6));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(sync_editor_poll(e, &ev), 1);
    EXPECT_EQ(dist->count, 2);
    ed.send_bytes(Bytes(key.begin() + 6, key.end()));
    ASSERT_EQ(poll_until(e, &ev, [&](const SyncEditorEvents&) { return dist->count == 3; }), 1);
    EXPECT_FLOAT_EQ(sync_get_val(dist, 5.0), 99.0f);

    ed.send_bytes(delete_key(0, 4));
    ASSERT_EQ(poll_until(e, &ev, [&](const SyncEditorEvents&) { return dist->count == 2; }), 1);

    // The editor's row and pause; the demo's row.
    ed.send_bytes(set_row(300));
    ed.send_bytes({SYNC_CMD_PAUSE, 1});
    ASSERT_EQ(poll_until(e, &ev, [](const SyncEditorEvents& v) { return v.pause_set == 1; }), 1);
    EXPECT_EQ(ev.row_set, 1);
    EXPECT_EQ(ev.row, 300);
    EXPECT_EQ(ev.paused, 1);
    ASSERT_EQ(sync_editor_set_row(e, 1234), 1);
    EXPECT_EQ(ed.receive(5), set_row(1234));

    // A track asked for after the greeting; the save request writes the files.
    const SyncTrack* late = sync_editor_track(e, "late");
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(ed.receive(get_track("late").size()), get_track("late"));
    ed.send_bytes({SYNC_CMD_SAVE_TRACKS});
    ASSERT_EQ(poll_until(e, &ev, [](const SyncEditorEvents& v) { return v.saved != 0; }), 1);
    char path[SYNC_MAX_PATH];
    ASSERT_EQ(sync_track_path(f.device, "camera:distance", path, sizeof path), 1);
    struct stat st;
    EXPECT_EQ(stat(path, &st), 0) << path;
    EXPECT_EQ(st.st_size, 4 + 2 * SYNC_KEY_BYTES);
    unlink(path);
    sync_track_path(f.device, "fade", path, sizeof path);
    unlink(path);
    sync_track_path(f.device, "late", path, sizeof path);
    unlink(path);

    // Dropped mid-play: the connection ends, the keys stay.
    ed.hang_up();
    EXPECT_EQ(poll_until(e, &ev, [](const SyncEditorEvents&) { return false; }), 0);
    EXPECT_STREQ(e->error, "the editor closed the connection");
    EXPECT_EQ(sync_editor_connected(e), 0);
    EXPECT_FLOAT_EQ(sync_get_val(dist, 4.0), 15.0f);
    EXPECT_EQ(sync_editor_set_row(e, 5), 0);
    sync_editor_close(e);
}

TEST(SyncEditor, BytesTheEditorMayNotSendEndTheConnectionAndKeepTheKeys) {
    Bytes cut = set_key(0, 2, 3.0f, SYNC_LINEAR);
    cut.resize(7);
    struct Case {
        const char* what;
        Bytes bytes;
        bool hang_up;        // the editor closes after sending
        const char* reason;
    };
    const float nan = std::nanf("");
    const Case cases[] = {
        {"garbage", {0x47, 0x45, 0x54, 0x20}, false, "an unknown command"},
        {"a get-track command, which only the demo sends", get_track("x"), false, "an unknown command"},
        {"a message cut short", cut, true, "the editor closed the connection"},
        {"a track not asked for", set_key(1, 0, 1.0f, SYNC_STEP), false, "a key for a track the demo did not ask for"},
        {"a huge track index", delete_key(0xFFFFFFFFu, 0), false, "a key for a track the demo did not ask for"},
        {"a row past 2^31 - 1", set_key(0, 0x80000000u, 1.0f, SYNC_STEP), false, "a key on a row past 2^31 - 1"},
        {"an unknown type", set_key(0, 3, 1.0f, 4), false, "a key of an unknown interpolation type"},
        {"a value that is not a number", set_key(0, 3, nan, SYNC_LINEAR), false,
         "a key whose value is not a finite number"},
        {"a cursor row past 2^31 - 1", set_row(0xFFFFFFF0u), false, "a row past 2^31 - 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        const SyncTrack* t = sync_get_track(f.device, "t");
        ScriptedEditor ed;
        SyncEditor* e = sync_editor_connect(f.device, ed.port);
        ASSERT_NE(e, nullptr) << sync_editor_error();
        ed.greeted();
        ed.receive(get_track("t").size());
        ed.send_bytes(set_key(0, 0, 5.0f, SYNC_STEP));
        SyncEditorEvents ev;
        ASSERT_EQ(poll_until(e, &ev, [&](const SyncEditorEvents&) { return t->count == 1; }), 1);
        ed.send_bytes(c.bytes);
        if (c.hang_up) ed.hang_up();
        EXPECT_EQ(poll_until(e, &ev, [](const SyncEditorEvents&) { return false; }), 0);
        EXPECT_STREQ(e->error, c.reason);
        EXPECT_EQ(t->count, 1);
        EXPECT_FLOAT_EQ(sync_get_val(t, 10.0), 5.0f);
        sync_editor_close(e);
    }
}
