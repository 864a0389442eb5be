// The angle-measurement job: its controls in the product dock, its product parameter files,
// and its exchange with the sensor at connect and before a product-mode acquisition.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "files/productfile.h"
#include "sensor/sensorconnection.h"
#include "sensor/tcpthread.h"
#include "ui_veltrix.h"

#include <QDateTime>

namespace {
struct JobControls
{
    QDoubleSpinBox* phiMin;
    QDoubleSpinBox* phiMax;
    QDoubleSpinBox* phiFilter;
    QComboBox* lineAlgo;
    QSpinBox* laserPoints;
};

JobControls jobControls(Ui::Veltrix& f, int job)
{
    if (job == 0)
        return {f.dsBPhiMin1, f.dsBPhiMax1, f.dsBPhiFilter1, f.cBLineAlgo1, f.sBLaserPoints1};
    return {f.dsBPhiMin2, f.dsBPhiMax2, f.dsBPhiFilter2, f.cBLineAlgo2, f.sBLaserPoints2};
}

// Copies a control's value into a field when they differ; true when it changed.
template <typename T> bool take(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void Veltrix::writeProductControls()
{
    Ui::Veltrix& f = *form;
    f.cBSensorField->setCurrentIndex(product.SENSOR_ROI);
    f.dsBNominalValue->setValue(product.TARGET_ANGLE);
    f.dsBPosTolerance->setValue(product.ANGLE_TOL_POS);
    f.dsBNegTolerance->setValue(product.ANGLE_TOL_NEG);
    for (int j = 0; j < 2; ++j) {
        const JobControls c = jobControls(f, j);
        const ProductJob& job = product.job[j];
        c.phiMin->setValue(job.PHI_MIN);
        c.phiMax->setValue(job.PHI_MAX);
        c.phiFilter->setValue(job.LINE_FILTER);
        c.lineAlgo->setCurrentIndex(job.LINE_ALGO_MODE);
        c.laserPoints->setValue(job.MIN_NR_LPOINTS);
    }
}

bool Veltrix::readProductControls()
{
    Ui::Veltrix& f = *form;
    bool changed = take(product.SENSOR_ROI, int32_t(f.cBSensorField->currentIndex()));
    changed |= take(product.TARGET_ANGLE, float(f.dsBNominalValue->value()));
    changed |= take(product.ANGLE_TOL_POS, float(f.dsBPosTolerance->value()));
    changed |= take(product.ANGLE_TOL_NEG, float(f.dsBNegTolerance->value()));
    for (int j = 0; j < 2; ++j) {
        const JobControls c = jobControls(f, j);
        ProductJob& job = product.job[j];
        changed |= take(job.PHI_MIN, float(c.phiMin->value()));
        changed |= take(job.PHI_MAX, float(c.phiMax->value()));
        changed |= take(job.LINE_FILTER, int32_t(c.phiFilter->value())); // truncated
        changed |= take(job.LINE_ALGO_MODE, int32_t(c.lineAlgo->currentIndex()));
        changed |= take(job.MIN_NR_LPOINTS, int32_t(c.laserPoints->value()));
    }
    return productPending != 0 || changed;
}

// Builds the product text. With text given it is handed back through it; without (the menu
// command) it is saved to a file the operator chooses. A file that cannot be written is
// passed over silently.
void Veltrix::exportProductFile(QString* text)
{
    readProductControls();
    const QString built = buildProductText(product, QDateTime::currentDateTime());
    if (text) {
        *text = built;
        return;
    }
    const QString path = Dialogs::getSaveFileName(this, tr("Save Product Parameters"),
                                                  productFilePath, tr("Parameter files (*.txt)"));
    if (!path.isEmpty())
        writeProductFile(path, built);
}

// Reads a product file into the job and its controls. Without a name the operator chooses
// the file; a file that is not an angle job changes nothing.
void Veltrix::importProductFile(const QString& fileName)
{
    QString path = fileName;
    if (path.isEmpty())
        path = Dialogs::getOpenFileName(this, tr("Load Product Parameter"), productFilePath,
                                        tr("Parameter files (*.txt)"));
    if (path.isEmpty() || !readProductFile(path, product))
        return;
    applyImportedProduct(path);
}

// After a job was read: controls, pending send, the regions shown, the dock title.
void Veltrix::applyImportedProduct(const QString& path)
{
    writeProductControls();
    productPending = 1;
    roiTrainingState = 3; // the regions of the job are defined
    fitView();
    form->dWProduct->setWindowTitle(productDockTitle(path));
}

// Reads the sensor's job and imports it as if it were a product parameter file.
bool Veltrix::loadProductFromSensor()
{
    QString text;
    if (!tcpThread->readText(false, SensorProtocol::cmdReadText, text))
        return false;
    const QString tempPath = productFilePath + ".tmp";
    if (!importProductText(text, tempPath, product))
        return false;
    applyImportedProduct(tempPath);
    return true;
}

// Sends the job before a product-mode acquisition when it changed or was never sent.
bool Veltrix::sendProductIfPending(bool resync)
{
    if (!readProductControls())
        return true;
    const QString text = buildProductText(product, QDateTime::currentDateTime());
    if (!tcpThread->writeText(resync, SensorProtocol::cmdWriteText, text))
        return false; // still pending: the next start sends it again
    productPending = 0;
    return true;
}
