// Time per loadImage of the real window for 1280 x 1024 gray images: median and 99th
// percentile over the frames, once for loadImage alone and once including the repaint of
// the view that follows it. Run under a display (xvfb-run -a -s "-screen 0 1920x1080x24").
//
//   bench_image_view [--frames N] [--width W] [--height H]

#include "app/dialogs.h"
#include "app/veltrix.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
struct Figures
{
    double median = 0.0;
    double p99 = 0.0;
};

Figures figures(std::vector<double> ms)
{
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

int option(const QStringList& args, const QString& name, int fallback)
{
    const int at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int frames = std::max(1, option(args, "--frames", 500));
    const int width = std::max(1, option(args, "--width", 1280));
    const int height = std::max(1, option(args, "--height", 1024));

    // The window starts in a private directory with an empty sensor list; no dialog is shown.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    Dialogs::setResponder([](const Dialogs::Shown&) { return QString(); });
    Veltrix window;
    window.resize(1253, 761);
    window.show();
    QElapsedTimer clock;
    clock.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    QGraphicsView* view = window.findChild<QGraphicsView*>(QStringLiteral("graphicsView"));

    // Two different images, alternating, like a live stream.
    std::vector<unsigned char> images[2];
    for (int k = 0; k < 2; ++k) {
        images[k].resize(size_t(width) * size_t(height));
        for (size_t i = 0; i < images[k].size(); ++i)
            images[k][i] = static_cast<unsigned char>((i * (k + 3)) % 251);
    }

    std::vector<double> load, withPaint;
    for (int n = 0; n < frames; ++n) {
        unsigned char* buffer = images[n % 2].data();
        clock.start();
        QMetaObject::invokeMethod(&window, "loadImage", Qt::DirectConnection,
                                  Q_ARG(unsigned char*, buffer), Q_ARG(int, width),
                                  Q_ARG(int, height));
        const qint64 loaded = clock.nsecsElapsed();
        view->viewport()->repaint();
        const qint64 painted = clock.nsecsElapsed();
        load.push_back(double(loaded) / 1e6);
        withPaint.push_back(double(painted) / 1e6);
        QCoreApplication::processEvents();
    }

    const Figures l = figures(load), p = figures(withPaint);
    std::printf("%d frames of %d x %d, window 1253 x 761\n", frames, width, height);
    std::printf("loadImage          median %.3f ms  p99 %.3f ms\n", l.median, l.p99);
    std::printf("loadImage + paint  median %.3f ms  p99 %.3f ms\n", p.median, p.p99);
    Dialogs::setResponder({});
    return 0;
}
