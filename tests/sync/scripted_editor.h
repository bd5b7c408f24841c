// A sync editor scripted by a test: listens on a free port of 127.0.0.1, greets
// the first client that connects, then sends and receives what the test says.
// And the protocol's messages as bytes.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/sync/sync_editor.h"

namespace scripted {

using Bytes = std::vector<uint8_t>;

inline void put32(Bytes* b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b->push_back(uint8_t(v >> s));
}

inline Bytes set_key(uint32_t track, uint32_t row, float value, uint8_t type) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    Bytes b = {SYNC_CMD_SET_KEY};
    put32(&b, track);
    put32(&b, row);
    put32(&b, bits);
    b.push_back(type);
    return b;
}

inline Bytes delete_key(uint32_t track, uint32_t row) {
    Bytes b = {SYNC_CMD_DELETE_KEY};
    put32(&b, track);
    put32(&b, row);
    return b;
}

inline Bytes set_row(uint32_t row) {
    Bytes b = {SYNC_CMD_SET_ROW};
    put32(&b, row);
    return b;
}

// An editor listening on a free port of 127.0.0.1; `answer` is its greeting.
struct ScriptedEditor {
    int listener = -1, fd = -1, port = 0;
    std::thread greeter;
    std::string heard_greeting;

    explicit ScriptedEditor(const std::string& answer = "hello, demo!") {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(listen(listener, 1), 0);
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        greeter = std::thread([this, answer] {
            fd = accept(listener, nullptr, nullptr);
            char g[19];
            size_t got = 0;
            while (got < sizeof g) {
                const ssize_t n = recv(fd, g + got, sizeof g - got, 0);
                if (n <= 0) break;
                got += size_t(n);
            }
            heard_greeting.assign(g, got);
            send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        });
    }
    ~ScriptedEditor() {
        if (greeter.joinable()) greeter.join();
        if (fd >= 0) close(fd);
        close(listener);
    }
    void greeted() {
        if (greeter.joinable()) greeter.join();
    }
    void send_bytes(const Bytes& b) { ASSERT_EQ(send(fd, b.data(), b.size(), MSG_NOSIGNAL), ssize_t(b.size())); }
    // Exactly n bytes from the demo (a second at most).
    Bytes receive(size_t n) {
        Bytes b(n);
        size_t got = 0;
        timeval tv = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        while (got < n) {
            const ssize_t r = recv(fd, b.data() + got, n - got, 0);
            if (r <= 0) break;
            got += size_t(r);
        }
        b.resize(got);
        return b;
    }
    void hang_up() {
        close(fd);
        fd = -1;
    }
};

inline Bytes get_track(const std::string& name) {
    Bytes b = {SYNC_CMD_GET_TRACK};
    put32(&b, uint32_t(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    return b;
}
}  // namespace scripted
