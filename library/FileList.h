#pragma once
// The file grid as data: rows of five text cells, the header marks, sort and keyword pass.
#include <QString>
#include <QStringList>
#include <QVector>

enum FileColumn { NameColumn, TimeColumn, SizeColumn, NoteColumn, PictureColumn, ColumnCount };

struct FileRow {
    QString name;
    QString time; // "yyyy-MM-dd hh:mm:ss", local time
    QString size; // bytes, decimal
    QString note;
    QString picture; // "Y" or empty

    const QString &cell(int column) const;
    QString &cell(int column);
    bool isEmpty() const;
    bool operator==(const FileRow &o) const;
};
Q_DECLARE_TYPEINFO(FileRow, Q_RELOCATABLE_TYPE);

// Always holds at least one row: an empty list is a single empty row.
class FileList
{
public:
    FileList();

    int rowCount() const { return int(m_rows.size()); }
    const FileRow &row(int i) const { return m_rows.at(i); }
    const QVector<FileRow> &rows() const { return m_rows; }
    // True when the list holds no file (its only row is empty).
    bool isEmpty() const;

    void clear();
    // An empty vector gives the one empty row.
    void setRows(QVector<FileRow> rows);
    void setCell(int row, int column, const QString &text);

    // Adds one row given as comma text unless its name is listed already (any letter case).
    // True when a row was added or the empty row was filled.
    bool addFileData(const QString &commaText);

    // Sorts rows left..right by column. Names, times and notes by UTF-16 code units, sizes as
    // 64-bit numbers; equal keys keep their order. The picture column gathers the rows with
    // (ascending) or without (descending) a picture at the top, keeping every row's order.
    void sortRows(int column, int left, int right, bool ascending);

    // Gathers the rows whose cell in column begins with keyword (case-sensitive) at the top,
    // in their order. An empty keyword moves nothing.
    void keyWordPass(const QString &keyword, int column);

private:
    QVector<FileRow> m_rows;
};

// UTF-16 code-unit order, independent of locale and of code-point order.
bool codeUnitLess(const QString &a, const QString &b);
// A size cell as a number; text that is not a number counts as 0.
qint64 sizeKey(const QString &cell);

// Marks and captions of the five header sections.
class HeaderMarks
{
public:
    enum Mark { None = 0, Ascending = 1, Descending = 2, KeyWord = 4 };

    HeaderMarks();

    // The plain captions: language section 0, lines 8 to 12.
    void setPlainCaptions(const QStringList &captions);
    QString plainCaption(int section) const;
    int mark(int section) const { return m_marks[section]; }
    QString caption(int section) const { return m_captions[section]; }
    static QString captionFor(const QString &plain, int mark);

    // A new listing: every mark 0, every caption plain.
    void reset();
    // The header click: updates the marks and captions; returns true for an ascending sort.
    bool SectionSort(int column, const QString &caption);
    // The keyword column for a key release, marking the name column when none is marked.
    int keyWordColumn();
    // Right button released at x: marks the section under it as the keyword column.
    // Returns that section, or -1 (nothing changed) when x lies beyond the last section.
    int HeaderControl1MouseUp(const QVector<int> &sectionWidths, int x);
    static int sectionAt(const QVector<int> &sectionWidths, int x);

private:
    QStringList m_plain;
    int m_marks[ColumnCount];
    QString m_captions[ColumnCount];
};
