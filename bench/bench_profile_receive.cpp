// Sustained receive rate of 1280-point column profiles (type 2, format 0) from the simulator over
// loopback, counted by the acquisition loop while a receiver in the main thread gets the shown
// frames (about 10 per second), with the CPU time the client used; next to the raw loopback
// throughput measured in the same run.
//
//   bench_profile_receive [--rate R] [--seconds S] [--points N]
//
// --rate 0 lets the simulator send as fast as it can.

#include "sensor/sensorconnection.h"
#include "sensor/tcpthread.h"
#include "simulator/sensorsimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

double cpuSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Bytes per second one TCP connection on 127.0.0.1 carries, 1 MiB writes and reads.
double loopbackBytesPerSecond(double seconds)
{
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(listener);
        return 0.0;
    }
    std::thread sender([addr, seconds] {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            std::vector<char> block(1 << 20, 'x');
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < seconds * 1000)
                if (::send(s, block.data(), block.size(), MSG_NOSIGNAL) <= 0)
                    break;
        }
        ::close(s);
    });
    int r = ::accept(listener, nullptr, nullptr);
    std::vector<char> block(1 << 20);
    QElapsedTimer clock;
    clock.start();
    double total = 0;
    for (;;) {
        ssize_t n = ::recv(r, block.data(), block.size(), 0);
        if (n <= 0)
            break;
        total += double(n);
    }
    const double elapsed = clock.elapsed() / 1000.0;
    sender.join();
    ::close(r);
    ::close(listener);
    return elapsed > 0 ? total / elapsed : 0.0;
}

struct Receiver : QObject
{
    quint64 shown = 0;
    float lastRate = 0.0f;
    void onProfile(int*, short*, float*, float*, bool, int, int, float receiveFPS)
    {
        ++shown;
        lastRate = receiveFPS;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double rate = 50000;
    double seconds = 8;
    int points = 1280;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rate"))
            rate = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--points"))
            points = std::atoi(argv[i + 1]);
    }

    const double loopback = loopbackBytesPerSecond(1.0);

    sim::Options options;
    options.rate = rate;
    options.points = points;
    options.profileFormat = 0;
    options.profileType = 2;
    sim::SensorSimulator sensor(options);
    if (!sensor.start()) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }

    TcpThread thread;
    Receiver receiver;
    QObject::connect(&thread, &TcpThread::ProfileReady, &receiver, &Receiver::onProfile);
    clockid_t loopClock{};
    bool haveLoopClock = false;
    QObject::connect(
        &thread, &QThread::started, &thread,
        [&] { haveLoopClock = pthread_getcpuclockid(pthread_self(), &loopClock) == 0; },
        Qt::DirectConnection);

    if (!thread.openConnection("127.0.0.1", sensor.port()) ||
        !thread.writeParameter(true, SensorProtocol::cmdMode, true, 2) ||
        !thread.writeParameter(false, SensorProtocol::cmdNbrLines, true, -1)) {
        std::fprintf(stderr, "could not start the stream\n");
        return 1;
    }
    thread.setMode(2);
    thread.start();

    // Warm up for 2.5 s (the frame rate is measured over 2 s), then measure.
    double simStart = 0, cpuStart = 0, mainCpuStart = 0;
    quint64 receivedStart = 0, shownStart = 0;
    QElapsedTimer wall;
    QTimer::singleShot(2500, Qt::PreciseTimer, [&] {
        simStart = double(sensor.framesSent());
        receivedStart = thread.receivedFrames();
        shownStart = receiver.shown;
        cpuStart = haveLoopClock ? cpuSeconds(loopClock) : 0.0;
        mainCpuStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        wall.start();
    });
    QTimer::singleShot(int(2500 + seconds * 1000), Qt::PreciseTimer, [&] { app.quit(); });
    app.exec();

    const double elapsed = wall.elapsed() / 1000.0;
    const double sent = double(sensor.framesSent()) - simStart;
    const double received = double(thread.receivedFrames() - receivedStart);
    const double shown = double(receiver.shown - shownStart);
    const double loopCpu = haveLoopClock ? cpuSeconds(loopClock) - cpuStart : -1.0;
    const double mainCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - mainCpuStart;
    const float lastRate = receiver.lastRate;

    thread.requestStop();
    thread.wait(10000);
    thread.closeConnection();

    const double trueRate = sent / elapsed;
    const double frameBytes = 28.0 + 2.0 * points;
    std::printf("loopback raw throughput      %10.1f MB/s\n", loopback / 1e6);
    std::printf("profiles of %d points (%.0f bytes), measured over %.1f s\n", points, frameBytes,
                elapsed);
    std::printf("simulator sent               %10.0f profiles/s (%.1f MB/s)\n", trueRate,
                trueRate * frameBytes / 1e6);
    std::printf("client received              %10.0f profiles/s\n", received / elapsed);
    std::printf("receiveFPS reported          %10.0f (%+.2f %% of the true rate)\n", lastRate,
                trueRate > 0 ? (lastRate - trueRate) * 100.0 / trueRate : 0.0);
    std::printf("shown to the receiver        %10.1f per second\n", shown / elapsed);
    std::printf("client CPU: acquisition loop %5.1f %%, main thread %5.1f %% of one core\n",
                loopCpu * 100.0 / elapsed, mainCpu * 100.0 / elapsed);
    return 0;
}
