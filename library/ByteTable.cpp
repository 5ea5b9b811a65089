#include "library/ByteTable.h"

#include <QHashFunctions>

#include <cstring>

namespace
{

inline void prefetch(const void *at)
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(at);
#else
    Q_UNUSED(at);
#endif
}

std::uint32_t hashOf(QByteArrayView key)
{
    return std::uint32_t(qHash(key));
}

std::uint32_t readLength(const char *at)
{
    std::uint32_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

} // namespace

void ByteTable::clear()
{
    m_bytes.clear();
    m_count = 0;
    m_table.clear();
}

void ByteTable::add(QByteArrayView key, QByteArrayView value)
{
    const std::uint32_t lengths[2] = {std::uint32_t(key.size()), std::uint32_t(value.size())};
    m_bytes.append(reinterpret_cast<const char *>(lengths), sizeof lengths);
    m_bytes.append(key.data(), key.size());
    m_bytes.append(value.data(), value.size());
    ++m_count;
}

void ByteTable::finish()
{
    size_t count = 16;
    while (count < size_t(m_count) * 2)
        count *= 2;
    m_table.assign(count, 0);
    const char *bytes = m_bytes.constData();
    for (qsizetype offset = 0; offset < m_bytes.size();) {
        const std::uint32_t keyLength = readLength(bytes + offset);
        const std::uint32_t valueLength = readLength(bytes + offset + 4);
        const std::uint32_t hash = hashOf(QByteArrayView(bytes + offset + 8, keyLength));
        size_t at = hash & (count - 1);
        while (m_table[at])
            at = (at + 1) & (count - 1);
        m_table[at] = (std::uint64_t(hash) << 32) | std::uint64_t(offset + 1);
        offset += 8 + keyLength + valueLength;
    }
}

bool ByteTable::find(QByteArrayView key, QByteArrayView *value) const
{
    if (m_table.empty())
        return false;
    const size_t mask = m_table.size() - 1;
    const std::uint32_t hash = hashOf(key);
    for (size_t at = hash & mask; m_table[at]; at = (at + 1) & mask) {
        const std::uint64_t slot = m_table[at];
        if (std::uint32_t(slot >> 32) != hash)
            continue;
        const char *record = m_bytes.constData() + (std::uint32_t(slot) - 1);
        const std::uint32_t keyLength = readLength(record);
        if (keyLength != std::uint32_t(key.size()) ||
            std::memcmp(record + 8, key.data(), keyLength) != 0)
            continue;
        if (value)
            *value = QByteArrayView(record + 8 + keyLength, readLength(record + 4));
        return true;
    }
    return false;
}

void ByteTable::prefetchSlot(QByteArrayView key) const
{
    if (!m_table.empty())
        prefetch(&m_table[hashOf(key) & (m_table.size() - 1)]);
}

void ByteTable::prefetchRecord(QByteArrayView key) const
{
    if (m_table.empty())
        return;
    const std::uint64_t slot = m_table[hashOf(key) & (m_table.size() - 1)];
    if (slot)
        prefetch(m_bytes.constData() + (std::uint32_t(slot) - 1));
}
