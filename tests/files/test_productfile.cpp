// The product parameter text and file on real files: the exact text, float formatting, the
// round trip, what an import accepts and refuses, damaged files, saving, the dock title and
// the import of the sensor's text at connect.

#include "files/productfile.h"
#include "filetestutil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Every field as "name=value" lines (nine digits, so that any float difference shows).
QString dump(const ProductParameters& p)
{
    auto f = [](float v) { return QString::number(double(v), 'g', 9); };
    QString out =
        QStringLiteral("SENSOR_ROI=%1 TARGET_ANGLE=%2 ANGLE_TOL_POS=%3 ANGLE_TOL_NEG=%4\n")
            .arg(p.SENSOR_ROI)
            .arg(f(p.TARGET_ANGLE), f(p.ANGLE_TOL_POS), f(p.ANGLE_TOL_NEG));
    for (const ProductJob& b : p.job) {
        out += QStringLiteral("%1 %2 %3 %4 %5 %6 %7 ")
                   .arg(b.PRODUCT_TYPE)
                   .arg(b.MIN_NR_LPOINTS)
                   .arg(b.LINE_ALGO_MODE)
                   .arg(b.LINE_FILTER)
                   .arg(f(b.PHI_MIN), f(b.PHI_MAX))
                   .arg(b.ROI_COUNT);
        out += QStringLiteral("%1 %2 %3 %4\n")
                   .arg(f(b.ROI_X_0), f(b.ROI_Y_0), f(b.ROI_X_1), f(b.ROI_Y_1));
    }
    return out;
}

// A record with every field set, different from the start values and from its neighbours.
ProductParameters sampleRecord()
{
    ProductParameters p;
    p.SENSOR_ROI = 1;
    p.TARGET_ANGLE = 92.125f;
    p.ANGLE_TOL_POS = 1.5f;
    p.ANGLE_TOL_NEG = 0.25f;
    for (int j = 0; j < 2; ++j)
        p.job[j] = ProductJob{
            1 + j, 20 + j,          j,          -2 - j,         -10.5f - j,   170.75f + j,
            2,     -12.345678f + j, 101.5f + j, 33.333333f + j, 250.0675f + j};
    return p;
}

const char* const jobLines = "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=8\nLINE_ALGO_MODE=1\nLINE_FILTER=3\n"
                             "PHI_MIN=0\nPHI_MAX=180\nROI_COUNT=0\n"
                             "ROI_X_0=0\nROI_Y_0=0\nROI_X_1=0\nROI_Y_1=0\n";

// The text of the start values, written out here apart from the code under test.
QByteArray startText()
{
    return "[FileInfo]\nDate=" + fixedDateText().toLatin1() +
           "\nTime=14:03:05\n\n"
           "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=2\nTARGET_ANGLE=0\n"
           "ANGLE_TOL_NEG=5\nANGLE_TOL_POS=5\n\n[JOB_0]\n" +
           jobLines + "\n[JOB_1]\n" + jobLines;
}

} // namespace

class TestProductFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startValuesGiveTheExactBytes();
    void everyValueSitsAtItsKey();
    void floatsHaveSixSignificantDigits_data();
    void floatsHaveSixSignificantDigits();
    void exportThenImportReproducesTheRecord();
    void importAcceptsOnlyAngleCalculation_data();
    void importAcceptsOnlyAngleCalculation();
    void groupsAndKeysInAnyOrder();
    void missingJobGroupsGiveZeroJobFields();
    void unreadableValuesGiveZero_data();
    void unreadableValuesGiveZero();
    void saveTruncatesAnOlderFile();
    void saveFailures_data();
    void saveFailures();
    void dockTitle_data();
    void dockTitle();
    void importAtConnect();
    void quickSuccessiveImportsReadTheNewText();

private:
    QString path(const QString& name) const { return dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestProductFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

// Catches any byte out of place in the text and in the saved file: keys, order, blank lines,
// number formats, date and time, line ends.
void TestProductFile::startValuesGiveTheExactBytes()
{
    QCOMPARE(buildProductText(ProductParameters(), fixedNow).toLatin1(), startText());
    const QString file = path(QStringLiteral("ProdPar.txt"));
    QVERIFY(writeProductFile(file, buildProductText(ProductParameters(), fixedNow)));
    QCOMPARE(fileBytes(file), startText());
}

// Catches a value written under a neighbour's key or from the other job (the start values
// have equal tolerances and equal jobs, so they cannot show this).
void TestProductFile::everyValueSitsAtItsKey()
{
    const QStringList lines = buildProductText(sampleRecord(), fixedNow).split('\n');
    QCOMPARE(lines.size(), 37); // 36 lines, each ending in a line feed
    QCOMPARE(lines.mid(6, 4), QStringList({"SENSOR_ROI=1", "TARGET_ANGLE=92.125",
                                           "ANGLE_TOL_NEG=0.25", "ANGLE_TOL_POS=1.5"}));
    QCOMPARE(
        lines.mid(12, 11),
        QStringList({"PRODUCT_TYPE=1", "MIN_NR_LPOINTS=20", "LINE_ALGO_MODE=0", "LINE_FILTER=-2",
                     "PHI_MIN=-10.5", "PHI_MAX=170.75", "ROI_COUNT=2", "ROI_X_0=-12.3457",
                     "ROI_Y_0=101.5", "ROI_X_1=33.3333", "ROI_Y_1=250.068"}));
    QCOMPARE(
        lines.mid(25, 11),
        QStringList({"PRODUCT_TYPE=2", "MIN_NR_LPOINTS=21", "LINE_ALGO_MODE=1", "LINE_FILTER=-3",
                     "PHI_MIN=-11.5", "PHI_MAX=171.75", "ROI_COUNT=2", "ROI_X_0=-11.3457",
                     "ROI_Y_0=102.5", "ROI_X_1=34.3333", "ROI_Y_1=251.068"}));
}

void TestProductFile::floatsHaveSixSignificantDigits_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5f << "0.5";
    QTest::newRow("whole number") << 45.0f << "45";
    QTest::newRow("negative") << -12.25f << "-12.25";
    QTest::newRow("a million") << 1e6f << "1e+06";
    QTest::newRow("just below a million") << 999999.0f << "999999";
    QTest::newRow("rounded up to a million") << 999999.6f << "1e+06";
    QTest::newRow("ten thousandth") << 0.0001f << "0.0001";
    QTest::newRow("hundred thousandth") << 0.00001f << "1e-05";
    QTest::newRow("one third") << 1.0f / 3.0f << "0.333333";
}

// Catches a wrong precision or notation switch, and a float key formatted differently from
// the others.
void TestProductFile::floatsHaveSixSignificantDigits()
{
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(productFloatText(value), text);
    ProductParameters p;
    p.TARGET_ANGLE = value;
    p.job[1].ROI_Y_1 = value;
    const QStringList lines = buildProductText(p, fixedNow).split('\n');
    QCOMPARE(lines.at(7), QStringLiteral("TARGET_ANGLE=") + text);
    QCOMPARE(lines.at(35), QStringLiteral("ROI_Y_1=") + text);
}

// Catches a field lost or swapped between export and import; floats come back as their
// six-digit text.
void TestProductFile::exportThenImportReproducesTheRecord()
{
    const QString file = path(QStringLiteral("job.txt"));
    QVERIFY(writeProductFile(file, buildProductText(sampleRecord(), fixedNow)));
    ProductParameters expected = sampleRecord(); // the values six digits cut:
    expected.job[0].ROI_X_0 = -12.3457f;
    expected.job[0].ROI_X_1 = 33.3333f;
    expected.job[0].ROI_Y_1 = 250.068f;
    expected.job[1].ROI_X_0 = -11.3457f;
    expected.job[1].ROI_X_1 = 34.3333f;
    expected.job[1].ROI_Y_1 = 251.068f;
    ProductParameters loaded; // start values
    QVERIFY(readProductFile(file, loaded));
    QCOMPARE(dump(loaded), dump(expected));
}

void TestProductFile::importAcceptsOnlyAngleCalculation_data()
{
    QTest::addColumn<int>("kind"); // 0 missing file, 1 a directory, 2 content below
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("sensorRoi"); // -1: refused
    auto function = [](const char* tag, const QByteArray& line, int sensorRoi) {
        QTest::newRow(tag) << 2 << "[ProductInfo]\n" + line + "\nSENSOR_ROI=1\n" << sensorRoi;
    };
    function("exact", "Function=AngleCalculation", 1);
    function("lower case", "Function=anglecalculation", 1);
    function("upper case", "Function=ANGLECALCULATION", 1);
    function("quoted", "Function=\"AngleCalculation\"", 1);
    function("byte array value", "Function=@ByteArray(AngleCalculation)", 1);
    function("other function", "Function=EdgeDetection", -1);
    function("prefix only", "Function=AngleCalc", -1);
    function("longer", "Function=AngleCalculation2", -1);
    function("empty", "Function=", -1);
    function("missing", "Other=AngleCalculation", -1);
    function("serialised value", "Function=@Variant(\\0\\0\\0\\x7f\\0\\0)", -1);
    QTest::newRow("function in the wrong group")
        << 2 << QByteArray("[FileInfo]\nFunction=AngleCalculation\n[JOB_0]\nPHI_MAX=9\n") << -1;
    QTest::newRow("settings file")
        << 2 << QByteArray("[SensorInfo]\nIPAddress=XXXX\nPort=XXXX\n[Mode]\nMODE=9\n") << -1;
    QTest::newRow("missing file") << 0 << QByteArray() << -1;
    QTest::newRow("directory") << 1 << QByteArray() << -1;
    QTest::newRow("empty file") << 2 << QByteArray() << -1;
    QTest::newRow("binary garbage") << 2 << binaryGarbage(8192) << -1;
    QTest::newRow("zero bytes") << 2 << QByteArray(5000, '\0') << -1;
    QTest::newRow("unterminated group") << 2 << QByteArray("[ProductInfo\nFunction=") << -1;
    QTest::newRow("garbage around a valid job")
        << 2 << binaryGarbage(300) + "\n[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=1\n"
        << 1;
    QTest::newRow("very long line")
        << 2 << "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=" + QByteArray(200000, '9')
        << 0;
}

// Catches an import of anything but an angle job (or of a damaged file) that reports success
// or changes the record, a case-sensitive function check, and crashes on damaged files.
void TestProductFile::importAcceptsOnlyAngleCalculation()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, content);
    QFETCH(int, sensorRoi);
    const QString file = path(QStringLiteral("job.txt"));
    if (kind == 1)
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("job.txt")));
    if (kind == 2)
        QVERIFY(putFile(file, content));
    ProductParameters p = sampleRecord();
    QCOMPARE(readProductFile(file, p), sensorRoi >= 0);
    if (sensorRoi < 0) {
        QCOMPARE(dump(p), dump(sampleRecord()));
    } else {
        QCOMPARE(p.SENSOR_ROI, sensorRoi);
        QCOMPARE(p.job[0].PHI_MAX, 0.0f); // no job group: all job fields 0
    }
}

// Catches a reader that depends on group or key order, needs FileInfo, or trips on blank
// lines and CR LF line ends.
void TestProductFile::groupsAndKeysInAnyOrder()
{
    const QByteArray text = "[JOB_1]\r\nROI_Y_1=4\r\nROI_X_1=3\r\nROI_Y_0=2\r\nROI_X_0=1\r\n"
                            "ROI_COUNT=2\r\nPHI_MAX=90\r\nPHI_MIN=-90\r\nLINE_FILTER=5\r\n"
                            "LINE_ALGO_MODE=0\r\nMIN_NR_LPOINTS=12\r\nPRODUCT_TYPE=1\r\n\r\n\r\n"
                            "[ProductInfo]\r\nANGLE_TOL_POS=2\r\nANGLE_TOL_NEG=3\r\n"
                            "TARGET_ANGLE=45\r\nSENSOR_ROI=0\r\nFunction=AngleCalculation\r\n"
                            "[JOB_0]\r\nROI_X_0=-5.5\r\nPRODUCT_TYPE=7\r\n";
    const QString file = path(QStringLiteral("shuffled.txt"));
    QVERIFY(putFile(file, text));
    ProductParameters p = sampleRecord();
    QVERIFY(readProductFile(file, p));
    ProductParameters expected;
    expected.SENSOR_ROI = 0;
    expected.TARGET_ANGLE = 45;
    expected.ANGLE_TOL_POS = 2;
    expected.ANGLE_TOL_NEG = 3;
    expected.job[0] = ProductJob{7, 0, 0, 0, 0, 0, 0, -5.5f, 0, 0, 0};
    expected.job[1] = ProductJob{1, 12, 0, 5, -90, 90, 2, 1, 2, 3, 4};
    QCOMPARE(dump(p), dump(expected));
}

// Catches job fields that keep their old or start values when the job groups are missing.
void TestProductFile::missingJobGroupsGiveZeroJobFields()
{
    const QString file = path(QStringLiteral("nojobs.txt"));
    QVERIFY(putFile(file, "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=1\n"
                          "TARGET_ANGLE=10\nANGLE_TOL_NEG=1\nANGLE_TOL_POS=2\n"));
    ProductParameters p; // start values: PRODUCT_TYPE 1, PHI_MAX 180, MIN_NR_LPOINTS 8, ...
    QVERIFY(readProductFile(file, p));
    ProductParameters expected;
    expected.SENSOR_ROI = 1;
    expected.TARGET_ANGLE = 10;
    expected.ANGLE_TOL_NEG = 1;
    expected.ANGLE_TOL_POS = 2;
    expected.job[0] = expected.job[1] = ProductJob{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    QCOMPARE(dump(p), dump(expected));
}

void TestProductFile::unreadableValuesGiveZero_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<float>("real");
    QTest::newRow("plain") << QByteArray("12") << 12 << 12.0f;
    QTest::newRow("exponent") << QByteArray("1e+06") << 0 << 1e6f;
    QTest::newRow("fraction") << QByteArray("2.7") << 0 << 2.7f;
    QTest::newRow("negative") << QByteArray("-3") << -3 << -3.0f;
    QTest::newRow("word") << QByteArray("abc") << 0 << 0.0f;
    QTest::newRow("hexadecimal") << QByteArray("0x1A") << 0 << 0.0f;
    QTest::newRow("beyond a float") << QByteArray("1e39") << 0 << 0.0f;
    QTest::newRow("beyond an integer") << QByteArray("3000000000") << 0 << 3e9f;
    QTest::newRow("not a number") << QByteArray("nan") << 0 << 0.0f;
    QTest::newRow("negative infinite") << QByteArray("-inf") << 0 << 0.0f;
    QTest::newRow("decimal comma") << QByteArray("1,5") << 0 << 0.0f;
}

// Catches values read leniently, overflow wrapping, and non-finite floats let through.
void TestProductFile::unreadableValuesGiveZero()
{
    QFETCH(QByteArray, text);
    QFETCH(int, integer);
    QFETCH(float, real);
    const QString file = path(QStringLiteral("values.txt"));
    QVERIFY(putFile(file, "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=" + text +
                              "\nTARGET_ANGLE=" + text + "\n[JOB_1]\nROI_COUNT=" + text +
                              "\nPHI_MAX=" + text + "\n"));
    ProductParameters p = sampleRecord();
    QVERIFY(readProductFile(file, p));
    QCOMPARE(p.SENSOR_ROI, integer);
    QCOMPARE(p.job[1].ROI_COUNT, integer);
    QCOMPARE(p.TARGET_ANGLE, real);
    QCOMPARE(p.job[1].PHI_MAX, real);
}

// Catches a save that leaves the tail of a longer older file behind.
void TestProductFile::saveTruncatesAnOlderFile()
{
    const QString file = path(QStringLiteral("old.txt"));
    QVERIFY(putFile(file, QByteArray(5000, 'x')));
    QVERIFY(writeProductFile(file, QStringLiteral("[ProductInfo]\nFunction=AngleCalculation\n")));
    QCOMPARE(fileBytes(file), QByteArray("[ProductInfo]\nFunction=AngleCalculation\n"));
}

void TestProductFile::saveFailures_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing directory") << "no/such/dir/ProdPar.txt";
    QTest::newRow("a directory") << "adir";
    QTest::newRow("below a plain file") << "plain.txt/ProdPar.txt";
    QTest::newRow("empty name") << "";
}

// Catches a failed save reported as success, directories created on the way, or damage to
// what is in the way.
void TestProductFile::saveFailures()
{
    QFETCH(QString, relative);
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("adir")));
    QVERIFY(putFile(path(QStringLiteral("plain.txt")), "keep"));
    const QString file = relative.isEmpty() ? QString() : path(relative);
    QVERIFY(!writeProductFile(file, buildProductText(ProductParameters(), fixedNow)));
    QVERIFY(!QFile::exists(path(QStringLiteral("no"))));
    QVERIFY(QDir(path(QStringLiteral("adir"))).isEmpty());
    QCOMPARE(fileBytes(path(QStringLiteral("plain.txt"))), QByteArray("keep"));
}

void TestProductFile::dockTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    auto row = [](const char* tag, const char* path, const char* title) {
        QTest::newRow(tag) << QString(path) << QString(title);
    };
    row("letter case", "/data/Demo.TXT.txt", "Product Parameters: Demo");
    row("temporary file at connect", "/base/ProdPar.txt.tmp", "Product Parameters: ProdPar.tmp");
    row("directory part dropped", "/a.txt/b", "Product Parameters: b");
    row("other extension kept", "/x/job.ini", "Product Parameters: job.ini");
}

// Catches ".txt" removed only once or case-sensitively, or the directory part left in.
void TestProductFile::dockTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(productDockTitle(path), title);
}

// Catches an import at connect that leaves its temporary file behind, reads a longer leftover
// (here holding a JOB_1 the new text lacks), accepts text that is no angle job, or succeeds
// without being able to write its temporary file.
void TestProductFile::importAtConnect()
{
    const QString temp = path(QStringLiteral("ProdPar.txt.tmp"));
    ProductParameters p;
    QVERIFY(importProductText(buildProductText(sampleRecord(), fixedNow), temp, p));
    QCOMPARE(p.job[1].PHI_MAX, sampleRecord().job[1].PHI_MAX);
    QVERIFY(QDir(dir->path()).isEmpty());

    QVERIFY(writeProductFile(temp, buildProductText(sampleRecord(), fixedNow)));
    QVERIFY(importProductText(QStringLiteral("[ProductInfo]\nFunction=AngleCalculation\n"
                                             "SENSOR_ROI=0\n[JOB_0]\nPHI_MAX=33\n"),
                              temp, p));
    QCOMPARE(p.SENSOR_ROI, 0);
    QCOMPARE(p.job[0].PHI_MAX, 33.0f);
    QCOMPARE(p.job[1].PHI_MAX, 0.0f);
    QVERIFY(!QFile::exists(temp));

    p = sampleRecord();
    QVERIFY(!importProductText(QStringLiteral("ERROR\n"), temp, p));
    QVERIFY(!importProductText(QString(), temp, p));
    QCOMPARE(dump(p), dump(sampleRecord()));
    QVERIFY(!QFile::exists(temp));

    // No temporary file possible: refused, record unchanged, nothing in the way removed.
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("adir")));
    QVERIFY(putFile(path(QStringLiteral("adir/inside.txt")), "keep"));
    for (const QString& bad : {path(QStringLiteral("gone/x.tmp")), path("adir"), QString()})
        QVERIFY(!importProductText(buildProductText(ProductParameters(), fixedNow), bad, p));
    QCOMPARE(dump(p), dump(sampleRecord()));
    QCOMPARE(fileBytes(path(QStringLiteral("adir/inside.txt"))), QByteArray("keep"));
}

// Catches stale reads: texts of equal length written to the same name in quick succession
// must each read back as themselves, both at connect and from a saved file.
void TestProductFile::quickSuccessiveImportsReadTheNewText()
{
    const QString temp = path(QStringLiteral("ProdPar.txt.tmp"));
    const QString file = path(QStringLiteral("same.txt"));
    for (int round = 0; round < 40; ++round) {
        ProductParameters sent;
        sent.job[0].PHI_MAX = round % 2 ? 11.0f : 22.0f;
        const QString text = buildProductText(sent, fixedNow);
        ProductParameters p, q;
        QVERIFY(importProductText(text, temp, p));
        QCOMPARE(p.job[0].PHI_MAX, sent.job[0].PHI_MAX);
        QVERIFY(writeProductFile(file, text));
        QVERIFY(readProductFile(file, q));
        QCOMPARE(q.job[0].PHI_MAX, sent.job[0].PHI_MAX);
    }
}

QTEST_GUILESS_MAIN(TestProductFile)
#include "test_productfile.moc"
