// The store rules for received programs: replacing keeps numbered backups up to the limit,
// an identical program is not written again, a failed write leaves the old program whole.
#include "library/ProgramStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace
{

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestProgramStore : public QObject
{
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void limitFromSettings_data();
    void limitFromSettings();
};

void TestProgramStore::rules_data()
{
    QTest::addColumn<QList<QByteArray>>("stores"); // programs stored one after another
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("backups"); // expected "n=content" in backup/
    QTest::addColumn<QString>("lastOutcome");

    QTest::newRow("new program, no backup")
        << QList<QByteArray>{"A\r\n"} << 10 << QStringList{} << "stored";
    QTest::newRow("replaced, old one kept")
        << QList<QByteArray>{"A\r\n", "B\r\n"} << 10 << QStringList{"1=A\r\n"} << "stored";
    QTest::newRow("identical, nothing written")
        << QList<QByteArray>{"A\r\n", "A\r\n"} << 10 << QStringList{} << "identical";
    QTest::newRow("pruned at the limit") << QList<QByteArray>{"A", "B", "C", "D", "E"} << 3
                                         << QStringList{"2=B", "3=C", "4=D"} << "stored";
    QTest::newRow("limit 0 keeps none")
        << QList<QByteArray>{"A", "B"} << 0 << QStringList{} << "stored";
}

void TestProgramStore::rules()
{
    QFETCH(QList<QByteArray>, stores);
    QFETCH(int, limit);
    QFETCH(QStringList, backups);
    QFETCH(QString, lastOutcome);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O1000.nc"));
    const ProgramStore store(limit);
    ProgramStore::Result r;
    for (const QByteArray &bytes : stores)
        r = store.store(path, bytes);
    QCOMPARE(contentOf(path), stores.last());
    QCOMPARE(r.outcome == ProgramStore::Result::Identical ? QStringLiteral("identical")
             : r.outcome == ProgramStore::Result::Stored  ? QStringLiteral("stored")
                                                          : QStringLiteral("failed"),
             lastOutcome);
    QStringList found;
    const QDir backupDir(dir.filePath(QStringLiteral("backup")));
    for (const QString &name : backupDir.entryList(QDir::Files, QDir::Name)) {
        QVERIFY2(name.startsWith(QLatin1String("O1000~")) && name.endsWith(QLatin1String(".nc")),
                 qPrintable(name));
        found << name.mid(6, name.size() - 9) + u'=' +
                     QString::fromLatin1(contentOf(backupDir.filePath(name)));
    }
    QCOMPARE(found, backups);

    // A write that fails leaves the stored program and makes no backup of it.
    if (lastOutcome == QLatin1String("stored") && stores.size() == 2 && limit > 0) {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const ProgramStore::Result failed = store.store(path, "X");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (::geteuid() != 0) {
            QCOMPARE(failed.outcome, ProgramStore::Result::Failed);
            QVERIFY(!failed.reason.isEmpty());
            QCOMPARE(contentOf(path), stores.last());
            QCOMPARE(backupDir.entryList(QDir::Files).size(), backups.size());
        }
    }
}

void TestProgramStore::limitFromSettings_data()
{
    QTest::addColumn<QByteArray>("ini"); // empty: no file
    QTest::addColumn<int>("limit");
    QTest::newRow("no file") << QByteArray() << 10;
    QTest::newRow("no such line") << QByteArray("[AutoMode]\nErrorReasons=false\n") << 10;
    QTest::newRow("set") << QByteArray("[Backups]\nLimit= 3\n") << 3;
    QTest::newRow("none kept") << QByteArray("[Backups]\nLimit=0\n") << 0;
    QTest::newRow("hand-typed word") << QByteArray("[Backups]\nLimit=ten\n") << 10;
    QTest::newRow("negative") << QByteArray("[Backups]\nLimit=-4\n") << 0;
    QTest::newRow("too many") << QByteArray("[Backups]\nLimit=50000\n") << 1000;
}

void TestProgramStore::limitFromSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, limit);
    QTemporaryDir dir;
    const QString path = dir.filePath("NCFerry.ini");
    if (!ini.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }
    QCOMPARE(ProgramStore::backupLimitFrom(path), limit);
}

QTEST_GUILESS_MAIN(TestProgramStore)
#include "tst_library_programstore.moc"
