// Port setting records: text form, translation tables, caption and summary.
#include "settings/PortSetting.h"

#include <QtTest>

using namespace UnitComPortFunction;
using P = LineSettings::Parity;
using S = LineSettings::StopBits;

class TestPortSetting : public QObject
{
    Q_OBJECT
private slots:
    void defaultRecord()
    {
        const QStringList f = PortSetting::split(PortSetting::defaultLine());
        QCOMPARE(f.size(), 10);
        QCOMPARE(f[0], QStringLiteral("NewName"));
        QCOMPARE(f[1], PortSetting::defaultPortName());
        QCOMPARE(f.mid(2, 5), (QStringList{"9600", "None", "8", "1", "None"}));
        QCOMPARE(f[7], PortSetting::defaultWorkFolder());
        QCOMPARE(f.mid(8), (QStringList{"*.nc", "None"}));
        LineSettings s;
        FlowControl flow = FlowControl(-1);
        QVERIFY(PortSetting::toLineSettings(f, &s, &flow, nullptr));
        QCOMPARE(s.baudRate, 9600);
        QCOMPARE(s.parity, P::None);
        QCOMPARE(s.dataBits, 8);
        QCOMPARE(s.stopBits, S::One);
        QCOMPARE(int(flow), 0);
        QVERIFY(!s.hardwareHandshake);
    }

    void tables_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("flow");
        // Each row feeds the same text to every table; only the matching one recognises it.
        QTest::newRow("1200") << "1200" << 1200 << int(P::None) << 8 << int(S::One) << 0;
        QTest::newRow("115200") << "115200" << 115200 << int(P::None) << 8 << int(S::One) << 0;
        QTest::newRow("Odd") << "Odd" << 9600 << int(P::Odd) << 8 << int(S::One) << 0;
        QTest::newRow("Even") << "Even" << 9600 << int(P::Even) << 8 << int(S::One) << 0;
        QTest::newRow("none lower case") << "none" << 9600 << int(P::None) << 8 << int(S::One) << 0;
        QTest::newRow("7") << "7" << 9600 << int(P::None) << 7 << int(S::One) << 0;
        QTest::newRow("5") << "5" << 9600 << int(P::None) << 5 << int(S::One) << 0;
        QTest::newRow("1.5") << "1.5" << 9600 << int(P::None) << 8 << int(S::OneAndHalf) << 0;
        QTest::newRow("2") << "2" << 9600 << int(P::None) << 8 << int(S::Two) << 0;
        QTest::newRow("RTS/CTS") << "RTS/CTS" << 9600 << int(P::None) << 8 << int(S::One) << 1;
        QTest::newRow("Xon/Xoff") << "Xon/Xoff" << 9600 << int(P::None) << 8 << int(S::One) << 2;
        QTest::newRow("both") << "RTS/CTS+Xon/Xoff" << 9600 << int(P::None) << 8 << int(S::One)
                              << 3;
        QTest::newRow("xon/xoff lower")
            << "xon/xoff" << 9600 << int(P::None) << 8 << int(S::One) << 0;
        QTest::newRow("typed baud") << "250000" << 250000 << int(P::None) << 8 << int(S::One) << 0;
        QTest::newRow("padded") << " 9600" << 9600 << int(P::None) << 8 << int(S::One) << 0;
        QTest::newRow("garbage") << "fast" << 9600 << int(P::None) << 8 << int(S::One) << 0;
        QTest::newRow("zero baud") << "0" << 9600 << int(P::None) << 8 << int(S::One) << 0;
    }
    void tables()
    {
        QFETCH(QString, text);
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QFETCH(int, flow);
        QCOMPARE(ParseBaudRate(text), baud);
        QCOMPARE(int(ParseParity(text)), parity);
        QCOMPARE(ParseDataBits(text), dataBits);
        QCOMPARE(int(ParseStopBits(text)), stopBits);
        QCOMPARE(int(ParseFlowControl(text)), flow);
    }

    void handshakeFollowsFlowCode_data()
    {
        QTest::addColumn<QString>("flowText");
        QTest::addColumn<bool>("handshake");
        QTest::newRow("None") << "None" << false;
        QTest::newRow("RTS/CTS") << "RTS/CTS" << true;
        QTest::newRow("Xon/Xoff") << "Xon/Xoff" << false;
        QTest::newRow("RTS/CTS+Xon/Xoff") << "RTS/CTS+Xon/Xoff" << true;
    }
    void handshakeFollowsFlowCode()
    {
        QFETCH(QString, flowText);
        QFETCH(bool, handshake);
        LineSettings s;
        QVERIFY(PortSetting::toLineSettings({"M1", "ttyS1", "4800", "Even", "7", "2", flowText}, &s,
                                            nullptr, nullptr));
        QCOMPARE(s.hardwareHandshake, handshake);
        QCOMPARE(s.portName, QStringLiteral("ttyS1"));
        QCOMPARE(s.baudRate, 4800);
        QCOMPARE(s.parity, P::Even);
        QCOMPARE(s.dataBits, 7);
        QCOMPARE(s.stopBits, S::Two);
    }

    void namesWithBlanksAndCommas()
    {
        QStringList f = PortSetting::split(PortSetting::defaultLine());
        f[0] = QStringLiteral("Mill 2, \"left\"");
        const QString line = PortSetting::join(f);
        QVERIFY(line.startsWith(QStringLiteral("\"Mill 2, \"\"left\"\"\",")));
        QCOMPARE(PortSetting::split(line), f);
        // Hand-written with an unquoted blank: every field moves one place on.
        const QStringList eleven =
            PortSetting::split(QStringLiteral("Mill 2,COM1,9600,None,8,1,None,C:\\NC,*.nc,None"));
        QCOMPARE(eleven.size(), 11);
        QCOMPARE(eleven[1], QStringLiteral("2"));
    }

    void tooFewFields()
    {
        LineSettings s;
        QString error;
        QVERIFY(!PortSetting::toLineSettings(PortSetting::split(QStringLiteral("A,COM1,9600")), &s,
                                             nullptr, &error));
        QVERIFY(error.contains(QStringLiteral("3 fields")));
        QVERIFY(PortSetting::toLineSettings(
            PortSetting::split(QStringLiteral("A,COM1,9600,None,8,1,None")), &s, nullptr, &error));
    }

    void captionAndSummary()
    {
        const QStringList f = PortSetting::split(
            QStringLiteral("Lathe,COM3,19200,Odd,7,1.5,weird,D:\\NC,*.tap,None"));
        QCOMPARE(PortSetting::caption(f, QStringLiteral("Send")), QStringLiteral("Lathe-Send"));
        QCOMPARE(PortSetting::summary(f, QStringLiteral("Protocol")),
                 QStringLiteral("Protocol:COM3,19200,Odd,7,1.5 Flow:weird"));
    }
};

QTEST_GUILESS_MAIN(TestPortSetting)
#include "tst_portsetting.moc"
