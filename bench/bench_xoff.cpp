// How fast a send obeys XOFF with the window thread busy: the machine pauses it 50 times
// over a pseudo-terminal while the thread that runs the windows sleeps a second at a time.
//   (a) characters the worker wrote after the line's reader closed the gate (target <= 1)
//   (b) time from the XOFF read to the gate closed
//   (c) for information: bytes the machine still counts after its XOFF (what the kernel had
//       in flight: a pty has no pacing of its own)
// once with the engines as ncferry-cli runs them, once with the send window.
#include "PtyPair.h"
#include "transfer/LineControl.h"
#include "transfer/PortSerialLine.h"
#include "transfer/SendController.h"
#include "transfer/Transport.h"
#include "transfer/TransportThread.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace
{

constexpr int Pauses = 50;
constexpr int BytesBetweenPauses = 6000;
const QByteArray DC4("\x14");

struct Figures {
    std::vector<qint64> writtenAfter;
    std::vector<double> closeUs;
    std::vector<qint64> peerAfter;
    bool quiet = true;
    bool complete = false;
};

QString makeProgram(const QTemporaryDir &dir)
{
    QByteArray body("%\nO1000(XOFF)\n");
    for (int i = 0; body.size() < (Pauses + 5) * (BytesBetweenPauses + 5000); ++i)
        body += "N" + QByteArray::number(i) + "G1X" + QByteArray::number(i % 997) + ".5F900\n";
    body += "M30\n%\n";
    const QString path = dir.filePath(QStringLiteral("O1000.nc"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
        return {};
    return path;
}

// The machine: XOFF every few kilobytes, then XON once the line has been quiet.
void machine(PtyPair &pty, Figures &fig, std::atomic<bool> &done)
{
    QByteArray got;
    for (int p = 0; p < Pauses; ++p) {
        // New bytes since the last XON: the send is running again when the XOFF goes.
        const qint64 target = got.size() + BytesBetweenPauses;
        while (got.size() < target && !got.contains(DC4))
            got += pty.readBytes(1, 100);
        const qint64 atXoff = got.size();
        pty.send(QByteArray(1, LineControl::XOFF));
        got += pty.readBytes(INT_MAX, 100);
        fig.peerAfter.push_back(got.size() - atXoff);
        const qint64 settled = got.size();
        got += pty.readBytes(INT_MAX, 100);
        fig.quiet = fig.quiet && got.size() == settled;
        pty.send(QByteArray(1, LineControl::XON));
    }
    for (int idle = 0; !got.endsWith(DC4) && idle < 50;) {
        const QByteArray more = pty.readBytes(1, 100);
        idle = more.isEmpty() ? idle + 1 : 0;
        got += more;
    }
    fig.complete = got.endsWith(DC4);
    done = true;
}

void collect(const PauseGate &gate, Figures &fig)
{
    for (const auto &s : gate.xoffSamples()) {
        fig.writtenAfter.push_back(s.writtenAfter);
        fig.closeUs.push_back(s.closeDelayNs / 1000.0);
    }
}

template <typename T> void printRow(const char *what, std::vector<T> v, const char *unit)
{
    if (v.empty()) {
        std::printf("    %-44s no samples\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("    %-44s min %8.1f  median %8.1f  max %8.1f %s  (%zu pauses)\n", what,
                double(v.front()), double(v[v.size() / 2]), double(v.back()), unit, v.size());
}

bool report(const char *title, const Figures &fig)
{
    std::printf("  %s\n", title);
    printRow("(a) characters written after the gate closed", fig.writtenAfter, "ch");
    printRow("(b) XOFF read -> gate closed", fig.closeUs, "us");
    printRow("(c) bytes the peer counted after its XOFF", fig.peerAfter, "B ");
    const qint64 worst = fig.writtenAfter.empty()
                             ? -1
                             : *std::max_element(fig.writtenAfter.begin(), fig.writtenAfter.end());
    const bool ok = fig.writtenAfter.size() == Pauses && worst <= 1 && fig.quiet && fig.complete;
    std::printf(
        "    line quiet after every XOFF: %s; program complete: %s; target max (a) <= 1: %s\n",
        fig.quiet ? "yes" : "NO", fig.complete ? "yes" : "NO", ok ? "met" : "MISSED");
    return ok;
}

// The engines as the command-line tool composes them.
bool engines(const QString &path)
{
    PtyPair pty;
    PortSerialLine line;
    line.setSettings(pty.lineSettings());
    QString error;
    if (!line.open(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    TransportThread worker;
    worker.setComPort(&line);
    worker.setFileListBox({path});
    SendController controller(&line, &worker);
    controller.setFlowControl(FlowControl::XonXoff);
    controller.setDelays(20, 20);
    Figures fig;
    std::atomic<bool> done{false};
    std::thread peer([&] { machine(pty, fig, done); });
    controller.confirmStart(false);
    while (!done)
        QThread::msleep(1000); // busy: no events handled
    peer.join();
    QCoreApplication::processEvents();
    collect(*worker.pauseGate(), fig);
    worker.stopWorker();
    line.close();
    worker.wait();
    return report("engines as ncferry-cli runs them, main thread busy", fig);
}

bool window(const QString &path)
{
    PtyPair pty;
    QPointer<TTransport> w = new TTransport;
    const QString record =
        QStringLiteral("Bench,%1,115200,None,8,1,Xon/Xoff,/nc,*.nc,None").arg(pty.slavePath());
    if (!w->setPortSetting(record))
        return false;
    w->controller()->setDelays(20, 20);
    w->findChild<QCheckBox *>(QStringLiteral("CheckBox1"))->setChecked(false);
    w->setFile(path);
    w->show();
    QApplication::processEvents();
    if (!w->comPort()->isConnected()) {
        std::fprintf(stderr, "send window could not open %s\n", qPrintable(pty.slavePath()));
        return false;
    }
    Figures fig;
    std::atomic<bool> done{false};
    std::thread peer([&] { machine(pty, fig, done); });
    w->ToolButton1Click();
    while (!done)
        QThread::msleep(1000);
    peer.join();
    if (w)
        collect(*w->worker()->pauseGate(), fig);
    delete w;
    return report("send window, window thread busy", fig);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = makeProgram(dir);
    if (path.isEmpty())
        return 1;
    std::printf(
        "XOFF over a pty, %d pauses, the thread that runs the windows sleeping 1 s at a time\n",
        Pauses);
    bool ok = engines(path);
    ok = window(path) && ok;
    return ok ? 0 : 1;
}
