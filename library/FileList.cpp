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
    // constData(), unlike utf16(), never detaches or allocates.
    const QChar *pa = a.constData();
    const QChar *pb = b.constData();
    return std::lexicographical_compare(pa, pa + a.size(), pb, pb + b.size(),
                                        [](QChar x, QChar y) { return x.unicode() < y.unicode(); });
}

qint64 sizeKey(const QString &cell)
{
    // Plain digits, as a listing writes them, are read here; anything else as Qt reads it.
    if (!cell.isEmpty() && cell.size() <= 18) {
        qint64 v = 0;
        bool digits = true;
        for (const QChar c : cell) {
            if (c < u'0' || c > u'9') {
                digits = false;
                break;
            }
            v = v * 10 + (c.unicode() - u'0');
        }
        if (digits)
            return v;
    }
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

namespace
{

// Sort keys are computed once per row, so a comparison never goes through a QString.
// Text is compared eight UTF-16 code units at a time: the units, big end first, in two
// words, and how many of the eight the text has. Rows that agree on all of it and go on
// are sorted again by their next eight units, among themselves only.
struct TextKey {
    quint64 high;
    quint64 low;
    int units;
    int row;

    bool sameAs(const TextKey &o) const
    {
        return high == o.high && low == o.low && units == o.units;
    }
    bool operator<(const TextKey &o) const
    {
        if (high != o.high)
            return high < o.high;
        if (low != o.low)
            return low < o.low;
        return units < o.units;
    }
};

struct NumberKey {
    qint64 value;
    int row;
};

TextKey textKey(QStringView text, qsizetype from, int row)
{
    quint64 words[2] = {0, 0};
    const qsizetype n = std::clamp<qsizetype>(text.size() - from, 0, 8);
    for (qsizetype i = 0; i < n; ++i)
        words[i / 4] |= quint64(text[from + i].unicode()) << (48 - 16 * (i % 4));
    return {words[0], words[1], int(n), row};
}

// "yyyy-MM-dd hh:mm:ss" as the number yyyyMMddhhmmss; false for any other text. Among such
// texts the numbers are in the texts' code-unit order.
bool timeNumber(QStringView text, qint64 *value)
{
    if (text.size() != 19)
        return false;
    qint64 v = 0;
    for (int i = 0; i < 19; ++i) {
        const char16_t c = text[i].unicode();
        const char16_t separator = i == 4 || i == 7     ? u'-'
                                   : i == 10            ? u' '
                                   : i == 13 || i == 16 ? u':'
                                                        : 0;
        if (separator) {
            if (c != separator)
                return false;
        } else if (c < u'0' || c > u'9') {
            return false;
        } else {
            v = v * 10 + (c - u'0');
        }
    }
    *value = v;
    return true;
}

template <typename Key, typename Less>
void stableSortKeys(std::vector<Key> &keys, bool ascending, Less less)
{
    if (ascending)
        std::stable_sort(keys.begin(), keys.end(), less);
    else
        std::stable_sort(keys.begin(), keys.end(),
                         [&less](const Key &a, const Key &b) { return less(b, a); });
}

// Stable, by the whole text in code-unit order.
void sortTextKeys(std::vector<TextKey> &keys, const QVector<FileRow> &rows, int column,
                  bool ascending)
{
    // Runs still to sort: first key, end, offset of the units their keys hold.
    struct Run {
        size_t begin, end;
        qsizetype from;
    };
    std::vector<Run> runs{{0, keys.size(), 0}};
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        const auto first = keys.begin() + qsizetype(run.begin);
        const auto last = keys.begin() + qsizetype(run.end);
        if (ascending)
            std::stable_sort(first, last);
        else
            std::stable_sort(first, last, [](const TextKey &a, const TextKey &b) { return b < a; });
        for (size_t i = run.begin; i < run.end;) {
            size_t j = i + 1;
            while (j < run.end && keys[j].sameAs(keys[i]))
                ++j;
            if (j - i > 1 && keys[i].units == 8) {
                const qsizetype from = run.from + 8;
                for (size_t k = i; k < j; ++k)
                    keys[k] = textKey(rows[keys[k].row].cell(column), from, keys[k].row);
                runs.push_back({i, j, from});
            }
            i = j;
        }
    }
}

} // namespace

void FileList::sortRows(int column, int left, int right, bool ascending)
{
    left = std::max(left, 0);
    right = std::min(right, rowCount() - 1);
    if (right <= left || column < 0 || column >= ColumnCount)
        return;
    const int n = right - left + 1;
    std::vector<int> order(static_cast<size_t>(n));

    if (column == PictureColumn) {
        std::iota(order.begin(), order.end(), left);
        const auto qualifies = [&](int i) { return (m_rows[i].picture == u"Y") == ascending; };
        std::stable_partition(order.begin(), order.end(), qualifies);
    } else {
        std::vector<NumberKey> numbers;
        numbers.reserve(size_t(n));
        bool byNumber = true;
        for (int i = left; byNumber && i <= right; ++i) {
            qint64 v = 0;
            if (column == SizeColumn)
                v = sizeKey(m_rows[i].size);
            else if (column != TimeColumn || !timeNumber(m_rows[i].time, &v))
                byNumber = false;
            numbers.push_back({v, i});
        }
        if (byNumber) {
            stableSortKeys(numbers, ascending, [](const NumberKey &a, const NumberKey &b) {
                return a.value < b.value;
            });
            for (int k = 0; k < n; ++k)
                order[size_t(k)] = numbers[size_t(k)].row;
        } else {
            std::vector<TextKey> keys;
            keys.reserve(size_t(n));
            for (int i = left; i <= right; ++i)
                keys.push_back(textKey(m_rows[i].cell(column), 0, i));
            sortTextKeys(keys, m_rows, column, ascending);
            for (int k = 0; k < n; ++k)
                order[size_t(k)] = keys[size_t(k)].row;
        }
    }

    QVector<FileRow> sorted(n);
    for (int k = 0; k < n; ++k)
        sorted[k] = std::move(m_rows[order[size_t(k)]]);
    if (n == rowCount())
        m_rows.swap(sorted);
    else
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
