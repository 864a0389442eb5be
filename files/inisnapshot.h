#pragma once
// A parsed, consistent view of one INI parameter file, read from the file as it is now.
//
// Parameter files hold numbers and plain words written by the toolkit's settings writer or by
// hand. They are read here rather than by the toolkit's reader, which caches parsed files by
// path while size and modification time look unchanged (so a file rewritten quickly with the
// same length reads back stale) and which decodes "@Variant(...)" values with a binary reader
// that trusts the counts inside them.
//
// What is read: lines ended by LF, CR or CRLF, trimmed; lines starting with ';' are comments,
// and a ';' outside quotes ends a line; "[group]" starts a group; "key=value" (the later of two
// equal keys wins). Text in double quotes is kept as it is; an unquoted comma splits a value
// into items, which come back joined as "a, b". "@ByteArray(x)" and "@String(x)" read as x,
// "@@x" as "@x". A line with a backslash escape, and a value of any other "@Type(...)" form
// (a typed value this program never writes), is not read: its key is missing.

#include <QByteArray>
#include <QHash>
#include <QString>

class IniSnapshot
{
public:
    explicit IniSnapshot(const QString& fileName);
    static IniSnapshot fromBytes(const QByteArray& bytes);

    // The value under group/key as text; null when the key or the file is missing, empty
    // (not null) for a key present without value.
    QString value(const QString& group, const QString& key) const;

private:
    IniSnapshot() = default;
    void parse(const QByteArray& bytes);

    QHash<QString, QString> values; // "group/key" -> value
};
