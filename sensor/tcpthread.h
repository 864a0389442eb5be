#pragma once
// Owns the sensor connection. Outside acquisition it is a plain front for the protocol,
// called from the GUI thread; during a capture or recording run() reads data frames in its
// own thread and hands each shown frame to the window through queued signals.

#include "sensor/profilesink.h"
#include "sensor/sensorconnection.h"
#include "sensor/sensorparameters.h"

#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

class TcpThread : public QThread
{
    Q_OBJECT

public:
    // How the last acquisition loop ended.
    enum class LoopEnd
    {
        Stopped,           // the stop was requested and the sensor confirmed NBR_LINES 0
        StreamMayContinue, // the stop was requested, the sensor did not confirm it
        LinkLost,          // the connection broke (cause: lossError())
    };

    explicit TcpThread(QObject* parent = nullptr);
    ~TcpThread() override;

    // Stores the endpoint and opens the connection; an address that is not four dotted
    // numbers 0..255 (or a port outside 0..65535) fails without connecting.
    bool openConnection(const QString& address, int port);
    // The first half of openConnection: validates and stores the endpoint, connects nothing.
    bool setSensorEndpoint(const QString& address, int port);
    void closeConnection();
    bool readParameter(bool resync, int command, int32_t& minimum, int32_t& maximum,
                       int32_t& value);
    bool writeParameter(bool resync, int command, bool set, int32_t value);
    bool readText(bool resync, int command, QString& text);
    bool writeText(bool resync, int command, const QString& text);
    bool storeToFlash();
    bool readAllSettings(SensorParameters& params);
    void setMode(int mode);
    void requestStop();
    bool probeStream();
    bool isLoopFinished() const { return loopFinished.load(std::memory_order_acquire); }

    // Number of frames the loop received (shown or dropped) since the last start.
    quint64 receivedFrames() const { return framesReceived.load(std::memory_order_relaxed); }
    // Frames the loop emitted since the last start.
    quint64 emittedFrames() const { return framesEmitted.load(std::memory_order_relaxed); }
    // Frames the receivers found bad since the last start.
    quint64 badFrames() const { return framesBad.load(std::memory_order_relaxed); }
    // Valid once the loop has finished.
    LoopEnd loopEnd() const { return LoopEnd(loopEndState.load(std::memory_order_acquire)); }
    // The transport's cause of a lost link (SocketChannel::lossError); 0 while not lost.
    int lossError() const { return lossCause.load(std::memory_order_acquire); }

    SensorConnection& sensorConnection() { return connection; }

    // Every profile the profile loop receives (modes 2 and 4) is also given to `sink`; null
    // for none. Set while no loop runs; the sink must outlive the loop.
    void setProfileSink(ProfileSink* sink) { profileSink.store(sink, std::memory_order_release); }

signals:
    void ImageReady(unsigned char* ImgBuf, int Width, int Height);
    void ProfileReady(int* intDataX, short* intDataZ, float* floatDataX, float* floatDataZ,
                      bool isInteger, int points, int yPos, float receiveFPS);
    void ProductReady(float* dataX, float* dataZ, int points, unsigned char* ProductRes,
                      float receiveFPS);

protected:
    void run() override;

private:
    struct FrameBuffers;
    struct Pool;

    std::atomic<bool> loopFinished{false};
    // Counts returns from run(). QThread's own wait uses locks ThreadSanitizer cannot see;
    // loading this after a wait orders everything run() did before what follows.
    std::atomic<int> runReturns{0};
    std::atomic<bool> stopFlag{false}; // the stop request; an atomic instead of a mutex
    int mode = 0;
    SensorConnection connection;

    std::atomic<quint64> framesReceived{0};
    std::atomic<quint64> framesEmitted{0};
    std::atomic<ProfileSink*> profileSink{nullptr};
    std::atomic<quint64> framesBad{0};
    std::atomic<int> loopEndState{int(LoopEnd::Stopped)};
    std::atomic<int> lossCause{0};

    // Preallocated buffer sets handed to the window by pointer, and the GUI-thread object
    // that takes them over and gives them back (see tcpthread.cpp).
    std::unique_ptr<Pool> pool;
    std::unique_ptr<QObject> keeper;

    static bool runsLoop(int mode);
    bool stopRequested() const;
    void imageLoop();
    void profileLoop();
    void beginLoop();
    bool linkBroken(); // after a failed receive: true when the loop must end
    void countBad();
    void finishLoop();
    FrameBuffers* takeFreeSet();
    void handOver(FrameBuffers* set);
    // Receives one frame of the loop's kind into `set`; yPos/points/... go to the outs.
    bool receiveInto(FrameBuffers& set, int& type, bool& isInteger, int& points, int& yPos,
                     int& reserved, float& receiveFPS);
    void drain(float& receiveFPS);
    void passToSink(const FrameBuffers& set, bool isInteger, int points);
};
