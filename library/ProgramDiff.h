#pragma once
// Line diff of two NC programs, for comparing a program with another one or a backup, and for
// reviewing a returned program against the approved copy.
#include <QList>
#include <QString>
#include <QStringList>

struct DiffRow {
    enum Kind { Same, Changed, Removed, Added };
    Kind kind = Same;
    int leftLine = -1;  // 0-based line in left, -1 when the row has none
    int rightLine = -1; // 0-based line in right, -1 when none

    bool operator==(const DiffRow &o) const
    {
        return kind == o.kind && leftLine == o.leftLine && rightLine == o.rightLine;
    }
};

// A line diff of two NC programs, rows in order. Lines that differ but carry the same
// N number (block number, e.g. "N120") are aligned as one Changed row.
QList<DiffRow> DiffPrograms(const QStringList &left, const QStringList &right);
// Plain-text form for the command line: "  " same, "- " removed, "+ " added, "~ " changed
// (left then right line), with line numbers.
QStringList DiffText(const QStringList &left, const QStringList &right, const QList<DiffRow> &rows);

namespace ProgramDiff
{
// Files larger than this are not compared: both programs are held in memory as text.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

enum class ReadResult { Read, Unreadable, TooLarge };
// The lines of an NC file in the NC code page, line ends (LF or CR LF) taken off; the
// system's reason in *error when it cannot be read.
ReadResult readProgram(const QString &path, QStringList *lines, QString *error);
// The block number of a line without leading zeros ("N0120" -> "120"), or empty when the
// block has none. Block delete "/" and spaces may come before it.
QString blockNumber(const QString &line);
} // namespace ProgramDiff
