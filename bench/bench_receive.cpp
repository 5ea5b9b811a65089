// Receive throughput: a 10 MB program punched over a pseudo-terminal as fast as the peer
// can write, and the engine alone on the same program.
#include "PtyPair.h"
#include "settings/NcText.h"
#include "transfer/PortSerialLine.h"
#include "transfer/ReceiveEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace
{

constexpr qint64 ProgramBytes = 10 * 1024 * 1024;
constexpr double TargetCharsPerSecond = 200000;

long peakRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// What the control sends, and what the file must hold afterwards.
struct Program {
    QByteArray sent;
    QByteArray stored;
    qint64 kept = 0;
};

Program makeProgram(qint64 programBytes)
{
    Program p;
    p.sent.reserve(programBytes + 64);
    p.stored.reserve(programBytes);
    p.sent += "\x12%\r\nO1000 (BENCH)\r\n";
    p.stored += "%\r\nO1000(BENCH)\r\n";
    for (int n = 1; p.sent.size() < programBytes; ++n) {
        const QByteArray x = QByteArray::number(n % 100000 * 0.001, 'f', 3);
        const QByteArray block = "N" + QByteArray::number(n) + " G01 X" + x + " Y-" + x + " F500";
        p.sent += block + "\r\n";
        QByteArray kept = block;
        kept.replace(' ', QByteArray());
        p.stored += kept + "\r\n";
    }
    p.sent += "M30\r\n%\r\n\x14";
    p.stored += "M30\r\n%\r\n";
    p.kept = p.stored.size() - 2 * p.stored.count("\r\n");
    return p;
}

} // namespace

// Receives one program over a pseudo-terminal; false when it was not stored whole or
// too slowly.
bool overPty(const Program &program, const QString &out)
{
    bool ok = true;
    {
        PtyPair pty;
        if (!pty.isValid()) {
            std::fprintf(stderr, "bench_receive: no pseudo-terminal\n");
            return false;
        }
        PortSerialLine line;
        LineSettings s;
        s.portName = pty.slavePath();
        s.baudRate = 115200;
        line.setSettings(s);
        QString error;
        if (!line.open(&error)) {
            std::fprintf(stderr, "bench_receive: %s\n", qPrintable(error));
            return false;
        }
        ReceiveEngine engine(&line);
        engine.setFileName(out);

        const long rssBefore = peakRssKb();
        QEventLoop loop;
        QObject::connect(&engine, &ReceiveEngine::programStored, &loop, &QEventLoop::quit);
        QObject::connect(&engine, &ReceiveEngine::storeFailed, &loop, [&](const QString &m) {
            std::fprintf(stderr, "bench_receive: %s\n", qPrintable(m));
            ok = false;
            loop.quit();
        });
        QTimer::singleShot(120000, &loop, [&] {
            std::fprintf(stderr, "bench_receive: no program after 120 s\n");
            ok = false;
            loop.quit();
        });
        QElapsedTimer clock;
        clock.start();
        std::thread writer([&] { pty.send(program.sent); });
        loop.exec();
        const double seconds = clock.nsecsElapsed() / 1e9;
        writer.join();
        const long rssAfter = peakRssKb();

        const bool same = QFile(out).open(QIODevice::ReadOnly) && [&] {
            QFile f(out);
            f.open(QIODevice::ReadOnly);
            return f.readAll() == program.stored;
        }();
        if (engine.charCount() != program.kept) {
            std::fprintf(stderr, "bench_receive: %lld characters kept, %lld expected\n",
                         engine.charCount(), program.kept);
            ok = false;
        }
        ok = ok && same;
        const double rate = engine.charCount() / seconds;
        std::printf("over a pty: %lld bytes sent, %lld characters kept in %lld lines, %.2f s\n",
                    qint64(program.sent.size()), engine.charCount(), qint64(engine.lines().size()),
                    seconds);
        std::printf("  %.0f characters/s (target >= %.0f): %s\n", rate, TargetCharsPerSecond,
                    rate >= TargetCharsPerSecond ? "met" : "MISSED");
        std::printf("  stored file %s the expected bytes\n", same ? "matches" : "DIFFERS FROM");
        std::printf("  peak RSS %ld kB before, %ld kB after: +%.1f MB for a %.1f MB program "
                    "(%.2f x)\n",
                    rssBefore, rssAfter, (rssAfter - rssBefore) / 1024.0,
                    program.sent.size() / 1048576.0,
                    (rssAfter - rssBefore) * 1024.0 / program.sent.size());
        if (rate < TargetCharsPerSecond)
            ok = false;
    }
    return ok;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Program program = makeProgram(ProgramBytes);
    QTemporaryDir dir;
    bool ok = true;

    // Over the line: a smaller program first, so that peak RSS shows growth per size.
    const Program quarter = makeProgram(ProgramBytes / 4);
    ok = overPty(quarter, dir.filePath(QStringLiteral("O0250.nc"))) && ok;
    ok = overPty(program, dir.filePath(QStringLiteral("O1000.nc"))) && ok;

    // The engine alone, in line-sized deliveries.
    {
        ReceiveEngine engine(nullptr);
        engine.setFileName(dir.filePath(QStringLiteral("O1001.nc")));
        const QString text = NcText::fromBytes(program.sent);
        constexpr int Chunk = 4096;
        QElapsedTimer clock;
        clock.start();
        for (qsizetype at = 0; at < text.size(); at += Chunk)
            engine.feed(text.mid(at, Chunk));
        const double seconds = clock.nsecsElapsed() / 1e9;
        std::printf("engine alone: %.0f characters/s, %s\n", engine.charCount() / seconds,
                    engine.status() == ReceiveEngine::Done ? "stored" : "NOT STORED");
        ok = ok && engine.status() == ReceiveEngine::Done;
    }
    return ok ? 0 : 1;
}
