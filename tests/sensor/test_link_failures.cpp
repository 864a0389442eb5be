// Failure paths of the sensor link against the simulator: what the parameter cache keeps
// after a write whose reply never came, a refused one, a closed link; and the simulator's
// refusal of a frame rate it cannot run.
#include "sensor/sensorconnection.h"
#include "simulator/sensorsimulator.h"

#include <QProcess>
#include <QtTest>

class TestLinkFailures : public QObject
{
    Q_OBJECT
private slots:
    void writeWithoutReply_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("resent"); // the write of the old value is sent again
        QTest::addColumn<int32_t>("sensorValue");
        QTest::newRow("lost acknowledgement") << int(sim::ReplyFault::LoseReply) << true << 100;
        QTest::newRow("never answered") << int(sim::ReplyFault::NeverAnswer) << true << 100;
        QTest::newRow("refused (status 1)") << int(sim::ReplyFault::Status) << false << 100;
        QTest::newRow("closed mid-reply") << int(sim::ReplyFault::CloseMidReply) << false << 200;
    }
    void writeWithoutReply()
    {
        QFETCH(int, fault);
        QFETCH(bool, resent);
        QFETCH(int32_t, sensorValue);
        sim::SensorSimulator sensor;
        QVERIFY(sensor.start());
        SensorConnection c;
        c.sensorAddress = 0x7f000001;
        c.sensorPort = sensor.port();
        QVERIFY(c.openConnection());
        QVERIFY(c.writeParameter(false, 6, true, 100));
        sensor.injectReplyFault(sim::ReplyFault(fault), 1);
        QVERIFY(!c.writeParameter(false, 6, true, 200));
        sensor.clearRequests();
        const bool closed = fault == int(sim::ReplyFault::CloseMidReply);
        QCOMPARE(c.linkLost(), closed);
        QCOMPARE(c.channel.lossError, closed ? channelClosedByPeer : 0);
        QCOMPARE(c.writeParameter(false, 6, true, 100), !closed);
        QCOMPARE(sensor.requests().size(), size_t(resent ? 1 : 0));
        QCOMPARE(sensor.parameter(6), sensorValue);
    }

    void simulatorRefusesRate_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::newRow("nan") << "nan";
        QTest::newRow("inf") << "inf";
        QTest::newRow("absurd") << "1e12";
    }
    void simulatorRefusesRate()
    {
        QFETCH(QString, rate);
        QVERIFY(!sim::SensorSimulator().setRate(rate.toDouble()));
        QProcess program;
        program.start(LUMO_SIM_PROGRAM, {"--port", "0", "--rate", rate});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(program.readAllStandardError().contains(
            "for --rate: frames per second must be a finite number up to 100000"));
    }
};

QTEST_GUILESS_MAIN(TestLinkFailures)
#include "test_link_failures.moc"
