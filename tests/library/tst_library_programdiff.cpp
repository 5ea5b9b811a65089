// The line diff of two programs: rows cover both programs in order, block numbers align
// edited blocks, and a large program with a few edits comes out exact.
#include "library/ProgramDiff.h"

#include <QTest>

namespace
{

// "=l:r" same, "~l:r" changed, "-l:" removed, "+:r" added; Same rows left out when
// onlyEdits, for the large programs.
QString rowsText(const QList<DiffRow> &rows, bool onlyEdits)
{
    QStringList out;
    for (const DiffRow &r : rows) {
        if (onlyEdits && r.kind == DiffRow::Same)
            continue;
        const char mark = "=~-+"[r.kind];
        out << QString(QChar(mark)) + (r.leftLine < 0 ? QString() : QString::number(r.leftLine)) +
                   u':' + (r.rightLine < 0 ? QString() : QString::number(r.rightLine));
    }
    return out.join(u' ');
}

// Every line of both programs in exactly one row, in order; Same rows equal, Changed differ.
QString brokenRow(const QStringList &left, const QStringList &right, const QList<DiffRow> &rows)
{
    int l = 0;
    int r = 0;
    for (int k = 0; k < rows.size(); ++k) {
        const DiffRow &row = rows.at(k);
        const bool hasL = row.kind != DiffRow::Added;
        const bool hasR = row.kind != DiffRow::Removed;
        if ((hasL ? row.leftLine != l++ : row.leftLine != -1) ||
            (hasR ? row.rightLine != r++ : row.rightLine != -1))
            return QStringLiteral("row %1 out of order").arg(k);
        if (row.kind == DiffRow::Same && left.at(row.leftLine) != right.at(row.rightLine))
            return QStringLiteral("row %1 same but differs").arg(k);
        if (row.kind == DiffRow::Changed && left.at(row.leftLine) == right.at(row.rightLine))
            return QStringLiteral("row %1 changed but equal").arg(k);
    }
    if (l != left.size() || r != right.size())
        return QStringLiteral("lines missing");
    return {};
}

QStringList largeProgram(int lines)
{
    QStringList p;
    p.reserve(lines);
    for (int i = 0; i < lines; ++i)
        p << QStringLiteral("N%1 G1 X%2 Y%3").arg(i + 1).arg(i % 97).arg(i % 13);
    return p;
}

} // namespace

class TestProgramDiff : public QObject
{
    Q_OBJECT
private slots:
    void rows_data();
    void rows();
    void text();
};

void TestProgramDiff::rows_data()
{
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("right");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("onlyEdits");

    const QStringList abc{"G0 X0", "G1 X5", "M30"};
    QTest::newRow("identical") << abc << abc << "=0:0 =1:1 =2:2" << false;
    QTest::newRow("one line changed")
        << abc << QStringList{"G0 X0", "G1 X6", "M30"} << "=0:0 ~1:1 =2:2" << false;
    QTest::newRow("a line inserted")
        << abc << QStringList{"G0 X0", "M01", "G1 X5", "M30"} << "=0:0 +:1 =1:2 =2:3" << false;
    QTest::newRow("a line removed")
        << abc << QStringList{"G0 X0", "M30"} << "=0:0 -1: =2:1" << false;
    QTest::newRow("empty against a program")
        << QStringList{} << QStringList{"%", "M30"} << "+:0 +:1" << false;
    QTest::newRow("a program against empty")
        << QStringList{"%", "M30"} << QStringList{} << "-0: -1:" << false;
    QTest::newRow("both empty") << QStringList{} << QStringList{} << "" << false;
    QTest::newRow("N block edited")
        << QStringList{"N10 G0 X0", "N20 G1 X5", "N30 M30"}
        << QStringList{"N10 G0 X0", "N20 G1 X6 F100", "N30 M30"} << "=0:0 ~1:1 =2:2" << false;
    QTest::newRow("N blocks edited around an inserted block")
        << QStringList{"N10 G0", "N20 G1 X5", "N30 G1 Y5", "N40 M30"}
        << QStringList{"N10 G0", "N20 G1 X6", "N25 G4 P1", "N30 G1 Y6", "N40 M30"}
        << "=0:0 ~1:1 +:2 ~2:3 =3:4" << false;
    QTest::newRow("N blocks renumbered are not paired")
        << QStringList{"N10 G0", "N20 M30"} << QStringList{"N100 G0", "N200 M30"}
        << "-0: -1: +:0 +:1" << false;
    QTest::newRow("block delete, spaces and leading zeros")
        << QStringList{"/N0120 G1 X5"} << QStringList{"/ N120 G1 X7"} << "~0:0" << false;
    QTest::newRow("N block against a plain line is not paired")
        << QStringList{"N10 G1 X5"} << QStringList{"G1 X5"} << "-0: +:0" << false;
    QTest::newRow("plain lines pair around a removed N block")
        << QStringList{"G0 X1", "N5 M01", "G0 X2"} << QStringList{"G0 X3", "G0 X4"}
        << "~0:0 -1: ~2:1" << false;
    QTest::newRow("repeated lines in the changed region")
        << QStringList{"(A)", "G0 X0", "M01", "G0 X0", "(C)"}
        << QStringList{"(D)", "G0 X0", "M01", "G0 X0", "(E)"} << "~0:0 =1:1 =2:2 =3:3 ~4:4"
        << false;

    // A large program with three edits, far apart.
    const QStringList big = largeProgram(200000);
    QStringList edited = big;
    edited[1000] = QStringLiteral("N1001 G1 X0 Y0 F200");
    edited.insert(100001, QStringLiteral("M01"));
    edited.removeAt(190001);
    QTest::newRow("200 000 lines, three edits")
        << big << edited << "~1000:1000 +:100001 -190000:" << true;

    // Beyond what the diff works out, the rest is one hunk, paired line by line.
    QStringList rewritten;
    for (int i = 0; i < 5000; ++i)
        rewritten << QStringLiteral("G1 X%1").arg(i);
    QStringList rewrittenAgain;
    for (int i = 0; i < 5000; ++i)
        rewrittenAgain << QStringLiteral("G1 Y%1").arg(i);
    QStringList allChanged;
    for (int i = 0; i < 5000; ++i)
        allChanged << QStringLiteral("~%1:%1").arg(i);
    // Past the limit too, lines that are equal stay unmarked.
    QStringList everyOther = rewritten;
    QStringList everyOtherEdits;
    for (int i = 0; i < 5000; i += 2) {
        everyOther[i] += QStringLiteral(" F100");
        everyOtherEdits << QStringLiteral("~%1:%1").arg(i);
    }
    QTest::newRow("every other line changed")
        << rewritten << everyOther << everyOtherEdits.join(u' ') << true;
    QTest::newRow("rewritten program")
        << rewritten << rewrittenAgain << allChanged.join(u' ') << true;
}

void TestProgramDiff::rows()
{
    QFETCH(QStringList, left);
    QFETCH(QStringList, right);
    QFETCH(QString, expected);
    QFETCH(bool, onlyEdits);
    const QList<DiffRow> rows = DiffPrograms(left, right);
    const QString broken = brokenRow(left, right, rows);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
    QCOMPARE(rowsText(rows, onlyEdits), expected);
}

void TestProgramDiff::text()
{
    const QStringList left{"G0 X0", "G1 X5", "M02", "M30"};
    const QStringList right{"G0 X0", "G1 X6", "M30", "%"};
    const QStringList lines = DiffText(left, right, DiffPrograms(left, right));
    const QStringList expected{"  1 1 G0 X0", "~ 2   G1 X5", "~   2 G1 X6",
                               "- 3   M02",   "  4 3 M30",   "+   4 %"};
    QCOMPARE(lines, expected);
}

QTEST_GUILESS_MAIN(TestProgramDiff)
#include "tst_library_programdiff.moc"
