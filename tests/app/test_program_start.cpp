// The lumo program itself: started in an empty directory on an X display of its own, it shows
// one window titled "Lumo" in the maximized state and keeps running until it is ended.
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Ends a started helper program when the test leaves, whichever way it leaves.
struct Program : QProcess
{
    ~Program() override
    {
        terminate();
        if (!waitForFinished(5000))
            kill();
        waitForFinished(5000);
    }
};
} // namespace

class TestProgramStart : public QObject
{
    Q_OBJECT

private slots:
    void showsAMaximizedWindowTitledLumo()
    {
        // A display of its own, its number drawn at random away from those other servers take
        // first, printed by the server once it takes connections; one not reachable is left for
        // another. -noreset: a server resetting when its last client leaves refuses connections.
        QTemporaryDir dir; // the program's working directory
        Program server, manager, lumo;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        const auto start = [&](QProcess& program, const QString& name, const QStringList& args) {
            program.setProcessEnvironment(environment);
            program.start(name, args);
            return program.waitForStarted(5000);
        };
        const auto xprop = [&](const QStringList& arguments) {
            QProcess xprop;
            start(xprop, "xprop", arguments);
            const bool ok = xprop.waitForFinished(5000) && xprop.exitCode() == 0;
            return ok ? QString::fromLocal8Bit(xprop.readAllStandardOutput()) : QString();
        };
        for (int attempt = 0; attempt < 5 && xprop({"-root"}).isEmpty(); ++attempt) {
            server.terminate();
            server.waitForFinished(5000);
            const QString display =
                ":" + QString::number(QRandomGenerator::global()->bounded(1000, 30000));
            server.start("Xvfb", {display, "-displayfd", "1", "-screen", "0", "1920x1080x24",
                                  "-nolisten", "tcp", "-noreset"});
            if (!server.waitForStarted(5000))
                QSKIP("Xvfb cannot be started");
            QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine() || server.state() != QProcess::Running,
                                     20000);
            environment.insert("DISPLAY", ":" + QString::fromLatin1(server.readLine().trimmed()));
        }
        QVERIFY2(!xprop({"-root"}).isEmpty(), server.readAllStandardError().constData());

        // Maximizing is the window manager's work. Where none can run, the window still carries
        // the maximized state it asks the manager for.
        manager.setProcessChannelMode(QProcess::MergedChannels);
        start(manager, "openbox", {});
        const auto managed = [&] {
            return xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
        };
        if (!QTest::qWaitFor([&] { return manager.state() != QProcess::Running || managed(); },
                             20000) ||
            !managed())
            qWarning("no window manager on the display; openbox ended with %d: %s",
                     manager.exitCode(), manager.readAll().constData());

        lumo.setWorkingDirectory(dir.path());
        QVERIFY(start(lumo, LUMO_PROGRAM, {}));
        const QStringList query = {"-name", "Lumo", "WM_NAME", "_NET_WM_STATE"};
        QTRY_VERIFY_WITH_TIMEOUT(lumo.state() != QProcess::Running ||
                                     xprop(query).contains("_NET_WM_STATE_MAXIMIZED_VERT"),
                                 20000);
        const QString properties = xprop(query);
        QVERIFY2(properties.contains("WM_NAME(STRING) = \"Lumo\"") &&
                     properties.contains("_NET_WM_STATE_MAXIMIZED_HORZ"),
                 qPrintable(properties + lumo.readAllStandardError()));
        QTest::qWait(500);
        QCOMPARE(lumo.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestProgramStart)
#include "test_program_start.moc"
