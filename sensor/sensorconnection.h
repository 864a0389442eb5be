#pragma once
// The sensor's command protocol over one SocketChannel: request and reply framing, the
// opening exchange, the cached parameter commands, the text commands, the flash command,
// and the receivers of the streamed data frames.

#include "sensor/socketchannel.h"

#include <QString>
#include <cstdint>

namespace SensorProtocol {
constexpr int32_t valueReplyType = 100;
constexpr int32_t ackReplyType = 101;
constexpr int valueReplyLength = 16;
constexpr int ackReplyLength = 8;

constexpr int cmdResync = 0;
constexpr int cmdLaser = 1;
constexpr int cmdTrigger = 8;
constexpr int cmdMode = 9;
constexpr int cmdNbrLines = 10;
constexpr int cmdShutter = 7;
constexpr int cmdFirmware = 27;
constexpr int cmdAutoTriggerError = 32;
constexpr int cmdFlashFirst = 33;
constexpr int cmdWriteText = 40;
constexpr int cmdReadText = 41;
constexpr int cmdFlashSecond = 45;

// Frame types streamed during acquisition
constexpr int32_t frameImage = 1;
constexpr int32_t frameColumnProfile = 2;
constexpr int32_t frameColumnProfileBytes = 3;
constexpr int32_t framePointProfile = 4;
constexpr int32_t frameBinaryImage = 6;
constexpr int32_t frameProduct = 9;

// One row of the command table.
struct CommandInfo
{
    int command;
    int32_t rangeMin, rangeMax; // client-side range of a written value
    int32_t initial;            // desired before anything is read
    bool cached;                // has a confirmed slot (32 has none)
};
// The table entry for commands accepted by readParameter/writeParameter/readText
// (1..36, 41, 46, 47), else nullptr.
const CommandInfo* lookupCommand(int command);
} // namespace SensorProtocol

struct ParameterCacheEntry
{
    int32_t desired = 0;
    int32_t confirmed = 0;
    bool hasConfirmed = false; // "no value yet": the first write is always sent
    int32_t minimum = 0;
    int32_t maximum = 0;
};

class SensorConnection
{
public:
    static constexpr int cacheSize = 48; // indexed by command number

    SensorConnection();
    SensorConnection(const SensorConnection&) = delete;
    SensorConnection& operator=(const SensorConnection&) = delete;

    uint8_t connected = 0;
    SocketChannel channel;
    uint32_t sequence = 0;
    uint32_t sensorAddress = 0xC0A80041; // 192.168.0.65
    int32_t sensorPort = 1096;
    ParameterCacheEntry cache[cacheSize];
    // Frames the receivers found bad (garbage in front of a frame, failed field checks, cut
    // bulk data), counted by whichever thread receives; read by its owner between receives.
    uint64_t badFrames = 0;

    // The transport closed the connection by itself (peer closed, reset, failed call); the
    // cause is channel.lossError.
    bool linkLost() const { return connected && !channel.connected; }

    bool openConnection();
    bool closeConnection();
    bool resynchronize();
    bool readParameter(bool resync, int command, int32_t& minimum, int32_t& maximum,
                       int32_t& value);
    bool writeParameter(bool resync, int command, bool set, int32_t value);
    bool writeText(bool resync, int command, const QString& text);
    bool readText(bool resync, int command, QString& text);
    bool storeToFlash();
    // Ends a stream: NBR_LINES 0 after an opening exchange. When frames keep coming through
    // the exchange, the write is sent without it and its acknowledgement is looked for among
    // the frame bytes, within the scan limit. False when the stop was not confirmed.
    bool stopStreaming();

    // Data frames (the caller provides the capacities of the frame format).
    bool receiveImage(unsigned char* image, int& width, int& height);
    bool receiveBinaryImage(unsigned char* image, int& width, int& height);
    bool receiveProfile(int32_t* intDataX, int16_t* intDataZ, float* floatDataX, float* floatDataZ,
                        unsigned char* pointBytes, int& type, bool& isInteger, int& points,
                        int& yPos, float& receiveFPS);
    bool receiveProduct(float* dataX, float* dataZ, int& points, unsigned char* productText,
                        int& type, int& reserved, float& receiveFPS);

private:
    bool sendWrite(int command, ParameterCacheEntry& entry, bool scanFrames);
    bool requestValue(bool resync, int command, int32_t& minimum, int32_t& maximum, int32_t& value);
};

// The process-wide frame-rate states of profile and product frames.
struct FrameRateState
{
    uint32_t frameCount = 0;
    double lastRateTime = 0.0; // ms since the epoch
};
FrameRateState& profileRateState();
FrameRateState& productRateState();
// One step of the frame-rate measurement at time nowMs; updates receiveFPS when a new rate
// was computed (more than 2000 ms since the last one).
void updateFrameRate(FrameRateState& state, double nowMs, float& receiveFPS);
