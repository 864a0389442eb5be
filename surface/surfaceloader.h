#pragma once
// Turns a recorded profile file into the data of the 3D surface: one row per profile (a line
// whose frame number is greater than the current row's starts the next row), the points of a
// profile along the row, each item at (x, z, frame). The file is read twice in large blocks:
// a scan that finds the row lengths and the ranges, then a fill that builds each row once with
// its final size. Lines that are not points (blank lines, result lines of an angle recording)
// are skipped. No widget is involved.

#include <QString>
#include <QtDataVisualization/QSurfaceDataProxy>
#include <memory>

namespace SurfaceLoader {

// Ranges of the scan. Only points that continue a row take part after the first line, and a
// position of -255 or less never lowers minX.
struct Ranges
{
    float minX = 0.0f, maxX = 0.0f;
    float minY = 0.0f, maxY = 0.0f; // heights
    float minZ = 0.0f, maxZ = 0.0f; // frame numbers
};

// Deletes the rows and the array that were not handed over to a proxy.
struct ArrayDeleter
{
    void operator()(QtDataVisualization::QSurfaceDataArray* array) const;
};
using Array = std::unique_ptr<QtDataVisualization::QSurfaceDataArray, ArrayDeleter>;

enum class Outcome
{
    Loaded,
    FileError, // the file could not be opened or read: errorText holds the file's error string
    NoSurface, // no point line, or rows of unequal length
};

struct Result
{
    Outcome outcome = Outcome::NoSurface;
    QString errorText;
    Ranges ranges;
    int rowCount = 0;    // set once the scan succeeded
    int columnCount = 0; // set once the scan succeeded
    Array array;         // the surface data, only when loaded
};

Result load(const QString& path);

} // namespace SurfaceLoader
