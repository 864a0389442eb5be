// The image view reports the scene position under the mouse.
#include "display/customview.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

class TestCustomView : public QObject
{
    Q_OBJECT

private slots:
    void reportsScenePosition()
    {
        // scale, mouse x and y in the view, scene x and y reported
        const double rows[][5] = {
            {1, 0, 0, 0, 0}, {1, 37, 12, 37, 12}, {4, 41, 83, 10, 20}, {0.5, 30, 45, 60, 90}};
        for (const auto& r : rows) {
            QGraphicsScene scene(0, 0, 40, 40); // in view at every scale, at its top left
            CustomView view;
            view.setScene(&scene);
            view.setAttribute(Qt::WA_MouseTracking); // as the main window does
            view.setAlignment(Qt::AlignLeft | Qt::AlignTop);
            view.resize(200, 200);
            view.scale(r[0], r[0]);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            QSignalSpy spy(&view, &CustomView::positionMoved);
            QMouseEvent move(QEvent::MouseMove, QPointF(r[1], r[2]), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(view.viewport(), &move);
            QCOMPARE(QList<QVariantList>(spy), QList<QVariantList>({{int(r[3]), int(r[4])}}));
        }
    }
};

QTEST_MAIN(TestCustomView)
#include "test_customview.moc"
