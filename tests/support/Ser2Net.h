#pragma once
// A ser2net device server for tests, serving pseudo-terminals on 127.0.0.1 in raw or RFC 2217
// mode. Started and stopped by the fixture; it dies with the test process even when a test
// crashes. A plain fork and exec, not QProcess: ThreadSanitizer (clang 14) stops on the clone()
// that QProcess starts children with.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class Ser2Net
{
public:
    enum Mode { Raw, Rfc2217 };
    struct Line {
        QString device; // the pty slave ser2net opens
        Mode mode;
        quint16 port = 0;
    };

    static QString binary()
    {
        return QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/usr/bin", "/sbin"});
    }

    // A port nobody listens on now (taken from the kernel, then released).
    static quint16 freePort()
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        return probe.serverPort();
    }

    ~Ser2Net() { stop(); }

    // One connection per line; returns false (with the server's output in output()) when it
    // did not come up listening on every port.
    bool start(QList<Line> &lines)
    {
        QString yaml;
        for (int i = 0; i < lines.size(); ++i) {
            if (lines[i].port == 0)
                lines[i].port = freePort();
            yaml += QStringLiteral("connection: &line%1\n"
                                   "  accepter: %2tcp,127.0.0.1,%3\n"
                                   "  connector: serialdev,%4,local\n")
                        .arg(i)
                        .arg(lines[i].mode == Rfc2217 ? "telnet(rfc2217)," : "")
                        .arg(lines[i].port)
                        .arg(lines[i].device);
        }
        QFile config(m_dir.filePath("ser2net.yaml"));
        if (!config.open(QIODevice::WriteOnly) || config.write(yaml.toUtf8()) < 0)
            return false;
        config.close();
        stop();
        // Everything the child needs is made before the fork: between fork and exec it may
        // only make system calls.
        const QByteArray program = QFile::encodeName(binary());
        QList<QByteArray> words{program,
                                "-n",
                                "-u",
                                "-c",
                                QFile::encodeName(config.fileName()),
                                "-P",
                                QFile::encodeName(m_dir.filePath("ser2net.pid"))};
        std::vector<char *> argv;
        for (QByteArray &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        const QByteArray out = QFile::encodeName(m_dir.filePath("ser2net.out"));
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            // The server must not outlive the test, whatever ends it.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
            const int fd = ::open(out.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (fd >= 0) {
                ::dup2(fd, STDOUT_FILENO);
                ::dup2(fd, STDERR_FILENO);
            }
            ::execv(program.constData(), argv.data());
            ::_exit(127);
        }
        if (m_pid < 0) {
            m_pid = 0;
            return false;
        }
        QDeadlineTimer deadline(10000);
        for (const Line &l : lines) {
            while (!listening(l.port)) {
                if (deadline.hasExpired() || !running())
                    return false;
                QThread::msleep(10);
            }
        }
        return true;
    }

    // The device server goes away, as when it is switched off (SIGKILL: no goodbye).
    void kill()
    {
        if (!running())
            return;
        ::kill(m_pid, SIGKILL);
        reap(true);
    }

    void stop()
    {
        if (!running())
            return;
        ::kill(m_pid, SIGTERM);
        const QDeadlineTimer deadline(3000);
        while (running() && !deadline.hasExpired())
            QThread::msleep(5);
        kill();
    }

    // True while the server holds the device open (it opens it for a client only).
    bool hasOpen(const QString &device) const
    {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_pid));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System))
            if (fd.symLinkTarget() == device)
                return true;
        return false;
    }

    qint64 pid() const { return m_pid; }

    // What the server printed since it was first started.
    QString output()
    {
        QFile f(m_dir.filePath("ser2net.out"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }

private:
    // Reading the kernel's socket table does not open a session with the server.
    static bool listening(quint16 port)
    {
        QFile tcp("/proc/net/tcp");
        if (!tcp.open(QIODevice::ReadOnly))
            return false;
        const QByteArray local =
            "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray &row : tcp.readAll().split('\n')) {
            const QList<QByteArray> f = row.simplified().split(' ');
            if (f.size() > 3 && f[1] == local && f[3] == "0A")
                return true;
        }
        return false;
    }

    bool running()
    {
        reap(false);
        return m_pid > 0;
    }
    void reap(bool wait)
    {
        if (m_pid > 0 && ::waitpid(m_pid, nullptr, wait ? 0 : WNOHANG) == m_pid)
            m_pid = 0;
    }

    QTemporaryDir m_dir;
    pid_t m_pid = 0;
};
