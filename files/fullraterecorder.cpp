#include "files/fullraterecorder.h"

#include "files/recordedprofile.h"
#include "sensor/sensorlimits.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

namespace {

// A ring record: the point count, then x and z of every point as floats (what the display
// computes; every value it produces is exact in a float). A count of -1 marks the unused end
// of the ring before a wrap.
constexpr std::size_t recordHeader = 8;
constexpr int32_t wrapMarker = -1;
constexpr std::size_t writeChunkBytes = std::size_t(8) << 20; // lines gathered per write
constexpr auto idlePause = std::chrono::milliseconds(2);      // writer with nothing to do

std::size_t recordBytes(int points)
{
    return recordHeader + std::size_t(points) * 2 * sizeof(float);
}

} // namespace

FullRateRecorder::FullRateRecorder(QObject* parent, std::size_t ringBytes)
    : QObject(parent),
      capacity(std::max(ringBytes, 2 * recordBytes(SensorLimits::maxProfilePoints)) / 8 * 8)
{
}

FullRateRecorder::~FullRateRecorder()
{
    finish();
}

bool FullRateRecorder::start(const QString& path, int recordMode,
                             const ProfilePoints::FieldOfView& view, quint64 count, QString* error)
{
    finish();
    if (!ring)
        ring.reset(new char[capacity]); // taken at the first recording, kept for the next
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    mode = recordMode;
    fov = view;
    limit = count;
    taken = 0;
    head.store(0, std::memory_order_relaxed);
    tail.store(0, std::memory_order_relaxed);
    profilesWritten.store(0, std::memory_order_relaxed);
    bytesWritten.store(0, std::memory_order_relaxed);
    writeError.clear();
    stopping.store(false, std::memory_order_relaxed);
    state.store(int(State::Recording), std::memory_order_relaxed);
    taking.store(true, std::memory_order_release);
    writer = std::thread([this] { writerLoop(); });
    return true;
}

void FullRateRecorder::stopTaking(State why)
{
    taking.store(false, std::memory_order_release);
    int expected = int(State::Recording);
    state.compare_exchange_strong(expected, int(why), std::memory_order_acq_rel);
}

FullRateRecorder::Status FullRateRecorder::finish()
{
    if (!writer.joinable())
        return status();
    taking.store(false, std::memory_order_release);
    stopping.store(true, std::memory_order_release);
    writer.join();
    file.close();
    Status s = status();
    int expected = int(State::Recording);
    state.compare_exchange_strong(expected, int(State::Idle));
    return s;
}

FullRateRecorder::Status FullRateRecorder::status() const
{
    Status s;
    s.state = State(state.load(std::memory_order_acquire));
    s.profiles = profilesWritten.load(std::memory_order_acquire);
    s.bytes = bytesWritten.load(std::memory_order_acquire);
    std::lock_guard<std::mutex> lock(errorMutex);
    s.error = writeError;
    return s;
}

void FullRateRecorder::takeProfile(const int32_t* intX, const int16_t* intZ, const float* floatX,
                                   const float* floatZ, bool isInteger, int points)
{
    if (!taking.load(std::memory_order_acquire))
        return;
    points = std::clamp(points, 0, SensorLimits::maxProfilePoints);
    const std::size_t need = recordBytes(points);
    const quint64 h = head.load(std::memory_order_relaxed);
    const std::size_t at = std::size_t(h % capacity);
    const std::size_t skip = capacity - at < need ? capacity - at : 0; // wrap to the start
    if (capacity - (h - tail.load(std::memory_order_acquire)) < skip + need) {
        stopTaking(State::FellBehind);
        return;
    }
    if (skip)
        std::memcpy(ring.get() + at, &wrapMarker, sizeof wrapMarker);
    char* record = ring.get() + (at + skip) % capacity;
    const int32_t count = points;
    std::memcpy(record, &count, sizeof count);
    float* x = reinterpret_cast<float*>(record + recordHeader);
    ProfilePoints::convertProfile(mode, fov, intX, intZ, floatX, floatZ, isInteger, points, x,
                                  x + points);
    head.store(h + skip + need, std::memory_order_release);
    if (limit && ++taken >= limit)
        stopTaking(State::LimitReached);
}

bool FullRateRecorder::writeOut(const char* data, std::size_t size)
{
    qint64 left = qint64(size);
    while (left > 0) {
        const qint64 n = file.write(data, left);
        if (n <= 0) {
            {
                std::lock_guard<std::mutex> lock(errorMutex);
                writeError = file.errorString();
            }
            stopTaking(State::WriteFailed);
            return false;
        }
        data += n;
        left -= n;
        bytesWritten.fetch_add(quint64(n), std::memory_order_release);
    }
    return true;
}

void FullRateRecorder::writerLoop()
{
    // Room for a full chunk plus the longest possible profile, so a profile is never split.
    const std::size_t room = writeChunkBytes + std::size_t(SensorLimits::maxProfilePoints) *
                                                   RecordedProfile::kMaxLineLength;
    std::unique_ptr<char[]> out(new char[room]);
    std::size_t used = 0;
    quint64 inBuffer = 0; // profiles formatted into `out`, not yet written
    bool failed = false;
    auto flush = [&] {
        if (used && !failed) {
            failed = !writeOut(out.get(), used);
            if (!failed)
                profilesWritten.fetch_add(inBuffer, std::memory_order_release);
        }
        used = 0;
        inBuffer = 0;
    };

    char* const base = ring.get();
    quint64 t = tail.load(std::memory_order_relaxed);
    int frame = 0; // frame number of the next profile
    for (;;) {
        const bool lastRound = stopping.load(std::memory_order_acquire);
        const quint64 h = head.load(std::memory_order_acquire);
        if (h == t) {
            if (lastRound)
                break;
            flush();
            std::this_thread::sleep_for(idlePause);
            continue;
        }
        while (t != h && !failed) {
            const std::size_t at = std::size_t(t % capacity);
            int32_t points = 0;
            std::memcpy(&points, base + at, sizeof points);
            if (points == wrapMarker) {
                t += capacity - at;
                continue;
            }
            const float* x = reinterpret_cast<const float*>(base + at + recordHeader);
            const float* z = x + points;
            char* p = out.get() + used;
            for (int i = 0; i < points; ++i)
                p += RecordedProfile::formatPointLine(p, x[i], frame, z[i]);
            used = std::size_t(p - out.get());
            ++frame;
            ++inBuffer;
            t += recordBytes(points);
            tail.store(t, std::memory_order_release);
            if (used >= writeChunkBytes)
                flush();
        }
        if (failed) {
            // Nothing more reaches the file; the ring is emptied so the loop's calls stay cheap.
            t = h;
            tail.store(t, std::memory_order_release);
            if (lastRound)
                break;
            std::this_thread::sleep_for(idlePause);
        }
    }
    flush();
}
