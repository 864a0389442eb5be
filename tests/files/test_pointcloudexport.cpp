// Point-cloud export read back by tools we did not write (PCL) and by a plain CSV reader; a
// cancelled export leaves nothing behind.
#include "files/pointcloudexport.h"
#include "files/recordedprofile.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <array>
#include <charconv>
#include <vector>

using namespace PointCloudExport;
using Xyz = std::array<float, 3>;

class TestPointCloudExport : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString source;
    std::vector<RecordedProfile::Point> written;

    // "x y z" rows of a PCD in ASCII, or "x,y,z" rows of the CSV after its header.
    static std::vector<Xyz> readRows(const QString& path, const QByteArray& startAfter, char sep)
    {
        QFile f(path);
        std::vector<Xyz> rows;
        if (!f.open(QIODevice::ReadOnly))
            return rows;
        bool inData = false;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine().trimmed();
            if (inData) {
                const QList<QByteArray> parts = line.split(sep);
                if (parts.size() == 3)
                    rows.push_back({parts[0].toFloat(), parts[1].toFloat(), parts[2].toFloat()});
            }
            inData = inData || line.startsWith(startAfter);
        }
        return rows;
    }

    static bool run(const QString& program, const QStringList& args)
    {
        QProcess p;
        p.start(program, args);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

private slots:
    void initTestCase()
    {
        // Three profiles; (0, 0) points stand for invalid ones; an angle result line between.
        source = dir.filePath("profile_mm.txt");
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        char line[RecordedProfile::kMaxLineLength];
        for (int frame = 0; frame < 3; ++frame) {
            for (int i = 0; i < 400; ++i) {
                const bool invalid = i % 7 == 3;
                const double x = invalid ? 0.0 : -200.125 + i * 0.875 + frame;
                const double z = invalid ? 0.0 : 300.5 - i * 0.25 + frame * 1.5;
                written.push_back({x, frame, z});
                f.write(line, qint64(RecordedProfile::formatPointLine(line, x, frame, z)));
            }
            f.write("Phi=45.0 Cx=1 Cy=1 B=2 Error=0 DiffAngle=90.0\r\n");
        }
    }

    void readBack_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("keepInvalid");
        QTest::addColumn<double>("pitch");
        QTest::newRow("ply") << int(Format::Ply) << false << 0.5;
        QTest::newRow("ply keep invalid") << int(Format::Ply) << true << 1.0;
        QTest::newRow("pcd") << int(Format::Pcd) << false << 2.0;
        QTest::newRow("csv") << int(Format::Csv) << false << 0.25;
        QTest::newRow("csv keep invalid") << int(Format::Csv) << true << 1.0;
    }

    void readBack()
    {
        QFETCH(int, format);
        QFETCH(bool, keepInvalid);
        QFETCH(double, pitch);
        const Format f = Format(format);
        const QString target = dir.filePath("cloud." + suffixOf(f));
        const Result result = exportFile(source, target, {f, pitch, keepInvalid});
        QVERIFY2(result.ok, qPrintable(result.error));

        std::vector<Xyz> expected;
        for (const RecordedProfile::Point& p : written)
            if (keepInvalid || p.x != 0.0 || p.z != 0.0)
                expected.push_back({float(p.x), float(p.frame * pitch), float(p.z)});
        QCOMPARE(result.points, quint64(expected.size()));

        std::vector<Xyz> got;
        if (f == Format::Csv) {
            QFile csv(target);
            QVERIFY(csv.open(QIODevice::ReadOnly));
            QCOMPARE(csv.readLine(), QByteArray("x,y,z\n"));
            got = readRows(target, "x,y,z", ',');
        } else {
            const QString pcd = dir.filePath("binary.pcd"), ascii = dir.filePath("ascii.pcd");
            const QString ply2pcd = QStandardPaths::findExecutable("pcl_ply2pcd");
            const QString convert = QStandardPaths::findExecutable("pcl_convert_pcd_ascii_binary");
            if (ply2pcd.isEmpty() || convert.isEmpty())
                QSKIP("pcl-tools (pcl_ply2pcd, pcl_convert_pcd_ascii_binary) are not installed; "
                      "scripts/setup installs them");
            if (f == Format::Ply)
                QVERIFY(run(ply2pcd, {target, pcd}));
            QVERIFY(run(convert, {f == Format::Ply ? pcd : target, ascii, "0", "8"}));
            got = readRows(ascii, "DATA ascii", ' ');
        }
        QCOMPARE(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            for (int c = 0; c < 3; ++c)
                QVERIFY2(qAbs(got[i][c] - expected[i][c]) <= 1e-3f,
                         qPrintable(QString("point %1 coordinate %2: %3 instead of %4")
                                        .arg(i)
                                        .arg(c)
                                        .arg(got[i][c])
                                        .arg(expected[i][c])));
    }

    // The point lines the exporter reads and the recorder writes: the fast integer path of
    // formatPointLine gives the standard library's text at ties, signs and large magnitudes.
    void pointLineText()
    {
        char line[RecordedProfile::kMaxLineLength], expected[RecordedProfile::kMaxLineLength];
        for (double v : {0.0625, -0.0625, 0.0005, 2.0005, -0.0004, -0.0, 1.0e-9, 12.25, -103.2505,
                         4.0e9, 3.9999999e9, 1.0e300, 255.1234999}) {
            const std::size_t n = RecordedProfile::formatPointLine(line, v, 3, -v);
            char* p = std::to_chars(expected, expected + 330, v, std::chars_format::fixed, 3).ptr;
            p = std::copy_n("; 3; ", 5, p);
            p = std::to_chars(p, p + 330, -v, std::chars_format::fixed, 3).ptr;
            p = std::copy_n(";\r\n", 3, p);
            QCOMPARE(QByteArray(line, int(n)), QByteArray(expected, int(p - expected)));
        }
    }

    // A cancel (from the progress callback) or an unreadable source leaves no file behind and
    // an existing target as it was.
    void cancelLeavesNoFile()
    {
        QTemporaryDir out;
        const QString fresh = out.filePath("fresh.ply"), old = out.filePath("old.pcd");
        QFile existing(old);
        QVERIFY(existing.open(QIODevice::WriteOnly) && existing.write("old") == 3);
        existing.close();
        const auto cancel = [](qint64, qint64) { return false; };
        for (const QString& target : {fresh, old}) {
            const Result r =
                exportFile(source, target, {formatFor({}, target), 1.0, false}, cancel);
            QVERIFY(!r.ok && r.cancelled);
        }
        const Result missing = exportFile(dir.filePath("missing.txt"), fresh, {});
        QVERIFY(!missing.ok && !missing.cancelled && !missing.error.isEmpty());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.pcd"});
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(TestPointCloudExport)
#include "test_pointcloudexport.moc"
