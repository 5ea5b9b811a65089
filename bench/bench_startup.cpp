// Start-up to the main window shown and idle, with a fresh program folder: the same steps as
// the program's main(), timed from before the application object exists. Each run is a new
// process, so nothing is warm but the operating system's file cache.
#include "app/Startup.h"
#include "library/LibraryEngine.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>

static int child(const char *base)
{
    QElapsedTimer clock;
    clock.start();
    int argc = 1;
    char name[] = "bench_startup";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(base) + QLatin1Char('/');
    LongLivedWindows windows(folder, QGuiApplication::primaryScreen()->availableGeometry());
    TF_Main &main = windows.main;
    main.show();
    // Idle: the first listing has run and no event is waiting.
    do
        QCoreApplication::processEvents();
    while (main.engine()->jobQueue()->pendingJobs() > 0);
    QCoreApplication::processEvents();
    std::printf("%.1f\n", clock.nsecsElapsed() / 1e6);
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2]);
    QCoreApplication app(argc, argv);
    QList<double> times;
    for (int run = 0; run < 7; ++run) {
        QTemporaryDir base;
        QDir().mkpath(base.filePath(QStringLiteral("language")));
        for (const QString &pack : QDir(QStringLiteral(NCFERRY_LANGUAGE_DIR)).entryList({"*.ini"}))
            QFile::copy(QStringLiteral(NCFERRY_LANGUAGE_DIR "/") + pack,
                        base.filePath(QStringLiteral("language/") + pack));
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), base.path()});
        if (!p.waitForFinished(30000) || p.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed: %s\n", run, p.readAllStandardError().constData());
            return 1;
        }
        times << p.readAllStandardOutput().trimmed().toDouble();
        if (!QFile::exists(base.filePath(QStringLiteral("access.mdb"))))
            std::fprintf(stderr, "run %d made no notes database\n", run);
    }
    std::sort(times.begin(), times.end());
    std::printf("start-up to the main window shown and idle, fresh program folder, %lld runs\n",
                static_cast<long long>(times.size()));
    std::printf("  fastest %.1f ms   median %.1f ms   slowest %.1f ms   (target < 400 ms)\n",
                times.first(), times[times.size() / 2], times.last());
    std::printf("  result: %s\n", times[times.size() / 2] < 400 ? "PASS" : "FAIL");
    return 0;
}
