#include "transfer/PortSerialLine.h"

#include "transfer/PortIoWorker.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace
{

#ifdef Q_OS_UNIX
bool errnoMeansGone(int e)
{
    return e == EIO || e == ENXIO || e == ENODEV || e == EBADF || e == EPIPE;
}
#endif

} // namespace

QString PortSerialLine::lostText(const QString &port)
{
    return QStringLiteral("Line lost: port \"%1\" is gone (cable or adapter pulled?).").arg(port);
}

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
    return DeviceClaim::isPortClaimed(portName);
}

bool PortSerialLine::open(QString *error)
{
    QMutexLocker openLock(&m_openMutex);
    if (m_connected.load())
        return true;
    const LineSettings s = settings();
    QString message;
    // A port is opened once per process, whatever the driver allows root to do. Held
    // before the I/O thread starts, so that a line lost at once lets go of it too.
    m_claim = DeviceClaim::port(s.portName, &message);
    if (!m_claim.isHeld()) {
        if (error)
            *error = message;
        return false;
    }
    clearReceived();
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
        m_claim.release();
        if (error)
            *error = message;
        return false;
    }
    m_cts = false;
    m_closing = false;
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
        m_claim.release();
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
    m_claim.release();
    reportLost(message);
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
