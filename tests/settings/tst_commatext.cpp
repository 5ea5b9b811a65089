// Comma text: the one-line list form of the settings file.
#include "settings/CommaText.h"

#include <QTest>

class TestCommaText : public QObject
{
    Q_OBJECT
private slots:
    void write_data();
    void write();
    void read_data();
    void read();
    void roundTrip_data();
    void roundTrip();
};

void TestCommaText::write_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty list") << QStringList() << QString();
    QTest::newRow("single empty item") << QStringList{QString()} << QStringLiteral("\"\"");
    QTest::newRow("plain items") << QStringList{"*.nc", "*.*"} << QStringLiteral("*.nc,*.*");
    QTest::newRow("windows path") << QStringList{"C:\\NC"} << QStringLiteral("C:\\NC");
    QTest::newRow("blank quoted") << QStringList{"D:\\My NC"} << QStringLiteral("\"D:\\My NC\"");
    QTest::newRow("comma quoted") << QStringList{"a,b", "c"} << QStringLiteral("\"a,b\",c");
    QTest::newRow("quote doubled")
        << QStringList{"say \"hi\""} << QStringLiteral("\"say \"\"hi\"\"\"");
    QTest::newRow("lone quote") << QStringList{"\""} << QStringLiteral("\"\"\"\"");
    QTest::newRow("control char quoted") << QStringList{"a\tb"} << QStringLiteral("\"a\tb\"");
    QTest::newRow("empty middle item") << QStringList{"a", "", "b"} << QStringLiteral("a,,b");
    QTest::newRow("empty first item") << QStringList{"", "a"} << QStringLiteral(",a");
    QTest::newRow("empty last item") << QStringList{"a", ""} << QStringLiteral("a,");
    QTest::newRow("two empty items") << QStringList{"", ""} << QStringLiteral(",");
    QTest::newRow("space item") << QStringList{" "} << QStringLiteral("\" \"");
    QTest::newRow("equals sign") << QStringList{"A=B"} << QStringLiteral("A=B");
}

void TestCommaText::write()
{
    QFETCH(QStringList, items);
    QFETCH(QString, text);
    QCOMPARE(CommaText::write(items), text);
}

void TestCommaText::read_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("empty text") << QString() << QStringList();
    QTest::newRow("only blanks") << QStringLiteral("   ") << QStringList();
    QTest::newRow("two quotes") << QStringLiteral("\"\"") << QStringList{QString()};
    QTest::newRow("plain") << QStringLiteral("a,b,c") << QStringList{"a", "b", "c"};
    QTest::newRow("unquoted blank separates") << QStringLiteral("a b") << QStringList{"a", "b"};
    QTest::newRow("several blanks separate once")
        << QStringLiteral("a   b") << QStringList{"a", "b"};
    QTest::newRow("leading blanks skipped") << QStringLiteral("  \ta,b") << QStringList{"a", "b"};
    QTest::newRow("blanks around comma") << QStringLiteral("a , b") << QStringList{"a", "b"};
    QTest::newRow("trailing comma adds empty item")
        << QStringLiteral("a,b,") << QStringList{"a", "b", ""};
    QTest::newRow("lone comma") << QStringLiteral(",") << QStringList{"", ""};
    QTest::newRow("empty middle") << QStringLiteral("a,,b") << QStringList{"a", "", "b"};
    QTest::newRow("quoted blank kept")
        << QStringLiteral("\"D:\\My NC\",E:\\") << QStringList{"D:\\My NC", "E:\\"};
    QTest::newRow("doubled quote") << QStringLiteral("\"a\"\"b\"") << QStringList{"a\"b"};
    QTest::newRow("quoted comma") << QStringLiteral("\"a,b\",c") << QStringList{"a,b", "c"};
    QTest::newRow("unclosed quote runs to end") << QStringLiteral("\"a,b") << QStringList{"a,b"};
    QTest::newRow("trailing blanks dropped") << QStringLiteral("a,b  ") << QStringList{"a", "b"};
}

void TestCommaText::read()
{
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QCOMPARE(CommaText::read(text), items);
}

void TestCommaText::roundTrip_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::newRow("empty list") << QStringList();
    QTest::newRow("single empty") << QStringList{QString()};
    QTest::newRow("port setting") << QStringList{"LATHE 1", "COM3",    "9600",     "Even",
                                                 "7",       "2",       "Xon/Xoff", "D:\\NC Files",
                                                 "*.nc",    "Wireless"};
    QTest::newRow("empties around") << QStringList{"", "x", ""};
    QTest::newRow("quotes and commas") << QStringList{"\"q\"", ",", "a b,c"};
    QTest::newRow("chinese") << QStringList{"車床", "銑床 2"};
    QTest::newRow("space only items") << QStringList{" ", "  "};
}

void TestCommaText::roundTrip()
{
    QFETCH(QStringList, items);
    QCOMPARE(CommaText::read(CommaText::write(items)), items);
}

QTEST_APPLESS_MAIN(TestCommaText)
#include "tst_commatext.moc"
