#include "tools/SendCommand.h"

#include "settings/PortProfile.h"
#include "tools/CliCommand.h"
#include "tools/CliOutput.h"
#include "tools/StopSignals.h"
#include "transfer/LineSession.h"
#include "transfer/PortProblem.h"
#include "transfer/ProgramRestart.h"
#include "transfer/SendController.h"
#include "transfer/SerialLine.h"
#include "transfer/TransportThread.h"
#include "transfer/UsbLatency.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <memory>

#include <cstdio>

namespace
{

void err(const QString &text)
{
    CliOutput::say(text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text);
}

} // namespace

int runSendCommand(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption portSetting(QStringLiteral("port-setting"), QString(),
                                         QStringLiteral("record line"));
    const QCommandLineOption noStandby(QStringLiteral("no-standby"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("N1500|T5"));
    parser.addOption(from);
    parser.addOption(portSetting);
    parser.addOption(noStandby);
    if (const int done = Cli::parse(parser, QStringLiteral("send"), args, true); done >= 0)
        return done;
    const QString record = parser.value(portSetting);
    const bool standby = !parser.isSet(noStandby);
    const QStringList files = parser.positionalArguments();
    if (record.isEmpty())
        return Cli::refuse(QStringLiteral("send"), QStringLiteral("--port-setting is missing"));
    if (files.isEmpty())
        return Cli::refuse(QStringLiteral("send"), QStringLiteral("no FILE to send"));
    const PortProfile profile = PortProfile::fromText(record);
    if (!profile.isUsable()) {
        err(QStringLiteral("ncferry-cli send: %1\n").arg(profile.problem()));
        return Cli::UsageError;
    }
    const LineSettings settings = profile.lineSettings(PortProfile::Use::Send);
    const FlowControl flowControl = profile.flowControl();
    QString error;
    const QString noPort = PortProblem::missingPort(record, settings.portName);
    if (!noPort.isEmpty()) {
        err(QStringLiteral("ncferry-cli send: %1\n").arg(noPort));
        return Cli::UsageError;
    }
    for (const QString &f : files) {
        QFile file(f);
        const QFileInfo info(f);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            err(QStringLiteral("ncferry-cli send: cannot read %1: %2\n")
                    .arg(f, !info.exists()   ? QStringLiteral("no such file")
                            : info.isDir()   ? QStringLiteral("it is a folder, not a program file")
                            : !info.isFile() ? QStringLiteral("it is not a regular file")
                                             : file.errorString()));
            return Cli::UsageError;
        }
    }
    // A restart is checked before the line opens: a block the program lacks is said now,
    // not after the first files went out.
    const QString restart = parser.value(from);
    if (parser.isSet(from)) {
        if (!ProgramRestart::Parse(restart).isValid())
            return Cli::refuse(QStringLiteral("send"),
                               QStringLiteral("--from takes a block (N1500) or a tool (T5), not "
                                              "\"%1\"")
                                   .arg(restart));
        for (const QString &f : files) {
            QFile file(f);
            QByteArray out;
            if (file.open(QIODevice::ReadOnly) &&
                !ProgramRestart::FromPoint(restart, file.readAll(), &out, &error)) {
                err(QStringLiteral("ncferry-cli send: %1: %2\n").arg(f, error));
                return Cli::UsageError;
            }
        }
    }
    LineSession session(settings);
    SerialLine &line = *session.line();
    if (!session.openNow(&error)) {
        err(QStringLiteral("ncferry-cli send: %1\n").arg(error));
        return Cli::PortError;
    }
    if (const QString slow = UsbLatency::warning(settings); !slow.isEmpty())
        err(QStringLiteral("ncferry-cli send: %1\n").arg(slow));
    TransportThread worker;
    worker.setComPort(&line);
    worker.setFileListBox(files);
    worker.setJournalName(profile.name());
    worker.setPauseString(QString());
    if (!restart.isEmpty())
        worker.setSendFilter([restart](const QByteArray &in, QByteArray *out, QString *why) {
            return ProgramRestart::FromPoint(restart, in, out, why);
        });
    SendController controller(&line, &worker);
    controller.setFlowControl(flowControl);

    int status = -1;
    int fileIndex = 0;
    qint64 total = 0, done = 0, sentAll = 0;
    CliOutput::Progress progress;
    QElapsedTimer clock;
    clock.start();
    auto summary = [&] {
        const double seconds = clock.nsecsElapsed() / 1e9;
        return QStringLiteral("%1 characters in %2 s, %3 characters/s")
            .arg(sentAll)
            .arg(seconds, 0, 'f', 2)
            .arg(seconds > 0 ? qint64(sentAll / seconds) : 0);
    };
    bool interrupted = false;
    QObject::connect(
        &worker, &TransportThread::updatesPending, &worker,
        [&] {
            if (interrupted)
                return;
            for (const SendUpdate &u : worker.takeUpdates()) {
                switch (u.kind) {
                case SendUpdate::ProgressMax:
                    total = u.value;
                    done = 0;
                    break;
                case SendUpdate::Sent:
                    done += u.value;
                    sentAll += u.value;
                    break;
                case SendUpdate::SelectFile:
                    fileIndex = int(u.value);
                    progress.finish();
                    err(QStringLiteral("sending %1 (%2/%3)\n")
                            .arg(files[fileIndex])
                            .arg(fileIndex + 1)
                            .arg(files.size()));
                    break;
                case SendUpdate::PauseCaption:
                    // Between files the control asks for the next one as it asked for the first.
                    progress.finish();
                    err(QStringLiteral("waiting for the machine before the next file\n"));
                    if (controller.flowControl() == FlowControl::None ||
                        (!standby && flowControl != FlowControl::RtsCts))
                        worker.resumeWorker();
                    break;
                case SendUpdate::Waiting:
                    progress.finish();
                    err(u.value ? QStringLiteral("the machine takes no data; holding the rest\n")
                                : QStringLiteral("the machine takes data again\n"));
                    break;
                case SendUpdate::FileFailed:
                    progress.finish();
                    err(QStringLiteral("ncferry-cli send: stopped at %1: %2\n")
                            .arg(files.value(int(u.value)), u.text));
                    err(QStringLiteral("sent before the stop: %1\n").arg(summary()));
                    status = Cli::Failed;
                    QCoreApplication::exit(status);
                    return;
                case SendUpdate::Finished:
                    progress.update(QStringLiteral("%1 / %2 bytes").arg(done).arg(total), true);
                    progress.finish();
                    err(QStringLiteral("done: %1 file(s) sent, %2\n")
                            .arg(files.size())
                            .arg(summary()));
                    status = Cli::Ok;
                    QCoreApplication::exit(status);
                    return;
                default:
                    break;
                }
            }
            progress.update(QStringLiteral("%1 / %2 bytes").arg(done).arg(total));
        },
        Qt::QueuedConnection);

    // A stop asked for from outside ends the send where it is: no DC4 follows, so the
    // control does not take the part it has as a whole program.
    StopSignals signalWatch;
    QObject::connect(&signalWatch, &StopSignals::stopRequested, &worker, [&](int sig) {
        if (interrupted || status >= 0)
            return;
        interrupted = true;
        worker.stopWorker();
        line.close();
        worker.join();
        for (const SendUpdate &u : worker.takeUpdates()) {
            if (u.kind == SendUpdate::Sent) {
                done += u.value;
                sentAll += u.value;
            } else if (u.kind == SendUpdate::SelectFile) {
                fileIndex = int(u.value);
                done = 0;
            }
        }
        progress.finish();
        err(QStringLiteral("ncferry-cli send: stopped by signal %1 in %2 (%3/%4) after %5 of its "
                           "characters; no end of program (DC4) was sent\n")
                .arg(sig)
                .arg(files[fileIndex])
                .arg(fileIndex + 1)
                .arg(files.size())
                .arg(done));
        err(QStringLiteral("sent before the stop: %1\n").arg(summary()));
        status = Cli::Failed;
        QCoreApplication::exit(status);
    });

    if (flowControl == FlowControl::RtsCts && !line.hasModemLines()) {
        // Waiting for a CTS rise that can never come would hang for good.
        err(QStringLiteral("%1 reports no CTS signal; sending without waiting for CTS\n")
                .arg(settings.portName));
        controller.setFlowControl(FlowControl::None);
    }
    if (!controller.confirmStart(standby)) {
        err(flowControl == FlowControl::RtsCts
                ? QStringLiteral("waiting for CTS from the machine\n")
                : QStringLiteral("waiting for XON from the machine\n"));
    }
    const int rc = QCoreApplication::exec();
    worker.stopWorker();
    line.close();
    worker.join();
    return status >= 0 ? status : rc;
}
