// Loading a large recording into the 3D surface: the loader of the 3D view (two passes of
// block reads into the surface data array) next to, in the same run, the plain reader a first
// version would write (QTextStream::readLine, QString::split, toFloat, two passes) and `cat`
// of the file to /dev/null, the I/O floor. Also the peak memory growth of the loader (VmHWM)
// against the size of the data array it builds.
//
//   bench_surface_load [--profiles N] [--points M] [--runs R] [--dir D]
//
// The recording (N x M point lines in the recorded profile format) is written by the
// benchmark itself into D (default: a temporary directory) and removed afterwards.

#include "files/recordedprofile.h"
#include "surface/surfaceloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>
#include <vector>

using namespace QtDataVisualization;

namespace {

// Peak resident set size of this process in bytes.
long long peakResidentBytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// A surface: profile f, point c at x = -40 mm + c * 80 mm / M, a wavy height in mm.
bool writeRecording(const QString& path, int profiles, int points)
{
    FILE* out = std::fopen(path.toLocal8Bit().constData(), "wb");
    if (!out)
        return false;
    std::vector<char> block(1 << 20);
    std::size_t used = 0;
    for (int f = 0; f < profiles; ++f) {
        for (int c = 0; c < points; ++c) {
            if (block.size() - used < RecordedProfile::kMaxLineLength) {
                std::fwrite(block.data(), 1, used, out);
                used = 0;
            }
            const double x = -40.0 + c * 80.0 / points;
            const double z = 120.0 + 8.0 * std::sin(x * 0.2) * std::cos(f * 0.01) + f * 0.005;
            used += RecordedProfile::formatPointLine(block.data() + used, x, f, z);
        }
    }
    std::fwrite(block.data(), 1, used, out);
    return std::fclose(out) == 0;
}

// The reader a first version would write: a text stream, a split per line, toFloat, the same
// row rule and ranges, two passes, then the array.
int plainLoad(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    QTextStream in(&file);
    std::vector<int> rowLengths;
    float currentKey = 0;
    int counter = 0;
    float minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;
    bool first = true;
    while (!in.atEnd()) {
        const QStringList parts = in.readLine().split(';', Qt::SkipEmptyParts);
        if (parts.size() < 3)
            continue;
        const float x = parts[0].toFloat(), key = parts[1].toFloat(), y = parts[2].toFloat();
        if (first) {
            first = false;
            currentKey = key;
            counter = 1;
            minX = maxX = x;
            minY = maxY = y;
            minZ = maxZ = key;
        } else if (key > currentKey) {
            rowLengths.push_back(counter);
            currentKey = key;
            counter = 1;
        } else {
            ++counter;
            if (x > -255)
                minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
            minZ = std::min(minZ, key);
            maxZ = std::max(maxZ, key);
        }
    }
    rowLengths.push_back(counter);
    const int columns = *std::max_element(rowLengths.begin(), rowLengths.end());
    in.seek(0);
    auto* array = new QSurfaceDataArray;
    for (std::size_t r = 0; r < rowLengths.size(); ++r) {
        auto* row = new QSurfaceDataRow(columns);
        for (int c = 0; c < columns && !in.atEnd(); ++c) {
            const QStringList parts = in.readLine().split(';', Qt::SkipEmptyParts);
            (*row)[c].setPosition(
                QVector3D(parts[0].toFloat(), parts[2].toFloat(), parts[1].toFloat()));
        }
        array->append(row);
    }
    const int rows = array->size();
    SurfaceLoader::ArrayDeleter()(array);
    return rows;
}

double seconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() * 1e-9;
}

// CPU time of this process (user and system), which other loads of the machine do not inflate
// as much as the wall clock.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char** argv)
{
    int profiles = 2000;
    int points = 1280;
    int runs = 5;
    QString dirPath;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--profiles"))
            profiles = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--points"))
            points = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--dir"))
            dirPath = QString::fromLocal8Bit(argv[i + 1]);
    }
    QTemporaryDir tempDir(dirPath.isEmpty() ? QTemporaryDir().path() : dirPath + "/bench-XXXXXX");
    const QString path = tempDir.filePath("profile_mm_bench.txt");
    if (!tempDir.isValid() || !writeRecording(path, profiles, points)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const double megabytes = QFile(path).size() / 1e6;
    std::printf("recording: %d profiles x %d points, %.1f MB, %s\n", profiles, points, megabytes,
                qPrintable(path));

    // The loader: the first run also gives the peak memory growth.
    const long long peakBefore = peakResidentBytes();
    QElapsedTimer timer;
    double cpu = cpuSeconds();
    timer.start();
    SurfaceLoader::Result result = SurfaceLoader::load(path);
    std::vector<double> loadTimes{seconds(timer)};
    std::vector<double> loadCpu{cpuSeconds() - cpu};
    const long long peakGrowth = peakResidentBytes() - peakBefore;
    if (result.outcome != SurfaceLoader::Outcome::Loaded || result.rowCount != profiles ||
        result.columnCount != points) {
        std::fprintf(stderr, "load failed: %d rows x %d columns\n", result.rowCount,
                     result.columnCount);
        return 1;
    }
    const double arrayBytes =
        double(result.rowCount) * result.columnCount * sizeof(QSurfaceDataItem);
    result.array.reset();
    for (int i = 1; i < runs; ++i) {
        cpu = cpuSeconds();
        timer.restart();
        SurfaceLoader::Result again = SurfaceLoader::load(path);
        loadTimes.push_back(seconds(timer));
        loadCpu.push_back(cpuSeconds() - cpu);
    }
    std::sort(loadTimes.begin(), loadTimes.end());
    std::sort(loadCpu.begin(), loadCpu.end());
    const double load = loadTimes[loadTimes.size() / 2];
    const double loadCpuTime = loadCpu[loadCpu.size() / 2];

    cpu = cpuSeconds();
    timer.restart();
    const int plainRows = plainLoad(path);
    const double plain = seconds(timer);
    const double plainCpu = cpuSeconds() - cpu;

    // cat runs in a child: its time is the wall clock only.
    timer.restart();
    const std::string cat = "cat '" + path.toStdString() + "' > /dev/null";
    const int catStatus = std::system(cat.c_str());
    const double catTime = seconds(timer);

    std::printf("                        wall      cpu\n");
    std::printf("loader (median of %d):  %.3f s   %.3f s  (best wall %.3f s, worst %.3f s)\n", runs,
                load, loadCpuTime, loadTimes.front(), loadTimes.back());
    std::printf("plain reader:           %.3f s   %.3f s  (%d rows)\n", plain, plainCpu, plainRows);
    std::printf("cat > /dev/null:        %.3f s            (status %d)\n", catTime, catStatus);
    std::printf("speed-up over the plain reader: %.1f x wall, %.1f x cpu\n", plain / load,
                plainCpu / loadCpuTime);
    std::printf("peak memory growth: %.1f MB for a data array of %.1f MB (%.2f x)\n",
                peakGrowth / 1e6, arrayBytes / 1e6, peakGrowth / arrayBytes);
    const bool met = load < 0.35 && plain / load >= 5.0 && peakGrowth < 1.5 * arrayBytes;
    std::printf("goal (under 0.35 s, 5 x the plain reader, memory under 1.5 x): %s\n",
                met ? "met" : "NOT met");
    return 0;
}
