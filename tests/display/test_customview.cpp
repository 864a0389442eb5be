// The image view reports the scene position under the mouse.
#include "display/customview.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

class TestCustomView : public QObject
{
    Q_OBJECT

private slots:
    void reportsScenePosition_data();
    void reportsScenePosition();
};

void TestCustomView::reportsScenePosition_data()
{
    QTest::addColumn<double>("scale");
    QTest::addColumn<QPoint>("viewPos");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("1:1 origin") << 1.0 << QPoint(0, 0) << QPoint(0, 0);
    QTest::newRow("1:1") << 1.0 << QPoint(37, 12) << QPoint(37, 12);
    QTest::newRow("zoomed in 4x") << 4.0 << QPoint(41, 83) << QPoint(10, 20);
    QTest::newRow("zoomed out 2x") << 0.5 << QPoint(30, 45) << QPoint(60, 90);
}

void TestCustomView::reportsScenePosition()
{
    QFETCH(double, scale);
    QFETCH(QPoint, viewPos);
    QFETCH(QPoint, expected);
    QGraphicsScene scene(0, 0, 2000, 2000);
    CustomView view;
    view.setScene(&scene);
    view.setAttribute(Qt::WA_MouseTracking); // as the main window does
    view.setFrameShape(QFrame::NoFrame);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(200, 200);
    view.scale(scale, scale);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->minimum());
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->minimum());

    QSignalSpy spy(&view, &CustomView::positionMoved);
    QMouseEvent move(QEvent::MouseMove, viewPos, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QCOMPARE(spy.count(), 1);
    const QPoint reported(spy[0][0].toInt(), spy[0][1].toInt());
    QCOMPARE(reported, expected);
    const QPointF scenePos = view.mapToScene(viewPos);
    QCOMPARE(reported, QPoint(int(std::floor(scenePos.x())), int(std::floor(scenePos.y()))));
}

QTEST_MAIN(TestCustomView)
#include "test_customview.moc"
