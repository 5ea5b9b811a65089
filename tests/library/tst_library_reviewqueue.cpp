// Held programs: holding never touches the stored program, accepting replaces it with a
// backup, rejecting moves the held copy into failed/, and a folder that cannot be written
// says why and loses nothing.
#include "TestFiles.h"
#include "library/ReviewQueue.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace
{

// The contents of the program files in folder, sorted; notes left out.
QList<QByteArray> contents(const QString &folder)
{
    QList<QByteArray> out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        if (!name.endsWith(QLatin1String(ReviewQueue::InfoSuffix)))
            out << readFile(dir.filePath(name));
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

class TestReviewQueue : public QObject
{
    Q_OBJECT
private slots:
    void decisions_data();
    void decisions();
    void notHeldIsRefused();
};

void TestReviewQueue::decisions_data()
{
    QTest::addColumn<QByteArray>("stored"); // the approved program; empty: none
    QTest::addColumn<QList<QByteArray>>("returns");
    QTest::addColumn<QString>("decision"); // on the first held copy: "", "accept", "reject"
    // A file where this folder must go: it cannot be written, whoever runs the test.
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QByteArray>("target"); // the program at the target afterwards
    QTest::addColumn<QList<QByteArray>>("review");
    QTest::addColumn<QList<QByteArray>>("backup");
    QTest::addColumn<QList<QByteArray>>("failed");
    QTest::addColumn<QString>("says"); // in the reason of what failed

    using L = QList<QByteArray>;
    const QByteArray a = "%\r\nO1000\r\nG0X1.\r\nM30\r\n%\r\n",
                     b = "%\r\nO1000\r\nG0X2.\r\nM30\r\n%\r\n",
                     c = "%\r\nO1000\r\nG0X3.\r\nM30\r\n%\r\n";
    QTest::newRow("held, stored one untouched") << a << L{b} << ""
                                                << "" << a << L{b} << L{} << L{} << "";
    QTest::newRow("two versions both kept") << a << L{b, c} << ""
                                            << "" << a << L{b, c} << L{} << L{} << "";
    QTest::newRow("same as stored: not held") << a << L{a} << ""
                                              << "" << a << L{} << L{} << L{} << "";
    QTest::newRow("same as held: held once") << a << L{b, b} << ""
                                             << "" << a << L{b} << L{} << L{} << "";
    QTest::newRow("accept keeps a backup") << a << L{b} << "accept"
                                           << "" << b << L{} << L{a} << L{} << "";
    QTest::newRow("accept of a new program") << QByteArray() << L{b} << "accept"
                                             << "" << b << L{} << L{} << L{} << "";
    QTest::newRow("accept leaves the other version") << a << L{b, c} << "accept"
                                                     << "" << b << L{c} << L{a} << L{} << "";
    QTest::newRow("reject moves to failed") << a << L{b} << "reject"
                                            << "" << a << L{} << L{} << L{b} << "";
    QTest::newRow("review folder unwritable") << a << L{b} << ""
                                              << "review" << a << L{} << L{} << L{} << "review";
    QTest::newRow("no backup, no accept") << a << L{b} << "accept"
                                          << "backup" << a << L{b} << L{} << L{} << "backup";
    QTest::newRow("failed folder unwritable") << a << L{b} << "reject"
                                              << "failed" << a << L{b} << L{} << L{} << "failed";
}

void TestReviewQueue::decisions()
{
    QFETCH(QByteArray, stored);
    QFETCH(QList<QByteArray>, returns);
    QFETCH(QString, decision);
    QFETCH(QString, blocked);
    QFETCH(QByteArray, target);
    QFETCH(QList<QByteArray>, review);
    QFETCH(QList<QByteArray>, backup);
    QFETCH(QList<QByteArray>, failed);
    QFETCH(QString, says);
    std::sort(review.begin(), review.end());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O1000.nc"));
    if (!stored.isEmpty())
        QVERIFY(writeFile(path, stored));
    if (blocked == QLatin1String("review"))
        QVERIFY(writeFile(dir.filePath(blocked), "not a folder"));

    QString reason;
    for (const QByteArray &bytes : returns) {
        const ReviewQueue::Hold h = ReviewQueue::hold(path, bytes, {"LATHE 1", "04"});
        if (h.outcome == ReviewQueue::Hold::Failed)
            reason = h.reason;
        QCOMPARE(h.outcome == ReviewQueue::Hold::Failed, !says.isEmpty() && decision.isEmpty());
        QCOMPARE(h.heldPath.isEmpty(), h.outcome == ReviewQueue::Hold::Identical ||
                                           h.outcome == ReviewQueue::Hold::Failed);
    }
    const QList<ReviewQueue::Entry> held = ReviewQueue::list(dir.path());
    for (const ReviewQueue::Entry &e : held) {
        QCOMPARE(e.targetPath, QFileInfo(path).absoluteFilePath());
        QCOMPARE(e.origin.portSetting, QStringLiteral("LATHE 1"));
        QCOMPARE(e.origin.device, QStringLiteral("04"));
        QVERIFY(qAbs(e.time.secsTo(QDateTime::currentDateTime())) < 60);
    }
    if (!decision.isEmpty()) {
        QVERIFY(!held.isEmpty());
        if (!blocked.isEmpty())
            QVERIFY(writeFile(dir.filePath(blocked), "not a folder"));
        const ReviewQueue::Decision d = decision == QLatin1String("accept")
                                            ? ReviewQueue::accept(held.first().heldPath)
                                            : ReviewQueue::reject(held.first().heldPath);
        QCOMPARE(d.done, says.isEmpty());
        QVERIFY2(d.warning.isEmpty(), qPrintable(d.warning));
        reason = d.reason;
    }
    QVERIFY2(says.isEmpty() ? reason.isEmpty() : reason.contains(says), qPrintable(reason));
    QCOMPARE(readFile(path), target.isEmpty() ? QByteArray("<missing>") : target);
    QCOMPARE(contents(dir.filePath("review")), review);
    QCOMPARE(ReviewQueue::list(dir.path()).size(), review.size());
    QCOMPARE(contents(dir.filePath("backup")), backup);
    QCOMPARE(contents(dir.filePath("failed")), failed);
    // Every held copy carries its note, and no note outlives its copy.
    const QDir reviewDir(dir.filePath("review"));
    QCOMPARE(reviewDir.entryList({"*.held"}, QDir::Files).size(), review.size());
}

void TestReviewQueue::notHeldIsRefused()
{
    QTemporaryDir dir;
    const QString program = fixture(dir, "O1.nc", "%\r\nO1\r\n%\r\n");
    QVERIFY(QDir(dir.path()).mkpath("review"));
    const QString stray = fixture(dir, "review/notes.txt", "x");
    for (const QString &path : {program, stray, dir.filePath("review/O1~20260101-120000.nc")}) {
        const ReviewQueue::Decision d = ReviewQueue::reject(path);
        QVERIFY(!d.done);
        QVERIFY2(d.reason.contains(QDir::toNativeSeparators(path)), qPrintable(d.reason));
    }
    QCOMPARE(readFile(program), QByteArray("%\r\nO1\r\n%\r\n"));
    QCOMPARE(readFile(stray), QByteArray("x"));
    QVERIFY(!QFileInfo::exists(dir.filePath("failed")));
}

QTEST_GUILESS_MAIN(TestReviewQueue)
#include "tst_library_reviewqueue.moc"
