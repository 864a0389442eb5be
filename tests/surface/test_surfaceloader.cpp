// The 3D loader on real files: rows, ranges, rejected files and the items handed over.
#include "surface/surfaceloader.h"

#include <QTemporaryDir>
#include <QTest>
#include <QVector3D>
#include <vector>

using namespace QtDataVisualization;
using Ranges = std::vector<float>; // minX, maxX, minY, maxY, minZ, maxZ
Q_DECLARE_METATYPE(Ranges)

namespace {
// Point lines "x; frame; z;" as a recording writes them, (x, frame, z) each.
QByteArray lines(std::initializer_list<std::tuple<double, int, double>> points)
{
    QByteArray text;
    for (const auto& [x, frame, z] : points)
        text += QByteArray::number(x, 'f', 3) + "; " + QByteArray::number(frame) + "; " +
                QByteArray::number(z, 'f', 3) + ";\r\n";
    return text;
}

// 3 profiles x 4 points, keys 0, 1, 2; point c of profile f at x = 10c + f, z = 100f + c.
QByteArray grid()
{
    QByteArray text;
    for (int f = 0; f < 3; ++f)
        for (int c = 0; c < 4; ++c)
            text += lines({{10.0 * c + f, f, 100.0 * f + c}});
    return text;
}
} // namespace

class TestSurfaceLoader : public QObject
{
    Q_OBJECT

private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<int>("rows");           // -1: no surface, -2: file error
        QTest::addColumn<int>("columns");
        QTest::addColumn<Ranges>("ranges"); // empty: not checked
        QTest::addColumn<QPoint>("item");   // (column, row) of the checked item
        QTest::addColumn<QVector3D>("position");

        const Ranges gridRanges{0, 32, 0, 203, 0, 2};
        QTest::newRow("3 x 4, item (row 1, column 2) from line 6")
            << grid() << 3 << 4 << gridRanges << QPoint(2, 1) << QVector3D(21, 102, 1);
        QTest::newRow("LF line ends") << grid().replace("\r\n", "\n") << 3 << 4 << gridRanges
                                      << QPoint(3, 2) << QVector3D(32, 203, 2);
        QTest::newRow("4, 4, 3 points") << grid().left(grid().lastIndexOf("32.000")) << -1 << 0
                                        << Ranges{} << QPoint() << QVector3D();
        QTest::newRow("falling key continues the row")
            << lines({{1, 0, 1}, {2, 0, 2}, {3, 1, 3}, {4, 0, 4}}) << 2 << 2
            << Ranges{1, 4, 1, 4, 0, 0} << QPoint(1, 1) << QVector3D(4, 4, 0);
        QTest::newRow("-300 not in minX, first point of row 2 not in the ranges")
            << lines({{5, 0, 1}, {-300, 0, 2}, {-400, 1, 50}, {7, 1, 3}}) << 2 << 2
            << Ranges{5, 7, 1, 3, 0, 1} << QPoint(0, 1) << QVector3D(-400, 50, 1);
        QTest::newRow("product recording: result lines skipped")
            << lines({{1, 0, 1}, {2, 0, 2}}) + "Phi=1.5;Cx=0.2;Cy=1;B=3;Error=0;DiffAngle=9\r\n" +
                   lines({{1, 1, 3}, {2, 1, 4}}) + "Phi=1.5;Cx=0.2;Error=-1\r\n\r\n"
            << 2 << 2 << Ranges{1, 2, 1, 4, 0, 1} << QPoint(1, 1) << QVector3D(2, 4, 1);
        QTest::newRow("one row, last line without line end")
            << lines({{1, 7, 1}, {2, 7, 2}, {3, 7, 3}}).chopped(2) << 1 << 3
            << Ranges{1, 3, 1, 3, 7, 7} << QPoint(2, 0) << QVector3D(3, 3, 7);
        QTest::newRow("one column")
            << lines({{1, 0, 1}, {2, 1, 2}, {3, 2, 3}}) << 3 << 1 << Ranges{1, 1, 1, 1, 0, 0}
            << QPoint(0, 2) << QVector3D(3, 3, 2);
        QTest::newRow("empty file")
            << QByteArray("") << -1 << 0 << Ranges{} << QPoint() << QVector3D();
        QTest::newRow("no file") << QByteArray() << -2 << 0 << Ranges{} << QPoint() << QVector3D();
        QTest::newRow("no point line") << QByteArray("Phi=1;Error=0\r\n\r\n") << -1 << 0 << Ranges{}
                                       << QPoint() << QVector3D();
    }

    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(Ranges, ranges);
        QFETCH(QPoint, item);
        QFETCH(QVector3D, position);
        QTemporaryDir dir;
        QFile file(dir.filePath("profile.txt"));
        QVERIFY(content.isNull() ||
                (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
        file.close();

        const SurfaceLoader::Result result = SurfaceLoader::load(file.fileName());
        if (rows < 0) {
            QCOMPARE(result.outcome, rows == -1 ? SurfaceLoader::Outcome::NoSurface
                                                : SurfaceLoader::Outcome::FileError);
            QCOMPARE(result.errorText, QString(rows == -1 ? "" : "No such file or directory"));
            return;
        }
        QCOMPARE(result.outcome, SurfaceLoader::Outcome::Loaded);
        QCOMPARE(result.array->size(), rows);
        for (const QSurfaceDataRow* row : *result.array)
            QCOMPARE(row->size(), columns);
        const SurfaceLoader::Ranges& r = result.ranges;
        QCOMPARE((Ranges{r.minX, r.maxX, r.minY, r.maxY, r.minZ, r.maxZ}), ranges);
        QCOMPARE(result.array->at(item.y())->at(item.x()).position(), position);
    }
};

QTEST_GUILESS_MAIN(TestSurfaceLoader)
#include "test_surfaceloader.moc"
