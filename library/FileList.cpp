#include "library/FileList.h"

#include "settings/CommaText.h"

#include <algorithm>
#include <numeric>
#include <utility>

const QString &FileRow::cell(int column) const
{
    switch (column) {
    case NameColumn:
        return name;
    case TimeColumn:
        return time;
    case SizeColumn:
        return size;
    case NoteColumn:
        return note;
    default:
        return picture;
    }
}

QString &FileRow::cell(int column)
{
    return const_cast<QString &>(std::as_const(*this).cell(column));
}

bool FileRow::isEmpty() const
{
    return name.isEmpty() && time.isEmpty() && size.isEmpty() && note.isEmpty() &&
           picture.isEmpty();
}

bool FileRow::operator==(const FileRow &o) const
{
    return name == o.name && time == o.time && size == o.size && note == o.note &&
           picture == o.picture;
}

bool codeUnitLess(const QString &a, const QString &b)
{
    const auto *pa = a.utf16();
    const auto *pb = b.utf16();
    return std::lexicographical_compare(pa, pa + a.size(), pb, pb + b.size());
}

qint64 sizeKey(const QString &cell)
{
    bool ok = false;
    const qint64 v = cell.toLongLong(&ok);
    return ok ? v : 0;
}

FileList::FileList() : m_rows(1) {}

bool FileList::isEmpty() const
{
    return m_rows.size() == 1 && m_rows.first().isEmpty();
}

void FileList::clear()
{
    m_rows = QVector<FileRow>(1);
}

void FileList::setRows(QVector<FileRow> rows)
{
    m_rows = std::move(rows);
    if (m_rows.isEmpty())
        m_rows.append(FileRow());
}

void FileList::setCell(int row, int column, const QString &text)
{
    if (row >= 0 && row < m_rows.size() && column >= 0 && column < ColumnCount)
        m_rows[row].cell(column) = text;
}

bool FileList::addFileData(const QString &commaText)
{
    const QStringList values = CommaText::read(commaText);
    const QString name = values.value(0);
    for (const FileRow &r : std::as_const(m_rows))
        if (r.name.compare(name, Qt::CaseInsensitive) == 0)
            return false;
    FileRow added;
    for (int c = 0; c < ColumnCount && c < values.size(); ++c)
        added.cell(c) = values.at(c);
    if (isEmpty())
        m_rows[0] = added;
    else
        m_rows.append(added);
    return true;
}

void FileList::sortRows(int column, int left, int right, bool ascending)
{
    left = std::max(left, 0);
    right = std::min(right, rowCount() - 1);
    if (right <= left || column < 0 || column >= ColumnCount)
        return;
    const int n = right - left + 1;
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), left);

    if (column == PictureColumn) {
        const auto qualifies = [&](int i) { return (m_rows[i].picture == u"Y") == ascending; };
        std::stable_partition(order.begin(), order.end(), qualifies);
    } else if (column == SizeColumn) {
        std::vector<qint64> keys(static_cast<size_t>(rowCount()));
        for (int i = left; i <= right; ++i)
            keys[size_t(i)] = sizeKey(m_rows[i].size);
        if (ascending)
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
        else
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return keys[size_t(b)] < keys[size_t(a)]; });
    } else {
        const auto key = [&](int i) -> const QString & { return m_rows[i].cell(column); };
        if (ascending)
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return codeUnitLess(key(a), key(b)); });
        else
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return codeUnitLess(key(b), key(a)); });
    }

    QVector<FileRow> sorted;
    sorted.reserve(n);
    for (int i : order)
        sorted.append(std::move(m_rows[i]));
    std::move(sorted.begin(), sorted.end(), m_rows.begin() + left);
}

void FileList::keyWordPass(const QString &keyword, int column)
{
    if (keyword.isEmpty() || column < 0 || column >= ColumnCount)
        return;
    int next = 0;
    for (int i = 0; i < rowCount(); ++i) {
        if (m_rows[i].cell(column).startsWith(keyword, Qt::CaseSensitive)) {
            if (i != next)
                std::swap(m_rows[i], m_rows[next]);
            ++next;
        }
    }
}

HeaderMarks::HeaderMarks()
{
    reset();
}

void HeaderMarks::setPlainCaptions(const QStringList &captions)
{
    m_plain = captions;
    for (int i = 0; i < ColumnCount; ++i)
        m_captions[i] = captionFor(plainCaption(i), m_marks[i]);
}

QString HeaderMarks::plainCaption(int section) const
{
    return m_plain.value(section);
}

QString HeaderMarks::captionFor(const QString &plain, int mark)
{
    switch (mark) {
    case Ascending:
        return plain + QStringLiteral("△");
    case Descending:
        return plain + QStringLiteral("▽");
    case KeyWord:
        return plain + QStringLiteral("※");
    default:
        return plain;
    }
}

void HeaderMarks::reset()
{
    for (int i = 0; i < ColumnCount; ++i) {
        m_marks[i] = None;
        m_captions[i] = plainCaption(i);
    }
}

bool HeaderMarks::SectionSort(int column, const QString &caption)
{
    for (int i = 0; i < ColumnCount; ++i) {
        if (m_marks[i] == KeyWord) {
            m_captions[i] = plainCaption(i);
            m_marks[i] = None;
        }
        if (i != column)
            m_marks[i] = None;
    }
    if (m_marks[column] == Ascending) {
        m_captions[column] = captionFor(caption, Descending);
        m_marks[column] = Descending;
        return false;
    }
    if (m_marks[column] == None) {
        for (int i = 0; i < ColumnCount; ++i)
            m_captions[i] = plainCaption(i);
    }
    m_captions[column] = captionFor(caption, Ascending);
    m_marks[column] = Ascending;
    return true;
}

int HeaderMarks::keyWordColumn()
{
    for (int i = 0; i < ColumnCount; ++i)
        if (m_marks[i] == KeyWord)
            return i;
    m_captions[NameColumn] = captionFor(plainCaption(NameColumn), KeyWord);
    m_marks[NameColumn] = KeyWord;
    return NameColumn;
}

int HeaderMarks::sectionAt(const QVector<int> &sectionWidths, int x)
{
    int right = 0;
    for (int i = 0; i < sectionWidths.size() && i < ColumnCount; ++i) {
        right += sectionWidths.at(i);
        if (x < right)
            return i;
    }
    return -1;
}

int HeaderMarks::HeaderControl1MouseUp(const QVector<int> &sectionWidths, int x)
{
    const int section = sectionAt(sectionWidths, x);
    if (section < 0)
        return -1;
    reset();
    m_captions[section] = captionFor(plainCaption(section), KeyWord);
    m_marks[section] = KeyWord;
    return section;
}
