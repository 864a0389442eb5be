// The main window without a sensor: composition, start state and paths, the About boxes,
// actions, menus and tool bars, enabling, the settings panel, the sensor list in 3DSensor.ini,
// the remembered plot ranges and the online/offline switch, product parameter files and the
// offline browsing of recordings.
#include "app/paths.h"
#include "files/recordedprofile.h"
#include "windowfixture.h"

#include <algorithm>
#include <qcustomplot.h>

namespace {
QStringList texts(const QAbstractItemModel* model)
{
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString();
    return out;
}

const SensorEntries three = {{"Alpha", "192.168.0.65", "1096"},
                             {"Beta", "10.0.0.2", "2000"},
                             {"Gamma", "172.16.5.9", "3001"}};

// The lines of the Sensors group of an ini text, sorted: as the window writes them and as
// iniFor() gives them.
QStringList sensorKeys(const QByteArray& ini)
{
    QStringList keys = QString(ini).section("[Sensors]\n", 1).section("\n[", 0, 0).split('\n');
    keys.sort();
    return keys;
}

void addSensor(WindowFixture& t, const QString& name, const QString& address, int port)
{
    Ui::Veltrix& f = t.form();
    f.lESensorName->setText(name);
    int i = 0;
    for (QLineEdit* field : {f.lEIPAddress1, f.lEIPAddress2, f.lEIPAddress3, f.lEIPAddress4})
        field->setText(address.section('.', i, i)), ++i;
    f.sBPort->setValue(port);
    QTest::mouseClick(f.pBAddSensor, Qt::LeftButton);
}

// The selected row, its address and port, the names listed (and the tool bar's or those kept
// when they differ), the tool bar's choice and the count kept.
QString shown(WindowFixture& t)
{
    Ui::Veltrix& f = t.form();
    VeltrixTestAccess& a = *t.access;
    const QString names = texts(f.lWSensorList->model()).join(',');
    const QString bar = texts(a.sensorCombo()->model()).join(',');
    const QString kept = a.sensorNames().join(',');
    return QString("%1 %2:%3 %4%5%6 @%7 #%8")
        .arg(f.lWSensorList->currentRow())
        .arg(f.lEIP->text(), f.lEPort->text(), names, bar == names ? "" : " bar " + bar,
             kept == names ? "" : " kept " + kept)
        .arg(a.sensorCombo()->currentIndex())
        .arg(a.sensorCount());
}

// The eight stored plot ranges.
QString ranges(VeltrixTestAccess& a)
{
    QStringList out;
    for (int i = 0; i < 8; ++i)
        out << QString::number(a.storedRanges()[i], 'g', 10);
    return out.join(' ');
}

// "name" for an enabled action, "!name" for a disabled one.
QString enabledActions(VeltrixTestAccess& a, const QString& names)
{
    QStringList out;
    for (const QString& name : names.split(' '))
        out << (a.action(name)->isEnabled() ? name : "!" + name);
    return out.join(' ');
}

const QString parameterFiles = "|Parameter files (*.txt)";

using Points = std::vector<std::pair<double, double>>;
using Frames = std::vector<std::pair<int, Points>>;

// n points moving away from x0, all exact with three decimals.
Points profile(int n, double x0)
{
    Points p;
    for (int i = 0; i < n; ++i)
        p.emplace_back(x0 + (x0 < 0 ? -i : i) * 0.25, 10 + i * 0.125);
    return p;
}

// A product recording: each frame ends in a result line (and here a blank line).
QByteArray recording(const Frames& frames)
{
    QByteArray out;
    char line[RecordedProfile::kMaxLineLength];
    for (const auto& [frame, points] : frames) {
        for (const auto& [x, z] : points)
            out.append(line, int(RecordedProfile::formatPointLine(line, x, frame, z)));
        out += "ANGLE=90.00; ERROR=0;\r\n\r\n";
    }
    return out;
}

// The points of graph 0 in key order.
Points plotted(VeltrixTestAccess& a)
{
    Points out;
    for (const QCPGraphData& d : *a.form().customPlot->graph(0)->data())
        out.emplace_back(d.key, d.value);
    return out;
}

// A block as the plot shows it: its points and (0, 0) up to a sensor line, in key order.
Points padded(Points p)
{
    p.resize(std::max<std::size_t>(1280, p.size()));
    std::sort(p.begin(), p.end());
    return p;
}
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    // A first start in an empty directory: start state, paths (without "Program", any case,
    // every occurrence), the About boxes, actions, menus and tool bars. The settings panel:
    // enabling in every exposure and trigger mode, connected or not, acquiring or not; ranges,
    // slider couplings, the long-exposure sliders' end at 5000, what the address and name fields
    // accept. Quit closes, and only the Range group is written at exit.
    void firstStart()
    {
        QStringList bases; // the file names in it are checked on the window below
        for (const char* dir : {"C:/Apps/Sensor/Program", "C:/ProgramData/x", "/home/u/PROGRAM/y",
                                "/pRoGrAm/a/Programs", "/home/u/Progra/m"})
            bases << Paths::deriveFrom(dir).baseDir;
        QCOMPARE(bases.join(' '),
                 QString("C:/Apps/Sensor/ C:/Data/x /home/u//y //a/s /home/u/Progra/m"));
        WindowFixture t;
        Veltrix& w = *t.window;
        VeltrixTestAccess& a = *t.access;
        Ui::Veltrix& f = t.form();
        // Recordings started within the same second never share a file.
        const QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
        QStringList recordings;
        for (int i = 0; i < 3; ++i) {
            recordings << Paths::newRecordingPath(t.dir.path(), "profile_mm_", now);
            QVERIFY(putFile(recordings.last(), "x"));
        }
        QCOMPARE(recordings.join(' ').remove(t.dir.path() + "/"),
                 QString("profile_mm_20260102-030405.txt profile_mm_20260102-030405-2.txt "
                         "profile_mm_20260102-030405-3.txt"));
        QVERIFY(w.windowTitle() == "Lumo" && f.tabWidget->isTabEnabled(2) &&
                !f.tabWidget->isTabEnabled(3));
        QVERIFY(a.online() == 1 && a.productPending() == 1 && f.rBOnline->isChecked());
        QCOMPARE(a.state(), QString("Disconnected|red| connect"));
        const QString actions =
            "connectAct quitAct fitViewAct panAct zoomInAct zoomOutAct xAxisZoomAct zAxisZoomAct "
            "aboutAct aboutQtAct aboutSensorAct saveSettingsAct loadSettingsAct loadProductAct "
            "saveProductAct";
        const QString off = "disconnectAct captureAct recordAct stopAct saveImageAct "
                            "writeFlashAct openDataAct nextDataAct previousDataAct display3DAct";
        QCOMPARE(enabledActions(a, actions + " " + off),
                 actions + " !" + QString(off).replace(" ", " !"));
        QCOMPARE(QStringList({f.lEIPAddress1->text(), f.lEIPAddress2->text(),
                              f.lEIPAddress3->text(), f.lEIPAddress4->text(),
                              f.lineEdit_AutoShError->text(), f.lEAutoTriggerError->text()}),
                 QStringList({"192", "168", "0", "65", "1000", "0"}));
        QVERIFY(f.lEAutoTriggerError->isReadOnly());

        const QString cwd = QDir().absolutePath();
        QCOMPARE(
            QStringList({a.baseDir(), w.baseDirectory(), a.dataDir(), a.productFilePath(),
                         a.settingsFilePath()}),
            QStringList({cwd, cwd, cwd + "/Data", cwd + "/ProdPar.txt", cwd + "/LumoPar.txt"}));
        QVERIFY(!QFileInfo::exists(a.dataDir()) && !QFileInfo::exists(t.iniPath()));
        QVERIFY(a.sensorNames().isEmpty() && a.sensorCombo()->count() == 0);

        a.aboutAct()->trigger();
        QVERIFY(t.shown().contains(QRegularExpression("^2\\|About Lumo\\|Lumo .*\n")));
        QString about;
        for (const auto& [version, width, height] :
             {std::tuple{0, 1280, 1024}, {-1, 1280, 1024}, {1, 640, 480}}) {
            std::tie(a.params().firmwareVersion, a.params().ROI_DX_MAX, a.params().ROI_DY_MAX) =
                std::tie(version, width, height);
            a.aboutSensorAct()->trigger();
            about += t.shown() + "\n";
        }
        QCOMPARE(about, QString("2|About Firmaware|No camera is connected\n"
                                "2|About Firmaware|No camera is connected\n"
                                "2|About Firmaware|This firmware is version 1\n"
                                "The sensor resolution is 640 x 480\n"));
        // Each menu and tool bar: its title and entries, "~" after a checkable one, "*" after a
        // checked one, then the shortcuts.
        QString seen;
        for (const char* name : {"fileMenu", "actionMenu", "viewMenu", "helpMenu", "fileToolBar",
                                 "actionToolBar", "viewToolBar", "statusToolBar"}) {
            auto* owner = qobject_cast<QWidget*>(a.named(name));
            auto* menu = qobject_cast<QMenu*>(owner);
            auto* bar = qobject_cast<QToolBar*>(owner);
            seen += (menu ? menu->title() : owner->windowTitle()) + ":";
            for (QAction* action : owner->actions()) {
                const QWidget* widget = bar ? bar->widgetForAction(action) : nullptr;
                seen += (widget && widget == a.sensorCombo()  ? "[sensorCombo]|"
                         : widget && widget == a.statusLine() ? "[statusLine]|"
                         : action->isSeparator()
                             ? "-|"
                             : action->text() + QString("~").left(action->isCheckable()) +
                                   QString("*").left(action->isChecked()) +
                                   QKeySequence::listToString(action->shortcuts()) + "|");
            }
            seen.chop(1);
            seen += '\n';
        }
        QCOMPARE(
            seen,
            QString("&File:&Save sensor settingsCtrl+S|&Save product parameters|-|&Load sensor "
                    "settingsCtrl+O|&Load product parameters|-|&Write product and sensor "
                    "settings to Tessa flash|E&xport point cloud...|-|&QuitCtrl+Q\n"
                    "&Action:&Connect|&Disconnect|-|&Capture|&Record|&Stop Capture/Record|-|"
                    "&Open data|&Previous data|&Next data|-|&3D Display\n"
                    "&View:&Pan~|&Zoom in|&Zoom out|&Fit to view|&Save image|-|&X-Axis zoom~*|"
                    "&Z-Axis zoom~*|-|Product Parameters~|Sensor Settings~\n"
                    "&Help:&About UI|About Sensor|About &Qt\n"
                    "File:&Save sensor settingsCtrl+S|&Load sensor settingsCtrl+O|&Write "
                    "product and sensor settings to Tessa flash|&Save product parameters|&Load "
                    "product parameters\n"
                    "Action:[sensorCombo]|&Connect|&Disconnect|-|&Capture|&Record|&Stop "
                    "Capture/Record|-|&Previous data|&Open data|&Next data|-|&3D Display\n"
                    "View:&Pan~|&Zoom in|&Zoom out|&Fit to view|&Save image\n"
                    "Status:[statusLine]\n"));
        const QList<QAction*> view = a.viewMenu()->actions(); // the docks' own toggles
        QVERIFY(view.at(9) == f.dWProduct->toggleViewAction() &&
                view.at(10) == f.dWSettings->toggleViewAction());
        t.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(t.window.get()));

        // The settings controls and file actions enabled when idle.
        const QString plain =
            "sBMaxNoProfileSave sBNBRLines cBSensorMode cBLaserMode cBExposureMode cBSubsample "
            "cBTriggerMode cBLEMethode cBLEFilter cBEthernetSendMode cBAlgorithmMode "
            "cBSpeckleFilter cBMedianFilter hSGainVal sBGainVal hSLEThreshold sBLEThreshold "
            "hSLEMinLaserWidth sBLEMinLaserWidth hSLEMaxLaserWidth sBLEMaxLaserWidth hSSearchAreaX "
            "sBSearchAreaX hSSearchAreaY sBSearchAreaY hSSearchAreaDX sBSearchAreaDX "
            "hSSearchAreaDY sBSearchAreaDY hSEthernetLinePckg sBEthernetLinePckg cBSensorField "
            "dsBNominalValue dsBPosTolerance dsBNegTolerance dsBPhiMin1 dsBPhiMax1 dsBPhiFilter1 "
            "cBLineAlgo1 sBLaserPoints1 pBACTrainROI1 dsBPhiMin2 dsBPhiMax2 dsBPhiFilter2 "
            "cBLineAlgo2 sBLaserPoints2 pBACTrainROI2 saveSettingsAct loadSettingsAct "
            "loadProductAct saveProductAct";
        // Actions the enabling leaves as they are.
        const QString others = "connectAct disconnectAct captureAct recordAct stopAct saveImageAct "
                               "openDataAct nextDataAct previousDataAct display3DAct fitViewAct "
                               "panAct quitAct aboutSensorAct";
        auto wrong = [&](const QString& names, bool enabled) {
            for (const QString& name : names.split(' ')) {
                auto* widget = t.window->findChild<QWidget*>(name);
                if ((widget ? widget->isEnabled() : a.action(name)->isEnabled()) != enabled)
                    return name + " ";
            }
            return QString();
        };
        for (int i = 0; i < 80; ++i) {
            const int exposure = i % 4 - 1, trigger = QVector<int>({-1, 0, 2, 3, 5})[i / 4 % 5];
            const int connected = i / 20 % 2, acquiring = i / 40;
            const bool idle = !acquiring;
            a.acquiring() = 0;
            a.sensorConnected() = connected;
            f.cBExposureMode->setCurrentIndex(exposure);
            f.cBTriggerMode->setCurrentIndex(trigger);
            a.checkGUIEnabled();
            for (const QString& name : others.split(' '))
                a.action(name)->setEnabled((i + i / 4 + 1) % 2);
            a.acquiring() = acquiring;
            a.checkGUIEnabled();
            const QString bad =
                wrong(plain, idle) + wrong("hSShutter sBShutter", idle && exposure <= 0) +
                wrong("hSLaserValue sBLaserValue hSAutoShMin sBAutoShutterMin hSAutoShMax "
                      "sBAutoShutterMax",
                      idle && (exposure == -1 || exposure == 1)) +
                wrong("hSDoubleShutter1 sBDoubleShutter1 hSDoubleShutter2 sBDoubleShutter2",
                      idle && (exposure == -1 || exposure == 2)) +
                wrong("hSAutoTriggerPeriode sBAutoTriggerPeriode lEAutoTriggerError",
                      idle && trigger < 3) +
                wrong("pBAddSensor pBRemoveSensor rBOffline rBOnline", !connected) +
                wrong("writeFlashAct", idle && connected) + wrong(others, (i + i / 4 + 1) % 2);
            QVERIFY2(bad.isEmpty(), qPrintable(QString("%1: %2").arg(i).arg(bad)));
        }
        a.acquiring() = a.sensorConnected() = 0;
        f.cBExposureMode->setCurrentIndex(0); // choosing in the combo boxes is enough
        QVERIFY(f.sBShutter->isEnabled() && !f.sBAutoTriggerPeriode->isEnabled());
        f.cBTriggerMode->setCurrentIndex(2);
        QVERIFY(f.sBAutoTriggerPeriode->isEnabled());

        QStringList limits; // name minimum maximum step value
        for (const char* name : {"sBPort", "sBNBRLines", "sBShutter", "hSShutter", "hSAutoShMax",
                                 "hSRotationX", "dsBPhiMax1"}) {
            limits << name;
            for (const char* property : {"minimum", "maximum", "singleStep", "value"})
                limits << t.window->findChild<QWidget*>(name)->property(property).toString();
        }
        QCOMPARE(limits.join(' '),
                 QString("sBPort 1 65535 1 1096 sBNBRLines -1 10000 1 -1 sBShutter 5 500000 5 "
                         "1000 hSShutter 5 5000 5 1000 hSAutoShMax 5 5000 5 5000 hSRotationX "
                         "-180 180 1 0 dsBPhiMax1 0 180 1 180"));
        for (const QString& pair :
             QString("GainVal Shutter LaserValue DoubleShutter1 DoubleShutter2 AutoTriggerPeriode "
                     "LEThreshold LEMinLaserWidth LEMaxLaserWidth SearchAreaX SearchAreaY "
                     "SearchAreaDX SearchAreaDY EthernetLinePckg AutoShMin/AutoShutterMin "
                     "AutoShMax/AutoShutterMax")
                 .split(' ')) {
            auto* sl = t.window->findChild<QSlider*>("hS" + pair.section('/', 0, 0));
            auto* sp = t.window->findChild<QSpinBox*>("sB" + pair.section('/', -1));
            sp->setValue(sl->minimum() + 7);
            QCOMPARE(sl->value(), sl->minimum() + 7);
            sl->setValue(sl->minimum() + 3);
            QCOMPARE(sp->value(), sl->minimum() + 3);
        }
        // A typed shutter past the slider's end pulls both to 5000; one arriving from the
        // record while the slider already stands at its end is kept.
        f.sBShutter->setValue(3000);
        f.sBShutter->setFocus();
        f.sBShutter->selectAll();
        QTest::keyClicks(f.sBShutter, "6000");
        QTest::keyClick(f.sBShutter, Qt::Key_Enter);
        QCOMPARE(QPoint(f.hSShutter->value(), f.sBShutter->value()), QPoint(5000, 5000));
        a.params().SHUTTER = 8000;
        a.applyParametersToControls();
        QCOMPARE(QPoint(f.hSShutter->value(), f.sBShutter->value()), QPoint(5000, 8000));
        QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("8000"));
        f.tabWidget->setCurrentIndex(0);
        auto typed = [&](QLineEdit* edit, const QString& keys) {
            edit->clear();
            edit->setFocus();
            QTest::keyClicks(edit, keys);
            return edit->text();
        };
        QCOMPARE(QStringList({typed(f.lEIPAddress1, "224"), typed(f.lEIPAddress1, "1000"),
                              typed(f.lEIPAddress1, "223"), typed(f.lEIPAddress1, "0"),
                              typed(f.lEIPAddress2, "256"), typed(f.lEIPAddress3, "300"),
                              typed(f.lEIPAddress4, "255"), typed(f.lESensorName, "Line 1-a.b_C")}),
                 QStringList({"22", "100", "223", "0", "25", "30", "255", "Line1ab_C"}));

        a.quitAct()->trigger();
        QTRY_VERIFY(!w.isVisible());
        a.storedRanges()[1] = 1280;
        t.close();
        QCOMPARE(QSettings(t.iniPath(), QSettings::IniFormat).childGroups(), QStringList{"Range"});
        QCOMPARE(ranges(*WindowFixture(t.iniBytes()).access), QString("0 1280 0 0 0 0 0 0"));
    }

    // The sensor list in 3DSensor.ini: read at start (also when damaged), added to (refused
    // when incomplete or a name exists), removed from (the row above is selected next).
    void sensorRegistry()
    {
        {
            WindowFixture t; // no file yet
            addSensor(t, "Line_1", "192.168.0.65", 1096);
            QVERIFY(t.iniBytes().contains("\nSensorIP1=192.168.0.65\n"));
            QCOMPARE(t.shown(), "1|3DSensor|The sensor is successfully added.");
            addSensor(t, "line_1", "010.0.00.7", 1); // another name; octets kept as typed
            QCOMPARE(sensorKeys(t.iniBytes()),
                     sensorKeys(iniFor(
                         {{"Line_1", "192.168.0.65", "1096"}, {"line_1", "010.0.00.7", "1"}})));
        }
        const std::pair<QByteArray, QStringList> damaged[] = {
            {"[Sensors]\nNumberOfSensors=3\nSensorName1=One\nSensorName3=Three\n",
             {"One", "", "Three"}},
            {"[Sensors]\nNumberOfSensors=many\nSensorName1=One\n", {}},
            {"[Sensors]\nNumberOfSensors=-2\nSensorName1=One\n", {}}};
        for (const auto& [ini, names] : damaged) {
            WindowFixture d(ini);
            QCOMPARE(d.access->sensorNames(), names);
            QCOMPARE(texts(d.form().lWSensorList->model()), names);
        }

        WindowFixture t(iniFor(three));
        VeltrixTestAccess& a = *t.access;
        QCOMPARE(shown(t), QString("0 192.168.0.65:1096 Alpha,Beta,Gamma @0 #3"));
        QVERIFY(t.form().lEIP->isReadOnly() && t.form().lEPort->isReadOnly());
        t.form().lWSensorList->setCurrentRow(2);
        a.sensorCombo()->setCurrentIndex(2);
        QCOMPARE(shown(t), QString("2 172.16.5.9:3001 Alpha,Beta,Gamma @2 #3"));
        addSensor(t, "Delta", "192.168.1.7", 4242);
        SensorEntries four = three;
        four.push_back({"Delta", "192.168.1.7", "4242"});
        QCOMPARE(sensorKeys(t.iniBytes()), sensorKeys(iniFor(four)));
        QCOMPARE(shown(t), QString("3 192.168.1.7:4242 Alpha,Beta,Gamma,Delta @0 #4"));

        const QByteArray before = t.iniBytes();
        for (QString s :
             {"/192.168.0.65", "S/.168.0.65", "S/192.168..65", "S/192.168.0.", "Beta/1.2.3.4"})
            addSensor(t, s.section('/', 0, 0), s.section('/', 1), 5);
        QVERIFY(t.iniBytes() == before && t.form().lWSensorList->count() == 4);
        QCOMPARE(t.shown(),
                 "1|3DSensor|The sensor is successfully added.\n" +
                     QString("0|3D Sensor|The data you give is incomplete.\nPlease fill in all the "
                             "data.\n")
                         .repeated(4) +
                     "0|3D Sensor|The name you give is already existing.\nPlease enter another "
                     "name.");

        // Removing rows 1, 2 (the last), 0, 0: the row above (or the first) is selected next.
        for (const auto& [row, after] : std::vector<std::pair<int, QString>>{
                 {1, "0 192.168.0.65:1096 Alpha,Gamma,Delta @0 #3"},
                 {2, "1 172.16.5.9:3001 Alpha,Gamma @0 #2"},
                 {0, "0 172.16.5.9:3001 Gamma @0 #1"},
                 {0, "-1 :  @-1 #0"}}) {
            t.form().lWSensorList->setCurrentRow(row);
            a.sensorCombo()->setCurrentIndex(a.sensorCombo()->count() - 1);
            QTest::mouseClick(t.form().pBRemoveSensor, Qt::LeftButton);
            four.erase(four.begin() + row);
            QCOMPARE(sensorKeys(t.iniBytes()), sensorKeys(iniFor(four)));
            QCOMPARE(shown(t), after);
        }
        const QByteArray empty = t.iniBytes();
        QTest::mouseClick(t.form().pBRemoveSensor, Qt::LeftButton); // nothing left to remove
        QVERIFY(t.iniBytes() == empty);
        QCOMPARE(t.shown() + "\n",
                 QString("1|3DSensor|The sensor is successfully removed.\n").repeated(4));
    }

    // Ranges read at start and written at exit; zooms and the online/offline switch keep
    // them in the slots of the unit shown (pixel 0..3, mm 4..7). The switch sets the status,
    // Connect/Disconnect, the data and 3D actions and the "3D Display" tab.
    void plotRangesAndOnlineSwitch()
    {
        WindowFixture t(iniFor(three) +
                        "[Range]\nLastProfilePixelLowerX=-3\nLastProfilePixelUpperX=1280\n"
                        "LastProfilePixelLowerY=0.000125\nLastProfilePixelUpperY=1.23457e+06\n"
                        "LastProfileMMLowerX=1.5e-07\nLastProfileMMUpperX=-12.5\n"
                        "LastProfileMMLowerY=rubbish\n");
        double* r = t.access->storedRanges();
        QCOMPARE(ranges(*t.access), QString("-3 1280 0.000125 1234570 1.5e-07 -12.5 0 0"));
        r[1] = 1234567.0;
        r[2] = -3.25;
        r[7] = 1e-9;
        t.close();
        QCOMPARE(ranges(*WindowFixture(t.iniBytes()).access), // as written: 6 digits
                 QString("-3 1234570 -3.25 1234570 1.5e-07 -12.5 0 1e-09"));
        QCOMPARE(sensorKeys(t.iniBytes()), sensorKeys(iniFor(three)));

        WindowFixture o;
        VeltrixTestAccess& a = *o.access;
        QStringList seen;
        for (int unit = 0; unit <= 3; ++unit) {
            std::fill(a.storedRanges(), a.storedRanges() + 8, 0.0);
            a.plotUnit() = unit;
            a.saveLastZoomXAxis(QCPRange(-5, 7));
            a.saveLastZoomYAxis(QCPRange(11, 13));
            seen << ranges(a);
        }
        QCOMPARE(seen.join(" | "), QString("0 0 0 0 0 0 0 0 | -5 7 11 13 0 0 0 0 | "
                                           "0 0 0 0 -5 7 11 13 | 0 0 0 0 0 0 0 0"));
        std::fill(a.storedRanges(), a.storedRanges() + 8, 0.0);
        QCustomPlot* plot = o.form().customPlot;
        seen.clear();
        for (int round = 0; round < 2; ++round) {
            a.plotUnit() = round ? 1 : 2;
            plot->xAxis->setRange(-7 + round, 9);
            plot->yAxis->setRange(11, 13 + round);
            (round ? o.form().rBOnline : o.form().rBOffline)->click();
            seen << QString("%1 %2 tab%3 ")
                            .arg(a.online())
                            .arg(a.state())
                            .arg(o.form().tabWidget->isTabEnabled(3)) +
                        enabledActions(a, "openDataAct nextDataAct previousDataAct display3DAct");
        }
        QCOMPARE(seen.join('\n'),
                 QString("0 Offline|blue| tab1 openDataAct nextDataAct previousDataAct "
                         "display3DAct\n1 Disconnected|red| connect tab0 !openDataAct "
                         "!nextDataAct !previousDataAct !display3DAct"));
        QCOMPARE(ranges(a), QString("-6 9 11 14 -7 9 11 13"));
    }

    // Save the job on one window, load it on a fresh one, which then browses a product recording
    // in mm (frames 0, 1, 2 longer than a sensor line, 5), a pixel one, a missing one.
    void saveLoadAndBrowse()
    {
        QTemporaryDir files;
        const QString demo = files.filePath("Demo.TXT.txt");
        const auto body = [](VeltrixTestAccess& a) { // the product file text without its date
            QString text;
            a.exportProductFile(&text);
            return text.section('\n', 3);
        };
        QString saved;
        {
            WindowFixture w;
            w.access->form().dsBPhiFilter1->setValue(2.7);
            w.access->form().cBLineAlgo2->setCurrentIndex(0);
            w.access->product().job[1].ROI_X_0 = 123.456789f;
            w.access->product().job[1].ROI_Y_1 = -0.000123456789f;
            w.answer = demo;
            w.access->saveProductAct()->trigger();
            QCOMPARE(w.shown(), "4|Save Product Parameters|" + w.window->baseDirectory() +
                                    "/ProdPar.txt" + parameterFiles);
            saved = body(*w.access);
        }
        WindowFixture w;
        VeltrixTestAccess& a = *w.access;
        const QString title = a.form().dWProduct->windowTitle();
        const QString before = body(a);
        a.productPending() = 0;
        w.answer = writtenFile(files.filePath("settings.txt"),
                               "[ProductInfo]\nFunction=Sensor\nSENSOR_ROI=0\n");
        a.loadProductAct()->trigger();
        QVERIFY(body(a) == before && a.productPending() == 0 &&
                a.form().dWProduct->windowTitle() == title && w.shown().startsWith("3|"));
        w.answer = demo;
        a.loadProductAct()->trigger();
        QCOMPARE(w.shown(), "3|Load Product Parameter|" + w.window->baseDirectory() +
                                "/ProdPar.txt" + parameterFiles);
        QCOMPARE(body(a), saved);
        QVERIFY(saved.contains("LINE_FILTER=2\n") && saved.contains("ROI_Y_1=-0.000123457\n"));
        QVERIFY(a.product().job[1].ROI_X_0 == 123.457f && a.productPending() == 1 &&
                a.roiTrainingState() == 3);
        QCOMPARE(a.form().dWProduct->windowTitle(), QString("Product Parameters: Demo"));

        const Frames frames = {{0, profile(3, -10.5)},
                               {1, profile(2, -20)},
                               {2, profile(2000, -300)},
                               {5, profile(1, -1)}};
        const QString mmFile =
            writtenFile(files.filePath("profile_mm_20260101-120000.txt"), recording(frames));
        QCPGraph* graph = a.form().customPlot->graph(0);
        a.form().rBOffline->click();
        w.answer = mmFile;
        a.openDataAct()->trigger();
        QCOMPARE(w.shown(), "3|Open offline data for 2D display|" + a.dataDir() + parameterFiles);
        const Points first = plotted(a);
        QVERIFY(graph->name() == "Line: 0" && first == padded(frames[0].second));
        QCOMPARE(a.form().customPlot->xAxis->label() + "|" + a.state(),
                 QString("x position in mm|profile_mm_20260101-120000|blue|"));
        // Forward past the end, back past the start (a step there does nothing).
        QString blocks;
        for (int step = 0; step < 12; ++step) {
            (step < 6 ? a.nextDataAct() : a.previousDataAct())->trigger();
            blocks += graph->name().remove("Line: ");
            if (step == 1 || step == 2 || step == 5)
                QCOMPARE(plotted(a),
                         padded(step == 2 ? Points() : frames[step == 1 ? 2 : 3].second));
        }
        QCOMPARE(blocks + (plotted(a) == first ? "" : " not the first"), "123455432100");

        w.answer = writtenFile(files.filePath("pixel.txt"), recording({{0, profile(4, 5)}}));
        a.openDataAct()->trigger();
        QCOMPARE(a.form().customPlot->yAxis->label(), QString("z position in pixel"));
        w.answer = files.filePath("missing.txt");
        a.openDataAct()->trigger();
        QVERIFY(w.shown().endsWith("\n0!|Lumo|No such file or directory") &&
                !a.offlineProfiles().isOpen());
        w.answer = mmFile;
        a.openDataAct()->trigger();
        a.form().rBOnline->click();
        QVERIFY(!a.offlineProfiles().isOpen() && a.offlineProfiles().blockStarts().empty());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
