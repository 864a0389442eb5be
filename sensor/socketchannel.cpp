// TCP transport to the sensor over POSIX sockets. The socket is non-blocking for its whole
// life; every wait is a poll() that blocks for the time still left, never a busy loop.

#include "sensor/socketchannel.h"
#include "sensor/sensorlimits.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

namespace {

// Module state: written by the GUI thread only, atomics so that readers on other threads
// see consistent values.
std::atomic<bool> networkStarted{false};
std::atomic<int32_t> sendBufferRequest{0};
std::atomic<int32_t> receiveBufferRequest{0};
std::atomic<SendObserver> sendObserver{nullptr};

using Clock = std::chrono::steady_clock;

int64_t elapsedMs(Clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// Time left of a limit, never negative, clamped for poll().
int remainingMs(Clock::time_point since, int64_t limitMs)
{
    const int64_t left = limitMs - elapsedMs(since);
    if (left <= 0)
        return 0;
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

bool wouldBlock(int error)
{
    return error == EWOULDBLOCK || error == EAGAIN || error == EINPROGRESS;
}

enum class Readiness
{
    Ready,
    NotReady,
    Failed
};

// One readiness wait; timeoutMs < 0 waits without limit. Interruptions and would-block
// results count as "not ready yet" so that the caller re-checks its clock and waits again.
Readiness waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{};
    p.fd = fd;
    p.events = events;
    const int rc = ::poll(&p, 1, timeoutMs);
    if (rc > 0)
        return (p.revents & POLLNVAL) ? Readiness::Failed : Readiness::Ready;
    if (rc == 0)
        return Readiness::NotReady;
    const int error = errno;
    if (error == EINTR || wouldBlock(error))
        return Readiness::NotReady;
    return Readiness::Failed;
}

void ensureReadAhead(SocketChannel& channel)
{
    if (!channel.readAhead)
        channel.readAhead.reset(new uint8_t[SensorLimits::userReceiveBufferBytes]);
}

void discardReadAhead(SocketChannel& channel)
{
    channel.readAheadBegin = 0;
    channel.readAheadEnd = 0;
}

// Hands out up to `length` buffered bytes; returns how many were copied.
int takeBuffered(SocketChannel& channel, uint8_t* out, int length)
{
    const int available = channel.readAheadEnd - channel.readAheadBegin;
    if (available <= 0 || length <= 0)
        return 0;
    const int count = available < length ? available : length;
    std::memcpy(out, channel.readAhead.get() + channel.readAheadBegin, static_cast<size_t>(count));
    channel.readAheadBegin += count;
    if (channel.readAheadBegin == channel.readAheadEnd)
        discardReadAhead(channel);
    return count;
}

// A failure inside openChannel once the socket exists: close it at once, no shutdown.
SensorStatus failOpen(SocketChannel& channel, SensorStatus code)
{
    if (channel.socket != 0)
        ::close(channel.socket);
    channel.socket = 0;
    channel.connected = 0;
    discardReadAhead(channel);
    return code;
}

// The connection broke under a send or receive: close it at once (the peer is gone, so no
// pause for pending data) and keep the cause for the owner.
void loseChannel(SocketChannel& channel, int error)
{
    if (channel.socket != 0) {
        ::shutdown(channel.socket, SHUT_RDWR);
        ::close(channel.socket);
    }
    channel.socket = 0;
    channel.connected = 0;
    channel.lossError = error == 0 ? EIO : error;
    discardReadAhead(channel);
}

bool setIntOption(int fd, int level, int name, int value)
{
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

int32_t bufferOption(int32_t request, int32_t fallback)
{
    if (request >= SensorLimits::socketBufferMinRequest) {
        const int64_t size = int64_t(request) + SensorLimits::socketBufferExtra;
        return size > 0x7fffffff ? 0x7fffffff : static_cast<int32_t>(size);
    }
    return fallback;
}

// Shared body of receiveExact and receiveAvailable after the buffered bytes were handed out.
// idle: the clock restarts with each chunk and expires at >= limit; otherwise it runs once
// and expires at > limit. limitMs 0 means: no limit (idle) or return at once (total).
SensorStatus receiveLoop(SocketChannel& channel, uint8_t* out, int length, int total, int limitMs,
                         bool idle)
{
    Clock::time_point clock = Clock::now();
    for (;;) {
        int wait;
        if (limitMs == 0)
            wait = idle ? -1 : 0;
        else
            wait = remainingMs(clock, idle ? limitMs : int64_t(limitMs) + 1);
        const Readiness ready = waitFor(channel.socket, POLLIN, wait);
        if (ready == Readiness::Failed) {
            loseChannel(channel, errno);
            return SensorStatusCode::receiveFailed;
        }
        if (ready == Readiness::Ready) {
            const ssize_t n =
                ::recv(channel.socket, out + total, static_cast<size_t>(length - total), 0);
            if (n > 0) {
                total += static_cast<int>(n);
                if (total >= length)
                    return total;
                if (idle)
                    clock = Clock::now();
                continue;
            }
            if (n == 0) {
                loseChannel(channel, channelClosedByPeer);
                return SensorStatusCode::notConnected;
            }
            const int error = errno;
            if (error == EINTR)
                continue;
            loseChannel(channel, error);
            return wouldBlock(error) ? SensorStatusCode::notConnected
                                     : SensorStatusCode::receiveFailed;
        }
        if (limitMs == 0) {
            if (!idle)
                return total;
            continue;
        }
        const int64_t passed = elapsedMs(clock);
        if (idle ? passed >= limitMs : passed > limitMs)
            return total;
    }
}

} // namespace

SensorStatus startup()
{
    // No socket library start-up exists on POSIX systems; only the flag is kept.
    networkStarted = true;
    return SensorStatusCode::ok;
}

int cleanup()
{
    networkStarted = false;
    return 0;
}

bool networkIsStarted()
{
    return networkStarted;
}

void initChannel(SocketChannel& channel)
{
    channel.socket = 0;
    channel.connected = 0;
    channel.lossError = 0;
    ensureReadAhead(channel);
    discardReadAhead(channel);
}

void setBufferSizes(int32_t sendSize, int32_t receiveSize)
{
    sendBufferRequest = sendSize;
    receiveBufferRequest = receiveSize;
}

int32_t sendBufferOption()
{
    return bufferOption(sendBufferRequest, SensorLimits::defaultSendBuffer);
}

int32_t receiveBufferOption()
{
    return bufferOption(receiveBufferRequest, SensorLimits::defaultReceiveBuffer);
}

void setSendObserver(SendObserver observer)
{
    sendObserver = observer;
}

bool parseDottedAddress(const char* text, uint32_t& address)
{
    if (!text)
        return false;
    uint32_t result = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*p != '.')
                return false;
            ++p;
        }
        int digits = 0;
        uint32_t value = 0;
        while (*p >= '0' && *p <= '9') {
            if (++digits > 3)
                return false;
            value = value * 10 + uint32_t(*p - '0');
            ++p;
        }
        if (digits == 0 || value > 255)
            return false;
        result = (result << 8) | value;
    }
    if (*p != '\0')
        return false;
    address = result;
    return true;
}

SensorStatus resolveOpenTarget(const char* host, unsigned port, int timeoutMs, uint32_t& address,
                               unsigned& resolvedPort, int& resolvedTimeoutMs)
{
    resolvedTimeoutMs = timeoutMs < 1 ? 1 : timeoutMs;
    resolvedPort = port == 0 ? unsigned(SensorLimits::defaultPort) : port;
    if (!parseDottedAddress(host ? host : SensorLimits::defaultHost, address))
        return SensorStatusCode::badAddress;
    // A port that does not fit 16 bits would silently connect elsewhere.
    if (resolvedPort > 65535)
        return SensorStatusCode::connectFailed;
    return SensorStatusCode::ok;
}

SensorStatus openChannel(SocketChannel& channel, const char* host, unsigned port, int timeoutMs)
{
    channel.connected = 0;
    uint32_t address = 0;
    unsigned targetPort = 0;
    int timeout = 0;
    const SensorStatus target =
        resolveOpenTarget(host, port, timeoutMs, address, targetPort, timeout);
    if (target != SensorStatusCode::ok)
        return target;

    // A socket left from an earlier open would leak; drop it without the close pause.
    if (channel.socket != 0)
        failOpen(channel, 0);
    ensureReadAhead(channel);
    discardReadAhead(channel);

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        channel.socket = 0;
        return SensorStatusCode::socketFailed;
    }
    if (fd == 0) {
        // Handle 0 means "no socket" in the channel, so move the socket elsewhere.
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        ::close(fd);
        if (moved < 0) {
            channel.socket = 0;
            return SensorStatusCode::socketFailed;
        }
        fd = moved;
    }
    channel.socket = fd;

    if (!setIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1))
        return failOpen(channel, SensorStatusCode::connectFailed);
    if (!setIntOption(fd, SOL_SOCKET, SO_SNDBUF, sendBufferOption()))
        return failOpen(channel, SensorStatusCode::bufferOptionFailed);
    if (!setIntOption(fd, SOL_SOCKET, SO_RCVBUF, receiveBufferOption()))
        return failOpen(channel, SensorStatusCode::bufferOptionFailed);
    linger abort{};
    abort.l_onoff = 1;
    abort.l_linger = 0; // closing aborts the connection at once
    if (::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort) != 0)
        return failOpen(channel, SensorStatusCode::bufferOptionFailed);
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return failOpen(channel, SensorStatusCode::connectFailed);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<uint16_t>(targetPort));
    peer.sin_addr.s_addr = htonl(address);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        const int error = errno;
        if (!wouldBlock(error) && error != EINTR)
            return failOpen(channel, SensorStatusCode::connectFailed);
        const Clock::time_point start = Clock::now();
        for (;;) {
            const int left = remainingMs(start, timeout);
            if (left <= 0)
                return failOpen(channel, SensorStatusCode::connectFailed);
            const Readiness ready = waitFor(fd, POLLOUT, left);
            if (ready == Readiness::Failed) {
                closeChannel(channel);
                return SensorStatusCode::connectFailed;
            }
            if (ready == Readiness::Ready)
                break;
        }
        // Writable also signals a failed connect (refused, unreachable) on POSIX.
        int pending = 0;
        socklen_t size = sizeof pending;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0 || pending != 0)
            return failOpen(channel, SensorStatusCode::connectFailed);
    }

    sockaddr_in name{};
    socklen_t nameSize = sizeof name;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&name), &nameSize) != 0)
        return failOpen(channel, SensorStatusCode::peerNameFailed);
    channel.peerAddress = ntohl(name.sin_addr.s_addr);
    channel.peerPort = ntohs(name.sin_port);
    nameSize = sizeof name;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&name), &nameSize) != 0)
        return failOpen(channel, SensorStatusCode::localNameFailed);
    channel.localPort = ntohs(name.sin_port);
    channel.connected = 1;
    channel.lossError = 0;
    return SensorStatusCode::ok;
}

void closeChannel(SocketChannel& channel)
{
    if (channel.socket != 0) {
        ::shutdown(channel.socket, SHUT_RDWR);
        std::this_thread::sleep_for(std::chrono::milliseconds(SensorLimits::closePauseMs));
        ::close(channel.socket);
    }
    channel.socket = 0;
    channel.connected = 0;
    discardReadAhead(channel);
}

int receiveByte(SocketChannel& channel, int timeoutMs)
{
    if (channel.connected == 0 || channel.socket == 0)
        return -1;
    if (channel.readAheadBegin < channel.readAheadEnd)
        return channel.readAhead[channel.readAheadBegin++];
    ensureReadAhead(channel);
    discardReadAhead(channel);

    const Clock::time_point start = Clock::now();
    for (;;) {
        const int wait = timeoutMs == 0 ? -1 : remainingMs(start, timeoutMs);
        const Readiness ready = waitFor(channel.socket, POLLIN, wait);
        if (ready == Readiness::Failed) {
            loseChannel(channel, errno);
            return -1;
        }
        if (ready == Readiness::Ready) {
            const ssize_t n = ::recv(channel.socket, channel.readAhead.get(),
                                     size_t(SensorLimits::userReceiveBufferBytes), 0);
            if (n > 0) {
                channel.readAheadBegin = 1;
                channel.readAheadEnd = static_cast<int>(n);
                if (channel.readAheadBegin == channel.readAheadEnd)
                    discardReadAhead(channel);
                return channel.readAhead[0];
            }
            if (n == 0) {
                loseChannel(channel, channelClosedByPeer);
                return -1;
            }
            const int error = errno;
            if (error != EINTR && !wouldBlock(error)) {
                loseChannel(channel, error);
                return -1;
            }
        }
        if (timeoutMs != 0 && elapsedMs(start) >= timeoutMs)
            return -1;
    }
}

SensorStatus sendAll(SocketChannel& channel, const void* buffer, int length)
{
    if (length < 1)
        return 0;
    if (channel.connected == 0 || channel.socket == 0)
        return SensorStatusCode::notConnected;
    const uint8_t* data = static_cast<const uint8_t*>(buffer);
    int sent = 0;
    for (;;) {
        const Readiness ready = waitFor(channel.socket, POLLOUT, -1);
        if (ready == Readiness::Failed) {
            loseChannel(channel, errno);
            return SensorStatusCode::sendFailed;
        }
        if (ready == Readiness::NotReady)
            continue;
        const int left = length - sent;
        const int chunk = left < SensorLimits::sendChunkBytes ? left : SensorLimits::sendChunkBytes;
        if (SendObserver observer = sendObserver.load())
            observer(chunk);
        const ssize_t n = ::send(channel.socket, data + sent, size_t(chunk), MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<int>(n);
            if (sent >= length)
                return length;
            continue;
        }
        if (n == 0)
            continue;
        const int error = errno;
        if (error == EINTR || wouldBlock(error))
            continue;
        loseChannel(channel, error);
        return SensorStatusCode::sendFailed;
    }
}

SensorStatus receiveExact(SocketChannel& channel, void* buffer, int length, int idleTimeoutMs)
{
    if (length < 1)
        return 0;
    if (channel.connected == 0 || channel.socket == 0)
        return SensorStatusCode::notConnected;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const int buffered = takeBuffered(channel, out, length);
    if (buffered == length)
        return length;
    return receiveLoop(channel, out, length, buffered, idleTimeoutMs < 0 ? 0 : idleTimeoutMs, true);
}

SensorStatus receiveAvailable(SocketChannel& channel, void* buffer, int maxLength,
                              int totalTimeoutMs)
{
    if (maxLength < 1)
        return 0;
    if (channel.connected == 0 || channel.socket == 0)
        return SensorStatusCode::notConnected;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const int buffered = takeBuffered(channel, out, maxLength);
    if (buffered == maxLength)
        return maxLength;
    return receiveLoop(channel, out, maxLength, buffered, totalTimeoutMs < 0 ? 0 : totalTimeoutMs,
                       false);
}
