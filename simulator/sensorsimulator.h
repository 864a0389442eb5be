#pragma once
// A stand-in for the laser-line profile sensor: a real TCP server on 127.0.0.1 that answers
// the command protocol and, after NBR_LINES is written non-zero, streams data frames of the
// current MODE. Usable as a library inside tests (ephemeral port, request log, settable
// values, fault injection) and as the program lumo-sensor-sim.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// One request as received from the client.
struct Request
{
    uint32_t command = 0;
    uint32_t sequence = 0;
    uint32_t direction = 0; // 1 read, 0 write or action
    int32_t value = 0;
    std::string text; // command 40 only
};

// Faults that apply to the next reply(s) to a request. Injected faults queue up; each one
// applies to the next `count` replies (the opening exchange's acknowledgement included), then
// the next queued fault takes over.
enum class ReplyFault
{
    None,
    GarbageBefore, // `bytes` are sent in front of the reply; `param` > 0: the reply follows
                   // the garbage after `param` ms
    Delay,         // the reply is sent `param` ms late
    WrongCommand,  // the reply echoes the request's command + 1
    WrongLength,   // a value reply with length 8 / an acknowledgement with length 16 (only
                   // the length field changes)
    Status,        // the acknowledgement carries status `param`; the write is carried out
                   // only when that status is 0 (value replies pass unchanged, the fault
                   // waits for the next acknowledgement)
    CloseMidReply, // half of the reply is sent, then the connection is closed
    NeverAnswer,   // the request is logged but neither carried out nor answered
    LoseReply,     // the request is carried out, its reply is never sent (a lost
                   // acknowledgement)
};

// Faults of the frame stream; each applies to the next `count` frames.
enum class StreamFault
{
    None,
    GarbageBetween, // `bytes` before each of the next `count` frames
    Truncate,       // the next `count` frames are cut in the middle of their bulk data; with
                    // `param` > 0 the stream then pauses `param` ms
    Stall,          // the stream pauses `param` ms before the next frame (a request cuts
                    // the pause short)
    CloseMidFrame,  // the connection is closed in the middle of the next frame
};

struct Options
{
    std::string bind = "127.0.0.1";
    uint16_t port = 0;        // 0: an ephemeral port (see SensorSimulator::port)
    bool logRequests = false; // print every request to stderr
    double rate = 100.0;      // frames per second while streaming
    int points = 1280;        // points per profile
    int imageWidth = 1280;
    int imageHeight = 1024;
    int profileFormat = 0; // column profiles: 0 sixteenths of a pixel (int16), 1 floats
    int profileType = 2;   // column profiles: 2, or 3 with point bytes
    // The groove: its angle in degrees (20 .. 170), a second angle taken every `angleEvery`
    // frames (0: never), and the share of points reported invalid (0 .. 1).
    double angle = 90.0;
    double secondAngle = 90.0;
    int angleEvery = 0;
    double invalidShare = 0.0;
    // false: the opening exchange is answered but does not stop a running stream (a sensor
    // that keeps streaming through it)
    bool resyncStopsStream = true;
    // The sensor's flash: "store to flash" saves the settings here, the next start reads them
    // (empty: nothing is kept).
    std::string statePath;
};

// The highest frame rate the simulator accepts; a rate must also be finite.
constexpr double maxRate = 100000.0;
inline bool isValidRate(double framesPerSecond)
{
    return framesPerSecond == framesPerSecond && framesPerSecond <= maxRate &&
           framesPerSecond >= -maxRate;
}

class SensorSimulator
{
public:
    explicit SensorSimulator(Options options = Options());
    ~SensorSimulator();
    SensorSimulator(const SensorSimulator&) = delete;
    SensorSimulator& operator=(const SensorSimulator&) = delete;

    bool start(); // bind, listen and serve in a thread of its own
    void stop();
    uint16_t port() const;

    // Request log
    std::vector<Request> requests() const;
    void clearRequests();
    bool waitForRequests(size_t count, int timeoutMs) const;

    // Values reported for parameter commands (the command table's numbers). These setters
    // skip the range checks a client's write goes through: e.g. MODE 3 set here makes a
    // started stream send nothing, a silent sensor.
    void setParameter(int command, int32_t value);
    void setRange(int command, int32_t minimum, int32_t maximum);
    int32_t parameter(int command) const;
    void setProductText(const std::string& text);
    std::string productText() const;

    // Faults
    void injectReplyFault(ReplyFault fault, int param = 0, const std::string& bytes = {},
                          int count = 1);
    void injectStreamFault(StreamFault fault, int param = 0, const std::string& bytes = {},
                           int count = 1);

    // Streaming
    // <= 0: as fast as the connection takes them; a rate isValidRate refuses is ignored
    // (returns false).
    bool setRate(double framesPerSecond);
    void setResyncStopsStream(bool stops);
    void setProfileFormat(int format, int type);
    void setPoints(int points);               // 1 .. 10000 (pairs: at most 5000 are sent)
    void setImageSize(int width, int height); // each 0 .. 1400
    // The groove of the next stream (see Options): angles are clamped to 20 .. 170 degrees.
    void setGroove(double angle, double secondAngle = 90.0, int angleEvery = 0);
    void setInvalidShare(double share);
    bool isStreaming() const;
    uint64_t framesSent() const; // frames sent whole (cut frames are not counted)
    int connectionCount() const; // connections accepted so far
    int refusedCount() const;    // connections closed at once (another client was connected)

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sim
