#include "app/paths.h"

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

} // namespace Paths
