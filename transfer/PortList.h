#pragma once
// The ordered list of port settings as rows of ten fields. The port settings dialog edits
// it; the menus and transfer windows read it.
#include <QStringList>
#include <QVector>

class PortList
{
public:
    PortList();

    // One row per line, at least one; fields after the tenth dropped, missing ones empty.
    void setPortList(const QStringList &lines);
    QStringList getPortList() const;
    QStringList getPortName() const;
    // Row n as comma text; empty text when there is no such row.
    QString getPort(int n) const;

    int rowCount() const { return int(m_rows.size()); }
    QStringList row(int n) const { return m_rows.value(n); }
    void setRow(int n, const QStringList &fields);
    void insertRow(int n, const QStringList &fields);
    void removeRow(int n);

private:
    static QStringList normalised(QStringList fields);
    QVector<QStringList> m_rows;
};
