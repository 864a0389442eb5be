// Fuzz targets of the file readers: the settings-file and product-file loaders (FUZZ_SETTINGS,
// FUZZ_PRODUCT), the offline block reader stepping through a recording to its end and back
// (FUZZ_OFFLINE), and the 3D loader (FUZZ_SURFACE). The input is the whole file.
#if defined(FUZZ_OFFLINE)
#include "display/offlineprofiles.h"
#elif defined(FUZZ_SURFACE)
#include "surface/surfaceloader.h"
#endif
#include "files/productfile.h"
#include "files/settingsfile.h"
#include "sensor/sensorparameters.h"
#include "tests/testfiles.h"

#include <QDir>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path =
        QDir::tempPath() + QStringLiteral("/lumo-fuzz-%1.txt").arg(::getpid());
    if (!putFile(path, QByteArray(reinterpret_cast<const char*>(data), int(size))))
        return 0;
#if defined(FUZZ_SETTINGS)
    SensorParameters values;
    readSettingsFile(path, values);
#elif defined(FUZZ_OFFLINE)
    browseWholeFile(path, 16); // enough blocks to step across every kind of boundary
#elif defined(FUZZ_SURFACE)
    SurfaceLoader::load(path);
#else
    ProductParameters job;
    readProductFile(path, job);
#endif
    return 0;
}
