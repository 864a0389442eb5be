// The acquisition thread and the protocol front used by the window.
//
// Buffer hand-over. ImageReady, ProfileReady and ProductReady carry raw pointers into buffers
// owned by this object; they are delivered queued to the GUI thread. A fixed pool of buffer
// sets is allocated once. Each cycle takes a Free set; when none is Free (the window has
// fallen behind) the frame is still read, into the drain area, and counted but not shown, so
// the loop never waits for the GUI and memory never grows. Before emitting, the loop marks the
// set Filled (release) and posts three events to the GUI thread, in this order:
//   1. a hand-over to the keeper object, which takes the set over (acquire: the frame's
//      contents become visible to the GUI thread),
//   2. the public signal, which runs the window's slot,
//   3. a release to the keeper, which marks the set Free again (release).
// Events posted to one thread are delivered in posting order, so the release runs only after
// the window's slot has returned. Slots therefore must read the buffers during their call and
// must not spin a nested event loop (a modal dialog, processEvents) before they are done with
// them, because the release would then run inside that nested loop.

#include "sensor/tcpthread.h"
#include "sensor/sensorlimits.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QMetaType>

namespace {

using namespace SensorLimits;

enum SetState : int
{
    Free,
    Filled,
    InUse
};

} // namespace

// The buffers of one shown frame: the image or text buffer and the four profile arrays.
struct TcpThread::FrameBuffers
{
    std::unique_ptr<unsigned char[]> frame{new unsigned char[imageBufferBytes]};
    std::unique_ptr<int32_t[]> intDataX{new int32_t[maxProfilePoints]};
    std::unique_ptr<int16_t[]> intDataZ{new int16_t[maxProfilePoints]};
    std::unique_ptr<float[]> floatDataX{new float[maxProfilePoints]};
    std::unique_ptr<float[]> floatDataZ{new float[maxProfilePoints]};
    std::atomic<int> state{Free};
};

struct TcpThread::Pool
{
    FrameBuffers sets[acquisitionBufferSets];
    // Landing area of frames that are read and dropped (drain, window behind, probe). Used
    // only by whichever thread talks to the sensor at the time, never handed out.
    FrameBuffers drainArea;
};

TcpThread::TcpThread(QObject* parent)
    : QThread(parent), pool(std::make_unique<Pool>()), keeper(std::make_unique<QObject>())
{
    // Pointer arguments of the queued signals.
    qRegisterMetaType<unsigned char*>("unsigned char*");
    qRegisterMetaType<unsigned char*>("uchar*");
    qRegisterMetaType<int*>("int*");
    qRegisterMetaType<short*>("short*");
    qRegisterMetaType<float*>("float*");
}

TcpThread::~TcpThread()
{
    if (isRunning()) {
        // The loop normally ends within shutdownWaitMs. The request is repeated because a
        // loop that was only just starting clears it; and the wait is not cut short: a
        // running thread must not be destroyed, nor its buffers freed.
        requestStop();
        while (!wait(stopRepeatMs))
            requestStop();
    }
    runReturns.load(std::memory_order_acquire);
    // Pending hand-over and release events go with the keeper. Window slot events that may
    // still point into the pool are harmless: the window owns this object and is being
    // destroyed too, which discards its pending events.
    keeper.reset();
    pool.reset();
}

bool TcpThread::setSensorEndpoint(const QString& address, int port)
{
    if (port < 0 || port > 65535)
        return false;
    const QByteArray text = address.toLocal8Bit();
    if (text.contains('\0'))
        return false;
    uint32_t value = 0;
    if (!parseDottedAddress(text.constData(), value))
        return false;
    connection.sensorPort = port;
    connection.sensorAddress = value;
    return true;
}

bool TcpThread::openConnection(const QString& address, int port)
{
    return setSensorEndpoint(address, port) && connection.openConnection();
}

void TcpThread::closeConnection()
{
    connection.closeConnection();
}

bool TcpThread::readParameter(bool resync, int command, int32_t& minimum, int32_t& maximum,
                              int32_t& value)
{
    return connection.readParameter(resync, command, minimum, maximum, value);
}

bool TcpThread::writeParameter(bool resync, int command, bool set, int32_t value)
{
    return connection.writeParameter(resync, command, set, value);
}

bool TcpThread::readText(bool resync, int command, QString& text)
{
    return connection.readText(resync, command, text);
}

bool TcpThread::writeText(bool resync, int command, const QString& text)
{
    return connection.writeText(resync, command, text);
}

bool TcpThread::storeToFlash()
{
    return connection.storeToFlash();
}

bool TcpThread::readAllSettings(SensorParameters& params)
{
    return ::readAllSettings(connection, params);
}

// Called before each start. A mode that runs a loop clears both flags here, on the caller's
// side, so that a stop requested right after start() is never lost to a loop that has not begun
// yet, and a finished flag left by the previous loop is never mistaken for this one's.
void TcpThread::setMode(int value)
{
    runReturns.load(std::memory_order_acquire); // after the last run(), see runReturns
    mode = value;
    if (runsLoop(mode)) {
        stopFlag.store(false, std::memory_order_release);
        loopFinished.store(false, std::memory_order_release);
    }
}

void TcpThread::requestStop()
{
    stopFlag.store(true, std::memory_order_release);
}

bool TcpThread::stopRequested() const
{
    return stopFlag.load(std::memory_order_acquire);
}

bool TcpThread::probeStream()
{
    FrameBuffers& area = pool->drainArea;
    int type = 0, points = 0, yPos = 0;
    bool isInteger = true;
    float receiveFPS = 0;
    connection.receiveProfile(area.intDataX.get(), area.intDataZ.get(), area.floatDataX.get(),
                              area.floatDataZ.get(), area.frame.get(), type, isInteger, points,
                              yPos, receiveFPS);
    QThread::msleep(probePauseMs);
    return connection.writeParameter(true, SensorProtocol::cmdNbrLines, true, 0);
}

bool TcpThread::runsLoop(int mode)
{
    return mode == 1 || mode == 2 || mode == 4 || mode == 6 || mode == 9;
}

void TcpThread::run()
{
    switch (mode) {
    case 1:
    case 6:
        imageLoop();
        break;
    case 2:
    case 4:
    case 9:
        profileLoop();
        break;
    default:
        break;
    }
    runReturns.fetch_add(1, std::memory_order_release);
}

TcpThread::FrameBuffers* TcpThread::takeFreeSet()
{
    // Only this thread moves a set out of Free, so a set seen Free stays ours.
    for (FrameBuffers& set : pool->sets) {
        if (set.state.load(std::memory_order_acquire) == Free)
            return &set;
    }
    return nullptr;
}

void TcpThread::handOver(FrameBuffers* set)
{
    framesEmitted.fetch_add(1, std::memory_order_relaxed);
    set->state.store(Filled, std::memory_order_release);
    QMetaObject::invokeMethod(
        keeper.get(),
        [set] {
            int expected = Filled;
            set->state.compare_exchange_strong(expected, InUse, std::memory_order_acquire);
        },
        Qt::QueuedConnection);
}

namespace {
// Queued after the public signal: the window's slot has returned when this runs.
void postRelease(QObject* keeper, std::atomic<int>* state)
{
    QMetaObject::invokeMethod(
        keeper, [state] { state->store(Free, std::memory_order_release); }, Qt::QueuedConnection);
}
} // namespace

void TcpThread::beginLoop()
{
    framesReceived.store(0, std::memory_order_relaxed);
    framesEmitted.store(0, std::memory_order_relaxed);
    framesBad.store(0, std::memory_order_relaxed);
    connection.badFrames = 0;
    lossCause.store(0, std::memory_order_release);
}

void TcpThread::countBad()
{
    framesBad.store(connection.badFrames, std::memory_order_relaxed);
}

bool TcpThread::linkBroken()
{
    countBad();
    return connection.linkLost() || !connection.connected;
}

void TcpThread::imageLoop()
{
    beginLoop();
    while (!stopRequested()) {
        FrameBuffers* set = takeFreeSet();
        unsigned char* image = (set ? set->frame : pool->drainArea.frame).get();
        int width = 0, height = 0;
        const bool ok = mode == 1 ? connection.receiveImage(image, width, height)
                                  : connection.receiveBinaryImage(image, width, height);
        if (ok) {
            framesReceived.fetch_add(1, std::memory_order_relaxed);
            if (set) {
                handOver(set);
                emit ImageReady(image, width, height);
                postRelease(keeper.get(), &set->state);
            }
        } else if (linkBroken()) {
            break;
        }
        countBad();
        QThread::msleep(imageLoopPauseMs);
    }
    finishLoop();
}

bool TcpThread::receiveInto(FrameBuffers& set, int& type, bool& isInteger, int& points, int& yPos,
                            int& reserved, float& receiveFPS)
{
    if (mode == 9)
        return connection.receiveProduct(set.floatDataX.get(), set.floatDataZ.get(), points,
                                         set.frame.get(), type, reserved, receiveFPS);
    return connection.receiveProfile(set.intDataX.get(), set.intDataZ.get(), set.floatDataX.get(),
                                     set.floatDataZ.get(), set.frame.get(), type, isInteger, points,
                                     yPos, receiveFPS);
}

void TcpThread::drain(float& receiveFPS)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int type = 0, points = 0, yPos = 0, reserved = 0;
        bool isInteger = true;
        if (!receiveInto(pool->drainArea, type, isInteger, points, yPos, reserved, receiveFPS))
            return; // a broken link is seen by the loop's next receive
        framesReceived.fetch_add(1, std::memory_order_relaxed);
        passToSink(pool->drainArea, isInteger, points);
        if (clock.elapsed() >= drainWindowMs)
            return;
    }
}

void TcpThread::passToSink(const FrameBuffers& set, bool isInteger, int points)
{
    ProfileSink* sink = profileSink.load(std::memory_order_acquire);
    if (sink && mode != 9)
        sink->takeProfile(set.intDataX.get(), set.intDataZ.get(), set.floatDataX.get(),
                          set.floatDataZ.get(), isInteger, points);
}

void TcpThread::profileLoop()
{
    beginLoop();
    float receiveFPS = 0;

    while (!stopRequested()) {
        int type = 0, points = 0, yPos = 0, reserved = 0;
        bool isInteger = true;
        FrameBuffers* set = takeFreeSet();
        FrameBuffers& target = set ? *set : pool->drainArea;
        if (!receiveInto(target, type, isInteger, points, yPos, reserved, receiveFPS)) {
            // A closed connection fails every receive at once: end the loop instead of
            // spinning on it.
            if (linkBroken())
                break;
            continue;
        }
        framesReceived.fetch_add(1, std::memory_order_relaxed);
        passToSink(target, isInteger, points); // before the hand-over: the set is still ours
        if (set) {
            handOver(set);
            if (mode == 9)
                emit ProductReady(set->floatDataX.get(), set->floatDataZ.get(), points,
                                  set->frame.get(), receiveFPS);
            else
                emit ProfileReady(set->intDataX.get(), set->intDataZ.get(), set->floatDataX.get(),
                                  set->floatDataZ.get(), isInteger, points, yPos, receiveFPS);
            postRelease(keeper.get(), &set->state);
        }
        drain(receiveFPS);
        countBad();
    }
    finishLoop();
}

void TcpThread::finishLoop()
{
    stopFlag.store(false, std::memory_order_release);
    countBad();
    LoopEnd end = LoopEnd::LinkLost;
    // Stops the sensor's stream, unless the link is gone.
    if (!connection.linkLost() && connection.connected)
        end = connection.stopStreaming() ? LoopEnd::Stopped : LoopEnd::StreamMayContinue;
    if (connection.linkLost() || !connection.connected) {
        end = LoopEnd::LinkLost;
        lossCause.store(connection.channel.lossError, std::memory_order_release);
    }
    loopEndState.store(int(end), std::memory_order_release);
    loopFinished.store(true, std::memory_order_release);
}
