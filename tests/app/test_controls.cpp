// The settings panel: start values, ranges and choice lists, the slider couplings, and
// putting a settings record into the controls.
#include "windowaccess.h"

#include <QDoubleSpinBox>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void spinBoxesAtStart_data();
    void spinBoxesAtStart();
    void slidersAtStart_data();
    void slidersAtStart();
    void doubleSpinBoxesAtStart_data();
    void doubleSpinBoxesAtStart();
    void choiceLists_data();
    void choiceLists();
    void textsAtStart();
    void appearance();
    void pairsAreCoupled_data();
    void pairsAreCoupled();
    void shutterClampsAtSliderEnd();
    void valueAboveSliderKeptWhenSliderAtEnd();
    void triggerMapping_data();
    void triggerMapping();
    void modeMapping_data();
    void modeMapping();
    void recordIntoControls();
    void frameCountClampedByNewRange();

private:
    template <typename T> T* find(const QString& name)
    {
        T* w = t->window->findChild<T*>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
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

void TestControls::spinBoxesAtStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("value");
    auto row = [](const char* n, int lo, int hi, int step, int v) {
        QTest::newRow(n) << QString(n) << lo << hi << step << v;
    };
    row("sBPort", 1, 65535, 1, 1096);
    row("sBNBRLines", -1, 10000, 1, -1);
    row("sBMaxNoProfileSave", 1, 5000, 1, 1000);
    row("sBShutter", 5, 500000, 5, 1000);
    row("sBGainVal", 0, 1023, 1, 64);
    row("sBDoubleShutter1", 5, 100000, 5, 500);
    row("sBDoubleShutter2", 5, 100000, 5, 2000);
    row("sBLaserValue", 1, 254, 1, 128);
    row("sBAutoShutterMin", 5, 100000, 5, 5);
    row("sBAutoShutterMax", 5, 100000, 5, 5000); // the record holds 10000
    row("sBSearchAreaX", 0, 1277, 1, 0);
    row("sBSearchAreaY", 0, 1021, 1, 0);
    row("sBSearchAreaDX", 6, 1280, 1, 1280);
    row("sBSearchAreaDY", 6, 1024, 1, 1024);
    row("sBAutoTriggerPeriode", 1, 4000, 1, 500);
    row("sBLEThreshold", 1, 254, 1, 48);
    row("sBLEMinLaserWidth", 1, 100, 1, 2);
    row("sBLEMaxLaserWidth", 1, 100, 1, 85);
    row("sBEthernetLinePckg", 0, 100, 1, 1);
    row("sBLaserPoints1", 2, 1000, 1, 8);
    row("sBLaserPoints2", 2, 1000, 1, 8);
}

void TestControls::spinBoxesAtStart()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, step);
    QFETCH(int, value);
    auto* box = find<QSpinBox>(name);
    QCOMPARE(box->minimum(), minimum);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->singleStep(), step);
    QCOMPARE(box->value(), value);
    QCOMPARE(box->alignment(), Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter);
}

void TestControls::slidersAtStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("value");
    auto row = [](const char* n, int lo, int hi, int step, int v) {
        QTest::newRow(n) << QString(n) << lo << hi << step << v;
    };
    row("hSShutter", 5, 5000, 5, 1000);
    row("hSGainVal", 0, 1023, 1, 64);
    row("hSDoubleShutter1", 5, 5000, 5, 500);
    row("hSDoubleShutter2", 5, 5000, 5, 2000);
    row("hSLaserValue", 1, 254, 1, 128);
    row("hSAutoShMin", 5, 5000, 5, 5);
    row("hSAutoShMax", 5, 5000, 5, 5000);
    row("hSSearchAreaX", 0, 1277, 1, 0);
    row("hSSearchAreaY", 0, 1021, 1, 0);
    row("hSSearchAreaDX", 6, 1280, 1, 1280);
    row("hSSearchAreaDY", 6, 1024, 1, 1024);
    row("hSAutoTriggerPeriode", 1, 4000, 1, 500);
    row("hSLEThreshold", 1, 254, 1, 48);
    row("hSLEMinLaserWidth", 1, 100, 1, 2);
    row("hSLEMaxLaserWidth", 1, 100, 1, 85);
    row("hSEthernetLinePckg", 0, 100, 1, 1);
    row("hSRotationX", -180, 180, 1, 0);
    row("hSRotationY", -90, 90, 1, 0);
}

void TestControls::slidersAtStart()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, step);
    QFETCH(int, value);
    auto* slider = find<QSlider>(name);
    QCOMPARE(slider->orientation(), Qt::Horizontal);
    QCOMPARE(slider->minimum(), minimum);
    QCOMPARE(slider->maximum(), maximum);
    QCOMPARE(slider->singleStep(), step);
    QCOMPARE(slider->value(), value);
}

void TestControls::doubleSpinBoxesAtStart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("value");
    QTest::newRow("dsBPhiMin1") << "dsBPhiMin1" << 180.0 << 0.0;
    QTest::newRow("dsBPhiMax1") << "dsBPhiMax1" << 180.0 << 180.0;
    QTest::newRow("dsBPhiFilter1") << "dsBPhiFilter1" << 45.0 << 3.0;
    QTest::newRow("dsBPhiMin2") << "dsBPhiMin2" << 180.0 << 0.0;
    QTest::newRow("dsBPhiMax2") << "dsBPhiMax2" << 180.0 << 180.0;
    QTest::newRow("dsBPhiFilter2") << "dsBPhiFilter2" << 45.0 << 3.0;
    QTest::newRow("dsBNominalValue") << "dsBNominalValue" << 180.0 << 0.0;
    QTest::newRow("dsBPosTolerance") << "dsBPosTolerance" << 180.0 << 5.0;
    QTest::newRow("dsBNegTolerance") << "dsBNegTolerance" << 180.0 << 5.0;
}

void TestControls::doubleSpinBoxesAtStart()
{
    QFETCH(QString, name);
    QFETCH(double, maximum);
    QFETCH(double, value);
    auto* box = find<QDoubleSpinBox>(name);
    QCOMPARE(box->minimum(), 0.0);
    QCOMPARE(box->maximum(), maximum);
    QCOMPARE(box->singleStep(), 1.0);
    QCOMPARE(box->decimals(), 2);
    QCOMPARE(box->value(), value);
}

void TestControls::choiceLists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("index");
    QTest::newRow("cBSensorMode") << "cBSensorMode"
                                  << QStringList{"Sensor Image", "Profile (mm)",
                                                 "Uncalibrated Profile (Pix)", "Binary Image",
                                                 "Product Angle"}
                                  << 0;
    QTest::newRow("cBLaserMode") << "cBLaserMode" << QStringList{"OFF", "ON"} << 0;
    QTest::newRow("cBExposureMode")
        << "cBExposureMode" << QStringList{"Fixed Exposure", "Auto Exposure", "Double Exposure"}
        << 0;
    QTest::newRow("cBSubsample") << "cBSubsample" << QStringList{"0", "1", "2"} << 0;
    QTest::newRow("cBTriggerMode") << "cBTriggerMode"
                                   << QStringList{"Auto Trigger by falling edge",
                                                  "Auto Trigger by rising edge",
                                                  "Auto Trigger",
                                                  "Trigger Off",
                                                  "Rising Edge",
                                                  "Falling Edge"}
                                   << 3;
    QTest::newRow("cBLEMethode") << "cBLEMethode"
                                 << QStringList{"Center Pixel", "Barycenter", "Filtered Barycenter"}
                                 << 2;
    QTest::newRow("cBEthernetSendMode")
        << "cBEthernetSendMode" << QStringList{"Wait Until Finished", "No Wait"} << 1;
    QTest::newRow("cBAlgorithmMode")
        << "cBAlgorithmMode" << QStringList{"Fixed Point", "Floating Point"} << 0;
    QTest::newRow("cBLEFilter") << "cBLEFilter"
                                << QStringList{"Skip Bottom 2", "Skip Bottom 1", "No Filter",
                                               "Skip Top 1", "Skip Top 2"}
                                << 2;
    QTest::newRow("cBSpeckleFilter")
        << "cBSpeckleFilter" << QStringList{"0", "3x3", "5x5", "7x7", "9x9"} << 1;
    QTest::newRow("cBMedianFilter")
        << "cBMedianFilter" << QStringList{"0", "3x1", "5x1", "7x1", "9x1"} << 0;
    QTest::newRow("cBSensorField")
        << "cBSensorField" << QStringList{"Sensor Settings", "Adapt to ROI", "Full Size"} << 2;
    QTest::newRow("cBLineAlgo1") << "cBLineAlgo1" << QStringList{"Best Line", "Hough"} << 1;
    QTest::newRow("cBLineAlgo2") << "cBLineAlgo2" << QStringList{"Best Line", "Hough "} << 1;
    QTest::newRow("cBThemeList") << "cBThemeList"
                                 << QStringList{"Qt",         "Primary Colors", "Digia",
                                                "Stone Moss", "Army Blue",      "Retro",
                                                "Ebony",      "Isabelle"}
                                 << 2;
}

void TestControls::choiceLists()
{
    QFETCH(QString, name);
    QFETCH(QStringList, items);
    QFETCH(int, index);
    auto* combo = find<QComboBox>(name);
    QStringList seen;
    for (int i = 0; i < combo->count(); ++i)
        seen << combo->itemText(i);
    QCOMPARE(seen, items);
    QCOMPARE(combo->currentIndex(), index);
}

void TestControls::textsAtStart()
{
    Ui::Veltrix& f = t->form();
    QCOMPARE(f.lEIPAddress1->text(), QStringLiteral("192"));
    QCOMPARE(f.lEIPAddress2->text(), QStringLiteral("168"));
    QCOMPARE(f.lEIPAddress3->text(), QStringLiteral("0"));
    QCOMPARE(f.lEIPAddress4->text(), QStringLiteral("65"));
    QVERIFY(f.lESensorName->text().isEmpty());
    QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("1000"));
    QCOMPARE(f.lEAutoTriggerError->text(), QStringLiteral("0"));
    QVERIFY(f.lEAutoTriggerError->isReadOnly());
    QVERIFY(f.lineEdit->isReadOnly());
    QVERIFY(f.lineEdit->text().isEmpty());
    QVERIFY(f.rBOnline->isChecked());
    QVERIFY(!f.rBOffline->isChecked());
    QCOMPARE(f.pBAddSensor->text(), QStringLiteral("Add"));
    QCOMPARE(f.pBRemoveSensor->text(), QStringLiteral("Remove"));
    QCOMPARE(f.pBACTrainROI1->text(), QStringLiteral("Train ROI 1"));
    QCOMPARE(f.pBACTrainROI2->text(), QStringLiteral("Train ROI 2"));
    QCOMPARE(f.hSRotationX->tickInterval(), 30);
    QCOMPARE(f.hSRotationX->tickPosition(), QSlider::TicksBelow);
    QCOMPARE(f.hSRotationY->tickInterval(), 15);
    QCOMPARE(f.hSRotationY->tickPosition(), QSlider::TicksAbove);
}

void TestControls::appearance()
{
    const QString white = QStringLiteral("background-color: rgb(255, 255, 255);");
    Ui::Veltrix& f = t->form();
    // Every editable field of the first three settings tabs is white, except the auto
    // shutter read-out; so are the product page's combo boxes and angle fields.
    for (int tab = 0; tab < 3; ++tab) {
        QWidget* page = f.tabWidget->widget(tab);
        QList<QWidget*> fields;
        for (QComboBox* w : page->findChildren<QComboBox*>())
            fields << w;
        for (QAbstractSpinBox* w : page->findChildren<QAbstractSpinBox*>())
            fields << w;
        for (QLineEdit* w : page->findChildren<QLineEdit*>())
            if (!qobject_cast<QAbstractSpinBox*>(w->parent()) &&
                !qobject_cast<QComboBox*>(w->parent()))
                fields << w;
        QVERIFY(!fields.isEmpty());
        for (QWidget* w : fields) {
            const QString expected = w == f.lineEdit_AutoShError ? QString() : white;
            QVERIFY2(w->styleSheet() == expected, qPrintable(w->objectName()));
        }
    }
    for (QWidget* w :
         {static_cast<QWidget*>(f.cBSensorField), static_cast<QWidget*>(f.cBLineAlgo1),
          static_cast<QWidget*>(f.cBLineAlgo2), static_cast<QWidget*>(f.dsBNominalValue),
          static_cast<QWidget*>(f.dsBPosTolerance), static_cast<QWidget*>(f.dsBNegTolerance)})
        QVERIFY2(w->styleSheet() == white, qPrintable(w->objectName()));
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignTrailing | Qt::AlignVCenter;
    for (QLineEdit* e : {f.lESensorName, f.lEIPAddress1, f.lEIPAddress2, f.lEIPAddress3,
                         f.lEIPAddress4, f.lEIP, f.lEPort, f.lEAutoTriggerError})
        QVERIFY2(e->alignment() == right, qPrintable(e->objectName()));
    for (QAbstractSpinBox* b : t->window->findChildren<QAbstractSpinBox*>())
        QVERIFY2(b->alignment() == right, qPrintable(b->objectName()));
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

void TestControls::pairsAreCoupled()
{
    QFETCH(QString, slider);
    QFETCH(QString, spin);
    QFETCH(int, value);
    auto* sl = find<QSlider>(slider);
    auto* sp = find<QSpinBox>(spin);
    sp->setValue(value);
    QCOMPARE(sl->value(), value);
    sl->setValue(value + 10);
    QCOMPARE(sp->value(), value + 10);
}

void TestControls::shutterClampsAtSliderEnd()
{
    Ui::Veltrix& f = t->form();
    f.sBShutter->setValue(3000);
    QCOMPARE(f.hSShutter->value(), 3000);
    // Typing 6000 while the slider stands below its end pulls both back to 5000.
    f.sBShutter->setFocus();
    f.sBShutter->selectAll();
    QTest::keyClicks(f.sBShutter, "6000");
    QTest::keyClick(f.sBShutter, Qt::Key_Enter);
    QCOMPARE(f.hSShutter->value(), 5000);
    QCOMPARE(f.sBShutter->value(), 5000);
    f.sBShutter->setValue(3000);
    QCOMPARE(f.hSShutter->value(), 3000);
}

void TestControls::valueAboveSliderKeptWhenSliderAtEnd()
{
    Ui::Veltrix& f = t->form();
    f.sBShutter->setValue(5000);
    QCOMPARE(f.hSShutter->value(), 5000);
    SensorParameters& p = t->access->params();
    p.SHUTTER = 8000;
    t->access->applyParametersToControls();
    QCOMPARE(f.sBShutter->value(), 8000);
    QCOMPARE(f.hSShutter->value(), 5000);
    QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("8000"));
}

void TestControls::triggerMapping_data()
{
    QTest::addColumn<int>("trigger");
    QTest::addColumn<QString>("text");
    QTest::newRow("-3") << -3 << "Auto Trigger by falling edge";
    QTest::newRow("-2") << -2 << "Auto Trigger by rising edge";
    QTest::newRow("-1") << -1 << "Auto Trigger";
    QTest::newRow("0") << 0 << "Trigger Off";
    QTest::newRow("1") << 1 << "Rising Edge";
    QTest::newRow("2") << 2 << "Falling Edge";
}

void TestControls::triggerMapping()
{
    QFETCH(int, trigger);
    QFETCH(QString, text);
    t->access->params().TRIGGER = trigger;
    t->access->applyParametersToControls();
    QCOMPARE(t->form().cBTriggerMode->currentText(), text);
    QCOMPARE(t->form().cBTriggerMode->currentIndex(), trigger + 3);
    // The enabling follows the new trigger mode at once.
    QCOMPARE(t->form().sBAutoTriggerPeriode->isEnabled(), trigger < 0);
}

void TestControls::modeMapping_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("index");
    QTest::newRow("1 image") << 1 << 0;
    QTest::newRow("2 pixel profile") << 2 << 2;
    QTest::newRow("3 unknown") << 3 << 0;
    QTest::newRow("4 mm profile") << 4 << 1;
    QTest::newRow("6 binary") << 6 << 3;
    QTest::newRow("9 product") << 9 << 4;
    QTest::newRow("0 unknown") << 0 << 0;
    QTest::newRow("-7 unknown") << -7 << 0;
}

void TestControls::modeMapping()
{
    QFETCH(int, mode);
    QFETCH(int, index);
    t->form().cBSensorMode->setCurrentIndex(3);
    t->access->params().MODE = mode;
    t->access->applyParametersToControls();
    QCOMPARE(t->form().cBSensorMode->currentIndex(), index);
}

void TestControls::recordIntoControls()
{
    SensorParameters& p = t->access->params();
    p.GAINVAL_MIN = 1;
    p.GAINVAL_MAX = 511;
    p.GAINVAL = 200;
    p.ExposureMode = 2;
    p.SHUTTER_MIN = 10;
    p.SHUTTER_MAX = 200000;
    p.SHUTTER = 2500;
    p.AutoShutterVal = 99;
    p.DoubleShutter1 = 750;
    p.DoubleShutter2_MAX = 50000;
    p.DoubleShutter2 = 4000;
    p.LASER = 1;
    p.AutoTriggerFPS = 777;
    p.AutoTriggerError = 13;
    p.METHOD = 0;
    p.ReflexionFilter = -2;
    p.RlcThresh = 60;
    p.MinWidth = 3;
    p.MaxWidth = 70;
    p.ROI_X_MAX = 1000;
    p.ROI_X = 12;
    p.ROI_Y = 34;
    p.ROI_DX = 640;
    p.ROI_DY = 480;
    p.EthernetSendNoWait = 0;
    p.EthernetPackNr = 9;
    p.ALGORITHM = 1;
    p.MODE = 4;
    p.AutoShutterMin = 100;
    p.AutoShutterMax = 3000;
    p.SubSample = 2;
    p.SpeckleFilter = 4;
    p.MedianFilter = 3;
    t->access->applyParametersToControls();

    Ui::Veltrix& f = t->form();
    QCOMPARE(f.sBGainVal->minimum(), 1);
    QCOMPARE(f.sBGainVal->maximum(), 511);
    QCOMPARE(f.hSGainVal->maximum(), 511);
    QCOMPARE(f.sBGainVal->value(), 200);
    QCOMPARE(f.hSGainVal->value(), 200);
    QCOMPARE(f.cBExposureMode->currentIndex(), 2);
    QCOMPARE(f.sBShutter->minimum(), 10);
    QCOMPARE(f.sBShutter->maximum(), 200000);
    QCOMPARE(f.hSShutter->minimum(), 10);
    QCOMPARE(f.hSShutter->maximum(), 5000);
    QCOMPARE(f.sBShutter->value(), 2500);
    QCOMPARE(f.lineEdit_AutoShError->text(), QStringLiteral("2500"));
    QCOMPARE(f.sBLaserValue->value(), 99);
    QCOMPARE(f.sBDoubleShutter1->value(), 750);
    QCOMPARE(f.sBDoubleShutter2->maximum(), 50000);
    QCOMPARE(f.hSDoubleShutter2->maximum(), 5000);
    QCOMPARE(f.sBDoubleShutter2->value(), 4000);
    QCOMPARE(f.cBLaserMode->currentIndex(), 1);
    QCOMPARE(f.sBAutoTriggerPeriode->value(), 777);
    QCOMPARE(f.lEAutoTriggerError->text(), QStringLiteral("13"));
    QCOMPARE(f.cBLEMethode->currentIndex(), 0);
    QCOMPARE(f.cBLEFilter->currentIndex(), 0);
    QCOMPARE(f.sBLEThreshold->value(), 60);
    QCOMPARE(f.sBLEMinLaserWidth->value(), 3);
    QCOMPARE(f.sBLEMaxLaserWidth->value(), 70);
    QCOMPARE(f.sBSearchAreaX->maximum(), 1000);
    QCOMPARE(f.hSSearchAreaX->maximum(), 1000);
    QCOMPARE(f.sBSearchAreaX->value(), 12);
    QCOMPARE(f.sBSearchAreaY->value(), 34);
    QCOMPARE(f.sBSearchAreaDX->value(), 640);
    QCOMPARE(f.sBSearchAreaDY->value(), 480);
    QCOMPARE(f.cBEthernetSendMode->currentIndex(), 0);
    QCOMPARE(f.sBEthernetLinePckg->value(), 9);
    QCOMPARE(f.cBAlgorithmMode->currentIndex(), 1);
    QCOMPARE(f.cBSensorMode->currentIndex(), 1);
    QCOMPARE(f.sBAutoShutterMin->value(), 100);
    QCOMPARE(f.sBAutoShutterMax->value(), 3000);
    QCOMPARE(f.hSAutoShMax->value(), 3000);
    QCOMPARE(f.sBAutoShutterMax->maximum(), 100000); // fixed ranges
    QCOMPARE(f.cBSubsample->currentIndex(), 2);
    QCOMPARE(f.cBSpeckleFilter->currentIndex(), 4);
    QCOMPARE(f.cBMedianFilter->currentIndex(), 3);
    // The frame count is never taken from the record.
    QCOMPARE(f.sBNBRLines->value(), -1);
}

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
