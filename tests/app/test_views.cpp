// The views of the window end to end: the profile plot (points and recorded bytes of profiles and
// angle results, the remembered axes per unit, ROI training with the mouse, the angle judged on
// the simulator's groove), the image view with simulator frames and the view commands, the saved
// BMP, the pixel under the mouse, settings files saved, loaded and refused, and the 3D
// view of a recording.
#include "files/productfile.h"
#include "windowfixture.h"

#include <QtDataVisualization>

using namespace QtDataVisualization;

namespace {
const QString green = "background-color: rgb(90, 255, 90);";
const QString red = "background-color: rgb(255, 90, 90);";
// The file-backed controls of the settings panel as one text; with set, each is changed first.
QString controls(QDockWidget* dock, bool set)
{
    QStringList out;
    for (QWidget* box : dock->findChildren<QWidget*>(QRegularExpression("^(sB|cB)")))
        if (!QString("sBNBRLines sBMaxNoProfileSave sBPort cBThemeList cBRecordEveryProfile "
                     "sBRecordProfileCount")
                 .contains(box->objectName())) {
            auto* spin = qobject_cast<QSpinBox*>(box);
            const char* property = spin ? "value" : "currentIndex";
            if (set)
                box->setProperty(property, spin ? spin->maximum() - 1 : 1);
            out << box->objectName() + box->property(property).toString();
        }
    return out.join(' ');
}
} // namespace

class TestViews : public QObject
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

    // An odd-width stream shown unsheared; fit, rate, zoom, pan, gray level, BMP. Then the
    // settings saved and loaded on a fresh window; other files refused.
    void imageViewAndSettingsFiles()
    {
        sim::Options odd;
        odd.rate = 5.0, odd.imageWidth = 641, odd.imageHeight = 479;
        sim::SensorSimulator sensor(odd);
        QVERIFY(sensor.start());
        auto fx = std::make_unique<WindowFixture>(sensor.port());
        QDockWidget* dock = fx->form().dWSettings;
        Veltrix& w = *fx->window;
        CustomView* view = fx->access->form().graphicsView;
        const QString bmp = fx->answer = fx->dir.filePath("shot.bmp");
        QMetaObject::invokeMethod(&w, "saveImage");
        QCOMPARE(fx->shown().section('\n', 1),
                 "0|3D Sensor|The process of saving image is failed.");
        // Runs right after the window's loadImage of the same frame, while the buffer is valid.
        int unmatched = 0;
        QImage shown;
        connect(fx->access->tcpThread(), &TcpThread::ImageReady, &w,
                [&](unsigned char* buffer, int width, int height) {
                    const auto items = view->scene()->items();
                    shown = static_cast<QGraphicsPixmapItem*>(items.at(0))->pixmap().toImage();
                    const QImage sent(buffer, width, height, width, QImage::Format_Grayscale8);
                    unmatched += items.size() != 1 || sent.convertToFormat(shown.format()) != shown;
                });
        fx->access->connectAct()->trigger();
        fx->access->capture(0);
        QTRY_VERIFY_WITH_TIMEOUT(fx->access->shown(0) >= 1, 20000);
        QCOMPARE(w.statusBar()->currentMessage(), QString("0.0 FPS")); // the next comes 2 s later
        QVERIFY(qAbs(view->transform().m11() * 641 - view->viewport()->width()) < 5 &&
                qAbs(view->transform().m22() * 479 - view->viewport()->height()) < 5);
        fx->access->zoomInAct()->trigger();
        const QTransform zoomed = view->transform();
        QTRY_VERIFY_WITH_TIMEOUT(w.statusBar()->currentMessage() != "0.0 FPS", 20000);
        QVERIFY(w.statusBar()->currentMessage().section(' ', 0, 0).toDouble() < 50); // 5 sent
        fx->access->stop();
        QVERIFY(unmatched == 0 && fx->access->shown(0) >= 2 && view->transform() == zoomed);
        // (step, horizontal and vertical scale relative to the fit): zoom out stops at the fit,
        // unchecking the last zoom axis brings both back, the wheel does nothing in pan mode.
        fx->access->fitViewAct()->trigger();
        const QTransform fit = view->transform();
        const std::tuple<QString, double, double> steps[] = {
            {"zoomInAct", 1.15, 1.15}, {"zoomOutAct", 1, 1},     {"zoomOutAct", 1, 1},
            {"zAxisZoomAct", 1, 1},    {"wheel", 1.15, 1},       {"xAxisZoomAct", 1.15, 1},
            {"wheel", 1.3225, 1.15},   {"panAct", 1.3225, 1.15}, {"wheel", 1.3225, 1.15}};
        for (const auto& [step, h, v] : steps) {
            QWheelEvent wheel(QPointF(40, 40), QPointF(), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            if (step == "wheel")
                QApplication::sendEvent(view->viewport(), &wheel);
            else
                fx->access->action(step)->trigger();
            QVERIFY2(qFuzzyCompare(view->transform().m11(), fit.m11() * h) &&
                         qFuzzyCompare(view->transform().m22(), fit.m22() * v),
                     qPrintable(step));
        }
        Ui::Veltrix& f = fx->access->form();
        QVERIFY(f.customPlot->selectedAxes().isEmpty()); // the last wheel zoomed both axes
        view->setTransform(QTransform::fromScale(2, 2)); // the mouse on the last pixel
        QMouseEvent move(QEvent::MouseMove, view->mapFromScene(QPointF(640.5, 478.5)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
        QCOMPARE(f.labelX->text() + f.labelY->text() + "|" + f.labelGraylevel->text(),
                 "640478|" + QString::number(qGray(shown.pixel(640, 478))));
        QMetaObject::invokeMethod(&w, "showGraylevel", Q_ARG(int, -1), Q_ARG(int, 479));
        QCOMPARE(f.labelX->text() + f.labelY->text() + f.labelGraylevel->text(), QString("-1479-"));
        QMetaObject::invokeMethod(&w, "saveImage");
        QCOMPARE(fx->shown().section('\n', 1),
                 "1|3D Sensor|The image has been successfully saved.");
        QVERIFY(QImage(bmp).format() == QImage::Format_Indexed8 &&
                QImage(bmp).convertToFormat(shown.format()) == shown);
        QTemporaryDir files;
        QString answer = fx->answer = files.filePath("line.ini.txt");
        const QString saved = controls(dock, true);
        fx->access->saveSettingsAct()->trigger();
        fx.reset(), fx = std::make_unique<WindowFixture>(), fx->answer = answer;
        dock = fx->form().dWSettings;
        fx->access->loadSettingsAct()->trigger();
        QCOMPARE(controls(dock, false) + dock->windowTitle(), saved + "Sensor Settings: line.txt");
        // Refused files are told and leave the controls as they were.
        for (const QByteArray& bytes :
             {QByteArray("[FileInfo]\nDate=x\n[ProductInfo]\nName=a\n"), QByteArray(),
              QByteArray("[SensorInfo]\nIPAddress=XXXX\n") + QByteArray(2 << 20, '#'),
              QByteArray("[SensorInfo]\nIPAddress=XXXX\n[Parameter]\nTRIGGER=2147483647\n"
                         "ReflexionFilter=2147483647\n[Mode]\nMODE=2147483647\n")}) {
            fx->answer = answer = writtenFile(files.filePath("other.txt"), bytes);
            fx->access->loadSettingsAct()->trigger();
            if (bytes.contains("TRIGGER"))
                break; // out-of-range codes are accepted
            QCOMPARE(
                fx->shown().section('\n', -2), // after the file dialog
                QString("0|3D Sensor|Cannot load %1.\nThis is not the correct file.").arg(answer));
            QCOMPARE(controls(dock, false), saved);
        }
        // Codes out of range are kept as read and shown as no item (mode: "Sensor Image").
        QVERIFY(fx->access->params().TRIGGER == 2147483647);
        QCOMPARE(controlsText(fx->window.get(), "cBSensorMode cBTriggerMode cBLEFilter"),
                 QString("cBSensorMode=0 cBTriggerMode=-1 cBLEFilter=-1"));
    }

    // The 3D view: start state, "&3D Display" on a recording, the view operations before and
    // after a file, a rejected file.
    void surfaceOfARecording()
    {
        WindowFixture f;
        VeltrixTestAccess& w = *f.access;
        Ui::Veltrix& form = w.form();
        Q3DSurface* graph = w.surfaceGraph()->surface();
        Q3DCamera* camera = graph->scene()->activeCamera();

        // Before a file is chosen the camera does not move.
        auto view = [camera] {
            return QVector3D(camera->xRotation(), camera->yRotation(), camera->zoomLevel());
        };
        const QVector3D camera0 = view();
        form.hSRotationX->setValue(90), form.hSRotationY->setValue(45);
        w.surfaceGraph()->zoomInView();
        QCOMPARE(view(), camera0);

        // 5 profiles x 8 points at x = 1, 1.5 .. 4.5; a file of 4, 4, 3 points; one profile.
        QByteArray scan, bad;
        for (int frame = 0; frame < 5; ++frame)
            for (int c = 0; c < 8; ++c)
                scan += QString("%1; %2; %3;\r\n").arg(1 + c * 0.5).arg(frame).arg(c).toUtf8();
        for (int frame : {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2})
            bad += QString("1.0; %1; 2.0;\r\n").arg(frame).toUtf8();
        auto load = [&](const QString& name, const QByteArray& content) {
            f.answer = writtenFile(f.dir.filePath(name), content);
            w.display3DAct()->trigger();
        };
        const QString sliders =
            "hSAxisMinSliderX hSAxisMaxSliderX hSAxisMinSliderZ hSAxisMaxSliderZ";

        form.rBOffline->click();
        load("scan_01.TXT", scan);
        QCOMPARE(f.shown(),
                 "3|Open offline data for 3D display|" + w.dataDir() + "|Parameter files (*.txt)");
        const QSurfaceDataProxy* proxy = graph->seriesList().value(0)->dataProxy();
        QVERIFY(graph->seriesList().size() == 1 && proxy->columnCount() == 8 &&
                proxy->rowCount() == 5);
        QCOMPARE(controlsText(f.window.get(), sliders),
                 QString("hSAxisMinSliderX=0[0,6] hSAxisMaxSliderX=7[0,7] hSAxisMinSliderZ=0[0,3] "
                         "hSAxisMaxSliderZ=4[0,4]"));
        QCOMPARE(w.state(), QString("scan_01|blue|"));

        // The column minimum dragged onto the maximum pushes it one position on.
        form.hSAxisMaxSliderX->setValue(3), form.hSAxisMinSliderX->setValue(3);
        QCOMPARE(
            QVector3D(form.hSAxisMaxSliderX->value(), graph->axisX()->min(), graph->axisX()->max()),
            QVector3D(4, 2.5, 3.0));

        form.tWDisplay->setCurrentIndex(2); // the window's zoom command acts on the 3D view
        w.zoomInAct()->trigger();
        QCOMPARE(camera->zoomLevel(), 115.0f);
        form.hSRotationY->setValue(20), form.hSRotationX->setValue(30); // zoom 100, 115 kept
        QCOMPARE(view(), QVector3D(30, 20, 100));
        w.surfaceGraph()->zoomInView();
        QVERIFY(qAbs(camera->zoomLevel() - 132.25f) < 0.01f);

        // A rejected file leaves the surface and the status line as they were.
        load("bad.txt", bad);
        QCOMPARE(f.shown().section('\n', 1) + QString(" %1 ").arg(proxy->rowCount()) + w.status(),
                 "0!|Lumo|Loading data error! 5 scan_01");

        // One profile: the row sliders stay at 0, the row axis keeps the data's range.
        load("row.txt", "1; 7; 1;\n2; 7; 2;\n3; 7; 3;\n");
        QCOMPARE(controlsText(f.window.get(), sliders),
                 QString("hSAxisMinSliderX=0[0,1] hSAxisMaxSliderX=2[0,2] hSAxisMinSliderZ=0[0,0] "
                         "hSAxisMaxSliderZ=0[0,0]"));
        QCOMPARE(graph->axisZ()->min(), 7.7f);
    }
};

QTEST_MAIN(TestViews)
#include "test_views.moc"
