#pragma once
// Port problems of the command-line tool in the user's words: the serial driver's own texts
// ("Is a directory", "Permission error while locking the device") do not say what is wrong.
#include <QString>

namespace PortProblem
{
// Empty when the record names a port, else why it cannot be used.
QString missingPort(const QString &record, const QString &portName);
// The message for a port that would not open: a port locked by another program names that
// program when its lock file says; anything else keeps the driver's text.
QString openFailure(const QString &portName, const QString &driverMessage);
// The program holding the port's lock file ("ncferry-cli (process 123)"), empty when none.
QString lockHolder(const QString &portName);
} // namespace PortProblem
