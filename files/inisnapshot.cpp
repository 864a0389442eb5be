// Parsing an INI file from a private copy, so that every read sees the file as it is now.

#include "files/inisnapshot.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace {

constexpr qint64 copyChunkBytes = 64 * 1024;

bool copyBytes(QFile& from, QFile& to)
{
    QByteArray chunk;
    do {
        chunk = from.read(copyChunkBytes);
        if (from.error() != QFileDevice::NoError)
            return false;
        if (!chunk.isEmpty() && to.write(chunk) != chunk.size())
            return false;
    } while (!chunk.isEmpty());
    return to.flush();
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
    if (copy.open() && copyBytes(source, copy)) {
        copy.close();
        settings = std::make_unique<QSettings>(copy.fileName(), QSettings::IniFormat);
    } else {
        // No private copy possible: read the file itself.
        settings = std::make_unique<QSettings>(fileName, QSettings::IniFormat);
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
