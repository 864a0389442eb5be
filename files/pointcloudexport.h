#pragma once
// Converts a recorded profile file into a point cloud for other tools: PLY (binary little
// endian, float x y z), PCD (binary, fields x y z) or CSV (header "x,y,z"). X and Z come from
// the file, Y is the frame number times the profile pitch. The source is read in one
// streaming pass; the target appears only when the export has succeeded (a cancelled or
// failed export leaves no file behind and an existing file unchanged).

#include <QString>
#include <cstdint>
#include <functional>

namespace PointCloudExport {

enum class Format
{
    Ply,
    Pcd,
    Csv
};

struct Options
{
    Format format = Format::Ply;
    double pitchMm = 1.0;     // distance between two profiles along the motion
    bool keepInvalid = false; // points at (0, 0) stand for invalid points
};

// Called now and then with the bytes of the source read so far and its size; returning
// false cancels the export.
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct Result
{
    bool ok = false;
    bool cancelled = false;
    quint64 points = 0; // points written
    QString error;      // why it failed (empty when ok or cancelled)
};

Result exportFile(const QString& source, const QString& target, const Options& options,
                  const Progress& progress = {});

// The file dialog's filter list, one entry per format in the order of Format.
QString fileFilter();
// The format of a filter entry of fileFilter(); else by the target's suffix (.ply, .pcd,
// .csv, PLY when none matches).
Format formatFor(const QString& selectedFilter, const QString& fileName);
// The suffix of a format, without the dot.
QString suffixOf(Format format);

} // namespace PointCloudExport
