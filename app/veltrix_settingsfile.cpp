// Saving and loading sensor settings files: the settings panel to the record and the file,
// and back. Nothing here talks to the sensor.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "files/settingsfile.h"
#include "ui_veltrix.h"

#include <QDateTime>
#include <QDockWidget>

namespace {
const QString messageTitle = QStringLiteral("3D Sensor");
const QString fileFilter = QStringLiteral("Text files (*.txt)");
} // namespace

void Veltrix::readSettingsControls()
{
    const Ui::Veltrix& f = *form;
    SensorParameters& p = params;
    p.GAINVAL = f.sBGainVal->value();
    p.ExposureMode = f.cBExposureMode->currentIndex();
    p.SHUTTER = f.sBShutter->value();
    p.AutoShutterVal = f.sBLaserValue->value();
    p.AutoShutterMin = f.sBAutoShutterMin->value();
    p.AutoShutterMax = f.sBAutoShutterMax->value();
    p.DoubleShutter1 = f.sBDoubleShutter1->value();
    p.DoubleShutter2 = f.sBDoubleShutter2->value();
    p.LASER = f.cBLaserMode->currentIndex();
    p.TRIGGER = triggerCode(f.cBTriggerMode->currentIndex());
    p.AutoTriggerFPS = f.sBAutoTriggerPeriode->value();
    p.METHOD = f.cBLEMethode->currentIndex();
    p.ReflexionFilter = reflexionFilterCode(f.cBLEFilter->currentIndex());
    p.RlcThresh = f.sBLEThreshold->value();
    p.MinWidth = f.sBLEMinLaserWidth->value();
    p.MaxWidth = f.sBLEMaxLaserWidth->value();
    p.ROI_X = f.sBSearchAreaX->value();
    p.ROI_Y = f.sBSearchAreaY->value();
    p.ROI_DX = f.sBSearchAreaDX->value();
    p.ROI_DY = f.sBSearchAreaDY->value();
    p.SubSample = f.cBSubsample->currentIndex();
    p.EthernetSendNoWait = f.cBEthernetSendMode->currentIndex();
    p.EthernetPackNr = f.sBEthernetLinePckg->value();
    p.ALGORITHM = f.cBAlgorithmMode->currentIndex();
    p.SpeckleFilter = f.cBSpeckleFilter->currentIndex();
    p.MedianFilter = f.cBMedianFilter->currentIndex();
    p.MODE = sensorModeCode(f.cBSensorMode->currentIndex());
    p.NBR_LINES = f.sBNBRLines->value();
}

void Veltrix::saveSettingsFile()
{
    const QString fileName = Dialogs::getSaveFileName(this, tr("Save Sensor Settings File"),
                                                      settingsFilePath, fileFilter);
    if (fileName.isEmpty())
        return;
    readSettingsControls();
    if (!writeSettingsFile(fileName, params, QDateTime::currentDateTime()))
        Dialogs::critical(this, messageTitle, tr("Cannot save %1.").arg(fileName));
}

void Veltrix::openSettingsFile()
{
    const QString fileName = Dialogs::getOpenFileName(this, tr("Load Sensor Settings File"),
                                                      settingsFilePath, fileFilter);
    if (fileName.isEmpty())
        return;
    if (!readSettingsFile(fileName, params)) {
        Dialogs::critical(this, messageTitle,
                          tr("Cannot load %1.\nThis is not the correct file.").arg(fileName));
        return;
    }
    applyParametersToControls();
    checkGUIEnabled();
    form->dWSettings->setWindowTitle(settingsDockTitle(fileName));
}
