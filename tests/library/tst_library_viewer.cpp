// Viewer geometry as a table, then the viewer window and the main window's view entry.
#include "app/MainWindow.h"
#include "library/LibraryEngine.h"
#include "library/LibraryJobs.h"
#include "library/LibraryPanes.h"
#include "library/Viewer.h"
#include "library/ViewerGeometry.h"
#include "settings/Option.h"

#include "JpegFixture.h"
#include "TestFiles.h"
#include "WindowHelpers.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

Q_DECLARE_METATYPE(QSize)
Q_DECLARE_METATYPE(QPoint)

class TestViewer : public QObject
{
    Q_OBJECT
private slots:
    // ops: comma-separated steps among in, out, actual, fit.
    void geometry_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("inside");
        QTest::addColumn<QString>("ops");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QPoint>("position");
        const QSize none;
        QTest::newRow("small picture fitted") << QSize(200, 100) << QSize(400, 300) << "" << true
                                              << none << QSize(200, 100) << QPoint();
        QTest::newRow("small picture zoomed in")
            << QSize(200, 100) << QSize(400, 300) << "in" << false << QSize(220, 110)
            << QSize(220, 110) << QPoint(90, 95);
        QTest::newRow("wide picture fitted") << QSize(1000, 500) << QSize(500, 400) << "" << true
                                             << none << QSize(500, 250) << QPoint();
        QTest::newRow("wide picture zoomed in")
            << QSize(1000, 500) << QSize(500, 400) << "in" << false << QSize(550, 275)
            << QSize(550, 275) << QPoint(0, 62);
        QTest::newRow("tall picture zoomed out")
            << QSize(300, 1000) << QSize(500, 400) << "out" << false << QSize(109, 364)
            << QSize(109, 363) << QPoint(195, 18);
        QTest::newRow("actual size after zooming")
            << QSize(1000, 500) << QSize(500, 400) << "in,in,out,actual" << false
            << QSize(1000, 500) << QSize(1000, 500) << QPoint(0, 0);
        QTest::newRow("fit after zooming") << QSize(1000, 500) << QSize(500, 400) << "in,in,fit"
                                           << true << none << QSize(500, 250) << QPoint();
        QTest::newRow("equal width takes the inside")
            << QSize(400, 100) << QSize(400, 300) << "in" << false << QSize(440, 330)
            << QSize(440, 110) << QPoint(0, 0);
        QTest::newRow("4 high no longer grows")
            << QSize(100, 4) << QSize(400, 300) << "in,in" << false << QSize(121, 4)
            << QSize(100, 4) << QPoint(139, 148);
        QTest::newRow("5 high grows to 6") << QSize(100, 5) << QSize(400, 300) << "in" << false
                                           << QSize(110, 6) << QSize(110, 6) << QPoint(145, 147);
        QTest::newRow("5 no longer shrinks")
            << QSize(6, 6) << QSize(400, 300) << "out,out,out,out" << false << QSize(5, 5)
            << QSize(5, 5) << QPoint(197, 147);
    }
    void geometry()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, inside);
        QFETCH(QString, ops);
        ViewerGeometry g;
        g.setPicture(picture);
        g.setInside(inside);
        for (const QString &op : ops.split(u',', Qt::SkipEmptyParts)) {
            if (op == u"in")
                g.zoomIn();
            else if (op == u"out")
                g.zoomOut();
            else if (op == u"actual")
                g.actualSize();
            else
                g.fit();
        }
        QFETCH(bool, fit);
        QFETCH(QSize, shown);
        QCOMPARE(g.fitMode(), fit);
        QCOMPARE(g.shownSize(), shown);
        if (!fit) {
            QFETCH(QSize, box);
            QFETCH(QPoint, position);
            QCOMPARE(g.box(), box);
            QCOMPARE(g.boxPosition(), position);
            QCOMPARE(g.scrollRange(), QSize(qMax(0, box.width() - inside.width()),
                                            qMax(0, box.height() - inside.height())));
        }
    }

    void roundsHalvesToEven()
    {
        const struct {
            double in;
            int out;
        } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {4.4, 4}, {5.5, 6}, {4.55, 5}, {363.64, 364}};
        for (const auto &c : cases)
            QCOMPARE(ViewerGeometry::roundEven(c.in), c.out);
        QCOMPARE(scrollAfterRelease(QPoint(100, 100), QPoint(60, 70)), QPoint(40, 30));
    }

    // The window: caption, zoom on the widgets, mouse scrolling, fit again after closing.
    void window()
    {
        QTemporaryDir dir;
        const QString wide =
            fixture(dir, QStringLiteral("O1.jpg"), JpegFixture::encode(1000, 500, 3));
        const QString small =
            fixture(dir, QStringLiteral("O2.jpg"), JpegFixture::encode(80, 60, 1));
        TViewer v;
        QVERIFY(!v.setImageFile(dir.filePath(QStringLiteral("none.jpg"))));
        QVERIFY(v.errorText().contains(QStringLiteral("none.jpg")));
        QVERIFY(!v.setImageFile(fixture(dir, QStringLiteral("bad.jpg"), "not a picture")));
        QVERIFY(v.setImageFile(wide));
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QCOMPARE(v.windowTitle(), QDir::toNativeSeparators(wide) + QStringLiteral("-圖片檢視器"));
        QCOMPARE(v.imageSize(), QSize(1000, 500));
        QVERIFY(v.isCentring());
        QCOMPARE(named<ViewerPicture>(&v, "ImageVewer")->size(),
                 named<QScrollArea>(&v, "ScrollBox1")->viewport()->size());

        QTest::mouseClick(named<QToolButton>(&v, "ActualButton"), Qt::LeftButton);
        QCOMPARE(named<ViewerPicture>(&v, "ImageVewer")->size(), QSize(1000, 500));
        QCOMPARE(named<ViewerPicture>(&v, "ImageVewer")->pos(), QPoint(0, 0));
        QScrollBar *h = named<QScrollArea>(&v, "ScrollBox1")->horizontalScrollBar();
        QScrollBar *vert = named<QScrollArea>(&v, "ScrollBox1")->verticalScrollBar();
        QVERIFY(h->maximum() > 100 && vert->maximum() > 100);
        h->setValue(10);
        vert->setValue(20);
        QTest::mousePress(named<ViewerPicture>(&v, "ImageVewer"), Qt::LeftButton, {},
                          QPoint(100, 100));
        QCOMPARE(h->value(), 10); // nothing moves while the button is held
        QTest::mouseRelease(named<ViewerPicture>(&v, "ImageVewer"), Qt::LeftButton, {},
                            QPoint(60, 70));
        QCOMPARE(h->value(), 50);
        QCOMPARE(vert->value(), 50);

        QTest::mouseClick(named<QToolButton>(&v, "ZoomOutButton"), Qt::LeftButton);
        QCOMPARE(named<ViewerPicture>(&v, "ImageVewer")->size(), QSize(909, 455));
        v.close();
        QVERIFY(!v.isCentring());
        QVERIFY(v.geometry().fitMode());

        QVERIFY(v.setImageFile(small));
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QVERIFY(v.geometry().fitMode());
        QCOMPARE(named<ViewerPicture>(&v, "ImageVewer")->shownSize(), QSize(80, 60));
        v.close();
    }

    // The main window's view entry opens the built-in viewer when the settings choose it.
    void viewEntry()
    {
        QTemporaryDir base, nc;
        QVERIFY(writeFile(nc.filePath(QStringLiteral("O1.nc")), "%\nO1\n%\n"));
        QVERIFY(writeFile(nc.filePath(QStringLiteral("O1.jpg")), JpegFixture::encode(64, 48, 3)));
        TOption option(base.path() + u'/', QRect(0, 0, 1920, 1040), QStringLiteral("none"));
        QStringList main = option.getOptionList(TOption::MainList);
        main[0] = nc.path();
        option.setOptionList(TOption::MainList, main);
        TF_Main w(base.path() + u'/');
        TViewer viewer;
        w.setOption(&option);
        w.setViewer(&viewer);
        w.show();
        QTRY_COMPARE(w.engine()->jobQueue()->pendingJobs(), 0);
        QCOMPARE(w.engine()->fileList().rowCount(), 1);
        named<FileListPane>(&w, "Panel3")->setCurrentRow(0);
        QString caption;
        QTimer::singleShot(100, [&] {
            if (auto *shown = qobject_cast<TViewer *>(QApplication::activeModalWidget())) {
                caption = shown->windowTitle();
                shown->close();
            }
        });
        w.PopupClick(2);
        QCOMPARE(caption, QDir::toNativeSeparators(nc.filePath(QStringLiteral("O1.jpg"))) +
                              QStringLiteral("-圖片檢視器"));
    }
};

QTEST_MAIN(TestViewer)
#include "tst_library_viewer.moc"
