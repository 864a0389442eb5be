#pragma once
// The dialog of "Export point cloud...": the recorded profile file to read, the point cloud
// file to write (its format chosen by the save dialog's filter), the profile pitch and
// whether invalid points are kept.

#include "files/pointcloudexport.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;

class ExportDialog : public QDialog
{
    Q_OBJECT

public:
    ExportDialog(const QString& dataDir, QWidget* parent = nullptr);

    QString sourcePath() const;
    QString targetPath() const;
    PointCloudExport::Options options() const;

    // The controls, for the window's tests.
    QLineEdit* sourceEdit = nullptr;
    QLineEdit* targetEdit = nullptr;
    QDoubleSpinBox* pitchBox = nullptr;
    QCheckBox* keepInvalidBox = nullptr;

private:
    void chooseSource();
    void chooseTarget();
    void updateOk();

    QString dataDir;
    QString chosenTarget; // the name the save dialog gave, with its filter's format
    PointCloudExport::Format format = PointCloudExport::Format::Ply;
    QPushButton* okButton = nullptr;
};
