// Scanning: the point-cloud export of recorded profile files (File menu) and, on the settings
// panel, the choice to record every profile the sensor sends.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "app/exportdialog.h"
#include "files/pointcloudexport.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QProgressDialog>

namespace {
constexpr int progressSteps = 1000;
constexpr int progressShowAfterMs = 300;
} // namespace

void Veltrix::setUpScanning()
{
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
