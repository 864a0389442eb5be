#pragma once
// Browsing a recorded profile file block by block, without a sensor. A block is the run of point
// lines that carry the same frame number: block n is read from its start up to the first point
// line whose frame number exceeds n, so a frame number that skips values gives empty blocks.
// Lines that are not points (the result line of an angle recording, a blank line) are skipped:
// they neither end nor extend a block. Only the block shown is read; the start of every block
// reached going forward is remembered, so stepping back is one seek wherever the block lies.
// No windows, no dialogs.

#include <QFile>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

class OfflineProfiles
{
public:
    // Entries given to the display at least: one sensor line.
    static constexpr int displayPoints = 1280;

    OfflineProfiles();

    // Closes any file being browsed, opens path and reads block 0. False when the file cannot be
    // opened; errorString() then says why and nothing is open.
    bool open(const QString& path);
    // Closes the file and forgets the block starts.
    void close();
    bool isOpen() const { return file.isOpen(); }
    QString errorString() const { return file.errorString(); }

    // Shows the block after the one shown. False, with nothing changed, when no point line
    // follows the block shown.
    bool next();
    // Shows the block before the one shown. False at block 0 or with no file open.
    bool previous();

    int blockIndex() const { return index; }
    int pointCount() const { return count; }
    // The block shown: its points in file order, then (0, 0) entries up to displayPoints. A
    // longer block is given whole.
    const std::vector<double>& x() const { return xs; }
    const std::vector<double>& z() const { return zs; }
    // File offset of the first line of each block reached so far (entry 0 is 0).
    const std::vector<qint64>& blockStarts() const { return starts; }

private:
    // Reads the file in large pieces and hands out its lines (without their line end) with the
    // offset where each starts.
    class LineReader
    {
    public:
        explicit LineReader(QFile& file) : file(file) {}
        // Forgets the bytes held (a new file was opened at its start).
        void reset() { bufferOffset = 0, begin = end = 0, atEnd = false; }
        void seek(qint64 offset);
        bool nextLine(std::string_view& line, qint64& start);

    private:
        bool fill();
        QFile& file;
        std::vector<char> buffer;
        qint64 bufferOffset = 0; // file offset of buffer[0]
        std::size_t begin = 0;   // first byte not yet handed out
        std::size_t end = 0;     // bytes held
        bool atEnd = false;
    };

    void readBlockFrom(qint64 offset);
    void clearPoints();

    QFile file;
    LineReader reader;
    std::vector<qint64> starts;
    int index = 0;
    int count = 0;
    std::vector<double> xs;
    std::vector<double> zs;
    bool hasNext = false;      // a point line follows the block shown
    qint64 nextStart = 0;      // offset of that line
    std::string nextFirstLine; // its text, to check the seek to it
};

// Opens path, steps forward to its last block (or to block maxBlocks - 1) and back to block 0.
// Returns the number of blocks visited, or -1 when the file cannot be opened. For tools that
// feed the reader arbitrary files.
int browseWholeFile(const QString& path, int maxBlocks);
