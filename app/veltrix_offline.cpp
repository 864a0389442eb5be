// Browsing a recorded profile file on the profile plot without a sensor: open a file, step
// to the next or the previous profile. The file is read by OfflineProfiles; this glues it to
// the plot, the status line and the dialogs.
#include "app/veltrix.h"

#include "app/dialogs.h"
#include "ui_veltrix.h"

#include <QAction>
#include <QLineEdit>
#include <algorithm>
#include <qcustomplot.h>

void Veltrix::connectProductAndDataActions()
{
    connect(saveProductAct, &QAction::triggered, this, [this] { exportProductFile(); });
    connect(loadProductAct, &QAction::triggered, this, [this] { importProductFile(); });
    connect(openDataAct, &QAction::triggered, this, &Veltrix::openData);
    connect(nextDataAct, &QAction::triggered, this, &Veltrix::nextData);
    connect(previousDataAct, &QAction::triggered, this, &Veltrix::previousData);
}

void Veltrix::openData()
{
    rememberPlotRanges(plotUnit);
    const QString path = Dialogs::getOpenFileName(this, tr("Open offline data for 2D display"),
                                                  dataDir, tr("Parameter files (*.txt)"));
    if (path.isEmpty())
        return;
    if (!offlineProfiles.open(path)) { // the file browsed before is closed in any case
        Dialogs::critical(nullptr, tr("Lumo"), offlineProfiles.errorString());
        return;
    }

    // A recording in mm starts left of the optical axis: its first x is negative.
    const bool mm = offlineProfiles.x().front() < 0;
    QCustomPlot* plot = form->customPlot;
    plot->xAxis->setLabel(mm ? tr("x position in mm") : tr("x position in pixel"));
    plot->yAxis->setLabel(mm ? tr("z position in mm") : tr("z position in pixel"));
    const double* pair = storedRanges + (mm ? 4 : 0);
    plot->xAxis->setRange(pair[0], pair[1]);
    plot->yAxis->setRange(pair[2], pair[3]);
    plotUnit = mm ? 2 : 1;
    showOfflineBlock();
    // A unit never viewed has no range to show: fit the axes to the first profile instead,
    // widened as the first live profile is.
    if (std::all_of(pair, pair + 4, [](double v) { return v == 0.0; })) {
        plot->rescaleAxes();
        plot->xAxis->scaleRange(1.5, plot->xAxis->range().center());
        plot->yAxis->scaleRange(1.5, plot->yAxis->range().center());
        plot->replot(QCustomPlot::rpRefreshHint);
    }

    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    name.remove(QStringLiteral(".txt"));
    setStatus(name, QStringLiteral("background-color: blue"));
}

void Veltrix::nextData()
{
    if (offlineProfiles.next())
        showOfflineBlock();
}

void Veltrix::previousData()
{
    if (offlineProfiles.previous())
        showOfflineBlock();
}

void Veltrix::showOfflineBlock()
{
    QCustomPlot* plot = form->customPlot;
    if (plot->graphCount() == 0)
        return;
    QCPGraph* graph = plot->graph(0);
    graph->setName(QStringLiteral("Line: %1").arg(offlineProfiles.blockIndex()));
    const std::vector<double>& x = offlineProfiles.x();
    const std::vector<double>& z = offlineProfiles.z();
    offlineGraphData.resize(int(x.size()));
    for (std::size_t i = 0; i < x.size(); ++i)
        offlineGraphData[int(i)] = QCPGraphData(x[i], z[i]);
    graph->data()->set(offlineGraphData); // sorted by key, as the graph keeps them
    plot->replot(QCustomPlot::rpRefreshHint);
}
