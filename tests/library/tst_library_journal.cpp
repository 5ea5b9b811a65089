#include "library/TransferJournal.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace
{

JournalEntry entryFor(const QString &file, int n)
{
    JournalEntry e;
    e.portSetting = QStringLiteral("Mill, left");
    e.device = QStringLiteral("04");
    e.direction = QStringLiteral("send");
    e.file = file;
    e.characters = 100 + n;
    e.result = QStringLiteral("done");
    e.reason = n % 2 ? QStringLiteral("quoted \"reason\"\nsecond line") : QString();
    return e;
}

// Changes the journal as someone with an SQLite shell would.
void tamper(const QString &path, const QString &sql)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "tamper");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY2(q.exec(sql), qPrintable(sql));
    }
    QSqlDatabase::removeDatabase("tamper");
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void rowsAreChainedAndRead();
    void handEditsAreFound_data();
    void handEditsAreFound();
    void notADatabaseIsSetAside();
    void twoWritersLoseNoRow();
    void unwritableJournalNeverHoldsUpTheCaller();
    void filter_data();
    void filter();
};

void TestJournal::rowsAreChainedAndRead()
{
    QTemporaryDir dir;
    const QString program = dir.filePath("O1234.nc");
    QFile f(program);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("%\nO1234\nG00 X0\n%\n");
    f.close();
    const QString path = dir.filePath(TransferJournal::FileName);
    {
        TransferJournal journal(path);
        for (int n = 0; n < 3; ++n)
            journal.append(entryFor(program, n));
        journal.flush();
    }
    QList<JournalRow> rows;
    QString error;
    QVERIFY2(TransferJournal::readRows(path, QDateTime(), &rows, &error), qPrintable(error));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].previousHash, QString());
    QCOMPARE(rows[1].previousHash, rows[0].rowHash);
    QCOMPARE(rows[2].entry.characters, 102);
    QCOMPARE(rows[1].entry.reason, entryFor(program, 1).reason);
    QCOMPARE(
        rows[0].entry.sha256,
        QString::fromLatin1(
            QCryptographicHash::hash("%\nO1234\nG00 X0\n%\n", QCryptographicHash::Sha256).toHex()));
    QCOMPARE(rows[0].entry.user, TransferJournal::currentUser());
    QCOMPARE(rows[0].entry.time.timeSpec(), Qt::UTC);
    QVERIFY(TransferJournal::verify(path).ok);

    // Rows before a time are left out; the CSV quotes what needs quoting.
    QList<JournalRow> later;
    QVERIFY(TransferJournal::readRows(path, rows[0].entry.time.addDays(1), &later, &error));
    QCOMPARE(later.size(), 0);
    const QStringList csv = TransferJournal::csv(rows).split(QStringLiteral("\r\n"));
    QVERIFY(csv[0].startsWith(QLatin1String("id,time (UTC),port setting")));
    QVERIFY(csv[1].contains(QLatin1String(",\"Mill, left\",04,send,")));
    QVERIFY(TransferJournal::csv(rows).contains(
        QLatin1String("\"quoted \"\"reason\"\"\nsecond line\"")));
}

void TestJournal::handEditsAreFound_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<qint64>("badId");
    QTest::newRow("result edited")
        << "UPDATE journal SET result = 'done' WHERE id = 3" << qint64(3);
    QTest::newRow("hash recomputed by hand")
        << "UPDATE journal SET characters = 1, row_hash = 'x' WHERE id = 2" << qint64(2);
    QTest::newRow("middle row removed") << "DELETE FROM journal WHERE id = 2" << qint64(3);
    QTest::newRow("first row removed") << "DELETE FROM journal WHERE id = 1" << qint64(2);
    QTest::newRow("last row removed") << "DELETE FROM journal WHERE id = 4" << qint64(4);
}

void TestJournal::handEditsAreFound()
{
    QFETCH(QString, sql);
    QFETCH(qint64, badId);
    QTemporaryDir dir;
    const QString path = dir.filePath(TransferJournal::FileName);
    {
        TransferJournal journal(path);
        for (int n = 0; n < 4; ++n) {
            JournalEntry e = entryFor(QString(), n);
            e.result = n == 2 ? QStringLiteral("failed") : QStringLiteral("done");
            journal.append(e);
        }
    }
    QVERIFY(TransferJournal::verify(path).ok);
    tamper(path, sql);
    const TransferJournal::Check check = TransferJournal::verify(path);
    QVERIFY(!check.ok);
    QCOMPARE(check.firstBadId, badId);
    QVERIFY(!check.problem.isEmpty());

    // A row written after the damage does not hide it.
    {
        TransferJournal journal(path);
        journal.append(entryFor(QString(), 9));
    }
    QVERIFY(!TransferJournal::verify(path).ok);
}

void TestJournal::notADatabaseIsSetAside()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(TransferJournal::FileName);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    TransferJournal journal(path);
    QSignalSpy told(&journal, &TransferJournal::problem);
    journal.append(entryFor(QString(), 0));
    journal.append(entryFor(QString(), 1));
    journal.flush();
    QTRY_COMPARE(told.size(), 1);
    QVERIFY(told[0][0].toString().contains(QLatin1String("is kept as")));
    const QStringList aside = QDir(dir.path()).entryList({"journal.db.damaged-*"});
    QCOMPARE(aside.size(), 1);
    QCOMPARE(QFile(dir.filePath(aside[0])).size(), 4096);
    QList<JournalRow> rows;
    QString error;
    QVERIFY(TransferJournal::readRows(path, QDateTime(), &rows, &error));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(told.size(), 1);
}

void TestJournal::twoWritersLoseNoRow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(TransferJournal::FileName);
    constexpr int each = 150;
    {
        TransferJournal window(path), service(path);
        std::thread a([&] {
            for (int n = 0; n < each; ++n)
                window.append(entryFor(QStringLiteral("window"), n));
        });
        for (int n = 0; n < each; ++n)
            service.append(entryFor(QStringLiteral("service"), n));
        a.join();
    }
    QList<JournalRow> rows;
    QString error;
    QVERIFY(TransferJournal::readRows(path, QDateTime(), &rows, &error));
    QCOMPARE(rows.size(), 2 * each);
    const TransferJournal::Check check = TransferJournal::verify(path);
    QVERIFY2(check.ok, qPrintable(check.problem));
}

void TestJournal::unwritableJournalNeverHoldsUpTheCaller()
{
    QTemporaryDir dir;
    // A folder where the file should be: nothing can open it as a database.
    const QString path = dir.filePath(TransferJournal::FileName);
    QVERIFY(QDir().mkpath(path));
    TransferJournal journal(path);
    QSignalSpy told(&journal, &TransferJournal::problem);
    for (int n = 0; n < 50; ++n)
        journal.append(entryFor(QString(), n));
    journal.flush();
    QTRY_COMPARE(told.size(), 1);
    QVERIFY(told[0][0].toString().contains(QLatin1String("transfers go on")));
    QVERIFY(QFileInfo(path).isDir());
}

void TestJournal::filter_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("fromDaysAgo"); // -1: open
    QTest::addColumn<int>("toDaysAgo");   // -1: open
    QTest::addColumn<QString>("shown");   // numbers of the rows shown
    QTest::newRow("everything") << ""
                                << "" << -1 << -1 << "0123";
    QTest::newRow("a port setting, every device") << "Radio"
                                                  << "" << -1 << -1 << "23";
    QTest::newRow("one device") << "Radio / 02"
                                << "" << -1 << -1 << "3";
    QTest::newRow("file, any case") << ""
                                    << "o2000" << -1 << -1 << "13";
    QTest::newRow("from yesterday") << ""
                                    << "" << 1 << -1 << "123";
    QTest::newRow("one day") << ""
                             << "" << 2 << 2 << "0";
    QTest::newRow("nothing") << "Mill"
                             << "O2000" << 0 << 0 << "";
}

void TestJournal::filter()
{
    QFETCH(QString, machine);
    QFETCH(QString, file);
    QFETCH(int, fromDaysAgo);
    QFETCH(int, toDaysAgo);
    QFETCH(QString, shown);
    const QDateTime now = QDateTime::currentDateTime();
    const struct {
        const char *port, *device, *file;
        int daysAgo;
    } rows[] = {{"Mill", "", "/nc/O1000.nc", 2},
                {"Mill", "", "/nc/O2000.nc", 1},
                {"Radio", "01", "/nc/O1000.nc", 0},
                {"Radio", "02", "/nc/O2000.nc", 0}};
    JournalFilter f;
    f.machine = machine;
    f.fileContains = file;
    if (fromDaysAgo >= 0)
        f.from = now.date().addDays(-fromDaysAgo);
    if (toDaysAgo >= 0)
        f.to = now.date().addDays(-toDaysAgo);
    QString got;
    for (int i = 0; i < 4; ++i) {
        JournalEntry e;
        e.portSetting = QString::fromLatin1(rows[i].port);
        e.device = QString::fromLatin1(rows[i].device);
        e.file = QString::fromLatin1(rows[i].file);
        e.time = now.addDays(-rows[i].daysAgo).toUTC();
        if (f.matches(e))
            got += QString::number(i);
    }
    QCOMPARE(got, shown);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_library_journal.moc"
