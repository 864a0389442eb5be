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
            sim::SensorSimulator sensor;
            SensorConnection c;
            c.sensorAddress = 0x7f000001;
            c.sensorPort = sensor.start() ? sensor.port() : 0;
            QVERIFY(c.openConnection() && c.writeParameter(false, 6, true, 100));
            sensor.injectReplyFault(fault, 1);
            QVERIFY(!c.writeParameter(false, 6, true, 200));
            sensor.clearRequests();
            const bool closed = fault == F::CloseMidReply;
            QCOMPARE(c.channel.lossError, closed ? channelClosedByPeer : 0);
            QCOMPARE(c.writeParameter(false, 6, true, 100), !closed);
            QCOMPARE(QVector<int>({int(sensor.requests().size()), sensor.parameter(6)}),
                     QVector<int>({resent, sensorValue}));
        }
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
