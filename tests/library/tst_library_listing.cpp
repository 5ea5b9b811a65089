#include "LibraryWait.h"
#include "TestFiles.h"
#include "library/FileListing.h"
#include "library/LibraryEngine.h"
#include "library/NotesStore.h"
#include "settings/TextFile.h"
#include "settings/UnitFunction.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// The listing as the plain rules state it, one query and one file test at a time.
QVector<FileRow> referenceListing(const QString &folder, const QString &ext, bool commentMode,
                                  NotesStore *store)
{
    const QString base = FileListing::folderWithSeparator(folder);
    const QStringList patterns = FileListing::patternList(ext);
    QVector<FileRow> rows;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QFileInfo fi(base + name);
        const bool matched = std::any_of(patterns.begin(), patterns.end(), [&](const QString &p) {
            return FileListing::matchesPattern(name, p);
        });
        if (name.startsWith(u'.') || !matched || !fi.isFile())
            continue;
        FileRow r;
        r.name = name;
        r.size = QString::number(fi.size());
        r.time = fi.lastModified().toString("yyyy-MM-dd hh:mm:ss");
        r.note = commentMode ? GetCommentTitle(base + name) : store->getSQLMarkData(base + name);
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString stem = base + (dot < 0 ? name : name.left(dot));
        if (QFileInfo::exists(stem + ".jpg") || QFileInfo::exists(stem + ".JPG"))
            r.picture = "Y";
        rows.append(r);
    }
    return rows;
}

QVector<FileRow> byName(QVector<FileRow> rows)
{
    std::sort(rows.begin(), rows.end(),
              [](const FileRow &a, const FileRow &b) { return a.name < b.name; });
    return rows;
}

// A folder of random programs and pictures sharing base names, hidden files, a folder, links,
// random times; notes on some files and on paths that only look alike.
void makeRandomFolder(const QString &folder, NotesStore *store, std::mt19937 &rng)
{
    QHash<QString, QString> notes;
    static const QStringList pieces{"O", "o", "1", "23", "軸", "é", " ", "'", "-", ".", "a", "%"};
    static const QStringList exts{".nc", ".NC", ".jpg", ".JPG", ".Jpg", ".txt", "", ".nc.jpg"};
    QVERIFY(QDir().mkpath(folder + "/sub.nc"));
    const QString base = FileListing::folderWithSeparator(folder);
    for (int i = 0; i < 120; ++i) {
        QString stem = rng() % 10 == 0 ? QStringLiteral(".") : QString();
        for (int n = 1 + int(rng() % 4); n > 0; --n)
            stem += pieces.at(int(rng() % pieces.size()));
        for (int n = 1 + int(rng() % 3); n > 0; --n) {
            const QString name = stem + exts.at(int(rng() % exts.size()));
            QFile f(base + name);
            if (f.exists() || !f.open(QIODevice::WriteOnly))
                continue;
            f.write(QStringLiteral("%\nO%1(TITLE %2)\n")
                        .arg(i)
                        .arg(name)
                        .toUtf8()
                        .repeated(int(rng() % 3)));
            f.setFileTime(QDateTime::currentDateTime().addSecs(-qint64(rng() % 100000000)),
                          QFileDevice::FileModificationTime);
            f.close();
            if (rng() % 2)
                notes.insert(base + name, QStringLiteral("note 軸 %1").arg(i));
            if (rng() % 4 == 0)
                notes.insert(base + name.toUpper() + "x", "a path like it");
        }
    }
    QVERIFY(QFile::link(base + "sub.nc", base + "linked-folder.nc"));
    QVERIFY(QFile::link(base + "sub.nc/inside.nc", base + "linked-file.nc"));
    QVERIFY(writeFile(base + "sub.nc/inside.nc", "(INSIDE)\n"));
    notes.insert(base + "sub.nc/inside.nc", "below");
    notes.insert(base.chopped(1) + "-other/O1.nc", "beside");
    // One transaction: a commit per note would make the test wait on the disk.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(store->databasePath());
        QVERIFY(db.open() && db.transaction());
        QSqlQuery q(db);
        QVERIFY(q.prepare("insert into FileNote (FilePath, Mark) values (?, ?)"));
        for (auto it = notes.begin(); it != notes.end(); ++it) {
            q.addBindValue(it.key());
            q.addBindValue(it.value());
            QVERIFY(q.exec());
        }
        QVERIFY(db.commit());
    }
    QSqlDatabase::removeDatabase("fill");
}

QMap<QString, QString> flagsByName(const QVector<FileRow> &rows)
{
    QMap<QString, QString> out;
    for (const FileRow &r : rows)
        out.insert(r.name, r.picture);
    return out;
}

} // namespace

class TestListing : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_folder;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_folder = m_dir.filePath("nc");
        QVERIFY(QDir().mkpath(m_folder));
        const QDir d(m_folder);
        QVERIFY(writeFile(d.filePath("O1000.nc"), "%\nO1000(SHAFT A)\nM30\n%\n"));
        QVERIFY(writeFile(d.filePath("O1000.jpg"), "jpg"));
        QVERIFY(writeFile(d.filePath("O2000.nc"), "%\nO2000 (ROUGH) G90\n%\n"));
        QVERIFY(writeFile(d.filePath("O2000.bmp"), "bmp"));
        QVERIFY(writeFile(d.filePath("O3000.nc"), "no comment\n"));
        QVERIFY(QFile::setPermissions(d.filePath("O3000.nc"), QFile::ReadOwner | QFile::ReadGroup));
        QVERIFY(writeFile(d.filePath("O1.jpg"), "jpg"));
        QVERIFY(writeFile(d.filePath("PLAIN"), "x"));
        QVERIFY(writeFile(d.filePath(".hidden.nc"), "(HIDDEN)\n"));
        QVERIFY(d.mkdir("sub.nc"));
        QVERIFY(writeFile(d.filePath("sub.nc/O9.nc"), "x"));
    }

    void listing_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("withPicture");
        QTest::newRow("*.nc: no hidden file, no folder, read-only listed")
            << "*.nc" << QStringList{"O1000.nc", "O2000.nc", "O3000.nc"} << QStringList{"O1000.nc"};
        QTest::newRow("*.*: every file, pictures flag themselves")
            << "*.*" << QStringList{"O1.jpg",   "O1000.jpg", "O1000.nc", "O2000.bmp",
                                    "O2000.nc", "O3000.nc",  "PLAIN"}
            << QStringList{"O1.jpg", "O1000.jpg", "O1000.nc"};
        QTest::newRow("several patterns")
            << "*.bmp; O1?00.*" << QStringList{"O1000.jpg", "O1000.nc", "O2000.bmp"}
            << QStringList{"O1000.jpg", "O1000.nc"};
        QTest::newRow("letter case of the pattern ignored")
            << "*.NC" << QStringList{"O1000.nc", "O2000.nc", "O3000.nc"} << QStringList{"O1000.nc"};
        QTest::newRow("nothing matches") << "*.tap" << QStringList{} << QStringList{};
    }
    void listing()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, names);
        QFETCH(QStringList, withPicture);
        const ListingResult result = FileListing::listFolder(m_folder, pattern, false, nullptr);
        QVERIFY(!result.folderMissing);
        const QMap<QString, QString> flags = flagsByName(result.rows);
        QCOMPARE(flags.keys(), names);
        for (auto it = flags.begin(); it != flags.end(); ++it)
            QCOMPARE(it.value(), withPicture.contains(it.key()) ? QString("Y") : QString());
        static const QRegularExpression time("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$");
        for (const FileRow &r : result.rows) {
            QVERIFY2(time.match(r.time).hasMatch(), qPrintable(r.time));
            QCOMPARE(r.size, QString::number(QFileInfo(QDir(m_folder).filePath(r.name)).size()));
            QVERIFY(r.note.isEmpty());
        }
    }

    void listingMatchesReference_data()
    {
        QTest::addColumn<uint>("seed");
        QTest::addColumn<bool>("commentMode");
        for (uint seed = 1; seed <= 3; ++seed)
            QTest::addRow("folder %u", seed) << seed << false;
        QTest::addRow("folder 1, notes from comments") << 1u << true;
    }
    void listingMatchesReference()
    {
        QFETCH(uint, seed);
        QFETCH(bool, commentMode);
        std::mt19937 rng(seed);
        QTemporaryDir dir;
        NotesStore store(dir.path());
        QVERIFY(store.open());
        const QString folder = dir.filePath("nc");
        makeRandomFolder(folder, &store, rng);
        const QStringList patterns{"*.nc", "*.*", "*.NC;*.jpg", "O?*", "*1*.nc", "*"};
        for (const QString &pattern : patterns) {
            const ListingResult listed =
                FileListing::listFolder(folder, pattern, commentMode, &store);
            const QVector<FileRow> expected =
                byName(referenceListing(folder, pattern, commentMode, &store));
            QVERIFY2(!expected.isEmpty(), qPrintable(pattern));
            QVERIFY2(byName(listed.rows) == expected, qPrintable(pattern));
        }
    }

    // A name that is not UTF-8 keeps its note under the path the list shows for it.
    void undecodableNameFindsItsNote()
    {
        QTemporaryDir dir;
        NotesStore store(dir.path());
        QVERIFY(store.open());
        const QByteArray raw = QFile::encodeName(dir.path()) + "/O\xff"
                                                               "1.nc";
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0600);
        QVERIFY(fd >= 0);
        ::close(fd);
        const QString shown = QFile::decodeName(QByteArray("O\xff"
                                                           "1.nc"));
        QVERIFY(store.storeNote(FileListing::folderWithSeparator(dir.path()) + shown, "kept"));
        const ListingResult listed = FileListing::listFolder(dir.path(), "*.nc", false, &store);
        QCOMPARE(listed.rows.size(), 1);
        QCOMPARE(listed.rows.first().name, shown);
        QCOMPARE(listed.rows.first().note, QString("kept"));
    }

    // Only files are rows: a link to a file is one, a link to a folder, a pipe and a
    // dangling link are not.
    void linksAndSpecialFiles()
    {
        QTemporaryDir d;
        QTemporaryDir outside;
        QVERIFY(writeFile(d.filePath("A.nc"), "%\n%\n"));
        QVERIFY(writeFile(outside.filePath("T.nc"), "%\nO1\n%\n"));
        QVERIFY(QFile::link(outside.filePath("T.nc"), d.filePath("L.nc")));
        QVERIFY(QFile::link(outside.path(), d.filePath("D.nc")));
        QVERIFY(QFile::link(d.filePath("gone"), d.filePath("G.nc")));
        QCOMPARE(::mkfifo(QFile::encodeName(d.filePath("P.nc")).constData(), 0600), 0);
        const ListingResult result = FileListing::listFolder(d.path(), "*.nc", false, nullptr);
        QStringList names;
        for (const FileRow &r : result.rows)
            names << r.name;
        names.sort();
        QCOMPARE(names, (QStringList{"A.nc", "L.nc"}));
        for (const FileRow &r : result.rows)
            if (r.name == "L.nc")
                QCOMPARE(r.size, QStringLiteral("7"));
    }

    void notesByMode_data()
    {
        QTest::addColumn<bool>("commentMode");
        QTest::addColumn<QStringList>("notes"); // for O1000.nc, O2000.nc, O3000.nc
        QTest::newRow("database") << false << QStringList{"it's stored", "", "third"};
        QTest::newRow("comment") << true << QStringList{"SHAFT A", "ROUGH", ""};
    }
    void notesByMode()
    {
        QFETCH(bool, commentMode);
        QFETCH(QStringList, notes);
        QTemporaryDir base;
        NotesStore store(base.path());
        QVERIFY(store.open());
        const QString prefix = FileListing::folderWithSeparator(m_folder);
        QVERIFY(store.storeNote(prefix + "O1000.nc", "it's stored"));
        QVERIFY(store.storeNote(prefix + "O3000.nc", "third"));
        QVERIFY(store.storeNote(prefix + "sub.nc", "a folder"));

        LibraryEngine engine(&store);
        engine.setCommentMode(commentMode);
        engine.startListing(m_folder, "*.nc");
        QCOMPARE(engine.fileList().rowCount(), 1); // the job runs after this event
        waitIdle(engine);
        QMap<QString, QString> byName;
        for (const FileRow &r : engine.fileList().rows())
            byName.insert(r.name, r.note);
        QCOMPARE(byName.values(), notes);
    }

    void noteEditStoresOnlyInDatabaseMode()
    {
        QTemporaryDir base;
        NotesStore store(base.path());
        QVERIFY(store.open());
        LibraryEngine engine(&store);
        engine.startListing(m_folder, "O1000.nc");
        waitIdle(engine);
        QCOMPARE(engine.fileList().rowCount(), 1);
        const QString path = engine.fullPath(0);
        QVERIFY(path.endsWith("O1000.nc"));

        engine.setCommentMode(true);
        QVERIFY(engine.NoteEditExit(0, "shown only"));
        QCOMPARE(engine.fileList().row(0).note, QString("shown only"));
        QCOMPARE(store.getSQLMarkData(path), QString());

        engine.setCommentMode(false);
        QVERIFY(engine.NoteEditExit(0, "kept"));
        engine.startListing(m_folder, "*.nc");
        waitIdle(engine);
        QCOMPARE(engine.fileList().row(0).name.isEmpty(), false);
        QCOMPARE(store.getSQLMarkData(path), QString("kept"));
    }

    void unreadableNotesDoNotStopTheListing()
    {
        QTemporaryDir base;
        NotesStore broken(base.filePath("missing")); // never opened
        LibraryEngine engine(&broken);
        QSignalSpy failed(&engine, &LibraryEngine::notesUnavailable);
        engine.startListing(m_folder, "*.nc");
        waitIdle(engine);
        QCOMPARE(engine.fileList().rowCount(), 3);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(1).toStringList().size(), 3);
    }

    void emptyRootAndMissing_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<bool>("root");
        QTest::addColumn<bool>("keepsRows");
        QTest::newRow("empty folder") << "empty"
                                      << "*.nc" << false << false;
        QTest::newRow("root node") << "nc"
                                   << "*.nc" << true << false;
        QTest::newRow("missing folder") << "gone"
                                        << "*.nc" << false << false;
        QTest::newRow("empty path keeps rows") << ""
                                               << "*.nc" << false << true;
        QTest::newRow("empty pattern keeps rows") << "nc"
                                                  << "" << false << true;
    }
    void emptyRootAndMissing()
    {
        QFETCH(QString, path);
        QFETCH(QString, ext);
        QFETCH(bool, root);
        QFETCH(bool, keepsRows);
        QVERIFY(QDir().mkpath(m_dir.filePath("empty")));
        LibraryEngine engine;
        engine.startListing(m_folder, "*.nc");
        waitIdle(engine);
        QCOMPARE(engine.fileList().rowCount(), 3);
        engine.startListing(path.isEmpty() ? path : m_dir.filePath(path), ext, root);
        waitIdle(engine);
        QCOMPARE(engine.fileList().rowCount(), keepsRows ? 3 : 1);
        QCOMPARE(engine.fileList().isEmpty(), !keepsRows);
    }

    void listingResetsMarks()
    {
        LibraryEngine engine;
        engine.setPlainCaptions({"N", "T", "S", "M", "P"});
        engine.startListing(m_folder, "*.nc");
        engine.HeaderControl1SectionClick(2);
        QCOMPARE(engine.marks().mark(2), 1);
        engine.startListing(m_folder, "*.*");
        for (int i = 0; i < ColumnCount; ++i)
            QCOMPARE(engine.marks().mark(i), 0);
        QCOMPARE(engine.marks().caption(2), QString("S"));
        waitIdle(engine);
        QCOMPARE(engine.fileList().rowCount(), 7);
    }

    void commentTitle_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("title");
        QTest::newRow("second line") << QStringList{"%", "O1234(SHAFT A)"} << "SHAFT A";
        QTest::newRow("text after )") << QStringList{"O1234 (ROUGH) G90"} << "ROUGH";
        QTest::newRow("blanks around") << QStringList{"  (X)  "} << "X";
        QTest::newRow("empty parens") << QStringList{"()"} << "";
        QTest::newRow("no parens") << QStringList{"%", "O1", "M30"} << "";
        QTest::newRow("first qualifying line wins") << QStringList{"A)B(C", "O1(GOOD)"} << "";
        QTest::newRow("nested") << QStringList{"(A(B)C)"} << "A(B";
        QTest::newRow("only open paren skipped") << QStringList{"(open", "(T)"} << "T";
    }
    void commentTitle()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, title);
        QTemporaryDir dir;
        const QString path = dir.filePath("c.nc");
        QVERIFY(writeFile(path, lines.join("\r\n").toUtf8()));
        QCOMPARE(GetCommentTitle(path), title);
    }

    void textDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        const QString text = QString::fromUtf8("O1(軸 Ø20)\r\nM30\r\n");
        QStringEncoder le(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        QStringEncoder u8(QStringEncoder::Utf8, QStringEncoder::Flag::WriteBom);
        const QStringList expected{QString::fromUtf8("O1(軸 Ø20)"), "M30"};
        QTest::newRow("utf-16 le bom") << QByteArray(le.encode(text)) << expected;
        QTest::newRow("utf-8 bom") << QByteArray(u8.encode(text)) << expected;
        QTest::newRow("no bom: every byte kept")
            << QByteArray("O1(\xD8\x32\x30)\rM30\n\n")
            << QStringList{QString::fromLatin1("O1(\xD8\x32\x30)"), "M30", ""};
    }
    void textDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath("t.nc");
        QVERIFY(writeFile(path, bytes));
        QStringList read;
        QVERIFY(TextFile::readLines(path, &read, nullptr));
        QCOMPARE(read, lines);
        QString error;
        QCOMPARE(GetCommentTitle(path, &error), lines.first().mid(3, lines.first().size() - 4));
        QVERIFY(error.isEmpty());
        QCOMPARE(GetCommentTitle(dir.filePath("none.nc"), &error), QString());
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestListing)
#include "tst_library_listing.moc"
