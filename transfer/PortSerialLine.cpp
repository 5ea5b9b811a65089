#include "transfer/PortSerialLine.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSerialPort>
#include <QSet>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace
{

// A port is opened once per process, whatever the driver allows root to do.
QMutex g_openPortsMutex;
QSet<QString> g_openPorts;

QSerialPort::Parity toQt(LineSettings::Parity p)
{
    switch (p) {
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toQt(LineSettings::StopBits s)
{
    switch (s) {
    case LineSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

QString lostText(const QString &port)
{
    return QStringLiteral("Line lost: port \"%1\" is gone (cable or adapter pulled?).").arg(port);
}

#ifdef Q_OS_UNIX
bool errnoMeansGone(int e)
{
    return e == EIO || e == ENXIO || e == ENODEV || e == EBADF || e == EPIPE;
}
#endif

} // namespace

// Lives in the I/O thread; creates and owns the QSerialPort there.
class PortIoWorker : public QObject
{
    Q_OBJECT
public:
    explicit PortIoWorker(PortSerialLine *line) : m_line(line) {}

public slots:
    bool doOpen(const LineSettings &s, QString *error)
    {
        m_port = new QSerialPort(this);
        m_port->setPortName(s.portName);
        if (!m_port->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("Cannot open port \"%1\": %2")
                         .arg(s.portName, m_port->errorString());
            delete m_port;
            m_port = nullptr;
            return false;
        }
        if (!apply(s, error)) {
            m_port->close();
            delete m_port;
            m_port = nullptr;
            return false;
        }
        m_port->setReadBufferSize(0);
        m_port->clear();
        m_portName = s.portName;
        m_devicePath = m_port->portName().startsWith(QLatin1Char('/'))
                           ? m_port->portName()
                           : QStringLiteral("/dev/") + m_port->portName();
        connect(m_port, &QSerialPort::readyRead, this, &PortIoWorker::onReadyRead);
        connect(m_port, &QSerialPort::errorOccurred, this, &PortIoWorker::onError);
        m_cts = false;
        m_port->pinoutSignals();
        m_ctsReadable = m_port->error() == QSerialPort::NoError;
        m_port->clearError();
        m_pollTimer = new QTimer(this);
        connect(m_pollTimer, &QTimer::timeout, this, &PortIoWorker::poll);
        m_handshake = s.hardwareHandshake;
        m_deviceChecked.start();
        m_pollTimer->start(pollInterval());
        return true;
    }

    bool doApply(const LineSettings &s, QString *error)
    {
        if (!m_port)
            return true;
        m_handshake = s.hardwareHandshake;
        if (m_pollTimer && m_pollTimer->isActive())
            m_pollTimer->setInterval(pollInterval());
        return apply(s, error);
    }

    void doClose(bool discardOutput)
    {
        if (m_pollTimer) {
            m_pollTimer->stop();
            delete m_pollTimer;
            m_pollTimer = nullptr;
        }
        if (m_port) {
            m_port->disconnect(this);
            if (m_port->isOpen()) {
                m_port->clear(discardOutput ? QSerialPort::AllDirections : QSerialPort::Input);
                m_port->close();
            }
            delete m_port;
            m_port = nullptr;
        }
    }

    int handle() const { return m_port ? int(m_port->handle()) : -1; }
    bool ctsReadable() const { return m_ctsReadable; }

    qint64 doWrite(const QByteArray &bytes, int timeoutMs)
    {
        if (!m_port)
            return -1;
        if (m_port->write(bytes) < 0)
            return 0;
        QDeadlineTimer deadline(timeoutMs);
        while (m_port->bytesToWrite() > 0 && !deadline.hasExpired())
            m_port->waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())));
        const qint64 unsent = m_port->bytesToWrite();
        if (unsent > 0)
            m_port->clear(QSerialPort::Output);
        return bytes.size() - unsent;
    }

    // The far end has gone: stop reading at once (a hung-up descriptor reports readable
    // for ever) and let the owner decide when to close.
    void goneAway()
    {
        if (!m_port)
            return;
        m_line->markLost(lostText(m_portName));
        if (m_pollTimer)
            m_pollTimer->stop();
        m_port->disconnect(this);
        if (m_port->isOpen())
            m_port->close();
    }

private:
    bool apply(const LineSettings &s, QString *error)
    {
        bool ok = m_port->setBaudRate(s.baudRate) &&
                  m_port->setDataBits(QSerialPort::DataBits(s.dataBits)) &&
                  m_port->setParity(toQt(s.parity)) && m_port->setStopBits(toQt(s.stopBits)) &&
                  m_port->setFlowControl(s.hardwareHandshake ? QSerialPort::HardwareControl
                                                             : QSerialPort::NoFlowControl);
        if (!ok) {
            if (error)
                *error = QStringLiteral("Port \"%1\" refused its settings: %2")
                             .arg(s.portName, m_port->errorString());
            return false;
        }
        // DTR stays off; RTS off unless the handshake drives it. A pseudo-terminal has no
        // modem lines, so refusals here are not failures.
        m_port->setDataTerminalReady(false);
        if (!s.hardwareHandshake)
            m_port->setRequestToSend(false);
        m_port->clearError();
        return true;
    }

    void onReadyRead()
    {
        const auto readAt = PauseGate::Clock::now();
        const QByteArray bytes = m_port->readAll();
        if (bytes.isEmpty())
            return;
        m_line->queueReceived(bytes, readAt);
    }

    void onError(QSerialPort::SerialPortError e)
    {
        if (e == QSerialPort::ResourceError || hungUp())
            goneAway();
    }

    bool hungUp() const
    {
#ifdef Q_OS_UNIX
        if (!m_port || !m_port->isOpen())
            return false;
        pollfd p{int(m_port->handle()), 0, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            return true;
#endif
        return false;
    }

    void poll()
    {
        if (!m_port)
            return;
        bool gone = m_line->isLost() || hungUp();
        if (!gone && m_deviceChecked.elapsed() >= PortSerialLine::DeviceCheckMs) {
            m_deviceChecked.restart();
            gone = !QFileInfo::exists(m_devicePath);
        }
        if (gone) {
            goneAway();
            return;
        }
        if (!m_ctsReadable)
            return;
        const auto pins = m_port->pinoutSignals();
        if (m_port->error() != QSerialPort::NoError) {
            // No modem status (a pseudo-terminal): CTS counts as off for good.
            m_port->clearError();
            m_ctsReadable = false;
            m_pollTimer->setInterval(pollInterval());
            return;
        }
        const bool on = pins.testFlag(QSerialPort::ClearToSendSignal);
        if (on != m_cts) {
            m_cts = on;
            QMetaObject::invokeMethod(m_line, "deliverCts", Qt::QueuedConnection, Q_ARG(bool, on));
        }
    }

    int pollInterval() const
    {
        if (!m_ctsReadable)
            return PortSerialLine::IdleCheckMs;
        return m_handshake ? PortSerialLine::CtsPollMs : PortSerialLine::CtsLampPollMs;
    }

    PortSerialLine *m_line;
    QSerialPort *m_port = nullptr;
    QTimer *m_pollTimer = nullptr;
    QString m_portName;
    QString m_devicePath;
    QElapsedTimer m_deviceChecked;
    bool m_handshake = false;
    bool m_ctsReadable = true;
    bool m_cts = false;
};

PortSerialLine::PortSerialLine(QObject *parent) : SerialLine(parent)
{
    LineSettings s;
    s.portName = QStringLiteral("COM1");
    exchangeSettings(s);
    m_ioThread.setObjectName(QStringLiteral("serial-io"));
}

PortSerialLine::~PortSerialLine()
{
    close();
}

bool PortSerialLine::setSettings(const LineSettings &settings, QString *error)
{
    const LineSettings old = exchangeSettings(settings);
    if (!m_connected.load())
        return true;
    if (old.portName != settings.portName) {
        close();
        return open(error);
    }
    // The open lock keeps the I/O worker from being deleted under us by a close elsewhere.
    QMutexLocker openLock(&m_openMutex);
    if (!m_connected.load() || !m_worker)
        return true;
    bool ok = true;
    QString message;
    QMetaObject::invokeMethod(
        m_worker, [this, settings, &ok, &message] { ok = m_worker->doApply(settings, &message); },
        Qt::BlockingQueuedConnection);
    if (!ok && error)
        *error = message;
    return ok;
}

LineSettings PortSerialLine::settings() const
{
    return storedSettings();
}

bool PortSerialLine::isOpenHere(const QString &portName)
{
    QMutexLocker lock(&g_openPortsMutex);
    return g_openPorts.contains(portName);
}

bool PortSerialLine::open(QString *error)
{
    QMutexLocker openLock(&m_openMutex);
    if (m_connected.load())
        return true;
    const LineSettings s = settings();
    QString message;
    {
        QMutexLocker lock(&g_openPortsMutex);
        if (g_openPorts.contains(s.portName)) {
            message = QStringLiteral("Cannot open port \"%1\": it is in use by another window.")
                          .arg(s.portName);
        } else {
            g_openPorts.insert(s.portName);
        }
    }
    if (!message.isEmpty()) {
        if (error)
            *error = message;
        return false;
    }
    {
        clearReceived();
    }
    clearLost();
    m_worker = new PortIoWorker(this);
    m_worker->moveToThread(&m_ioThread);
    m_ioThread.start();
    bool ok = false;
    int fd = -1;
    QMetaObject::invokeMethod(
        m_worker,
        [&] {
            ok = m_worker->doOpen(s, &message);
            fd = m_worker->handle();
            m_modemLines = m_worker->ctsReadable();
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        QMetaObject::invokeMethod(
            m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
        m_worker = nullptr;
        m_ioThread.quit();
        m_ioThread.wait();
        QMutexLocker lock(&g_openPortsMutex);
        g_openPorts.remove(s.portName);
        if (error)
            *error = message;
        return false;
    }
    m_cts = false;
    m_closing = false;
    m_holdsPortName = true;
    restartPacing();
    m_fd = fd;
    m_connected = true;
    return true;
}

void PortSerialLine::close()
{
    closeLine(true);
}

void PortSerialLine::drainAndClose()
{
    if (!m_connected.load())
        return;
    // What did not go out within the bound is discarded, or the driver's own close would
    // wait for the machine. A drained line keeps its last bytes for the peer.
    closeLine(!waitForDrain(m_closing));
}

bool PortSerialLine::transmitterEmpty() const
{
#ifdef Q_OS_UNIX
    // The UART's own FIFO empties after the driver queue, where the driver can tell.
    QMutexLocker lock(&m_writeMutex);
    const int fd = m_fd.load();
    int lsr = 0;
    if (fd < 0 || ::ioctl(fd, TIOCSERGETLSR, &lsr) != 0)
        return true;
    return (lsr & TIOCSER_TEMT) != 0;
#else
    return true;
#endif
}

void PortSerialLine::closeLine(bool discardOutput)
{
    // Seen by a write in progress within one poll slice, before we queue for its lock.
    m_closing = true;
    wakePacer();
    {
        QMutexLocker openLock(&m_openMutex);
        if (!m_connected.load())
            return;
        {
            QMutexLocker writeLock(&m_writeMutex);
            m_fd = -1;
            m_connected = false;
        }
        // The blocking call returns through Qt's own semaphore, out of ThreadSanitizer's
        // sight; the flag carries the I/O thread's last accesses over to this one.
        std::atomic<bool> workerGone{false};
        QMetaObject::invokeMethod(
            m_worker,
            [this, discardOutput, &workerGone] {
                m_worker->doClose(discardOutput);
                delete m_worker;
                workerGone.store(true, std::memory_order_release);
            },
            Qt::BlockingQueuedConnection);
        (void)workerGone.load(std::memory_order_acquire);
        m_worker = nullptr;
        m_ioThread.quit();
        m_ioThread.wait();
        clearReceived();
        releasePortName();
    }
    emit afterClose();
}

void PortSerialLine::markLost(const QString &message)
{
    // Lost before the descriptor goes: a write that finds no descriptor must see why.
    noteLost(message);
    {
        QMutexLocker writeLock(&m_writeMutex);
        m_fd = -1;
    }
    // A replugged adapter comes back under the same name: another window may take it
    // while this one still shows what happened.
    releasePortName();
    reportLost(message);
}

void PortSerialLine::releasePortName()
{
    if (!m_holdsPortName.exchange(false))
        return;
    // Read before the registry's lock: never a line's lock under it.
    const QString name = settings().portName;
    QMutexLocker lock(&g_openPortsMutex);
    g_openPorts.remove(name);
}

qint64 PortSerialLine::write(const QByteArray &bytes)
{
    if (!m_connected.load() || isLost())
        return -1;
    if (bytes.isEmpty())
        return 0;
    const int timeoutMs = writeTimeoutMs(bytes.size());
#ifdef Q_OS_UNIX
    // Straight to the descriptor: one system call per request keeps per-character sending
    // cheap, and the mutex keeps requests from different threads whole.
    QMutexLocker lock(&m_writeMutex);
    const int fd = m_fd.load();
    if (fd < 0)
        return -1;
    QDeadlineTimer deadline(timeoutMs);
    // Under the write lock the descriptor stays ours.
    const auto queued = [fd]() -> qint64 {
        int q = 0;
        return ::ioctl(fd, TIOCOUTQ, &q) == 0 ? q : 0;
    };
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 room = awaitRoom(bytes.size() - done, deadline, queued, m_closing);
        if (room < 0)
            return done > 0 ? done : -1;
        if (room == 0)
            break;
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(room));
        if (n > 0) {
            handedOn(n);
            done += n;
            continue;
        }
        if (n < 0 && errnoMeansGone(errno)) {
            // The I/O thread sees the mark on its next poll and stops reading.
            lock.unlock();
            markLost(lostText(settings().portName));
            return done > 0 ? done : -1;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            break;
        if (deadline.hasExpired() || m_closing.load() || isLost())
            break;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, int(qMin<qint64>(20, qMax<qint64>(1, deadline.remainingTime()))));
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            lock.unlock();
            markLost(lostText(settings().portName));
            return done > 0 ? done : -1;
        }
    }
    return done;
#else
    QMutexLocker lock(&m_writeMutex);
    if (!m_worker)
        return -1;
    qint64 done = 0;
    QMetaObject::invokeMethod(
        m_worker, [&] { done = m_worker->doWrite(bytes, timeoutMs); },
        Qt::BlockingQueuedConnection);
    return done;
#endif
}

qint64 PortSerialLine::outputQueued() const
{
#ifdef Q_OS_UNIX
    QMutexLocker lock(&m_writeMutex);
    const int fd = m_fd.load();
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
#else
    return 0;
#endif
}

void PortSerialLine::deliverCts(bool on)
{
    if (!m_connected.load())
        return;
    m_cts = on;
    emit ctsChanged(on);
}

#include "PortSerialLine.moc"
