// Export of a recorded profile file of 2,000 profiles x 1,280 points (mm) to each point-cloud
// format, timed from the call to the committed file.
//
//   bench_pointcloud_export [--profiles N] [--points N] [--dir DIR]
//
// Prints wall time and the CPU time of the export (the wall time includes waiting for a busy
// machine).

#include "files/pointcloudexport.h"
#include "files/recordedprofile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

static double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int profiles = 2000, points = 1280;
    QString where;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--profiles"))
            profiles = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--points"))
            points = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--dir"))
            where = argv[i + 1];
    }
    QTemporaryDir dir(where.isEmpty() ? QDir::tempPath() + "/bench_export-XXXXXX"
                                      : where + "/bench_export-XXXXXX");
    const QString source = dir.filePath("profile_mm.txt");
    {
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        std::vector<char> block;
        char line[RecordedProfile::kMaxLineLength];
        for (int frame = 0; frame < profiles; ++frame) {
            block.clear();
            for (int i = 0; i < points; ++i) {
                const double x = -255.0 + i * 516.0 / points;
                const double z =
                    i % 50 == 7 ? 0.0 : 300.0 + 80.0 * std::sin(i * 0.01 + frame * 0.003);
                const size_t n =
                    RecordedProfile::formatPointLine(line, i % 50 == 7 ? 0.0 : x, frame, z);
                block.insert(block.end(), line, line + n);
            }
            f.write(block.data(), qint64(block.size()));
        }
    }
    std::printf("source: %d profiles x %d points, %.1f MB\n", profiles, points,
                QFileInfo(source).size() / 1e6);
    using namespace PointCloudExport;
    for (Format format : {Format::Ply, Format::Pcd, Format::Csv}) {
        const QString target = dir.filePath("cloud." + suffixOf(format));
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuSeconds();
        const Result r = exportFile(source, target, {format, 1.0, false});
        const double seconds = clock.nsecsElapsed() * 1e-9, cpu = cpuSeconds() - cpuStart;
        std::printf("%s: %s, %llu points, %.1f MB in %.3f s (CPU %.3f s)\n",
                    qPrintable(suffixOf(format)), r.ok ? "ok" : qPrintable(r.error),
                    static_cast<unsigned long long>(r.points), QFileInfo(target).size() / 1e6,
                    seconds, cpu);
    }
    return 0;
}
