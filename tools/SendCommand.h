#pragma once
#include <QStringList>

// ncferry-cli send --port-setting "<record line>" [--no-standby] FILE...
// Returns the process exit status: 0 only when every file went out whole.
int runSendCommand(const QStringList &args);
