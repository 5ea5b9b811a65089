#pragma once
// USB serial adapters of the FTDI kind hold what the machine sends until their latency
// timer runs out (16 ms by default) before they pass it on: an XOFF then reaches us that
// much late, and at fast rates that is many characters. Linux shows the timer in sysfs.
#include "settings/LineSettings.h"

#include <QString>

namespace UsbLatency
{
// Timers above this are worth a word to the user.
constexpr int WarnAboveMs = 2;

// The adapter's latency timer in milliseconds, or -1 where the port has none. sysRoot is
// where sysfs is mounted (a test gives a folder of its own).
int timerMs(const QString &portName, const QString &sysRoot = QStringLiteral("/sys"));
// What to tell the user about a port whose timer is above WarnAboveMs, with how to lower
// it; empty otherwise.
QString warning(const LineSettings &line, const QString &sysRoot = QStringLiteral("/sys"));
} // namespace UsbLatency
