#pragma once
// Shared by the window tests: a private working directory (so 3DSensor.ini is the test's
// own), recorded dialogs, VeltrixTestAccess, the window's friend that reaches its private
// members, and the item texts of list-like widgets.

#include "app/dialogs.h"
#include "app/veltrix.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <memory>
#include <vector>

class VeltrixTestAccess
{
public:
    explicit VeltrixTestAccess(Veltrix& window) : w(window) {}

    Ui::Veltrix& form() { return *w.form; }

    // The 25 actions by member name.
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

    int& acquiring() { return w.acquiring; }
    int& sensorConnected() { return w.sensorConnected; }
    int& online() { return w.online; }
    int& plotUnit() { return w.plotUnit; }
    int productPending() const { return w.productPending; }
    int sensorCount() const { return w.sensorCount; }
    const QStringList& sensorNames() const { return w.sensorNames; }
    double* storedRanges() { return w.storedRanges; }
    SensorParameters& params() { return w.params; }
    QCPItemRect* roiRect(int i) const { return w.roiRect[i]; }
    QCPItemStraightLine* roiLine(int i) const { return w.roiLine[i]; }
    QGraphicsScene* imageScene() const { return w.imageScene; }

    QString baseDir() const { return w.baseDir; }
    QString dataDir() const { return w.dataDir; }
    QString productFilePath() const { return w.productFilePath; }
    QString settingsFilePath() const { return w.settingsFilePath; }
    QString registryPath() const { return w.registryPath(); }

    void checkGUIEnabled() { w.checkGUIEnabled(); }
    void applyParametersToControls() { w.applyParametersToControls(); }
    void saveLastZoomXAxis(const QCPRange& r) { w.saveLastZoomXAxis(r); }
    void saveLastZoomYAxis(const QCPRange& r) { w.saveLastZoomYAxis(r); }

private:
    Veltrix& w;
};

// The item texts of a combo box, list widget or tab widget, in order.
inline QStringList texts(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

inline QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

inline QStringList texts(const QTabWidget* tabs)
{
    QStringList out;
    for (int i = 0; i < tabs->count(); ++i)
        out << tabs->tabText(i);
    return out;
}

// A dialog as one comparable text: kind, title and text.
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

// A window started in its own temporary working directory. The registry file can be
// prepared (iniText) before the window starts; dialogs are recorded, not shown.
class WindowUnderTest
{
public:
    explicit WindowUnderTest(const QByteArray& iniText = QByteArray(), bool writeIni = false)
    {
        previousDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        if (writeIni) {
            QFile file(iniPath());
            if (file.open(QIODevice::WriteOnly))
                file.write(iniText);
        }
        Dialogs::setResponder([this](const Dialogs::Shown& shown) {
            dialogs.push_back({shown.kind, shown.title, shown.text});
            return QString();
        });
        window = std::make_unique<Veltrix>();
        access = std::make_unique<VeltrixTestAccess>(*window);
    }

    ~WindowUnderTest()
    {
        close();
        Dialogs::setResponder({});
        QDir::setCurrent(previousDir);
    }

    // Ends the window (its destructor writes the stored ranges).
    void close()
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

    // Every key of a group with its value, read back with a fresh settings object.
    QMap<QString, QString> group(const QString& name) const
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup(name);
        QMap<QString, QString> values;
        for (const QString& key : settings.childKeys())
            values.insert(key, settings.value(key).toString());
        return values;
    }

    QStringList groups() const
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        return settings.childGroups();
    }

    Ui::Veltrix& form() { return access->form(); }

    // A child widget by object name; a missing one ends the test run with its name.
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

    // The one dialog shown since the last clear, as dialogKey() gives it; "N dialogs" when
    // there was not exactly one.
    QString onlyDialog() const
    {
        if (dialogs.size() != 1)
            return QStringLiteral("%1 dialogs").arg(dialogs.size());
        return dialogKey(dialogs[0].kind, dialogs[0].title, dialogs[0].text);
    }

    QTemporaryDir dir;
    QString previousDir;
    std::vector<ShownDialog> dialogs;
    std::unique_ptr<Veltrix> window;
    std::unique_ptr<VeltrixTestAccess> access;
};
