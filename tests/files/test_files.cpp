// The files on disk: the INI reader, settings and product files, single INI values, the combo
// box codes, the point-cloud export and the 3D loader of recorded profiles, all on real files.
#include "files/inisnapshot.h"
#include "files/pointcloudexport.h"
#include "files/productfile.h"
#include "files/recordedprofile.h"
#include "files/settingsfile.h"
#include "sensor/sensorparameters.h"
#include "surface/surfaceloader.h"
#include "tests/testfiles.h"

#include <QtTest>
#include <charconv>
#include <climits>

using P = SensorParameters;
using namespace PointCloudExport;
using namespace QtDataVisualization;

namespace {
const QDateTime fixedNow(QDate(2024, 3, 5), QTime(14, 3, 5));

// Day and month names follow the system locale; the exact text is known under C or English.
QString fixedDateText()
{
    const QLocale::Language language = QLocale::system().language();
    const bool known = language == QLocale::C || language == QLocale::English;
    return known ? QStringLiteral("Tue Mar 5 2024") : fixedNow.date().toString(Qt::TextDate);
}

QByteArray binaryGarbage(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 151 + 17) & 0xff);
    return bytes;
}

// Both records are plain 32-bit fields: their bytes compare every field at once.
template <typename T> QByteArray raw(const T& record)
{
    static_assert(std::is_trivially_copyable<T>::value && sizeof(T) % 4 == 0, "plain record");
    return QByteArray(reinterpret_cast<const char*>(&record), int(sizeof record));
}

// Field i of the 65 holds first + i * step.
P filledRecord(int32_t first, int32_t step)
{
    static_assert(sizeof(P) == 65 * 4, "65 integer fields");
    P p;
    for (int i = 0; i < 65; ++i)
        reinterpret_cast<int32_t*>(&p)[i] = first + i * step;
    return p;
}

// The 30 stored fields and their keys: 22 in the group Parameter, then 5 in Expert, 3 in Mode.
#define F(name) std::make_pair(&P::name, #name)
const auto list = [](auto... f) { return std::vector{f...}; };
const auto storedFields =
    list(F(GAINVAL), F(ExposureMode), F(SHUTTER), F(AutoShutterVal), F(AutoShutterMin),
         F(AutoShutterMax), F(DoubleShutter1), F(DoubleShutter2), F(LASER), F(TRIGGER),
         F(AutoTriggerFPS), F(AutoTriggerError), F(METHOD), F(ReflexionFilter), F(RlcThresh),
         F(MinWidth), F(MaxWidth), F(ROI_X), F(ROI_Y), F(ROI_DX), F(ROI_DY), F(SubSample),
         F(EthernetSendNoWait), F(EthernetPackNr), F(ALGORITHM), F(SpeckleFilter), F(MedianFilter),
         F(ResetImageAcq), F(MODE), F(NBR_LINES));
#undef F

// `before` with the 30 stored fields taken from `source`: all a load may change.
P withStoredFields(P before, const P& source)
{
    for (const auto& [field, key] : storedFields)
        before.*field = source.*field;
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

// Every product field set, different from the start values and from its neighbours.
ProductParameters sampleRecord()
{
    ProductParameters p{1, 92.125f, 1.5f, 0.25f, {}};
    for (int j = 0; j < 2; ++j)
        p.job[j] = ProductJob{
            1 + j, 20 + j,          j,          -2 - j,         -10.5f - j,   170.75f + j,
            2,     -12.345678f + j, 101.5f + j, 33.333333f + j, 250.0675f + j};
    return p;
}

// "x y z" rows of a PCD in ASCII, or "x,y,z" rows of the CSV, after the line `startAfter`.
std::vector<QVector3D> readRows(const QString& path, const QByteArray& startAfter, char sep)
{
    std::vector<QVector3D> rows;
    bool inData = false;
    for (const QByteArray& line : fileBytes(path).split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(sep);
        if (inData && parts.size() == 3)
            rows.emplace_back(parts[0].toFloat(), parts[1].toFloat(), parts[2].toFloat());
        inData = inData || line.startsWith(startAfter);
    }
    return rows;
}

// Point lines "x; frame; z;" as a recording writes them, (x, frame, z) each.
QByteArray lines(std::initializer_list<std::tuple<double, int, double>> points)
{
    QByteArray text;
    for (const auto& [x, frame, z] : points)
        text += QByteArray::number(x, 'f', 3) + "; " + QByteArray::number(frame) + "; " +
                QByteArray::number(z, 'f', 3) + ";\r\n";
    return text;
}

// What the 3D loader made of a file: "rows x columns", the six ranges and the position of
// the item at (column, row); else "no surface" or "error" with the error text.
QString surfaceSummary(const QString& path, QPoint item)
{
    const SurfaceLoader::Result r = SurfaceLoader::load(path);
    if (r.outcome != SurfaceLoader::Outcome::Loaded)
        return (r.outcome == SurfaceLoader::Outcome::NoSurface ? "no surface" : "error ") +
               r.errorText;
    QString s = QString("%1x%2").arg(r.array->size()).arg(r.array->at(0)->size());
    for (const QSurfaceDataRow* row : *r.array)
        s += row->size() == r.array->at(0)->size() ? "" : " ragged";
    const SurfaceLoader::Ranges& g = r.ranges;
    for (float v : {g.minX, g.maxX, g.minY, g.maxY, g.minZ, g.maxZ})
        s += ' ' + QString::number(double(v));
    const QVector3D p = r.array->at(item.y())->at(item.x()).position();
    return s + QString(" (%1 %2 %3)").arg(double(p.x())).arg(double(p.y())).arg(double(p.z()));
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

    // The INI reader: line ends, comments, quotes, lists, '@' forms and limits; G/k of each file,
    // "-" where it reads as missing. A rewrite of the same length is read anew: see settingsFile.
    void iniReader()
    {
        QStringList read;
        for (const QByteArray& bytes : QList<QByteArray>{
                 "[G]\nk=1\n", "[G]\r\nx=0\r\nk=2", "[G]\rx=0\rk=3\r", // CR LF, lone CR
                 "  [ G ]  \n  k  =  v w  \n", "[G]\nk=\n", "[G]\n  ;k=1\n", "[G]\nk=5 ; old 4\n",
                 "[G]\nk= \"a;b, c \"\n", "[G]\nk=a,b ,  c\n", "[G]\nk=1\nk=2\n",
                 "[G]\nk=1\n[H]\nk=2\n", "[G]\njunk\n=9\nk=4\n", "[G]\nk=@ByteArray(abc)\n",
                 "[G]\nk=@String(7)\n", "[G]\nk=@@x\n", "[G]\nk=1\nk=@Variant(AAAAf/////)\n",
                 "[G]\nk=@Invalid()\n", "[G]\nk=1\nk=a\\x41\n",
                 QByteArray("[G]\nk=1\n").append(4 * 1024 * 1024, ' ')}) { // over 4 MB
            const QString value = IniSnapshot::fromBytes(bytes).value("G", "k");
            read += value.isNull() ? "-" : value;
        }
        QCOMPARE(read.join('|'), QString("1|2|3|v w||-|5|a;b, c |a, b, c|2|1|4|abc|7|@x|-|-|1|-"));
    }

    // Exactly the 34 keys (no ranges), full decimal integers, placeholders, date and time; other
    // groups and keys of an existing file stay.
    void settingsFile()
    {
        const QString file = path("LumoPar.txt");
        P p = filledRecord(1001, 1), loaded;
        p.NBR_LINES = -1;
        p.GAINVAL = INT32_MIN;
        p.SHUTTER = INT32_MAX;
        QVERIFY(writeSettingsFile(file, p, fixedNow));
        QMap<QString, QString> expected =
            parseIni("[SensorInfo]\nIPAddress=XXXX\nPort=XXXX\n[FileInfo]\nTime=14:03:05\nDate=" +
                     fixedDateText().toUtf8());
        for (int i = 0; i < 30; ++i)
            expected.insert(QStringList{"Parameter/", "Expert/", "Mode/"}[(i >= 22) + (i >= 27)] +
                                storedFields[i].second,
                            QString::number(p.*storedFields[i].first));
        QCOMPARE(parseIni(fileBytes(file)), expected);
        QVERIFY(putFile(file, "[Notes]\nOperator=Kim\n\n[Parameter]\nGAINVAL=999\nOwnKey=5\n\n"
                              "[SensorInfo]\nIPAddress=10.0.0.1\n"));
        QVERIFY(writeSettingsFile(file, P(), fixedNow));
        const QMap<QString, QString> ini = parseIni(fileBytes(file));
        QCOMPARE(QStringList({ini["Notes/Operator"], ini["Parameter/OwnKey"],
                              ini["Parameter/GAINVAL"], ini["SensorInfo/IPAddress"]}),
                 QStringList({"Kim", "5", "64", "XXXX"}));
        QCOMPARE(ini.size(), 36);
        // A load fills exactly the stored fields (missing keys give 0, values as read, no range
        // check), needs SensorInfo/IPAddress and sees a rewrite of the same size at once.
        QVERIFY(writeSettingsFile(file, p, fixedNow) && readSettingsFile(file, loaded));
        QCOMPARE(raw(loaded), raw(withStoredFields(P(), p)));
        p = filledRecord(1001, 1);
        QVERIFY(!readSettingsFile(path("missing.txt"), p));
        for (const QByteArray& refused :
             {QByteArray(), QByteArray("[SensorInfo]\nPort=XXXX\n[Mode]\nMODE=4\n"),
              QByteArray("[FileInfo]\nIPAddress=XXXX\n[Parameter]\nGAINVAL=3\n"),
              binaryGarbage(3000)})
            QVERIFY(putFile(file, refused) && !readSettingsFile(file, p));
        QCOMPARE(raw(p), raw(filledRecord(1001, 1)));
        QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=XXXX\n") && readSettingsFile(file, p));
        QCOMPARE(raw(p), raw(withStoredFields(filledRecord(1001, 1), filledRecord(0, 0))));
        p = P();
        QString read; // SHUTTER as read from each text, MODE the same, no range field read
        for (const QByteArray text : {"-7", "  42  ", "-2147483648", "2147483647", "2147483648",
                                      "0x10", "12.5", "12abc", "", "\"17\""}) {
            QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=\n[Parameter]\nSHUTTER_MIN=1\nSHUTTER=" +
                                      text + "\n[Mode]\nMODE=" + text + "\n") &&
                    readSettingsFile(file, p) && p.SHUTTER == p.MODE &&
                    p.SHUTTER_MIN == P().SHUTTER_MIN);
            read += QString::number(p.SHUTTER) + ' ';
        }
        QCOMPARE(read, QString("-7 42 -2147483648 2147483647 0 0 0 0 0 17 "));
        for (int round = 0; round < 8; ++round) {
            const QByteArray value = round % 2 ? "11" : "22";
            QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=XXXX\n[Parameter]\nGAINVAL=" + value));
            QVERIFY(readSettingsFile(file, p) && p.GAINVAL == value.toInt());
            QCOMPARE(readFileSetting(file, "Parameter", "GAINVAL"), QString(value));
        }
    }

    // An empty value is not a missing one, comma lists stay whole, a written value is there at
    // once, and failures are reported (those of the settings and product files too). The combo
    // box codes and the dock titles.
    void singleValuesAndCodes()
    {
        const QString file = path("values.ini"), single = path("single.ini");
        QVERIFY(putFile(file, "[A]\nplain=hello world\nempty=\nlist=1, 2 ,3\nquoted=\"a, b\"\n"
                              "[B]\nplain=other\n"));
        QStringList read;
        for (const char* key : {"A/plain", "B/plain", "A/empty", "A/list", "A/quoted", "A/nothing",
                                "C/plain", "G/k"}) {
            const QString value = readFileSetting(key[0] == 'G' ? single : file, {key[0]}, key + 2);
            read += value.isNull() ? "(none)" : value;
        }
        QCOMPARE(read.join('|'), QString("hello world|other||1, 2, 3|a, b|(none)|(none)|(none)"));
        QVERIFY(writeFileSetting(single, "G", "k", "v 1") && fileBytes(single) == "[G]\nk=v 1\n");
        QVERIFY(writeFileSetting(single, "G", "k", "v 2") &&
                writeFileSetting(single, "H", "k", "x, y"));
        QCOMPARE(readFileSetting(single, "G", "k") + '|' + readFileSetting(single, "H", "k"),
                 QString("v 2|x, y"));
        // Failed writes of each kind: a file and a directory in the way stay as they are.
        const QString product = buildProductText(ProductParameters(), fixedNow);
        QVERIFY(QDir(dir.path()).mkdir("adir") && putFile(path("plain"), "k"));
        for (const QString& bad : {path("plain/x.txt"), path("adir"), QString()})
            QVERIFY(!writeProductFile(bad, product) && !writeFileSetting(bad, "G", "k", "k") &&
                    !writeSettingsFile(bad, P(), fixedNow) &&
                    readFileSetting(bad, "G", "k").isNull());
        QVERIFY(!writeProductFile(path("no/such/dir/ProdPar.txt"), product) &&
                !QFile::exists(path("no")));
        QVERIFY(fileBytes(path("plain")) == "k" && QDir(path("adir")).isEmpty());
        // Combo index <-> stored code; codes without an item select none (mode: Sensor Image).
        // Trigger, reflexion filter and mode: the index of each code, the code of each index.
        const auto row = [](int a, int b, int c) {
            return QString::asprintf("%d %d %d|", a, b, c);
        };
        QString indices, codes;
        for (int code : {INT_MIN, -4, -3, -2, -1, 0, 1, 2, 3, 4, 6, 9, INT_MAX})
            indices += row(triggerIndex(code), reflexionFilterIndex(code), sensorModeIndex(code));
        QCOMPARE(indices, QString("-1 -1 0|-1 -1 0|0 -1 0|1 0 0|2 1 0|3 2 0|4 3 0|5 4 2|-1 -1 0|"
                                  "-1 -1 1|-1 -1 3|-1 -1 4|-1 -1 0|"));
        for (int index = -1; index <= 5; ++index)
            codes += row(triggerCode(index), reflexionFilterCode(index), sensorModeCode(index));
        QCOMPARE(codes, QString("-4 -3 1|-3 -2 1|-2 -1 4|-1 0 2|0 1 6|1 2 9|2 3 1|"));
        // The dock titles (more in the window tests).
        QCOMPARE(settingsDockTitle("C:/x/Setup.INI") + '|' + settingsDockTitle("a.ini.Ini.txt") +
                     '|' + settingsDockTitle("/d.ini/x.txt") + '|' + productDockTitle("/a.txt/b") +
                     '|' + productDockTitle("/x/job.ini"),
                 QString("Sensor Settings: Setup|Sensor Settings: a.txt|Sensor Settings: x.txt|"
                         "Product Parameters: b|Product Parameters: job.ini"));
    }

    // The exact text of the start values, every value at its key, floats with six
    // significant digits, and the round trip; a save replaces an older file.
    void productText()
    {
        const QByteArray jobLines =
            "PRODUCT_TYPE=1\nMIN_NR_LPOINTS=8\nLINE_ALGO_MODE=1\nLINE_FILTER=3\n"
            "PHI_MIN=0\nPHI_MAX=180\nROI_COUNT=0\nROI_X_0=0\nROI_Y_0=0\nROI_X_1=0\nROI_Y_1=0\n";
        const QString file = path("ProdPar.txt");
        QVERIFY(putFile(file, QByteArray(5000, 'x')));
        QVERIFY(writeProductFile(file, buildProductText(ProductParameters(), fixedNow)));
        QCOMPARE(fileBytes(file),
                 "[FileInfo]\nDate=" + fixedDateText().toLatin1() +
                     "\nTime=14:03:05\n\n[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=2\n"
                     "TARGET_ANGLE=0\nANGLE_TOL_NEG=5\nANGLE_TOL_POS=5\n\n[JOB_0]\n" +
                     jobLines + "\n[JOB_1]\n" + jobLines);
        const QStringList lines = buildProductText(sampleRecord(), fixedNow).split('\n');
        QCOMPARE(lines.size(), 37);
        QCOMPARE(lines.mid(6, 4).join(' ') + '|' + lines.mid(12, 11).join(' ') + '|' +
                     lines.mid(25, 11).join(' '),
                 QString("SENSOR_ROI=1 TARGET_ANGLE=92.125 ANGLE_TOL_NEG=0.25 ANGLE_TOL_POS=1.5|"
                         "PRODUCT_TYPE=1 MIN_NR_LPOINTS=20 LINE_ALGO_MODE=0 LINE_FILTER=-2 "
                         "PHI_MIN=-10.5 PHI_MAX=170.75 ROI_COUNT=2 ROI_X_0=-12.3457 "
                         "ROI_Y_0=101.5 ROI_X_1=33.3333 ROI_Y_1=250.068|"
                         "PRODUCT_TYPE=2 MIN_NR_LPOINTS=21 LINE_ALGO_MODE=1 LINE_FILTER=-3 "
                         "PHI_MIN=-11.5 PHI_MAX=171.75 ROI_COUNT=2 ROI_X_0=-11.3457 "
                         "ROI_Y_0=102.5 ROI_X_1=34.3333 ROI_Y_1=251.068"));
        QString floats; // productFloatText of each, the text of both keys checked against it
        for (float value : {45.0f, 1e6f, 999999.0f, 999999.6f, 0.0001f, 0.00001f, 1.0f / 3.0f}) {
            ProductParameters p;
            p.TARGET_ANGLE = p.job[1].ROI_Y_1 = value;
            const QStringList l = buildProductText(p, fixedNow).split('\n');
            QVERIFY(l[7] == "TARGET_ANGLE=" + productFloatText(value) &&
                    l[35] == "ROI_Y_1=" + productFloatText(value));
            floats += productFloatText(value) + ' ';
        }
        QCOMPARE(floats, QString("45 1e+06 999999 1e+06 0.0001 1e-05 0.333333 "));
        QVERIFY(writeProductFile(file, buildProductText(sampleRecord(), fixedNow)));
        ProductParameters loaded; // read back as written, so with six digits
        QVERIFY(readProductFile(file, loaded));
        QCOMPARE(buildProductText(loaded, fixedNow), buildProductText(sampleRecord(), fixedNow));
    }

    // The import at connect leaves no temporary file, reads the new text (not a longer
    // leftover), refuses what is no angle job and fails without a writable temporary file. Of
    // a file only an angle job is taken (Function in any letter case); job groups that are
    // missing give job fields of 0; a refused file (or none, or a directory) changes nothing.
    void productImport()
    {
        const QString temp = path("ProdPar.txt.tmp");
        const QString job =
            "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=0\n[JOB_0]\nPHI_MAX=33\n";
        ProductParameters p;
        QVERIFY(importProductText(buildProductText(sampleRecord(), fixedNow), temp, p));
        QVERIFY(p.job[1].PHI_MAX == sampleRecord().job[1].PHI_MAX && QDir(dir.path()).isEmpty());
        QVERIFY(writeProductFile(temp, buildProductText(sampleRecord(), fixedNow)));
        QVERIFY(importProductText(job, temp, p) && !QFile::exists(temp));
        QVERIFY(p.SENSOR_ROI == 0 && p.job[0].PHI_MAX == 33.0f && p.job[1].PHI_MAX == 0.0f);
        p = sampleRecord();
        QVERIFY(!importProductText("ERROR\n", temp, p) && !importProductText(QString(), temp, p));
        QVERIFY(QDir(dir.path()).mkdir("adir") && putFile(path("adir/inside.txt"), "keep"));
        for (const QString& bad : {path("gone/x.tmp"), path("adir"), QString()})
            QVERIFY(!importProductText(job, bad, p));
        QCOMPARE(raw(p), raw(sampleRecord()));
        QVERIFY(fileBytes(path("adir/inside.txt")) == "keep" && !QFile::exists(temp));
        const QString file = path("job.txt");
        const QByteArray info = "[ProductInfo]\nFunction=", roi = "\nSENSOR_ROI=1\n";
        QString read; // SENSOR_ROI as taken from each, '-' when refused
        for (const QByteArray& content :
             {info + "AngleCalculation" + roi, info + "anglecalculation" + roi,
              info + "\"AngleCalculation\"" + roi, info + "@ByteArray(AngleCalculation)" + roi,
              binaryGarbage(300) + "\n" + info + "AngleCalculation" + roi,
              info + "AngleCalculation\nSENSOR_ROI=" + QByteArray(200000, '9'), // out of range
              info + "AngleCalc" + roi, info + "AngleCalculation2" + roi,
              "[ProductInfo]\nOther=AngleCalculation" + roi,
              QByteArray("[FileInfo]\nFunction=AngleCalculation\n[JOB_0]\nPHI_MAX=9\n"),
              QByteArray(""), binaryGarbage(8192)}) {
            p = sampleRecord();
            const bool taken = putFile(file, content) && readProductFile(file, p);
            QVERIFY(taken ? p.job[0].PHI_MAX == 0.0f && p.job[1].PRODUCT_TYPE == 0
                          : raw(p) == raw(sampleRecord()));
            read += taken ? QString::number(p.SENSOR_ROI) : "-";
        }
        QCOMPARE(read, QString("111110------"));
        p = sampleRecord();
        QVERIFY(!readProductFile(path("adir"), p) && !readProductFile(path("missing.txt"), p));
        QCOMPARE(raw(p), raw(sampleRecord()));
        // Groups and keys in any order, CR LF, blank lines; values read strictly (no hex, no
        // overflow wrap, no non-finite floats).
        QVERIFY(putFile(file, "[JOB_1]\r\nROI_Y_1=4\r\nROI_X_1=3\r\nROI_Y_0=2\r\nROI_X_0=1\r\n"
                              "ROI_COUNT=2\r\nPHI_MAX=90\r\nPHI_MIN=-90\r\nLINE_FILTER=5\r\n"
                              "LINE_ALGO_MODE=0\r\nMIN_NR_LPOINTS=12\r\nPRODUCT_TYPE=1\r\n\r\n\r\n"
                              "[ProductInfo]\r\nANGLE_TOL_POS=2\r\nANGLE_TOL_NEG=3\r\n"
                              "TARGET_ANGLE=45\r\nSENSOR_ROI=0\r\nFunction=AngleCalculation\r\n"
                              "[JOB_0]\r\nROI_X_0=-5.5\r\nPRODUCT_TYPE=7\r\n"));
        ProductParameters expected{0, 45, 2, 3, {}};
        expected.job[0] = ProductJob{7, 0, 0, 0, 0, 0, 0, -5.5f, 0, 0, 0};
        expected.job[1] = ProductJob{1, 12, 0, 5, -90, 90, 2, 1, 2, 3, 4};
        QVERIFY(readProductFile(file, p));
        QCOMPARE(raw(p), raw(expected));
        const std::tuple<QByteArray, int, float> values[] = {
            {"12", 12, 12.0f}, {"1e+06", 0, 1e6f}, {"2.7", 0, 2.7f},  {"-3", -3, -3.0f},
            {"abc", 0, 0.0f},  {"0x1A", 0, 0.0f},  {"1e39", 0, 0.0f}, {"3000000000", 0, 3e9f},
            {"nan", 0, 0.0f},  {"-inf", 0, 0.0f},  {"1,5", 0, 0.0f}};
        for (const auto& [text, integer, real] : values) {
            QVERIFY(putFile(file, "[ProductInfo]\nFunction=AngleCalculation\nSENSOR_ROI=" + text +
                                      "\nTARGET_ANGLE=" + text + "\n[JOB_1]\nROI_COUNT=" + text +
                                      "\nPHI_MAX=" + text + "\n") &&
                    readProductFile(file, p));
            QVERIFY2(p.SENSOR_ROI == integer && p.job[1].ROI_COUNT == integer &&
                         p.TARGET_ANGLE == real && p.job[1].PHI_MAX == real,
                     text.constData());
        }
    }

    // The point lines the recorder writes: the fast path of formatPointLine gives the standard
    // library's text at ties, signs and large magnitudes. A cancel (from the progress callback)
    // or an unreadable source leaves no file behind and an existing target as it was. The
    // export read back by a plain CSV reader and by tools we did not write (PCL).
    void pointCloudExport()
    {
        char line[RecordedProfile::kMaxLineLength], text[RecordedProfile::kMaxLineLength];
        const auto fixed = [&](double v) {
            return QByteArray(
                text,
                int(std::to_chars(text, text + 330, v, std::chars_format::fixed, 3).ptr - text));
        };
        for (double v : {0.0625, -0.0625, 0.0005, 2.0005, -0.0004, -0.0, 1.0e-9, 12.25, -103.2505,
                         4.0e9, 3.9999999e9, 1.0e300, 255.1234999})
            QCOMPARE(QByteArray(line, int(RecordedProfile::formatPointLine(line, v, 3, -v))),
                     fixed(v) + "; 3; " + fixed(-v) + ";\r\n");
        // Three recorded profiles of 400 points, every seventh invalid (0, 0), an angle result
        // line after each.
        const QString source = path("profile_mm.txt");
        std::vector<RecordedProfile::Point> recorded;
        QFile file(source);
        for (int frame = 0; frame < 3 && (file.isOpen() || file.open(QIODevice::WriteOnly));
             ++frame) {
            for (int i = 0; i < 400; ++i) {
                const bool invalid = i % 7 == 3;
                const double x = invalid ? 0.0 : -200.125 + i * 0.875 + frame;
                const double z = invalid ? 0.0 : 300.5 - i * 0.25 + frame * 1.5;
                recorded.push_back({x, frame, z});
                file.write(line, qint64(RecordedProfile::formatPointLine(line, x, frame, z)));
            }
            file.write("Phi=45.0 Cx=1 Cy=1 B=2 Error=0 DiffAngle=90.0\r\n");
        }
        file.close();
        QVERIFY(QDir(dir.path()).mkdir("out") && putFile(path("out/old.pcd"), "old"));
        for (const QString& target : {path("out/fresh.ply"), path("out/old.pcd")}) {
            const Result r = exportFile(source, target, {formatFor({}, target), 1.0, false},
                                        [](qint64, qint64) { return false; });
            QVERIFY(!r.ok && r.cancelled);
        }
        const Result missing = exportFile(path("missing.txt"), path("out/fresh.ply"), {});
        QVERIFY(!missing.ok && !missing.cancelled && !missing.error.isEmpty());
        QCOMPARE(QDir(path("out")).entryList(QDir::Files | QDir::Hidden), QStringList{"old.pcd"});
        QCOMPARE(fileBytes(path("out/old.pcd")), QByteArray("old"));
        const std::tuple<QString, bool, double> rows[] = {
            {"csv", false, 0.25}, {"ply", true, 0.5}, {"pcd", false, 2.0}};
        for (const auto& [suffix, keepInvalid, pitch] : rows) {
            const QString target = path("cloud." + suffix), ascii = path("ascii.pcd");
            const Format f = formatFor({}, target);
            std::vector<QVector3D> expected, got;
            for (const RecordedProfile::Point& p : recorded)
                if (keepInvalid || p.x != 0.0 || p.z != 0.0)
                    expected.emplace_back(float(p.x), float(p.frame * pitch), float(p.z));
            const Result result = exportFile(source, target, {f, pitch, keepInvalid});
            QVERIFY2(result.ok, qPrintable(result.error));
            QCOMPARE(result.points, quint64(expected.size()));
            if (f == Format::Csv) {
                QVERIFY(fileBytes(target).startsWith("x,y,z\n"));
                got = readRows(target, "x,y,z", ',');
            } else {
                const QString ply2pcd = QStandardPaths::findExecutable("pcl_ply2pcd");
                const QString convert =
                    QStandardPaths::findExecutable("pcl_convert_pcd_ascii_binary");
                if (ply2pcd.isEmpty() || convert.isEmpty())
                    QSKIP("pcl-tools are not installed (scripts/setup installs them)");
                const QString binary = f == Format::Pcd ? target : path("binary.pcd");
                QVERIFY(f == Format::Pcd || QProcess::execute(ply2pcd, {target, binary}) == 0);
                QVERIFY(QProcess::execute(convert, {binary, ascii, "0", "8"}) == 0);
                got = readRows(ascii, "DATA ascii", ' ');
            }
            QCOMPARE(got.size(), expected.size());
            for (size_t i = 0; i < got.size(); ++i)
                QVERIFY2((got[i] - expected[i]).length() <= 1e-3f, qPrintable(QString::number(i)));
        }
    }

    // The 3D loader: rows, ranges, rejected files and the items handed over (see
    // surfaceSummary), file by file.
    void surfaceLoad()
    {
        QByteArray grid; // 3 profiles x 4 points; point c of key f at x = 10c + f, z = 100f + c
        for (int f = 0; f < 3; ++f)
            for (int c = 0; c < 4; ++c)
                grid += lines({{10.0 * c + f, f, 100.0 * f + c}});
        const std::pair<QByteArray, QPoint> files[] = {
            {grid, {2, 1}}, // item (row 1, column 2) from line 6
            {QByteArray(grid).replace("\r\n", "\n"), {3, 2}},
            {grid.left(grid.lastIndexOf("32.000")), {}},                   // 4, 4, 3 points
            {lines({{1, 0, 1}, {2, 0, 2}, {3, 1, 3}, {4, 0, 4}}), {1, 1}}, // a falling key
            // -300 not in minX; the first point of row 2 not in the ranges
            {lines({{5, 0, 1}, {-300, 0, 2}, {-400, 1, 50}, {7, 1, 3}}), {0, 1}},
            {lines({{1, 0, 1}, {2, 0, 2}}) + "Phi=1.5;Cx=0.2;Cy=1;B=3;Error=0;DiffAngle=9\r\n" +
                 lines({{1, 1, 3}, {2, 1, 4}}) + "Phi=1.5;Cx=0.2;Error=-1\r\n\r\n",
             {1, 1}},
            {lines({{1, 7, 1}, {2, 7, 2}, {3, 7, 3}}).chopped(2), {2, 0}}, // no last line end
            {lines({{1, 0, 1}, {2, 1, 2}, {3, 2, 3}}), {0, 2}},
            {"Phi=1;Error=0\r\n\r\n", {}}};
        QString summaries = surfaceSummary(path("none.txt"), {});
        for (const auto& [content, item] : files) {
            QVERIFY(putFile(path("profile.txt"), content));
            summaries += '|' + surfaceSummary(path("profile.txt"), item);
        }
        QCOMPARE(summaries,
                 QString("error No such file or directory|3x4 0 32 0 203 0 2 (21 102 1)|"
                         "3x4 0 32 0 203 0 2 (32 203 2)|no surface|2x2 1 4 1 4 0 0 (4 4 0)|"
                         "2x2 5 7 1 3 0 1 (-400 50 1)|2x2 1 2 1 4 0 1 (2 4 1)|"
                         "1x3 1 3 1 3 7 7 (3 3 7)|3x1 1 1 1 1 0 0 (3 3 2)|no surface"));
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
