#include "JpegFixture.h"
#include "LibraryWait.h"

#include "library/FileListing.h"
#include "library/JpegImage.h"
#include "library/LibraryEngine.h"
#include "library/Preview.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(PreviewResult)

namespace
{

QByteArray numberedLines(int n)
{
    QByteArray out;
    for (int i = 1; i <= n; ++i)
        out += "N" + QByteArray::number(i) + "\r\n";
    return out;
}

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qRegisterMetaType<PreviewResult>();
        QVERIFY(JpegFixture::write(path("O100.nc"), numberedLines(100)));
        QVERIFY(JpegFixture::write(path("O10.nc"), numberedLines(10)));
        QVERIFY(JpegFixture::write(path("O100.jpg"), JpegFixture::encode(64, 48, 3)));
        const QByteArray good = JpegFixture::encode(64, 48, 3);
        QVERIFY(JpegFixture::write(path("O11.nc"), "x"));
        QVERIFY(JpegFixture::write(path("O11.jpg"), good.left(good.size() / 2)));
        QVERIFY(JpegFixture::write(path("O12.nc"), "x"));
        QVERIFY(JpegFixture::write(path("O12.jpg"), QByteArray(2000, '\x5a')));
    }

    void lineLimit_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("limit");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("shown");
        QTest::newRow("16 of 100") << "O100.nc" << true << "16" << 16;
        QTest::newRow("all 10 when fewer") << "O10.nc" << true << "16" << 10;
        QTest::newRow("whole text") << "O100.nc" << false << "16" << 100;
        QTest::newRow("zero") << "O100.nc" << true << "0" << 0;
        QTest::newRow("not a number") << "O100.nc" << true << "1x" << 0;
    }
    void lineLimit()
    {
        QFETCH(QString, file);
        QFETCH(bool, limit);
        QFETCH(QString, count);
        QFETCH(int, shown);
        PreviewOptions options;
        options.limitLines = limit;
        options.lineCount = count;
        const PreviewResult r = Preview::load(path(file), "", options);
        QVERIFY(r.readable);
        QCOMPARE(r.lines.size(), shown);
        if (shown > 0) {
            QCOMPARE(r.lines.first(), QString("N1"));
            QCOMPARE(r.lines.last(), QString("N%1").arg(shown));
        }
        QVERIFY(r.picture.isNull());
    }

    void picture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<bool>("decoded");
        QTest::newRow("decoded") << "O100.nc"
                                 << "Y" << true;
        QTest::newRow("flag not set") << "O100.nc"
                                      << "" << false;
        QTest::newRow("missing picture") << "O10.nc"
                                         << "Y" << false;
        QTest::newRow("truncated picture") << "O11.nc"
                                           << "Y" << false;
        QTest::newRow("garbage picture") << "O12.nc"
                                         << "Y" << false;
    }
    void picture()
    {
        QFETCH(QString, file);
        QFETCH(QString, flag);
        QFETCH(bool, decoded);
        const PreviewResult r = Preview::load(path(file), flag, PreviewOptions());
        QVERIFY(r.readable);
        QVERIFY(!r.lines.isEmpty());
        QCOMPARE(!r.picture.isNull(), decoded);
        if (decoded)
            QCOMPARE(r.picture.size(), QSize(64, 48));
    }

    void unreadableFileChangesNothing()
    {
        const PreviewResult r = Preview::load(path("absent.nc"), "Y", PreviewOptions());
        QVERIFY(!r.readable);
        QVERIFY(r.lines.isEmpty());
    }

    void jpegColourModels_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("format");
        QTest::newRow("grey") << 1 << int(QImage::Format_Grayscale8);
        QTest::newRow("rgb") << 3 << int(QImage::Format_RGB888);
        QTest::newRow("cmyk") << 4 << int(QImage::Format_RGB32);
    }
    void jpegColourModels()
    {
        QFETCH(int, components);
        QFETCH(int, format);
        const QImage img = JpegImage::decode(JpegFixture::encode(40, 30, components));
        QVERIFY(!img.isNull());
        QCOMPARE(img.size(), QSize(40, 30));
        QCOMPARE(int(img.format()), format);
    }

    void jpegScaledDecode_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("full size when no target") << QSize() << QSize(640, 480);
        QTest::newRow("quarter covers 150x100") << QSize(150, 100) << QSize(160, 120);
        QTest::newRow("eighth covers 80x60") << QSize(80, 60) << QSize(80, 60);
        QTest::newRow("height decides") << QSize(50, 200) << QSize(320, 240);
        QTest::newRow("larger target keeps full size") << QSize(1000, 1000) << QSize(640, 480);
    }
    void jpegScaledDecode()
    {
        QFETCH(QSize, target);
        QFETCH(QSize, expected);
        const QImage img = JpegImage::decode(JpegFixture::encode(640, 480, 3), target);
        QCOMPARE(img.size(), expected);
        if (target.isValid())
            QVERIFY(img.width() >= qMin(target.width(), 640) &&
                    img.height() >= qMin(target.height(), 480));
    }

    void jpegCorruptInputs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = JpegFixture::encode(64, 48, 3);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("header only") << good.left(200);
        QTest::newRow("cut in the data") << good.left(good.size() - 200);
        QTest::newRow("garbage") << QByteArray(4096, '\x17');
        QByteArray flipped = good;
        for (int i = 0; i < 40; ++i)
            flipped[3 + i] = char(0xff);
        QTest::newRow("broken header") << flipped;
    }
    void jpegCorruptInputs()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(JpegImage::decode(bytes).isNull());
        QVERIFY(JpegImage::decode(bytes, QSize(10, 10)).isNull());
    }

    void previewJobThroughEngine()
    {
        LibraryEngine engine;
        PreviewOptions options;
        options.limitLines = true;
        options.lineCount = "16";
        engine.setPreviewOptions(options);
        engine.startListing(m_dir.path(), "O100.nc");
        waitIdle(engine);
        QCOMPARE(engine.fileList().row(0).picture, QString("Y"));
        QSignalSpy ready(&engine, &LibraryEngine::previewReady);
        QVERIFY(engine.StringGrid1Click(0));
        QCOMPARE(ready.count(), 0);
        waitIdle(engine);
        QCOMPARE(ready.count(), 1);
        auto r = ready.takeFirst().at(0).value<PreviewResult>();
        QCOMPARE(r.lines.size(), 16);
        QVERIFY(!r.picture.isNull());

        // The picture deleted after the listing: text shown, picture pane empty.
        QVERIFY(QFile::copy(path("O100.jpg"), path("keep.jpg")));
        QVERIFY(QFile::remove(path("O100.jpg")));
        QVERIFY(engine.StringGrid1Click(0));
        waitIdle(engine);
        r = ready.takeFirst().at(0).value<PreviewResult>();
        QCOMPARE(r.lines.size(), 16);
        QVERIFY(r.picture.isNull());
        QVERIFY(QFile::rename(path("keep.jpg"), path("O100.jpg")));
        QVERIFY(!engine.StringGrid1Click(5));
    }

    void transferBuffer()
    {
        LibraryEngine engine;
        engine.startListing(m_dir.path(), "O1?.nc");
        waitIdle(engine);
        QCOMPARE(engine.fileList().rowCount(), 3);
        const QString base = FileListing::folderWithSeparator(m_dir.path());
        QCOMPARE(engine.buffer().rowCount(), 1);

        // Removing from an empty buffer or on the empty last row changes nothing.
        QVERIFY(!engine.PopupClick(0, 0));
        for (int row : {0, 0, 1, 2})
            QVERIFY(engine.StringGrid1DblClick(row));
        QCOMPARE(engine.buffer().rowCount(), 5);
        QCOMPARE(engine.buffer().rowText(4), QString());
        QCOMPARE(engine.buffer().entries().at(0), engine.buffer().entries().at(1));
        QVERIFY(!engine.PopupClick(0, 4));
        QVERIFY(!engine.PopupClick(0, -1));
        QCOMPARE(engine.buffer().rowCount(), 5);
        QVERIFY(engine.PopupClick(0, 1));
        const QStringList expected{base + engine.fileList().row(0).name,
                                   base + engine.fileList().row(1).name,
                                   base + engine.fileList().row(2).name};
        QCOMPARE(engine.buffer().entries(), expected);
        QVERIFY(engine.PopupClick(0, 1));
        QCOMPARE(engine.buffer().entries(), (QStringList{expected.at(0), expected.at(2)}));

        // A send takes the whole buffer, whatever row is current, and empties it.
        QCOMPARE(engine.takeSendFiles(1), (QStringList{expected.at(0), expected.at(2)}));
        QCOMPARE(engine.buffer().rowCount(), 1);
        QCOMPARE(engine.takeSendFiles(1), QStringList{expected.at(1)});

        QVERIFY(engine.StringGrid1DblClick(0));
        QVERIFY(engine.PopupClick(1, 0));
        QVERIFY(engine.buffer().isEmpty());
        QVERIFY(!engine.PopupClick(1, 0));
    }

    void emptyListQueuesAndSendsNothing()
    {
        LibraryEngine engine;
        engine.startListing(m_dir.path(), "*.tap");
        waitIdle(engine);
        QVERIFY(engine.fileList().isEmpty());
        QVERIFY(!engine.StringGrid1DblClick(0));
        QCOMPARE(engine.buffer().rowCount(), 1);
        QVERIFY(engine.takeSendFiles(0).isEmpty());
        QVERIFY(!engine.StringGrid1Click(0));
    }

    void viewPicturePath()
    {
        LibraryEngine engine;
        engine.startListing(m_dir.path(), "O10*.nc");
        waitIdle(engine);
        for (int row = 0; row < engine.fileList().rowCount(); ++row) {
            const FileRow &r = engine.fileList().row(row);
            const QString view = engine.picturePathForView(row);
            if (r.name == "O100.nc")
                QCOMPARE(QFileInfo(view).fileName(), QString("O100.jpg"));
            else
                QVERIFY(view.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_library_preview.moc"
