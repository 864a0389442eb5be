// Product parameter files and offline browsing of recordings, on the real window.
#include "files/recordedprofile.h"
#include "windowfixture.h"

#include <algorithm>

namespace {
// The last dialog shown: kind, parent (w the window, 0 none), title, text, filter.
QString lastDialog(WindowFixture& w)
{
    if (w.dialogs.empty())
        return "none";
    const Dialogs::Shown& s = w.dialogs.back();
    const char* parent = s.parent == w.window.get() ? "w" : s.parent ? "?" : "0";
    return QString("%1|%2|%3|%4|%5").arg(int(s.kind)).arg(QString(parent), s.title, s.text, s.filter);
}
const QString parameterFiles = "|Parameter files (*.txt)";

using Points = std::vector<std::pair<double, double>>;
using Frames = std::vector<std::pair<int, Points>>;

// n points moving away from x0, all exact with three decimals.
Points profile(int n, double x0)
{
    Points p;
    for (int i = 0; i < n; ++i)
        p.emplace_back(x0 + (x0 < 0 ? -i : i) * 0.25, 10 + i * 0.125);
    return p;
}

// A product recording: each frame ends in a result line (and here a blank line).
QByteArray recording(const Frames& frames)
{
    QByteArray out;
    char line[RecordedProfile::kMaxLineLength];
    for (const auto& [frame, points] : frames) {
        for (const auto& [x, z] : points)
            out.append(line, int(RecordedProfile::formatPointLine(line, x, frame, z)));
        out += "ANGLE=90.00; ERROR=0;\r\n\r\n";
    }
    return out;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName()
                                                                              : QString();
}

// The points of graph 0 in key order.
Points shown(VeltrixTestAccess& a)
{
    Points out;
    for (const QCPGraphData& d : *a.form().customPlot->graph(0)->data())
        out.emplace_back(d.key, d.value);
    return out;
}

// A block as the plot shows it: its points and (0, 0) up to a sensor line, in key order.
Points padded(Points p)
{
    p.resize(std::max<std::size_t>(1280, p.size()));
    std::sort(p.begin(), p.end());
    return p;
}
} // namespace

class TestProductOffline : public QObject
{
    Q_OBJECT
private slots:
    // Save the job on one window, load it on a fresh one, which then browses a product recording
    // in mm (frames 0, 1, 2 longer than a sensor line, 5), a pixel one, a missing one.
    void saveLoadAndBrowse()
    {
        QTemporaryDir files;
        const QString demo = files.filePath("Demo.TXT.txt");
        const auto body = [](const QString& text) { return text.section('\n', 3); }; // no date
        QString saved;
        {
            WindowFixture w;
            w.access->form().dsBPhiFilter1->setValue(2.7);
            w.access->form().cBLineAlgo2->setCurrentIndex(0);
            w.access->product().job[1].ROI_X_0 = 123.456789f;
            w.access->product().job[1].ROI_Y_1 = -0.000123456789f;
            w.answer = demo;
            w.access->saveProductAct()->trigger();
            QCOMPARE(lastDialog(w), "4|w|Save Product Parameters|" + w.window->baseDirectory() +
                                        "/ProdPar.txt" + parameterFiles);
            saved = body(w.access->exportedProductText());
        }
        WindowFixture w;
        VeltrixTestAccess& a = *w.access;
        const QString title = a.form().dWProduct->windowTitle();
        const QString before = body(a.exportedProductText());
        a.productPending() = 0;
        w.answer =
            writeFile(files, "settings.txt", "[ProductInfo]\nFunction=Sensor\nSENSOR_ROI=0\n");
        a.loadProductAct()->trigger();
        QCOMPARE(body(a.exportedProductText()), before);
        QVERIFY(a.form().dWProduct->windowTitle() == title && a.productPending() == 0);
        w.answer = demo;
        a.loadProductAct()->trigger();
        QCOMPARE(lastDialog(w), "3|w|Load Product Parameter|" + w.window->baseDirectory() +
                                    "/ProdPar.txt" + parameterFiles);
        QCOMPARE(a.product().job[1].ROI_X_0, 123.457f);
        QCOMPARE(body(a.exportedProductText()), saved);
        QVERIFY(saved.contains("LINE_FILTER=2\n") && saved.contains("ROI_Y_1=-0.000123457\n"));
        QVERIFY(a.productPending() == 1 && a.roiTrainingState() == 3);
        QCOMPARE(a.form().dWProduct->windowTitle(), QString("Product Parameters: Demo"));

        const Frames frames = {{0, profile(3, -10.5)},
                               {1, profile(2, -20)},
                               {2, profile(2000, -300)},
                               {5, profile(1, -1)}};
        const QString mmFile =
            writeFile(files, "profile_mm_20260101-120000.txt", recording(frames));
        QCPGraph* graph = a.form().customPlot->graph(0);
        a.form().rBOffline->click();
        w.answer = mmFile;
        a.openDataAct()->trigger();
        QCOMPARE(lastDialog(w), "3|w|Open offline data for 2D display|" + a.dataDir() +
                                    parameterFiles);
        QCOMPARE(graph->name(), QString("Line: 0"));
        const Points first = shown(a);
        QCOMPARE(first, padded(frames[0].second));
        QCOMPARE(a.form().customPlot->xAxis->label(), QString("x position in mm"));
        QCOMPARE(a.status() + "|" + a.statusStyle(),
                 QString("profile_mm_20260101-120000|background-color: blue"));
        const Frames forward = {
            {1, frames[1].second}, {2, frames[2].second}, {3, {}}, {4, {}},
            {5, frames[3].second}, {5, frames[3].second}}; // the last step does nothing
        for (const auto& [block, points] : forward) {
            a.nextDataAct()->trigger();
            QCOMPARE(graph->name(), QString("Line: %1").arg(block));
            QCOMPARE(shown(a), padded(points));
        }
        for (int block = 4; block >= -1; --block) { // the last step does nothing
            a.previousDataAct()->trigger();
            QCOMPARE(graph->name(), QString("Line: %1").arg(std::max(block, 0)));
        }
        QCOMPARE(shown(a), first);

        w.answer = writeFile(files, "pixel.txt", recording({{0, profile(4, 5)}}));
        a.openDataAct()->trigger();
        QCOMPARE(a.form().customPlot->yAxis->label(), QString("z position in pixel"));
        w.answer = files.filePath("missing.txt");
        a.openDataAct()->trigger();
        QCOMPARE(lastDialog(w), QString("0|0|Lumo|No such file or directory|"));
        QVERIFY(!a.offlineProfiles().isOpen());
        w.answer = mmFile;
        a.openDataAct()->trigger();
        a.form().rBOnline->click();
        QVERIFY(!a.offlineProfiles().isOpen() && a.offlineProfiles().blockStarts().empty());
    }
};

QTEST_MAIN(TestProductOffline)
#include "test_product_offline.moc"
