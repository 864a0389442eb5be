// Angle results of a product frame on the plot and in the product dock: the points, both job
// regions, the two fitted lines and the angle judged against the tolerance.
#include "app/veltrix.h"

#include "display/productresult.h"
#include "ui_veltrix.h"

#include <qcustomplot.h>

namespace {
const char* const styleInside = "background-color: rgb(90, 255, 90);";
const char* const styleOutside = "background-color: rgb(255, 90, 90);";
} // namespace

void Veltrix::loadProduct(float* dataX, float* dataZ, int points, unsigned char* ProductRes,
                          float receiveFPS)
{
    ++shownFrames[2];
    const QByteArray text = ProductResult::cut(reinterpret_cast<const char*>(ProductRes));
    const QVector<QCPGraphData> data =
        ProfileData::fromProduct(params.MODE, fieldOfView(), dataX, dataZ, points);
    const bool productMode = params.MODE == 9;
    const bool writing = recording && recordedFrameCount < maxRecordedProfiles;
    if (productMode && writing && recordFile.isOpen())
        ProfileData::appendPointLines(recordFile, recordedFrameCount, data);
    const ProductResult::Result result =
        productMode ? ProductResult::parse(text) : ProductResult::Result();
    if (writing) {
        if (recordFile.isOpen())
            ProfileData::appendResultLine(recordFile, text);
        ++recordedFrameCount;
    }

    QCustomPlot* plot = form->customPlot;
    ProfileData::setGraphData(plot->graph(0), data);
    for (int j = 0; j < 2; ++j) {
        const ProductJob& job = product.job[j];
        roiRect[j]->topLeft->setCoords(job.ROI_X_0, job.ROI_Y_0);
        roiRect[j]->bottomRight->setCoords(job.ROI_X_1, job.ROI_Y_1);
        const ProductResult::Line& line = result.line[j];
        if (roiTrainingState == 3 && ProductResult::drawable(line)) {
            const auto [first, second] = ProductResult::endPoints(line);
            roiLine[j]->point1->setCoords(first);
            roiLine[j]->point2->setCoords(second);
        } else {
            roiLine[j]->point1->setCoords(0, 0);
            roiLine[j]->point2->setCoords(0, 0);
        }
    }

    if (result.bothValid()) {
        readProductControls(); // edits of nominal value and tolerances apply from this frame
        form->lineEdit->setText(ProductResult::formatAngle(result.angle));
        const bool inside = ProductResult::withinTolerance(
            result.angle, product.TARGET_ANGLE, product.ANGLE_TOL_POS, product.ANGLE_TOL_NEG);
        form->lineEdit->setStyleSheet(inside ? styleInside : styleOutside);
    } else {
        form->lineEdit->setText("Error");
        form->lineEdit->setStyleSheet(styleOutside);
    }

    if (productMode)
        fitProfileOnce(2);
    else
        autoFitProfile = false;
    plot->replot(QCustomPlot::rpRefreshHint);
    showFrameRate(receiveFPS);
}
