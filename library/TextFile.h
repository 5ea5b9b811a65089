#pragma once
// Reading NC and other text files as lines, the way the library shows them.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TextFile
{

// A byte-order mark selects the encoding; without one the bytes are NC text.
QString decode(const QByteArray &bytes);

// Splits at CR LF, CR or LF; a line break at the very end adds no empty line.
QStringList splitLines(const QString &text);

// False when the file cannot be opened or read; *lines is then untouched.
bool readLines(const QString &path, QStringList *lines);

// Title inside the first "(" ... ")" of the first line holding both; empty when none.
QString commentTitleOfLines(const QStringList &lines);

// Local stand-in for the shared GetCommentTitle: false when the file cannot be read.
bool readCommentTitle(const QString &path, QString *title);

} // namespace TextFile
