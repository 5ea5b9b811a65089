// What idle lines cost: one ncferry-cli auto process serving N pseudo-terminal lines on which
// nothing happens, its CPU over a quiet stretch, beside a process that waits on the same
// lines with poll() and no time-out (what waiting costs at best).
// Target: 256 idle lines under 1 % of a core in all.
// Options: --lines N,N... (32,256), --seconds S (10), --cli PATH.
#include "ProcessCpu.h"
#include "PtyPair.h"
#include "settings/PortSetting.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

constexpr double TargetPercentAt256 = 1.0;

// Percent of one core the process used over `seconds`, after it has settled.
double idlePercent(qint64 pid, double seconds)
{
    QThread::msleep(3000);
    const double before = cpuSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    QThread::msleep(qint64(seconds * 1000));
    const double after = cpuSeconds(pid);
    if (before < 0 || after < 0)
        return -1;
    return 100.0 * (after - before) / (wall.nsecsElapsed() / 1e9);
}

// The best a waiting process can do: poll() on every line, no time-out.
qint64 startBlockingWaiter(const std::vector<std::unique_ptr<PtyPair>> &ptys)
{
    std::vector<int> fds;
    for (const auto &p : ptys) {
        const int fd = ::open(QFile::encodeName(p->slavePath()).constData(), O_RDWR | O_NOCTTY);
        fds.push_back(fd);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<pollfd> watch;
        for (int fd : fds)
            watch.push_back({fd, POLLIN, 0});
        for (;;)
            ::poll(watch.data(), watch.size(), -1);
    }
    for (int fd : fds)
        ::close(fd);
    return pid;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> counts{32, 256};
    double seconds = 10;
    QString cli = QCoreApplication::applicationDirPath() + "/ncferry-cli";
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--lines") {
            counts.clear();
            for (const QString &n : args[i + 1].split(u','))
                counts << n.toInt();
        } else if (args[i] == "--seconds") {
            seconds = args[i + 1].toDouble();
        } else if (args[i] == "--cli") {
            cli = args[i + 1];
        }
    }

    bool ok = true;
    std::printf("idle lines: CPU of one ncferry-cli auto over %.0f s with nothing on its lines\n",
                seconds);
    for (int lineCount : counts) {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("nc");
        QDir(dir.path()).mkpath("log");
        const QString options = dir.filePath("Option.ini");
        QFile f(options);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("\xEF\xBB\xBF[General]\r\nCheck=240\r\nFileSave=9997\r\nATRead=9999\r\n");
        f.close();
        std::vector<std::unique_ptr<PtyPair>> ptys;
        QStringList cliArgs{"auto"};
        for (int n = 0; n < lineCount; ++n) {
            ptys.push_back(std::make_unique<PtyPair>());
            if (!ptys.back()->isValid()) {
                std::printf("cannot make pseudo-terminal %d\n", n + 1);
                return 1;
            }
            cliArgs << "--port-setting"
                    << PortSetting::join({QStringLiteral("M%1").arg(n), ptys.back()->slavePath(),
                                          "9600", "None", "8", "1", "Xon/Xoff", dir.filePath("nc"),
                                          "*.nc", "None"})
                    << "--log" << dir.filePath(QStringLiteral("log/M%1.txt").arg(n));
        }
        cliArgs << "--options" << options;

        QProcess service;
        service.setProcessChannelMode(QProcess::MergedChannels);
        service.setStandardOutputFile(dir.filePath("service.txt"));
        service.start(cli, cliArgs);
        if (!service.waitForStarted(5000)) {
            std::printf("cannot start %s\n", qPrintable(cli));
            return 1;
        }
        const double ours = idlePercent(service.processId(), seconds);
        const bool alive = service.state() == QProcess::Running;
        service.terminate();
        service.waitForFinished(20000);

        const qint64 waiter = startBlockingWaiter(ptys);
        const double best = idlePercent(waiter, seconds);
        ::kill(pid_t(waiter), SIGKILL);
        ::waitpid(pid_t(waiter), nullptr, 0);

        std::printf("  %3d lines: ncferry-cli %.2f %% of a core (%.1f us per line per second); "
                    "poll() waiter %.2f %%%s\n",
                    lineCount, ours, ours * 1e4 / lineCount, best,
                    alive ? "" : "  (ncferry-cli had ended: see its output)");
        if (!alive || ours < 0)
            ok = false;
        if (lineCount == 256) {
            const bool met = ours >= 0 && ours < TargetPercentAt256;
            std::printf("  target: 256 idle lines under %.0f %% of a core: %s\n",
                        TargetPercentAt256, met ? "met" : "MISSED");
            ok = ok && met;
        }
    }
    return ok ? 0 : 1;
}
