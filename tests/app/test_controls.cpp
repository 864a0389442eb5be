// The settings panel: start values, ranges and choice lists, the slider couplings, and
// putting a settings record into the controls.
#include "windowaccess.h"

#include <QDoubleSpinBox>
#include <QSlider>
#include <QSpinBox>

namespace {
// What a spin box, slider or combo box shows: its value, or the current index of a combo box.
int shownValue(QWidget* w)
{
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentIndex();
    return w->property("value").toInt();
}
} // namespace

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void rangesAtStart_data();
    void rangesAtStart();
    void choiceListsAtStart_data();
    void choiceListsAtStart();
    void textsAtStart();
    void pairsAreCoupled_data();
    void pairsAreCoupled();
    void shutterClampsAtSliderEnd();
    void valueAboveSliderKeptWhenSliderAtEnd();
    void unknownModeShowsSensorImage();
    void recordIntoControls();
    void frameCountClampedByNewRange();

private:
    std::unique_ptr<WindowUnderTest> t;
    SensorParameters startParams;
};

void TestControls::initTestCase()
{
    t = std::make_unique<WindowUnderTest>();
    startParams = t->access->params();
}

void TestControls::cleanupTestCase()
{
    t.reset();
}

void TestControls::cleanup()
{
    // Tests that change the controls leave the start record in them; the start-value tests
    // run first and read the untouched window.
    if (QByteArray(QTest::currentTestFunction()).endsWith("AtStart"))
        return;
    t->access->params() = startParams;
    t->access->applyParametersToControls();
}

void TestControls::rangesAtStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("value");
    auto row = [](const char* n, double lo, double hi, double step, double v) {
        QTest::newRow(n) << QString(n) << lo << hi << step << v;
    };
    row("sBPort", 1, 65535, 1, 1096);
    row("sBNBRLines", -1, 10000, 1, -1);
    row("sBShutter", 5, 500000, 5, 1000);
    row("hSShutter", 5, 5000, 5, 1000);
    row("sBAutoShutterMax", 5, 100000, 5, 5000); // the record holds 10000
    row("hSAutoShMax", 5, 5000, 5, 5000);
    row("sBSearchAreaX", 0, 1277, 1, 0);
    row("hSSearchAreaDY", 6, 1024, 1, 1024);
    row("hSRotationX", -180, 180, 1, 0);
    row("dsBPhiMax1", 0, 180, 1, 180);
}

// Catches a wrong range, step or start value (from the form or from the start record), such
// as a slider that reaches past 5000 or a frame count that does not start at -1.
void TestControls::rangesAtStart()
{
    QFETCH(QString, name);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, step);
    QFETCH(double, value);
    QWidget* w = t->control(name);
    QCOMPARE(w->property("minimum").toDouble(), minimum);
    QCOMPARE(w->property("maximum").toDouble(), maximum);
    QCOMPARE(w->property("singleStep").toDouble(), step);
    QCOMPARE(w->property("value").toDouble(), value);
}

void TestControls::choiceListsAtStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("items"); // separated by "|"
    QTest::addColumn<int>("index");
    auto row = [](const char* name, const char* items, int index) {
        QTest::newRow(name) << QString(name) << QString(items) << index;
    };
    row("cBSensorMode",
        "Sensor Image|Profile (mm)|Uncalibrated Profile (Pix)|Binary Image|Product Angle", 0);
    row("cBLaserMode", "OFF|ON", 0);
    row("cBExposureMode", "Fixed Exposure|Auto Exposure|Double Exposure", 0);
    row("cBSubsample", "0|1|2", 0);
    row("cBTriggerMode",
        "Auto Trigger by falling edge|Auto Trigger by rising edge|Auto Trigger|Trigger Off|"
        "Rising Edge|Falling Edge",
        3);
    row("cBLEMethode", "Center Pixel|Barycenter|Filtered Barycenter", 2);
    row("cBEthernetSendMode", "Wait Until Finished|No Wait", 1);
    row("cBAlgorithmMode", "Fixed Point|Floating Point", 0);
    row("cBLEFilter", "Skip Bottom 2|Skip Bottom 1|No Filter|Skip Top 1|Skip Top 2", 2);
    row("cBSpeckleFilter", "0|3x3|5x5|7x7|9x9", 1);
    row("cBMedianFilter", "0|3x1|5x1|7x1|9x1", 0);
    row("cBSensorField", "Sensor Settings|Adapt to ROI|Full Size", 2);
    row("cBLineAlgo1", "Best Line|Hough", 1);
    row("cBLineAlgo2", "Best Line|Hough ", 1);
    row("cBThemeList", "Qt|Primary Colors|Digia|Stone Moss|Army Blue|Retro|Ebony|Isabelle", 2);
}

// Catches a choice missing, renamed or misordered (the index is what gets stored), and a
// wrong start choice.
void TestControls::choiceListsAtStart()
{
    QFETCH(QString, name);
    QFETCH(QString, items);
    QFETCH(int, index);
    auto* combo = t->control<QComboBox>(name);
    QCOMPARE(texts(combo), items.split(QLatin1Char('|')));
    QCOMPARE(combo->currentIndex(), index);
}

// Catches a wrong default sensor address or shutter read-out, and editable read-outs.
void TestControls::textsAtStart()
{
    Ui::Veltrix& f = t->form();
    const QStringList octets = {f.lEIPAddress1->text(), f.lEIPAddress2->text(),
                                f.lEIPAddress3->text(), f.lEIPAddress4->text()};
    QCOMPARE(octets.join(QLatin1Char('.')), QStringLiteral("192.168.0.65"));
    QVERIFY(f.lESensorName->text().isEmpty());
    QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("1000"));
    QCOMPARE(f.lEAutoTriggerError->text(), QStringLiteral("0"));
    QVERIFY(f.lEAutoTriggerError->isReadOnly());
    QVERIFY(f.rBOnline->isChecked() && !f.rBOffline->isChecked());
}

void TestControls::pairsAreCoupled_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<QString>("spin");
    QTest::addColumn<int>("value");
    auto row = [](const char* sl, const char* sp, int v) {
        QTest::newRow(sp) << QString(sl) << QString(sp) << v;
    };
    row("hSGainVal", "sBGainVal", 300);
    row("hSShutter", "sBShutter", 3000);
    row("hSLaserValue", "sBLaserValue", 200);
    row("hSDoubleShutter1", "sBDoubleShutter1", 1500);
    row("hSDoubleShutter2", "sBDoubleShutter2", 2500);
    row("hSAutoShMin", "sBAutoShutterMin", 40);
    row("hSAutoShMax", "sBAutoShutterMax", 4000);
    row("hSAutoTriggerPeriode", "sBAutoTriggerPeriode", 1234);
    row("hSLEThreshold", "sBLEThreshold", 99);
    row("hSLEMinLaserWidth", "sBLEMinLaserWidth", 7);
    row("hSLEMaxLaserWidth", "sBLEMaxLaserWidth", 50);
    row("hSSearchAreaX", "sBSearchAreaX", 640);
    row("hSSearchAreaY", "sBSearchAreaY", 100);
    row("hSSearchAreaDX", "sBSearchAreaDX", 800);
    row("hSSearchAreaDY", "sBSearchAreaDY", 600);
    row("hSEthernetLinePckg", "sBEthernetLinePckg", 42);
}

// Catches a slider and spin box that do not follow each other, in either direction.
void TestControls::pairsAreCoupled()
{
    QFETCH(QString, slider);
    QFETCH(QString, spin);
    QFETCH(int, value);
    auto* sl = t->control<QSlider>(slider);
    auto* sp = t->control<QSpinBox>(spin);
    sp->setValue(value);
    QCOMPARE(sl->value(), value);
    sl->setValue(value + 10);
    QCOMPARE(sp->value(), value + 10);
}

// Catches a typed shutter above the slider's end kept while the slider stands below it:
// typing 6000 with the slider below 5000 pulls both to 5000.
void TestControls::shutterClampsAtSliderEnd()
{
    Ui::Veltrix& f = t->form();
    f.sBShutter->setValue(3000);
    QCOMPARE(f.hSShutter->value(), 3000);
    f.sBShutter->setFocus();
    f.sBShutter->selectAll();
    QTest::keyClicks(f.sBShutter, "6000");
    QTest::keyClick(f.sBShutter, Qt::Key_Enter);
    QCOMPARE(f.hSShutter->value(), 5000);
    QCOMPARE(f.sBShutter->value(), 5000);
}

// Catches a shutter above the slider's end cut to 5000 when it arrives while the slider
// already stands at its end: 8000 stays 8000.
void TestControls::valueAboveSliderKeptWhenSliderAtEnd()
{
    Ui::Veltrix& f = t->form();
    f.sBShutter->setValue(5000);
    QCOMPARE(f.hSShutter->value(), 5000);
    t->access->params().SHUTTER = 8000;
    t->access->applyParametersToControls();
    QCOMPARE(f.sBShutter->value(), 8000);
    QCOMPARE(f.hSShutter->value(), 5000);
    QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("8000"));
}

// Catches an unknown stored mode that keeps the previous choice instead of "Sensor Image".
void TestControls::unknownModeShowsSensorImage()
{
    for (int mode : {3, -7}) {
        t->form().cBSensorMode->setCurrentIndex(3);
        t->access->params().MODE = mode;
        t->access->applyParametersToControls();
        QCOMPARE(t->form().cBSensorMode->currentIndex(), 0);
    }
}

// Catches a field put into the wrong control or a code shown as the wrong item, ranges not
// taken from the record (the sliders of the shutters stop at 5000), enabling that does not
// follow the new modes, and a frame count taken from the record.
void TestControls::recordIntoControls()
{
    struct Shown
    {
        int32_t SensorParameters::*field;
        int32_t value;
        const char* control;
        int shown;
    };
    using P = SensorParameters;
    const Shown rows[] = {
        {&P::GAINVAL, 200, "sBGainVal", 200},
        {&P::GAINVAL, 200, "hSGainVal", 200},
        {&P::ExposureMode, 2, "cBExposureMode", 2},
        {&P::SHUTTER, 2500, "sBShutter", 2500},
        {&P::AutoShutterVal, 99, "sBLaserValue", 99},
        {&P::DoubleShutter1, 750, "sBDoubleShutter1", 750},
        {&P::DoubleShutter2, 4000, "sBDoubleShutter2", 4000},
        {&P::LASER, 1, "cBLaserMode", 1},
        {&P::TRIGGER, -1, "cBTriggerMode", 2},
        {&P::AutoTriggerFPS, 777, "sBAutoTriggerPeriode", 777},
        {&P::METHOD, 0, "cBLEMethode", 0},
        {&P::ReflexionFilter, -2, "cBLEFilter", 0},
        {&P::RlcThresh, 60, "sBLEThreshold", 60},
        {&P::MinWidth, 3, "sBLEMinLaserWidth", 3},
        {&P::MaxWidth, 70, "sBLEMaxLaserWidth", 70},
        {&P::ROI_X, 12, "sBSearchAreaX", 12},
        {&P::ROI_Y, 34, "sBSearchAreaY", 34},
        {&P::ROI_DX, 640, "sBSearchAreaDX", 640},
        {&P::ROI_DY, 480, "sBSearchAreaDY", 480},
        {&P::EthernetSendNoWait, 0, "cBEthernetSendMode", 0},
        {&P::EthernetPackNr, 9, "sBEthernetLinePckg", 9},
        {&P::ALGORITHM, 1, "cBAlgorithmMode", 1},
        {&P::MODE, 4, "cBSensorMode", 1},
        {&P::AutoShutterMin, 100, "sBAutoShutterMin", 100},
        {&P::AutoShutterMax, 3000, "sBAutoShutterMax", 3000},
        {&P::AutoShutterMax, 3000, "hSAutoShMax", 3000},
        {&P::SubSample, 2, "cBSubsample", 2},
        {&P::SpeckleFilter, 4, "cBSpeckleFilter", 4},
        {&P::MedianFilter, 3, "cBMedianFilter", 3},
        {&P::NBR_LINES, 50, "sBNBRLines", -1},
    };
    P& p = t->access->params();
    for (const Shown& r : rows)
        p.*r.field = r.value;
    p.GAINVAL_MIN = 1;
    p.GAINVAL_MAX = 511;
    p.SHUTTER_MIN = 10;
    p.SHUTTER_MAX = 200000;
    p.DoubleShutter2_MAX = 50000;
    p.ROI_X_MAX = 1000;
    p.AutoTriggerError = 13;
    t->access->applyParametersToControls();

    for (const Shown& r : rows)
        QVERIFY2(shownValue(t->control(r.control)) == r.shown, r.control);
    Ui::Veltrix& f = t->form();
    QCOMPARE(f.lEAutoTriggerError->text(), QStringLiteral("13"));
    QVERIFY(f.sBAutoTriggerPeriode->isEnabled()); // the enabling follows the trigger mode
    QVERIFY(!f.sBShutter->isEnabled() && f.sBDoubleShutter1->isEnabled()); // and exposure
    QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("2500"));
    QCOMPARE(QPoint(f.sBGainVal->minimum(), f.sBGainVal->maximum()), QPoint(1, 511));
    QCOMPARE(f.hSGainVal->maximum(), 511);
    QCOMPARE(QPoint(f.sBShutter->minimum(), f.sBShutter->maximum()), QPoint(10, 200000));
    QCOMPARE(QPoint(f.hSShutter->minimum(), f.hSShutter->maximum()), QPoint(10, 5000));
    QCOMPARE(f.sBDoubleShutter2->maximum(), 50000);
    QCOMPARE(f.hSDoubleShutter2->maximum(), 5000);
    QCOMPARE(f.sBSearchAreaX->maximum(), 1000);
    QCOMPARE(f.hSSearchAreaX->maximum(), 1000);
    QCOMPARE(f.sBAutoShutterMax->maximum(), 100000); // fixed ranges
}

// Catches a frame count left outside a new range from the record.
void TestControls::frameCountClampedByNewRange()
{
    SensorParameters& p = t->access->params();
    p.NBR_LINES_MIN = 0;
    p.NBR_LINES_MAX = 100;
    p.NBR_LINES = 50;
    t->access->applyParametersToControls();
    QCOMPARE(t->form().sBNBRLines->minimum(), 0);
    QCOMPARE(t->form().sBNBRLines->maximum(), 100);
    QCOMPARE(t->form().sBNBRLines->value(), 0);
    p = startParams;
    t->access->applyParametersToControls();
    t->form().sBNBRLines->setValue(-1);
}

QTEST_MAIN(TestControls)
#include "test_controls.moc"
