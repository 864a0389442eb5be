// Scanning against the simulator: "Record every profile" keeps every profile the sensor sent,
// and a sensor that already serves another client is reported as a failed connection.
#include "windowfixture.h"

#include "simulator/framering.h"

#include <QHostAddress>
#include <QSettings>
#include <QTcpSocket>
#include <cstdio>
#include <cstring>

class TestScanning : public QObject
{
    Q_OBJECT

private slots:
    // The simulator streams 1,280-point mm profiles at 2,000 per second; the file holds every
    // profile it sent, frames 0..n-1, points as sent.
    void recordsEveryProfileSent()
    {
        constexpr int frames = 4000, points = 1280;
        sim::Options options;
        options.rate = 2000.0;
        options.points = points;
        sim::SensorSimulator sensor(options);
        QVERIFY(sensor.start());
        WindowFixture fx({{"Simulator", "127.0.0.1", sensor.port()}});
        VeltrixTestAccess& a = *fx.access;
        a.connectAct()->trigger();
        QCOMPARE(a.status(), QString("Connected"));

        a.everyProfileBox()->setChecked(true);
        a.recordCount()->setValue(0);              // until stop
        a.form().cBSensorMode->setCurrentIndex(1); // "Profile (mm)"
        a.form().sBNBRLines->setValue(frames);     // the sensor sends this many, then stops
        const uint64_t sentBefore = sensor.framesSent();
        a.recordAct()->trigger();
        QVERIFY(a.recording());
        QTRY_VERIFY_WITH_TIMEOUT(
            sensor.framesSent() - sentBefore == frames && !sensor.isStreaming(), 20000);
        const QString done = QString("Recorded %1 profiles, ").arg(frames);
        QTRY_VERIFY_WITH_TIMEOUT(a.recordStatus().startsWith(done), 20000);
        a.stopAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!a.thread()->isRunning(), 10000);
        QVERIFY(fx.dialogs.empty());
        QVERIFY2(a.shown(1) < frames / 4, "the display shows a sample, not every profile");
        QCOMPARE(QSettings(fx.dir.filePath("3DSensor.ini"), QSettings::IniFormat)
                     .value("Preferences/RecordEveryProfile")
                     .toString(),
                 QString("1"));

        const QStringList files = QDir(a.dataDir()).entryList({"profile_mm_*.txt"});
        QCOMPARE(files.size(), 1);
        QFile file(a.dataDir() + "/" + files[0]);
        QVERIFY(file.open(QIODevice::ReadOnly));

        // What the simulator sent: point-profile frames of its ring, index 0 first.
        sim::StreamConfig config;
        config.mode = 4;
        config.points = points;
        sim::FrameRing ring;
        ring.configure(config);
        std::vector<uint8_t> frame;
        int expectedFrame = 0, pointIndex = points;
        float sent[2 * points];
        const QByteArray all = file.readAll();
        std::string_view rest(all.constData(), size_t(all.size()));
        while (!rest.empty()) {
            const size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            struct
            {
                double x, z;
                int frame;
            } p;
            const std::string text(line);
            if (std::sscanf(text.c_str(), "%lf; %d; %lf;\r", &p.x, &p.frame, &p.z) != 3)
                QFAIL(text.c_str());
            if (pointIndex == points) { // a new profile starts
                QCOMPARE(p.frame, expectedFrame);
                frame.clear();
                ring.append(uint64_t(expectedFrame), frame);
                std::memcpy(sent, frame.data() + 20, sizeof sent);
                ++expectedFrame;
                pointIndex = 0;
            }
            const float x = sent[2 * pointIndex], z = sent[2 * pointIndex + 1];
            const bool xIn = x >= -255.0f && x <= 261.0f, zIn = z >= 58.0f && z <= 549.0f;
            if (p.frame != expectedFrame - 1 || qAbs(p.x - (xIn ? x : 0.0)) > 0.0005 ||
                qAbs(p.z - (zIn ? z : 0.0)) > 0.0005)
                QFAIL(qPrintable(QString("frame %1 point %2: %3; %4 instead of %5; %6")
                                     .arg(p.frame)
                                     .arg(pointIndex)
                                     .arg(p.x)
                                     .arg(p.z)
                                     .arg(x)
                                     .arg(z)));
            ++pointIndex;
        }
        QCOMPARE(expectedFrame, frames);
        QCOMPARE(pointIndex, points);
    }

    // A sensor serves one client: while another holds it, "Connect" shows the failed
    // connection and the window stays disconnected; once the other has gone, it connects.
    void sensorHeldByAnotherClient()
    {
        sim::SensorSimulator sensor;
        QVERIFY(sensor.start());
        QTcpSocket other;
        other.connectToHost(QHostAddress::LocalHost, sensor.port());
        QVERIFY(other.waitForConnected(5000));
        WindowFixture fx({{"Simulator", "127.0.0.1", sensor.port()}});
        VeltrixTestAccess& a = *fx.access;
        a.connectAct()->trigger();
        QCOMPARE(fx.lastDialogText(), QString("The connection is not successful!"));
        QCOMPARE(a.sensorConnected(), 0);
        QCOMPARE(a.status(), QString("Disconnected"));
        QVERIFY(sensor.refusedCount() >= 1);
        other.disconnectFromHost();
        a.connectAct()->trigger();
        QCOMPARE(a.status(), QString("Connected"));
    }
};

QTEST_MAIN(TestScanning)
#include "test_scanning.moc"
