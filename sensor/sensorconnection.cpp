// The sensor's command protocol: requests of four little-endian 32-bit fields, replies read
// byte by byte behind a scan for their type, a parameter cache that skips redundant writes.

#include "sensor/sensorconnection.h"
#include "sensor/sensorlimits.h"

#include <QByteArray>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace SensorProtocol {
namespace {

constexpr int32_t big = 1000000;

// Commands 1..36, then 41, 46, 47. Ranges and initial desired values of the client side.
// A range of 0..0 with no initial value stands for "none".
const CommandInfo commandTable[] = {
    {1, 0, 1, 0, true},         {2, 0, 1400, 0, true},      {3, 0, 1400, 0, true},
    {4, 0, 1400, 752, true},    {5, 0, 1400, 480, true},    {6, -10000, 10000, 100, true},
    {7, 0, big, 1000, true},    {8, -3, 2, 0, true},        {9, 0, 9, 0, true},
    {10, -1, big, 0, true},     {11, 0, 3, 0, true},        {12, 0, 1, 0, true},
    {13, -big, big, 127, true}, {14, -big, big, 1, true},   {15, -big, big, 30, true},
    {16, 0, 3, 0, true},        {17, -big, big, 127, true}, {18, 0, big, 10, true},
    {19, 0, big, 10000, true},  {20, 0, big, 500, true},    {21, 0, big, 2000, true},
    {22, -2, 2, 0, true},       {23, -big, big, 0, true},   {24, -big, big, 0, true},
    {25, -big, big, 10, true},  {26, -big, big, 10, true},  {27, 0, big, 0, true},
    {28, 0, 15, 0, true},       {29, 0, 15, 0, true},       {30, 0, 100, 2, true},
    {31, 1, 10000, 50, true},   {32, 0, big, 0, false}, // every write is sent
    {33, 0, 0, 0, true},        {34, 0, 1, 1, true},        {35, 0, 2, 0, true},
    {36, 0, 1, 0, true},        {41, 0, 2000, 0, false}, // text length; no cache entry
    {46, 0, 4, 0, true},        {47, 0, 4, 0, true},
};

} // namespace

const CommandInfo* lookupCommand(int command)
{
    for (const CommandInfo& info : commandTable)
        if (info.command == command)
            return &info;
    return nullptr;
}

} // namespace SensorProtocol

namespace {

using Clock = std::chrono::steady_clock;

int64_t elapsedMs(Clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

void putInt32(uint8_t* out, uint32_t value)
{
    out[0] = uint8_t(value);
    out[1] = uint8_t(value >> 8);
    out[2] = uint8_t(value >> 16);
    out[3] = uint8_t(value >> 24);
}

// One 32-bit field of a reply, least significant byte first, each byte within its time-out.
bool readInt32(SocketChannel& channel, uint32_t& value)
{
    uint32_t result = 0;
    for (int i = 0; i < 4; ++i) {
        const int byte = receiveByte(channel, SensorLimits::byteTimeoutMs);
        if (byte < 0)
            return false;
        result |= uint32_t(byte) << (8 * i);
    }
    value = result;
    return true;
}

bool readSigned(SocketChannel& channel, int32_t& value)
{
    uint32_t raw = 0;
    if (!readInt32(channel, raw))
        return false;
    value = static_cast<int32_t>(raw);
    return true;
}

bool sendRequest(SocketChannel& channel, uint32_t command, uint32_t sequence, uint32_t direction,
                 int32_t value)
{
    uint8_t request[SensorLimits::requestBytes];
    putInt32(request, command);
    putInt32(request + 4, sequence);
    putInt32(request + 8, direction);
    putInt32(request + 12, static_cast<uint32_t>(value));
    return sendAll(channel, request, SensorLimits::requestBytes) == SensorLimits::requestBytes;
}

// Reads a reply header of `type` for `command`, skipping stale bytes in front of it for up to
// the scan limit. The payload after the command field is left to the caller.
bool readReplyHeader(SocketChannel& channel, int32_t type, int expectedLength, int command)
{
    const Clock::time_point start = Clock::now();
    int first = -1;
    for (;;) {
        first = receiveByte(channel, SensorLimits::byteTimeoutMs);
        if (first < 0)
            return false;
        if (elapsedMs(start) >= SensorLimits::scanLimitMs)
            return false;
        if (first == type)
            break;
    }
    uint32_t value = uint32_t(first);
    for (int i = 1; i < 4; ++i) {
        const int byte = receiveByte(channel, SensorLimits::byteTimeoutMs);
        if (byte < 0)
            return false;
        value |= uint32_t(byte) << (8 * i);
    }
    if (value != uint32_t(type))
        return false;
    uint32_t sequence = 0, length = 0, echoed = 0;
    if (!readInt32(channel, sequence) || !readInt32(channel, length))
        return false;
    if (length != uint32_t(expectedLength))
        return false;
    if (!readInt32(channel, echoed))
        return false;
    return echoed == uint32_t(command);
}

uint32_t fieldAt(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

// Like readReplyHeader, but a candidate whose fields do not fit does not end the search: the
// window of the last header-sized bytes slides on until a whole header of `type`, the
// expected length and `command` is seen, so a reply is found between streamed frames.
bool scanReplyHeader(SocketChannel& channel, int32_t type, int expectedLength, int command)
{
    constexpr int headerBytes = SensorLimits::replyHeaderBytes + 4;
    uint8_t window[headerBytes];
    int filled = 0;
    const Clock::time_point start = Clock::now();
    for (;;) {
        const int byte = receiveByte(channel, SensorLimits::byteTimeoutMs);
        if (byte < 0 || elapsedMs(start) >= SensorLimits::scanLimitMs)
            return false;
        if (filled == headerBytes) {
            std::memmove(window, window + 1, headerBytes - 1);
            --filled;
        }
        window[filled++] = uint8_t(byte);
        if (filled == headerBytes && fieldAt(window) == uint32_t(type) &&
            fieldAt(window + 8) == uint32_t(expectedLength) &&
            fieldAt(window + 12) == uint32_t(command))
            return true;
    }
}

bool readValueReply(SocketChannel& channel, int command, int32_t& minimum, int32_t& maximum,
                    int32_t& value)
{
    return readReplyHeader(channel, SensorProtocol::valueReplyType,
                           SensorProtocol::valueReplyLength, command) &&
           readSigned(channel, minimum) && readSigned(channel, maximum) &&
           readSigned(channel, value);
}

bool readAcknowledgement(SocketChannel& channel, int command, int32_t& status,
                         bool scanFrames = false)
{
    const int32_t type = SensorProtocol::ackReplyType;
    const int length = SensorProtocol::ackReplyLength;
    const bool header = scanFrames ? scanReplyHeader(channel, type, length, command)
                                   : readReplyHeader(channel, type, length, command);
    return header && readSigned(channel, status);
}

} // namespace

SensorConnection::SensorConnection()
{
    initChannel(channel);
    for (int command = 0; command < cacheSize; ++command) {
        const SensorProtocol::CommandInfo* info = SensorProtocol::lookupCommand(command);
        if (!info)
            continue;
        cache[command].desired = info->initial;
        cache[command].minimum = info->rangeMin;
        cache[command].maximum = info->rangeMax;
    }
}

bool SensorConnection::openConnection()
{
    char host[16];
    std::snprintf(host, sizeof host, "%u.%u.%u.%u", unsigned(sensorAddress >> 24) & 0xffu,
                  unsigned(sensorAddress >> 16) & 0xffu, unsigned(sensorAddress >> 8) & 0xffu,
                  unsigned(sensorAddress) & 0xffu);
    if (connected) {
        closeChannel(channel);
        cleanup();
        connected = 0;
    }
    if (startup() != SensorStatusCode::ok)
        return false;
    initChannel(channel);
    setBufferSizes(SensorLimits::sendBufferRequest, SensorLimits::receiveBufferRequest);
    // A negative port is not a port; it must not wrap around to a large one.
    const unsigned port = sensorPort < 0 ? 0x10000u : unsigned(sensorPort);
    if (openChannel(channel, host, port, SensorLimits::connectTimeoutMs) != SensorStatusCode::ok)
        return false;
    sequence = 0;
    connected = 1;
    if (!resynchronize())
        return false;
    int32_t minimum = 0, maximum = 0, value = 0;
    return readParameter(false, SensorProtocol::cmdFirmware, minimum, maximum, value);
}

bool SensorConnection::closeConnection()
{
    if (connected) {
        closeChannel(channel);
        cleanup();
    }
    connected = 0;
    return true;
}

bool SensorConnection::resynchronize()
{
    if (!connected)
        return false;
    sequence = 1;
    if (!sendRequest(channel, SensorProtocol::cmdResync, sequence, 0, 0))
        return false;
    // The answer is an acknowledgement whose contents are not examined.
    for (int i = 0; i < SensorLimits::resyncAnswerBytes; ++i)
        if (receiveByte(channel, SensorLimits::byteTimeoutMs) < 0)
            return false;
    // Drain whatever else is still in the stream (the tail of frames or failed replies).
    std::vector<uint8_t> scratch(static_cast<size_t>(SensorLimits::drainChunkBytes));
    const Clock::time_point start = Clock::now();
    for (;;) {
        const SensorStatus got = receiveAvailable(
            channel, scratch.data(), SensorLimits::drainChunkBytes, SensorLimits::drainQuietMs);
        if (got <= 0)
            return true;
        if (elapsedMs(start) >= SensorLimits::drainLimitMs)
            return false;
    }
}

// One read request and its value reply, shared by the parameter and the text reads.
bool SensorConnection::requestValue(bool resync, int command, int32_t& minimum, int32_t& maximum,
                                    int32_t& value)
{
    if (!connected)
        return false;
    if (!SensorProtocol::lookupCommand(command))
        return false;
    if (resync && !resynchronize())
        return false;
    ++sequence;
    if (!sendRequest(channel, uint32_t(command), sequence, 1, 0))
        return false;
    return readValueReply(channel, command, minimum, maximum, value);
}

bool SensorConnection::readParameter(bool resync, int command, int32_t& minimum, int32_t& maximum,
                                     int32_t& value)
{
    int32_t replyMin = 0, replyMax = 0, replyValue = 0;
    if (!requestValue(resync, command, replyMin, replyMax, replyValue))
        return false;
    ParameterCacheEntry& entry = cache[command];
    entry.desired = replyValue;
    entry.confirmed = replyValue;
    entry.hasConfirmed = true;
    entry.minimum = replyMin;
    entry.maximum = replyMax;
    minimum = replyMin;
    maximum = replyMax;
    value = replyValue;
    return true;
}

bool SensorConnection::writeParameter(bool resync, int command, bool set, int32_t value)
{
    if (!connected)
        return false;
    const SensorProtocol::CommandInfo* info = SensorProtocol::lookupCommand(command);
    if (!info)
        return false;
    ParameterCacheEntry& entry = cache[command];
    if (set) {
        if (value < info->rangeMin || value > info->rangeMax)
            return false;
        entry.desired = value;
    }
    if (resync && !resynchronize())
        return false;
    if (info->cached && entry.hasConfirmed && entry.desired == entry.confirmed)
        return true;
    return sendWrite(command, entry, false);
}

bool SensorConnection::sendWrite(int command, ParameterCacheEntry& entry, bool scanFrames)
{
    ++sequence;
    int32_t status = -1;
    if (!sendRequest(channel, uint32_t(command), sequence, 0, entry.desired) ||
        !readAcknowledgement(channel, command, status, scanFrames)) {
        // The request may or may not have reached the sensor: nothing is confirmed any more,
        // so the next write of this command is sent whatever its value.
        entry.hasConfirmed = false;
        return false;
    }
    if (status != 0)
        return false; // refused: the sensor kept what it had
    entry.confirmed = entry.desired;
    entry.hasConfirmed = true;
    return true;
}

bool SensorConnection::stopStreaming()
{
    if (writeParameter(true, SensorProtocol::cmdNbrLines, true, 0))
        return true;
    if (!connected || !channel.connected)
        return false;
    return sendWrite(SensorProtocol::cmdNbrLines, cache[SensorProtocol::cmdNbrLines], true);
}

bool SensorConnection::writeText(bool resync, int command, const QString& text)
{
    if (!connected)
        return false;
    const int length = text.size();
    if (length > SensorLimits::maxWriteTextLength)
        return false;
    if (resync && !resynchronize())
        return false;
    // One character is one Latin-1 byte, so the byte count equals the character count.
    const QByteArray latin1 = text.toLatin1();
    std::vector<uint8_t> message(size_t(SensorLimits::requestBytes + length));
    ++sequence;
    putInt32(message.data(), uint32_t(command));
    putInt32(message.data() + 4, sequence);
    putInt32(message.data() + 8, 0);
    putInt32(message.data() + 12, uint32_t(length));
    for (int i = 0; i < length && i < latin1.size(); ++i)
        message[size_t(SensorLimits::requestBytes + i)] = uint8_t(latin1[i]);
    const int total = int(message.size());
    if (sendAll(channel, message.data(), total) != total)
        return false;
    int32_t status = -1;
    return readAcknowledgement(channel, command, status) && status == 0;
}

bool SensorConnection::readText(bool resync, int command, QString& text)
{
    int32_t minimum = 0, maximum = 0, length = 0;
    if (!requestValue(resync, command, minimum, maximum, length))
        return false;
    // Refused before anything of the text is read; a negative length is never valid.
    if (length < 0 || length > SensorLimits::maxReadTextLength || length < minimum ||
        length > maximum)
        return false;
    std::vector<char> bytes(size_t(length) + 1, '\0');
    if (length > 0 &&
        receiveExact(channel, bytes.data(), length, SensorLimits::bulkIdleTimeoutMs) != length)
        return false;
    int used = 0;
    while (used < length && bytes[size_t(used)] != '\0')
        ++used;
    text = QString::fromUtf8(bytes.data(), used);
    return true;
}

bool SensorConnection::storeToFlash()
{
    if (!connected)
        return false;
    // Both halves are always sent; the statuses of the acknowledgements are not examined.
    int32_t status = 0;
    ++sequence;
    const bool first = sendRequest(channel, SensorProtocol::cmdFlashFirst, sequence, 0, 0) &&
                       readAcknowledgement(channel, SensorProtocol::cmdFlashFirst, status);
    ++sequence;
    const bool second = sendRequest(channel, SensorProtocol::cmdFlashSecond, sequence, 0, 0) &&
                        readAcknowledgement(channel, SensorProtocol::cmdFlashSecond, status);
    return first && second;
}
