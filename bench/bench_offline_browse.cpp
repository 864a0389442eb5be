// Stepping through a recorded profile file on the real window: writes a recording of P profiles
// of N points, opens it with "&Open data" and steps with "&Next data" to the last profile and
// with "&Previous data" back to the first. Each step is timed in two passes: the command alone
// (reading the block, handing it to graph 0, the replot into the plot's buffer) and the command
// with the paint that follows it; wall time and the GUI thread's CPU time (the latter is what a
// busy machine does not inflate). Next to it, in the same run: the block reader alone stepping
// the same way, and the time to read and parse the whole file once. Needs a display (run under
// xvfb-run).
//
//   bench_offline_browse [--profiles P] [--points N]

#include "app/dialogs.h"
#include "app/veltrix.h"
#include "display/offlineprofiles.h"
#include "files/recordedprofile.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <time.h>
#include <vector>

namespace {

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Figures
{
    double median = 0, max = 0, first100 = 0, last100 = 0; // ms
};

double medianOf(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

Figures summarize(const std::vector<double>& ms)
{
    Figures f;
    f.median = medianOf(ms);
    f.max = ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    const std::size_t n = std::min<std::size_t>(100, ms.size());
    f.first100 = medianOf(std::vector<double>(ms.begin(), ms.begin() + n));
    f.last100 = medianOf(std::vector<double>(ms.end() - n, ms.end()));
    return f;
}

void print(const QByteArray& what, const Figures& f)
{
    std::printf("%-44s median %6.3f ms  max %6.3f ms  (first 100: %6.3f, last 100: %6.3f)\n",
                what.constData(), f.median, f.max, f.first100, f.last100);
}

bool writeRecording(const QString& path, int profiles, int points)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::vector<char> block;
    char line[RecordedProfile::kMaxLineLength];
    for (int frame = 0; frame < profiles; ++frame) {
        block.clear();
        for (int i = 0; i < points; ++i) {
            const double z = 300 + 40 * std::sin(0.01 * i + 0.05 * frame);
            const std::size_t n = RecordedProfile::formatPointLine(line, i + 0.5, frame, z);
            block.insert(block.end(), line, line + n);
        }
        if (file.write(block.data(), qint64(block.size())) != qint64(block.size()))
            return false;
    }
    return true;
}

// One plain pass over the file: 1 MiB reads, every line parsed. Returns the points read.
long long readWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return -1;
    std::vector<char> buffer(1 << 20);
    std::size_t held = 0;
    long long count = 0;
    RecordedProfile::Point point;
    for (;;) {
        const qint64 got = file.read(buffer.data() + held, qint64(buffer.size() - held));
        if (got <= 0)
            break;
        held += std::size_t(got);
        std::size_t begin = 0;
        while (const void* nl = std::memchr(buffer.data() + begin, '\n', held - begin)) {
            const std::size_t end = std::size_t(static_cast<const char*>(nl) - buffer.data());
            count += RecordedProfile::parsePointLine({buffer.data() + begin, end - begin}, point);
            begin = end + 1;
        }
        std::memmove(buffer.data(), buffer.data() + begin, held - begin);
        held -= begin;
    }
    return count;
}

QAction* actionNamed(QWidget& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int profiles = 2000, points = 1280;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--profiles") == 0)
            profiles = std::max(2, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--points") == 0)
            points = std::max(1, std::atoi(argv[i + 1]));
    }

    QTemporaryDir dir; // working directory of the window and home of the recording
    QDir::setCurrent(dir.path());
    const QString path = dir.filePath("profile_pixel_bench.txt");
    if (!writeRecording(path, profiles, points)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("recording: %d profiles x %d points, %.1f MB\n", profiles, points,
                double(QFileInfo(path).size()) / 1e6);

    QElapsedTimer clock;
    clock.start();
    const long long read = readWholeFile(path);
    const double wholeMs = double(clock.nsecsElapsed()) / 1e6;

    Dialogs::setResponder([&path](const Dialogs::Shown&) { return path; });
    Veltrix window;
    window.resize(1600, 1000);
    window.show();
    window.findChild<QTabWidget*>("tWDisplay")->setCurrentIndex(1); // "2D Profile"
    window.findChild<QRadioButton*>("rBOffline")->click();
    QAction* open = actionNamed(window, "&Open data");
    QAction* next = actionNamed(window, "&Next data");
    QAction* previous = actionNamed(window, "&Previous data");
    if (!open || !next || !previous)
        return 1;
    open->trigger();
    app.processEvents();

    // Forward to the last profile and back, each step once without and once with its paint
    // (two passes, so both figures cover every position).
    std::vector<double> wall[2][2], cpu[2][2]; // [with paint][backward]
    for (int paint = 0; paint < 2; ++paint) {
        for (int backward = 0; backward < 2; ++backward) {
            QAction* step = backward ? previous : next;
            for (int i = 1; i < profiles; ++i) {
                const double cpu0 = cpuMs();
                clock.restart();
                step->trigger();
                if (paint)
                    app.processEvents();
                wall[paint][backward].push_back(double(clock.nsecsElapsed()) / 1e6);
                cpu[paint][backward].push_back(cpuMs() - cpu0);
                if (!paint)
                    app.processEvents(); // outside the measurement
            }
        }
    }

    // The block reader alone, the same steps.
    std::vector<double> reader[2];
    OfflineProfiles profilesOnly;
    profilesOnly.open(path);
    for (int backward = 0; backward < 2; ++backward)
        for (int i = 1; i < profiles; ++i) {
            clock.restart();
            backward ? profilesOnly.previous() : profilesOnly.next();
            reader[backward].push_back(double(clock.nsecsElapsed()) / 1e6);
        }

    std::printf("whole file read and parsed once: %.1f ms (%lld points)\n", wholeMs, read);
    const char* names[2] = {"next", "previous"};
    for (int backward = 0; backward < 2; ++backward) {
        const QByteArray n = names[backward];
        print(n + ", block reader alone, wall:", summarize(reader[backward]));
        print(n + ", command + replot, wall:", summarize(wall[0][backward]));
        print(n + ", command + replot, CPU:", summarize(cpu[0][backward]));
        print(n + ", command + replot + paint, wall:", summarize(wall[1][backward]));
        print(n + ", command + replot + paint, CPU:", summarize(cpu[1][backward]));
    }
    Dialogs::setResponder({});
    return 0;
}
