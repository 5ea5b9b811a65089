#pragma once
// Reading the program's text files: a byte-order mark selects the encoding; without one the
// system's ANSI code page on Windows, elsewhere UTF-8 when the bytes are valid UTF-8 and the
// NC code page otherwise.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace TextFile
{

QString decode(const QByteArray &bytes);

// CR, LF and CR LF each end a line; a final line end does not start another line.
QStringList splitLines(const QString &text);

// False with a user-facing error text when the file cannot be read.
bool readLines(const QString &path, QStringList *lines, QString *error);

} // namespace TextFile
