#pragma once
// A port setting read once into the values its users need. The record's own text and fields
// stay as they were given, so what is shown, logged or stored again is unchanged.
#include "settings/LineSettings.h"
#include "settings/PortSetting.h"

#include <QStringList>

class PortProfile
{
public:
    // How the auto mode reaches its machines.
    enum class LineType {
        Cable,        // "None", or a record too short to have a type
        RadioAdapter, // "Wireless": the adapter is asked for its devices once the line opens
        Other,        // any other text: a radio line whose devices are never asked for
    };
    // What the line is opened for: it decides whether NUL bytes are dropped on arrival.
    enum class Use { Send, Receive, AutoMode };

    // No record at all: not usable.
    PortProfile();
    static PortProfile fromText(const QString &line);
    static PortProfile fromFields(const QStringList &fields);

    // The one rule for the type field.
    static LineType lineTypeOf(const QStringList &fields);

    // Applicable to a line: name through flow control are present. Otherwise problem() is the
    // message to show.
    bool isUsable() const { return m_problem.isEmpty(); }
    QString problem() const { return m_problem; }

    QString text() const { return m_text; }
    QStringList fields() const { return m_fields; }
    // Empty past the end of a short record.
    QString field(PortSetting::Field f) const { return m_fields.value(f); }

    QString name() const { return field(PortSetting::Name); }
    QString port() const { return field(PortSetting::Port); }
    LineSettings lineSettings(Use use) const;
    ::FlowControl flowControl() const { return m_flowControl; }
    LineType lineType() const { return m_lineType; }
    bool isRadio() const { return m_lineType != LineType::Cable; }
    bool asksForDevices() const { return m_lineType == LineType::RadioAdapter; }
    QString workFolder() const { return field(PortSetting::WorkFolder); }
    QString extensionPattern() const { return field(PortSetting::Extension); }
    // The pattern without its first character: "*.nc" gives ".nc".
    QString extension() const { return extensionPattern().mid(1); }

private:
    PortProfile(const QString &text, const QStringList &fields);

    QString m_text;
    QStringList m_fields;
    QString m_problem;
    LineSettings m_settings;
    ::FlowControl m_flowControl = ::FlowControl::None;
    LineType m_lineType = LineType::Cable;
};
