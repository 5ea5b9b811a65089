#pragma once
// Bytes looked up by bytes, for a listing's many lookups of file names: every key and value
// in one buffer, one open-addressed table, no allocation per entry. A lookup touches one
// slot and one record, which matters when every row of a large folder looks up a name.
#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <vector>

class ByteTable
{
public:
    void clear();
    void add(QByteArrayView key, QByteArrayView value);
    // Makes the added keys findable; call once after the last add.
    void finish();
    bool isEmpty() const { return m_count == 0; }
    int size() const { return m_count; }
    // False when key was not added; value may be null. A key added twice is found once.
    bool find(QByteArrayView key, QByteArrayView *value = nullptr) const;
    // Loading ahead of a find: first the key's slot, a while later (once the slot is in
    // the cache) its record, so that the find itself waits for neither.
    void prefetchSlot(QByteArrayView key) const;
    void prefetchRecord(QByteArrayView key) const;

private:
    // Each record: key length, value length (32 bits each), the key, the value.
    QByteArray m_bytes;
    int m_count = 0;
    // Each slot: the key's hash in the upper half, the record's offset + 1 in the lower;
    // 0 is a free slot.
    std::vector<std::uint64_t> m_table;
};
