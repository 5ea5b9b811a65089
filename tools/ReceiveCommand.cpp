#include "tools/ReceiveCommand.h"

#include "library/ProgramFiles.h"
#include "settings/PortProfile.h"
#include "tools/CliCommand.h"
#include "tools/CliOutput.h"
#include "tools/StopSignals.h"
#include "transfer/LineSession.h"
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

using namespace ReceiveCommand;

namespace
{

const QString command = QStringLiteral("receive");

void say(const QString &text)
{
    Cli::say(command, text);
}

int usage(const QString &problem)
{
    return Cli::refuse(command, problem);
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

struct ReceiveOptions {
    QString record;
    QString out;
    int timeoutSeconds = DefaultTimeoutSeconds;
};

// Returns -1 when the value is taken, else the status to exit with.
int readTimeout(const QString &value, int *seconds)
{
    bool ok = false;
    *seconds = value.toInt(&ok);
    // A day at most: a longer silence is no time-out, and the milliseconds must fit a timer's
    // int.
    if (!ok || *seconds < MinTimeoutSeconds || *seconds > MaxTimeoutSeconds)
        return usage(QStringLiteral("--timeout takes a whole number of seconds "
                                    "from %1 to %2, not \"%3\"")
                         .arg(MinTimeoutSeconds)
                         .arg(MaxTimeoutSeconds)
                         .arg(value));
    return -1;
}

// Returns -1 when the receive goes on, else the status to exit with.
int readOptions(const QStringList &args, ReceiveOptions *o)
{
    QCommandLineParser parser;
    const QCommandLineOption portSetting(QStringLiteral("port-setting"), QString(),
                                         QStringLiteral("record line"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(),
                                     QStringLiteral("seconds"));
    parser.addOption(portSetting);
    parser.addOption(timeout);
    if (const int done = Cli::parse(parser, command, args, true); done >= 0)
        return done;
    o->record = parser.value(portSetting);
    const QStringList words = parser.positionalArguments();
    if (words.size() > 1)
        return usage(QStringLiteral("only one output file, not \"%1\" too").arg(words.at(1)));
    o->out = words.value(0);
    if (parser.isSet(timeout)) {
        if (const int done = readTimeout(parser.value(timeout), &o->timeoutSeconds); done >= 0)
            return done;
    }
    if (o->record.isEmpty())
        return usage(QStringLiteral("--port-setting is missing"));
    if (o->out.isEmpty())
        return usage(QStringLiteral("the output file OUT is missing"));
    if (!QCoreApplication::instance())
        return usage(QStringLiteral("no application object"));
    return -1;
}

// Refuse before the machine starts punching, not after.
bool targetWritable(const QFileInfo &target, const QString &out)
{
    if (target.isDir() || !target.absoluteDir().exists() ||
        !QFileInfo(target.absolutePath()).isWritable()) {
        say(QStringLiteral("cannot write \"%1\": %2")
                .arg(QDir::toNativeSeparators(out),
                     target.isDir() ? QStringLiteral("it is a folder")
                                    : QStringLiteral("its folder is missing or not writable")));
        return false;
    }
    return true;
}

// One receive on an open line: the engine, the watches that end it, and what is said of it.
class ReceiveRun
{
public:
    ReceiveRun(LineSession &session, const ReceiveOptions &o, const QFileInfo &target,
               const QString &portName);
    int exec();

private:
    void watchSilence();
    void watchStops();
    void watchEngine();
    // A program cut short (time-out, a signal, a lost line) is kept under a rescue name.
    void stopWith(int status, const QString &why);
    // Where what had arrived was kept; empty when nothing was.
    QString keepArrived();
    void onStored(const QString &path);
    void onStoreFailed(const QString &message);

    LineSession &m_session;
    SerialLine &m_line;
    const ReceiveOptions &m_o;
    const QFileInfo m_target;
    const QString m_portName;
    ReceiveEngine m_engine;
    QEventLoop m_loop;
    int m_result = Cli::Ok;
    CliOutput::Progress m_progress;
    QTimer m_silence;
    StopSignals m_signalWatch;
    bool m_rescuing = false;
};

ReceiveRun::ReceiveRun(LineSession &session, const ReceiveOptions &o, const QFileInfo &target,
                       const QString &portName)
    : m_session(session), m_line(*session.line()), m_o(o), m_target(target), m_portName(portName),
      m_engine(&m_line)
{
    m_engine.setFileName(target.absoluteFilePath());
    m_engine.setJournalName(portName);
    watchSilence();
    watchStops();
    watchEngine();
}

void ReceiveRun::watchSilence()
{
    m_silence.setSingleShot(true);
    if (m_o.timeoutSeconds <= 0)
        return;
    m_silence.setInterval(m_o.timeoutSeconds * 1000);
    m_silence.start();
    QObject::connect(&m_silence, &QTimer::timeout, &m_loop, [this] {
        stopWith(Cli::TimedOut, QStringLiteral("timed out: nothing received for %1 s%2")
                                    .arg(m_o.timeoutSeconds)
                                    .arg(m_engine.status() == ReceiveEngine::Waiting
                                             ? QStringLiteral(" (no program started)")
                                             : QString()));
    });
    QObject::connect(&m_line, &SerialLine::rxChar, &m_silence, [this] { m_silence.start(); });
}

void ReceiveRun::watchStops()
{
    QObject::connect(&m_session, &LineSession::stateChanged, &m_loop,
                     [this](LineSession::State state, const QString &reason) {
                         if (state == LineSession::State::Lost)
                             stopWith(Cli::Failed, reason);
                     });
    QObject::connect(&m_signalWatch, &StopSignals::stopRequested, &m_loop, [this](int sig) {
        stopWith(Cli::Failed, QStringLiteral("stopped by signal %1").arg(sig));
    });
}

void ReceiveRun::watchEngine()
{
    QObject::connect(&m_engine, &ReceiveEngine::charCountChanged, &m_loop, [this](qint64 count) {
        m_progress.update(QStringLiteral("received %1 characters").arg(count));
    });
    QObject::connect(&m_engine, &ReceiveEngine::programStored, &m_loop,
                     [this](const QString &path) { onStored(path); });
    QObject::connect(&m_engine, &ReceiveEngine::storeFailed, &m_loop,
                     [this](const QString &message) { onStoreFailed(message); });
}

void ReceiveRun::stopWith(int status, const QString &why)
{
    m_progress.finish();
    say(why);
    const QString kept = keepArrived();
    if (m_engine.status() != ReceiveEngine::Waiting || m_engine.charCount() > 0)
        m_engine.journalFailure(why, kept);
    m_result = status;
    m_loop.quit();
}

QString ReceiveRun::keepArrived()
{
    if (!m_engine.hasUnsavedData())
        return QString();
    const QString rescue = keepPath(m_o.out, m_portName);
    QString error;
    int rows = 0;
    if (!m_engine.savePartial(rescue, &error, &rows)) {
        say(error);
        return QString();
    }
    say(QStringLiteral("the %1 characters that had arrived (%2 lines) were saved in \"%3\"")
            .arg(m_engine.charCount())
            .arg(rows)
            .arg(QDir::toNativeSeparators(rescue)));
    return rescue;
}

void ReceiveRun::onStored(const QString &path)
{
    m_progress.finish();
    const QString where = QDir::toNativeSeparators(path);
    if (m_rescuing) {
        say(QStringLiteral("the program was saved in \"%1\" instead").arg(where));
        m_result = Cli::Failed;
    } else if (path != m_target.absoluteFilePath()) {
        // Success means the program is where the user asked, under that very name.
        say(QStringLiteral("the program was stored in \"%1\", not in \"%2\" as asked")
                .arg(where, QDir::toNativeSeparators(m_target.absoluteFilePath())));
        m_result = Cli::Failed;
    } else {
        CliOutput::say(QStringLiteral("received %1 characters in %2 lines, stored in \"%3\"")
                           .arg(m_engine.charCount())
                           .arg(m_engine.lineCount())
                           .arg(where));
    }
    m_loop.quit();
}

void ReceiveRun::onStoreFailed(const QString &message)
{
    m_progress.finish();
    say(message);
    if (m_rescuing) {
        m_engine.journalFailure(message, QString());
        m_result = Cli::Failed;
        m_loop.quit();
        return;
    }
    m_rescuing = true;
    m_engine.keepAsFailed(keepPath(m_o.out, m_portName), message);
    QMetaObject::invokeMethod(
        &m_engine, [this] { m_engine.retryStore(); }, Qt::QueuedConnection);
}

int ReceiveRun::exec()
{
    m_loop.exec();
    m_line.close();
    return m_result;
}

} // namespace

int runReceiveCommand(const QStringList &args)
{
    ReceiveOptions o;
    if (const int done = readOptions(args, &o); done >= 0)
        return done;
    PortProfile profile;
    LineSettings settings;
    QString problem;
    if (!Cli::portFor(o.record, PortProfile::Use::Receive, &profile, &settings, &problem))
        return usage(problem);
    const QFileInfo target(o.out);
    if (!targetWritable(target, o.out))
        return Cli::Failed;
    LineSession session(settings);
    if (!Cli::openLine(session, command))
        return Cli::PortError;
    ReceiveRun run(session, o, target, profile.name());
    return run.exec();
}
