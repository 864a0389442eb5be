// The 3D view: the surface graph in the "3D View" tab, the controls of the "3D Display" tab
// wired to it, and "&3D Display", which shows a recorded profile file as a surface.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "surface/surfacegraph.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QtDataVisualization/Q3DSurface>

using namespace QtDataVisualization;

// The graph in its window container, the theme list and the rotation sliders.
void Veltrix::createSurfaceView()
{
    auto* graph = new Q3DSurface();
    QWidget* container = QWidget::createWindowContainer(graph);
    container->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    form->hzLayout3D->addWidget(container, 1);

    // Index = theme type of the graph.
    form->cBThemeList->clear();
    form->cBThemeList->addItems({tr("Qt"), tr("Primary Colors"), tr("Digia"), tr("Stone Moss"),
                                 tr("Army Blue"), tr("Retro"), tr("Ebony"), tr("Isabelle")});

    form->hSRotationX->setTickInterval(30);
    form->hSRotationX->setTickPosition(QSlider::TicksBelow);
    form->hSRotationX->setRange(-180, 180);
    form->hSRotationX->setValue(0);
    form->hSRotationY->setTickInterval(15);
    form->hSRotationY->setTickPosition(QSlider::TicksAbove);
    form->hSRotationY->setRange(-90, 90);
    form->hSRotationY->setValue(0);

    surfaceGraph = new SurfaceGraph(graph);
    // Deleted with the window, after the graph's container.
    surfaceGraph->setParent(this);
}

// The 3D display controls steer the surface graph.
void Veltrix::connectSurfaceGraph()
{
    SurfaceGraph* s = surfaceGraph;
    connect(form->rBModeNon, &QRadioButton::toggled, s, &SurfaceGraph::selectNone);
    connect(form->rBModeItem, &QRadioButton::toggled, s, &SurfaceGraph::selectItem);
    connect(form->rBModeSliceRow, &QRadioButton::toggled, s, &SurfaceGraph::selectRowSlice);
    connect(form->rBModeSliceColumn, &QRadioButton::toggled, s, &SurfaceGraph::selectColumnSlice);
    connect(form->hSAxisMinSliderX, &QSlider::valueChanged, s, &SurfaceGraph::setColumnRangeMin);
    connect(form->hSAxisMaxSliderX, &QSlider::valueChanged, s, &SurfaceGraph::setColumnRangeMax);
    connect(form->hSAxisMinSliderZ, &QSlider::valueChanged, s, &SurfaceGraph::setRowRangeMin);
    connect(form->hSAxisMaxSliderZ, &QSlider::valueChanged, s, &SurfaceGraph::setRowRangeMax);
    connect(form->cBThemeList, qOverload<int>(&QComboBox::currentIndexChanged), s,
            &SurfaceGraph::changeTheme);
    connect(form->pBGradientBtoYPB, &QPushButton::pressed, s,
            &SurfaceGraph::applyBlueYellowGradient);
    connect(form->pBGradientGtoRPB, &QPushButton::pressed, s, &SurfaceGraph::applyGreenRedGradient);
    connect(form->hSRotationX, &QSlider::valueChanged, s, &SurfaceGraph::rotateHorizontal);
    connect(form->hSRotationY, &QSlider::valueChanged, s, &SurfaceGraph::rotateVertical);
    connect(display3DAct, &QAction::triggered, this, &Veltrix::display3D);
    // The form starts with "Item" checked, which toggles nothing: give the graph that mode.
    if (form->rBModeItem->isChecked())
        s->selectItem();
}

void Veltrix::display3D()
{
    const QString path = Dialogs::getOpenFileName(this, tr("Open offline data for 3D display"),
                                                  dataDir, tr("Parameter files (*.txt)"));
    if (path.isEmpty())
        return;
    surfaceGraph->setDataFile(path);
    QString error;
    if (!surfaceGraph->loadDataFile(&error)) {
        // The graph keeps showing what it showed.
        Dialogs::critical(nullptr, tr("Lumo"), error);
        return;
    }
    surfaceGraph->setColumnSliders(form->hSAxisMinSliderX, form->hSAxisMaxSliderX);
    surfaceGraph->setRowSliders(form->hSAxisMinSliderZ, form->hSAxisMaxSliderZ);
    surfaceGraph->showSurface();
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    name.remove(QStringLiteral(".txt"), Qt::CaseInsensitive);
    statusLine->setText(name);
    statusLine->setStyleSheet(QStringLiteral("background-color: blue"));
}
