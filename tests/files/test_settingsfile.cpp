// The sensor settings file on real files: the keys and values a save writes, what a load
// reads back (missing keys, unreadable values, refused files), the codes of the offset combo
// boxes and the sensor mode, and single-value access to INI files.

#include "files/settingsfile.h"
#include "filetestutil.h"
#include "sensor/sensorparameters.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

using P = SensorParameters;

namespace {

// The record is nothing but 32-bit integers; viewing it as a list compares every field at
// once, and a mismatch is reported with its index.
constexpr int fieldCount = sizeof(P) / sizeof(int32_t);
static_assert(std::is_trivially_copyable<P>::value && fieldCount == 65, "plain integer record");

QVector<int32_t> fields(const P& p)
{
    QVector<int32_t> out(fieldCount);
    std::memcpy(out.data(), &p, sizeof(P));
    return out;
}

// A record whose fields hold first, first + step, first + 2 * step, ...
P filledRecord(int32_t first, int32_t step)
{
    QVector<int32_t> values(fieldCount);
    for (int i = 0; i < fieldCount; ++i)
        values[i] = first + i * step;
    P p;
    std::memcpy(static_cast<void*>(&p), values.data(), sizeof(P));
    return p;
}

// A record whose every field differs from the defaults and from each other.
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
    {"Mode", "NBR_LINES", &P::NBR_LINES}};

// before with the 30 stored fields taken from source: what a load may change, nothing else.
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
        const int eq = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')))
            group = line.mid(1, line.size() - 2);
        else if (eq > 0)
            out.insert(group + QLatin1Char('/') + line.left(eq), line.mid(eq + 1));
    }
    return out;
}

QByteArray withAddress(const QByteArray& rest)
{
    return "[SensorInfo]\nIPAddress=XXXX\n" + rest;
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void saveWritesExactlyTheKeysAndValues();
    void saveKeepsOtherGroupsAndUpdatesOldValues();
    void saveReplacesAFileThatIsNotIni();
    void saveToAnUnwritablePlaceFails_data();
    void saveToAnUnwritablePlaceFails();
    void loadReadsBackWhatWasSaved();
    void loadRefusesFilesWithoutAddress_data();
    void loadRefusesFilesWithoutAddress();
    void loadOfOnlyTheAddressZeroesEveryStoredField();
    void loadConvertsValues_data();
    void loadConvertsValues();
    void loadIgnoresTheAddressValueAndRanges();
    void loadSeesAQuickSameSizeRewrite();
    void readFileSettingValues_data();
    void readFileSettingValues();
    void writeFileSettingAtOnce();
    void codes_data();
    void codes();
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

// Catches a missing, extra, misnamed or misplaced key, a wrong placeholder, date or time text,
// and integers not written in full decimal (extremes, negatives).
void TestSettingsFile::saveWritesExactlyTheKeysAndValues()
{
    const QString file = path(QStringLiteral("LumoPar.txt"));
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
        expected.insert(QLatin1String(k.group) + QLatin1Char('/') + QLatin1String(k.key),
                        QString::number(p.*k.member));
    QCOMPARE(expected.size(), 34);
    const QMap<QString, QString> ini = parseIni(fileBytes(file));
    QCOMPARE(ini, expected); // nothing more: no ranges, no other fields
    QCOMPARE(ini.value(QStringLiteral("Parameter/GAINVAL")), QStringLiteral("-2147483648"));
    QCOMPARE(ini.value(QStringLiteral("Parameter/SHUTTER")), QStringLiteral("2147483647"));
    QCOMPARE(ini.value(QStringLiteral("Mode/NBR_LINES")), QStringLiteral("-1"));
}

// Catches a save that truncates the file (losing the operator's own keys) or leaves old values.
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

// Catches a save over binary garbage that fails or leaves a file that does not load back.
void TestSettingsFile::saveReplacesAFileThatIsNotIni()
{
    const QString file = path(QStringLiteral("garbage.txt"));
    QVERIFY(putFile(file, binaryGarbage(4096)));
    const P saved = distinctRecord();
    QVERIFY(writeSettingsFile(file, saved, fixedNow));
    P loaded;
    QVERIFY(readSettingsFile(file, loaded));
    QCOMPARE(fields(loaded), fields(withStoredFields(P(), saved)));
}

void TestSettingsFile::saveToAnUnwritablePlaceFails_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("below a plain file") << "plain.txt/LumoPar.txt";
    QTest::newRow("a directory") << "adir";
    QTest::newRow("empty name") << "";
}

// Catches a failed save reported as success, or one that damages what is in the way.
void TestSettingsFile::saveToAnUnwritablePlaceFails()
{
    QFETCH(QString, relative);
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("adir")));
    QVERIFY(putFile(path(QStringLiteral("plain.txt")), "keep"));
    QVERIFY(!writeSettingsFile(relative.isEmpty() ? QString() : path(relative), P(), fixedNow));
    QCOMPARE(fileBytes(path(QStringLiteral("plain.txt"))), QByteArray("keep"));
    QVERIFY(QDir(path(QStringLiteral("adir"))).isEmpty());
}

// Catches a field read into the wrong member, and a load that touches ranges or other fields.
void TestSettingsFile::loadReadsBackWhatWasSaved()
{
    const QString file = path(QStringLiteral("roundtrip.txt"));
    P saved = distinctRecord();
    saved.TRIGGER = -2;
    saved.NBR_LINES = -1;
    QVERIFY(writeSettingsFile(file, saved, fixedNow));
    P loaded; // defaults everywhere
    QVERIFY(readSettingsFile(file, loaded));
    QCOMPARE(fields(loaded), fields(withStoredFields(P(), saved)));
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
    QTest::newRow("binary garbage") << true << binaryGarbage(3000);
    QTest::newRow("bracket soup") << true << QByteArray("[[[[\n]]]]=\n=[\n[SensorInfo\nIPAddress");
}

// Catches a load of a file that is not a settings file (or of no file) that reports success
// or changes the record.
void TestSettingsFile::loadRefusesFilesWithoutAddress()
{
    QFETCH(bool, create);
    QFETCH(QByteArray, content);
    const QString file = path(QStringLiteral("refused.txt"));
    if (create)
        QVERIFY(putFile(file, content));
    P p = distinctRecord();
    QVERIFY(!readSettingsFile(file, p));
    QCOMPARE(fields(p), fields(distinctRecord()));
}

// Catches a missing key or group that keeps the old value instead of giving 0, and a load
// that zeroes fields it does not own.
void TestSettingsFile::loadOfOnlyTheAddressZeroesEveryStoredField()
{
    const QString file = path(QStringLiteral("address-only.txt"));
    QVERIFY(putFile(file, withAddress("")));
    P p = distinctRecord();
    QVERIFY(readSettingsFile(file, p));
    QCOMPARE(fields(p), fields(withStoredFields(distinctRecord(), filledRecord(0, 0))));
}

void TestSettingsFile::loadConvertsValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("negative") << QByteArray("-7") << -7;
    QTest::newRow("surrounding blanks") << QByteArray("  42  ") << 42;
    QTest::newRow("smallest") << QByteArray("-2147483648") << INT_MIN;
    QTest::newRow("largest") << QByteArray("2147483647") << INT_MAX;
    QTest::newRow("too large") << QByteArray("2147483648") << 0;
    QTest::newRow("hexadecimal") << QByteArray("0x10") << 0;
    QTest::newRow("fraction") << QByteArray("12.5") << 0;
    QTest::newRow("trailing text") << QByteArray("12abc") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("quoted") << QByteArray("\"17\"") << 17;
}

// Catches values read leniently (hex, fractions, overflow wrapping, trailing text) or
// boundary values lost.
void TestSettingsFile::loadConvertsValues()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);
    const QString file = path(QStringLiteral("values.txt"));
    QVERIFY(putFile(file,
                    withAddress("[Parameter]\nSHUTTER=" + text + "\n[Mode]\nMODE=" + text + "\n")));
    P p = distinctRecord();
    QVERIFY(readSettingsFile(file, p));
    QCOMPARE(p.SHUTTER, value);
    QCOMPARE(p.MODE, value);
}

// Catches a load that requires an address value, range-checks values or reads ranges.
void TestSettingsFile::loadIgnoresTheAddressValueAndRanges()
{
    const QString file = path(QStringLiteral("line.ini.txt"));
    QVERIFY(putFile(file, "[SensorInfo]\nIPAddress=\n[Mode]\nMODE=3\n[Parameter]\n"
                          "SHUTTER=999999999\nSHUTTER_MIN=1\nSHUTTER_MAX=2\n"));
    P p;
    QVERIFY(readSettingsFile(file, p));
    QCOMPARE(p.MODE, 3); // stored as read, even though the panel has no item for it
    QCOMPARE(p.SHUTTER, 999999999);
    QCOMPARE(p.SHUTTER_MIN, P().SHUTTER_MIN);
    QCOMPARE(p.SHUTTER_MAX, P().SHUTTER_MAX);
}

// Catches stale reads: the INI reader caches by size and modification time, so the same file
// rewritten at once with the same length must still read back the new values.
void TestSettingsFile::loadSeesAQuickSameSizeRewrite()
{
    const QString file = path(QStringLiteral("quick.txt"));
    for (int round = 0; round < 40; ++round) {
        const int value = round % 2 ? 11 : 22;
        QVERIFY(putFile(file, withAddress("[Parameter]\nGAINVAL=" + QByteArray::number(value))));
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
    auto row = [&](const char* tag, const QByteArray& text, const char* group, const char* key,
                   bool isNull, const char* value) {
        QTest::newRow(tag) << text << group << key << isNull << value;
    };
    row("plain", ini, "A", "plain", false, "hello world");
    row("other group", ini, "B", "plain", false, "other");
    row("empty value is not missing", ini, "A", "empty", false, "");
    row("hand-written list", ini, "A", "list", false, "1, 2, 3");
    row("quoted comma", ini, "A", "quoted", false, "a, b");
    row("missing key", ini, "A", "nothing", true, "");
    row("missing group", ini, "C", "plain", true, "");
    row("empty file", QByteArray(), "A", "plain", true, "");
}

// Catches an empty value confused with a missing one, and comma lists cut to their first item.
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

// Catches a value left unwritten until some object closes, a later write that loses an earlier
// one, and failed writes reported as success or damaging what is in the way.
void TestSettingsFile::writeFileSettingAtOnce()
{
    const QString file = path(QStringLiteral("single.ini"));
    const QString g = QStringLiteral("G"), h = QStringLiteral("H"), k = QStringLiteral("k");
    QVERIFY(readFileSetting(file, g, k).isNull());
    QVERIFY(writeFileSetting(file, g, k, QStringLiteral("v 1")));
    QCOMPARE(parseIni(fileBytes(file)).value(QStringLiteral("G/k")), QStringLiteral("v 1"));
    QVERIFY(writeFileSetting(file, g, k, QStringLiteral("v 2")));
    QVERIFY(writeFileSetting(file, h, k, QStringLiteral("x, y")));
    QCOMPARE(readFileSetting(file, g, k), QStringLiteral("v 2"));
    QCOMPARE(readFileSetting(file, h, k), QStringLiteral("x, y"));

    QVERIFY(putFile(path(QStringLiteral("plain.txt")), "keep"));
    QVERIFY(!writeFileSetting(path(QStringLiteral("plain.txt/below.ini")), g, k, k));
    QCOMPARE(fileBytes(path(QStringLiteral("plain.txt"))), QByteArray("keep"));
    QVERIFY(!writeFileSetting(dir->path(), g, k, k));
    QVERIFY(!writeFileSetting(QString(), g, k, k));
    QVERIFY(readFileSetting(QString(), g, k).isNull());
    QVERIFY(readFileSetting(dir->path(), g, k).isNull());
}

void TestSettingsFile::codes_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("index"); // -1: the code has no item
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("toIndex"); // check index from code
    QTest::addColumn<bool>("toCode");  // check code from index
    auto row = [](const char* tag, const char* list, int index, int code, bool toIndex = true,
                  bool toCode = true) {
        QTest::newRow(tag) << QString(list) << index << code << toIndex << toCode;
    };
    row("Auto Trigger by falling edge", "trigger", 0, -3);
    row("Auto Trigger", "trigger", 2, -1);
    row("Trigger Off", "trigger", 3, 0);
    row("Falling Edge", "trigger", 5, 2);
    row("trigger -4", "trigger", -1, -4, true, false);
    row("trigger 3", "trigger", -1, 3, true, false);
    row("trigger smallest", "trigger", -1, INT_MIN, true, false);
    row("Skip Bottom 2", "filter", 0, -2);
    row("No Filter", "filter", 2, 0);
    row("Skip Top 2", "filter", 4, 2);
    row("filter -3", "filter", -1, -3, true, false);
    row("filter largest", "filter", -1, INT_MAX, true, false);
    row("Sensor Image", "mode", 0, 1);
    row("Profile (mm)", "mode", 1, 4);
    row("Uncalibrated Profile (Pix)", "mode", 2, 2);
    row("Binary Image", "mode", 3, 6);
    row("Product Angle", "mode", 4, 9);
    row("unknown mode 3 shows Sensor Image", "mode", 0, 3, true, false);
    row("unknown mode smallest", "mode", 0, INT_MIN, true, false);
    row("mode index -1 stores 1", "mode", -1, 1, false, true);
    row("mode index 5 stores 1", "mode", 5, 1, false, true);
}

// Catches a wrong offset or order between combo items and stored codes, and codes outside the
// lists that select some item.
void TestSettingsFile::codes()
{
    QFETCH(QString, list);
    QFETCH(int, index);
    QFETCH(int, code);
    QFETCH(bool, toIndex);
    QFETCH(bool, toCode);
    int (*indexOf)(int) = &sensorModeIndex;
    int (*codeOf)(int) = &sensorModeCode;
    if (list == QLatin1String("trigger")) {
        indexOf = &triggerIndex;
        codeOf = &triggerCode;
    } else if (list == QLatin1String("filter")) {
        indexOf = &reflexionFilterIndex;
        codeOf = &reflexionFilterCode;
    }
    if (toIndex)
        QCOMPARE(indexOf(code), index);
    if (toCode)
        QCOMPARE(codeOf(index), code);
}

void TestSettingsFile::dockTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    auto row = [](const char* tag, const char* path, const char* title) {
        QTest::newRow(tag) << QString(path) << QString(title);
    };
    row("ini inside the name", "/data/line.ini.txt", "Sensor Settings: line.txt");
    row("any letter case", "C:/x/Setup.INI", "Sensor Settings: Setup");
    row("every occurrence", "a.ini.Ini.txt", "Sensor Settings: a.txt");
    row("directory part dropped", "/d.ini/x.txt", "Sensor Settings: x.txt");
}

// Catches ".ini" removed only once or case-sensitively, or the directory part left in.
void TestSettingsFile::dockTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(settingsDockTitle(path), title);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settingsfile.moc"
