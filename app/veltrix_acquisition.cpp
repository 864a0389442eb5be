// Connection and acquisition control: connect, disconnect, online/offline, capture,
// record, stop and storing to flash. Everything here runs in the GUI thread and reaches the
// sensor through the acquisition thread object, never while its loop runs.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "app/paths.h"
#include "files/settingsfile.h"
#include "sensor/sensorlimits.h"
#include "sensor/tcpthread.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QStatusBar>
#include <QThread>
#include <qcustomplot.h>

using namespace SensorProtocol;

namespace {
const char* const styleRed = "background-color: red";
const char* const styleGreen = "background-color: green";
const char* const styleBlue = "background-color: blue";
} // namespace

// -1 leaves an action as it is.
void Veltrix::setAcquisitionActions(int connect, int disconnect, int capture, int record, int stop,
                                    int saveImage)
{
    const std::pair<QAction*, int> switches[] = {{connectAct, connect}, {disconnectAct, disconnect},
                                                 {captureAct, capture}, {recordAct, record},
                                                 {stopAct, stop},       {saveImageAct, saveImage}};
    for (const auto& [action, state] : switches)
        if (state >= 0)
            action->setEnabled(state != 0);
}

void Veltrix::setStatus(const QString& text, const QString& style)
{
    statusLine->setText(text);
    statusLine->setStyleSheet(style);
}

// Waits (blocking) until the acquisition loop has returned. The actions keep the operator from
// reaching here while a loop runs, so this normally returns at once; it guards the rule that
// two threads never use the connection at the same time.
bool Veltrix::waitForLoopEnd(int timeoutMs)
{
    if (!tcpThread->isRunning())
        return true;
    return tcpThread->wait(static_cast<unsigned long>(timeoutMs));
}

void Veltrix::connectSensor()
{
    if (!waitForLoopEnd(SensorLimits::loopEndWaitMs))
        return;
    const int entry = sensorCombo->currentIndex() + 1;
    const QString address = readRegistryValue("Sensors", QString("SensorIP%1").arg(entry));
    const int port =
        readRegistryValue("Sensors", QString("SensorPort%1").arg(entry)).toInt(nullptr, 10);

    if (!tcpThread->openConnection(address, port)) {
        sensorConnected = 0;
        setAcquisitionActions(1, 0, 0, 0, 0, -1);
        Dialogs::critical(this, tr("Lumo"), tr("The connection is not successful!"));
        return;
    }
    sensorConnected = 1;
    setAcquisitionActions(0, 1, 1, 1, 0, -1);

    if (!readSensorSettings()) {
        Dialogs::critical(this, tr("Lumo"), tr("Error in reading sensor parameter"));
        return;
    }
    loadProductFromSensor();
    productPending = 1;
    applyParametersToControls();
    checkGUIEnabled();

    // Probe the data stream once; results are deliberately ignored.
    tcpThread->writeParameter(true, cmdTrigger, true, 0);
    tcpThread->writeParameter(false, cmdMode, true, 4);
    tcpThread->writeParameter(false, cmdNbrLines, true, 1);
    tcpThread->probeStream();
    tcpThread->writeParameter(false, cmdTrigger, true, params.TRIGGER);

    setStatus(tr("Connected"), styleGreen);
}

void Veltrix::disconnectSensor()
{
    stopImg();
    sensorConnected = 0;
    params.firmwareVersion = 0;
    setAcquisitionActions(1, 0, 0, 0, 0, -1);
    waitForLoopEnd(SensorLimits::loopEndWaitMs);
    tcpThread->closeConnection();
    checkGUIEnabled();
    setStatus(tr("Disconnected"), styleRed);
}

void Veltrix::updateOnline()
{
    rememberPlotRanges(plotUnit);
    const bool dataActions = !form->rBOnline->isChecked();
    if (form->rBOnline->isChecked()) {
        online = 1;
        connectAct->setEnabled(true);
        disconnectAct->setEnabled(false);
        form->tabWidget->setTabEnabled(3, false);
        offlineProfiles.close(); // and forgets the block starts
        setStatus(tr("Disconnected"), styleRed);
    } else {
        online = 0;
        connectAct->setEnabled(false);
        disconnectAct->setEnabled(false);
        form->tabWidget->setTabEnabled(3, true);
        setStatus(tr("Offline"), styleBlue);
    }
    for (QAction* action : {openDataAct, nextDataAct, previousDataAct, display3DAct})
        action->setEnabled(dataActions);
}

bool Veltrix::readSensorSettings()
{
    return tcpThread->readAllSettings(params);
}

bool Veltrix::writeSensorSettings()
{
    const Ui::Veltrix& f = *form;
    struct Row
    {
        int command;
        int32_t SensorParameters::*field;
        int value;
    };
    const Row rows[] = {
        {1, &SensorParameters::LASER, f.cBLaserMode->currentIndex()},
        {2, &SensorParameters::ROI_X, f.sBSearchAreaX->value()},
        {3, &SensorParameters::ROI_Y, f.sBSearchAreaY->value()},
        {4, &SensorParameters::ROI_DX, f.sBSearchAreaDX->value()},
        {5, &SensorParameters::ROI_DY, f.sBSearchAreaDY->value()},
        {6, &SensorParameters::GAINVAL, f.sBGainVal->value()},
        {7, &SensorParameters::SHUTTER, f.sBShutter->value()},
        {8, &SensorParameters::TRIGGER, triggerCode(f.cBTriggerMode->currentIndex())},
        {11, &SensorParameters::METHOD, f.cBLEMethode->currentIndex()},
        {12, &SensorParameters::ALGORITHM, f.cBAlgorithmMode->currentIndex()},
        {13, &SensorParameters::RlcThresh, f.sBLEThreshold->value()},
        {14, &SensorParameters::MinWidth, f.sBLEMinLaserWidth->value()},
        {15, &SensorParameters::MaxWidth, f.sBLEMaxLaserWidth->value()},
        {16, &SensorParameters::ExposureMode, f.cBExposureMode->currentIndex()},
        {17, &SensorParameters::AutoShutterVal, f.sBLaserValue->value()},
        {20, &SensorParameters::DoubleShutter1, f.sBDoubleShutter1->value()},
        {21, &SensorParameters::DoubleShutter2, f.sBDoubleShutter2->value()},
        {22, &SensorParameters::ReflexionFilter, reflexionFilterCode(f.cBLEFilter->currentIndex())},
        {30, &SensorParameters::EthernetPackNr, f.sBEthernetLinePckg->value()},
        {31, &SensorParameters::AutoTriggerFPS, f.sBAutoTriggerPeriode->value()},
        {34, &SensorParameters::EthernetSendNoWait, f.cBEthernetSendMode->currentIndex()},
        {35, &SensorParameters::SubSample, f.cBSubsample->currentIndex()},
        {18, &SensorParameters::AutoShutterMin, f.sBAutoShutterMin->value()},
        {19, &SensorParameters::AutoShutterMax, f.sBAutoShutterMax->value()},
        {46, &SensorParameters::SpeckleFilter, f.cBSpeckleFilter->currentIndex()},
        {47, &SensorParameters::MedianFilter, f.cBMedianFilter->currentIndex()},
    };

    bool resyncNext = true;
    for (const Row& row : rows) {
        if (row.value == params.*row.field)
            continue;
        const int32_t previous = params.*row.field;
        params.*row.field = row.value;
        if (!tcpThread->writeParameter(resyncNext, row.command, true, row.value)) {
            // Keep the record at what the sensor has, so the next start sends the value again.
            params.*row.field = previous;
            return false;
        }
        resyncNext = false;
    }
    if (params.AutoTriggerError != 0) {
        const int32_t previous = params.AutoTriggerError;
        params.AutoTriggerError = 0;
        if (!tcpThread->writeParameter(resyncNext, cmdAutoTriggerError, true, 0)) {
            params.AutoTriggerError = previous;
            return false;
        }
        resyncNext = false;
    }

    // The field of view in mm; a failed read keeps what the previous one left.
    int32_t minimum = 0, maximum = 0, value = 0;
    tcpThread->readParameter(false, 23, minimum, maximum, value);
    params.Xmin = value;
    tcpThread->readParameter(false, 24, minimum, maximum, value);
    params.Zmin = value;
    tcpThread->readParameter(false, 25, minimum, maximum, value);
    params.Xmax = addSaturated(params.Xmin, value);
    tcpThread->readParameter(false, 26, minimum, maximum, value);
    params.Zmax = addSaturated(params.Zmin, value);

    params.MODE = sensorModeCode(f.cBSensorMode->currentIndex());
    if (params.MODE == 9 && !sendProductIfPending(resyncNext))
        return false;

    if (!tcpThread->writeParameter(true, cmdMode, true, params.MODE))
        return false;
    params.NBR_LINES = f.sBNBRLines->value();
    if (!tcpThread->writeParameter(false, cmdNbrLines, true, params.NBR_LINES))
        return false;
    tcpThread->setMode(params.MODE);
    return true;
}

bool Veltrix::startAcquisition(bool record)
{
    // A loop that is still ending keeps the actions disabled; this only guards direct calls.
    if (!waitForLoopEnd(SensorLimits::loopEndWaitMs))
        return false;
    if (!writeSensorSettings()) {
        Dialogs::critical(this, tr("Lumo"), tr("Error in writing sensor parameter"));
        return false;
    }
    recording = record ? 1 : 0;
    acquiring = 1;
    setAcquisitionActions(-1, 0, 0, 0, 1, 0);
    connect(tcpThread, &QThread::finished, this, &Veltrix::acquisitionLoopEnded,
            Qt::UniqueConnection);
    startHealthWatch();
    return true;
}

void Veltrix::captureImg()
{
    if (!startAcquisition(false))
        return;
    tcpThread->start(QThread::InheritPriority);
    checkGUIEnabled();
    setStatus(tr("Capturing..."), styleGreen);
    prepareProfilePlot();
}

void Veltrix::recordImg()
{
    if (!startAcquisition(true))
        return;
    maxRecordedProfiles = form->sBMaxNoProfileSave->value();
    recordedFrameCount = 0;

    // A missing data directory would silently lose the recording: create it first.
    QDir().mkpath(dataDir);
    const QString name = Paths::newRecordingPath(
        dataDir, params.MODE == 2 ? "profile_pixel_" : "profile_mm_", QDateTime::currentDateTime());
    bool opened = false;
    if (recordsEveryProfile()) {
        opened = startFullRateRecording(name);
    } else {
        recordFile.setFileName(name);
        opened = recordFile.open(QIODevice::Append);
    }

    tcpThread->start(QThread::InheritPriority);
    checkGUIEnabled();
    setStatus(tr("Recording..."), styleGreen);
    prepareProfilePlot();
    if (!opened)
        Dialogs::critical(this, tr("Lumo"),
                          tr("The recording file %1 cannot be opened; the profiles are shown but "
                             "not saved.")
                              .arg(QDir::toNativeSeparators(name)));
}

void Veltrix::stopImg()
{
    recording = 0;
    acquiring = 0;
    // Disconnect, capture and record wait for the loop to end (acquisitionLoopEnded).
    const int idle = tcpThread->isRunning() ? 0 : 1;
    setAcquisitionActions(-1, idle, idle, idle, 0, 1);
    checkGUIEnabled();
    tcpThread->requestStop();
    if (recordFile.isOpen()) {
        recordFile.flush();
        recordFile.close();
    }
    finishFullRateRecording();
    setStatus(tr("Connected"), styleGreen);
    rememberPlotRanges(params.MODE == 2 ? 1 : 2);
    autoFitProfile = true;

    if (params.TRIGGER >= 0 && params.ExposureMode != 1)
        return;
    // Read back what the sensor adjusted by itself (blocks the GUI for at most ~1.1 s).
    QElapsedTimer clock;
    clock.start();
    while (!tcpThread->isLoopFinished() && clock.elapsed() < SensorLimits::stopReadBackWaitMs)
        QThread::msleep(5);
    QThread::msleep(SensorLimits::stopReadBackPauseMs);
    if (tcpThread->isLoopFinished()) {
        int32_t minimum = 0, maximum = 0, value = 0;
        if (params.TRIGGER < 0 &&
            tcpThread->readParameter(false, cmdAutoTriggerError, minimum, maximum, value))
            params.AutoTriggerError = value;
        if (params.ExposureMode == 1 &&
            tcpThread->readParameter(false, cmdShutter, minimum, maximum, value))
            params.SHUTTER = value;
    }
    applyParametersToControls();
}

void Veltrix::acquisitionLoopEnded()
{
    // Nothing more can reach a full-rate recording once the loop has ended (e.g. a lost link).
    finishFullRateRecording();
    if (reportLoopEnd())
        return;
    if (sensorConnected && !acquiring) {
        setAcquisitionActions(-1, 1, 1, 1, -1, -1);
        checkGUIEnabled();
    }
}

void Veltrix::writeToSensor()
{
    if (!waitForLoopEnd(SensorLimits::loopEndWaitMs))
        return;
    if (tcpThread->storeToFlash())
        Dialogs::information(this, tr("Lumo"),
                             tr("The sensor setting is successfully written into sensor."));
    else
        Dialogs::critical(this, tr("Lumo"), tr("Error in writing sensor settings into sensor!"));
}

// Closing the window during an acquisition: stop the loop and wait for it, so that the thread
// object is never destroyed while it runs and the recording file is complete.
void Veltrix::stopAcquisitionForShutdown()
{
    if (tcpThread->isRunning())
        tcpThread->requestStop();
    if (recordFile.isOpen()) {
        recordFile.flush();
        recordFile.close();
    }
    finishFullRateRecording();
    recording = 0;
    acquiring = 0;
    tcpThread->wait(SensorLimits::shutdownWaitMs);
}
