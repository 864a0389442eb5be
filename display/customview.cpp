// The sensor image view: zoom steps per axis, pan drags and the position under the mouse.
#include "display/customview.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

namespace {
constexpr double zoomStep = 1.15;
// A scale counts as back at the limit within this relative tolerance, so that n steps in
// are undone by exactly n steps out despite rounding.
constexpr double scaleTolerance = 1e-9;

bool aboveLimit(double scale, double limit)
{
    return scale > limit * (1.0 + scaleTolerance);
}
} // namespace

CustomView::CustomView(QWidget* parent) : QGraphicsView(parent) {}

void CustomView::setViewCursor(Qt::CursorShape shape)
{
    viewport()->setCursor(shape);
}

void CustomView::setPanMode()
{
    panMode = true;
    setViewCursor(Qt::OpenHandCursor);
}

void CustomView::clearPanMode()
{
    panMode = false;
    panning = false;
    setViewCursor(Qt::ArrowCursor);
}

void CustomView::setZoomAxes(int axes)
{
    zoomAxes = axes;
}

void CustomView::resetZoomFactors()
{
    horizontalScale = 1.0;
    verticalScale = 1.0;
}

void CustomView::zoomInStep()
{
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    const bool horizontal = zoomAxes & HorizontalZoom;
    const bool vertical = zoomAxes & VerticalZoom;
    if (!horizontal && !vertical)
        return;
    scale(horizontal ? zoomStep : 1.0, vertical ? zoomStep : 1.0);
    if (horizontal)
        horizontalScale *= zoomStep;
    if (vertical)
        verticalScale *= zoomStep;
}

void CustomView::zoomOutStep()
{
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    if ((zoomAxes & VerticalZoom) && aboveLimit(verticalScale, minimumScale)) {
        scale(1.0, 1.0 / zoomStep);
        verticalScale /= zoomStep;
    }
    if ((zoomAxes & HorizontalZoom) && aboveLimit(horizontalScale, minimumScale)) {
        scale(1.0 / zoomStep, 1.0);
        horizontalScale /= zoomStep;
    }
}

void CustomView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !panMode) {
        event->ignore();
        return;
    }
    panning = true;
    lastMouseX = event->x();
    lastMouseY = event->y();
    setViewCursor(Qt::ClosedHandCursor);
    event->accept();
}

void CustomView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !panMode) {
        event->ignore();
        return;
    }
    panning = false;
    setViewCursor(Qt::ArrowCursor);
    event->accept();
}

void CustomView::mouseMoveEvent(QMouseEvent* event)
{
    if (panning) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + lastMouseX - event->x());
        verticalScrollBar()->setValue(verticalScrollBar()->value() + lastMouseY - event->y());
        lastMouseX = event->x();
        lastMouseY = event->y();
        event->accept();
        return;
    }
    const QPointF scenePos = mapToScene(event->pos());
    emit positionMoved(static_cast<int>(std::floor(scenePos.x())),
                       static_cast<int>(std::floor(scenePos.y())));
}

void CustomView::wheelEvent(QWheelEvent* event)
{
    if (panMode) {
        event->ignore();
        return;
    }
    if (event->angleDelta().y() > 0)
        zoomInStep();
    else
        zoomOutStep();
    event->accept();
}

void CustomView::resizeEvent(QResizeEvent* event)
{
    // The base class keeps the scroll bars and the resize anchor in step with the new size.
    QGraphicsView::resizeEvent(event);
    emit imageResized();
}
