#include "transfer/NetworkSerialLine.h"

#include "transfer/NetIoWorker.h"
#include "transfer/Rfc2217.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QRegularExpression>

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

#ifdef Q_OS_UNIX
bool errnoMeansGone(int e)
{
    return e == EPIPE || e == ECONNRESET || e == ENOTCONN || e == EBADF || e == ETIMEDOUT ||
           e == EHOSTUNREACH || e == ENETUNREACH;
}
#endif

} // namespace

QString NetworkSerialLine::lostText(const QString &name)
{
    return QStringLiteral("Line lost: port \"%1\" is gone (the device server closed the "
                          "connection, or the network is down).")
        .arg(name);
}

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
    // One server port is one device, whichever kind of line names it.
    m_claim = DeviceClaim::network(s->portName, address.host, address.port, error);
    if (!m_claim.isHeld())
        return false;
    m_address = address;
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
    m_claim.release();
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
