#include "scriptedpeer.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testpeer {

namespace {
using Clock = std::chrono::steady_clock;
constexpr int sliceMs = 5;

sockaddr_in loopback(uint16_t port)
{
    return sockaddr_in{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
}

// A socket bound to a free loopback port, listening with `backlog` unless that is negative.
int bindLoopback(uint16_t& port, int backlog)
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
} // namespace

std::string le32(uint32_t v)
{
    return {char(v & 0xffu), char((v >> 8) & 0xffu), char((v >> 16) & 0xffu), char(v >> 24)};
}

std::string le16(int16_t value)
{
    return le32(uint16_t(value)).substr(0, 2);
}
std::string f32(float value)
{
    return le32(qFromLittleEndian<quint32>(&value));
}
std::string request(uint32_t command, uint32_t sequence, uint32_t direction, int32_t value)
{
    return le32(command) + le32(sequence) + le32(direction) + le32(uint32_t(value));
}

uint16_t closedPort()
{
    uint16_t port = 0;
    ::close(bindLoopback(port, -1));
    return port;
}

int fullListener(uint16_t& port, std::vector<int>& held)
{
    const int listener = bindLoopback(port, 0);
    for (int i = 0; listener >= 0 && i < 16; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        held.push_back(fd);
        const sockaddr_in a = loopback(port);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 300) == 0)
            return listener; // this one's SYN is dropped: the queue is full
    }
    return -1;
}

int socketOption(int fd, int name)
{
    int value = 0;
    socklen_t size = sizeof value;
    return ::getsockopt(fd, SOL_SOCKET, name, &value, &size) == 0 ? value : -1;
}

bool bufferGranted(int fd, int name, long request)
{
    QFile file(name == SO_SNDBUF ? "/proc/sys/net/core/wmem_max" : "/proc/sys/net/core/rmem_max");
    bool ok = file.open(QIODevice::ReadOnly);
    const long maximum = file.readAll().trimmed().toLong(&ok);
    return !ok || socketOption(fd, name) == 2 * std::min(request, maximum);
}

bool Stopwatch::within(qint64 lo, qint64 hi) const
{
    const qint64 ms = elapsed();
    if (ms < lo || ms >= hi)
        qWarning("elapsed %lld ms, expected %lld..%lld ms", ms, lo, hi);
    return ms >= lo && ms < hi;
}

struct ScriptedPeer::Impl
{
    struct Step
    {
        int delayMs;
        Clock::time_point added;
        std::function<void()> action;
    };
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::deque<Step> steps;
    size_t stepsAdded = 0, stepsDone = 0;
    std::string received;
    bool clientClosed = false; // written by the peer thread only
    std::atomic<bool> stop{false};
    int listenFd = -1, connFd = -1;
    uint16_t port = 0;
    std::thread thread;

    void add(int delayMs, std::function<void()> action)
    {
        std::lock_guard<std::mutex> lock(mutex);
        steps.push_back({delayMs, Clock::now(), std::move(action)});
        ++stepsAdded;
        changed.notify_all();
    }

    // Records what arrives within waitMs (only waits once the stream ended).
    void pump(int waitMs)
    {
        pollfd p{clientClosed ? -1 : connFd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return;
        char buffer[65536];
        const ssize_t n = ::recv(connFd, buffer, sizeof buffer, 0);
        std::lock_guard<std::mutex> lock(mutex);
        if (n > 0)
            received.append(buffer, size_t(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            clientClosed = true;
        changed.notify_all();
    }

    void sendBytes(const std::string& bytes)
    {
        for (size_t done = 0; connFd >= 0 && done < bytes.size() && !stop;) {
            pollfd p{connFd, POLLOUT, 0};
            const ssize_t n =
                ::poll(&p, 1, sliceMs) <= 0
                    ? 0
                    : ::send(connFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                break;
            done += size_t(std::max<ssize_t>(n, 0));
        }
    }

    void waitReceived(size_t count, int timeoutMs)
    {
        const auto limit = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!stop && !clientClosed && connFd >= 0 && received.size() < count &&
               Clock::now() < limit)
            pump(sliceMs); // the only writer of `received`: no lock to read it here
    }

    void closeConnection(bool reset)
    {
        const linger l{1, 0};
        if (reset)
            ::setsockopt(connFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(std::exchange(connFd, -1));
    }

    void run()
    {
        while (!stop && connFd < 0) {
            pollfd p{listenFd, POLLIN, 0};
            if (::poll(&p, 1, sliceMs) > 0)
                connFd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        }
        const int noDelay = 1;
        ::setsockopt(connFd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        Clock::time_point previousEnd = Clock::now();
        while (!stop) {
            std::unique_lock<std::mutex> lock(mutex);
            if (steps.empty()) {
                lock.unlock();
                pump(sliceMs);
                continue;
            }
            const Step step = steps.front();
            lock.unlock();
            const auto due =
                std::max(step.added, previousEnd) + std::chrono::milliseconds(step.delayMs);
            while (!stop && Clock::now() < due)
                pump(1);
            if (!stop)
                step.action();
            previousEnd = Clock::now();
            lock.lock();
            steps.pop_front();
            ++stepsDone;
            changed.notify_all();
        }
    }

    template <typename Pred> bool waitUntil(int timeoutMs, Pred pred) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
    }
};

ScriptedPeer::ScriptedPeer() : d(new Impl) {}
ScriptedPeer::~ScriptedPeer()
{
    d->stop = true;
    if (d->thread.joinable())
        d->thread.join();
    d->closeConnection(false);
    ::close(d->listenFd);
}

void ScriptedPeer::send(const std::string& bytes, int delayMs)
{
    d->add(delayMs, [this, bytes] { d->sendBytes(bytes); });
}
void ScriptedPeer::close(int delayMs)
{
    d->add(delayMs, [this] { d->closeConnection(false); });
}
void ScriptedPeer::abort(int delayMs)
{
    d->add(delayMs, [this] { d->closeConnection(true); });
}
void ScriptedPeer::waitForReceived(size_t total, int timeoutMs)
{
    d->add(0, [=] { d->waitReceived(total, timeoutMs); });
}

bool ScriptedPeer::start()
{
    d->listenFd = bindLoopback(d->port, 4);
    if (d->listenFd >= 0)
        d->thread = std::thread([this] { d->run(); });
    return d->listenFd >= 0;
}

uint16_t ScriptedPeer::port() const
{
    return d->port;
}
std::string ScriptedPeer::received() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->received;
}
bool ScriptedPeer::waitReceived(size_t n, int ms) const
{
    return d->waitUntil(ms, [=] { return d->received.size() >= n; });
}
bool ScriptedPeer::waitScriptDone(int ms) const
{
    return d->waitUntil(ms, [=] { return d->stepsDone == d->stepsAdded; });
}
bool ScriptedPeer::waitClientClosed(int ms) const
{
    return d->waitUntil(ms, [=] { return d->clientClosed; });
}

} // namespace testpeer
