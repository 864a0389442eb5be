// The base-directory rule and the default paths derived from it.
#include "app/paths.h"

#include <QTest>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void baseDir_data();
    void baseDir();
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
    QTest::newRow("mixed case, twice") << "/pRoGrAm/a/Programs"
                                       << "//a/s";
    QTest::newRow("none") << "/home/u/lumo"
                          << "/home/u/lumo";
    QTest::newRow("similar word") << "/home/u/Progra/m"
                                  << "/home/u/Progra/m";
    QTest::newRow("empty") << ""
                           << "";
}

// Catches "Program" removed only once, only as a whole component, or case-sensitively, and
// similar words removed too.
void TestPaths::baseDir()
{
    QFETCH(QString, workingDir);
    QFETCH(QString, expected);
    QCOMPARE(Paths::baseDirFrom(workingDir), expected);
}

// Catches default paths not built on the base directory (the working directory itself is
// covered by the window start test).
void TestPaths::derived()
{
    const Paths::Derived d = Paths::deriveFrom(QStringLiteral("C:/Apps/Sensor/Program"));
    QCOMPARE(d.baseDir, QStringLiteral("C:/Apps/Sensor/"));
    QCOMPARE(d.dataDir, QStringLiteral("C:/Apps/Sensor//Data"));
    QCOMPARE(d.productFilePath, QStringLiteral("C:/Apps/Sensor//ProdPar.txt"));
    QCOMPARE(d.settingsFilePath, QStringLiteral("C:/Apps/Sensor//LumoPar.txt"));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
