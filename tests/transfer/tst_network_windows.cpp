// The send, receive and auto-mode windows on a device server's port: while the line connects
// the window thread keeps running, a window closed then gives the open up without a trace,
// and a line that does open sends byte for byte.
#include "PtyPair.h"
#include "PtyReader.h"
#include "SendRig.h"
#include "Ser2Net.h"
#include "TestFiles.h"
#include "automode/WATransport.h"
#include "settings/PortSetting.h"
#include "transfer/NetworkSerialLine.h"
#include "transfer/PortSerialLine.h"
#include "transfer/ReceiveTransport.h"
#include "transfer/Transport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <vector>

namespace
{

enum Window { Send, Receive, Auto };
enum Peer { Silent, Unanswered };

// Takes connections and never says a word: an RFC 2217 open waits for its agreement.
class SilentServer : public QTcpServer
{
public:
    SilentServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection())
                m_clients << s;
        });
    }
    // Clients still connected (a client gone reads as closed once the loop has seen it).
    int connectedClients() const
    {
        int n = 0;
        for (QTcpSocket *s : m_clients)
            n += s->state() == QAbstractSocket::ConnectedState;
        return n;
    }

private:
    QList<QTcpSocket *> m_clients;
};

// A listener whose queue is full drops further connection requests: no answer at all.
class UnansweredAddress
{
public:
    UnansweredAddress()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listen, 0);
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        for (int i = 0; i < 3; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
            m_queued.push_back(c);
        }
        QThread::msleep(50);
    }
    ~UnansweredAddress()
    {
        for (const int c : m_queued)
            ::close(c);
        ::close(m_listen);
    }
    quint16 port() const { return m_port; }

private:
    int m_listen = -1;
    quint16 m_port = 0;
    std::vector<int> m_queued;
};

// One window on one network line, seen through what the user sees.
struct Rig {
    QPointer<QWidget> window;
    std::function<bool()> connecting;
    std::function<QString()> status;
    std::function<QToolButton *()> lineButton; // null where no button needs the line
};

QStringList record(const QString &port)
{
    return {"Mill", port, "9600", "None", "8", "1", "None", QDir::tempPath(), "*.nc", "None"};
}

// The longest the event loop went without running a 5 ms timer, among the gaps that began
// while `measuring` held.
struct Heartbeat {
    QTimer timer;
    QElapsedTimer sinceLast;
    qint64 longestGap = 0;
    bool wasMeasuring = true;
    explicit Heartbeat(std::function<bool()> measuring)
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this, measuring] {
            const qint64 gap = sinceLast.restart();
            if (wasMeasuring)
                longestGap = qMax(longestGap, gap);
            wasMeasuring = measuring();
        });
        sinceLast.start();
        timer.start();
    }
};

QMessageBox *modalBox()
{
    return qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
}

// Answers every box that comes up (they run their own loop), keeping what the first said.
struct BoxWatch {
    QTimer timer;
    int boxes = 0;
    QString informative;
    qint64 firstAtMs = -1;
    QElapsedTimer clock;
    BoxWatch()
    {
        clock.start();
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QMessageBox *box = modalBox()) {
                if (boxes++ == 0) {
                    informative = box->informativeText();
                    firstAtMs = clock.elapsed();
                }
                box->accept();
            }
        });
        timer.start();
    }
};

} // namespace

class TestNetworkWindows : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    Rig open(Window kind, const QString &port, int connectMs, int negotiationMs)
    {
        auto *line = new NetworkSerialLine;
        line->setTimeouts(connectMs, negotiationMs);
        Rig rig;
        const QStringList fields = record(port);
        if (kind == Send) {
            auto *w = new TTransport(line);
            w->setPortSetting(PortProfile::fromText(PortSetting::join(fields)));
            w->setFileList({fixture(m_dir, "O1.nc", "%\r\nO1\r\nM30\r\n%\r\n")});
            rig.window = w;
            rig.connecting = [w] { return w->isConnecting(); };
            rig.status = [w] { return w->findChild<QLabel *>("StatusLabel")->text(); };
            rig.lineButton = [w] { return w->findChild<QToolButton *>("ToolButton1"); };
        } else if (kind == Receive) {
            auto *w = new TReceiveTransport(line);
            w->setPortSetting(PortProfile::fromText(PortSetting::join(fields)));
            w->setFileName(m_dir.filePath("IN.nc"));
            rig.window = w;
            rig.connecting = [w] { return w->isConnecting(); };
            rig.status = [w] { return w->findChild<QLabel *>("StaticText3")->text(); };
        } else {
            auto *w = new TWATransport([] { return AutoMode::GeneralValues(); }, line);
            w->setLogFolder(m_dir.path());
            w->setPortSetting(PortProfile::fromFields(fields));
            rig.window = w;
            rig.connecting = [w] { return w->isConnecting(); };
            rig.status = [w] { return w->findChild<QLabel *>("StatusPanel1")->text(); };
        }
        rig.window->show();
        return rig;
    }

    static QString url(Peer peer, quint16 port)
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(peer == Silent ? "rfc2217" : "tcp")
            .arg(port);
    }

private slots:
    void connectingKeepsTheWindowThreadRunning_data()
    {
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("peer");
        const char *windows[] = {"send", "receive", "auto"};
        for (int w = Send; w <= Auto; ++w) {
            QTest::addRow("%s, silent server", windows[w]) << w << int(Silent);
            QTest::addRow("%s, no answer", windows[w]) << w << int(Unanswered);
        }
    }

    // The open takes its whole bound; the window says it is connecting, offers no button
    // that needs the line, and the event loop runs throughout. The failure is told as before.
    void connectingKeepsTheWindowThreadRunning()
    {
        QFETCH(int, window);
        QFETCH(int, peer);
        constexpr int BoundMs = 1000;
        SilentServer silent;
        UnansweredAddress unanswered;
        const QString port =
            url(Peer(peer), peer == Silent ? silent.serverPort() : unanswered.port());

        BoxWatch boxes;
        Rig rig = open(Window(window), port, BoundMs, BoundMs);
        QVERIFY(SendRig::spin([&] { return rig.connecting(); }, 2000));
        // From the window saying so until the open's answer has been taken.
        Heartbeat beat([&] { return rig.window && rig.connecting(); });
        QVERIFY2(rig.status().contains("Connecting to " + port), qPrintable(rig.status()));
        if (rig.lineButton)
            QVERIFY(!rig.lineButton()->isEnabled());

        QVERIFY(SendRig::spin([&] { return boxes.boxes > 0; }, 5000));
        const qint64 gap = beat.longestGap;
        QVERIFY(SendRig::spin([&] { return rig.window.isNull(); }, 2000));
        QCOMPARE(boxes.boxes, 1);
        QVERIFY2(boxes.informative.contains(peer == Silent ? "RFC 2217" : "no answer from"),
                 qPrintable(boxes.informative));
        QVERIFY2(boxes.firstAtMs >= BoundMs - 50, qPrintable(QString::number(boxes.firstAtMs)));
        // Held up, the loop would have stopped for the whole bound.
        QVERIFY2(gap < BoundMs / 2, qPrintable(QString::number(gap)));
    }

    void closeWhileConnectingLeavesNothing_data() { connectingKeepsTheWindowThreadRunning_data(); }

    // Closed while connecting: the window goes at once, the server sees the client leave,
    // no box comes when the open's bound has passed, and the port is free again.
    void closeWhileConnectingLeavesNothing()
    {
        QFETCH(int, window);
        QFETCH(int, peer);
        constexpr int BoundMs = 600;
        SilentServer silent;
        UnansweredAddress unanswered;
        const QString port =
            url(Peer(peer), peer == Silent ? silent.serverPort() : unanswered.port());

        Rig rig = open(Window(window), port, BoundMs, BoundMs);
        BoxWatch boxes;
        QVERIFY(SendRig::spin([&] { return rig.connecting(); }, 2000));
        if (peer == Silent)
            QVERIFY(SendRig::spin([&] { return silent.connectedClients() == 1; }, 2000));
        QElapsedTimer took;
        took.start();
        rig.window->close();
        QVERIFY(SendRig::spin([&] { return rig.window.isNull(); }, 1000));
        QVERIFY2(took.elapsed() < BoundMs / 2, qPrintable(QString::number(took.elapsed())));
        if (peer == Silent)
            QVERIFY(SendRig::spin([&] { return silent.connectedClients() == 0; }, 2000));
        // Past the open's bound: a late answer would have brought a box by now.
        QTest::qWait(BoundMs + 300);
        QCOMPARE(boxes.boxes, 0);

        // Free for the next window: it fails on the server, not on "in use".
        NetworkSerialLine again;
        again.setTimeouts(BoundMs, BoundMs);
        LineSettings s;
        s.portName = port;
        again.setSettings(s);
        QString error;
        QVERIFY(!again.open(&error));
        QVERIFY2(error.contains(peer == Silent ? "RFC 2217" : "no answer from"), qPrintable(error));
    }

    void sendsThroughSer2NetExactly_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("raw") << int(Ser2Net::Raw);
        QTest::newRow("rfc2217") << int(Ser2Net::Rfc2217);
    }

    // Opened without holding up the window, the line sends as it always did; the window
    // closes itself after the last file.
    void sendsThroughSer2NetExactly()
    {
        if (Ser2Net::binary().isEmpty())
            QSKIP("ser2net is not installed (make deps installs it): this test runs it");
        QFETCH(int, mode);
        PtyPair pty;
        QVERIFY(pty.isValid());
        Ser2Net server;
        QList<Ser2Net::Line> lines{{pty.slavePath(), Ser2Net::Mode(mode), 0}};
        QVERIFY2(server.start(lines), qPrintable(server.output()));
        const QString port = QStringLiteral("%1://127.0.0.1:%2")
                                 .arg(mode == Ser2Net::Rfc2217 ? "rfc2217" : "tcp")
                                 .arg(lines[0].port);

        PtyReader reader(pty);
        auto *line = new NetworkSerialLine;
        QPointer<TTransport> w = new TTransport(line);
        QStringList fields = record(port);
        fields[2] = QStringLiteral("115200");
        QVERIFY(w->setPortSetting(PortProfile::fromText(PortSetting::join(fields))));
        w->setFileList(
            {fixture(m_dir, "O9.nc", "%\r\nO9(\xff\xfe)\r\nX1\xff\xff\r\nM30\r\n%\r\n")});
        w->show();
        auto *confirm = w->findChild<QToolButton *>("ToolButton1");
        QVERIFY(SendRig::spin([&] { return line->isConnected() && !w->isConnecting(); }, 5000));
        QVERIFY(confirm->isEnabled());
        QTest::mouseClick(confirm, Qt::LeftButton);
        const QByteArray expected = "\x12%\r\n:9(\xff\xfe)\r\nX1\xff\xff\r\nM30\r\n%\x14";
        QVERIFY2(SendRig::spin([&] { return reader.bytes() == expected; }, 10000),
                 qPrintable(reader.bytes().toHex()));
        QVERIFY(SendRig::spin([&] { return w.isNull(); }, 5000));
    }

    // An auto-mode window still connecting holds up none of the others: a machine on another
    // line has its program stored meanwhile.
    void autoModeServesWhileAnotherConnects()
    {
        SilentServer silent;
        QPointer<TWATransport> waiting;
        {
            auto *line = new NetworkSerialLine;
            line->setTimeouts(NetworkSerialLine::ConnectTimeoutMs, 3000);
            waiting = new TWATransport([] { return AutoMode::GeneralValues(); }, line);
            waiting->setLogFolder(m_dir.path());
            waiting->setPortSetting(
                PortProfile::fromFields(record(url(Silent, silent.serverPort()))));
            waiting->show();
        }
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString work = m_dir.filePath("work");
        QVERIFY(QDir().mkpath(work));
        QStringList fields = record(pty.slavePath());
        fields[PortSetting::Name] = QStringLiteral("Lathe");
        fields[PortSetting::WorkFolder] = work;
        auto *portLine = new PortSerialLine;
        QPointer<TWATransport> serving =
            new TWATransport([] { return AutoMode::GeneralValues(); }, portLine);
        serving->setLogFolder(m_dir.path());
        serving->setPortSetting(PortProfile::fromFields(fields));
        serving->show();
        QVERIFY(SendRig::spin([&] { return serving->lineOpen(); }, 2000));
        QVERIFY(waiting->isConnecting());

        pty.send("\x12%\n:77\nG0X1\n%\x14");
        QVERIFY(SendRig::spin([&] { return serving->logLines().size() == 1; }, 3000));
        QVERIFY2(serving->logLines().first().contains(" Device SAVE:"),
                 qPrintable(serving->logLines().first()));
        QVERIFY(waiting->isConnecting());
        waiting->close();
        QVERIFY(SendRig::spin([&] { return waiting.isNull(); }, 1000));
        QVERIFY(serving->lineOpen());
        delete serving;
    }
};

QTEST_MAIN(TestNetworkWindows)
#include "tst_network_windows.moc"
