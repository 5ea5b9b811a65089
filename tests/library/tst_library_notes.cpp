#include "library/NotesStore.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestNotes : public QObject
{
    Q_OBJECT

    static int rowsFor(const QString &dbPath, const QString &path)
    {
        int count = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "probe");
            db.setDatabaseName(dbPath);
            if (db.open()) {
                QSqlQuery q(db);
                q.prepare("select count(*) from FileNote where FilePath = ?");
                q.addBindValue(path);
                if (q.exec() && q.next())
                    count = q.value(0).toInt();
            }
        }
        QSqlDatabase::removeDatabase("probe");
        return count;
    }

private slots:
    void noteSurvivesRestart()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        {
            NotesStore store(dir.path());
            QVERIFY(!QFile::exists(store.databasePath()));
            QVERIFY2(store.open(), qPrintable(store.lastError()));
            QVERIFY(!store.creationFailed());
            QVERIFY(store.storeNote("C:\\NC\\O1.nc", "shaft A"));
        }
        NotesStore again(dir.path());
        QVERIFY(QFile::exists(again.databasePath()));
        QVERIFY2(again.open(), qPrintable(again.lastError()));
        bool ok = false;
        QCOMPARE(again.getSQLMarkData("C:\\NC\\O1.nc", &ok), QString("shaft A"));
        QVERIFY(ok);
    }

    void oneRowPerPath()
    {
        QTemporaryDir dir;
        NotesStore store(dir.path());
        QVERIFY(store.open());
        const QString path = "/shop/O7.nc";
        QVERIFY(store.storeNote(path, "first"));
        QVERIFY(store.storeNote(path, ""));
        QCOMPARE(store.getSQLMarkData(path), QString());
        QVERIFY(store.storeNote(path, "second"));
        QCOMPARE(store.getSQLMarkData(path), QString("second"));
        QCOMPARE(rowsFor(store.databasePath(), path), 1);
        // A second insert of the same path is refused by the key, not duplicated.
        QVERIFY(!store.InsertSQLMarkData(path, "dup"));
        QVERIFY(!store.lastError().isEmpty());
        QCOMPARE(rowsFor(store.databasePath(), path), 1);
    }

    void storedUnchanged_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("note");
        QTest::newRow("single quote") << "C:\\NC\\O'1.nc"
                                      << "it's the 'rough' cut";
        QTest::newRow("double quote") << "/nc/O\"2\".nc"
                                      << "say \"finish\"";
        QTest::newRow("both and sql") << "/nc/x'\");drop table FileNote;--.nc"
                                      << "'); delete from FileNote; --";
        QTest::newRow("non-latin")
            << QString::fromUtf8("/nc/軸/O3.nc") << QString::fromUtf8("外徑精車 ∅20");
        QTest::newRow("trailing blanks") << "/nc/O4.nc "
                                         << "  padded  ";
    }
    void storedUnchanged()
    {
        QFETCH(QString, path);
        QFETCH(QString, note);
        QTemporaryDir dir;
        NotesStore store(dir.path());
        QVERIFY(store.open());
        QVERIFY(store.InsertSQLMarkData(path, "old"));
        QVERIFY2(store.UpdataSQLMarkData(path, note), qPrintable(store.lastError()));
        bool ok = false;
        QCOMPARE(store.getSQLMarkData(path, &ok), note);
        QVERIFY(ok);
        QCOMPARE(rowsFor(store.databasePath(), path), 1);
        QHash<QString, QString> folder;
        QVERIFY(store.loadFolderNotes(path.left(path.lastIndexOf(u'/') + 1), &folder));
        if (path.contains(u'/'))
            QCOMPARE(folder.value(path), note);
    }

    void renameAwayAndBack()
    {
        QTemporaryDir dir;
        NotesStore store(dir.path());
        QVERIFY(store.open());
        QVERIFY(store.storeNote("/nc/O1.nc", "kept"));
        QCOMPARE(store.getSQLMarkData("/nc/O2.nc"), QString());
        QCOMPARE(store.getSQLMarkData("/nc/o1.nc"), QString());
        QCOMPARE(store.getSQLMarkData("/nc/O1.nc"), QString("kept"));
    }

    void folderNotesAreExactPrefix()
    {
        QTemporaryDir dir;
        NotesStore store(dir.path());
        QVERIFY(store.open());
        QVERIFY(store.storeNote("/nc/a/O1.nc", "in a"));
        QVERIFY(store.storeNote("/nc/a/sub/O2.nc", "below a"));
        QVERIFY(store.storeNote("/nc/ab/O3.nc", "in ab"));
        QVERIFY(store.storeNote("/nc/A/O4.nc", "in A"));
        QHash<QString, QString> notes;
        QVERIFY(store.loadFolderNotes("/nc/a/", &notes));
        QCOMPARE(notes.size(), 2);
        QCOMPARE(notes.value("/nc/a/O1.nc"), QString("in a"));
        QVERIFY(!notes.contains("/nc/ab/O3.nc"));
        QVERIFY(!notes.contains("/nc/A/O4.nc"));
    }

    // Notes go with their folder: a move takes every note in and below it (and nothing of a
    // look-alike sibling) to the new paths; a delete takes them away.
    void folderNotesFollowTheFolder()
    {
        QTemporaryDir dir;
        NotesStore store(dir.path());
        QVERIFY(store.open());
        QVERIFY(store.storeNote("/nc/a/O1.nc", "in a"));
        QVERIFY(store.storeNote("/nc/a/sub/O'2.nc", "below a"));
        QVERIFY(store.storeNote("/nc/ab/O3.nc", "in ab"));
        QVERIFY(store.storeNote("/nc/粗/O4.nc", "stale, of a folder deleted long ago"));
        QVERIFY(store.storeNote("/nc/粗/O1.nc", "stale too"));
        QVERIFY(store.moveFolderNotes("/nc/a", "/nc/粗"));
        QCOMPARE(store.getSQLMarkData("/nc/粗/O1.nc"), QString("in a"));
        QCOMPARE(store.getSQLMarkData("/nc/粗/sub/O'2.nc"), QString("below a"));
        QCOMPARE(store.getSQLMarkData("/nc/a/O1.nc"), QString());
        QCOMPARE(store.getSQLMarkData("/nc/ab/O3.nc"), QString("in ab"));
        QCOMPARE(rowsFor(store.databasePath(), "/nc/粗/O1.nc"), 1);

        QVERIFY(store.removeFolderNotes("/nc/粗"));
        QCOMPARE(store.getSQLMarkData("/nc/粗/O1.nc"), QString());
        QCOMPARE(store.getSQLMarkData("/nc/粗/sub/O'2.nc"), QString());
        QCOMPARE(store.getSQLMarkData("/nc/ab/O3.nc"), QString("in ab"));
    }

    void twoStoresAtOnce()
    {
        QTemporaryDir a, b;
        NotesStore first(a.path()), second(b.path());
        QVERIFY(first.open());
        QVERIFY(second.open());
        QVERIFY(first.storeNote("/p", "one"));
        QVERIFY(second.storeNote("/p", "two"));
        QCOMPARE(first.getSQLMarkData("/p"), QString("one"));
        QCOMPARE(second.getSQLMarkData("/p"), QString("two"));
    }

    void creationFailureIsReported()
    {
        QTemporaryDir dir;
        NotesStore store(dir.filePath("missing/folder"));
        QVERIFY(!store.open());
        QVERIFY(store.creationFailed());
        QCOMPARE(NotesStore::creationFailedText(), QString::fromUtf8("Database creation failed。"));
        QCOMPARE(NotesStore::creationFailedCaption(), QString("error"));
        bool ok = true;
        QCOMPARE(store.getSQLMarkData("/x", &ok), QString());
        QVERIFY(!ok);
        QVERIFY(!store.storeNote("/x", "y"));
    }

    void tableMissingIsRepaired()
    {
        QTemporaryDir dir;
        {
            QFile f(dir.filePath("access.mdb"));
            QVERIFY(f.open(QIODevice::WriteOnly)); // an empty file is an empty SQLite database
        }
        NotesStore store(dir.path());
        QVERIFY2(store.open(), qPrintable(store.lastError()));
        QVERIFY(store.storeNote("/p", "n"));
        QCOMPARE(store.getSQLMarkData("/p"), QString("n"));
    }
};

QTEST_GUILESS_MAIN(TestNotes)
#include "tst_library_notes.moc"
