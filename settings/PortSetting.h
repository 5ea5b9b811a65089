#pragma once
// A port setting: one transfer profile of ten text fields held as one line of comma text.
#include "settings/LineSettings.h"

#include <QStringList>

// Translation of field texts into line parameters. Texts are matched exactly.
namespace UnitComPortFunction
{
qint32 ParseBaudRate(const QString &text);
LineSettings::Parity ParseParity(const QString &text);
int ParseDataBits(const QString &text);
LineSettings::StopBits ParseStopBits(const QString &text);
::FlowControl ParseFlowControl(const QString &text);

QStringList baudRateTexts();
QStringList parityTexts();
QStringList dataBitsTexts();
QStringList stopBitsTexts();
QStringList flowControlTexts();
QStringList lineTypeTexts();
} // namespace UnitComPortFunction

namespace PortSetting
{

enum Field {
    Name = 0,
    Port,
    BaudRate,
    Parity,
    DataBits,
    StopBits,
    FlowControl,
    WorkFolder,
    Extension,
    Type,
    FieldCount
};

// Fields needed to configure a line (name through flow control).
constexpr int MinimumFields = 7;

QString defaultPortName();
QString defaultWorkFolder();
QString defaultLine();

QStringList split(const QString &line);
QString join(const QStringList &fields);

// Line parameters and flow control of a record; false with a message when too short.
bool toLineSettings(const QStringList &fields, LineSettings *settings, ::FlowControl *flowControl,
                    QString *error);

// "name-caption" of a transfer window.
QString caption(const QStringList &fields, const QString &windowCaption);
// "label:port,baud,parity,data,stop Flow:flow" with the field texts unchanged.
QString summary(const QStringList &fields, const QString &label);

} // namespace PortSetting
