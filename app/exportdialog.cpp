#include "app/exportdialog.h"

#include "app/dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr double minPitchMm = 0.001;
constexpr double maxPitchMm = 10000.0;
constexpr double defaultPitchMm = 1.0;

QWidget* withButton(QLineEdit* edit, QPushButton* button)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    return row;
}
} // namespace

ExportDialog::ExportDialog(const QString& dir, QWidget* parent) : QDialog(parent), dataDir(dir)
{
    setWindowTitle(tr("Export point cloud"));
    sourceEdit = new QLineEdit;
    targetEdit = new QLineEdit;
    sourceEdit->setMinimumWidth(420);
    auto* sourceButton = new QPushButton(tr("Browse..."));
    auto* targetButton = new QPushButton(tr("Browse..."));
    pitchBox = new QDoubleSpinBox;
    pitchBox->setRange(minPitchMm, maxPitchMm);
    pitchBox->setDecimals(3);
    pitchBox->setValue(defaultPitchMm);
    pitchBox->setSuffix(" mm");
    pitchBox->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    keepInvalidBox = new QCheckBox(tr("Keep invalid points (0, 0)"));

    auto* form = new QFormLayout;
    form->addRow(tr("Recorded profile file:"), withButton(sourceEdit, sourceButton));
    form->addRow(tr("Point cloud file:"), withButton(targetEdit, targetButton));
    form->addRow(tr("Profile pitch:"), pitchBox);
    form->addRow(QString(), keepInvalidBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    okButton = buttons->button(QDialogButtonBox::Ok);
    okButton->setText(tr("Export"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(sourceButton, &QPushButton::clicked, this, &ExportDialog::chooseSource);
    connect(targetButton, &QPushButton::clicked, this, &ExportDialog::chooseTarget);
    connect(sourceEdit, &QLineEdit::textChanged, this, &ExportDialog::updateOk);
    connect(targetEdit, &QLineEdit::textChanged, this, &ExportDialog::updateOk);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateOk();
}

void ExportDialog::chooseSource()
{
    const QString name = Dialogs::getOpenFileName(this, tr("Open recorded profile file"), dataDir,
                                                  tr("Profile files (*.txt)"));
    if (name.isEmpty())
        return;
    sourceEdit->setText(name);
    if (targetEdit->text().isEmpty()) {
        const QFileInfo info(name);
        targetEdit->setText(info.absolutePath() + "/" + info.completeBaseName() + "." +
                            PointCloudExport::suffixOf(format));
    }
}

void ExportDialog::chooseTarget()
{
    const QString start = targetEdit->text().isEmpty() ? dataDir : targetEdit->text();
    QString filter;
    QString name = Dialogs::getSaveFileName(this, tr("Save point cloud"), start,
                                            PointCloudExport::fileFilter(), &filter);
    if (name.isEmpty())
        return;
    format = PointCloudExport::formatFor(filter, name);
    if (QFileInfo(name).suffix().isEmpty())
        name += "." + PointCloudExport::suffixOf(format);
    chosenTarget = name;
    targetEdit->setText(name);
}

void ExportDialog::updateOk()
{
    okButton->setEnabled(!sourceEdit->text().isEmpty() && !targetEdit->text().isEmpty());
}

QString ExportDialog::sourcePath() const
{
    return sourceEdit->text();
}

QString ExportDialog::targetPath() const
{
    return targetEdit->text();
}

PointCloudExport::Options ExportDialog::options() const
{
    PointCloudExport::Options o;
    // The filter picked in the save dialog decides; a name typed by hand by its suffix.
    o.format = targetPath() == chosenTarget ? format
                                            : PointCloudExport::formatFor(QString(), targetPath());
    o.pitchMm = pitchBox->value();
    o.keepInvalid = keepInvalidBox->isChecked();
    return o;
}
