#include "settings/PortProfile.h"

PortProfile::PortProfile() : PortProfile(QString(), QStringList()) {}

PortProfile::PortProfile(const QString &text, const QStringList &fields)
    : m_text(text), m_fields(fields), m_lineType(lineTypeOf(fields))
{
    PortSetting::toLineSettings(m_fields, &m_settings, &m_flowControl, &m_problem);
}

PortProfile PortProfile::fromText(const QString &line)
{
    return PortProfile(line, PortSetting::split(line));
}

PortProfile PortProfile::fromFields(const QStringList &fields)
{
    return PortProfile(PortSetting::join(fields), fields);
}

PortProfile::LineType PortProfile::lineTypeOf(const QStringList &fields)
{
    // A record without a type field is run as the engine always ran it: on a cable.
    if (fields.size() <= PortSetting::Type)
        return LineType::Cable;
    const QString &type = fields.at(PortSetting::Type);
    if (type == QLatin1String("None"))
        return LineType::Cable;
    if (type == QLatin1String("Wireless"))
        return LineType::RadioAdapter;
    return LineType::Other;
}

LineSettings PortProfile::lineSettings(Use use) const
{
    LineSettings s = m_settings;
    switch (use) {
    case Use::Send:
        s.discardNull = true;
        break;
    case Use::Receive:
        // Every byte of a punched tape reaches the receive engine; it decides what to drop.
        s.discardNull = false;
        break;
    case Use::AutoMode:
        // A radio address may hold a 0 byte; NUL is dropped there only when stored.
        s.discardNull = !isRadio();
        break;
    }
    return s;
}
