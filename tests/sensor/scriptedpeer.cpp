// Scripted loopback TCP peer: one accepting thread that plays steps and records input.

#include "scriptedpeer.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
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
constexpr int sliceMs = 5; // how often the thread looks at new steps and the stop flag
} // namespace

std::string le32(uint32_t value)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[size_t(i)] = char((value >> (8 * i)) & 0xffu);
    return out;
}

struct ScriptedPeer::Impl
{
    enum class Kind
    {
        Send,
        WaitReceived,
        Pause,
        Close,
        Abort
    };
    struct Step
    {
        Kind kind;
        std::string bytes;
        size_t count = 0;
        int delayMs = 0;
        int timeoutMs = 0;
        Clock::time_point added;
    };

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::deque<Step> steps;
    size_t stepsAdded = 0;
    size_t stepsDone = 0;
    std::string received;
    bool accepted = false;
    bool clientClosed = false;
    bool failed = false;
    std::atomic<bool> stop{false};
    int listenFd = -1;
    int connFd = -1;
    uint16_t port = 0;
    std::thread thread;

    void add(Step step)
    {
        std::lock_guard<std::mutex> lock(mutex);
        step.added = Clock::now();
        steps.push_back(std::move(step));
        ++stepsAdded;
        changed.notify_all();
    }

    // Reads what is there (waiting up to waitMs); records it. False once the stream ended.
    bool pump(int waitMs)
    {
        if (connFd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
            return false;
        }
        pollfd p{connFd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return true;
        char buffer[65536];
        const ssize_t n = ::recv(connFd, buffer, sizeof buffer, 0);
        if (n > 0) {
            std::lock_guard<std::mutex> lock(mutex);
            received.append(buffer, size_t(n));
            changed.notify_all();
            return true;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        std::lock_guard<std::mutex> lock(mutex);
        clientClosed = true;
        changed.notify_all();
        return false;
    }

    bool acceptOne()
    {
        while (!stop) {
            pollfd p{listenFd, POLLIN, 0};
            if (::poll(&p, 1, sliceMs) > 0) {
                const int fd = ::accept(listenFd, nullptr, nullptr);
                if (fd >= 0) {
                    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
                    // Each step's bytes go out at once, not held back until an ACK.
                    const int noDelay = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
                    std::lock_guard<std::mutex> lock(mutex);
                    connFd = fd;
                    accepted = true;
                    changed.notify_all();
                    return true;
                }
            }
        }
        return false;
    }

    void sendBytes(const std::string& bytes)
    {
        size_t done = 0;
        while (connFd >= 0 && done < bytes.size() && !stop) {
            pollfd p{connFd, POLLOUT, 0};
            if (::poll(&p, 1, sliceMs) <= 0)
                continue;
            const ssize_t n =
                ::send(connFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0)
                done += size_t(n);
            else if (n < 0 && errno != EINTR && errno != EAGAIN)
                break;
        }
    }

    void closeConnection(bool reset)
    {
        if (connFd < 0)
            return;
        if (reset) {
            linger l{1, 0};
            ::setsockopt(connFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(connFd);
        connFd = -1;
    }

    void run()
    {
        if (!acceptOne())
            return;
        Clock::time_point previousEnd = Clock::now();
        bool open = true;
        while (!stop) {
            Step step;
            bool have = false;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (!steps.empty()) {
                    step = steps.front();
                    have = true;
                }
            }
            if (!have) {
                if (open)
                    open = pump(sliceMs);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
                continue;
            }
            const Clock::time_point from = step.added > previousEnd ? step.added : previousEnd;
            const Clock::time_point due = from + std::chrono::milliseconds(step.delayMs);
            while (!stop && Clock::now() < due) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now())
                        .count();
                const int wait = int(left < sliceMs ? (left < 1 ? 1 : left) : sliceMs);
                if (open)
                    open = pump(wait);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
            }
            if (stop)
                break;
            switch (step.kind) {
            case Kind::Send:
                sendBytes(step.bytes);
                break;
            case Kind::WaitReceived: {
                const Clock::time_point limit =
                    Clock::now() + std::chrono::milliseconds(step.timeoutMs);
                for (;;) {
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        if (received.size() >= step.count)
                            break;
                    }
                    if (stop || !open || Clock::now() >= limit) {
                        std::lock_guard<std::mutex> lock(mutex);
                        failed = true;
                        break;
                    }
                    open = pump(sliceMs);
                }
                break;
            }
            case Kind::Pause:
                break;
            case Kind::Close:
                closeConnection(false);
                open = false;
                break;
            case Kind::Abort:
                closeConnection(true);
                open = false;
                break;
            }
            previousEnd = Clock::now();
            std::lock_guard<std::mutex> lock(mutex);
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
    if (d->listenFd >= 0)
        ::close(d->listenFd);
}

void ScriptedPeer::send(const std::string& bytes, int delayMs)
{
    Impl::Step step;
    step.kind = Impl::Kind::Send;
    step.bytes = bytes;
    step.delayMs = delayMs;
    d->add(step);
}

void ScriptedPeer::waitForReceived(size_t totalBytes, int timeoutMs)
{
    Impl::Step step;
    step.kind = Impl::Kind::WaitReceived;
    step.count = totalBytes;
    step.timeoutMs = timeoutMs;
    d->add(step);
}

void ScriptedPeer::pause(int delayMs)
{
    Impl::Step step;
    step.kind = Impl::Kind::Pause;
    step.delayMs = delayMs;
    d->add(step);
}

void ScriptedPeer::close(int delayMs)
{
    Impl::Step step;
    step.kind = Impl::Kind::Close;
    step.delayMs = delayMs;
    d->add(step);
}

void ScriptedPeer::abort(int delayMs)
{
    Impl::Step step;
    step.kind = Impl::Kind::Abort;
    step.delayMs = delayMs;
    d->add(step);
}

bool ScriptedPeer::start()
{
    d->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (d->listenFd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(d->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(d->listenFd, 4) != 0 ||
        ::getsockname(d->listenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return false;
    d->port = ntohs(address.sin_port);
    d->thread = std::thread([this] { d->run(); });
    return true;
}

uint16_t ScriptedPeer::port() const
{
    return d->port;
}

bool ScriptedPeer::accepted() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->accepted;
}

std::string ScriptedPeer::received() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->received;
}

bool ScriptedPeer::waitReceived(size_t count, int timeoutMs) const
{
    return d->waitUntil(timeoutMs, [this, count] { return d->received.size() >= count; });
}

bool ScriptedPeer::waitScriptDone(int timeoutMs) const
{
    return d->waitUntil(timeoutMs, [this] { return d->stepsDone == d->stepsAdded; });
}

bool ScriptedPeer::clientClosed() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->clientClosed;
}

bool ScriptedPeer::waitClientClosed(int timeoutMs) const
{
    return d->waitUntil(timeoutMs, [this] { return d->clientClosed; });
}

bool ScriptedPeer::scriptFailed() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->failed;
}

} // namespace testpeer
