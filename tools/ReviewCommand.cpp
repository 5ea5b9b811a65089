#include "tools/ReviewCommand.h"

#include "automode/AutoModeValues.h"
#include "automode/RemoteRequests.h"
#include "automode/SendListEntry.h"
#include "library/ProgramDiff.h"
#include "library/ReviewQueue.h"
#include "settings/NcText.h"
#include "settings/PortProfile.h"
#include "tools/CliCommand.h"
#include "tools/CliOutput.h"
#include "tools/OptionRecords.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace
{

const QString Command = QStringLiteral("review");

void out(const QString &text)
{
    std::fputs((text + u'\n').toLocal8Bit().constData(), stdout);
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// As the auto-mode log names a device.
QString deviceText(const QString &code)
{
    if (code.isEmpty())
        return QStringLiteral("-");
    if (code == AutoMode::DeviceCode(AutoMode::CableDevice))
        return QStringLiteral("cable");
    const int n = AutoMode::DeviceNumber(code);
    return n >= 0 ? QStringLiteral("Device[%1]").arg(n) : code;
}

QString timeText(const QDateTime &time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The folders returns land in: each port setting's work folder and the path list.
bool libraryFolders(const QString &optionsPath, QStringList *folders, QString *error)
{
    QStringList records;
    if (!OptionRecords::allRecords(optionsPath, &records, error))
        return false;
    for (const QString &r : records)
        *folders << PortProfile::fromText(r).workFolder();
    AutoMode::GeneralValuesFile values(optionsPath);
    if (!values.refresh()) {
        *error = QStringLiteral("cannot use the options file \"%1\": %2")
                     .arg(shown(optionsPath), values.error());
        return false;
    }
    *folders += values.values().pathList;
    folders->removeAll(QString());
    return true;
}

int list(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption options(QStringLiteral("options"), QString(),
                                     QStringLiteral("Option.ini"));
    parser.addOption(options);
    if (const int done = Cli::parse(parser, Command, args, true); done >= 0)
        return done;
    QStringList folders = parser.positionalArguments();
    for (const QString &f : std::as_const(folders))
        if (!QFileInfo(f).isDir())
            return Cli::refuse(Command, QStringLiteral("\"%1\" is not a folder").arg(shown(f)));
    if (folders.isEmpty() && !parser.isSet(options))
        return Cli::refuse(Command, QStringLiteral("list needs a FOLDER or --options"));
    QString error;
    if (folders.isEmpty() && !libraryFolders(parser.value(options), &folders, &error))
        return Cli::refuse(Command, error);
    const QList<ReviewQueue::Entry> held = ReviewQueue::find(folders);
    for (const ReviewQueue::Entry &e : held)
        out(QStringList{timeText(e.time),
                        e.origin.portSetting.isEmpty() ? QStringLiteral("-") : e.origin.portSetting,
                        deviceText(e.origin.device), shown(e.targetPath), shown(e.heldPath)}
                .join(u'\t'));
    std::fflush(stdout);
    CliOutput::say(
        held.isEmpty()
            ? QStringLiteral("ncferry-cli review: no programs held for review")
            : QStringLiteral("ncferry-cli review: %1 program(s) held for review").arg(held.size()));
    return Cli::Ok;
}

QStringList programLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return AutoMode::TextLines(NcText::fromBytes(f.readAll()));
}

int show(const QString &heldPath)
{
    ReviewQueue::Entry e;
    QString why;
    if (!ReviewQueue::entryOf(heldPath, &e, &why))
        return Cli::refuse(Command, why);
    const bool stored = QFileInfo(e.targetPath).isFile();
    const QStringList left = stored ? programLines(e.targetPath) : QStringList();
    const QStringList right = programLines(e.heldPath);
    QString from = timeText(e.time);
    if (!e.origin.portSetting.isEmpty())
        from +=
            QStringLiteral(" from %1, %2").arg(e.origin.portSetting, deviceText(e.origin.device));
    out(QStringLiteral("held for review: %1\nprogram:         %2\nheld:            %3")
            .arg(shown(e.heldPath), shown(e.targetPath), from));
    out(QStringLiteral("--- %1 (%2)")
            .arg(shown(e.targetPath), stored ? QStringLiteral("stored, %1 lines").arg(left.size())
                                             : QStringLiteral("none stored yet")));
    out(QStringLiteral("+++ %1 (held, %2 lines)").arg(shown(e.heldPath)).arg(right.size()));
    for (const QString &line : DiffText(left, right, DiffPrograms(left, right)))
        out(line);
    std::fflush(stdout);
    return Cli::Ok;
}

int decide(bool accept, const QStringList &heldPaths)
{
    int status = Cli::Ok;
    const QString verb = accept ? QStringLiteral("accept") : QStringLiteral("reject");
    for (const QString &path : heldPaths) {
        const ReviewQueue::Decision d =
            accept ? ReviewQueue::accept(path) : ReviewQueue::reject(path);
        if (!d.done) {
            CliOutput::say(QStringLiteral("ncferry-cli review %1: %2").arg(verb, d.reason));
            // Not a held program is a bad word; a decision that could not be written failed.
            status = qMax(status, int(d.targetPath.isEmpty() ? Cli::UsageError : Cli::Failed));
            continue;
        }
        if (!accept)
            CliOutput::say(
                QStringLiteral("rejected \"%1\": moved to \"%2\"; \"%3\" stays as it was")
                    .arg(shown(path), shown(d.movedTo), shown(d.targetPath)));
        else if (d.stored.outcome == ProgramStore::Result::Identical)
            CliOutput::say(QStringLiteral("accepted \"%1\": \"%2\" holds the same program already")
                               .arg(shown(path), shown(d.targetPath)));
        else
            CliOutput::say(QStringLiteral("accepted \"%1\": stored as \"%2\"%3")
                               .arg(shown(path), shown(d.targetPath),
                                    d.stored.backupPath.isEmpty()
                                        ? QString()
                                        : QStringLiteral("; the old program kept as \"%1\"")
                                              .arg(shown(d.stored.backupPath))));
        if (!d.warning.isEmpty())
            CliOutput::say(QStringLiteral("ncferry-cli review %1: %2").arg(verb, d.warning));
    }
    return status;
}

} // namespace

int runReviewCommand(const QStringList &args)
{
    const QString action = args.value(0);
    const QStringList rest = args.mid(1);
    if (action == QLatin1String("list"))
        return list(rest);
    if (action != QLatin1String("show") && action != QLatin1String("accept") &&
        action != QLatin1String("reject")) {
        QCommandLineParser parser;
        if (const int done = Cli::parse(parser, Command, args, true); done >= 0)
            return done;
        return Cli::refuse(Command,
                           action.isEmpty()
                               ? QStringLiteral("say list, show, accept or reject")
                               : QStringLiteral("unknown review command \"%1\"").arg(action));
    }
    QCommandLineParser parser;
    if (const int done = Cli::parse(parser, Command, rest, true); done >= 0)
        return done;
    const QStringList held = parser.positionalArguments();
    if (held.isEmpty())
        return Cli::refuse(Command, QStringLiteral("%1 needs the held program (as review list "
                                                   "shows it)")
                                        .arg(action));
    if (action == QLatin1String("show")) {
        if (held.size() > 1)
            return Cli::refuse(Command, QStringLiteral("show takes one held program"));
        return show(held.first());
    }
    return decide(action == QLatin1String("accept"), held);
}
