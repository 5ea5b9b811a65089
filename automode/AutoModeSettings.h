#pragma once
// The auto mode's settings that Option.ini has no line for: NCFerry.ini beside it, written by
// the port settings dialog, read by the window and `ncferry-cli auto`.
#include "automode/LinkWorker.h"
#include "automode/RequestProtocol.h"

#include <QString>

namespace AutoMode
{

// [AutoMode] MaxProgramMB and XonWaitMinutes of "NCFerry.ini" in settingsFolder; a missing
// file or value keeps what timings hold.
LinkTimings WithProgramSettings(LinkTimings timings, const QString &settingsFolder);
inline constexpr char ProgramSettingsFile[] = "NCFerry.ini";
// The request forms' settings from the same file: [AutoMode] ErrorReasons (on unless
// "false"), the answer delay of the port setting named portName ([AnswerDelay], seconds) and
// its hold for review.
RequestOptions RequestOptionsFor(const QString &settingsFolder, const QString &portName);
// Writes the answer delay of one port setting (0 removes it); false when the file cannot be
// written.
bool SaveAnswerDelay(const QString &settingsFolder, const QString &portName, double seconds);
double AnswerDelaySeconds(const QString &settingsFolder, const QString &portName);
// Whether the port setting named portName holds its returned programs for review
// ([HoldForReview], "true"); and writing that choice (false when the file cannot be written).
bool HoldsForReview(const QString &settingsFolder, const QString &portName);
bool SaveHoldForReview(const QString &settingsFolder, const QString &portName, bool hold);
// The longest answer delay accepted, in seconds.
inline constexpr int MaxAnswerDelaySeconds = 600;

} // namespace AutoMode
