// ROI training: the operator arms one of the two "Train ROI" buttons and drags a rectangle on
// the profile plot; on release its corners become that job's region of interest.
#include "app/veltrix.h"

#include "ui_veltrix.h"

#include <qcustomplot.h>

namespace {
QPointF plotPoint(const QCustomPlot* plot, const QPoint& pos)
{
    return {plot->xAxis->pixelToCoord(pos.x()), plot->yAxis->pixelToCoord(pos.y())};
}
} // namespace

void Veltrix::pushButton_ROI_KS()
{
    form->customPlot->axisRect()->setRangeDrag(Qt::Orientations());
    roiIndex = sender() == form->pBACTrainROI1 ? 0 : 1;
    roiTrainingState = 1;
}

void Veltrix::mousePressKS(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || roiTrainingState != 1)
        return;
    const QPointF p = plotPoint(form->customPlot, event->pos());
    roiRect[roiIndex]->topLeft->setCoords(p);
    roiTrainingState = 2;
}

void Veltrix::mouseMoveKS(QMouseEvent* event)
{
    if (roiTrainingState != 2)
        return;
    roiRect[roiIndex]->bottomRight->setCoords(plotPoint(form->customPlot, event->pos()));
    form->customPlot->replot(QCustomPlot::rpRefreshHint);
}

void Veltrix::mouseReleaseKS(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || roiTrainingState != 2)
        return;
    productPending = 1;
    QCPItemRect* rect = roiRect[roiIndex];
    rect->bottomRight->setCoords(plotPoint(form->customPlot, event->pos()));
    form->customPlot->replot(QCustomPlot::rpRefreshHint);
    form->customPlot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    roiTrainingState = 3;

    // The corners as pressed and released, not reordered.
    ProductJob& job = product.job[roiIndex];
    job.PRODUCT_TYPE = 1;
    job.ROI_COUNT = 2;
    job.ROI_X_0 = float(rect->topLeft->coords().x());
    job.ROI_Y_0 = float(rect->topLeft->coords().y());
    job.ROI_X_1 = float(rect->bottomRight->coords().x());
    job.ROI_Y_1 = float(rect->bottomRight->coords().y());
}
