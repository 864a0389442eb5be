// Full-rate recording: for each profile rate, the simulator streams 1,280-point mm profiles
// (type 4) for S seconds to the acquisition loop, which hands every profile to the recorder;
// a rate passes when the recorder wrote every profile the loop received, without falling
// behind. Printed next to the disk's raw sequential write speed (dd conv=fdatasync) in the same
// directory, and the process's resident memory during and after each run.
//
//   bench_fullrate_record [--rates 2000,5000,8000] [--seconds 20] [--points 1280] [--dir DIR]

#include "files/fullraterecorder.h"
#include "sensor/sensorconnection.h"
#include "sensor/tcpthread.h"
#include "simulator/sensorsimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>
#include <cstring>

namespace {

double residentMb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch m =
        QRegularExpression("VmRSS:\\s+(\\d+) kB").match(QString::fromLatin1(f.readAll()));
    return m.hasMatch() ? m.captured(1).toDouble() / 1024.0 : -1;
}

QString ddSpeed(const QString& dir)
{
    const QString target = dir + "/bench_dd.tmp";
    QProcess dd;
    dd.start("dd", {"if=/dev/zero", "of=" + target, "bs=1M", "count=512", "conv=fdatasync"});
    dd.waitForFinished(120000);
    QFile::remove(target);
    const QStringList lines =
        QString::fromLocal8Bit(dd.readAllStandardError()).trimmed().split('\n');
    return lines.isEmpty() ? QString("?") : lines.last();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList rates = {"2000", "5000", "8000"};
    double seconds = 20;
    int points = 1280;
    QString dir = QDir::currentPath();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rates"))
            rates = QString(argv[i + 1]).split(',');
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--points"))
            points = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--dir"))
            dir = argv[i + 1];
    }
    std::printf("disk (dd bs=1M count=512 conv=fdatasync in %s): %s\n", qPrintable(dir),
                qPrintable(ddSpeed(dir)));
    std::printf("%d points per profile, mm, %.0f s per rate; memory before: %.0f MB\n", points,
                seconds, residentMb());

    double best = 0;
    for (const QString& rateText : rates) {
        const double rate = rateText.toDouble();
        sim::Options options;
        options.rate = rate;
        options.points = points;
        sim::SensorSimulator sensor(options);
        TcpThread thread;
        FullRateRecorder recorder;
        const QString path = dir + "/bench_fullrate.txt";
        QFile::remove(path);
        if (!sensor.start() || !thread.openConnection("127.0.0.1", sensor.port()) ||
            !thread.writeParameter(true, SensorProtocol::cmdMode, true, 4) ||
            !recorder.start(path, 4, ProfilePoints::FieldOfView(), 0)) {
            std::fprintf(stderr, "could not set up the run\n");
            return 1;
        }
        thread.setProfileSink(&recorder);
        thread.setMode(4);
        thread.writeParameter(false, SensorProtocol::cmdNbrLines, true, -1);
        thread.start();
        QElapsedTimer clock;
        clock.start();
        double peakMb = 0;
        while (clock.elapsed() < seconds * 1000) {
            QThread::msleep(200);
            QCoreApplication::processEvents(); // the shown frames' hand-back
            peakMb = std::max(peakMb, residentMb());
            if (recorder.status().state != FullRateRecorder::State::Recording)
                break;
        }
        const double elapsed = clock.elapsed() / 1000.0;
        thread.requestStop();
        thread.wait(20000);
        const quint64 received = thread.receivedFrames();
        const FullRateRecorder::Status s = recorder.finish();
        const double fileMb = QFileInfo(path).size() / 1e6;
        QFile::remove(path);
        const bool lossless =
            s.state == FullRateRecorder::State::Recording && s.profiles == received;
        std::printf("rate %6.0f/s: received %llu (%.0f/s), recorded %llu, %.0f MB (%.0f MB/s), "
                    "%s; peak memory %.0f MB\n",
                    rate, static_cast<unsigned long long>(received), received / elapsed,
                    static_cast<unsigned long long>(s.profiles), fileMb, fileMb / elapsed,
                    lossless                                         ? "lossless"
                    : s.state == FullRateRecorder::State::FellBehind ? "FELL BEHIND"
                                                                     : "LOST PROFILES",
                    peakMb);
        if (lossless && received / elapsed >= rate * 0.98)
            best = std::max(best, rate);
        thread.closeConnection();
        QCoreApplication::processEvents();
    }
    std::printf("highest lossless rate: %.0f profiles/s; memory after: %.0f MB\n", best,
                residentMb());
    return 0;
}
