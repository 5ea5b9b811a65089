// ncferry-sim: a radio adapter and a machine control to try NCFerry's auto mode without
// machines (training, checking port settings) and to drive its integration tests.
//   ncferry-sim radio [--port PATH] [--device A.B.C.D]...
//   ncferry-sim machine --port PATH [--xon] [--wait SECONDS] [--out FOLDER]
//                       (--request "P1 F2 N1234" | --return FILE)...
#include "tools/sim/RadioAdapterSim.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace
{

std::atomic<bool> g_stop{false};
void onSignal(int)
{
    g_stop = true;
}

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

int usage()
{
    say(QStringLiteral(
        "usage: ncferry-sim radio [--port PATH] [--device A.B.C.D]...\n"
        "       ncferry-sim machine --port PATH [--xon] [--wait SECONDS] [--out FOLDER]\n"
        "                           (--request \"P1 F2 N1234\" | --return FILE)..."));
    return 1;
}

void makeRaw(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// A pseudo-terminal whose slave path is printed for the other program to open.
int openPty(QString *path)
{
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return -1;
    makeRaw(slave);
    makeRaw(master);
    *path = QString::fromLocal8Bit(name);
    return master; // the slave stays open so the master never sees a hang-up
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        else
            QThread::msleep(5);
    }
    return true;
}

int runRadio(QStringList args)
{
    QString port;
    QStringList addresses;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--port") && i + 1 < args.size())
            port = args[++i];
        else if (args[i] == QLatin1String("--device") && i + 1 < args.size())
            addresses << args[++i];
        else
            return usage();
    }
    if (addresses.isEmpty())
        addresses << QStringLiteral("192.168.1.10") << QStringLiteral("192.168.1.11");
    if (addresses.size() > Sim::RadioAdapterSim::DeviceCount)
        return usage();
    for (const QString &a : addresses)
        if (Sim::RadioAdapterSim::addressBytes(a).isEmpty()) {
            say(QStringLiteral("ncferry-sim: \"%1\" is not an address of four numbers").arg(a));
            return 1;
        }
    int pcFd = -1;
    if (port.isEmpty()) {
        pcFd = openPty(&port);
    } else {
        pcFd = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY);
        if (pcFd >= 0)
            makeRaw(pcFd);
    }
    if (pcFd < 0) {
        say(QStringLiteral("ncferry-sim: cannot open the PC side \"%1\"").arg(port));
        return 2;
    }
    std::printf("PC side (give this port to NCFerry): %s\n", qPrintable(port));
    QList<int> deviceFds;
    for (int n = 0; n < addresses.size(); ++n) {
        QString path;
        deviceFds << openPty(&path);
        std::printf("device %d, address %s: %s\n", n, qPrintable(addresses[n]), qPrintable(path));
    }
    std::fflush(stdout);
    Sim::RadioAdapterSim adapter(pcFd, addresses);
    adapter.setDeviceSink([&](int n, const QByteArray &bytes) {
        if (n < deviceFds.size())
            writeAll(deviceFds[n], bytes);
    });
    while (!g_stop) {
        QList<pollfd> fds;
        for (int fd : deviceFds)
            fds << pollfd{fd, POLLIN, 0};
        if (::poll(fds.data(), nfds_t(fds.size()), 100) <= 0)
            continue;
        for (int n = 0; n < fds.size(); ++n) {
            if (!(fds[n].revents & POLLIN))
                continue;
            char buf[1024];
            const ssize_t got = ::read(fds[n].fd, buf, sizeof buf);
            if (got > 0)
                adapter.deviceSends(n, QByteArray(buf, int(got)));
        }
    }
    return 0;
}

int runMachine(QStringList args)
{
    QString port, out;
    bool xon = false;
    int waitSeconds = 30;
    QList<QByteArray> programs;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--port") && hasValue) {
            port = args[++i];
        } else if (a == QLatin1String("--out") && hasValue) {
            out = args[++i];
        } else if (a == QLatin1String("--wait") && hasValue) {
            waitSeconds = args[++i].toInt();
        } else if (a == QLatin1String("--xon")) {
            xon = true;
        } else if (a == QLatin1String("--request") && hasValue) {
            QStringList lines;
            for (const QString &code : args[++i].split(u' ', Qt::SkipEmptyParts))
                lines << u'(' + code + u')';
            programs << Sim::Machine::requestProgram(lines);
        } else if (a == QLatin1String("--return") && hasValue) {
            QFile f(args[++i]);
            if (!f.open(QIODevice::ReadOnly)) {
                say(QStringLiteral("ncferry-sim: cannot read \"%1\"").arg(f.fileName()));
                return 1;
            }
            programs << Sim::Machine::punched(f.readAll());
        } else {
            return usage();
        }
    }
    if (port.isEmpty() || programs.isEmpty())
        return usage();
    const int fd = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        say(QStringLiteral("ncferry-sim: cannot open \"%1\"").arg(port));
        return 2;
    }
    makeRaw(fd);
    int answered = 0, saved = 0;
    for (const QByteArray &program : programs) {
        if (!writeAll(fd, program) || (xon && !writeAll(fd, QByteArray(1, Sim::Machine::XON))))
            break;
        QByteArray got;
        for (int waited = 0; waited < waitSeconds * 100 && !g_stop; ++waited) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) {
                char buf[4096];
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0)
                    got.append(buf, int(n));
            }
            if (got.contains(Sim::Machine::DC4))
                break;
        }
        const QList<QByteArray> answers = Sim::Machine::programsIn(got);
        if (answers.isEmpty()) {
            say(QStringLiteral("ncferry-sim: no answer within %1 s").arg(waitSeconds));
            break;
        }
        ++answered;
        std::printf("%s\n", answers.first().constData());
        if (!out.isEmpty()) {
            QFile f(QDir(out).filePath(QStringLiteral("answer-%1.nc").arg(++saved)));
            if (f.open(QIODevice::WriteOnly))
                f.write(answers.first());
        }
    }
    ::close(fd);
    return answered == programs.size() ? 0 : 3;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("radio"))
        return runRadio(args);
    if (command == QLatin1String("machine"))
        return runMachine(args);
    return usage();
}
