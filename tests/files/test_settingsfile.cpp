// The sensor settings file on real files: the keys and values a save writes, what a load
// reads back (missing keys, unreadable values, refused files), the codes of the offset combo
// boxes and the sensor mode, and single-value access to INI files.

#include "files/settingsfile.h"
#include "sensor/sensorparameters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <vector>

using P = SensorParameters;

namespace {

struct Field
{
    const char* name;
    int32_t P::*member;
};

// Every field of the record, ranges included, so that "nothing else changed" is checked.
const std::vector<Field> allFields = {
    {"ResetImageAcq", &P::ResetImageAcq},
    {"GAINVAL", &P::GAINVAL},
    {"GAINVAL_MIN", &P::GAINVAL_MIN},
    {"GAINVAL_MAX", &P::GAINVAL_MAX},
    {"ExposureMode", &P::ExposureMode},
    {"SHUTTER", &P::SHUTTER},
    {"SHUTTER_MIN", &P::SHUTTER_MIN},
    {"SHUTTER_MAX", &P::SHUTTER_MAX},
    {"AutoShutterVal", &P::AutoShutterVal},
    {"AutoShutterVal_MIN", &P::AutoShutterVal_MIN},
    {"AutoShutterVal_MAX", &P::AutoShutterVal_MAX},
    {"DoubleShutter1", &P::DoubleShutter1},
    {"DoubleShutter1_MIN", &P::DoubleShutter1_MIN},
    {"DoubleShutter1_MAX", &P::DoubleShutter1_MAX},
    {"DoubleShutter2", &P::DoubleShutter2},
    {"DoubleShutter2_MIN", &P::DoubleShutter2_MIN},
    {"DoubleShutter2_MAX", &P::DoubleShutter2_MAX},
    {"LASER", &P::LASER},
    {"TRIGGER", &P::TRIGGER},
    {"AutoTriggerFPS", &P::AutoTriggerFPS},
    {"AutoTriggerFPS_MIN", &P::AutoTriggerFPS_MIN},
    {"AutoTriggerFPS_MAX", &P::AutoTriggerFPS_MAX},
    {"AutoTriggerError", &P::AutoTriggerError},
    {"METHOD", &P::METHOD},
    {"ReflexionFilter", &P::ReflexionFilter},
    {"RlcThresh", &P::RlcThresh},
    {"RlcThresh_MIN", &P::RlcThresh_MIN},
    {"RlcThresh_MAX", &P::RlcThresh_MAX},
    {"MinWidth", &P::MinWidth},
    {"MinWidth_MIN", &P::MinWidth_MIN},
    {"MinWidth_MAX", &P::MinWidth_MAX},
    {"MaxWidth", &P::MaxWidth},
    {"MaxWidth_MIN", &P::MaxWidth_MIN},
    {"MaxWidth_MAX", &P::MaxWidth_MAX},
    {"ROI_X", &P::ROI_X},
    {"ROI_X_MIN", &P::ROI_X_MIN},
    {"ROI_X_MAX", &P::ROI_X_MAX},
    {"ROI_Y", &P::ROI_Y},
    {"ROI_Y_MIN", &P::ROI_Y_MIN},
    {"ROI_Y_MAX", &P::ROI_Y_MAX},
    {"ROI_DX", &P::ROI_DX},
    {"ROI_DX_MIN", &P::ROI_DX_MIN},
    {"ROI_DX_MAX", &P::ROI_DX_MAX},
    {"ROI_DY", &P::ROI_DY},
    {"ROI_DY_MIN", &P::ROI_DY_MIN},
    {"ROI_DY_MAX", &P::ROI_DY_MAX},
    {"EthernetSendNoWait", &P::EthernetSendNoWait},
    {"EthernetPackNr", &P::EthernetPackNr},
    {"EthernetPackNr_MIN", &P::EthernetPackNr_MIN},
    {"EthernetPackNr_MAX", &P::EthernetPackNr_MAX},
    {"ALGORITHM", &P::ALGORITHM},
    {"Xmin", &P::Xmin},
    {"Xmax", &P::Xmax},
    {"Zmin", &P::Zmin},
    {"Zmax", &P::Zmax},
    {"MODE", &P::MODE},
    {"NBR_LINES", &P::NBR_LINES},
    {"NBR_LINES_MIN", &P::NBR_LINES_MIN},
    {"NBR_LINES_MAX", &P::NBR_LINES_MAX},
    {"firmwareVersion", &P::firmwareVersion},
    {"SubSample", &P::SubSample},
    {"AutoShutterMin", &P::AutoShutterMin},
    {"AutoShutterMax", &P::AutoShutterMax},
    {"SpeckleFilter", &P::SpeckleFilter},
    {"MedianFilter", &P::MedianFilter},
};

struct StoredKey
{
    const char* group;
    const char* key;
    int32_t P::*member;
};

// The 30 integer keys of a settings file, listed here apart from the code under test.
const std::vector<StoredKey> integerKeys = {
    {"Parameter", "GAINVAL", &P::GAINVAL},
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
    {"Mode", "NBR_LINES", &P::NBR_LINES},
};

bool isStoredField(int32_t P::*member)
{
    for (const StoredKey& k : integerKeys) {
        if (k.member == member)
            return true;
    }
    return false;
}

// All fields as "name=value" lines, so that a mismatch names the field.
QString dump(const P& p)
{
    QString out;
    for (const Field& f : allFields)
        out += QStringLiteral("%1=%2\n").arg(QLatin1String(f.name)).arg(p.*f.member);
    return out;
}

// A record whose every field differs from the defaults and from each other.
P distinctRecord()
{
    P p;
    int32_t v = 1001;
    for (const Field& f : allFields)
        p.*f.member = v++;
    return p;
}

// An independent reading of an INI file: "group/key" -> raw value text.
QMap<QString, QString> parseIni(const QByteArray& bytes)
{
    QMap<QString, QString> out;
    QString group;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            out.insert(group + QLatin1Char('/') + line.left(eq), line.mid(eq + 1));
    }
    return out;
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

const QDateTime fixedNow(QDate(2024, 3, 5), QTime(14, 3, 5));

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void saveWritesExactlyTheKeysAndValues();
    void saveWritesTheDateAndTimeTexts();
    void saveStoresTheCodesOfTheRecord_data();
    void saveStoresTheCodesOfTheRecord();
    void saveKeepsOtherGroupsAndUpdatesOldValues();
    void saveReplacesAFileThatIsNotIni();
    void saveToAnUnwritablePlaceFails_data();
    void saveToAnUnwritablePlaceFails();

    void loadReadsBackWhatWasSaved();
    void loadRefusesFilesWithoutAddress_data();
    void loadRefusesFilesWithoutAddress();
    void loadOfOnlyTheAddressZeroesEveryStoredField();
    void loadWithoutExpertGroupZeroesItsFields();
    void loadConvertsValues_data();
    void loadConvertsValues();
    void loadIgnoresTheAddressValueAndRanges();
    void loadSeesAQuickSameSizeRewrite();

    void readFileSettingValues_data();
    void readFileSettingValues();
    void writeFileSettingWritesAtOnce();
    void writeFileSettingFailures();

    void triggerCodes_data();
    void triggerCodes();
    void reflexionFilterCodes_data();
    void reflexionFilterCodes();
    void sensorModeCodes_data();
    void sensorModeCodes();
    void codesOutsideTheListsGiveNoItem_data();
    void codesOutsideTheListsGiveNoItem();

    void dockTitle_data();
    void dockTitle();

private:
    QString path(const QString& name) const { return dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestSettingsFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestSettingsFile::saveWritesExactlyTheKeysAndValues()
{
    const QString file = path(QStringLiteral("LumoPar.txt"));
    P p = distinctRecord();
    p.TRIGGER = -3;
    p.NBR_LINES = -1;
    p.GAINVAL = INT32_MIN;
    p.SHUTTER = INT32_MAX;
    QVERIFY(writeSettingsFile(file, p, fixedNow));

    const QMap<QString, QString> ini = parseIni(fileBytes(file));
    QMap<QString, QString> expected;
    expected.insert(QStringLiteral("SensorInfo/IPAddress"), QStringLiteral("XXXX"));
    expected.insert(QStringLiteral("SensorInfo/Port"), QStringLiteral("XXXX"));
    expected.insert(QStringLiteral("FileInfo/Date"), fixedNow.date().toString(Qt::TextDate));
    expected.insert(QStringLiteral("FileInfo/Time"), QStringLiteral("14:03:05"));
    for (const StoredKey& k : integerKeys)
        expected.insert(QLatin1String(k.group) + QLatin1Char('/') + QLatin1String(k.key),
                        QString::number(p.*k.member));
    QCOMPARE(expected.size(), 34);
    QCOMPARE(ini, expected); // nothing more: no ranges, no other fields
    QCOMPARE(ini.value(QStringLiteral("Parameter/GAINVAL")), QStringLiteral("-2147483648"));
    QCOMPARE(ini.value(QStringLiteral("Parameter/SHUTTER")), QStringLiteral("2147483647"));
    QCOMPARE(ini.value(QStringLiteral("Mode/NBR_LINES")), QStringLiteral("-1"));
    QVERIFY(!fileBytes(file).contains('\0'));
}

void TestSettingsFile::saveWritesTheDateAndTimeTexts()
{
    const QString file = path(QStringLiteral("date.txt"));
    QVERIFY(writeSettingsFile(file, P(), fixedNow));
    const QMap<QString, QString> ini = parseIni(fileBytes(file));
    QCOMPARE(ini.value(QStringLiteral("FileInfo/Time")), QStringLiteral("14:03:05"));
    const QLocale system = QLocale::system();
    if (system.language() != QLocale::C && system.language() != QLocale::English)
        QSKIP("day and month names follow the system locale");
    QCOMPARE(ini.value(QStringLiteral("FileInfo/Date")), QStringLiteral("Tue Mar 5 2024"));
}

void TestSettingsFile::saveStoresTheCodesOfTheRecord_data()
{
    QTest::addColumn<int>("triggerItem");
    QTest::addColumn<int>("filterItem");
    QTest::addColumn<int>("modeItem");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("mode");
    QTest::newRow("auto trigger, no filter, binary image") << 2 << 2 << 3 << "-1"
                                                           << "0"
                                                           << "6";
    QTest::newRow("falling auto, skip bottom 2, sensor image") << 0 << 0 << 0 << "-3"
                                                               << "-2"
                                                               << "1";
    QTest::newRow("falling edge, skip top 2, product angle") << 5 << 4 << 4 << "2"
                                                             << "2"
                                                             << "9";
    QTest::newRow("trigger off, skip top 1, profile mm") << 3 << 3 << 1 << "0"
                                                         << "1"
                                                         << "4";
    QTest::newRow("rising edge, skip bottom 1, pixels") << 4 << 1 << 2 << "1"
                                                        << "-1"
                                                        << "2";
}

void TestSettingsFile::saveStoresTheCodesOfTheRecord()
{
    QFETCH(int, triggerItem);
    QFETCH(int, filterItem);
    QFETCH(int, modeItem);
    QFETCH(QString, trigger);
    QFETCH(QString, filter);
    QFETCH(QString, mode);
    P p;
    p.TRIGGER = triggerCode(triggerItem);
    p.ReflexionFilter = reflexionFilterCode(filterItem);
    p.MODE = sensorModeCode(modeItem);
    const QString file = path(QStringLiteral("codes.txt"));
    QVERIFY(writeSettingsFile(file, p, fixedNow));
    const QMap<QString, QString> ini = parseIni(fileBytes(file));
    QCOMPARE(ini.value(QStringLiteral("Parameter/TRIGGER")), trigger);
    QCOMPARE(ini.value(QStringLiteral("Parameter/ReflexionFilter")), filter);
    QCOMPARE(ini.value(QStringLiteral("Mode/MODE")), mode);
}

void TestSettingsFile::saveKeepsOtherGroupsAndUpdatesOldValues()
{
    const QString file = path(QStringLiteral("existing.txt"));
    QVERIFY(putFile(file, "[Notes]\nOperator=Kim\n\n[Parameter]\nGAINVAL=999\nOwnKey=5\n"
                          "\n[SensorInfo]\nIPAddress=10.0.0.1\n"));
    P p;
    p.GAINVAL = 77;
    QVERIFY(writeSettingsFile(file, p, fixedNow));
    const QMap<QString, QString> ini = parseIni(fileBytes(file));
    QCOMPARE(ini.value(QStringLiteral("Notes/Operator")), QStringLiteral("Kim"));
    QCOMPARE(ini.value(QStringLiteral("Parameter/OwnKey")), QStringLiteral("5"));
    QCOMPARE(ini.value(QStringLiteral("Parameter/GAINVAL")), QStringLiteral("77"));
    QCOMPARE(ini.value(QStringLiteral("SensorInfo/IPAddress")), QStringLiteral("XXXX"));
    QCOMPARE(ini.size(), 34 + 2);
}

void TestSettingsFile::saveReplacesAFileThatIsNotIni()
{
    const QString file = path(QStringLiteral("garbage.txt"));
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 131 + 7) & 0xff));
    QVERIFY(putFile(file, garbage));
    const P saved = distinctRecord();
    QVERIFY(writeSettingsFile(file, saved, fixedNow));
    P loaded;
    QVERIFY(readSettingsFile(file, loaded));
    for (const StoredKey& k : integerKeys)
        QCOMPARE(loaded.*k.member, saved.*k.member);
}

void TestSettingsFile::saveToAnUnwritablePlaceFails_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("below a plain file") << "plain.txt/LumoPar.txt";
    QTest::newRow("a directory") << "adir";
    QTest::newRow("empty name") << "";
}

void TestSettingsFile::saveToAnUnwritablePlaceFails()
{
    QFETCH(QString, relative);
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("adir")));
    QVERIFY(putFile(path(QStringLiteral("plain.txt")), "keep"));
    const QString file = relative.isEmpty() ? QString() : path(relative);
    QVERIFY(!writeSettingsFile(file, P(), fixedNow));
    QCOMPARE(fileBytes(path(QStringLiteral("plain.txt"))), QByteArray("keep"));
    QVERIFY(QFileInfo(path(QStringLiteral("adir"))).isDir());
    QCOMPARE(QDir(path(QStringLiteral("adir")))
                 .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                 .size(),
             0);
}

void TestSettingsFile::loadReadsBackWhatWasSaved()
{
    const QString file = path(QStringLiteral("roundtrip.txt"));
    P saved = distinctRecord();
    saved.TRIGGER = -2;
    saved.ReflexionFilter = 1;
    saved.MODE = 9;
    saved.NBR_LINES = -1;
    QVERIFY(writeSettingsFile(file, saved, fixedNow));

    P loaded; // defaults everywhere
    const P before = loaded;
    QVERIFY(readSettingsFile(file, loaded));
    for (const Field& f : allFields) {
        const int32_t expected = isStoredField(f.member) ? saved.*f.member : before.*f.member;
        QVERIFY2(loaded.*f.member == expected, f.name);
    }
}

void TestSettingsFile::loadRefusesFilesWithoutAddress_data()
{
    QTest::addColumn<bool>("create");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing file") << false << QByteArray();
    QTest::newRow("empty file") << true << QByteArray();
    QTest::newRow("port only") << true << QByteArray("[SensorInfo]\nPort=XXXX\n[Mode]\nMODE=4\n");
    QTest::newRow("address in another group")
        << true << QByteArray("[FileInfo]\nIPAddress=XXXX\n[Parameter]\nGAINVAL=3\n");
    QTest::newRow("product file") << true
                                  << QByteArray("[FileInfo]\nDate=x\n\n[ProductInfo]\n"
                                                "Function=AngleCalculation\nSENSOR_ROI=2\n");
    QByteArray binary;
    for (int i = 0; i < 3000; ++i)
        binary.append(char((i * 97 + 3) & 0xff));
    QTest::newRow("binary garbage") << true << binary;
    QTest::newRow("bracket soup") << true << QByteArray("[[[[\n]]]]=\n=[\n[SensorInfo\nIPAddress");
}

void TestSettingsFile::loadRefusesFilesWithoutAddress()
{
    QFETCH(bool, create);
    QFETCH(QByteArray, content);
    const QString file = path(QStringLiteral("refused.txt"));
    if (create)
        QVERIFY(putFile(file, content));
    P p = distinctRecord();
    const QString before = dump(p);
    QVERIFY(!readSettingsFile(file, p));
    QCOMPARE(dump(p), before);
}

void TestSettingsFile::loadOfOnlyTheAddressZeroesEveryStoredField()
{
    const QString file = path(QStringLiteral("address-only.txt"));
    QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=XXXX\n"));
    P p = distinctRecord();
    const P before = p;
    QVERIFY(readSettingsFile(file, p));
    for (const Field& f : allFields) {
        const int32_t expected = isStoredField(f.member) ? 0 : before.*f.member;
        QVERIFY2(p.*f.member == expected, f.name);
    }
}

void TestSettingsFile::loadWithoutExpertGroupZeroesItsFields()
{
    const QString file = path(QStringLiteral("no-expert.txt"));
    P saved = distinctRecord();
    QVERIFY(writeSettingsFile(file, saved, fixedNow));
    QByteArray text = fileBytes(file);
    const int start = text.indexOf("[Expert]");
    QVERIFY(start >= 0);
    const int next = text.indexOf('[', start + 1);
    text.remove(start, (next < 0 ? text.size() : next) - start);
    QVERIFY(!text.contains("EthernetPackNr"));
    QVERIFY(putFile(file, text));

    P p = distinctRecord();
    p.EthernetSendNoWait = 55;
    QVERIFY(readSettingsFile(file, p));
    QCOMPARE(p.EthernetSendNoWait, 0);
    QCOMPARE(p.EthernetPackNr, 0);
    QCOMPARE(p.ALGORITHM, 0);
    QCOMPARE(p.SpeckleFilter, 0);
    QCOMPARE(p.MedianFilter, 0);
    QCOMPARE(p.GAINVAL, saved.GAINVAL);
    QCOMPARE(p.NBR_LINES, saved.NBR_LINES);
    QCOMPARE(p.EthernetPackNr_MAX, saved.EthernetPackNr_MAX); // ranges never come from a file
}

void TestSettingsFile::loadConvertsValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << QByteArray("1234") << 1234;
    QTest::newRow("negative") << QByteArray("-7") << -7;
    QTest::newRow("plus sign") << QByteArray("+7") << 7;
    QTest::newRow("surrounding blanks") << QByteArray("  42  ") << 42;
    QTest::newRow("leading zeros") << QByteArray("007") << 7;
    QTest::newRow("smallest") << QByteArray("-2147483648") << INT_MIN;
    QTest::newRow("largest") << QByteArray("2147483647") << INT_MAX;
    QTest::newRow("too large") << QByteArray("2147483648") << 0;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 0;
    QTest::newRow("fraction") << QByteArray("12.5") << 0;
    QTest::newRow("word") << QByteArray("abc") << 0;
    QTest::newRow("trailing text") << QByteArray("12abc") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("list") << QByteArray("1, 2") << 0;
    QTest::newRow("quoted") << QByteArray("\"17\"") << 17;
}

void TestSettingsFile::loadConvertsValues()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    const QString file = path(QStringLiteral("values.txt"));
    QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=XXXX\n[Parameter]\nSHUTTER=" + text +
                              "\n[Mode]\nMODE=" + text + "\n"));
    P p = distinctRecord();
    QVERIFY(readSettingsFile(file, p));
    QCOMPARE(p.SHUTTER, value);
    QCOMPARE(p.MODE, value);
}

void TestSettingsFile::loadIgnoresTheAddressValueAndRanges()
{
    // The address value itself is not looked at; an empty value still marks a settings file.
    const QString file = path(QStringLiteral("line.ini.txt"));
    QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=\n[Mode]\nMODE=3\n[Parameter]\n"
                          "SHUTTER=999999999\nSHUTTER_MIN=1\nSHUTTER_MAX=2\n"));
    P p;
    const P before = p;
    QVERIFY(readSettingsFile(file, p));
    QCOMPARE(p.MODE, 3); // stored as read; the panel shows it as index 0
    QCOMPARE(sensorModeIndex(p.MODE), 0);
    QCOMPARE(p.SHUTTER, 999999999); // no range check
    QCOMPARE(p.SHUTTER_MIN, before.SHUTTER_MIN);
    QCOMPARE(p.SHUTTER_MAX, before.SHUTTER_MAX);
}

void TestSettingsFile::loadSeesAQuickSameSizeRewrite()
{
    // The same file rewritten at once with the same length must read back the new values.
    const QString file = path(QStringLiteral("quick.txt"));
    for (int round = 0; round < 40; ++round) {
        const int value = round % 2 ? 11 : 22;
        QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=XXXX\n[Parameter]\nGAINVAL=" +
                                  QByteArray::number(value) + "\n"));
        P p;
        QVERIFY(readSettingsFile(file, p));
        QCOMPARE(p.GAINVAL, value);
        QCOMPARE(readFileSetting(file, QStringLiteral("Parameter"), QStringLiteral("GAINVAL")),
                 QString::number(value));
    }
}

void TestSettingsFile::readFileSettingValues_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("isNull");
    QTest::addColumn<QString>("value");
    const QByteArray ini("[A]\nplain=hello world\nempty=\nlist=1, 2 ,3\nquoted=\"a, b\"\n"
                         "[B]\nplain=other\n");
    QTest::newRow("plain") << ini << "A"
                           << "plain" << false << "hello world";
    QTest::newRow("other group") << ini << "B"
                                 << "plain" << false << "other";
    QTest::newRow("empty value is not missing") << ini << "A"
                                                << "empty" << false << "";
    QTest::newRow("hand-written list") << ini << "A"
                                       << "list" << false << "1, 2, 3";
    QTest::newRow("quoted comma") << ini << "A"
                                  << "quoted" << false << "a, b";
    QTest::newRow("missing key") << ini << "A"
                                 << "nothing" << true << "";
    QTest::newRow("missing group") << ini << "C"
                                   << "plain" << true << "";
    QTest::newRow("empty file") << QByteArray() << "A"
                                << "plain" << true << "";
}

void TestSettingsFile::readFileSettingValues()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, group);
    QFETCH(QString, key);
    QFETCH(bool, isNull);
    QFETCH(QString, value);
    const QString file = path(QStringLiteral("values.ini"));
    QVERIFY(putFile(file, content));
    const QString read = readFileSetting(file, group, key);
    QCOMPARE(read.isNull(), isNull);
    QCOMPARE(read, value);
}

void TestSettingsFile::writeFileSettingWritesAtOnce()
{
    const QString file = path(QStringLiteral("single.ini"));
    QVERIFY(readFileSetting(file, QStringLiteral("G"), QStringLiteral("k")).isNull());
    QVERIFY(
        writeFileSetting(file, QStringLiteral("G"), QStringLiteral("k"), QStringLiteral("v 1")));
    // On disk right away, without any object left open.
    QCOMPARE(parseIni(fileBytes(file)).value(QStringLiteral("G/k")), QStringLiteral("v 1"));
    QCOMPARE(readFileSetting(file, QStringLiteral("G"), QStringLiteral("k")),
             QStringLiteral("v 1"));
    QVERIFY(
        writeFileSetting(file, QStringLiteral("G"), QStringLiteral("k"), QStringLiteral("v 2")));
    QVERIFY(
        writeFileSetting(file, QStringLiteral("H"), QStringLiteral("k"), QStringLiteral("x, y")));
    QCOMPARE(readFileSetting(file, QStringLiteral("G"), QStringLiteral("k")),
             QStringLiteral("v 2"));
    QCOMPARE(readFileSetting(file, QStringLiteral("H"), QStringLiteral("k")),
             QStringLiteral("x, y"));
}

void TestSettingsFile::writeFileSettingFailures()
{
    QVERIFY(putFile(path(QStringLiteral("plain.txt")), "keep"));
    QVERIFY(!writeFileSetting(path(QStringLiteral("plain.txt/below.ini")), QStringLiteral("G"),
                              QStringLiteral("k"), QStringLiteral("v")));
    QCOMPARE(fileBytes(path(QStringLiteral("plain.txt"))), QByteArray("keep"));
    QVERIFY(!writeFileSetting(dir->path(), QStringLiteral("G"), QStringLiteral("k"),
                              QStringLiteral("v")));
    QVERIFY(!writeFileSetting(QString(), QStringLiteral("G"), QStringLiteral("k"),
                              QStringLiteral("v")));
    QVERIFY(readFileSetting(QString(), QStringLiteral("G"), QStringLiteral("k")).isNull());
    QVERIFY(readFileSetting(dir->path(), QStringLiteral("G"), QStringLiteral("k")).isNull());
}

void TestSettingsFile::triggerCodes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("code");
    QTest::newRow("Auto Trigger by falling edge") << 0 << -3;
    QTest::newRow("Auto Trigger by rising edge") << 1 << -2;
    QTest::newRow("Auto Trigger") << 2 << -1;
    QTest::newRow("Trigger Off") << 3 << 0;
    QTest::newRow("Rising Edge") << 4 << 1;
    QTest::newRow("Falling Edge") << 5 << 2;
}

void TestSettingsFile::triggerCodes()
{
    QFETCH(int, index);
    QFETCH(int, code);
    QCOMPARE(triggerCode(index), code);
    QCOMPARE(triggerIndex(code), index);
}

void TestSettingsFile::reflexionFilterCodes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("code");
    QTest::newRow("Skip Bottom 2") << 0 << -2;
    QTest::newRow("Skip Bottom 1") << 1 << -1;
    QTest::newRow("No Filter") << 2 << 0;
    QTest::newRow("Skip Top 1") << 3 << 1;
    QTest::newRow("Skip Top 2") << 4 << 2;
}

void TestSettingsFile::reflexionFilterCodes()
{
    QFETCH(int, index);
    QFETCH(int, code);
    QCOMPARE(reflexionFilterCode(index), code);
    QCOMPARE(reflexionFilterIndex(code), index);
}

void TestSettingsFile::sensorModeCodes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("code");
    QTest::newRow("Sensor Image") << 0 << 1;
    QTest::newRow("Profile (mm)") << 1 << 4;
    QTest::newRow("Uncalibrated Profile (Pix)") << 2 << 2;
    QTest::newRow("Binary Image") << 3 << 6;
    QTest::newRow("Product Angle") << 4 << 9;
}

void TestSettingsFile::sensorModeCodes()
{
    QFETCH(int, index);
    QFETCH(int, code);
    QCOMPARE(sensorModeCode(index), code);
    QCOMPARE(sensorModeIndex(code), index);
}

void TestSettingsFile::codesOutsideTheListsGiveNoItem_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("-4") << -4;
    QTest::newRow("3") << 3;
    QTest::newRow("smallest") << INT_MIN;
    QTest::newRow("largest") << INT_MAX;
}

void TestSettingsFile::codesOutsideTheListsGiveNoItem()
{
    QFETCH(int, code);
    QCOMPARE(triggerIndex(code), -1);
    QCOMPARE(reflexionFilterIndex(code), -1);
    QCOMPARE(sensorModeIndex(code), 0);
    QCOMPARE(sensorModeCode(-1), 1);
    QCOMPARE(sensorModeCode(5), 1);
}

void TestSettingsFile::dockTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("ini inside the name") << "/data/line.ini.txt"
                                         << "Sensor Settings: line.txt";
    QTest::newRow("plain txt kept") << "/base/LumoPar.txt"
                                    << "Sensor Settings: LumoPar.txt";
    QTest::newRow("any letter case") << "C:/x/Setup.INI"
                                     << "Sensor Settings: Setup";
    QTest::newRow("every occurrence") << "a.ini.Ini.txt"
                                      << "Sensor Settings: a.txt";
    QTest::newRow("directory part dropped") << "/d.ini/x.txt"
                                            << "Sensor Settings: x.txt";
}

void TestSettingsFile::dockTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(settingsDockTitle(path), title);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settingsfile.moc"
