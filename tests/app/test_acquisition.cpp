// The window against the simulated sensor: the whole conversation of connect, capture and stop
// on the wire, frames reaching the window, recording, the job, flash, failures and faults.
#include "scriptedpeer.h"
#include "windowfixture.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <algorithm>

namespace {
constexpr int modeImage = 0, modeMm = 1, modePixel = 2, modeBinary = 3, modeProduct = 4;
const QString notConnected = QStringLiteral("The connection is not successful!");

} // namespace

#define QCOMPARE_WIRE(log, ...)                                                                    \
    do {                                                                                           \
        const std::vector<Wire> got_ = wireOf(log), want_ = __VA_ARGS__;                           \
        QVERIFY2(got_ == want_,                                                                    \
                 qPrintable("got " + describe(got_) + "\nwant " + describe(want_)));               \
    } while (0)

class TestAcquisition : public QObject
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
        fx = std::make_unique<WindowFixture>(
            SensorEntries{{"Simulator", "127.0.0.1", sensor->port()}});
    }
    void connectNow()
    {
        a().connectAct()->trigger();
        QCOMPARE(a().status(), QString("Connected"));
        QCOMPARE(a().sensorConnected(), 1);
    }
    void capture(int modeIndex)
    {
        a().form().cBSensorMode->setCurrentIndex(modeIndex);
        a().captureAct()->trigger();
        QCOMPARE(a().acquiring(), 1);
    }
    void stopAndWait()
    {
        a().stopAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!a().thread()->isRunning(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(a().captureAct()->isEnabled(), 5000);
    }
    void framesArrive(int kind)
    {
        const quint64 before = a().shown(kind);
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(kind) >= before + 3, 15000);
    }

private slots:
    void cleanup()
    {
        fx.reset();
        sensor.reset();
    }

    // Connect, then a capture that writes every control in its order, the write-back of the
    // trigger error, the field of view, MODE and NBR_LINES; the stop reads back the trigger
    // error and, with Auto Exposure, the shutter; later only what changed is written, and a
    // fixed trigger without auto exposure reads nothing back.
    void conversation()
    {
        startAll();
        sensor->setParameter(8, 2);
        sensor->setParameter(9, 1);
        sensor->setParameter(10, 0);
        sensor->setParameter(32, 5);
        connectNow();
        std::vector<Wire> expected = {{0, 0, 0}, {27, 1, 0}, {0, 0, 0}};
        for (int command : {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                            20, 21, 22, 23, 24, 25, 26, 30, 31, 32, 34, 27, 35, 18, 19, 46, 47})
            expected.push_back({uint32_t(command), 1, 0});
        expected.insert(expected.end(), {{41, 1, 0},
                                         {0, 0, 0},
                                         {8, 0, 0},
                                         {9, 0, 4},
                                         {10, 0, 1},
                                         {0, 0, 0},
                                         {10, 0, 0},
                                         {8, 0, 2}});
        QCOMPARE_WIRE(sensor->requests(), expected);
        const std::vector<sim::Request> requests = sensor->requests();
        QCOMPARE(requests[1].sequence, 2u);
        QCOMPARE(requests[3].sequence, 2u);
        QCOMPARE(requests[4].sequence, 3u);
        QCOMPARE(a().params().TRIGGER, 2);
        QCOMPARE(a().params().firmwareVersion, 12);
        QCOMPARE(a().statusStyle(), QString("background-color: green"));
        for (const char* name : {"disconnectAct", "captureAct", "recordAct", "writeFlashAct"})
            QVERIFY2(a().action(name)->isEnabled(), name);
        QVERIFY(!a().connectAct()->isEnabled() && !a().stopAct()->isEnabled());
        QVERIFY(!sensor->isStreaming());

        struct Row
        {
            const char* control;
            int shown;
            uint32_t command;
            int32_t sent;
        };
        const Row rows[] = {
            {"cBLaserMode", 0, 1, 0}, // the sensor powers up with the laser on
            {"sBSearchAreaX", 10, 2, 10},
            {"sBSearchAreaY", 20, 3, 20},
            {"sBSearchAreaDX", 640, 4, 640},
            {"sBSearchAreaDY", 480, 5, 480},
            {"sBGainVal", 200, 6, 200},
            {"sBShutter", 2500, 7, 2500},
            {"cBTriggerMode", 2, 8, -1},
            {"cBLEMethode", 0, 11, 0},
            {"cBAlgorithmMode", 1, 12, 1},
            {"sBLEThreshold", 60, 13, 60},
            {"sBLEMinLaserWidth", 3, 14, 3},
            {"sBLEMaxLaserWidth", 70, 15, 70},
            {"cBExposureMode", 1, 16, 1},
            {"sBLaserValue", 99, 17, 99},
            {"sBDoubleShutter1", 750, 20, 750},
            {"sBDoubleShutter2", 4000, 21, 4000},
            {"cBLEFilter", 0, 22, -2},
            {"sBEthernetLinePckg", 9, 30, 9},
            {"sBAutoTriggerPeriode", 777, 31, 777},
            {"cBEthernetSendMode", 0, 34, 0},
            {"cBSubsample", 2, 35, 2},
            {"sBAutoShutterMin", 100, 18, 100},
            {"sBAutoShutterMax", 3000, 19, 3000},
            {"cBSpeckleFilter", 4, 46, 4},
            {"cBMedianFilter", 3, 47, 3},
        };
        expected = {{0, 0, 0}};
        for (const Row& r : rows) {
            QWidget* w = fx->control(r.control);
            if (auto* combo = qobject_cast<QComboBox*>(w))
                combo->setCurrentIndex(r.shown);
            else
                w->setProperty("value", r.shown);
            expected.push_back({r.command, 0, r.sent});
        }
        expected.insert(expected.end(), {{32, 0, 0},
                                         {23, 1, 0},
                                         {24, 1, 0},
                                         {25, 1, 0},
                                         {26, 1, 0},
                                         {0, 0, 0},
                                         {9, 0, 2},
                                         {10, 0, -1}});
        sensor->clearRequests();
        capture(modePixel);
        QCOMPARE_WIRE(sensor->requests(), expected);
        QCOMPARE(a().params().AutoTriggerError, 0);
        QCOMPARE(a().status(), QString("Capturing..."));
        QVERIFY(a().stopAct()->isEnabled() && !a().captureAct()->isEnabled());
        QVERIFY(!a().disconnectAct()->isEnabled() && !a().form().sBGainVal->isEnabled());
        framesArrive(1);

        sensor->setParameter(32, 9);
        sensor->setParameter(7, 4321);
        sensor->clearRequests();
        a().stopAct()->trigger();
        QCOMPARE(a().acquiring(), 0);
        QCOMPARE(a().status(), QString("Connected"));
        QVERIFY(a().thread()->isLoopFinished());
        QCOMPARE_WIRE(sensor->requests(), {{0, 0, 0}, {10, 0, 0}, {32, 1, 0}, {7, 1, 0}});
        QCOMPARE(a().form().lEAutoTriggerError->text(), QString("9"));
        QCOMPARE(a().form().sBShutter->value(), 4321);
        QVERIFY(!a().stopAct()->isEnabled() && a().saveImageAct()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(a().captureAct()->isEnabled(), 5000);
        QVERIFY(a().disconnectAct()->isEnabled() && a().form().sBGainVal->isEnabled());

        a().form().cBTriggerMode->setCurrentIndex(3);
        a().form().cBExposureMode->setCurrentIndex(0);
        sensor->clearRequests();
        capture(modePixel);
        const std::vector<Wire> changed = {{0, 0, 0},  {8, 0, 0},  {16, 0, 0}, {32, 0, 0},
                                           {23, 1, 0}, {24, 1, 0}, {25, 1, 0}, {26, 1, 0},
                                           {0, 0, 0},  {10, 0, -1}}; // MODE is unchanged
        QCOMPARE_WIRE(sensor->requests(), changed);
        QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 5000);
        sensor->clearRequests();
        stopAndWait();
        QTest::qWait(300);
        QCOMPARE_WIRE(sensor->requests(), {{0, 0, 0}, {10, 0, 0}});
    }

    void framesReachTheWindow_data()
    {
        QTest::addColumn<int>("modeIndex");
        QTest::addColumn<int>("kind"); // 0 loadImage, 1 loadProfile, 2 loadProduct
        QTest::newRow("sensor image") << modeImage << 0;
        QTest::newRow("binary image") << modeBinary << 0;
        QTest::newRow("profile pixel") << modePixel << 1;
        QTest::newRow("profile mm") << modeMm << 1;
        QTest::newRow("product angle") << modeProduct << 2;
    }

    void framesReachTheWindow()
    {
        QFETCH(int, modeIndex);
        QFETCH(int, kind);
        startAll();
        connectNow();
        capture(modeIndex);
        framesArrive(kind);
        for (int other = 0; other < 3; ++other)
            if (other != kind)
                QCOMPARE(a().shown(other), quint64(0));
        if (kind != 0) {
            const QRegularExpressionMatch m = QRegularExpression("^([0-9]+\\.[0-9]) FPS$")
                                                  .match(fx->window->statusBar()->currentMessage());
            QVERIFY(m.hasMatch() && m.captured(1).toDouble() < 150.0);
        }
        stopAndWait();
        QCOMPARE(sensor->parameter(10), 0);
    }

    void jobImportedAndSentBeforeProductMode()
    {
        startAll();
        sensor->setProductText("[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=1\n"
                               "TARGET_ANGLE=90\nANGLE_TOL_NEG=1.5\nANGLE_TOL_POS=2.5\n\n[JOB_0]\n"
                               "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=12\nLINE_ALGO_MODE=0\n"
                               "LINE_FILTER=4\nPHI_MIN=10\nPHI_MAX=80\nROI_COUNT=2\nROI_X_0=-60\n"
                               "ROI_Y_0=300\nROI_X_1=-10\nROI_Y_1=150\n\n[JOB_1]\n"
                               "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=9\nLINE_ALGO_MODE=1\nPHI_MIN=100\n");
        connectNow();
        Ui::Veltrix& f = a().form();
        QCOMPARE(f.dWProduct->windowTitle(), QString("Product Parameters: ProdPar.tmp"));
        QCOMPARE(f.cBSensorField->currentIndex(), 1);
        QCOMPARE(f.dsBNominalValue->value(), 90.0);
        QCOMPARE(f.dsBPosTolerance->value(), 2.5);
        QCOMPARE(f.dsBNegTolerance->value(), 1.5);
        QCOMPARE(f.sBLaserPoints1->value(), 12);
        QCOMPARE(f.cBLineAlgo1->currentIndex(), 0);
        QCOMPARE(f.dsBPhiFilter1->value(), 4.0);
        QCOMPARE(f.dsBPhiMin2->value(), 100.0);
        QVERIFY(!QFile::exists(fx->dir.filePath("ProdPar.txt.tmp")));
        for (int round = 0; round < 3; ++round) {
            if (round == 2)
                f.dsBNominalValue->setValue(91); // a changed control makes the job pending
            sensor->clearRequests();
            capture(modeProduct);
            QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 5000);
            const std::vector<sim::Request> log = sensor->requests();
            auto find = [&](uint32_t c) {
                return std::find_if(log.begin(), log.end(),
                                    [c](auto& r) { return r.command == c; });
            };
            const auto text = find(40);
            QCOMPARE(text != log.end(), round != 1);
            if (round != 1) {
                QVERIFY(text < find(9));
                QCOMPARE(text->value, int32_t(text->text.size()));
                const QString sent = QString::fromStdString(text->text);
                QVERIFY(sent.contains(round ? "\nTARGET_ANGLE=91\n" : "\nTARGET_ANGLE=90\n"));
                QVERIFY(sent.contains("\n[JOB_1]\nPRODUCT_TYPE=1\nMIN_NR_LPOINTS=9\n"));
                QVERIFY(sent.contains("\nROI_X_0=-60\nROI_Y_0=300\nROI_X_1=-10\nROI_Y_1=150\n"));
            }
            framesArrive(2);
            stopAndWait();
        }
    }

    void recordingWritesToATimestampedFile()
    {
        startAll();
        connectNow();
        a().form().cBSensorMode->setCurrentIndex(modePixel);
        const QDateTime started = QDateTime::currentDateTime();
        a().recordAct()->trigger();
        QCOMPARE(a().recording(), 1);
        QCOMPARE(a().status(), QString("Recording..."));
        QVERIFY(a().recordFile().isOpen());
        const QString name = a().recordFile().fileName();
        QCOMPARE(QFileInfo(name).absolutePath(), QFileInfo(a().dataDir()).absoluteFilePath());
        const QRegularExpressionMatch m =
            QRegularExpression("/profile_pixel_(\\d{8}-\\d{6})\\.txt$").match(name);
        QVERIFY2(m.hasMatch(), qPrintable(name));
        QVERIFY(qAbs(QDateTime::fromString(m.captured(1), "yyyyMMdd-hhmmss").secsTo(started)) <= 1);
        framesArrive(1);
        stopAndWait();
        QCOMPARE(a().recording(), 0);
        QVERIFY(!a().recordFile().isOpen() && QFile::exists(name));
        a().form().cBSensorMode->setCurrentIndex(modeMm);
        a().recordAct()->trigger();
        QVERIFY(a().recordFile().fileName().contains("/profile_mm_"));
        stopAndWait();
    }

    void flashAndDisconnect()
    {
        startAll();
        connectNow();
        sensor->clearRequests();
        a().writeFlashAct()->trigger();
        QCOMPARE(fx->onlyDialog(),
                 dialogKey(Dialogs::Kind::Information, "Lumo",
                           "The sensor setting is successfully written into sensor."));
        QCOMPARE_WIRE(sensor->requests(), {{33, 0, 0}, {45, 0, 0}});
        a().disconnectAct()->trigger();
        QCOMPARE(a().status(), QString("Disconnected"));
        QCOMPARE(a().statusStyle(), QString("background-color: red"));
        QCOMPARE(a().sensorConnected(), 0);
        QCOMPARE(a().params().firmwareVersion, 0);
        QVERIFY(a().connectAct()->isEnabled() && !a().disconnectAct()->isEnabled());
        QVERIFY(!a().captureAct()->isEnabled() && !a().writeFlashAct()->isEnabled());
        connectNow();
        fx->dialogs.clear();
        sensor->injectReplyFault(sim::ReplyFault::WrongCommand, 0, {}, 2);
        a().writeFlashAct()->trigger();
        QCOMPARE(fx->onlyDialog(), dialogKey(Dialogs::Kind::Critical, "Lumo",
                                             "Error in writing sensor settings into sensor!"));
    }

    // The entry chosen in the tool bar is the one connected to (the port text read in base
    // 10); entries that cannot be connected fail with a message and reach no sensor.
    void connectChoicesAndFailures()
    {
        sensor = std::make_unique<sim::SensorSimulator>();
        QVERIFY(sensor->start());
        const QByteArray port = QByteArray::number(sensor->port());
        const QList<QByteArray> entries = {"127.0.0.1|" +
                                               QByteArray::number(testpeer::closedPort()),
                                           "127.0.0.1|" + port,
                                           "127.0.0.1|0x" + QByteArray::number(sensor->port(), 16),
                                           "|" + port,
                                           "127.0.0|" + port,
                                           "127.0.0.256|" + port,
                                           "localhost|" + port,
                                           "127.0.0.1.1|" + port};
        QByteArray ini = "[Sensors]\nNumberOfSensors=8\n";
        for (int n = 1; n <= entries.size(); ++n) {
            const QList<QByteArray> parts = entries[n - 1].split('|');
            const QByteArray i = QByteArray::number(n);
            ini += "SensorName" + i + "=S" + i + "\nSensorIP" + i + "=" + parts[0] +
                   "\nSensorPort" + i + "=" + parts[1] + "\n";
        }
        fx = std::make_unique<WindowFixture>(ini, true);
        for (int index : {0, 2, 3, 4, 5, 6, 7}) {
            fx->dialogs.clear();
            a().sensorCombo()->setCurrentIndex(index);
            a().connectAct()->trigger();
            QVERIFY2(fx->onlyDialog() == dialogKey(Dialogs::Kind::Critical, "Lumo", notConnected),
                     qPrintable(QString::number(index)));
            QCOMPARE(a().sensorConnected(), 0);
            QVERIFY(a().connectAct()->isEnabled() && !a().captureAct()->isEnabled());
            QCOMPARE(a().status(), QString("Disconnected"));
        }
        QTest::qWait(100);
        QCOMPARE(sensor->connectionCount(), 0);
        a().sensorCombo()->setCurrentIndex(1);
        connectNow();
        a().disconnectAct()->trigger();

        fx->dialogs.clear();
        sensor->injectReplyFault(sim::ReplyFault::Delay, 0, {},
                                 3); // open and opening exchange pass
        sensor->injectReplyFault(sim::ReplyFault::WrongCommand);
        a().connectAct()->trigger();
        QCOMPARE(fx->onlyDialog(),
                 dialogKey(Dialogs::Kind::Critical, "Lumo", "Error in reading sensor parameter"));
        QVERIFY(a().status() != QString("Connected"));
        a().disconnectAct()->trigger();

        fx->dialogs.clear();
        sensor->injectReplyFault(sim::ReplyFault::NeverAnswer, 0, {}, 1000);
        QElapsedTimer clock;
        clock.start();
        a().connectAct()->trigger();
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(fx->lastDialogText(), notConnected);
        QVERIFY(a().connectAct()->isEnabled());
    }

    // Garbage, cut frames, a stall and a close in the middle of a frame: frames keep coming
    // where the stream goes on, the stop always ends the loop, and connecting again works.
    void streamFaults()
    {
        startAll();
        connectNow();
        capture(modePixel);
        framesArrive(1);
        sensor->injectStreamFault(sim::StreamFault::GarbageBetween, 0,
                                  std::string("\x07\x01\x00garbage", 10), 10);
        framesArrive(1);
        framesArrive(1);
        sensor->injectStreamFault(sim::StreamFault::Truncate, 0, {}, 3);
        framesArrive(1);
        framesArrive(1);
        sensor->injectStreamFault(sim::StreamFault::CloseMidFrame);
        QTest::qWait(1000);
        const quint64 shown = a().shown(1);
        QTest::qWait(500);
        QCOMPARE(a().shown(1), shown);
        stopAndWait();
        QCOMPARE(a().status(), QString("Connected"));
        a().disconnectAct()->trigger();
        connectNow();
        capture(modePixel);
        framesArrive(1);
        sensor->injectStreamFault(sim::StreamFault::Stall, 5000);
        QTest::qWait(600);
        stopAndWait();
        capture(modePixel);
        framesArrive(1);
        stopAndWait();
    }

    void refusedWriteStopsTheCaptureBeforeItStarts()
    {
        startAll();
        connectNow();
        a().form().sBGainVal->setValue(300);
        sensor->injectReplyFault(sim::ReplyFault::Status, 1, {}, 2);
        a().captureAct()->trigger();
        QCOMPARE(fx->onlyDialog(),
                 dialogKey(Dialogs::Kind::Critical, "Lumo", "Error in writing sensor parameter"));
        QCOMPARE(a().acquiring(), 0);
        QVERIFY(!a().thread()->isRunning() && !sensor->isStreaming());
        QVERIFY(a().captureAct()->isEnabled() && !a().stopAct()->isEnabled());
        QCOMPARE(a().status(), QString("Connected"));
        sensor->clearRequests();
        a().captureAct()->trigger();
        QCOMPARE(a().acquiring(), 1);
        const std::vector<sim::Request> log = sensor->requests();
        QVERIFY(std::any_of(log.begin(), log.end(), [](const sim::Request& r) {
            return r.command == 6 && r.direction == 0 && r.value == 300;
        }));
        stopAndWait();
    }

    void closingTheWindowDuringRecording()
    {
        startAll();
        connectNow();
        a().form().cBSensorMode->setCurrentIndex(modePixel);
        a().recordAct()->trigger();
        framesArrive(1);
        const QString name = a().recordFile().fileName();
        fx->window->close();
        fx->close(); // destroys the thread object after its loop has ended
        QVERIFY(QFile::exists(name));
        QTRY_VERIFY_WITH_TIMEOUT(!sensor->isStreaming(), 5000);
    }
};

QTEST_MAIN(TestAcquisition)
#include "test_acquisition.moc"
