#pragma once
// What every ncferry-cli command shares: its exit status, its usage text and how its words
// are read.
#include "settings/PortProfile.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class LineSession;
class QCommandLineParser;

namespace Cli
{
// The exit status of every command; scripts and the manual page rely on the numbers.
enum ExitCode {
    Ok = 0,
    // Bad arguments, a short port-setting record, an unreadable file or options file.
    UsageError = 1,
    // The port is missing or in use, or its device server cannot be reached.
    PortError = 2,
    // The transfer did not end as asked: the send stopped, the line was lost, OUT could not
    // be written, or a signal interrupted the command.
    Failed = 3,
    // receive: the line stayed silent longer than --timeout.
    TimedOut = 4,
};

// The usage line of one command ("send", "receive", "auto"), or the whole usage text for
// an empty command.
QString usage(const QString &command = QString());

// Says "ncferry-cli <command>: <text>" on stderr.
void say(const QString &command, const QString &text);

// Says "ncferry-cli <command>: <problem>" and the command's usage line on stderr.
int refuse(const QString &command, const QString &problem);

// Reads args (the words after the command) into parser, which holds the command's own
// options; --help and --version are added here. Returns -1 when the command goes on, or
// the status to exit with: help or version printed, or the words refused. A command that
// takes no words of its own (takesWords false) calls every word it does not know an
// unknown argument.
int parse(QCommandLineParser &parser, const QString &command, const QStringList &args,
          bool takesWords);

// The values of the named options in the order given on the command line, each with its
// option's name. The parser keeps each option's values apart, which loses what came before
// what; a --log belongs to the --port-setting before it. valueOptions names every option of
// the command that takes a value. Call after parse() accepted args.
QList<QPair<QString, QString>> valuesInOrder(const QStringList &args,
                                             const QStringList &valueOptions);

// The port setting of a record line and its line as use sets it up. False, with *problem,
// when the record is short or damaged or names no port.
bool portFor(const QString &record, PortProfile::Use use, PortProfile *profile,
             LineSettings *settings, QString *problem);

// Opens the session's line before anything is sent or awaited. False when it would not open,
// said as "ncferry-cli <command>: <prefix><why>" (the prefix names one of several lines).
bool openLine(LineSession &session, const QString &command, const QString &prefix = QString());
} // namespace Cli
