#pragma once
// The window tests' fixture: a private working directory whose 3DSensor.ini the test writes,
// the real window, dialogs recorded instead of shown, and VeltrixTestAccess, the window's
// friend that reaches its private members.
#include "app/dialogs.h"
#include "app/veltrix.h"
#include "sensor/tcpthread.h"
#include "simulator/sensorsimulator.h"
#include "surface/surfacegraph.h"
#include "ui_veltrix.h"

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <tuple>
#include <vector>

// The window's actions, menus and bars, reachable by name for the tables of the tests.
#define LUMO_PARTS(X)                                                                              \
    X(saveSettingsAct) X(loadSettingsAct) X(loadProductAct) X(saveProductAct) X(connectAct)        \
    X(disconnectAct) X(captureAct) X(recordAct) X(stopAct) X(writeFlashAct) X(quitAct)             \
    X(fitViewAct) X(panAct) X(zoomInAct) X(zoomOutAct) X(xAxisZoomAct) X(zAxisZoomAct)             \
    X(saveImageAct) X(openDataAct) X(nextDataAct) X(previousDataAct) X(aboutAct) X(aboutQtAct)     \
    X(aboutSensorAct) X(display3DAct) X(exportCloudAct) X(fileMenu) X(actionMenu) X(viewMenu)      \
    X(helpMenu) X(fileToolBar) X(actionToolBar) X(viewToolBar) X(statusToolBar) X(sensorCombo)     \
    X(statusLine)
// The state the tests read or set directly.
#define LUMO_STATE(X)                                                                              \
    X(acquiring) X(recording) X(sensorConnected) X(online) X(plotUnit) X(sensorCount)              \
    X(sensorNames) X(storedRanges) X(params) X(product) X(productPending) X(roiTrainingState)      \
    X(roiRect) X(roiLine) X(imageScene) X(tcpThread) X(recordFile) X(recordedFrameCount)           \
    X(baseDir) X(dataDir) X(productFilePath) X(settingsFilePath) X(surfaceGraph) X(fullRateBox)    \
    X(fullRateCount) X(recordStatus) X(offlineProfiles) X(healthLabel)
#define LUMO_REACH(member)                                                                         \
    auto& member() { return w.member; }
#define LUMO_BY_NAME(member)                                                                       \
    if (name == QLatin1String(#member))                                                            \
        return w.member;

class VeltrixTestAccess
{
public:
    explicit VeltrixTestAccess(Veltrix& window) : w(window) {}
    Veltrix& w;

    LUMO_PARTS(LUMO_REACH)
    LUMO_STATE(LUMO_REACH)
    QObject* named(const QString& name) const
    {
        LUMO_PARTS(LUMO_BY_NAME)
        qFatal("no member %s", qPrintable(name));
    }
    QAction* action(const QString& name) const { return qobject_cast<QAction*>(named(name)); }
    Ui::Veltrix& form() { return *w.form; }
    QString status() const { return w.statusLine->text(); }
    QString statusStyle() const { return w.statusLine->styleSheet(); }
    // The status line, its colour and the acquisition actions enabled.
    QString state() const
    {
        QString out = status() + "|" + statusStyle().remove("background-color: ") + "|";
        for (QString name : {"connect", "disconnect", "capture", "record", "stop", "saveImage"})
            out += action(name + "Act")->isEnabled() ? " " + name : QString();
        return out + (w.writeFlashAct->isEnabled() ? " flash" : "");
    }
    quint64 shown(int kind) const { return w.shownFrames[kind]; }
    QString registryPath() const { return w.registryPath(); }
    QCustomPlot* plot() { return w.form->customPlot; }
    void checkGUIEnabled() { w.checkGUIEnabled(); }
    void applyParametersToControls() { w.applyParametersToControls(); }
    void saveLastZoom(const QCPRange& x, const QCPRange& y)
    {
        w.saveLastZoomXAxis(x), w.saveLastZoomYAxis(y);
    }
    void beginRecording(const QString& path, int maxProfiles)
    {
        w.recordFile.setFileName(path);
        w.recordFile.open(QIODevice::Append);
        w.recording = 1, w.recordedFrameCount = 0, w.maxRecordedProfiles = maxProfiles;
    }
    void loadProfile(std::vector<int> x, std::vector<short> z, std::vector<float> fx,
                     std::vector<float> fz, bool isInteger)
    {
        const int n = int(isInteger ? x.size() : fx.size());
        w.loadProfile(x.data(), z.data(), fx.data(), fz.data(), isInteger, n, 0, 10.0f);
    }
    void loadProduct(std::vector<float> x, std::vector<float> z, QByteArray text)
    {
        w.loadProduct(x.data(), z.data(), int(x.size()),
                      reinterpret_cast<unsigned char*>(text.data()), 10.0f);
    }
    QString exportedProductText()
    {
        QString t;
        return w.exportProductFile(&t), t;
    }
};

// Each control as "name=value", ranged ones with their "[minimum,maximum]".
inline QString controlsText(QWidget* window, const QString& names)
{
    QStringList out;
    for (const QString& name : names.split(' ')) {
        QWidget* w = window->findChild<QWidget*>(name);
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w))
            out << name + "=" +
                       w->property(qobject_cast<QComboBox*>(w) ? "currentIndex" : "text")
                           .toString();
        else
            out << QString("%1=%2[%3,%4]")
                       .arg(name, w->property("value").toString(),
                            w->property("minimum").toString(), w->property("maximum").toString());
    }
    return out.join(' ');
}

inline QString dialogKey(Dialogs::Kind kind, const QString& title, const QString& text)
{
    return QStringLiteral("%1|%2|%3").arg(int(kind)).arg(title, text);
}

// (name, address, port) of each registered sensor.
using SensorEntries = std::vector<std::tuple<QString, QString, QString>>;

inline QByteArray iniFor(const SensorEntries& entries)
{
    QString ini = QString("[Sensors]\nNumberOfSensors=%1\n").arg(entries.size());
    int n = 1;
    for (const auto& [name, address, port] : entries)
        ini += QString("SensorName%1=%2\nSensorIP%1=%3\nSensorPort%1=%4\n")
                   .arg(n++)
                   .arg(name, address, port);
    return ini.toUtf8();
}

// A window started in its own temporary working directory, with the registry written first
// when there is one to write. A window for a simulator is shown. Dialogs are recorded; file
// dialogs answer what answer holds.
class WindowFixture
{
public:
    explicit WindowFixture(const QByteArray& iniText = {}, bool writeIni = false)
    {
        QDir::setCurrent(dir.path());
        QFile file(iniPath());
        if (writeIni && file.open(QIODevice::WriteOnly))
            file.write(iniText);
        file.close();
        Dialogs::setResponder([this](const Dialogs::Shown& s) {
            dialogs.push_back(s);
            const bool isFile =
                s.kind == Dialogs::Kind::OpenFile || s.kind == Dialogs::Kind::SaveFile;
            return isFile ? answer : QString();
        });
        window = std::make_unique<Veltrix>();
        access = std::make_unique<VeltrixTestAccess>(*window);
    }
    explicit WindowFixture(quint16 simulatorPort)
        : WindowFixture(iniFor({{"Simulator", "127.0.0.1", QString::number(simulatorPort)}}), true)
    {
        window->show();
    }
    ~WindowFixture()
    {
        close();
        Dialogs::setResponder({});
        QDir::setCurrent(previousDir);
    }
    void close() { access.reset(), window.reset(); } // the destructor writes the stored ranges
    QString iniPath() const { return dir.filePath(QStringLiteral("3DSensor.ini")); }
    QByteArray iniBytes() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    Ui::Veltrix& form() { return access->form(); }
    template <typename T = QWidget> T* control(const QString& name) const
    {
        T* w = window->findChild<T*>(name);
        return w ? w : (qFatal("no control %s", qPrintable(name)), nullptr);
    }
    bool showAndWait()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    // The one dialog shown since the last clear, as dialogKey() gives it.
    QString onlyDialog() const
    {
        return dialogs.size() != 1 ? QStringLiteral("%1 dialogs").arg(dialogs.size())
                                   : dialogKey(dialogs[0].kind, dialogs[0].title, dialogs[0].text);
    }
    QString lastDialogText() const { return dialogs.empty() ? QString() : dialogs.back().text; }

    QString previousDir = QDir::currentPath();
    QTemporaryDir dir;
    QString answer;
    std::vector<Dialogs::Shown> dialogs;
    std::unique_ptr<Veltrix> window;
    std::unique_ptr<VeltrixTestAccess> access;
};

// A request log as "command" + "r" for a read, "w=value" for a write, space-separated.
inline QString wireText(const std::vector<sim::Request>& requests)
{
    QStringList parts;
    for (const sim::Request& r : requests)
        parts << QString::number(r.command) +
                     (r.direction ? QString("r") : QString("w=%1").arg(r.value));
    return parts.join(' ');
}
