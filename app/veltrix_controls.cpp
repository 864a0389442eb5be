// The settings panel: choice lists, ranges, validators, slider couplings, and putting the
// current settings record into the controls.
#include "app/veltrix.h"

#include "files/settingsfile.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QRegExpValidator>

namespace {
// TCP ports end here; a larger number could not be connected to.
constexpr int maxSensorPort = 65535;

// An address octet field. QIntValidator lets a number above the top stand as unfinished
// input while it has no more digits than the top (224 in a 1..223 field); such a number
// can never become valid by typing more, so it is refused outright.
class OctetValidator : public QIntValidator
{
public:
    OctetValidator(int bottom, int top, QObject* parent) : QIntValidator(bottom, top, parent) {}

    State validate(QString& input, int& pos) const override
    {
        const State state = QIntValidator::validate(input, pos);
        bool ok = false;
        if (state == Intermediate && input.toInt(&ok) > top() && ok)
            return Invalid;
        return state;
    }
};

// Spin box and slider follow each other both ways.
void couple(QSlider* slider, QSpinBox* spinBox)
{
    QObject::connect(spinBox, qOverload<int>(&QSpinBox::valueChanged), slider, &QSlider::setValue);
    QObject::connect(slider, &QSlider::valueChanged, spinBox, &QSpinBox::setValue);
}

// Range and value of a pair: spin box range, slider range, then the spin box value, which
// the coupling hands to the slider.
void setPair(QSlider* slider, QSpinBox* spinBox, int minimum, int maximum, int sliderMaximum,
             int value)
{
    spinBox->setRange(minimum, maximum);
    slider->setRange(minimum, sliderMaximum);
    spinBox->setValue(value);
}

void setPair(QSlider* slider, QSpinBox* spinBox, int minimum, int maximum, int value)
{
    setPair(slider, spinBox, minimum, maximum, maximum, value);
}

// The slider of a long-exposure pair ends here; the spin box reaches further.
constexpr int shutterSliderMaximum = 5000;
} // namespace

void Veltrix::initControls()
{
    form->sBPort->setRange(1, maxSensorPort);
    form->sBPort->setSingleStep(1);
    form->sBPort->setValue(1096);

    form->lEIPAddress1->setValidator(new OctetValidator(1, 223, this));
    form->lEIPAddress2->setValidator(new OctetValidator(0, 255, this));
    form->lEIPAddress3->setValidator(new OctetValidator(0, 255, this));
    form->lEIPAddress4->setValidator(new OctetValidator(0, 255, this));
    form->lEIPAddress1->setText(QStringLiteral("192"));
    form->lEIPAddress2->setText(QStringLiteral("168"));
    form->lEIPAddress3->setText(QStringLiteral("0"));
    form->lEIPAddress4->setText(QStringLiteral("65"));
    form->lESensorName->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("[A-Za-z0-9_]+"), Qt::CaseSensitive), this));

    form->sBMaxNoProfileSave->setRange(1, 5000);
    form->sBMaxNoProfileSave->setValue(1000);

    form->cBSensorMode->addItems({tr("Sensor Image"), tr("Profile (mm)"),
                                  tr("Uncalibrated Profile (Pix)"), tr("Binary Image"),
                                  tr("Product Angle")});
    couple(form->hSGainVal, form->sBGainVal);
    form->cBExposureMode->addItems(
        {tr("Fixed Exposure"), tr("Auto Exposure"), tr("Double Exposure")});
    couple(form->hSShutter, form->sBShutter);
    couple(form->hSLaserValue, form->sBLaserValue);
    couple(form->hSDoubleShutter1, form->sBDoubleShutter1);
    couple(form->hSDoubleShutter2, form->sBDoubleShutter2);
    form->cBLaserMode->addItems({tr("OFF"), tr("ON")});
    form->cBTriggerMode->addItems({tr("Auto Trigger by falling edge"),
                                   tr("Auto Trigger by rising edge"), tr("Auto Trigger"),
                                   tr("Trigger Off"), tr("Rising Edge"), tr("Falling Edge")});
    couple(form->hSAutoTriggerPeriode, form->sBAutoTriggerPeriode);
    form->cBLEMethode->addItems({tr("Center Pixel"), tr("Barycenter"), tr("Filtered Barycenter")});
    form->cBLEMethode->setCurrentIndex(2);
    form->cBLEFilter->addItems({tr("Skip Bottom 2"), tr("Skip Bottom 1"), tr("No Filter"),
                                tr("Skip Top 1"), tr("Skip Top 2")});
    couple(form->hSLEThreshold, form->sBLEThreshold);
    couple(form->hSLEMinLaserWidth, form->sBLEMinLaserWidth);
    couple(form->hSLEMaxLaserWidth, form->sBLEMaxLaserWidth);
    couple(form->hSSearchAreaX, form->sBSearchAreaX);
    couple(form->hSSearchAreaY, form->sBSearchAreaY);
    couple(form->hSSearchAreaDX, form->sBSearchAreaDX);
    couple(form->hSSearchAreaDY, form->sBSearchAreaDY);
    form->cBEthernetSendMode->addItems({tr("Wait Until Finished"), tr("No Wait")});
    couple(form->hSEthernetLinePckg, form->sBEthernetLinePckg);
    form->cBAlgorithmMode->addItems({tr("Fixed Point"), tr("Floating Point")});

    for (QDoubleSpinBox* box :
         {form->dsBNominalValue, form->dsBPosTolerance, form->dsBNegTolerance}) {
        box->setRange(0.0, 180.0);
        box->setSingleStep(1.0);
        box->setDecimals(2);
    }

    refreshSensorLists();
    applyParametersToControls();
    checkGUIEnabled();
    writeProductControls();

    for (QAction* action : {disconnectAct, stopAct, captureAct, recordAct, saveImageAct,
                            writeFlashAct, openDataAct, nextDataAct, previousDataAct, display3DAct})
        action->setEnabled(false);
    statusLine->setText(tr("Disconnected"));
    statusLine->setStyleSheet(QStringLiteral("background-color: red"));
    form->sBNBRLines->setValue(-1);

    form->lWSensorList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    displayInfo();
}

void Veltrix::applyParametersToControls()
{
    const SensorParameters& p = params;
    setPair(form->hSGainVal, form->sBGainVal, p.GAINVAL_MIN, p.GAINVAL_MAX, p.GAINVAL);
    form->cBExposureMode->setCurrentIndex(p.ExposureMode);
    setPair(form->hSShutter, form->sBShutter, p.SHUTTER_MIN, p.SHUTTER_MAX, shutterSliderMaximum,
            p.SHUTTER);
    form->lineEdit_AutoShError->setText(QString::number(p.SHUTTER));
    setPair(form->hSLaserValue, form->sBLaserValue, p.AutoShutterVal_MIN, p.AutoShutterVal_MAX,
            p.AutoShutterVal);
    setPair(form->hSDoubleShutter1, form->sBDoubleShutter1, p.DoubleShutter1_MIN,
            p.DoubleShutter1_MAX, shutterSliderMaximum, p.DoubleShutter1);
    setPair(form->hSDoubleShutter2, form->sBDoubleShutter2, p.DoubleShutter2_MIN,
            p.DoubleShutter2_MAX, shutterSliderMaximum, p.DoubleShutter2);
    form->cBLaserMode->setCurrentIndex(p.LASER);
    form->cBTriggerMode->setCurrentIndex(triggerIndex(p.TRIGGER));
    setPair(form->hSAutoTriggerPeriode, form->sBAutoTriggerPeriode, p.AutoTriggerFPS_MIN,
            p.AutoTriggerFPS_MAX, p.AutoTriggerFPS);
    form->lEAutoTriggerError->setText(QString::number(p.AutoTriggerError));
    form->cBLEMethode->setCurrentIndex(p.METHOD);
    form->cBLEFilter->setCurrentIndex(reflexionFilterIndex(p.ReflexionFilter));
    setPair(form->hSLEThreshold, form->sBLEThreshold, p.RlcThresh_MIN, p.RlcThresh_MAX,
            p.RlcThresh);
    setPair(form->hSLEMinLaserWidth, form->sBLEMinLaserWidth, p.MinWidth_MIN, p.MinWidth_MAX,
            p.MinWidth);
    setPair(form->hSLEMaxLaserWidth, form->sBLEMaxLaserWidth, p.MaxWidth_MIN, p.MaxWidth_MAX,
            p.MaxWidth);
    setPair(form->hSSearchAreaX, form->sBSearchAreaX, p.ROI_X_MIN, p.ROI_X_MAX, p.ROI_X);
    setPair(form->hSSearchAreaY, form->sBSearchAreaY, p.ROI_Y_MIN, p.ROI_Y_MAX, p.ROI_Y);
    setPair(form->hSSearchAreaDX, form->sBSearchAreaDX, p.ROI_DX_MIN, p.ROI_DX_MAX, p.ROI_DX);
    setPair(form->hSSearchAreaDY, form->sBSearchAreaDY, p.ROI_DY_MIN, p.ROI_DY_MAX, p.ROI_DY);
    form->cBEthernetSendMode->setCurrentIndex(p.EthernetSendNoWait);
    setPair(form->hSEthernetLinePckg, form->sBEthernetLinePckg, p.EthernetPackNr_MIN,
            p.EthernetPackNr_MAX, p.EthernetPackNr);
    form->cBAlgorithmMode->setCurrentIndex(p.ALGORITHM);
    form->sBNBRLines->setRange(p.NBR_LINES_MIN, p.NBR_LINES_MAX);

    form->cBSensorMode->setCurrentIndex(sensorModeIndex(p.MODE));

    form->sBAutoShutterMin->setValue(p.AutoShutterMin);
    form->sBAutoShutterMax->setValue(p.AutoShutterMax);
    form->cBSubsample->setCurrentIndex(p.SubSample);
    form->cBSpeckleFilter->setCurrentIndex(p.SpeckleFilter);
    form->cBMedianFilter->setCurrentIndex(p.MedianFilter);
}
