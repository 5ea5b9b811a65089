#include "app/Startup.h"
#include "library/NotesStore.h"
#include "library/ProgramStore.h"
#include "library/TransferJournal.h"
#include "settings/ProgramFolders.h"
#include "tools/StopSignals.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace
{

// --help and --version answer on stdout without a display, as a command-line tool would;
// -1 when the program is to start.
int answerWithoutWindow(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("ncferry " NCFERRY_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs("usage: ncferry [Qt options]\n"
                       "       ncferry --help | --version\n"
                       "Starts NCFerry, the DNC program: a library of NC part programs, and send,\n"
                       "receive and auto mode over RS-232 lines. Settings are kept in\n"
                       "~/.config/NCFerry/Option.ini, notes and auto-mode logs in\n"
                       "~/.local/share/NCFerry/.\n"
                       "Transfers without windows: ncferry-cli(1). See ncferry(1) and\n"
                       "/usr/share/doc/ncferry/guide.md.\n",
                       stdout);
            return 0;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int answered = answerWithoutWindow(argc, argv); answered >= 0)
        return answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NCFerry"));
    QApplication::setApplicationVersion(QStringLiteral(NCFERRY_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/send.svg")));

    // A logout or a service stop (SIGTERM, SIGINT) closes the main window as the user would,
    // so the settings are saved and a send in progress asks first. Watched from here on; a
    // signal waits for the event loop.
    StopSignals stop;

    // Beside the program when its folder can be written, else in the user's own folders.
    const ProgramFolders folders = GetProgramFolders();
    QDir().mkpath(folders.settings);
    QDir().mkpath(folders.data);
    // Every transfer of the windows is journaled beside the notes; NCFERRY_JOURNAL names
    // another file (a journal shared with the auto-mode service).
    const QString journalPath = qEnvironmentVariable("NCFERRY_JOURNAL");
    TransferJournal journal(
        journalPath.isEmpty()
            ? QDir(folders.data).filePath(QLatin1String(TransferJournal::FileName))
            : journalPath);
    TransferJournal::setProcessJournal(&journal);
    ProgramStore::setProcessLimit(ProgramStore::backupLimitFrom(
        QDir(folders.settings).filePath(QStringLiteral("NCFerry.ini"))));
    LongLivedWindows windows(folders.settings, folders.data,
                             QGuiApplication::primaryScreen()->availableGeometry());
    TF_Main &main = windows.main;
    const TOption &option = windows.option;
    main.show();
    QObject::connect(&stop, &StopSignals::stopRequested, &main, [&main] { main.close(); });
    QObject::connect(&journal, &TransferJournal::problem, &main, [&main](const QString &message) {
        std::fprintf(stderr, "ncferry: %s\n", message.toLocal8Bit().constData());
        QMessageBox::warning(&main, main.windowTitle(), message);
    });

    // Problems with the settings files are told once, after the window is up; stderr (the
    // session's log) keeps them too.
    QTimer::singleShot(0, &main, [&] {
        for (const QString &message :
             {option.damageMessage(), option.languageMessage(), main.notes()->startupMessage()})
            if (!message.isEmpty()) {
                std::fprintf(stderr, "ncferry: %s\n", message.toLocal8Bit().constData());
                QMessageBox::warning(&main, main.windowTitle(), message);
            }
    });
    const int status = app.exec();
    // Transfer windows end with the program: their workers stop and their lines close.
    const QList<QWidget *> open = QApplication::topLevelWidgets();
    for (QWidget *w : open)
        if (w->testAttribute(Qt::WA_DeleteOnClose))
            delete w;
    return status;
}
