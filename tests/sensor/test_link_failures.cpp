// What the parameter cache keeps after a write whose reply never came, a refused one and a
// closed link; and the simulator's refusal of a frame rate it cannot run.
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
        QTest::addColumn<int>("resent");      // writes of the old value sent again
        QTest::addColumn<int>("sensorValue"); // what the sensor holds at the end
        QTest::newRow("lost acknowledgement") << int(sim::ReplyFault::LoseReply) << 1 << 100;
        QTest::newRow("never answered") << int(sim::ReplyFault::NeverAnswer) << 1 << 100;
        QTest::newRow("refused (status 1)") << int(sim::ReplyFault::Status) << 0 << 100;
        QTest::newRow("closed mid-reply") << int(sim::ReplyFault::CloseMidReply) << 0 << 200;
    }
    void writeWithoutReply()
    {
        QFETCH(int, fault);
        QFETCH(int, resent);
        QFETCH(int, sensorValue);
        sim::SensorSimulator sensor;
        SensorConnection c;
        c.sensorAddress = 0x7f000001;
        c.sensorPort = sensor.start() ? sensor.port() : 0;
        QVERIFY(c.openConnection() && c.writeParameter(false, 6, true, 100));
        sensor.injectReplyFault(sim::ReplyFault(fault), 1);
        QVERIFY(!c.writeParameter(false, 6, true, 200));
        sensor.clearRequests();
        const bool closed = fault == int(sim::ReplyFault::CloseMidReply);
        QCOMPARE(c.channel.lossError, closed ? channelClosedByPeer : 0);
        QCOMPARE(c.writeParameter(false, 6, true, 100), !closed);
        QCOMPARE(int(sensor.requests().size()) * 1000 + sensor.parameter(6),
                 resent * 1000 + sensorValue);
    }

    void simulatorRefusesRate()
    {
        for (const char* rate : {"nan", "inf", "1e12"}) {
            QVERIFY(!sim::SensorSimulator().setRate(std::strtod(rate, nullptr)));
            QProcess program;
            program.start(LUMO_SIM_PROGRAM, {"--port", "0", "--rate", rate});
            QVERIFY(program.waitForFinished(10000) && program.exitCode() == 2);
            QVERIFY(program.readAllStandardError().contains(
                "--rate: frames per second must be a finite number"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLinkFailures)
#include "test_link_failures.moc"
