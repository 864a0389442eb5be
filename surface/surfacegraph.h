#pragma once
// Stands between the controls of the "3D Display" tab and the 3D surface graph: creates the
// axes, the series and its data proxy, keeps the ranges and sizes of the loaded recording and
// turns slider and button events into graph calls. The view operations (camera, zoom, range
// sliders, gradients) do nothing until a data file has been chosen; the theme and the
// selection mode work at any time.

#include "surface/surfaceloader.h"

#include <QBrush>
#include <QObject>
#include <QString>

class QSlider;

namespace QtDataVisualization {
class Q3DSurface;
class QSurface3DSeries;
class QSurfaceDataProxy;
class QValue3DAxis;
} // namespace QtDataVisualization

class SurfaceGraph : public QObject
{
    Q_OBJECT

public:
    // The graph stays owned by its window container.
    explicit SurfaceGraph(QtDataVisualization::Q3DSurface* graph);

    void selectNone();
    void selectItem();
    void selectRowSlice();
    void selectColumnSlice();

    void rotateHorizontal(int angle);
    void rotateVertical(int angle);
    void zoomInView();
    void zoomOutView();

    void setColumnRangeMin(int position);
    void setColumnRangeMax(int position);
    void setRowRangeMin(int position);
    void setRowRangeMax(int position);

    void applyBlueYellowGradient();
    void applyGreenRedGradient();

    void setDataFile(const QString& path);
    // Reads the data file into the proxy. On failure the proxy keeps its data, the ranges and
    // counts keep the last good load, and the text for the operator is returned in *error
    // (the file's error string, or "Loading data error!").
    bool loadDataFile(QString* error);
    void setColumnSliders(QSlider* minSlider, QSlider* maxSlider);
    void setRowSliders(QSlider* minSlider, QSlider* maxSlider);
    // Puts the loaded data on show: axes, series, range sliders.
    void showSurface();

    QtDataVisualization::Q3DSurface* surface() const { return graph; }

public slots:
    void changeTheme(int theme);

private:
    // One slider direction: X (columns) or Z (rows).
    struct Range
    {
        QSlider* minSlider = nullptr;
        QSlider* maxSlider = nullptr;
        float start = 0.0f;
        float step = 0.0f;
        int count = 0; // slider positions that carry data (columnCount or rowCount)
    };
    void setRangeMin(Range& range, QtDataVisualization::QValue3DAxis* axis, int position);
    void setRangeMax(Range& range, QtDataVisualization::QValue3DAxis* axis, int position);
    void applyGradient(const QGradientStops& stops);
    static void showRange(Range& range, float start, float end, int count);

    QtDataVisualization::Q3DSurface* graph;
    QtDataVisualization::QSurfaceDataProxy* proxy;
    QtDataVisualization::QSurface3DSeries* series;
    QtDataVisualization::QValue3DAxis* axisX;
    QtDataVisualization::QValue3DAxis* axisY;
    QtDataVisualization::QValue3DAxis* axisZ;
    Range columns;
    Range rows;
    SurfaceLoader::Ranges ranges;
    int columnCount = 0;
    int rowCount = 0;
    float horizontalRotation = 0.0f;
    float verticalRotation = 0.0f;
    float zoomLevel = 100.0f;
    QString dataFile;
};
