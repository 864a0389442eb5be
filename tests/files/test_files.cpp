// The sensor settings file, single values of INI files, the code conversions of the offset
// combo boxes and the mode, and the product parameter file, all on real files.
#include "files/productfile.h"
#include "files/settingsfile.h"
#include "sensor/sensorparameters.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>
#include <climits>
#include <cstring>
#include <type_traits>

using P = SensorParameters;

namespace {
const QDateTime fixedNow(QDate(2024, 3, 5), QTime(14, 3, 5));

// Day and month names follow the system locale; the exact text is known under C or English.
QString fixedDateText()
{
    const QLocale::Language language = QLocale::system().language();
    if (language == QLocale::C || language == QLocale::English)
        return QStringLiteral("Tue Mar 5 2024");
    return fixedNow.date().toString(Qt::TextDate);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray binaryGarbage(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char((i * 151 + 17) & 0xff));
    return bytes;
}

// The record is nothing but 32-bit integers: as a list every field compares at once.
constexpr int fieldCount = sizeof(P) / sizeof(int32_t);
static_assert(std::is_trivially_copyable<P>::value && fieldCount == 65, "plain integer record");

QVector<int32_t> fields(const P& p)
{
    QVector<int32_t> out(fieldCount);
    std::memcpy(out.data(), &p, sizeof(P));
    return out;
}

P filledRecord(int32_t first, int32_t step)
{
    QVector<int32_t> values(fieldCount);
    for (int i = 0; i < fieldCount; ++i)
        values[i] = first + i * step;
    P p;
    std::memcpy(static_cast<void*>(&p), values.data(), sizeof(P));
    return p;
}

P distinctRecord()
{
    return filledRecord(1001, 1);
}

struct StoredKey
{
    const char* group;
    const char* key;
    int32_t P::*member;
};
const StoredKey integerKeys[] = {{"Parameter", "GAINVAL", &P::GAINVAL},
                                 {"Parameter", "ExposureMode", &P::ExposureMode},
                                 {"Parameter", "SHUTTER", &P::SHUTTER},
                                 {"Parameter", "AutoShutterVal", &P::AutoShutterVal},
                                 {"Parameter", "AutoShutterMin", &P::AutoShutterMin},
                                 {"Parameter", "AutoShutterMax", &P::AutoShutterMax},
                                 {"Parameter", "DoubleShutter1", &P::DoubleShutter1},
                                 {"Parameter", "DoubleShutter2", &P::DoubleShutter2},
                                 {"Parameter", "LASER", &P::LASER},
                                 {"Parameter", "TRIGGER", &P::TRIGGER},
                                 {"Parameter", "AutoTriggerFPS", &P::AutoTriggerFPS},
                                 {"Parameter", "AutoTriggerError", &P::AutoTriggerError},
                                 {"Parameter", "METHOD", &P::METHOD},
                                 {"Parameter", "ReflexionFilter", &P::ReflexionFilter},
                                 {"Parameter", "RlcThresh", &P::RlcThresh},
                                 {"Parameter", "MinWidth", &P::MinWidth},
                                 {"Parameter", "MaxWidth", &P::MaxWidth},
                                 {"Parameter", "ROI_X", &P::ROI_X},
                                 {"Parameter", "ROI_Y", &P::ROI_Y},
                                 {"Parameter", "ROI_DX", &P::ROI_DX},
                                 {"Parameter", "ROI_DY", &P::ROI_DY},
                                 {"Parameter", "SubSample", &P::SubSample},
                                 {"Expert", "EthernetSendNoWait", &P::EthernetSendNoWait},
                                 {"Expert", "EthernetPackNr", &P::EthernetPackNr},
                                 {"Expert", "ALGORITHM", &P::ALGORITHM},
                                 {"Expert", "SpeckleFilter", &P::SpeckleFilter},
                                 {"Expert", "MedianFilter", &P::MedianFilter},
                                 {"Mode", "ResetImageAcq", &P::ResetImageAcq},
                                 {"Mode", "MODE", &P::MODE},
                                 {"Mode", "NBR_LINES", &P::NBR_LINES}};

// `before` with the 30 stored fields taken from `source`: all a load may change.
P withStoredFields(P before, const P& source)
{
    for (const StoredKey& k : integerKeys)
        before.*k.member = source.*k.member;
    return before;
}

// An independent reading of an INI file: "group/key" -> raw value text.
QMap<QString, QString> parseIni(const QByteArray& bytes)
{
    QMap<QString, QString> out;
    QString group;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const int eq = line.indexOf('=');
        if (line.startsWith('[') && line.endsWith(']'))
            group = line.mid(1, line.size() - 2);
        else if (eq > 0)
            out.insert(group + '/' + line.left(eq), line.mid(eq + 1));
    }
    return out;
}

QByteArray withAddress(const QByteArray& rest)
{
    return "[SensorInfo]\nIPAddress=XXXX\n" + rest;
}

// Every product field (nine digits, so that any float difference shows).
QString dump(const ProductParameters& p)
{
    auto f = [](float v) { return QString::number(double(v), 'g', 9); };
    QString out = QString("%1 %2 %3 %4\n")
                      .arg(p.SENSOR_ROI)
                      .arg(f(p.TARGET_ANGLE), f(p.ANGLE_TOL_POS), f(p.ANGLE_TOL_NEG));
    for (const ProductJob& b : p.job)
        out += QString("%1 %2 %3 %4 %5 %6 %7 ")
                   .arg(b.PRODUCT_TYPE)
                   .arg(b.MIN_NR_LPOINTS)
                   .arg(b.LINE_ALGO_MODE)
                   .arg(b.LINE_FILTER)
                   .arg(f(b.PHI_MIN), f(b.PHI_MAX))
                   .arg(b.ROI_COUNT) +
               QString("%1 %2 %3 %4\n").arg(f(b.ROI_X_0), f(b.ROI_Y_0), f(b.ROI_X_1), f(b.ROI_Y_1));
    return out;
}

// Every field set, different from the start values and from its neighbours.
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
} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void init() { QVERIFY(QDir(dir.path()).removeRecursively() && QDir().mkpath(dir.path())); }

    // Exactly the 34 keys (no ranges), full decimal integers, the placeholders, date and
    // time; other groups and keys of an existing file stay; a failed save says so and harms
    // nothing in the way.
    void settingsSave()
    {
        const QString file = path("LumoPar.txt");
        P p = distinctRecord();
        p.NBR_LINES = -1;
        p.GAINVAL = INT32_MIN;
        p.SHUTTER = INT32_MAX;
        QVERIFY(writeSettingsFile(file, p, fixedNow));
        QMap<QString, QString> expected = {{"SensorInfo/IPAddress", "XXXX"},
                                           {"SensorInfo/Port", "XXXX"},
                                           {"FileInfo/Date", fixedDateText()},
                                           {"FileInfo/Time", "14:03:05"}};
        for (const StoredKey& k : integerKeys)
            expected.insert(QString("%1/%2").arg(k.group, k.key), QString::number(p.*k.member));
        QCOMPARE(parseIni(fileBytes(file)), expected);
        QCOMPARE(expected.value("Parameter/GAINVAL"), QString("-2147483648"));

        QVERIFY(putFile(file, "[Notes]\nOperator=Kim\n\n[Parameter]\nGAINVAL=999\nOwnKey=5\n\n["
                              "SensorInfo]\nIPAddress=10.0.0.1\n"));
        QVERIFY(writeSettingsFile(file, P(), fixedNow));
        const QMap<QString, QString> ini = parseIni(fileBytes(file));
        QCOMPARE(QStringList({ini["Notes/Operator"], ini["Parameter/OwnKey"],
                              ini["Parameter/GAINVAL"], ini["SensorInfo/IPAddress"]}),
                 QStringList({"Kim", "5", "64", "XXXX"}));
        QCOMPARE(ini.size(), 36);

        QVERIFY(QDir(dir.path()).mkdir("adir"));
        QVERIFY(putFile(path("plain.txt"), "keep"));
        for (const QString& bad : {path("plain.txt/LumoPar.txt"), path("adir"), QString()})
            QVERIFY(!writeSettingsFile(bad, P(), fixedNow));
        QCOMPARE(fileBytes(path("plain.txt")), QByteArray("keep"));
        QVERIFY(QDir(path("adir")).isEmpty());
    }

    // A load fills exactly the stored fields (missing keys give 0, values as read, no range
    // check), needs SensorInfo/IPAddress and sees a rewrite of the same size at once.
    void settingsLoad()
    {
        const QString file = path("roundtrip.txt");
        P saved = distinctRecord();
        saved.TRIGGER = -2;
        saved.NBR_LINES = -1;
        QVERIFY(writeSettingsFile(file, saved, fixedNow));
        P loaded;
        QVERIFY(readSettingsFile(file, loaded));
        QCOMPARE(fields(loaded), fields(withStoredFields(P(), saved)));
        const QByteArray refused[] = {
            "",
            "[SensorInfo]\nPort=XXXX\n[Mode]\nMODE=4\n",
            "[FileInfo]\nIPAddress=XXXX\n[Parameter]\nGAINVAL=3\n",
            "[FileInfo]\nDate=x\n\n[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=2\n",
            binaryGarbage(3000),
            "[[[[\n]]]]=\n=[\n[SensorInfo\nIPAddress"};
        P p = distinctRecord();
        QVERIFY(!readSettingsFile(path("missing.txt"), p));
        for (const QByteArray& content : refused) {
            QVERIFY(putFile(file, content));
            QVERIFY(!readSettingsFile(file, p));
        }
        QCOMPARE(fields(p), fields(distinctRecord()));
        QVERIFY(putFile(file, withAddress("")));
        QVERIFY(readSettingsFile(file, p));
        QCOMPARE(fields(p), fields(withStoredFields(distinctRecord(), filledRecord(0, 0))));
        QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=\n[Mode]\nMODE=3\n[Parameter]\nSHUTTER="
                              "999999999\nSHUTTER_MIN=1\n"));
        p = P();
        QVERIFY(readSettingsFile(file, p));
        QCOMPARE(QVector<int>({p.MODE, p.SHUTTER, p.SHUTTER_MIN}),
                 QVector<int>({3, 999999999, P().SHUTTER_MIN}));
        const std::pair<QByteArray, int> values[] = {{"-7", -7},
                                                     {"  42  ", 42},
                                                     {"-2147483648", INT_MIN},
                                                     {"2147483647", INT_MAX},
                                                     {"2147483648", 0},
                                                     {"0x10", 0},
                                                     {"12.5", 0},
                                                     {"12abc", 0},
                                                     {"", 0},
                                                     {"\"17\"", 17}};
        for (const auto& [text, value] : values) {
            QVERIFY(putFile(file, withAddress("[Parameter]\nSHUTTER=" + text +
                                              "\n[Mode]\nMODE=" + text + "\n")));
            QVERIFY(readSettingsFile(file, p));
            QVERIFY2(p.SHUTTER == value && p.MODE == value, text.constData());
        }
        for (int round = 0; round < 40; ++round) {
            const int value = round % 2 ? 11 : 22;
            QVERIFY(
                putFile(file, withAddress("[Parameter]\nGAINVAL=" + QByteArray::number(value))));
            QVERIFY(readSettingsFile(file, p));
            QCOMPARE(p.GAINVAL, value);
            QCOMPARE(readFileSetting(file, "Parameter", "GAINVAL"), QString::number(value));
        }
    }

    // An empty value is not a missing one, comma lists stay whole, a written value is there at
    // once, and failures are reported.
    void singleValues()
    {
        const QString file = path("values.ini");
        QVERIFY(putFile(
            file,
            "[A]\nplain=hello world\nempty=\nlist=1, 2 ,3\nquoted=\"a, b\"\n[B]\nplain=other\n"));
        const char* rows[][3] = {{"A", "plain", "hello world"},
                                 {"B", "plain", "other"},
                                 {"A", "empty", ""},
                                 {"A", "list", "1, 2, 3"},
                                 {"A", "quoted", "a, b"}};
        for (const auto& r : rows)
            QVERIFY2(!readFileSetting(file, r[0], r[1]).isNull() &&
                         readFileSetting(file, r[0], r[1]) == r[2],
                     r[1]);
        QVERIFY(readFileSetting(file, "A", "nothing").isNull() &&
                readFileSetting(file, "C", "plain").isNull());
        const QString single = path("single.ini");
        QVERIFY(readFileSetting(single, "G", "k").isNull());
        QVERIFY(writeFileSetting(single, "G", "k", "v 1"));
        QCOMPARE(parseIni(fileBytes(single)).value("G/k"), QString("v 1"));
        QVERIFY(writeFileSetting(single, "G", "k", "v 2"));
        QVERIFY(writeFileSetting(single, "H", "k", "x, y"));
        QCOMPARE(readFileSetting(single, "G", "k"), QString("v 2"));
        QCOMPARE(readFileSetting(single, "H", "k"), QString("x, y"));
        QVERIFY(putFile(path("plain.txt"), "keep"));
        for (const QString& bad : {path("plain.txt/below.ini"), dir.path(), QString()}) {
            QVERIFY(!writeFileSetting(bad, "G", "k", "k"));
            QVERIFY(readFileSetting(bad, "G", "k").isNull());
        }
        QCOMPARE(fileBytes(path("plain.txt")), QByteArray("keep"));
    }

    // Combo index <-> stored code; codes without an item select none (mode: Sensor Image).
    void codesAndTitles()
    {
        const int trigger[][2] = {{0, -3},  {2, -1}, {3, 0},       {5, 2},
                                  {-1, -4}, {-1, 3}, {-1, INT_MIN}};
        for (const auto& r : trigger)
            QVERIFY(triggerIndex(r[1]) == r[0] && (r[0] < 0 || triggerCode(r[0]) == r[1]));
        const int filter[][2] = {{0, -2}, {2, 0}, {4, 2}, {-1, -3}, {-1, INT_MAX}};
        for (const auto& r : filter)
            QVERIFY(reflexionFilterIndex(r[1]) == r[0] &&
                    (r[0] < 0 || reflexionFilterCode(r[0]) == r[1]));
        const int mode[][2] = {{0, 1}, {1, 4}, {2, 2}, {3, 6}, {4, 9}};
        for (const auto& r : mode)
            QVERIFY(sensorModeIndex(r[1]) == r[0] && sensorModeCode(r[0]) == r[1]);
        QVERIFY(sensorModeIndex(3) == 0 && sensorModeIndex(INT_MIN) == 0);
        QVERIFY(sensorModeCode(-1) == 1 && sensorModeCode(5) == 1);
        const char* titles[][2] = {{"/data/line.ini.txt", "Sensor Settings: line.txt"},
                                   {"C:/x/Setup.INI", "Sensor Settings: Setup"},
                                   {"a.ini.Ini.txt", "Sensor Settings: a.txt"},
                                   {"/d.ini/x.txt", "Sensor Settings: x.txt"},
                                   {"/data/Demo.TXT.txt", "Product Parameters: Demo"},
                                   {"/base/ProdPar.txt.tmp", "Product Parameters: ProdPar.tmp"},
                                   {"/a.txt/b", "Product Parameters: b"},
                                   {"/x/job.ini", "Product Parameters: job.ini"}};
        for (const auto& t : titles)
            QCOMPARE(QString(t[1]).startsWith("S") ? settingsDockTitle(t[0])
                                                   : productDockTitle(t[0]),
                     QString(t[1]));
    }

    // The exact text of the start values, every value at its key, floats with six
    // significant digits, and the round trip; a save replaces an older file.
    void productText()
    {
        const QByteArray jobLines =
            "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=8\nLINE_ALGO_MODE=1\nLINE_FILTER=3\n"
            "PHI_MIN=0\nPHI_MAX=180\nROI_COUNT=0\nROI_X_0=0\nROI_Y_0=0\nROI_X_1=0\nROI_Y_1=0\n";
        const QByteArray start =
            "[FileInfo]\nDate=" + fixedDateText().toLatin1() +
            "\nTime=14:03:05\n\n"
            "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=2\nTARGET_ANGLE=0\n"
            "ANGLE_TOL_NEG=5\nANGLE_TOL_POS=5\n\n[JOB_0]\n" +
            jobLines + "\n[JOB_1]\n" + jobLines;
        const QString file = path("ProdPar.txt");
        QVERIFY(putFile(file, QByteArray(5000, 'x')));
        QVERIFY(writeProductFile(file, buildProductText(ProductParameters(), fixedNow)));
        QCOMPARE(fileBytes(file), start);
        const QStringList lines = buildProductText(sampleRecord(), fixedNow).split('\n');
        QCOMPARE(lines.size(), 37);
        QCOMPARE(lines.mid(6, 4), QStringList({"SENSOR_ROI=1", "TARGET_ANGLE=92.125",
                                               "ANGLE_TOL_NEG=0.25", "ANGLE_TOL_POS=1.5"}));
        QCOMPARE(lines.mid(12, 11),
                 QStringList({"PRODUCT_TYPE=1", "MIN_NR_LPOINTS=20", "LINE_ALGO_MODE=0",
                              "LINE_FILTER=-2", "PHI_MIN=-10.5", "PHI_MAX=170.75", "ROI_COUNT=2",
                              "ROI_X_0=-12.3457", "ROI_Y_0=101.5", "ROI_X_1=33.3333",
                              "ROI_Y_1=250.068"}));
        QCOMPARE(lines.mid(25, 11),
                 QStringList({"PRODUCT_TYPE=2", "MIN_NR_LPOINTS=21", "LINE_ALGO_MODE=1",
                              "LINE_FILTER=-3", "PHI_MIN=-11.5", "PHI_MAX=171.75", "ROI_COUNT=2",
                              "ROI_X_0=-11.3457", "ROI_Y_0=102.5", "ROI_X_1=34.3333",
                              "ROI_Y_1=251.068"}));
        const std::pair<float, const char*> floats[] = {
            {0.5f, "0.5"},       {45.0f, "45"},         {-12.25f, "-12.25"},
            {1e6f, "1e+06"},     {999999.0f, "999999"}, {999999.6f, "1e+06"},
            {0.0001f, "0.0001"}, {0.00001f, "1e-05"},   {1.0f / 3.0f, "0.333333"}};
        for (const auto& [value, text] : floats) {
            ProductParameters p;
            p.TARGET_ANGLE = p.job[1].ROI_Y_1 = value;
            const QStringList l = buildProductText(p, fixedNow).split('\n');
            QCOMPARE(productFloatText(value), QString(text));
            QCOMPARE(QStringList({l[7], l[35]}),
                     QStringList({QString("TARGET_ANGLE=") + text, QString("ROI_Y_1=") + text}));
        }
        QVERIFY(writeProductFile(file, buildProductText(sampleRecord(), fixedNow)));
        ProductParameters expected = sampleRecord(), loaded;
        for (int j = 0; j < 2; ++j) {
            expected.job[j].ROI_X_0 = -12.3457f + j;
            expected.job[j].ROI_X_1 = 33.3333f + j;
            expected.job[j].ROI_Y_1 = 250.068f + j;
        }
        QVERIFY(readProductFile(file, loaded));
        QCOMPARE(dump(loaded), dump(expected));
        QVERIFY(QDir(dir.path()).mkdir("adir"));
        QVERIFY(putFile(path("plain.txt"), "keep"));
        for (const QString& bad : {path("no/such/dir/ProdPar.txt"), path("adir"),
                                   path("plain.txt/ProdPar.txt"), QString()})
            QVERIFY(!writeProductFile(bad, buildProductText(ProductParameters(), fixedNow)));
        QVERIFY(!QFile::exists(path("no")) && QDir(path("adir")).isEmpty());
        QCOMPARE(fileBytes(path("plain.txt")), QByteArray("keep"));
    }

    void productImport_data()
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
        QTest::newRow("wrong group")
            << 2 << QByteArray("[FileInfo]\nFunction=AngleCalculation\n[JOB_0]\nPHI_MAX=9\n") << -1;
        QTest::newRow("settings file")
            << 2 << QByteArray("[SensorInfo]\nIPAddress=XXXX\n[Mode]\nMODE=9\n") << -1;
        QTest::newRow("missing file") << 0 << QByteArray() << -1;
        QTest::newRow("directory") << 1 << QByteArray() << -1;
        QTest::newRow("empty file") << 2 << QByteArray() << -1;
        QTest::newRow("binary garbage") << 2 << binaryGarbage(8192) << -1;
        QTest::newRow("zero bytes") << 2 << QByteArray(5000, '\0') << -1;
        QTest::newRow("unterminated group") << 2 << QByteArray("[ProductInfo\nFunction=") << -1;
        QTest::newRow("garbage around a job")
            << 2
            << binaryGarbage(300) + "\n[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=1\n"
            << 1;
        QTest::newRow("very long line")
            << 2
            << "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=" + QByteArray(200000, '9')
            << 0;
    }

    // Only an angle job is taken (Function in any letter case); job groups that are missing
    // give job fields of 0; a refused file changes nothing.
    void productImport()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, content);
        QFETCH(int, sensorRoi);
        const QString file = path("job.txt");
        QVERIFY(kind != 1 || QDir(dir.path()).mkdir("job.txt"));
        QVERIFY(kind != 2 || putFile(file, content));
        ProductParameters p = sampleRecord();
        QCOMPARE(readProductFile(file, p), sensorRoi >= 0);
        if (sensorRoi < 0)
            QCOMPARE(dump(p), dump(sampleRecord()));
        else
            QVERIFY(p.SENSOR_ROI == sensorRoi && p.job[0].PHI_MAX == 0.0f &&
                    p.job[1].PRODUCT_TYPE == 0);
    }

    // Groups and keys in any order, CR LF, blank lines; values read strictly (no hex, no
    // overflow wrap, no non-finite floats).
    void productValues()
    {
        const QString file = path("shuffled.txt");
        QVERIFY(putFile(
            file, "[JOB_1]\r\nROI_Y_1=4\r\nROI_X_1=3\r\nROI_Y_0=2\r\nROI_X_0=1\r\nROI_COUNT="
                  "2\r\nPHI_MAX=90\r\n"
                  "PHI_MIN=-90\r\nLINE_FILTER=5\r\nLINE_ALGO_MODE=0\r\nMIN_NR_LPOINTS="
                  "12\r\nPRODUCT_TYPE=1\r\n\r\n\r\n"
                  "[ProductInfo]\r\nANGLE_TOL_POS=2\r\nANGLE_TOL_NEG=3\r\nTARGET_ANGLE="
                  "45\r\nSENSOR_ROI=0\r\n"
                  "Function=AngleCalculation\r\n[JOB_0]\r\nROI_X_0=-5.5\r\nPRODUCT_TYPE=7\r\n"));
        ProductParameters p = sampleRecord(), expected;
        QVERIFY(readProductFile(file, p));
        expected.SENSOR_ROI = 0;
        expected.TARGET_ANGLE = 45;
        expected.ANGLE_TOL_POS = 2;
        expected.ANGLE_TOL_NEG = 3;
        expected.job[0] = ProductJob{7, 0, 0, 0, 0, 0, 0, -5.5f, 0, 0, 0};
        expected.job[1] = ProductJob{1, 12, 0, 5, -90, 90, 2, 1, 2, 3, 4};
        QCOMPARE(dump(p), dump(expected));
        const std::tuple<QByteArray, int, float> values[] = {
            {"12", 12, 12.0f}, {"1e+06", 0, 1e6f}, {"2.7", 0, 2.7f},  {"-3", -3, -3.0f},
            {"abc", 0, 0.0f},  {"0x1A", 0, 0.0f},  {"1e39", 0, 0.0f}, {"3000000000", 0, 3e9f},
            {"nan", 0, 0.0f},  {"-inf", 0, 0.0f},  {"1,5", 0, 0.0f}};
        for (const auto& [text, integer, real] : values) {
            QVERIFY(putFile(file, "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=" + text +
                                      "\nTARGET_ANGLE=" + text + "\n[JOB_1]\nROI_COUNT=" + text +
                                      "\nPHI_MAX=" + text + "\n"));
            p = sampleRecord();
            QVERIFY(readProductFile(file, p));
            QVERIFY2(p.SENSOR_ROI == integer && p.job[1].ROI_COUNT == integer, text.constData());
            QVERIFY2(p.TARGET_ANGLE == real && p.job[1].PHI_MAX == real, text.constData());
        }
    }

    // The import at connect leaves no temporary file, reads the new text (not a longer
    // leftover), refuses what is no angle job and fails without a writable temporary file.
    void importAtConnect()
    {
        const QString temp = path("ProdPar.txt.tmp");
        ProductParameters p;
        QVERIFY(importProductText(buildProductText(sampleRecord(), fixedNow), temp, p));
        QCOMPARE(p.job[1].PHI_MAX, sampleRecord().job[1].PHI_MAX);
        QVERIFY(QDir(dir.path()).isEmpty());
        QVERIFY(writeProductFile(temp, buildProductText(sampleRecord(), fixedNow)));
        QVERIFY(importProductText(
            "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=0\n[JOB_0]\nPHI_MAX=33\n", temp,
            p));
        QVERIFY(p.SENSOR_ROI == 0 && p.job[0].PHI_MAX == 33.0f && p.job[1].PHI_MAX == 0.0f);
        QVERIFY(!QFile::exists(temp));
        p = sampleRecord();
        QVERIFY(!importProductText("ERROR\n", temp, p));
        QVERIFY(!importProductText(QString(), temp, p));
        QVERIFY(QDir(dir.path()).mkdir("adir"));
        QVERIFY(putFile(path("adir/inside.txt"), "keep"));
        for (const QString& bad : {path("gone/x.tmp"), path("adir"), QString()})
            QVERIFY(!importProductText(buildProductText(ProductParameters(), fixedNow), bad, p));
        QCOMPARE(dump(p), dump(sampleRecord()));
        QCOMPARE(fileBytes(path("adir/inside.txt")), QByteArray("keep"));
        QVERIFY(!QFile::exists(temp));
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
