// Sensor command protocol in conversation with the simulated sensor on 127.0.0.1: request
// log, sequence numbers, the parameter cache, settings, texts, faulty replies and recovery.

#include "sensor/sensorconnection.h"
#include "sensor/sensorparameters.h"
#include "simulator/sensorsimulator.h"

#include <QtTest>

#include <vector>

namespace {

// A connection opened to a running simulator.
struct SimLink
{
    sim::SensorSimulator sensor;
    SensorConnection connection;

    bool open()
    {
        if (!sensor.start())
            return false;
        connection.sensorAddress = 0x7F000001;
        connection.sensorPort = sensor.port();
        return connection.openConnection();
    }

    std::vector<uint32_t> commands() const
    {
        std::vector<uint32_t> out;
        for (const sim::Request& r : sensor.requests())
            out.push_back(r.command);
        return out;
    }
};

} // namespace

class TestProtocolSim : public QObject
{
    Q_OBJECT

private slots:
    void simOpenAndSequenceNumbers()
    {
        SimLink link;
        link.sensor.setParameter(27, 321);
        QVERIFY(link.open());
        QCOMPARE(link.connection.cache[27].confirmed, 321);
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        int32_t a = 0, b = 0, value = 0;
        QVERIFY(link.connection.readParameter(false, 9, a, b, value));
        QCOMPARE(value, 4);
        QVERIFY(link.connection.storeToFlash());
        QVERIFY(link.sensor.waitForRequests(6, 2000));
        const std::vector<sim::Request> log = link.sensor.requests();
        QCOMPARE(log.size(), size_t(6));
        const uint32_t commands[] = {0, 27, 9, 9, 33, 45};
        const uint32_t directions[] = {0, 1, 0, 1, 0, 0};
        for (size_t i = 0; i < 6; ++i) {
            QCOMPARE(log[i].command, commands[i]);
            QCOMPARE(log[i].sequence, uint32_t(i + 1));
            QCOMPARE(log[i].direction, directions[i]);
        }
        QCOMPARE(link.sensor.parameter(9), 4);
        QVERIFY(link.connection.closeConnection());
    }

    void simCacheSkipsAndAlwaysSends()
    {
        SimLink link;
        QVERIFY(link.open());
        link.sensor.clearRequests();
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(link.connection.writeParameter(false, 32, true, 0));
        QVERIFY(link.connection.writeParameter(false, 32, true, 0));
        QVERIFY(!link.connection.writeParameter(false, 8, true, 3));
        QVERIFY(link.connection.writeParameter(true, 9, true, 4)); // resync only
        QVERIFY(link.sensor.waitForRequests(4, 2000));
        QTest::qWait(100);
        QCOMPARE(link.commands(), (std::vector<uint32_t>{9, 32, 32, 0}));
    }

    void simReadAllSettings()
    {
        SimLink link;
        for (int command : settingsReadOrder)
            link.sensor.setParameter(command, command + 1000);
        link.sensor.setRange(7, 9, 99999);
        link.sensor.setParameter(23, -250);
        link.sensor.setParameter(25, 500);
        link.sensor.setParameter(24, 60);
        link.sensor.setParameter(26, 480);
        QVERIFY(link.open());
        link.sensor.clearRequests();
        SensorParameters p;
        QVERIFY(readAllSettings(link.connection, p));
        std::vector<uint32_t> expected{0};
        for (int command : settingsReadOrder)
            expected.push_back(uint32_t(command));
        QCOMPARE(link.commands(), expected);
        QCOMPARE(p.LASER, 1001);
        QCOMPARE(p.SHUTTER, 1007);
        QCOMPARE(p.SHUTTER_MIN, 9);
        QCOMPARE(p.SHUTTER_MAX, 99999);
        QCOMPARE(p.TRIGGER, 1008);
        QCOMPARE(p.Xmin, -250);
        QCOMPARE(p.Xmax, 250);
        QCOMPARE(p.Zmin, 60);
        QCOMPARE(p.Zmax, 540);
        QCOMPARE(p.firmwareVersion, 1027);
        QCOMPARE(p.MedianFilter, 1047);
        QCOMPARE(link.connection.cache[7].minimum, 9);
        QCOMPARE(link.connection.cache[7].confirmed, 1007);
    }

    void simRejectedWriteIsRepeated()
    {
        SimLink link;
        QVERIFY(link.open());
        link.sensor.clearRequests();
        link.sensor.injectReplyFault(sim::ReplyFault::Status, 1);
        QVERIFY(!link.connection.writeParameter(false, 9, true, 4));
        QVERIFY(link.connection.writeParameter(false, 9, true, 4));
        QCOMPARE(link.commands(), (std::vector<uint32_t>{9, 9}));
        QCOMPARE(link.sensor.parameter(9), 4);
    }

    void simFlashIgnoresStatuses()
    {
        SimLink link;
        QVERIFY(link.open());
        link.sensor.injectReplyFault(sim::ReplyFault::Status, 5, {}, 2);
        QVERIFY(link.connection.storeToFlash());
    }

    void simFaultyRepliesAndRecovery_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("param");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("garbage before") << int(sim::ReplyFault::GarbageBefore) << 0 << true;
        QTest::newRow("garbage, reply 800 ms later")
            << int(sim::ReplyFault::GarbageBefore) << 800 << false;
        QTest::newRow("wrong command") << int(sim::ReplyFault::WrongCommand) << 0 << false;
        QTest::newRow("wrong length") << int(sim::ReplyFault::WrongLength) << 0 << false;
        QTest::newRow("late reply") << int(sim::ReplyFault::Delay) << 800 << false;
        QTest::newRow("never answers") << int(sim::ReplyFault::NeverAnswer) << 0 << false;
    }

    void simFaultyRepliesAndRecovery()
    {
        QFETCH(int, fault);
        QFETCH(int, param);
        QFETCH(bool, succeeds);
        SimLink link;
        link.sensor.setParameter(1, 1);
        QVERIFY(link.open());
        link.sensor.injectReplyFault(sim::ReplyFault(fault), param, "\x05\x06\x07\x08");
        int32_t a = 0, b = 0, value = 0;
        QCOMPARE(link.connection.readParameter(false, 1, a, b, value), succeeds);
        if (succeeds)
            QCOMPARE(value, 1);
        QTest::qWait(900); // a late reply has arrived by now
        // The opening exchange drains what is left, and the link works again.
        value = 0;
        QVERIFY(link.connection.readParameter(true, 1, a, b, value));
        QCOMPARE(value, 1);
    }

    void simTexts()
    {
        SimLink link;
        QVERIFY(link.open());
        const QString job = QStringLiteral("[FileInfo]\nName=Probe\n");
        QVERIFY(link.connection.writeText(false, 40, job));
        QCOMPARE(link.sensor.productText(), job.toStdString());
        link.sensor.setProductText("[ProductInfo]\nJobs=2\n");
        QString out;
        QVERIFY(link.connection.readText(true, 41, out));
        QCOMPARE(out, QStringLiteral("[ProductInfo]\nJobs=2\n"));
        QVERIFY(!link.connection.writeText(false, 40, QString(2001, QLatin1Char('x'))));
        QCOMPARE(link.sensor.productText(), std::string("[ProductInfo]\nJobs=2\n"));
    }
};

QTEST_GUILESS_MAIN(TestProtocolSim)
#include "test_protocol_sim.moc"
