// The main window starts with its composition, start values, state and the paths derived from
// the working directory, and leaves only the remembered ranges behind when it closes on a
// first start.
#include "app/paths.h"
#include "windowaccess.h"

#include <QDockWidget>
#include <QGraphicsScene>
#include <QToolBox>
#include <qcustomplot.h>

class TestWindowStart : public QObject
{
    Q_OBJECT

private slots:
    void composition();
    void stateAtStart();
    void actionsAtStart();
    void baseDirRule_data();
    void baseDirRule();
    void derivedPaths();
    void firstStartWritesOnlyRanges();
    void quitClosesWindow();
};

// Catches a wrong title or object name, missing or misordered tabs, docks in the wrong area,
// and the 3D settings tab unlocked before the window goes offline.
void TestWindowStart::composition()
{
    WindowUnderTest t;
    Veltrix& w = *t.window;
    QCOMPARE(w.objectName(), QStringLiteral("Veltrix"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Lumo"));

    QCOMPARE(texts(t.form().tWDisplay), QStringList({"Sensor Image", "2D Profile", "3D View"}));
    QCOMPARE(t.form().tWDisplay->currentIndex(), 0);
    QVERIFY(t.form().tWDisplay->widget(0)->isAncestorOf(t.form().graphicsView));
    QVERIFY(t.form().tWDisplay->widget(1)->isAncestorOf(t.form().customPlot));

    QCOMPARE(t.form().dWProduct->windowTitle(), QStringLiteral("Product Parameters"));
    QCOMPARE(t.form().dWSettings->windowTitle(), QStringLiteral("Sensor Settings"));
    QCOMPARE(w.dockWidgetArea(t.form().dWProduct), Qt::LeftDockWidgetArea);
    QCOMPARE(w.dockWidgetArea(t.form().dWSettings), Qt::BottomDockWidgetArea);
    QCOMPARE(t.form().toolBox->itemText(0), QStringLiteral("Angle Calculation"));
    QVERIFY(t.form().toolBox->widget(0)->isAncestorOf(t.form().dsBPhiMin1));

    QTabWidget* tabs = t.form().tabWidget;
    QCOMPARE(texts(tabs), QStringList({"General Settings", "Basics", "Advanced", "3D Display"}));
    QCOMPARE(tabs->currentIndex(), 1);
    QVERIFY(tabs->isTabEnabled(0) && tabs->isTabEnabled(1) && tabs->isTabEnabled(2));
    QVERIFY(!tabs->isTabEnabled(3));
}

// Catches wrong start flags, a status line that does not say it is disconnected, and missing
// or misordered ROI items in the profile plot.
void TestWindowStart::stateAtStart()
{
    WindowUnderTest t;
    VeltrixTestAccess& a = *t.access;
    QCOMPARE(a.online(), 1);
    QCOMPARE(a.productPending(), 1); // the sensor's job is read at the first connect
    QCOMPARE(a.statusLine()->text(), QStringLiteral("Disconnected"));
    QCOMPARE(a.statusLine()->styleSheet(), QStringLiteral("background-color: red"));
    QCOMPARE(t.form().graphicsView->scene(), a.imageScene());
    QVERIFY(a.imageScene());

    QCustomPlot* plot = t.form().customPlot;
    QCOMPARE(plot->itemCount(), 4);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(plot->item(i), static_cast<QCPAbstractItem*>(a.roiRect(i)));
        QCOMPARE(plot->item(2 + i), static_cast<QCPAbstractItem*>(a.roiLine(i)));
    }
}

// Catches an action usable before a sensor is connected (or the reverse).
void TestWindowStart::actionsAtStart()
{
    WindowUnderTest t;
    const QStringList enabled = {
        "connectAct",     "quitAct",         "fitViewAct",      "panAct",         "zoomInAct",
        "zoomOutAct",     "xAxisZoomAct",    "zAxisZoomAct",    "aboutAct",       "aboutQtAct",
        "aboutSensorAct", "saveSettingsAct", "loadSettingsAct", "loadProductAct", "saveProductAct"};
    const QStringList disabled = {"disconnectAct",   "captureAct",    "recordAct",   "stopAct",
                                  "saveImageAct",    "writeFlashAct", "openDataAct", "nextDataAct",
                                  "previousDataAct", "display3DAct"};
    for (const QString& name : enabled)
        QVERIFY2(t.access->action(name)->isEnabled(), qPrintable(name));
    for (const QString& name : disabled)
        QVERIFY2(!t.access->action(name)->isEnabled(), qPrintable(name));
}

void TestWindowStart::baseDirRule_data()
{
    QTest::addColumn<QString>("workingDir");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* tag, const char* workingDir, const char* expected) {
        QTest::newRow(tag) << QString(workingDir) << QString(expected);
    };
    row("last component", "C:/Apps/Sensor/Program", "C:/Apps/Sensor/");
    row("inside a component", "C:/ProgramData/x", "C:/Data/x");
    row("upper case", "/home/u/PROGRAM/y", "/home/u//y");
    row("mixed case, twice", "/pRoGrAm/a/Programs", "//a/s");
    row("none", "/home/u/lumo", "/home/u/lumo");
    row("similar word", "/home/u/Progra/m", "/home/u/Progra/m");
    row("empty", "", "");
}

// Catches "Program" removed only once, only as a whole component, or case-sensitively, similar
// words removed too, and default paths not built on the base directory as plain text.
void TestWindowStart::baseDirRule()
{
    QFETCH(QString, workingDir);
    QFETCH(QString, expected);
    QCOMPARE(Paths::baseDirFrom(workingDir), expected);
    const Paths::Derived d = Paths::deriveFrom(workingDir);
    QCOMPARE(d.baseDir, expected);
    QCOMPARE(d.dataDir, expected + "/Data");
    QCOMPARE(d.productFilePath, expected + "/ProdPar.txt");
    QCOMPARE(d.settingsFilePath, expected + "/LumoPar.txt");
}

// Catches a window whose paths are not derived from the working directory, and folders or
// files made at start.
void TestWindowStart::derivedPaths()
{
    WindowUnderTest t;
    VeltrixTestAccess& a = *t.access;
    const QString cwd = QDir().absolutePath();
    QVERIFY(!cwd.contains(QStringLiteral("program"), Qt::CaseInsensitive));
    QCOMPARE(a.baseDir(), cwd);
    QCOMPARE(t.window->baseDirectory(), cwd);
    QCOMPARE(a.dataDir(), cwd + "/Data");
    QCOMPARE(a.productFilePath(), cwd + "/ProdPar.txt");
    QCOMPARE(a.settingsFilePath(), cwd + "/LumoPar.txt");
    QCOMPARE(a.registryPath(), cwd + "/3DSensor.ini");
    QVERIFY(!QFileInfo::exists(a.dataDir()));
    QVERIFY(!QFileInfo::exists(a.registryPath()));
}

// Catches a first start that invents sensors or an address, writes the registry early, or
// leaves anything but the Range group at exit.
void TestWindowStart::firstStartWritesOnlyRanges()
{
    WindowUnderTest t;
    QVERIFY(t.access->sensorNames().isEmpty());
    QCOMPARE(t.access->sensorCombo()->count(), 0);
    QCOMPARE(t.form().lWSensorList->count(), 0);
    QVERIFY(t.form().lEIP->text().isEmpty());
    QVERIFY(t.form().lEPort->text().isEmpty());
    QVERIFY(!QFileInfo::exists(t.iniPath()));

    t.close();
    QCOMPARE(t.groups(), QStringList{"Range"});
    const QMap<QString, QString> expected = {
        {"LastProfilePixelLowerX", "0"}, {"LastProfilePixelUpperX", "0"},
        {"LastProfilePixelLowerY", "0"}, {"LastProfilePixelUpperY", "0"},
        {"LastProfileMMLowerX", "0"},    {"LastProfileMMUpperX", "0"},
        {"LastProfileMMLowerY", "0"},    {"LastProfileMMUpperY", "0"},
    };
    QCOMPARE(t.group("Range"), expected);
}

// Catches a Quit entry that does not close the window, or a close that skips saving ranges.
void TestWindowStart::quitClosesWindow()
{
    WindowUnderTest t;
    QVERIFY(t.showAndWait());
    t.access->action("quitAct")->trigger();
    QTRY_VERIFY(!t.window->isVisible());
    t.access->storedRanges()[1] = 1280;
    t.close();
    QCOMPARE(t.group("Range").value("LastProfilePixelUpperX"), QStringLiteral("1280"));
}

QTEST_MAIN(TestWindowStart)
#include "test_window_start.moc"
