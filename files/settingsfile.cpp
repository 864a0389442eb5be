// The sensor settings file and single-value access to INI parameter files.

#include "files/settingsfile.h"

#include "files/inisnapshot.h"

#include "sensor/sensorparameters.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>

#include <iterator>

namespace {

const QString placeholder = QStringLiteral("XXXX");

struct IntegerKey
{
    const char* group;
    const char* key;
    int32_t SensorParameters::*field;
};

using P = SensorParameters;

// The integer keys in the order a save writes them (a load reads the same keys).
const IntegerKey saveOrder[] = {
    {"Parameter", "GAINVAL", &P::GAINVAL},
    {"Parameter", "ExposureMode", &P::ExposureMode},
    {"Parameter", "SHUTTER", &P::SHUTTER},
    {"Parameter", "AutoShutterVal", &P::AutoShutterVal},
    {"Parameter", "AutoShutterMin", &P::AutoShutterMin},
    {"Parameter", "AutoShutterMax", &P::AutoShutterMax},
    {"Parameter", "DoubleShutter1", &P::DoubleShutter1},
    {"Parameter", "DoubleShutter2", &P::DoubleShutter2},
    {"Parameter", "LASER", &P::LASER},
    {"Parameter", "TRIGGER", &P::TRIGGER},
    {"Parameter", "AutoTriggerFPS", &P::AutoTriggerFPS},
    {"Parameter", "AutoTriggerError", &P::AutoTriggerError},
    {"Parameter", "METHOD", &P::METHOD},
    {"Parameter", "ReflexionFilter", &P::ReflexionFilter},
    {"Parameter", "RlcThresh", &P::RlcThresh},
    {"Parameter", "MinWidth", &P::MinWidth},
    {"Parameter", "MaxWidth", &P::MaxWidth},
    {"Parameter", "ROI_X", &P::ROI_X},
    {"Parameter", "ROI_Y", &P::ROI_Y},
    {"Parameter", "ROI_DX", &P::ROI_DX},
    {"Parameter", "ROI_DY", &P::ROI_DY},
    {"Parameter", "SubSample", &P::SubSample},
    {"Expert", "EthernetSendNoWait", &P::EthernetSendNoWait},
    {"Expert", "EthernetPackNr", &P::EthernetPackNr},
    {"Expert", "ALGORITHM", &P::ALGORITHM},
    {"Expert", "SpeckleFilter", &P::SpeckleFilter},
    {"Expert", "MedianFilter", &P::MedianFilter},
    {"Mode", "ResetImageAcq", &P::ResetImageAcq},
    {"Mode", "MODE", &P::MODE},
    {"Mode", "NBR_LINES", &P::NBR_LINES},
};

static_assert(std::size(saveOrder) == 30, "30 integer keys");

const int sensorModeCodes[] = {1, 4, 2, 6, 9};
constexpr int sensorModeCount = int(std::size(sensorModeCodes));
constexpr int triggerItems = 6;
constexpr int reflexionFilterItems = 5;

} // namespace

QString readFileSetting(const QString& fileName, const QString& group, const QString& key)
{
    return IniSnapshot(fileName).value(group, key);
}

bool writeFileSetting(const QString& fileName, const QString& group, const QString& key,
                      const QString& value)
{
    if (fileName.isEmpty())
        return false;
    QSettings settings(fileName, QSettings::IniFormat);
    settings.setValue(group + QLatin1Char('/') + key, value);
    settings.sync();
    // A file whose old content was not INI is replaced; only a failed write counts.
    return settings.status() != QSettings::AccessError;
}

bool writeSettingsFile(const QString& fileName, const SensorParameters& values,
                       const QDateTime& now)
{
    const QString date = now.date().toString(Qt::TextDate);
    const QString time = now.time().toString(Qt::TextDate);
    if (!writeFileSetting(fileName, QStringLiteral("SensorInfo"), QStringLiteral("IPAddress"),
                          placeholder) ||
        !writeFileSetting(fileName, QStringLiteral("SensorInfo"), QStringLiteral("Port"),
                          placeholder) ||
        !writeFileSetting(fileName, QStringLiteral("FileInfo"), QStringLiteral("Date"), date) ||
        !writeFileSetting(fileName, QStringLiteral("FileInfo"), QStringLiteral("Time"), time))
        return false;
    for (const IntegerKey& k : saveOrder) {
        if (!writeFileSetting(fileName, QLatin1String(k.group), QLatin1String(k.key),
                              QString::number(values.*k.field, 10)))
            return false;
    }
    return true;
}

bool readSettingsFile(const QString& fileName, SensorParameters& values)
{
    if (QFileInfo(fileName).size() > maxSettingsFileBytes)
        return false;
    const IniSnapshot file(fileName);
    if (file.value(QStringLiteral("SensorInfo"), QStringLiteral("IPAddress")).isNull())
        return false;
    SensorParameters loaded = values;
    for (const IntegerKey& k : saveOrder) {
        bool ok = false;
        const int value = file.value(QLatin1String(k.group), QLatin1String(k.key)).toInt(&ok, 10);
        loaded.*k.field = ok ? value : 0;
    }
    values = loaded;
    return true;
}

QString settingsDockTitle(const QString& path)
{
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    name.remove(QStringLiteral(".ini"), Qt::CaseInsensitive);
    return QStringLiteral("Sensor Settings: ") + name;
}

int triggerCode(int index)
{
    return index - 3;
}

int triggerIndex(int code)
{
    // Compared before adding, so that any stored code is safe.
    return (code >= -3 && code < triggerItems - 3) ? code + 3 : -1;
}

int reflexionFilterCode(int index)
{
    return index - 2;
}

int reflexionFilterIndex(int code)
{
    return (code >= -2 && code < reflexionFilterItems - 2) ? code + 2 : -1;
}

int sensorModeCode(int index)
{
    return (index >= 0 && index < sensorModeCount) ? sensorModeCodes[index] : sensorModeCodes[0];
}

int sensorModeIndex(int code)
{
    for (int i = 0; i < sensorModeCount; ++i) {
        if (sensorModeCodes[i] == code)
            return i;
    }
    return 0;
}
