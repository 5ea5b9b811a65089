// Lines behind a serial device server: ser2net serving pseudo-terminals on 127.0.0.1 in raw
// and RFC 2217 mode, and a small in-test RFC 2217 server for what ser2net's pty cannot show.
#include "CaptureStderr.h"
#include "PtyPair.h"
#include "PtyReader.h"
#include "Ser2Net.h"
#include "TestFiles.h"
#include "automode/SendListEntry.h"
#include "settings/PortSetting.h"
#include "tools/AutoCommand.h"
#include "tools/ReceiveCommand.h"
#include "tools/SendCommand.h"
#include "tools/sim/RadioAdapterSim.h"
#include "transfer/NetworkSerialLine.h"
#include "transfer/PortSerialLine.h"
#include "transfer/Rfc2217.h"
#include "transfer/SerialLineFactory.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Machine = Sim::Machine;

// The tests that run a real device server are skipped, saying why, where there is none.
#define NEED_SER2NET()                                                                             \
    do {                                                                                           \
        if (Ser2Net::binary().isEmpty())                                                           \
            QSKIP("ser2net is not installed (make deps installs it): this test runs it");          \
    } while (false)

namespace
{

const QByteArray DC2("\x12"), DC4("\x14");

QString record(const QString &port, const QString &flow = "None", const QString &baud = "115200")
{
    return PortSetting::join({"Mill", port, baud, "None", "8", "1", flow, "/nc", "*.nc", "None"});
}

QString url(Ser2Net::Mode mode, quint16 port)
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(mode == Ser2Net::Rfc2217 ? "rfc2217" : "tcp")
        .arg(port);
}

// A device server that agrees to COM-PORT-OPTION (or stays silent), keeps what it was sent
// and sends what the test gives it. Plain sockets on its own thread: a line's open() holds
// the test's thread while it negotiates.
class TinyRfc2217Server
{
public:
    explicit TinyRfc2217Server(bool answers) : m_answers(answers)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listen, 1);
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~TinyRfc2217Server()
    {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        m_thread.join();
        ::close(m_listen);
    }
    quint16 port() const { return m_port; }
    void send(const QByteArray &bytes)
    {
        QMutexLocker lock(&m_mutex);
        m_out += bytes;
    }
    QByteArray received()
    {
        QMutexLocker lock(&m_mutex);
        return m_in;
    }
    static QByteArray modemState(quint8 value)
    {
        return QByteArray("\xff\xfa\x2c\x6b", 4) + char(value) + QByteArray("\xff\xf0", 2);
    }

private:
    void serve()
    {
        const int c = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        if (m_answers)
            send(QByteArray("\xff\xfd\x2c\xff\xfb\x00\xff\xfd\x00", 9)); // DO COM-PORT, BINARY
        while (!m_stop) {
            QByteArray out;
            {
                QMutexLocker lock(&m_mutex);
                out.swap(m_out);
            }
            if (!out.isEmpty())
                ::send(c, out.constData(), size_t(out.size()), MSG_NOSIGNAL);
            char buf[4096];
            const ssize_t n = ::recv(c, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0)
                break;
            if (n > 0) {
                QMutexLocker lock(&m_mutex);
                m_in.append(buf, int(n));
            }
            QThread::msleep(2);
        }
        ::close(c);
    }

    bool m_answers;
    int m_listen = -1;
    quint16 m_port = 0;
    QMutex m_mutex;
    QByteArray m_out, m_in;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

speed_t slaveSpeed(const QString &device)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(fd, &t);
    ::close(fd);
    return ::cfgetospeed(&t);
}

} // namespace

class TestNetworkLine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    // One ser2net serving the pty in the given mode; the test is skipped without ser2net.
    bool serve(Ser2Net &server, PtyPair &pty, Ser2Net::Mode mode, quint16 *port)
    {
        QList<Ser2Net::Line> lines{{pty.slavePath(), mode, 0}};
        if (!server.start(lines)) {
            qWarning("ser2net did not start: %s", qPrintable(server.output()));
            return false;
        }
        *port = lines[0].port;
        return true;
    }

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("network");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("raw") << "tcp://nport-3:4001" << true << true << "nport-3" << 4001;
        QTest::newRow("rfc2217, any case")
            << "RFC2217://10.0.0.7:7000/" << true << true << "10.0.0.7" << 7000;
        QTest::newRow("v6") << "tcp://[::1]:2000" << true << true << "::1" << 2000;
        QTest::newRow("no port") << "tcp://host" << true << false << "" << 0;
        QTest::newRow("port out of range") << "tcp://host:70000" << true << false << "" << 0;
        QTest::newRow("port zero") << "rfc2217://host:0" << true << false << "" << 0;
        QTest::newRow("local port") << "/dev/ttyUSB0" << false << false << "" << 0;
        QTest::newRow("other scheme") << "udp://host:1" << false << false << "" << 0;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, network);
        QFETCH(bool, valid);
        QFETCH(QString, host);
        QFETCH(int, port);
        QCOMPARE(NetworkSerialLine::isNetworkName(name), network);
        const std::unique_ptr<SerialLine> line(makeSerialLine(name));
        QCOMPARE(qobject_cast<NetworkSerialLine *>(line.get()) != nullptr, network);
        NetworkSerialLine::Address a;
        QString error;
        QCOMPARE(NetworkSerialLine::parseName(name, &a, &error), valid);
        if (valid) {
            QCOMPARE(a.host, host);
            QCOMPARE(int(a.port), port);
        } else {
            QVERIFY2(error.contains("tcp://host:port"), qPrintable(error));
        }
    }

    // ser2net's own opening, then data and a modem-state notice, whole or a byte at a time:
    // the same data, each request answered once, nothing answered twice.
    void telnetReader_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::newRow("whole") << 1000;
        QTest::newRow("byte by byte") << 1;
    }
    void telnetReader()
    {
        QFETCH(int, chunk);
        const QByteArray opening("\xff\xfb\x03\xff\xfd\x03\xff\xfb\x01\xff\xfe\x01\xff\xfd\x00"
                                 "\xff\xfb\x00\xff\xfd\x2c",
                                 21);
        const QByteArray stream = opening +
                                  "A\xff\xff"
                                  "B" +
                                  TinyRfc2217Server::modemState(0x10) +
                                  QByteArray("C\xff\xf1"
                                             "D",
                                             4) +
                                  opening; // IAC NOP
        Rfc2217::Reader reader;
        QByteArray replies, data;
        QList<bool> cts;
        reader.reply = [&](const QByteArray &b) { replies += b; };
        reader.modemState = [&](bool on) { cts << on; };
        reader.noteOpening();
        for (int at = 0; at < stream.size(); at += chunk)
            data += reader.unwrap(stream.mid(at, chunk));
        QCOMPARE(data, QByteArray("A\xff"
                                  "BCD"));
        QCOMPARE(replies, QByteArray("\xff\xfd\x03\xff\xfb\x03\xff\xfe\x01",
                                     9)); // DO SGA, WILL SGA, DONT ECHO
        QCOMPARE(cts, QList<bool>{true});
        QVERIFY(reader.comPortAgreed() && !reader.comPortRefused());
    }

    void sendAndReceive_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("raw") << int(Ser2Net::Raw);
        QTest::newRow("rfc2217") << int(Ser2Net::Rfc2217);
    }
    // Both commands through the device server, every byte value on the way, 0xFF included.
    void sendAndReceive()
    {
        NEED_SER2NET();
        QFETCH(int, mode);
        PtyPair pty;
        QVERIFY(pty.isValid());
        Ser2Net server;
        quint16 port = 0;
        QVERIFY(serve(server, pty, Ser2Net::Mode(mode), &port));
        const QString name = url(Ser2Net::Mode(mode), port);

        QByteArray body;
        for (int b = 0x20; b < 0x100; ++b)
            if (b != 0x7f && b != '%' && b != 'O' && b != ':')
                body += char(b);
        const QString path =
            fixture(m_dir, "O77.nc", "%\r\nO77(" + body + ")\r\n\xff\xff\xff\r\nM30\r\n%\r\n");
        {
            PtyReader reader(pty);
            QString err;
            QCOMPARE(runCapturingStderr(
                         [&] {
                             return runSendCommand({"--port-setting", record(name), path});
                         },
                         &err),
                     0);
            const QByteArray expected =
                DC2 + "%\r\n:77(" + body + ")\r\n\xff\xff\xff\r\nM30\r\n%" + DC4;
            QTRY_VERIFY2(reader.bytes() == expected,
                         qPrintable(reader.bytes().right(20).toHex() + " " +
                                    QByteArray::number(reader.bytes().size()) + " vs " +
                                    QByteArray::number(expected.size())));
        }

        // The control punches a program once the server has the pty open.
        const QString out = m_dir.filePath(QStringLiteral("O42-%1.nc").arg(mode));
        QTimer punch;
        QObject::connect(&punch, &QTimer::timeout, [&] {
            if (server.hasOpen(pty.slavePath())) {
                punch.stop();
                QThread::msleep(50);
                // 0xFF is tape rubout, dropped by the receiver: the bytes after it must stay.
                pty.send("\x12%\r\n:42(\xff\xfe)\r\nX1\xff\xfd\xff\xff"
                         "Y\r\n%\r\n\x14");
            }
        });
        punch.start(10);
        QString err;
        QCOMPARE(runCapturingStderr(
                     [&] {
                         return runReceiveCommand(
                             {"--port-setting", record(name), "--timeout", "10", out});
                     },
                     &err),
                 int(Cli::Ok));
        QCOMPARE(readFile(out), QByteArray("%\r\nO42(\xfe)\r\nX1\xfdY\r\n%\r\n"));
    }

    // The settings of the port setting reach the pty through the server, and follow a change.
    void baudRateReachesTheLine()
    {
        NEED_SER2NET();
        PtyPair pty;
        Ser2Net server;
        quint16 port = 0;
        QVERIFY(serve(server, pty, Ser2Net::Rfc2217, &port));
        const QString name = url(Ser2Net::Rfc2217, port);
        NetworkSerialLine line;
        LineSettings s = pty.lineSettings();
        s.portName = name;
        s.baudRate = 19200;
        line.setSettings(s);
        QString error;
        QVERIFY2(line.open(&error), qPrintable(error));
        QTRY_COMPARE(slaveSpeed(pty.slavePath()), speed_t(B19200));
        s.baudRate = 4800;
        QVERIFY(line.setSettings(s, &error));
        QTRY_COMPARE(slaveSpeed(pty.slavePath()), speed_t(B4800));
        // A 0xFF written alone is one byte on the line, not a Telnet command.
        QCOMPARE(line.write("\xff"), qint64(1));
        QCOMPARE(line.write("A\xff\xff"
                            "B"),
                 qint64(4));
        QCOMPARE(pty.readBytes(5, 5000), QByteArray("\xff"
                                                    "A\xff\xff"
                                                    "B"));
        line.close();
    }

    // CTS follows the server's modem-state notices; the settings and the notice mask go out
    // as COM-PORT-OPTION commands, data with 0xFF doubled.
    void ctsFromModemState()
    {
        TinyRfc2217Server server(true);
        NetworkSerialLine line;
        LineSettings s;
        s.portName = QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port());
        s.baudRate = 2400;
        s.hardwareHandshake = true;
        line.setSettings(s);
        QSignalSpy cts(&line, &SerialLine::ctsChanged);
        QString error;
        QVERIFY2(line.open(&error), qPrintable(error));
        QVERIFY(!line.cts());
        server.send(TinyRfc2217Server::modemState(0x11));
        QTRY_VERIFY(line.cts());
        QVERIFY(line.hasModemLines());
        server.send(TinyRfc2217Server::modemState(0x01));
        QTRY_VERIFY(!line.cts());
        QCOMPARE(cts.size(), 2);
        QCOMPARE(line.write("x\xffy"), qint64(3));
        QTRY_VERIFY(server.received().contains(QByteArray("x\xff\xffy")));
        const QByteArray got = server.received();
        QVERIFY(got.contains(QByteArray("\xff\xfb\x2c", 3))); // WILL COM-PORT
        QVERIFY(got.contains(QByteArray("\xff\xfa\x2c\x01\x00\x00\x09\x60\xff\xf0", 10))); // 2400
        QVERIFY(got.contains(QByteArray("\xff\xfa\x2c\x05\x03\xff\xf0", 7))); // hardware flow
        QVERIFY(got.contains(QByteArray("\xff\xfa\x2c\x0b\x11\xff\xf0", 7))); // CTS notices
        line.close();
        QTRY_VERIFY(
            server.received().contains(QByteArray("\xff\xfa\x2c\x0c\x03\xff\xf0", 7))); // purge
    }

    // A server that never agrees to COM-PORT-OPTION is given up after the bound, not waited
    // for; nothing listening and an unknown host are said plainly, with the CLI's status 2.
    void openFailures()
    {
        {
            TinyRfc2217Server silent(false);
            NetworkSerialLine line;
            line.setTimeouts(NetworkSerialLine::ConnectTimeoutMs, 300);
            LineSettings s;
            s.portName = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.port());
            line.setSettings(s);
            QElapsedTimer t;
            t.start();
            QString error;
            QVERIFY(!line.open(&error));
            QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
            QVERIFY2(error.contains("RFC 2217") && error.contains("tcp://"), qPrintable(error));
            QVERIFY(!line.isConnected());
        }
        {
            // A listener whose queue is full drops new connection requests: no answer at all.
            const int full = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t len = sizeof a;
            ::bind(full, reinterpret_cast<sockaddr *>(&a), sizeof a);
            ::listen(full, 0);
            ::getsockname(full, reinterpret_cast<sockaddr *>(&a), &len);
            std::vector<int> queued;
            for (int i = 0; i < 3; ++i) {
                const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
                queued.push_back(c);
            }
            QThread::msleep(50);
            NetworkSerialLine line;
            line.setTimeouts(300, NetworkSerialLine::NegotiationTimeoutMs);
            LineSettings s;
            s.portName = QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(a.sin_port));
            line.setSettings(s);
            QElapsedTimer t;
            t.start();
            QString error;
            QVERIFY(!line.open(&error));
            QVERIFY2(error.contains("no answer from") && t.elapsed() < 3000, qPrintable(error));
            for (const int c : queued)
                ::close(c);
            ::close(full);
        }
        struct Case {
            QString port;
            QString message;
        };
        const QList<Case> cases{
            {QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2Net::freePort()),
             "refused the connection"},
            {"rfc2217://no-such-device-server.invalid:4001", "is unknown"},
            {"tcp://127.0.0.1", "not a network port name"},
        };
        const QString path = fixture(m_dir, "O1.nc", "%\nO1\n%\n");
        for (const Case &c : cases) {
            QString err;
            QCOMPARE(runCapturingStderr(
                         [&] {
                             return runSendCommand({"--port-setting", record(c.port), path});
                         },
                         &err),
                     2);
            QVERIFY2(err.contains(c.message) && err.count('\n') <= 2, qPrintable(err));
        }
    }

    // One ncferry-cli auto serving a raw and an RFC 2217 line at once: each machine's request
    // is answered and its return stored byte for byte, each in its own log.
    void autoModeOverBothKinds()
    {
        NEED_SER2NET();
        PtyPair raw, telnet;
        Ser2Net server;
        QList<Ser2Net::Line> lines{{raw.slavePath(), Ser2Net::Raw, 0},
                                   {telnet.slavePath(), Ser2Net::Rfc2217, 0}};
        QVERIFY2(server.start(lines), qPrintable(server.output()));
        QTemporaryDir dir;
        const QString nc = dir.filePath("NC"), work = dir.filePath("work");
        QVERIFY(QDir().mkpath(nc) && QDir().mkpath(work));
        const QByteArray requested = "%\r\nO1234(\xfe\xff)\r\nG00X1.\r\nM30\r\n%\r\n";
        fixture(dir, "NC/O1234.nc", requested);
        const QString options =
            fixture(dir, "Option.ini",
                    "\xEF\xBB\xBF[General]\r\nCheck=240\r\nFileSave=9997\r\nATRead=9999\r\n"
                    "PathList=\"" +
                        nc.toUtf8() + "\"\r\n");
        auto rec = [&](const QString &name, const Ser2Net::Line &l) {
            return PortSetting::join({name, url(l.mode, l.port), "115200", "None", "8", "1", "None",
                                      work, "*.nc", "None"});
        };

        auto returned = [](int n) {
            return "%\nO" + QByteArray::number(5000 + n) + "(BACK " + QByteArray::number(n) +
                   ")\nX" + QByteArray::number(n) + "\xfe\nM30\n%";
        };
        // Each machine asks for O1234, then returns a program of its own, waiting for each answer.
        std::atomic<int> finished{0};
        QByteArray got[2];
        auto machine = [&](PtyPair &pty, int n) {
            QByteArray &in = got[n];
            auto await = [&](int programs) {
                return Sim::RadioAdapterSim::waitUntil(
                    [&] {
                        in += pty.readAvailable();
                        return Machine::programsIn(in).size() >= programs;
                    },
                    10000);
            };
            if (Sim::RadioAdapterSim::waitUntil([&] { return server.hasOpen(pty.slavePath()); },
                                                10000)) {
                QThread::msleep(50);
                pty.send(Machine::requestProgram({"(P1)", "(N1234)"}));
                if (await(1)) {
                    pty.send(Machine::punched(returned(n)));
                    await(2);
                }
            }
            if (++finished == 2)
                ::kill(::getpid(), SIGTERM);
        };
        std::thread first([&] { machine(raw, 0); });
        std::thread second([&] { machine(telnet, 1); });
        QString err;
        const int status = runCapturingStderr(
            [&] {
                return runAutoCommand({"--port-setting", rec("RAW", lines[0]), "--log",
                                       dir.filePath("raw.txt"), "--port-setting",
                                       rec("TELNET", lines[1]), "--log", dir.filePath("telnet.txt"),
                                       "--options", options});
            },
            &err);
        first.join();
        second.join();
        QCOMPARE(status, 0);
        for (int n = 0; n < 2; ++n) {
            const QList<QByteArray> programs = Machine::programsIn(got[n]);
            QCOMPARE(programs.size(), 2);
            QCOMPARE(programs.at(0), requested);
            QVERIFY2(programs.at(1).contains("(SUCCESS)"), programs.at(1).constData());
            QCOMPARE(readFile(work + QStringLiteral("/BACK %1.nc").arg(n)),
                     returned(n).replace("\n", "\r\n"));
            const QStringList log =
                QString::fromLatin1(readFile(dir.filePath(n ? "telnet.txt" : "raw.txt")))
                    .split("\r\n", Qt::SkipEmptyParts);
            QCOMPARE(log.size(), 2);
            QVERIFY(log.at(0).contains("READ:") && log.at(1).contains("SAVE:"));
        }
    }

    // The device server is switched off under a running ncferry-cli auto and comes back on
    // the same port: the loss and the return are logged, and the machine's next request is
    // answered byte for byte as before.
    void autoModeReopensAfterServerReturns()
    {
        NEED_SER2NET();
        PtyPair pty;
        Ser2Net server;
        quint16 port = 0;
        QVERIFY(serve(server, pty, Ser2Net::Raw, &port));
        QTemporaryDir dir;
        const QString nc = dir.filePath("NC"), work = dir.filePath("work");
        QVERIFY(QDir().mkpath(nc) && QDir().mkpath(work));
        const QByteArray requested = "%\r\nO1234(\xfe\xff)\r\nG00X1.\r\nM30\r\n%\r\n";
        fixture(dir, "NC/O1234.nc", requested);
        const QString options =
            fixture(dir, "Option.ini",
                    "\xEF\xBB\xBF[General]\r\nCheck=240\r\nFileSave=9997\r\nATRead=9999\r\n"
                    "PathList=\"" +
                        nc.toUtf8() + "\"\r\n");
        const QString logPath = dir.filePath("mill.txt");
        auto logged = [&](const char *text) { return readFile(logPath).contains(text); };

        // The machine's side, one step per tick of the service's own event loop: ser2net is
        // a QProcess of this thread.
        enum Step { Ask, Answered, Lost, Back, Done } step = Ask;
        QByteArray got;
        QDeadlineTimer deadline(30000);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            got += pty.readAvailable();
            const int answers = int(Machine::programsIn(got).size());
            const bool open = server.hasOpen(pty.slavePath());
            if (step == Ask && open) {
                QThread::msleep(50);
                pty.send(Machine::requestProgram({"(P1)", "(N1234)"}));
                step = Answered;
            } else if (step == Answered && answers == 1) {
                server.kill();
                step = Lost;
            } else if (step == Lost && logged("Line lost")) {
                QList<Ser2Net::Line> again{{pty.slavePath(), Ser2Net::Raw, port}};
                step = server.start(again) ? Back : Done;
            } else if (step == Back && open && logged("is open again")) {
                QThread::msleep(50);
                pty.send(Machine::requestProgram({"(P1)", "(N1234)"}));
                step = Done;
            }
            if ((step == Done && answers == 2) || deadline.hasExpired()) {
                tick.stop();
                ::kill(::getpid(), SIGTERM);
            }
        });
        tick.start(10);
        QString err;
        const QString rec = PortSetting::join({"Mill", url(Ser2Net::Raw, port), "115200", "None",
                                               "8", "1", "None", work, "*.nc", "None"});
        QCOMPARE(runCapturingStderr(
                     [&] {
                         return runAutoCommand(
                             {"--port-setting", rec, "--log", logPath, "--options", options}, 20);
                     },
                     &err),
                 0);
        QVERIFY2(!deadline.hasExpired(),
                 qPrintable(QString("stopped at step %1: %2").arg(int(step)).arg(err)));
        const QList<QByteArray> programs = Machine::programsIn(got);
        QCOMPARE(programs.size(), 2);
        QCOMPARE(programs.at(0), requested);
        QCOMPARE(programs.at(1), requested);
        const QStringList log =
            QString::fromLatin1(readFile(logPath)).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(log.size(), 4);
        QVERIFY2(log.at(0).contains("READ:"), qPrintable(log.at(0)));
        QVERIFY2(log.at(1).startsWith("ERROR ") && log.at(1).contains("Line lost"),
                 qPrintable(log.at(1)));
        QVERIFY2(log.at(2).startsWith("SUCCESS ") && log.at(2).contains("is open again"),
                 qPrintable(log.at(2)));
        QVERIFY2(log.at(3).contains("READ:"), qPrintable(log.at(3)));
    }

    void serverKilledMidSend_data() { sendAndReceive_data(); }
    // The server switched off while a send is held by the control's XOFF: a lost line, at
    // once, not a wait or a retry.
    void serverKilledMidSend()
    {
        NEED_SER2NET();
        QFETCH(int, mode);
        PtyPair pty;
        Ser2Net server;
        quint16 port = 0;
        QVERIFY(serve(server, pty, Ser2Net::Mode(mode), &port));
        const QString path =
            fixture(m_dir, "O5.nc", "%\r\nO5\r\n" + QByteArray(20000, 'G') + "\r\n%\r\n");
        PtyReader reader(pty, "GGGG");
        QTimer kill;
        QObject::connect(&kill, &QTimer::timeout, [&] {
            if (reader.bytes().contains("GGGG")) {
                kill.stop();
                QThread::msleep(100);
                server.kill();
            }
        });
        kill.start(10);
        QString err;
        QCOMPARE(runCapturingStderr(
                     [&] {
                         return runSendCommand({"--port-setting",
                                                record(url(Ser2Net::Mode(mode), port), "Xon/Xoff"),
                                                "--no-standby", path});
                     },
                     &err),
                 3);
        QVERIFY2(err.contains("Line lost"), qPrintable(err));
        QVERIFY(reader.bytes().size() < 20000);
    }
};

QTEST_GUILESS_MAIN(TestNetworkLine)
#include "tst_network_line.moc"
