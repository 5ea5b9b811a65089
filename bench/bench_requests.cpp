// Remote requests over a pseudo-terminal: a cable machine asks for a listing of a folder of
// 10,000 programs ("(LIST)"). Figures: the handling alone (request in, listing entry out),
// and the time from the request's DC4 to the answer's first byte (DC2) through the link,
// without and with an answer delay. Bound: one 100 ms dispatcher tick beyond the delay.
// Baseline in the same run: an exact-name request answered from the same folder.
// Options: --programs N, --round-trips N.
#include "PtyPair.h"
#include "automode/AutoLink.h"
#include "tools/sim/RadioAdapterSim.h"
#include "transfer/LineControl.h"
#include "transfer/PortSerialLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

using namespace AutoMode;
using namespace LineControl;
using Sim::RadioAdapterSim;
namespace Machine = Sim::Machine;

namespace
{

struct Figures {
    double median = -1, max = -1;
};

Figures figuresOf(std::vector<double> ms)
{
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

std::vector<double> roundTrips(const QString &nc, const QString &work, const QStringList &lines,
                               int delayMs, int count)
{
    PtyPair pty;
    PortSerialLine line;
    line.setSettings(pty.lineSettings());
    QString error;
    if (!line.open(&error))
        return {};
    GeneralValues v;
    v.pathList = {nc};
    AutoLink link(&line,
                  PortProfile::fromFields({"C", pty.slavePath(), "115200", "None", "8", "1", "None",
                                           work, "*.nc", "None"}),
                  [v] { return v; });
    RequestOptions options;
    options.answerDelayMs = delayMs;
    link.setRequestOptions(options);
    link.start();
    std::vector<double> ms;
    std::atomic<bool> done{false};
    std::thread machine([&] {
        const QByteArray request = Machine::requestProgram(lines);
        for (int i = 0; i < count; ++i) {
            pty.send(request);
            QElapsedTimer t;
            t.start();
            QByteArray got;
            while (!got.contains(DC2) && t.elapsed() < 20000)
                got += pty.readBytes(1, 50);
            ms.push_back(t.nsecsElapsed() / 1e6);
            while (!got.contains(DC4) && t.elapsed() < 30000)
                got += pty.readBytes(4096, 50);
            // Past the pause after a sent file, at a different phase of the dispatcher each time.
            QThread::msleep(237);
        }
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    machine.join();
    link.stop();
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    int programs = 10000, count = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--programs") == 0)
            programs = QByteArray(argv[++i]).toInt();
        else if (qstrcmp(argv[i], "--round-trips") == 0)
            count = qMax(1, QByteArray(argv[++i]).toInt());
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString nc = dir.filePath("NC"), work = dir.filePath("w");
    QDir().mkpath(nc);
    for (int i = 0; i < programs; ++i) {
        QFile f(QStringLiteral("%1/O%2.nc").arg(nc).arg(i, 5, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("%\r\nO1\r\nG00X1.\r\nM30\r\n%\r\n");
    }
    const int tick = LinkTimings().tickMs;
    const QStringList listing{"(P1)", "(LIST)"};

    // The handling alone, as the link calls it on the window thread.
    RequestProtocol protocol(PortProfile::fromFields({"C", "tty", "115200", "None", "8", "1",
                                                      "None", work, "*.nc", "None"}),
                             [nc] {
                                 GeneralValues v;
                                 v.pathList = {nc};
                                 return v;
                             });
    std::vector<double> handling;
    int listed = 0;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        const Handling h = protocol.HandleProgram(0, QStringList{"%", "O9999"} + listing);
        handling.push_back(t.nsecsElapsed() / 1e6);
        listed = h.entries.isEmpty() ? 0 : int(h.entries.first().detail.size());
    }
    const Figures hand = figuresOf(handling);

    const int delayMs = 500;
    const Figures exact = figuresOf(roundTrips(nc, work, {"(P1)", "(N00042)"}, 0, count));
    const Figures list = figuresOf(roundTrips(nc, work, listing, 0, count));
    const Figures delayed = figuresOf(roundTrips(nc, work, listing, delayMs, count));
    if (exact.max < 0 || list.max < 0 || delayed.max < 0)
        return 1;
    std::printf("listing %d programs (%d lines sent): handling median %.1f ms, max %.1f ms\n",
                programs, listed, hand.median, hand.max);
    std::printf("first byte after the request, %d round trips: listing median %.1f ms, max %.1f "
                "ms (bound %.1f ms); exact name (baseline) median %.1f ms, max %.1f ms\n",
                count, list.median, list.max, exact.max + tick, exact.median, exact.max);
    std::printf("with a %d ms answer delay: listing median %.1f ms, max %.1f ms (bound %d ms)\n",
                delayMs, delayed.median, delayed.max, delayMs + tick);
    // A request waits up to one tick for the dispatcher in any case; the listing may cost no
    // more than that beyond an exact name, and a delay no more than one tick beyond itself.
    const bool ok =
        list.max <= exact.max + tick && delayed.max <= delayMs + tick && delayed.median >= delayMs;
    std::printf("verdict: %s\n", ok ? "ok" : "FAIL");
    return ok ? 0 : 1;
}
