// The lumo program itself: started in an empty directory on the test's X display, it shows one
// window titled "Lumo" in the maximized state and keeps running until it is ended.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
// What xprop prints for the arguments, empty when it fails.
QString xprop(const QStringList& arguments)
{
    QProcess xprop;
    xprop.start("xprop", arguments);
    const bool ok = xprop.waitForFinished(5000) && xprop.exitCode() == 0;
    return ok ? QString::fromLocal8Bit(xprop.readAllStandardOutput()) : QString();
}
} // namespace

class TestProgramStart : public QObject
{
    Q_OBJECT

private slots:
    void showsAMaximizedWindowTitledLumo()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the suite runs under xvfb-run)");
        // Maximizing is the window manager's work: start one when the display has none.
        QProcess manager;
        if (!xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id")) {
            manager.start("openbox", QStringList());
            if (!manager.waitForStarted(5000))
                QSKIP("no window manager on the display and openbox cannot be started");
            QTRY_VERIFY_WITH_TIMEOUT(
                xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"), 20000);
        }
        QTemporaryDir dir;
        QProcess lumo;
        lumo.setWorkingDirectory(dir.path());
        lumo.start(QString(LUMO_PROGRAM), QStringList());
        QVERIFY(lumo.waitForStarted(5000));
        const QStringList query = {"-name", "Lumo", "WM_NAME", "_NET_WM_STATE"};
        QTRY_VERIFY_WITH_TIMEOUT(lumo.state() != QProcess::Running ||
                                     xprop(query).contains("_NET_WM_STATE_MAXIMIZED_VERT"),
                                 20000);
        const QString properties = xprop(query);
        QVERIFY2(lumo.state() == QProcess::Running, lumo.readAllStandardError().constData());
        QVERIFY2(properties.contains("WM_NAME(STRING) = \"Lumo\"") &&
                     properties.contains("_NET_WM_STATE_MAXIMIZED_HORZ"),
                 qPrintable(properties));
        QTest::qWait(500);
        QCOMPARE(lumo.state(), QProcess::Running);
        lumo.terminate();
        if (!lumo.waitForFinished(5000))
            lumo.kill();
        manager.terminate();
        manager.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(TestProgramStart)
#include "test_program_start.moc"
