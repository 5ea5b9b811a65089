#pragma once
// The rules behind the general settings dialog that need no window: the eight check flags,
// the extension choices and the numbered path and folder lists.
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace GeneralSettingsRules
{

// Bit i of the check flags has the value 2 to the power i.
enum Flag {
    ExternalEditor = 0,
    NoteFromComment,
    LimitedPreview,
    ExternalViewer,
    OverwriteSameName,
    NameFromComment,
    ReadErrorReply,
    SaveOkReply,
    FlagCount
};

// False, flags unchanged, when the text is not an integer.
bool unpackFlags(const QString &text, QList<bool> *flags);
QString packFlags(const QList<bool> &flags);

// Letters and digits of ASCII only: the pattern becomes part of a file filter.
bool isExtensionKey(QChar c);
bool isExtensionText(const QString &text);
// Appends "*." + typed unless it is empty, holds other characters, or the list already
// holds the pattern in any letter case. True when appended.
bool addExtension(QStringList *patterns, const QString &typed);
// The item's new row; the row unchanged when it cannot move.
int moveUp(QStringList *patterns, int row);
int moveDown(QStringList *patterns, int row);
// The main window's choices end in "*.*", which the dialog does not show.
QStringList shownExtensions(const QStringList &choices);
QStringList extensionChoices(const QStringList &shown);
// The index to select in the main window's extension box after the dialog closed: the
// remembered pattern when it is still offered (letter case ignored), else the first; -1
// for an empty list.
int keptExtension(const QStringList &choices, const QString &remembered);

// Numbered entries (path list, folder list) followed by one empty row for a new entry.
// Rows count from 0 here; the grid shows row r with the number r + 1.
class NumberedList
{
public:
    NumberedList();

    // An empty stored entry is shown as one blank, and stored back as a quoted blank.
    void setText(const QString &commaText);
    QString text() const;

    int rowCount() const { return int(m_rows.size()); }
    bool isLast(int row) const { return row == rowCount() - 1; }
    // Empty for an unnumbered row.
    QString number(int row) const;
    QString entry(int row) const;

    // A typed entry: a non-empty text numbers the row and, on the last row, opens a new
    // empty row; emptying the row before the last one makes it the new-entry row.
    void setEntry(int row, const QString &text);
    // A chosen folder; an empty choice (cancelled) changes nothing.
    void choose(int row, const QString &folder);
    // Removes an entry row; false for the new-entry row or a row that does not exist.
    bool removeRow(int row);

private:
    struct Row {
        QString entry;
        bool numbered = false;
    };
    QVector<Row> m_rows;
};

} // namespace GeneralSettingsRules
