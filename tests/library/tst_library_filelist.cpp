#include "LibraryWait.h"
#include "library/FileList.h"
#include "library/LibraryEngine.h"

#include "settings/CommaText.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <random>

using Rows = QVector<FileRow>;

namespace
{

// One row per item: "name|time|size|note|picture", missing cells empty.
Rows makeRows(const QStringList &rowTexts)
{
    Rows rows;
    for (const QString &text : rowTexts) {
        const QStringList cells = text.split(u'|');
        FileRow r;
        for (int c = 0; c < ColumnCount; ++c)
            r.cell(c) = cells.value(c);
        rows.append(r);
    }
    return rows;
}

QStringList column(const FileList &list, int c)
{
    QStringList out;
    for (const FileRow &r : list.rows())
        out.append(r.cell(c));
    return out;
}

const QStringList plain{"Name", "Time", "Size", "Note", "Pic"};

// Texts that share long prefixes, differ past the eighth and sixteenth unit, end early,
// hold U+0000, surrogate pairs and characters above them.
QString randomText(std::mt19937 &rng)
{
    static const QStringList pieces{"",       "O",  "o", "1", "12345678",    "ABCDEFGH",
                                    QChar(0), "軸", "😀", " ", QChar(0xFFFD), "roughing ",
                                    "Z"};
    QString text;
    for (int n = int(rng() % 5); n > 0; --n) {
        const QString &piece = pieces.at(int(rng() % pieces.size()));
        text += piece;
    }
    return text;
}

QString randomTime(std::mt19937 &rng, bool canonicalOnly)
{
    if (!canonicalOnly && rng() % 10 == 0)
        return rng() % 2 ? QString() : QStringLiteral("2024-1-1 1:1:1");
    return QStringLiteral("20%1-%2-%3 %4:%5:%6")
        .arg(20 + rng() % 5)
        .arg(1 + rng() % 12, 2, 10, QChar(u'0'))
        .arg(1 + rng() % 2, 2, 10, QChar(u'0'))
        .arg(rng() % 3, 2, 10, QChar(u'0'))
        .arg(rng() % 60, 2, 10, QChar(u'0'))
        .arg(rng() % 3 * 2, 2, 10, QChar(u'0'));
}

QString randomSize(std::mt19937 &rng)
{
    static const QStringList odd{
        "", "x", "-5", "9223372036854775807", "99999999999999999999", "3000000000", " 7", "007"};
    return rng() % 4 ? QString::number(rng() % 50) : odd.at(int(rng() % odd.size()));
}

// The plain meaning of the sort, without keys: stable, by code units, sizes as numbers.
void referenceSort(Rows &rows, int column, int left, int right, bool ascending)
{
    const auto first = rows.begin() + left, last = rows.begin() + right + 1;
    if (column == PictureColumn) {
        std::stable_partition(first, last, [ascending](const FileRow &r) {
            return (r.picture == u"Y") == ascending;
        });
        return;
    }
    const auto less = [column](const FileRow &a, const FileRow &b) {
        if (column == SizeColumn) {
            const auto number = [](const QString &text) {
                bool ok = false;
                const qint64 v = text.toLongLong(&ok);
                return ok ? v : 0;
            };
            return number(a.size) < number(b.size);
        }
        const QString &x = a.cell(column), &y = b.cell(column);
        for (qsizetype i = 0; i < x.size() && i < y.size(); ++i)
            if (x[i] != y[i])
                return x[i].unicode() < y[i].unicode();
        return x.size() < y.size();
    };
    std::stable_sort(first, last, [&](const FileRow &a, const FileRow &b) {
        return ascending ? less(a, b) : less(b, a);
    });
}

} // namespace

class TestFileList : public QObject
{
    Q_OBJECT
private slots:
    void sort_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("expectedNames");

        const QStringList names{"O2.nc", "aa.nc", "O10.nc", "ZZ.nc"};
        QTest::newRow("name asc: code units")
            << 0 << true << names << QStringList{"O10.nc", "O2.nc", "ZZ.nc", "aa.nc"};
        QTest::newRow("name desc")
            << 0 << false << names << QStringList{"aa.nc", "ZZ.nc", "O2.nc", "O10.nc"};
        const QStringList sized{"a||3000000000", "b||2147483648",  "c||900",
                                "d||2147483647", "e||10000000000", "f||0"};
        QTest::newRow("size asc above 2^31")
            << 2 << true << sized << QStringList{"f", "c", "d", "b", "a", "e"};
        QTest::newRow("size desc above 2^31")
            << 2 << false << sized << QStringList{"e", "a", "b", "d", "c", "f"};
        QTest::newRow("equal sizes keep order asc")
            << 2 << true << QStringList{"x||5", "y||1", "z||5", "w||5"}
            << QStringList{"y", "x", "z", "w"};
        QTest::newRow("equal sizes keep order desc")
            << 2 << false << QStringList{"x||5", "y||1", "z||5", "w||5"}
            << QStringList{"x", "z", "w", "y"};
        QTest::newRow("time asc") << 1 << true
                                  << QStringList{"a|2024-01-02 00:00:00", "b|2023-12-31 23:59:58",
                                                 "c|2024-01-01 10:00:00"}
                                  << QStringList{"b", "c", "a"};
        // U+1F600 is a surrogate pair (0xD83D...), which is below U+FFFD in code units.
        QTest::newRow("note by code units, not code points")
            << 3 << true
            << QStringList{QString::fromUtf8("a|||\uFFFD"), QString::fromUtf8("b|||😀"), "c|||Z",
                           "d|||"}
            << QStringList{"d", "c", "b", "a"};
        const QStringList pics{"a||||", "b||||Y", "c||||", "d||||Y", "e||||"};
        QTest::newRow("picture asc gathers Y on top")
            << 4 << true << pics << QStringList{"b", "d", "a", "c", "e"};
        QTest::newRow("picture desc gathers no picture on top")
            << 4 << false << pics << QStringList{"a", "c", "e", "b", "d"};
        const QStringList noPics{"a", "b", "c"};
        QTest::newRow("picture asc, none has one: no move") << 4 << true << noPics << noPics;
        QTest::newRow("picture desc, none has one: no move") << 4 << false << noPics << noPics;
        const QStringList allPics{"a||||Y", "b||||Y", "c||||Y"};
        QTest::newRow("picture asc, all have one: no move")
            << 4 << true << allPics << QStringList{"a", "b", "c"};
        QTest::newRow("single row") << 0 << true << QStringList{"only"} << QStringList{"only"};
    }
    void sort()
    {
        QFETCH(int, col);
        QFETCH(bool, ascending);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, expectedNames);
        FileList list;
        list.setRows(makeRows(rows));
        const Rows before = list.rows();
        list.sortRows(col, 0, list.rowCount() - 1, ascending);
        QCOMPARE(column(list, NameColumn), expectedNames);
        // Whole rows move: every original row is still there, cells intact.
        for (const FileRow &r : before)
            QVERIFY(list.rows().contains(r));
    }

    void sortMatchesReference_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<bool>("canonicalTimes");
        for (int c = 0; c < ColumnCount; ++c)
            for (bool ascending : {true, false})
                for (bool canonical : {true, false})
                    if (c == TimeColumn || canonical)
                        QTest::addRow("%s column %d%s", ascending ? "asc" : "desc", c,
                                      canonical ? "" : ", some times not in the usual form")
                            << c << ascending << canonical;
    }
    void sortMatchesReference()
    {
        QFETCH(int, col);
        QFETCH(bool, ascending);
        QFETCH(bool, canonicalTimes);
        std::mt19937 rng(uint(col * 4 + ascending * 2 + canonicalTimes));
        for (int round = 0; round < 4; ++round) {
            Rows rows;
            for (int i = 0; i < 3000; ++i) {
                FileRow r;
                r.name = QString::number(i); // tells the rows apart, so order shows
                r.time = randomTime(rng, canonicalTimes);
                r.size = randomSize(rng);
                r.note = randomText(rng);
                r.picture = rng() % 3 ? QString() : QStringLiteral("Y");
                if (col == NameColumn)
                    std::swap(r.name, r.note);
                rows.append(r);
            }
            // The whole list, then a range inside it.
            const int left = round < 2 ? 0 : int(rng() % 1000);
            const int right = round < 2 ? int(rows.size()) - 1 : 1000 + int(rng() % 1999);
            FileList list;
            list.setRows(rows);
            list.sortRows(col, left, right, ascending);
            referenceSort(rows, col, left, right, ascending);
            QVERIFY(list.rows() == rows);
        }
    }

    void sortRangeOnly()
    {
        FileList list;
        list.setRows(makeRows({"d", "c", "b", "a"}));
        list.sortRows(NameColumn, 1, 2, true);
        QCOMPARE(column(list, NameColumn), (QStringList{"d", "b", "c", "a"}));
    }

    void largeOrderedInputSorts()
    {
        Rows rows;
        for (int i = 0; i < 20000; ++i) {
            FileRow r;
            r.name = QStringLiteral("O%1.nc").arg(i, 6, 10, QChar(u'0'));
            r.size = QString::number(i);
            rows.append(r);
        }
        FileList list;
        list.setRows(rows);
        QElapsedTimer t;
        t.start();
        list.sortRows(NameColumn, 0, list.rowCount() - 1, true);
        list.sortRows(NameColumn, 0, list.rowCount() - 1, false);
        list.sortRows(SizeColumn, 0, list.rowCount() - 1, true);
        QVERIFY2(t.elapsed() < 2000, "ordered input must not sort in quadratic time");
        QCOMPARE(list.rowCount(), 20000);
        QCOMPARE(list.row(0).name, rows.first().name);
        QCOMPARE(list.row(19999).name, rows.last().name);
    }

    void keyWordPass_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("col");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("expectedNames");
        const QStringList rows{"A1.nc|||shaft", "O12.nc|||flange", "B.nc|||Shaft",
                               "O1.nc|||shaft b", "o1.nc"};
        QTest::newRow("prefix, order kept")
            << "O1" << 0 << rows << QStringList{"O12.nc", "O1.nc", "B.nc", "A1.nc", "o1.nc"};
        QTest::newRow("case-sensitive")
            << "o1" << 0 << rows << QStringList{"o1.nc", "O12.nc", "B.nc", "O1.nc", "A1.nc"};
        QTest::newRow("empty keyword moves nothing")
            << "" << 0 << rows << QStringList{"A1.nc", "O12.nc", "B.nc", "O1.nc", "o1.nc"};
        QTest::newRow("note column")
            << "shaft" << 3 << rows << QStringList{"A1.nc", "O1.nc", "B.nc", "O12.nc", "o1.nc"};
        QTest::newRow("no match") << "X" << 0 << rows
                                  << QStringList{"A1.nc", "O12.nc", "B.nc", "O1.nc", "o1.nc"};
    }
    void keyWordPass()
    {
        QFETCH(QString, keyword);
        QFETCH(int, col);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, expectedNames);
        FileList list;
        list.setRows(makeRows(rows));
        list.keyWordPass(keyword, col);
        QCOMPARE(column(list, NameColumn), expectedNames);
    }

    void emptyListStaysOneRow()
    {
        FileList list;
        list.setRows({});
        QCOMPARE(list.rowCount(), 1);
        QVERIFY(list.isEmpty());
        for (int c = 0; c < ColumnCount; ++c)
            list.sortRows(c, 0, 0, true);
        list.keyWordPass("", 0);
        list.keyWordPass("O", 0);
        QCOMPARE(list.rowCount(), 1);
        QVERIFY(list.isEmpty());
    }

    void addFileData_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("added");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QStringList>("expectedNames");
        QTest::addColumn<QString>("lastPicture");
        const QStringList listed{"O1.nc||10", "O2.nc||20"};
        QTest::newRow("listed name, other case")
            << listed << CommaText::write({"o1.NC", "2024-01-01 10:00:00", "5", "new"}) << false
            << QStringList{"O1.nc", "O2.nc"} << "";
        QTest::newRow("new name appended")
            << listed << CommaText::write({"O3.nc", "2024-01-01 10:00:00", "7", "a note", "Y"})
            << true << QStringList{"O1.nc", "O2.nc", "O3.nc"} << "Y";
        QTest::newRow("empty list: the only row")
            << QStringList{} << CommaText::write({"O9.nc", "2024-01-01 10:00:00", "7"}) << true
            << QStringList{"O9.nc"} << "";
    }
    void addFileData()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, added);
        QFETCH(bool, changed);
        QFETCH(QStringList, expectedNames);
        QFETCH(QString, lastPicture);
        FileList list;
        list.setRows(makeRows(rows));
        QCOMPARE(list.addFileData(added), changed);
        QCOMPARE(column(list, NameColumn), expectedNames);
        QCOMPARE(list.row(list.rowCount() - 1).picture, lastPicture);
        if (changed)
            QCOMPARE(list.row(list.rowCount() - 1).time, QString("2024-01-01 10:00:00"));
    }

    void headerClicksAlternate()
    {
        LibraryEngine engine;
        engine.setPlainCaptions(plain);
        QVERIFY(engine.addFileData("b.nc,t,300"));
        QVERIFY(engine.addFileData("a.nc,t,3000000000"));
        QVERIFY(engine.addFileData("c.nc,t,20"));

        const struct {
            int section;
            QString caption;
            int mark;
            QStringList names;
        } steps[] = {
            {2, QString::fromUtf8("Size△"), 1, {"c.nc", "b.nc", "a.nc"}},
            {2, QString::fromUtf8("Size▽"), 2, {"a.nc", "b.nc", "c.nc"}},
            {2, QString::fromUtf8("Size△"), 1, {"c.nc", "b.nc", "a.nc"}},
            {0, QString::fromUtf8("Name△"), 1, {"a.nc", "b.nc", "c.nc"}},
        };
        for (const auto &step : steps) {
            engine.HeaderControl1SectionClick(step.section);
            QCOMPARE(engine.marks().caption(step.section), step.caption);
            QCOMPARE(engine.marks().mark(step.section), step.mark);
            waitIdle(engine);
            QCOMPARE(column(engine.fileList(), NameColumn), step.names);
        }
        QCOMPARE(engine.marks().caption(2), QString("Size"));
        QCOMPARE(engine.marks().mark(2), 0);
    }

    void keyWordColumnRules()
    {
        LibraryEngine engine;
        engine.setPlainCaptions(plain);
        QVERIFY(engine.addFileData("O1.nc,t,1,zeta"));
        QVERIFY(engine.addFileData("P1.nc,t,1,alpha"));
        QVERIFY(engine.addFileData(CommaText::write({"O2.nc", "t", "1", "alpha two"})));
        const QVector<int> widths(5, 101);

        // No keyword column yet: the name column takes the mark at the first key release.
        engine.KeyWordKeyUp("O");
        QCOMPARE(engine.marks().mark(0), int(HeaderMarks::KeyWord));
        QCOMPARE(engine.marks().caption(0), QString::fromUtf8("Name※"));
        waitIdle(engine);
        QCOMPARE(column(engine.fileList(), 0), (QStringList{"O1.nc", "O2.nc", "P1.nc"}));

        engine.HeaderControl1SectionClick(1);
        QCOMPARE(engine.marks().caption(1), QString::fromUtf8("Time△"));
        // Right click on the note header: keyword column, arrow gone; no pass yet.
        QCOMPARE(engine.HeaderControl1MouseUp(true, widths, 3 * 101 + 50), 3);
        QCOMPARE(engine.marks().mark(3), int(HeaderMarks::KeyWord));
        QCOMPARE(engine.marks().caption(3), QString::fromUtf8("Note※"));
        for (int i : {0, 1, 2, 4}) {
            QCOMPARE(engine.marks().mark(i), 0);
            QCOMPARE(engine.marks().caption(i), plain.at(i));
        }
        QCOMPARE(engine.jobQueue()->pendingJobs() > 0, true); // the earlier sort only
        waitIdle(engine);
        engine.KeyWordKeyUp("alpha");
        waitIdle(engine);
        QCOMPARE(column(engine.fileList(), 0), (QStringList{"O2.nc", "P1.nc", "O1.nc"}));
        QCOMPARE(column(engine.fileList(), 3), (QStringList{"alpha two", "alpha", "zeta"}));

        // Beyond the last section and left clicks change nothing.
        QCOMPARE(engine.HeaderControl1MouseUp(true, widths, 5 * 101), -1);
        QCOMPARE(engine.HeaderControl1MouseUp(false, widths, 10), -1);
        QCOMPARE(engine.marks().mark(3), int(HeaderMarks::KeyWord));

        // A sort clears the keyword mark; the next key release goes back to the name column.
        engine.HeaderControl1SectionClick(2);
        QCOMPARE(engine.marks().mark(3), 0);
        QCOMPARE(engine.marks().caption(3), QString("Note"));
        engine.KeyWordKeyUp("P");
        QCOMPARE(engine.marks().mark(0), int(HeaderMarks::KeyWord));
        QCOMPARE(engine.marks().caption(2), QString::fromUtf8("Size△"));
        waitIdle(engine);
        QCOMPARE(engine.fileList().row(0).name, QString("P1.nc"));
    }

    void jobsRunAfterTheEventInOrder()
    {
        LibraryEngine engine;
        QVERIFY(engine.addFileData("b,t,2"));
        QVERIFY(engine.addFileData("a,t,1"));
        QVERIFY(engine.addFileData("c,t,3"));
        QStringList order;
        connect(&engine, &LibraryEngine::sortDone, this, [&] { order << "sort"; });
        connect(&engine, &LibraryEngine::keyWordDone, this, [&] { order << "keyword"; });
        engine.SectionSort(0, "Name");
        engine.KeyWordKeyUp("c");
        engine.SectionSort(2, "Size");
        QVERIFY(order.isEmpty());
        QCOMPARE(column(engine.fileList(), 0), (QStringList{"b", "a", "c"}));
        // Each job sees the rows its predecessor left: a,b,c -> c,b,a -> a,b,c by size.
        QStringList seen;
        connect(&engine, &LibraryEngine::rowsChanged, this,
                [&] { seen << column(engine.fileList(), 0).join(""); });
        waitIdle(engine);
        QCOMPARE(order, (QStringList{"sort", "keyword", "sort"}));
        QCOMPARE(seen, (QStringList{"abc", "cba", "abc"}));
    }

    void sectionAtBoundaries_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("section");
        QTest::newRow("left edge") << 0 << 0;
        QTest::newRow("last pixel of 0") << 100 << 0;
        QTest::newRow("first pixel of 1") << 101 << 1;
        QTest::newRow("last pixel of 4") << 504 << 4;
        QTest::newRow("beyond") << 505 << -1;
    }
    void sectionAtBoundaries()
    {
        QFETCH(int, x);
        QFETCH(int, section);
        QCOMPARE(HeaderMarks::sectionAt(QVector<int>(5, 101), x), section);
    }
};

QTEST_GUILESS_MAIN(TestFileList)
#include "tst_library_filelist.moc"
