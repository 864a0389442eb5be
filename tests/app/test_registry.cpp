// The sensor list in 3DSensor.ini: reading at start, adding, removing, the refusals, and the
// remembered plot ranges.
#include "windowaccess.h"

#include <QSpinBox>

namespace {
using Values = QMap<QString, QString>;

struct Entry
{
    QString name, ip, port;
};

// The registry text for entries, written here apart from the code under test.
QByteArray iniFor(const QList<Entry>& entries)
{
    QByteArray text = "[Sensors]\nNumberOfSensors=" + QByteArray::number(entries.size()) + "\n";
    for (int n = 1; n <= entries.size(); ++n) {
        const QByteArray i = QByteArray::number(n);
        const Entry& e = entries[n - 1];
        text += "SensorName" + i + "=" + e.name.toUtf8() + "\nSensorIP" + i + "=" + e.ip.toUtf8() +
                "\nSensorPort" + i + "=" + e.port.toUtf8() + "\n";
    }
    return text;
}

// The Sensors group as it must read back: exactly these keys and values.
Values sensorsGroup(const QList<Entry>& entries)
{
    Values v = {{"NumberOfSensors", QString::number(entries.size())}};
    for (int n = 1; n <= entries.size(); ++n) {
        v.insert(QStringLiteral("SensorName%1").arg(n), entries[n - 1].name);
        v.insert(QStringLiteral("SensorIP%1").arg(n), entries[n - 1].ip);
        v.insert(QStringLiteral("SensorPort%1").arg(n), entries[n - 1].port);
    }
    return v;
}

const QList<Entry> three = {{"Alpha", "192.168.0.65", "1096"},
                            {"Beta", "10.0.0.2", "2000"},
                            {"Gamma", "172.16.5.9", "3001"}};

// Types a new sensor into the General Settings fields and presses Add.
void addSensor(WindowUnderTest& t, const QString& name, const QStringList& octets, int port)
{
    t.form().lESensorName->setText(name);
    t.form().lEIPAddress1->setText(octets.value(0));
    t.form().lEIPAddress2->setText(octets.value(1));
    t.form().lEIPAddress3->setText(octets.value(2));
    t.form().lEIPAddress4->setText(octets.value(3));
    t.form().sBPort->setValue(port);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);
}

// The selected row and the address and port shown for it.
QString shown(WindowUnderTest& t)
{
    return QStringLiteral("%1 %2:%3")
        .arg(t.form().lWSensorList->currentRow())
        .arg(t.form().lEIP->text(), t.form().lEPort->text());
}
} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void readsListAtStart();
    void damagedListAtStart_data();
    void damagedListAtStart();
    void addToEmptyRegistry();
    void addAppendsAndSelects();
    void addAcceptsCaseDifferentNameAndKeepsOctetTexts();
    void refusals_data();
    void refusals();
    void remove_data();
    void remove();
    void removeOnlyEntry();
    void removeWithoutCurrentRowChangesNothing();
    void rangesReadAndWritten();
    void zoomSlotsFollowPlotUnit_data();
    void zoomSlotsFollowPlotUnit();
    void inputValidators();
};

// Catches entries read in the wrong order or into the wrong list, no first selection, and a
// shown address that does not follow the selection.
void TestRegistry::readsListAtStart()
{
    WindowUnderTest t(iniFor(three), true);
    QCOMPARE(t.access->sensorCount(), 3);
    QCOMPARE(t.access->sensorNames(), QStringList({"Alpha", "Beta", "Gamma"}));
    QCOMPARE(texts(t.form().lWSensorList), QStringList({"Alpha", "Beta", "Gamma"}));
    QCOMPARE(texts(t.access->sensorCombo()), QStringList({"Alpha", "Beta", "Gamma"}));
    QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
    QCOMPARE(shown(t), QStringLiteral("0 192.168.0.65:1096"));
    t.form().lWSensorList->setCurrentRow(2);
    QCOMPARE(shown(t), QStringLiteral("2 172.16.5.9:3001"));
    QVERIFY(t.form().lEIP->isReadOnly() && t.form().lEPort->isReadOnly());
}

void TestRegistry::damagedListAtStart_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("count larger than names")
        << QByteArray("[Sensors]\nNumberOfSensors=3\nSensorName1=One\nSensorName3=Three\n")
        << QStringList{"One", "", "Three"};
    QTest::newRow("count not a number")
        << QByteArray("[Sensors]\nNumberOfSensors=many\nSensorName1=One\n") << QStringList();
}

// Catches a crash or a shifted list on a hand-edited registry.
void TestRegistry::damagedListAtStart()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, names);
    WindowUnderTest t(ini, true);
    QCOMPARE(t.access->sensorCount(), names.size());
    QCOMPARE(t.access->sensorNames(), names);
    QCOMPARE(texts(t.form().lWSensorList), names);
}

// Catches wrong keys or values for a first sensor, no selection, and a missing confirmation.
void TestRegistry::addToEmptyRegistry()
{
    WindowUnderTest t;
    addSensor(t, "Line_1", {"192", "168", "0", "65"}, 1096);
    QCOMPARE(t.group("Sensors"), sensorsGroup({{"Line_1", "192.168.0.65", "1096"}}));
    QVERIFY(t.iniBytes().contains("\nSensorIP1=192.168.0.65\n")); // plain text, not quoted
    QCOMPARE(shown(t), QStringLiteral("0 192.168.0.65:1096"));
    QCOMPARE(texts(t.access->sensorCombo()), QStringList{"Line_1"});
    QCOMPARE(t.onlyDialog(), dialogKey(Dialogs::Kind::Information, "3DSensor",
                                       "The sensor is successfully added."));
}

// Catches an added sensor that overwrites another entry or is not selected, and a chooser
// not rebuilt.
void TestRegistry::addAppendsAndSelects()
{
    WindowUnderTest t(iniFor(three), true);
    t.access->sensorCombo()->setCurrentIndex(2);
    addSensor(t, "Delta", {"192", "168", "1", "7"}, 4242);
    QCOMPARE(t.group("Sensors"),
             sensorsGroup(three + QList<Entry>{{"Delta", "192.168.1.7", "4242"}}));
    QCOMPARE(t.access->sensorCount(), 4);
    QCOMPARE(shown(t), QStringLiteral("3 192.168.1.7:4242"));
    // The chooser is rebuilt and shows the first sensor again.
    QCOMPARE(texts(t.access->sensorCombo()), QStringList({"Alpha", "Beta", "Gamma", "Delta"}));
    QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
}

// Catches a name check that ignores letter case, and octet texts normalised on the way in.
void TestRegistry::addAcceptsCaseDifferentNameAndKeepsOctetTexts()
{
    WindowUnderTest t(iniFor({{"Line_1", "192.168.0.65", "1096"}}), true);
    addSensor(t, "line_1", {"010", "0", "00", "7"}, 1);
    QCOMPARE(t.group("Sensors"),
             sensorsGroup({{"Line_1", "192.168.0.65", "1096"}, {"line_1", "010.0.00.7", "1"}}));
    QCOMPARE(t.dialogs.size(), size_t(1));
    QCOMPARE(t.dialogs[0].kind, Dialogs::Kind::Information);
}

void TestRegistry::refusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("octets");
    QTest::addColumn<QString>("message");
    const QString incomplete =
        QStringLiteral("The data you give is incomplete.\nPlease fill in all the data.");
    QTest::newRow("no name") << "" << QStringList{"192", "168", "0", "65"} << incomplete;
    QTest::newRow("octet 1 empty") << "S" << QStringList{"", "168", "0", "65"} << incomplete;
    QTest::newRow("octet 3 empty") << "S" << QStringList{"192", "168", "", "65"} << incomplete;
    QTest::newRow("octet 4 empty") << "S" << QStringList{"192", "168", "0", ""} << incomplete;
    QTest::newRow("duplicate name")
        << "Beta" << QStringList{"1", "2", "3", "4"}
        << "The name you give is already existing.\nPlease enter another name.";
}

// Catches incomplete input or a duplicate name stored, the wrong message, or the file touched.
void TestRegistry::refusals()
{
    QFETCH(QString, name);
    QFETCH(QStringList, octets);
    QFETCH(QString, message);
    WindowUnderTest t(iniFor(three), true);
    addSensor(t, name, octets, 5);
    QCOMPARE(t.onlyDialog(), dialogKey(Dialogs::Kind::Critical, "3D Sensor", message));
    QCOMPARE(t.iniBytes(), iniFor(three));
    QCOMPARE(t.access->sensorNames(), QStringList({"Alpha", "Beta", "Gamma"}));
    QCOMPARE(t.form().lWSensorList->count(), 3);
}

void TestRegistry::remove_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<int>("selected");
    QTest::newRow("first") << 0 << QStringList{"Beta", "Gamma"} << 0;
    QTest::newRow("middle") << 1 << QStringList{"Alpha", "Gamma"} << 0;
    QTest::newRow("last") << 2 << QStringList{"Alpha", "Beta"} << 1;
}

// Catches entries not moved down a number, the last number's keys left behind, a wrong row
// selected afterwards, and a missing confirmation.
void TestRegistry::remove()
{
    QFETCH(int, row);
    QFETCH(QStringList, remaining);
    QFETCH(int, selected);
    WindowUnderTest t(iniFor(three), true);
    t.form().lWSensorList->setCurrentRow(row);
    t.access->sensorCombo()->setCurrentIndex(2);
    QTest::mouseClick(t.form().pBRemoveSensor, Qt::LeftButton);

    QList<Entry> left = three;
    left.removeAt(row);
    QCOMPARE(t.group("Sensors"), sensorsGroup(left));
    QCOMPARE(t.access->sensorCount(), 2);
    QCOMPARE(t.access->sensorNames(), remaining);
    QCOMPARE(texts(t.form().lWSensorList), remaining);
    QCOMPARE(texts(t.access->sensorCombo()), remaining);
    QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
    QCOMPARE(shown(t),
             QStringLiteral("%1 %2:%3").arg(selected).arg(left[selected].ip, left[selected].port));
    QCOMPARE(t.onlyDialog(), dialogKey(Dialogs::Kind::Information, "3DSensor",
                                       "The sensor is successfully removed."));
}

// Catches a crash or a stale address shown when the list becomes empty.
void TestRegistry::removeOnlyEntry()
{
    WindowUnderTest t(iniFor({{"Solo", "192.168.0.65", "1096"}}), true);
    QTest::mouseClick(t.form().pBRemoveSensor, Qt::LeftButton);
    QCOMPARE(t.group("Sensors"), Values({{"NumberOfSensors", "0"}}));
    QCOMPARE(t.form().lWSensorList->count(), 0);
    QCOMPARE(t.access->sensorCombo()->count(), 0);
    QCOMPARE(shown(t), QStringLiteral("-1 :"));
}

// Catches a remove without a selected row that rewrites the file or shows a message.
void TestRegistry::removeWithoutCurrentRowChangesNothing()
{
    const QByteArray before =
        "[Sensors]\nNumberOfSensors=0\n\n[Range]\nLastProfileMMLowerX=-12.5\n";
    WindowUnderTest t(before, true);
    QCOMPARE(t.form().lWSensorList->currentRow(), -1);
    QTest::mouseClick(t.form().pBRemoveSensor, Qt::LeftButton);
    QCOMPARE(t.iniBytes(), before);
    QCOMPARE(t.access->sensorCount(), 0);
    QVERIFY(t.dialogs.empty());
}

// Catches ranges read with lost precision or into the wrong slot, unreadable text not read as
// 0, ranges written under the wrong key or format at exit, and a sensor list disturbed.
void TestRegistry::rangesReadAndWritten()
{
    WindowUnderTest t(iniFor(three) +
                          "[Range]\nLastProfilePixelLowerX=-3\nLastProfilePixelUpperX=1280\n"
                          "LastProfilePixelLowerY=0.000125\nLastProfilePixelUpperY=1.23457e+06\n"
                          "LastProfileMMLowerX=1.5e-07\nLastProfileMMUpperX=-12.5\n"
                          "LastProfileMMLowerY=rubbish\n",
                      true);
    const double expected[8] = {-3, 1280, 0.000125, 1.23457e+06, 1.5e-07, -12.5, 0.0, 0.0};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(t.access->storedRanges()[i], expected[i]);
    t.access->storedRanges()[1] = 1234567.0;
    t.access->storedRanges()[2] = -3.25;
    t.access->storedRanges()[7] = 1e-9;
    t.close();
    const Values written = {
        {"LastProfilePixelLowerX", "-3"},    {"LastProfilePixelUpperX", "1.23457e+06"},
        {"LastProfilePixelLowerY", "-3.25"}, {"LastProfilePixelUpperY", "1.23457e+06"},
        {"LastProfileMMLowerX", "1.5e-07"},  {"LastProfileMMUpperX", "-12.5"},
        {"LastProfileMMLowerY", "0"},        {"LastProfileMMUpperY", "1e-09"},
    };
    QCOMPARE(t.group("Range"), written);
    QCOMPARE(t.group("Sensors"), sensorsGroup(three));
}

void TestRegistry::zoomSlotsFollowPlotUnit_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("xIndex"); // -1: nothing stored
    QTest::newRow("none") << 0 << -1;
    QTest::newRow("pixel") << 1 << 0;
    QTest::newRow("mm") << 2 << 4;
    QTest::newRow("unknown") << 3 << -1;
}

// Catches a zoom stored in the other unit's slots, or stored with no known unit.
void TestRegistry::zoomSlotsFollowPlotUnit()
{
    QFETCH(int, unit);
    QFETCH(int, xIndex);
    WindowUnderTest t;
    t.access->plotUnit() = unit;
    t.access->saveLastZoomXAxis(QCPRange(-5, 7));
    t.access->saveLastZoomYAxis(QCPRange(11, 13));
    double expected[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    if (xIndex >= 0) {
        expected[xIndex] = -5;
        expected[xIndex + 1] = 7;
        expected[xIndex + 2] = 11;
        expected[xIndex + 3] = 13;
    }
    for (int i = 0; i < 8; ++i)
        QCOMPARE(t.access->storedRanges()[i], expected[i]);
}

// Catches address fields that take numbers above their top, and names with characters that
// do not belong in a registry key.
void TestRegistry::inputValidators()
{
    WindowUnderTest t;
    QVERIFY(t.showAndWait());
    t.form().tabWidget->setCurrentIndex(0);
    auto typed = [&](QLineEdit* edit, const QString& keys) {
        edit->clear();
        edit->setFocus();
        QTest::keyClicks(edit, keys);
        return edit->text();
    };
    QCOMPARE(typed(t.form().lEIPAddress1, "224"), QStringLiteral("22"));
    QCOMPARE(typed(t.form().lEIPAddress1, "1000"), QStringLiteral("100"));
    QCOMPARE(typed(t.form().lEIPAddress1, "223"), QStringLiteral("223"));
    QCOMPARE(typed(t.form().lEIPAddress1, "0"), QStringLiteral("0")); // unfinished input
    QCOMPARE(typed(t.form().lEIPAddress2, "256"), QStringLiteral("25"));
    QCOMPARE(typed(t.form().lEIPAddress3, "300"), QStringLiteral("30"));
    QCOMPARE(typed(t.form().lEIPAddress4, "255"), QStringLiteral("255"));
    QCOMPARE(typed(t.form().lESensorName, "Line 1-a.b_C"), QStringLiteral("Line1ab_C"));
}

QTEST_MAIN(TestRegistry)
#include "test_registry.moc"
