// The window against the simulated sensor: the wire conversation of connect, capture and stop,
// frames, recording, the job, flash, connect failures, stream faults and a lost link.
#include "scriptedpeer.h"
#include "simulator/framering.h"
#include "windowfixture.h"

#include <QTcpSocket>
#include <array>
#include <cstdio>
#include <cstring>

namespace {
constexpr int modeImage = 0, modeMm = 1, modePixel = 2, modeBinary = 3, modeProduct = 4;
const QString notConnected = "0|Lumo|The connection is not successful!";
} // namespace

class TestAcquisition : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<sim::SensorSimulator> sensor;
    std::unique_ptr<WindowFixture> fx;

    VeltrixTestAccess& a() { return *fx->access; }
    // The request log: "command" and "r" for a read, "w=value" for a write, space-separated.
    QString wire() const
    {
        QStringList parts;
        for (const sim::Request& r : sensor->requests())
            parts << QString::number(r.command) +
                         (r.direction ? QString("r") : QString("w=%1").arg(r.value));
        return parts.join(' ');
    }
    const QString idle = "Connected|green| disconnect capture record saveImage flash";

    void startAll(const sim::Options& options = {})
    {
        sensor = std::make_unique<sim::SensorSimulator>(options);
        QVERIFY(sensor->start());
        fx = std::make_unique<WindowFixture>(sensor->port());
    }
    void connectNow()
    {
        a().connectAct()->trigger();
        QVERIFY(a().status() == "Connected" && a().sensorConnected() == 1);
    }

private slots:
    void cleanup() { fx.reset(), sensor.reset(); }

    // Connect reads every setting into its control (sliders stop at 5000); a capture writes each
    // changed control in order and the trigger error back as 0; the stop reads back what the
    // trigger and exposure modes need. Then flash, disconnect; a connect that imports the job,
    // sent before product mode when pending; a refused flash.
    void conversation()
    {
        startAll();
        // command=value, with [minimum,maximum] where the sensor reports its own range
        for (const QString& r :
             QString("1=1 2=12[0,1000] 3=34[0,900] 4=700[6,1100] 5=500[6,1000] 6=150[1,511] "
                     "7=1500[10,200000] 8=2 9=6 10=0[-1,100] 11=1 13=40[2,250] 14=5[1,90] "
                     "15=80[1,95] 16=2 17=120[1,250] 18=50 19=2000 20=600[5,90000] "
                     "21=3000[5,50000] 22=1 30=7[0,50] 31=600[1,4000] 32=5 35=1 46=2 47=1")
                 .split(' ')) {
            const QStringList n = r.split(QRegularExpression("[]=[,]"), Qt::SkipEmptyParts);
            sensor->setParameter(n[0].toInt(), n[1].toInt());
            if (n.size() == 4)
                sensor->setRange(n[0].toInt(), n[2].toInt(), n[3].toInt());
        }
        connectNow();
        QCOMPARE(wire(), QString("0w=0 27r 0w=0 1r 2r 3r 4r 5r 6r 7r 8r 9r 10r 11r 12r 13r 14r 15r "
                                 "16r 17r 20r 21r 22r 23r 24r 25r 26r 30r 31r 32r 34r 27r 35r 18r "
                                 "19r 46r 47r 41r 0w=0 8w=0 9w=4 10w=1 0w=0 10w=0 8w=2"));
        const std::vector<sim::Request> r = sensor->requests();
        QVERIFY(r[1].sequence == 2u && r[3].sequence == 2u && r[4].sequence == 3u &&
                a().params().firmwareVersion == 12);
        const QString read =
            "cBLaserMode=1 sBSearchAreaX=12[0,1000] sBSearchAreaY=34[0,900] "
            "sBSearchAreaDX=700[6,1100] hSSearchAreaDX=700[6,1100] sBSearchAreaDY=500[6,1000] "
            "sBGainVal=150[1,511] hSGainVal=150[1,511] sBShutter=1500[10,200000] "
            "hSShutter=1500[10,5000] lineEdit_AutoShError=1500 cBTriggerMode=5 cBSensorMode=3 "
            "sBNBRLines=-1[-1,100] cBLEMethode=1 cBAlgorithmMode=0 sBLEThreshold=40[2,250] "
            "sBLEMinLaserWidth=5[1,90] sBLEMaxLaserWidth=80[1,95] cBExposureMode=2 "
            "sBLaserValue=120[1,250] sBAutoShutterMin=50[5,100000] "
            "sBAutoShutterMax=2000[5,100000] hSAutoShMax=2000[5,5000] "
            "sBDoubleShutter1=600[5,90000] sBDoubleShutter2=3000[5,50000] "
            "hSDoubleShutter2=3000[5,5000] cBLEFilter=3 sBEthernetLinePckg=7[0,50] "
            "sBAutoTriggerPeriode=600[1,4000] lEAutoTriggerError=5 cBEthernetSendMode=1 "
            "cBSubsample=1 cBSpeckleFilter=2 cBMedianFilter=1";
        const QString names = QString(read).remove(QRegularExpression("=[^ ]*"));
        QCOMPARE(controlsText(fx->window.get(), names), read);
        Ui::Veltrix& f = a().form();
        QVERIFY(!f.sBShutter->isEnabled() && f.sBDoubleShutter1->isEnabled() &&
                !f.sBAutoTriggerPeriode->isEnabled());
        QCOMPARE(a().state(), QString("Connected|green| disconnect capture record flash"));
        QVERIFY(fx->dialogs.empty() && !sensor->isStreaming());

        // Each control set (control=value) and what it writes (command w=value), in order.
        const QString changes =
            "cBLaserMode=0 1w=0 sBSearchAreaX=10 2w=10 sBSearchAreaY=20 3w=20 "
            "sBSearchAreaDX=640 4w=640 sBSearchAreaDY=480 5w=480 sBGainVal=200 6w=200 "
            "sBShutter=2500 7w=2500 cBTriggerMode=2 8w=-1 cBLEMethode=0 11w=0 cBAlgorithmMode=1 "
            "12w=1 sBLEThreshold=60 13w=60 sBLEMinLaserWidth=3 14w=3 sBLEMaxLaserWidth=70 15w=70 "
            "cBExposureMode=1 16w=1 sBLaserValue=99 17w=99 sBDoubleShutter1=750 20w=750 "
            "sBDoubleShutter2=4000 21w=4000 cBLEFilter=0 22w=-2 sBEthernetLinePckg=9 30w=9 "
            "sBAutoTriggerPeriode=777 31w=777 cBEthernetSendMode=0 34w=0 cBSubsample=2 35w=2 "
            "sBAutoShutterMin=100 18w=100 sBAutoShutterMax=3000 19w=3000 cBSpeckleFilter=4 "
            "46w=4 cBMedianFilter=3 47w=3";
        QStringList written = {"0w=0"};
        for (const QString& item : changes.split(' '))
            if (item.contains("w="))
                written << item;
            else if (auto* w = fx->window->findChild<QWidget*>(item.section('=', 0, 0)))
                w->setProperty(qobject_cast<QComboBox*>(w) ? "currentIndex" : "value",
                               item.section('=', 1).toInt());
        sensor->clearRequests();
        a().capture(modePixel);
        QCOMPARE(wire(), written.join(' ') + " 32w=0 23r 24r 25r 26r 0w=0 9w=2 10w=-1");
        QVERIFY(a().params().AutoTriggerError == 0 && !f.sBGainVal->isEnabled());
        QCOMPARE(a().state(), QString("Capturing...|green| stop"));
        a().framesArrive(1);

        sensor->setParameter(32, 9);
        sensor->setParameter(7, 4321);
        sensor->clearRequests();
        a().stopAct()->trigger();
        QVERIFY(!a().acquiring() && a().status() == "Connected" &&
                a().tcpThread()->isLoopFinished());
        QCOMPARE(wire() + " " +
                     controlsText(fx->window.get(), "lEAutoTriggerError lineEdit_AutoShError"),
                 QString("0w=0 10w=0 32r 7r lEAutoTriggerError=9 lineEdit_AutoShError=4321"));
        QTRY_VERIFY_WITH_TIMEOUT(a().captureAct()->isEnabled(), 5000);
        QVERIFY(a().state() == idle && f.sBGainVal->isEnabled());

        // Fixed trigger: with Auto Exposure only the shutter is read back, without nothing.
        for (const auto& [control, written, readBack] :
             {std::tuple{f.cBTriggerMode, "8w=0 32w=0", " 7r"}, {f.cBExposureMode, "16w=0", ""}}) {
            control->setCurrentIndex(control == f.cBTriggerMode ? 3 : 0);
            sensor->clearRequests();
            a().capture(modePixel);
            QCOMPARE(wire(), "0w=0 " + QString(written) + " 23r 24r 25r 26r 0w=0 10w=-1");
            QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 5000);
            sensor->clearRequests();
            a().stop();
            QTest::qWait(300);
            QCOMPARE(wire(), "0w=0 10w=0" + QString(readBack));
        }

        sensor->clearRequests();
        a().writeFlashAct()->trigger();
        QCOMPARE(fx->shown() + wire(),
                 "1|Lumo|The sensor setting is successfully written into sensor.33w=0 45w=0");
        a().disconnectAct()->trigger();
        QCOMPARE(a().state(), QString("Disconnected|red| connect saveImage"));
        QVERIFY(a().sensorConnected() == 0 && a().params().firmwareVersion == 0);

        sensor->setProductText("[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=1\n"
                               "TARGET_ANGLE=90\nANGLE_TOL_NEG=1.5\nANGLE_TOL_POS=2.5\n\n[JOB_0]\n"
                               "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=12\nLINE_ALGO_MODE=0\n"
                               "LINE_FILTER=4\nPHI_MIN=10\nPHI_MAX=80\nROI_COUNT=2\nROI_X_0=-60\n"
                               "ROI_Y_0=300\nROI_X_1=-10\nROI_Y_1=150\n\n[JOB_1]\n"
                               "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=9\nLINE_ALGO_MODE=1\nPHI_MIN=100\n");
        connectNow(); // with the job imported
        QCOMPARE(f.dWProduct->windowTitle(), QString("Product Parameters: ProdPar.tmp"));
        QCOMPARE(controlsText(fx->window.get(), "cBSensorField dsBNominalValue dsBPosTolerance "
                                                "dsBNegTolerance sBLaserPoints1 cBLineAlgo1 "
                                                "dsBPhiFilter1 dsBPhiMin2"),
                 QString("cBSensorField=1 dsBNominalValue=90[0,180] dsBPosTolerance=2.5[0,180] "
                         "dsBNegTolerance=1.5[0,180] sBLaserPoints1=12[2,1000] cBLineAlgo1=0 "
                         "dsBPhiFilter1=4[0,45] dsBPhiMin2=100[0,180]"));
        QVERIFY(!QFile::exists(fx->dir.filePath("ProdPar.txt.tmp")));
        for (int round = 0; round < 3; ++round) {
            if (round == 2)
                f.dsBNominalValue->setValue(91); // a changed control makes the job pending
            sensor->clearRequests();
            a().capture(modeProduct);
            QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 5000);
            // The job (command 40, its length as the value) goes before the mode (command 9).
            const QString log = wire(), sent = QString::fromStdString(sensor->productText());
            const int at = log.indexOf(QString(" 40w=%1 ").arg(sent.size()));
            QVERIFY2(
                round == 1
                    ? !log.contains(" 40w=")
                    : at > 0 && !log.left(at).contains(QRegularExpression(" 9[rw]")) &&
                          sent.contains(round ? "\nTARGET_ANGLE=91\n" : "\nTARGET_ANGLE=90\n") &&
                          sent.contains("\n[JOB_1]\nPRODUCT_TYPE=1\nMIN_NR_LPOINTS=9\n") &&
                          sent.contains("\nROI_X_0=-60\nROI_Y_0=300\nROI_X_1=-10\nROI_Y_1=150\n"),
                qPrintable(log));
            a().framesArrive(2);
            a().stop();
        }

        sensor->injectReplyFault(sim::ReplyFault::WrongCommand, 0, {}, 2);
        a().writeFlashAct()->trigger();
        QCOMPARE(fx->shown(), "0|Lumo|Error in writing sensor settings into sensor!");
    }

    // With "Record every profile" the file holds each of 4000 profiles as sent. Recordings go to
    // timestamped files in the data directory; the window closed while recording keeps its file.
    void recording()
    {
        constexpr int frames = 4000, points = 1280;
        sim::Options options;
        options.rate = 2000.0;
        startAll(options);
        connectNow();
        a().fullRateBox()->setChecked(true);
        a().fullRateCount()->setValue(0);        // until stop
        a().form().sBNBRLines->setValue(frames); // the sensor sends this many, then stops
        const uint64_t sentBefore = sensor->framesSent();
        a().capture(modeMm, a().recordAct());
        QTRY_VERIFY_WITH_TIMEOUT(
            sensor->framesSent() - sentBefore == frames && !sensor->isStreaming(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(
            a().recordStatus()->text().startsWith(QString("Recorded %1 profiles, ").arg(frames)),
            20000);
        a().stop();
        const QStringList files = QDir(a().dataDir()).entryList({"profile_*.txt"});
        QVERIFY(fx->dialogs.empty() && files.size() == 1 && files[0].startsWith("profile_mm_") &&
                a().recording() == 0 && !a().recordFile().isOpen());
        QVERIFY(QSettings(fx->iniPath(), QSettings::IniFormat)
                    .value("Preferences/RecordEveryProfile") == "1");

        // What the simulator sent: point-profile frames of its ring, index 0 first; points
        // outside the field of view are recorded as 0.
        sim::StreamConfig config;
        config.mode = 4, config.points = points;
        sim::FrameRing ring;
        ring.configure(config);
        const QList<QByteArray> lines = fileBytes(a().dataDir() + "/" + files[0]).split('\n');
        QVERIFY(lines.size() == frames * points + 1 && lines.last().isEmpty());
        std::vector<uint8_t> frame;
        for (int line = 0; line < frames * points; ++line) {
            const int index = line / points, point = line % points;
            if (point == 0)
                frame.clear(), ring.append(uint64_t(index), frame);
            float sent[2];
            std::memcpy(sent, frame.data() + 20 + 8 * point, sizeof sent);
            const double wx = sent[0] >= -255.0f && sent[0] <= 261.0f ? sent[0] : 0.0;
            const double wz = sent[1] >= 58.0f && sent[1] <= 549.0f ? sent[1] : 0.0;
            double x = 0, z = 0;
            int got = -1;
            if (std::sscanf(lines[line].constData(), "%lf; %d; %lf;\r", &x, &got, &z) != 3 ||
                got != index || qAbs(x - wx) > 0.0005 || qAbs(z - wz) > 0.0005)
                QFAIL(qPrintable(QString("line %1: %2").arg(line).arg(QString(lines[line]))));
        }

        // Closing the window while recording ends the loop first and keeps the file.
        a().fullRateBox()->setChecked(false);
        a().form().sBNBRLines->setValue(-1);
        const QString before = QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
        a().capture(modePixel, a().recordAct());
        const QString after = QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
        const QString name = a().recordFile().fileName(), stamp = name.right(19).left(15);
        QVERIFY2(a().recording() == 1 && a().status() == "Recording..." &&
                     a().recordFile().isOpen() && stamp >= before && stamp <= after &&
                     name == a().dataDir() + "/profile_pixel_" + stamp + ".txt",
                 qPrintable(name));
        a().framesArrive(1);
        fx->window->close();
        fx->close(); // destroys the thread object after its loop has ended
        QVERIFY(QFile::exists(name));
        QTRY_VERIFY_WITH_TIMEOUT(!sensor->isStreaming(), 5000);
    }

    // The chosen entry is the one connected to (port read in base 10); entries that cannot work,
    // a sensor busy with another client, a failed settings read and a silent sensor are told.
    void connectChoicesAndFailures()
    {
        sensor = std::make_unique<sim::SensorSimulator>();
        QVERIFY(sensor->start());
        const QString port = QString::number(sensor->port());
        SensorEntries entries = {{"S1", "127.0.0.1", QString::number(testpeer::closedPort())},
                                 {"S2", "127.0.0.1", port},
                                 {"S3", "127.0.0.1", "0x" + QString::number(sensor->port(), 16)}};
        for (const char* address : {"", "127.0.0", "127.0.0.256", "localhost", "127.0.0.1.1"})
            entries.push_back({QString("S%1").arg(entries.size() + 1), address, port});
        fx = std::make_unique<WindowFixture>(iniFor(entries));
        QTcpSocket other;
        for (int index : {0, 2, 3, 4, 5, 6, 7, 1}) { // the last one busy with another client
            if (index == 1) {
                QTest::qWait(100);
                QCOMPARE(sensor->connectionCount(), 0);
                other.connectToHost(QHostAddress::LocalHost, sensor->port());
                QVERIFY(other.waitForConnected(5000));
            }
            a().sensorCombo()->setCurrentIndex(index);
            a().connectAct()->trigger();
            QCOMPARE(fx->shown() + a().state() + QString::number(a().sensorConnected()),
                     notConnected + "Disconnected|red| connect0");
        }
        QVERIFY(sensor->refusedCount() >= 1);
        other.disconnectFromHost();
        connectNow();
        a().disconnectAct()->trigger();

        sensor->injectReplyFault(sim::ReplyFault::Delay, 0, {}, 3); // the opening exchange passes
        sensor->injectReplyFault(sim::ReplyFault::WrongCommand);
        a().connectAct()->trigger();
        QCOMPARE(fx->shown(), "0|Lumo|Error in reading sensor parameter");
        QVERIFY(a().status() != QString("Connected"));
        a().disconnectAct()->trigger();

        sensor->injectReplyFault(sim::ReplyFault::NeverAnswer, 0, {}, 1000);
        a().connectAct()->trigger(); // returns after the connect time-out
        QVERIFY(fx->shown().endsWith(notConnected) && a().connectAct()->isEnabled());
    }

    // Each mode's frames reach the loader of their kind. Cut frames, a close mid-frame: frames go
    // on where the stream does, the stop ends the loop, a reconnect works (garbage: see
    // linkHealthSession); a stop in a stall. A refused write stops a capture before it starts.
    void framesAndStreamFaults()
    {
        startAll();
        connectNow();
        const std::pair<int, int> kinds[] = {
            {modeImage, 0}, {modeBinary, 0}, {modeMm, 1}, {modeProduct, 2}, {modePixel, 1}};
        for (const auto& [mode, kind] : kinds) {
            const quint64 before[3] = {a().shown(0), a().shown(1), a().shown(2)};
            a().capture(mode);
            a().framesArrive(kind);
            a().stop();
            for (int other = 0; other < 3; ++other)
                QVERIFY(other == kind || a().shown(other) == before[other]);
            QCOMPARE(sensor->parameter(10), 0);
        }
        a().capture(modePixel);
        a().framesArrive(1);
        sensor->injectStreamFault(sim::StreamFault::Truncate, 0, {}, 3);
        a().framesArrive(1, 6);
        sensor->injectStreamFault(sim::StreamFault::CloseMidFrame);
        QTest::qWait(1000);
        const quint64 shown = a().shown(1);
        QTest::qWait(500);
        QCOMPARE(a().shown(1), shown);
        const QString lost = "Connection lost: the sensor closed the connection";
        QTRY_COMPARE_WITH_TIMEOUT(a().state(), lost + "|red| connect saveImage", 15000);
        QCOMPARE(fx->shown(), "0|Lumo|" + lost); // told once
        connectNow();
        a().capture(modePixel);
        a().framesArrive(1);
        sensor->injectStreamFault(sim::StreamFault::Stall, 5000);
        QTest::qWait(600);
        a().stop(); // ends the loop while the sensor is silent
        a().form().sBGainVal->setValue(300);
        sensor->injectReplyFault(sim::ReplyFault::Status, 1, {}, 2);
        a().captureAct()->trigger();
        QCOMPARE(fx->shown(), "0|Lumo|Error in writing sensor parameter");
        QVERIFY(a().acquiring() == 0 && !a().tcpThread()->isRunning() && !sensor->isStreaming());
        QCOMPARE(a().state(), idle);
        sensor->clearRequests();
        a().capture(modePixel);
        QVERIFY((wire() + " ").contains(" 6w=300 ")); // still pending, written again
        a().framesArrive(1);
        a().stop();
    }

    // A sensor streaming through the opening exchange: saturated field of view, bad frames and
    // silence counted while the capture goes on, the stop still reaching it, a restart
    // mid-recording (told once, resumed in a new file), a stop never acknowledged.
    void linkHealthSession()
    {
        sim::Options options;
        options.resyncStopsStream = false;
        options.rate = 400;
        startAll(options);
        options.port = sensor->port();
        VeltrixTestAccess& a = *fx->access;
        connectNow();
        for (auto [command, value] :
             {std::pair{23, 100}, {25, INT32_MAX}, {24, -100}, {26, INT32_MIN}})
            sensor->setParameter(command, value);
        const uint64_t sentBefore = sensor->framesSent();
        a.capture(modePixel);
        QVERIFY(a.params().Xmax == INT32_MAX && a.params().Zmax == INT32_MIN);
        sensor->injectStreamFault(sim::StreamFault::GarbageBetween, 0, "\x07\x01garbage", 40);
        sensor->injectStreamFault(sim::StreamFault::Stall, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(a.w.statusBar()->currentMessage().startsWith("No data"), 15000);
        QVERIFY(a.tcpThread()->isRunning() && a.acquiring());
        a.framesArrive(1); // the stream comes back
        sensor->clearRequests();
        const uint64_t sent = sensor->framesSent() - sentBefore; // it streams on through the stop
        a.stopAct()->trigger();
        QVERIFY(!a.writeFlashAct()->isEnabled()); // not before the loop has ended
        QTRY_VERIFY_WITH_TIMEOUT(!a.tcpThread()->isRunning(), 15000);
        QTRY_VERIFY(a.writeFlashAct()->isEnabled() && a.captureAct()->isEnabled());
        QVERIFY2(wire().count("10w=0") == 1 && !sensor->isStreaming(), qPrintable(wire()));
        const auto m =
            QRegularExpression("^Frames received (\\d+), shown (\\d+), skipped (\\d+), bad (\\d+)$")
                .match(a.healthLabel()->text());
        const quint64 received = m.captured(1).toULongLong(), bad = m.captured(4).toULongLong();
        QVERIFY2(m.hasMatch() && m.captured(2).toULongLong() == a.shown(1) &&
                     received == a.shown(1) + m.captured(3).toULongLong() &&
                     received <= sent + 50 && bad >= 1 && bad <= 40,
                 qPrintable(a.healthLabel()->text()));

        // The sensor goes away mid-recording and comes back on the same port.
        QString seen; // the window when the message is shown
        Dialogs::setResponder([&](const Dialogs::Shown& s) {
            seen += s.text + "|" + a.state() +
                    QString::number(a.sensorConnected() + 2 * a.recordFile().isOpen());
            return s.choice;
        });
        a.recordAct()->trigger();
        const QString file = a.recordFile().fileName();
        QTest::qWait(1100); // recordings are named by the second
        sensor = std::make_unique<sim::SensorSimulator>(options); // the old one is gone first
        QVERIFY(sensor->start());
        QTRY_VERIFY_WITH_TIMEOUT(a.recordFile().isOpen() && a.recordFile().fileName() != file,
                                 15000);
        QVERIFY(a.status() == "Recording..." && QFile::exists(file));
        const QString lost = "Connection lost: the sensor closed the connection";
        QCOMPARE(seen, lost + "|" + lost + "|red| connect saveImage0"); // told once

        sensor->injectReplyFault(sim::ReplyFault::NeverAnswer, 0, {}, 100);
        a.stopAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!a.tcpThread()->isRunning(), 15000);
        QTRY_COMPARE(a.status(), QString("Stop not confirmed: the sensor may still be streaming"));
    }
};

QTEST_MAIN(TestAcquisition)
#include "test_acquisition.moc"
