// Time per shown profile on the real window: loadProfile with 1280 points in mm (field of
// view, graph data, replot, status) including the paint that follows, next to the bare
// QCustomPlot replot of the same points on the same plot, measured interleaved in one run;
// and loadProfile while recording (one written and flushed line per point).
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" env QT_QPA_PLATFORM=xcb bench_profile_plot
//       [--frames N]

#include "simulator/scene.h"
#include "tests/app/windowfixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <time.h>

namespace {
struct Stats
{
    double median = 0.0;
    double p99 = 0.0;
    double max = 0.0;
};

Stats summarize(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    if (ms.empty())
        return {};
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.back()};
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void print(const char* name, const Stats& s)
{
    std::printf("%-34s median %7.3f ms   p99 %7.3f ms   max %7.3f ms\n", name, s.median, s.p99,
                s.max);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int frames = 500;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::max(1, std::atoi(argv[i + 1]));

    WindowFixture fx;
    // The whole screen, as a maximized window (no window manager under xvfb-run).
    fx.window->resize(QGuiApplication::primaryScreen()->availableSize());
    VeltrixTestAccess& a = *fx.access;
    a.form().tWDisplay->setCurrentIndex(1);
    SensorParameters& p = a.params();
    p.MODE = 4, p.Xmin = -255, p.Xmax = 261, p.Zmin = 58, p.Zmax = 549;
    QCustomPlot* plot = a.plot();
    QApplication::processEvents();

    // The simulator's moving groove: a different profile every frame.
    constexpr int points = 1280;
    const sim::Scene scene(sim::FieldOfView{});
    std::vector<std::vector<float>> xs(64), zs(64);
    for (size_t k = 0; k < xs.size(); ++k) {
        std::vector<double> x, z;
        scene.sampleMm(points, double(k) / double(xs.size()), uint32_t(k + 1), x, z);
        xs[k].assign(x.begin(), x.end());
        zs[k].assign(z.begin(), z.end());
    }

    // Wall time and the GUI thread's CPU time (steadier on a busy machine) of one step.
    struct Samples
    {
        std::vector<double> wall, cpu;
    };
    const auto timed = [](Samples& into, bool counted, auto&& step) {
        QElapsedTimer clock;
        const double cpu0 = threadCpuMs();
        clock.start();
        step();
        QApplication::processEvents(); // the paint of the replotted buffer
        if (counted) {
            into.wall.push_back(double(clock.nsecsElapsed()) / 1e6);
            into.cpu.push_back(threadCpuMs() - cpu0);
        }
    };
    Samples shown, bare, recorded;
    constexpr int warmUp = 20; // frames not counted
    for (int i = 0; i < frames + warmUp; ++i) {
        const size_t k = size_t(i) % xs.size();
        timed(shown, i >= warmUp, [&] { a.loadProfile({}, {}, xs[k], zs[k], false); });
        timed(bare, i >= warmUp, [&] { plot->replot(QCustomPlot::rpRefreshHint); });
    }
    a.beginRecording(fx.dir.filePath("bench.txt"), frames + warmUp);
    for (int i = 0; i < frames + warmUp; ++i) {
        const size_t k = size_t(i) % xs.size();
        timed(recorded, i >= warmUp, [&] { a.loadProfile({}, {}, xs[k], zs[k], false); });
    }

    std::printf("%d frames of %d points, plot %d x %d pixels\n", frames, points, plot->width(),
                plot->height());
    for (const auto& [kind, pick] : {std::pair{"wall", &Samples::wall}, {"cpu", &Samples::cpu}}) {
        const Stats s = summarize(shown.*pick), r = summarize(bare.*pick);
        std::printf("-- %s time\n", kind);
        print("loadProfile + paint", s);
        print("bare replot + paint", r);
        print("loadProfile while recording", summarize(recorded.*pick));
        std::printf("ratio of medians %.2f, of p99 %.2f\n", s.median / r.median, s.p99 / r.p99);
    }
    return 0;
}
