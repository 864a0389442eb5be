#include "surface/surfaceloader.h"

#include "files/recordedprofile.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

using namespace QtDataVisualization;

namespace SurfaceLoader {

namespace {

// Largest size of one read; a longer line makes the buffer grow.
constexpr std::size_t kReadBlockBytes = 1 << 20;

// Reads the file from its start in large blocks and calls onPoint for every point line.
// False when a read failed.
template <typename OnPoint>
bool forEachPoint(QFile& file, std::vector<char>& buffer, OnPoint&& onPoint)
{
    if (!file.seek(0))
        return false;
    RecordedProfile::Point point;
    std::size_t kept = 0; // bytes of an unfinished line at the start of the buffer
    for (;;) {
        if (kept == buffer.size())
            buffer.resize(buffer.size() * 2);
        const qint64 got =
            file.read(buffer.data() + kept, static_cast<qint64>(buffer.size() - kept));
        if (got < 0)
            return false;
        const char* line = buffer.data();
        const char* end = line + kept + got;
        while (const void* found = std::memchr(line, '\n', static_cast<std::size_t>(end - line))) {
            const char* lineEnd = static_cast<const char*>(found);
            if (RecordedProfile::parsePointLine(
                    std::string_view(line, static_cast<std::size_t>(lineEnd - line)), point))
                onPoint(point);
            line = lineEnd + 1;
        }
        kept = static_cast<std::size_t>(end - line);
        if (got == 0) {
            if (kept > 0 && RecordedProfile::parsePointLine(std::string_view(line, kept), point))
                onPoint(point);
            return true;
        }
        std::memmove(buffer.data(), line, kept);
    }
}

} // namespace

void ArrayDeleter::operator()(QSurfaceDataArray* array) const
{
    qDeleteAll(*array);
    delete array;
}

Result load(const QString& path)
{
    Result result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        result.outcome = Outcome::FileError;
        result.errorText = file.errorString();
        return result;
    }
    // A small file needs no full block; a file that grows later still reads in pieces.
    std::vector<char> buffer(std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max<qint64>(file.size(), 0)) + 1, 4096, kReadBlockBytes));

    // Scan: row lengths and ranges.
    std::vector<int> rowLengths;
    Ranges& r = result.ranges;
    bool first = true;
    int currentKey = 0;
    int counter = 0;
    const bool scanned = forEachPoint(file, buffer, [&](const RecordedProfile::Point& p) {
        const float x = static_cast<float>(p.x);
        const float y = static_cast<float>(p.z);
        const float z = static_cast<float>(p.frame);
        if (first) {
            first = false;
            currentKey = p.frame;
            counter = 1;
            r = {x, x, y, y, z, z};
        } else if (p.frame > currentKey) {
            rowLengths.push_back(counter);
            currentKey = p.frame;
            counter = 1;
        } else {
            ++counter;
            if (x > -255.0f)
                r.minX = std::min(r.minX, x);
            r.maxX = std::max(r.maxX, x);
            r.minY = std::min(r.minY, y);
            r.maxY = std::max(r.maxY, y);
            r.minZ = std::min(r.minZ, z);
            r.maxZ = std::max(r.maxZ, z);
        }
    });
    if (!scanned) {
        result.outcome = Outcome::FileError;
        result.errorText = file.errorString();
        return result;
    }
    if (first)
        return result; // not a single point line
    rowLengths.push_back(counter);

    // Every row must hold as many points as the longest.
    const int longest = *std::max_element(rowLengths.begin(), rowLengths.end());
    if (std::any_of(rowLengths.begin(), rowLengths.end(), [&](int n) { return n != longest; }))
        return result;
    result.rowCount = static_cast<int>(rowLengths.size());
    result.columnCount = longest;

    // Fill: item c of row r is point line r * columnCount + c. Should the file have changed
    // since the scan, missing items stay at 0 and extra lines are ignored.
    Array array(new QSurfaceDataArray);
    array->reserve(result.rowCount);
    for (int row = 0; row < result.rowCount; ++row)
        array->append(new QSurfaceDataRow(result.columnCount));
    int row = 0;
    int column = 0;
    QSurfaceDataItem* items = array->isEmpty() ? nullptr : array->at(0)->data();
    const bool filled = forEachPoint(file, buffer, [&](const RecordedProfile::Point& p) {
        if (row == result.rowCount)
            return;
        items[column].setPosition(QVector3D(static_cast<float>(p.x), static_cast<float>(p.z),
                                            static_cast<float>(p.frame)));
        if (++column == result.columnCount) {
            column = 0;
            if (++row < result.rowCount)
                items = array->at(row)->data();
        }
    });
    if (!filled) {
        result.outcome = Outcome::FileError;
        result.errorText = file.errorString();
        return result;
    }
    result.array = std::move(array);
    result.outcome = Outcome::Loaded;
    return result;
}

} // namespace SurfaceLoader
