// lumo-sensor-sim: the simulated profile sensor as a program. Serves until SIGINT or SIGTERM.

#include "simulator/framering.h"
#include "simulator/sensorsimulator.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

namespace {

constexpr int defaultProgramPort = 1096;

const char* usage =
    "Usage: lumo-sensor-sim [options]\n"
    "A simulated laser-line profile sensor for the Lumo client.\n"
    "\n"
    "  --bind ADDR     IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port N        TCP port (default 1096; 0 picks a free port)\n"
    "  --rate FPS      frames per second while streaming (default 100; 0 or less: as fast\n"
    "                  as the client reads)\n"
    "  --points N      points per profile (default 1280; 1..10000, point pairs at most 5000)\n"
    "  --width N       image width (default 1280; 0..1400)\n"
    "  --height N      image height (default 1024; 0..1400)\n"
    "  --format 0|1    column profiles: 0 int16 sixteenths of a pixel, 1 floats (default 0)\n"
    "  --type 2|3      column profile frame type, 3 adds point bytes (default 2)\n"
    "  --angle DEG     opening angle of the groove (default 90; 20..170)\n"
    "  --angle2 DEG    a second groove angle (default 90), taken in turns with --angle\n"
    "  --angle-every N frames per angle when the two alternate (default 0: never)\n"
    "  --invalid SHARE share of profile points reported invalid (default 0; 0..1)\n"
    "  --stream-through-resync\n"
    "                  keep streaming through the opening exchange (a faulty sensor)\n"
    "  --state FILE    the sensor's flash: \"store to flash\" saves the settings to FILE,\n"
    "                  which is read at the next start\n"
    "  --log           print every request to stderr\n"
    "  --help          show this text\n";

bool parseInt(const char* text, long lo, long hi, int& out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi)
        return false;
    out = int(v);
    return true;
}

bool parseDouble(const char* text, double& out)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0')
        return false;
    out = v;
    return true;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "lumo-sensor-sim: %s\n%s", message.c_str(), usage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    sim::Options options;
    options.port = defaultProgramPort;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (arg == "--log") {
            options.logRequests = true;
            continue;
        }
        if (arg == "--stream-through-resync") {
            options.resyncStopsStream = false;
            continue;
        }
        if (i + 1 >= argc)
            return fail("missing value for " + arg);
        const char* value = argv[++i];
        int n = 0;
        bool ok = true;
        if (arg == "--state") {
            ok = *value != '\0';
            options.statePath = value;
        } else if (arg == "--bind") {
            in_addr address{};
            ok = inet_pton(AF_INET, value, &address) == 1;
            options.bind = value;
        } else if (arg == "--port") {
            ok = parseInt(value, 0, 65535, n);
            options.port = uint16_t(n);
        } else if (arg == "--rate") {
            if (!parseDouble(value, options.rate) || !sim::isValidRate(options.rate))
                return fail("invalid value '" + std::string(value) +
                            "' for --rate: frames per second must be a finite number up to " +
                            std::to_string(int(sim::maxRate)));
        } else if (arg == "--points") {
            ok = parseInt(value, 1, sim::maxColumnPoints, options.points);
        } else if (arg == "--width") {
            ok = parseInt(value, 0, sim::maxImageSide, options.imageWidth);
        } else if (arg == "--height") {
            ok = parseInt(value, 0, sim::maxImageSide, options.imageHeight);
        } else if (arg == "--format") {
            ok = parseInt(value, 0, 1, options.profileFormat);
        } else if (arg == "--type") {
            ok = parseInt(value, 2, 3, options.profileType);
        } else if (arg == "--angle" || arg == "--angle2") {
            double& angle = arg == "--angle" ? options.angle : options.secondAngle;
            ok = parseDouble(value, angle) && angle >= sim::Groove::minAngleDeg &&
                 angle <= sim::Groove::maxAngleDeg;
        } else if (arg == "--angle-every") {
            ok = parseInt(value, 0, 1000000, options.angleEvery);
        } else if (arg == "--invalid") {
            ok = parseDouble(value, options.invalidShare) && options.invalidShare >= 0.0 &&
                 options.invalidShare <= 1.0;
        } else {
            return fail("unknown option " + arg);
        }
        if (!ok)
            return fail("invalid value '" + std::string(value) + "' for " + arg);
    }

    // The signals are taken by sigwait below, never by the server threads.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sim::SensorSimulator simulator(options);
    if (!simulator.start()) {
        std::fprintf(stderr, "lumo-sensor-sim: cannot listen on %s:%d: %s\n", options.bind.c_str(),
                     int(options.port), std::strerror(errno));
        return 1;
    }
    std::printf("lumo-sensor-sim listening on %s:%u\n", options.bind.c_str(),
                unsigned(simulator.port()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    simulator.stop();
    return 0;
}
