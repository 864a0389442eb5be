#include "display/profiledata.h"

#include "display/profilepoints.h"
#include "files/recordedprofile.h"

#include <QFileDevice>
#include <QIODevice>
#include <algorithm>
#include <vector>

namespace ProfileData {

namespace {
double within(double v, double lower, double upper)
{
    return v >= lower && v <= upper ? v : 0.0;
}

template <typename X, typename Z>
QVector<QCPGraphData> inFieldOfView(const FieldOfView& fov, const X* x, const Z* z, int points)
{
    QVector<QCPGraphData> out(points);
    QCPGraphData* d = out.data();
    for (int i = 0; i < points; ++i) {
        d[i].key = within(double(x[i]), fov.xMin, fov.xMax);
        d[i].value = within(double(z[i]), fov.zMin, fov.zMax);
    }
    return out;
}

void flush(QIODevice& file)
{
    if (auto* device = qobject_cast<QFileDevice*>(&file))
        device->flush();
}
} // namespace

QVector<QCPGraphData> fromProfile(int mode, const FieldOfView& fov, const int* intX,
                                  const short* intZ, const float* floatX, const float* floatZ,
                                  bool isInteger, int points)
{
    // The same conversion as the full-rate recording's.
    points = std::max(points, 0);
    std::vector<double> x(static_cast<size_t>(points)), z(static_cast<size_t>(points));
    ProfilePoints::convertProfile(mode, {fov.xMin, fov.xMax, fov.zMin, fov.zMax}, intX, intZ,
                                  floatX, floatZ, isInteger, points, x.data(), z.data());
    QVector<QCPGraphData> out(points);
    for (int i = 0; i < points; ++i)
        out[i] = QCPGraphData(x[size_t(i)], z[size_t(i)]);
    return out;
}

QVector<QCPGraphData> fromProduct(int mode, const FieldOfView& fov, const float* x, const float* z,
                                  int points)
{
    points = std::max(points, 0);
    if (mode != 9)
        return QVector<QCPGraphData>(points);
    return inFieldOfView(fov, x, z, points);
}

void setGraphData(QCPGraph* graph, const QVector<QCPGraphData>& points)
{
    const bool sorted =
        std::is_sorted(points.cbegin(), points.cend(),
                       [](const QCPGraphData& a, const QCPGraphData& b) { return a.key < b.key; });
    graph->data()->set(points, sorted);
}

void appendPointLines(QIODevice& file, int frame, const QVector<QCPGraphData>& points)
{
    char line[RecordedProfile::kMaxLineLength];
    for (const QCPGraphData& p : points) {
        const std::size_t n = RecordedProfile::formatPointLine(line, p.key, frame, p.value);
        file.write(line, qint64(n));
        flush(file);
    }
}

void appendResultLine(QIODevice& file, const QByteArray& text)
{
    QByteArray line = text;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    line += "\r\n";
    file.write(line);
    flush(file);
}

} // namespace ProfileData
