#include "tools/SendCommand.h"

#include "settings/PortProfile.h"
#include "tools/CliCommand.h"
#include "tools/CliOutput.h"
#include "tools/StopSignals.h"
#include "transfer/LineSession.h"
#include "transfer/ProgramRestart.h"
#include "transfer/SendController.h"
#include "transfer/SerialLine.h"
#include "transfer/TransportThread.h"
#include "transfer/UsbLatency.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

namespace
{

const QString command = QStringLiteral("send");

void err(const QString &text)
{
    Cli::say(command, text);
}

struct SendOptions {
    QString record;
    bool standby = true;
    QStringList files;
    bool fromSet = false;
    QString restart;
};

// Returns -1 when the send goes on, else the status to exit with.
int readOptions(const QStringList &args, SendOptions *o)
{
    QCommandLineParser parser;
    const QCommandLineOption portSetting(QStringLiteral("port-setting"), QString(),
                                         QStringLiteral("record line"));
    const QCommandLineOption noStandby(QStringLiteral("no-standby"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("N1500|T5"));
    parser.addOption(from);
    parser.addOption(portSetting);
    parser.addOption(noStandby);
    if (const int done = Cli::parse(parser, command, args, true); done >= 0)
        return done;
    o->record = parser.value(portSetting);
    o->standby = !parser.isSet(noStandby);
    o->files = parser.positionalArguments();
    o->fromSet = parser.isSet(from);
    o->restart = parser.value(from);
    if (o->record.isEmpty())
        return Cli::refuse(command, QStringLiteral("--port-setting is missing"));
    if (o->files.isEmpty())
        return Cli::refuse(command, QStringLiteral("no FILE to send"));
    return -1;
}

bool filesReadable(const QStringList &files)
{
    for (const QString &f : files) {
        QFile file(f);
        const QFileInfo info(f);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            err(QStringLiteral("cannot read %1: %2")
                    .arg(f, !info.exists()   ? QStringLiteral("no such file")
                            : info.isDir()   ? QStringLiteral("it is a folder, not a program file")
                            : !info.isFile() ? QStringLiteral("it is not a regular file")
                                             : file.errorString()));
            return false;
        }
    }
    return true;
}

// A restart is checked before the line opens: a block the program lacks is said now, not
// after the first files went out. Returns -1 when the send goes on.
int checkRestart(const SendOptions &o)
{
    if (!o.fromSet)
        return -1;
    if (!ProgramRestart::Parse(o.restart).isValid())
        return Cli::refuse(command, QStringLiteral("--from takes a block (N1500) or a tool (T5), "
                                                   "not \"%1\"")
                                        .arg(o.restart));
    for (const QString &f : o.files) {
        QFile file(f);
        QByteArray out;
        QString error;
        if (file.open(QIODevice::ReadOnly) &&
            !ProgramRestart::FromPoint(o.restart, file.readAll(), &out, &error)) {
            err(QStringLiteral("%1: %2").arg(f, error));
            return Cli::UsageError;
        }
    }
    return -1;
}

// One send on an open line: the worker and its controller, what has gone out, and what is
// said of it on stderr.
class SendRun
{
public:
    SendRun(SerialLine &line, const SendOptions &o, const PortProfile &profile,
            const LineSettings &settings);
    int exec();

private:
    void onUpdates();
    // False when the update ended the send.
    bool apply(const SendUpdate &u);
    void reportEnd(const SendUpdate &u);
    void onStopSignal(int sig);
    void start();
    void end(int status);
    QString summary() const;

    SerialLine &m_line;
    const SendOptions &m_o;
    const QString m_portName;
    const FlowControl m_flowControl;
    TransportThread m_worker;
    SendController m_controller;
    int m_status = -1;
    int m_fileIndex = 0;
    qint64 m_total = 0, m_done = 0, m_sentAll = 0;
    CliOutput::Progress m_progress;
    QElapsedTimer m_clock;
    bool m_interrupted = false;
    StopSignals m_signalWatch;
};

SendRun::SendRun(SerialLine &line, const SendOptions &o, const PortProfile &profile,
                 const LineSettings &settings)
    : m_line(line), m_o(o), m_portName(settings.portName), m_flowControl(profile.flowControl()),
      m_controller(&line, &m_worker)
{
    m_worker.setComPort(&line);
    m_worker.setFileListBox(o.files);
    m_worker.setJournalName(profile.name());
    m_worker.setPauseString(QString());
    if (!o.restart.isEmpty()) {
        const QString restart = o.restart;
        m_worker.setSendFilter([restart](const QByteArray &in, QByteArray *out, QString *why) {
            return ProgramRestart::FromPoint(restart, in, out, why);
        });
    }
    m_controller.setFlowControl(m_flowControl);
    m_clock.start();
    QObject::connect(
        &m_worker, &TransportThread::updatesPending, &m_worker, [this] { onUpdates(); },
        Qt::QueuedConnection);
    QObject::connect(&m_signalWatch, &StopSignals::stopRequested, &m_worker,
                     [this](int sig) { onStopSignal(sig); });
}

QString SendRun::summary() const
{
    const double seconds = m_clock.nsecsElapsed() / 1e9;
    return QStringLiteral("%1 characters in %2 s, %3 characters/s")
        .arg(m_sentAll)
        .arg(seconds, 0, 'f', 2)
        .arg(seconds > 0 ? qint64(m_sentAll / seconds) : 0);
}

void SendRun::end(int status)
{
    m_status = status;
    QCoreApplication::exit(status);
}

void SendRun::onUpdates()
{
    if (m_interrupted)
        return;
    for (const SendUpdate &u : m_worker.takeUpdates()) {
        if (!apply(u))
            return;
    }
    m_progress.update(QStringLiteral("%1 / %2 bytes").arg(m_done).arg(m_total));
}

bool SendRun::apply(const SendUpdate &u)
{
    switch (u.kind) {
    case SendUpdate::ProgressMax:
        m_total = u.value;
        m_done = 0;
        break;
    case SendUpdate::Sent:
        m_done += u.value;
        m_sentAll += u.value;
        break;
    case SendUpdate::SelectFile:
        m_fileIndex = int(u.value);
        m_progress.finish();
        CliOutput::say(QStringLiteral("sending %1 (%2/%3)")
                           .arg(m_o.files[m_fileIndex])
                           .arg(m_fileIndex + 1)
                           .arg(m_o.files.size()));
        break;
    case SendUpdate::PauseCaption:
        // Between files the control asks for the next one as it asked for the first.
        m_progress.finish();
        CliOutput::say(QStringLiteral("waiting for the machine before the next file"));
        if (m_controller.flowControl() == FlowControl::None ||
            (!m_o.standby && m_flowControl != FlowControl::RtsCts))
            m_worker.resumeWorker();
        break;
    case SendUpdate::Waiting:
        m_progress.finish();
        CliOutput::say(u.value ? QStringLiteral("the machine takes no data; holding the rest")
                               : QStringLiteral("the machine takes data again"));
        break;
    case SendUpdate::FileFailed:
    case SendUpdate::Finished:
        reportEnd(u);
        return false;
    default:
        break;
    }
    return true;
}

// The send is over: stopped at a file, or every file sent.
void SendRun::reportEnd(const SendUpdate &u)
{
    if (u.kind == SendUpdate::FileFailed) {
        m_progress.finish();
        err(QStringLiteral("stopped at %1: %2").arg(m_o.files.value(int(u.value)), u.text));
        CliOutput::say(QStringLiteral("sent before the stop: %1").arg(summary()));
        end(Cli::Failed);
        return;
    }
    m_progress.update(QStringLiteral("%1 / %2 bytes").arg(m_done).arg(m_total), true);
    m_progress.finish();
    CliOutput::say(
        QStringLiteral("done: %1 file(s) sent, %2").arg(m_o.files.size()).arg(summary()));
    end(Cli::Ok);
}

// A stop asked for from outside ends the send where it is: no DC4 follows, so the control
// does not take the part it has as a whole program.
void SendRun::onStopSignal(int sig)
{
    if (m_interrupted || m_status >= 0)
        return;
    m_interrupted = true;
    m_worker.stopWorker();
    m_line.close();
    m_worker.join();
    for (const SendUpdate &u : m_worker.takeUpdates()) {
        if (u.kind == SendUpdate::Sent) {
            m_done += u.value;
            m_sentAll += u.value;
        } else if (u.kind == SendUpdate::SelectFile) {
            m_fileIndex = int(u.value);
            m_done = 0;
        }
    }
    m_progress.finish();
    err(QStringLiteral("stopped by signal %1 in %2 (%3/%4) after %5 of its characters; no end "
                       "of program (DC4) was sent")
            .arg(sig)
            .arg(m_o.files[m_fileIndex])
            .arg(m_fileIndex + 1)
            .arg(m_o.files.size())
            .arg(m_done));
    CliOutput::say(QStringLiteral("sent before the stop: %1").arg(summary()));
    end(Cli::Failed);
}

void SendRun::start()
{
    if (m_flowControl == FlowControl::RtsCts && !m_line.hasModemLines()) {
        // Waiting for a CTS rise that can never come would hang for good.
        CliOutput::say(QStringLiteral("%1 reports no CTS signal; sending without waiting for CTS")
                           .arg(m_portName));
        m_controller.setFlowControl(FlowControl::None);
    }
    if (!m_controller.confirmStart(m_o.standby)) {
        CliOutput::say(m_flowControl == FlowControl::RtsCts
                           ? QStringLiteral("waiting for CTS from the machine")
                           : QStringLiteral("waiting for XON from the machine"));
    }
}

int SendRun::exec()
{
    start();
    const int rc = QCoreApplication::exec();
    m_worker.stopWorker();
    m_line.close();
    m_worker.join();
    return m_status >= 0 ? m_status : rc;
}

} // namespace

int runSendCommand(const QStringList &args)
{
    SendOptions o;
    if (const int done = readOptions(args, &o); done >= 0)
        return done;
    PortProfile profile;
    LineSettings settings;
    QString problem;
    if (!Cli::portFor(o.record, PortProfile::Use::Send, &profile, &settings, &problem)) {
        err(problem);
        return Cli::UsageError;
    }
    if (!filesReadable(o.files))
        return Cli::UsageError;
    if (const int done = checkRestart(o); done >= 0)
        return done;
    LineSession session(settings);
    if (!Cli::openLine(session, command))
        return Cli::PortError;
    if (const QString slow = UsbLatency::warning(settings); !slow.isEmpty())
        err(slow);
    SendRun run(*session.line(), o, profile, settings);
    return run.exec();
}
