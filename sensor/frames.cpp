// Receivers of the data frames the sensor streams during acquisition, and the frame-rate
// measurement that travels with profiles and product results.
//
// Each receiver scans the stream for the start of a frame of the kind it waits for, checks
// every fixed field against its limit before using it, and reads the bulk data in one
// receiveExact call. No read is ever sized by an unchecked field, so a hostile or broken
// peer cannot make a receiver write past the arrays of the frame format.

#include "sensor/sensorconnection.h"
#include "sensor/sensorlimits.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QtEndian>
#include <cstring>

namespace {

using namespace SensorLimits;
using namespace SensorProtocol;

// Frame kinds a receiver accepts, as a bit mask over the type numbers 0..31.
constexpr uint32_t typeBit(int32_t type)
{
    return 1u << type;
}
constexpr uint32_t imageTypes = typeBit(frameImage);
constexpr uint32_t binaryImageTypes = typeBit(frameBinaryImage);
constexpr uint32_t profileTypes =
    typeBit(frameColumnProfile) | typeBit(frameColumnProfileBytes) | typeBit(framePointProfile);
constexpr uint32_t productTypes = typeBit(frameProduct);

bool isAccepted(uint32_t type, uint32_t accepted)
{
    return type < 32 && (accepted & (1u << type)) != 0;
}

// The fixed-field length that follows the header of each frame type.
int32_t headerLengthFor(int32_t type)
{
    switch (type) {
    case frameImage:
    case frameBinaryImage:
    case framePointProfile:
        return 8;
    case frameColumnProfile:
    case frameColumnProfileBytes:
        return 16;
    case frameProduct:
        return 12;
    default:
        return -1;
    }
}

// One little-endian 32-bit field, assembled from four single bytes.
bool readField(SocketChannel& channel, uint32_t& value)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const int byte = receiveByte(channel, byteTimeoutMs);
        if (byte < 0)
            return false;
        v |= uint32_t(byte) << (8 * i);
    }
    value = v;
    return true;
}

bool readSigned(SocketChannel& channel, int32_t& value)
{
    uint32_t raw = 0;
    if (!readField(channel, raw))
        return false;
    value = int32_t(raw);
    return true;
}

// Counts, for the health display, the frames a receiver found bad: a run of bytes that is no
// frame start (garbage in front of a frame, or the scan gave up over it), or a frame whose
// fields or bulk data failed. Silence and a lost link are not counted.
class BadFrameCount
{
public:
    explicit BadFrameCount(SensorConnection& connection) : c(connection) {}
    ~BadFrameCount()
    {
        if (!c.channel.connected)
            return;
        if (skipped)
            ++c.badFrames;
        if (headerSeen && !complete)
            ++c.badFrames;
    }
    BadFrameCount(const BadFrameCount&) = delete;
    BadFrameCount& operator=(const BadFrameCount&) = delete;

    bool done()
    {
        complete = true;
        return true;
    }

    bool skipped = false;
    bool headerSeen = false;

private:
    SensorConnection& c;
    bool complete = false;
};

// Bulk data: all `length` bytes within the idle time-out, or failure.
bool readBulk(SocketChannel& channel, void* buffer, int length)
{
    if (length <= 0)
        return true;
    return receiveExact(channel, buffer, length, bulkIdleTimeoutMs) == length;
}

// Finds the start of the next frame of an accepted type and reads its header. The time limit
// counts from the start of the scan and applies to the bytes looked at while searching for a
// type byte; once a frame has started, its fields only have the per-byte time-out.
bool findFrame(SocketChannel& channel, uint32_t accepted, int32_t& frameType, BadFrameCount& count)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int first = receiveByte(channel, byteTimeoutMs);
        if (first < 0 || clock.elapsed() >= scanLimitMs)
            return false;
        if (!isAccepted(uint32_t(first), accepted)) {
            count.skipped = true;
            continue;
        }
        uint32_t type = uint32_t(first);
        bool complete = true;
        for (int i = 1; i < 4 && complete; ++i) {
            const int byte = receiveByte(channel, byteTimeoutMs);
            if (byte < 0)
                complete = false;
            else
                type |= uint32_t(byte) << (8 * i);
        }
        if (!complete)
            return false;
        if (!isAccepted(type, accepted)) {
            count.skipped = true;
            continue; // a type byte inside other data; the scan goes on
        }
        frameType = int32_t(type);
        break;
    }
    count.headerSeen = true;
    uint32_t sequence = 0;
    int32_t length = 0;
    if (!readField(channel, sequence) || !readSigned(channel, length))
        return false;
    return length == headerLengthFor(frameType);
}

// 16-bit values arrive little-endian; only a big-endian host has to swap them.
void fromLittleEndian16(int16_t* values, int count)
{
    if (QSysInfo::ByteOrder == QSysInfo::BigEndian) {
        for (int i = 0; i < count; ++i)
            values[i] = qFromLittleEndian(values[i]);
    }
}

void fromLittleEndianFloats(float* values, int count)
{
    if (QSysInfo::ByteOrder == QSysInfo::BigEndian) {
        for (int i = 0; i < count; ++i) {
            uint32_t raw;
            std::memcpy(&raw, &values[i], sizeof raw);
            raw = qFromLittleEndian(raw);
            std::memcpy(&values[i], &raw, sizeof raw);
        }
    }
}

// The pairs (X, Z) were read into dataZ; spread them over dataX and dataZ in place. Element k
// moves to index k / 2 <= k, so every element is read before its slot is overwritten.
void splitPairs(float* dataX, float* dataZ, int points)
{
    for (int k = 0; k < 2 * points; ++k) {
        const float value = dataZ[k];
        if (k % 2 == 0)
            dataX[k / 2] = value;
        else
            dataZ[k / 2] = value;
    }
}

bool receiveAnyImage(SensorConnection& connection, uint32_t accepted, unsigned char* image,
                     int& width, int& height)
{
    if (!connection.connected)
        return false;
    SocketChannel& channel = connection.channel;
    BadFrameCount bad(connection);
    int32_t type = 0;
    if (!findFrame(channel, accepted, type, bad))
        return false;
    int32_t w = 0, h = 0;
    if (!readSigned(channel, w) || w < 0 || w > maxImageSide)
        return false;
    if (!readSigned(channel, h) || h < 0 || h > maxImageSide)
        return false;
    width = w;
    height = h;
    return readBulk(channel, image, w * h) && bad.done();
}

double wallClockMs()
{
    return double(QDateTime::currentMSecsSinceEpoch());
}

} // namespace

FrameRateState& profileRateState()
{
    static FrameRateState state;
    return state;
}

FrameRateState& productRateState()
{
    static FrameRateState state;
    return state;
}

void updateFrameRate(FrameRateState& state, double nowMs, float& receiveFPS)
{
    ++state.frameCount;
    const double elapsed = nowMs - state.lastRateTime;
    if (elapsed > rateIntervalMs) {
        receiveFPS = float(double(state.frameCount) * 1000.0 / elapsed);
        state.frameCount = 0;
        state.lastRateTime = nowMs;
    }
}

bool SensorConnection::receiveImage(unsigned char* image, int& width, int& height)
{
    return receiveAnyImage(*this, imageTypes, image, width, height);
}

bool SensorConnection::receiveBinaryImage(unsigned char* image, int& width, int& height)
{
    return receiveAnyImage(*this, binaryImageTypes, image, width, height);
}

bool SensorConnection::receiveProfile(int32_t* intDataX, int16_t* intDataZ, float* floatDataX,
                                      float* floatDataZ, unsigned char* pointBytes, int& type,
                                      bool& isInteger, int& points, int& yPos, float& receiveFPS)
{
    updateFrameRate(profileRateState(), wallClockMs(), receiveFPS);
    if (!connected)
        return false;
    BadFrameCount bad(*this);
    int32_t frameType = 0;
    if (!findFrame(channel, profileTypes, frameType, bad))
        return false;
    type = frameType;

    if (frameType == framePointProfile) {
        uint32_t count = 0;
        if (!readField(channel, count) || count > uint32_t(maxProfilePoints))
            return false;
        points = int(count);
        int32_t position = 0;
        if (!readSigned(channel, position) || position < 0)
            return false;
        yPos = position;
        isInteger = false;
        if (count > uint32_t(maxPairPoints))
            return false;
        const int n = int(count);
        if (!readBulk(channel, floatDataZ, n * 8))
            return false;
        fromLittleEndianFloats(floatDataZ, 2 * n);
        splitPairs(floatDataX, floatDataZ, n);
        return bad.done();
    }

    // Column profile: one Z per column, X implied by xStart and xStep.
    uint32_t format = 0;
    if (!readField(channel, format) || format > 1)
        return false;
    isInteger = (format == 0);
    uint32_t count = 0;
    if (!readField(channel, count) || count > uint32_t(maxProfilePoints))
        return false;
    points = int(count);
    const int n = int(count);
    int32_t xStart = 0, xStep = 0;
    if (!readSigned(channel, xStart) || !readSigned(channel, xStep))
        return false;
    if (isInteger) {
        if (!readBulk(channel, intDataZ, n * 2))
            return false;
        fromLittleEndian16(intDataZ, n);
    } else {
        if (!readBulk(channel, floatDataZ, n * 4))
            return false;
        fromLittleEndianFloats(floatDataZ, n);
    }
    if (frameType == frameColumnProfileBytes && !readBulk(channel, pointBytes, n))
        return false;
    if (isInteger) {
        // Running sum in 32-bit two's complement (wraps instead of overflowing).
        uint32_t x = uint32_t(xStart);
        for (int i = 0; i < n; ++i) {
            intDataX[i] = int32_t(x);
            x += uint32_t(xStep);
        }
    } else {
        for (int i = 0; i < n; ++i)
            floatDataX[i] = float(double(i) * double(xStep) + double(xStart));
    }
    return bad.done();
}

bool SensorConnection::receiveProduct(float* dataX, float* dataZ, int& points,
                                      unsigned char* productText, int& type, int& reserved,
                                      float& receiveFPS)
{
    updateFrameRate(productRateState(), wallClockMs(), receiveFPS);
    if (!connected)
        return false;
    BadFrameCount bad(*this);
    int32_t frameType = 0;
    if (!findFrame(channel, productTypes, frameType, bad))
        return false;
    type = frameType;

    uint32_t count = 0;
    if (!readField(channel, count) || count > uint32_t(maxProfilePoints))
        return false;
    points = int(count);
    int32_t reservedValue = 0;
    if (!readSigned(channel, reservedValue) || reservedValue < 0)
        return false;
    reserved = reservedValue;
    int32_t textLength = 0;
    if (!readSigned(channel, textLength) || textLength < 0)
        return false;
    const int textBytes = qBound(minProductText, int(textLength), maxProductText);
    if (count > uint32_t(maxPairPoints))
        return false;
    const int n = int(count);
    if (n != 0 && !readBulk(channel, dataZ, n * 8))
        return false;
    if (!readBulk(channel, productText, textBytes))
        return false;
    productText[textBytes] = 0;
    fromLittleEndianFloats(dataZ, 2 * n);
    splitPairs(dataX, dataZ, n);
    return bad.done();
}
