#pragma once
// The editor's file and option rules, free of widgets: NC text read and written in the NC
// code page with CR LF, the file dialogs' filter, the style code and the window-size text.
#include <QString>
#include <QStringList>

namespace EditorFile
{

// CR LF, LF and a lone CR each end a line; the text holds "\n".
bool readText(const QString &path, QString *text, QString *error);
// Written with CR LF through a temporary file, so a failed write leaves the old file whole.
bool writeText(const QString &path, const QString &text, QString *error);

// "description|pattern" pairs: *.nc, *.txt, *.* -> ".nc|*.nc|.txt|*.txt|*.*|*.*".
QString dialogFilter(const QStringList &patterns);
// The same pairs as Qt file dialog name filters ("description (pattern)").
QStringList qtNameFilters(const QStringList &patterns);

// Style code: bit 0 set = bold off, bit 1 italic off, bit 2 underline off.
int styleCode(bool bold, bool italic, bool underline);
void styleFromCode(int code, bool *bold, bool *italic, bool *underline);

// Window size text "width,height"; false when it does not hold two positive numbers.
bool readSize(const QString &text, int *width, int *height);

} // namespace EditorFile
