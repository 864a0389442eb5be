// The lumo-sensor-sim program: options, the start-up line, serving a client, the request
// log on stderr and ending on SIGINT / SIGTERM.

#include "tests/simulator/rawclient.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>

using namespace rawtest;

class TestSimulatorProgram : public QObject
{
    Q_OBJECT

private:
    // Starts the program and returns the port it announced (0 on failure).
    uint16_t launch(QProcess& p, const QStringList& args)
    {
        p.start(QStringLiteral(LUMO_SIM_PROGRAM), args);
        if (!p.waitForStarted(5000))
            return 0;
        QByteArray out;
        while (!out.contains('\n') && p.waitForReadyRead(5000))
            out += p.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression("^lumo-sensor-sim listening on 127\\.0\\.0\\.1:(\\d+)\n$")
                .match(QString::fromLatin1(out));
        return m.hasMatch() ? uint16_t(m.captured(1).toUInt()) : 0;
    }

private slots:
    void help()
    {
        QProcess p;
        p.start(QStringLiteral(LUMO_SIM_PROGRAM), {"--help"});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        const QString out = QString::fromLatin1(p.readAllStandardOutput());
        for (const char* option : {"--bind", "--port", "--rate", "--points", "--width", "--height",
                                   "--format", "--type", "--log", "--help"})
            QVERIFY2(out.contains(option), option);
    }

    void invalidOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown") << QStringList{"--colour", "red"};
        QTest::newRow("missing value") << QStringList{"--port"};
        QTest::newRow("port too big") << QStringList{"--port", "65536"};
        QTest::newRow("width above 1400") << QStringList{"--width", "1401"};
        QTest::newRow("points above 10000") << QStringList{"--points", "10001"};
        QTest::newRow("format 2") << QStringList{"--format", "2"};
        QTest::newRow("type 4") << QStringList{"--type", "4"};
        QTest::newRow("rate text") << QStringList{"--rate", "fast"};
        QTest::newRow("bind name") << QStringList{"--bind", "localhost"};
    }

    void invalidOptions()
    {
        QFETCH(QStringList, args);
        QProcess p;
        p.start(QStringLiteral(LUMO_SIM_PROGRAM), args);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().startsWith("lumo-sensor-sim: "));
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    void servesAndEndsOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void servesAndEndsOnSignal()
    {
        QFETCH(int, signal);
        QProcess p;
        const uint16_t port = launch(p, {"--port", "0", "--log", "--rate", "1000", "--points",
                                         "100", "--format", "1", "--type", "3"});
        QVERIFY(port != 0);

        RawClient c;
        QVERIFY(c.connectTo(port));
        QVERIFY(c.request(6, 5, 1, 0));
        Message m;
        QVERIFY(readMessage(c, m));
        QCOMPARE(m.type, 100u);
        QCOMPARE(m.fields[3], 80); // power-up gain
        QVERIFY(c.request(9, 6, 0, 2));
        QVERIFY(readMessage(c, m));
        QCOMPARE(m.fields[1], 0);
        QVERIFY(c.request(10, 7, 0, 1));
        QVERIFY(readMessage(c, m));
        QVERIFY(readMessage(c, m));
        QCOMPARE(m.type, 3u);
        QCOMPARE(m.fields[0], 1);   // floats
        QCOMPARE(m.fields[1], 100); // points
        QCOMPARE(m.bulk.size(), size_t(100 * 4 + 100));

        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(c.waitClosed(2000));
        const QString log = QString::fromLatin1(p.readAllStandardError());
        QVERIFY2(log.contains("request command=6 sequence=5 direction=1 value=0 text=0\n"),
                 qPrintable(log));
        QVERIFY(log.contains("request command=10 sequence=7 direction=0 value=1 text=0\n"));
    }

    void portInUseFails()
    {
        QProcess first;
        const uint16_t port = launch(first, {"--port", "0"});
        QVERIFY(port != 0);
        QProcess second;
        second.start(QStringLiteral(LUMO_SIM_PROGRAM), {"--port", QString::number(port)});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("cannot listen"));
        first.terminate();
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(first.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSimulatorProgram)
#include "test_simulator_program.moc"
