// Product parameter files and offline browsing of recordings, on the real window.
#include "files/recordedprofile.h"
#include "windowfixture.h"

#include <algorithm>

namespace {
// Answers every dialog with reply and keeps what was shown.
struct DialogLog
{
    std::vector<Dialogs::Shown> shown;
    QString reply;
    DialogLog()
    {
        Dialogs::setResponder([this](const Dialogs::Shown& s) {
            shown.push_back(s);
            return reply;
        });
    }
    void expect(Dialogs::Kind kind, QWidget* parent, const QString& title, const QString& text)
    {
        QVERIFY(!shown.empty());
        const Dialogs::Shown& s = shown.back();
        QCOMPARE(int(s.kind), int(kind));
        QCOMPARE(s.parent, parent);
        QCOMPARE(s.title, title);
        QCOMPARE(s.text, text);
        if (kind != Dialogs::Kind::Critical)
            QCOMPARE(s.filter, QString("Parameter files (*.txt)"));
    }
};

using Points = std::vector<std::pair<double, double>>;

// n points moving away from x0, all exact with three decimals.
Points profile(int n, double x0)
{
    Points p;
    for (int i = 0; i < n; ++i)
        p.emplace_back(x0 + (x0 < 0 ? -i : i) * 0.25, 10 + i * 0.125);
    return p;
}

// A recording; with results, each frame ends in a result line and a blank line as in product mode.
void writeRecording(const QString& path, const std::vector<std::pair<int, Points>>& frames,
                    bool results)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    char line[RecordedProfile::kMaxLineLength];
    for (const auto& [frame, points] : frames) {
        for (const auto& [x, z] : points)
            file.write(line, qint64(RecordedProfile::formatPointLine(line, x, frame, z)));
        if (results)
            file.write("ANGLE=90.00; ERROR=0;\r\n\r\n");
    }
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

QString body(const QString& productText)
{
    return productText.section('\n', 3); // without the date and time
}
} // namespace

class TestProductOffline : public QObject
{
    Q_OBJECT
private slots:
    // Save on one window, load on a fresh one: the record comes back with six significant
    // digits; a file of another kind changes nothing.
    void productFileRoundTrip()
    {
        QTemporaryDir files;
        const QString demo = files.filePath("Demo.TXT.txt");
        QString saved;
        {
            WindowFixture w;
            DialogLog log;
            w.access->form().dsBNominalValue->setValue(90.5);
            w.access->form().dsBPhiFilter1->setValue(2.7);
            w.access->form().cBLineAlgo2->setCurrentIndex(0);
            ProductJob& job = w.access->product().job[1];
            job.ROI_X_0 = 123.456789f;
            job.ROI_Y_1 = -0.000123456789f;
            log.reply = demo;
            w.access->saveProductAct()->trigger();
            log.expect(Dialogs::Kind::SaveFile, w.window.get(), "Save Product Parameters",
                       w.window->baseDirectory() + "/ProdPar.txt");
            QFile file(demo);
            QVERIFY(file.open(QIODevice::ReadOnly));
            saved = QString::fromLocal8Bit(file.readAll());
            QVERIFY(saved.contains("LINE_FILTER=2\n") && saved.contains("ROI_X_0=123.457\n"));
        }
        WindowFixture w;
        DialogLog log;
        VeltrixTestAccess& a = *w.access;
        const QString title = a.form().dWProduct->windowTitle();
        const QString before = body(a.exportedProductText());
        a.productPending() = 0;
        log.reply = files.filePath("settings.txt");
        QFile other(log.reply);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("[ProductInfo]\nFunction=SensorSettings\nSENSOR_ROI=0\nTARGET_ANGLE=7\n");
        other.close();
        a.loadProductAct()->trigger();
        QCOMPARE(body(a.exportedProductText()), before);
        QCOMPARE(a.form().dWProduct->windowTitle(), title);
        QCOMPARE(a.productPending(), 0);

        log.reply = demo;
        a.loadProductAct()->trigger();
        log.expect(Dialogs::Kind::OpenFile, w.window.get(), "Load Product Parameter",
                   w.window->baseDirectory() + "/ProdPar.txt");
        QCOMPARE(a.product().job[1].ROI_X_0, 123.457f);
        QCOMPARE(a.product().job[1].ROI_Y_1, -0.000123457f);
        QCOMPARE(body(a.exportedProductText()), body(saved));
        QCOMPARE(a.form().dsBPhiFilter1->value(), 2.0);
        QCOMPARE(a.productPending(), 1);
        QCOMPARE(a.roiTrainingState(), 3);
        QCOMPARE(a.form().dWProduct->windowTitle(), QString("Product Parameters: Demo"));
    }

    // A product recording in mm with frames 0, 1, 2 (longer than a sensor line) and 5, browsed
    // forward and back; then a pixel recording, a file that does not open, the switch online.
    void browseRecording()
    {
        QTemporaryDir files;
        const std::vector<std::pair<int, Points>> frames = {{0, profile(3, -10.5)},
                                                            {1, profile(2, -20)},
                                                            {2, profile(2000, -300)},
                                                            {5, profile(1, -1)}};
        const QString mmFile = files.filePath("profile_mm_20260101-120000.txt");
        writeRecording(mmFile, frames, true);
        WindowFixture w;
        DialogLog log;
        VeltrixTestAccess& a = *w.access;
        QCPGraph* graph = a.form().customPlot->graph(0);
        a.form().rBOffline->click();
        log.reply = mmFile;
        a.openDataAct()->trigger();
        log.expect(Dialogs::Kind::OpenFile, w.window.get(), "Open offline data for 2D display",
                   a.dataDir());
        QCOMPARE(graph->name(), QString("Line: 0"));
        const Points first = shown(a);
        QCOMPARE(first, padded(frames[0].second));
        QCOMPARE(a.plotUnit(), 2);
        QCOMPARE(a.form().customPlot->xAxis->label(), QString("x position in mm"));
        QCOMPARE(a.status(), QString("profile_mm_20260101-120000"));
        QCOMPARE(a.statusStyle(), QString("background-color: blue"));

        const std::vector<std::pair<int, Points>> forward = {
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

        const QString pixelFile = files.filePath("pixel.txt");
        writeRecording(pixelFile, {{0, profile(4, 5)}}, false);
        log.reply = pixelFile;
        a.openDataAct()->trigger();
        QCOMPARE(a.plotUnit(), 1);
        QCOMPARE(a.form().customPlot->yAxis->label(), QString("z position in pixel"));
        QCOMPARE(a.offline().blockStarts().size(), std::size_t(1));

        log.reply = files.filePath("missing.txt");
        QFile missing(log.reply);
        QVERIFY(!missing.open(QIODevice::ReadOnly));
        a.openDataAct()->trigger();
        log.expect(Dialogs::Kind::Critical, nullptr, "Lumo", missing.errorString());
        QVERIFY(!a.offline().isOpen());

        log.reply = mmFile;
        a.openDataAct()->trigger();
        a.form().rBOnline->click();
        QVERIFY(!a.offline().isOpen() && a.offline().blockStarts().empty());
    }
};

QTEST_MAIN(TestProductOffline)
#include "test_product_offline.moc"
