// ncferry-cli: the send and receive engines from a command line.
#include "tools/AutoCommand.h"
#include "tools/CliArguments.h"
#include "tools/CliCommand.h"
#include "tools/CliOutput.h"
#include "tools/JournalCommand.h"
#include "tools/ReceiveCommand.h"
#include "tools/ReviewCommand.h"
#include "tools/SendCommand.h"

#include "library/ProgramStore.h"
#include "library/TransferJournal.h"
#include "settings/ProgramFolders.h"
#include <QCommandLineParser>

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args;
    QString error;
    if (!CliArguments::decode(argc, argv, &args, &error)) {
        std::fprintf(stderr, "ncferry-cli: %s\n", error.toLocal8Bit().constData());
        return Cli::UsageError;
    }
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("journal"))
        return runJournalCommand(args);
    // Transfers are journaled; a journal that cannot be written is said once and changes
    // nothing else. The rows are written before the program ends.
    TransferJournal journal(defaultJournalPath());
    QObject::connect(
        &journal, &TransferJournal::problem, &journal,
        [](const QString &message) {
            CliOutput::say(QStringLiteral("ncferry-cli: %1").arg(message));
        },
        Qt::DirectConnection);
    TransferJournal::setProcessJournal(&journal);
    ProgramStore::setProcessLimit(ProgramStore::backupLimitFrom(
        QDir(GetProgramFolders().settings).filePath(QStringLiteral("NCFerry.ini"))));
    if (command == QLatin1String("send"))
        return runSendCommand(args);
    if (command == QLatin1String("receive"))
        return runReceiveCommand(args);
    if (command == QLatin1String("auto"))
        return runAutoCommand(args);
    if (command == QLatin1String("review"))
        return runReviewCommand(args);
    if (command.startsWith(QLatin1Char('-'))) {
        // --help or --version before any command.
        QCommandLineParser parser;
        args.prepend(command);
        const int done = Cli::parse(parser, QString(), args, false);
        return done >= 0 ? done : Cli::refuse(QString(), QStringLiteral("no command given"));
    }
    if (!command.isEmpty()) {
        CliOutput::say(QStringLiteral("ncferry-cli: unknown command \"%1\"").arg(command));
    }
    CliOutput::say(Cli::usage());
    return Cli::UsageError;
}
