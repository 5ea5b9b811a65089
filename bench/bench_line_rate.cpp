// ncferry-cli send against a control that takes characters at the line's real rate.
//   Throughput: characters the control received per second, as a share of the line rate, at
//   9600, 115,200 and 921,600 baud. Target >= 98 %. Beside it a minimal writer that hands
//   the pty everything at once (the ceiling of the control itself).
//   CPU per character at 115,200 baud: the whole ncferry-cli process (start included) beside
//   a minimal C writer doing one write() per character on the same kind of line, in the same
//   run. Target <= 1.5x the writer: then one PC feeds 32 lines at 115,200 baud with under a
//   quarter of a core.
#include "LineRateControl.h"
#include "PtyPair.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

QByteArray program(qint64 chars)
{
    QByteArray body("%\nO2000(RATE)\n");
    for (int i = 0; body.size() < chars; ++i)
        body += "N" + QByteArray::number(i) + "G1X" + QByteArray::number(i % 997) + ".25Y-" +
                QByteArray::number(i % 311) + ".5\n";
    return body + "M30\n%\n";
}

struct Outcome {
    qint64 chars = 0;
    double share = 0;      // of the line rate, first to last character
    double cpuSeconds = 0; // of the writing process
    bool exact = false;
    double exitAfterCarriedMs = 0; // the process ended this long after the line carried it all
};

double cpuOf(const rusage &ru)
{
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
           ru.ru_stime.tv_usec / 1e6;
}

// Runs `child` in a process of its own while the control takes what it writes.
template <typename Child>
Outcome measure(PtyPair &pty, LineRateControl &control, const QByteArray &expected, Child child)
{
    Outcome o;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
        child();
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    const auto exitedAt = LineRateControl::Clock::now();
    o.cpuSeconds = cpuOf(ru);
    o.chars = control.written().size();
    o.exact = WIFEXITED(status) && WEXITSTATUS(status) == 0 && control.written() == expected;
    const double seconds =
        std::chrono::duration<double>(control.lastCarriedAt() - control.firstStartedAt()).count();
    o.share = seconds > 0 ? o.chars / seconds / control.charsPerSecond() : 0;
    o.exitAfterCarriedMs =
        std::chrono::duration<double, std::milli>(exitedAt - control.lastCarriedAt()).count();
    (void)pty;
    return o;
}

Outcome viaCli(int baud, const QString &path, const QByteArray &sent)
{
    PtyPair pty;
    LineSettings s = pty.lineSettings();
    s.baudRate = baud;
    LineRateControl control(pty, s);
    const QByteArray cli =
        QFile::encodeName(QCoreApplication::applicationDirPath() + "/ncferry-cli");
    const QByteArray rec = QStringLiteral("Bench,%1,%2,None,8,1,None,/nc,*.nc,None")
                               .arg(pty.slavePath())
                               .arg(baud)
                               .toLocal8Bit();
    const QByteArray file = QFile::encodeName(path);
    return measure(pty, control, sent, [&] {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::execl(cli.constData(), "ncferry-cli", "send", "--port-setting", rec.constData(),
                file.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    });
}

qint64 monotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The least a program can do: open the port and write each character on its own. Paced:
// the same, sleeping whenever it is `lead` characters ahead of the line's clock until half
// of them went (what any writer that stays with its line must at least do).
Outcome viaMinimalWriter(int baud, const QByteArray &sent, int lead = 0)
{
    PtyPair pty;
    LineSettings s = pty.lineSettings();
    s.baudRate = baud;
    LineRateControl control(pty, s);
    const QByteArray port = QFile::encodeName(pty.slavePath());
    const qint64 charNs = qint64(1e10 / baud);
    return measure(pty, control, sent, [&] {
        const int fd = ::open(port.constData(), O_WRONLY | O_NOCTTY);
        if (fd < 0)
            ::_exit(1);
        qint64 freeAt = 0;
        for (const char c : sent) {
            if (lead > 0) {
                const qint64 now = monotonicNs();
                if (freeAt - now >= lead * charNs) {
                    const qint64 sleep = freeAt - now - lead / 2 * charNs;
                    const timespec ts{time_t(sleep / 1000000000), long(sleep % 1000000000)};
                    ::nanosleep(&ts, nullptr);
                }
                freeAt = std::max(monotonicNs(), freeAt) + charNs;
            }
            if (::write(fd, &c, 1) != 1)
                ::_exit(1);
        }
        ::_exit(0);
    });
}

QByteArray onWire(QByteArray body)
{
    // Sent up to and including the second "%", each O as ":", framed by DC2 and DC4.
    body.chop(1);
    body.replace('O', ':');
    return QByteArray(1, '\x12') + body + QByteArray(1, '\x14');
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    bool ok = true;

    std::printf("throughput at the line rate (ncferry-cli send, 3 s of line time each)\n");
    for (const int baud : {9600, 115200, 921600}) {
        const QByteArray body = program(baud / 10 * 3);
        const QString path = dir.filePath(QStringLiteral("T%1.nc").arg(baud));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
            return 1;
        f.close();
        const QByteArray sent = onWire(body);
        const Outcome ours = viaCli(baud, path, sent);
        const Outcome ceiling = viaMinimalWriter(baud, sent);
        const bool met = ours.exact && ours.share >= 0.98 && ours.exitAfterCarriedMs >= 0;
        std::printf("  %7d baud: %6.2f %% of the line rate (%lld characters, %s; exited %.1f ms "
                    "after the line carried the last one); minimal writer %6.2f %%; target >= "
                    "98 %%: %s\n",
                    baud, ours.share * 100, static_cast<long long>(ours.chars),
                    ours.exact ? "byte-exact" : "NOT EXACT", ours.exitAfterCarriedMs,
                    ceiling.share * 100, met ? "met" : "MISSED");
        ok = ok && met;
    }

    std::printf("CPU per character at 115,200 baud (20 s of line time)\n");
    {
        const QByteArray body = program(11520 * 20);
        const QString path = dir.filePath(QStringLiteral("C.nc"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
            return 1;
        f.close();
        const QByteArray sent = onWire(body);
        const Outcome ours = viaCli(115200, path, sent);
        const Outcome writer = viaMinimalWriter(115200, sent);
        const Outcome pacedWriter = viaMinimalWriter(115200, sent, 22);
        const auto us = [&](const Outcome &o) { return o.cpuSeconds / double(sent.size()) * 1e6; };
        const double ratio = us(writer) > 0 ? us(ours) / us(writer) : 0;
        const bool met = ours.exact && ratio <= 1.5;
        std::printf("  ncferry-cli send:      %.2f us per character (%.2f s CPU, %s)\n", us(ours),
                    ours.cpuSeconds, ours.exact ? "byte-exact" : "NOT EXACT");
        std::printf("  minimal writer:        %.2f us per character (%.2f s CPU), unpaced\n",
                    us(writer), writer.cpuSeconds);
        std::printf("  minimal paced writer:  %.2f us per character (%.2f s CPU, %.2f %% of the "
                    "line rate), 22 characters ahead at most\n",
                    us(pacedWriter), pacedWriter.cpuSeconds, pacedWriter.share * 100);
        std::printf("  ratio %.2f to the writer, %.2f to the paced writer; 32 lines would take "
                    "%.1f %% of a core; target <= 1.5x the writer: %s\n",
                    ratio, us(pacedWriter) > 0 ? us(ours) / us(pacedWriter) : 0,
                    us(ours) * 11520 * 32 / 1e4, met ? "met" : "MISSED");
        ok = ok && met;
    }
    std::printf("result: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
