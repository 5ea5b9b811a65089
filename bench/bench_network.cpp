// Scale check for lines behind a device server: one ncferry-cli auto process serves N cable
// lines through one ser2net on 127.0.0.1 (alternately RFC 2217 and raw TCP), each line with a
// machine control on a pseudo-terminal that asks for a program and returns one, in turn.
// Every answer and every stored program is checked byte for byte.
// Options: --lines N (32), --rounds N (10 requests and 10 returns per line), --cli PATH.
#include "ProcessCpu.h"
#include "PtyPair.h"
#include "Ser2Net.h"
#include "settings/PortSetting.h"
#include "tools/sim/RadioAdapterSim.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Machine = Sim::Machine;

namespace
{

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray returned(int line, int round)
{
    QByteArray t = "%\nO" + QByteArray::number(5000 + round) + "(L" + QByteArray::number(line) +
                   " R" + QByteArray::number(round) + ")\n";
    for (int i = 0; i < 20; ++i)
        t += "N" + QByteArray::number(i) + "G01X" + QByteArray::number(line) + "." +
             QByteArray::number(i) + "Z-" + QByteArray::number(round) + ".F0.1\n";
    return t + "M30\n%";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int lineCount = 32, rounds = 10;
    QString cli = QCoreApplication::applicationDirPath() + "/ncferry-cli";
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--lines")
            lineCount = qMax(1, args[i + 1].toInt());
        else if (args[i] == "--rounds")
            rounds = qMax(1, args[i + 1].toInt());
        else if (args[i] == "--cli")
            cli = args[i + 1];
    }
    if (Ser2Net::binary().isEmpty()) {
        std::printf("skipped: ser2net is not installed (make deps installs it)\n");
        return 0;
    }

    QTemporaryDir dir;
    const QString nc = dir.filePath("NC"), work = dir.filePath("work");
    QDir().mkpath(nc);
    QDir().mkpath(work);
    QByteArray requested = "%\r\nO1234(REQUESTED)\r\n";
    for (int i = 0; i < 40; ++i)
        requested += "N" + QByteArray::number(i) + "G00X" + QByteArray::number(i) + ".Z1.\r\n";
    requested += "M30\r\n%\r\n";
    {
        QFile f(nc + "/O1234.nc");
        if (!f.open(QIODevice::WriteOnly) || f.write(requested) != requested.size())
            return 1;
    }
    const QString options = dir.filePath("Option.ini");
    {
        QFile f(options);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(
            "\xEF\xBB\xBF[General]\r\nCheck=240\r\nFileSave=9997\r\nATRead=9999\r\nPathList=\"" +
            nc.toUtf8() + "\"\r\n");
    }

    std::vector<std::unique_ptr<PtyPair>> ptys;
    QList<Ser2Net::Line> lines;
    for (int n = 0; n < lineCount; ++n) {
        ptys.push_back(std::make_unique<PtyPair>());
        lines.append({ptys.back()->slavePath(), n % 2 ? Ser2Net::Raw : Ser2Net::Rfc2217, 0});
    }
    Ser2Net server;
    if (!server.start(lines)) {
        std::printf("ser2net did not start: %s\n", qPrintable(server.output()));
        return 1;
    }
    QStringList cliArgs{"auto"};
    for (int n = 0; n < lineCount; ++n) {
        const QString url = QStringLiteral("%1://127.0.0.1:%2")
                                .arg(lines[n].mode == Ser2Net::Rfc2217 ? "rfc2217" : "tcp")
                                .arg(lines[n].port);
        cliArgs << "--port-setting"
                << PortSetting::join({QStringLiteral("M%1").arg(n), url, "115200", "None", "8", "1",
                                      "None", work, "*.nc", "None"})
                << "--log" << dir.filePath(QStringLiteral("log/M%1.txt").arg(n));
    }
    cliArgs << "--options" << options;

    QProcess service;
    // Its log lines and messages are kept aside; shown only when something went wrong.
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.setStandardOutputFile(dir.filePath("service.txt"));
    QElapsedTimer wall;
    wall.start();
    service.start(cli, cliArgs);
    if (!service.waitForStarted(5000)) {
        std::printf("cannot start %s\n", qPrintable(cli));
        return 1;
    }

    std::atomic<int> answersOk{0}, storedOk{0}, failures{0};
    std::vector<std::thread> machines;
    for (int n = 0; n < lineCount; ++n) {
        machines.emplace_back([&, n] {
            PtyPair &pty = *ptys[n];
            QByteArray in;
            int seen = 0;
            auto await = [&] {
                const bool ok = Sim::RadioAdapterSim::waitUntil(
                    [&] {
                        in += pty.readAvailable();
                        return Machine::programsIn(in).size() > seen;
                    },
                    30000);
                ++seen;
                return ok;
            };
            if (!Sim::RadioAdapterSim::waitUntil([&] { return server.hasOpen(pty.slavePath()); },
                                                 30000)) {
                ++failures;
                return;
            }
            QThread::msleep(100);
            for (int r = 0; r < rounds; ++r) {
                pty.send(Machine::requestProgram({"(P1)", "(N1234)"}));
                if (!await()) {
                    ++failures;
                    return;
                }
                if (Machine::programsIn(in).value(seen - 1) == requested)
                    ++answersOk;
                pty.send(Machine::punched(returned(n, r)));
                if (!await()) {
                    ++failures;
                    return;
                }
            }
        });
    }
    for (std::thread &t : machines)
        t.join();
    const double elapsed = wall.elapsed() / 1000.0;
    const double cpu = cpuSeconds(service.processId());
    const double serverCpu = cpuSeconds(server.pid());
    service.terminate();
    service.waitForFinished(40000);
    for (int n = 0; n < lineCount; ++n)
        for (int r = 0; r < rounds; ++r) {
            const QString path = work + QStringLiteral("/L%1 R%2.nc").arg(n).arg(r);
            if (readFile(path) == returned(n, r).replace("\n", "\r\n"))
                ++storedOk;
        }
    const int expected = lineCount * rounds;
    std::printf("network: %d lines through one ser2net (RFC 2217 and raw alternately), %d "
                "requests and %d returns each\n",
                lineCount, rounds, rounds);
    std::printf("  answers exact %d/%d, programs stored exact %d/%d, machines stuck %d\n",
                answersOk.load(), expected, storedOk.load(), expected, failures.load());
    std::printf("  wall %.1f s; ncferry-cli CPU %.2f s in all, %.1f ms per line, exit status %d\n",
                elapsed, cpu, cpu * 1000.0 / lineCount, service.exitCode());
    std::printf("  (ser2net CPU %.2f s)\n", serverCpu);
    server.stop();
    const bool ok = answersOk == expected && storedOk == expected && failures == 0;
    if (!ok)
        std::printf("%s\n", readFile(dir.filePath("service.txt")).right(4000).constData());
    return ok ? 0 : 1;
}
