#include "JpegFixture.h"
#include "LibraryWait.h"

#include "library/JpegImage.h"
#include "library/LibraryEngine.h"
#include "library/Preview.h"
#include "library/PreviewCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(PreviewResult)

namespace
{

const QSize Pane(100, 80); // 640 x 480 pictures are read at 2/8: 160 x 120

void setTime(const QString &path, qint64 secondsAgo)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo),
                          QFileDevice::FileModificationTime));
}

} // namespace

class TestPreviewCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<PreviewResult>(); }

    // The cached picture is the very picture a decode gives, in every colour model.
    void secondViewComesFromTheCache_data()
    {
        QTest::addColumn<int>("components");
        QTest::newRow("grey") << 1;
        QTest::newRow("colour") << 3;
        QTest::newRow("CMYK") << 4;
    }
    void secondViewComesFromTheCache()
    {
        QFETCH(int, components);
        QTemporaryDir dir;
        const QString picture = dir.filePath("O1.jpg");
        QVERIFY(JpegFixture::write(picture, JpegFixture::encode(640, 480, components)));
        const QImage decoded = JpegImage::load(picture, Pane);
        QCOMPARE(decoded.size(), QSize(160, 120));

        PreviewCache cache(dir.filePath("cache"));
        QCOMPARE(cache.load(picture, Pane), decoded);
        QCOMPARE(cache.lastSource(), PreviewCache::Decoded);
        cache.waitForWrites();
        QVERIFY(QFile::exists(cache.entryPath(picture)));
        QCOMPARE(cache.load(picture, Pane), decoded);
        QCOMPARE(cache.lastSource(), PreviewCache::FromCache);
        // A second cache over the same folder (the next start of the program) finds it too.
        PreviewCache again(dir.filePath("cache"));
        QCOMPARE(again.load(picture, Pane), decoded);
        QCOMPARE(again.lastSource(), PreviewCache::FromCache);
    }

    // Whatever happened to the entry or the picture, the view shows the picture as it is
    // now, and the entry is whole again afterwards.
    void entryRebuilt_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("pixel byte flipped") << "flip";
        QTest::newRow("entry cut short") << "truncate";
        QTest::newRow("entry of garbage") << "garbage";
        QTest::newRow("entry removed") << "remove";
        QTest::newRow("picture replaced") << "replace";
        QTest::newRow("picture touched, same bytes") << "touch";
        QTest::newRow("pane needs another reduction") << "resize";
    }
    void entryRebuilt()
    {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString picture = dir.filePath("O1.jpg");
        QVERIFY(JpegFixture::write(picture, JpegFixture::encode(640, 480, 3)));
        setTime(picture, 100);
        PreviewCache cache(dir.filePath("cache"));
        QVERIFY(!cache.load(picture, Pane).isNull());
        cache.waitForWrites();
        const QString entry = cache.entryPath(picture);
        QFile f(entry);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        QSize pane = Pane;
        if (change == "flip") {
            bytes[bytes.size() - 100] = char(bytes[bytes.size() - 100] ^ 0x40);
        } else if (change == "truncate") {
            bytes.chop(bytes.size() / 2);
        } else if (change == "garbage") {
            bytes.fill('\x5a');
        } else if (change == "replace") {
            QVERIFY(JpegFixture::write(picture, JpegFixture::encode(320, 240, 3)));
        } else if (change == "touch") {
            setTime(picture, 10);
        } else if (change == "resize") {
            pane = QSize(300, 200);
        }
        QVERIFY(f.resize(0));
        QVERIFY(f.seek(0));
        QCOMPARE(f.write(bytes), bytes.size());
        f.close();
        if (change == "remove")
            QVERIFY(QFile::remove(entry));

        const QImage expected = JpegImage::load(picture, pane);
        QVERIFY(!expected.isNull());
        QCOMPARE(cache.load(picture, pane), expected);
        QCOMPARE(cache.lastSource(), PreviewCache::Decoded);
        cache.waitForWrites();
        QCOMPARE(cache.load(picture, pane), expected);
        QCOMPARE(cache.lastSource(), PreviewCache::FromCache);
    }

    // Over the bound, the entries used longest ago go; a view counts as a use.
    void oldestEvicted()
    {
        QTemporaryDir dir;
        QStringList pictures, entries;
        for (int i = 0; i < 4; ++i) {
            pictures << dir.filePath(QStringLiteral("O%1.jpg").arg(i));
            QVERIFY(JpegFixture::write(pictures.last(), JpegFixture::encode(640, 480, 3)));
        }
        const qint64 entrySize = [&] {
            PreviewCache probe(dir.filePath("probe"));
            probe.load(pictures.first(), Pane);
            probe.waitForWrites();
            return QFileInfo(probe.entryPath(pictures.first())).size();
        }();
        QVERIFY(entrySize > 160 * 120 * 3);
        PreviewCache cache(dir.filePath("cache"), entrySize * 3 + entrySize / 2);
        for (int i = 0; i < 3; ++i) {
            cache.load(pictures[i], Pane);
            cache.waitForWrites();
            entries << cache.entryPath(pictures[i]);
            setTime(entries.last(), 40 - i * 10); // written in this order, clearly apart
        }
        cache.load(pictures[0], Pane); // the first is viewed again: now the newest
        QCOMPARE(cache.lastSource(), PreviewCache::FromCache);
        cache.waitForWrites();
        cache.load(pictures[3], Pane);
        cache.waitForWrites();
        entries << cache.entryPath(pictures[3]);
        QVERIFY(QFile::exists(entries[0]));
        QVERIFY(!QFile::exists(entries[1]));
        QVERIFY(QFile::exists(entries[2]));
        QVERIFY(QFile::exists(entries[3]));
    }

    void failuresShowThePictureOrNothing()
    {
        QTemporaryDir dir;
        const QString picture = dir.filePath("O1.jpg");
        QVERIFY(JpegFixture::write(picture, JpegFixture::encode(640, 480, 3)));
        // The cache folder cannot be made: the picture is still shown.
        QVERIFY(JpegFixture::write(dir.filePath("file"), "x"));
        PreviewCache blocked(dir.filePath("file/cache"));
        QCOMPARE(blocked.load(picture, Pane), JpegImage::load(picture, Pane));
        blocked.waitForWrites();
        QCOMPARE(blocked.load(picture, Pane).isNull(), false);
        QCOMPARE(blocked.lastSource(), PreviewCache::Decoded);
        // A picture gone or not a picture: nothing, and nothing stored.
        PreviewCache cache(dir.filePath("cache"));
        QVERIFY(cache.load(dir.filePath("absent.jpg"), Pane).isNull());
        QCOMPARE(cache.lastSource(), PreviewCache::Nothing);
        QVERIFY(JpegFixture::write(dir.filePath("bad.jpg"), QByteArray(500, '\x11')));
        QVERIFY(cache.load(dir.filePath("bad.jpg"), Pane).isNull());
        cache.waitForWrites();
        QVERIFY(!QFile::exists(cache.entryPath(dir.filePath("bad.jpg"))));
    }

    void previewJobUsesTheCache()
    {
        QTemporaryDir dir;
        QVERIFY(JpegFixture::write(dir.filePath("O1.nc"), "%\nO1\n%\n"));
        QVERIFY(JpegFixture::write(dir.filePath("O1.jpg"), JpegFixture::encode(640, 480, 3)));
        LibraryEngine engine;
        engine.setPreviewCacheFolder(dir.filePath("cache"));
        PreviewOptions options;
        options.pictureSize = Pane;
        engine.setPreviewOptions(options);
        engine.startListing(dir.path(), "*.nc");
        waitIdle(engine);
        QSignalSpy ready(&engine, &LibraryEngine::previewReady);
        for (int view = 0; view < 2; ++view) {
            QVERIFY(engine.StringGrid1Click(0));
            waitIdle(engine);
            QCOMPARE(ready.last().first().value<PreviewResult>().picture.size(), QSize(160, 120));
            QCOMPARE(engine.previewCache()->lastSource(),
                     view ? PreviewCache::FromCache : PreviewCache::Decoded);
            engine.previewCache()->waitForWrites();
        }
    }
};

QTEST_GUILESS_MAIN(TestPreviewCache)
#include "tst_library_previewcache.moc"
