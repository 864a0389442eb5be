// The sensor list in 3DSensor.ini: reading at start, adding, removing, the refusals, and the
// remembered plot ranges.
#include "windowaccess.h"

#include <QListWidget>
#include <QSpinBox>
#include <QTest>

namespace {
using Values = QMap<QString, QString>;

struct Entry
{
    QString name, ip, port;
};

QByteArray iniFor(const QList<Entry>& entries, const QByteArray& extra = QByteArray())
{
    QByteArray text = "[Sensors]\nNumberOfSensors=" + QByteArray::number(entries.size()) + "\n";
    int n = 1;
    for (const Entry& e : entries) {
        text += "SensorName" + QByteArray::number(n) + "=" + e.name.toUtf8() + "\n";
        text += "SensorIP" + QByteArray::number(n) + "=" + e.ip.toUtf8() + "\n";
        text += "SensorPort" + QByteArray::number(n) + "=" + e.port.toUtf8() + "\n";
        ++n;
    }
    return text + extra;
}

Values sensorsGroup(const QList<Entry>& entries)
{
    Values v;
    v.insert("NumberOfSensors", QString::number(entries.size()));
    int n = 1;
    for (const Entry& e : entries) {
        v.insert(QStringLiteral("SensorName%1").arg(n), e.name);
        v.insert(QStringLiteral("SensorIP%1").arg(n), e.ip);
        v.insert(QStringLiteral("SensorPort%1").arg(n), e.port);
        ++n;
    }
    return v;
}

const QList<Entry> three = {{"Alpha", "192.168.0.65", "1096"},
                            {"Beta", "10.0.0.2", "2000"},
                            {"Gamma", "172.16.5.9", "3001"}};

void fillNewSensor(WindowUnderTest& t, const QString& name, const QStringList& octets, int port)
{
    t.form().lESensorName->setText(name);
    t.form().lEIPAddress1->setText(octets.value(0));
    t.form().lEIPAddress2->setText(octets.value(1));
    t.form().lEIPAddress3->setText(octets.value(2));
    t.form().lEIPAddress4->setText(octets.value(3));
    t.form().sBPort->setValue(port);
}

QStringList listItems(QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

QStringList comboItems(QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}
} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void readsListAtStart();
    void countLargerThanNames();
    void badCountReadsAsEmpty();
    void addToEmptyRegistry();
    void addAppendsAndSelects();
    void addKeepsOctetTextsUnchanged();
    void caseDifferentNameAccepted();
    void refusesIncompleteInput_data();
    void refusesIncompleteInput();
    void refusesDuplicateName();
    void remove_data();
    void remove();
    void removeOnlyEntry();
    void removeWithoutCurrentRowChangesNothing();
    void displayInfoFollowsSelection();
    void rangesReadExactly();
    void rangesWrittenAtExit();
    void zoomSlotsFollowPlotUnit_data();
    void zoomSlotsFollowPlotUnit();
    void inputValidators();
};

void TestRegistry::readsListAtStart()
{
    WindowUnderTest t(iniFor(three), true);
    QCOMPARE(t.access->sensorCount(), 3);
    QCOMPARE(t.access->sensorNames(), QStringList({"Alpha", "Beta", "Gamma"}));
    QCOMPARE(listItems(t.form().lWSensorList), QStringList({"Alpha", "Beta", "Gamma"}));
    QCOMPARE(comboItems(t.access->sensorCombo()), QStringList({"Alpha", "Beta", "Gamma"}));
    QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
    QCOMPARE(t.form().lWSensorList->currentRow(), 0);
    QVERIFY(t.form().lWSensorList->item(0)->isSelected());
    QCOMPARE(t.form().lEIP->text(), QStringLiteral("192.168.0.65"));
    QCOMPARE(t.form().lEPort->text(), QStringLiteral("1096"));
}

void TestRegistry::countLargerThanNames()
{
    WindowUnderTest t("[Sensors]\nNumberOfSensors=3\nSensorName1=One\nSensorName3=Three\n", true);
    QCOMPARE(t.access->sensorCount(), 3);
    QCOMPARE(t.access->sensorNames(), QStringList({"One", "", "Three"}));
    QCOMPARE(t.form().lWSensorList->count(), 3);
}

void TestRegistry::badCountReadsAsEmpty()
{
    WindowUnderTest t("[Sensors]\nNumberOfSensors=many\nSensorName1=One\n", true);
    QCOMPARE(t.access->sensorCount(), 0);
    QVERIFY(t.access->sensorNames().isEmpty());
    QCOMPARE(t.form().lWSensorList->count(), 0);
}

void TestRegistry::addToEmptyRegistry()
{
    WindowUnderTest t;
    fillNewSensor(t, "Line_1", {"192", "168", "0", "65"}, 1096);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);

    QCOMPARE(t.group("Sensors"), sensorsGroup({{"Line_1", "192.168.0.65", "1096"}}));
    QVERIFY(t.iniBytes().contains("SensorName1=Line_1"));
    QVERIFY(t.iniBytes().contains("SensorIP1=192.168.0.65"));
    QVERIFY(t.iniBytes().contains("SensorPort1=1096"));
    QVERIFY(t.iniBytes().contains("NumberOfSensors=1"));
    QCOMPARE(t.form().lWSensorList->currentRow(), 0);
    QCOMPARE(t.form().lEIP->text(), QStringLiteral("192.168.0.65"));
    QCOMPARE(t.form().lEPort->text(), QStringLiteral("1096"));
    QCOMPARE(comboItems(t.access->sensorCombo()), QStringList{"Line_1"});
    QCOMPARE(t.dialogs.size(), size_t(1));
    QCOMPARE(t.dialogs[0].kind, Dialogs::Kind::Information);
    QCOMPARE(t.dialogs[0].title, QStringLiteral("3DSensor"));
    QCOMPARE(t.dialogs[0].text, QStringLiteral("The sensor is successfully added."));
}

void TestRegistry::addAppendsAndSelects()
{
    WindowUnderTest t(iniFor(three), true);
    t.access->sensorCombo()->setCurrentIndex(2);
    fillNewSensor(t, "Delta", {"192", "168", "1", "7"}, 4242);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);

    QList<Entry> four = three;
    four.append({"Delta", "192.168.1.7", "4242"});
    QCOMPARE(t.group("Sensors"), sensorsGroup(four));
    QCOMPARE(t.access->sensorCount(), 4);
    QCOMPARE(t.form().lWSensorList->currentRow(), 3);
    QCOMPARE(t.form().lEIP->text(), QStringLiteral("192.168.1.7"));
    QCOMPARE(t.form().lEPort->text(), QStringLiteral("4242"));
    // The chooser is rebuilt and shows the first sensor again.
    QCOMPARE(comboItems(t.access->sensorCombo()), QStringList({"Alpha", "Beta", "Gamma", "Delta"}));
    QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
}

void TestRegistry::addKeepsOctetTextsUnchanged()
{
    WindowUnderTest t;
    fillNewSensor(t, "Odd", {"010", "0", "00", "7"}, 1);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);
    QCOMPARE(t.group("Sensors").value("SensorIP1"), QStringLiteral("010.0.00.7"));
    QCOMPARE(t.group("Sensors").value("SensorPort1"), QStringLiteral("1"));
}

void TestRegistry::caseDifferentNameAccepted()
{
    WindowUnderTest t(iniFor({{"Line_1", "192.168.0.65", "1096"}}), true);
    fillNewSensor(t, "line_1", {"192", "168", "0", "66"}, 1097);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);
    QCOMPARE(t.group("Sensors"), sensorsGroup({{"Line_1", "192.168.0.65", "1096"},
                                               {"line_1", "192.168.0.66", "1097"}}));
    QCOMPARE(t.dialogs.size(), size_t(1));
    QCOMPARE(t.dialogs[0].kind, Dialogs::Kind::Information);
}

void TestRegistry::refusesIncompleteInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("octets");
    QTest::newRow("no name") << "" << QStringList{"192", "168", "0", "65"};
    QTest::newRow("octet 1 empty") << "S" << QStringList{"", "168", "0", "65"};
    QTest::newRow("octet 2 empty") << "S" << QStringList{"192", "", "0", "65"};
    QTest::newRow("octet 3 empty") << "S" << QStringList{"192", "168", "", "65"};
    QTest::newRow("octet 4 empty") << "S" << QStringList{"192", "168", "0", ""};
    QTest::newRow("all empty") << "" << QStringList{"", "", "", ""};
}

void TestRegistry::refusesIncompleteInput()
{
    QFETCH(QString, name);
    QFETCH(QStringList, octets);
    const QByteArray before = iniFor({{"Line_1", "192.168.0.65", "1096"}});
    WindowUnderTest t(before, true);
    fillNewSensor(t, name, octets, 1096);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);
    QCOMPARE(t.dialogs.size(), size_t(1));
    QCOMPARE(t.dialogs[0].kind, Dialogs::Kind::Critical);
    QCOMPARE(t.dialogs[0].title, QStringLiteral("3D Sensor"));
    QCOMPARE(t.dialogs[0].text,
             QStringLiteral("The data you give is incomplete.\nPlease fill in all the data."));
    QCOMPARE(t.iniBytes(), before);
    QCOMPARE(t.access->sensorCount(), 1);
    QCOMPARE(t.form().lWSensorList->count(), 1);
}

void TestRegistry::refusesDuplicateName()
{
    const QByteArray before = iniFor(three);
    WindowUnderTest t(before, true);
    fillNewSensor(t, "Beta", {"1", "2", "3", "4"}, 5);
    QTest::mouseClick(t.form().pBAddSensor, Qt::LeftButton);
    QCOMPARE(t.dialogs.size(), size_t(1));
    QCOMPARE(t.dialogs[0].kind, Dialogs::Kind::Critical);
    QCOMPARE(t.dialogs[0].title, QStringLiteral("3D Sensor"));
    QCOMPARE(t.dialogs[0].text,
             QStringLiteral("The name you give is already existing.\nPlease enter another name."));
    QCOMPARE(t.iniBytes(), before);
    QCOMPARE(t.access->sensorNames(), QStringList({"Alpha", "Beta", "Gamma"}));
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
    // Later entries moved down one number; the last number's keys are gone.
    QCOMPARE(t.group("Sensors"), sensorsGroup(left));
    QCOMPARE(t.access->sensorCount(), 2);
    QCOMPARE(t.access->sensorNames(), remaining);
    QCOMPARE(listItems(t.form().lWSensorList), remaining);
    QCOMPARE(comboItems(t.access->sensorCombo()), remaining);
    QCOMPARE(t.access->sensorCombo()->currentIndex(), 0);
    QCOMPARE(t.form().lWSensorList->currentRow(), selected);
    QCOMPARE(t.form().lEIP->text(), left[selected].ip);
    QCOMPARE(t.form().lEPort->text(), left[selected].port);
    QCOMPARE(t.dialogs.size(), size_t(1));
    QCOMPARE(t.dialogs[0].kind, Dialogs::Kind::Information);
    QCOMPARE(t.dialogs[0].title, QStringLiteral("3DSensor"));
    QCOMPARE(t.dialogs[0].text, QStringLiteral("The sensor is successfully removed."));
}

void TestRegistry::removeOnlyEntry()
{
    WindowUnderTest t(iniFor({{"Solo", "192.168.0.65", "1096"}}), true);
    QTest::mouseClick(t.form().pBRemoveSensor, Qt::LeftButton);
    QCOMPARE(t.group("Sensors"), Values({{"NumberOfSensors", "0"}}));
    QCOMPARE(t.form().lWSensorList->count(), 0);
    QCOMPARE(t.access->sensorCombo()->count(), 0);
    QVERIFY(t.form().lEIP->text().isEmpty());
    QVERIFY(t.form().lEPort->text().isEmpty());
}

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

void TestRegistry::displayInfoFollowsSelection()
{
    WindowUnderTest t(iniFor(three), true);
    t.form().lWSensorList->setCurrentRow(2);
    QCOMPARE(t.form().lEIP->text(), QStringLiteral("172.16.5.9"));
    QCOMPARE(t.form().lEPort->text(), QStringLiteral("3001"));
    t.form().lWSensorList->setCurrentRow(1);
    QCOMPARE(t.form().lEIP->text(), QStringLiteral("10.0.0.2"));
    QCOMPARE(t.form().lEPort->text(), QStringLiteral("2000"));
    QVERIFY(t.form().lEIP->isReadOnly());
    QVERIFY(t.form().lEPort->isReadOnly());
}

void TestRegistry::rangesReadExactly()
{
    WindowUnderTest t("[Range]\nLastProfilePixelLowerX=-3\nLastProfilePixelUpperX=1280\n"
                      "LastProfilePixelLowerY=0.000125\nLastProfilePixelUpperY=1.23457e+06\n"
                      "LastProfileMMLowerX=1.5e-07\nLastProfileMMUpperX=-12.5\n"
                      "LastProfileMMLowerY=rubbish\n",
                      true);
    const double expected[8] = {-3, 1280, 0.000125, 1.23457e+06, 1.5e-07, -12.5, 0.0, 0.0};
    for (int i = 0; i < 8; ++i)
        QCOMPARE(t.access->storedRanges()[i], expected[i]);
    t.close();
    const Values range = t.group("Range");
    QCOMPARE(range.value("LastProfileMMLowerX"), QStringLiteral("1.5e-07"));
    QCOMPARE(range.value("LastProfilePixelUpperY"), QStringLiteral("1.23457e+06"));
    QCOMPARE(range.value("LastProfileMMLowerY"), QStringLiteral("0"));
}

void TestRegistry::rangesWrittenAtExit()
{
    WindowUnderTest t(iniFor(three), true);
    const double values[8] = {1, 2, -3.25, 4, 0.000125, 1234567.0, -12.5, 1e-9};
    for (int i = 0; i < 8; ++i)
        t.access->storedRanges()[i] = values[i];
    t.close();
    const Values expected = {
        {"LastProfilePixelLowerX", "1"},     {"LastProfilePixelUpperX", "2"},
        {"LastProfilePixelLowerY", "-3.25"}, {"LastProfilePixelUpperY", "4"},
        {"LastProfileMMLowerX", "0.000125"}, {"LastProfileMMUpperX", "1.23457e+06"},
        {"LastProfileMMLowerY", "-12.5"},    {"LastProfileMMUpperY", "1e-09"},
    };
    QCOMPARE(t.group("Range"), expected);
    // The sensor list is left as it was.
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

void TestRegistry::inputValidators()
{
    WindowUnderTest t;
    t.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(t.window.get()));
    t.form().tabWidget->setCurrentIndex(0);
    auto typed = [&](QLineEdit* edit, const QString& keys) {
        edit->clear();
        edit->setFocus();
        QTest::keyClicks(edit, keys);
        return edit->text();
    };
    QCOMPARE(typed(t.form().lEIPAddress1, "224"), QStringLiteral("22"));
    QCOMPARE(typed(t.form().lEIPAddress1, "999"), QStringLiteral("99"));
    QCOMPARE(typed(t.form().lEIPAddress1, "1000"), QStringLiteral("100"));
    QCOMPARE(typed(t.form().lEIPAddress1, "223"), QStringLiteral("223"));
    QCOMPARE(typed(t.form().lEIPAddress1, "0"), QStringLiteral("0")); // unfinished input
    QCOMPARE(typed(t.form().lEIPAddress2, "256"), QStringLiteral("25"));
    QCOMPARE(typed(t.form().lEIPAddress3, "300"), QStringLiteral("30"));
    QCOMPARE(typed(t.form().lEIPAddress3, "0"), QStringLiteral("0"));
    QCOMPARE(typed(t.form().lEIPAddress4, "255"), QStringLiteral("255"));
    QCOMPARE(typed(t.form().lESensorName, "Line 1-a.b_C"), QStringLiteral("Line1ab_C"));
    // Refused characters never reach the field, so a name the field shows is stored as is.
    auto* octet = qobject_cast<const QIntValidator*>(t.form().lEIPAddress1->validator());
    QVERIFY(octet);
    QCOMPARE(octet->bottom(), 1);
    QCOMPARE(octet->top(), 223);
    QCOMPARE(t.form().sBPort->minimum(), 1);
    QCOMPARE(t.form().sBPort->value(), 1096);
}

QTEST_MAIN(TestRegistry)
#include "test_registry.moc"
