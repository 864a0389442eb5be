#pragma once
// Full-rate recording: every profile the acquisition loop receives is written to a recorded
// profile file (the same "x; frame; z;" lines as the shown-profile recording, frames
// contiguous from 0). The loop never waits for the disk: takeProfile converts the points into
// a fixed ring of preallocated memory and returns; a writer thread formats the lines into
// large buffers and writes them in big chunks. When the ring is full (the disk does not keep
// up) or a write fails (a full disk), the recording stops taking profiles; everything taken
// so far is written, so the file ends with a whole profile and has no gap.

#include "display/profilepoints.h"
#include "sensor/profilesink.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class FullRateRecorder : public QObject, public ProfileSink
{
public:
    enum class State
    {
        Idle,      // no recording
        Recording, // taking profiles
        LimitReached,
        FellBehind, // the ring was full: the writer did not keep up with the sensor
        WriteFailed // the file could not be written (e.g. the disk is full)
    };

    struct Status
    {
        State state = State::Idle;
        quint64 profiles = 0; // profiles whose lines have been written to the file
        quint64 bytes = 0;    // bytes written to the file
        QString error;        // WriteFailed: the system's reason
    };

    static constexpr std::size_t defaultRingBytes = std::size_t(96) << 20;

    explicit FullRateRecorder(QObject* parent = nullptr, std::size_t ringBytes = defaultRingBytes);
    ~FullRateRecorder() override;

    // Opens `path` for appending and starts the writer. mode: the MODE whose conversion
    // applies (2 or 4); limit: the number of profiles to record, 0 for no limit.
    bool start(const QString& path, int mode, const ProfilePoints::FieldOfView& fov, quint64 limit,
               QString* error = nullptr);
    // Stops taking profiles, writes what was taken, closes the file and returns the outcome.
    Status finish();
    Status status() const;
    bool isActive() const { return writer.joinable(); }

    void takeProfile(const int32_t* intX, const int16_t* intZ, const float* floatX,
                     const float* floatZ, bool isInteger, int points) override;

private:
    void writerLoop();
    bool writeOut(const char* data, std::size_t size);
    void stopTaking(State why);

    const std::size_t capacity;
    std::unique_ptr<char[]> ring;
    // Bytes ever put into / taken out of the ring; their difference is the fill.
    std::atomic<quint64> head{0}; // written by takeProfile only
    std::atomic<quint64> tail{0}; // written by the writer only

    std::atomic<bool> taking{false};
    std::atomic<bool> stopping{false};
    std::atomic<int> state{int(State::Idle)};
    std::atomic<quint64> profilesWritten{0};
    std::atomic<quint64> bytesWritten{0};
    quint64 taken = 0; // acquisition thread only
    quint64 limit = 0;
    int mode = 0;
    ProfilePoints::FieldOfView fov;

    QFile file;
    mutable std::mutex errorMutex;
    QString writeError;
    std::thread writer;
};
