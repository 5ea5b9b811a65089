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

// The first line from `from` on equal to `text` in any letter case, or -1. Section headers
// of the settings file and the language packs are found this way.
int indexOfLine(const QStringList &lines, const QString &text, int from = 0);

// False with a user-facing error text when the file cannot be read.
bool readLines(const QString &path, QStringList *lines, QString *error);

// Replaces path with bytes through a temporary file renamed over it, so a failure leaves the
// old file whole. Returns why it failed, or an empty text.
QString writeWhole(const QString &path, const QByteArray &bytes);

} // namespace TextFile
