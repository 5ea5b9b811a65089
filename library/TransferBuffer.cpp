#include "library/TransferBuffer.h"

#include <utility>

bool TransferBuffer::add(const QString &path)
{
    if (path.isEmpty())
        return false;
    m_entries.append(path);
    return true;
}

bool TransferBuffer::removeAt(int row)
{
    if (row < 0 || row >= m_entries.size())
        return false;
    m_entries.removeAt(row);
    return true;
}

QStringList TransferBuffer::takeAll()
{
    return std::exchange(m_entries, QStringList());
}
