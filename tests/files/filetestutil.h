#pragma once
// Shared by the parameter file tests: a fixed clock, whole-file reads and writes, and
// deterministic binary garbage.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QString>

// The moment every saved file in these tests is stamped with.
inline const QDateTime fixedNow(QDate(2024, 3, 5), QTime(14, 3, 5));

// The Date text of fixedNow. Day and month names follow the system locale, so the exact
// text is only known under C or English.
inline QString fixedDateText()
{
    const QLocale::Language language = QLocale::system().language();
    if (language == QLocale::C || language == QLocale::English)
        return QStringLiteral("Tue Mar 5 2024");
    return fixedNow.date().toString(Qt::TextDate);
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool putFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// size bytes that are no text file at all (every byte value occurs, zeros included).
inline QByteArray binaryGarbage(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char((i * 151 + 17) & 0xff));
    return bytes;
}
