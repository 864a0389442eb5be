// The sensor image view and the view commands (fit, pan, zoom, zoom axes, save image), which
// act on whichever display tab is current.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "display/customview.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QDateTime>
#include <QDockWidget>
#include <QFile>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QStatusBar>
#include <qcustomplot.h>

namespace {
// Tabs of the display tab widget.
constexpr int imageTab = 0;
constexpr int plotTab = 1;

// The frame rate is shown once per window of this many seconds.
constexpr double imageRateWindowSeconds = 2.0;
// Margin kept around the scene when the view is fitted.
constexpr int fitMargin = 50;
// The profile plot: fitted data take 1/1.5 of each axis; one zoom step is 1.1.
constexpr double plotFitScale = 1.5;
constexpr double plotZoomStep = 1.1;

const QString messageTitle = QStringLiteral("3D Sensor");

double secondsSinceEpoch()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

// 256 gray levels for 8-bit indexed images.
QVector<QRgb> grayTable()
{
    QVector<QRgb> table(256);
    for (int v = 0; v < 256; ++v)
        table[v] = qRgb(v, v, v);
    return table;
}
} // namespace

void Veltrix::connectViewAndSettingsCommands()
{
    connect(form->graphicsView, &CustomView::positionMoved, this, &Veltrix::showGraylevel);
    connect(form->dWProduct, &QDockWidget::dockLocationChanged, this, &Veltrix::fitView);
    connect(form->dWSettings, &QDockWidget::dockLocationChanged, this, &Veltrix::fitView);
    connect(fitViewAct, &QAction::triggered, this, &Veltrix::fitView);
    connect(panAct, &QAction::toggled, this, &Veltrix::panView);
    connect(zoomInAct, &QAction::triggered, this, &Veltrix::zoomIn);
    connect(zoomOutAct, &QAction::triggered, this, &Veltrix::zoomOut);
    connect(xAxisZoomAct, &QAction::toggled, this, &Veltrix::zoomSetting);
    connect(zAxisZoomAct, &QAction::toggled, this, &Veltrix::zoomSetting);
    connect(saveImageAct, &QAction::triggered, this, &Veltrix::saveImage);
    connect(saveSettingsAct, &QAction::triggered, this, &Veltrix::saveSettingsFile);
    connect(loadSettingsAct, &QAction::triggered, this, &Veltrix::openSettingsFile);
}

void Veltrix::loadImage(unsigned char* ImgBuf, int Width, int Height)
{
    ++shownFrames[0];
    const double now = secondsSinceEpoch();

    // The frame's rows follow each other without padding: the stride is the width. The
    // copy detaches the image from the thread's buffer, which is reused after this call.
    lastFrame = (Width > 0 && Height > 0 && ImgBuf)
                    ? QImage(ImgBuf, Width, Height, Width, QImage::Format_Grayscale8).copy()
                    : QImage();
    imageScene->clear();
    lastImage = QPixmap::fromImage(lastFrame, Qt::AvoidDither);
    imageScene->addPixmap(lastImage)->setTransformationMode(Qt::SmoothTransformation);
    if (fitNextImage) {
        form->graphicsView->fitInView(imageScene->itemsBoundingRect(), Qt::IgnoreAspectRatio);
        fitNextImage = false;
    }

    ++imageFrameCount;
    const double elapsed = now - imageRateWindowStart;
    if (elapsed > imageRateWindowSeconds) {
        statusBar()->showMessage(
            QStringLiteral("%1 FPS").arg(double(imageFrameCount) / elapsed, 0, 'f', 1));
        imageRateWindowStart = now;
        imageFrameCount = 0;
    }
}

void Veltrix::showGraylevel(int x, int y)
{
    form->labelX->setText(QString::number(x));
    form->labelY->setText(QString::number(y));
    if (!lastFrame.valid(x, y)) {
        form->labelGraylevel->setText(QStringLiteral("-"));
        return;
    }
    const QRgb pixel = lastFrame.pixel(x, y);
    const int gray = (11 * qRed(pixel) + 16 * qGreen(pixel) + 5 * qBlue(pixel)) / 32;
    form->labelGraylevel->setText(QString::number(gray));
}

void Veltrix::fitView()
{
    switch (form->tWDisplay->currentIndex()) {
    case imageTab: {
        CustomView* view = form->graphicsView;
        const QRectF sceneRect = imageScene->sceneRect();
        view->ensureVisible(sceneRect, fitMargin, fitMargin);
        view->fitInView(sceneRect, Qt::IgnoreAspectRatio);
        view->resetZoomFactors();
        break;
    }
    case plotTab: {
        QCustomPlot* plot = form->customPlot;
        plot->rescaleAxes();
        plot->yAxis->scaleRange(plotFitScale, plot->yAxis->range().center());
        plot->xAxis->scaleRange(plotFitScale, plot->xAxis->range().center());
        plot->replot();
        break;
    }
    default: // the 3D view has no fit command
        break;
    }
}

void Veltrix::panView()
{
    if (form->tWDisplay->currentIndex() != imageTab)
        return;
    if (panAct->isChecked())
        form->graphicsView->setPanMode();
    else
        form->graphicsView->clearPanMode();
}

// Scales the plot's axes chosen by the zoom actions about their centres.
void Veltrix::zoomPlot(double factor)
{
    QCustomPlot* plot = form->customPlot;
    const bool x = xAxisZoomAct->isChecked();
    const bool z = zAxisZoomAct->isChecked();
    if (z || !x)
        plot->yAxis->scaleRange(factor, plot->yAxis->range().center());
    if (x || !z)
        plot->xAxis->scaleRange(factor, plot->xAxis->range().center());
    plot->replot();
}

void Veltrix::zoomIn()
{
    switch (form->tWDisplay->currentIndex()) {
    case imageTab:
        form->graphicsView->zoomInStep();
        break;
    case plotTab:
        zoomPlot(1.0 / plotZoomStep);
        break;
    default: // the 3D view: zoomInView() of the surface graph
        break;
    }
}

void Veltrix::zoomOut()
{
    switch (form->tWDisplay->currentIndex()) {
    case imageTab:
        form->graphicsView->zoomOutStep();
        break;
    case plotTab:
        zoomPlot(plotZoomStep);
        break;
    default: // the 3D view: zoomOutView() of the surface graph
        break;
    }
}

void Veltrix::zoomSetting()
{
    const bool x = xAxisZoomAct->isChecked();
    const bool z = zAxisZoomAct->isChecked();
    form->graphicsView->setZoomAxes((x ? CustomView::HorizontalZoom : 0) |
                                    (z ? CustomView::VerticalZoom : 0));
    QCustomPlot* plot = form->customPlot;
    if (x == z) {
        // Unchecking the last zoom direction brings both back; each check re-enters here.
        xAxisZoomAct->setChecked(true);
        zAxisZoomAct->setChecked(true);
        for (QCPAxis* axis : {plot->xAxis, plot->yAxis, plot->xAxis2, plot->yAxis2})
            axis->setSelectedParts(QCPAxis::spNone);
    } else {
        const QCPAxis::SelectableParts parts = QCPAxis::spAxis | QCPAxis::spTickLabels;
        if (x) {
            plot->xAxis2->setSelectedParts(parts);
            plot->xAxis->setSelectedParts(parts);
        }
        if (z) {
            plot->yAxis2->setSelectedParts(parts);
            plot->yAxis->setSelectedParts(parts);
        }
    }
    plot->replot(QCustomPlot::rpQueuedRefresh);
}

void Veltrix::saveImage()
{
    const QString proposed =
        dataDir + QStringLiteral("/image_") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) +
        QStringLiteral(".bmp");
    const QString fileName = Dialogs::getSaveFileName(this, tr("Save Image"), proposed,
                                                      QStringLiteral("Image files (*.bmp)"));
    if (fileName.isEmpty())
        return;
    // The kept gray frame holds exactly the shown pixels; its indexed form is written as an
    // 8-bit BMP with a gray palette.
    const QImage indexed =
        lastFrame.convertToFormat(QImage::Format_Indexed8, grayTable(), Qt::AvoidDither);
    QFile file(fileName);
    const bool saved =
        !indexed.isNull() && file.open(QIODevice::WriteOnly) && indexed.save(&file, "BMP");
    if (saved)
        Dialogs::information(this, messageTitle, tr("The image has been successfully saved."));
    else
        Dialogs::critical(this, messageTitle, tr("The process of saving image is failed."));
}
