#include "transfer/PortList.h"

#include "settings/PortSetting.h"

PortList::PortList()
{
    setPortList({});
}

QStringList PortList::normalised(QStringList fields)
{
    while (fields.size() < PortSetting::FieldCount)
        fields << QString();
    return fields.mid(0, PortSetting::FieldCount);
}

void PortList::setPortList(const QStringList &lines)
{
    m_rows.clear();
    for (const QString &line : lines)
        m_rows << normalised(PortSetting::split(line));
    if (m_rows.isEmpty())
        m_rows << normalised({});
}

QStringList PortList::getPortList() const
{
    QStringList out;
    for (int i = 0; i < m_rows.size(); ++i)
        out << getPort(i);
    return out;
}

QStringList PortList::getPortName() const
{
    QStringList out;
    for (const QStringList &r : m_rows)
        out << r.value(0);
    return out;
}

QString PortList::getPort(int n) const
{
    if (n < 0 || n >= m_rows.size())
        return QString();
    return PortSetting::join(m_rows[n]);
}

void PortList::setRow(int n, const QStringList &fields)
{
    if (n >= 0 && n < m_rows.size())
        m_rows[n] = normalised(fields);
}

void PortList::insertRow(int n, const QStringList &fields)
{
    m_rows.insert(qBound(0, n, int(m_rows.size())), normalised(fields));
}

void PortList::removeRow(int n)
{
    if (n >= 0 && n < m_rows.size())
        m_rows.remove(n);
    if (m_rows.isEmpty())
        m_rows << normalised({});
}
