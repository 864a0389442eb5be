// One session with a sensor that keeps streaming through the opening exchange, as the operator
// sees it: saturated field of view, bad frames and silence counted while the capture goes on,
// the stop still reaching the sensor, the simulator restarted mid-recording (told once,
// resumed in a new file), and a stop that is never acknowledged.
#include "windowfixture.h"

#include <QRegularExpression>

class TestLinkHealth : public QObject
{
    Q_OBJECT
private slots:
    void sessionWithFaults()
    {
        sim::Options options;
        options.resyncStopsStream = false;
        options.rate = 400;
        auto sensor = std::make_unique<sim::SensorSimulator>(options);
        QVERIFY(sensor->start());
        options.port = sensor->port();
        WindowFixture fx({{"Simulator", "127.0.0.1", sensor->port()}});
        VeltrixTestAccess& a = *fx.access;
        auto stopped = [&] {
            return QTest::qWaitFor([&] { return !a.thread()->isRunning(); }, 15000);
        };
        a.connectAct()->trigger();
        for (auto [command, value] :
             {std::pair{23, 100}, {25, INT32_MAX}, {24, -100}, {26, INT32_MIN}})
            sensor->setParameter(command, value);
        a.form().cBSensorMode->setCurrentIndex(2);
        const uint64_t sentBefore = sensor->framesSent();
        a.captureAct()->trigger();
        QCOMPARE(a.params().Xmax, INT32_MAX);
        QCOMPARE(a.params().Zmax, INT32_MIN);
        sensor->injectStreamFault(sim::StreamFault::GarbageBetween, 0, "\x07\x01garbage", 40);
        sensor->injectStreamFault(sim::StreamFault::Stall, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(a.w.statusBar()->currentMessage().startsWith("No data for"),
                                 15000);
        QVERIFY(a.thread()->isRunning() && a.acquiring());
        const quint64 shown = a.shown(1);
        QTRY_VERIFY_WITH_TIMEOUT(a.shown(1) > shown, 10000); // the stream comes back
        sensor->clearRequests();
        const uint64_t sent = sensor->framesSent() - sentBefore; // it streams on through the stop
        a.stopAct()->trigger();
        QVERIFY(!a.writeFlashAct()->isEnabled()); // not before the loop has ended
        QVERIFY(stopped());
        QTRY_VERIFY(a.writeFlashAct()->isEnabled() && a.captureAct()->isEnabled());
        const std::vector<Wire> wire = wireOf(sensor->requests());
        QVERIFY2(std::count(wire.begin(), wire.end(), Wire{10, 0, 0}) == 1,
                 qPrintable(describe(wire)));
        QVERIFY(!sensor->isStreaming());
        const auto m =
            QRegularExpression("received (\\d+), shown (\\d+), skipped (\\d+), bad (\\d+)")
                .match(a.healthText());
        const quint64 received = m.captured(1).toULongLong();
        QCOMPARE(received, m.captured(2).toULongLong() + m.captured(3).toULongLong());
        QVERIFY2(received <= sent + 50 && received * 2 >= sent && m.captured(4).toInt() >= 1 &&
                     m.captured(4).toInt() <= 40,
                 qPrintable(a.healthText()));

        // The sensor goes away mid-recording and comes back on the same port.
        QString seen; // the window when the message is shown
        Dialogs::setResponder([&](const Dialogs::Shown& s) {
            seen += s.text + "|" + a.status() + "|" + a.statusStyle() + "|" +
                    QString::number(a.connectAct()->isEnabled() + 2 * a.captureAct()->isEnabled() +
                                    4 * a.sensorConnected() + 8 * a.recordFile().isOpen());
            return s.choice;
        });
        a.recordAct()->trigger();
        const QString file = a.recordFile().fileName();
        QTest::qWait(1100); // recordings are named by the second
        sensor = std::make_unique<sim::SensorSimulator>(options); // the old one is gone first
        QVERIFY(sensor->start());
        QTRY_VERIFY_WITH_TIMEOUT(a.recordFile().isOpen() && a.recordFile().fileName() != file,
                                 15000);
        QCOMPARE(a.status(), QString("Recording..."));
        QVERIFY(QFile::exists(file));
        const QString lost = "Connection lost: the sensor closed the connection";
        QCOMPARE(seen, lost + "|" + lost + "|background-color: red|1"); // told once, disconnected

        sensor->injectReplyFault(sim::ReplyFault::NeverAnswer, 0, {}, 100);
        a.stopAct()->trigger();
        QVERIFY(stopped());
        QTRY_COMPARE(a.status(), QString("Stop not confirmed: the sensor may still be streaming"));
    }
};

QTEST_MAIN(TestLinkHealth)
#include "test_link_health.moc"
