// What keeping a trace costs a transfer.
// 1. The store of a returned 1 MB program that replaces a different stored one (backup kept)
//    and one that is identical, against a plain atomic write of the same bytes (the store
//    without backups). Target: at most 1.2x the plain write.
// 2. The journal: the time a transfer waits in append (target: median and max <= 5 ms), and
//    the time until its row, with the SHA-256 of its 1 MB file, is committed to journal.db on
//    the journal's own thread, beside the SHA-256 alone.
// Options: --rounds N (30), --rows N (200).
#include "library/ProgramFiles.h"
#include "library/ProgramStore.h"
#include "library/TransferJournal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

constexpr double TargetStoreRatio = 1.2;
constexpr double TargetJournalMs = 5.0;

struct Stats {
    double min, median, max;
};

Stats statsOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

QByteArray program(int variant)
{
    QByteArray body("%\r\nO1000\r\n");
    for (int i = 0; body.size() < 1024 * 1024; ++i)
        body += "N" + QByteArray::number(i) + "G01X" + QByteArray::number(i % 997 + variant) +
                ".Y-2.5F300\r\n";
    return body + "M30\r\n%\r\n";
}

int intOption(const QStringList &args, const QString &name, int fallback)
{
    const int i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

void print(const char *what, const Stats &s)
{
    std::printf("  %-34s min %7.2f  median %7.2f  max %7.2f ms\n", what, s.min, s.median, s.max);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rounds = qMax(3, intOption(args, "--rounds", 30));
    const int rowCount = qMax(3, intOption(args, "--rows", 200));
    QTemporaryDir dir;
    const QString path = dir.filePath("O1000.nc");
    const QByteArray a = program(0), b = program(1);
    std::printf("store of a %.2f MB program, %d rounds each, in %s\n", a.size() / 1048576.0, rounds,
                qPrintable(QDir::tempPath()));

    std::vector<double> plain, replace, identical;
    QString reason;
    const ProgramStore store;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        if (!ProgramFiles::WriteWhole(path, r % 2 ? a : b, &reason)) {
            std::printf("plain write failed: %s\n", qPrintable(reason));
            return 1;
        }
        plain.push_back(t.nsecsElapsed() / 1e6);

        t.start();
        const ProgramStore::Result s = store.store(path, r % 2 ? b : a);
        replace.push_back(t.nsecsElapsed() / 1e6);
        if (s.outcome != ProgramStore::Result::Stored || s.backupPath.isEmpty()) {
            std::printf("store did not replace with a backup: %s\n", qPrintable(s.reason));
            return 1;
        }
        t.start();
        if (store.store(path, r % 2 ? b : a).outcome != ProgramStore::Result::Identical) {
            std::printf("identical program was stored again\n");
            return 1;
        }
        identical.push_back(t.nsecsElapsed() / 1e6);
    }
    const Stats p = statsOf(plain), s = statsOf(replace), i = statsOf(identical);
    print("plain atomic write (baseline)", p);
    print("store, replace with backup", s);
    print("store, identical program", i);
    const double ratio = s.median / p.median;
    std::printf("  replace / plain (median)           %.2fx  target <= %.1fx: %s\n", ratio,
                TargetStoreRatio, ratio <= TargetStoreRatio ? "met" : "MISSED");

    std::vector<double> waits, committed;
    {
        TransferJournal journal(dir.filePath(TransferJournal::FileName));
        for (int r = 0; r < rowCount; ++r) {
            JournalEntry e;
            e.portSetting = QStringLiteral("Mill");
            e.direction = QStringLiteral("receive");
            e.file = path;
            e.characters = a.size();
            e.result = QStringLiteral("stored");
            QElapsedTimer t;
            t.start();
            journal.append(e);
            waits.push_back(t.nsecsElapsed() / 1e6);
            journal.flush();
            committed.push_back(t.nsecsElapsed() / 1e6);
        }
    }
    const TransferJournal::Check check =
        TransferJournal::verify(dir.filePath(TransferJournal::FileName));
    std::printf("journal, %d transfers of a 1 MB program (%s)\n", rowCount,
                check.ok && check.rows == rowCount ? "all rows written, chain whole"
                                                   : "ROWS MISSING OR CHAIN BROKEN");
    std::vector<double> hashes;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        QCryptographicHash h(QCryptographicHash::Sha256);
        h.addData(&f);
        h.result();
        hashes.push_back(t.nsecsElapsed() / 1e6);
    }
    const Stats w = statsOf(waits), c = statsOf(committed), h = statsOf(hashes);
    print("transfer waits in append", w);
    print("row committed (hash + insert)", c);
    print("SHA-256 of the file alone", h);
    const bool journalMet = w.median <= TargetJournalMs && w.max <= TargetJournalMs;
    std::printf("  transfer's wait, median and max    target <= %.0f ms: %s\n", TargetJournalMs,
                journalMet ? "met" : "MISSED");
    return ratio <= TargetStoreRatio && journalMet && check.ok ? 0 : 1;
}
