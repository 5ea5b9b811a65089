#pragma once
// Writing what the auto mode receives, and keeping what cannot be stored. A returned program
// is never lost: what could not be written where it belongs goes to a "failed" folder, and
// every failure gives the system's own reason ("No space left on device"), not Qt's
// "Unknown error" of a short write.
#include <QByteArray>
#include <QString>

namespace AutoMode
{

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

} // namespace AutoMode
