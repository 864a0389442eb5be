#pragma once
// Shared helpers of the sensor link tests: little-endian encoders, the 16-byte request, a
// closed loopback port, and a scripted TCP peer on 127.0.0.1.
//
// The peer accepts one connection and plays its steps in a thread of its own while recording
// every byte the client sends. Each step runs `delayMs` after the later of (end of the previous
// step or the accept, moment the step was added), so steps may be added before or after start().
//
//     ScriptedPeer peer;
//     peer.waitForReceived(16);  // the client's first request
//     peer.send(reply);          // answer it at once
//     peer.close(100);           // then an orderly close (FIN)
//     QVERIFY(peer.start());     // ... connect to 127.0.0.1:peer.port() ...

#include <QElapsedTimer>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace testpeer {

std::string le32(uint32_t value);
std::string le16(int16_t value);
std::string f32(float value); // IEEE bits, little-endian
// A plain request: command, sequence, direction, value.
std::string request(uint32_t command, uint32_t sequence, uint32_t direction, int32_t value);
// A port on 127.0.0.1 with nothing listening (bound, then released).
uint16_t closedPort();
// A listener on 127.0.0.1 that never accepts; returns its descriptor and sets `port`.
int idleListener(int backlog, uint16_t& port);

// A timer started at construction. within() checks the elapsed time against generous bounds
// [lo, hi) and prints it when outside.
struct Stopwatch : QElapsedTimer
{
    Stopwatch() { start(); }
    bool within(qint64 lo, qint64 hi) const;
};

class ScriptedPeer
{
public:
    ScriptedPeer();
    ~ScriptedPeer(); // stops the thread and closes both sockets
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Script steps.
    void send(const std::string& bytes, int delayMs = 0);
    // Waits until the client has sent `totalBytes` in all; on time-out scriptFailed() is set.
    void waitForReceived(size_t totalBytes, int timeoutMs = 5000);
    void close(int delayMs = 0); // orderly close (FIN); the peer stops reading
    void abort(int delayMs = 0); // close with a reset (RST)

    bool start(); // listens on an ephemeral port of 127.0.0.1 and starts the thread
    uint16_t port() const;

    std::string received() const;
    bool waitReceived(size_t count, int timeoutMs) const; // in the calling thread
    bool waitScriptDone(int timeoutMs) const;             // every step added so far has run
    bool waitClientClosed(int timeoutMs) const;           // the peer read end-of-stream

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testpeer
