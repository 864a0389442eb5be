// A misbehaving sensor during connect and acquisition: no crash, no hang beyond the time-outs,
// the operator sees the failures that are reported, and disconnect plus connect works again.
#include "windowfixture.h"

#include <QElapsedTimer>
#include <algorithm>

class TestAcquisitionFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<sim::SensorSimulator> sensor;
    std::unique_ptr<WindowFixture> fx;

    VeltrixTestAccess& a() { return *fx->access; }

    void startAll()
    {
        sensor = std::make_unique<sim::SensorSimulator>();
        QVERIFY(sensor->start());
        fx = std::make_unique<WindowFixture>(std::vector<std::tuple<QString, QString, int>>{
            {"Simulator", "127.0.0.1", sensor->port()}});
    }

    void connectNow()
    {
        a().connectAct()->trigger();
        QCOMPARE(a().status(), QString("Connected"));
    }

    void capturePixels()
    {
        a().form().cBSensorMode->setCurrentIndex(2);
        a().captureAct()->trigger();
        QCOMPARE(a().acquiring(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > 0, 3000);
    }

    // Stops and returns how long the loop took to end.
    qint64 stopAndTimeLoopEnd()
    {
        QElapsedTimer clock;
        clock.start();
        a().stopAct()->trigger();
        const bool ended = QTest::qWaitFor([&] { return !a().thread()->isRunning(); }, 10000);
        return ended ? clock.elapsed() : -1;
    }

    void reconnect()
    {
        a().disconnectAct()->trigger();
        QCOMPARE(a().status(), QString("Disconnected"));
        connectNow();
        a().captureAct()->trigger();
        const quint64 before = a().shown(1);
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > before, 3000);
        QVERIFY(stopAndTimeLoopEnd() >= 0);
    }

private slots:
    void cleanup()
    {
        fx.reset();
        sensor.reset();
    }

    void sensorClosesMidFrame()
    {
        startAll();
        connectNow();
        capturePixels();
        sensor->injectStreamFault(sim::StreamFault::CloseMidFrame);
        QTest::qWait(1000);
        const quint64 shown = a().shown(1);
        QTest::qWait(500);
        QCOMPARE(a().shown(1), shown); // nothing arrives on a closed connection
        const qint64 took = stopAndTimeLoopEnd();
        QVERIFY2(took >= 0 && took < 3000, qPrintable(QString("%1 ms").arg(took)));
        QCOMPARE(a().status(), QString("Connected"));
        reconnect();
    }

    void sensorStalls()
    {
        startAll();
        connectNow();
        capturePixels();
        sensor->injectStreamFault(sim::StreamFault::Stall, 5000);
        QTest::qWait(600);
        // The loop is waiting in its frame scan; it sees the stop after the scan limit at most.
        const qint64 took = stopAndTimeLoopEnd();
        QVERIFY2(took >= 0 && took < 6000, qPrintable(QString("%1 ms").arg(took)));
        QTRY_VERIFY_WITH_TIMEOUT(a().captureAct()->isEnabled(), 1000);
        a().captureAct()->trigger();
        const quint64 before = a().shown(1);
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > before, 8000);
        QVERIFY(stopAndTimeLoopEnd() >= 0);
    }

    void garbageBetweenFramesIsSkipped()
    {
        startAll();
        connectNow();
        capturePixels();
        sensor->injectStreamFault(sim::StreamFault::GarbageBetween, 0, std::string("\x07\x01\x00garbage", 10),
                                  500);
        const quint64 before = a().shown(1);
        QTest::qWait(2000);
        QVERIFY2(a().shown(1) - before >= 10, qPrintable(QString::number(a().shown(1) - before)));
        QVERIFY(stopAndTimeLoopEnd() >= 0);
        reconnect();
    }

    void truncatedFramesAreSkipped()
    {
        startAll();
        connectNow();
        capturePixels();
        sensor->injectStreamFault(sim::StreamFault::Truncate, 0, {}, 3);
        QTest::qWait(2500);
        const quint64 before = a().shown(1);
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > before, 3000);
        QVERIFY(stopAndTimeLoopEnd() >= 0);
    }

    void nothingListening()
    {
        int port = 0;
        {
            sim::SensorSimulator probe;
            QVERIFY(probe.start());
            port = probe.port();
        } // closed again: nothing listens on that port now
        fx = std::make_unique<WindowFixture>(
            std::vector<std::tuple<QString, QString, int>>{{"Gone", "127.0.0.1", port}});
        a().connectAct()->trigger();
        QCOMPARE(fx->lastDialogText(), QString("The connection is not successful!"));
        QCOMPARE(fx->dialogs.back().title, QString("Lumo"));
        QCOMPARE(a().sensorConnected(), 0);
        QVERIFY(a().connectAct()->isEnabled());
    }

    void sensorThatNeverAnswersFailsTheConnectInBoundedTime()
    {
        startAll();
        sensor->injectReplyFault(sim::ReplyFault::NeverAnswer, 0, {}, 1000);
        QElapsedTimer clock;
        clock.start();
        a().connectAct()->trigger();
        QVERIFY2(clock.elapsed() < 6000, qPrintable(QString("%1 ms").arg(clock.elapsed())));
        QCOMPARE(fx->lastDialogText(), QString("The connection is not successful!"));
        QVERIFY(a().connectAct()->isEnabled());
    }

    void refusedWriteStopsTheCaptureBeforeItStarts()
    {
        startAll();
        connectNow();
        a().form().sBGainVal->setValue(300);
        // The acknowledgements of the opening exchange and of the first write carry status 1.
        sensor->injectReplyFault(sim::ReplyFault::Status, 1, {}, 2);
        a().captureAct()->trigger();
        QCOMPARE(fx->lastDialogText(), QString("Error in writing sensor parameter"));
        QCOMPARE(fx->dialogs.back().kind, Dialogs::Kind::Critical);
        QCOMPARE(a().acquiring(), 0);
        QVERIFY(!a().thread()->isRunning());
        QVERIFY(a().captureAct()->isEnabled());
        QVERIFY(!a().stopAct()->isEnabled());
        QCOMPARE(a().status(), QString("Connected"));
        QVERIFY(!sensor->isStreaming());

        // The refused value was not confirmed, so the next capture sends it again.
        sensor->clearRequests();
        a().captureAct()->trigger();
        QCOMPARE(a().acquiring(), 1);
        const std::vector<sim::Request> requests = sensor->requests();
        QVERIFY(std::any_of(requests.begin(), requests.end(), [](const sim::Request& r) {
            return r.command == 6 && r.direction == 0 && r.value == 300;
        }));
        QVERIFY(stopAndTimeLoopEnd() >= 0);
    }

    void closingTheWindowDuringRecording()
    {
        startAll();
        connectNow();
        a().form().cBSensorMode->setCurrentIndex(2);
        a().recordAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > 3, 3000);
        const QString name = a().recordFile().fileName();
        QElapsedTimer clock;
        clock.start();
        fx->window->close();
        fx->access.reset();
        fx->window.reset(); // destroys the thread object after its loop has ended
        QVERIFY2(clock.elapsed() < 9000, qPrintable(QString("%1 ms").arg(clock.elapsed())));
        QVERIFY(QFile::exists(name));
        QTRY_VERIFY_WITH_TIMEOUT(!sensor->isStreaming(), 3000);
    }
};

QTEST_MAIN(TestAcquisitionFaults)
#include "test_acquisition_faults.moc"
