#pragma once
// The sensor image view: zooms per axis (never below the size of the last fit), pans by
// dragging while pan mode is on, and reports the scene position under the mouse so the
// window can show the coordinates and the gray level there.

#include <QGraphicsView>

class CustomView : public QGraphicsView
{
    Q_OBJECT

public:
    // Axes a zoom step acts on.
    enum ZoomAxes
    {
        NoZoom = 0,
        VerticalZoom = 1,
        HorizontalZoom = 2,
        BothZoom = 3
    };

    explicit CustomView(QWidget* parent = nullptr);

    void setPanMode();
    void clearPanMode();
    bool isPanMode() const { return panMode; }
    // One zoom step on the axes chosen by setZoomAxes; a zoom-out step never takes an axis
    // below the size it had at the last resetZoomFactors.
    void zoomInStep();
    void zoomOutStep();
    void setZoomAxes(int axes);
    int currentZoomAxes() const { return zoomAxes; }
    // Called after a fit: the fitted size becomes the zoom-out limit.
    void resetZoomFactors();

signals:
    void imageResized();
    // Scene coordinates of the mouse position, rounded down to whole pixels, so that a
    // position left of or above the image never reports pixel 0.
    void positionMoved(int x, int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setViewCursor(Qt::CursorShape shape);

    double horizontalScale = 1.0;
    double verticalScale = 1.0;
    double minimumScale = 1.0;
    bool panning = false;
    int lastMouseX = 0;
    int lastMouseY = 0;
    bool panMode = false;
    int zoomAxes = BothZoom;
};
