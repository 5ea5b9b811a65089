#pragma once
// A port setting taken by its name from an Option.ini, so that a service's configuration is
// the one settings file the windows write, not record lines copied out of it.
#include <QString>
#include <QStringList>

namespace OptionRecords
{
// The record line of the port setting whose first field is `name` (exact, letter case
// included) in the [Transfer] section of the file at optionsPath. False with a message for
// the user when the file cannot be read or has no such port setting.
bool recordNamed(const QString &optionsPath, const QString &name, QString *record, QString *error);
// Every record line of that section, in order; false with a message when the file cannot be
// read or has no [Transfer] section.
bool allRecords(const QString &optionsPath, QStringList *records, QString *error);
} // namespace OptionRecords
