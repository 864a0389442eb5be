// The image view and the settings files on the real window: simulator frames in the scene, the
// view commands, the saved BMP, and settings files saved, loaded and refused.
#include "windowfixture.h"

namespace {
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

class TestImageViewSettings : public QObject
{
    Q_OBJECT

private slots:
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
        QMetaObject::invokeMethod(&w, "showGraylevel", Q_ARG(int, 640), Q_ARG(int, 478));
        QCOMPARE(f.labelGraylevel->text(), QString::number(qGray(shown.pixel(640, 478))));
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
};

QTEST_MAIN(TestImageViewSettings)
#include "test_imageview_settings.moc"
