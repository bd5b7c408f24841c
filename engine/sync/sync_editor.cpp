// The sync editor's client: one TCP connection to 127.0.0.1, read without
// waiting once the greeting is done. Messages may arrive in pieces: the start of
// one is kept until the rest comes. Every byte from the editor is checked before
// it is used; anything wrong ends the connection and leaves the tracks as they are.
#include "engine/sync/sync_editor.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/memory/gmem.h"

#if !defined(_WIN32)
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

// ---- module state -----------------------------------------------------------

static char connect_error[160] = "";

// ---- private helpers --------------------------------------------------------

#if !defined(_WIN32)

static const char CLIENT_GREETING[] = "hello, synctracker!";
static const char EDITOR_GREETING[] = "hello, demo!";
static const int GREETING_WAIT_MS = 1000;

static uint32_t read_be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

static void write_be32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// The payload bytes after each command byte the editor may send; -1 for the others.
static int payload_size(uint8_t command)
{
    switch (command) {
    case SYNC_CMD_SET_KEY: return 13;
    case SYNC_CMD_DELETE_KEY: return 8;
    case SYNC_CMD_SET_ROW: return 4;
    case SYNC_CMD_PAUSE: return 1;
    case SYNC_CMD_SAVE_TRACKS: return 0;
    default: return -1;
    }
}

static void end_connection(SyncEditor* e, const char* why)
{
    if (e->fd >= 0) close(e->fd);
    e->fd = -1;
    e->buffered = 0;
    std::snprintf(e->error, sizeof e->error, "%s", why);
}

// Sends all of `size` bytes (the socket may take them in parts); false ends the connection.
static bool send_all(SyncEditor* e, const uint8_t* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = send(e->fd, bytes, size, MSG_NOSIGNAL);
        if (n > 0) {
            bytes += n;
            size -= size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p = {e->fd, POLLOUT, 0};
            if (poll(&p, 1, GREETING_WAIT_MS) > 0) continue;
        }
        end_connection(e, "the editor stopped taking what the demo sends");
        return false;
    }
    return true;
}

static bool request_track(SyncEditor* e, const SyncTrack* track)
{
    const size_t length = std::strlen(track->name);
    uint8_t head[5];
    head[0] = SYNC_CMD_GET_TRACK;
    write_be32(head + 1, uint32_t(length));
    return send_all(e, head, sizeof head) && send_all(e, reinterpret_cast<const uint8_t*>(track->name), length);
}

// Applies one whole message (command byte and payload); false ends the connection.
static bool apply(SyncEditor* e, const uint8_t* m, SyncEditorEvents* ev)
{
    switch (m[0]) {
    case SYNC_CMD_SET_KEY:
    case SYNC_CMD_DELETE_KEY: {
        const uint32_t index = read_be32(m + 1), row = read_be32(m + 5);
        if (index >= uint32_t(e->requested)) return end_connection(e, "a key for a track the demo did not ask for"), false;
        if (row > uint32_t(INT32_MAX)) return end_connection(e, "a key on a row past 2^31 - 1"), false;
        SyncTrack* track = sync_track_at(e->device, int32_t(index));
        if (m[0] == SYNC_CMD_DELETE_KEY) {
            sync_del_key(track, int32_t(row));
        } else {
            SyncKey key;
            const uint32_t bits = read_be32(m + 9);
            std::memcpy(&key.value, &bits, 4);
            key.row = int32_t(row);
            key.type = m[13];
            if (!std::isfinite(key.value)) return end_connection(e, "a key whose value is not a finite number"), false;
            if (key.type >= SYNC_TYPE_COUNT) return end_connection(e, "a key of an unknown interpolation type"), false;
            if (!sync_set_key(track, &key)) return end_connection(e, "no memory for a key"), false;
        }
        ev->keys++;
        return true;
    }
    case SYNC_CMD_SET_ROW: {
        const uint32_t row = read_be32(m + 1);
        if (row > uint32_t(INT32_MAX)) return end_connection(e, "a row past 2^31 - 1"), false;
        ev->row_set = 1;
        ev->row = int32_t(row);
        return true;
    }
    case SYNC_CMD_PAUSE:
        ev->pause_set = 1;
        ev->paused = m[1] != 0;
        return true;
    case SYNC_CMD_SAVE_TRACKS:
        ev->saved = sync_save_tracks(e->device);
        return true;
    }
    return end_connection(e, "an unknown command"), false;
}

#endif

// ---- public functions ---------------------------------------------------------

SyncEditor* sync_editor_connect(SyncDevice* device, int port)
{
    connect_error[0] = 0;
    if (!device || port <= 0 || port > 65535) {
        std::snprintf(connect_error, sizeof connect_error, "no device, or a port outside 1-65535");
        return nullptr;
    }
#if defined(_WIN32)
    std::snprintf(connect_error, sizeof connect_error, "the sync editor connection is not built for Windows");
    return nullptr;
#else
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        std::snprintf(connect_error, sizeof connect_error, "no socket: %s", std::strerror(errno));
        return nullptr;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::snprintf(connect_error, sizeof connect_error, "no sync editor on 127.0.0.1:%d (%s)", port,
                      std::strerror(errno));
        close(fd);
        return nullptr;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // The greeting, both ways, with a deadline for the answer.
    char answer[sizeof EDITOR_GREETING - 1];
    size_t got = 0;
    bool greeted = send(fd, CLIENT_GREETING, sizeof CLIENT_GREETING - 1, MSG_NOSIGNAL) ==
                   ssize_t(sizeof CLIENT_GREETING - 1);
    while (greeted && got < sizeof answer) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, GREETING_WAIT_MS) <= 0) {
            greeted = false;
            break;
        }
        const ssize_t n = recv(fd, answer + got, sizeof answer - got, 0);
        if (n <= 0) greeted = false;
        else got += size_t(n);
    }
    if (!greeted || std::memcmp(answer, EDITOR_GREETING, sizeof answer) != 0) {
        std::snprintf(connect_error, sizeof connect_error, "127.0.0.1:%d did not answer as a sync editor", port);
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    SyncEditor* e = static_cast<SyncEditor*>(gmem_alloc(sizeof(SyncEditor)));
    if (!e) {
        std::snprintf(connect_error, sizeof connect_error, "no memory");
        close(fd);
        return nullptr;
    }
    e->fd = fd;
    e->device = device;
    e->requested = 0;
    e->buffered = 0;
    e->error[0] = 0;
    while (e->requested < device->count && e->fd >= 0)
        if (request_track(e, device->tracks[e->requested])) e->requested++;
    return e;
#endif
}

int sync_editor_poll(SyncEditor* e, SyncEditorEvents* events)
{
    SyncEditorEvents ignored;
    SyncEditorEvents* ev = events ? events : &ignored;
    *ev = SyncEditorEvents{};
    if (!e || e->fd < 0) return 0;
#if defined(_WIN32)
    return 0;
#else
    for (;;) {
        const ssize_t n = recv(e->fd, e->buffer + e->buffered, size_t(SYNC_EDITOR_BUFFER - e->buffered), 0);
        if (n == 0) return end_connection(e, "the editor closed the connection"), 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 1;
            return end_connection(e, std::strerror(errno)), 0;
        }
        e->buffered += int32_t(n);
        // Every whole message in the buffer; the start of the next one moves to the front.
        int32_t used = 0;
        while (used < e->buffered) {
            const int size = payload_size(e->buffer[used]);
            if (size < 0) return end_connection(e, "an unknown command"), 0;
            if (e->buffered - used < 1 + size) break;
            if (!apply(e, e->buffer + used, ev)) return 0;
            used += 1 + size;
        }
        std::memmove(e->buffer, e->buffer + used, size_t(e->buffered - used));
        e->buffered -= used;
    }
#endif
}

const SyncTrack* sync_editor_track(SyncEditor* e, const char* name)
{
    if (!e) return nullptr;
    const SyncTrack* track = sync_get_track(e->device, name);
    if (!track) return nullptr;
#if !defined(_WIN32)
    while (e->fd >= 0 && e->requested < e->device->count)
        if (request_track(e, e->device->tracks[e->requested])) e->requested++;
#endif
    return track;
}

int sync_editor_set_row(SyncEditor* e, int32_t row)
{
    if (!e || e->fd < 0 || row < 0) return 0;
#if defined(_WIN32)
    return 0;
#else
    uint8_t message[5];
    message[0] = SYNC_CMD_SET_ROW;
    write_be32(message + 1, uint32_t(row));
    return send_all(e, message, sizeof message) ? 1 : 0;
#endif
}

int sync_editor_connected(const SyncEditor* e)
{
    return e && e->fd >= 0;
}

void sync_editor_close(SyncEditor* e)
{
    if (!e) return;
#if !defined(_WIN32)
    if (e->fd >= 0) close(e->fd);
#endif
    gmem_free(e);
}

const char* sync_editor_error()
{
    return connect_error;
}
