#include "tools/ReceiveCommand.h"

#include "library/ProgramFiles.h"
#include "settings/PortProfile.h"
#include "tools/CliCommand.h"
#include "tools/CliOutput.h"
#include "tools/StopSignals.h"
#include "transfer/LineSession.h"
#include "transfer/PortProblem.h"
#include "transfer/ReceiveEngine.h"
#include "transfer/SerialLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>
#include <memory>

#include <climits>
#include <cstdio>

using namespace ReceiveCommand;

namespace
{

void say(const QString &text)
{
    CliOutput::say(text);
}

int usage(const QString &problem)
{
    return Cli::refuse(QStringLiteral("receive"), problem);
}

// The program must survive a target that cannot be written: it goes beside the temporary
// files instead, and the user is told where. The name is reserved, so two receives of the
// same program in the same second do not overwrite each other.
QString rescuePath(const QString &out)
{
    QTemporaryFile reserved(QDir(QDir::tempPath())
                                .filePath(QStringLiteral("ncferry-received-%1-XXXXXX-%2")
                                              .arg(QDateTime::currentDateTime().toString(
                                                       QStringLiteral("yyyyMMdd-HHmmss")),
                                                   QFileInfo(out).fileName())));
    reserved.setAutoRemove(false);
    if (!reserved.open())
        return QDir(QDir::tempPath()).filePath(QFileInfo(out).fileName());
    return reserved.fileName();
}

// A transfer that did not end as asked is kept as a failed transfer beside OUT, named by its
// port setting and the time; beside the temporary files when that folder takes none.
QString keepPath(const QString &out, const QString &portSetting)
{
    QString why;
    const QString folder = QFileInfo(out).absolutePath();
    // A folder that went away is not made again as a side effect.
    const QString kept =
        QFileInfo(folder).isDir()
            ? ProgramFiles::FailedPath(folder, portSetting, QFileInfo(out).fileName(), &why)
            : QString();
    return kept.isEmpty() ? rescuePath(out) : kept;
}

} // namespace

int runReceiveCommand(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption portSetting(QStringLiteral("port-setting"), QString(),
                                         QStringLiteral("record line"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(),
                                     QStringLiteral("seconds"));
    parser.addOption(portSetting);
    parser.addOption(timeout);
    if (const int done = Cli::parse(parser, QStringLiteral("receive"), args, true); done >= 0)
        return done;
    const QString record = parser.value(portSetting);
    const QStringList words = parser.positionalArguments();
    if (words.size() > 1)
        return usage(QStringLiteral("only one output file, not \"%1\" too").arg(words.at(1)));
    const QString out = words.value(0);
    int timeoutSeconds = DefaultTimeoutSeconds;
    if (parser.isSet(timeout)) {
        const QString value = parser.value(timeout);
        bool ok = false;
        timeoutSeconds = value.toInt(&ok);
        // A day at most: a longer silence is no time-out, and the milliseconds must fit a
        // timer's int.
        if (!ok || timeoutSeconds < MinTimeoutSeconds || timeoutSeconds > MaxTimeoutSeconds)
            return usage(QStringLiteral("--timeout takes a whole number of seconds "
                                        "from %1 to %2, not \"%3\"")
                             .arg(MinTimeoutSeconds)
                             .arg(MaxTimeoutSeconds)
                             .arg(value));
    }
    if (record.isEmpty())
        return usage(QStringLiteral("--port-setting is missing"));
    if (out.isEmpty())
        return usage(QStringLiteral("the output file OUT is missing"));
    if (!QCoreApplication::instance())
        return usage(QStringLiteral("no application object"));

    const PortProfile profile = PortProfile::fromText(record);
    if (!profile.isUsable())
        return usage(profile.problem());
    const LineSettings settings = profile.lineSettings(PortProfile::Use::Receive);
    const QString noPort = PortProblem::missingPort(record, settings.portName);
    if (!noPort.isEmpty())
        return usage(noPort);

    // Refuse before the machine starts punching, not after.
    const QFileInfo target(out);
    if (target.isDir() || !target.absoluteDir().exists() ||
        !QFileInfo(target.absolutePath()).isWritable()) {
        say(QStringLiteral("ncferry-cli receive: cannot write \"%1\": %2")
                .arg(QDir::toNativeSeparators(out),
                     target.isDir() ? QStringLiteral("it is a folder")
                                    : QStringLiteral("its folder is missing or not writable")));
        return Cli::Failed;
    }

    LineSession session(settings);
    SerialLine &line = *session.line();
    QString error;
    if (!session.openNow(&error)) {
        say(QStringLiteral("ncferry-cli receive: %1").arg(error));
        return Cli::PortError;
    }
    const QString portName = profile.name();
    ReceiveEngine engine(&line);
    engine.setFileName(target.absoluteFilePath());
    engine.setJournalName(portName);

    QEventLoop loop;
    int result = Cli::Ok;
    // A program cut short (time-out, a signal, a lost line) is kept under a rescue name.
    CliOutput::Progress progress;
    auto stopWith = [&](int status, const QString &why) {
        progress.finish();
        say(QStringLiteral("ncferry-cli receive: %1").arg(why));
        QString kept;
        if (engine.hasUnsavedData()) {
            const QString rescue = keepPath(out, portName);
            QString error;
            int rows = 0;
            if (engine.savePartial(rescue, &error, &rows)) {
                kept = rescue;
                say(QStringLiteral("ncferry-cli receive: the %1 characters that had arrived "
                                   "(%2 lines) were saved in \"%3\"")
                        .arg(engine.charCount())
                        .arg(rows)
                        .arg(QDir::toNativeSeparators(rescue)));
            } else {
                say(QStringLiteral("ncferry-cli receive: %1").arg(error));
            }
        }
        if (engine.status() != ReceiveEngine::Waiting || engine.charCount() > 0)
            engine.journalFailure(why, kept);
        result = status;
        loop.quit();
    };
    QTimer silence;
    silence.setSingleShot(true);
    if (timeoutSeconds > 0) {
        silence.setInterval(timeoutSeconds * 1000);
        silence.start();
        QObject::connect(&silence, &QTimer::timeout, &loop, [&] {
            stopWith(Cli::TimedOut, QStringLiteral("timed out: nothing received for %1 s%2")
                                        .arg(timeoutSeconds)
                                        .arg(engine.status() == ReceiveEngine::Waiting
                                                 ? QStringLiteral(" (no program started)")
                                                 : QString()));
        });
        QObject::connect(&line, &SerialLine::rxChar, &silence, [&] { silence.start(); });
    }
    QObject::connect(&session, &LineSession::stateChanged, &loop,
                     [&](LineSession::State state, const QString &reason) {
                         if (state == LineSession::State::Lost)
                             stopWith(Cli::Failed, reason);
                     });
    StopSignals signalWatch;
    QObject::connect(&signalWatch, &StopSignals::stopRequested, &loop, [&](int sig) {
        stopWith(Cli::Failed, QStringLiteral("stopped by signal %1").arg(sig));
    });

    QObject::connect(&engine, &ReceiveEngine::charCountChanged, &loop, [&](qint64 count) {
        progress.update(QStringLiteral("received %1 characters").arg(count));
    });
    bool rescuing = false;
    QObject::connect(&engine, &ReceiveEngine::programStored, &loop, [&](const QString &path) {
        progress.finish();
        const QString where = QDir::toNativeSeparators(path);
        if (rescuing) {
            say(QStringLiteral("ncferry-cli receive: the program was saved in \"%1\" instead")
                    .arg(where));
            result = Cli::Failed;
        } else if (path != target.absoluteFilePath()) {
            // Success means the program is where the user asked, under that very name.
            say(QStringLiteral("ncferry-cli receive: the program was stored in \"%1\", not in "
                               "\"%2\" as asked")
                    .arg(where, QDir::toNativeSeparators(target.absoluteFilePath())));
            result = Cli::Failed;
        } else {
            say(QStringLiteral("received %1 characters in %2 lines, stored in \"%3\"")
                    .arg(engine.charCount())
                    .arg(engine.lineCount())
                    .arg(where));
        }
        loop.quit();
    });
    QObject::connect(&engine, &ReceiveEngine::storeFailed, &loop, [&](const QString &message) {
        progress.finish();
        say(QStringLiteral("ncferry-cli receive: %1").arg(message));
        if (rescuing) {
            engine.journalFailure(message, QString());
            result = Cli::Failed;
            loop.quit();
            return;
        }
        rescuing = true;
        engine.keepAsFailed(keepPath(out, portName), message);
        QMetaObject::invokeMethod(
            &engine, [&] { engine.retryStore(); }, Qt::QueuedConnection);
    });
    loop.exec();
    line.close();
    return result;
}
