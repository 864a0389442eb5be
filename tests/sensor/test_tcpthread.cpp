// The acquisition thread against the simulator on 127.0.0.1: endpoints, writes whose reply failed,
// the loops and their stop, the buffer hand-over under a flood of frames. QtCore only (TSan build).
#include "sensor/sensorlimits.h"
#include "sensor/tcpthread.h"
#include "simulator/sensorsimulator.h"

#include <QtTest>
#include <cstring>
#include <memory>
#include <set>

namespace {
using namespace SensorProtocol;
constexpr unsigned char mark = 0x5A;

// Marks every buffer it is handed and holds it for sleepMs: a set handed out again before
// its slot returned shows up as `modified`, one handed out without new contents as `stale`.
class Receiver : public QObject
{
public:
    TcpThread* thread = nullptr;
    int sleepMs = 0;
    int returned = 0, stale = 0, modified = 0, badText = 0;
    quint64 maxOutstanding = 0;
    std::set<const void*> buffers;
    float lastFps = -1;

    void onProfile(int* intX, short* intZ, float* floatX, float* floatZ, bool isInteger, int points,
                   int, float fps)
    {
        isInteger ? hold(intX, points * 4, intZ, points * 2, fps)
                  : hold(floatX, points * 4, floatZ, points * 4, fps);
    }
    void onProduct(float*, float* dataZ, int points, unsigned char* text, float fps)
    {
        const size_t length = strnlen(reinterpret_cast<const char*>(text), 2000);
        badText += length < 10 || length > 1999; // the text is 10..1999 bytes and a zero
        hold(text, int(length), dataZ, points * 4, fps);
    }
    void onImage(uchar* image, int width, int height) { hold(image, width * height, image, 0, 0); }
    void hold(void* a, int bytesA, void* b, int bytesB, float fps)
    {
        if (!thread)
            return; // a frame still queued when the thread was destroyed
        lastFps = fps;
        buffers.insert(a);
        stale += bytesA <= 0 || (bytesA > 16 && marked(a, bytesA));
        std::memset(a, mark, size_t(bytesA));
        std::memset(b, mark, size_t(bytesB));
        QThread::msleep(static_cast<unsigned long>(sleepMs));
        modified += !marked(a, bytesA) || !marked(b, bytesB);
        // Frames emitted whose slot has not returned yet, this one included (meanwhile the loop
        // may have taken the set freed before this call).
        maxOutstanding = std::max(maxOutstanding, thread->emittedFrames() - quint64(returned));
        ++returned;
    }
    static bool marked(const void* data, int bytes)
    {
        return QByteArray(static_cast<const char*>(data), bytes).count(char(mark)) == bytes;
    }
};

struct Rig
{
    sim::SensorSimulator simulator;
    std::unique_ptr<TcpThread> thread = std::make_unique<TcpThread>();
    Receiver receiver;

    bool open(double rate = 100.0)
    {
        simulator.setRate(rate);
        receiver.thread = thread.get();
        QObject::connect(thread.get(), &TcpThread::ProfileReady, &receiver, &Receiver::onProfile);
        QObject::connect(thread.get(), &TcpThread::ProductReady, &receiver, &Receiver::onProduct);
        QObject::connect(thread.get(), &TcpThread::ImageReady, &receiver, &Receiver::onImage);
        // A second try: a busy machine can hold the simulator up past a 500 ms byte time-out.
        const auto connect = [&] { return thread->openConnection("127.0.0.1", simulator.port()); };
        return simulator.start() && (connect() || connect());
    }
    // After an opening exchange: frames of the last loop may still be on their way.
    bool startLoop(int mode, int32_t lines = -1)
    {
        const bool ok = thread->writeParameter(true, cmdMode, true, mode) &&
                        thread->writeParameter(false, cmdNbrLines, true, lines);
        thread->setMode(mode);
        if (ok)
            thread->start(QThread::InheritPriority);
        return ok;
    }
    // Requests the stop; true when the loop ended within the bound and every shown frame's
    // slot has returned.
    bool stop(int boundMs)
    {
        thread->requestStop();
        if (!QTest::qWaitFor([this] { return thread->isLoopFinished(); }, boundMs) ||
            !thread->wait(5000))
            return false;
        const bool returned = QTest::qWaitFor(
            [this] { return quint64(receiver.returned) >= thread->emittedFrames(); }, 20000);
        QCoreApplication::processEvents(); // the last release events
        return returned && quint64(receiver.returned) == thread->emittedFrames();
    }
    // The last request is the write of NBR_LINES 0; with `only`, the requests since the last
    // clearRequests are just that and an opening exchange.
    bool stopLogged(bool only = true) const
    {
        const std::vector<sim::Request> log = simulator.requests();
        return (!only || (log.size() == 2 && log[0].command == 0)) && !log.empty() &&
               log.back().command == 10 && log.back().direction == 0 && log.back().value == 0;
    }
    ~Rig() // the receiver goes before the thread: pending slot events go with it
    {
        if (thread && thread->isRunning())
            thread->requestStop(), thread->wait();
    }
};

} // namespace
class TestTcpThread : public QObject
{
    Q_OBJECT
private slots:
    // Modes without a loop return at once; a bad endpoint keeps the stored one, connects nothing.
    void withoutConnection()
    {
        TcpThread thread;
        for (int mode : {0, 3, -1}) {
            thread.setMode(mode);
            thread.start(QThread::InheritPriority);
            // The finished flag untouched: still its initial value.
            QVERIFY(thread.wait(2000) && !thread.isLoopFinished());
        }
        sim::SensorSimulator simulator;
        QVERIFY(simulator.start());
        SensorConnection& c = thread.sensorConnection();
        c.sensorAddress = 0x7F000001;
        c.sensorPort = 1;
        const auto refused = [&](const QString& address, int port) {
            return !thread.openConnection(address, port) && c.sensorAddress == 0x7F000001u &&
                   c.sensorPort == 1;
        };
        const int p = simulator.port();
        QVERIFY(refused("", p) && refused("127.0.0.1", -1) && refused("127.0.0.1", 65536) &&
                refused(QString::fromLatin1("127.0.0.1\0.5", 12), p));
        QTest::qWait(100);
        QCOMPARE(simulator.connectionCount(), 0);
    }

    // The stops, one loop after the other on one connection: while the sensor sends nothing (the
    // loop leaves its receive, sends the opening exchange and NBR_LINES 0, the cache holds the
    // confirmed 0); with the answer held back 300 ms (the loop is finished only after it); right
    // after the start, once per loop kind; the probe; the thread destroyed.
    void stops()
    {
        Rig rig;
        QVERIFY(rig.open());
        rig.simulator.setParameter(cmdShutter, 4321);
        SensorParameters params;
        QVERIFY(rig.thread->readAllSettings(params) && params.SHUTTER == 4321);
        QVERIFY(rig.startLoop(4, 1)); // one profile, then the sensor sends nothing
        QTRY_COMPARE_WITH_TIMEOUT(rig.receiver.returned, 1, 5000);
        QTest::qWait(700); // the loop is now waiting in a receive that gets nothing
        rig.simulator.clearRequests();
        rig.thread->requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(rig.thread->isLoopFinished(), SensorLimits::loopEndWaitMs);
        QVERIFY(rig.thread->wait(5000) && rig.stopLogged());
        const ParameterCacheEntry& entry = rig.thread->sensorConnection().cache[cmdNbrLines];
        QVERIFY(rig.thread->loopEnd() == TcpThread::LoopEnd::Stopped && entry.hasConfirmed &&
                entry.confirmed == 0);
        QCOMPARE(rig.thread->emittedFrames(), quint64(1));

        QVERIFY(rig.startLoop(2));
        QTRY_VERIFY_WITH_TIMEOUT(rig.receiver.returned >= 2, 10000);
        rig.simulator.injectReplyFault(sim::ReplyFault::Delay, 300);
        rig.simulator.clearRequests();
        rig.thread->requestStop();
        QTRY_VERIFY_WITH_TIMEOUT(rig.thread->isLoopFinished(), 15000);
        QVERIFY(rig.stopLogged() && rig.simulator.parameter(cmdNbrLines) == 0 &&
                rig.thread->wait(5000));

        for (int mode : {1, 2}) {
            QVERIFY(rig.startLoop(mode) && !rig.thread->isLoopFinished());
            rig.thread->requestStop();
            QVERIFY(rig.thread->wait(10000) && rig.thread->isLoopFinished() &&
                    rig.simulator.parameter(cmdNbrLines) == 0);
        }
        QTest::qWait(20); // deliver what was shown

        const int shown = rig.receiver.returned;
        QVERIFY(rig.thread->writeParameter(false, cmdMode, true, 2) &&
                rig.thread->writeParameter(false, cmdNbrLines, true, -1));
        QTRY_VERIFY_WITH_TIMEOUT(rig.simulator.isStreaming(), 5000);
        rig.simulator.clearRequests();
        QVERIFY(rig.thread->probeStream() && !rig.simulator.isStreaming() && rig.stopLogged());
        QVERIFY(rig.receiver.returned == shown);
        QCOMPARE(rig.thread->sensorConnection().cache[cmdNbrLines].confirmed, 0);

        QVERIFY(rig.startLoop(2)); // a thread destroyed while running stops its loop first
        QTRY_VERIFY_WITH_TIMEOUT(rig.thread->receivedFrames() > 5, 10000);
        rig.thread.reset();
        rig.receiver.thread = nullptr;
        QVERIFY(rig.stopLogged(false));
        QCoreApplication::processEvents(); // pending events went with the thread's helper
    }

    // Writes sent again after a lost or missing acknowledgement (nothing confirmed), not after a
    // refusal (the sensor kept its value); a link closed mid-reply is lost with its cause.
    void writeWithoutReply()
    {
        using F = sim::ReplyFault;
        const std::tuple<F, int, int> rows[] = {
            // fault, writes sent again, the sensor's value at the end
            {F::LoseReply, 1, 100},
            {F::NeverAnswer, 1, 100},
            {F::Status, 0, 100},
            {F::CloseMidReply, 0, 200}};
        for (const auto& [fault, resent, sensorValue] : rows) {
            Rig rig;
            TcpThread& t = *rig.thread;
            QVERIFY(rig.open() && t.writeParameter(false, 6, true, 100));
            rig.simulator.injectReplyFault(fault, 1);
            QVERIFY(!t.writeParameter(false, 6, true, 200));
            rig.simulator.clearRequests();
            const bool closed = fault == F::CloseMidReply;
            QCOMPARE(t.sensorConnection().channel.lossError, closed ? channelClosedByPeer : 0);
            QCOMPARE(t.writeParameter(false, 6, true, 100), !closed);
            QCOMPARE(
                QVector<int>({int(rig.simulator.requests().size()), rig.simulator.parameter(6)}),
                QVector<int>({resent, sensorValue}));
        }
    }

    void flood_data()
    {
        QTest::addColumn<int>("mode"); // column and point profiles, products, images, binary
        for (int mode : {2, 4, 9, 1, 6})
            QTest::newRow(qPrintable(QString::number(mode))) << mode;
    }

    // Frames as fast as the link takes them while every slot sleeps 250 ms: the loop keeps
    // receiving, hands out at most the pool's sets and never touches a set in use.
    void flood()
    {
        QFETCH(int, mode);
        Rig rig;
        QVERIFY(rig.open(0.0));
        rig.receiver.sleepMs = 250;
        QVERIFY(rig.startLoop(mode));
        // Every set handed out, and frames received meanwhile (into the drain area).
        const quint64 sets = SensorLimits::acquisitionBufferSets;
        QTRY_VERIFY_WITH_TIMEOUT(rig.receiver.maxOutstanding >= sets &&
                                     rig.thread->receivedFrames() > rig.thread->emittedFrames(),
                                 30000);
        QVERIFY(rig.stop(SensorLimits::loopEndWaitMs));
        const Receiver& r = rig.receiver;
        QCOMPARE(QVector<int>({r.modified, r.stale, r.badText}), QVector<int>(3, 0));
        QVERIFY(r.maxOutstanding == sets && r.buffers.size() <= sets);
        QVERIFY(rig.stopLogged(false) && !rig.simulator.isStreaming());
    }

    // Each shown profile is followed by a 100 ms drain, each shown image by a 100 ms pause:
    // at most one shown frame per 100 ms (plus the first and the one under way).
    void displayPacing()
    {
        for (int mode : {4, 1}) {
            Rig rig;
            QVERIFY(rig.open(mode == 4 ? 100.0 : 0.0));
            QVERIFY(rig.startLoop(mode));
            QElapsedTimer clock;
            clock.start();
            QTRY_VERIFY_WITH_TIMEOUT(rig.receiver.returned >= 10, 30000);
            QVERIFY(rig.stop(SensorLimits::loopEndWaitMs));
            const qint64 elapsed = clock.elapsed();
            const quint64 emitted = rig.thread->emittedFrames();
            QVERIFY2(emitted <= quint64(elapsed / 100 + 2), qPrintable(QString::number(emitted)));
            QVERIFY(mode == 1 ||
                    (rig.thread->receivedFrames() > emitted && rig.receiver.lastFps > 0));
        }
    }
};

QTEST_GUILESS_MAIN(TestTcpThread)
#include "test_tcpthread.moc"
