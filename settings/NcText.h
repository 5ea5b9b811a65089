#pragma once
// The one code page for NC program text on the lines and in NC files.
// Elsewhere than Windows it is ISO-8859-1, so every byte 0x00-0xFF survives
// receive -> store -> send unchanged.
#include <QByteArray>
#include <QString>

namespace NcText
{

QByteArray toBytes(const QString &text);
QString fromBytes(const QByteArray &bytes);

} // namespace NcText
