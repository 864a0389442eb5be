// The profile plot end to end: points and recorded bytes of profiles and angle results, the
// remembered axes per unit, ROI training with the mouse, and the angle judged on the sensor's
// measurement (the simulator's groove).
#include "files/productfile.h"
#include "simulator/framering.h"
#include "windowfixture.h"

#include <QRegularExpression>
#include <cstring>

namespace {
constexpr int modeProfileMm = 1, modePixel = 2, modeProduct = 4;
const QString green = "background-color: rgb(90, 255, 90);";
const QString red = "background-color: rgb(255, 90, 90);";

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The recorded lines of the profiles the simulator can send in mm mode, frame number 0.
QStringList simulatorProfiles()
{
    sim::StreamConfig config;
    config.mode = 4;
    sim::FrameRing ring;
    ring.configure(config);
    QStringList profiles;
    for (uint64_t k = 0; k < ring.size(); ++k) {
        std::vector<uint8_t> frame;
        ring.append(k, frame);
        QString text;
        for (size_t at = 20; at + 8 <= frame.size(); at += 8) {
            float xz[2];
            std::memcpy(xz, frame.data() + at, sizeof xz);
            text += QString::asprintf("%.3f; 0; %.3f;\r\n", double(xz[0]), double(xz[1]));
        }
        profiles << text;
    }
    return profiles;
}

// Slope dz/dx of a fitted line on the plot.
double slope(QCPItemStraightLine* line)
{
    const QPointF a = line->point1->coords(), b = line->point2->coords();
    return (b.y() - a.y()) / (b.x() - a.x());
}
} // namespace

class TestProfilePlot : public QObject
{
    Q_OBJECT

    std::unique_ptr<sim::SensorSimulator> sensor;
    std::unique_ptr<WindowFixture> fx;
    VeltrixTestAccess& a() { return *fx->access; }

    void start()
    {
        sim::Options options;
        options.rate = 50.0;
        sensor = std::make_unique<sim::SensorSimulator>(options);
        QVERIFY(sensor->start());
        fx = std::make_unique<WindowFixture>(std::vector<std::tuple<QString, QString, int>>{
            {"Simulator", "127.0.0.1", sensor->port()}});
        a().connectAct()->trigger();
        QCOMPARE(a().status(), QString("Connected"));
    }
    void run(int modeIndex, QAction* action)
    {
        a().form().cBSensorMode->setCurrentIndex(modeIndex);
        action->trigger();
        QVERIFY(a().acquiring());
    }
    void stop()
    {
        a().stopAct()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(a().captureAct()->isEnabled(), 10000);
    }
    // Drags on the plot from one plot point to another with the left button.
    void drag(QPointF from, QPointF to)
    {
        QCustomPlot* plot = a().plot();
        const auto px = [plot](QPointF p) {
            return QPoint(int(plot->xAxis->coordToPixel(p.x())),
                          int(plot->yAxis->coordToPixel(p.y())));
        };
        QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, px(from));
        QTest::mouseMove(plot, (px(from) + px(to)) / 2);
        QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, px(to));
    }

private slots:
    void cleanup()
    {
        fx.reset();
        sensor.reset();
    }

    // Field of view, sixteenths, negative z, the frame limit, a profile without points and a
    // result text with line breaks, through the graph and the bytes of the recording.
    void pointsAndRecordedBytes()
    {
        fx = std::make_unique<WindowFixture>();
        SensorParameters& p = a().params();
        p.Xmin = -255, p.Xmax = 261, p.Zmin = 58, p.Zmax = 549;
        const QString path = fx->dir.filePath("rec.txt");
        a().beginRecording(path, 4);
        p.MODE = 4;
        a().loadProfile({}, {}, {300.0f, 10.0f, -255.0f}, {100.0f, 600.0f, 58.0f}, false);
        QCPGraphDataContainer& shown = *a().plot()->graph(0)->data();
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown.at(1)->key, 0.0);
        QCOMPARE(shown.at(1)->value, 100.0);
        a().loadProfile({}, {}, {}, {}, true);
        p.MODE = 2;
        a().loadProfile({5, 6}, {80, -1}, {}, {}, true);
        QCOMPARE(shown.at(0)->value, 5.0);
        QCOMPARE(shown.at(1)->value, 0.0);
        p.MODE = 9;
        a().loadProduct({1.0f}, {100.5f}, "Phi=1\r\nCx=2\n");
        QCOMPARE(a().form().lineEdit->text(), QString("Error"));
        QCOMPARE(a().form().lineEdit->styleSheet(), red);
        p.MODE = 2;
        a().loadProfile({7}, {16}, {}, {}, true); // beyond the limit: shown, not written
        QCOMPARE(shown.at(0)->value, 1.0);
        QCOMPARE(readAll(path), QByteArray("0.000; 0; 100.000;\r\n10.000; 0; 0.000;\r\n"
                                           "-255.000; 0; 58.000;\r\n5.000; 2; 5.000;\r\n"
                                           "6.000; 2; 0.000;\r\n1.000; 3; 100.500;\r\n"
                                           "Phi=1  Cx=2 \r\n"));
        QCOMPARE(fx->window->statusBar()->currentMessage(), QString("10.0 FPS"));
    }

    // A recording of 3 simulator profiles, and the axes remembered per unit at stop.
    void recordingAndRememberedAxes()
    {
        start();
        run(modePixel, a().captureAct());
        QTRY_VERIFY_WITH_TIMEOUT(a().shown(1) >= 2, 20000);
        stop();
        const QCPRange x = a().plot()->xAxis->range(), z = a().plot()->yAxis->range();
        QVERIFY(x.size() > 1000); // fitted to 1280 pixels and widened
        QCOMPARE(std::vector<double>(a().storedRanges(), a().storedRanges() + 8),
                 std::vector<double>({x.lower, x.upper, z.lower, z.upper, 0, 0, 0, 0}));

        a().form().sBMaxNoProfileSave->setValue(3);
        run(modeProfileMm, a().recordAct());
        QCOMPARE(a().plot()->xAxis->label(), QString("x position in mm"));
        QTRY_VERIFY_WITH_TIMEOUT(a().recordedFrameCount() == 3 && a().shown(1) >= 5, 20000);
        const QString path = a().recordFile().fileName();
        stop();
        const double* mm = a().storedRanges() + 4;
        QCOMPARE(QCPRange(mm[0], mm[1]), a().plot()->xAxis->range());
        QCOMPARE(QCPRange(mm[2], mm[3]), a().plot()->yAxis->range());

        const QString text = QString::fromLatin1(readAll(path));
        const QStringList profiles = simulatorProfiles();
        QString expected;
        for (int frame = 0; frame < 3; ++frame) {
            const int lines = frame * 1280;
            const QString block = text.section("\r\n", lines, lines + 1279) + "\r\n";
            const QString asFrame0 = QString(block).replace(QString("; %1; ").arg(frame), "; 0; ");
            QVERIFY2(profiles.contains(asFrame0), qPrintable(block.left(80)));
            expected += block;
        }
        QCOMPARE(text, expected);

        a().plot()->xAxis->setRange(1, 2);
        run(modePixel, a().captureAct());
        QCOMPARE(a().plot()->xAxis->range(), x);
        QCOMPARE(a().plot()->yAxis->range(), z);
        stop();
    }

    // Both regions drawn on the flanks, the job sent, the angle judged, a product recording.
    void trainedRegionsAndAngles()
    {
        start();
        a().form().tWDisplay->setCurrentIndex(1);
        QCustomPlot* plot = a().plot();
        plot->xAxis->setRange(-255, 261);
        plot->yAxis->setRange(0, 600);
        plot->replot();
        QTest::mouseClick(a().form().pBACTrainROI1, Qt::LeftButton);
        QCOMPARE(int(plot->axisRect()->rangeDrag()), 0);
        drag({-20, 213}, {-80, 398}); // lower right to upper left
        QTest::mouseClick(a().form().pBACTrainROI2, Qt::LeftButton);
        drag({26, 398}, {86, 213});
        QCOMPARE(plot->axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(a().roiTrainingState(), 3);
        QCOMPARE(a().productPending(), 1);
        const ProductJob& roi1 = a().product().job[0];
        QVERIFY(roi1.ROI_X_0 > roi1.ROI_X_1 && roi1.ROI_Y_0 < roi1.ROI_Y_1);
        QCOMPARE(roi1.ROI_X_0,
                 float(plot->xAxis->pixelToCoord(int(plot->xAxis->coordToPixel(-20)))));
        QCOMPARE(a().product().job[1].ROI_Y_1,
                 float(plot->yAxis->pixelToCoord(int(plot->yAxis->coordToPixel(213)))));

        sensor->clearRequests();
        run(modeProduct, a().captureAct());
        const auto undated = [](QString t) {
            return t.remove(QRegularExpression("(Date|Time)=[^\n]*\n"));
        };
        const std::vector<sim::Request> sent = sensor->requests();
        const auto job = std::find_if(sent.begin(), sent.end(),
                                      [](const sim::Request& r) { return r.command == 40; });
        QVERIFY(job != sent.end());
        QCOMPARE(undated(QString::fromStdString(job->text)),
                 undated(buildProductText(a().product(), QDateTime::currentDateTime())));
        QTRY_COMPARE_WITH_TIMEOUT(a().form().lineEdit->styleSheet(), green, 20000);
        QVERIFY(
            QRegularExpression("^ 9[01]\\.\\d\\d$").match(a().form().lineEdit->text()).hasMatch());
        QVERIFY(qAbs(slope(a().roiLine(0)) - 1.0) < 0.05);
        QVERIFY(qAbs(slope(a().roiLine(1)) + 1.0) < 0.05);
        stop();

        sensor->setGroove(95.0);
        a().form().sBMaxNoProfileSave->setValue(2);
        run(modeProduct, a().recordAct());
        QTRY_COMPARE_WITH_TIMEOUT(a().form().lineEdit->styleSheet(), red, 20000);
        QVERIFY(a().form().lineEdit->text().startsWith(" 9"));
        QTRY_VERIFY_WITH_TIMEOUT(a().recordedFrameCount() == 2, 20000);
        const QString path = a().recordFile().fileName();
        stop();
        const QStringList lines = QString::fromLatin1(readAll(path)).split("\r\n");
        QCOMPARE(lines.size(), 2 * 1281 + 1);
        const QRegularExpression point("^-?\\d+\\.\\d{3}; (\\d); -?\\d+\\.\\d{3};$");
        for (int i = 0; i < 2 * 1281; ++i) {
            const int frame = i / 1281;
            if (i % 1281 == 1280)
                QVERIFY2(lines[i].startsWith("Phi=") && lines[i].contains("DiffAngle="),
                         qPrintable(lines[i]));
            else
                QCOMPARE(point.match(lines[i]).captured(1), QString::number(frame));
        }

        a().loadProduct({0.0f}, {100.0f}, "no measurement");
        QCOMPARE(a().form().lineEdit->text(), QString("Error"));
        QCOMPARE(a().form().lineEdit->styleSheet(), red);
        QCOMPARE(a().roiLine(0)->point1->coords(), QPointF(0, 0));
        QCOMPARE(a().roiLine(1)->point2->coords(), QPointF(0, 0));
    }
};

QTEST_MAIN(TestProfilePlot)
#include "test_profile_plot.moc"
