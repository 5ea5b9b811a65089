// Letter colouring, colour texts and the editor's file rules, without windows.
#include "editor/ColorText.h"
#include "editor/EditorFile.h"
#include "editor/LetterColoring.h"

#include "TestFiles.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace
{
// One character per position: the run's letter, '#' black, '.' not coloured (kept).
QString runPicture(const QString &line)
{
    QString picture(line.size(), u'.');
    for (const ColorRun &run : LetterColoring::lineRuns(line))
        for (int i = run.start; i < run.start + run.length; ++i)
            picture[i] = run.letter < 0 ? u'#' : QChar(u'A' + run.letter);
    return picture;
}

QColor named(const char *name)
{
    quint32 bgr = 0;
    ColorText::read(QLatin1String(name), &bgr);
    return ColorText::toColor(bgr);
}
} // namespace

class TestEditorColoring : public QObject
{
    Q_OBJECT
private slots:
    void runs_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("picture");
        QTest::newRow("block") << "N10G01X5.Y2.F100"
                               << "NNNGGGXXXYYYFFFF";
        QTest::newRow("comment letters") << "G01X12.5(TOOL)"
                                         << "GGGXXXXXXTOOLL";
        QTest::newRow("lower case starts no run") << "G01x5y2"
                                                  << "GGGGGGG";
        QTest::newRow("no capital is black") << "g01x5"
                                             << "#####";
        QTest::newRow("tape mark") << "%"
                                   << "#";
        QTest::newRow("empty line") << ""
                                    << "";
        QTest::newRow("before first capital kept") << "12 G1"
                                                   << "...GG";
        QTest::newRow("lower case before capital kept") << "g01X5"
                                                        << "...XX";
        QTest::newRow("only A-Z count") << QString::fromUtf8("(ÄÖ)X1") << "....XX";
        QTest::newRow("letter at the end") << "X1Z"
                                           << "XXZ";
    }
    void runs()
    {
        QFETCH(QString, line);
        QFETCH(QString, picture);
        QCOMPARE(runPicture(line), picture);
    }

    // The highlighter puts the default colours on a document, line by line.
    void defaultColoursOnDocument()
    {
        QTextDocument doc;
        LetterHighlighter h(&doc);
        doc.setPlainText(QStringLiteral("N10G01X5.Y2.F100\n%"));
        h.rehighlight();
        auto colourAt = [&](int blockNo, int pos) {
            const QTextBlock block = doc.findBlockByNumber(blockNo);
            for (const QTextLayout::FormatRange &r : block.layout()->formats())
                if (pos >= r.start && pos < r.start + r.length)
                    return r.format.foreground().color();
            return QColor();
        };
        const struct {
            int pos;
            const char *colour;
        } expected[] = {{0, "clTeal"}, {2, "clTeal"},   {3, "clOlive"}, {6, "clYellow"},
                        {9, "clBlue"}, {12, "clGreen"}, {15, "clGreen"}};
        for (const auto &e : expected)
            QCOMPARE(colourAt(0, e.pos), named(e.colour));
        QCOMPARE(colourAt(1, 0), QColor(Qt::black));
    }

    void colourTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        QTest::addColumn<int>("blue");
        QTest::addColumn<QString>("written");
        QTest::newRow("name") << "clTeal" << true << 0 << 0x80 << 0x80 << "clTeal";
        QTest::newRow("name any case") << "CLMAROON" << true << 0x80 << 0 << 0 << "clMaroon";
        QTest::newRow("sky blue") << "clSkyBlue" << true << 0xA6 << 0xCA << 0xF0 << "clSkyBlue";
        QTest::newRow("hex") << "$00FF8040" << true << 0x40 << 0x80 << 0xFF << "$00FF8040";
        QTest::newRow("hex of a named colour")
            << "$00808000" << true << 0 << 0x80 << 0x80 << "clTeal";
        QTest::newRow("decimal") << "255" << true << 0xFF << 0 << 0 << "clRed";
        QTest::newRow("system colour") << "$FF000005" << false << 0 << 0 << 0 << "clBlack";
        QTest::newRow("not a colour") << "pink" << false << 0 << 0 << 0 << "clBlack";
    }
    void colourTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        quint32 bgr = 1;
        QCOMPARE(ColorText::read(text, &bgr), ok);
        QFETCH(int, red);
        QFETCH(int, green);
        QFETCH(int, blue);
        QCOMPARE(ColorText::toColor(bgr), QColor(red, green, blue));
        QFETCH(QString, written);
        QCOMPARE(ColorText::write(bgr), written);
    }

    void unnamedColourRoundTrip()
    {
        const QColor c(0x12, 0x34, 0x56);
        const QString text = ColorText::write(ColorText::fromColor(c));
        QCOMPARE(text, QStringLiteral("$00563412"));
        QCOMPARE(ColorText::letterColors(QStringList(26, text)).at(25), c);
        // A short or unreadable list takes each letter's default.
        const QList<QColor> colors = ColorText::letterColors({QStringLiteral("junk")});
        QCOMPARE(colors.at(0), QColor(Qt::black));
        QCOMPARE(colors.at(13), named("clTeal"));
        QCOMPARE(ColorText::defaultLetterColors().join(u','),
                 QStringLiteral("clBlack,clBlack,clMaroon,clMaroon,clGreen,clGreen,clOlive,"
                                "clOlive,clNavy,clNavy,clPurple,clPurple,clTeal,clTeal,clGray,"
                                "clGray,clSilver,clSilver,clRed,clRed,clLime,clLime,clYellow,"
                                "clYellow,clBlue,clBlue"));
    }

    void filters_data()
    {
        QTest::addColumn<QStringList>("patterns");
        QTest::addColumn<QString>("filter");
        QTest::newRow("three") << QStringList{"*.nc", "*.txt", "*.*"}
                               << ".nc|*.nc|.txt|*.txt|*.*|*.*";
        QTest::newRow("one") << QStringList{"*.nc"} << ".nc|*.nc";
        QTest::newRow("two") << QStringList{"*.nc", "*.*"} << ".nc|*.nc|*.*|*.*";
        QTest::newRow("none") << QStringList{} << "";
    }
    void filters()
    {
        QFETCH(QStringList, patterns);
        QFETCH(QString, filter);
        QCOMPARE(EditorFile::dialogFilter(patterns), filter);
    }

    // Every byte of the NC code page survives a read and a write; lines end in CR LF.
    void textFiles()
    {
        QTemporaryDir dir;
        QByteArray bytes("%\r\nO1234(\xC4\xFF)\rG01\n");
        const QString in = fixture(dir, QStringLiteral("in.nc"), bytes);
        QString text, error;
        QVERIFY(EditorFile::readText(in, &text, &error));
        QCOMPARE(text.split(u'\n').size(), 4);
        const QString out = dir.filePath(QStringLiteral("out.nc"));
        QVERIFY(EditorFile::writeText(out, text, &error));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("%\r\nO1234(\xC4\xFF)\r\nG01\r\n"));
        QVERIFY(!EditorFile::readText(dir.filePath(QStringLiteral("missing.nc")), &text, &error));
        QVERIFY(error.contains(QStringLiteral("missing.nc")));
        QVERIFY(
            !EditorFile::writeText(dir.filePath(QStringLiteral("no/such/dir.nc")), text, &error));
    }
};

QTEST_MAIN(TestEditorColoring)
#include "tst_editor_coloring.moc"
