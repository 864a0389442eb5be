// The simulated sensor's settings act on its frames, its flash survives a restart, and it
// serves one client at a time.
#include "rawclient.h"
#include "simulator/sensorsimulator.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace rawtest;
using Writes = std::vector<std::pair<int, int>>;
Q_DECLARE_METATYPE(Writes)

namespace {
// Writes the settings, then MODE and NBR_LINES 1, and returns the frame that follows.
bool frameAfter(RawClient& c, const Writes& writes, int mode, Message& frame)
{
    Writes all = writes;
    all.push_back({9, mode});
    all.push_back({10, 1});
    uint32_t sequence = 1;
    for (const auto& [command, value] : all) {
        Message ack;
        if (!c.request(uint32_t(command), sequence++, 0, value) || !readMessage(c, ack) ||
            ack.type != 101 || ack.fields.size() < 2 || ack.fields[1] != 0)
            return false;
    }
    return readMessage(c, frame);
}
} // namespace

class TestSimulatorSettings : public QObject
{
    Q_OBJECT

private slots:
    // fields: image width, height; column profile points, xStart, xStep; pair profile points.
    void settingsShapeFrames_data()
    {
        QTest::addColumn<Writes>("writes");
        QTest::addColumn<int>("mode");
        QTest::addColumn<std::vector<int>>("fields");
        QTest::addColumn<int>("brightest"); // images: brightest pixel; profiles: valid points
        QTest::newRow("power-up image") << Writes{} << 1 << std::vector<int>{1280, 1024} << 250;
        QTest::newRow("search area image") << Writes{{2, 100}, {3, 24}, {4, 640}, {5, 512}} << 1
                                           << std::vector<int>{640, 512} << 250;
        QTest::newRow("subsample 2 image")
            << Writes{{35, 2}} << 1 << std::vector<int>{320, 256} << 250;
        QTest::newRow("dark image")
            << Writes{{6, 16}, {7, 500}} << 1 << std::vector<int>{1280, 1024} << 40;
        QTest::newRow("laser off image")
            << Writes{{1, 0}} << 1 << std::vector<int>{1280, 1024} << 90;
        QTest::newRow("search area profile")
            << Writes{{2, 320}, {4, 640}, {35, 1}} << 2 << std::vector<int>{0, 320, 320, 2} << 320;
        QTest::newRow("laser off profile")
            << Writes{{1, 0}} << 2 << std::vector<int>{0, 1280, 0, 1} << 0;
        QTest::newRow("rows outside the line")
            << Writes{{3, 0}, {5, 6}} << 4 << std::vector<int>{1280, 0} << 0;
    }

    void settingsShapeFrames()
    {
        QFETCH(Writes, writes);
        QFETCH(int, mode);
        QFETCH(std::vector<int>, fields);
        QFETCH(int, brightest);
        sim::SensorSimulator sensor;
        QVERIFY(sensor.start());
        RawClient c;
        QVERIFY(c.connectTo(sensor.port()));
        Message frame;
        QVERIFY(frameAfter(c, writes, mode, frame));
        QCOMPARE(frame.fields, fields);
        if (mode == 1) {
            const int top = *std::max_element(frame.bulk.begin(), frame.bulk.end());
            QVERIFY2(brightest >= 200 ? top >= brightest - 5 : top <= brightest,
                     qPrintable(QString("brightest pixel %1").arg(top)));
            return;
        }
        int valid = 0;
        for (size_t i = 0; i < frame.bulk.size(); i += mode == 2 ? 2 : 8)
            valid += mode == 2 ? i16(&frame.bulk[i]) >= 0 : f32(&frame.bulk[i + 4]) >= 0.0f;
        QCOMPARE(valid, brightest);
    }

    // Store to flash keeps the settings in the state file; a new start reads them.
    void flashSurvivesRestart()
    {
        QTemporaryDir dir;
        sim::Options options;
        options.statePath = dir.filePath("flash.state").toStdString();
        {
            sim::SensorSimulator sensor(options);
            QVERIFY(sensor.start());
            QCOMPARE(sensor.parameter(6), 80); // power-up gain, not the client's 64
            RawClient c;
            QVERIFY(c.connectTo(sensor.port()));
            Message ack;
            for (const auto& [command, value] : Writes{{6, 300}, {33, 0}, {45, 0}})
                QVERIFY(c.request(uint32_t(command), 1, 0, value) && readMessage(c, ack));
        }
        sim::SensorSimulator restarted(options);
        QCOMPARE(restarted.parameter(6), 300);
        options.statePath.clear();
        QCOMPARE(sim::SensorSimulator(options).parameter(6), 80);
    }

    // While one client is connected a second connection is closed at once; after the first
    // has gone, a new one is served.
    void oneClientAtATime()
    {
        sim::SensorSimulator sensor;
        QVERIFY(sensor.start());
        RawClient first, second, third;
        QVERIFY(first.connectTo(sensor.port()) && second.connectTo(sensor.port()));
        QVERIFY(second.waitClosed(5000));
        QCOMPARE(sensor.refusedCount(), 1);
        Message ack;
        QVERIFY(first.request(0, 1, 0, 0) && readMessage(first, ack));
        first.close();
        QVERIFY(third.connectTo(sensor.port()));
        QVERIFY(third.request(0, 1, 0, 0) && readMessage(third, ack) && ack.type == 101);
    }
};

QTEST_GUILESS_MAIN(TestSimulatorSettings)
#include "test_simulator_settings.moc"
