#include "app/paths.h"

#include <QFileInfo>

namespace Paths {

QString baseDirFrom(const QString& workingDir)
{
    QString base = workingDir;
    base.remove(QStringLiteral("Program"), Qt::CaseInsensitive);
    return base;
}

Derived deriveFrom(const QString& workingDir)
{
    Derived d;
    d.baseDir = baseDirFrom(workingDir);
    d.dataDir = d.baseDir + QStringLiteral("/Data");
    d.productFilePath = d.baseDir + QStringLiteral("/ProdPar.txt");
    d.settingsFilePath = d.baseDir + QStringLiteral("/LumoPar.txt");
    return d;
}

QString newRecordingPath(const QString& dataDir, const QString& prefix, const QDateTime& now)
{
    const QString stem = dataDir + QLatin1Char('/') + prefix + now.toString("yyyyMMdd-hhmmss");
    QString path = stem + QStringLiteral(".txt");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QStringLiteral("-%1.txt").arg(n);
    return path;
}

} // namespace Paths
