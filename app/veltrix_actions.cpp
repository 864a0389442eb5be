// Actions, menus, tool bars, the About boxes and the enabling of controls by state.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "sensor/tcpthread.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#ifndef LUMO_VERSION
#define LUMO_VERSION "0.0"
#endif

namespace {
QAction* makeAction(QObject* owner, const QString& iconPath, const QString& text,
                    const QString& statusTip)
{
    QAction* action =
        iconPath.isEmpty() ? new QAction(text, owner) : new QAction(QIcon(iconPath), text, owner);
    if (!statusTip.isEmpty())
        action->setStatusTip(statusTip);
    return action;
}
} // namespace

void Veltrix::createActions()
{
    saveSettingsAct =
        makeAction(this, QStringLiteral(":/images/save.png"), tr("&Save sensor settings"),
                   tr("Save the current sensor settings to PC"));
    saveSettingsAct->setShortcuts(QKeySequence::Save);

    loadSettingsAct = makeAction(this, QStringLiteral(":/images/open.png"),
                                 tr("&Load sensor settings"), tr("Load sensor settings from PC"));
    loadSettingsAct->setShortcuts(QKeySequence::Open);

    loadProductAct =
        makeAction(this, QStringLiteral(":/images/import.png"), tr("&Load product parameters"),
                   tr("Load product parameters from PC"));
    saveProductAct = makeAction(this, QStringLiteral(":/images/export.png"),
                                tr("&Save product parameters"), tr("Save product parameter to PC"));

    connectAct = makeAction(this, QStringLiteral(":/images/connect.png"), tr("&Connect"),
                            tr("Connect to sensor"));
    connect(connectAct, &QAction::triggered, this, &Veltrix::connectSensor);
    disconnectAct = makeAction(this, QStringLiteral(":/images/disconnect.png"), tr("&Disconnect"),
                               tr("Disconnect from sensor"));
    connect(disconnectAct, &QAction::triggered, this, &Veltrix::disconnectSensor);
    captureAct = makeAction(this, QStringLiteral(":/images/capture.png"), tr("&Capture"),
                            tr("Capture image"));
    connect(captureAct, &QAction::triggered, this, &Veltrix::captureImg);
    recordAct =
        makeAction(this, QStringLiteral(":/images/record.png"), tr("&Record"), tr("Record image"));
    connect(recordAct, &QAction::triggered, this, &Veltrix::recordImg);
    stopAct = makeAction(this, QStringLiteral(":/images/stopImg.png"), tr("&Stop Capture/Record"),
                         tr("Stop Capture image"));
    connect(stopAct, &QAction::triggered, this, &Veltrix::stopImg);
    writeFlashAct = makeAction(this, QStringLiteral(":/images/write.png"),
                               tr("&Write product and sensor settings to Tessa flash"),
                               tr("Write sensor settings to sensor"));
    connect(writeFlashAct, &QAction::triggered, this, &Veltrix::writeToSensor);

    quitAct = makeAction(this, QString(), tr("&Quit"), tr("Quit the application"));
    quitAct->setShortcuts(QKeySequence::Quit);
    connect(quitAct, &QAction::triggered, this, &QWidget::close);

    // The view, data and 3D commands are connected when their displays exist.
    fitViewAct = makeAction(this, QStringLiteral(":/images/fitToView.png"), tr("&Fit to view"),
                            tr("Fit to view"));
    panAct = makeAction(this, QStringLiteral(":/images/hand.png"), tr("&Pan"), tr("Pan"));
    panAct->setCheckable(true);
    zoomInAct =
        makeAction(this, QStringLiteral(":/images/zoomIn.png"), tr("&Zoom in"), tr("Zoom in"));
    zoomOutAct =
        makeAction(this, QStringLiteral(":/images/zoomOut.png"), tr("&Zoom out"), tr("Zoom out"));
    xAxisZoomAct = makeAction(this, QString(), tr("&X-Axis zoom"), QString());
    xAxisZoomAct->setCheckable(true);
    xAxisZoomAct->setChecked(true);
    zAxisZoomAct = makeAction(this, QString(), tr("&Z-Axis zoom"), QString());
    zAxisZoomAct->setCheckable(true);
    zAxisZoomAct->setChecked(true);
    saveImageAct = makeAction(this, QStringLiteral(":/images/saveImage.png"), tr("&Save image"),
                              tr("Save image"));
    openDataAct = makeAction(this, QStringLiteral(":/images/openData.png"), tr("&Open data"),
                             tr("Open data"));
    nextDataAct =
        makeAction(this, QStringLiteral(":/images/next.png"), tr("&Next data"), tr("Next data"));
    previousDataAct = makeAction(this, QStringLiteral(":/images/previous.png"),
                                 tr("&Previous data"), tr("Previous data"));

    aboutAct = makeAction(this, QString(), tr("&About UI"), tr("Show the application's About box"));
    connect(aboutAct, &QAction::triggered, this, &Veltrix::about);
    aboutQtAct =
        makeAction(this, QString(), tr("About &Qt"), tr("Show the Qt library's About box"));
    connect(aboutQtAct, &QAction::triggered, qApp, &QApplication::aboutQt);
    aboutSensorAct =
        makeAction(this, QString(), tr("About Sensor"), tr("Show the firmware's About box"));
    connect(aboutSensorAct, &QAction::triggered, this, &Veltrix::aboutFirmware);

    display3DAct =
        makeAction(this, QStringLiteral(":/images/3D.png"), tr("&3D Display"), tr("3D Display"));
}

void Veltrix::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(saveSettingsAct);
    fileMenu->addAction(saveProductAct);
    fileMenu->addSeparator();
    fileMenu->addAction(loadSettingsAct);
    fileMenu->addAction(loadProductAct);
    fileMenu->addSeparator();
    fileMenu->addAction(writeFlashAct);
    fileMenu->addSeparator();
    fileMenu->addAction(quitAct);

    actionMenu = menuBar()->addMenu(tr("&Action"));
    actionMenu->addAction(connectAct);
    actionMenu->addAction(disconnectAct);
    actionMenu->addSeparator();
    actionMenu->addAction(captureAct);
    actionMenu->addAction(recordAct);
    actionMenu->addAction(stopAct);
    actionMenu->addSeparator();
    actionMenu->addAction(openDataAct);
    actionMenu->addAction(previousDataAct);
    actionMenu->addAction(nextDataAct);
    actionMenu->addSeparator();
    actionMenu->addAction(display3DAct);

    viewMenu = menuBar()->addMenu(tr("&View"));
    viewMenu->addAction(panAct);
    viewMenu->addAction(zoomInAct);
    viewMenu->addAction(zoomOutAct);
    viewMenu->addAction(fitViewAct);
    viewMenu->addAction(saveImageAct);
    viewMenu->addSeparator();
    viewMenu->addAction(xAxisZoomAct);
    viewMenu->addAction(zAxisZoomAct);
    viewMenu->addSeparator();
    viewMenu->addAction(form->dWProduct->toggleViewAction());
    viewMenu->addAction(form->dWSettings->toggleViewAction());

    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(aboutAct);
    helpMenu->addAction(aboutSensorAct);
    helpMenu->addAction(aboutQtAct);
}

void Veltrix::createToolBars()
{
    const QSize largeIcons(36, 36);

    fileToolBar = addToolBar(tr("File"));
    fileToolBar->setIconSize(largeIcons);
    fileToolBar->addAction(saveSettingsAct);
    fileToolBar->addAction(loadSettingsAct);
    fileToolBar->addAction(writeFlashAct);
    fileToolBar->addAction(saveProductAct);
    fileToolBar->addAction(loadProductAct);

    actionToolBar = addToolBar(tr("Action"));
    actionToolBar->setIconSize(largeIcons);
    sensorCombo = new QComboBox(this);
    sensorCombo->setMinimumWidth(150);
    actionToolBar->addWidget(sensorCombo);
    actionToolBar->addAction(connectAct);
    actionToolBar->addAction(disconnectAct);
    actionToolBar->addSeparator();
    actionToolBar->addAction(captureAct);
    actionToolBar->addAction(recordAct);
    actionToolBar->addAction(stopAct);
    actionToolBar->addSeparator();
    actionToolBar->addAction(previousDataAct);
    actionToolBar->addAction(openDataAct);
    actionToolBar->addAction(nextDataAct);
    actionToolBar->addSeparator();
    actionToolBar->addAction(display3DAct);

    viewToolBar = addToolBar(tr("View"));
    viewToolBar->addAction(panAct);
    viewToolBar->addAction(zoomInAct);
    viewToolBar->addAction(zoomOutAct);
    viewToolBar->addAction(fitViewAct);
    viewToolBar->addAction(saveImageAct);

    // Tight item spacing lets all four tool bars fit the window's design width.
    for (QToolBar* bar : {fileToolBar, actionToolBar, viewToolBar})
        bar->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; }"));

    statusToolBar = addToolBar(tr("Status"));
    statusLine = new QLineEdit(this);
    statusLine->setMinimumHeight(25);
    statusLine->setFixedWidth(220);
    statusLine->setFont(QFont(QStringLiteral("Time"), 10, QFont::Bold));
    statusToolBar->addWidget(statusLine);
}

void Veltrix::about()
{
    Dialogs::about(this, tr("About Lumo"),
                   tr("Lumo %1\nOperator client for laser-line triangulation profile sensors: "
                      "acquisition settings, live images and profiles, recording and 3D review.")
                       .arg(QStringLiteral(LUMO_VERSION)));
}

void Veltrix::aboutFirmware()
{
    QString text;
    if (params.firmwareVersion < 1)
        text = tr("No camera is connected");
    else
        text = tr("This firmware is version ") + QString::number(params.firmwareVersion) +
               tr("\nThe sensor resolution is ") + QString::number(params.ROI_DX_MAX) +
               QStringLiteral(" x ") + QString::number(params.ROI_DY_MAX);
    Dialogs::about(this, tr("About Firmaware"), text);
}

void Veltrix::checkGUIEnabled()
{
    // Everything that changes the sensor's or the job's settings, and the file actions.
    QWidget* const settingsControls[] = {
        form->sBMaxNoProfileSave,
        form->sBNBRLines,
        form->cBSensorMode,
        form->cBLaserMode,
        form->cBExposureMode,
        form->cBSubsample,
        form->cBTriggerMode,
        form->cBLEMethode,
        form->cBLEFilter,
        form->cBEthernetSendMode,
        form->cBAlgorithmMode,
        form->cBSpeckleFilter,
        form->cBMedianFilter,
        form->lEAutoTriggerError,
        form->hSGainVal,
        form->sBGainVal,
        form->hSShutter,
        form->sBShutter,
        form->hSLaserValue,
        form->sBLaserValue,
        form->hSDoubleShutter1,
        form->sBDoubleShutter1,
        form->hSDoubleShutter2,
        form->sBDoubleShutter2,
        form->hSAutoShMin,
        form->sBAutoShutterMin,
        form->hSAutoShMax,
        form->sBAutoShutterMax,
        form->hSAutoTriggerPeriode,
        form->sBAutoTriggerPeriode,
        form->hSLEThreshold,
        form->sBLEThreshold,
        form->hSLEMinLaserWidth,
        form->sBLEMinLaserWidth,
        form->hSLEMaxLaserWidth,
        form->sBLEMaxLaserWidth,
        form->hSSearchAreaX,
        form->sBSearchAreaX,
        form->hSSearchAreaY,
        form->sBSearchAreaY,
        form->hSSearchAreaDX,
        form->sBSearchAreaDX,
        form->hSSearchAreaDY,
        form->sBSearchAreaDY,
        form->hSEthernetLinePckg,
        form->sBEthernetLinePckg,
        form->cBSensorField,
        form->dsBNominalValue,
        form->dsBPosTolerance,
        form->dsBNegTolerance,
        form->dsBPhiMin1,
        form->dsBPhiMax1,
        form->dsBPhiFilter1,
        form->cBLineAlgo1,
        form->sBLaserPoints1,
        form->pBACTrainROI1,
        form->dsBPhiMin2,
        form->dsBPhiMax2,
        form->dsBPhiFilter2,
        form->cBLineAlgo2,
        form->sBLaserPoints2,
        form->pBACTrainROI2,
        fullRateBox,
    };
    QAction* const fileActions[] = {saveSettingsAct, writeFlashAct,  loadProductAct,
                                    loadSettingsAct, saveProductAct, exportCloudAct};

    const bool idle = !acquiring;
    for (QWidget* control : settingsControls)
        control->setEnabled(idle);
    for (QAction* action : fileActions)
        action->setEnabled(idle);
    fullRateCount->setEnabled(idle && fullRateBox->isChecked());
    if (!idle)
        return;

    const int exposure = form->cBExposureMode->currentIndex();
    const bool noExposure = exposure < 0;
    const bool fixed = noExposure || exposure == 0;
    const bool automatic = noExposure || exposure == 1;
    const bool twoShutters = noExposure || exposure == 2;
    form->hSShutter->setEnabled(fixed);
    form->sBShutter->setEnabled(fixed);
    for (QWidget* control :
         {static_cast<QWidget*>(form->hSLaserValue), static_cast<QWidget*>(form->sBLaserValue),
          static_cast<QWidget*>(form->hSAutoShMin), static_cast<QWidget*>(form->sBAutoShutterMin),
          static_cast<QWidget*>(form->hSAutoShMax), static_cast<QWidget*>(form->sBAutoShutterMax)})
        control->setEnabled(automatic);
    for (QWidget* control : {static_cast<QWidget*>(form->hSDoubleShutter1),
                             static_cast<QWidget*>(form->sBDoubleShutter1),
                             static_cast<QWidget*>(form->hSDoubleShutter2),
                             static_cast<QWidget*>(form->sBDoubleShutter2)})
        control->setEnabled(twoShutters);

    // The first three trigger modes are the auto-trigger ones.
    const bool autoTrigger = form->cBTriggerMode->currentIndex() < 3;
    form->hSAutoTriggerPeriode->setEnabled(autoTrigger);
    form->sBAutoTriggerPeriode->setEnabled(autoTrigger);
    form->lEAutoTriggerError->setEnabled(autoTrigger);

    const bool connected = sensorConnected;
    form->pBAddSensor->setEnabled(!connected);
    form->pBRemoveSensor->setEnabled(!connected);
    form->rBOffline->setEnabled(!connected);
    form->rBOnline->setEnabled(!connected);
    // Storing to flash talks to the sensor: not before the loop has ended.
    writeFlashAct->setEnabled(connected && !tcpThread->isRunning());
}
