// The profile plot: its set-up at start-up, the cursor read-out, the wheel zoom direction and
// the axis selection. The profiles drawn on it arrive in loadProfile (veltrix_profile.cpp).
#include "app/veltrix.h"

#include "display/profiledata.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QStatusBar>
#include <algorithm>
#include <qcustomplot.h>

void Veltrix::setupProfilePlot()
{
    QCustomPlot* plot = form->customPlot;
    // Graph 0 is the only graph: the profile points as crosses, no connecting line.
    QCPGraph* graph = plot->addGraph();
    graph->setPen(QPen(Qt::blue));
    graph->setLineStyle(QCPGraph::lsNone);
    graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCross, 4.0));

    plot->xAxis->grid()->setSubGridVisible(true);
    plot->yAxis->grid()->setSubGridVisible(true);
    plot->axisRect()->setupFullAxesBox(false);
    plot->xAxis2->setVisible(true);
    plot->xAxis2->setTickLabels(false);
    plot->yAxis2->setVisible(true);
    plot->yAxis2->setTickLabels(false);
    connect(plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot->xAxis2,
            qOverload<const QCPRange&>(&QCPAxis::setRange));
    connect(plot->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), plot->yAxis2,
            qOverload<const QCPRange&>(&QCPAxis::setRange));

    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables |
                          QCP::iSelectAxes);

    // The ROI training slots run before the plot's own handling of the same event.
    connect(plot, &QCustomPlot::mouseWheel, this, &Veltrix::mouseWheel);
    connect(plot, &QCustomPlot::selectionChangedByUser, this, &Veltrix::selectionChangedAxis);
    connect(plot, &QCustomPlot::mouseMove, this, &Veltrix::show2DProfilePoint);
    connect(plot, &QCustomPlot::mouseMove, this, &Veltrix::mouseMoveKS);
    connect(plot, &QCustomPlot::mousePress, this, &Veltrix::mousePressKS);
    connect(plot, &QCustomPlot::mouseRelease, this, &Veltrix::mouseReleaseKS);

    plot->legend->setFont(QFont(font().family(), 12));
    plot->legend->setIconSize(50, 20);
    plot->legend->setVisible(true);
}

ProfileData::FieldOfView Veltrix::fieldOfView() const
{
    return {double(params.Xmin), double(params.Xmax), double(params.Zmin), double(params.Zmax)};
}

// The first frame after a start fits the axes when the unit's view was never stored, widened
// by half on both axes so that the profile does not touch the frame.
void Veltrix::fitProfileOnce(int unit)
{
    if (!autoFitProfile)
        return;
    autoFitProfile = false;
    const double* pair = storedRanges + (unit == 1 ? 0 : 4);
    if (!std::all_of(pair, pair + 4, [](double v) { return v == 0.0; }))
        return;
    QCustomPlot* plot = form->customPlot;
    plot->rescaleAxes();
    plot->yAxis->scaleRange(1.5, plot->yAxis->range().center());
    plot->xAxis->scaleRange(1.5, plot->xAxis->range().center());
}

void Veltrix::showFrameRate(float receiveFPS)
{
    statusBar()->showMessage(QString("%1 FPS").arg(double(receiveFPS), 0, 'f', 1));
}

void Veltrix::loadProfile(int* intDataX, short* intDataZ, float* floatDataX, float* floatDataZ,
                          bool isInteger, int points, int, float receiveFPS)
{
    ++shownFrames[1];
    QCustomPlot* plot = form->customPlot;
    // Training rectangles and fitted lines belong to product frames only.
    for (QCPItemRect* rect : roiRect) {
        rect->topLeft->setCoords(0, 0);
        rect->bottomRight->setCoords(0, 0);
    }
    for (QCPItemStraightLine* line : roiLine) {
        line->point1->setCoords(0, 0);
        line->point2->setCoords(0, 0);
    }

    const QVector<QCPGraphData> data = ProfileData::fromProfile(
        params.MODE, fieldOfView(), intDataX, intDataZ, floatDataX, floatDataZ, isInteger, points);
    if (recording && recordedFrameCount < maxRecordedProfiles) {
        if ((params.MODE == 4 || params.MODE == 2) && recordFile.isOpen())
            ProfileData::appendPointLines(recordFile, recordedFrameCount, data);
        ++recordedFrameCount;
    }
    ProfileData::setGraphData(plot->graph(0), data);
    if (params.MODE == 4)
        fitProfileOnce(2);
    else if (params.MODE == 2)
        fitProfileOnce(1);
    else
        autoFitProfile = false;
    plot->replot(QCustomPlot::rpRefreshHint);
    showFrameRate(receiveFPS);
}

// Captures the axes into the stored pair of a unit (1 pixel, 2 mm; any other unit: nowhere).
void Veltrix::rememberPlotRanges(int unit)
{
    if (unit != 1 && unit != 2)
        return;
    const QCPRange x = form->customPlot->xAxis->range();
    const QCPRange z = form->customPlot->yAxis->range();
    double* pair = storedRanges + (unit == 1 ? 0 : 4);
    pair[0] = x.lower;
    pair[1] = x.upper;
    pair[2] = z.lower;
    pair[3] = z.upper;
}

// At capture or recording start: the labels and the remembered view of the mode's unit. A pair
// never stored (all 0.0) leaves the axes as they are; the first profile fits them.
void Veltrix::prepareProfilePlot()
{
    const bool mm = params.MODE == 4 || params.MODE == 9;
    QCustomPlot* plot = form->customPlot;
    plot->xAxis->setLabel(mm ? "x position in mm" : "x position in pixel");
    plot->yAxis->setLabel(mm ? "z position in mm" : "z position in pixel");
    const double* pair = storedRanges + (mm ? 4 : 0);
    if (!std::all_of(pair, pair + 4, [](double v) { return v == 0.0; })) {
        plot->xAxis->setRange(pair[0], pair[1]);
        plot->yAxis->setRange(pair[2], pair[3]);
    }
    plotUnit = mm ? 2 : 1;
}

void Veltrix::show2DProfilePoint(QMouseEvent* event)
{
    if (form->tWDisplay->currentIndex() != 1)
        return;
    const QCustomPlot* plot = form->customPlot;
    const double x = plot->xAxis->pixelToCoord(event->pos().x());
    const double z = plot->yAxis->pixelToCoord(event->pos().y());
    form->labelPosX->setText(QString::number(x, 'g', 6));
    form->labelPosZ->setText(QString::number(z, 'g', 6));
}

// Runs before the plot zooms: a selected axis line limits the zoom to its direction.
void Veltrix::mouseWheel()
{
    QCustomPlot* plot = form->customPlot;
    if (plot->xAxis->selectedParts().testFlag(QCPAxis::spAxis))
        plot->axisRect()->setRangeZoom(plot->xAxis->orientation());
    else if (plot->yAxis->selectedParts().testFlag(QCPAxis::spAxis))
        plot->axisRect()->setRangeZoom(plot->yAxis->orientation());
    else
        plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
}

// A click on an axis selects it together with its opposite axis and leaves only that
// direction's zoom action checked.
void Veltrix::selectionChangedAxis()
{
    QCustomPlot* plot = form->customPlot;
    xAxisZoomAct->setChecked(true);
    zAxisZoomAct->setChecked(true);
    const QCPAxis::SelectableParts lineOrLabels = QCPAxis::spAxis | QCPAxis::spTickLabels;
    const auto picked = [&](const QCPAxis* axis) {
        return (axis->selectedParts() & lineOrLabels) != QCPAxis::spNone;
    };
    if (picked(plot->xAxis) || picked(plot->xAxis2)) {
        plot->xAxis2->setSelectedParts(lineOrLabels);
        plot->xAxis->setSelectedParts(lineOrLabels);
        zAxisZoomAct->setChecked(false);
    }
    if (picked(plot->yAxis) || picked(plot->yAxis2)) {
        plot->yAxis2->setSelectedParts(lineOrLabels);
        plot->yAxis->setSelectedParts(lineOrLabels);
        xAxisZoomAct->setChecked(false);
    }
}
