// The product parameter text: building, reading, saving, and the import at connect.

#include "files/productfile.h"

#include "files/inisnapshot.h"

#include <QDateTime>
#include <QFile>
#include <QTextCodec>
#include <QTextStream>

#include <cmath>

namespace {

constexpr int floatDigits = 6; // significant digits of a float in the text

const QString functionName = QStringLiteral("AngleCalculation");

void appendLine(QString& text, const QString& line)
{
    text += line;
    text += QLatin1Char('\n');
}

void appendInt(QString& text, const char* key, int32_t value)
{
    appendLine(text, QLatin1String(key) + QLatin1Char('=') + QString::number(value, 10));
}

void appendFloat(QString& text, const char* key, float value)
{
    appendLine(text, QLatin1String(key) + QLatin1Char('=') + productFloatText(value));
}

int32_t readInt(const IniSnapshot& file, const QString& group, const char* key)
{
    bool ok = false;
    const int value = file.value(group, QLatin1String(key)).toInt(&ok, 10);
    return ok ? value : 0;
}

// Text that overflows a float or is not finite ("nan", "inf") counts as unreadable: such a
// value would go on to the controls and back to the sensor.
float readFloat(const IniSnapshot& file, const QString& group, const char* key)
{
    bool ok = false;
    const float value = file.value(group, QLatin1String(key)).toFloat(&ok);
    return (ok && std::isfinite(value)) ? value : 0.0f;
}

enum class WriteResult
{
    NotOpened,
    Failed,
    Written
};

// Truncates fileName and writes text with the system's locale codec.
WriteResult writeText(const QString& fileName, const QString& text)
{
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return WriteResult::NotOpened;
    {
        QTextStream stream(&file);
        stream.setCodec(QTextCodec::codecForLocale());
        stream << text;
        stream.flush();
        if (stream.status() != QTextStream::Ok)
            return WriteResult::Failed;
    }
    file.close();
    return file.error() == QFileDevice::NoError ? WriteResult::Written : WriteResult::Failed;
}

} // namespace

QString productFloatText(float value)
{
    return QString::number(double(value), 'g', floatDigits);
}

QString buildProductText(const ProductParameters& p, const QDateTime& now)
{
    QString text;
    appendLine(text, QStringLiteral("[FileInfo]"));
    appendLine(text, QStringLiteral("Date=") + now.date().toString(Qt::TextDate));
    appendLine(text, QStringLiteral("Time=") + now.time().toString(Qt::TextDate));
    appendLine(text, QString());
    appendLine(text, QStringLiteral("[ProductInfo]"));
    appendLine(text, QStringLiteral("Function=") + functionName);
    appendInt(text, "SENSOR_ROI", p.SENSOR_ROI);
    appendFloat(text, "TARGET_ANGLE", p.TARGET_ANGLE);
    appendFloat(text, "ANGLE_TOL_NEG", p.ANGLE_TOL_NEG);
    appendFloat(text, "ANGLE_TOL_POS", p.ANGLE_TOL_POS);
    for (int j = 0; j < 2; ++j) {
        const ProductJob& job = p.job[j];
        appendLine(text, QString());
        appendLine(text, QStringLiteral("[JOB_%1]").arg(j));
        appendInt(text, "PRODUCT_TYPE", job.PRODUCT_TYPE);
        appendInt(text, "MIN_NR_LPOINTS", job.MIN_NR_LPOINTS);
        appendInt(text, "LINE_ALGO_MODE", job.LINE_ALGO_MODE);
        appendInt(text, "LINE_FILTER", job.LINE_FILTER);
        appendFloat(text, "PHI_MIN", job.PHI_MIN);
        appendFloat(text, "PHI_MAX", job.PHI_MAX);
        appendInt(text, "ROI_COUNT", job.ROI_COUNT);
        appendFloat(text, "ROI_X_0", job.ROI_X_0);
        appendFloat(text, "ROI_Y_0", job.ROI_Y_0);
        appendFloat(text, "ROI_X_1", job.ROI_X_1);
        appendFloat(text, "ROI_Y_1", job.ROI_Y_1);
    }
    return text;
}

bool readProductFile(const QString& fileName, ProductParameters& out)
{
    const IniSnapshot file(fileName);
    const QString info = QStringLiteral("ProductInfo");
    const QString function = file.value(info, QStringLiteral("Function"));
    if (function.isNull() || function.compare(functionName, Qt::CaseInsensitive) != 0)
        return false;

    ProductParameters p;
    p.SENSOR_ROI = readInt(file, info, "SENSOR_ROI");
    p.TARGET_ANGLE = readFloat(file, info, "TARGET_ANGLE");
    p.ANGLE_TOL_POS = readFloat(file, info, "ANGLE_TOL_POS");
    p.ANGLE_TOL_NEG = readFloat(file, info, "ANGLE_TOL_NEG");
    for (int j = 0; j < 2; ++j) {
        const QString group = QStringLiteral("JOB_%1").arg(j);
        ProductJob& job = p.job[j];
        job.PRODUCT_TYPE = readInt(file, group, "PRODUCT_TYPE");
        job.PHI_MIN = readFloat(file, group, "PHI_MIN");
        job.PHI_MAX = readFloat(file, group, "PHI_MAX");
        job.MIN_NR_LPOINTS = readInt(file, group, "MIN_NR_LPOINTS");
        job.LINE_ALGO_MODE = readInt(file, group, "LINE_ALGO_MODE");
        job.LINE_FILTER = readInt(file, group, "LINE_FILTER");
        job.ROI_COUNT = readInt(file, group, "ROI_COUNT");
        job.ROI_X_0 = readFloat(file, group, "ROI_X_0");
        job.ROI_Y_0 = readFloat(file, group, "ROI_Y_0");
        job.ROI_X_1 = readFloat(file, group, "ROI_X_1");
        job.ROI_Y_1 = readFloat(file, group, "ROI_Y_1");
    }
    out = p;
    return true;
}

bool writeProductFile(const QString& fileName, const QString& text)
{
    return writeText(fileName, text) == WriteResult::Written;
}

QString productDockTitle(const QString& path)
{
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    name.remove(QStringLiteral(".txt"), Qt::CaseInsensitive);
    return QStringLiteral("Product Parameters: ") + name;
}

bool importProductText(const QString& text, const QString& tempPath, ProductParameters& out)
{
    const WriteResult written = writeText(tempPath, text);
    if (written == WriteResult::NotOpened)
        return false; // not ours to delete
    // A partly written file is not read: it could hold a truncated job.
    const bool imported = written == WriteResult::Written && readProductFile(tempPath, out);
    QFile::remove(tempPath);
    return imported;
}
