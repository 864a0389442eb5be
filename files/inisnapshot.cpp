// Parsing an INI file from a private copy, so that every read sees the file as it is now.

#include "files/inisnapshot.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace {

constexpr qint64 maxFileBytes = 4 * 1024 * 1024; // far beyond any parameter file

// The toolkit's INI reader decodes a value written "@Variant(...)" with its binary stream
// reader, which trusts the element counts inside: a crafted value makes it reserve gigabytes
// and abort. Parameter files hold numbers and plain words, so a line that could decode that
// way - one with "@Variant(" or with a backslash escape, which could spell it - is left out of
// the snapshot, and its key reads as missing.
bool isSafeLine(const QByteArray& line)
{
    return !line.contains("@Variant(") && !line.contains('\\');
}

bool copyBytes(QFile& from, QFile& to)
{
    if (from.size() > maxFileBytes)
        return false;
    const QByteArray all = from.read(maxFileBytes + 1);
    if (from.error() != QFileDevice::NoError || all.size() > maxFileBytes)
        return false;
    QByteArray kept;
    kept.reserve(all.size());
    for (const QByteArray& line : all.split('\n')) {
        // A lone carriage return ends a line for the INI reader too.
        for (const QByteArray& part : line.split('\r'))
            if (isSafeLine(part))
                kept.append(part).append('\n');
    }
    return to.write(kept) == kept.size() && to.flush();
}

} // namespace

IniSnapshot::IniSnapshot(const QString& fileName)
    : copy(QDir::tempPath() + QStringLiteral("/lumo-ini-XXXXXX.ini"))
{
    if (fileName.isEmpty())
        return;
    QFile source(fileName);
    if (!source.open(QIODevice::ReadOnly))
        return; // missing or unreadable: every value is missing
    // Without a private, screened copy nothing is read: every value is missing.
    if (copy.open() && copyBytes(source, copy)) {
        copy.close();
        settings = std::make_unique<QSettings>(copy.fileName(), QSettings::IniFormat);
    }
}

IniSnapshot::~IniSnapshot() = default;

QString IniSnapshot::value(const QString& group, const QString& key) const
{
    if (!settings)
        return QString();
    const QVariant value = settings->value(group + QLatin1Char('/') + key);
    if (!value.isValid())
        return QString();
    // An unquoted comma in a hand-edited file makes the reader split the value into a list.
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QStringLiteral(", "));
    const QString text = value.toString();
    return text.isNull() ? QString(QLatin1String("")) : text;
}
