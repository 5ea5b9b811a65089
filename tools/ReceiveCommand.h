#pragma once
// ncferry-cli receive --port-setting "<record line>" [--timeout SECONDS] OUT
#include "tools/CliCommand.h"

#include <QStringList>

namespace ReceiveCommand
{
// Silence of the line, in seconds, after which the command gives up (0: wait for ever).
constexpr int DefaultTimeoutSeconds = 0;
// The range --timeout accepts.
constexpr int MinTimeoutSeconds = 1;
constexpr int MaxTimeoutSeconds = 86400;
} // namespace ReceiveCommand

// args are the words after "receive". Needs a QCoreApplication; runs its own event loop.
// Returns a Cli::ExitCode. Errors are one line on stderr; progress (characters received)
// also goes to stderr.
int runReceiveCommand(const QStringList &args);
