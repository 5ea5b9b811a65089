// Port profiles: a record read once, its line type, its refusals and its unchanged text.
#include "settings/PortProfile.h"

#include <QtTest>

using P = LineSettings::Parity;
using S = LineSettings::StopBits;
using Type = PortProfile::LineType;
using Use = PortProfile::Use;

Q_DECLARE_METATYPE(PortProfile::LineType)
Q_DECLARE_METATYPE(PortProfile::Use)

class TestPortProfile : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("flow");
        QTest::addColumn<bool>("handshake");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<Type>("type");

        QTest::newRow("default record")
            << "NewName,COM1,9600,None,8,1,None,C:\\NC,*.nc,None"
            << "NewName"
            << "COM1" << 9600 << int(P::None) << 8 << int(S::One) << 0 << false << "C:\\NC"
            << "*.nc" << Type::Cable;
        QTest::newRow("radio, both flow controls")
            << "LATHE1,COM10,115200,Even,7,2,RTS/CTS+Xon/Xoff,D:\\NC,*.tap,Wireless"
            << "LATHE1"
            << "COM10" << 115200 << int(P::Even) << 7 << int(S::Two) << 3 << true << "D:\\NC"
            << "*.tap" << Type::RadioAdapter;
        QTest::newRow("quoted name and folder with blanks and commas")
            << "\"Mill 1\",/dev/ttyUSB0,4800,Odd,8,1.5,Xon/Xoff,\"/srv/nc progs/a, b\",*.nc,None"
            << "Mill 1"
            << "/dev/ttyUSB0" << 4800 << int(P::Odd) << 8 << int(S::OneAndHalf) << 2 << false
            << "/srv/nc progs/a, b"
            << "*.nc" << Type::Cable;
        QTest::newRow("doubled quote in a folder")
            << "M,ttyS0,9600,None,8,1,RTS/CTS,\"/nc/\"\"old\"\"\",*.nc,None"
            << "M"
            << "ttyS0" << 9600 << int(P::None) << 8 << int(S::One) << 1 << true << "/nc/\"old\""
            << "*.nc" << Type::Cable;
        QTest::newRow("network port")
            << "Mill,rfc2217://127.0.0.1:4001,9600,Even,7,2,Xon/Xoff,/nc,*.nc,None"
            << "Mill"
            << "rfc2217://127.0.0.1:4001" << 9600 << int(P::Even) << 7 << int(S::Two) << 2 << false
            << "/nc"
            << "*.nc" << Type::Cable;
        // Every field after the name moves one place on: the port is the second word.
        QTest::newRow("unquoted blank in the name")
            << "Mill 1,COM1,9600,None,8,1,None,C:\\NC,*.nc,None"
            << "Mill"
            << "1" << 9600 << int(P::None) << 8 << int(S::One) << 0 << false << "None"
            << "C:\\NC" << Type::Other;
        QTest::newRow("seven fields")
            << "A,ttyS0,19200,None,8,1,None"
            << "A"
            << "ttyS0" << 19200 << int(P::None) << 8 << int(S::One) << 0 << false << ""
            << "" << Type::Cable;
        QTest::newRow("texts not in the tables")
            << "A,ttyS0,fast,none,9,3,rts/cts,/nc,*.nc,None"
            << "A"
            << "ttyS0" << 9600 << int(P::None) << 8 << int(S::One) << 0 << false << "/nc"
            << "*.nc" << Type::Cable;
        QTest::newRow("nine commas")
            << ",,,,,,,,,"
            << ""
            << "" << 9600 << int(P::None) << 8 << int(S::One) << 0 << false << ""
            << "" << Type::Other;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, port);
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QFETCH(int, flow);
        QFETCH(bool, handshake);
        QFETCH(QString, folder);
        QFETCH(QString, pattern);
        QFETCH(Type, type);
        const PortProfile p = PortProfile::fromText(text);
        QVERIFY2(p.isUsable(), qPrintable(p.problem()));
        QCOMPARE(p.name(), name);
        QCOMPARE(p.port(), port);
        const LineSettings s = p.lineSettings(Use::Send);
        QCOMPARE(s.portName, port);
        QCOMPARE(s.baudRate, baud);
        QCOMPARE(int(s.parity), parity);
        QCOMPARE(s.dataBits, dataBits);
        QCOMPARE(int(s.stopBits), stopBits);
        QCOMPARE(int(p.flowControl()), flow);
        QCOMPARE(s.hardwareHandshake, handshake);
        QCOMPARE(p.workFolder(), folder);
        QCOMPARE(p.extensionPattern(), pattern);
        QCOMPARE(p.extension(), pattern.mid(1));
        QCOMPARE(p.lineType(), type);
        // The same fields, given as a list, read the same.
        const PortProfile again = PortProfile::fromFields(p.fields());
        QCOMPARE(again.lineSettings(Use::Send), s);
        QCOMPARE(again.lineType(), p.lineType());
    }

    void refused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("problem");
        const QString tail = QStringLiteral(" fields; at least 7 are needed (name, port, baud "
                                            "rate, parity, data bits, stop bits, flow control).");
        QTest::newRow("six fields")
            << "Lathe,ttyS0,9600,None,8,1"
            << "The port setting \"Lathe,ttyS0,9600,None,8,1\" has 6" + tail;
        QTest::newRow("three fields") << "A,COM1,9600"
                                      << "The port setting \"A,COM1,9600\" has 3" + tail;
        QTest::newRow("empty") << ""
                               << "The port setting \"\" has 0" + tail;
        // The message shows the record as written back, quotes and all.
        QTest::newRow("quoted name, short") << "\"Mill 1\"  COM1"
                                            << "The port setting \"\"Mill 1\",COM1\" has 2" + tail;
    }
    void refused()
    {
        QFETCH(QString, text);
        QFETCH(QString, problem);
        const PortProfile p = PortProfile::fromText(text);
        QVERIFY(!p.isUsable());
        QCOMPARE(p.problem(), problem);
        QCOMPARE(p.text(), text);
        QVERIFY(!PortProfile().isUsable());
    }

    void lineType_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<Type>("type");
        const QStringList head{"L", "ttyS0", "9600", "None", "8", "1", "None", "/nc", "*.nc"};
        QTest::newRow("None") << head + QStringList{"None"} << Type::Cable;
        QTest::newRow("Wireless") << head + QStringList{"Wireless"} << Type::RadioAdapter;
        QTest::newRow("none") << head + QStringList{"none"} << Type::Other;
        QTest::newRow("wireless") << head + QStringList{"wireless"} << Type::Other;
        QTest::newRow("empty") << head + QStringList{""} << Type::Other;
        QTest::newRow("other word") << head + QStringList{"UHF"} << Type::Other;
        QTest::newRow("None with a blank") << head + QStringList{"None "} << Type::Other;
        QTest::newRow("no type field") << head << Type::Cable;
        QTest::newRow("eleven fields") << head + QStringList{"None", "x"} << Type::Cable;
        QTest::newRow("too short to apply") << head.mid(0, 3) << Type::Cable;
    }
    void lineType()
    {
        QFETCH(QStringList, fields);
        QFETCH(Type, type);
        QCOMPARE(PortProfile::lineTypeOf(fields), type);
        const PortProfile p = PortProfile::fromFields(fields);
        QCOMPARE(p.lineType(), type);
        QCOMPARE(p.isRadio(), type != Type::Cable);
        QCOMPARE(p.asksForDevices(), type == Type::RadioAdapter);
        // Read from its text, the record has the same type.
        QCOMPARE(PortProfile::fromText(p.text()).lineType(), type);
    }

    void discardNull_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<Use>("use");
        QTest::addColumn<bool>("discard");
        QTest::newRow("send") << "None" << Use::Send << true;
        QTest::newRow("send on a radio record") << "Wireless" << Use::Send << true;
        QTest::newRow("receive") << "None" << Use::Receive << false;
        QTest::newRow("receive on a radio record") << "Wireless" << Use::Receive << false;
        QTest::newRow("auto on a cable") << "None" << Use::AutoMode << true;
        QTest::newRow("auto on a radio adapter") << "Wireless" << Use::AutoMode << false;
        QTest::newRow("auto on another type") << "UHF" << Use::AutoMode << false;
    }
    void discardNull()
    {
        QFETCH(QString, type);
        QFETCH(Use, use);
        QFETCH(bool, discard);
        const PortProfile p = PortProfile::fromFields(
            {"L", "ttyS0", "9600", "None", "8", "1", "None", "/nc", "*.nc", type});
        QCOMPARE(p.lineSettings(use).discardNull, discard);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("default") << "NewName,COM1,9600,None,8,1,None,C:\\NC,*.nc,None";
        QTest::newRow("quoted") << "\"Mill 1\",COM1,9600,None,8,1,None,\"C:\\NC 2\",*.nc,None";
        // Hand-written forms are kept as written, not normalised.
        QTest::newRow("blanks as separators") << "Mill COM1 9600 None 8 1 None /nc *.nc None";
        QTest::newRow("trailing comma") << "A,COM1,9600,None,8,1,None,/nc,*.nc,";
        QTest::newRow("needless quotes") << "\"A\",COM1,9600,None,8,1,None,/nc,*.nc,None";
        QTest::newRow("twelve fields") << "A,COM1,9600,None,8,1,None,/nc,*.nc,None,x,y";
        QTest::newRow("nine commas") << ",,,,,,,,,";
    }
    void roundTrip()
    {
        QFETCH(QString, text);
        const PortProfile p = PortProfile::fromText(text);
        QCOMPARE(p.text(), text);
        QCOMPARE(p.fields(), PortSetting::split(text));
        // From the fields, the text is the one the settings dialog writes.
        const PortProfile f = PortProfile::fromFields(p.fields());
        QCOMPARE(f.fields(), p.fields());
        QCOMPARE(f.text(), PortSetting::join(p.fields()));
        QCOMPARE(PortProfile::fromText(f.text()).fields(), p.fields());
    }
};

QTEST_GUILESS_MAIN(TestPortProfile)
#include "tst_portprofile.moc"
