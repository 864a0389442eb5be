// Fuzz targets of the settings-file and product-file loaders (FUZZ_SETTINGS, FUZZ_PRODUCT):
// the input is the whole file.
#include "files/productfile.h"
#include "files/settingsfile.h"
#include "sensor/sensorparameters.h"

#include <QFile>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QStringLiteral("/tmp/lumo-fuzz-%1.txt").arg(::getpid());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
#if defined(FUZZ_SETTINGS)
    SensorParameters values;
    readSettingsFile(path, values);
#else
    ProductParameters job;
    readProductFile(path, job);
#endif
    return 0;
}
