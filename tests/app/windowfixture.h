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

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <memory>
#include <tuple>
#include <type_traits>
#include <vector>

class VeltrixTestAccess
{
public:
    explicit VeltrixTestAccess(Veltrix& window) : w(window) {}
    Veltrix& w;

    Ui::Veltrix& form() { return *w.form; }
    QAction* action(const QString& name) const
    {
        const QMap<QString, QAction*> actions = {{"saveSettingsAct", w.saveSettingsAct},
                                                 {"loadSettingsAct", w.loadSettingsAct},
                                                 {"loadProductAct", w.loadProductAct},
                                                 {"saveProductAct", w.saveProductAct},
                                                 {"connectAct", w.connectAct},
                                                 {"disconnectAct", w.disconnectAct},
                                                 {"captureAct", w.captureAct},
                                                 {"recordAct", w.recordAct},
                                                 {"stopAct", w.stopAct},
                                                 {"writeFlashAct", w.writeFlashAct},
                                                 {"quitAct", w.quitAct},
                                                 {"fitViewAct", w.fitViewAct},
                                                 {"panAct", w.panAct},
                                                 {"zoomInAct", w.zoomInAct},
                                                 {"zoomOutAct", w.zoomOutAct},
                                                 {"xAxisZoomAct", w.xAxisZoomAct},
                                                 {"zAxisZoomAct", w.zAxisZoomAct},
                                                 {"saveImageAct", w.saveImageAct},
                                                 {"openDataAct", w.openDataAct},
                                                 {"nextDataAct", w.nextDataAct},
                                                 {"previousDataAct", w.previousDataAct},
                                                 {"aboutAct", w.aboutAct},
                                                 {"aboutQtAct", w.aboutQtAct},
                                                 {"aboutSensorAct", w.aboutSensorAct},
                                                 {"display3DAct", w.display3DAct}};
        return actions.value(name, nullptr);
    }
    QAction* connectAct() { return w.connectAct; }
    QAction* disconnectAct() { return w.disconnectAct; }
    QAction* captureAct() { return w.captureAct; }
    QAction* recordAct() { return w.recordAct; }
    QAction* stopAct() { return w.stopAct; }
    QAction* saveImageAct() { return w.saveImageAct; }
    QAction* writeFlashAct() { return w.writeFlashAct; }
    QMenu* menu(const QString& name) const
    {
        const QMap<QString, QMenu*> menus = {{"fileMenu", w.fileMenu},
                                             {"actionMenu", w.actionMenu},
                                             {"viewMenu", w.viewMenu},
                                             {"helpMenu", w.helpMenu}};
        return menus.value(name, nullptr);
    }
    QToolBar* toolBar(const QString& name) const
    {
        const QMap<QString, QToolBar*> bars = {{"fileToolBar", w.fileToolBar},
                                               {"actionToolBar", w.actionToolBar},
                                               {"viewToolBar", w.viewToolBar},
                                               {"statusToolBar", w.statusToolBar}};
        return bars.value(name, nullptr);
    }
    QComboBox* sensorCombo() const { return w.sensorCombo; }
    QLineEdit* statusLine() const { return w.statusLine; }
    QString status() const { return w.statusLine->text(); }
    QString statusStyle() const { return w.statusLine->styleSheet(); }

    int& acquiring() { return w.acquiring; }
    int recording() const { return w.recording; }
    int& sensorConnected() { return w.sensorConnected; }
    int& online() { return w.online; }
    int& plotUnit() { return w.plotUnit; }
    int sensorCount() const { return w.sensorCount; }
    const QStringList& sensorNames() const { return w.sensorNames; }
    double* storedRanges() { return w.storedRanges; }
    SensorParameters& params() { return w.params; }
    QCPItemRect* roiRect(int i) const { return w.roiRect[i]; }
    QCPItemStraightLine* roiLine(int i) const { return w.roiLine[i]; }
    QGraphicsScene* imageScene() const { return w.imageScene; }
    TcpThread* thread() { return w.tcpThread; }
    QFile& recordFile() { return w.recordFile; }
    quint64 shown(int kind) const { return w.shownFrames[kind]; }

    QString baseDir() const { return w.baseDir; }
    QString dataDir() const { return w.dataDir; }
    QString productFilePath() const { return w.productFilePath; }
    QString settingsFilePath() const { return w.settingsFilePath; }
    QString registryPath() const { return w.registryPath(); }

    void checkGUIEnabled() { w.checkGUIEnabled(); }
    void applyParametersToControls() { w.applyParametersToControls(); }
    void saveLastZoomXAxis(const QCPRange& r) { w.saveLastZoomXAxis(r); }
    void saveLastZoomYAxis(const QCPRange& r) { w.saveLastZoomYAxis(r); }

    // Accessors added by later features go below this line, one commented block each.
    // --- 3D view ---
    SurfaceGraph* surfaceGraph() { return w.surfaceGraph; }
    QAction* display3DAct() { return w.display3DAct; }
    // ---- Scanning: full-rate recording and point-cloud export ----
    QCheckBox* everyProfileBox() { return w.fullRateBox; }
    QSpinBox* recordCount() { return w.fullRateCount; }
    QString recordStatus() const { return w.recordStatus->text(); }
    QAction* exportAct() { return w.exportCloudAct; }
    // Profile plot, recording, angle results and ROI training.
    QCustomPlot* plot() { return w.form->customPlot; }
    int recordedFrameCount() const { return w.recordedFrameCount; }
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
    // Product parameter files and offline browsing
    QAction* saveProductAct() { return w.saveProductAct; }
    QAction* loadProductAct() { return w.loadProductAct; }
    QAction* openDataAct() { return w.openDataAct; }
    QAction* nextDataAct() { return w.nextDataAct; }
    QAction* previousDataAct() { return w.previousDataAct; }
    ProductParameters& product() { return w.product; }
    int& productPending() { return w.productPending; }
    int roiTrainingState() const { return w.roiTrainingState; }
    const OfflineProfiles& offline() const { return w.offlineProfiles; }
    QString exportedProductText()
    {
        QString t;
        w.exportProductFile(&t);
        return t;
    }
    // --- Link health (test_link_health.cpp) ---
    QString healthText() const { return w.healthLabel ? w.healthLabel->text() : QString(); }
};

template <typename T> QStringList texts(const T* widget)
{
    QStringList out;
    for (int i = 0; i < widget->count(); ++i) {
        if constexpr (std::is_same_v<T, QListWidget>)
            out << widget->item(i)->text();
        else if constexpr (std::is_same_v<T, QTabWidget>)
            out << widget->tabText(i);
        else
            out << widget->itemText(i);
    }
    return out;
}

inline QString dialogKey(Dialogs::Kind kind, const QString& title, const QString& text)
{
    return QStringLiteral("%1|%2|%3").arg(int(kind)).arg(title, text);
}

struct ShownDialog
{
    Dialogs::Kind kind;
    QString title;
    QString text;
};

using SensorEntries = std::vector<std::tuple<QString, QString, int>>;

// A window started in its own temporary working directory, with the registry written first:
// either the given sensors (the window is then shown) or the given text.
class WindowFixture
{
public:
    explicit WindowFixture(const SensorEntries& entries = {})
    {
        QByteArray ini =
            "[Sensors]\nNumberOfSensors=" + QByteArray::number(int(entries.size())) + "\n";
        int n = 1;
        for (const auto& [name, address, port] : entries) {
            const QByteArray i = QByteArray::number(n++);
            ini += "SensorName" + i + "=" + name.toUtf8() + "\nSensorIP" + i + "=" +
                   address.toUtf8() + "\nSensorPort" + i + "=" + QByteArray::number(port) + "\n";
        }
        begin(ini, !entries.empty());
        window->show();
    }
    WindowFixture(const QByteArray& iniText, bool writeIni) { begin(iniText, writeIni); }
    ~WindowFixture()
    {
        close();
        Dialogs::setResponder({});
        QDir::setCurrent(previousDir);
    }

    void close() // the window's destructor writes the stored ranges
    {
        access.reset();
        window.reset();
    }
    QString iniPath() const { return dir.filePath(QStringLiteral("3DSensor.ini")); }
    QByteArray iniBytes() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QMap<QString, QString> group(const QString& name) const
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup(name);
        QMap<QString, QString> values;
        for (const QString& key : settings.childKeys())
            values.insert(key, settings.value(key).toString());
        return values;
    }
    QStringList groups() const { return QSettings(iniPath(), QSettings::IniFormat).childGroups(); }
    Ui::Veltrix& form() { return access->form(); }
    template <typename T = QWidget> T* control(const QString& name) const
    {
        T* w = window->findChild<T*>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    bool showAndWait()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    // The one dialog shown since the last clear, as dialogKey() gives it.
    QString onlyDialog() const
    {
        if (dialogs.size() != 1)
            return QStringLiteral("%1 dialogs").arg(dialogs.size());
        return dialogKey(dialogs[0].kind, dialogs[0].title, dialogs[0].text);
    }
    QString lastDialogText() const { return dialogs.empty() ? QString() : dialogs.back().text; }

    QTemporaryDir dir;
    QString previousDir;
    std::vector<ShownDialog> dialogs;
    std::unique_ptr<Veltrix> window;
    std::unique_ptr<VeltrixTestAccess> access;

private:
    void begin(const QByteArray& iniText, bool writeIni)
    {
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QFile file(iniPath());
        if (writeIni && file.open(QIODevice::WriteOnly))
            file.write(iniText);
        file.close();
        Dialogs::setResponder([this](const Dialogs::Shown& shown) {
            dialogs.push_back({shown.kind, shown.title, shown.text});
            return QString();
        });
        window = std::make_unique<Veltrix>();
        access = std::make_unique<VeltrixTestAccess>(*window);
    }
};
using WindowUnderTest = WindowFixture;

// (command, direction, value) of a logged request.
struct Wire
{
    uint32_t command;
    uint32_t direction;
    int32_t value;
    bool operator==(const Wire& o) const
    {
        return command == o.command && direction == o.direction && value == o.value;
    }
};

inline std::vector<Wire> wireOf(const std::vector<sim::Request>& requests)
{
    std::vector<Wire> out;
    for (const sim::Request& r : requests)
        out.push_back({r.command, r.direction, r.value});
    return out;
}

inline QString describe(const std::vector<Wire>& wire)
{
    QStringList parts;
    for (const Wire& w : wire)
        parts << QString("%1%2%3")
                     .arg(w.command)
                     .arg(w.direction ? "r" : "w")
                     .arg(w.direction ? QString() : QString("=%1").arg(w.value));
    return parts.join(' ');
}
