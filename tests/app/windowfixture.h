#pragma once
// The window tests' fixture: the real window in a private working directory, dialogs recorded,
// and VeltrixTestAccess, the window's friend that reaches its private members.
#include "app/dialogs.h"
#include "app/veltrix.h"
#include "sensor/tcpthread.h"
#include "simulator/sensorsimulator.h"
#include "surface/surfacegraph.h"
#include "tests/testfiles.h"
#include "ui_veltrix.h"

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <tuple>
#include <vector>

// clang-format off
// The window's actions, menus and bars, reachable by name for the tables of the tests.
#define LUMO_PARTS(X)                                                                              \
    X(saveSettingsAct) X(loadSettingsAct) X(loadProductAct) X(saveProductAct) X(connectAct)        \
    X(disconnectAct) X(captureAct) X(recordAct) X(stopAct) X(writeFlashAct) X(quitAct)             \
    X(fitViewAct) X(panAct) X(zoomInAct) X(zoomOutAct) X(xAxisZoomAct) X(zAxisZoomAct)             \
    X(saveImageAct) X(openDataAct) X(nextDataAct) X(previousDataAct) X(aboutAct) X(aboutQtAct)     \
    X(aboutSensorAct) X(display3DAct) X(fileMenu) X(actionMenu) X(viewMenu) X(helpMenu)            \
    X(fileToolBar) X(actionToolBar) X(viewToolBar) X(statusToolBar) X(sensorCombo) X(statusLine)
// The state the tests read or set directly.
#define LUMO_STATE(X)                                                                              \
    X(acquiring) X(recording) X(sensorConnected) X(online) X(plotUnit) X(sensorCount)              \
    X(sensorNames) X(storedRanges) X(params) X(product) X(productPending) X(roiTrainingState)      \
    X(roiLine) X(tcpThread) X(recordFile) X(recordedFrameCount) X(baseDir) X(dataDir)              \
    X(productFilePath) X(settingsFilePath) X(surfaceGraph) X(fullRateBox) X(fullRateCount)         \
    X(recordStatus) X(offlineProfiles) X(healthLabel)
// The private functions the tests call, with the arguments given.
#define LUMO_FUNCTIONS(X)                                                                          \
    X(checkGUIEnabled) X(applyParametersToControls) X(saveLastZoomXAxis) X(saveLastZoomYAxis)      \
    X(exportProductFile)
#define LUMO_CALL(f) template <typename... A> auto f(A... args) { return w.f(args...); }
#define LUMO_REACH(member) auto& member() { return w.member; }
#define LUMO_BY_NAME(member) if (name == QLatin1String(#member)) return w.member;
// clang-format on

class VeltrixTestAccess
{
public:
    explicit VeltrixTestAccess(Veltrix& window) : w(window) {}
    Veltrix& w;

    LUMO_PARTS(LUMO_REACH)
    LUMO_STATE(LUMO_REACH)
    LUMO_FUNCTIONS(LUMO_CALL)
    QObject* named(const QString& name) const
    {
        LUMO_PARTS(LUMO_BY_NAME)
        qFatal("no member %s", qPrintable(name));
    }
    QAction* action(const QString& name) const { return qobject_cast<QAction*>(named(name)); }
    Ui::Veltrix& form() { return *w.form; }
    QString status() const { return w.statusLine->text(); }
    // The status line, its colour and the acquisition actions enabled.
    QString state() const
    {
        QString out =
            status() + "|" + w.statusLine->styleSheet().remove("background-color: ") + "|";
        for (QString name : {"connect", "disconnect", "capture", "record", "stop", "saveImage"})
            out += action(name + "Act")->isEnabled() ? " " + name : QString();
        return out + (w.writeFlashAct->isEnabled() ? " flash" : "");
    }
    // A capture (or recording) in the sensor mode of that index, and the stop after it.
    void capture(int modeIndex, QAction* action = nullptr)
    {
        w.form->cBSensorMode->setCurrentIndex(modeIndex);
        (action ? action : w.captureAct)->trigger();
        QCOMPARE(w.acquiring, 1);
    }
    void stop()
    {
        w.stopAct->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!w.tcpThread->isRunning() && w.captureAct->isEnabled(), 20000);
    }
    void framesArrive(int kind, quint64 count = 3)
    {
        const quint64 before = shown(kind);
        QTRY_VERIFY_WITH_TIMEOUT(shown(kind) >= before + count, 20000);
    }
    quint64 shown(int kind) const { return w.shownFrames[kind]; }
    QCustomPlot* plot() { return w.form->customPlot; }
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
};

// Each control as "name=value", ranged ones with their "[minimum,maximum]".
inline QString controlsText(QWidget* window, const QString& names)
{
    QStringList out;
    for (const QString& name : names.split(' ')) {
        QWidget* w = window->findChild<QWidget*>(name);
        const auto value = [w](const char* property) { return w->property(property).toString(); };
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w))
            out << name + "=" + value(qobject_cast<QComboBox*>(w) ? "currentIndex" : "text");
        else
            out << name + "=" + value("value") + "[" + value("minimum") + "," + value("maximum") +
                       "]";
    }
    return out.join(' ');
}

// A file written, its path (empty on failure).
inline QString writtenFile(const QString& path, const QByteArray& bytes)
{
    return putFile(path, bytes) ? path : QString();
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

// A window in its own temporary directory, with the registry written first when there is one; a
// window for a simulator is shown. File dialogs answer what answer holds.
class WindowFixture
{
public:
    explicit WindowFixture(const QByteArray& ini = {})
    {
        QDir::setCurrent(dir.path());
        if (!ini.isEmpty())
            writtenFile(iniPath(), ini);
        Dialogs::setResponder([this](const Dialogs::Shown& s) {
            dialogs.push_back(s);
            return s.kind >= Dialogs::Kind::OpenFile ? answer : QString();
        });
        window = std::make_unique<Veltrix>();
        access = std::make_unique<VeltrixTestAccess>(*window);
    }
    explicit WindowFixture(quint16 simulatorPort)
        : WindowFixture(iniFor({{"Simulator", "127.0.0.1", QString::number(simulatorPort)}}))
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
    QByteArray iniBytes() const { return fileBytes(iniPath()); }
    Ui::Veltrix& form() { return access->form(); }
    // The dialogs shown since the last call, one a line: "kind|title|text", a file dialog's
    // with "|filter", and "!" after the kind for one not on the window.
    QString shown()
    {
        QStringList out;
        for (const Dialogs::Shown& s : dialogs)
            out << QString("%1%2|%3|%4")
                           .arg(int(s.kind))
                           .arg(s.parent == window.get() ? "" : "!", s.title, s.text) +
                       (s.kind >= Dialogs::Kind::OpenFile ? "|" + s.filter : QString());
        dialogs.clear();
        return out.join('\n');
    }

    QString previousDir = QDir::currentPath();
    QTemporaryDir dir;
    QString answer;
    std::vector<Dialogs::Shown> dialogs;
    std::unique_ptr<Veltrix> window;
    std::unique_ptr<VeltrixTestAccess> access;
};
