// The product parameter text and file on real files: the exact text, float formatting, the
// round trip, what an import accepts and refuses, damaged files, saving, the dock title and
// the import of the sensor's text at connect.

#include "files/productfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <memory>

namespace {

const QDateTime fixedNow(QDate(2024, 3, 5), QTime(14, 3, 5));

QString dateLine()
{
    return QStringLiteral("Date=") + fixedNow.date().toString(Qt::TextDate) + QLatin1Char('\n');
}

// Every field as "name=value" lines (nine digits, so that any float difference shows).
QString dump(const ProductParameters& p)
{
    auto f = [](float v) { return QString::number(double(v), 'g', 9); };
    QString out = QStringLiteral("SENSOR_ROI=%1\nTARGET_ANGLE=%2\nANGLE_TOL_POS=%3\n"
                                 "ANGLE_TOL_NEG=%4\n")
                      .arg(p.SENSOR_ROI)
                      .arg(f(p.TARGET_ANGLE), f(p.ANGLE_TOL_POS), f(p.ANGLE_TOL_NEG));
    for (int j = 0; j < 2; ++j) {
        const ProductJob& b = p.job[j];
        out += QStringLiteral("%1: %2 %3 %4 %5 %6 %7 %8 %9 ")
                   .arg(j)
                   .arg(b.PRODUCT_TYPE)
                   .arg(b.MIN_NR_LPOINTS)
                   .arg(b.LINE_ALGO_MODE)
                   .arg(b.LINE_FILTER)
                   .arg(f(b.PHI_MIN), f(b.PHI_MAX))
                   .arg(b.ROI_COUNT)
                   .arg(f(b.ROI_X_0));
        out += QStringLiteral("%1 %2 %3\n").arg(f(b.ROI_Y_0), f(b.ROI_X_1), f(b.ROI_Y_1));
    }
    return out;
}

// A record with every field set and different from the start values.
ProductParameters sampleRecord()
{
    ProductParameters p;
    p.SENSOR_ROI = 1;
    p.TARGET_ANGLE = 92.125f;
    p.ANGLE_TOL_POS = 1.5f;
    p.ANGLE_TOL_NEG = 0.25f;
    for (int j = 0; j < 2; ++j) {
        ProductJob& b = p.job[j];
        b.PRODUCT_TYPE = 1 + j;
        b.MIN_NR_LPOINTS = 20 + j;
        b.LINE_ALGO_MODE = j;
        b.LINE_FILTER = 2 + j;
        b.PHI_MIN = -10.5f - j;
        b.PHI_MAX = 170.75f + j;
        b.ROI_COUNT = 2;
        b.ROI_X_0 = -12.345678f + j;
        b.ROI_Y_0 = 101.5f + j;
        b.ROI_X_1 = 33.333333f + j;
        b.ROI_Y_1 = 250.0625f + j;
    }
    return p;
}

// What a float becomes after a trip through the text.
float viaText(float v)
{
    return QString::number(double(v), 'g', 6).toFloat();
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

const char* const jobLines = "PRODUCT_TYPE=1\n"
                             "MIN_NR_LPOINTS=8\n"
                             "LINE_ALGO_MODE=1\n"
                             "LINE_FILTER=3\n"
                             "PHI_MIN=0\n"
                             "PHI_MAX=180\n"
                             "ROI_COUNT=0\n"
                             "ROI_X_0=0\n"
                             "ROI_Y_0=0\n"
                             "ROI_X_1=0\n"
                             "ROI_Y_1=0\n";

QByteArray startText()
{
    return QByteArray("[FileInfo]\n") + dateLine().toLatin1() +
           "Time=14:03:05\n"
           "\n"
           "[ProductInfo]\n"
           "Function=AngleCalculation\n"
           "SENSOR_ROI=2\n"
           "TARGET_ANGLE=0\n"
           "ANGLE_TOL_NEG=5\n"
           "ANGLE_TOL_POS=5\n"
           "\n"
           "[JOB_0]\n" +
           jobLines + "\n[JOB_1]\n" + jobLines;
}

} // namespace

class TestProductFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void startValuesGiveTheExactText();
    void savedFileHoldsTheExactBytes();
    void dateFollowsTheTextDateFormat();
    void floatsHaveSixSignificantDigits_data();
    void floatsHaveSixSignificantDigits();
    void integersAreDecimal_data();
    void integersAreDecimal();
    void linesFollowTheFixedOrder();

    void exportThenImportReproducesTheRecord();
    void functionNameIsCheckedIgnoringCase_data();
    void functionNameIsCheckedIgnoringCase();
    void refusedFileLeavesTheRecordUnchanged_data();
    void refusedFileLeavesTheRecordUnchanged();
    void groupsAndKeysInAnyOrder();
    void missingJobGroupsGiveZeroJobFields();
    void unreadableValuesGiveZero_data();
    void unreadableValuesGiveZero();
    void damagedFilesNeverCrash_data();
    void damagedFilesNeverCrash();

    void saveTruncatesAnOlderFile();
    void saveFailures_data();
    void saveFailures();

    void dockTitle_data();
    void dockTitle();

    void importAtConnectReadsTheTextAndDeletesTheFile();
    void importAtConnectTruncatesALongerLeftover();
    void importAtConnectRefusesWrongText();
    void importAtConnectWithoutTemporaryFile_data();
    void importAtConnectWithoutTemporaryFile();
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

void TestProductFile::startValuesGiveTheExactText()
{
    const QString text = buildProductText(ProductParameters(), fixedNow);
    QCOMPARE(text.toLatin1(), startText());
    QCOMPARE(text.count(QLatin1Char('\n')), 36);
    QVERIFY(!text.contains(QLatin1Char('\r')));
}

void TestProductFile::savedFileHoldsTheExactBytes()
{
    const QString file = path(QStringLiteral("ProdPar.txt"));
    QVERIFY(writeProductFile(file, buildProductText(ProductParameters(), fixedNow)));
    QCOMPARE(fileBytes(file), startText());
}

void TestProductFile::dateFollowsTheTextDateFormat()
{
    const QLocale system = QLocale::system();
    if (system.language() != QLocale::C && system.language() != QLocale::English)
        QSKIP("day and month names follow the system locale");
    const QStringList lines = buildProductText(ProductParameters(), fixedNow).split('\n');
    QCOMPARE(lines.at(1), QStringLiteral("Date=Tue Mar 5 2024"));
    QCOMPARE(lines.at(2), QStringLiteral("Time=14:03:05"));
}

void TestProductFile::floatsHaveSixSignificantDigits_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5f << "0.5";
    QTest::newRow("whole number") << 45.0f << "45";
    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("negative") << -12.25f << "-12.25";
    QTest::newRow("a million") << 1e6f << "1e+06";
    QTest::newRow("just below a million") << 999999.0f << "999999";
    QTest::newRow("rounded up to a million") << 999999.6f << "1e+06";
    QTest::newRow("ten thousandth") << 0.0001f << "0.0001";
    QTest::newRow("hundred thousandth") << 0.00001f << "1e-05";
    QTest::newRow("rounded to six digits") << 123.4567f << "123.457";
    QTest::newRow("one third") << 1.0f / 3.0f << "0.333333";
    QTest::newRow("large negative") << -2.5e7f << "-2.5e+07";
}

void TestProductFile::floatsHaveSixSignificantDigits()
{
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(productFloatText(value), text);
    // And in its place in the text: every float key carries the same formatting.
    ProductParameters p;
    p.TARGET_ANGLE = value;
    p.job[1].ROI_Y_1 = value;
    const QStringList lines = buildProductText(p, fixedNow).split('\n');
    QCOMPARE(lines.at(7), QStringLiteral("TARGET_ANGLE=") + text);
    QCOMPARE(lines.at(35), QStringLiteral("ROI_Y_1=") + text);
}

void TestProductFile::integersAreDecimal_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("negative") << -7 << "-7";
    QTest::newRow("large") << 123456789 << "123456789";
    QTest::newRow("smallest") << INT_MIN << "-2147483648";
}

void TestProductFile::integersAreDecimal()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    ProductParameters p;
    p.SENSOR_ROI = value;
    p.job[0].LINE_FILTER = value;
    const QStringList lines = buildProductText(p, fixedNow).split('\n');
    QCOMPARE(lines.at(6), QStringLiteral("SENSOR_ROI=") + text);
    QCOMPARE(lines.at(15), QStringLiteral("LINE_FILTER=") + text);
}

void TestProductFile::linesFollowTheFixedOrder()
{
    const QStringList lines = buildProductText(sampleRecord(), fixedNow).split('\n');
    QCOMPARE(lines.size(), 37); // 36 lines, each ending in a line feed
    QCOMPARE(lines.last(), QString());
    const QStringList keys = {"[FileInfo]",
                              "Date",
                              "Time",
                              "",
                              "[ProductInfo]",
                              "Function",
                              "SENSOR_ROI",
                              "TARGET_ANGLE",
                              "ANGLE_TOL_NEG",
                              "ANGLE_TOL_POS",
                              "",
                              "[JOB_0]",
                              "PRODUCT_TYPE",
                              "MIN_NR_LPOINTS",
                              "LINE_ALGO_MODE",
                              "LINE_FILTER",
                              "PHI_MIN",
                              "PHI_MAX",
                              "ROI_COUNT",
                              "ROI_X_0",
                              "ROI_Y_0",
                              "ROI_X_1",
                              "ROI_Y_1",
                              "",
                              "[JOB_1]",
                              "PRODUCT_TYPE",
                              "MIN_NR_LPOINTS",
                              "LINE_ALGO_MODE",
                              "LINE_FILTER",
                              "PHI_MIN",
                              "PHI_MAX",
                              "ROI_COUNT",
                              "ROI_X_0",
                              "ROI_Y_0",
                              "ROI_X_1",
                              "ROI_Y_1"};
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(lines.at(i).section(QLatin1Char('='), 0, 0), keys.at(i));
    QCOMPARE(lines.at(8), QStringLiteral("ANGLE_TOL_NEG=0.25"));
    QCOMPARE(lines.at(9), QStringLiteral("ANGLE_TOL_POS=1.5"));
    QCOMPARE(lines.at(13), QStringLiteral("MIN_NR_LPOINTS=20"));
    QCOMPARE(lines.at(26), QStringLiteral("MIN_NR_LPOINTS=21"));
    QCOMPARE(lines.at(19), QStringLiteral("ROI_X_0=-12.3457"));
}

void TestProductFile::exportThenImportReproducesTheRecord()
{
    const ProductParameters saved = sampleRecord();
    const QString file = path(QStringLiteral("job.txt"));
    QVERIFY(writeProductFile(file, buildProductText(saved, fixedNow)));

    ProductParameters expected = saved;
    for (float* v : {&expected.TARGET_ANGLE, &expected.ANGLE_TOL_POS, &expected.ANGLE_TOL_NEG})
        *v = viaText(*v);
    for (ProductJob& b : expected.job) {
        for (float* v : {&b.PHI_MIN, &b.PHI_MAX, &b.ROI_X_0, &b.ROI_Y_0, &b.ROI_X_1, &b.ROI_Y_1})
            *v = viaText(*v);
    }
    // Six digits really cut some of them.
    QVERIFY(expected.job[0].ROI_X_0 != saved.job[0].ROI_X_0);
    QVERIFY(expected.job[1].ROI_Y_1 != saved.job[1].ROI_Y_1);
    QCOMPARE(expected.TARGET_ANGLE, saved.TARGET_ANGLE);

    ProductParameters loaded; // start values
    QVERIFY(readProductFile(file, loaded));
    QCOMPARE(dump(loaded), dump(expected));
}

void TestProductFile::functionNameIsCheckedIgnoringCase_data()
{
    QTest::addColumn<QByteArray>("function");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exact") << QByteArray("Function=AngleCalculation") << true;
    QTest::newRow("lower case") << QByteArray("Function=anglecalculation") << true;
    QTest::newRow("upper case") << QByteArray("Function=ANGLECALCULATION") << true;
    QTest::newRow("quoted") << QByteArray("Function=\"AngleCalculation\"") << true;
    QTest::newRow("other function") << QByteArray("Function=EdgeDetection") << false;
    QTest::newRow("prefix only") << QByteArray("Function=AngleCalc") << false;
    QTest::newRow("longer") << QByteArray("Function=AngleCalculation2") << false;
    QTest::newRow("empty") << QByteArray("Function=") << false;
    QTest::newRow("missing") << QByteArray("Other=AngleCalculation") << false;
}

void TestProductFile::functionNameIsCheckedIgnoringCase()
{
    QFETCH(QByteArray, function);
    QFETCH(bool, accepted);
    const QString file = path(QStringLiteral("function.txt"));
    QVERIFY(putFile(file, "[ProductInfo]\n" + function + "\nSENSOR_ROI=1\nTARGET_ANGLE=30\n"));
    ProductParameters p = sampleRecord();
    QCOMPARE(readProductFile(file, p), accepted);
    QCOMPARE(p.SENSOR_ROI, accepted ? 1 : sampleRecord().SENSOR_ROI);
    QCOMPARE(p.TARGET_ANGLE, accepted ? 30.0f : sampleRecord().TARGET_ANGLE);
}

void TestProductFile::refusedFileLeavesTheRecordUnchanged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("function in the wrong group")
        << QByteArray("[FileInfo]\nFunction=AngleCalculation\n[JOB_0]\nPHI_MAX=9\n");
    QTest::newRow("settings file")
        << QByteArray("[SensorInfo]\nIPAddress=XXXX\nPort=XXXX\n[Mode]\nMODE=9\n");
    QTest::newRow("wrong function with jobs")
        << QByteArray("[ProductInfo]\nFunction=Width\nSENSOR_ROI=0\n[JOB_0]\nPHI_MAX=9\n");
}

void TestProductFile::refusedFileLeavesTheRecordUnchanged()
{
    QFETCH(QByteArray, content);
    const QString file = path(QStringLiteral("refused.txt"));
    QVERIFY(putFile(file, content));
    ProductParameters p = sampleRecord();
    QVERIFY(!readProductFile(file, p));
    QCOMPARE(dump(p), dump(sampleRecord()));
}

void TestProductFile::groupsAndKeysInAnyOrder()
{
    // No FileInfo, jobs before the shared part, keys reversed, blank lines and CR LF ends.
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
    QTest::newRow("empty") << QByteArray("") << 0 << 0.0f;
    QTest::newRow("hexadecimal") << QByteArray("0x1A") << 0 << 0.0f;
    QTest::newRow("beyond a float") << QByteArray("1e39") << 0 << 0.0f;
    QTest::newRow("beyond an integer") << QByteArray("3000000000") << 0 << 3e9f;
    QTest::newRow("not a number") << QByteArray("nan") << 0 << 0.0f;
    QTest::newRow("infinite") << QByteArray("inf") << 0 << 0.0f;
    QTest::newRow("negative infinite") << QByteArray("-inf") << 0 << 0.0f;
    QTest::newRow("decimal comma") << QByteArray("1,5") << 0 << 0.0f;
}

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

void TestProductFile::damagedFilesNeverCrash_data()
{
    QTest::addColumn<int>("kind"); // 0 missing, 1 directory, 2 content below
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("accepted");
    QByteArray binary;
    for (int i = 0; i < 8192; ++i)
        binary.append(char((i * 151 + 17) & 0xff));
    QTest::newRow("missing file") << 0 << QByteArray() << false;
    QTest::newRow("directory") << 1 << QByteArray() << false;
    QTest::newRow("empty file") << 2 << QByteArray() << false;
    QTest::newRow("binary garbage") << 2 << binary << false;
    QTest::newRow("zero bytes") << 2 << QByteArray(5000, '\0') << false;
    QTest::newRow("unterminated group") << 2 << QByteArray("[ProductInfo\nFunction=") << false;
    QTest::newRow("serialised value")
        << 2 << QByteArray("[ProductInfo]\nFunction=@Variant(\\0\\0\\0\\x7f\\0\\0)\n") << false;
    QTest::newRow("byte array value")
        << 2 << QByteArray("[ProductInfo]\nFunction=@ByteArray(AngleCalculation)\n") << true;
    QTest::newRow("garbage around a valid job")
        << 2 << binary.left(300) + "\n[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=1\n"
        << true;
    QTest::newRow("very long line")
        << 2 << "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=" + QByteArray(200000, '9')
        << true;
}

void TestProductFile::damagedFilesNeverCrash()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, content);
    QFETCH(bool, accepted);
    const QString file = path(QStringLiteral("damaged.txt"));
    if (kind == 1)
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("damaged.txt")));
    if (kind == 2)
        QVERIFY(putFile(file, content));
    if (QByteArray(QTest::currentDataTag()) == "serialised value")
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("QVariant::load")));
    ProductParameters p = sampleRecord();
    QCOMPARE(readProductFile(file, p), accepted);
    if (!accepted)
        QCOMPARE(dump(p), dump(sampleRecord()));
    else
        QCOMPARE(p.job[0].PHI_MAX, 0.0f); // no job group: all job fields 0
}

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

void TestProductFile::saveFailures()
{
    QFETCH(QString, relative);
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("adir")));
    QVERIFY(putFile(path(QStringLiteral("plain.txt")), "keep"));
    const QString file = relative.isEmpty() ? QString() : path(relative);
    QVERIFY(!writeProductFile(file, buildProductText(ProductParameters(), fixedNow)));
    QVERIFY(!QFile::exists(path(QStringLiteral("no"))));
    QVERIFY(QFileInfo(path(QStringLiteral("adir"))).isDir());
    QCOMPARE(fileBytes(path(QStringLiteral("plain.txt"))), QByteArray("keep"));
}

void TestProductFile::dockTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("letter case") << "/data/Demo.TXT.txt"
                                 << "Product Parameters: Demo";
    QTest::newRow("temporary file at connect") << "/base/ProdPar.txt.tmp"
                                               << "Product Parameters: ProdPar.tmp";
    QTest::newRow("plain") << "C:/jobs/Angle.txt"
                           << "Product Parameters: Angle";
    QTest::newRow("no directory") << "job.Txt"
                                  << "Product Parameters: job";
    QTest::newRow("directory part dropped") << "/a.txt/b"
                                            << "Product Parameters: b";
    QTest::newRow("other extension kept") << "/x/job.ini"
                                          << "Product Parameters: job.ini";
}

void TestProductFile::dockTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(productDockTitle(path), title);
}

void TestProductFile::importAtConnectReadsTheTextAndDeletesTheFile()
{
    const QString temp = path(QStringLiteral("ProdPar.txt.tmp"));
    const ProductParameters sent = sampleRecord();
    ProductParameters p;
    QVERIFY(importProductText(buildProductText(sent, fixedNow), temp, p));
    QCOMPARE(p.SENSOR_ROI, sent.SENSOR_ROI);
    QCOMPARE(p.job[1].PHI_MAX, sent.job[1].PHI_MAX);
    QCOMPARE(p.job[1].ROI_Y_1, sent.job[1].ROI_Y_1);
    QVERIFY(!QFile::exists(temp));
    QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 0);
}

void TestProductFile::importAtConnectTruncatesALongerLeftover()
{
    // A leftover from an earlier run holds a JOB_1 that the new text lacks.
    const QString temp = path(QStringLiteral("ProdPar.txt.tmp"));
    QVERIFY(writeProductFile(temp, buildProductText(sampleRecord(), fixedNow)));
    const QString received = QStringLiteral("[ProductInfo]\nFunction=AngleCalculation\n"
                                            "SENSOR_ROI=0\n[JOB_0]\nPHI_MAX=33\n");
    ProductParameters p;
    QVERIFY(importProductText(received, temp, p));
    QCOMPARE(p.SENSOR_ROI, 0);
    QCOMPARE(p.job[0].PHI_MAX, 33.0f);
    QCOMPARE(p.job[1].PHI_MAX, 0.0f);
    QCOMPARE(p.job[1].MIN_NR_LPOINTS, 0);
    QVERIFY(!QFile::exists(temp));
}

void TestProductFile::importAtConnectRefusesWrongText()
{
    const QString temp = path(QStringLiteral("ProdPar.txt.tmp"));
    ProductParameters p = sampleRecord();
    QVERIFY(!importProductText(QStringLiteral("ERROR\n"), temp, p));
    QVERIFY(!importProductText(QString(), temp, p));
    QCOMPARE(dump(p), dump(sampleRecord()));
    QVERIFY(!QFile::exists(temp));
}

void TestProductFile::importAtConnectWithoutTemporaryFile_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("missing directory") << "gone/ProdPar.txt.tmp";
    QTest::newRow("a directory") << "adir";
    QTest::newRow("empty name") << "";
}

void TestProductFile::importAtConnectWithoutTemporaryFile()
{
    QFETCH(QString, relative);
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("adir")));
    QVERIFY(putFile(path(QStringLiteral("adir/inside.txt")), "keep"));
    const QString temp = relative.isEmpty() ? QString() : path(relative);
    ProductParameters p = sampleRecord();
    QVERIFY(!importProductText(buildProductText(ProductParameters(), fixedNow), temp, p));
    QCOMPARE(dump(p), dump(sampleRecord()));
    QCOMPARE(fileBytes(path(QStringLiteral("adir/inside.txt"))), QByteArray("keep"));
}

void TestProductFile::quickSuccessiveImportsReadTheNewText()
{
    // Texts of equal length written to the same temporary name in quick succession: each
    // import must see its own text, not the one before.
    const QString temp = path(QStringLiteral("ProdPar.txt.tmp"));
    const QString file = path(QStringLiteral("same.txt"));
    for (int round = 0; round < 40; ++round) {
        ProductParameters sent;
        sent.SENSOR_ROI = round % 2;
        sent.job[0].PHI_MAX = round % 2 ? 11.0f : 22.0f;
        const QString text = buildProductText(sent, fixedNow);
        ProductParameters p;
        QVERIFY(importProductText(text, temp, p));
        QCOMPARE(p.SENSOR_ROI, sent.SENSOR_ROI);
        QCOMPARE(p.job[0].PHI_MAX, sent.job[0].PHI_MAX);

        QVERIFY(writeProductFile(file, text));
        ProductParameters q;
        QVERIFY(readProductFile(file, q));
        QCOMPARE(q.job[0].PHI_MAX, sent.job[0].PHI_MAX);
    }
}

QTEST_GUILESS_MAIN(TestProductFile)
#include "test_productfile.moc"
