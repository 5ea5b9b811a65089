// Characters a machine control still receives after its XOFF, on a line that carries them at
// its real rate: the control on the far side of a pty takes one character per character time
// and pauses the send 50 times. At 9600, 38,400 and 115,200 baud, once through ncferry-cli
// send (a process of its own) and once through the send window with the thread that runs
// the windows sleeping a second at a time. Target: max <= 10 characters (<= 32 at 115,200).
// For information, from the window runs: (a) characters the worker wrote after the line's
// reader closed its gate, (b) time from the XOFF read to the gate closed.
#include "LineRateControl.h"
#include "PtyPair.h"
#include "transfer/PortSerialLine.h"
#include "transfer/SendController.h"
#include "transfer/Transport.h"
#include "transfer/TransportThread.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

constexpr int Pauses = 50;
constexpr int HoldMs = 30;

struct Run {
    int baud;
    qint64 every; // characters between two XOFFs
};

QString makeProgram(const QTemporaryDir &dir, const Run &run)
{
    QByteArray body("%\nO1000(XOFF)\n");
    for (int i = 0; body.size() < (Pauses + 3) * run.every; ++i)
        body += "N" + QByteArray::number(i) + "G1X" + QByteArray::number(i % 997) + ".5F900\n";
    body += "M30\n%\n";
    const QString path = dir.filePath(QStringLiteral("O%1.nc").arg(run.baud));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
        return {};
    return path;
}

QString record(const PtyPair &pty, int baud)
{
    return QStringLiteral("Bench,%1,%2,None,8,1,Xon/Xoff,/nc,*.nc,None")
        .arg(pty.slavePath())
        .arg(baud);
}

LineSettings lineAt(const PtyPair &pty, int baud)
{
    LineSettings s = pty.lineSettings();
    s.baudRate = baud;
    return s;
}

template <typename T> void printRow(const char *what, std::vector<T> v, const char *unit)
{
    if (v.empty()) {
        std::printf("      %-46s no samples\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("      %-46s min %7.1f  median %7.1f  max %7.1f %s  (%zu pauses)\n", what,
                double(v.front()), double(v[v.size() / 2]), double(v.back()), unit, v.size());
}

// The verdict of one run: every pause counted, none over the bound, the program whole.
bool verdict(const LineRateControl &control, qint64 bound, bool complete)
{
    const std::vector<qint64> after = control.afterXoff();
    printRow("characters the control got after its XOFF", after, "ch");
    const qint64 worst = after.empty() ? -1 : *std::max_element(after.begin(), after.end());
    const bool ok = int(after.size()) == Pauses && worst <= bound && complete;
    std::printf("      program complete: %s; target max <= %lld: %s\n", complete ? "yes" : "NO",
                static_cast<long long>(bound), ok ? "met" : "MISSED");
    return ok;
}

bool cli(const Run &run, const QString &path, qint64 bound)
{
    PtyPair pty;
    LineRateControl control(pty, lineAt(pty, run.baud), {run.every, HoldMs, Pauses});
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ncferry-cli"),
            {QStringLiteral("send"), QStringLiteral("--port-setting"), record(pty, run.baud),
             QStringLiteral("--no-standby"), path});
    p.closeWriteChannel();
    p.setStandardErrorFile(QProcess::nullDevice());
    const bool ended = p.waitForFinished(600000);
    std::printf("    ncferry-cli send, %d baud (exit status %d)\n", run.baud,
                ended ? p.exitCode() : -1);
    const bool complete = ended && p.exitCode() == 0 && control.written().endsWith('\x14');
    return verdict(control, bound, complete);
}

bool window(const Run &run, const QString &path, qint64 bound)
{
    PtyPair pty;
    QPointer<TTransport> w = new TTransport;
    if (!w->setPortSetting(PortProfile::fromText(record(pty, run.baud))))
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
    LineRateControl control(pty, lineAt(pty, run.baud), {run.every, HoldMs, Pauses});
    w->ToolButton1Click();
    // The window thread is busy: it handles its events once a second.
    while (!control.written().endsWith('\x14') && w) {
        QThread::msleep(1000);
        QApplication::processEvents();
    }
    std::printf("    send window, %d baud, window thread busy\n", run.baud);
    std::vector<qint64> written;
    std::vector<double> closeUs;
    if (w) {
        for (const auto &s : w->worker()->pauseGate()->xoffSamples()) {
            written.push_back(s.writtenAfter);
            closeUs.push_back(s.closeDelayNs / 1000.0);
        }
    }
    printRow("(a) written after the gate closed", written, "ch");
    printRow("(b) XOFF read -> gate closed", closeUs, "us");
    const bool ok = verdict(control, bound, control.written().endsWith('\x14'));
    delete w;
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("XOFF on a line that runs at its rate: %d pauses, the control takes each "
                "character in its time\n",
                Pauses);
    bool ok = true;
    // A tenth of a second of line time between two pauses.
    for (const Run run : {Run{9600, 96}, Run{38400, 384}, Run{115200, 1152}}) {
        const QString path = makeProgram(dir, run);
        if (path.isEmpty())
            return 1;
        const qint64 bound = run.baud > 38400 ? 32 : 10;
        std::printf("  %d baud (%.0f characters/s)\n", run.baud, run.baud / 10.0);
        ok = cli(run, path, bound) && ok;
        ok = window(run, path, bound) && ok;
    }
    std::printf("result: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
