// The acquisition thread against the sensor simulator on 127.0.0.1: endpoint handling, the
// loops and their stop, the buffer hand-over to slots in the main thread under a flood of
// frames, and the frame rate. Needs only QtCore (runs in the ThreadSanitizer build).

#include "sensor/sensorlimits.h"
#include "sensor/tcpthread.h"
#include "simulator/sensorsimulator.h"

#include <QElapsedTimer>
#include <QtTest>
#include <cstring>
#include <memory>
#include <set>

namespace {

using namespace SensorProtocol;
constexpr uint32_t loopback = 0x7F000001;
constexpr int32_t markerInt = -2000000011;
constexpr int16_t markerShort = -32001;
constexpr float markerFloat = -123456.5f;
constexpr unsigned char markerByte = 0x5A;

class Receiver : public QObject
{
public:
    TcpThread* thread = nullptr;
    int sleepMs = 0;
    bool stopSent = false; // set by the test when it has requested the stop

    int calls = 0;
    int returned = 0;
    int stale = 0;    // a frame still holding the marks of an earlier slot call
    int modified = 0; // data changed while the slot ran
    int notRising = 0;
    quint64 maxOutstanding = 0;
    std::set<const void*> buffers;
    float lastFps = -1;
    int badText = 0;

    void onProfile(int* intDataX, short* intDataZ, float* floatDataX, float* floatDataZ,
                   bool isInteger, int points, int /*yPos*/, float receiveFPS)
    {
        begin(isInteger ? static_cast<const void*>(intDataX) : floatDataX, receiveFPS);
        if (points <= 0 || points > 10000)
            ++stale;
        else if (isInteger)
            hold(intDataX, markerInt, points, intDataZ, markerShort, points);
        else
            hold(floatDataX, markerFloat, points, floatDataZ, markerFloat, points);
        end();
    }

    void onProduct(float* dataX, float* dataZ, int points, unsigned char* text, float receiveFPS)
    {
        begin(text, receiveFPS);
        const size_t length = strnlen(reinterpret_cast<const char*>(text), 2000);
        if (length < 10 || length > 1999)
            ++badText; // the text is 10..1999 bytes followed by a zero
        checkAndMark(dataZ, points, markerFloat);
        hold(text, markerByte, int(length), dataX, markerFloat, points);
        verifyMarks(dataZ, points, markerFloat);
        end();
    }

    void onImage(unsigned char* image, int width, int height)
    {
        begin(image, 0);
        hold(image, markerByte, width * height, image, markerByte, 0);
        end();
    }

private:
    quint64 receivedAtStart = 0;
    bool countRise = false;

    void begin(const void* buffer, float fps)
    {
        ++calls;
        lastFps = fps;
        buffers.insert(buffer);
        // Frames emitted but whose slot has not returned yet, this one included.
        maxOutstanding = std::max(maxOutstanding, thread->emittedFrames() - quint64(returned));
        receivedAtStart = thread->receivedFrames();
        countRise = !stopSent;
    }
    template <typename A, typename B>
    void hold(A* a, A markA, int countA, B* b, B markB, int countB)
    {
        checkAndMark(a, countA, markA);
        checkAndMark(b, countB, markB);
        if (sleepMs > 0)
            QThread::msleep(static_cast<unsigned long>(sleepMs));
        verifyMarks(a, countA, markA);
        verifyMarks(b, countB, markB);
    }
    void end()
    {
        if (countRise && !stopSent && thread->receivedFrames() == receivedAtStart)
            ++notRising;
        // Meanwhile the loop may have taken the set freed before this call.
        maxOutstanding = std::max(maxOutstanding, thread->emittedFrames() - quint64(returned));
        ++returned;
    }
    template <typename T> void checkAndMark(T* data, int count, T mark)
    {
        bool allMarked = count > 0;
        for (int i = 0; i < count; ++i)
            allMarked = allMarked && data[i] == mark;
        if (allMarked && count > 16)
            ++stale;
        for (int i = 0; i < count; ++i)
            data[i] = mark;
    }
    template <typename T> void verifyMarks(const T* data, int count, T mark)
    {
        for (int i = 0; i < count; ++i) {
            if (!(data[i] == mark)) {
                ++modified;
                return;
            }
        }
    }
};

struct Rig
{
    std::unique_ptr<sim::SensorSimulator> simulator;
    std::unique_ptr<TcpThread> thread;
    std::unique_ptr<Receiver> receiver;

    bool open(double rate = 100.0)
    {
        sim::Options options;
        options.rate = rate;
        simulator = std::make_unique<sim::SensorSimulator>(options);
        if (!simulator->start())
            return false;
        thread = std::make_unique<TcpThread>();
        receiver = std::make_unique<Receiver>();
        receiver->thread = thread.get();
        QObject::connect(thread.get(), &TcpThread::ProfileReady, receiver.get(),
                         &Receiver::onProfile);
        QObject::connect(thread.get(), &TcpThread::ProductReady, receiver.get(),
                         &Receiver::onProduct);
        QObject::connect(thread.get(), &TcpThread::ImageReady, receiver.get(), &Receiver::onImage);
        return thread->openConnection("127.0.0.1", simulator->port());
    }

    bool startLoop(int mode, int32_t lines = -1)
    {
        if (!thread->writeParameter(false, cmdMode, true, mode) ||
            !thread->writeParameter(false, cmdNbrLines, true, lines))
            return false;
        thread->setMode(mode);
        thread->start(QThread::InheritPriority);
        return true;
    }

    bool stop(int boundMs)
    {
        receiver->stopSent = true;
        thread->requestStop();
        QElapsedTimer clock;
        clock.start();
        while (!thread->isLoopFinished() && clock.elapsed() < boundMs)
            QTest::qWait(10);
        if (!thread->isLoopFinished() || !thread->wait(5000))
            return false;
        while (quint64(receiver->returned) < thread->emittedFrames() && clock.elapsed() < 20000)
            QTest::qWait(10);
        QCoreApplication::processEvents(); // the last release events
        return quint64(receiver->returned) == thread->emittedFrames();
    }

    ~Rig()
    {
        if (thread && thread->isRunning()) {
            thread->requestStop();
            thread->wait();
        }
        receiver.reset(); // before the thread: pending slot events go with it
        thread.reset();
        simulator.reset();
    }
};

bool onlyStopLogged(const std::vector<sim::Request>& log)
{
    return log.size() == 2 && log[0].command == 0 && log[1].command == 10 &&
           log[1].direction == 0 && log[1].value == 0;
}

} // namespace

class TestTcpThread : public QObject
{
    Q_OBJECT

private slots:
    void otherModesReturnAtOnce_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("0") << 0;
        QTest::newRow("3") << 3;
        QTest::newRow("-1") << -1;
    }

    void otherModesReturnAtOnce()
    {
        QFETCH(int, mode);
        TcpThread thread;
        thread.setMode(mode);
        thread.start(QThread::InheritPriority);
        QVERIFY(thread.wait(2000));
        QVERIFY(!thread.isLoopFinished()); // untouched: still its initial value
        QCOMPARE(thread.receivedFrames(), quint64(0));
    }

    void badEndpointFailsWithoutConnecting_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port"); // 0: the simulator's port
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("trailing text") << "127.0.0.1x" << 0;
        QTest::newRow("embedded zero") << QString::fromLatin1("127.0.0.1\0.5", 12) << 0;
        QTest::newRow("port -1") << "127.0.0.1" << -1;
        QTest::newRow("port 65536") << "127.0.0.1" << 65536;
    }

    void badEndpointFailsWithoutConnecting()
    {
        QFETCH(QString, address);
        QFETCH(int, port);
        sim::SensorSimulator simulator;
        QVERIFY(simulator.start());
        TcpThread thread;
        thread.sensorConnection().sensorAddress = loopback;
        thread.sensorConnection().sensorPort = simulator.port();
        QVERIFY(!thread.openConnection(address, port ? port : int(simulator.port())));
        QCOMPARE(int(thread.sensorConnection().connected), 0);
        QCOMPARE(uint(thread.sensorConnection().sensorAddress), uint(loopback));
        QCOMPARE(int(thread.sensorConnection().sensorPort), int(simulator.port()));
        QTest::qWait(100);
        QCOMPARE(simulator.connectionCount(), 0);
    }

    void openAndReadSettings()
    {
        sim::SensorSimulator simulator;
        QVERIFY(simulator.start());
        simulator.setParameter(7, 4321);
        TcpThread thread;
        QVERIFY(thread.openConnection("127.0.0.1", simulator.port()));
        QCOMPARE(uint(thread.sensorConnection().sensorAddress), uint(loopback));
        QCOMPARE(int(thread.sensorConnection().sensorPort), int(simulator.port()));
        SensorParameters params;
        QVERIFY(thread.readAllSettings(params));
        QCOMPARE(params.SHUTTER, 4321);
        thread.closeConnection();
        QCOMPARE(int(thread.sensorConnection().connected), 0);
    }

    void stopWhileSensorSilent()
    {
        Rig rig;
        QVERIFY(rig.open());
        QVERIFY(rig.startLoop(4, 1)); // one profile, then the sensor sends nothing
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver->returned, 1, 5000);
        QTest::qWait(700); // the loop is now waiting in a receive that gets nothing
        rig.simulator->clearRequests();
        QElapsedTimer clock;
        clock.start();
        rig.thread->requestStop();
        while (!rig.thread->isLoopFinished() && clock.elapsed() < 5000)
            QTest::qWait(5);
        const qint64 elapsed = clock.elapsed();
        QVERIFY(rig.thread->isLoopFinished());
        QVERIFY2(elapsed < 8000, qPrintable(QString::number(elapsed)));
        QVERIFY(rig.thread->wait(2000));
        QVERIFY(onlyStopLogged(rig.simulator->requests()));
        const ParameterCacheEntry& entry = rig.thread->sensorConnection().cache[cmdNbrLines];
        QVERIFY(entry.hasConfirmed);
        QCOMPARE(entry.confirmed, 0);
        QCOMPARE(rig.thread->emittedFrames(), quint64(1));
        rig.simulator->clearRequests();
        QVERIFY(rig.thread->writeParameter(false, cmdNbrLines, true, 1));
        QCOMPARE(rig.simulator->requests().size(), size_t(1));
    }

    void stopRightAfterStartIsKept_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("image") << 1;
        QTest::newRow("profile") << 2;
    }

    void stopRightAfterStartIsKept()
    {
        QFETCH(int, mode);
        Rig rig;
        QVERIFY(rig.open());
        for (int round = 0; round < 5; ++round) {
            QVERIFY(rig.startLoop(mode));
            QVERIFY(!rig.thread->isLoopFinished());
            rig.thread->requestStop();
            QVERIFY2(rig.thread->wait(5000), qPrintable(QString("round %1").arg(round)));
            QVERIFY(rig.thread->isLoopFinished());
            QCOMPARE(rig.simulator->parameter(cmdNbrLines), 0);
            QTest::qWait(20); // deliver what was shown
        }
    }

    void flood_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("column profiles") << 2;
        QTest::newRow("point profiles") << 4;
        QTest::newRow("product results") << 9;
        QTest::newRow("images") << 1;
        QTest::newRow("binary images") << 6;
    }

    void flood()
    {
        QFETCH(int, mode);
        Rig rig;
        QVERIFY(rig.open(0.0));
        rig.receiver->sleepMs = 250;
        QVERIFY(rig.startLoop(mode));
        QTest::qWait(3000);
        QVERIFY(rig.stop(5000));
        Receiver& r = *rig.receiver;
        const quint64 emitted = rig.thread->emittedFrames();
        qInfo("mode %d: received %llu, emitted %llu, most outstanding %llu", mode,
              rig.thread->receivedFrames(), emitted, r.maxOutstanding);
        QVERIFY(emitted > 0);
        QVERIFY(rig.thread->receivedFrames() > emitted);
        QCOMPARE(quint64(r.calls), emitted);
        QCOMPARE(r.modified, 0);
        QCOMPARE(r.stale, 0);
        QCOMPARE(r.badText, 0);
        QCOMPARE(r.notRising, 0); // the loop kept receiving while every slot slept
        QCOMPARE(r.maxOutstanding, quint64(SensorLimits::acquisitionBufferSets));
        QVERIFY(r.buffers.size() <= size_t(SensorLimits::acquisitionBufferSets));
        const std::vector<sim::Request> log = rig.simulator->requests();
        QVERIFY(!log.empty() && log.back().command == 10u && log.back().value == 0);
        QVERIFY(!rig.simulator->isStreaming());
    }

    // 100 profiles per second are shown at most about 10 times per second, with receiveFPS
    // near 100; images at any rate at most once per 100 ms pause.
    void displayPacing()
    {
        Rig rig;
        QVERIFY(rig.open(100.0));
        profileRateState() = FrameRateState();
        QVERIFY(rig.startLoop(4));
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.receiver->calls >= 25, 20000);
        const double perSecond = rig.receiver->calls * 1000.0 / double(clock.elapsed());
        const double fps = double(rig.receiver->lastFps);
        QVERIFY(rig.stop(10000));
        QVERIFY2(perSecond <= 12.0, qPrintable(QString::number(perSecond)));
        QVERIFY2(fps > 30.0 && fps < 130.0, qPrintable(QString::number(fps)));
        QCOMPARE(rig.receiver->modified, 0);

        Rig images;
        QVERIFY(images.open(0.0));
        QVERIFY(images.startLoop(1));
        clock.restart();
        QTest::qWait(2000);
        QVERIFY(images.stop(10000));
        const quint64 emitted = images.thread->emittedFrames();
        QVERIFY2(emitted >= 1 && emitted <= quint64(clock.elapsed() / 100 + 2),
                 qPrintable(QString::number(emitted)));
    }

    // The loop reports itself finished only after the stop's NBR_LINES 0 was answered (the
    // answer is held back 300 ms here).
    void loopFinishedAfterTheFinalExchange()
    {
        Rig rig;
        QVERIFY(rig.open(100.0));
        QVERIFY(rig.startLoop(2));
        QTRY_VERIFY_WITH_TIMEOUT(rig.receiver->calls >= 1, 10000);
        rig.simulator->injectReplyFault(sim::ReplyFault::Delay, 300);
        rig.simulator->clearRequests();
        rig.receiver->stopSent = true;
        rig.thread->requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(rig.thread->isLoopFinished(), 15000);
        const std::vector<sim::Request> log = rig.simulator->requests();
        QVERIFY(log.size() == 2 && log[1].command == 10 && log[1].value == 0);
        QCOMPARE(rig.simulator->parameter(cmdNbrLines), 0);
        QVERIFY(rig.thread->wait(5000));
    }

    void probeStream()
    {
        Rig rig;
        QVERIFY(rig.open(100.0));
        QVERIFY(rig.thread->writeParameter(false, cmdMode, true, 2));
        QVERIFY(rig.thread->writeParameter(false, cmdNbrLines, true, -1));
        QTRY_VERIFY_WITH_TIMEOUT(rig.simulator->isStreaming(), 5000);
        rig.simulator->clearRequests();
        QVERIFY(rig.thread->probeStream());
        QVERIFY(!rig.simulator->isStreaming());
        QVERIFY(onlyStopLogged(rig.simulator->requests()));
        QCOMPARE(rig.thread->sensorConnection().cache[cmdNbrLines].confirmed, 0);
        QCOMPARE(rig.receiver->calls, 0);
    }

    void destroyWhileRunning()
    {
        sim::SensorSimulator simulator;
        QVERIFY(simulator.start());
        auto thread = std::make_unique<TcpThread>();
        QVERIFY(thread->openConnection("127.0.0.1", simulator.port()));
        QVERIFY(thread->writeParameter(false, cmdMode, true, 2));
        QVERIFY(thread->writeParameter(false, cmdNbrLines, true, -1));
        thread->setMode(2);
        thread->start(QThread::InheritPriority);
        QTRY_VERIFY_WITH_TIMEOUT(thread->receivedFrames() > 5, 5000);
        QElapsedTimer clock;
        clock.start();
        thread.reset();
        QVERIFY(clock.elapsed() < SensorLimits::shutdownWaitMs);
        QCOMPARE(simulator.requests().back().command, 10u);
        QCOMPARE(simulator.requests().back().value, 0);
        QCoreApplication::processEvents(); // pending events went with the thread's helper
    }
};

QTEST_GUILESS_MAIN(TestTcpThread)
#include "test_tcpthread.moc"
