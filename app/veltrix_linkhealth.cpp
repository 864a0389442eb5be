// Link health while an acquisition runs: frame counters in the status bar, a notice when the
// sensor falls silent, and what happens when the loop ends on a broken link or on a stop the
// sensor did not confirm.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "sensor/sensorlimits.h"
#include "sensor/tcpthread.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace {

// The operator's words for the transport's cause of a lost link.
QString lossCause(int error)
{
    switch (error) {
    case channelClosedByPeer:
        return Veltrix::tr("the sensor closed the connection");
    case 0:
        return Veltrix::tr("the connection was closed");
    case ECONNRESET:
    case EPIPE:
        return Veltrix::tr("connection reset");
    case ETIMEDOUT:
        return Veltrix::tr("connection timed out");
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
        return Veltrix::tr("the sensor cannot be reached");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

void Veltrix::startHealthWatch()
{
    if (!healthLabel) {
        healthLabel = new QLabel(this);
        statusBar()->addPermanentWidget(healthLabel);
        healthTimer = new QTimer(this);
        healthTimer->setInterval(SensorLimits::healthRefreshMs);
        connect(healthTimer, &QTimer::timeout, this, &Veltrix::refreshHealth);
    }
    healthLastReceived = 0;
    healthLastFrameMs = QDateTime::currentMSecsSinceEpoch();
    healthLabel->setText(tr("Frames received 0, shown 0, skipped 0, bad 0"));
    healthTimer->start();
}

void Veltrix::clearNoDataNotice()
{
    if (statusBar()->currentMessage().startsWith(tr("No data for %1 s").section(' ', 0, 1)))
        statusBar()->clearMessage();
}

void Veltrix::refreshHealth()
{
    const quint64 received = tcpThread->receivedFrames();
    const quint64 shown = tcpThread->emittedFrames();
    const quint64 skipped = received > shown ? received - shown : 0;
    healthLabel->setText(tr("Frames received %1, shown %2, skipped %3, bad %4")
                             .arg(received)
                             .arg(shown)
                             .arg(skipped)
                             .arg(tcpThread->badFrames()));
    if (!tcpThread->isRunning()) {
        healthTimer->stop();
        clearNoDataNotice();
        return;
    }
    // Silence is not a failure (an external trigger may keep a sensor quiet for minutes).
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QString notice = tr("No data for %1 s");
    if (received != healthLastReceived) {
        healthLastReceived = received;
        healthLastFrameMs = now;
        clearNoDataNotice();
    } else if (now - healthLastFrameMs >= SensorLimits::noDataNoticeMs) {
        statusBar()->showMessage(notice.arg((now - healthLastFrameMs) / 1000));
    }
}

bool Veltrix::reportLoopEnd()
{
    refreshHealth();
    const TcpThread::LoopEnd end = tcpThread->loopEnd();
    if (end == TcpThread::LoopEnd::StreamMayContinue && sensorConnected) {
        setStatus(tr("Stop not confirmed: the sensor may still be streaming"),
                  "background-color: orange");
        return false;
    }
    if (end != TcpThread::LoopEnd::LinkLost || !sensorConnected)
        return false;

    // The loop has ended by itself: close what the acquisition had open, keep the file.
    const bool wasAcquiring = acquiring != 0;
    const bool wasRecording = recording != 0;
    const int modeIndex = form->cBSensorMode->currentIndex();
    recording = 0;
    acquiring = 0;
    if (recordFile.isOpen()) {
        recordFile.flush();
        recordFile.close();
    }
    tcpThread->closeConnection();
    sensorConnected = 0;
    params.firmwareVersion = 0;
    setAcquisitionActions(1, 0, 0, 0, 0, 1);
    checkGUIEnabled();
    const QString text = tr("Connection lost: %1").arg(lossCause(tcpThread->lossError()));
    setStatus(text, "background-color: red");
    // The cause is longer than the usual states: let the whole line show from its start.
    const int needed = statusLine->fontMetrics().horizontalAdvance(text) + 16;
    statusLine->setFixedWidth(qMax(statusLine->width(), needed));
    statusLine->setCursorPosition(0);
    statusBar()->clearMessage();

    if (!wasAcquiring) {
        Dialogs::critical(this, tr("Lumo"), text);
        return true;
    }
    if (Dialogs::criticalWithChoice(this, tr("Lumo"), text, tr("Reconnect and resume")))
        QTimer::singleShot(0, this, [this, wasRecording, modeIndex] {
            reconnectAndResume(wasRecording, modeIndex);
        });
    return true;
}

// Connects to the sensor chosen in the tool bar (the one that was lost, unless the operator
// picked another meanwhile) and starts the same kind of acquisition in the same sensor mode
// (connecting shows the sensor's own mode); a recording goes on in a new file.
void Veltrix::reconnectAndResume(bool record, int sensorModeIndex)
{
    if (sensorConnected || !online)
        return;
    connectSensor();
    if (!sensorConnected || statusLine->text() != tr("Connected"))
        return;
    form->cBSensorMode->setCurrentIndex(sensorModeIndex);
    if (record)
        recordImg();
    else
        captureImg();
}
