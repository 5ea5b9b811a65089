// One device, one line: a second line naming the same device another way is refused
// until the first lets go of it.
#include "PtyPair.h"
#include "transfer/DeviceClaim.h"
#include "transfer/NetworkSerialLine.h"
#include "transfer/PortSerialLine.h"
#include "transfer/SerialLine.h"
#include "transfer/SerialLineFactory.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{

QString inUse(const QString &name)
{
    return QStringLiteral("Cannot open port \"%1\": it is in use by another window.").arg(name);
}

bool openAs(SerialLine &line, const QString &name, QString *error)
{
    LineSettings s;
    s.portName = name;
    s.baudRate = PtyPair::FastBaud;
    line.setSettings(s);
    return line.open(error);
}

} // namespace

class TestLineClaim : public QObject
{
    Q_OBJECT

private slots:
    // %1: the pty's slave path ("/dev/pts/N"), %2: a link to it, %3: a local server's port.
    void aliasRefusedWhileOpen_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("alias");
        QTest::newRow("link to the device") << "%1"
                                            << "%2";
        QTest::newRow("doubled slash") << "%1"
                                       << "/dev//%4";
        QTest::newRow("dot segment") << "%1"
                                     << "/dev/./%4";
        QTest::newRow("bare name in /dev") << "%2"
                                           << "%4";
        QTest::newRow("host in another case") << "tcp://LOCALHOST:%3"
                                              << "tcp://localhost:%3";
    }

    void aliasRefusedWhileOpen()
    {
        QFETCH(QString, first);
        QFETCH(QString, alias);
        PtyPair pty;
        QVERIFY(pty.isValid());
        QVERIFY(pty.slavePath().startsWith("/dev/"));
        QTemporaryDir dir;
        const QString link = dir.filePath("by-id-adapter");
        QVERIFY(QFile::link(pty.slavePath(), link));
        // Connections wait in the listen queue: nobody needs to accept them for the test.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const auto expand = [&](const QString &pattern) {
            return QString(pattern)
                .replace("%1", pty.slavePath())
                .replace("%2", link)
                .replace("%3", QString::number(server.serverPort()))
                .replace("%4", pty.slavePath().mid(5));
        };
        first = expand(first);
        alias = expand(alias);

        std::unique_ptr<SerialLine> one(makeSerialLine(first));
        std::unique_ptr<SerialLine> two(makeSerialLine(alias));
        QString error;
        QVERIFY2(openAs(*one, first, &error), qPrintable(error));
        QVERIFY(!openAs(*two, alias, &error));
        QCOMPARE(error, inUse(alias));
        QVERIFY(!two->isConnected());

        one->close();
        QVERIFY2(two->open(&error), qPrintable(error));
        // And the other way round while the alias has it.
        QVERIFY(!one->open(&error));
        QCOMPARE(error, inUse(first));
        two->close();
        QVERIFY2(one->open(&error), qPrintable(error));
    }

    // Without opening anything: which names are one device.
    void sameDevice_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same");
        QTest::newRow("bare name and its /dev path") << "ttyS0"
                                                     << "/dev/ttyS0" << true;
        QTest::newRow("two ports") << "/dev/ttyS0"
                                   << "/dev/ttyS1" << false;
        QTest::newRow("absent port, spelt twice") << "/dev/ncferry-absent"
                                                  << "/dev//ncferry-absent" << true;
        QTest::newRow("server port by both kinds") << "tcp://Mill-Server:4001"
                                                   << "rfc2217://mill-server:4001" << true;
        QTest::newRow("two server ports") << "tcp://mill-server:4001"
                                          << "tcp://mill-server:4002" << false;
        QTest::newRow("name and address") << "tcp://localhost:4001"
                                          << "tcp://127.0.0.1:4001" << false;
    }

    void sameDevice()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);
        const auto claim = [](const QString &name, QString *error) {
            NetworkSerialLine::Address a;
            if (NetworkSerialLine::parseName(name, &a, nullptr))
                return DeviceClaim::network(name, a.host, a.port, error);
            return DeviceClaim::port(name, error);
        };
        QString error;
        DeviceClaim held = claim(first, &error);
        QVERIFY(held.isHeld());
        {
            const DeviceClaim other = claim(second, &error);
            QCOMPARE(other.isHeld(), !same);
            if (same)
                QCOMPARE(error, inUse(second));
        }
        // A claim moved on is still held, by its new owner alone.
        DeviceClaim moved = std::move(held);
        QVERIFY(!held.isHeld() && moved.isHeld());
        QVERIFY(!claim(first, &error).isHeld());
        moved.release();
        moved.release();
        QVERIFY(claim(second, &error).isHeld());
        QVERIFY(claim(first, &error).isHeld());
    }

    // An open line given another port lets go of the one it had.
    void renamedLineLetsGoOfItsPort()
    {
        PtyPair a, b;
        QVERIFY(a.isValid() && b.isValid());
        PortSerialLine line;
        QString error;
        QVERIFY2(openAs(line, a.slavePath(), &error), qPrintable(error));
        LineSettings s = line.settings();
        s.portName = b.slavePath();
        QVERIFY2(line.setSettings(s, &error), qPrintable(error));
        QVERIFY(line.isConnected());
        QVERIFY(!PortSerialLine::isOpenHere(a.slavePath()));
        QVERIFY(PortSerialLine::isOpenHere(b.slavePath()));
        PortSerialLine other;
        QVERIFY2(openAs(other, a.slavePath(), &error), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestLineClaim)
#include "tst_line_claim.moc"
