#include "scriptedpeer.h"

#include <QFile>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
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

uint16_t closedPort()
{
    uint16_t port = 0;
    ::close(bindLoopback(port, -1));
    return port;
}

uint16_t fullListener(std::vector<int>& held)
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

ScriptedPeer::~ScriptedPeer()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    closeConnection(false);
    ::close(listenFd_);
}

bool ScriptedPeer::start()
{
    listenFd_ = bindLoopback(port_, 4);
    if (listenFd_ >= 0)
        thread_ = std::thread([this] { run(); });
    return listenFd_ >= 0;
}

std::string ScriptedPeer::received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return got_;
}

void ScriptedPeer::add(int delayMs, std::function<void()> action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    steps_.push_back({delayMs, std::move(action)});
    ++added_;
}

// Records what arrives within waitMs (only waits once the stream ended).
void ScriptedPeer::pump(int waitMs)
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

void ScriptedPeer::pumpUntil(size_t total)
{
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (!stop_ && !clientClosed_ && fd_ >= 0 && got_.size() < total && Clock::now() < limit)
        pump(sliceMs); // the only writer of `got_`: no lock to read it here
}

void ScriptedPeer::sendBytes(const std::string& bytes)
{
    for (size_t done = 0; fd_ >= 0 && done < bytes.size() && !stop_;) {
        pollfd p{fd_, POLLOUT, 0};
        const ssize_t n = ::poll(&p, 1, sliceMs) <= 0
                              ? 0
                              : ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
        done += size_t(std::max<ssize_t>(n, 0));
    }
}

void ScriptedPeer::closeConnection(bool reset)
{
    const linger l{1, 0};
    if (reset)
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(std::exchange(fd_, -1));
}

void ScriptedPeer::run()
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

} // namespace testpeer
