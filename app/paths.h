#pragma once
// Default paths of the application, derived from the working directory at start-up.

#include <QDateTime>
#include <QString>

namespace Paths {

// The base directory: the working directory with every occurrence of "Program" removed,
// in any letter case and also inside other path components ("C:/ProgramData/x" gives
// "C:/Data/x"). A trailing "Program" component leaves its slash behind.
QString baseDirFrom(const QString& workingDir);

struct Derived
{
    QString baseDir;
    QString dataDir;          // baseDir + "/Data"
    QString productFilePath;  // baseDir + "/ProdPar.txt"
    QString settingsFilePath; // baseDir + "/LumoPar.txt"
};

// All default paths for a working directory. Paths are joined as plain text; a doubled
// slash after a trailing base-directory slash is read by the file system as one.
Derived deriveFrom(const QString& workingDir);

// The file of a new recording: dataDir + "/" + prefix + the time to the second + ".txt". A
// recording started within the same second as another gets "-2", "-3", ... before ".txt", so
// it never appends to a file that already exists.
QString newRecordingPath(const QString& dataDir, const QString& prefix, const QDateTime& now);

} // namespace Paths
