// Auto mode under two faults of a shift, over pseudo-terminals.
//  1. Memory: peak RSS while a large return program (default 200 MB) is received and
//     stored, as a multiple of the program; bound 2x. Beside it, in the same run, the
//     hand-over through a list of lines (text, lines, joined text), measured on the same
//     program in its own process.
//  2. A babbling adapter: the time from a cable machine's request to its answer's first
//     byte while an adapter on another line of the same process babbles 1 MB at every
//     query; bound: one 100 ms dispatcher tick late. Baseline: the same with a quiet adapter.
// Options: --megabytes N (program size), --round-trips N.
#include "PtyPair.h"
#include "automode/AutoLink.h"
#include "settings/NcText.h"
#include "tools/sim/RadioAdapterSim.h"
#include "transfer/LineControl.h"
#include "transfer/PortSerialLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace AutoMode;
using namespace LineControl;
using Sim::RadioAdapterSim;
namespace Machine = Sim::Machine;

namespace
{

// Resident and peak resident memory of this process, in bytes.
qint64 statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// The machine's program, numbered blocks with LF line ends as a control punches them, made
// a piece at a time so that the sender holds no copy of it.
class Punched
{
public:
    explicit Punched(qint64 bytes) : m_left(bytes) {}
    // The next piece of about `size` bytes; empty at the end.
    QByteArray next(qsizetype size)
    {
        QByteArray out;
        if (m_n == 0)
            out = "%\n:4000(BIG)\n";
        while (m_left > 0 && out.size() < size) {
            const QByteArray block =
                "N" + QByteArray::number(m_n) + "G01X" + QByteArray::number(m_n % 997) + ".5Z-1.\n";
            out += block;
            m_left -= block.size();
            ++m_n;
        }
        if (m_left <= 0 && !m_ended) {
            out += "M30\n%";
            m_ended = true;
        }
        return out;
    }

private:
    qint64 m_left;
    qint64 m_n = 0;
    bool m_ended = false;
};

QByteArray punchedProgram(qint64 bytes)
{
    Punched p(bytes);
    QByteArray out;
    for (QByteArray piece = p.next(1 << 20); !piece.isEmpty(); piece = p.next(1 << 20))
        out += piece;
    return out;
}

// Runs fn in a child process, which reports one number back; -1 when it failed.
double inChild(const std::function<double()> &fn)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const double v = fn();
        (void)!::write(fds[1], &v, sizeof v);
        ::_exit(0);
    }
    ::close(fds[1]);
    double v = -1;
    if (::read(fds[0], &v, sizeof v) != sizeof v)
        v = -1;
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return v;
}

// Peak memory above the start, as a multiple of the stored program, for the link.
double linkPeak(const QString &root, qint64 bytes)
{
    int argc = 1;
    char name[] = "bench_autofaults";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    PtyPair pty;
    const QString work = root + "/work";
    QDir().mkpath(work);
    const QStringList port = {"C", pty.slavePath(), "115200", "None", "8",
                              "1", "None",          work,     "*.nc", "None"};
    PortSerialLine line;
    line.setSettings(pty.lineSettings());
    QString error;
    if (!line.open(&error))
        return -1;
    LinkTimings timings;
    timings.maxProgramBytes = 2 * bytes + (64 << 20);
    AutoLink link(
        &line, PortProfile::fromFields(port), [] { return GeneralValues(); }, timings);
    bool stored = false;
    QObject::connect(&link, &AutoLink::stored, [&] { stored = true; });
    link.start();
    const qint64 before = statusKb("VmRSS:");
    // The line is never faster than the link: a piece at a time, each handled before the
    // next, as at any real baud rate.
    Punched program(bytes);
    qint64 storedSize = 0;
    QByteArray piece(1, DC2);
    for (QByteArray text = program.next(1 << 20); !text.isEmpty(); text = program.next(1 << 20)) {
        storedSize += text.size() + text.count('\n');
        piece += text;
        const qint64 want = line.receivedTaken() + piece.size();
        pty.send(piece);
        while (line.receivedTaken() < want)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        piece.clear();
    }
    pty.send(QByteArray(1, DC4));
    while (!stored)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 peak = statusKb("VmHWM:");
    const bool whole = QFileInfo(work + "/BIG.nc").size() == storedSize;
    line.close();
    return whole ? double(peak - before) / storedSize : -1;
}

// The same program handed over as a list of lines, from the received buffer on.
double linesPeak(qint64 bytes)
{
    QByteArray buffer = punchedProgram(bytes);
    buffer.replace(':', 'O').replace("\n", "\r\n");
    const qint64 before = statusKb("VmRSS:");
    bool ends = false;
    const QStringList lines = BufferLines(NcText::fromBytes(buffer), &ends);
    const QByteArray out = StoredProgram(lines, ends);
    const qint64 peak = statusKb("VmHWM:");
    // The buffer itself was there before: it counts once, as in the link's figure.
    return out.size() == buffer.size() ? 1 + double(peak - before) / buffer.size() : -1;
}

// Request to answer on a cable line while a radio line of the same process is served.
std::vector<double> roundTrips(const QString &root, int count, bool babble, qint64 *radioBytes)
{
    const QString nc = root + "/NC", work = root + "/w";
    QDir().mkpath(nc);
    QDir().mkpath(work);
    QFile f(nc + "/O1234.nc");
    if (f.open(QIODevice::WriteOnly))
        f.write("%\r\nO1234\r\nG00X1.\r\nM30\r\n%\r\n");
    f.close();
    PtyPair cablePty, radioPty;
    RadioAdapterSim adapter(radioPty.masterFd(), {"10.0.0.1"});
    if (babble)
        adapter.setBabble(QByteArray(1 << 20, 'x'));
    PortSerialLine cable, radio;
    cable.setSettings(cablePty.lineSettings());
    LineSettings rs = radioPty.lineSettings();
    rs.discardNull = false;
    radio.setSettings(rs);
    QString error;
    if (!cable.open(&error) || !radio.open(&error))
        return {};
    GeneralValues v;
    v.pathList = {nc};
    LinkTimings radioTimings;
    radioTimings.queryRetryMs = 20; // the adapter is asked, and babbles, again and again
    AutoLink cableLink(&cable,
                       PortProfile::fromFields({"C", cablePty.slavePath(), "115200", "None", "8",
                                                "1", "None", work, "*.nc", "None"}),
                       [v] { return v; });
    AutoLink radioLink(
        &radio,
        PortProfile::fromFields({"R", radioPty.slavePath(), "115200", "None", "8", "1", "None",
                                 work, "*.nc", "Wireless"}),
        [v] { return v; }, radioTimings);
    cableLink.start();
    radioLink.start();

    std::vector<double> ms;
    std::atomic<bool> done{false};
    std::thread machine([&] {
        // Babble under way before the first request.
        RadioAdapterSim::waitUntil([&] { return adapter.fromPc().contains("+++"); }, 5000);
        const QByteArray request = Machine::requestProgram({"(P1)", "(N1234)"});
        for (int i = 0; i < count; ++i) {
            cablePty.send(request);
            QElapsedTimer t;
            t.start();
            QByteArray got;
            while (!got.contains(DC2) && t.elapsed() < 10000)
                got += cablePty.readBytes(1, 50);
            ms.push_back(t.nsecsElapsed() / 1e6);
            while (!got.contains(DC4) && t.elapsed() < 20000)
                got += cablePty.readBytes(1, 50);
            QThread::msleep(150);
        }
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    machine.join();
    *radioBytes = radio.receivedTaken();
    cableLink.stop();
    radioLink.stop();
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    qint64 megabytes = 200;
    int count = 20;
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "--megabytes") == 0)
            megabytes = QByteArray(argv[++i]).toLongLong();
        else if (qstrcmp(argv[i], "--round-trips") == 0)
            count = QByteArray(argv[++i]).toInt();
    }
    const qint64 bytes = qMax<qint64>(1, megabytes) << 20;
    QTemporaryDir dir;
    const QString root = dir.path();
    // Each in its own process, so that each peak is its own.
    const double link = inChild([&] { return linkPeak(root + "/mem", bytes); });
    const double lines = inChild([&] { return linesPeak(bytes); });
    std::printf("memory: a %lld MB return program received and stored: peak %.2fx the program "
                "(bound 2x); through a list of lines %.2fx\n",
                megabytes, link, lines);
    int status = link < 0 || link > 2.0 ? 1 : 0;

    QCoreApplication app(argc, argv);
    const int tick = LinkTimings().tickMs;
    qint64 quietBytes = 0, babbled = 0;
    std::vector<double> quiet = roundTrips(root + "/quiet", qMax(1, count), false, &quietBytes);
    std::vector<double> noisy = roundTrips(root + "/babble", qMax(1, count), true, &babbled);
    if (quiet.empty() || noisy.empty())
        return 1;
    std::sort(quiet.begin(), quiet.end());
    std::sort(noisy.begin(), noisy.end());
    // A request waits up to one tick for the dispatcher anyway; what is more is late.
    const double late = noisy.back() - tick;
    std::printf("babble: %d cable requests, DC4 to answer DC2, while an adapter on another line "
                "babbled 1 MB per query (%.1f MB read meanwhile): median %.1f ms, max %.1f ms, "
                "%.1f ms late (bound %d ms); quiet adapter: median %.1f ms, max %.1f ms\n",
                count, babbled / 1048576.0, noisy[noisy.size() / 2], noisy.back(), qMax(0.0, late),
                tick, quiet[quiet.size() / 2], quiet.back());
    status |= late > tick ? 1 : 0;
    std::printf("verdict: %s\n", status ? "FAIL" : "ok");
    return status;
}
