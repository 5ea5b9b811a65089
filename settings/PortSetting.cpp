#include "settings/PortSetting.h"

#include "settings/CommaText.h"

#include <QDir>
#include <QRegularExpression>

namespace UnitComPortFunction
{

QStringList baudRateTexts()
{
    return {QStringLiteral("1200"),  QStringLiteral("2400"),  QStringLiteral("4800"),
            QStringLiteral("9600"),  QStringLiteral("19200"), QStringLiteral("38400"),
            QStringLiteral("57600"), QStringLiteral("115200")};
}
QStringList parityTexts()
{
    return {QStringLiteral("None"), QStringLiteral("Odd"), QStringLiteral("Even")};
}
QStringList dataBitsTexts()
{
    return {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")};
}
QStringList stopBitsTexts()
{
    return {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
}
QStringList flowControlTexts()
{
    return {QStringLiteral("None"), QStringLiteral("RTS/CTS"), QStringLiteral("Xon/Xoff"),
            QStringLiteral("RTS/CTS+Xon/Xoff")};
}
QStringList lineTypeTexts()
{
    return {QStringLiteral("None"), QStringLiteral("Wireless")};
}

// Unknown texts fall back to the default record's values, except that a plain positive
// number is taken as a typed baud rate (the dialog lets users type one).
qint32 ParseBaudRate(const QString &text)
{
    bool ok = false;
    const qint32 baud = text.toInt(&ok);
    if (baudRateTexts().contains(text))
        return baud;
    static const QRegularExpression digits(QStringLiteral("^[1-9][0-9]{1,6}$"));
    if (ok && digits.match(text).hasMatch() && baud <= 4000000)
        return baud;
    return 9600;
}

LineSettings::Parity ParseParity(const QString &text)
{
    if (text == QLatin1String("Odd"))
        return LineSettings::Parity::Odd;
    if (text == QLatin1String("Even"))
        return LineSettings::Parity::Even;
    return LineSettings::Parity::None;
}

int ParseDataBits(const QString &text)
{
    if (dataBitsTexts().contains(text))
        return text.toInt();
    return 8;
}

LineSettings::StopBits ParseStopBits(const QString &text)
{
    if (text == QLatin1String("1.5"))
        return LineSettings::StopBits::OneAndHalf;
    if (text == QLatin1String("2"))
        return LineSettings::StopBits::Two;
    return LineSettings::StopBits::One;
}

FlowControl ParseFlowControl(const QString &text)
{
    // The texts are listed in the order of the codes.
    const int code = flowControlTexts().indexOf(text);
    return code < 0 ? FlowControl::None : FlowControl(code);
}

} // namespace UnitComPortFunction

namespace PortSetting
{

QString defaultPortName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM1");
#else
    return QStringLiteral("ttyS0");
#endif
}

QString defaultWorkFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\NC");
#else
    return QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/NC"));
#endif
}

QString defaultLine()
{
    return join({QStringLiteral("NewName"), defaultPortName(), QStringLiteral("9600"),
                 QStringLiteral("None"), QStringLiteral("8"), QStringLiteral("1"),
                 QStringLiteral("None"), defaultWorkFolder(), QStringLiteral("*.nc"),
                 QStringLiteral("None")});
}

QStringList split(const QString &line)
{
    return CommaText::read(line);
}
QString join(const QStringList &fields)
{
    return CommaText::write(fields);
}

bool toLineSettings(const QStringList &fields, LineSettings *settings, ::FlowControl *flowControl,
                    QString *error)
{
    if (fields.size() < MinimumFields) {
        if (error)
            *error = QStringLiteral("The port setting \"%1\" has %2 fields; at least %3 are "
                                    "needed (name, port, baud rate, parity, data bits, stop "
                                    "bits, flow control).")
                         .arg(join(fields))
                         .arg(fields.size())
                         .arg(MinimumFields);
        return false;
    }
    using namespace UnitComPortFunction;
    settings->portName = fields[Port];
    settings->baudRate = ParseBaudRate(fields[BaudRate]);
    settings->parity = ParseParity(fields[Parity]);
    settings->dataBits = ParseDataBits(fields[DataBits]);
    settings->stopBits = ParseStopBits(fields[StopBits]);
    const ::FlowControl code = ParseFlowControl(fields[FlowControl]);
    settings->hardwareHandshake = usesCts(code);
    if (flowControl)
        *flowControl = code;
    return true;
}

QString caption(const QStringList &fields, const QString &windowCaption)
{
    return fields.value(Name) + QLatin1Char('-') + windowCaption;
}

QString summary(const QStringList &fields, const QString &label)
{
    return label + QLatin1Char(':') + fields.value(Port) + QLatin1Char(',') +
           fields.value(BaudRate) + QLatin1Char(',') + fields.value(Parity) + QLatin1Char(',') +
           fields.value(DataBits) + QLatin1Char(',') + fields.value(StopBits) +
           QStringLiteral(" Flow:") + fields.value(FlowControl);
}

} // namespace PortSetting
