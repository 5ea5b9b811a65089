#pragma once
// Writing received programs, and keeping what cannot be stored. A received program is never
// lost: what could not be written where it belongs goes to a "failed" folder, and every
// failure gives the system's own reason ("No space left on device"), not Qt's "Unknown error"
// of a short write.
#include <QByteArray>
#include <QChar>
#include <QString>

namespace ProgramFiles
{

// The folder separator of paths on this PC.
#ifdef Q_OS_WIN
inline constexpr char16_t PcSeparator = u'\\';
#else
inline constexpr char16_t PcSeparator = u'/';
#endif

// The stored name of a program whose program line has no usable name of its own.
inline constexpr char UnnamedProgram[] = "NONAME";

// "/", "\", ":", "*", "?", '"', "<", ">", "|" and control characters: no file name holds them.
bool IsForbiddenInName(QChar c);
// A name the file system can hold inside its folder: the forbidden characters become "_"; a
// name of nothing but dots ("." or "..") becomes empty, so it never names the folder itself or
// its parent.
QString SafeFileName(const QString &name);
// path itself when no file has that name, else the first free "<stem>-n<ext>".
QString UniqueFileName(const QString &path);

// The folder that keeps failed transfers, inside a program folder or the user's data folder.
inline constexpr char FailedFolder[] = "failed";

// Creates path with all missing parents; false with the system's reason.
bool MakeFolder(const QString &path, QString *reason);
// Writes bytes beside path and renames them over it, so a failed write leaves an older file
// whole; false with the system's reason.
bool WriteWhole(const QString &path, const QByteArray &bytes, QString *reason);
// Appends bytes to path (creating its folder); false with the system's reason.
bool AppendTo(const QString &path, const QByteArray &bytes, QString *reason);

// A free name for a failed transfer in folder's "failed" folder (made here): the port
// setting, fileName's stem, the date and time and a free number
// ("Mill-O1000-20240305-140709.nc"). Empty with *reason when the folder cannot be made.
QString FailedPath(const QString &folder, const QString &portSetting, const QString &fileName,
                   QString *reason);
// Keeps bytes that are not a stored program in folder's "failed" folder, else in
// fallbackFolder's, named by FailedPath. Returns the file written; empty with *reason when
// neither folder could take it.
QString KeepFailed(const QString &folder, const QString &fallbackFolder, const QString &portSetting,
                   const QString &fileName, const QByteArray &bytes, QString *reason);

} // namespace ProgramFiles
