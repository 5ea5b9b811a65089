#include "transfer/NetworkSerialLine.h"

#include "transfer/Rfc2217.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QUrl>

#include <chrono>

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

// Lives in the I/O thread; owns the socket there and reads (and unwraps Telnet) there.
class NetIoWorker : public QObject
{
    Q_OBJECT
public:
    explicit NetIoWorker(NetworkSerialLine *line) : m_line(line) {}

    bool doOpen(const NetworkSerialLine::Address &a, const QString &name, int connectMs,
                QString *error)
    {
        m_name = name;
        m_telnet = a.kind == NetworkSerialLine::Kind::Rfc2217;
        m_socket = new QTcpSocket(this);
        m_socket->connectToHost(a.host, a.port);
        if (!m_socket->waitForConnected(connectMs)) {
            *error = connectFailure(a, connectMs);
            dropSocket();
            return false;
        }
        // One request per character must not wait for Nagle's coalescing.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        m_socket->setReadBufferSize(0);
        connect(m_socket, &QTcpSocket::readyRead, this, &NetIoWorker::onReadyRead);
        connect(m_socket, &QTcpSocket::disconnected, this, &NetIoWorker::goneAway);
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
            // A wait that timed out says nothing about the connection.
            if (e != QAbstractSocket::SocketTimeoutError && e != QAbstractSocket::TemporaryError)
                goneAway();
        });
        return true;
    }

    qintptr descriptor() const { return m_socket ? m_socket->socketDescriptor() : -1; }

    // The Telnet handshake: BINARY both ways and COM-PORT-OPTION, which the server must
    // accept within the bound (a raw port answers nothing, or echoes our bytes as data).
    bool negotiate(int negotiationMs, QString *error)
    {
        m_telnetReader.reply = [this](const QByteArray &bytes) { sendControl(bytes); };
        m_telnetReader.modemState = [this](bool on) { followCts(on); };
        sendControl(Rfc2217::opening());
        m_telnetReader.noteOpening();
        QDeadlineTimer deadline(negotiationMs);
        while (!m_telnetReader.comPortAgreed() && !m_telnetReader.comPortRefused() && m_socket &&
               m_socket->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
            m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (m_telnetReader.comPortAgreed() && !m_goneEarly)
            return true;
        if (m_goneEarly) {
            *error = QStringLiteral("Cannot open port \"%1\": the device server closed the "
                                    "connection at once (is another client connected?)")
                         .arg(m_name);
            return false;
        }
        *error = QStringLiteral("Cannot open port \"%1\": the device server %2 RFC 2217 "
                                "(COM-PORT-OPTION)%3; for a raw TCP port write tcp:// instead")
                     .arg(m_name,
                          m_telnetReader.comPortRefused() ? QStringLiteral("refused")
                                                          : QStringLiteral("did not agree to"),
                          m_telnetReader.comPortRefused()
                              ? QString()
                              : QStringLiteral(" within %1 ms").arg(negotiationMs));
        return false;
    }

    void doClose(bool purge)
    {
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

    // The server's first modem-state notice normally follows the mask at once.
    void awaitModemState(int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!m_line->m_modemLines.load() && m_socket &&
               m_socket->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
            m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }

    // The far end has gone: stop reading at once and let the owner decide when to close.
    void goneAway()
    {
        if (!m_socket || m_line->m_closing.load())
            return;
        if (!m_live) {
            m_goneEarly = true; // the open fails with its own message
            return;
        }
        m_socket->disconnect(this);
        m_line->markLost(lostText(m_name));
    }

private:
    QString connectFailure(const NetworkSerialLine::Address &a, int connectMs) const
    {
        const QString where = QStringLiteral("%1:%2").arg(a.host).arg(a.port);
        switch (m_socket->error()) {
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral("Cannot open port \"%1\": the host \"%2\" is unknown")
                .arg(m_name, a.host);
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("Cannot open port \"%1\": %2 refused the connection (no "
                                  "device server on that port?)")
                .arg(m_name, where);
        case QAbstractSocket::SocketTimeoutError:
            return QStringLiteral("Cannot open port \"%1\": no answer from %2 within %3 s")
                .arg(m_name, where)
                .arg(connectMs / 1000.0, 0, 'g', 3);
        default:
            if (m_socket->state() != QAbstractSocket::UnconnectedState)
                return QStringLiteral("Cannot open port \"%1\": no answer from %2 within %3 s")
                    .arg(m_name, where)
                    .arg(connectMs / 1000.0, 0, 'g', 3);
            return QStringLiteral("Cannot open port \"%1\": %2")
                .arg(m_name, m_socket->errorString());
        }
    }

    void dropSocket()
    {
        if (!m_socket)
            return;
        m_socket->disconnect(this);
        m_socket->abort();
        delete m_socket;
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
        if (data.isEmpty())
            return;
        m_line->queueReceived(data, readAt);
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
    Rfc2217::Reader m_telnetReader;
    bool m_cts = false;
    QTcpSocket *m_socket = nullptr;
    QString m_name;
    bool m_telnet = false;

public:
    bool m_live = false;
    bool m_goneEarly = false;
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
    LineSettings old;
    {
        QMutexLocker lock(&m_settingsMutex);
        old = m_settings;
        m_settings = settings;
    }
    noteSettings(settings);
    m_baudRate = settings.baudRate > 0 ? settings.baudRate : 9600;
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
    QMutexLocker lock(&m_settingsMutex);
    LineSettings s = m_settings;
    s.discardNull = discardNull();
    return s;
}

bool NetworkSerialLine::open(QString *error)
{
    QMutexLocker openLock(&m_openMutex);
    if (m_connected.load())
        return true;
    const LineSettings s = settings();
    QString message;
    Address address;
    if (!parseName(s.portName, &address, &message)) {
        if (error)
            *error = message;
        return false;
    }
    const QString key = keyOf(address);
    {
        QMutexLocker lock(&g_openNamesMutex);
        if (g_openNames.contains(key))
            message = QStringLiteral("Cannot open port \"%1\": it is in use by another window.")
                          .arg(s.portName);
        else
            g_openNames.insert(key);
    }
    if (!message.isEmpty()) {
        if (error)
            *error = message;
        return false;
    }
    clearReceived();
    clearLost();
    m_address = address;
    m_telnet = address.kind == Kind::Rfc2217;
    m_modemLines = false;
    m_cts = false;
    m_closing = false;
    m_owedIac = false;
    m_serverBusyUntilNs = 0;
    m_baudRate = s.baudRate > 0 ? s.baudRate : 9600;
    m_worker = new NetIoWorker(this);
    m_worker->moveToThread(&m_ioThread);
    m_ioThread.start();
    bool ok = false;
    const int connectMs = m_connectTimeoutMs.load();
    const int negotiationMs = m_negotiationTimeoutMs.load();
    QMetaObject::invokeMethod(
        m_worker,
        [&] {
            ok = m_worker->doOpen(address, s.portName, connectMs, &message);
            if (!ok)
                return;
            {
                QMutexLocker lock(&m_sendMutex);
                m_fd = int(m_worker->descriptor());
            }
            if (m_telnet.load()) {
                ok = m_worker->negotiate(negotiationMs, &message);
                if (ok) {
                    bool gone = false;
                    const QByteArray commands = Rfc2217::settingsCommands(s);
                    sendWire(commands, ControlSendMs, &gone);
                    // A send under RTS/CTS asks at once whether CTS is known.
                    if (s.hardwareHandshake)
                        m_worker->awaitModemState(ModemStateWaitMs);
                }
            }
            if (ok && m_worker->m_goneEarly) {
                ok = false;
                message = QStringLiteral("Cannot open port \"%1\": the device server closed "
                                         "the connection at once (is another client connected?)")
                              .arg(s.portName);
            }
            m_worker->m_live = ok;
            if (!ok) {
                m_closing = true;
                m_worker->doClose(false);
            }
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        QMetaObject::invokeMethod(
            m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
        m_worker = nullptr;
        m_ioThread.quit();
        m_ioThread.wait();
        {
            QMutexLocker lock(&g_openNamesMutex);
            g_openNames.remove(key);
        }
        if (error)
            *error = message;
        return false;
    }
    m_holdsPortName = true;
    m_connected = true;
    return true;
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
    QDeadlineTimer deadline(drainBoundMs(outputQueued()));
    bool drained = false;
    for (;;) {
        if (m_closing.load() || isLost())
            break;
        if (outputQueued() == 0) {
            drained = true;
            break;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(1);
    }
    if (drained) {
        QDeadlineTimer settle(ServerSettleMs);
        while (!settle.hasExpired() && !m_closing.load() && !isLost())
            QThread::msleep(5);
    }
    closeLine(!drained);
}

void NetworkSerialLine::closeLine(bool discardOutput)
{
    // Seen by a write in progress within one poll slice, before we queue for its lock.
    m_closing = true;
    {
        QMutexLocker openLock(&m_openMutex);
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
    const QByteArray wire = telnet ? Rfc2217::escapeIac(bytes) : bytes;
    bool gone = false;
    const qint64 sent = sendWire(wire, writeTimeoutMs(bytes.size()), &gone);
    if (sent < 0)
        return -1;
    if (!telnet || sent >= wire.size()) {
        const qint64 accepted = qMin<qint64>(sent, bytes.size());
        noteSent(accepted);
        return accepted;
    }
    // Bytes of the request whose wire form went out whole (an owed 0xFF counts as sent).
    qint64 accepted = 0, at = 0;
    for (const char c : bytes) {
        at += quint8(c) == Rfc2217::Telnet::IAC ? 2 : 1;
        if (at > sent)
            break;
        ++accepted;
    }
    noteSent(accepted);
    return accepted;
}

namespace
{
qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
// Ten bits a character (start, eight, stop), as for a local line's drain.
qint64 transmitNs(qint64 bytes, qint32 baud)
{
    return bytes * 10 * 1000000000LL / qMax<qint32>(1, baud);
}
} // namespace

void NetworkSerialLine::noteSent(qint64 bytes)
{
    if (bytes <= 0)
        return;
    const qint64 now = steadyNs();
    const qint64 start = qMax(now, m_serverBusyUntilNs.load());
    m_serverBusyUntilNs = start + transmitNs(bytes, m_baudRate.load());
}

qint64 NetworkSerialLine::outputQueued() const
{
#ifdef Q_OS_UNIX
    QMutexLocker lock(&m_sendMutex);
    const int fd = m_fd.load();
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &queued) != 0)
        return 0;
    const qint64 busyNs = m_serverBusyUntilNs.load() - steadyNs();
    const qint64 atServer =
        busyNs > 0 ? (busyNs * m_baudRate.load() + 10 * 1000000000LL - 1) / (10 * 1000000000LL) : 0;
    return queued + atServer + (m_owedIac ? 1 : 0);
#else
    return 0;
#endif
}

void NetworkSerialLine::deliverCts(bool on)
{
    if (!m_connected.load())
        return;
    m_cts = on;
    emit ctsChanged(on);
}

#include "NetworkSerialLine.moc"
