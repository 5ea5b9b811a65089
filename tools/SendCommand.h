#pragma once
#include <QStringList>

// ncferry-cli send --port-setting "<record line>" [--no-standby] FILE...
// Returns the exit status: 0 every file went out whole, 1 bad arguments, short record or
// unreadable file, 2 port missing or busy, 3 the send stopped.
int runSendCommand(const QStringList &args);
