// Reading an INI parameter file into memory in one pass.

#include "files/inisnapshot.h"

#include <QFile>
#include <QStringList>

#include <optional>

namespace {

constexpr qint64 maxFileBytes = 4 * 1024 * 1024; // far beyond any parameter file

// Text up to the first ';' outside double quotes.
QByteArray withoutComment(const QByteArray& line)
{
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ';' && !quoted)
            return line.left(i);
    }
    return line;
}

// The items of a value: split at commas outside quotes, each trimmed, quotes dropped and the
// text inside them kept as it is.
QStringList valueItems(const QByteArray& raw)
{
    QStringList items;
    QByteArray item;
    bool quoted = false;
    bool wasQuoted = false;
    auto finish = [&] {
        items.append(QString::fromUtf8(wasQuoted ? item : item.trimmed()));
        item.clear();
        wasQuoted = false;
    };
    for (const char c : raw) {
        if (c == '"') {
            if (!quoted && !wasQuoted)
                item = item.trimmed(); // blanks before an opening quote do not count
            quoted = !quoted;
            wasQuoted = true;
        } else if (c == ',' && !quoted) {
            finish();
        } else if (quoted || !wasQuoted || c != ' ') {
            item.append(c);
        }
    }
    finish();
    return items;
}

// The text of a single value after the '@' forms; none for a typed value not read.
std::optional<QString> decodeSpecial(const QString& text)
{
    if (!text.startsWith(QLatin1Char('@')))
        return text;
    if (text.startsWith(QLatin1String("@@")))
        return text.mid(1);
    if (!text.endsWith(QLatin1Char(')')))
        return text;
    for (const char* prefix : {"@ByteArray(", "@String("}) {
        const QLatin1String p(prefix);
        if (text.startsWith(p))
            return text.mid(p.size(), text.size() - p.size() - 1);
    }
    return std::nullopt; // @Invalid(), @Variant(...), @Rect(...), ...
}

} // namespace

IniSnapshot::IniSnapshot(const QString& fileName)
{
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileBytes)
        return; // missing, unreadable or absurd: every value is missing
    // One byte beyond the size shows a file that grew since; such a read is refused, not cut.
    const QByteArray all = file.read(file.size() + 1);
    if (file.error() == QFileDevice::NoError && all.size() <= file.size())
        parse(all);
}

IniSnapshot IniSnapshot::fromBytes(const QByteArray& bytes)
{
    IniSnapshot snapshot;
    if (bytes.size() <= maxFileBytes)
        snapshot.parse(bytes);
    return snapshot;
}

void IniSnapshot::parse(const QByteArray& bytes)
{
    QString group;
    int start = 0;
    while (start < bytes.size()) {
        int end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        const QByteArray line = bytes.mid(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.contains('\\'))
            continue;
        if (line.startsWith('[')) {
            const int close = line.indexOf(']');
            if (close > 0)
                group = QString::fromUtf8(line.mid(1, close - 1).trimmed());
            continue;
        }
        const QByteArray text = withoutComment(line);
        const int equals = text.indexOf('=');
        if (equals <= 0)
            continue;
        const QString key = QString::fromUtf8(text.left(equals).trimmed());
        const QStringList items = valueItems(text.mid(equals + 1));
        const std::optional<QString> value = items.size() > 1
                                                 ? items.join(QStringLiteral(", "))
                                                 : decodeSpecial(items.first());
        const QString path = group + QLatin1Char('/') + key;
        if (value)
            values.insert(path, *value);
        else
            values.remove(path); // a typed value hides an earlier plain one, as a later key does
    }
}

QString IniSnapshot::value(const QString& group, const QString& key) const
{
    const auto found = values.constFind(group + QLatin1Char('/') + key);
    if (found == values.constEnd())
        return QString();
    return found->isNull() ? QString(QLatin1String("")) : *found;
}
