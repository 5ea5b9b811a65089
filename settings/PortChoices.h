#pragma once
// The choices a port setting has beyond its record line, kept by its name in "NCFerry.ini"
// beside Option.ini: written by the port settings dialog, read by the auto mode.
#include <QString>

namespace PortChoices
{

inline constexpr char SettingsFile[] = "NCFerry.ini";
// The longest answer delay accepted, in seconds.
inline constexpr int MaxAnswerDelaySeconds = 600;

// The answer delay of the port setting named portName ([AnswerDelay], seconds; 0 when none);
// writing it (0 removes it; false when the file cannot be written).
double AnswerDelaySeconds(const QString &settingsFolder, const QString &portName);
bool SaveAnswerDelay(const QString &settingsFolder, const QString &portName, double seconds);
// Whether the port setting named portName holds its returned programs for review
// ([HoldForReview], "true"); and writing that choice (false when the file cannot be written).
bool HoldsForReview(const QString &settingsFolder, const QString &portName);
bool SaveHoldForReview(const QString &settingsFolder, const QString &portName, bool hold);

} // namespace PortChoices
