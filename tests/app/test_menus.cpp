// Actions, menus, tool bars, the tool-bar widgets and the About boxes.
#include "windowaccess.h"

#include <QApplication>
#include <QDockWidget>
#include <QMenuBar>
#include <QStyle>
#include <QTest>

namespace {
const QString separator = QStringLiteral("—");

QStringList entriesOf(const QList<QAction*>& actions)
{
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? separator : a->text());
    return out;
}
} // namespace

class TestMenus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void actionProperties_data();
    void actionProperties();
    void actionIcons_data();
    void actionIcons();
    void menuBarOrder();
    void menus_data();
    void menus();
    void viewMenuHoldsDockToggles();
    void toolBars_data();
    void toolBars();
    void toolBarOrder();
    void toolBarWidgets();
    void aboutBox();
    void aboutSensor_data();
    void aboutSensor();

private:
    std::unique_ptr<WindowUnderTest> t;
};

void TestMenus::initTestCase()
{
    t = std::make_unique<WindowUnderTest>();
}

void TestMenus::cleanupTestCase()
{
    t.reset();
}

void TestMenus::init()
{
    t->dialogs.clear();
}

void TestMenus::actionProperties_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("shortcut"); // QKeySequence::StandardKey, 0 for none
    QTest::addColumn<QString>("statusTip");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("checked");
    auto row = [](const char* member, const char* text, int key, const char* tip,
                  bool checkable = false, bool checked = false) {
        QTest::newRow(member) << QString(member) << QString(text) << key << QString(tip)
                              << checkable << checked;
    };
    row("saveSettingsAct", "&Save sensor settings", QKeySequence::Save,
        "Save the current sensor settings to PC");
    row("loadSettingsAct", "&Load sensor settings", QKeySequence::Open,
        "Load sensor settings from PC");
    row("loadProductAct", "&Load product parameters", 0, "Load product parameters from PC");
    row("saveProductAct", "&Save product parameters", 0, "Save product parameter to PC");
    row("connectAct", "&Connect", 0, "Connect to sensor");
    row("disconnectAct", "&Disconnect", 0, "Disconnect from sensor");
    row("captureAct", "&Capture", 0, "Capture image");
    row("recordAct", "&Record", 0, "Record image");
    row("stopAct", "&Stop Capture/Record", 0, "Stop Capture image");
    row("writeFlashAct", "&Write product and sensor settings to Tessa flash", 0,
        "Write sensor settings to sensor");
    row("quitAct", "&Quit", QKeySequence::Quit, "Quit the application");
    row("fitViewAct", "&Fit to view", 0, "Fit to view");
    row("panAct", "&Pan", 0, "Pan", true, false);
    row("zoomInAct", "&Zoom in", 0, "Zoom in");
    row("zoomOutAct", "&Zoom out", 0, "Zoom out");
    row("xAxisZoomAct", "&X-Axis zoom", 0, "", true, true);
    row("zAxisZoomAct", "&Z-Axis zoom", 0, "", true, true);
    row("saveImageAct", "&Save image", 0, "Save image");
    row("openDataAct", "&Open data", 0, "Open data");
    row("nextDataAct", "&Next data", 0, "Next data");
    row("previousDataAct", "&Previous data", 0, "Previous data");
    row("aboutAct", "&About UI", 0, "Show the application's About box");
    row("aboutQtAct", "About &Qt", 0, "Show the Qt library's About box");
    row("aboutSensorAct", "About Sensor", 0, "Show the firmware's About box");
    row("display3DAct", "&3D Display", 0, "3D Display");
}

void TestMenus::actionProperties()
{
    QFETCH(QString, member);
    QFETCH(QString, text);
    QFETCH(int, shortcut);
    QFETCH(QString, statusTip);
    QFETCH(bool, checkable);
    QFETCH(bool, checked);
    QAction* a = t->access->action(member);
    QVERIFY(a);
    QCOMPARE(a->parent(), static_cast<QObject*>(t->window.get()));
    QCOMPARE(a->text(), text);
    QCOMPARE(a->statusTip(), statusTip);
    QCOMPARE(a->isCheckable(), checkable);
    QCOMPARE(a->isChecked(), checked);
    const QList<QKeySequence> expected =
        shortcut ? QKeySequence::keyBindings(QKeySequence::StandardKey(shortcut))
                 : QList<QKeySequence>();
    QCOMPARE(a->shortcuts(), expected);
}

void TestMenus::actionIcons_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("icon"); // empty: no icon
    const char* rows[][2] = {
        {"saveSettingsAct", "save"},
        {"loadSettingsAct", "open"},
        {"loadProductAct", "import"},
        {"saveProductAct", "export"},
        {"connectAct", "connect"},
        {"disconnectAct", "disconnect"},
        {"captureAct", "capture"},
        {"recordAct", "record"},
        {"stopAct", "stopImg"},
        {"writeFlashAct", "write"},
        {"quitAct", ""},
        {"fitViewAct", "fitToView"},
        {"panAct", "hand"},
        {"zoomInAct", "zoomIn"},
        {"zoomOutAct", "zoomOut"},
        {"xAxisZoomAct", ""},
        {"zAxisZoomAct", ""},
        {"saveImageAct", "saveImage"},
        {"openDataAct", "openData"},
        {"nextDataAct", "next"},
        {"previousDataAct", "previous"},
        {"aboutAct", ""},
        {"aboutQtAct", ""},
        {"aboutSensorAct", ""},
        {"display3DAct", "3D"},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString(r[0])
                            << (*r[1] ? QStringLiteral(":/images/%1.png").arg(r[1]) : QString());
}

void TestMenus::actionIcons()
{
    QFETCH(QString, member);
    QFETCH(QString, icon);
    QAction* a = t->access->action(member);
    if (icon.isEmpty()) {
        QVERIFY(a->icon().isNull());
        return;
    }
    QVERIFY2(QFile::exists(icon), qPrintable(icon));
    const QImage picture(icon);
    QCOMPARE(picture.size(), QSize(36, 36));
    QCOMPARE(a->icon().pixmap(36, 36).toImage().convertToFormat(QImage::Format_ARGB32),
             picture.convertToFormat(QImage::Format_ARGB32));
}

void TestMenus::menuBarOrder()
{
    const QStringList expected = {"&File", "&Action", "&View", "&Help"};
    QCOMPARE(entriesOf(t->window->menuBar()->actions()), expected);
    QCOMPARE(t->window->menuBar()->actions().at(0)->menu(), t->access->menu("fileMenu"));
    QCOMPARE(t->window->menuBar()->actions().at(1)->menu(), t->access->menu("actionMenu"));
    QCOMPARE(t->window->menuBar()->actions().at(2)->menu(), t->access->menu("viewMenu"));
    QCOMPARE(t->window->menuBar()->actions().at(3)->menu(), t->access->menu("helpMenu"));
}

void TestMenus::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("file") << "fileMenu"
                          << QStringList{"&Save sensor settings",
                                         "&Save product parameters",
                                         separator,
                                         "&Load sensor settings",
                                         "&Load product parameters",
                                         separator,
                                         "&Write product and sensor settings to Tessa flash",
                                         separator,
                                         "&Quit"};
    QTest::newRow("action") << "actionMenu"
                            << QStringList{"&Connect",   "&Disconnect", separator,
                                           "&Capture",   "&Record",     "&Stop Capture/Record",
                                           separator,    "&Open data",  "&Previous data",
                                           "&Next data", separator,     "&3D Display"};
    QTest::newRow("view") << "viewMenu" << QStringList{"&Pan",           "&Zoom in",
                                                       "&Zoom out",      "&Fit to view",
                                                       "&Save image",    separator,
                                                       "&X-Axis zoom",   "&Z-Axis zoom",
                                                       separator,        "Product Parameters",
                                                       "Sensor Settings"};
    QTest::newRow("help") << "helpMenu" << QStringList{"&About UI", "About Sensor", "About &Qt"};
}

void TestMenus::menus()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, entries);
    QMenu* m = t->access->menu(menu);
    QVERIFY(m);
    QCOMPARE(entriesOf(m->actions()), entries);
}

void TestMenus::viewMenuHoldsDockToggles()
{
    const QList<QAction*> entries = t->access->menu("viewMenu")->actions();
    QCOMPARE(entries.at(9), t->form().dWProduct->toggleViewAction());
    QCOMPARE(entries.at(10), t->form().dWSettings->toggleViewAction());
    // A closed dock comes back through its entry.
    t->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(t->window.get()));
    t->form().dWSettings->close();
    QVERIFY(t->form().dWSettings->isHidden());
    entries.at(10)->trigger();
    QVERIFY(!t->form().dWSettings->isHidden());
    t->window->hide();
}

void TestMenus::toolBars_data()
{
    QTest::addColumn<QString>("bar");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("entries"); // "[sensorCombo]", "[statusLine]" for widgets
    QTest::addColumn<bool>("largeIcons");
    QTest::newRow("file") << "fileToolBar"
                          << "File"
                          << QStringList{"&Save sensor settings", "&Load sensor settings",
                                         "&Write product and sensor settings to Tessa flash",
                                         "&Save product parameters", "&Load product parameters"}
                          << true;
    QTest::newRow("action")
        << "actionToolBar"
        << "Action"
        << QStringList{"[sensorCombo]",  "&Connect",   "&Disconnect",          separator,
                       "&Capture",       "&Record",    "&Stop Capture/Record", separator,
                       "&Previous data", "&Open data", "&Next data",           separator,
                       "&3D Display"}
        << true;
    QTest::newRow("view") << "viewToolBar"
                          << "View"
                          << QStringList{"&Pan", "&Zoom in", "&Zoom out", "&Fit to view",
                                         "&Save image"}
                          << false;
    QTest::newRow("status") << "statusToolBar"
                            << "Status" << QStringList{"[statusLine]"} << false;
}

void TestMenus::toolBars()
{
    QFETCH(QString, bar);
    QFETCH(QString, title);
    QFETCH(QStringList, entries);
    QFETCH(bool, largeIcons);
    QToolBar* b = t->access->toolBar(bar);
    QVERIFY(b);
    QCOMPARE(b->windowTitle(), title);
    QCOMPARE(b->parent(), static_cast<QObject*>(t->window.get()));
    QCOMPARE(t->window->toolBarArea(b), Qt::TopToolBarArea);
    QStringList seen;
    for (QAction* a : b->actions()) {
        if (QWidget* widget = b->widgetForAction(a)) {
            if (widget == t->access->sensorCombo())
                seen << "[sensorCombo]";
            else if (widget == t->access->statusLine())
                seen << "[statusLine]";
            else if (a->isSeparator())
                seen << separator;
            else
                seen << a->text();
        } else {
            seen << (a->isSeparator() ? separator : a->text());
        }
    }
    QCOMPARE(seen, entries);
    const int standard = b->style()->pixelMetric(QStyle::PM_ToolBarIconSize, nullptr, b);
    QCOMPARE(b->iconSize(), largeIcons ? QSize(36, 36) : QSize(standard, standard));
}

void TestMenus::toolBarOrder()
{
    t->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(t->window.get()));
    const QStringList order = {"fileToolBar", "actionToolBar", "viewToolBar", "statusToolBar"};
    int lastX = t->form().toolBar->x();
    for (const QString& name : order) {
        QToolBar* b = t->access->toolBar(name);
        QVERIFY2(b->isVisible(), qPrintable(name));
        QVERIFY2(b->x() > lastX, qPrintable(name));
        QCOMPARE(b->y(), t->access->toolBar("fileToolBar")->y());
        lastX = b->x();
    }
    t->window->hide();
}

void TestMenus::toolBarWidgets()
{
    QComboBox* combo = t->access->sensorCombo();
    QCOMPARE(combo->parent() != nullptr, true);
    QCOMPARE(combo->minimumWidth(), 150);
    QLineEdit* status = t->access->statusLine();
    QCOMPARE(status->minimumHeight(), 25);
    QCOMPARE(status->minimumWidth(), 220);
    QCOMPARE(status->maximumWidth(), 220);
    QCOMPARE(status->font().family(), QStringLiteral("Time"));
    QCOMPARE(status->font().pointSize(), 10);
    QVERIFY(status->font().bold());
}

void TestMenus::aboutBox()
{
    t->access->action("aboutAct")->trigger();
    QCOMPARE(t->dialogs.size(), size_t(1));
    QCOMPARE(t->dialogs[0].kind, Dialogs::Kind::About);
    QCOMPARE(t->dialogs[0].title, QStringLiteral("About Lumo"));
    QVERIFY(t->dialogs[0].text.startsWith(QStringLiteral("Lumo ")));
    QVERIFY(t->dialogs[0].text.contains('\n'));
}

void TestMenus::aboutSensor_data()
{
    QTest::addColumn<int>("firmware");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("text");
    QTest::newRow("not connected") << 0 << 1280 << 1024 << "No camera is connected";
    QTest::newRow("negative version") << -1 << 1280 << 1024 << "No camera is connected";
    QTest::newRow("version 12")
        << 12 << 1280 << 1024
        << "This firmware is version 12\nThe sensor resolution is 1280 x 1024";
    QTest::newRow("version 1, small sensor")
        << 1 << 640 << 480 << "This firmware is version 1\nThe sensor resolution is 640 x 480";
}

void TestMenus::aboutSensor()
{
    QFETCH(int, firmware);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, text);
    SensorParameters& p = t->access->params();
    const SensorParameters saved = p;
    p.firmwareVersion = firmware;
    p.ROI_DX_MAX = width;
    p.ROI_DY_MAX = height;
    t->access->action("aboutSensorAct")->trigger();
    p = saved;
    QCOMPARE(t->dialogs.size(), size_t(1));
    QCOMPARE(t->dialogs[0].kind, Dialogs::Kind::About);
    QCOMPARE(t->dialogs[0].title, QStringLiteral("About Firmaware"));
    QCOMPARE(t->dialogs[0].text, text);
}

QTEST_MAIN(TestMenus)
#include "test_menus.moc"
