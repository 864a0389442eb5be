// Scanning: the point-cloud export of recorded profile files (File menu) and, on the settings
// panel, the choice to record every profile the sensor sends.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "app/exportdialog.h"
#include "files/fullraterecorder.h"
#include "files/pointcloudexport.h"
#include "sensor/tcpthread.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

namespace {
constexpr int progressSteps = 1000;
constexpr int progressShowAfterMs = 300;
constexpr int recordPollMs = 250;          // status bar update of a full-rate recording
constexpr int maxRecordCount = 2000000000; // largest count the operator can choose
constexpr int defaultRecordCount = 1000000;
const char* const preferenceGroup = "Preferences";
const char* const keyEveryProfile = "RecordEveryProfile";
const char* const keyRecordCount = "RecordProfileCount";
} // namespace

void Veltrix::setUpScanning()
{
    setUpFullRateControls();
    exportCloudAct = new QAction(tr("E&xport point cloud..."), this);
    exportCloudAct->setStatusTip(tr("Convert a recorded profile file into a point cloud"));
    connect(exportCloudAct, &QAction::triggered, this, &Veltrix::exportPointCloud);
    // In the File menu before the last separator (the one above "Quit").
    const QList<QAction*> entries = fileMenu->actions();
    fileMenu->insertAction(entries.size() >= 2 ? entries[entries.size() - 2] : nullptr,
                           exportCloudAct);
}

void Veltrix::exportPointCloud()
{
    ExportDialog dialog(dataDir, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    runPointCloudExport(dialog.sourcePath(), dialog.targetPath(), dialog.options());
}

void Veltrix::runPointCloudExport(const QString& source, const QString& target,
                                  const PointCloudExport::Options& options)
{
    QProgressDialog progress(tr("Exporting point cloud..."), tr("Cancel"), 0, progressSteps, this);
    progress.setWindowTitle(tr("Lumo"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(progressShowAfterMs);
    const PointCloudExport::Result result = PointCloudExport::exportFile(
        source, target, options, [&progress](qint64 done, qint64 total) {
            // setValue lets a window-modal dialog handle its Cancel button.
            progress.setValue(total > 0 ? int(done * progressSteps / total) : 0);
            return !progress.wasCanceled();
        });
    progress.reset();
    if (result.ok)
        Dialogs::information(this, tr("Lumo"),
                             tr("%1 points were written to %2.")
                                 .arg(result.points)
                                 .arg(QDir::toNativeSeparators(target)));
    else if (!result.cancelled)
        Dialogs::critical(this, tr("Lumo"),
                          tr("The point cloud could not be written to %1:\n%2")
                              .arg(QDir::toNativeSeparators(target), result.error));
}

// "Record every profile" and the count of a full-rate recording, under the profile save limit.
void Veltrix::setUpFullRateControls()
{
    fullRateBox = new QCheckBox(tr("Record every profile"), form->groupBox_8);
    fullRateBox->setObjectName("cBRecordEveryProfile");
    fullRateBox->setToolTip(tr("In the two profile modes a recording keeps every profile the "
                               "sensor sends, not only the shown ones"));
    fullRateCount = new QSpinBox(form->groupBox_8);
    fullRateCount->setObjectName("sBRecordProfileCount");
    fullRateCount->setRange(0, maxRecordCount);
    fullRateCount->setSpecialValueText(tr("until stop"));
    fullRateCount->setGroupSeparatorShown(true);
    fullRateCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fullRateCount->setStyleSheet("background-color: rgb(255, 255, 255);");
    auto* countLabel = new QLabel(tr("Profiles to record:"), form->groupBox_8);
    auto* grid = qobject_cast<QGridLayout*>(form->groupBox_8->layout());
    if (grid) {
        // The rows go above the stretch that closes the group.
        QLayoutItem* stretch = grid->itemAtPosition(3, 0);
        if (stretch)
            grid->removeItem(stretch);
        grid->addWidget(fullRateBox, 3, 0, 1, 2);
        grid->addWidget(countLabel, 4, 0);
        grid->addWidget(fullRateCount, 4, 1);
        if (stretch)
            grid->addItem(stretch, 5, 0, 1, 2);
    }

    bool ok = false;
    const int count = readRegistryValue(preferenceGroup, keyRecordCount).toInt(&ok);
    fullRateCount->setValue(ok ? count : defaultRecordCount);
    fullRateBox->setChecked(readRegistryValue(preferenceGroup, keyEveryProfile).toInt() == 1);
    fullRateCount->setEnabled(fullRateBox->isChecked());
    connect(fullRateBox, &QCheckBox::toggled, this, [this](bool on) {
        writeRegistryValue(preferenceGroup, keyEveryProfile, on ? "1" : "0");
        fullRateCount->setEnabled(on && !acquiring);
    });
    connect(fullRateCount, qOverload<int>(&QSpinBox::valueChanged), this, [this](int value) {
        writeRegistryValue(preferenceGroup, keyRecordCount, QString::number(value));
    });

    // Created after the acquisition thread, so destroyed after it: the loop never calls a
    // recorder that is gone.
    fullRateRecorder = new FullRateRecorder(this);
    recordStatus = new QLabel(this);
    statusBar()->addPermanentWidget(recordStatus);
    recordPoll = new QTimer(this);
    recordPoll->setInterval(recordPollMs);
    connect(recordPoll, &QTimer::timeout, this, &Veltrix::pollFullRateRecording);
}

bool Veltrix::recordsEveryProfile() const
{
    return fullRateBox->isChecked() && (params.MODE == 2 || params.MODE == 4);
}

// Opens the recording file of a full-rate recording and hands the recorder to the loop.
bool Veltrix::startFullRateRecording(const QString& name)
{
    const ProfilePoints::FieldOfView fov{double(params.Xmin), double(params.Xmax),
                                         double(params.Zmin), double(params.Zmax)};
    if (!fullRateRecorder->start(name, params.MODE, fov, quint64(fullRateCount->value())))
        return false;
    // The shown profiles are not written a second time by the display.
    maxRecordedProfiles = 0;
    tcpThread->setProfileSink(fullRateRecorder);
    recordStatus->setText(tr("Recorded 0 profiles, 0.0 MB"));
    recordPoll->start();
    return true;
}

void Veltrix::showRecordStatus(quint64 profiles, quint64 bytes)
{
    recordStatus->setText(
        tr("Recorded %1 profiles, %2 MB").arg(profiles).arg(double(bytes) / 1e6, 0, 'f', 1));
}

// Stops the full-rate recording (if one runs): what was taken is written and the file closed.
void Veltrix::finishFullRateRecording()
{
    if (!fullRateRecorder || !fullRateRecorder->isActive())
        return;
    recordPoll->stop();
    tcpThread->setProfileSink(nullptr);
    const FullRateRecorder::Status s = fullRateRecorder->finish();
    showRecordStatus(s.profiles, s.bytes);
    if (s.state == FullRateRecorder::State::FellBehind)
        Dialogs::critical(this, tr("Lumo"),
                          tr("The recording stopped after %1 profiles: the disk did not keep up "
                             "with the sensor. The file holds these %1 profiles without a gap.")
                              .arg(s.profiles));
    else if (s.state == FullRateRecorder::State::WriteFailed)
        Dialogs::critical(this, tr("Lumo"),
                          tr("The recording stopped after %1 profiles: the file could not be "
                             "written (%2).")
                              .arg(s.profiles)
                              .arg(s.error));
}

void Veltrix::pollFullRateRecording()
{
    const FullRateRecorder::Status s = fullRateRecorder->status();
    showRecordStatus(s.profiles, s.bytes);
    // A recording that has its count, or cannot go on, ends as if the operator had stopped it.
    if (s.state != FullRateRecorder::State::Recording && acquiring)
        stopImg();
}
