#include "settings/WindowPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

class TestWindowPlace : public QObject
{
    Q_OBJECT

private slots:
    void centred_data()
    {
        QTest::addColumn<QRect>("work");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QPoint>("corner");
        QTest::newRow("whole screen")
            << QRect(0, 0, 1280, 800) << QSize(580, 400) << QPoint(350, 200);
        // A panel on the left and a bar on top move the middle; the old copies forgot x or
        // halved it.
        QTest::newRow("panel and bar")
            << QRect(64, 27, 1216, 773) << QSize(580, 400) << QPoint(382, 213);
        QTest::newRow("odd sizes round down")
            << QRect(0, 0, 801, 561) << QSize(300, 200) << QPoint(250, 180);
        QTest::newRow("second screen")
            << QRect(1920, 0, 1280, 1024) << QSize(1280, 1024) << QPoint(1920, 0);
        // Larger than the area: the title bar stays on the screen.
        QTest::newRow("larger than the area")
            << QRect(10, 20, 800, 560) << QSize(1000, 700) << QPoint(10, 20);
    }

    void centred()
    {
        QFETCH(QRect, work);
        QFETCH(QSize, frame);
        QFETCH(QPoint, corner);
        QCOMPARE(WindowPlace::centred(work, frame), corner);
    }

    void centreMovesTheFrame()
    {
        QWidget window;
        window.resize(333, 211);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        WindowPlace::centre(&window);
        const QRect work = window.screen()->availableGeometry();
        const QRect frame = window.frameGeometry();
        QCOMPARE(frame.topLeft(), WindowPlace::centred(work, frame.size()));
        QVERIFY(qAbs((frame.left() - work.left()) - (work.right() - frame.right())) <= 1);
    }
};

QTEST_MAIN(TestWindowPlace)
#include "tst_windowplace.moc"
