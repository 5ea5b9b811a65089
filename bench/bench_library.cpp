// Timings of the file list: listing a large folder with notes, and sorting many rows.
#include "library/FileList.h"
#include "library/FileListing.h"
#include "library/NotesStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace
{

void report(const char *what, double seconds, const char *target, bool met)
{
    std::printf("%-46s %8.3f s   target %-22s %s\n", what, seconds, target, met ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString folder = dir.filePath("nc");
    QDir().mkpath(folder);
    const int files = 20000;
    for (int i = 0; i < files; ++i) {
        QFile f(QDir(folder).filePath(QStringLiteral("O%1.nc").arg(i)));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("%\nO1(PART)\nG0X0\nM30\n%\n");
    }

    NotesStore store(dir.path());
    if (!store.open())
        return 1;
    {
        // Filling the notes in one transaction; the program itself adds them one at a time.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "fill");
        db.setDatabaseName(store.databasePath());
        db.open();
        db.transaction();
        QSqlQuery q(db);
        q.prepare("insert into FileNote (FilePath, Mark) values (?, ?)");
        const QString base = FileListing::folderWithSeparator(folder);
        for (int i = 0; i < files; ++i) {
            q.addBindValue(base + QStringLiteral("O%1.nc").arg(i));
            q.addBindValue(QStringLiteral("note %1").arg(i));
            q.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase("fill");

    QElapsedTimer t;
    t.start();
    const QFileInfoList bare = QDir(folder).entryInfoList(QDir::Files, QDir::Unsorted);
    const double bareSeconds = t.nsecsElapsed() / 1e9;

    t.restart();
    QHash<QString, QString> notes;
    store.loadFolderNotes(FileListing::folderWithSeparator(folder), &notes);
    const double notesSeconds = t.nsecsElapsed() / 1e9;
    t.restart();
    const ListingResult listed =
        FileListing::listFolder(folder, QStringLiteral("*.nc"), false, &store);
    const double listSeconds = t.nsecsElapsed() / 1e9;
    if (listed.rows.size() != files || bare.size() != files || listed.rows.first().note.isEmpty()) {
        std::printf("sanity check failed: %d rows, %d bare\n", int(listed.rows.size()),
                    int(bare.size()));
        return 1;
    }
    std::printf("listing %d files, each with a note (notes: one query per folder into a hash)\n",
                files);
    report("bare QDir::entryInfoList", bareSeconds, "(reference)", true);
    report("  of which loading the folder's notes", notesSeconds, "(part)", true);
    report("listing with notes and picture flags", listSeconds, "<= 1.0 s", listSeconds <= 1.0);
    std::printf("%-46s %8.2f x   target %-22s %s\n", "listing / bare enumeration",
                listSeconds / bareSeconds, "<= 5x",
                listSeconds <= 5 * bareSeconds ? "ok" : "MISSED");

    const int rows = 100000;
    QVector<FileRow> data;
    data.reserve(rows);
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < rows; ++i) {
        FileRow r;
        r.name = QStringLiteral("O%1.nc").arg(rng->bounded(1000000));
        r.time = QStringLiteral("2024-%1-%2 %3:%4:%5")
                     .arg(rng->bounded(1, 13), 2, 10, QChar(u'0'))
                     .arg(rng->bounded(1, 29), 2, 10, QChar(u'0'))
                     .arg(rng->bounded(24), 2, 10, QChar(u'0'))
                     .arg(rng->bounded(60), 2, 10, QChar(u'0'))
                     .arg(rng->bounded(30) * 2, 2, 10, QChar(u'0'));
        r.size = QString::number(rng->bounded(Q_INT64_C(5000000000)));
        r.note = QStringLiteral("note %1").arg(rng->bounded(5000));
        r.picture = rng->bounded(3) == 0 ? QStringLiteral("Y") : QString();
        data.append(r);
    }
    FileList list;
    list.setRows(data);
    std::printf("sorting %d rows (random start; descending follows ascending)\n", rows);
    const char *names[] = {"name", "time", "size", "note", "picture"};
    for (int c = 0; c < ColumnCount; ++c) {
        for (bool ascending : {true, false}) {
            t.restart();
            list.sortRows(c, 0, list.rowCount() - 1, ascending);
            const double s = t.nsecsElapsed() / 1e9;
            const QByteArray what =
                QByteArray("sort by ") + names[c] + (ascending ? " ascending" : " descending");
            report(what.constData(), s, "<= 0.3 s", s <= 0.3);
        }
    }
    if (list.rowCount() != rows)
        return 1;
    return 0;
}
