#pragma once
// A ser2net device server for tests, serving pseudo-terminals on 127.0.0.1 in raw or RFC 2217
// mode. Started and stopped by the fixture; it dies with the test process even when a test
// crashes.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

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

    // One connection per line; returns false (with the server's output in error()) when it
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
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // The server must not outlive the test, whatever ends it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(binary(),
                        {"-n", "-u", "-c", config.fileName(), "-P", m_dir.filePath("ser2net.pid")});
        if (!m_process.waitForStarted(5000))
            return false;
        QDeadlineTimer deadline(10000);
        for (const Line &l : lines) {
            while (!listening(l.port)) {
                if (deadline.hasExpired() || m_process.state() != QProcess::Running)
                    return false;
                QThread::msleep(10);
            }
        }
        return true;
    }

    // The device server goes away, as when it is switched off (SIGKILL: no goodbye).
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            kill();
    }

    // True while the server holds the device open (it opens it for a client only).
    bool hasOpen(const QString &device) const
    {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(m_process.processId()));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System))
            if (fd.symLinkTarget() == device)
                return true;
        return false;
    }

    qint64 pid() const { return m_process.processId(); }

    QString output() { return QString::fromLocal8Bit(m_process.readAll()); }

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

    QTemporaryDir m_dir;
    QProcess m_process;
};
