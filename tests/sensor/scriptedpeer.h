#pragma once
// Shared by the sensor link tests: little-endian encoders, loopback helpers, and a scripted TCP
// peer on 127.0.0.1 that plays its steps in a thread of its own and records what the client sends.
// A step runs `delayMs` after the previous one ended or, if later, after it was added.

#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
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
constexpr int sliceMs = 5;

inline sockaddr_in loopback(uint16_t port)
{
    return sockaddr_in{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
}

// A socket bound to a free loopback port, listening with `backlog` unless that is negative.
inline int bindLoopback(uint16_t& port, int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t size = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0 ||
        (backlog >= 0 && ::listen(fd, backlog) != 0)) {
        ::close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

inline uint16_t closedPort() // nothing listens there
{
    uint16_t port = 0;
    ::close(bindLoopback(port, -1));
    return port;
}

// The port of a listener whose queue is full, so that a further connect times out (0 on a
// failure); `held` gets the listener and the descriptors that fill it: close them when done.
inline uint16_t fullListener(std::vector<int>& held)
{
    uint16_t port = 0;
    const int listener = bindLoopback(port, 0);
    held.push_back(listener);
    for (int i = 0; listener >= 0 && i < 16; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        held.push_back(fd);
        const sockaddr_in a = loopback(port);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 300) == 0)
            return port; // this one's SYN is dropped: the queue is full
    }
    return 0;
}

inline int socketOption(int fd, int name) // SOL_SOCKET option, -1 on failure
{
    int value = 0;
    socklen_t size = sizeof value;
    return ::getsockopt(fd, SOL_SOCKET, name, &value, &size) == 0 ? value : -1;
}

// Linux doubles a buffer request capped at the system maximum (true when that is unreadable).
inline bool bufferGranted(int fd, int name, long request) // name: SO_SNDBUF or SO_RCVBUF
{
    QFile file(name == SO_SNDBUF ? "/proc/sys/net/core/wmem_max" : "/proc/sys/net/core/rmem_max");
    bool ok = file.open(QIODevice::ReadOnly);
    const long maximum = file.readAll().trimmed().toLong(&ok);
    return !ok || socketOption(fd, name) == 2 * std::min(request, maximum);
}

struct Stopwatch : QElapsedTimer
{
    Stopwatch() { start(); }
    bool within(qint64 lo, qint64 hi) const { return quint64(elapsed() - lo) < quint64(hi - lo); }
};

class ScriptedPeer
{
public:
    ~ScriptedPeer()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        closeConnection(false);
        ::close(listenFd_);
    }
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

    bool start()
    {
        listenFd_ = bindLoopback(port_, 4);
        if (listenFd_ >= 0)
            thread_ = std::thread([this] { run(); });
        return listenFd_ >= 0;
    }
    uint16_t port() const { return port_; }
    std::string received() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return got_;
    }
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
    using Clock = std::chrono::steady_clock;
    using Step = std::pair<int, std::function<void()>>; // delay (ms), action
    void add(int delayMs, std::function<void()> action)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        steps_.push_back({delayMs, std::move(action)});
        ++added_;
    }
    template <typename Pred> bool waitUntil(int ms, Pred pred) const
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), pred);
    }

    // Records what arrives within waitMs (only waits once the stream ended).
    void pump(int waitMs)
    {
        pollfd p{clientClosed_ ? -1 : fd_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return;
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        std::lock_guard<std::mutex> lock(mutex_);
        if (n > 0)
            got_.append(buffer, size_t(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            clientClosed_ = true;
        changed_.notify_all();
    }

    void pumpUntil(size_t total)
    {
        const auto limit = Clock::now() + std::chrono::seconds(5);
        while (!stop_ && !clientClosed_ && fd_ >= 0 && got_.size() < total && Clock::now() < limit)
            pump(sliceMs); // the only writer of `got_`: no lock to read it here
    }

    void sendBytes(const std::string& bytes)
    {
        for (size_t done = 0; fd_ >= 0 && done < bytes.size() && !stop_;) {
            pollfd p{fd_, POLLOUT, 0};
            const ssize_t n =
                ::poll(&p, 1, sliceMs) <= 0
                    ? 0
                    : ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                break;
            done += size_t(std::max<ssize_t>(n, 0));
        }
    }

    void closeConnection(bool reset)
    {
        const linger l{1, 0};
        if (reset)
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(std::exchange(fd_, -1));
    }

    void run()
    {
        while (!stop_ && fd_ < 0) {
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, sliceMs) > 0)
                fd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        }
        const int noDelay = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        while (!stop_) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (steps_.empty()) {
                lock.unlock();
                pump(sliceMs);
                continue;
            }
            const Step step = steps_.front();
            lock.unlock();
            const auto due = Clock::now() + std::chrono::milliseconds(step.first);
            while (!stop_ && Clock::now() < due)
                pump(1);
            if (!stop_)
                step.second();
            lock.lock();
            steps_.pop_front();
            ++done_;
            changed_.notify_all();
        }
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
