#include "surface/surfacegraph.h"

#include <QLinearGradient>
#include <QSlider>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DSurface>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QSurface3DSeries>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <algorithm>

using namespace QtDataVisualization;

namespace {
// One zoom step of the 3D view.
constexpr float kZoomFactor = 1.15f;
// Every horizontal rotation puts the camera back to this zoom level.
constexpr float kRotationZoom = 100.0f;
const char* const kLoadingError = "Loading data error!";

Q3DCamera* cameraOf(Q3DSurface* graph)
{
    return graph->scene()->activeCamera();
}
} // namespace

SurfaceGraph::SurfaceGraph(Q3DSurface* graph)
    : graph(graph), proxy(nullptr), series(nullptr), axisX(new QValue3DAxis),
      axisY(new QValue3DAxis), axisZ(new QValue3DAxis)
{
    graph->setAxisX(axisX);
    graph->setAxisY(axisY);
    graph->setAxisZ(axisZ);
    axisX->setTitle(QStringLiteral("X Position"));
    axisY->setTitle(QStringLiteral("Z Position"));
    axisZ->setTitle(QStringLiteral("Y Position"));
    for (QValue3DAxis* axis : {axisX, axisY, axisZ})
        axis->setTitleVisible(true);
    proxy = new QSurfaceDataProxy;
    series = new QSurface3DSeries(proxy);
    // The series joins the graph with the first data shown; until then nothing owns it.
    series->setParent(this);
    zoomLevel = cameraOf(graph)->zoomLevel();
}

void SurfaceGraph::changeTheme(int theme)
{
    graph->activeTheme()->setType(static_cast<Q3DTheme::Theme>(theme));
}

void SurfaceGraph::selectNone()
{
    graph->setSelectionMode(QAbstract3DGraph::SelectionNone);
}

void SurfaceGraph::selectItem()
{
    graph->setSelectionMode(QAbstract3DGraph::SelectionItem);
}

void SurfaceGraph::selectRowSlice()
{
    graph->setSelectionMode(QAbstract3DGraph::SelectionItemAndRow |
                            QAbstract3DGraph::SelectionSlice);
}

void SurfaceGraph::selectColumnSlice()
{
    graph->setSelectionMode(QAbstract3DGraph::SelectionItemAndColumn |
                            QAbstract3DGraph::SelectionSlice);
}

void SurfaceGraph::rotateHorizontal(int angle)
{
    if (dataFile.isEmpty())
        return;
    horizontalRotation = static_cast<float>(angle);
    cameraOf(graph)->setCameraPosition(horizontalRotation, verticalRotation, kRotationZoom);
}

void SurfaceGraph::rotateVertical(int angle)
{
    if (dataFile.isEmpty())
        return;
    verticalRotation = static_cast<float>(angle);
    cameraOf(graph)->setYRotation(verticalRotation);
}

void SurfaceGraph::zoomInView()
{
    if (dataFile.isEmpty())
        return;
    cameraOf(graph)->setZoomLevel(zoomLevel * kZoomFactor);
    zoomLevel *= kZoomFactor;
}

void SurfaceGraph::zoomOutView()
{
    if (dataFile.isEmpty() || !(zoomLevel > 1.0f))
        return;
    cameraOf(graph)->setZoomLevel(zoomLevel / kZoomFactor);
    zoomLevel /= kZoomFactor;
}

void SurfaceGraph::applyGradient(const QGradientStops& stops)
{
    // Before the first data shown the graph has no series to colour.
    if (dataFile.isEmpty() || graph->seriesList().isEmpty())
        return;
    QLinearGradient gradient;
    gradient.setStops(stops);
    QSurface3DSeries* first = graph->seriesList().at(0);
    first->setBaseGradient(gradient);
    first->setColorStyle(Q3DTheme::ColorStyleRangeGradient);
}

void SurfaceGraph::applyBlueYellowGradient()
{
    applyGradient({{0.0, Qt::black}, {0.33, Qt::blue}, {0.67, Qt::red}, {1.0, Qt::yellow}});
}

void SurfaceGraph::applyGreenRedGradient()
{
    applyGradient({{0.0, Qt::darkGreen}, {0.5, Qt::yellow}, {0.8, Qt::red}, {1.0, Qt::darkRed}});
}

// Moving a minimum onto its maximum pushes the maximum one position further (and the other
// way round). A direction with fewer than two positions has no range to cut: its axis keeps
// the data's range.
void SurfaceGraph::setRangeMin(Range& range, QValue3DAxis* axis, int position)
{
    if (dataFile.isEmpty() || range.count < 2 || !range.maxSlider)
        return;
    const float low = position * range.step + range.start;
    int maxPosition = range.maxSlider->value();
    if (position >= maxPosition) {
        maxPosition = position + 1;
        range.maxSlider->setValue(maxPosition);
    }
    axis->setRange(low, maxPosition * range.step + range.start);
}

void SurfaceGraph::setRangeMax(Range& range, QValue3DAxis* axis, int position)
{
    if (dataFile.isEmpty() || range.count < 2 || !range.minSlider)
        return;
    const float high = position * range.step + range.start;
    int minPosition = range.minSlider->value();
    if (position <= minPosition) {
        minPosition = position - 1;
        range.minSlider->setValue(minPosition);
    }
    axis->setRange(minPosition * range.step + range.start, high);
}

void SurfaceGraph::setColumnRangeMin(int position)
{
    setRangeMin(columns, axisX, position);
}

void SurfaceGraph::setColumnRangeMax(int position)
{
    setRangeMax(columns, axisX, position);
}

void SurfaceGraph::setRowRangeMin(int position)
{
    setRangeMin(rows, axisZ, position);
}

void SurfaceGraph::setRowRangeMax(int position)
{
    setRangeMax(rows, axisZ, position);
}

void SurfaceGraph::setDataFile(const QString& path)
{
    dataFile = path;
}

bool SurfaceGraph::loadDataFile(QString* error)
{
    SurfaceLoader::Result result = SurfaceLoader::load(dataFile);
    if (result.outcome != SurfaceLoader::Outcome::Loaded) {
        *error = result.outcome == SurfaceLoader::Outcome::FileError
                     ? result.errorText
                     : QString::fromLatin1(kLoadingError);
        return false;
    }
    ranges = result.ranges;
    rowCount = result.rowCount;
    columnCount = result.columnCount;
    proxy->resetArray(result.array.release());
    zoomLevel = cameraOf(graph)->zoomLevel();
    return true;
}

void SurfaceGraph::setColumnSliders(QSlider* minSlider, QSlider* maxSlider)
{
    columns.minSlider = minSlider;
    columns.maxSlider = maxSlider;
}

void SurfaceGraph::setRowSliders(QSlider* minSlider, QSlider* maxSlider)
{
    rows.minSlider = minSlider;
    rows.maxSlider = maxSlider;
}

// Slider positions 0 .. count - 1 span start .. end. With fewer than two positions both
// sliders stay at 0.
void SurfaceGraph::showRange(Range& range, float start, float end, int count)
{
    range.start = start;
    range.count = count;
    range.step = count > 1 ? (end - start) / (count - 1) : 0.0f;
    const int last = std::max(count - 1, 0);
    range.minSlider->setMaximum(std::max(count - 2, 0));
    range.minSlider->setValue(0);
    range.maxSlider->setMaximum(last);
    range.maxSlider->setValue(last);
}

void SurfaceGraph::showSurface()
{
    series->setDrawMode(QSurface3DSeries::DrawSurface);
    axisX->setLabelFormat(QStringLiteral("%.2f"));
    axisZ->setLabelFormat(QStringLiteral("%.2f"));
    axisX->setRange(ranges.minX, ranges.maxX);
    axisY->setRange(static_cast<float>(1.1 * ranges.minY), static_cast<float>(1.1 * ranges.maxY));
    axisZ->setRange(static_cast<float>(1.1 * ranges.minZ), static_cast<float>(1.1 * ranges.maxZ));
    axisX->setLabelAutoRotation(30);
    axisY->setLabelAutoRotation(90);
    axisZ->setLabelAutoRotation(30);
    if (!graph->seriesList().contains(series))
        graph->addSeries(series);
    showRange(columns, ranges.minX, ranges.maxX, columnCount);
    showRange(rows, ranges.minZ, ranges.maxZ, rowCount);
}
