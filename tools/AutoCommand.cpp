#include "tools/AutoCommand.h"

#include "automode/AutoLink.h"
#include "automode/AutoModeLog.h"
#include "transfer/PortSerialLine.h"
#include "settings/PortSetting.h"
#include "tools/CliOutput.h"
#include "tools/StopSignals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

using namespace AutoCommand;
using namespace AutoMode;

namespace
{

int usage(const QString &problem)
{
    CliOutput::say(QStringLiteral("ncferry-cli auto: %1").arg(problem));
    CliOutput::say(QStringLiteral("usage: ncferry-cli auto --port-setting \"<record line>\" "
                                  "--options <Option.ini> [--log FILE]"));
    return UsageError;
}

} // namespace

int runAutoCommand(const QStringList &args)
{
    QString record, options, logPath;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--port-setting") || a == QLatin1String("--options") ||
            a == QLatin1String("--log")) {
            if (i + 1 >= args.size())
                return usage(QStringLiteral("%1 needs a value").arg(a));
            (a == QLatin1String("--port-setting") ? record
             : a == QLatin1String("--options")    ? options
                                                  : logPath) = args[++i];
        } else {
            return usage(QStringLiteral("unknown argument \"%1\"").arg(a));
        }
    }
    if (record.isEmpty())
        return usage(QStringLiteral("--port-setting is missing"));
    if (options.isEmpty())
        return usage(QStringLiteral("--options is missing"));
    if (!QCoreApplication::instance())
        return usage(QStringLiteral("no application object"));

    const QStringList port = PortSetting::split(record);
    if (port.size() < PortSetting::FieldCount)
        return usage(QStringLiteral("the port setting has %1 fields, not %2 (name, port, baud "
                                    "rate, parity, data bits, stop bits, flow control, work "
                                    "folder, extension, type)")
                         .arg(port.size())
                         .arg(int(PortSetting::FieldCount)));
    LineSettings settings;
    QString error;
    if (!PortSetting::toLineSettings(port, &settings, nullptr, &error))
        return usage(error);

    GeneralValuesFile values(options);
    if (!values.refresh())
        return usage(QStringLiteral("cannot use the options file \"%1\": %2")
                         .arg(QDir::toNativeSeparators(options), values.error()));
    if (logPath.isEmpty())
        logPath = AutoModeLog::pathFor(QCoreApplication::applicationDirPath(),
                                       port.at(PortSetting::Name));
    const AutoModeLog log(logPath);

    PortSerialLine line;
    settings.discardNull = port.at(PortSetting::Type) == QLatin1String("None");
    line.setSettings(settings);
    if (!line.open(&error)) {
        CliOutput::say(QStringLiteral("ncferry-cli auto: %1").arg(error));
        return PortError;
    }

    bool logFailed = false;
    auto addLog = [&](const QString &text) {
        std::fputs(qPrintable(text + u'\n'), stdout);
        std::fflush(stdout);
        QString why;
        if (!log.append(text, &why)) {
            // Said once: the service goes on serving the machines.
            if (!logFailed)
                CliOutput::say(QStringLiteral("ncferry-cli auto: %1").arg(why));
            logFailed = true;
        } else {
            logFailed = false;
        }
    };
    auto note = [&](const QString &status, const QString &text) {
        addLog(AutoModeLog::noteLine(status, text, QDateTime::currentDateTime()));
    };

    // A damaged options file keeps the values read before; said once per new problem.
    QString optionsProblem;
    AutoLink link(&line, port, [&] {
        const GeneralValues v = values.values();
        if (values.error() != optionsProblem) {
            optionsProblem = values.error();
            if (!optionsProblem.isEmpty())
                note(QStringLiteral("ERROR"),
                     QStringLiteral("%1; the values read before stay in use").arg(optionsProblem));
        }
        return v;
    });
    QObject::connect(&link, &AutoLink::logEvent, &link, [&](const LogEvent &e) {
        addLog(LogLine(e, QDateTime::currentDateTime()));
    });
    QObject::connect(&link, &AutoLink::problem, &link,
                     [&](const QString &text) { note(QStringLiteral("ERROR"), text); });

    // A replugged adapter or cable: try again every few seconds, never in a loop.
    QTimer reopen;
    reopen.setInterval(ReopenIntervalMs);
    QObject::connect(&line, &SerialLine::lineLost, &link, [&](const QString &message) {
        note(QStringLiteral("ERROR"), message);
        line.close();
        reopen.start();
    });
    QObject::connect(&reopen, &QTimer::timeout, &link, [&] {
        QString why;
        if (!line.open(&why))
            return;
        reopen.stop();
        note(QStringLiteral("SUCCESS"),
             QStringLiteral("the line \"%1\" is open again").arg(settings.portName));
    });

    QEventLoop loop;
    StopSignals signalWatch;
    QTimer finishing;
    finishing.setInterval(20);
    QDeadlineTimer grace;
    QObject::connect(&signalWatch, &StopSignals::stopRequested, &loop, [&](int sig) {
        if (finishing.isActive())
            return;
        CliOutput::say(QStringLiteral("ncferry-cli auto: stopping (signal %1) after the entry "
                                      "in progress")
                           .arg(sig));
        link.stopDispatching();
        reopen.stop();
        grace.setRemainingTime(StopGraceMs);
        finishing.start();
    });
    QObject::connect(&finishing, &QTimer::timeout, &loop, [&] {
        // An entry still waiting for its machine's XON has not begun: it is not waited for.
        if (!link.threadOver() || link.workerHeld() || grace.hasExpired())
            loop.quit();
    });
    CliOutput::say(QStringLiteral("ncferry-cli auto: serving \"%1\" on %2; log \"%3\"")
                       .arg(port.at(PortSetting::Name), settings.portName,
                            QDir::toNativeSeparators(logPath)));
    link.start();
    loop.exec();
    link.stop();
    line.close();
    return Ok;
}
