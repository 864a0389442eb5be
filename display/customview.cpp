#include "display/customview.h"

#include <QMouseEvent>
#include <cmath>

CustomView::CustomView(QWidget* parent) : QGraphicsView(parent) {}

void CustomView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF scenePos = mapToScene(event->pos());
    emit positionMoved(static_cast<int>(std::floor(scenePos.x())),
                       static_cast<int>(std::floor(scenePos.y())));
    QGraphicsView::mouseMoveEvent(event);
}
