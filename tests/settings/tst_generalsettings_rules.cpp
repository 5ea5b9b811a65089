// General settings rules without a window: check flags, extension choices and the
// numbered path and folder lists.
#include "settings/GeneralSettingsRules.h"

#include <QtTest>

using namespace GeneralSettingsRules;

class TestGeneralSettingsRules : public QObject
{
    Q_OBJECT
private slots:
    void flags_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<bool>>("flags");
        QTest::newRow("none") << "0" << QList<bool>(8, false);
        QTest::newRow("editor and preview")
            << "5" << QList<bool>{true, false, true, false, false, false, false, false};
        QTest::newRow("default button")
            << "240" << QList<bool>{false, false, false, false, true, true, true, true};
        QTest::newRow("all") << "255" << QList<bool>(8, true);
    }
    void flags()
    {
        QFETCH(QString, text);
        QFETCH(QList<bool>, flags);
        QList<bool> unpacked;
        QVERIFY(unpackFlags(text, &unpacked));
        QCOMPARE(unpacked, flags);
        QCOMPARE(packFlags(unpacked), text);
    }

    void flagsNotANumber()
    {
        QList<bool> flags{true};
        QVERIFY(!unpackFlags(QStringLiteral("12a"), &flags));
        QCOMPARE(flags, QList<bool>{true});
    }

    void addExtension_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("added");
        const QStringList nc{"*.NC", "*.tap"};
        QTest::newRow("listed in other case") << nc << "nc" << nc << false;
        QTest::newRow("new") << nc << "Dat1" << QStringList{"*.NC", "*.tap", "*.Dat1"} << true;
        QTest::newRow("empty") << nc << "" << nc << false;
        QTest::newRow("blank") << nc << "a b" << nc << false;
        QTest::newRow("wildcard") << nc << "*" << nc << false;
        QTest::newRow("non-ASCII letter") << nc << QStringLiteral("é") << nc << false;
        QTest::newRow("to empty list") << QStringList() << "nc" << QStringList{"*.nc"} << true;
    }
    void addExtension()
    {
        QFETCH(QStringList, list);
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        QFETCH(bool, added);
        QCOMPARE(GeneralSettingsRules::addExtension(&list, typed), added);
        QCOMPARE(list, expected);
    }

    void move_data()
    {
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("newRow");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("first up") << true << 0 << 0 << QStringList{"a", "b", "c"};
        QTest::newRow("last down") << false << 2 << 2 << QStringList{"a", "b", "c"};
        QTest::newRow("second up") << true << 1 << 0 << QStringList{"b", "a", "c"};
        QTest::newRow("second down") << false << 1 << 2 << QStringList{"a", "c", "b"};
        QTest::newRow("none selected") << true << -1 << -1 << QStringList{"a", "b", "c"};
    }
    void move()
    {
        QFETCH(bool, up);
        QFETCH(int, row);
        QFETCH(int, newRow);
        QFETCH(QStringList, expected);
        QStringList list{"a", "b", "c"};
        QCOMPARE(up ? moveUp(&list, row) : moveDown(&list, row), newRow);
        QCOMPARE(list, expected);
    }

    void keptExtension_data()
    {
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<int>("index");
        const QStringList c{"*.nc", "*.TAP", "*.*"};
        QTest::newRow("kept in other case") << c << "*.tap" << 1;
        QTest::newRow("removed") << c << "*.dat" << 0;
        QTest::newRow("empty list") << QStringList() << "*.nc" << -1;
    }
    void keptExtension()
    {
        QFETCH(QStringList, choices);
        QFETCH(QString, remembered);
        QFETCH(int, index);
        QCOMPARE(GeneralSettingsRules::keptExtension(choices, remembered), index);
    }

    void choicesKeepAllFilesLast()
    {
        const QStringList choices{"*.nc", "*.tap", "*.*"};
        QCOMPARE(shownExtensions(choices), (QStringList{"*.nc", "*.tap"}));
        QCOMPARE(extensionChoices(shownExtensions(choices)), choices);
        QCOMPARE(shownExtensions({}), QStringList());
    }

    void listRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("stored");
        QTest::newRow("two paths")
            << "C:\\NC,D:\\CAM" << QStringList{"C:\\NC", "D:\\CAM"} << "C:\\NC,D:\\CAM";
        QTest::newRow("blank in path")
            << "\"D:\\My CAM\",E:\\x" << QStringList{"D:\\My CAM", "E:\\x"}
            << "\"D:\\My CAM\",E:\\x";
        QTest::newRow("empty entry")
            << "F01,,F03" << QStringList{"F01", " ", "F03"} << "F01,\" \",F03";
        QTest::newRow("no entries") << "" << QStringList() << "";
    }
    void listRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        QFETCH(QString, stored);
        NumberedList list;
        list.setText(text);
        QCOMPARE(list.rowCount(), shown.size() + 1);
        for (int r = 0; r < shown.size(); ++r) {
            QCOMPARE(list.entry(r), shown[r]);
            QCOMPARE(list.number(r), QString::number(r + 1));
        }
        QVERIFY(list.isLast(shown.size()));
        QCOMPARE(list.entry(shown.size()), QString());
        QCOMPARE(list.number(shown.size()), QString());
        QCOMPARE(list.text(), stored);
    }

    void typedEntries()
    {
        NumberedList list;
        list.setText(QStringLiteral("F01"));
        list.setEntry(1, QStringLiteral("F02"));
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(list.number(1), QStringLiteral("2"));
        QCOMPARE(list.text(), QStringLiteral("F01,F02"));
        // Emptying the last entry makes its row the new-entry row again.
        list.setEntry(1, QString());
        QCOMPARE(list.rowCount(), 2);
        QCOMPARE(list.number(1), QString());
        QCOMPARE(list.text(), QStringLiteral("F01"));
        // Emptying an entry above the last one keeps the row and its number.
        list.setEntry(1, QStringLiteral("F02"));
        list.setEntry(0, QString());
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(list.number(0), QStringLiteral("1"));
        QCOMPARE(list.text(), QStringLiteral(",F02"));
        // An empty text typed into the new-entry row adds nothing.
        list.setEntry(2, QString());
        QCOMPARE(list.rowCount(), 3);
    }

    void choose()
    {
        NumberedList list;
        list.setText(QStringLiteral("C:\\NC"));
        list.choose(1, QString());
        QCOMPARE(list.rowCount(), 2);
        list.choose(1, QStringLiteral("D:\\New CAM"));
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(list.number(1), QStringLiteral("2"));
        list.choose(0, QStringLiteral("E:\\"));
        QCOMPARE(list.rowCount(), 3);
        QCOMPARE(list.text(), QStringLiteral("E:\\,\"D:\\New CAM\""));
    }

    void removeRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QString>("text");
        QTest::newRow("middle") << 1 << true << "A,C";
        QTest::newRow("first") << 0 << true << "B,C";
        QTest::newRow("last entry") << 2 << true << "A,B";
        QTest::newRow("new-entry row") << 3 << false << "A,B,C";
        QTest::newRow("none") << -1 << false << "A,B,C";
    }
    void removeRow()
    {
        QFETCH(int, row);
        QFETCH(bool, removed);
        QFETCH(QString, text);
        NumberedList list;
        list.setText(QStringLiteral("A,B,C"));
        QCOMPARE(list.removeRow(row), removed);
        QCOMPARE(list.text(), text);
        QCOMPARE(list.rowCount(), removed ? 3 : 4);
        // The numbers are the entries' positions, which the auto mode's codes select.
        for (int r = 0; r < list.rowCount() - 1; ++r)
            QCOMPARE(list.number(r), QString::number(r + 1));
    }
};

QTEST_GUILESS_MAIN(TestGeneralSettingsRules)
#include "tst_generalsettings_rules.moc"
