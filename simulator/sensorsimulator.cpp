#include "simulator/sensorsimulator.h"

#include "simulator/connection.h"
#include "simulator/flashstate.h"
#include "simulator/framering.h"
#include "simulator/scene.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

struct SensorSimulator::Impl
{
    SimState state;
    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    uint16_t boundPort = 0;
    std::thread acceptThread;
    std::unique_ptr<Connection> current; // accept thread only

    void acceptLoop();
};

void SensorSimulator::Impl::acceptLoop()
{
    for (;;) {
        pollfd p[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (p[1].revents & (POLLIN | POLLHUP | POLLERR)))
            break;
        if (!(p[0].revents & POLLIN))
            continue;
        const int fd = ::accept(listenFd, nullptr, nullptr);
        if (fd < 0)
            continue;
        // One client at a time, as a real sensor: while a client is connected a further
        // connection is closed at once; a client that has gone is replaced.
        if (current && !current->peerGone()) {
            ::close(fd);
            ++state.refused;
            continue;
        }
        current.reset();
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++state.connections;
        current = std::make_unique<Connection>(state, fd);
    }
    current.reset();
}

SensorSimulator::SensorSimulator(Options options) : d(std::make_unique<Impl>())
{
    d->state.options = options;
    setPoints(options.points);
    setImageSize(options.imageWidth, options.imageHeight);
    setProfileFormat(options.profileFormat, options.profileType);
    setGroove(options.angle, options.secondAngle, options.angleEvery);
    setInvalidShare(options.invalidShare);
    d->state.productText = defaultProductText(d->state.fovLocked());
    if (!options.statePath.empty())
        loadFlashState(options.statePath, d->state.params, d->state.productText);
}

SensorSimulator::~SensorSimulator()
{
    stop();
}

bool SensorSimulator::start()
{
    if (d->acceptThread.joinable())
        return true;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(d->state.options.port);
    if (::inet_pton(AF_INET, d->state.options.bind.c_str(), &addr.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::pipe2(d->wakePipe, O_CLOEXEC) != 0) {
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    d->boundPort = ntohs(addr.sin_port);
    d->listenFd = fd;
    d->acceptThread = std::thread([this] { d->acceptLoop(); });
    return true;
}

void SensorSimulator::stop()
{
    if (!d->acceptThread.joinable())
        return;
    const char byte = 0;
    [[maybe_unused]] const ssize_t woken = ::write(d->wakePipe[1], &byte, 1);
    d->acceptThread.join();
    ::close(d->listenFd);
    ::close(d->wakePipe[0]);
    ::close(d->wakePipe[1]);
    d->listenFd = d->wakePipe[0] = d->wakePipe[1] = -1;
    d->state.streaming = false;
}

uint16_t SensorSimulator::port() const
{
    return d->boundPort;
}

std::vector<Request> SensorSimulator::requests() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.log;
}

void SensorSimulator::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.log.clear();
}

bool SensorSimulator::waitForRequests(size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->state.mutex);
    return d->state.logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [&] { return d->state.log.size() >= count; });
}

void SensorSimulator::setParameter(int command, int32_t value)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    auto it = d->state.params.find(command);
    if (it == d->state.params.end())
        d->state.params[command] = Param{value, value, value, true};
    else
        it->second.value = value;
}

void SensorSimulator::setRange(int command, int32_t minimum, int32_t maximum)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    auto it = d->state.params.find(command);
    if (it == d->state.params.end()) {
        d->state.params[command] = Param{minimum, maximum, minimum, true};
    } else {
        it->second.minimum = minimum;
        it->second.maximum = maximum;
    }
}

int32_t SensorSimulator::parameter(int command) const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    const auto it = d->state.params.find(command);
    return it == d->state.params.end() ? 0 : it->second.value;
}

void SensorSimulator::setProductText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.productText = text;
}

std::string SensorSimulator::productText() const
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    return d->state.productText;
}

void SensorSimulator::injectReplyFault(ReplyFault fault, int param, const std::string& bytes,
                                       int count)
{
    if (fault == ReplyFault::None || count <= 0)
        return;
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.replyFaults.push_back({fault, param, bytes, count});
}

void SensorSimulator::injectStreamFault(StreamFault fault, int param, const std::string& bytes,
                                        int count)
{
    if (fault == StreamFault::None || count <= 0)
        return;
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.streamFaults.push_back({fault, param, bytes, count});
    d->state.hasStreamFaults = true;
}

bool SensorSimulator::setRate(double framesPerSecond)
{
    if (!isValidRate(framesPerSecond))
        return false;
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.options.rate = framesPerSecond;
    return true;
}

void SensorSimulator::setResyncStopsStream(bool stops)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.options.resyncStopsStream = stops;
}

void SensorSimulator::setProfileFormat(int format, int type)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.options.profileFormat = format == 1 ? 1 : 0;
    d->state.options.profileType = type == 3 ? 3 : 2;
}

void SensorSimulator::setPoints(int points)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.options.points = std::clamp(points, 1, maxColumnPoints);
}

void SensorSimulator::setGroove(double angle, double secondAngle, int angleEvery)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.options.angle = std::clamp(angle, Groove::minAngleDeg, Groove::maxAngleDeg);
    d->state.options.secondAngle =
        std::clamp(secondAngle, Groove::minAngleDeg, Groove::maxAngleDeg);
    d->state.options.angleEvery = std::max(0, angleEvery);
}

void SensorSimulator::setInvalidShare(double share)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.options.invalidShare = std::clamp(share, 0.0, 1.0);
}

void SensorSimulator::setImageSize(int width, int height)
{
    std::lock_guard<std::mutex> lock(d->state.mutex);
    d->state.options.imageWidth = std::clamp(width, 0, maxImageSide);
    d->state.options.imageHeight = std::clamp(height, 0, maxImageSide);
}

bool SensorSimulator::isStreaming() const
{
    return d->state.streaming;
}

uint64_t SensorSimulator::framesSent() const
{
    return d->state.framesSent;
}

int SensorSimulator::refusedCount() const
{
    return d->state.refused;
}

int SensorSimulator::connectionCount() const
{
    return d->state.connections;
}

} // namespace sim
