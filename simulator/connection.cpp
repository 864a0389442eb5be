#include "simulator/connection.h"

#include "simulator/flashstate.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int pollSliceMs = 50;              // longest wait before a thread re-checks its flags
constexpr size_t maxBatchBytes = 256 * 1024; // frames gathered into one send()
constexpr uint64_t maxBatchFrames = 256;
constexpr double backlogSeconds = 0.1;  // a paced stream that falls further behind starts anew
constexpr int32_t maxTextLength = 2000; // command 40 / 41
constexpr int32_t maxDiscardedText = 1 << 20; // longer text requests are not read at all
constexpr uint32_t typeValueReply = 100;
constexpr uint32_t typeAck = 101;
constexpr int32_t statusAccepted = 0;
constexpr int32_t statusRefused = 1; // value out of range or not writable
constexpr int32_t statusUnknown = 2; // command or direction not known

void putReplyHeader(std::vector<uint8_t>& out, uint32_t type, uint32_t sequence, uint32_t length)
{
    putU32(out, type);
    putU32(out, sequence);
    putU32(out, length);
}

} // namespace

std::map<int, Param> defaultParams()
{
    return {
        {1, {0, 1, 1, true}},               // LASER (on at power-up)
        {2, {0, 1277, 0, true}},            // ROI_X
        {3, {0, 1021, 0, true}},            // ROI_Y
        {4, {6, 1280, 1280, true}},         // ROI_DX
        {5, {6, 1024, 1024, true}},         // ROI_DY
        {6, {0, 1023, 80, true}},           // GAINVAL
        {7, {5, 500000, 800, true}},        // SHUTTER
        {8, {-3, 2, 0, true}},              // TRIGGER
        {9, {0, 9, 1, true}},               // MODE
        {10, {-1, 10000, 0, true}},         // NBR_LINES
        {11, {0, 2, 2, true}},              // METHOD
        {12, {0, 1, 0, true}},              // ALGORITHM
        {13, {1, 254, 48, true}},           // RlcThresh
        {14, {1, 100, 2, true}},            // MinWidth
        {15, {1, 100, 85, true}},           // MaxWidth
        {16, {0, 2, 0, true}},              // ExposureMode
        {17, {1, 254, 128, true}},          // AutoShutterVal
        {18, {5, 500000, 5, true}},         // AutoShutterMin
        {19, {5, 500000, 10000, true}},     // AutoShutterMax
        {20, {5, 100000, 500, true}},       // DoubleShutter1
        {21, {5, 100000, 2000, true}},      // DoubleShutter2
        {22, {-2, 2, 0, true}},             // ReflexionFilter
        {23, {-10000, 10000, -255, false}}, // Xmin (mm)
        {24, {-10000, 10000, 58, false}},   // Zmin (mm)
        {25, {0, 10000, 516, false}},       // Xmax - Xmin
        {26, {0, 10000, 491, false}},       // Zmax - Zmin
        {27, {0, 1000000, 12, false}},      // firmware version
        {28, {0, 15, 0, true}},
        {29, {0, 15, 0, true}},
        {30, {0, 100, 1, true}},     // EthernetPackNr
        {31, {1, 4000, 500, true}},  // AutoTriggerFPS
        {32, {0, 1000000, 0, true}}, // AutoTriggerError
        {33, {0, 0, 0, true}},       // store in flash, first half
        {34, {0, 1, 1, true}},       // EthernetSendNoWait
        {35, {0, 2, 0, true}},       // SubSample
        {36, {0, 1, 0, true}},
        {46, {0, 4, 1, true}}, // SpeckleFilter
        {47, {0, 4, 0, true}}, // MedianFilter
    };
}

Connection::Connection(SimState& state, int fd) : state_(state), fd_(fd)
{
    reader_ = std::thread([this] { readerLoop(); });
    writer_ = std::thread([this] { writerLoop(); });
}

Connection::~Connection()
{
    abort();
    reader_.join();
    writer_.join();
    ::close(fd_);
}

void SimState::storeToFlash()
{
    std::map<int, Param> values;
    std::string text;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(mutex);
        values = params;
        text = productText;
        path = options.statePath;
    }
    if (!path.empty() && !saveFlashState(path, values, text))
        std::fprintf(stderr, "lumo-sensor-sim: cannot write the state file %s\n", path.c_str());
}

bool Connection::peerGone() const
{
    if (aborted_)
        return true;
    pollfd p{fd_, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

void Connection::abort()
{
    if (!aborted_.exchange(true))
        ::shutdown(fd_, SHUT_RDWR);
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
}

bool Connection::readExact(uint8_t* data, size_t size)
{
    size_t got = 0;
    while (got < size) {
        if (aborted_)
            return false;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, pollSliceMs);
        if (r < 0 && errno != EINTR)
            return false;
        if (r <= 0)
            continue;
        const ssize_t n = ::recv(fd_, data + got, size - got, MSG_DONTWAIT);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return false;
        }
        got += size_t(n);
    }
    return true;
}

void Connection::readerLoop()
{
    auto get32 = [](const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    for (;;) {
        uint8_t head[16];
        if (!readExact(head, sizeof head))
            break;
        Request r;
        r.command = get32(head);
        r.sequence = get32(head + 4);
        r.direction = get32(head + 8);
        r.value = int32_t(get32(head + 12));
        if (r.command == uint32_t(commandWriteText) && r.direction == 0 && r.value > 0 &&
            r.value <= maxDiscardedText) {
            r.text.resize(size_t(r.value));
            if (!readExact(reinterpret_cast<uint8_t*>(&r.text[0]), r.text.size()))
                break;
        }
        handle(r);
    }
    // The client has gone (or the server closes): the writer stops too.
    abort();
}

void Connection::push(Item item)
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(item));
    changed_.notify_all();
}

bool Connection::waitAborted(int ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                             [this] { return aborted_.load(); });
}

void Connection::logRequest(const Request& request)
{
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        state_.log.push_back(request);
        state_.logChanged.notify_all();
    }
    if (state_.options.logRequests) {
        std::fprintf(stderr, "request command=%u sequence=%u direction=%u value=%d text=%zu\n",
                     request.command, request.sequence, request.direction, request.value,
                     request.text.size());
    }
}

bool Connection::isValueRead(const Request& request) const
{
    const int command = int(request.command);
    if (command == commandResync || request.direction != 1)
        return false;
    std::lock_guard<std::mutex> lock(state_.mutex);
    return command == commandReadText || state_.params.count(command) > 0;
}

std::vector<uint8_t> Connection::valueReply(const Request& request, uint32_t echoed,
                                            bool wrongLength)
{
    int32_t minimum = 0, maximum = maxTextLength, value = 0;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        if (int(request.command) == commandReadText) {
            text = state_.productText;
            value = int32_t(text.size());
        } else {
            const Param& p = state_.params.at(int(request.command));
            minimum = p.minimum;
            maximum = p.maximum;
            value = p.value;
        }
    }
    std::vector<uint8_t> reply;
    putReplyHeader(reply, typeValueReply, request.sequence, wrongLength ? 8 : 16);
    putU32(reply, echoed);
    putI32(reply, minimum);
    putI32(reply, maximum);
    putI32(reply, value);
    reply.insert(reply.end(), text.begin(), text.end());
    return reply;
}

int32_t Connection::carryOut(const Request& request, const FaultEntry<ReplyFault>& fault,
                             Item::Kind& streamChange, int64_t& streamCount)
{
    const int command = int(request.command);
    const bool isResync = command == commandResync;
    int32_t status = statusUnknown;
    bool resyncStops = false;
    bool store = false;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        resyncStops = isResync && state_.options.resyncStopsStream;
        const auto it = state_.params.find(command);
        if (isResync) {
            status = statusAccepted;
        } else if (request.direction != 0) {
            status = statusUnknown;
        } else if (command == commandWriteText) {
            status = request.value >= 0 && request.value <= maxTextLength ? statusAccepted
                                                                          : statusRefused;
        } else if (command == commandFlashFirst || command == commandFlashSecond) {
            status = statusAccepted;
        } else if (it != state_.params.end()) {
            const Param& p = it->second;
            const bool inRange = request.value >= p.minimum && request.value <= p.maximum;
            const bool modeOk = command != commandMode || isStreamingMode(request.value);
            status = p.writable && inRange && modeOk ? statusAccepted : statusRefused;
        }
        if (fault.fault == ReplyFault::Status)
            status = fault.param;
        if (status == statusAccepted && !isResync) {
            if (command == commandWriteText)
                state_.productText = request.text;
            else if (it != state_.params.end() && command != commandFlashFirst)
                it->second.value = request.value;
            store = command == commandFlashSecond;
        }
    }
    if (store)
        state_.storeToFlash();
    if (resyncStops || (status == statusAccepted && command == commandNbrLines)) {
        const bool start = !isResync && request.value != 0;
        streamChange = start ? Item::StartStream : Item::StopStream;
        streamCount = request.value;
    }
    return status;
}

void Connection::handle(const Request& request)
{
    logRequest(request);
    const bool valueRead = isValueRead(request);
    const FaultEntry<ReplyFault> fault = state_.takeReplyFault(valueRead);
    if (fault.fault == ReplyFault::NeverAnswer)
        return;
    if (fault.fault == ReplyFault::Delay && waitAborted(fault.param))
        return;

    // Carry the request out and build the reply.
    const uint32_t echoed =
        fault.fault == ReplyFault::WrongCommand ? request.command + 1 : request.command;
    const bool wrongLength = fault.fault == ReplyFault::WrongLength;
    Item::Kind streamChange = Item::Bytes; // Bytes: no change
    int64_t streamCount = 0;
    std::vector<uint8_t> reply;
    if (valueRead) {
        reply = valueReply(request, echoed, wrongLength);
    } else {
        const int32_t status = carryOut(request, fault, streamChange, streamCount);
        putReplyHeader(reply, typeAck, request.sequence, wrongLength ? 16 : 8);
        putU32(reply, echoed);
        putI32(reply, status);
    }
    deliver(std::move(reply), fault, streamChange, streamCount);
}

void Connection::deliver(std::vector<uint8_t> reply, const FaultEntry<ReplyFault>& fault,
                         Item::Kind streamChange, int64_t streamCount)
{
    // A stop takes effect before its acknowledgement; a start after it.
    if (streamChange == Item::StopStream)
        push(Item{Item::StopStream, {}, SIZE_MAX, 0});
    if (fault.fault == ReplyFault::GarbageBefore) {
        Item garbage;
        garbage.bytes.assign(fault.bytes.begin(), fault.bytes.end());
        if (fault.param > 0) {
            push(std::move(garbage));
            if (waitAborted(fault.param))
                return;
        } else {
            reply.insert(reply.begin(), fault.bytes.begin(), fault.bytes.end());
        }
    }
    if (fault.fault == ReplyFault::LoseReply)
        reply.clear();
    Item item;
    item.bytes = std::move(reply);
    if (fault.fault == ReplyFault::CloseMidReply)
        item.closeAfter = item.bytes.size() / 2;
    push(std::move(item));
    if (streamChange == Item::StartStream)
        push(Item{Item::StartStream, {}, SIZE_MAX, streamCount});
}

bool Connection::sendAll(const uint8_t* data, size_t size)
{
    size_t sent = 0;
    while (sent < size) {
        if (aborted_)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        const int r = ::poll(&p, 1, pollSliceMs);
        if (r < 0 && errno != EINTR)
            return false;
        if (r <= 0)
            continue;
        const ssize_t n = ::send(fd_, data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            abort();
            return false;
        }
        sent += size_t(n);
    }
    return true;
}

void Connection::writerLoop()
{
    while (!aborted_) {
        std::deque<Item> items;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            auto wake = [this] { return !queue_.empty() || aborted_.load(); };
            const bool paced = streaming_ && rate_ > 0.0 && isStreamingMode(config_.mode);
            if (!streaming_ || !isStreamingMode(config_.mode)) {
                changed_.wait_for(lock, std::chrono::milliseconds(pollSliceMs), wake);
            } else if (paced) {
                const auto due =
                    base_ + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(double(sentSinceBase_) / rate_));
                changed_.wait_until(
                    lock, std::min(due, Clock::now() + std::chrono::milliseconds(pollSliceMs)),
                    wake);
            }
            items.swap(queue_);
        }
        for (Item& item : items) {
            if (aborted_)
                break;
            switch (item.kind) {
            case Item::StartStream:
                startStream(item.count);
                break;
            case Item::StopStream:
                stopStream();
                break;
            case Item::Bytes:
                if (item.closeAfter < item.bytes.size()) {
                    sendAll(item.bytes.data(), item.closeAfter);
                    abort();
                } else {
                    sendAll(item.bytes.data(), item.bytes.size());
                }
                break;
            }
        }
        if (streaming_ && !aborted_ && isStreamingMode(config_.mode))
            sendFrames();
    }
    stopStream();
}

void Connection::startStream(int64_t count)
{
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        config_.mode = state_.params.at(commandMode).value;
        config_.points = state_.options.points;
        config_.width = state_.options.imageWidth;
        config_.height = state_.options.imageHeight;
        config_.format = state_.options.profileFormat;
        config_.type = state_.options.profileType;
        config_.fov = state_.fovLocked();
        config_.productText = state_.productText;
        const Options& o = state_.options;
        config_.groove = {o.angle, o.secondAngle, o.angleEvery, o.invalidShare};
        config_.acquisition = acquisitionFrom(state_.params);
        rate_ = config_.acquisition.frameRate(state_.options.rate);
    }
    if (isStreamingMode(config_.mode))
        ring_.configure(config_);
    streaming_ = true;
    remaining_ = count < 0 ? -1 : count;
    index_ = 0;
    rebase();
    state_.streaming = true;
}

void Connection::stopStream()
{
    streaming_ = false;
    state_.streaming = false;
}

void Connection::rebase()
{
    base_ = Clock::now();
    sentSinceBase_ = 0;
}

void Connection::pauseStream(int ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(std::max(0, ms)),
                      [this] { return !queue_.empty() || aborted_.load(); });
}

bool Connection::flush()
{
    const bool ok = batch_.empty() || sendAll(batch_.data(), batch_.size());
    if (ok) {
        state_.framesSent += batchComplete_;
        sentSinceBase_ += batchUsed_;
        if (remaining_ > 0) {
            remaining_ -= int64_t(std::min<uint64_t>(batchUsed_, uint64_t(remaining_)));
            if (remaining_ == 0)
                stopStream();
        }
    }
    batch_.clear();
    batchComplete_ = 0;
    batchUsed_ = 0;
    return ok;
}

void Connection::sendFrames()
{
    double rate;
    {
        std::lock_guard<std::mutex> lock(state_.mutex);
        rate = config_.acquisition.frameRate(state_.options.rate);
    }
    if (rate != rate_) {
        rate_ = rate;
        rebase();
    }
    uint64_t due = maxBatchFrames;
    if (rate_ > 0.0) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - base_).count();
        const uint64_t target = uint64_t(elapsed * rate_) + 1;
        if (target <= sentSinceBase_)
            return;
        due = target - sentSinceBase_;
        // A stream that fell far behind (slow reader, stall) starts its pacing anew rather
        // than bursting out the backlog.
        if (due > std::max<uint64_t>(maxBatchFrames, uint64_t(rate_ * backlogSeconds))) {
            rebase();
            due = 1;
        }
    }
    if (remaining_ > 0)
        due = std::min(due, uint64_t(remaining_));
    due = std::min(due, maxBatchFrames);

    while (batchUsed_ < due && batch_.size() < maxBatchBytes) {
        const FaultEntry<StreamFault> fault = state_.takeStreamFault();
        switch (fault.fault) {
        case StreamFault::None:
            break;
        case StreamFault::GarbageBetween:
            batch_.insert(batch_.end(), fault.bytes.begin(), fault.bytes.end());
            break;
        case StreamFault::Stall:
            flush();
            pauseStream(fault.param);
            rebase();
            return;
        case StreamFault::Truncate: {
            const size_t fixed = ring_.fixedBytes();
            const size_t total = ring_.frameBytes(index_);
            ring_.append(index_, batch_, fixed + (total - fixed) / 2);
            ++index_;
            ++batchUsed_;
            if (fault.param > 0) {
                flush();
                pauseStream(fault.param);
                rebase();
                return;
            }
            continue;
        }
        case StreamFault::CloseMidFrame:
            ring_.append(index_, batch_, ring_.frameBytes(index_) / 2);
            sendAll(batch_.data(), batch_.size());
            batch_.clear();
            abort();
            return;
        }
        ring_.append(index_, batch_);
        ++index_;
        ++batchUsed_;
        ++batchComplete_;
    }
    flush();
}

} // namespace sim
