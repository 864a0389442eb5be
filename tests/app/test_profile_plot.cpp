// The profile plot end to end: points and recorded bytes of profiles and angle results, the
// remembered axes per unit, ROI training with the mouse, and the angle judged on the sensor's
// measurement (the simulator's groove).
#include "files/productfile.h"
#include "windowfixture.h"

namespace {
const QString green = "background-color: rgb(90, 255, 90);";
const QString red = "background-color: rgb(255, 90, 90);";
} // namespace

class TestProfilePlot : public QObject
{
    Q_OBJECT

private slots:
    // Field of view, sixteenths, negative z, the frame limit, a profile without points and a
    // result text with line breaks, through the graph and the bytes of the recording.
    void pointsAndRecordedBytes()
    {
        WindowFixture fx;
        VeltrixTestAccess& a = *fx.access;
        SensorParameters& p = a.params();
        p.Xmin = -255, p.Xmax = 261, p.Zmin = 58, p.Zmax = 549;
        a.beginRecording(fx.dir.filePath("rec.txt"), 4);
        p.MODE = 4;
        a.loadProfile({}, {}, {300.0f, 10.0f, -255.0f}, {100.0f, 600.0f, 58.0f}, false);
        QCPGraphDataContainer& shown = *a.plot()->graph(0)->data();
        QCOMPARE(QPointF(shown.at(1)->key, shown.at(1)->value), QPointF(0.0, 100.0));
        a.loadProfile({}, {}, {}, {}, true);
        p.MODE = 2;
        a.loadProfile({5, 6}, {80, -1}, {}, {}, true);
        QCOMPARE(QPointF(shown.at(0)->value, shown.at(1)->value), QPointF(5.0, 0.0));
        p.MODE = 9;
        a.form().dsBNominalValue->setValue(45), a.form().dsBNegTolerance->setValue(0.5);
        a.loadProduct({1.0f}, {100.5f},
                      "Phi=1Cx=0Cy=1B=9\r\nError=0Phi=2Cx=0Cy=1B=9Error=0\nDiffAngle=44.5");
        p.MODE = 2;
        a.loadProfile({7}, {16}, {}, {}, true); // beyond the limit: shown, not written
        QCOMPARE(a.form().lineEdit->text() + a.form().lineEdit->styleSheet() +
                     QString::number(shown.at(0)->value),
                 " 44.50" + green + "1");
        QCOMPARE(QString(fileBytes(fx.dir.filePath("rec.txt"))),
                 QString("0.000; 0; 100.000;\r\n10.000; 0; 0.000;\r\n-255.000; 0; 58.000;\r\n"
                         "5.000; 2; 5.000;\r\n6.000; 2; 0.000;\r\n1.000; 3; 100.500;\r\n"
                         "Phi=1Cx=0Cy=1B=9  Error=0Phi=2Cx=0Cy=1B=9Error=0 DiffAngle=44.5\r\n"));
    }

    // A recording of 3 simulator profiles, the axes remembered per unit at stop, the regions
    // trained with the mouse on the flanks and the angles measured on them, recorded.
    void simulatorEndToEnd()
    {
        sim::Options options;
        options.rate = 50.0;
        sim::SensorSimulator sensor(options);
        QVERIFY(sensor.start());
        WindowFixture fx(sensor.port());
        VeltrixTestAccess& a = *fx.access;
        QCustomPlot* plot = a.plot();
        a.connectAct()->trigger();
        a.capture(2); // pixels
        a.framesArrive(1, 2);
        a.stop();
        const QCPRange x = plot->xAxis->range(), z = plot->yAxis->range();
        QVERIFY(x.size() > 1000); // fitted to 1280 pixels and widened
        QCOMPARE(std::vector<double>(a.storedRanges(), a.storedRanges() + 8),
                 std::vector<double>({x.lower, x.upper, z.lower, z.upper, 0, 0, 0, 0}));

        a.form().sBMaxNoProfileSave->setValue(3);
        a.capture(1, a.recordAct()); // mm
        QCOMPARE(plot->xAxis->label(), QString("x position in mm"));
        QTRY_VERIFY_WITH_TIMEOUT(a.recordedFrameCount() == 3 && a.shown(1) >= 5, 20000);
        a.stop();
        const double* mm = a.storedRanges() + 4;
        QVERIFY(QCPRange(mm[0], mm[1]) == plot->xAxis->range() &&
                QCPRange(mm[2], mm[3]) == plot->yAxis->range());
        const QRegularExpression point("-?\\d+\\.\\d{3}; (\\d); -?\\d+\\.\\d{3};\r\n");
        QCOMPARE(
            QString(fileBytes(a.recordFile().fileName())).replace(point, "P\\1"), // first 3 frames
            QString("P0").repeated(1280) + QString("P1").repeated(1280) +
                QString("P2").repeated(1280));

        plot->xAxis->setRange(1, 2);
        a.capture(2);
        QVERIFY(plot->xAxis->range() == x && plot->yAxis->range() == z);
        a.stop();

        a.form().tWDisplay->setCurrentIndex(1);
        plot->xAxis->setRange(-255, 261);
        plot->yAxis->setRange(0, 600);
        plot->replot();
        const auto px = [plot](QPointF p) {
            return QPoint(int(plot->xAxis->coordToPixel(p.x())),
                          int(plot->yAxis->coordToPixel(p.y())));
        };
        const auto drag = [&](QPushButton* button, QPointF from, QPointF to) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(int(plot->axisRect()->rangeDrag()), 0);
            QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, px(from));
            QTest::mouseMove(plot, (px(from) + px(to)) / 2);
            QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, px(to));
        };
        drag(a.form().pBACTrainROI1, {-20, 213}, {-80, 398}); // lower right to upper left
        drag(a.form().pBACTrainROI2, {26, 398}, {86, 213});
        QCOMPARE(plot->axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        const ProductJob& roi1 = a.product().job[0];
        QVERIFY(a.roiTrainingState() == 3 && a.productPending());
        QVERIFY(roi1.ROI_X_0 > roi1.ROI_X_1 && roi1.ROI_Y_0 < roi1.ROI_Y_1); // as dragged
        QVERIFY(qAbs(roi1.ROI_X_0 + 20) < 2 && qAbs(a.product().job[1].ROI_Y_1 - 213) < 3);

        a.capture(4); // product angle: the trained job is sent (command 40)
        const auto undated = [](QString t) {
            return t.remove(QRegularExpression("(Date|Time)=[^\n]*\n"));
        };
        QCOMPARE(undated(QString::fromStdString(sensor.productText())),
                 undated(buildProductText(a.product(), QDateTime::currentDateTime())));
        QTRY_COMPARE_WITH_TIMEOUT(a.form().lineEdit->styleSheet(), green, 20000);
        QVERIFY(
            QRegularExpression("^ 9[01]\\.\\d\\d$").match(a.form().lineEdit->text()).hasMatch());
        const auto slope = [&a](int j) {
            const QPointF d = a.roiLine()[j]->point2->coords() - a.roiLine()[j]->point1->coords();
            return d.y() / d.x();
        };
        QVERIFY(qAbs(slope(0) - 1.0) < 0.05 && qAbs(slope(1) + 1.0) < 0.05);
        a.stop();

        sensor.setGroove(95.0);
        a.form().sBMaxNoProfileSave->setValue(2);
        a.capture(4, a.recordAct());
        QTRY_COMPARE_WITH_TIMEOUT(a.form().lineEdit->styleSheet(), red, 20000);
        QVERIFY(a.form().lineEdit->text().startsWith(" 9"));
        QTRY_VERIFY_WITH_TIMEOUT(a.recordedFrameCount() == 2, 20000);
        a.stop();
        const QString product =
            QString(fileBytes(a.recordFile().fileName()))
                .replace(point, "P\\1")
                .replace(QRegularExpression("Phi=[^\r\n]*DiffAngle=[^\r\n]*\r\n"), "R");
        QCOMPARE(product, QString("P0").repeated(1280) + "R" + QString("P1").repeated(1280) + "R");

        a.loadProduct({0.0f}, {100.0f}, "no measurement");
        QCOMPARE(a.form().lineEdit->text() + a.form().lineEdit->styleSheet(), "Error" + red);
        QCOMPARE(a.roiLine()[0]->point1->coords() + a.roiLine()[1]->point2->coords(),
                 QPointF(0, 0));
    }
};

QTEST_MAIN(TestProfilePlot)
#include "test_profile_plot.moc"
