#pragma once
// Shared by the sensor link tests: little-endian encoders, loopback helpers, and a scripted
// TCP peer on 127.0.0.1 that plays its steps in a thread of its own and records what the
// client sends. Each step runs `delayMs` after the later of the previous step's end and the
// moment it was added, so steps may be added before or after start().

#include <QElapsedTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testpeer {

std::string le32(uint32_t value);
std::string le16(int16_t value);
std::string f32(float value);
std::string request(uint32_t command, uint32_t sequence, uint32_t direction, int32_t value);
uint16_t closedPort(); // nothing listens there
// A listener whose queue is full, so that a further connect times out; `held` keeps the
// descriptors that fill it (close them and the listener when done).
int fullListener(uint16_t& port, std::vector<int>& held);
int socketOption(int fd, int name); // SOL_SOCKET option, -1 on failure
// Linux doubles a buffer request capped at the system maximum (true when that is unreadable).
bool bufferGranted(int fd, int name, long request); // name: SO_SNDBUF or SO_RCVBUF

struct Stopwatch : QElapsedTimer
{
    Stopwatch() { start(); }
    bool within(qint64 lo, qint64 hi) const; // [lo, hi), printed when outside
};

class ScriptedPeer
{
public:
    ScriptedPeer();
    ~ScriptedPeer();

    void send(const std::string& bytes, int delayMs = 0);
    void waitForReceived(size_t totalBytes, int timeoutMs = 5000);
    void close(int delayMs = 0); // FIN
    void abort(int delayMs = 0); // RST

    bool start();
    uint16_t port() const;
    std::string received() const;
    bool waitReceived(size_t count, int timeoutMs) const;
    bool waitScriptDone(int timeoutMs) const;
    bool waitClientClosed(int timeoutMs) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace testpeer
