// The Review window as a shop uses it: a returned program beside the approved one, accepted
// or rejected.
#include "TestFiles.h"
#include "library/DiffView.h"
#include "library/ReviewWindow.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestReviewWindow : public QObject
{
    Q_OBJECT
private slots:
    void acceptAndReject();
};

void TestReviewWindow::acceptAndReject()
{
    QTemporaryDir dir;
    const QByteArray approved = "%\r\nO1000\r\nN10G00X0\r\nN20G01X5.F300\r\nM30\r\n%\r\n";
    const QString target = fixture(dir, QStringLiteral("O1000.nc"), approved);
    const QByteArray edited = "%\r\nO1000\r\nN10G00X0\r\nN20G01X5.F250\r\nM30\r\n%\r\n";
    QCOMPARE(
        ReviewQueue::hold(target, edited, {QStringLiteral("Mill"), QStringLiteral("00")}).outcome,
        ReviewQueue::Hold::Held);

    TReviewWindow w;
    w.setFolders({dir.path()});
    w.refresh();
    QCOMPARE(w.entries().size(), 1);
    // The held program stands beside the approved one, its edit marked.
    QTRY_COMPARE(w.diffView()->model()->rowCount(), 6);
    QCOMPARE(w.diffView()->model()->count(DiffRow::Changed), 1);
    QCOMPARE(w.diffView()->model()->right().value(3), QStringLiteral("N20G01X5.F250"));
    QCOMPARE(readFile(target), approved); // nothing replaced by looking

    QVERIFY(w.acceptSelected(false));
    QCOMPARE(readFile(target), edited);
    const QStringList backups = ProgramStore::backupsOf(target);
    QCOMPARE(backups.size(), 1);
    QCOMPARE(readFile(backups.first()), approved);
    QCOMPARE(w.entries().size(), 0);

    // A second return, rejected: kept as a failed transfer, the program stays.
    QCOMPARE(ReviewQueue::hold(target, "%\r\nO1000\r\nBROKEN\r\n%\r\n", {}).outcome,
             ReviewQueue::Hold::Held);
    w.refresh();
    QCOMPARE(w.entries().size(), 1);
    QVERIFY(w.rejectSelected(false));
    QCOMPARE(readFile(target), edited);
    const QStringList failed = QDir(dir.filePath("failed")).entryList(QDir::Files);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(readFile(dir.filePath("failed/" + failed.first())),
             QByteArray("%\r\nO1000\r\nBROKEN\r\n%\r\n"));
    QCOMPARE(w.entries().size(), 0);
    QCOMPARE(ReviewQueue::find({dir.path()}).size(), 0);
}

QTEST_MAIN(TestReviewWindow)
#include "tst_library_reviewwindow.moc"
