#include "transfer/NetworkSerialLine.h"

#include "transfer/Rfc2217.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

namespace
{

QMutex g_openNamesMutex;
QSet<QString> g_openNames;

QString keyOf(const NetworkSerialLine::Address &a)
{
    return QStringLiteral("%1://%2:%3")
        .arg(a.kind == NetworkSerialLine::Kind::Raw ? "tcp" : "rfc2217", a.host.toLower())
        .arg(a.port);
}

QString lostText(const QString &name)
{
    return QStringLiteral("Line lost: port \"%1\" is gone (the device server closed the "
                          "connection, or the network is down).")
        .arg(name);
}

#ifdef Q_OS_UNIX
bool errnoMeansGone(int e)
{
    return e == EPIPE || e == ECONNRESET || e == ENOTCONN || e == EBADF || e == ETIMEDOUT ||
           e == EHOSTUNREACH || e == ENETUNREACH;
}
#endif

} // namespace

// Lives in the I/O thread; owns the socket there and reads (and unwraps Telnet) there. The
// open is driven by the socket's own signals and one timer, so the thread stays free to be
// told to give it up.
class NetIoWorker : public QObject
{
    Q_OBJECT
public:
    struct OpenRequest {
        NetworkSerialLine::Address address;
        LineSettings settings;
        int connectMs = NetworkSerialLine::ConnectTimeoutMs;
        int negotiationMs = NetworkSerialLine::NegotiationTimeoutMs;
    };
    using OpenDone = std::function<void(bool ok, const QString &error)>;

    explicit NetIoWorker(NetworkSerialLine *line) : m_line(line), m_timer(new QTimer(this))
    {
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &NetIoWorker::stepTimedOut);
    }

    // Connects and, for RFC 2217, has COM-PORT-OPTION agreed, each within its bound. `done`
    // is called on this thread once, unless cancelOpen() comes first.
    void startOpen(const OpenRequest &request, OpenDone done)
    {
        m_request = request;
        m_done = std::move(done);
        m_name = request.settings.portName;
        m_telnet = request.address.kind == NetworkSerialLine::Kind::Rfc2217;
        m_step = Step::Connecting;
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &NetIoWorker::onConnected);
        connect(m_socket, &QTcpSocket::readyRead, this, &NetIoWorker::onReadyRead);
        connect(m_socket, &QTcpSocket::disconnected, this, &NetIoWorker::goneAway);
        connect(m_socket, &QTcpSocket::errorOccurred, this, &NetIoWorker::onError);
        // Name lookup included.
        m_timer->start(request.connectMs);
        m_socket->connectToHost(request.address.host, request.address.port);
    }

    // The owner gave up waiting: nothing more is reported.
    void cancelOpen()
    {
        m_done = nullptr;
        m_step = Step::Idle;
        m_timer->stop();
        doClose(false);
    }

    void doClose(bool purge)
    {
        m_timer->stop();
        if (!m_socket)
            return;
        m_socket->disconnect(this);
        if (purge && m_telnet && m_socket->state() == QAbstractSocket::ConnectedState)
            sendControl(Rfc2217::purgeBoth());
        {
            // No writer may send on the descriptor once the socket has closed it.
            QMutexLocker lock(&m_line->m_sendMutex);
            m_line->m_fd = -1;
        }
        dropSocket();
    }

    // The far end has gone: stop reading at once and let the owner decide when to close.
    void goneAway()
    {
        if (!m_socket || m_line->m_closing.load())
            return;
        if (m_step == Step::Negotiating || m_step == Step::AwaitingModem) {
            fail(closedAtOnce());
            return;
        }
        if (m_step != Step::Live)
            return; // a connect that fails says so through errorOccurred
        m_socket->disconnect(this);
        m_line->markLost(lostText(m_name));
    }

private:
    enum class Step { Idle, Connecting, Negotiating, AwaitingModem, Live };

    QString closedAtOnce() const
    {
        return QStringLiteral("Cannot open port \"%1\": the device server closed the "
                              "connection at once (is another client connected?)")
            .arg(m_name);
    }

    QString noAnswer() const
    {
        return QStringLiteral("Cannot open port \"%1\": no answer from %2:%3 within %4 s")
            .arg(m_name, m_request.address.host)
            .arg(m_request.address.port)
            .arg(m_request.connectMs / 1000.0, 0, 'g', 3);
    }

    QString connectFailure(QAbstractSocket::SocketError e) const
    {
        const NetworkSerialLine::Address &a = m_request.address;
        switch (e) {
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral("Cannot open port \"%1\": the host \"%2\" is unknown")
                .arg(m_name, a.host);
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("Cannot open port \"%1\": %2:%3 refused the connection (no "
                                  "device server on that port?)")
                .arg(m_name, a.host)
                .arg(a.port);
        case QAbstractSocket::SocketTimeoutError:
            return noAnswer();
        default:
            return QStringLiteral("Cannot open port \"%1\": %2")
                .arg(m_name, m_socket ? m_socket->errorString() : QString());
        }
    }

    void onError(QAbstractSocket::SocketError e)
    {
        // A wait that timed out says nothing about the connection.
        if (e == QAbstractSocket::SocketTimeoutError || e == QAbstractSocket::TemporaryError)
            return;
        if (m_step == Step::Connecting)
            fail(connectFailure(e));
        else
            goneAway();
    }

    void onConnected()
    {
        if (m_step != Step::Connecting)
            return;
        m_timer->stop();
        // One request per character must not wait for Nagle's coalescing.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        m_socket->setReadBufferSize(0);
        {
            QMutexLocker lock(&m_line->m_sendMutex);
            m_line->m_fd = int(m_socket->socketDescriptor());
        }
        if (!m_telnet) {
            finishOpen(true, QString());
            return;
        }
        // The Telnet handshake: BINARY both ways and COM-PORT-OPTION, which the server must
        // accept within the bound (a raw port answers nothing, or echoes our bytes as data).
        m_step = Step::Negotiating;
        m_telnetReader.reply = [this](const QByteArray &bytes) { sendControl(bytes); };
        m_telnetReader.modemState = [this](bool on) { followCts(on); };
        sendControl(Rfc2217::opening());
        m_telnetReader.noteOpening();
        m_timer->start(m_request.negotiationMs);
    }

    void stepTimedOut()
    {
        switch (m_step) {
        case Step::Connecting:
            fail(noAnswer());
            break;
        case Step::Negotiating:
            fail(QStringLiteral("Cannot open port \"%1\": the device server did not agree to "
                                "RFC 2217 (COM-PORT-OPTION) within %2 ms; for a raw TCP port "
                                "write tcp:// instead")
                     .arg(m_name)
                     .arg(m_request.negotiationMs));
            break;
        case Step::AwaitingModem:
            // CTS stays unknown (off) until the server reports it.
            finishOpen(true, QString());
            break;
        case Step::Idle:
        case Step::Live:
            break;
        }
    }

    // What has arrived may finish a step of the open.
    void advanceOpen()
    {
        if (m_step == Step::Negotiating) {
            if (m_telnetReader.comPortRefused()) {
                fail(QStringLiteral("Cannot open port \"%1\": the device server refused RFC 2217 "
                                    "(COM-PORT-OPTION); for a raw TCP port write tcp:// instead")
                         .arg(m_name));
                return;
            }
            if (!m_telnetReader.comPortAgreed())
                return;
            m_timer->stop();
            sendControl(Rfc2217::settingsCommands(m_request.settings));
            // A send under RTS/CTS asks at once whether CTS is known; the server's first
            // modem-state notice normally follows the mask at once.
            if (m_request.settings.hardwareHandshake && !m_line->m_modemLines.load()) {
                m_step = Step::AwaitingModem;
                m_timer->start(NetworkSerialLine::ModemStateWaitMs);
                return;
            }
            finishOpen(true, QString());
        } else if (m_step == Step::AwaitingModem && m_line->m_modemLines.load()) {
            finishOpen(true, QString());
        }
    }

    // From inside a socket's signal: the socket goes after that signal has returned.
    void fail(const QString &message)
    {
        if (m_step == Step::Idle || m_step == Step::Live)
            return;
        m_step = Step::Idle;
        m_timer->stop();
        QMetaObject::invokeMethod(
            this, [this, message] { report(false, message); }, Qt::QueuedConnection);
    }

    void finishOpen(bool ok, const QString &message)
    {
        if (m_step == Step::Idle || m_step == Step::Live)
            return;
        m_step = ok ? Step::Live : Step::Idle;
        m_timer->stop();
        report(ok, message);
    }

    void report(bool ok, const QString &message)
    {
        if (!ok) {
            m_line->m_closing = true;
            doClose(false);
        }
        const OpenDone done = std::move(m_done);
        m_done = nullptr;
        if (done)
            done(ok, message);
    }

    void dropSocket()
    {
        if (!m_socket)
            return;
        m_socket->disconnect(this);
        m_socket->abort();
        // Possibly inside one of its own signals.
        m_socket->deleteLater();
        m_socket = nullptr;
    }

    void sendControl(const QByteArray &bytes)
    {
        bool gone = false;
        m_line->sendWire(bytes, NetworkSerialLine::ControlSendMs, &gone);
    }

    void onReadyRead()
    {
        if (!m_socket)
            return;
        const auto readAt = PauseGate::Clock::now();
        const QByteArray bytes = m_socket->readAll();
        if (bytes.isEmpty())
            return;
        const QByteArray data = m_telnet ? m_telnetReader.unwrap(bytes) : bytes;
        if (!data.isEmpty())
            m_line->queueReceived(data, readAt);
        advanceOpen();
    }

    void followCts(bool on)
    {
        m_line->m_modemLines = true;
        if (on == m_cts)
            return;
        m_cts = on;
        QMetaObject::invokeMethod(m_line, "deliverCts", Qt::QueuedConnection, Q_ARG(bool, on));
    }

    NetworkSerialLine *m_line;
    QTimer *m_timer;
    OpenRequest m_request;
    OpenDone m_done;
    Step m_step = Step::Idle;
    Rfc2217::Reader m_telnetReader;
    bool m_cts = false;
    QTcpSocket *m_socket = nullptr;
    QString m_name;
    bool m_telnet = false;
};

bool NetworkSerialLine::isNetworkName(const QString &name)
{
    const QString t = name.trimmed();
    return t.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive) ||
           t.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive);
}

bool NetworkSerialLine::parseName(const QString &name, Address *address, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Port \"%1\" is not a network port name: %2 (write "
                                    "tcp://host:port or rfc2217://host:port)")
                         .arg(name, why);
        return false;
    };
    const QString t = name.trimmed();
    const int schemeEnd = t.indexOf(QLatin1String("://"));
    if (schemeEnd < 0)
        return fail(QStringLiteral("no \"://\""));
    const QString scheme = t.left(schemeEnd).toLower();
    Address a;
    if (scheme == QLatin1String("tcp"))
        a.kind = Kind::Raw;
    else if (scheme == QLatin1String("rfc2217"))
        a.kind = Kind::Rfc2217;
    else
        return fail(QStringLiteral("unknown kind \"%1\"").arg(scheme));
    QString rest = t.mid(schemeEnd + 3);
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    // host:port, or [v6 address]:port
    static const QRegularExpression form(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(rest);
    if (!m.hasMatch())
        return fail(QStringLiteral("expected host:port after \"://\""));
    a.host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    const int port = m.captured(3).toInt();
    if (port < 1 || port > 65535)
        return fail(QStringLiteral("port number %1 is out of range 1-65535").arg(port));
    a.port = quint16(port);
    if (address)
        *address = a;
    return true;
}

NetworkSerialLine::NetworkSerialLine(QObject *parent) : SerialLine(parent)
{
    m_ioThread.setObjectName(QStringLiteral("net-io"));
}

NetworkSerialLine::~NetworkSerialLine()
{
    close();
}

bool NetworkSerialLine::setSettings(const LineSettings &settings, QString *error)
{
    const LineSettings old = exchangeSettings(settings);
    if (!m_connected.load())
        return true;
    if (old.portName != settings.portName) {
        close();
        return open(error);
    }
    if (!m_telnet.load())
        return true;
    QMutexLocker writer(&m_writerMutex);
    bool gone = false;
    const QByteArray commands = Rfc2217::settingsCommands(settings);
    if (sendWire(commands, writeTimeoutMs(commands.size()), &gone) < commands.size()) {
        if (error)
            *error = QStringLiteral("Port \"%1\" did not take its settings: the device server "
                                    "takes no data")
                         .arg(settings.portName);
        return false;
    }
    return true;
}

LineSettings NetworkSerialLine::settings() const
{
    return storedSettings();
}

bool NetworkSerialLine::prepareOpen(LineSettings *s, QString *error)
{
    *s = settings();
    Address address;
    if (!parseName(s->portName, &address, error))
        return false;
    {
        QMutexLocker lock(&g_openNamesMutex);
        const QString key = keyOf(address);
        if (g_openNames.contains(key)) {
            *error = QStringLiteral("Cannot open port \"%1\": it is in use by another window.")
                         .arg(s->portName);
            return false;
        }
        g_openNames.insert(key);
    }
    m_address = address;
    m_holdsPortName = true;
    m_establishing = true;
    clearReceived();
    clearLost();
    m_telnet = address.kind == Kind::Rfc2217;
    m_modemLines = false;
    m_cts = false;
    m_closing = false;
    m_owedIac = false;
    restartPacing();
    m_worker = new NetIoWorker(this);
    m_worker->moveToThread(&m_ioThread);
    m_ioThread.start();
    return true;
}

void NetworkSerialLine::startWorker(const LineSettings &s,
                                    std::function<void(bool, const QString &)> done)
{
    NetIoWorker::OpenRequest request;
    request.address = m_address;
    request.settings = s;
    request.connectMs = m_connectTimeoutMs.load();
    request.negotiationMs = m_negotiationTimeoutMs.load();
    NetIoWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker, request, done = std::move(done)] { worker->startOpen(request, done); },
        Qt::QueuedConnection);
}

void NetworkSerialLine::endOpen(bool ok)
{
    m_establishing = false;
    if (ok) {
        m_connected = true;
        return;
    }
    NetIoWorker *worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_worker = nullptr;
    m_ioThread.quit();
    m_ioThread.wait();
    releasePortName();
}

bool NetworkSerialLine::open(QString *error)
{
    QMutexLocker openLock(&m_openMutex);
    if (m_connected.load())
        return true;
    QString message;
    LineSettings s;
    if (m_opening.load()) {
        message = QStringLiteral("Cannot open port \"%1\": it is still connecting.")
                      .arg(settings().portName);
    } else if (prepareOpen(&s, &message)) {
        // The lock is held throughout, so no close can cancel this open: the answer comes.
        auto answer = std::make_shared<std::promise<std::pair<bool, QString>>>();
        std::future<std::pair<bool, QString>> result = answer->get_future();
        startWorker(s, [answer](bool ok, const QString &why) { answer->set_value({ok, why}); });
        const std::pair<bool, QString> outcome = result.get();
        endOpen(outcome.first);
        if (outcome.first)
            return true;
        message = outcome.second;
    }
    if (error)
        *error = message;
    return false;
}

void NetworkSerialLine::openAsync()
{
    bool ok = true;
    QString message;
    {
        QMutexLocker openLock(&m_openMutex);
        if (m_opening.load())
            return; // its own openFinished() is still to come
        LineSettings s;
        if (!m_connected.load()) {
            ok = prepareOpen(&s, &message);
            if (ok) {
                m_opening = true;
                const quint64 serial = ++m_openSerial;
                startWorker(s, [this, serial](bool done, const QString &why) {
                    QMetaObject::invokeMethod(
                        this, [this, serial, done, why] { asyncOpenDone(serial, done, why); },
                        Qt::QueuedConnection);
                });
                return;
            }
        }
    }
    QMetaObject::invokeMethod(
        this, [this, ok, message] { emit openFinished(ok, message); }, Qt::QueuedConnection);
}

void NetworkSerialLine::asyncOpenDone(quint64 serial, bool ok, const QString &message)
{
    {
        QMutexLocker openLock(&m_openMutex);
        // Cancelled by a close, perhaps followed by another open.
        if (!m_opening.load() || serial != m_openSerial)
            return;
        endOpen(ok);
        m_opening = false;
    }
    emit openFinished(ok, message);
}

void NetworkSerialLine::close()
{
    closeLine(true);
}

void NetworkSerialLine::drainAndClose()
{
    if (!m_connected.load())
        return;
    // What the socket has not handed on; what the server holds for its own port goes out
    // after the connection closes, as ser2net and device servers drain before they close.
    const bool drained = waitForDrain(m_closing);
    if (drained)
        awaitClosing(std::chrono::milliseconds(ServerSettleMs), m_closing);
    closeLine(!drained);
}

void NetworkSerialLine::closeLine(bool discardOutput)
{
    // Seen by a write in progress within one poll slice, before we queue for its lock.
    m_closing = true;
    wakePacer();
    {
        QMutexLocker openLock(&m_openMutex);
        if (m_opening.load()) {
            // Still connecting: given up, and it never counted as open.
            NetIoWorker *worker = m_worker;
            QMetaObject::invokeMethod(
                worker,
                [worker] {
                    worker->cancelOpen();
                    delete worker;
                },
                Qt::BlockingQueuedConnection);
            m_worker = nullptr;
            m_ioThread.quit();
            m_ioThread.wait();
            clearReceived();
            m_establishing = false;
            releasePortName();
            m_opening = false;
            return;
        }
        if (!m_connected.load())
            return;
        m_connected = false;
        QMetaObject::invokeMethod(
            m_worker,
            [this, discardOutput] {
                m_worker->doClose(discardOutput && !isLost());
                delete m_worker;
            },
            Qt::BlockingQueuedConnection);
        m_worker = nullptr;
        m_ioThread.quit();
        m_ioThread.wait();
        clearReceived();
        releasePortName();
    }
    emit afterClose();
}

void NetworkSerialLine::markLost(const QString &message)
{
    noteLost(message);
    releasePortName();
    reportLost(message);
}

void NetworkSerialLine::releasePortName()
{
    if (!m_holdsPortName.exchange(false))
        return;
    const QString key = keyOf(m_address);
    QMutexLocker lock(&g_openNamesMutex);
    g_openNames.remove(key);
}

qint64 NetworkSerialLine::sendWire(const QByteArray &wire, int timeoutMs, bool *gone)
{
#ifdef Q_OS_UNIX
    QDeadlineTimer deadline(timeoutMs);
    qint64 done = 0;
    for (;;) {
        int fd;
        {
            QMutexLocker lock(&m_sendMutex);
            fd = m_fd.load();
            if (fd < 0)
                return done > 0 ? done : -1;
            // An escaped 0xFF cut in two by a short send is finished before anything else.
            while (m_owedIac) {
                const char iac = char(Rfc2217::Telnet::IAC);
                const ssize_t n = ::send(fd, &iac, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n == 1)
                    m_owedIac = false;
                else
                    break;
            }
            if (!m_owedIac && done < wire.size()) {
                const ssize_t n = ::send(fd, wire.constData() + done, size_t(wire.size() - done),
                                         MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    done += n;
                    if (m_telnet.load() && done < wire.size() && Rfc2217::endsMidPair(wire, done)) {
                        m_owedIac = true;
                        ++done;
                    }
                    continue;
                }
                if (n < 0 && errnoMeansGone(errno)) {
                    lock.unlock();
                    *gone = true;
                    // While opening, the open fails through the socket's own error instead.
                    if (!m_establishing.load())
                        markLost(lostText(settings().portName));
                    return done > 0 ? done : -1;
                }
            } else if (!m_owedIac) {
                return done;
            }
        }
        if (deadline.hasExpired() || m_closing.load() || isLost())
            return done;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, int(qMin<qint64>(20, qMax<qint64>(1, deadline.remainingTime()))));
    }
#else
    Q_UNUSED(wire);
    Q_UNUSED(timeoutMs);
    Q_UNUSED(gone);
    return -1;
#endif
}

qint64 NetworkSerialLine::write(const QByteArray &bytes)
{
    if (!m_connected.load() || isLost())
        return -1;
    if (bytes.isEmpty())
        return 0;
    QMutexLocker writer(&m_writerMutex);
    const bool telnet = m_telnet.load();
    const QDeadlineTimer deadline(writeTimeoutMs(bytes.size()));
    // The server's port carries at the line rate: what it holds is paced by the clock, and
    // what the socket has not handed on yet counts as well.
    const auto queued = [this] { return outputQueued(); };
    qint64 accepted = 0;
    while (accepted < bytes.size()) {
        const qint64 room = awaitRoom(bytes.size() - accepted, deadline, queued, m_closing);
        if (room < 0)
            return accepted > 0 ? accepted : -1;
        if (room == 0)
            break;
        const QByteArray part = bytes.mid(accepted, room);
        const QByteArray wire = telnet ? Rfc2217::escapeIac(part) : part;
        bool gone = false;
        const qint64 sent = sendWire(wire, int(qMax<qint64>(0, deadline.remainingTime())), &gone);
        if (sent < 0)
            return accepted > 0 ? accepted : -1;
        qint64 took = qMin<qint64>(sent, part.size());
        if (telnet && sent < wire.size()) {
            // Bytes whose wire form went out whole (an owed 0xFF counts as sent).
            took = 0;
            qint64 at = 0;
            for (const char c : part) {
                at += quint8(c) == Rfc2217::Telnet::IAC ? 2 : 1;
                if (at > sent)
                    break;
                ++took;
            }
        }
        handedOn(took);
        accepted += took;
        if (took < part.size())
            break;
    }
    return accepted;
}

qint64 NetworkSerialLine::outputQueued() const
{
#ifdef Q_OS_UNIX
    QMutexLocker lock(&m_sendMutex);
    const int fd = m_fd.load();
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &queued) != 0)
        return 0;
    return queued + (m_owedIac ? 1 : 0);
#else
    return 0;
#endif
}

void NetworkSerialLine::deliverCts(bool on)
{
    // A notice from the negotiation comes before the answer of an asynchronous open.
    if (!m_connected.load() && !m_opening.load())
        return;
    m_cts = on;
    emit ctsChanged(on);
}

#include "NetworkSerialLine.moc"
