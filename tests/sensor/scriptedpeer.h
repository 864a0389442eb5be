#pragma once
// A scripted TCP peer for tests on 127.0.0.1.
//
// It listens on an ephemeral port, accepts one connection and plays a script of steps in a
// thread of its own, while recording every byte the client sends. Steps may be added before
// or after start(); each runs after the previous one has finished, `delayMs` after the later
// of (end of the previous step, moment the step was added; for the first step: the accept).
//
//     ScriptedPeer peer;
//     peer.waitForReceived(16);            // the client's first request
//     peer.send(reply, 0);                 // answer it at once
//     peer.send(moreBytes, 400);           // 400 ms later, more data
//     peer.close(100);                     // then an orderly close (FIN)
//     QVERIFY(peer.start());
//     ... connect the client to 127.0.0.1:peer.port() ...
//     QCOMPARE(peer.received().size(), size_t(16));
//
// Only loopback traffic; no dependency on Qt.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace testpeer {

// Little-endian 32-bit field as four bytes.
std::string le32(uint32_t value);

class ScriptedPeer
{
public:
    ScriptedPeer();
    ~ScriptedPeer(); // stops the thread and closes both sockets
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Script steps.
    void send(const std::string& bytes, int delayMs = 0);
    // Waits until the client has sent at least `totalBytes` bytes in all (reading meanwhile).
    // On time-out the step is skipped and scriptFailed() becomes true.
    void waitForReceived(size_t totalBytes, int timeoutMs = 5000);
    void pause(int delayMs);     // nothing but the delay
    void close(int delayMs = 0); // orderly close (FIN); the peer stops reading
    void abort(int delayMs = 0); // close with a reset (RST)

    // Listens on 127.0.0.1 with an ephemeral port and starts the thread. False on failure.
    bool start();
    uint16_t port() const;

    bool accepted() const;
    std::string received() const;
    // Waits (in the calling thread) until at least `count` bytes were received.
    bool waitReceived(size_t count, int timeoutMs) const;
    // Waits until every step added so far has run.
    bool waitScriptDone(int timeoutMs) const;
    // The client closed its side (the peer read end-of-stream or an error).
    bool clientClosed() const;
    bool waitClientClosed(int timeoutMs) const;
    bool scriptFailed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testpeer
