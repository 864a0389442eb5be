#include "files/pointcloudexport.h"

#include "files/recordedprofile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

namespace PointCloudExport {

namespace {

constexpr qint64 readChunkBytes = 4 << 20;  // source bytes read per call
constexpr size_t writeChunkBytes = 4 << 20; // output gathered before one write
constexpr size_t maxCsvLineBytes = 3 * 32 + 4;

const char* const filterPly = "PLY point cloud (*.ply)";
const char* const filterPcd = "PCD point cloud (*.pcd)";
const char* const filterCsv = "CSV table (*.csv)";

// Output gathered in a large buffer and written in big chunks.
class ChunkWriter
{
public:
    explicit ChunkWriter(QIODevice& device) : device_(device) { buffer_.reserve(writeChunkBytes); }

    char* room(size_t bytes)
    {
        if (buffer_.size() + bytes > writeChunkBytes)
            flush();
        const size_t used = buffer_.size();
        buffer_.resize(used + bytes);
        return buffer_.data() + used;
    }
    void shrinkBy(size_t bytes) { buffer_.resize(buffer_.size() - bytes); }
    bool flush()
    {
        if (!buffer_.empty() && ok_)
            ok_ = device_.write(buffer_.data(), qint64(buffer_.size())) == qint64(buffer_.size());
        buffer_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }

private:
    QIODevice& device_;
    std::vector<char> buffer_;
    bool ok_ = true;
};

void putFloat(char* out, float value)
{
    // The formats store little-endian floats; so does every machine this builds for.
    static_assert(sizeof(float) == 4, "float must be 32 bits");
    std::memcpy(out, &value, 4);
}

char* putNumber(char* out, double value)
{
    return std::to_chars(out, out + 32, value).ptr;
}

char* putFixed3(char* out, double value)
{
    return std::to_chars(out, out + 32, value, std::chars_format::fixed, 3).ptr;
}

QByteArray header(Format format, quint64 points)
{
    const QByteArray n = QByteArray::number(points);
    if (format == Format::Ply)
        return "ply\nformat binary_little_endian 1.0\ncomment exported by Lumo\nelement vertex " +
               n + "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    if (format == Format::Pcd)
        return "# .PCD v0.7 - Point Cloud Data file format\nVERSION 0.7\nFIELDS x y z\n"
               "SIZE 4 4 4\nTYPE F F F\nCOUNT 1 1 1\nWIDTH " +
               n + "\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS " + n + "\nDATA binary\n";
    return "x,y,z\n";
}

// Reads the source line by line and hands every point to `take`. False on a read error or a
// cancel (told apart by `cancelled`).
template <typename Take>
bool forEachPoint(QFile& source, const Progress& progress, bool& cancelled, QString& error,
                  Take take)
{
    const qint64 total = source.size();
    std::vector<char> buffer(static_cast<size_t>(readChunkBytes));
    size_t carried = 0; // bytes of an unfinished line kept from the previous chunk
    qint64 done = 0;
    for (;;) {
        if (carried == buffer.size())
            buffer.resize(buffer.size() * 2); // a line longer than a chunk
        const qint64 got = source.read(buffer.data() + carried, qint64(buffer.size() - carried));
        if (got < 0) {
            error = source.errorString();
            return false;
        }
        done += got;
        const size_t filled = carried + size_t(got);
        const bool atEnd = got == 0;
        const char* p = buffer.data();
        const char* end = p + filled;
        for (;;) {
            const char* newline = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!newline && !atEnd)
                break;
            const char* lineEnd = newline ? newline : end;
            RecordedProfile::Point point;
            if (lineEnd > p &&
                RecordedProfile::parsePointLine(std::string_view(p, size_t(lineEnd - p)), point))
                take(point);
            if (!newline) {
                p = end;
                break;
            }
            p = newline + 1;
        }
        carried = size_t(end - p);
        std::memmove(buffer.data(), p, carried);
        if (progress && !progress(done, total)) {
            cancelled = true;
            return false;
        }
        if (atEnd)
            return true;
    }
}

// Copies the whole of `from` (from its start) to `to` in big chunks.
bool copyAll(QFile& from, QIODevice& to)
{
    if (!from.seek(0))
        return false;
    std::vector<char> buffer(writeChunkBytes);
    for (;;) {
        const qint64 got = from.read(buffer.data(), qint64(buffer.size()));
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (to.write(buffer.data(), got) != got)
            return false;
    }
}

} // namespace

Result exportFile(const QString& sourcePath, const QString& targetPath, const Options& options,
                  const Progress& progress)
{
    Result result;
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly)) {
        result.error = source.errorString();
        return result;
    }
    QSaveFile target(targetPath);
    target.setDirectWriteFallback(false);
    if (!target.open(QIODevice::WriteOnly)) {
        result.error = target.errorString();
        return result;
    }

    // Binary formats need the point count in their header: the points go to a body file
    // beside the target first, and the target gets the header and then the body.
    const bool binary = options.format != Format::Csv;
    QTemporaryFile body(QFileInfo(targetPath).absolutePath() + "/.lumo-export-XXXXXX");
    QIODevice* out = &target;
    if (binary) {
        if (!body.open()) {
            result.error = body.errorString();
            return result;
        }
        out = &body;
    } else if (target.write(header(Format::Csv, 0)) < 0) {
        result.error = target.errorString();
        return result;
    }

    ChunkWriter writer(*out);
    quint64 points = 0;
    const double pitch = options.pitchMm;
    const bool keepInvalid = options.keepInvalid;
    auto take = [&](const RecordedProfile::Point& p) {
        if (!keepInvalid && p.x == 0.0 && p.z == 0.0)
            return;
        ++points;
        const double y = p.frame * pitch;
        if (binary) {
            char* o = writer.room(12);
            putFloat(o, float(p.x));
            putFloat(o + 4, float(y));
            putFloat(o + 8, float(p.z));
            return;
        }
        char* start = writer.room(maxCsvLineBytes);
        char* o = putFixed3(start, p.x);
        *o++ = ',';
        o = putNumber(o, y);
        *o++ = ',';
        o = putFixed3(o, p.z);
        *o++ = '\n';
        writer.shrinkBy(maxCsvLineBytes - size_t(o - start));
    };

    const bool read = forEachPoint(source, progress, result.cancelled, result.error, take);
    if (!read)
        return result; // the save file is discarded, the body file removed
    if (!writer.flush()) {
        result.error = out->errorString();
        return result;
    }
    if (binary && (target.write(header(options.format, points)) < 0 || !copyAll(body, target))) {
        result.error = target.errorString().isEmpty() ? body.errorString() : target.errorString();
        return result;
    }
    if (!target.commit()) {
        result.error = target.errorString();
        return result;
    }
    result.ok = true;
    result.points = points;
    return result;
}

QString fileFilter()
{
    return QString("%1;;%2;;%3").arg(filterPly, filterPcd, filterCsv);
}

Format formatFor(const QString& selectedFilter, const QString& fileName)
{
    if (selectedFilter == filterPly)
        return Format::Ply;
    if (selectedFilter == filterPcd)
        return Format::Pcd;
    if (selectedFilter == filterCsv)
        return Format::Csv;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == "pcd")
        return Format::Pcd;
    if (suffix == "csv")
        return Format::Csv;
    return Format::Ply;
}

QString suffixOf(Format format)
{
    switch (format) {
    case Format::Pcd:
        return "pcd";
    case Format::Csv:
        return "csv";
    case Format::Ply:
        break;
    }
    return "ply";
}

} // namespace PointCloudExport
