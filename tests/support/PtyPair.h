#pragma once
// A pseudo-terminal pair for tests: the program opens the slave by path, the test plays
// the machine control on the master side.
#include "settings/LineSettings.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QLockFile>
#include <QString>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
        ::tcgetattr(m_master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        // A program the test starts must not keep the far end alive behind its back.
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        m_slavePath = QString::fromLocal8Bit(name);
    }
    ~PtyPair()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
        removeStaleLock();
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return !m_slavePath.isEmpty(); }
    // The far end goes away, as when a USB adapter is pulled.
    void hangUp()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
        m_slave = m_master = -1;
    }
    // The path the program opens as its port name.
    QString slavePath() const { return m_slavePath; }
    // A rate at which the line's pacing leaves byte-exact tests as fast as the pty itself.
    static constexpr int FastBaud = 3000000;

    // Line settings for the slave: 8N1 (all a pty takes), NUL bytes dropped as a sender's are.
    LineSettings lineSettings() const
    {
        LineSettings s;
        s.portName = m_slavePath;
        s.baudRate = FastBaud;
        s.discardNull = true;
        return s;
    }
    int masterFd() const { return m_master; }

    // What the control sends to the program.
    bool send(const QByteArray &bytes)
    {
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else {
                pollfd p{m_master, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
        return true;
    }

    // Everything the program sent so far (non-blocking).
    QByteArray readAvailable()
    {
        QByteArray out;
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, int(n));
        }
        return out;
    }

    // Reads until `count` bytes arrived or `timeoutMs` passed; processes no events.
    QByteArray readBytes(qint64 count, int timeoutMs)
    {
        QByteArray out;
        QDeadlineTimer deadline(timeoutMs);
        while (out.size() < count && !deadline.hasExpired()) {
            out += readAvailable();
            if (out.size() >= count)
                break;
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 5);
        }
        return out;
    }

private:
    // A test that kills a program holding this pty leaves its lock file behind. The next
    // process to get the same pty number would find it, and one that is not root cannot
    // remove a root's file from the sticky lock folder: so it goes with the pair.
    void removeStaleLock() const
    {
        if (!m_slavePath.startsWith(QLatin1String("/dev/")))
            return;
        const QString name = QStringLiteral("LCK..") + m_slavePath.mid(5).replace('/', '_');
        for (const char *folder : {"/var/lock", "/run/lock"}) {
            QLockFile lock(QString::fromLatin1(folder) + QLatin1Char('/') + name);
            qint64 pid = 0;
            QString host, program;
            if (lock.getLockInfo(&pid, &host, &program) && pid > 0 && ::kill(pid_t(pid), 0) == -1 &&
                errno == ESRCH)
                lock.removeStaleLockFile();
        }
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
