#include "tools/AutoCommand.h"

#include "automode/AutoLink.h"
#include "automode/AutoModeLog.h"
#include "settings/NcText.h"
#include "settings/PortProfile.h"
#include "settings/ProgramFolders.h"
#include "tools/CliCommand.h"
#include "tools/OptionRecords.h"
#include "tools/StopSignals.h"
#include "transfer/LineSession.h"
#include "transfer/SerialLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <cstdio>
#include <list>
#include <memory>

using namespace AutoCommand;
using namespace AutoMode;

namespace
{

const QString command = QStringLiteral("auto");
const QString portSetting = QStringLiteral("port-setting");
const QString portSettingName = QStringLiteral("port-setting-name");
const QString logFile = QStringLiteral("log");
const QString optionsFile = QStringLiteral("options");

int usage(const QString &problem)
{
    return Cli::refuse(command, problem);
}

// One port setting served: its line, its link and its log.
struct Served {
    PortProfile port;
    LineSettings settings;
    QString logPath;
    std::unique_ptr<AutoModeLog> log;
    std::unique_ptr<LineSession> session;
    std::unique_ptr<AutoLink> link;
    QString prefix; // before each stdout line when several lines share it
    bool logFailed = false;
    QString optionsProblem;

    void addLog(const QString &text)
    {
        std::fputs(qPrintable(prefix + text + u'\n'), stdout);
        std::fflush(stdout);
        QString why;
        if (!log->append(text, &why)) {
            // Said once: the service goes on serving the machines.
            if (!logFailed)
                Cli::say(command, why);
            logFailed = true;
        } else {
            logFailed = false;
        }
    }
    void note(const QString &status, const QString &text)
    {
        addLog(AutoModeLog::noteLine(status, text, QDateTime::currentDateTime()));
    }
};

struct AutoOptions {
    QStringList records, logs;
    QList<bool> byName;
    QString optionsPath;
};

// A --log belongs to the --port-setting (or --port-setting-name) before it. Returns -1 when
// the words pair up, else the status to exit with.
int pairLogs(const QStringList &args, AutoOptions *o)
{
    for (const auto &[name, value] :
         Cli::valuesInOrder(args, {portSetting, portSettingName, logFile, optionsFile})) {
        if (name == portSetting || name == portSettingName) {
            o->records << value;
            o->logs << QString();
            o->byName << (name == portSettingName);
        } else if (name == logFile) {
            if (o->records.isEmpty() || !o->logs.last().isEmpty())
                return usage(QStringLiteral("each --log follows its own --port-setting"));
            o->logs.last() = value;
        }
    }
    return -1;
}

// Returns -1 when the service goes on, else the status to exit with.
int readOptions(const QStringList &args, AutoOptions *o)
{
    QCommandLineParser parser;
    const QCommandLineOption options(optionsFile, QString(), QStringLiteral("Option.ini"));
    parser.addOption(QCommandLineOption(portSetting, QString(), QStringLiteral("record line")));
    parser.addOption(QCommandLineOption(portSettingName, QString(), QStringLiteral("name")));
    parser.addOption(QCommandLineOption(logFile, QString(), QStringLiteral("file")));
    parser.addOption(options);
    if (const int done = Cli::parse(parser, command, args, false); done >= 0)
        return done;
    if (const int done = pairLogs(args, o); done >= 0)
        return done;
    o->optionsPath = parser.value(options);
    if (o->records.isEmpty())
        return usage(QStringLiteral("--port-setting is missing"));
    if (o->optionsPath.isEmpty())
        return usage(QStringLiteral("--options is missing"));
    for (int n = 0; n < o->records.size(); ++n) {
        QString error;
        if (o->byName[n] &&
            !OptionRecords::recordNamed(o->optionsPath, o->records[n], &o->records[n], &error))
            return usage(error);
    }
    if (!QCoreApplication::instance())
        return usage(QStringLiteral("no application object"));
    return -1;
}

// Each port setting's line and log, before anything opens. Returns -1 when every one can be
// served, else the status to exit with.
int describeLines(const AutoOptions &o, std::list<Served> &served)
{
    QSet<QString> logPaths;
    for (int n = 0; n < o.records.size(); ++n) {
        Served &s = served.emplace_back();
        s.port = PortProfile::fromText(o.records[n]);
        if (s.port.fields().size() < PortSetting::FieldCount)
            return usage(QStringLiteral("the port setting has %1 fields, not %2 (name, port, "
                                        "baud rate, parity, data bits, stop bits, flow control, "
                                        "work folder, extension, type)")
                             .arg(s.port.fields().size())
                             .arg(int(PortSetting::FieldCount)));
        if (!s.port.isUsable())
            return usage(s.port.problem());
        s.settings = s.port.lineSettings(PortProfile::Use::AutoMode);
        s.logPath = o.logs[n].isEmpty()
                        ? AutoModeLog::pathFor(GetProgramFolders().data, s.port.name())
                        : o.logs[n];
        const QString key = QFileInfo(s.logPath).absoluteFilePath();
        if (logPaths.contains(key))
            return usage(QStringLiteral("two port settings would share the log \"%1\"; give "
                                        "each its own name or --log")
                             .arg(QDir::toNativeSeparators(s.logPath)));
        logPaths.insert(key);
        if (o.records.size() > 1)
            s.prefix = QStringLiteral("[%1] ").arg(s.port.name());
    }
    return -1;
}

bool openLines(std::list<Served> &served)
{
    for (Served &s : served) {
        s.log = std::make_unique<AutoModeLog>(s.logPath);
        s.session = std::make_unique<LineSession>(s.settings);
        // Named as send and receive name it: the program holding the port, if it says.
        if (!Cli::openLine(*s.session, command, s.prefix))
            return false;
    }
    return true;
}

void bindLink(Served &s, GeneralValuesFile &values, const LinkTimings &timings,
              const QString &optionsPath)
{
    // A damaged options file keeps the values read before; said once per new problem.
    s.link = std::make_unique<AutoLink>(
        s.session->line(), s.port,
        [&values, &s] {
            const GeneralValues v = values.values();
            if (values.error() != s.optionsProblem) {
                s.optionsProblem = values.error();
                if (!s.optionsProblem.isEmpty())
                    s.note(QStringLiteral("ERROR"),
                           QStringLiteral("%1; the values read before stay in use")
                               .arg(s.optionsProblem));
            }
            return v;
        },
        timings);
    AutoLink *link = s.link.get();
    link->setFallbackFolder(GetProgramFolders().data);
    link->setRequestOptions(
        RequestOptionsFor(QFileInfo(optionsPath).absolutePath(), s.port.name()));
    QObject::connect(link, &AutoLink::logEvent, link, [&s](const LogEvent &e) {
        s.addLog(LogLine(e, QDateTime::currentDateTime()));
    });
    QObject::connect(link, &AutoLink::problem, link,
                     [&s](const QString &text) { s.note(QStringLiteral("ERROR"), text); });
    QObject::connect(link, &AutoLink::resolved, link,
                     [&s](const QString &text) { s.note(QStringLiteral("SUCCESS"), text); });
}

// A replugged adapter or cable, a device server back on: tried again every few seconds,
// never in a loop, without holding up the other lines.
void watchLine(Served &s, int reopenIntervalMs)
{
    s.session->setReopenInterval(reopenIntervalMs);
    QObject::connect(
        s.session.get(), &LineSession::stateChanged, s.link.get(),
        [&s](LineSession::State state, const QString &reason) {
            if (state == LineSession::State::Lost)
                s.note(QStringLiteral("ERROR"), reason);
            else if (state == LineSession::State::Open)
                s.note(QStringLiteral("SUCCESS"),
                       QStringLiteral("the line \"%1\" is open again").arg(s.settings.portName));
        });
}

// Serves every line until a stop signal and the entry in progress are over.
void serve(std::list<Served> &served)
{
    QEventLoop loop;
    StopSignals signalWatch;
    QTimer finishing;
    finishing.setInterval(20);
    QDeadlineTimer grace;
    QObject::connect(&signalWatch, &StopSignals::stopRequested, &loop, [&](int sig) {
        if (finishing.isActive())
            return;
        Cli::say(command,
                 QStringLiteral("stopping (signal %1) after the entry in progress").arg(sig));
        for (Served &s : served) {
            s.link->stopDispatching();
            s.session->setReopenInterval(0);
        }
        grace.setRemainingTime(StopGraceMs);
        finishing.start();
    });
    QObject::connect(&finishing, &QTimer::timeout, &loop, [&] {
        // An entry still waiting for its machine's XON has not begun: it is not waited for.
        bool busy = false;
        for (const Served &s : served)
            busy = busy || (s.link->threadOver() && !s.link->workerHeld());
        if (!busy || grace.hasExpired())
            loop.quit();
    });
    for (Served &s : served) {
        Cli::say(command,
                 QStringLiteral("serving \"%1\" on %2; log \"%3\"")
                     .arg(s.port.name(), s.settings.portName, QDir::toNativeSeparators(s.logPath)));
        s.link->start();
    }
    loop.exec();
    for (Served &s : served) {
        s.link->stop();
        s.session->close();
    }
}

} // namespace

int runAutoCommand(const QStringList &args, int reopenIntervalMs)
{
    AutoOptions o;
    if (const int done = readOptions(args, &o); done >= 0)
        return done;
    // std::list: a served line's address stays fixed for the handlers bound to it.
    std::list<Served> served;
    if (const int done = describeLines(o, served); done >= 0)
        return done;
    GeneralValuesFile values(o.optionsPath);
    if (!values.refresh())
        return usage(QStringLiteral("cannot use the options file \"%1\": %2")
                         .arg(QDir::toNativeSeparators(o.optionsPath), values.error()));
    // The log and the replies in the code page the program's settings choose.
    NcText::setCodePage(NcText::forOptionsFile(o.optionsPath));
    if (!openLines(served))
        return Cli::PortError;
    // Settings that Option.ini has no line for live beside it.
    const LinkTimings timings =
        WithProgramSettings(LinkTimings(), QFileInfo(o.optionsPath).absolutePath());
    for (Served &s : served) {
        bindLink(s, values, timings, o.optionsPath);
        watchLine(s, reopenIntervalMs);
    }
    serve(served);
    return Cli::Ok;
}
