// Actions, menus, tool bars and the About boxes.
#include "windowaccess.h"

#include <QApplication>
#include <QDockWidget>
#include <QMenuBar>
#include <QStyle>

namespace {
const QString separator = QStringLiteral("-");

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
    void menuBarOrder();
    void entries_data();
    void entries();
    void viewMenuHoldsDockToggles();
    void toolBarOrder();
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
    QTest::addColumn<QString>("icon"); // resource name, empty for none
    QTest::addColumn<int>("check");    // 0 not checkable, 1 checkable, 2 checkable and checked
    auto row = [](const char* member, const char* text, int key, const char* tip, const char* icon,
                  int check = 0) {
        QTest::newRow(member) << QString(member) << QString(text) << key << QString(tip)
                              << QString(icon) << check;
    };
    row("saveSettingsAct", "&Save sensor settings", QKeySequence::Save,
        "Save the current sensor settings to PC", "save");
    row("loadSettingsAct", "&Load sensor settings", QKeySequence::Open,
        "Load sensor settings from PC", "open");
    row("loadProductAct", "&Load product parameters", 0, "Load product parameters from PC",
        "import");
    row("saveProductAct", "&Save product parameters", 0, "Save product parameter to PC", "export");
    row("connectAct", "&Connect", 0, "Connect to sensor", "connect");
    row("disconnectAct", "&Disconnect", 0, "Disconnect from sensor", "disconnect");
    row("captureAct", "&Capture", 0, "Capture image", "capture");
    row("recordAct", "&Record", 0, "Record image", "record");
    row("stopAct", "&Stop Capture/Record", 0, "Stop Capture image", "stopImg");
    row("writeFlashAct", "&Write product and sensor settings to Tessa flash", 0,
        "Write sensor settings to sensor", "write");
    row("quitAct", "&Quit", QKeySequence::Quit, "Quit the application", "");
    row("fitViewAct", "&Fit to view", 0, "Fit to view", "fitToView");
    row("panAct", "&Pan", 0, "Pan", "hand", 1);
    row("zoomInAct", "&Zoom in", 0, "Zoom in", "zoomIn");
    row("zoomOutAct", "&Zoom out", 0, "Zoom out", "zoomOut");
    row("xAxisZoomAct", "&X-Axis zoom", 0, "", "", 2);
    row("zAxisZoomAct", "&Z-Axis zoom", 0, "", "", 2);
    row("saveImageAct", "&Save image", 0, "Save image", "saveImage");
    row("openDataAct", "&Open data", 0, "Open data", "openData");
    row("nextDataAct", "&Next data", 0, "Next data", "next");
    row("previousDataAct", "&Previous data", 0, "Previous data", "previous");
    row("aboutAct", "&About UI", 0, "Show the application's About box", "");
    row("aboutQtAct", "About &Qt", 0, "Show the Qt library's About box", "");
    row("aboutSensorAct", "About Sensor", 0, "Show the firmware's About box", "");
    row("display3DAct", "&3D Display", 0, "3D Display", "3D");
}

// Catches a wrong text, status tip, shortcut, check state or icon on any of the 25 actions.
void TestMenus::actionProperties()
{
    QFETCH(QString, member);
    QFETCH(QString, text);
    QFETCH(int, shortcut);
    QFETCH(QString, statusTip);
    QFETCH(QString, icon);
    QFETCH(int, check);
    QAction* a = t->access->action(member);
    QVERIFY(a);
    QCOMPARE(a->parent(), static_cast<QObject*>(t->window.get()));
    QCOMPARE(a->text(), text);
    QCOMPARE(a->statusTip(), statusTip);
    QCOMPARE(a->isCheckable(), check > 0);
    QCOMPARE(a->isChecked(), check > 1);
    const QList<QKeySequence> expected =
        shortcut ? QKeySequence::keyBindings(QKeySequence::StandardKey(shortcut))
                 : QList<QKeySequence>();
    QCOMPARE(a->shortcuts(), expected);
    if (icon.isEmpty()) {
        QVERIFY(a->icon().isNull());
        return;
    }
    const QImage picture(QStringLiteral(":/images/%1.png").arg(icon));
    QCOMPARE(picture.size(), QSize(36, 36));
    QCOMPARE(a->icon().pixmap(36, 36).toImage().convertToFormat(QImage::Format_ARGB32),
             picture.convertToFormat(QImage::Format_ARGB32));
}

// Catches menus missing from the bar or in the wrong order.
void TestMenus::menuBarOrder()
{
    const QStringList expected = {"&File", "&Action", "&View", "&Help"};
    QCOMPARE(entriesOf(t->window->menuBar()->actions()), expected);
    QCOMPARE(t->window->menuBar()->actions().at(3)->menu(), t->access->menu("helpMenu"));
}

void TestMenus::entries_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("entries"); // separated by "|"; "-" a separator
    QTest::addColumn<int>("iconSize");    // tool bars: 36, or 0 for the style's size
    auto row = [](const char* name, const char* title, const char* entries, int iconSize = 0) {
        QTest::newRow(name) << QString(name) << QString(title) << QString(entries) << iconSize;
    };
    row("fileMenu", "&File",
        "&Save sensor settings|&Save product parameters|-|&Load sensor settings|"
        "&Load product parameters|-|&Write product and sensor settings to Tessa "
        "flash|E&xport point cloud...|-|&Quit");
    row("actionMenu", "&Action",
        "&Connect|&Disconnect|-|&Capture|&Record|&Stop Capture/Record|-|&Open "
        "data|&Previous data|&Next data|-|&3D Display");
    row("viewMenu", "&View",
        "&Pan|&Zoom in|&Zoom out|&Fit to view|&Save image|-|&X-Axis zoom|&Z-Axis "
        "zoom|-|Product Parameters|Sensor Settings");
    row("helpMenu", "&Help", "&About UI|About Sensor|About &Qt");
    row("fileToolBar", "File",
        "&Save sensor settings|&Load sensor settings|&Write product and sensor "
        "settings to Tessa flash|&Save product parameters|&Load product parameters",
        36);
    row("actionToolBar", "Action",
        "[sensorCombo]|&Connect|&Disconnect|-|&Capture|&Record|&Stop "
        "Capture/Record|-|&Previous data|&Open data|&Next data|-|&3D Display",
        36);
    row("viewToolBar", "View", "&Pan|&Zoom in|&Zoom out|&Fit to view|&Save image");
    row("statusToolBar", "Status", "[statusLine]");
}

// Catches a menu or tool-bar entry missing, misordered or renamed, a separator out of place,
// a tool-bar widget in the wrong place, and the wrong tool-bar icon size.
void TestMenus::entries()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QString, entries);
    QFETCH(int, iconSize);
    QToolBar* bar = t->access->toolBar(name);
    QWidget* owner = bar ? static_cast<QWidget*>(bar) : t->access->menu(name);
    QVERIFY(owner);
    QCOMPARE(bar ? bar->windowTitle() : t->access->menu(name)->title(), title);
    QStringList seen;
    for (QAction* a : owner->actions()) {
        const QWidget* widget = bar ? bar->widgetForAction(a) : nullptr;
        if (widget && widget == t->access->sensorCombo())
            seen << "[sensorCombo]";
        else if (widget && widget == t->access->statusLine())
            seen << "[statusLine]";
        else
            seen << (a->isSeparator() ? separator : a->text());
    }
    QCOMPARE(seen, entries.split(QLatin1Char('|')));
    if (!bar)
        return;
    QCOMPARE(t->window->toolBarArea(bar), Qt::TopToolBarArea);
    const int standard = bar->style()->pixelMetric(QStyle::PM_ToolBarIconSize, nullptr, bar);
    QCOMPARE(bar->iconSize().width(), iconSize ? iconSize : standard);
}

// Catches dock entries that do not bring a closed dock back.
void TestMenus::viewMenuHoldsDockToggles()
{
    const QList<QAction*> entries = t->access->menu("viewMenu")->actions();
    QCOMPARE(entries.at(9), t->form().dWProduct->toggleViewAction());
    QCOMPARE(entries.at(10), t->form().dWSettings->toggleViewAction());
    // A closed dock comes back through its entry.
    QVERIFY(t->showAndWait());
    t->form().dWSettings->close();
    QVERIFY(t->form().dWSettings->isHidden());
    entries.at(10)->trigger();
    QVERIFY(!t->form().dWSettings->isHidden());
    t->window->hide();
}

// Catches tool bars hidden, stacked, or in the wrong order along the top.
void TestMenus::toolBarOrder()
{
    QVERIFY(t->showAndWait());
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

// Catches a wrong About box kind or title, or one without the version line.
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

// Catches a firmware text shown without a version, or a wrong version or resolution line.
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
    QCOMPARE(t->onlyDialog(), dialogKey(Dialogs::Kind::About, "About Firmaware", text));
}

QTEST_MAIN(TestMenus)
#include "test_menus.moc"
