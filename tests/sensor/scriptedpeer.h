#pragma once
// Shared by the sensor link tests: little-endian encoders, loopback helpers, and a scripted TCP
// peer on 127.0.0.1 that plays its steps in a thread of its own and records what the client sends.
// A step runs `delayMs` after the previous one ended or, if later, after it was added.

#include <QElapsedTimer>
#include <QtEndian>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testpeer {

inline const auto le32 = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
};
inline const auto le16 = [](int16_t v) { return le32(uint16_t(v)).substr(0, 2); };
inline const auto f32 = [](float v) { return le32(qFromLittleEndian<quint32>(&v)); };
// A request: command, sequence, direction (1 read, 0 write), value.
inline const auto request = [](uint32_t c, uint32_t s, uint32_t d, int32_t v) {
    return le32(c) + le32(s) + le32(d) + le32(uint32_t(v));
};
uint16_t closedPort(); // nothing listens there
// The port of a listener whose queue is full, so that a further connect times out (0 on a
// failure); `held` gets the listener and the descriptors that fill it: close them when done.
uint16_t fullListener(std::vector<int>& held);
int socketOption(int fd, int name); // SOL_SOCKET option, -1 on failure
// Linux doubles a buffer request capped at the system maximum (true when that is unreadable).
bool bufferGranted(int fd, int name, long request); // name: SO_SNDBUF or SO_RCVBUF

struct Stopwatch : QElapsedTimer
{
    Stopwatch() { start(); }
    bool within(qint64 lo, qint64 hi) const { return quint64(elapsed() - lo) < quint64(hi - lo); }
};

class ScriptedPeer
{
public:
    ~ScriptedPeer();
    void send(const std::string& bytes, int delayMs = 0)
    {
        add(delayMs, [this, bytes] { sendBytes(bytes); });
    }
    // A step that waits until `total` bytes arrived in all (at most 5 s).
    void waitForReceived(size_t total)
    {
        add(0, [this, total] { pumpUntil(total); });
    }
    // An orderly close (FIN), or with `reset` an RST.
    void close(int delayMs, bool reset = false)
    {
        add(delayMs, [this, reset] { closeConnection(reset); });
    }

    bool start();
    uint16_t port() const { return port_; }
    std::string received() const;
    bool waitReceived(size_t n, int ms) const
    {
        return waitUntil(ms, [&] { return got_.size() >= n; });
    }
    bool waitScriptDone(int ms) const
    {
        return waitUntil(ms, [this] { return done_ == added_; });
    }
    bool waitClientClosed(int ms) const
    {
        return waitUntil(ms, [this] { return clientClosed_; });
    }

private:
    using Step = std::pair<int, std::function<void()>>; // delay (ms), action
    void add(int delayMs, std::function<void()> action);
    void run();
    void pump(int waitMs);
    void pumpUntil(size_t total);
    void sendBytes(const std::string& bytes);
    void closeConnection(bool reset);
    template <typename Pred> bool waitUntil(int ms, Pred pred) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), pred);
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Step> steps_;
    size_t added_ = 0, done_ = 0;
    std::string got_;
    bool clientClosed_ = false; // written by the peer thread only
    std::atomic<bool> stop_{false};
    int listenFd_ = -1, fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

} // namespace testpeer
