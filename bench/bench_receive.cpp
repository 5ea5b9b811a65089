// Receive throughput and memory: programs of 10 MB and 50 MB punched over a pseudo-terminal
// as fast as the peer can write, each received in a fresh process (so that one run's peak
// cannot hide the next one's), once by the engine as ncferry-cli runs it and once by the
// receive window. The program is generated while it is written, so the writer holds no copy.
#include "PtyPair.h"
#include "settings/PortSetting.h"
#include "transfer/PortSerialLine.h"
#include "transfer/ReceiveEngine.h"
#include "transfer/ReceiveTransport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace
{

constexpr double TargetCharsPerSecond = 200000;
constexpr double EngineMemoryTarget = 2.0; // x the program, growth over the idle process
constexpr double WindowMemoryTarget = 3.0;

long peakRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

long currentRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// Writes the program to the pty block by block and keeps only the hash of what the stored
// file must hold.
struct Punch {
    QByteArray storedHash;
    qint64 sent = 0;
    qint64 kept = 0;

    void run(PtyPair &pty, qint64 bytes)
    {
        QCryptographicHash stored(QCryptographicHash::Sha1);
        QByteArray out("\x12%\r\nO1000 (BENCH)\r\n");
        stored.addData("%\r\nO1000(BENCH)\r\n");
        kept += 13;
        for (int n = 1; sent + out.size() < bytes; ++n) {
            const QByteArray x = QByteArray::number(n % 100000 * 0.001, 'f', 3);
            const QByteArray block =
                "N" + QByteArray::number(n) + " G01 X" + x + " Y-" + x + " F500";
            out += block + "\r\n";
            QByteArray k = block;
            k.replace(' ', QByteArray());
            stored.addData(k + "\r\n");
            kept += k.size();
            if (out.size() >= 65536) {
                pty.send(out);
                sent += out.size();
                out.clear();
            }
        }
        out += "M30\r\n%\r\n\x14";
        stored.addData("M30\r\n%\r\n");
        kept += 4;
        pty.send(out);
        sent += out.size();
        storedHash = stored.result();
    }
};

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha1);
    if (!f.open(QIODevice::ReadOnly) || !h.addData(&f))
        return {};
    return h.result();
}

// One receive in this process; prints one RESULT line for the parent.
int child(const QString &mode, int megabytes)
{
    const bool window = mode == QLatin1String("window");
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("O1000.nc"));
    PtyPair pty;
    if (!pty.isValid())
        return 1;
    QEventLoop loop;
    bool stored = false;
    qint64 charCount = 0;

    std::unique_ptr<PortSerialLine> line;
    std::unique_ptr<ReceiveEngine> engine;
    QPointer<TReceiveTransport> w;
    if (window) {
        w = new TReceiveTransport;
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        if (!w->setPortSetting(PortProfile::fromText(
                PortSetting::join({"Bench", pty.slavePath(), "115200", "None", "8", "1", "None",
                                   "/nc", "*.nc", "None"}))))
            return 1;
        w->setFileName(out);
        QObject::connect(w, &TReceiveTransport::fileReceived, &loop, [&] {
            stored = true;
            charCount = w->engine()->charCount();
            loop.quit();
        });
        w->show();
        for (int i = 0; i < 100 && !w->line()->isConnected(); ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    } else {
        line = std::make_unique<PortSerialLine>();
        LineSettings s;
        s.portName = pty.slavePath();
        s.baudRate = 115200;
        line->setSettings(s);
        QString error;
        if (!line->open(&error))
            return 1;
        engine = std::make_unique<ReceiveEngine>(line.get());
        engine->setFileName(out);
        QObject::connect(engine.get(), &ReceiveEngine::programStored, &loop, [&] {
            stored = true;
            charCount = engine->charCount();
            loop.quit();
        });
    }
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    const long baseline = currentRssKb();
    Punch punch;
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] { punch.run(pty, qint64(megabytes) * 1024 * 1024); });
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    writer.join();
    const long peak = peakRssKb();
    const bool same = stored && fileHash(out) == punch.storedHash && charCount == punch.kept;
    const double ratio = (peak - baseline) * 1024.0 / punch.sent;
    std::printf("RESULT %s %d %lld %.3f %ld %ld %.3f %d\n", qPrintable(mode), megabytes, punch.sent,
                seconds, baseline, peak, ratio, same ? 1 : 0);
    delete w;
    return same ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        QApplication app(argc, argv);
        return child(QString::fromLatin1(argv[2]), QByteArray(argv[3]).toInt());
    }
    QCoreApplication app(argc, argv);
    std::printf("receive over a pty, each program in a fresh process; memory = peak RSS growth "
                "over the idle process\n");
    bool ok = true;
    for (const char *mode : {"engine", "window"}) {
        for (int mb : {10, 50}) {
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QCoreApplication::applicationFilePath(),
                    {"--child", QString::fromLatin1(mode), QString::number(mb)});
            p.waitForFinished(-1);
            const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
            if (f.size() != 9 || f[0] != "RESULT") {
                std::printf("  %s %d MB: no result (exit %d)\n", mode, mb, p.exitCode());
                ok = false;
                continue;
            }
            const double seconds = f[4].toDouble();
            const double rate = f[3].toDouble() / seconds;
            const double ratio = f[7].toDouble();
            const double target =
                QByteArray(mode) == "engine" ? EngineMemoryTarget : WindowMemoryTarget;
            const bool same = f[8] == "1";
            const bool good = same && rate >= TargetCharsPerSecond && ratio <= target;
            std::printf("  %-6s %2d MB: %6.2f s, %9.0f characters/s; RSS %ld kB idle, %ld kB peak: "
                        "+%.2f x the program (target <= %.0f x); file %s: %s\n",
                        mode, mb, seconds, rate, f[5].toLong(), f[6].toLong(), ratio, target,
                        same ? "exact" : "DIFFERS", good ? "met" : "MISSED");
            ok = ok && good;
        }
    }
    return ok ? 0 : 1;
}
