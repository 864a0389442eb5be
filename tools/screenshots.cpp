// Development aid: shows the main window at its design size and maximized, once per
// settings tab, and saves each view as a PNG into the given directory. Run under a display
// (e.g. xvfb-run -a -s "-screen 0 1920x1080x24").
#include "app/veltrix.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QToolBox>
#include <cstdio>

namespace {
void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(outDir);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    {
        QSettings ini(work.filePath(QStringLiteral("3DSensor.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Sensors/NumberOfSensors"), QStringLiteral("2"));
        ini.setValue(QStringLiteral("Sensors/SensorName1"), QStringLiteral("Line_1"));
        ini.setValue(QStringLiteral("Sensors/SensorIP1"), QStringLiteral("192.168.0.65"));
        ini.setValue(QStringLiteral("Sensors/SensorPort1"), QStringLiteral("1096"));
        ini.setValue(QStringLiteral("Sensors/SensorName2"), QStringLiteral("Welding_Cell_2"));
        ini.setValue(QStringLiteral("Sensors/SensorIP2"), QStringLiteral("192.168.0.66"));
        ini.setValue(QStringLiteral("Sensors/SensorPort2"), QStringLiteral("1096"));
    }
    Veltrix window;
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    auto* display = window.findChild<QTabWidget*>(QStringLiteral("tWDisplay"));
    const struct
    {
        const char* name;
        bool maximized;
    } modes[] = {{"design", false}, {"maximized", true}};
    for (const auto& mode : modes) {
        if (mode.maximized) {
            // Without a window manager showMaximized() does not resize; take the screen.
            window.setGeometry(QApplication::primaryScreen()->availableGeometry());
            window.show();
        } else {
            window.resize(1253, 761);
            window.show();
        }
        settle();
        for (int t = 0; t < tabs->count(); ++t) {
            tabs->setCurrentIndex(t);
            display->setCurrentIndex(t == 1 ? 1 : 0);
            settle();
            if (qEnvironmentVariableIsSet("LUMO_SHOT_SIZES")) {
                for (QGroupBox* box : tabs->currentWidget()->findChildren<QGroupBox*>())
                    std::printf("%s %s min %dx%d hint %dx%d\n", mode.name,
                                qPrintable(box->objectName()), box->minimumSizeHint().width(),
                                box->minimumSizeHint().height(), box->sizeHint().width(),
                                box->sizeHint().height());
            }
            if (qEnvironmentVariableIsSet("LUMO_SHOT_SIZES")) {
                auto* area = window.findChild<QScrollArea*>(QStringLiteral("scrollArea_2"));
                std::printf("area %dx%d viewport %dx%d content min %dx%d hint %dx%d\n",
                            area->width(), area->height(), area->viewport()->width(),
                            area->viewport()->height(), area->widget()->minimumSizeHint().width(),
                            area->widget()->minimumSizeHint().height(),
                            area->widget()->sizeHint().width(),
                            area->widget()->sizeHint().height());
            }
            window.grab().save(
                QStringLiteral("%1/%2_tab%3.png").arg(outDir, QLatin1String(mode.name)).arg(t));
        }
        window.hide();
        settle();
    }
    return 0;
}
