#pragma once
// The simulator's inner parts: the state shared by the server and its connection threads,
// and one client connection with its reader and writer threads.

#include "simulator/framering.h"
#include "simulator/sensorsimulator.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// Command numbers the simulator treats specially.
constexpr int commandResync = 0;
constexpr int commandMode = 9;
constexpr int commandNbrLines = 10;
constexpr int commandXmin = 23;
constexpr int commandZmin = 24;
constexpr int commandXspan = 25;
constexpr int commandZspan = 26;
constexpr int commandFlashFirst = 33;
constexpr int commandWriteText = 40;
constexpr int commandReadText = 41;
constexpr int commandFlashSecond = 45;

// One parameter command: the range the sensor reports, its value, and whether a client may
// write it.
struct Param
{
    int32_t minimum;
    int32_t maximum;
    int32_t value;
    bool writable;
};

// Values and ranges of a sensor with a 1280 x 1024 imager at power-up.
std::map<int, Param> defaultParams();

template <typename Fault> struct FaultEntry
{
    Fault fault = Fault::None;
    int param = 0;
    std::string bytes;
    int count = 0;
};

// State shared by the server, the connection threads and the owner.
struct SimState
{
    Options options;
    mutable std::mutex mutex;
    mutable std::condition_variable logChanged;
    std::map<int, Param> params = defaultParams();
    std::string productText;
    std::vector<Request> log;
    std::deque<FaultEntry<ReplyFault>> replyFaults;
    std::deque<FaultEntry<StreamFault>> streamFaults;
    std::atomic<bool> hasStreamFaults{false};
    std::atomic<bool> streaming{false};
    std::atomic<uint64_t> framesSent{0};
    std::atomic<int> connections{0};
    std::atomic<int> refused{0}; // connections closed at once because a client was connected

    FieldOfView fovLocked() const
    {
        FieldOfView f;
        f.xMin = params.at(commandXmin).value;
        f.zMin = params.at(commandZmin).value;
        // Values set by a test may be anything: the sums saturate as the client's do.
        auto sum = [](int32_t a, int32_t b) {
            return int32_t(std::clamp<int64_t>(int64_t(a) + b, INT32_MIN, INT32_MAX));
        };
        f.xMax = sum(f.xMin, params.at(commandXspan).value);
        f.zMax = sum(f.zMin, params.at(commandZspan).value);
        return f;
    }

    // The next reply fault that applies to a reply of this kind (Status waits for an
    // acknowledgement).
    FaultEntry<ReplyFault> takeReplyFault(bool valueReply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (replyFaults.empty())
            return {};
        FaultEntry<ReplyFault>& f = replyFaults.front();
        if (valueReply && f.fault == ReplyFault::Status)
            return {};
        FaultEntry<ReplyFault> taken = f;
        if (--f.count <= 0)
            replyFaults.pop_front();
        return taken;
    }

    // Saves the settings to the state file (if one was given), as the sensor's flash keeps them.
    void storeToFlash();

    FaultEntry<StreamFault> takeStreamFault()
    {
        if (!hasStreamFaults.load(std::memory_order_relaxed))
            return {};
        std::lock_guard<std::mutex> lock(mutex);
        if (streamFaults.empty())
            return {};
        FaultEntry<StreamFault> taken = streamFaults.front();
        if (--streamFaults.front().count <= 0)
            streamFaults.pop_front();
        hasStreamFaults = !streamFaults.empty();
        return taken;
    }
};

// One client connection: a reader thread that answers requests and a writer thread that
// owns the socket's output. Replies and frames reach the writer through one queue and are
// written whole, so a reply never lands inside a frame.
class Connection
{
public:
    using Clock = std::chrono::steady_clock;

    Connection(SimState& state, int fd);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void abort();
    // The client has closed its end (or the connection was aborted).
    bool peerGone() const;

private:
    struct Item
    {
        enum Kind
        {
            Bytes,
            StartStream,
            StopStream
        } kind = Bytes;
        std::vector<uint8_t> bytes;
        size_t closeAfter = SIZE_MAX; // send this many bytes, then close
        int64_t count = 0;            // frames to stream, -1 until stopped
    };

    void readerLoop();
    bool readExact(uint8_t* data, size_t size);
    // A request is answered in steps: logged, carried out (a value read or a write/action),
    // then its reply delivered with the faults that apply and the stream change it causes.
    void handle(const Request& request);
    void logRequest(const Request& request);
    bool isValueRead(const Request& request) const;
    std::vector<uint8_t> valueReply(const Request& request, uint32_t echoed, bool wrongLength);
    int32_t carryOut(const Request& request, const FaultEntry<ReplyFault>& fault,
                     Item::Kind& streamChange, int64_t& streamCount);
    void deliver(std::vector<uint8_t> reply, const FaultEntry<ReplyFault>& fault,
                 Item::Kind streamChange, int64_t streamCount);
    void push(Item item);
    bool waitAborted(int ms); // true when the connection was aborted while waiting

    void writerLoop();
    bool sendAll(const uint8_t* data, size_t size);
    void startStream(int64_t count);
    void stopStream();
    void sendFrames();
    bool flush();
    void pauseStream(int ms);
    void rebase();

    SimState& state_;
    const int fd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    std::atomic<bool> aborted_{false};

    // Writer thread only.
    bool streaming_ = false;
    int64_t remaining_ = 0;
    uint64_t index_ = 0;
    StreamConfig config_;
    FrameRing ring_;
    double rate_ = 0.0;
    Clock::time_point base_;
    uint64_t sentSinceBase_ = 0;
    std::vector<uint8_t> batch_;
    uint64_t batchComplete_ = 0; // whole frames in batch_
    uint64_t batchUsed_ = 0;     // frame slots used by batch_ (cut frames included)

    std::thread reader_;
    std::thread writer_;
};

} // namespace sim
