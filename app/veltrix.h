#pragma once
// The main window: owner of the form, the actions, the sensor list, the settings record,
// the acquisition thread and the displays. Its member definitions are split by concern:
// veltrix.cpp (start-up, shut-down), veltrix_actions.cpp (actions, menus, tool bars,
// enabling), veltrix_registry.cpp (sensor list, stored ranges), veltrix_controls.cpp
// (settings panel), veltrix_acquisition.cpp (connection and acquisition control),
// veltrix_view.cpp (image view, view commands), veltrix_settingsfile.cpp (settings files).

#include "display/profiledata.h"
#include "display/offlineprofiles.h"
#include "files/pointcloudexport.h"
#include "files/productparameters.h"
#include "sensor/sensorparameters.h"

#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <qcustomplot.h> // QCPRange is passed by value to slots (moc needs it complete)

class FullRateRecorder;
class QAction;
class QCheckBox;
class QLabel;
class QSpinBox;
class QTimer;
class QComboBox;
class QLabel;
class QTimer;
class QLineEdit;
class QMenu;
class QMouseEvent;
class QToolBar;
class QGraphicsScene;
class QCPItemRect;
class QCPItemStraightLine;
class TcpThread;
class SurfaceGraph;

namespace Ui {
class Veltrix;
}

class Veltrix : public QMainWindow
{
    Q_OBJECT

public:
    explicit Veltrix(QWidget* parent = nullptr);
    ~Veltrix() override;

    // The base directory derived at start-up (3DSensor.ini and the default files live there).
    QString baseDirectory() const { return baseDir; }

private slots:
    // Connection and acquisition control
    void connectSensor();
    void disconnectSensor();
    void updateOnline();
    void recordImg();
    void stopImg();
    void captureImg();
    // Sensor registry
    void addSensor();
    void displayInfo();
    void removeSensor();
    void saveLastZoomXAxis(QCPRange xRange);
    void saveLastZoomYAxis(QCPRange yRange);
    // Help
    void about();
    void aboutFirmware();
    void checkGUIEnabled();
    void writeToSensor();
    // Frames from the acquisition thread
    void loadImage(unsigned char* ImgBuf, int Width, int Height);
    void loadProfile(int* intDataX, short* intDataZ, float* floatDataX, float* floatDataZ,
                     bool isInteger, int points, int yPos, float receiveFPS);
    void loadProduct(float* dataX, float* dataZ, int points, unsigned char* ProductRes,
                     float receiveFPS);
    // The acquisition thread has ended its loop: the sensor may be used again.
    void acquisitionLoopEnded();
    // Image view and view commands (veltrix_view.cpp); settings files
    // (veltrix_settingsfile.cpp)
    void fitView();
    void panView();
    void zoomIn();
    void zoomOut();
    void zoomSetting();
    void saveImage();
    void showGraylevel(int x, int y);
    void saveSettingsFile();
    void openSettingsFile();
    // 3D view
    void display3D();
    // Scanning (veltrix_scan.cpp)
    void exportPointCloud();
    void pollFullRateRecording();
    // Profile plot (veltrix_plot.cpp) and ROI training on it (veltrix_roi.cpp)
    void show2DProfilePoint(QMouseEvent* event);
    void mouseWheel();
    void selectionChangedAxis();
    void pushButton_ROI_KS();
    void mousePressKS(QMouseEvent* event);
    void mouseMoveKS(QMouseEvent* event);
    void mouseReleaseKS(QMouseEvent* event);

private:
    friend class VeltrixTestAccess; // tests read and drive the window's state through it

    // Start-up steps
    void createActions();
    void createMenus();
    void createToolBars();
    void loadSensorRegistry();
    void initControls();
    void applyParametersToControls();
    void refreshSensorLists();
    QString readRegistryValue(const QString& group, const QString& key) const;
    void writeRegistryValue(const QString& group, const QString& key, const QString& value) const;
    QString registryPath() const;
    void writeStoredRanges() const;

    // Acquisition control
    bool readSensorSettings();
    bool writeSensorSettings();
    bool waitForLoopEnd(int timeoutMs);
    void setAcquisitionActions(int connect, int disconnect, int capture, int record, int stop,
                               int saveImage);
    void setStatus(const QString& text, const QString& style);
    void stopAcquisitionForShutdown();
    bool startAcquisition(bool record);
    bool loadProductFromSensor();
    bool sendProductIfPending(bool resync);
    void writeProductControls();
    bool readProductControls();
    void rememberPlotRanges(int unit);
    void prepareProfilePlot();
    void createSurfaceView();
    void connectSurfaceGraph();
    void setupProfilePlot();
    ProfileData::FieldOfView fieldOfView() const;
    void fitProfileOnce(int unit);
    void showFrameRate(float receiveFPS);

    // Link health (veltrix_linkhealth.cpp): frame counters, silence, a lost link.
    void startHealthWatch();
    void refreshHealth();
    void clearNoDataNotice();
    // After the loop ended: tells a lost link or an unconfirmed stop; true when the link
    // was lost (the window is then disconnected).
    bool reportLoopEnd();
    void reconnectAndResume(bool record, int sensorModeIndex);

    Ui::Veltrix* form = nullptr;
    int roiIndex = 0;
    int productPending = 1;
    int roiTrainingState = 0;
    QCPItemRect* roiRect[2] = {nullptr, nullptr};
    QCPItemStraightLine* roiLine[2] = {nullptr, nullptr};
    int online = 1;
    int sensorConnected = 0;
    int recording = 0;
    int sensorCount = 0;
    int acquiring = 0;
    int maxRecordedProfiles = 1000;
    int recordedFrameCount = 0;
    QStringList sensorNames;
    SensorParameters params;
    ProductParameters product;
    bool fitNextImage = true;
    bool autoFitProfile = true;
    double storedRanges[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int plotUnit = 0;
    QString baseDir;
    QString dataDir;
    QString productFilePath;
    QString settingsFilePath;

    QMenu* fileMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* actionMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QToolBar* fileToolBar = nullptr;
    QToolBar* actionToolBar = nullptr;
    QToolBar* viewToolBar = nullptr;
    QToolBar* statusToolBar = nullptr;

    QAction* saveSettingsAct = nullptr;
    QAction* loadSettingsAct = nullptr;
    QAction* loadProductAct = nullptr;
    QAction* saveProductAct = nullptr;
    QAction* connectAct = nullptr;
    QAction* disconnectAct = nullptr;
    QAction* captureAct = nullptr;
    QAction* recordAct = nullptr;
    QAction* stopAct = nullptr;
    QAction* writeFlashAct = nullptr;
    QAction* quitAct = nullptr;
    QAction* fitViewAct = nullptr;
    QAction* panAct = nullptr;
    QAction* zoomInAct = nullptr;
    QAction* zoomOutAct = nullptr;
    QAction* xAxisZoomAct = nullptr;
    QAction* zAxisZoomAct = nullptr;
    QAction* saveImageAct = nullptr;
    QAction* openDataAct = nullptr;
    QAction* nextDataAct = nullptr;
    QAction* previousDataAct = nullptr;
    QAction* aboutAct = nullptr;
    QAction* aboutQtAct = nullptr;
    QAction* aboutSensorAct = nullptr;
    QAction* display3DAct = nullptr;

    QComboBox* sensorCombo = nullptr;
    QLineEdit* statusLine = nullptr;
    QPixmap lastImage;
    QFile recordFile;
    TcpThread* tcpThread = nullptr;
    QGraphicsScene* imageScene = nullptr;
    // The 3D view's controller (the zoom commands call zoomInView/zoomOutView on tab 2).
    SurfaceGraph* surfaceGraph = nullptr;
    // Frames that reached loadImage, loadProfile and loadProduct.
    quint64 shownFrames[3] = {0, 0, 0};

    // Image view and settings files
    void connectViewAndSettingsCommands();
    void zoomPlot(double factor);
    void readSettingsControls();
    QImage lastFrame; // the last image as 8-bit gray (lastImage is its pixmap)
    int imageFrameCount = 0;
    double imageRateWindowStart = 0.0; // seconds since the epoch

    // Product parameter files (veltrix_product.cpp) and offline browsing of recorded profiles
    // (veltrix_offline.cpp).
private slots:
    void exportProductFile(QString* text = nullptr);
    void importProductFile(const QString& fileName = QString());
    void openData();
    void nextData();
    void previousData();

private:
    void connectProductAndDataActions();
    void applyImportedProduct(const QString& path);
    void showOfflineBlock();
    OfflineProfiles offlineProfiles; // the file browsed, its block starts and the block shown
    QVector<QCPGraphData> offlineGraphData;
    // Scanning (veltrix_scan.cpp): point-cloud export.
    void setUpScanning();
    void runPointCloudExport(const QString& source, const QString& target,
                             const PointCloudExport::Options& options);
    QAction* exportCloudAct = nullptr;
    // Full-rate recording.
    void setUpFullRateControls();
    bool recordsEveryProfile() const;
    bool startFullRateRecording(const QString& name);
    void finishFullRateRecording();
    void showRecordStatus(quint64 profiles, quint64 bytes);
    QCheckBox* fullRateBox = nullptr;
    QSpinBox* fullRateCount = nullptr;
    QLabel* recordStatus = nullptr;
    QTimer* recordPoll = nullptr;
    FullRateRecorder* fullRateRecorder = nullptr;
    QLabel* healthLabel = nullptr;
    QTimer* healthTimer = nullptr;
    quint64 healthLastReceived = 0;
    qint64 healthLastFrameMs = 0; // when the received count last changed (ms since epoch)
};
