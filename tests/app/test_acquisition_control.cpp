// The window's connection and acquisition control against the simulator: requests on the wire,
// frames reaching the window, actions, status line, recording files and stopping.
#include "windowfixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <algorithm>

namespace {
constexpr int modeImage = 0, modeProfileMm = 1, modePixel = 2, modeBinary = 3, modeProduct = 4;

// Frame rate shown in the status bar ("%1 FPS").
double shownRate(Veltrix& window)
{
    const QString message = window.statusBar()->currentMessage();
    QRegularExpressionMatch m = QRegularExpression("^([0-9.]+) FPS$").match(message);
    return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}
} // namespace

class TestAcquisitionControl : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<sim::SensorSimulator> sensor;
    std::unique_ptr<WindowFixture> fx;

    VeltrixTestAccess& a() { return *fx->access; }

    void startAll(double rate = 100.0)
    {
        sim::Options options;
        options.rate = rate;
        sensor = std::make_unique<sim::SensorSimulator>(options);
        QVERIFY(sensor->start());
        fx = std::make_unique<WindowFixture>(std::vector<std::tuple<QString, QString, int>>{
            {"Simulator", "127.0.0.1", sensor->port()}});
    }

    void connectNow()
    {
        a().connectAct()->trigger();
        QCOMPARE(a().status(), QString("Connected"));
        QCOMPARE(a().sensorConnected(), 1);
    }

    void stopAndWait()
    {
        a().stopAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!a().thread()->isRunning(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(a().captureAct()->isEnabled(), 1000);
    }

private slots:
    void cleanup()
    {
        fx.reset();
        sensor.reset();
    }

    void connectSendsTheSpecifiedConversation()
    {
        startAll();
        sensor->setParameter(8, 2); // TRIGGER
        sensor->setParameter(9, 1); // MODE
        sensor->setParameter(10, 0);
        connectNow();

        std::vector<Wire> expected = {{0, 0, 0}, {27, 1, 0}, {0, 0, 0}};
        for (int command : settingsReadOrder)
            expected.push_back({uint32_t(command), 1, 0});
        expected.insert(expected.end(), {{41, 1, 0},
                                         {0, 0, 0},
                                         {8, 0, 0},
                                         {9, 0, 4},
                                         {10, 0, 1},
                                         {0, 0, 0},
                                         {10, 0, 0},
                                         {8, 0, 2}});
        const std::vector<Wire> wire = wireOf(sensor->requests());
        QVERIFY2(wire == expected, qPrintable("got " + describe(wire)));

        // Sequence numbers restart at 1 with every opening exchange and count up from there.
        const std::vector<sim::Request> requests = sensor->requests();
        QCOMPARE(requests[1].sequence, 2u);
        QCOMPARE(requests[3].sequence, 2u);
        QCOMPARE(requests[4].sequence, 3u);

        QCOMPARE(a().params().TRIGGER, 2);
        QCOMPARE(a().params().firmwareVersion, 12);
        QVERIFY(!a().connectAct()->isEnabled());
        QVERIFY(a().disconnectAct()->isEnabled());
        QVERIFY(a().captureAct()->isEnabled());
        QVERIFY(a().recordAct()->isEnabled());
        QVERIFY(!a().stopAct()->isEnabled());
        QVERIFY(a().writeFlashAct()->isEnabled());
        QCOMPARE(a().statusStyle(), QString("background-color: green"));
        QVERIFY(!sensor->isStreaming());
    }

    void captureDeliversFramesInEveryMode_data()
    {
        QTest::addColumn<int>("modeIndex");
        QTest::addColumn<int>("slot"); // 0 loadImage, 1 loadProfile, 2 loadProduct
        QTest::newRow("sensor image") << modeImage << 0;
        QTest::newRow("binary image") << modeBinary << 0;
        QTest::newRow("profile pixel") << modePixel << 1;
        QTest::newRow("profile mm") << modeProfileMm << 1;
        QTest::newRow("product angle") << modeProduct << 2;
    }

    void captureDeliversFramesInEveryMode()
    {
        QFETCH(int, modeIndex);
        QFETCH(int, slot);
        startAll(100.0);
        connectNow();
        a().form().cBSensorMode->setCurrentIndex(modeIndex);
        a().captureAct()->trigger();
        QCOMPARE(a().acquiring(), 1);
        QCOMPARE(a().status(), QString("Capturing..."));
        QVERIFY(a().stopAct()->isEnabled());
        QVERIFY(!a().captureAct()->isEnabled());
        QVERIFY(!a().disconnectAct()->isEnabled());
        QVERIFY(!a().form().sBGainVal->isEnabled());

        // Let the frame rate settle (it is computed over 2 s), then count for 3 s.
        QTest::qWait(1500);
        const quint64 before = a().shown(slot);
        QTest::qWait(3000);
        const quint64 during = a().shown(slot) - before;
        QVERIFY2(during >= 15 && during <= 40, qPrintable(QString("%1 frames in 3 s").arg(during)));
        for (int other = 0; other < 3; ++other)
            if (other != slot)
                QCOMPARE(a().shown(other), quint64(0));
        if (slot != 0) {
            const double rate = shownRate(*fx->window);
            QVERIFY2(rate > 80.0 && rate < 120.0, qPrintable(QString("rate %1").arg(rate)));
        }
        stopAndWait();
        QCOMPARE(sensor->parameter(10), 0);
    }

    void stopEndsTheStreamAndRecaptureSendsOnlyWhatChanged()
    {
        startAll(100.0);
        connectNow();
        a().form().cBSensorMode->setCurrentIndex(modePixel);
        a().captureAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 2000);
        QTest::qWait(500);

        QElapsedTimer clock;
        clock.start();
        a().stopAct()->trigger();
        QCOMPARE(a().acquiring(), 0);
        QCOMPARE(a().status(), QString("Connected"));
        QVERIFY(!a().stopAct()->isEnabled());
        QVERIFY(a().saveImageAct()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!sensor->isStreaming(), 3000);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString("%1 ms").arg(clock.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(a().thread()->isLoopFinished(), 3000);
        QCOMPARE(sensor->parameter(10), 0);
        QTRY_VERIFY_WITH_TIMEOUT(a().captureAct()->isEnabled(), 3000);
        QVERIFY(a().disconnectAct()->isEnabled());
        QVERIFY(a().form().sBGainVal->isEnabled());

        sensor->clearRequests();
        a().captureAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 2000);
        const std::vector<Wire> expected = {{23, 1, 0}, {24, 1, 0}, {25, 1, 0},
                                            {26, 1, 0}, {0, 0, 0},  {10, 0, -1}};
        const std::vector<Wire> wire = wireOf(sensor->requests());
        QVERIFY2(wire == expected, qPrintable("got " + describe(wire)));
        stopAndWait();
    }

    void changedSettingsAreWrittenBeforeCapture()
    {
        startAll(100.0);
        connectNow();
        a().captureAct()->trigger(); // writes what start-up shows differently from the sensor
        stopAndWait();
        sensor->clearRequests();

        a().form().sBGainVal->setValue(200);
        a().form().cBTriggerMode->setCurrentIndex(2); // "Auto Trigger": TRIGGER -1
        a().captureAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 2000);
        const std::vector<Wire> wire = wireOf(sensor->requests());
        const std::vector<Wire> expected = {{0, 0, 0},  {6, 0, 200}, {8, 0, -1},
                                            {23, 1, 0}, {24, 1, 0},  {25, 1, 0},
                                            {26, 1, 0}, {0, 0, 0},   {10, 0, -1}};
        QVERIFY2(wire == expected, qPrintable("got " + describe(wire)));
        QCOMPARE(sensor->parameter(6), 200);
        QCOMPARE(a().params().GAINVAL, 200);

        // With an automatic trigger the stop reads the trigger error back once the loop ended.
        sensor->setParameter(32, 7);
        a().stopAct()->trigger();
        QVERIFY(a().thread()->isLoopFinished());
        QCOMPARE(a().params().AutoTriggerError, 7);
        QCOMPARE(a().form().lEAutoTriggerError->text(), QString("7"));
        QCOMPARE(wireOf(sensor->requests()).back(), (Wire{32, 1, 0}));
    }

    void theSensorsJobIsImportedAndSentBeforeProductMode()
    {
        startAll(100.0);
        sensor->setProductText("[FileInfo]\nDate=x\nTime=y\n\n[ProductInfo]\n"
                               "Function=AngleCalculation\nSENSOR_ROI=1\nTARGET_ANGLE=90\n"
                               "ANGLE_TOL_NEG=1.5\nANGLE_TOL_POS=2.5\n\n[JOB_0]\nPRODUCT_TYPE=1\n"
                               "MIN_NR_LPOINTS=12\nLINE_ALGO_MODE=0\nLINE_FILTER=4\nPHI_MIN=10\n"
                               "PHI_MAX=80\nROI_COUNT=2\nROI_X_0=-60\nROI_Y_0=300\nROI_X_1=-10\n"
                               "ROI_Y_1=150\n\n[JOB_1]\nPRODUCT_TYPE=1\nMIN_NR_LPOINTS=9\n"
                               "LINE_ALGO_MODE=1\nLINE_FILTER=3\nPHI_MIN=100\nPHI_MAX=170\n"
                               "ROI_COUNT=2\nROI_X_0=10\nROI_Y_0=300\nROI_X_1=60\nROI_Y_1=150\n");
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

        // The job goes to the sensor before MODE, once.
        f.cBSensorMode->setCurrentIndex(modeProduct);
        sensor->clearRequests();
        a().captureAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 2000);
        std::vector<sim::Request> requests = sensor->requests();
        auto text = std::find_if(requests.begin(), requests.end(),
                                 [](const sim::Request& r) { return r.command == 40; });
        auto mode = std::find_if(requests.begin(), requests.end(),
                                 [](const sim::Request& r) { return r.command == 9; });
        QVERIFY(text != requests.end());
        QVERIFY(mode != requests.end());
        QVERIFY(text < mode);
        QCOMPARE(text->value, int32_t(text->text.size()));
        const QString sent = QString::fromStdString(text->text);
        QVERIFY(sent.contains("\nTARGET_ANGLE=90\n"));
        QVERIFY(sent.contains("\n[JOB_1]\nPRODUCT_TYPE=1\nMIN_NR_LPOINTS=9\n"));
        QVERIFY(sent.contains("\nROI_X_0=-60\nROI_Y_0=300\nROI_X_1=-10\nROI_Y_1=150\n"));
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(2) > 2, 3000);
        stopAndWait();

        sensor->clearRequests();
        a().captureAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 2000);
        requests = sensor->requests();
        QVERIFY(std::none_of(requests.begin(), requests.end(),
                             [](const sim::Request& r) { return r.command == 40; }));
        stopAndWait();

        // A changed control makes the job pending again.
        f.dsBNominalValue->setValue(91);
        sensor->clearRequests();
        a().captureAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(sensor->isStreaming(), 2000);
        requests = sensor->requests();
        QVERIFY(std::any_of(requests.begin(), requests.end(), [](const sim::Request& r) {
            return r.command == 40 && r.text.find("\nTARGET_ANGLE=91\n") != std::string::npos;
        }));
        stopAndWait();
    }

    void recordingWritesToATimestampedFile()
    {
        startAll(100.0);
        connectNow();
        a().form().cBSensorMode->setCurrentIndex(modePixel);
        const QDateTime started = QDateTime::currentDateTime();
        a().recordAct()->trigger();
        QCOMPARE(a().recording(), 1);
        QCOMPARE(a().status(), QString("Recording..."));
        QVERIFY(a().recordFile().isOpen());
        const QString name = a().recordFile().fileName();
        QCOMPARE(QFileInfo(name).absolutePath(), QFileInfo(a().dataDir()).absoluteFilePath());
        QVERIFY2(QRegularExpression("/profile_pixel_\\d{8}-\\d{6}\\.txt$").match(name).hasMatch(),
                 qPrintable(name));
        const QDateTime stamp = QDateTime::fromString(
            QFileInfo(name).completeBaseName().mid(QString("profile_pixel_").size()),
            "yyyyMMdd-hhmmss");
        QVERIFY(qAbs(stamp.secsTo(started)) <= 1);
        QTest::qWait(500);
        stopAndWait();
        QCOMPARE(a().recording(), 0);
        QVERIFY(!a().recordFile().isOpen());
        QVERIFY(QFile::exists(name));

        a().form().cBSensorMode->setCurrentIndex(modeProfileMm);
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
        QCOMPARE(fx->dialogs.size(), size_t(1));
        QCOMPARE(fx->dialogs.back().kind, Dialogs::Kind::Information);
        QCOMPARE(fx->dialogs.back().title, QString("Lumo"));
        QCOMPARE(fx->lastDialogText(),
                 QString("The sensor setting is successfully written into sensor."));
        const std::vector<Wire> wire = wireOf(sensor->requests());
        QVERIFY2(wire == (std::vector<Wire>{{33, 0, 0}, {45, 0, 0}}), qPrintable(describe(wire)));

        a().disconnectAct()->trigger();
        QCOMPARE(a().status(), QString("Disconnected"));
        QCOMPARE(a().statusStyle(), QString("background-color: red"));
        QCOMPARE(a().sensorConnected(), 0);
        QCOMPARE(a().params().firmwareVersion, 0);
        QVERIFY(a().connectAct()->isEnabled());
        QVERIFY(!a().disconnectAct()->isEnabled());
        QVERIFY(!a().captureAct()->isEnabled());
        QVERIFY(!a().writeFlashAct()->isEnabled());

        // And back again.
        connectNow();
    }

    void badAddressesFailWithoutConnecting_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << "";
        QTest::newRow("three numbers") << "127.0.0";
        QTest::newRow("out of range") << "127.0.0.256";
        QTest::newRow("name") << "localhost";
        QTest::newRow("five numbers") << "127.0.0.1.1";
    }

    void badAddressesFailWithoutConnecting()
    {
        QFETCH(QString, address);
        sensor = std::make_unique<sim::SensorSimulator>();
        QVERIFY(sensor->start());
        fx = std::make_unique<WindowFixture>(
            std::vector<std::tuple<QString, QString, int>>{{"Broken", address, sensor->port()}});
        a().connectAct()->trigger();
        QCOMPARE(fx->lastDialogText(), QString("The connection is not successful!"));
        QCOMPARE(fx->dialogs.back().kind, Dialogs::Kind::Critical);
        QCOMPARE(a().sensorConnected(), 0);
        QVERIFY(a().connectAct()->isEnabled());
        QVERIFY(!a().captureAct()->isEnabled());
        QCOMPARE(a().status(), QString("Disconnected"));
        QTest::qWait(100);
        QCOMPARE(sensor->connectionCount(), 0);
    }
};

QTEST_MAIN(TestAcquisitionControl)
#include "test_acquisition_control.moc"
