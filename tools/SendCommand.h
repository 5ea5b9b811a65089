#pragma once
#include "tools/CliCommand.h"

#include <QStringList>

// ncferry-cli send --port-setting "<record line>" [--no-standby] FILE...
// Returns a Cli::ExitCode: Ok every file went out whole, UsageError bad arguments, short
// record or unreadable file, PortError port missing or busy, Failed the send stopped.
int runSendCommand(const QStringList &args);
