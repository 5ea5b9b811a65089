// The compare window shows the rows of the diff with their marks and colours, steps from
// change to change, and the file list's Compare menu offers the backups newest first.
#include "library/DiffView.h"
#include "library/ProgramStore.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace
{

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The marks column as the window shows it, "=" for an unmarked row, plus which rows have a
// background of their own.
QString shownMarks(const DiffModel *m)
{
    QString marks;
    for (int r = 0; r < m->rowCount(); ++r) {
        const QString mark = m->index(r, DiffModel::Mark).data().toString();
        const bool coloured = m->index(r, DiffModel::LeftText).data(Qt::BackgroundRole).isValid();
        marks += mark.isEmpty() ? (coloured ? QStringLiteral("?") : QStringLiteral("="))
                                : (coloured ? mark : QStringLiteral("!"));
    }
    return marks;
}

// The compare window's programs, read and compared on its worker.
bool loadedIn(TCompareWindow *w)
{
    QSignalSpy loaded(w->view(), &DiffView::loaded);
    return loaded.wait(10000) && loaded.first().first().toBool();
}

QStringList entries(const QMenu &menu)
{
    QStringList texts;
    for (const QAction *a : menu.actions())
        if (!a->isSeparator())
            texts << a->text();
    return texts;
}

} // namespace

class TestDiffView : public QObject
{
    Q_OBJECT
private slots:
    void compareFiles_data();
    void compareFiles();
    void unreadable_data();
    void unreadable();
    void backupsNewestFirst();
};

void TestDiffView::compareFiles_data()
{
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<QByteArray>("right");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("leftFirst");  // left column, first row
    QTest::addColumn<QString>("rightTexts"); // right column, "|" between rows

    QTest::newRow("edited, inserted, removed")
        << QByteArray("%\nO1000\nN10 G0 X0\nN20 G1 X5\nN30 M01\nN40 M30\n%\n")
        << QByteArray("%\nO1000\nN10 G0 X0\nN20 G1 X6\nN25 G4 P1\nN40 M30\n%\n") << "===~-+=="
        << "1 line(s) changed, 1 added, 1 removed"
        << "%"
        << "%|O1000|N10 G0 X0|N20 G1 X6||N25 G4 P1|N40 M30|%";
    QTest::newRow("CR LF against LF is no difference")
        << QByteArray("%\r\nO1\r\nM30\r\n%\r\n") << QByteArray("%\nO1\nM30\n%") << "===="
        << "The programs are identical."
        << "%"
        << "%|O1|M30|%";
    QTest::newRow("a long line")
        << QByteArray("G1 X1\nG1 X100.0001 Y-200.0002 Z-3.0003 A45.0 B90.0 C180.0 F1234.5 S12000 "
                      "M03 (ROUGHING WITH THE 12 MM END MILL)\nM30\n")
        << QByteArray("G1 X1\nG1 X2\nM30\n") << "=~="
        << "1 line(s) changed, 0 added, 0 removed"
        << "G1 X1"
        << "G1 X1|G1 X2|M30";
    QTest::newRow("tabs")
        << QByteArray("G1 X1\nG1 X100.0001 Y-200.0002 Z-3.0003 A45.0 B90.0 C180.0 F1234.5 S12000 "
                      "M03 M08 (FINISH)\nM30\n")
        << QByteArray("G1 X1\nG1\tX2\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\tY3\nM30\n") << "=~="
        << "1 line(s) changed, 0 added, 0 removed"
        << "G1 X1"
        << "G1 X1|G1\tX2\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\tY3|M30";
    QTest::newRow("a byte of the code page is compared, not lost")
        << QByteArray("(D\xd6SE)\nM30\n") << QByteArray("(DUSE)\nM30\n") << "~="
        << "1 line(s) changed, 0 added, 0 removed" << QString::fromUtf8("(D\u00d6SE)")
        << "(DUSE)|M30";
}

void TestDiffView::compareFiles()
{
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, right);
    QFETCH(QString, marks);
    QFETCH(QString, summary);
    QFETCH(QString, leftFirst);
    QFETCH(QString, rightTexts);
    QTemporaryDir dir;
    write(dir.filePath("A.nc"), left);
    write(dir.filePath("B.nc"), right);
    CompareMenu menu;
    menu.compare(dir.filePath("A.nc"), dir.filePath("B.nc"));
    TCompareWindow *w = menu.lastWindow;
    QVERIFY(w);
    QCOMPARE(w->findChild<QLabel *>("DiffSummary")->text(), QStringLiteral("Comparing..."));
    QVERIFY(!w->findChild<QPushButton *>("NextChange")->isEnabled());
    QVERIFY(loadedIn(w));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const DiffModel *m = w->view()->model();
    QCOMPARE(shownMarks(m), marks);
    QStringList texts;
    for (int r = 0; r < m->rowCount(); ++r)
        texts << m->index(r, DiffModel::RightText).data().toString();
    QCOMPARE(texts.join(u'|'), rightTexts);
    QCOMPARE(m->index(0, DiffModel::LeftText).data().toString(), leftFirst);
    QCOMPARE(w->findChild<QLabel *>("DiffSummary")->text(), summary);
    // Every line fits its column: long lines scroll sideways, they are not cut.
    const QTableView *table = w->view()->table();
    const QFontMetrics fm(table->font());
    for (int r = 0; r < m->rowCount(); ++r)
        for (int column : {int(DiffModel::LeftText), int(DiffModel::RightText)}) {
            const QString text = m->index(r, column).data().toString();
            QVERIFY2(fm.horizontalAdvance(text) <= table->columnWidth(column),
                     qPrintable(QStringLiteral("row %1: %2 px in %3")
                                    .arg(r)
                                    .arg(fm.horizontalAdvance(text))
                                    .arg(table->columnWidth(column))));
        }
    QCOMPARE(m->headerData(DiffModel::LeftText, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("A.nc"));

    // Next and previous land on the first row of each run of differences, and stop there.
    QList<int> visited;
    auto *next = w->findChild<QPushButton *>("NextChange");
    auto *previous = w->findChild<QPushButton *>("PreviousChange");
    QCOMPARE(next->isEnabled(), !m->changeStarts().isEmpty());
    w->view()->table()->selectRow(0);
    for (int i = 0; i <= m->changeStarts().size(); ++i) {
        next->click();
        if (visited.isEmpty() || visited.last() != w->view()->currentRow())
            visited << w->view()->currentRow();
    }
    QList<int> expected = m->changeStarts();
    if (expected.isEmpty())
        expected << 0;
    QCOMPARE(visited, expected);
    if (!m->changeStarts().isEmpty()) {
        w->view()->table()->selectRow(m->rowCount() - 1);
        previous->click();
        QCOMPARE(w->view()->currentRow(), m->changeStarts().last());
    }
    w->close();
}

void TestDiffView::unreadable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says"); // besides the file's name
    QTest::newRow("missing") << "missing"
                             << "cannot be read";
    QTest::newRow("a folder") << "folder"
                              << "cannot be read";
    QTest::newRow("a pipe, which would never end") << "fifo"
                                                   << "cannot be read";
    QTest::newRow("too large") << "large"
                               << "more than 64 MB";
}

void TestDiffView::unreadable()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    QTemporaryDir dir;
    write(dir.filePath("A.nc"), "M30\n");
    const QString other = dir.filePath("B.nc");
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir(dir.path()).mkdir("B.nc"));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(other).constData(), 0600), 0);
    if (kind == QLatin1String("large")) {
        QFile big(other);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(ProgramDiff::MaxFileBytes + 1));
    }
    // Read here, and on the worker as the Compare menu reads.
    DiffView view;
    QVERIFY(!view.loadFiles(dir.filePath("A.nc"), other));
    DiffView later;
    QSignalSpy loaded(&later, &DiffView::loaded);
    later.startLoading(dir.filePath("A.nc"), other);
    QVERIFY(loaded.wait(10000));
    QCOMPARE(loaded.first().first().toBool(), false);
    for (const DiffView *v : {&view, &later}) {
        QVERIFY2(v->errorText().contains(QDir::toNativeSeparators(other)) &&
                     v->errorText().contains(says),
                 qPrintable(v->errorText()));
        QCOMPARE(v->model()->rowCount(), 0);
    }
}

void TestDiffView::backupsNewestFirst()
{
    QTemporaryDir dir;
    const QString program = dir.filePath("O1000.nc");
    const ProgramStore store(3);
    const QList<QByteArray> versions = {"%\nA\n%\n", "%\nB\n%\n", "%\nC\n%\n", "%\nD\n%\n",
                                        "%\nE\n%\n"};
    for (const QByteArray &version : versions)
        QCOMPARE(store.store(program, version).outcome, ProgramStore::Result::Stored);
    // Backups of other programs, and a name that only looks like one, are not offered.
    write(dir.filePath("backup/O10000~9.nc"), "X");
    write(dir.filePath("backup/O1000~x.nc"), "X");
    write(dir.filePath("backup/O1000~7.txt"), "X");

    QMainWindow owner;
    CompareMenu menu(&owner);
    menu.program = [&] { return program; };
    menu.fill(program);
    const QStringList shown = entries(menu);
    QCOMPARE(shown.size(), 4);
    QVERIFY2(shown.at(0).startsWith("O1000~4.nc  ("), qPrintable(shown.at(0)));
    QVERIFY2(shown.at(1).startsWith("O1000~3.nc  ("), qPrintable(shown.at(1)));
    QVERIFY2(shown.at(2).startsWith("O1000~2.nc  ("), qPrintable(shown.at(2)));
    QCOMPARE(shown.at(3), QStringLiteral("Other program..."));

    // The newest backup against the program: the backup on the left.
    menu.actions().first()->trigger();
    QVERIFY(menu.lastWindow && loadedIn(menu.lastWindow));
    QCOMPARE(menu.lastWindow->view()->model()->left(), (QStringList{"%", "D", "%"}));
    QCOMPARE(menu.lastWindow->view()->model()->right(), (QStringList{"%", "E", "%"}));
    menu.lastWindow->close();

    // Another program, chosen in a dialog that starts in the program's folder.
    write(dir.filePath("O2000.nc"), "%\nE\nM30\n%\n");
    QString askedIn;
    menu.chooseOther = [&](const QString &folder) {
        askedIn = folder;
        return dir.filePath("O2000.nc");
    };
    menu.actions().last()->trigger();
    QCOMPARE(QDir(askedIn), QDir(dir.path()));
    QVERIFY(menu.lastWindow && loadedIn(menu.lastWindow));
    QCOMPARE(shownMarks(menu.lastWindow->view()->model()), QStringLiteral("==+="));
    menu.lastWindow->close();

    // A program without backups says so; no program selected offers nothing to choose.
    write(dir.filePath("O3000.nc"), "M30\n");
    menu.fill(dir.filePath("O3000.nc"));
    QCOMPARE(entries(menu), (QStringList{"No backups of this program", "Other program..."}));
    QVERIFY(!menu.actions().first()->isEnabled());
    menu.fill(QString());
    QCOMPARE(entries(menu), QStringList{"Other program..."});
    QVERIFY(!menu.actions().last()->isEnabled());
}

QTEST_MAIN(TestDiffView)
#include "tst_library_diffview.moc"
