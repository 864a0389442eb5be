#pragma once
// The sensor image view. Reports the scene position under the mouse so the window can
// show the coordinates and the gray level there.

#include <QGraphicsView>

class CustomView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit CustomView(QWidget* parent = nullptr);

signals:
    // Scene coordinates (rounded down to whole pixels) of the mouse position.
    void positionMoved(int x, int y);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};
