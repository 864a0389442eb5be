// The link misbehaving under a running acquisition, as the operator sees it: a lost link told
// once and resumed, a stop through a sensor that keeps streaming, silence, bad frames.
#include "windowfixture.h"

#include <QLabel>
#include <QRegularExpression>

class TestLinkHealth : public QObject
{
    Q_OBJECT
    std::unique_ptr<sim::SensorSimulator> sensor;
    std::unique_ptr<WindowFixture> fx;
    std::function<void()> beforeStart = [] {};
    VeltrixTestAccess& a() { return *fx->access; }

    void start(bool record, sim::Options options = {})
    {
        sensor = std::make_unique<sim::SensorSimulator>(options);
        QVERIFY(sensor->start());
        fx = std::make_unique<WindowFixture>(std::vector<std::tuple<QString, QString, int>>{
            {"Simulator", "127.0.0.1", sensor->port()}});
        a().connectAct()->trigger();
        QCOMPARE(a().status(), QString("Connected"));
        a().form().cBSensorMode->setCurrentIndex(2);
        beforeStart();
        (record ? a().recordAct() : a().captureAct())->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > 2, 5000);
    }
    bool loopEnds()
    {
        return QTest::qWaitFor([&] { return !a().thread()->isRunning(); }, 15000);
    }

private slots:
    void cleanup()
    {
        fx.reset();
        sensor.reset();
    }

    void linkLossIsToldAndResumed_data()
    {
        QTest::addColumn<bool>("restart"); // else the sensor closes in the middle of a frame
        QTest::newRow("closed mid-frame, capture") << false;
        QTest::newRow("sensor restarted mid-recording, resumed") << true;
    }
    void linkLossIsToldAndResumed()
    {
        QFETCH(bool, restart);
        start(restart);
        const QString text = "Connection lost: the sensor closed the connection";
        const QString file = a().recordFile().fileName();
        if (restart) {
            Dialogs::setResponder([&](const Dialogs::Shown& s) {
                fx->dialogs.push_back({s.kind, s.title, s.text});
                return s.choice;
            });
            QTest::qWait(1100); // recordings are named by the second
            sim::Options same;
            same.port = sensor->port();
            sensor.reset(); // the simulator goes away and comes back on the same port
            sensor = std::make_unique<sim::SensorSimulator>(same);
            QVERIFY(sensor->start());
            QTRY_VERIFY_WITH_TIMEOUT(
                a().recordFile().isOpen() && a().recordFile().fileName() != file, 15000);
            QCOMPARE(a().status(), QString("Recording..."));
            QVERIFY(QFile::exists(file));
            const quint64 before = a().shown(1);
            QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > before, 5000);
        } else {
            sensor->injectStreamFault(sim::StreamFault::CloseMidFrame);
            QTRY_COMPARE_WITH_TIMEOUT(a().status(), text, 10000);
            QVERIFY(loopEnds());
            QCOMPARE(a().statusStyle(), QString("background-color: red"));
            QVERIFY(a().connectAct()->isEnabled() && !a().disconnectAct()->isEnabled());
            QVERIFY(!a().captureAct()->isEnabled() && !a().stopAct()->isEnabled());
            QCOMPARE(a().sensorConnected() + a().acquiring(), 0);
        }
        QCOMPARE(std::count_if(fx->dialogs.begin(), fx->dialogs.end(),
                               [&](const ShownDialog& d) { return d.text == text; }),
                 1L);
    }

    void stopThroughStreamingSensor_data()
    {
        QTest::addColumn<bool>("answers"); // the sensor answers the stop's write
        QTest::newRow("stop acknowledged among frames") << true;
        QTest::newRow("stop never acknowledged") << false;
    }
    void stopThroughStreamingSensor()
    {
        QFETCH(bool, answers);
        sim::Options options;
        options.resyncStopsStream = false;
        options.rate = 400;
        start(false, options);
        sensor->clearRequests();
        if (!answers)
            sensor->injectReplyFault(sim::ReplyFault::NeverAnswer, 0, {}, 100);
        a().stopAct()->trigger();
        QVERIFY(!a().writeFlashAct()->isEnabled()); // not before the loop has ended
        QVERIFY(loopEnds());
        QTRY_VERIFY(a().writeFlashAct()->isEnabled() && a().captureAct()->isEnabled());
        const std::vector<Wire> wire = wireOf(sensor->requests());
        QVERIFY2(std::count(wire.begin(), wire.end(), Wire{10, 0, 0}) == 1,
                 qPrintable(describe(wire)));
        QCOMPARE(sensor->isStreaming(), !answers);
        QCOMPARE(a().status(), answers ? QString("Connected")
                                       : QString("Stop not confirmed: the sensor may still be "
                                                 "streaming"));
    }

    void healthCountersAndSilence()
    {
        uint64_t sentBefore = 0;
        beforeStart = [&] {
            sensor->setParameter(23, 100); // field of view sums beyond 32 bits saturate
            sensor->setParameter(25, INT32_MAX);
            sensor->setParameter(24, -100);
            sensor->setParameter(26, INT32_MIN);
            sentBefore = sensor->framesSent();
        };
        start(false);
        QCOMPARE(a().params().Xmax, INT32_MAX);
        QCOMPARE(a().params().Zmax, INT32_MIN);
        sensor->injectStreamFault(sim::StreamFault::GarbageBetween, 0, "\x07\x01garbage", 40);
        sensor->injectStreamFault(sim::StreamFault::Stall, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(a().w.statusBar()->currentMessage().startsWith("No data for"),
                                 15000);
        QVERIFY(a().thread()->isRunning() && a().acquiring());
        const quint64 before = a().shown(1);
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) > before, 10000); // the stream comes back
        a().stopAct()->trigger();
        QVERIFY(loopEnds());
        const auto m =
            QRegularExpression("received (\\d+), shown (\\d+), skipped (\\d+), bad (\\d+)")
                .match(a().healthText());
        QVERIFY2(m.hasMatch(), qPrintable(a().healthText()));
        const quint64 sent = sensor->framesSent() - sentBefore,
                      received = m.captured(1).toULongLong();
        QCOMPARE(received, m.captured(2).toULongLong() + m.captured(3).toULongLong());
        QVERIFY2(received <= sent && received * 2 >= sent, qPrintable(a().healthText()));
        QVERIFY(m.captured(4).toInt() >= 1 && m.captured(4).toInt() <= 40);
    }
};

QTEST_MAIN(TestLinkHealth)
#include "test_link_health.moc"
