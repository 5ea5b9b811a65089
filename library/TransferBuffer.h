#pragma once
// The transfer buffer (BufferString) as data: queued full paths followed by one empty row.
#include <QStringList>

class TransferBuffer
{
public:
    // Rows as the grid shows them: the entries, then exactly one empty row.
    int rowCount() const { return int(m_entries.size()) + 1; }
    QString rowText(int row) const { return m_entries.value(row); }
    const QStringList &entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.isEmpty(); }

    // The same file may be queued more than once; an empty path queues nothing.
    bool add(const QString &path);
    // Removes the entry at row; the empty last row and rows out of range change nothing.
    bool removeAt(int row);
    void clear() { m_entries.clear(); }
    // A send that takes the buffer: its entries in order, leaving it empty.
    QStringList takeAll();

private:
    QStringList m_entries;
};
