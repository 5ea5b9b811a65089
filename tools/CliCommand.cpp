#include "tools/CliCommand.h"

#include "tools/CliOutput.h"
#include "transfer/LineSession.h"
#include "transfer/PortProblem.h"

#include <QCommandLineParser>

#include <cstdio>

namespace
{

const char *const usageLines[][2] = {
    {"send",
     "ncferry-cli send --port-setting \"<record line>\" [--no-standby] [--from N1500|T5] FILE..."},
    {"receive", "ncferry-cli receive --port-setting \"<record line>\" [--timeout SECONDS] OUT"},
    {"auto", "ncferry-cli auto (--port-setting \"<record line>\" | --port-setting-name NAME) "
             "[--log FILE] [--port-setting ... [--log FILE]]... --options <Option.ini>"},
    {"journal", "ncferry-cli journal [--csv] [--since DATE] [--file JOURNAL] | journal --verify "
                "[--file JOURNAL]"},
    {"review", "ncferry-cli review list [--options <Option.ini>] [FOLDER]... | review show HELD "
               "| review accept|reject HELD..."},
    {"", "ncferry-cli --help | --version"},
};

// The word as the user typed it, for a name the parser reports without its dashes.
QString typedWord(const QStringList &args, const QString &name)
{
    for (const QString &a : args) {
        if (a == QLatin1String("--"))
            break;
        QString bare = a.section(QLatin1Char('='), 0, 0);
        if (bare.startsWith(QLatin1Char('-')) && bare != QLatin1String("-")) {
            while (bare.startsWith(QLatin1Char('-')))
                bare.remove(0, 1);
            if (bare == name)
                return a;
        }
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// After the usage lines of --help: what the words mean and where to read more.
const char helpText[] = R"(
A record line is one port setting as Option.ini keeps it, ten comma-separated fields
(a field holding blanks or commas in double quotes):
  name,port,baud rate,parity,data bits,stop bits,flow control,work folder,extension,type
for example
  "Mill,/dev/ttyUSB0,9600,Even,7,2,Xon/Xoff,/home/cnc/NC,*.nc,None"
The port is a serial device (ttyS0, /dev/ttyUSB0, /dev/serial/by-id/...) or a port on a
device server (rfc2217://host:port, tcp://host:port). auto --port-setting-name NAME takes
the port setting named NAME from the --options file instead of a record line.

Serial devices belong to a group (dialout on Debian); to use them without root:
  sudo usermod -aG dialout $USER    (then log out and in again)

Every send, receive and auto-mode answer and return is recorded in the transfer journal,
journal.db beside the notes (NCFERRY_JOURNAL names another file); "journal --verify" tells
whether a row was changed or removed since it was written (status 3 when one was).

A port setting whose "Hold returned programs for review" is on keeps what its machines
return in a "review" folder beside the stored program until someone decides: "review list"
finds them (in each FOLDER and below, or in the work folders and path list of --options),
"review show" prints the lines that differ from the stored program, "review accept"
stores it (the old program kept in backup/), "review reject" moves it to failed/.

Exit status: 0 done, 1 bad arguments or files, 2 port missing, in use or not allowed,
3 transfer failed or interrupted, 4 receive time-out.
The manual page ncferry-cli(1) tells the rest: man ncferry-cli
)";

} // namespace

namespace Cli
{

QString usage(const QString &command)
{
    QString text;
    for (const auto &line : usageLines) {
        if (!command.isEmpty() && command != QLatin1String(line[0]))
            continue;
        text += (text.isEmpty() ? QStringLiteral("usage: ") : QStringLiteral("       ")) +
                QString::fromUtf8(line[1]) + QLatin1Char('\n');
    }
    return text.chopped(1);
}

void say(const QString &command, const QString &text)
{
    CliOutput::say(QStringLiteral("ncferry-cli%1: %2")
                       .arg(command.isEmpty() ? QString() : QLatin1Char(' ') + command, text));
}

int refuse(const QString &command, const QString &problem)
{
    say(command, problem);
    CliOutput::say(usage(command));
    return UsageError;
}

int parse(QCommandLineParser &parser, const QString &command, const QStringList &args,
          bool takesWords)
{
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    const QString unknown = takesWords ? QStringLiteral("unknown option \"%1\"")
                                       : QStringLiteral("unknown argument \"%1\"");
    // The first word stands for the program's name, which the parser skips.
    if (!parser.parse(QStringList{QStringLiteral("ncferry-cli")} + args)) {
        if (!parser.unknownOptionNames().isEmpty())
            return refuse(command,
                          unknown.arg(typedWord(args, parser.unknownOptionNames().first())));
        // A value option as the last word: say it in the user's terms, not the parser's.
        if (!args.isEmpty() && args.last().startsWith(QLatin1String("--")) &&
            !args.last().contains(QLatin1Char('=')))
            return refuse(command, QStringLiteral("%1 needs a value").arg(args.last()));
        return refuse(command, parser.errorText());
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(usage() + QLatin1Char('\n') + QString::fromUtf8(helpText)), stdout);
        std::fflush(stdout);
        return Ok;
    }
    if (parser.isSet(version)) {
        std::fputs("ncferry-cli " NCFERRY_VERSION "\n", stdout);
        std::fflush(stdout);
        return Ok;
    }
    if (!takesWords && !parser.positionalArguments().isEmpty())
        return refuse(command, unknown.arg(parser.positionalArguments().first()));
    return -1;
}

QList<QPair<QString, QString>> valuesInOrder(const QStringList &args,
                                             const QStringList &valueOptions)
{
    QList<QPair<QString, QString>> values;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--"))
            break;
        if (!a.startsWith(QLatin1String("--")))
            continue;
        const int eq = a.indexOf(QLatin1Char('='));
        const QString name = a.mid(2, eq < 0 ? -1 : eq - 2);
        if (!valueOptions.contains(name))
            continue;
        if (eq >= 0)
            values.append({name, a.mid(eq + 1)});
        else if (i + 1 < args.size())
            values.append({name, args[++i]});
    }
    return values;
}

bool portFor(const QString &record, PortProfile::Use use, PortProfile *profile,
             LineSettings *settings, QString *problem)
{
    *profile = PortProfile::fromText(record);
    if (!profile->isUsable()) {
        *problem = profile->problem();
        return false;
    }
    *settings = profile->lineSettings(use);
    *problem = PortProblem::missingPort(record, settings->portName);
    return problem->isEmpty();
}

bool openLine(LineSession &session, const QString &command, const QString &prefix)
{
    QString why;
    if (session.openNow(&why))
        return true;
    say(command, prefix + why);
    return false;
}

} // namespace Cli
