// Enabling of the settings controls, the product controls, the file actions and the sensor
// list by exposure mode, trigger mode, connection and acquisition.
#include "windowaccess.h"

namespace {
// Settings controls whose enabling depends only on the acquisition.
const char* const plainSettings[] = {
    "sBMaxNoProfileSave", "sBNBRLines",         "cBSensorMode",       "cBLaserMode",
    "cBExposureMode",     "cBSubsample",        "cBTriggerMode",      "cBLEMethode",
    "cBLEFilter",         "cBEthernetSendMode", "cBAlgorithmMode",    "cBSpeckleFilter",
    "cBMedianFilter",     "hSGainVal",          "sBGainVal",          "hSLEThreshold",
    "sBLEThreshold",      "hSLEMinLaserWidth",  "sBLEMinLaserWidth",  "hSLEMaxLaserWidth",
    "sBLEMaxLaserWidth",  "hSSearchAreaX",      "sBSearchAreaX",      "hSSearchAreaY",
    "sBSearchAreaY",      "hSSearchAreaDX",     "sBSearchAreaDX",     "hSSearchAreaDY",
    "sBSearchAreaDY",     "hSEthernetLinePckg", "sBEthernetLinePckg",
};
const char* const productControls[] = {
    "cBSensorField",  "dsBNominalValue", "dsBPosTolerance", "dsBNegTolerance",
    "dsBPhiMin1",     "dsBPhiMax1",      "dsBPhiFilter1",   "cBLineAlgo1",
    "sBLaserPoints1", "pBACTrainROI1",   "dsBPhiMin2",      "dsBPhiMax2",
    "dsBPhiFilter2",  "cBLineAlgo2",     "sBLaserPoints2",  "pBACTrainROI2",
};
const char* const shutterPair[] = {"hSShutter", "sBShutter"};
const char* const autoShutterPairs[] = {"hSLaserValue",     "sBLaserValue", "hSAutoShMin",
                                        "sBAutoShutterMin", "hSAutoShMax",  "sBAutoShutterMax"};
const char* const doubleShutterPairs[] = {"hSDoubleShutter1", "sBDoubleShutter1",
                                          "hSDoubleShutter2", "sBDoubleShutter2"};
const char* const autoTrigger[] = {"hSAutoTriggerPeriode", "sBAutoTriggerPeriode",
                                   "lEAutoTriggerError"};
const char* const sensorListControls[] = {"pBAddSensor", "pBRemoveSensor", "rBOffline", "rBOnline"};
const char* const fileActions[] = {"saveSettingsAct", "loadSettingsAct", "loadProductAct",
                                   "saveProductAct"};
// Actions checkGUIEnabled() never touches.
const char* const otherActions[] = {
    "connectAct",   "disconnectAct", "captureAct",  "recordAct",       "stopAct",
    "saveImageAct", "openDataAct",   "nextDataAct", "previousDataAct", "display3DAct",
    "fitViewAct",   "panAct",        "quitAct",     "aboutSensorAct"};
} // namespace

class TestEnabling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void combinations_data();
    void combinations();
    void comboChangesRecompute();

private:
    template <size_t N>
    void expectAll(const char* const (&names)[N], bool enabled, const char* group)
    {
        for (const char* name : names)
            QVERIFY2(t->control(name)->isEnabled() == enabled,
                     qPrintable(QStringLiteral("%1 %2 should be %3")
                                    .arg(group, name, enabled ? "enabled" : "disabled")));
    }

    std::unique_ptr<WindowUnderTest> t;
};

void TestEnabling::initTestCase()
{
    t = std::make_unique<WindowUnderTest>();
}

void TestEnabling::cleanupTestCase()
{
    t.reset();
}

void TestEnabling::combinations_data()
{
    QTest::addColumn<int>("exposure");
    QTest::addColumn<int>("trigger");
    QTest::addColumn<int>("connected");
    QTest::addColumn<int>("acquiring");
    // Every exposure mode (-1: no item); trigger modes on both sides of the auto-trigger limit.
    for (int exposure = -1; exposure <= 2; ++exposure)
        for (int trigger : {-1, 0, 2, 3, 5})
            for (int connected = 0; connected <= 1; ++connected)
                for (int acquiring = 0; acquiring <= 1; ++acquiring)
                    QTest::addRow("exp%d trig%d conn%d acq%d", exposure, trigger, connected,
                                  acquiring)
                        << exposure << trigger << connected << acquiring;
}

// Catches a control enabled in the wrong exposure or trigger mode, anything editable while
// acquiring, sensor-list controls or other actions changed by the acquisition, and the flash
// write offered without a sensor.
void TestEnabling::combinations()
{
    QFETCH(int, exposure);
    QFETCH(int, trigger);
    QFETCH(int, connected);
    QFETCH(int, acquiring);
    VeltrixTestAccess& a = *t->access;

    // The state before: idle with the given connection, which fixes the sensor-list
    // controls; the other actions get a mixed pattern that must survive.
    a.acquiring() = 0;
    a.sensorConnected() = connected;
    t->form().cBExposureMode->setCurrentIndex(exposure);
    t->form().cBTriggerMode->setCurrentIndex(trigger);
    a.checkGUIEnabled();
    bool pattern = (exposure + trigger) % 2;
    for (const char* name : otherActions) {
        a.action(name)->setEnabled(pattern);
        pattern = !pattern;
    }

    a.acquiring() = acquiring;
    a.checkGUIEnabled();

    QCOMPARE(t->form().cBExposureMode->currentIndex(), exposure);
    QCOMPARE(t->form().cBTriggerMode->currentIndex(), trigger);
    if (acquiring) {
        expectAll(plainSettings, false, "settings");
        expectAll(shutterPair, false, "shutter");
        expectAll(autoShutterPairs, false, "auto shutter");
        expectAll(doubleShutterPairs, false, "double shutter");
        expectAll(autoTrigger, false, "auto trigger");
        expectAll(productControls, false, "product");
        for (const char* name : fileActions)
            QVERIFY2(!a.action(name)->isEnabled(), name);
        QVERIFY(!a.action("writeFlashAct")->isEnabled());
        // The sensor list and the online choice keep what the idle call gave them.
        expectAll(sensorListControls, !connected, "kept");
    } else {
        expectAll(plainSettings, true, "settings");
        expectAll(productControls, true, "product");
        expectAll(shutterPair, exposure == -1 || exposure == 0, "shutter");
        expectAll(autoShutterPairs, exposure == -1 || exposure == 1, "auto shutter");
        expectAll(doubleShutterPairs, exposure == -1 || exposure == 2, "double shutter");
        expectAll(autoTrigger, trigger < 3, "auto trigger");
        for (const char* name : fileActions)
            QVERIFY2(a.action(name)->isEnabled(), name);
        QCOMPARE(a.action("writeFlashAct")->isEnabled(), bool(connected));
        expectAll(sensorListControls, !connected, "sensor list");
    }
    pattern = (exposure + trigger) % 2;
    for (const char* name : otherActions) {
        QVERIFY2(a.action(name)->isEnabled() == pattern, name);
        pattern = !pattern;
    }

    a.acquiring() = 0;
    a.sensorConnected() = 0;
}

// Catches a mode chosen in its combo box that does not update the enabling at once.
void TestEnabling::comboChangesRecompute()
{
    VeltrixTestAccess& a = *t->access;
    a.acquiring() = 0;
    a.sensorConnected() = 0;
    t->form().cBExposureMode->setCurrentIndex(0);
    t->form().cBTriggerMode->setCurrentIndex(2);
    QVERIFY(t->form().sBAutoTriggerPeriode->isEnabled());
    // Choosing the mode in the combo box is enough; no explicit call.
    t->form().cBTriggerMode->setCurrentIndex(3);
    QVERIFY(!t->form().sBAutoTriggerPeriode->isEnabled());
    t->form().cBExposureMode->setCurrentIndex(2);
    QVERIFY(!t->form().sBShutter->isEnabled());
    QVERIFY(t->form().sBDoubleShutter2->isEnabled());
    t->form().cBTriggerMode->setCurrentIndex(3);
    t->form().cBExposureMode->setCurrentIndex(0);
}

QTEST_MAIN(TestEnabling)
#include "test_enabling.moc"
