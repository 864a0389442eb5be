// The base-directory rule and the default paths derived from it.
#include "app/paths.h"

#include <QTest>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void baseDir_data();
    void baseDir();
    void derived_data();
    void derived();
};

void TestPaths::baseDir_data()
{
    QTest::addColumn<QString>("workingDir");
    QTest::addColumn<QString>("expected");
    QTest::newRow("last component") << "C:/Apps/Sensor/Program"
                                    << "C:/Apps/Sensor/";
    QTest::newRow("inside a component") << "C:/ProgramData/x"
                                        << "C:/Data/x";
    QTest::newRow("upper case") << "/home/u/PROGRAM/y"
                                << "/home/u//y";
    QTest::newRow("lower case") << "/opt/program/bin"
                                << "/opt//bin";
    QTest::newRow("mixed case, twice") << "/pRoGrAm/a/Programs"
                                       << "//a/s";
    QTest::newRow("none") << "/home/u/lumo"
                          << "/home/u/lumo";
    QTest::newRow("similar word") << "/home/u/Progra/m"
                                  << "/home/u/Progra/m";
    QTest::newRow("empty") << ""
                           << "";
}

void TestPaths::baseDir()
{
    QFETCH(QString, workingDir);
    QFETCH(QString, expected);
    QCOMPARE(Paths::baseDirFrom(workingDir), expected);
}

void TestPaths::derived_data()
{
    QTest::addColumn<QString>("workingDir");
    QTest::addColumn<QString>("base");
    QTest::newRow("program last") << "C:/Apps/Sensor/Program"
                                  << "C:/Apps/Sensor/";
    QTest::newRow("plain") << "/home/u/lumo"
                           << "/home/u/lumo";
}

void TestPaths::derived()
{
    QFETCH(QString, workingDir);
    QFETCH(QString, base);
    const Paths::Derived d = Paths::deriveFrom(workingDir);
    QCOMPARE(d.baseDir, base);
    QCOMPARE(d.dataDir, base + "/Data");
    QCOMPARE(d.productFilePath, base + "/ProdPar.txt");
    QCOMPARE(d.settingsFilePath, base + "/LumoPar.txt");
    if (workingDir.endsWith("Program"))
        QCOMPARE(d.settingsFilePath, QStringLiteral("C:/Apps/Sensor//LumoPar.txt"));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
