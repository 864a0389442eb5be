// The image view and the settings files on the real window: simulator frames in the scene, the
// view commands, the saved BMP, and settings files saved, loaded and refused.
#include "windowfixture.h"

#include "display/customview.h"
#include "files/settingsfile.h"

#include <QGraphicsPixmapItem>
#include <QWheelEvent>
#include <cmath>

namespace {
QAction* act(Veltrix& w, const QString& text)
{
    for (QAction* a : w.findChildren<QAction*>())
        if (a->text() == text)
            return a;
    qFatal("no action %s", qPrintable(text));
}

// Gray bytes of an image, rows without padding; of the one pixmap in the scene by default.
QByteArray grayBytes(const QImage& image)
{
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    QByteArray out;
    for (int y = 0; y < gray.height(); ++y)
        out.append(reinterpret_cast<const char*>(gray.constScanLine(y)), gray.width());
    return out;
}
QByteArray shownBytes(QGraphicsScene* scene)
{
    const auto items = scene->items();
    return items.size() == 1
               ? grayBytes(static_cast<QGraphicsPixmapItem*>(items[0])->pixmap().toImage())
               : QByteArray("items");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

const QString loadRefused = QStringLiteral("Cannot load %1.\nThis is not the correct file.");
} // namespace

class TestImageViewSettings : public QObject
{
    Q_OBJECT

private slots:
    void imagesAndViewCommands();
    void settingsFiles();
};

// An odd-width stream: every shown byte equals the sent one (a padded stride would shear the
// rows), first fit and first rate, zoom limits, pan-mode wheel, zoom axes, gray level, BMP.
void TestImageViewSettings::imagesAndViewCommands()
{
    sim::Options options;
    options.rate = 5;
    options.imageWidth = 641;
    options.imageHeight = 479;
    sim::SensorSimulator sensor(options);
    QVERIFY(sensor.start());
    WindowFixture fx({{"Simulator", "127.0.0.1", sensor.port()}});
    Veltrix& w = *fx.window;
    Ui::Veltrix& f = fx.access->form();
    CustomView* view = f.graphicsView;
    QGraphicsScene* scene = view->scene();
    QString answer;
    Dialogs::setResponder([&](const Dialogs::Shown& s) {
        fx.dialogs.push_back({s.kind, s.title, s.text});
        return answer;
    });
    const QString bmp = fx.dir.filePath("shot.bmp");
    answer = bmp;
    QMetaObject::invokeMethod(&w, "saveImage");
    QCOMPARE(fx.lastDialogText(), QString("The process of saving image is failed."));

    // Runs right after the window's loadImage of the same frame, while the buffer is valid.
    int frames = 0, unmatched = 0;
    QString firstRate;
    QTransform firstTransform;
    QObject receiver;
    connect(fx.access->thread(), &TcpThread::ImageReady, &receiver,
            [&](unsigned char* buffer, int width, int height) {
                if (++frames == 1) {
                    firstRate = w.statusBar()->currentMessage();
                    firstTransform = view->transform();
                }
                unmatched += shownBytes(scene) !=
                             QByteArray(reinterpret_cast<const char*>(buffer), width * height);
            });
    fx.access->connectAct()->trigger();
    f.cBSensorMode->setCurrentIndex(0);
    fx.access->captureAct()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(frames >= 1, 20000);
    QCOMPARE(firstRate, QString("0.0 FPS"));
    QVERIFY(qAbs(firstTransform.m11() * 641 - view->viewport()->width()) < 5);
    QVERIFY(qAbs(firstTransform.m22() * 479 - view->viewport()->height()) < 5);
    QMetaObject::invokeMethod(&w, "zoomIn");
    const QTransform zoomed = view->transform();
    QVERIFY(zoomed.m11() > firstTransform.m11() * 1.1);
    QTRY_VERIFY_WITH_TIMEOUT(w.statusBar()->currentMessage() != "0.0 FPS", 20000);
    const double rate = w.statusBar()->currentMessage().section(' ', 0, 0).toDouble();
    QVERIFY2(rate > 0.5 && rate < 12.0, qPrintable(w.statusBar()->currentMessage()));
    QCOMPARE(view->transform(), zoomed); // later frames are not refitted
    fx.access->stopAct()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!fx.access->thread()->isRunning(), 10000);
    QCOMPARE(unmatched, 0);
    QVERIFY(frames >= 2);

    // Zoom out stops at the fitted size: three steps in are undone by exactly three out.
    QMetaObject::invokeMethod(&w, "fitView");
    const QTransform fitted = view->transform();
    for (const char* step :
         {"zoomOut", "zoomIn", "zoomIn", "zoomIn", "zoomOut", "zoomOut", "zoomOut", "zoomOut"})
        QMetaObject::invokeMethod(&w, step);
    QVERIFY(qFuzzyCompare(view->transform().m11(), fitted.m11()) &&
            qFuzzyCompare(view->transform().m22(), fitted.m22()));
    auto wheel = [&] {
        QWheelEvent event(QPointF(40, 40), view->viewport()->mapToGlobal(QPoint(40, 40)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &event);
    };
    const QTransform before = view->transform();
    act(w, "&Pan")->setChecked(true);
    wheel();
    QCOMPARE(view->transform(), before);
    act(w, "&Pan")->setChecked(false);
    act(w, "&Z-Axis zoom")->setChecked(false);
    QVERIFY(f.customPlot->xAxis->selectedParts() != QCPAxis::spNone);
    wheel();
    QVERIFY(qFuzzyCompare(view->transform().m11(), before.m11() * 1.15) &&
            view->transform().m22() == before.m22());
    act(w, "&X-Axis zoom")->setChecked(false); // the last one: both come back
    QVERIFY(act(w, "&X-Axis zoom")->isChecked() && act(w, "&Z-Axis zoom")->isChecked());
    QCOMPARE(view->currentZoomAxes(), 3);
    QVERIFY(f.customPlot->selectedAxes().isEmpty());

    const QByteArray shown = shownBytes(scene);
    QCOMPARE(shown.size(), 641 * 479);
    for (const auto& [x, y, gray] :
         {std::tuple(640, 478, QString::number(uchar(shown.back()))),
          std::tuple(641, 0, QString("-")), std::tuple(-1, 5, QString("-"))}) {
        QMetaObject::invokeMethod(&w, "showGraylevel", Q_ARG(int, x), Q_ARG(int, y));
        QCOMPARE(f.labelX->text() + " " + f.labelY->text() + " " + f.labelGraylevel->text(),
                 QString("%1 %2 %3").arg(x).arg(y).arg(gray));
    }
    QMouseEvent move(QEvent::MouseMove, QPoint(3, 3), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QCOMPARE(f.labelX->text().toInt(), int(std::floor(view->mapToScene(QPoint(3, 3)).x())));

    QMetaObject::invokeMethod(&w, "saveImage");
    QCOMPARE(fx.lastDialogText(), QString("The image has been successfully saved."));
    const QImage saved(bmp);
    QCOMPARE(saved.format(), QImage::Format_Indexed8);
    QVERIFY(grayBytes(saved) == shown);
}

// Save, then load on a fresh window, reproduces every control; other files are refused.
void TestImageViewSettings::settingsFiles()
{
    const QStringList spins = {
        "sBGainVal",        "sBShutter",         "sBLaserValue",      "sBAutoShutterMin",
        "sBAutoShutterMax", "sBDoubleShutter1",  "sBDoubleShutter2",  "sBAutoTriggerPeriode",
        "sBLEThreshold",    "sBLEMinLaserWidth", "sBLEMaxLaserWidth", "sBSearchAreaX",
        "sBSearchAreaY",    "sBSearchAreaDX",    "sBSearchAreaDY",    "sBEthernetLinePckg"};
    const QStringList combos = {"cBExposureMode",     "cBLaserMode",     "cBTriggerMode",
                                "cBLEMethode",        "cBLEFilter",      "cBSubsample",
                                "cBEthernetSendMode", "cBAlgorithmMode", "cBSpeckleFilter",
                                "cBMedianFilter",     "cBSensorMode"};
    QTemporaryDir files;
    const QString path = files.filePath("line.ini.txt");
    QString answer = path;
    auto answerWith = [&answer](WindowFixture& fx) {
        fx.dialogs.clear();
        Dialogs::setResponder([&answer, &fx](const Dialogs::Shown& s) {
            fx.dialogs.push_back({s.kind, s.title, s.text});
            return answer;
        });
    };
    auto values = [&](Veltrix& w) {
        QStringList out;
        for (const QString& name : spins)
            out << QString::number(w.findChild<QSpinBox*>(name)->value());
        for (const QString& name : combos)
            out << QString::number(w.findChild<QComboBox*>(name)->currentIndex());
        return out;
    };
    QStringList saved;
    {
        WindowFixture fx;
        answerWith(fx);
        for (const QString& name : spins) {
            QSpinBox* box = fx.window->findChild<QSpinBox*>(name);
            box->setValue(box->value() == box->maximum() - 1 ? box->minimum() : box->maximum() - 1);
        }
        for (const QString& name : combos)
            fx.window->findChild<QComboBox*>(name)->setCurrentIndex(1);
        saved = values(*fx.window);
        act(*fx.window, "&Save sensor settings")->trigger();
        QVERIFY(fx.dialogs.size() == 1 && fx.dialogs[0].title == "Save Sensor Settings File");
    }
    QCOMPARE(readFileSetting(path, "SensorInfo", "IPAddress"), QString("XXXX"));
    QCOMPARE(readFileSetting(path, "Parameter", "TRIGGER"), QString("-2"));
    QCOMPARE(readFileSetting(path, "Mode", "MODE"), QString("4"));

    WindowFixture fx;
    answerWith(fx);
    Veltrix& w = *fx.window;
    QAction* load = act(w, "&Load sensor settings");
    load->trigger();
    QCOMPARE(values(w), saved);
    QCOMPARE(fx.access->form().dWSettings->windowTitle(), QString("Sensor Settings: line.txt"));

    const QByteArray accepted = "[SensorInfo]\nIPAddress=XXXX\n";
    const QByteArray refused[] = {"[FileInfo]\nDate=x\n[ProductInfo]\nProductName=a\n", "",
                                  accepted + QByteArray(2 << 20, '#')};
    for (const QByteArray& bytes : refused) {
        answer = files.filePath("refused.txt");
        writeFile(answer, bytes);
        fx.dialogs.clear();
        load->trigger();
        QCOMPARE(fx.dialogs.size(), size_t(2));
        QCOMPARE(fx.dialogs[1].text, loadRefused.arg(answer));
        QCOMPARE(values(w), saved);
    }

    writeFile(answer, accepted + "[Parameter]\nTRIGGER=2147483647\nReflexionFilter=2147483647\n"
                                 "[Mode]\nMODE=2147483647\n");
    load->trigger();
    QCOMPARE(fx.access->params().TRIGGER, 2147483647); // kept as read, shown as no item
    const Ui::Veltrix& f = fx.access->form();
    QCOMPARE(f.cBTriggerMode->currentIndex() + f.cBLEFilter->currentIndex(), -2);
    QCOMPARE(f.cBSensorMode->currentIndex(), 0);
}

QTEST_MAIN(TestImageViewSettings)
#include "test_imageview_settings.moc"
