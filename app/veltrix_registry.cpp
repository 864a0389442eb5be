// The sensor list and the remembered plot ranges in 3DSensor.ini.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "ui_veltrix.h"

#include <QComboBox>
#include <QSettings>
#include <qcustomplot.h>

namespace {
const QString sensorsGroup = QStringLiteral("Sensors");
const QString rangeGroup = QStringLiteral("Range");
const QString countKey = QStringLiteral("NumberOfSensors");

// The Range keys, in the order of Veltrix::storedRanges.
const char* const rangeKeys[8] = {
    "LastProfilePixelLowerX", "LastProfilePixelUpperX", "LastProfilePixelLowerY",
    "LastProfilePixelUpperY", "LastProfileMMLowerX",    "LastProfileMMUpperX",
    "LastProfileMMLowerY",    "LastProfileMMUpperY",
};

QString nameKey(int n)
{
    return QStringLiteral("SensorName%1").arg(n);
}
QString ipKey(int n)
{
    return QStringLiteral("SensorIP%1").arg(n);
}
QString portKey(int n)
{
    return QStringLiteral("SensorPort%1").arg(n);
}

// Index of the stored X (or vertical) pair for a plot unit, -1 for no unit.
int rangePairIndex(int plotUnit, bool vertical)
{
    if (plotUnit != 1 && plotUnit != 2)
        return -1;
    return (plotUnit == 1 ? 0 : 4) + (vertical ? 2 : 0);
}
} // namespace

QString Veltrix::registryPath() const
{
    return baseDir + QStringLiteral("/3DSensor.ini");
}

QString Veltrix::readRegistryValue(const QString& group, const QString& key) const
{
    QSettings settings(registryPath(), QSettings::IniFormat);
    return settings.value(group + QLatin1Char('/') + key).toString();
}

void Veltrix::writeRegistryValue(const QString& group, const QString& key,
                                 const QString& value) const
{
    QSettings settings(registryPath(), QSettings::IniFormat);
    settings.setValue(group + QLatin1Char('/') + key, value);
}

void Veltrix::loadSensorRegistry()
{
    online = 1;
    sensorConnected = 0;
    acquiring = 0;
    recording = 0;
    params = SensorParameters();
    product = ProductParameters();

    bool ok = false;
    sensorCount = readRegistryValue(sensorsGroup, countKey).toInt(&ok);
    // A negative count (hand-edited file) is treated like a missing one.
    if (!ok || sensorCount < 0)
        sensorCount = 0;
    sensorNames.clear();
    for (int n = 1; n <= sensorCount; ++n)
        sensorNames.append(readRegistryValue(sensorsGroup, nameKey(n)));

    fitNextImage = true;
    autoFitProfile = true;
    plotUnit = 0;

    for (int i = 0; i < 8; ++i) {
        storedRanges[i] = 0.0;
        const double value =
            readRegistryValue(rangeGroup, QString::fromLatin1(rangeKeys[i])).toDouble(&ok);
        if (ok)
            storedRanges[i] = value;
    }
}

void Veltrix::writeStoredRanges() const
{
    for (int i = 0; i < 8; ++i)
        writeRegistryValue(rangeGroup, QString::fromLatin1(rangeKeys[i]),
                           QString::number(storedRanges[i], 'g', 6));
}

void Veltrix::refreshSensorLists()
{
    sensorCombo->clear();
    sensorCombo->insertItems(0, sensorNames);
    form->lWSensorList->clear();
    form->lWSensorList->addItems(sensorNames);
}

void Veltrix::displayInfo()
{
    const int n = form->lWSensorList->currentRow() + 1;
    form->lEIP->setText(readRegistryValue(sensorsGroup, ipKey(n)));
    form->lEPort->setText(readRegistryValue(sensorsGroup, portKey(n)));
}

void Veltrix::addSensor()
{
    const QString octets[4] = {form->lEIPAddress1->text(), form->lEIPAddress2->text(),
                               form->lEIPAddress3->text(), form->lEIPAddress4->text()};
    const QString name = form->lESensorName->text();
    bool incomplete = name.isEmpty();
    for (const QString& octet : octets)
        incomplete = incomplete || octet.isEmpty();
    if (incomplete) {
        Dialogs::critical(this, tr("3D Sensor"),
                          tr("The data you give is incomplete.\nPlease fill in all the data."));
        return;
    }
    if (!form->lWSensorList->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) {
        Dialogs::critical(this, tr("3D Sensor"),
                          tr("The name you give is already existing.\nPlease enter another name."));
        return;
    }

    const QString address =
        QStringList(std::begin(octets), std::end(octets)).join(QLatin1Char('.'));
    const QString port = QString::number(form->sBPort->value());

    ++sensorCount;
    sensorNames.append(name);
    const int n = sensorCount;
    writeRegistryValue(sensorsGroup, nameKey(n), name);
    writeRegistryValue(sensorsGroup, ipKey(n), address);
    writeRegistryValue(sensorsGroup, portKey(n), port);
    writeRegistryValue(sensorsGroup, countKey, QString::number(n));

    refreshSensorLists();
    form->lWSensorList->setCurrentRow(n - 1);
    Dialogs::information(this, tr("3DSensor"), tr("The sensor is successfully added."));
}

void Veltrix::removeSensor()
{
    const int r = form->lWSensorList->currentRow();
    // Nothing is selected (an empty list): the registry stays as it is.
    if (r < 0 || r >= sensorCount)
        return;

    for (int i = r + 1; i < sensorCount; ++i) {
        writeRegistryValue(sensorsGroup, nameKey(i),
                           readRegistryValue(sensorsGroup, nameKey(i + 1)));
        writeRegistryValue(sensorsGroup, ipKey(i), readRegistryValue(sensorsGroup, ipKey(i + 1)));
        writeRegistryValue(sensorsGroup, portKey(i),
                           readRegistryValue(sensorsGroup, portKey(i + 1)));
    }
    {
        QSettings settings(registryPath(), QSettings::IniFormat);
        settings.beginGroup(sensorsGroup);
        settings.remove(nameKey(sensorCount));
        settings.remove(ipKey(sensorCount));
        settings.remove(portKey(sensorCount));
        settings.endGroup();
    }
    if (r < sensorNames.size())
        sensorNames.removeAt(r);
    --sensorCount;
    writeRegistryValue(sensorsGroup, countKey, QString::number(sensorCount));

    refreshSensorLists();
    form->lWSensorList->setCurrentRow(r == 0 ? 0 : r - 1);
    displayInfo();
    Dialogs::information(this, tr("3DSensor"), tr("The sensor is successfully removed."));
}

void Veltrix::saveLastZoomXAxis(QCPRange xRange)
{
    const int i = rangePairIndex(plotUnit, false);
    if (i < 0)
        return;
    storedRanges[i] = xRange.lower;
    storedRanges[i + 1] = xRange.upper;
}

void Veltrix::saveLastZoomYAxis(QCPRange yRange)
{
    const int i = rangePairIndex(plotUnit, true);
    if (i < 0)
        return;
    storedRanges[i] = yRange.lower;
    storedRanges[i + 1] = yRange.upper;
}
