#include "tools/JournalCommand.h"

#include "library/TransferJournal.h"
#include "settings/ProgramFolders.h"
#include "tools/CliCommand.h"
#include "tools/CliOutput.h"

#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

QString defaultJournalPath()
{
    const QString set = qEnvironmentVariable("NCFERRY_JOURNAL");
    if (!set.isEmpty())
        return set;
    return QDir(GetProgramFolders().data).filePath(QLatin1String(TransferJournal::FileName));
}

namespace
{

void out(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

QString table(const QList<JournalRow> &rows)
{
    QString text;
    for (const JournalRow &r : rows) {
        const JournalEntry &e = r.entry;
        QStringList fields{e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + u'Z',
                           e.portSetting.isEmpty() ? QStringLiteral("-") : e.portSetting};
        if (!e.device.isEmpty())
            fields << e.device;
        fields << e.direction << e.result << QString::number(e.characters)
               << QDir::toNativeSeparators(e.file) << e.user;
        text += fields.join(QStringLiteral("  "));
        if (!e.reason.isEmpty())
            text += QStringLiteral("  (") + QString(e.reason).replace(u'\n', u' ') + u')';
        text += u'\n';
    }
    return text;
}

} // namespace

int runJournalCommand(const QStringList &args)
{
    const QString command = QStringLiteral("journal");
    QCommandLineParser parser;
    const QCommandLineOption csv(QStringLiteral("csv"));
    const QCommandLineOption verify(QStringLiteral("verify"));
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
    const QCommandLineOption file(QStringLiteral("file"), QString(), QStringLiteral("JOURNAL"));
    parser.addOptions({csv, verify, since, file});
    if (const int done = Cli::parse(parser, command, args, false); done >= 0)
        return done;
    const QString path = parser.isSet(file) ? parser.value(file) : defaultJournalPath();
    if (parser.isSet(verify)) {
        const TransferJournal::Check check = TransferJournal::verify(path);
        if (check.ok) {
            out(QStringLiteral("%1: %2 rows, the chain is whole\n")
                    .arg(QDir::toNativeSeparators(path))
                    .arg(check.rows));
            return Cli::Ok;
        }
        CliOutput::say(QStringLiteral("ncferry-cli journal: %1: %2")
                           .arg(QDir::toNativeSeparators(path), check.problem));
        return Cli::Failed;
    }
    QDateTime from;
    if (parser.isSet(since)) {
        const QString text = parser.value(since);
        from = QDateTime::fromString(text, Qt::ISODate);
        if (!from.isValid()) {
            const QDate day = QDate::fromString(text, Qt::ISODate);
            if (day.isValid())
                from = day.startOfDay(Qt::UTC);
        }
        if (!from.isValid())
            return Cli::refuse(command, QStringLiteral("--since takes a date as YYYY-MM-DD or "
                                                       "YYYY-MM-DDTHH:MM:SS, not \"%1\"")
                                            .arg(text));
        if (from.timeSpec() == Qt::LocalTime && text.size() > 10)
            from = from.toUTC();
    }
    QList<JournalRow> rows;
    QString error;
    if (!TransferJournal::readRows(path, from, &rows, &error)) {
        CliOutput::say(QStringLiteral("ncferry-cli journal: cannot read \"%1\": %2")
                           .arg(QDir::toNativeSeparators(path), error));
        return Cli::UsageError;
    }
    out(parser.isSet(csv) ? TransferJournal::csv(rows) : table(rows));
    std::fflush(stdout);
    return Cli::Ok;
}
