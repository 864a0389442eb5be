// The main window starts with its composition, start values and state, and leaves only the
// remembered ranges behind when it closes on a first start.
#include "windowaccess.h"

#include <QDockWidget>
#include <QGraphicsScene>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBox>
#include <qcustomplot.h>

class TestWindowStart : public QObject
{
    Q_OBJECT

private slots:
    void windowIdentity();
    void displayTabs();
    void docks();
    void settingsTabs();
    void stateAtStart();
    void actionsAtStart();
    void plotItems();
    void imageScene();
    void derivedPaths();
    void firstStartWritesOnlyRanges();
    void quitClosesWindow();
};

void TestWindowStart::windowIdentity()
{
    WindowUnderTest t;
    Veltrix& w = *t.window;
    QCOMPARE(w.objectName(), QStringLiteral("Veltrix"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Lumo"));
    QCOMPARE(w.size(), QSize(1253, 761));
    QVERIFY(w.autoFillBackground());
    QCOMPARE(w.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QCOMPARE(w.menuBar()->objectName(), QStringLiteral("menuBar"));
    QCOMPARE(w.statusBar()->objectName(), QStringLiteral("statusBar"));
    QCOMPARE(t.form().toolBar->windowTitle(), QStringLiteral("toolBar"));
    QCOMPARE(w.toolBarArea(t.form().toolBar), Qt::TopToolBarArea);
    QVERIFY(t.form().toolBar->actions().isEmpty());
    // Corners: the left dock area owns both left corners, the right one both right corners.
    QCOMPARE(w.corner(Qt::TopLeftCorner), Qt::LeftDockWidgetArea);
    QCOMPARE(w.corner(Qt::BottomLeftCorner), Qt::LeftDockWidgetArea);
    QCOMPARE(w.corner(Qt::TopRightCorner), Qt::RightDockWidgetArea);
    QCOMPARE(w.corner(Qt::BottomRightCorner), Qt::RightDockWidgetArea);
}

void TestWindowStart::displayTabs()
{
    WindowUnderTest t;
    QTabWidget* tabs = t.form().tWDisplay;
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->currentIndex(), 0);
    const QStringList titles = {"Sensor Image", "2D Profile", "3D View"};
    const QStringList names = {"tab_4", "tab_5", "tab_6"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(tabs->tabText(i), titles[i]);
        QCOMPARE(tabs->widget(i)->objectName(), names[i]);
    }
    QVERIFY(tabs->widget(0)->isAncestorOf(t.form().graphicsView));
    QVERIFY(tabs->widget(1)->isAncestorOf(t.form().customPlot));
    QCOMPARE(t.form().labelX->text(), QStringLiteral("X"));
    QCOMPARE(t.form().labelY->text(), QStringLiteral("Z"));
    QCOMPARE(t.form().labelGraylevel->text(), QStringLiteral("G"));
    QCOMPARE(t.form().labelPosX->text(), QStringLiteral("X"));
    QCOMPARE(t.form().labelPosZ->text(), QStringLiteral("Z"));
    QCOMPARE(t.form().hzLayout3D->parentWidget(), tabs->widget(2));
}

void TestWindowStart::docks()
{
    WindowUnderTest t;
    Veltrix& w = *t.window;
    QDockWidget* product = t.form().dWProduct;
    QDockWidget* settings = t.form().dWSettings;
    QCOMPARE(product->windowTitle(), QStringLiteral("Product Parameters"));
    QCOMPARE(settings->windowTitle(), QStringLiteral("Sensor Settings"));
    QCOMPARE(w.dockWidgetArea(product), Qt::LeftDockWidgetArea);
    QCOMPARE(w.dockWidgetArea(settings), Qt::BottomDockWidgetArea);
    const QDockWidget::DockWidgetFeatures all = QDockWidget::DockWidgetClosable |
                                                QDockWidget::DockWidgetMovable |
                                                QDockWidget::DockWidgetFloatable;
    QCOMPARE(product->features() & all, all);

    QToolBox* box = t.form().toolBox;
    QCOMPARE(box->count(), 4);
    QCOMPARE(box->currentIndex(), 0);
    const QStringList pages = {"Angle Calculation", "Page 2", "Page", "Page"};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(box->itemText(i), pages[i]);
    QCOMPARE(box->widget(0)->objectName(), QStringLiteral("page"));
    QVERIFY(box->widget(0)->isAncestorOf(t.form().dsBPhiMin1));
}

void TestWindowStart::settingsTabs()
{
    WindowUnderTest t;
    QTabWidget* tabs = t.form().tabWidget;
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->currentIndex(), 1);
    const QStringList titles = {"General Settings", "Basics", "Advanced", "3D Display"};
    const QStringList names = {"tab", "tab_2", "tab_3", "tab_7"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(tabs->tabText(i), titles[i]);
        QCOMPARE(tabs->widget(i)->objectName(), names[i]);
    }
    // The 3D controls stay locked until the window goes offline.
    QVERIFY(!tabs->isTabEnabled(3));
    for (int i = 0; i < 3; ++i)
        QVERIFY(tabs->isTabEnabled(i));
    QVERIFY(t.form().rBModeItem->isChecked());
    QCOMPARE(t.form().cBThemeList->currentIndex(), 2);
    QCOMPARE(t.form().cBThemeList->count(), 8);
    QVERIFY(!t.form().pBGradientBtoYPB->icon().isNull());
    QCOMPARE(t.form().pBGradientBtoYPB->iconSize(), QSize(24, 100));
    QVERIFY(!t.form().pBGradientGtoRPB->icon().isNull());
    QVERIFY(t.form().pBGradientGtoRPB->text().isEmpty());
}

void TestWindowStart::stateAtStart()
{
    WindowUnderTest t;
    VeltrixTestAccess& a = *t.access;
    QCOMPARE(a.online(), 1);
    QCOMPARE(a.sensorConnected(), 0);
    QCOMPARE(a.acquiring(), 0);
    QCOMPARE(a.recording(), 0);
    QCOMPARE(a.roiTrainingState(), 0);
    QCOMPARE(a.productPending(), 1);
    QCOMPARE(a.plotUnit(), 0);
    QVERIFY(a.fitNextImage());
    QVERIFY(a.autoFitProfile());
    QCOMPARE(a.params().firmwareVersion, 0);
    QCOMPARE(a.product().SENSOR_ROI, 2);
    QCOMPARE(a.product().job[1].LINE_ALGO_MODE, 1);
    QCOMPARE(a.statusLine()->text(), QStringLiteral("Disconnected"));
    QCOMPARE(a.statusLine()->styleSheet(), QStringLiteral("background-color: red"));
}

void TestWindowStart::actionsAtStart()
{
    WindowUnderTest t;
    VeltrixTestAccess& a = *t.access;
    const QStringList enabled = {
        "connectAct",     "quitAct",         "fitViewAct",      "panAct",         "zoomInAct",
        "zoomOutAct",     "xAxisZoomAct",    "zAxisZoomAct",    "aboutAct",       "aboutQtAct",
        "aboutSensorAct", "saveSettingsAct", "loadSettingsAct", "loadProductAct", "saveProductAct"};
    const QStringList disabled = {"disconnectAct",   "captureAct",    "recordAct",   "stopAct",
                                  "saveImageAct",    "writeFlashAct", "openDataAct", "nextDataAct",
                                  "previousDataAct", "display3DAct"};
    for (const QString& name : enabled)
        QVERIFY2(a.action(name)->isEnabled(), qPrintable(name));
    for (const QString& name : disabled)
        QVERIFY2(!a.action(name)->isEnabled(), qPrintable(name));
}

void TestWindowStart::plotItems()
{
    WindowUnderTest t;
    VeltrixTestAccess& a = *t.access;
    QCustomPlot* plot = t.form().customPlot;
    QCOMPARE(plot->itemCount(), 4);
    for (int i = 0; i < 2; ++i) {
        QCPItemRect* rect = a.roiRect(i);
        QVERIFY(rect);
        QCOMPARE(plot->item(i), static_cast<QCPAbstractItem*>(rect));
        QCOMPARE(rect->pen().color(), QColor(Qt::red));
        QCOMPARE(rect->brush().color(), QColor(255, 0, 0, 20));
        QCOMPARE(rect->brush().style(), Qt::SolidPattern);
        QCOMPARE(rect->topLeft->coords(), QPointF(0, 0));
        QCOMPARE(rect->bottomRight->coords(), QPointF(0, 0));
        QCPItemStraightLine* line = a.roiLine(i);
        QVERIFY(line);
        QCOMPARE(plot->item(2 + i), static_cast<QCPAbstractItem*>(line));
        QCOMPARE(line->pen().color(), QColor(Qt::green));
        QCOMPARE(line->point1->coords(), QPointF(0, 0));
        QCOMPARE(line->point2->coords(), QPointF(0, 0));
    }
}

void TestWindowStart::imageScene()
{
    WindowUnderTest t;
    QGraphicsScene* scene = t.access->imageScene();
    QVERIFY(scene);
    QCOMPARE(scene->parent(), static_cast<QObject*>(t.window.get()));
    QCOMPARE(t.form().graphicsView->scene(), scene);
    QVERIFY(t.form().graphicsView->testAttribute(Qt::WA_MouseTracking));
}

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
    // Nothing is created at start.
    QVERIFY(!QFileInfo::exists(a.dataDir()));
    QVERIFY(!QFileInfo::exists(a.registryPath()));
}

void TestWindowStart::firstStartWritesOnlyRanges()
{
    WindowUnderTest t;
    QVERIFY(t.access->sensorNames().isEmpty());
    QCOMPARE(t.access->sensorCombo()->count(), 0);
    QCOMPARE(t.form().lWSensorList->count(), 0);
    QVERIFY(t.form().lEIP->text().isEmpty());
    QVERIFY(t.form().lEPort->text().isEmpty());
    for (int i = 0; i < 8; ++i)
        QCOMPARE(t.access->storedRanges()[i], 0.0);
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

void TestWindowStart::quitClosesWindow()
{
    WindowUnderTest t;
    t.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(t.window.get()));
    t.access->action("quitAct")->trigger();
    QTRY_VERIFY(!t.window->isVisible());
    t.access->storedRanges()[1] = 1280;
    t.close();
    QCOMPARE(t.group("Range").value("LastProfilePixelUpperX"), QStringLiteral("1280"));
}

QTEST_MAIN(TestWindowStart)
#include "test_window_start.moc"
