// The main window without a sensor: composition, start state and paths, actions, menus and
// tool bars, the About boxes, enabling, the settings panel, the sensor list in 3DSensor.ini,
// the remembered plot ranges and the online/offline switch.
#include "app/paths.h"
#include "windowfixture.h"

#include <QDockWidget>
#include <QMenuBar>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolBox>
#include <qcustomplot.h>

namespace {
using Values = QMap<QString, QString>;

struct Entry
{
    QString name, ip, port;
};
const QList<Entry> three = {{"Alpha", "192.168.0.65", "1096"},
                            {"Beta", "10.0.0.2", "2000"},
                            {"Gamma", "172.16.5.9", "3001"}};

QByteArray iniFor(const QList<Entry>& entries)
{
    QByteArray text = "[Sensors]\nNumberOfSensors=" + QByteArray::number(entries.size()) + "\n";
    for (int n = 1; n <= entries.size(); ++n) {
        const QByteArray i = QByteArray::number(n);
        text += "SensorName" + i + "=" + entries[n - 1].name.toUtf8() + "\nSensorIP" + i + "=" +
                entries[n - 1].ip.toUtf8() + "\nSensorPort" + i + "=" +
                entries[n - 1].port.toUtf8() + "\n";
    }
    return text;
}

Values sensorsGroup(const QList<Entry>& entries)
{
    Values v = {{"NumberOfSensors", QString::number(entries.size())}};
    for (int n = 1; n <= entries.size(); ++n) {
        v.insert(QStringLiteral("SensorName%1").arg(n), entries[n - 1].name);
        v.insert(QStringLiteral("SensorIP%1").arg(n), entries[n - 1].ip);
        v.insert(QStringLiteral("SensorPort%1").arg(n), entries[n - 1].port);
    }
    return v;
}

void addSensor(WindowFixture& t, const QString& name, const QStringList& octets, int port)
{
    t.form().lESensorName->setText(name);
    QLineEdit* fields[] = {t.form().lEIPAddress1, t.form().lEIPAddress2, t.form().lEIPAddress3,
                           t.form().lEIPAddress4};
    for (int i = 0; i < 4; ++i)
        fields[i]->setText(octets.value(i));
    t.form().sBPort->setValue(port);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);
}

// The selected row and the address and port shown for it.
QString shown(WindowFixture& t)
{
    return QStringLiteral("%1 %2:%3")
        .arg(t.form().lWSensorList->currentRow())
        .arg(t.form().lEIP->text(), t.form().lEPort->text());
}

QStringList entriesOf(QWidget* owner, VeltrixTestAccess& a)
{
    QStringList seen;
    auto* bar = qobject_cast<QToolBar*>(owner);
    for (QAction* action : owner->actions()) {
        const QWidget* widget = bar ? bar->widgetForAction(action) : nullptr;
        seen << (widget && widget == a.sensorCombo()  ? "[sensorCombo]"
                 : widget && widget == a.statusLine() ? "[statusLine]"
                 : action->isSeparator()              ? "-"
                                                      : action->text());
    }
    return seen;
}
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void compositionAndStartState()
    {
        WindowFixture t;
        Veltrix& w = *t.window;
        VeltrixTestAccess& a = *t.access;
        Ui::Veltrix& f = t.form();
        QCOMPARE(w.objectName(), QStringLiteral("Veltrix"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Lumo"));
        QCOMPARE(texts(f.tWDisplay), QStringList({"Sensor Image", "2D Profile", "3D View"}));
        QCOMPARE(f.tWDisplay->currentIndex(), 0);
        QVERIFY(f.tWDisplay->widget(0)->isAncestorOf(f.graphicsView));
        QVERIFY(f.tWDisplay->widget(1)->isAncestorOf(f.customPlot));
        QCOMPARE(f.dWProduct->windowTitle(), QStringLiteral("Product Parameters"));
        QCOMPARE(f.dWSettings->windowTitle(), QStringLiteral("Sensor Settings"));
        QCOMPARE(w.dockWidgetArea(f.dWProduct), Qt::LeftDockWidgetArea);
        QCOMPARE(w.dockWidgetArea(f.dWSettings), Qt::BottomDockWidgetArea);
        QCOMPARE(f.toolBox->itemText(0), QStringLiteral("Angle Calculation"));
        QVERIFY(f.toolBox->widget(0)->isAncestorOf(f.dsBPhiMin1));
        QCOMPARE(texts(f.tabWidget),
                 QStringList({"General Settings", "Basics", "Advanced", "3D Display"}));
        QCOMPARE(f.tabWidget->currentIndex(), 1);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(f.tabWidget->isTabEnabled(i), i < 3);
        QCOMPARE(a.online(), 1);
        QCOMPARE(a.productPending(), 1);
        QCOMPARE(a.status(), QStringLiteral("Disconnected"));
        QCOMPARE(a.statusStyle(), QStringLiteral("background-color: red"));
        QVERIFY(a.imageScene() && f.graphicsView->scene() == a.imageScene());
        QCOMPARE(f.customPlot->itemCount(), 4);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(f.customPlot->item(i), static_cast<QCPAbstractItem*>(a.roiRect(i)));
            QCOMPARE(f.customPlot->item(2 + i), static_cast<QCPAbstractItem*>(a.roiLine(i)));
        }
        const QStringList off = {"disconnectAct",   "captureAct",    "recordAct",   "stopAct",
                                 "saveImageAct",    "writeFlashAct", "openDataAct", "nextDataAct",
                                 "previousDataAct", "display3DAct"};
        for (const char* name :
             {"connectAct", "quitAct", "fitViewAct", "panAct", "zoomInAct", "zoomOutAct",
              "xAxisZoomAct", "zAxisZoomAct", "aboutAct", "aboutQtAct", "aboutSensorAct",
              "saveSettingsAct", "loadSettingsAct", "loadProductAct", "saveProductAct"})
            QVERIFY2(a.action(name)->isEnabled(), name);
        for (const QString& name : off)
            QVERIFY2(!a.action(name)->isEnabled(), qPrintable(name));
        const QStringList octets = {f.lEIPAddress1->text(), f.lEIPAddress2->text(),
                                    f.lEIPAddress3->text(), f.lEIPAddress4->text()};
        QCOMPARE(octets.join('.'), QStringLiteral("192.168.0.65"));
        QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("1000"));
        QCOMPARE(f.lEAutoTriggerError->text(), QStringLiteral("0"));
        QVERIFY(f.lEAutoTriggerError->isReadOnly() && f.rBOnline->isChecked());
    }

    // Paths follow the working directory without "Program" (any case, every occurrence); a
    // first start makes nothing and leaves only the Range group at exit; Quit closes.
    void pathsFirstStartAndQuit()
    {
        const char* rules[][2] = {
            {"C:/Apps/Sensor/Program", "C:/Apps/Sensor/"}, {"C:/ProgramData/x", "C:/Data/x"},
            {"/home/u/PROGRAM/y", "/home/u//y"},           {"/pRoGrAm/a/Programs", "//a/s"},
            {"/home/u/Progra/m", "/home/u/Progra/m"},      {"", ""}};
        for (const auto& r : rules) {
            const Paths::Derived d = Paths::deriveFrom(r[0]);
            QCOMPARE(Paths::baseDirFrom(r[0]), QString(r[1]));
            QCOMPARE(QStringList({d.baseDir, d.dataDir, d.productFilePath, d.settingsFilePath}),
                     QStringList({r[1], r[1] + QString("/Data"), r[1] + QString("/ProdPar.txt"),
                                  r[1] + QString("/LumoPar.txt")}));
        }
        WindowFixture t;
        VeltrixTestAccess& a = *t.access;
        const QString cwd = QDir().absolutePath();
        QCOMPARE(QStringList({a.baseDir(), t.window->baseDirectory(), a.dataDir(),
                              a.productFilePath(), a.settingsFilePath(), a.registryPath()}),
                 QStringList({cwd, cwd, cwd + "/Data", cwd + "/ProdPar.txt", cwd + "/LumoPar.txt",
                              cwd + "/3DSensor.ini"}));
        QVERIFY(!QFileInfo::exists(a.dataDir()) && !QFileInfo::exists(t.iniPath()));
        QVERIFY(a.sensorNames().isEmpty() && a.sensorCombo()->count() == 0);
        QVERIFY(t.form().lWSensorList->count() == 0 && t.form().lEIP->text().isEmpty());
        QVERIFY(t.showAndWait());
        a.action("quitAct")->trigger();
        QTRY_VERIFY(!t.window->isVisible());
        a.storedRanges()[1] = 1280;
        t.close();
        QCOMPARE(t.groups(), QStringList{"Range"});
        Values expected;
        for (const char* unit : {"Pixel", "MM"})
            for (const char* key : {"LowerX", "UpperX", "LowerY", "UpperY"})
                expected.insert(QString("LastProfile%1%2").arg(unit, key), "0");
        expected["LastProfilePixelUpperX"] = "1280";
        QCOMPARE(t.group("Range"), expected);
    }

    void actionsMenusAndToolBars()
    {
        WindowFixture t;
        VeltrixTestAccess& a = *t.access;
        struct Action
        {
            const char* member;
            const char* text;
            int key; // QKeySequence::StandardKey, 0 for none
            const char* tip;
            const char* icon;
            int check; // 1 checkable, 2 checkable and checked
        };
        const Action actions[] = {
            {"saveSettingsAct", "&Save sensor settings", QKeySequence::Save,
             "Save the current sensor settings to PC", "save", 0},
            {"loadSettingsAct", "&Load sensor settings", QKeySequence::Open,
             "Load sensor settings from PC", "open", 0},
            {"loadProductAct", "&Load product parameters", 0, "Load product parameters from PC",
             "import", 0},
            {"saveProductAct", "&Save product parameters", 0, "Save product parameter to PC",
             "export", 0},
            {"connectAct", "&Connect", 0, "Connect to sensor", "connect", 0},
            {"disconnectAct", "&Disconnect", 0, "Disconnect from sensor", "disconnect", 0},
            {"captureAct", "&Capture", 0, "Capture image", "capture", 0},
            {"recordAct", "&Record", 0, "Record image", "record", 0},
            {"stopAct", "&Stop Capture/Record", 0, "Stop Capture image", "stopImg", 0},
            {"writeFlashAct", "&Write product and sensor settings to Tessa flash", 0,
             "Write sensor settings to sensor", "write", 0},
            {"quitAct", "&Quit", QKeySequence::Quit, "Quit the application", "", 0},
            {"fitViewAct", "&Fit to view", 0, "Fit to view", "fitToView", 0},
            {"panAct", "&Pan", 0, "Pan", "hand", 1},
            {"zoomInAct", "&Zoom in", 0, "Zoom in", "zoomIn", 0},
            {"zoomOutAct", "&Zoom out", 0, "Zoom out", "zoomOut", 0},
            {"xAxisZoomAct", "&X-Axis zoom", 0, "", "", 2},
            {"zAxisZoomAct", "&Z-Axis zoom", 0, "", "", 2},
            {"saveImageAct", "&Save image", 0, "Save image", "saveImage", 0},
            {"openDataAct", "&Open data", 0, "Open data", "openData", 0},
            {"nextDataAct", "&Next data", 0, "Next data", "next", 0},
            {"previousDataAct", "&Previous data", 0, "Previous data", "previous", 0},
            {"aboutAct", "&About UI", 0, "Show the application's About box", "", 0},
            {"aboutQtAct", "About &Qt", 0, "Show the Qt library's About box", "", 0},
            {"aboutSensorAct", "About Sensor", 0, "Show the firmware's About box", "", 0},
            {"display3DAct", "&3D Display", 0, "3D Display", "3D", 0}};
        for (const Action& r : actions) {
            QAction* act = a.action(r.member);
            QVERIFY2(act && act->parent() == t.window.get(), r.member);
            QCOMPARE(act->text(), QString(r.text));
            QCOMPARE(act->statusTip(), QString(r.tip));
            QCOMPARE(int(act->isCheckable()) + int(act->isChecked()), r.check);
            QCOMPARE(act->shortcuts(),
                     r.key ? QKeySequence::keyBindings(QKeySequence::StandardKey(r.key))
                           : QList<QKeySequence>());
            if (!*r.icon) {
                QVERIFY(act->icon().isNull());
                continue;
            }
            const QImage picture(QStringLiteral(":/images/%1.png").arg(r.icon));
            QCOMPARE(picture.size(), QSize(36, 36));
            QCOMPARE(act->icon().pixmap(36, 36).toImage().convertToFormat(QImage::Format_ARGB32),
                     picture.convertToFormat(QImage::Format_ARGB32));
        }
        QStringList bar;
        for (QAction* m : t.window->menuBar()->actions())
            bar << m->text();
        QCOMPARE(bar, QStringList({"&File", "&Action", "&View", "&Help"}));
        QCOMPARE(t.window->menuBar()->actions().at(3)->menu(), a.menu("helpMenu"));
        const char* const lists[][4] = {
            {"fileMenu", "&File",
             "&Save sensor settings|&Save product parameters|-|&Load sensor settings|&Load product "
             "parameters|-|&Write product and sensor settings to Tessa flash|E&xport point "
             "cloud...|-|&Quit",
             "0"},
            {"actionMenu", "&Action",
             "&Connect|&Disconnect|-|&Capture|&Record|&Stop Capture/Record|-|&Open data|&Previous "
             "data|&Next data|-|&3D Display",
             "0"},
            {"viewMenu", "&View",
             "&Pan|&Zoom in|&Zoom out|&Fit to view|&Save image|-|&X-Axis zoom|&Z-Axis zoom|-|"
             "Product Parameters|Sensor Settings",
             "0"},
            {"helpMenu", "&Help", "&About UI|About Sensor|About &Qt", "0"},
            {"fileToolBar", "File",
             "&Save sensor settings|&Load sensor settings|&Write product and sensor settings to "
             "Tessa flash|&Save product parameters|&Load product parameters",
             "36"},
            {"actionToolBar", "Action",
             "[sensorCombo]|&Connect|&Disconnect|-|&Capture|&Record|&Stop Capture/Record|-|"
             "&Previous data|&Open data|&Next data|-|&3D Display",
             "36"},
            {"viewToolBar", "View", "&Pan|&Zoom in|&Zoom out|&Fit to view|&Save image", "0"},
            {"statusToolBar", "Status", "[statusLine]", "0"}};
        for (const auto& l : lists) {
            QToolBar* tb = a.toolBar(l[0]);
            QWidget* owner = tb ? static_cast<QWidget*>(tb) : a.menu(l[0]);
            QCOMPARE(tb ? tb->windowTitle() : a.menu(l[0])->title(), QString(l[1]));
            QCOMPARE(entriesOf(owner, a), QString(l[2]).split('|'));
            if (!tb)
                continue;
            QCOMPARE(t.window->toolBarArea(tb), Qt::TopToolBarArea);
            const int standard = tb->style()->pixelMetric(QStyle::PM_ToolBarIconSize, nullptr, tb);
            QCOMPARE(tb->iconSize().width(),
                     QByteArray(l[3]).toInt() ? QByteArray(l[3]).toInt() : standard);
        }
        QVERIFY(t.showAndWait());
        int lastX = t.form().toolBar->x();
        for (const char* name : {"fileToolBar", "actionToolBar", "viewToolBar", "statusToolBar"}) {
            QToolBar* b = a.toolBar(name);
            QVERIFY2(b->isVisible() && b->x() > lastX, name);
            QCOMPARE(b->y(), a.toolBar("fileToolBar")->y());
            lastX = b->x();
        }
        const QList<QAction*> view = a.menu("viewMenu")->actions();
        QCOMPARE(view.at(9), t.form().dWProduct->toggleViewAction());
        QCOMPARE(view.at(10), t.form().dWSettings->toggleViewAction());
        t.form().dWSettings->close();
        view.at(10)->trigger();
        QVERIFY(!t.form().dWSettings->isHidden());
    }

    void aboutBoxes()
    {
        WindowFixture t;
        t.access->action("aboutAct")->trigger();
        QCOMPARE(t.dialogs.size(), size_t(1));
        QCOMPARE(t.dialogs[0].kind, Dialogs::Kind::About);
        QCOMPARE(t.dialogs[0].title, QStringLiteral("About Lumo"));
        QVERIFY(t.dialogs[0].text.startsWith(QStringLiteral("Lumo ")) &&
                t.dialogs[0].text.contains('\n'));
        const std::tuple<int, int, int, const char*> rows[] = {
            {0, 1280, 1024, "No camera is connected"},
            {-1, 1280, 1024, "No camera is connected"},
            {12, 1280, 1024, "This firmware is version 12\nThe sensor resolution is 1280 x 1024"},
            {1, 640, 480, "This firmware is version 1\nThe sensor resolution is 640 x 480"}};
        for (const auto& [firmware, width, height, text] : rows) {
            t.dialogs.clear();
            SensorParameters& p = t.access->params();
            p.firmwareVersion = firmware;
            p.ROI_DX_MAX = width;
            p.ROI_DY_MAX = height;
            t.access->action("aboutSensorAct")->trigger();
            QCOMPARE(t.onlyDialog(), dialogKey(Dialogs::Kind::About, "About Firmaware", text));
        }
    }

    // Every exposure mode and trigger mode, connected or not, acquiring or not.
    void enabling()
    {
        const QStringList plain = {
            "sBMaxNoProfileSave", "sBNBRLines",         "cBSensorMode",       "cBLaserMode",
            "cBExposureMode",     "cBSubsample",        "cBTriggerMode",      "cBLEMethode",
            "cBLEFilter",         "cBEthernetSendMode", "cBAlgorithmMode",    "cBSpeckleFilter",
            "cBMedianFilter",     "hSGainVal",          "sBGainVal",          "hSLEThreshold",
            "sBLEThreshold",      "hSLEMinLaserWidth",  "sBLEMinLaserWidth",  "hSLEMaxLaserWidth",
            "sBLEMaxLaserWidth",  "hSSearchAreaX",      "sBSearchAreaX",      "hSSearchAreaY",
            "sBSearchAreaY",      "hSSearchAreaDX",     "sBSearchAreaDX",     "hSSearchAreaDY",
            "sBSearchAreaDY",     "hSEthernetLinePckg", "sBEthernetLinePckg", "cBSensorField",
            "dsBNominalValue",    "dsBPosTolerance",    "dsBNegTolerance",    "dsBPhiMin1",
            "dsBPhiMax1",         "dsBPhiFilter1",      "cBLineAlgo1",        "sBLaserPoints1",
            "pBACTrainROI1",      "dsBPhiMin2",         "dsBPhiMax2",         "dsBPhiFilter2",
            "cBLineAlgo2",        "sBLaserPoints2",     "pBACTrainROI2"};
        const QStringList shutter = {"hSShutter", "sBShutter"};
        const QStringList autoShutter = {"hSLaserValue",     "sBLaserValue", "hSAutoShMin",
                                         "sBAutoShutterMin", "hSAutoShMax",  "sBAutoShutterMax"};
        const QStringList doubleShutter = {"hSDoubleShutter1", "sBDoubleShutter1",
                                           "hSDoubleShutter2", "sBDoubleShutter2"};
        const QStringList autoTrigger = {"hSAutoTriggerPeriode", "sBAutoTriggerPeriode",
                                         "lEAutoTriggerError"};
        const QStringList sensorList = {"pBAddSensor", "pBRemoveSensor", "rBOffline", "rBOnline"};
        const QStringList fileActions = {"saveSettingsAct", "loadSettingsAct", "loadProductAct",
                                         "saveProductAct"};
        const QStringList others = {
            "connectAct",   "disconnectAct", "captureAct",  "recordAct",       "stopAct",
            "saveImageAct", "openDataAct",   "nextDataAct", "previousDataAct", "display3DAct",
            "fitViewAct",   "panAct",        "quitAct",     "aboutSensorAct"};
        WindowFixture t;
        VeltrixTestAccess& a = *t.access;
        auto expect = [&](const QStringList& names, bool enabled) {
            for (const QString& name : names)
                if (t.control(name)->isEnabled() != enabled)
                    return name;
            return QString();
        };
        for (int exposure = -1; exposure <= 2; ++exposure)
            for (int trigger : {-1, 0, 2, 3, 5})
                for (int connected = 0; connected <= 1; ++connected)
                    for (int acquiring = 0; acquiring <= 1; ++acquiring) {
                        const QString row = QString("exp%1 trig%2 conn%3 acq%4")
                                                .arg(exposure)
                                                .arg(trigger)
                                                .arg(connected)
                                                .arg(acquiring);
                        a.acquiring() = 0;
                        a.sensorConnected() = connected;
                        t.form().cBExposureMode->setCurrentIndex(exposure);
                        t.form().cBTriggerMode->setCurrentIndex(trigger);
                        a.checkGUIEnabled();
                        for (int i = 0; i < others.size(); ++i)
                            a.action(others[i])->setEnabled((i + exposure + trigger) % 2);
                        a.acquiring() = acquiring;
                        a.checkGUIEnabled();
                        const bool idle = !acquiring;
                        QVERIFY2(t.form().cBExposureMode->currentIndex() == exposure,
                                 qPrintable(row));
                        QVERIFY2(t.form().cBTriggerMode->currentIndex() == trigger,
                                 qPrintable(row));
                        const QString wrong =
                            expect(plain, idle) + expect(shutter, idle && exposure <= 0) +
                            expect(autoShutter, idle && (exposure == -1 || exposure == 1)) +
                            expect(doubleShutter, idle && (exposure == -1 || exposure == 2)) +
                            expect(autoTrigger, idle && trigger < 3) +
                            expect(sensorList, !connected);
                        QVERIFY2(wrong.isEmpty(), qPrintable(row + " " + wrong));
                        for (const QString& name : fileActions)
                            QVERIFY2(a.action(name)->isEnabled() == idle, qPrintable(row + name));
                        QVERIFY2(a.action("writeFlashAct")->isEnabled() == (idle && connected),
                                 qPrintable(row));
                        for (int i = 0; i < others.size(); ++i)
                            QVERIFY2(a.action(others[i])->isEnabled() ==
                                         bool((i + exposure + trigger) % 2),
                                     qPrintable(row + others[i]));
                    }
        a.acquiring() = 0;
        a.sensorConnected() = 0;
        t.form().cBExposureMode->setCurrentIndex(0);
        t.form().cBTriggerMode->setCurrentIndex(2);
        QVERIFY(t.form().sBAutoTriggerPeriode->isEnabled());
        t.form().cBTriggerMode->setCurrentIndex(3); // choosing in the combo box is enough
        QVERIFY(!t.form().sBAutoTriggerPeriode->isEnabled());
        t.form().cBExposureMode->setCurrentIndex(2);
        QVERIFY(!t.form().sBShutter->isEnabled() && t.form().sBDoubleShutter2->isEnabled());
    }

    void settingsPanel()
    {
        WindowFixture t;
        Ui::Veltrix& f = t.form();
        const std::tuple<const char*, double, double, double, double> ranges[] = {
            {"sBPort", 1, 65535, 1, 1096},
            {"sBNBRLines", -1, 10000, 1, -1},
            {"sBShutter", 5, 500000, 5, 1000},
            {"hSShutter", 5, 5000, 5, 1000},
            {"sBAutoShutterMax", 5, 100000, 5, 5000},
            {"hSAutoShMax", 5, 5000, 5, 5000},
            {"sBSearchAreaX", 0, 1277, 1, 0},
            {"hSSearchAreaDY", 6, 1024, 1, 1024},
            {"hSRotationX", -180, 180, 1, 0},
            {"dsBPhiMax1", 0, 180, 1, 180}};
        for (const auto& [name, lo, hi, step, value] : ranges) {
            QWidget* w = t.control(name);
            QCOMPARE(QVector<double>(
                         {w->property("minimum").toDouble(), w->property("maximum").toDouble(),
                          w->property("singleStep").toDouble(), w->property("value").toDouble()}),
                     QVector<double>({lo, hi, step, value}));
        }
        const std::tuple<const char*, const char*, int> lists[] = {
            {"cBSensorMode",
             "Sensor Image|Profile (mm)|Uncalibrated Profile (Pix)|Binary Image|Product Angle", 0},
            {"cBLaserMode", "OFF|ON", 0},
            {"cBExposureMode", "Fixed Exposure|Auto Exposure|Double Exposure", 0},
            {"cBSubsample", "0|1|2", 0},
            {"cBTriggerMode",
             "Auto Trigger by falling edge|Auto Trigger by rising edge|Auto Trigger|"
             "Trigger Off|Rising Edge|Falling Edge",
             3},
            {"cBLEMethode", "Center Pixel|Barycenter|Filtered Barycenter", 2},
            {"cBEthernetSendMode", "Wait Until Finished|No Wait", 1},
            {"cBAlgorithmMode", "Fixed Point|Floating Point", 0},
            {"cBLEFilter", "Skip Bottom 2|Skip Bottom 1|No Filter|Skip Top 1|Skip Top 2", 2},
            {"cBSpeckleFilter", "0|3x3|5x5|7x7|9x9", 1},
            {"cBMedianFilter", "0|3x1|5x1|7x1|9x1", 0},
            {"cBSensorField", "Sensor Settings|Adapt to ROI|Full Size", 2},
            {"cBLineAlgo1", "Best Line|Hough", 1},
            {"cBLineAlgo2", "Best Line|Hough ", 1},
            {"cBThemeList", "Qt|Primary Colors|Digia|Stone Moss|Army Blue|Retro|Ebony|Isabelle",
             2}};
        for (const auto& [name, items, index] : lists) {
            auto* combo = t.control<QComboBox>(name);
            QCOMPARE(texts(combo), QString(items).split('|'));
            QCOMPARE(combo->currentIndex(), index);
        }
        const char* pairs[] = {"GainVal",        "Shutter",         "LaserValue",
                               "DoubleShutter1", "DoubleShutter2",  "AutoTriggerPeriode",
                               "LEThreshold",    "LEMinLaserWidth", "LEMaxLaserWidth",
                               "SearchAreaX",    "SearchAreaY",     "SearchAreaDX",
                               "SearchAreaDY",   "EthernetLinePckg"};
        for (const char* pair : pairs) {
            auto* sl = t.control<QSlider>(QString("hS") + pair);
            auto* sp = t.control<QSpinBox>(QString("sB") + pair);
            sp->setValue(sl->minimum() + 7);
            QCOMPARE(sl->value(), sl->minimum() + 7);
            sl->setValue(sl->minimum() + 3);
            QCOMPARE(sp->value(), sl->minimum() + 3);
        }
        for (auto [sl, sp] : {std::pair<QSlider*, QSpinBox*>{f.hSAutoShMin, f.sBAutoShutterMin},
                              {f.hSAutoShMax, f.sBAutoShutterMax}}) {
            sp->setValue(40);
            QCOMPARE(sl->value(), 40);
            sl->setValue(50);
            QCOMPARE(sp->value(), 50);
        }
        // A typed shutter past the slider's end pulls both to 5000; one arriving from the
        // record while the slider already stands at its end is kept.
        f.sBShutter->setValue(3000);
        f.sBShutter->setFocus();
        f.sBShutter->selectAll();
        QTest::keyClicks(f.sBShutter, "6000");
        QTest::keyClick(f.sBShutter, Qt::Key_Enter);
        QCOMPARE(QPoint(f.hSShutter->value(), f.sBShutter->value()), QPoint(5000, 5000));
        t.access->params().SHUTTER = 8000;
        t.access->applyParametersToControls();
        QCOMPARE(QPoint(f.hSShutter->value(), f.sBShutter->value()), QPoint(5000, 8000));
        QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("8000"));
    }

    // Each field goes to its control (codes as items), the ranges come from the record (the
    // long-exposure sliders stop at 5000), the enabling follows, the frame count stays.
    void recordIntoControls()
    {
        WindowFixture t;
        using P = SensorParameters;
        const std::tuple<int32_t P::*, int32_t, const char*, int> rows[] = {
            {&P::GAINVAL, 200, "sBGainVal", 200},
            {&P::GAINVAL, 200, "hSGainVal", 200},
            {&P::ExposureMode, 2, "cBExposureMode", 2},
            {&P::SHUTTER, 2500, "sBShutter", 2500},
            {&P::AutoShutterVal, 99, "sBLaserValue", 99},
            {&P::DoubleShutter1, 750, "sBDoubleShutter1", 750},
            {&P::DoubleShutter2, 4000, "sBDoubleShutter2", 4000},
            {&P::LASER, 1, "cBLaserMode", 1},
            {&P::TRIGGER, -1, "cBTriggerMode", 2},
            {&P::AutoTriggerFPS, 777, "sBAutoTriggerPeriode", 777},
            {&P::METHOD, 0, "cBLEMethode", 0},
            {&P::ReflexionFilter, -2, "cBLEFilter", 0},
            {&P::RlcThresh, 60, "sBLEThreshold", 60},
            {&P::MinWidth, 3, "sBLEMinLaserWidth", 3},
            {&P::MaxWidth, 70, "sBLEMaxLaserWidth", 70},
            {&P::ROI_X, 12, "sBSearchAreaX", 12},
            {&P::ROI_Y, 34, "sBSearchAreaY", 34},
            {&P::ROI_DX, 640, "sBSearchAreaDX", 640},
            {&P::ROI_DY, 480, "sBSearchAreaDY", 480},
            {&P::EthernetSendNoWait, 0, "cBEthernetSendMode", 0},
            {&P::EthernetPackNr, 9, "sBEthernetLinePckg", 9},
            {&P::ALGORITHM, 1, "cBAlgorithmMode", 1},
            {&P::MODE, 4, "cBSensorMode", 1},
            {&P::AutoShutterMin, 100, "sBAutoShutterMin", 100},
            {&P::AutoShutterMax, 3000, "sBAutoShutterMax", 3000},
            {&P::AutoShutterMax, 3000, "hSAutoShMax", 3000},
            {&P::SubSample, 2, "cBSubsample", 2},
            {&P::SpeckleFilter, 4, "cBSpeckleFilter", 4},
            {&P::MedianFilter, 3, "cBMedianFilter", 3},
            {&P::NBR_LINES, 50, "sBNBRLines", -1}};
        P& p = t.access->params();
        for (const auto& [field, value, control, shownValue] : rows)
            p.*field = value;
        p.GAINVAL_MIN = 1;
        p.GAINVAL_MAX = 511;
        p.SHUTTER_MIN = 10;
        p.SHUTTER_MAX = 200000;
        p.DoubleShutter2_MAX = 50000;
        p.ROI_X_MAX = 1000;
        p.AutoTriggerError = 13;
        t.access->applyParametersToControls();
        for (const auto& [field, value, control, shownValue] : rows) {
            QWidget* w = t.control(control);
            auto* combo = qobject_cast<QComboBox*>(w);
            QVERIFY2((combo ? combo->currentIndex() : w->property("value").toInt()) == shownValue,
                     control);
        }
        Ui::Veltrix& f = t.form();
        QCOMPARE(f.lEAutoTriggerError->text(), QStringLiteral("13"));
        QVERIFY(f.sBAutoTriggerPeriode->isEnabled() && !f.sBShutter->isEnabled() &&
                f.sBDoubleShutter1->isEnabled());
        QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("2500"));
        QCOMPARE(
            QVector<int>({f.sBGainVal->minimum(), f.sBGainVal->maximum(), f.hSGainVal->maximum(),
                          f.sBShutter->minimum(), f.sBShutter->maximum(), f.hSShutter->minimum(),
                          f.hSShutter->maximum(), f.sBDoubleShutter2->maximum(),
                          f.hSDoubleShutter2->maximum(), f.sBSearchAreaX->maximum(),
                          f.hSSearchAreaX->maximum(), f.sBAutoShutterMax->maximum()}),
            QVector<int>({1, 511, 511, 10, 200000, 10, 5000, 50000, 5000, 1000, 1000, 100000}));
        p.NBR_LINES_MIN = 0;
        p.NBR_LINES_MAX = 100;
        t.access->applyParametersToControls();
        QCOMPARE(
            QVector<int>({f.sBNBRLines->minimum(), f.sBNBRLines->maximum(), f.sBNBRLines->value()}),
            QVector<int>({0, 100, 0}));
    }

    void registryAtStart()
    {
        WindowFixture t(iniFor(three), true);
        QCOMPARE(t.access->sensorCount(), 3);
        QCOMPARE(t.access->sensorNames(), QStringList({"Alpha", "Beta", "Gamma"}));
        QCOMPARE(texts(t.form().lWSensorList), t.access->sensorNames());
        QCOMPARE(texts(t.access->sensorCombo()), t.access->sensorNames());
        QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
        QCOMPARE(shown(t), QStringLiteral("0 192.168.0.65:1096"));
        t.form().lWSensorList->setCurrentRow(2);
        QCOMPARE(shown(t), QStringLiteral("2 172.16.5.9:3001"));
        QVERIFY(t.form().lEIP->isReadOnly() && t.form().lEPort->isReadOnly());
        const std::pair<QByteArray, QStringList> damaged[] = {
            {"[Sensors]\nNumberOfSensors=3\nSensorName1=One\nSensorName3=Three\n",
             {"One", "", "Three"}},
            {"[Sensors]\nNumberOfSensors=many\nSensorName1=One\n", {}}};
        for (const auto& [ini, names] : damaged) {
            WindowFixture d(ini, true);
            QCOMPARE(d.access->sensorNames(), names);
            QCOMPARE(texts(d.form().lWSensorList), names);
        }
    }

    void addSensors()
    {
        WindowFixture t;
        addSensor(t, "Line_1", {"192", "168", "0", "65"}, 1096);
        QCOMPARE(t.group("Sensors"), sensorsGroup({{"Line_1", "192.168.0.65", "1096"}}));
        QVERIFY(t.iniBytes().contains("\nSensorIP1=192.168.0.65\n"));
        QCOMPARE(shown(t), QStringLiteral("0 192.168.0.65:1096"));
        QCOMPARE(texts(t.access->sensorCombo()), QStringList{"Line_1"});
        QCOMPARE(t.onlyDialog(), dialogKey(Dialogs::Kind::Information, "3DSensor",
                                           "The sensor is successfully added."));
        addSensor(t, "line_1", {"010", "0", "00", "7"}, 1); // another name; octets kept as typed
        QCOMPARE(t.group("Sensors"),
                 sensorsGroup({{"Line_1", "192.168.0.65", "1096"}, {"line_1", "010.0.00.7", "1"}}));

        WindowFixture u(iniFor(three), true);
        u.access->sensorCombo()->setCurrentIndex(2);
        addSensor(u, "Delta", {"192", "168", "1", "7"}, 4242);
        QCOMPARE(u.group("Sensors"),
                 sensorsGroup(three + QList<Entry>{{"Delta", "192.168.1.7", "4242"}}));
        QCOMPARE(shown(u), QStringLiteral("3 192.168.1.7:4242"));
        QCOMPARE(texts(u.access->sensorCombo()), QStringList({"Alpha", "Beta", "Gamma", "Delta"}));
        QCOMPARE(u.access->sensorCombo()->currentIndex(), 0);

        const QString incomplete = "The data you give is incomplete.\nPlease fill in all the data.";
        const std::tuple<QString, QStringList, QString> refusals[] = {
            {"", {"192", "168", "0", "65"}, incomplete},
            {"S", {"", "168", "0", "65"}, incomplete},
            {"S", {"192", "168", "", "65"}, incomplete},
            {"S", {"192", "168", "0", ""}, incomplete},
            {"Beta",
             {"1", "2", "3", "4"},
             "The name you give is already existing.\nPlease enter another name."}};
        for (const auto& [name, octets, message] : refusals) {
            WindowFixture r(iniFor(three), true);
            addSensor(r, name, octets, 5);
            QCOMPARE(r.onlyDialog(), dialogKey(Dialogs::Kind::Critical, "3D Sensor", message));
            QCOMPARE(r.iniBytes(), iniFor(three));
            QCOMPARE(r.form().lWSensorList->count(), 3);
        }
    }

    void removeSensors()
    {
        for (int row = 0; row < 3; ++row) {
            WindowFixture t(iniFor(three), true);
            t.form().lWSensorList->setCurrentRow(row);
            t.access->sensorCombo()->setCurrentIndex(2);
            QTest::mouseClick(t.form().pBRemoveSensor, Qt::LeftButton);
            QList<Entry> left = three;
            left.removeAt(row);
            const int selected = row == 2 ? 1 : 0;
            QCOMPARE(t.group("Sensors"), sensorsGroup(left));
            QCOMPARE(t.access->sensorCount(), 2);
            const QStringList names = {left[0].name, left[1].name};
            QCOMPARE(t.access->sensorNames(), names);
            QCOMPARE(texts(t.form().lWSensorList), names);
            QCOMPARE(texts(t.access->sensorCombo()), names);
            QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
            QCOMPARE(shown(t), QStringLiteral("%1 %2:%3")
                                   .arg(selected)
                                   .arg(left[selected].ip, left[selected].port));
            QCOMPARE(t.onlyDialog(), dialogKey(Dialogs::Kind::Information, "3DSensor",
                                               "The sensor is successfully removed."));
        }
        WindowFixture solo(iniFor({{"Solo", "192.168.0.65", "1096"}}), true);
        QTest::mouseClick(solo.form().pBRemoveSensor, Qt::LeftButton);
        QCOMPARE(solo.group("Sensors"), Values({{"NumberOfSensors", "0"}}));
        QVERIFY(solo.form().lWSensorList->count() == 0 && solo.access->sensorCombo()->count() == 0);
        QCOMPARE(shown(solo), QStringLiteral("-1 :"));
        const QByteArray before =
            "[Sensors]\nNumberOfSensors=0\n\n[Range]\nLastProfileMMLowerX=-12.5\n";
        WindowFixture none(before, true);
        QTest::mouseClick(none.form().pBRemoveSensor, Qt::LeftButton);
        QCOMPARE(none.iniBytes(), before);
        QVERIFY(none.dialogs.empty());
    }

    // Ranges read at start and written at exit; zooms and the online/offline switch keep
    // them in the slots of the unit shown (pixel 0..3, mm 4..7).
    void plotRanges()
    {
        WindowFixture t(iniFor(three) +
                            "[Range]\nLastProfilePixelLowerX=-3\nLastProfilePixelUpperX=1280\n"
                            "LastProfilePixelLowerY=0.000125\nLastProfilePixelUpperY=1.23457e+06\n"
                            "LastProfileMMLowerX=1.5e-07\nLastProfileMMUpperX=-12.5\n"
                            "LastProfileMMLowerY=rubbish\n",
                        true);
        double* r = t.access->storedRanges();
        QCOMPARE(QVector<double>(r, r + 8),
                 QVector<double>({-3, 1280, 0.000125, 1.23457e+06, 1.5e-07, -12.5, 0.0, 0.0}));
        r[1] = 1234567.0;
        r[2] = -3.25;
        r[7] = 1e-9;
        t.close();
        QCOMPARE(t.group("Range"), Values({{"LastProfilePixelLowerX", "-3"},
                                           {"LastProfilePixelUpperX", "1.23457e+06"},
                                           {"LastProfilePixelLowerY", "-3.25"},
                                           {"LastProfilePixelUpperY", "1.23457e+06"},
                                           {"LastProfileMMLowerX", "1.5e-07"},
                                           {"LastProfileMMUpperX", "-12.5"},
                                           {"LastProfileMMLowerY", "0"},
                                           {"LastProfileMMUpperY", "1e-09"}}));
        QCOMPARE(t.group("Sensors"), sensorsGroup(three));

        for (int unit = 0; unit <= 3; ++unit) {
            WindowFixture z;
            z.access->plotUnit() = unit;
            z.access->saveLastZoomXAxis(QCPRange(-5, 7));
            z.access->saveLastZoomYAxis(QCPRange(11, 13));
            QVector<double> expected(8, 0.0);
            for (int i = 0; i < 4 && (unit == 1 || unit == 2); ++i)
                expected[(unit - 1) * 4 + i] = QVector<double>({-5, 7, 11, 13})[i];
            QCOMPARE(QVector<double>(z.access->storedRanges(), z.access->storedRanges() + 8),
                     expected);
        }

        WindowFixture o;
        VeltrixTestAccess& a = *o.access;
        QCustomPlot* plot = o.form().customPlot;
        for (int round = 0; round < 2; ++round) {
            const bool offline = round == 0;
            a.plotUnit() = offline ? 2 : 1;
            plot->xAxis->setRange(-7 + round, 9);
            plot->yAxis->setRange(11, 13 + round);
            (offline ? o.form().rBOffline : o.form().rBOnline)->click();
            QCOMPARE(a.online(), offline ? 0 : 1);
            QCOMPARE(a.status(), offline ? QString("Offline") : QString("Disconnected"));
            QCOMPARE(a.statusStyle(), QString("background-color: ") + (offline ? "blue" : "red"));
            QCOMPARE(a.action("connectAct")->isEnabled(), !offline);
            QVERIFY(!a.action("disconnectAct")->isEnabled());
            for (const char* name :
                 {"openDataAct", "nextDataAct", "previousDataAct", "display3DAct"})
                QVERIFY2(a.action(name)->isEnabled() == offline, name);
            QCOMPARE(o.form().tabWidget->isTabEnabled(3), offline);
        }
        QCOMPARE(QVector<double>(a.storedRanges(), a.storedRanges() + 8),
                 QVector<double>({-6, 9, 11, 14, -7, 9, 11, 13}));
    }

    void inputValidators()
    {
        WindowFixture t;
        QVERIFY(t.showAndWait());
        t.form().tabWidget->setCurrentIndex(0);
        auto typed = [&](QLineEdit* edit, const QString& keys) {
            edit->clear();
            edit->setFocus();
            QTest::keyClicks(edit, keys);
            return edit->text();
        };
        Ui::Veltrix& f = t.form();
        QCOMPARE(QStringList({typed(f.lEIPAddress1, "224"), typed(f.lEIPAddress1, "1000"),
                              typed(f.lEIPAddress1, "223"), typed(f.lEIPAddress1, "0"),
                              typed(f.lEIPAddress2, "256"), typed(f.lEIPAddress3, "300"),
                              typed(f.lEIPAddress4, "255"), typed(f.lESensorName, "Line 1-a.b_C")}),
                 QStringList({"22", "100", "223", "0", "25", "30", "255", "Line1ab_C"}));
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
