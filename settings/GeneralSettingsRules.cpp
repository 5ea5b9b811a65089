#include "settings/GeneralSettingsRules.h"

#include "settings/CommaText.h"
#include "settings/UnitFunction.h"

namespace GeneralSettingsRules
{

namespace
{
const QString kAllFiles = QStringLiteral("*.*");
const QString kPatternStart = QStringLiteral("*.");
} // namespace

bool unpackFlags(const QString &text, QList<bool> *flags)
{
    QList<bool> unpacked(FlagCount, false);
    if (!IntToFlags(text, unpacked))
        return false;
    *flags = unpacked;
    return true;
}

QString packFlags(const QList<bool> &flags)
{
    int value = 0;
    for (int i = 0; i < FlagCount && i < flags.size(); ++i)
        if (flags[i])
            value += 1 << i;
    return QString::number(value);
}

bool isExtensionKey(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

bool isExtensionText(const QString &text)
{
    for (QChar c : text)
        if (!isExtensionKey(c))
            return false;
    return true;
}

bool addExtension(QStringList *patterns, const QString &typed)
{
    if (typed.isEmpty() || !isExtensionText(typed))
        return false;
    const QString pattern = kPatternStart + typed;
    if (patterns->contains(pattern, Qt::CaseInsensitive))
        return false;
    patterns->append(pattern);
    return true;
}

int moveUp(QStringList *patterns, int row)
{
    if (row <= 0 || row >= patterns->size())
        return row;
    patterns->swapItemsAt(row, row - 1);
    return row - 1;
}

int moveDown(QStringList *patterns, int row)
{
    if (row < 0 || row >= patterns->size() - 1)
        return row;
    patterns->swapItemsAt(row, row + 1);
    return row + 1;
}

QStringList shownExtensions(const QStringList &choices)
{
    return choices.mid(0, qMax(0, int(choices.size()) - 1));
}

QStringList extensionChoices(const QStringList &shown)
{
    return QStringList(shown) << kAllFiles;
}

int keptExtension(const QStringList &choices, const QString &remembered)
{
    if (choices.isEmpty())
        return -1;
    for (int i = 0; i < choices.size(); ++i)
        if (choices[i].compare(remembered, Qt::CaseInsensitive) == 0)
            return i;
    return 0;
}

NumberedList::NumberedList()
{
    setText(QString());
}

void NumberedList::setText(const QString &commaText)
{
    m_rows.clear();
    for (const QString &entry : CommaText::read(commaText))
        m_rows.append({entry.isEmpty() ? QStringLiteral(" ") : entry, true});
    m_rows.append(Row());
}

QString NumberedList::text() const
{
    QStringList entries;
    for (int r = 0; r < rowCount() - 1; ++r)
        entries << m_rows[r].entry;
    return CommaText::write(entries);
}

QString NumberedList::number(int row) const
{
    if (row < 0 || row >= rowCount() || !m_rows[row].numbered)
        return QString();
    return QString::number(row + 1);
}

QString NumberedList::entry(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[row].entry : QString();
}

void NumberedList::setEntry(int row, const QString &text)
{
    if (row < 0 || row >= rowCount())
        return;
    m_rows[row].entry = text;
    if (!text.isEmpty()) {
        m_rows[row].numbered = true;
        if (isLast(row))
            m_rows.append(Row());
    } else if (row == rowCount() - 2 && m_rows.last().entry.isEmpty()) {
        m_rows[row].numbered = false;
        m_rows.removeLast();
    }
}

void NumberedList::choose(int row, const QString &folder)
{
    if (folder.isEmpty() || row < 0 || row >= rowCount())
        return;
    m_rows[row].entry = folder;
    m_rows[row].numbered = true;
    if (isLast(row))
        m_rows.append(Row());
}

bool NumberedList::removeRow(int row)
{
    if (row < 0 || row >= rowCount() - 1)
        return false;
    m_rows.remove(row);
    return true;
}

} // namespace GeneralSettingsRules
