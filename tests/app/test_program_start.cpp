// The lumo program itself: started in an empty directory on the test's X display, it shows one
// window titled "Lumo" in the maximized state and keeps running until it is ended.
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestProgramStart : public QObject
{
    Q_OBJECT

private:
    // The X properties of the window named Lumo, or an empty text while there is none.
    static QString windowProperties()
    {
        QProcess xprop;
        xprop.start("xprop", {"-name", "Lumo", "WM_NAME", "_NET_WM_STATE"});
        if (!xprop.waitForFinished(5000) || xprop.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(xprop.readAllStandardOutput());
    }

private slots:
    void showsAMaximizedWindowTitledLumo()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the suite runs under xvfb-run)");
        // Maximizing is the window manager's work: start one when the display has none.
        auto managed = [] {
            QProcess probe;
            probe.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
            return probe.waitForFinished(5000) &&
                   probe.readAllStandardOutput().contains("window id");
        };
        QProcess manager;
        if (!managed()) {
            manager.start("openbox", QStringList());
            if (!manager.waitForStarted(5000))
                QSKIP("no window manager on the display and openbox cannot be started");
            QTRY_VERIFY_WITH_TIMEOUT(managed(), 20000);
        }
        QTemporaryDir dir;
        QProcess lumo;
        lumo.setWorkingDirectory(dir.path());
        lumo.start(QString(LUMO_PROGRAM), QStringList());
        QVERIFY(lumo.waitForStarted(5000));

        QString properties;
        QElapsedTimer clock;
        clock.start();
        while (!properties.contains("_NET_WM_STATE_MAXIMIZED_VERT") && clock.elapsed() < 20000) {
            QTest::qWait(200);
            QVERIFY2(lumo.state() == QProcess::Running, lumo.readAllStandardError().constData());
            properties = windowProperties();
        }
        QVERIFY2(properties.contains("WM_NAME(STRING) = \"Lumo\""), qPrintable(properties));
        QVERIFY2(properties.contains("_NET_WM_STATE_MAXIMIZED_HORZ") &&
                     properties.contains("_NET_WM_STATE_MAXIMIZED_VERT"),
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
