#pragma once
// A freshly parsed, consistent view of one INI file.
//
// The toolkit's INI reader caches parsed files by path and trusts the cache while the file's
// size and modification time (millisecond resolution, coarser on some file systems) are
// unchanged, so a file rewritten quickly with the same length reads back stale. A snapshot
// copies the file's bytes to a private file of unique name and parses that copy.

#include <QString>
#include <QTemporaryFile>

#include <memory>

class QSettings;

class IniSnapshot
{
public:
    explicit IniSnapshot(const QString& fileName);
    ~IniSnapshot();
    IniSnapshot(const IniSnapshot&) = delete;
    IniSnapshot& operator=(const IniSnapshot&) = delete;

    // The value under group/key as text; null when the key or the file is missing, empty
    // (not null) for a key present without value. A hand-written comma list (a, b) comes
    // back joined as "a, b".
    QString value(const QString& group, const QString& key) const;

private:
    QTemporaryFile copy;
    std::unique_ptr<QSettings> settings;
};
