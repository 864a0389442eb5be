// Start-up and shut-down of the main window.
#include "app/veltrix.h"

#include "app/paths.h"
#include "sensor/tcpthread.h"
#include "ui_veltrix.h"

#include <QDir>
#include <QGraphicsScene>
#include <QLinearGradient>
#include <QPainter>
#include <QStyle>
#include <qcustomplot.h>

namespace {
// A vertical colour bar for the gradient buttons of the 3D display tab, the first stop at
// the bottom.
QIcon gradientIcon(const QGradientStops& stops)
{
    const QSize size(24, 100);
    QLinearGradient gradient(0, size.height(), 0, 0);
    gradient.setStops(stops);
    QPixmap pixmap(size);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRect(QRect(QPoint(0, 0), size));
    return QIcon(pixmap);
}
} // namespace

// The icons live in a static library; make sure its resources are registered.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

Veltrix::Veltrix(QWidget* parent) : QMainWindow(parent), form(new Ui::Veltrix)
{
    initResources();
    form->setupUi(this);
    // The auto-shutter pairs are coupled as soon as the form exists.
    connect(form->sBAutoShutterMin, qOverload<int>(&QSpinBox::valueChanged), form->hSAutoShMin,
            &QSlider::setValue);
    connect(form->hSAutoShMin, &QSlider::valueChanged, form->sBAutoShutterMin, &QSpinBox::setValue);
    connect(form->sBAutoShutterMax, qOverload<int>(&QSpinBox::valueChanged), form->hSAutoShMax,
            &QSlider::setValue);
    connect(form->hSAutoShMax, &QSlider::valueChanged, form->sBAutoShutterMax, &QSpinBox::setValue);

    // Plot items: the two ROI rectangles, then the two fitted lines. The plot owns them.
    for (QCPItemRect*& rect : roiRect) {
        rect = new QCPItemRect(form->customPlot);
        rect->setPen(QPen(Qt::red));
        rect->setBrush(QBrush(QColor(255, 0, 0, 20), Qt::SolidPattern));
        rect->topLeft->setCoords(0, 0);
        rect->bottomRight->setCoords(0, 0);
    }
    for (QCPItemStraightLine*& line : roiLine) {
        line = new QCPItemStraightLine(form->customPlot);
        line->setPen(QPen(Qt::green));
        line->point1->setCoords(0, 0);
        line->point2->setCoords(0, 0);
    }
    roiTrainingState = 0;
    productPending = 1;
    // The plot's mouse signals are connected with the plot set-up below.
    connect(form->pBACTrainROI1, &QPushButton::clicked, this, &Veltrix::pushButton_ROI_KS);
    connect(form->pBACTrainROI2, &QPushButton::clicked, this, &Veltrix::pushButton_ROI_KS);

    const Paths::Derived paths = Paths::deriveFrom(QDir().absolutePath());
    baseDir = paths.baseDir;
    dataDir = paths.dataDir;
    productFilePath = paths.productFilePath;
    settingsFilePath = paths.settingsFilePath;

    tcpThread = new TcpThread(this);
    connect(tcpThread, &TcpThread::ImageReady, this, &Veltrix::loadImage);
    connect(tcpThread, &TcpThread::ProfileReady, this, &Veltrix::loadProfile);
    connect(tcpThread, &TcpThread::ProductReady, this, &Veltrix::loadProduct);

    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::TopRightCorner, Qt::RightDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);

    createActions();
    createMenus();
    createToolBars();
    connectProductAndDataActions();
    loadSensorRegistry();
    setUpScanning();
    initControls();

    connect(form->rBOnline, &QRadioButton::clicked, this, &Veltrix::updateOnline);
    connect(form->rBOffline, &QRadioButton::clicked, this, &Veltrix::updateOnline);
    connect(form->pBAddSensor, &QPushButton::clicked, this, &Veltrix::addSensor);
    connect(form->lWSensorList, &QListWidget::currentItemChanged, this, &Veltrix::displayInfo);
    connect(form->pBRemoveSensor, &QPushButton::clicked, this, &Veltrix::removeSensor);
    connect(form->cBExposureMode, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &Veltrix::checkGUIEnabled);
    connect(form->cBTriggerMode, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &Veltrix::checkGUIEnabled);

    imageScene = new QGraphicsScene(this);
    form->graphicsView->setScene(imageScene);
    form->graphicsView->setAttribute(Qt::WA_MouseTracking);
    // The view commands, the gray-level read-out, re-fitting when a dock moves, and the
    // settings file commands.
    connectViewAndSettingsCommands();

    setupProfilePlot();

    // The 3D surface graph, wired to the 3D display controls.
    createSurfaceView();
    form->pBGradientBtoYPB->setIcon(
        gradientIcon({{0.0, Qt::black}, {0.33, Qt::blue}, {0.67, Qt::red}, {1.0, Qt::yellow}}));
    form->pBGradientBtoYPB->setIconSize(QSize(24, 100));
    form->pBGradientGtoRPB->setIcon(gradientIcon(
        {{0.0, Qt::darkGreen}, {0.5, Qt::yellow}, {0.8, Qt::red}, {1.0, Qt::darkRed}}));
    form->pBGradientGtoRPB->setIconSize(QSize(24, 100));
    connectSurfaceGraph();
    form->rBModeItem->setChecked(true);
    form->cBThemeList->setCurrentIndex(2);
    form->tabWidget->setTabEnabled(3, false);

    // The settings dock is never lower than its tallest tab plus room for a horizontal
    // scroll bar (narrow windows), so the tabs never need vertical scrolling.
    form->scrollArea_2->setMinimumHeight(
        form->scrollAreaWidgetContents_2->minimumSizeHint().height() +
        style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

Veltrix::~Veltrix()
{
    // A running capture or recording is stopped and its thread waited for before the
    // thread object goes with the window.
    stopAcquisitionForShutdown();
    delete form;
    form = nullptr;
    tcpThread->quit();
    writeStoredRanges();
}
