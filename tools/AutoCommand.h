#pragma once
// ncferry-cli auto --port-setting "<record line>" | --port-setting-name NAME [--log FILE]
//                  [--port-setting ...]... --options <Option.ini>
#include "tools/CliCommand.h"

#include <QStringList>

namespace AutoCommand
{
// After a lost line (adapter or cable pulled) the line is tried again this often.
constexpr int ReopenIntervalMs = 5000;
// A stop waits this long at most for the entry in progress.
constexpr int StopGraceMs = 30000;
} // namespace AutoCommand

// args are the words after "auto". Every port setting given is served from this one process,
// each with its own line, link and log (a --log names the log of the port setting before
// it). Needs a QCoreApplication; runs until SIGINT or SIGTERM, which end it after the entry
// in progress with Cli::Ok; refusals are Cli::UsageError or Cli::PortError. Log lines go to
// stdout and are appended to the log file (default: log/<port setting name>.txt in the
// program's data folder). A lost line is tried again every reopenIntervalMs: a parameter, not
// an option, as no shop needs another pace and the tests need a short one.
int runAutoCommand(const QStringList &args, int reopenIntervalMs = AutoCommand::ReopenIntervalMs);
