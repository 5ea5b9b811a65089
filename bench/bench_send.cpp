// For information, no target: the send engine's own ceiling over a pseudo-terminal, one write
// request per character, the line set to 3,000,000 baud so that its pacing is not what limits
// it, with the peer reading as fast as it can. Line-rate figures are in bench_line_rate.
#include "PtyPair.h"
#include "transfer/PortSerialLine.h"
#include "transfer/SendController.h"
#include "transfer/TransportThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <thread>

static double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QByteArray body("%\nO1000(BENCH)\n");
    for (int i = 0; body.size() < 1000000; ++i)
        body += "N" + QByteArray::number(i) + "G1X" + QByteArray::number(i % 997) + ".125Y-" +
                QByteArray::number(i % 311) + ".5F1200\n";
    body += "M30\n%\n";
    const QString path = dir.filePath(QStringLiteral("O1000.nc"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
        return 1;
    f.close();

    PtyPair pty;
    PortSerialLine line;
    LineSettings settings = pty.lineSettings();
    settings.baudRate = 3000000;
    line.setSettings(settings);
    QString error;
    if (!line.open(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const qint64 expected = body.size() - 1 + 2; // last LF not sent; DC2 and DC4 added
    std::atomic<qint64> received{0};
    std::atomic<bool> stop{false};
    std::atomic<double> peerCpu{0};
    std::thread peer([&] {
        while (!stop && received < expected) {
            const QByteArray got = pty.readBytes(expected - received, 50);
            received += got.size();
        }
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        peerCpu = ts.tv_sec + ts.tv_nsec / 1e9;
    });

    TransportThread worker;
    worker.setComPort(&line);
    worker.setFileListBox({path});
    SendController controller(&line, &worker);
    qint64 echoed = 0;
    QObject::connect(
        &worker, &TransportThread::updatesPending, &worker,
        [&] {
            for (const SendUpdate &u : worker.takeUpdates()) {
                if (u.kind == SendUpdate::Sent)
                    echoed += u.value;
                if (u.kind == SendUpdate::Finished)
                    QCoreApplication::quit();
            }
        },
        Qt::QueuedConnection);

    QElapsedTimer clock;
    const double cpu0 = cpuSeconds();
    clock.start();
    controller.confirmStart(false);
    QCoreApplication::exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    stop = true;
    peer.join();
    // The machine's reading is not ours to count.
    const double cpu = cpuSeconds() - cpu0 - peerCpu;

    const double rate = received / seconds;
    std::printf("send engine over a pty, 1 program of %lld bytes, one write per character\n",
                static_cast<long long>(body.size()));
    std::printf("  characters received by the peer: %lld (expected %lld)\n",
                static_cast<long long>(received.load()), static_cast<long long>(expected));
    std::printf("  elapsed: %.3f s   rate: %.0f characters/s   (line rate %.0f)\n", seconds, rate,
                1e9 / double(line.charTimeNs()));
    std::printf(
        "  CPU time: %.3f s   = %.2f us per character (every thread but the reading peer's)\n", cpu,
        cpu / received * 1e6);
    std::printf("  progress steps seen by the consumer: %lld\n", static_cast<long long>(echoed));
    std::printf("  result: %s\n", received == expected ? "PASS (byte count)" : "FAIL");
    return received == expected ? 0 : 1;
}
