#pragma once
// What the link's receive side and its dispatch side both need; for the link's own files.
#include "automode/AutoLink.h"

#include <QString>

namespace AutoMode::LinkParts
{

inline int bitOf(int n)
{
    return 1 << n;
}

inline bool isAnswer(const SendListEntry &e)
{
    return e.verb == SendListEntry::Send || e.isReply();
}

// How the log names a device: as its log lines do.
inline QString deviceLabel(const QString &code)
{
    if (code == DeviceCode(CableDevice))
        return QStringLiteral("Device");
    if (code == DeviceCode(AllDevices))
        return QStringLiteral("all devices");
    const int n = DeviceNumber(code);
    return QStringLiteral("Device[%1]").arg(n >= 0 ? QString::number(n) : code);
}

} // namespace AutoMode::LinkParts
