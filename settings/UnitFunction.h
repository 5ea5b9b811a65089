#pragma once
// Small routines that several windows share.
#include <QList>
#include <QString>

// Removes the folder with everything below it. Links found inside, to folders or files, are
// removed as links and never followed; a path that is itself a link loses only the link.
// Read-only and hidden entries are removed too; what cannot be removed is left in place.
void DeleteDirectory(const QString &path);

// The folder of the program's executable, ending in "/".
QString GetExePath();

// The text inside the first "(" ... ")" of the first line of the file that holds both
// characters; empty when there is none, and when the file cannot be read (then *error says why).
QString GetCommentTitle(const QString &path, QString *error = nullptr);

// Sets flags[i] to bit i of the decimal integer; returns false and leaves the flags
// unchanged when the text is not an integer.
bool IntToFlags(const QString &text, QList<bool> &flags);

// Major and minor version of the program, "0.1" for version 0.1.0; empty when the path names
// no file. The version comes from the build, so every executable of the build has the same.
QString GetFileVersion(const QString &path);
