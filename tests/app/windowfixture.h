#pragma once
// Shared set-up of the end-to-end tests: a simulator on an ephemeral port, a private working
// directory whose 3DSensor.ini lists it, the real window, and answered dialogs.

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
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <memory>
#include <vector>

// Reaches the window's private state.
class VeltrixTestAccess
{
public:
    explicit VeltrixTestAccess(Veltrix& window) : w(window) {}
    Veltrix& w;

    Ui::Veltrix& form() { return *w.form; }
    QAction* connectAct() { return w.connectAct; }
    QAction* disconnectAct() { return w.disconnectAct; }
    QAction* captureAct() { return w.captureAct; }
    QAction* recordAct() { return w.recordAct; }
    QAction* stopAct() { return w.stopAct; }
    QAction* saveImageAct() { return w.saveImageAct; }
    QAction* writeFlashAct() { return w.writeFlashAct; }
    QComboBox* sensorCombo() { return w.sensorCombo; }
    QString status() const { return w.statusLine->text(); }
    QString statusStyle() const { return w.statusLine->styleSheet(); }
    int acquiring() const { return w.acquiring; }
    int recording() const { return w.recording; }
    int sensorConnected() const { return w.sensorConnected; }
    SensorParameters& params() { return w.params; }
    TcpThread* thread() { return w.tcpThread; }
    QFile& recordFile() { return w.recordFile; }
    QString dataDir() const { return w.dataDir; }
    quint64 shown(int kind) const { return w.shownFrames[kind]; }

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
    const double* storedRanges() const { return w.storedRanges; }
    QCPItemStraightLine* roiLine(int j) { return w.roiLine[j]; }
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

struct ShownDialog
{
    Dialogs::Kind kind;
    QString title;
    QString text;
};

class WindowFixture
{
public:
    // entries: (name, address, port) written to 3DSensor.ini before the window starts.
    explicit WindowFixture(const std::vector<std::tuple<QString, QString, int>>& entries = {})
    {
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        writeRegistry(entries);
        Dialogs::setResponder([this](const Dialogs::Shown& shown) {
            dialogs.push_back({shown.kind, shown.title, shown.text});
            return QString();
        });
        window = std::make_unique<Veltrix>();
        window->show();
        access = std::make_unique<VeltrixTestAccess>(*window);
    }

    ~WindowFixture()
    {
        access.reset();
        window.reset();
        Dialogs::setResponder({});
        QDir::setCurrent(previousDir);
    }

    void writeRegistry(const std::vector<std::tuple<QString, QString, int>>& entries)
    {
        QFile file(dir.filePath("3DSensor.ini"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            return;
        QTextStream out(&file);
        out << "[Sensors]\nNumberOfSensors=" << entries.size() << "\n";
        int n = 1;
        for (const auto& [name, address, port] : entries) {
            out << "SensorName" << n << "=" << name << "\n";
            out << "SensorIP" << n << "=" << address << "\n";
            out << "SensorPort" << n << "=" << port << "\n";
            ++n;
        }
    }

    QString lastDialogText() const { return dialogs.empty() ? QString() : dialogs.back().text; }

    QTemporaryDir dir;
    QString previousDir;
    std::vector<ShownDialog> dialogs;
    std::unique_ptr<Veltrix> window;
    std::unique_ptr<VeltrixTestAccess> access;
};

// (command, direction, value) of a logged request, for compact comparisons.
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
