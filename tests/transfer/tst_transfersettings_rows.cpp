// Port settings dialog rows and window-size text, without the window.
#include "settings/PortSetting.h"
#include "transfer/PortList.h"
#include "transfer/TransferSettingsRows.h"

#include <QtTest>

using namespace TransferSettingsRows;

class TestTransferSettingsRows : public QObject
{
    Q_OBJECT
    static QStringList lines(int n)
    {
        QStringList out;
        for (int i = 0; i < n; ++i)
            out << QStringLiteral("M%1,ttyS%1,9600,None,8,1,None,/nc,*.nc,None").arg(i);
        return out;
    }

private slots:
    void add_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("name");
        QTest::newRow("fresh list")
            << QStringList{PortSetting::defaultLine()} << 1 << 2 << "NewName2";
        QTest::newRow("only row empty") << QStringList() << 0 << 1 << "NewName";
        QTest::newRow("two rows") << lines(2) << 2 << 3 << "NewName";
        QTest::newRow("names taken in any case")
            << QStringList{PortSetting::defaultLine(),
                           "newname2,ttyS1,9600,None,8,1,None,/nc,*.nc,None"}
            << 2 << 3 << "NewName3";
    }
    void add()
    {
        QFETCH(QStringList, before);
        QFETCH(int, row);
        QFETCH(int, rows);
        QFETCH(QString, name);
        PortList list;
        list.setPortList(before);
        QCOMPARE(addDefault(&list), row);
        QCOMPARE(list.rowCount(), rows);
        // The default record, under a name no other row carries.
        QStringList expected = PortSetting::split(PortSetting::defaultLine());
        expected[0] = name;
        QCOMPARE(list.getPort(row), PortSetting::join(expected));
        QCOMPARE(list.getPortList().mid(0, before.size()), before.mid(0, row));
    }

    void remove_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("first of three") << 3 << 0 << QStringList{"M1", "M2"};
        QTest::newRow("last of three") << 3 << 2 << QStringList{"M0", "M1"};
        QTest::newRow("single row") << 1 << 0 << QStringList{""};
    }
    void remove()
    {
        QFETCH(int, count);
        QFETCH(int, row);
        QFETCH(QStringList, names);
        PortList list;
        list.setPortList(lines(count));
        QVERIFY(deleteRow(&list, row));
        QCOMPARE(list.getPortName(), names);
        if (count == 1)
            QCOMPARE(list.getPortList(), QStringList{QString(9, u',')});
    }

    void removeMissingRow()
    {
        PortList list;
        list.setPortList(lines(2));
        QVERIFY(!deleteRow(&list, 2));
        QVERIFY(!deleteRow(&list, -1));
        QCOMPARE(list.getPortList(), lines(2));
    }

    void deleteThenAddFillsTheSameRow()
    {
        PortList list;
        list.setPortList({PortSetting::defaultLine()});
        QVERIFY(deleteRow(&list, 0));
        QCOMPARE(addDefault(&list), 0);
        QCOMPARE(list.getPortList(), QStringList{PortSetting::defaultLine()});
    }

    void extensionItems()
    {
        QCOMPARE(TransferSettingsRows::extensionItems(QStringLiteral("*.nc,*.tap,*.*")),
                 (QStringList{"*.nc", "*.tap"}));
        QCOMPARE(TransferSettingsRows::extensionItems(QString()), QStringList());
    }

    void windowsSize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("usable");
        QTest::newRow("default") << "768,400,81,81,81,81,81,81,81,81,81,81" << true;
        QTest::newRow("varied") << "900,350,120,60,70,80,90,100,110,130,140,150" << true;
        QTest::newRow("eleven values") << "768,400,81,81,81,81,81,81,81,81,81" << false;
        QTest::newRow("not a number") << "768,400,81,81,81,x,81,81,81,81,81,81" << false;
        QTest::newRow("negative") << "768,-4,81,81,81,81,81,81,81,81,81,81" << false;
        QTest::newRow("empty") << "" << false;
    }
    void windowsSize()
    {
        QFETCH(QString, text);
        QFETCH(bool, usable);
        WindowSize size;
        QString error;
        QCOMPARE(parseWindowsSize(text, &size, &error), usable);
        if (usable) {
            QCOMPARE(windowsSizeText(size), text);
            QVERIFY(error.isEmpty());
        } else {
            QVERIFY2(error.contains(text), qPrintable(error));
        }
    }
};

QTEST_GUILESS_MAIN(TestTransferSettingsRows)
#include "tst_transfersettings_rows.moc"
