// Auto mode under load, over pseudo-terminals with the simulators on the far side.
//  1. Cable: request/answer round trips in sequence; the time from the request's DC4 to the
//     answer's DC2 (bound: one 100 ms dispatcher tick).
//  2. Radio: eight machines on one adapter each return programs and request files,
//     interleaved; every stored program and every answer is checked byte for byte.
// Options: --round-trips N, --programs N (per machine and kind), --pause MS (the adapter
// pauses; below the 200 ms default a request sent just before the XOFF reached its machine
// can still be on its way when command mode begins, and is lost: 20 ms lost some on this
// machine).
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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void runUntil(const std::atomic<bool> &done)
{
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

QByteArray programText(int device, int k)
{
    QByteArray t = "%\r\nO" + QByteArray::number(1000 + device * 100 + k) + "\r\n";
    for (int i = 0; i < 30; ++i)
        t += "N" + QByteArray::number(i) + "G01X" + QByteArray::number(device) + "." +
             QByteArray::number(k) + "Z-" + QByteArray::number(i) + ".F0.1\r\n";
    return t + "M30\r\n%\r\n";
}

int cableRoundTrips(const QString &root, int count)
{
    PtyPair pty;
    const QString nc = root + "/cable/NC";
    QDir().mkpath(nc);
    QDir().mkpath(root + "/cable/work");
    writeFile(nc + "/O1234.nc", programText(0, 0));
    const QStringList port = {"C",    pty.slavePath(),      "115200", "None", "8", "1",
                              "None", root + "/cable/work", "*.nc",   "None"};
    PortSerialLine line;
    line.setSettings(pty.lineSettings());
    QString error;
    if (!line.open(&error)) {
        std::printf("cannot open the pty: %s\n", qPrintable(error));
        return 1;
    }
    GeneralValues v;
    v.pathList = {nc};
    AutoLink link(&line, PortProfile::fromFields(port), [v] { return v; });
    link.start();

    std::vector<double> ms;
    std::atomic<bool> done{false};
    int wrong = 0;
    const QByteArray expected = DC2 + QByteArray(programText(0, 0)).replace('O', ':') + DC4;
    std::thread machine([&] {
        const QByteArray request = Machine::requestProgram({"(P1)", "(N1234)"});
        for (int i = 0; i < count; ++i) {
            pty.send(request);
            QElapsedTimer t;
            t.start();
            QByteArray got;
            while (!got.contains(DC2) && t.elapsed() < 5000)
                got += pty.readBytes(1, 50);
            ms.push_back(t.nsecsElapsed() / 1e6);
            while (!got.contains(DC4) && t.elapsed() < 10000)
                got += pty.readBytes(1, 50);
            wrong += got != expected;
            // The entry ends 100 ms after its DC4; a control takes longer to get ready.
            QThread::msleep(150);
        }
        done = true;
    });
    runUntil(done);
    machine.join();
    std::sort(ms.begin(), ms.end());
    std::printf("cable: %d round trips, request DC4 to answer DC2: median %.1f ms, max %.1f ms "
                "(bound %d ms); %d answers not byte-exact\n",
                count, ms[ms.size() / 2], ms.back(), 100, wrong);
    return wrong ? 1 : 0;
}

int radioLoad(const QString &root, int programs, int pauseMs)
{
    constexpr int Devices = 8;
    PtyPair pty;
    QStringList addresses;
    for (int n = 0; n < Devices; ++n)
        addresses << QStringLiteral("10.0.%1.%2").arg(n).arg(100 + n);
    RadioAdapterSim adapter(pty.masterFd(), addresses);
    const QString nc = root + "/radio/NC", work = root + "/radio/work";
    QDir().mkpath(nc);
    QDir().mkpath(work);
    for (int n = 0; n < Devices; ++n)
        for (int k = 0; k < programs; ++k)
            writeFile(nc + QStringLiteral("/O%1.nc").arg(5000 + n * 100 + k), programText(n, k));
    const QStringList port = {"R", pty.slavePath(), "115200", "None", "8",
                              "1", "None",          work,     "*.nc", "Wireless"};
    PortSerialLine line;
    LineSettings s;
    s.portName = pty.slavePath();
    s.baudRate = 115200;
    line.setSettings(s);
    QString error;
    if (!line.open(&error))
        return 1;
    GeneralValues v;
    v.pathList = {nc};
    LinkTimings timings;
    timings.selectPauseMs = pauseMs;
    AutoLink link(
        &line, PortProfile::fromFields(port), [v] { return v; }, timings);
    // What went wrong is printed as it happens.
    QObject::connect(&link, &AutoLink::problem,
                     [](const QString &t) { std::printf("problem: %s\n", qPrintable(t)); });
    link.start();

    QElapsedTimer wall;
    wall.start();
    std::atomic<int> running{Devices};
    std::atomic<int> failures{0};
    std::vector<std::thread> machines;
    for (int n = 0; n < Devices; ++n) {
        machines.emplace_back([&, n] {
            // A machine punches only while the PC has not held it with XOFF.
            auto free = [&] {
                const QByteArray got = adapter.toDevice(n);
                const qsizetype off = got.lastIndexOf(Machine::XOFF);
                return off < 0 || got.lastIndexOf(Machine::XON) > off;
            };
            // Counted by end bytes: cheap enough to ask often without starving the link.
            auto answers = [&] { return adapter.toDevice(n).count(Machine::DC4); };
            RadioAdapterSim::waitUntil([&] { return link.ipMark() == 0xFF; }, 10000);
            for (int k = 0; k < programs; ++k) {
                for (int kind = 0; kind < 2; ++kind) {
                    const qsizetype before = answers();
                    RadioAdapterSim::waitUntil(free, 60000);
                    const QByteArray text = kind == 0 ? programText(n, 50 + k) : QByteArray();
                    adapter.deviceSends(
                        n, kind == 0 ? Machine::punched(text)
                                     : Machine::requestProgram(
                                           {QStringLiteral("(P1)"),
                                            QStringLiteral("(N%1)").arg(5000 + n * 100 + k)}));
                    if (!RadioAdapterSim::waitUntil([&] { return answers() > before; }, 60000))
                        ++failures;
                }
            }
            --running;
        });
    }
    std::atomic<bool> done{false};
    std::thread watch([&] {
        RadioAdapterSim::waitUntil([&] { return running == 0; }, 3600000);
        done = true;
    });
    runUntil(done);
    watch.join();
    for (std::thread &t : machines)
        t.join();
    const double seconds = wall.nsecsElapsed() / 1e9;

    int wrong = 0;
    for (int n = 0; n < Devices; ++n) {
        const QList<QByteArray> got = Machine::programsIn(adapter.toDevice(n));
        for (int k = 0; k < programs; ++k) {
            const QByteArray stored =
                readFile(work + QStringLiteral("/O%1.nc").arg(1000 + n * 100 + 50 + k));
            wrong += stored != programText(n, 50 + k);
            wrong += !got.value(2 * k).contains("(SUCCESS)");
            wrong += got.value(2 * k + 1) != programText(n, k);
        }
        wrong += got.size() != 2 * programs;
    }
    std::printf("radio: %d machines x (%d returned + %d requested) in %.1f s wall (%d ms adapter "
                "pauses), %.2f s per answer; %d wrong or missing, %d waits timed out\n",
                Devices, programs, programs, seconds, pauseMs, seconds / (Devices * programs * 2),
                wrong, int(failures));
    return wrong || failures ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int roundTrips = 200, programs = 25;
    int pauseMs = LinkTimings().selectPauseMs;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--round-trips" && i + 1 < args.size())
            roundTrips = args[++i].toInt();
        else if (args[i] == "--programs" && i + 1 < args.size())
            programs = args[++i].toInt();
        else if (args[i] == "--pause" && i + 1 < args.size())
            pauseMs = args[++i].toInt();
    }
    QTemporaryDir dir;
    int status = cableRoundTrips(dir.path(), qMax(1, roundTrips));
    status |= radioLoad(dir.path(), qMax(1, programs), qMax(0, pauseMs));
    return status;
}
