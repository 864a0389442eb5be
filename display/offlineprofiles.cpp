#include "display/offlineprofiles.h"

#include "files/recordedprofile.h"

#include <algorithm>
#include <cstring>

namespace {
// Bytes read at once; a block of one sensor line is about half of it.
constexpr std::size_t readPiece = 64 * 1024;
// A longer line cannot be a point of a recording; it is skipped without being held whole.
constexpr std::size_t maxLineBytes = 1024 * 1024;

void dropCarriageReturn(std::string_view& line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
}
} // namespace

void OfflineProfiles::LineReader::seek(qint64 offset)
{
    // The file position is always bufferOffset + end: a target inside the bytes held needs no
    // read.
    if (offset >= bufferOffset && offset <= bufferOffset + qint64(end)) {
        begin = std::size_t(offset - bufferOffset);
        return;
    }
    file.seek(offset);
    bufferOffset = offset;
    begin = end = 0;
    atEnd = false;
}

// Moves the bytes not handed out to the front and reads more behind them. False at the end of
// the file (or on a read error, which ends the file as well).
bool OfflineProfiles::LineReader::fill()
{
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        bufferOffset += qint64(begin);
        end -= begin;
        begin = 0;
    }
    // A small file is read whole in one piece, without holding a full piece for it.
    const qint64 left = std::max<qint64>(file.size() - file.pos(), 0);
    const std::size_t piece = std::clamp<std::size_t>(std::size_t(left) + 1, 4096, readPiece);
    if (buffer.size() - end < piece)
        buffer.resize(end + piece);
    const qint64 got = file.read(buffer.data() + end, qint64(buffer.size() - end));
    if (got <= 0)
        return false;
    end += std::size_t(got);
    return true;
}

bool OfflineProfiles::LineReader::nextLine(std::string_view& line, qint64& start)
{
    qint64 longLineStart = -1;
    for (;;) {
        const char* data = buffer.data();
        const void* found = begin < end ? std::memchr(data + begin, '\n', end - begin) : nullptr;
        if (found || (atEnd && begin < end)) {
            const std::size_t stop =
                found ? std::size_t(static_cast<const char*>(found) - data) : end;
            start = longLineStart >= 0 ? longLineStart : bufferOffset + qint64(begin);
            line = longLineStart >= 0 ? std::string_view()
                                      : std::string_view(data + begin, stop - begin);
            begin = found ? stop + 1 : end;
            dropCarriageReturn(line);
            return true;
        }
        if (atEnd) {
            if (longLineStart < 0)
                return false;
            start = longLineStart; // an over-long last line: not a point
            line = std::string_view();
            return true;
        }
        if (end - begin >= maxLineBytes) {
            if (longLineStart < 0)
                longLineStart = bufferOffset + qint64(begin);
            begin = end; // drop what is held of it
        }
        if (!fill())
            atEnd = true;
    }
}

OfflineProfiles::OfflineProfiles() : reader(file)
{
    clearPoints();
}

bool OfflineProfiles::open(const QString& path)
{
    close();
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    starts.assign(1, 0);
    index = 0;
    reader.reset();
    readBlockFrom(0);
    return true;
}

void OfflineProfiles::close()
{
    if (file.isOpen())
        file.close();
    starts.clear();
    index = 0;
    hasNext = false;
    clearPoints();
}

void OfflineProfiles::clearPoints()
{
    count = 0;
    xs.assign(displayPoints, 0.0);
    zs.assign(displayPoints, 0.0);
}

void OfflineProfiles::readBlockFrom(qint64 offset)
{
    reader.seek(offset);
    count = 0;
    hasNext = false;
    std::string_view line;
    qint64 lineStart = 0;
    RecordedProfile::Point point;
    while (reader.nextLine(line, lineStart)) {
        if (!RecordedProfile::parsePointLine(line, point))
            continue;
        if (point.frame > index) {
            hasNext = true;
            nextStart = lineStart;
            nextFirstLine.assign(line);
            break;
        }
        if (std::size_t(count) < xs.size()) {
            xs[std::size_t(count)] = point.x;
            zs[std::size_t(count)] = point.z;
        } else {
            xs.push_back(point.x);
            zs.push_back(point.z);
        }
        ++count;
    }
    // Entries not filled are (0, 0); a block longer than a sensor line is kept whole.
    const std::size_t size = std::max<std::size_t>(displayPoints, std::size_t(count));
    xs.resize(size);
    zs.resize(size);
    std::fill(xs.begin() + count, xs.end(), 0.0);
    std::fill(zs.begin() + count, zs.end(), 0.0);
}

bool OfflineProfiles::next()
{
    if (!file.isOpen() || !hasNext)
        return false;
    ++index;
    if (starts.size() <= std::size_t(index))
        starts.push_back(nextStart);
    // The line remembered must still be where it was found; a file changed meanwhile is
    // searched forward for it.
    reader.seek(nextStart);
    std::string_view line;
    qint64 lineStart = 0;
    while (reader.nextLine(line, lineStart)) {
        if (line == nextFirstLine) {
            starts[std::size_t(index)] = lineStart;
            readBlockFrom(lineStart);
            return true;
        }
    }
    clearPoints(); // not found: the block is empty and is the last
    hasNext = false;
    return true;
}

bool OfflineProfiles::previous()
{
    if (starts.empty() || index == 0)
        return false;
    --index;
    readBlockFrom(starts[std::size_t(index)]);
    return true;
}

int browseWholeFile(const QString& path, int maxBlocks)
{
    OfflineProfiles profiles;
    if (!profiles.open(path))
        return -1;
    int blocks = 1;
    while (blocks < maxBlocks && profiles.next())
        ++blocks;
    while (profiles.previous()) {
    }
    return blocks;
}
