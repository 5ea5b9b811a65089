#pragma once
// The auto mode's settings that Option.ini has no line for: NCFerry.ini beside it, written by
// the port settings dialog, read by the window and `ncferry-cli auto`.
#include "automode/LinkWorker.h"
#include "automode/RequestProtocol.h"
#include "settings/PortChoices.h"

#include <QString>

namespace AutoMode
{

// [AutoMode] MaxProgramMB and XonWaitMinutes of "NCFerry.ini" in settingsFolder; a missing
// file or value keeps what timings hold.
LinkTimings WithProgramSettings(LinkTimings timings, const QString &settingsFolder);
inline constexpr const char *ProgramSettingsFile = PortChoices::SettingsFile;
// The request forms' settings from the same file: [AutoMode] ErrorReasons (on unless
// "false"), the answer delay of the port setting named portName ([AnswerDelay], seconds) and
// its hold for review.
RequestOptions RequestOptionsFor(const QString &settingsFolder, const QString &portName);
// The per-port-setting choices, kept in the same file.
using PortChoices::AnswerDelaySeconds;
using PortChoices::HoldsForReview;
using PortChoices::MaxAnswerDelaySeconds;
using PortChoices::SaveAnswerDelay;
using PortChoices::SaveHoldForReview;

} // namespace AutoMode
