// The 3D view of the real window: start state, "&3D Display" on a recording, the view
// operations before and after a file, a rejected file.
#include "../app/windowfixture.h"

#include <QtDataVisualization>

using namespace QtDataVisualization;

class TestSurfaceView : public QObject
{
    Q_OBJECT

private slots:
    void surfaceOfARecording()
    {
        WindowFixture f;
        VeltrixTestAccess& w = *f.access;
        Ui::Veltrix& form = w.form();
        Q3DSurface* graph = w.surfaceGraph()->surface();
        Q3DCamera* camera = graph->scene()->activeCamera();

        // Before a file is chosen the camera does not move.
        auto view = [camera] {
            return QVector3D(camera->xRotation(), camera->yRotation(), camera->zoomLevel());
        };
        const QVector3D camera0 = view();
        form.hSRotationX->setValue(90), form.hSRotationY->setValue(45);
        w.surfaceGraph()->zoomInView();
        QCOMPARE(view(), camera0);

        // 5 profiles x 8 points at x = 1, 1.5 .. 4.5; a file of 4, 4, 3 points; one profile.
        QByteArray scan, bad;
        for (int frame = 0; frame < 5; ++frame)
            for (int c = 0; c < 8; ++c)
                scan += QString("%1; %2; %3;\r\n").arg(1 + c * 0.5).arg(frame).arg(c).toUtf8();
        for (int frame : {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2})
            bad += QString("1.0; %1; 2.0;\r\n").arg(frame).toUtf8();
        auto load = [&](const QString& name, const QByteArray& content) {
            f.answer = writtenFile(f.dir.filePath(name), content);
            w.display3DAct()->trigger();
        };
        const QString sliders =
            "hSAxisMinSliderX hSAxisMaxSliderX hSAxisMinSliderZ hSAxisMaxSliderZ";

        form.rBOffline->click();
        load("scan_01.TXT", scan);
        QCOMPARE(f.shown(),
                 "3|Open offline data for 3D display|" + w.dataDir() + "|Parameter files (*.txt)");
        const QSurfaceDataProxy* proxy = graph->seriesList().value(0)->dataProxy();
        QVERIFY(graph->seriesList().size() == 1 && proxy->columnCount() == 8 &&
                proxy->rowCount() == 5);
        QCOMPARE(controlsText(f.window.get(), sliders),
                 QString("hSAxisMinSliderX=0[0,6] hSAxisMaxSliderX=7[0,7] hSAxisMinSliderZ=0[0,3] "
                         "hSAxisMaxSliderZ=4[0,4]"));
        QCOMPARE(w.state(), QString("scan_01|blue|"));

        // The column minimum dragged onto the maximum pushes it one position on.
        form.hSAxisMaxSliderX->setValue(3), form.hSAxisMinSliderX->setValue(3);
        QCOMPARE(
            QVector3D(form.hSAxisMaxSliderX->value(), graph->axisX()->min(), graph->axisX()->max()),
            QVector3D(4, 2.5, 3.0));

        form.tWDisplay->setCurrentIndex(2); // the window's zoom command acts on the 3D view
        w.zoomInAct()->trigger();
        QCOMPARE(camera->zoomLevel(), 115.0f);
        form.hSRotationY->setValue(20), form.hSRotationX->setValue(30); // zoom 100, 115 kept
        QCOMPARE(view(), QVector3D(30, 20, 100));
        w.surfaceGraph()->zoomInView();
        QVERIFY(qAbs(camera->zoomLevel() - 132.25f) < 0.01f);

        // A rejected file leaves the surface and the status line as they were.
        load("bad.txt", bad);
        QCOMPARE(f.shown().section('\n', 1) + QString(" %1 ").arg(proxy->rowCount()) + w.status(),
                 "0!|Lumo|Loading data error! 5 scan_01");

        // One profile: the row sliders stay at 0, the row axis keeps the data's range.
        load("row.txt", "1; 7; 1;\n2; 7; 2;\n3; 7; 3;\n");
        QCOMPARE(controlsText(f.window.get(), sliders),
                 QString("hSAxisMinSliderX=0[0,1] hSAxisMaxSliderX=2[0,2] hSAxisMinSliderZ=0[0,0] "
                         "hSAxisMaxSliderZ=0[0,0]"));
        QCOMPARE(graph->axisZ()->min(), 7.7f);
    }
};

QTEST_MAIN(TestSurfaceView)
#include "test_surfaceview.moc"
