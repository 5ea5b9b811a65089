#pragma once
// What a stored program means for the main window: whether its file list gains a row,
// that row, and the save dialog's file types built from the extension box.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

namespace ReceiveFileList
{

// The main window's side, set by whoever owns the file list.
struct Hooks {
    // Whether the file list already holds this name (without folder).
    std::function<bool(const QString &name)> isListed;
    // The note of a file (its comment title or the stored note, as the main window shows).
    std::function<QString(const QString &path)> noteOf;
    // Adds one file-list row given as comma text.
    std::function<void(const QString &row)> addFileData;
};

// A stored file is listed when it lies in the folder the main window shows, the main
// window filters by the port setting's extension, the file exists and its name is new.
bool shouldAdd(const QString &storedPath, const QString &selectPath, const QString &selectExt,
               const QString &portExtension, bool alreadyListed);

// Name, "yyyy-mm-dd hh:nn:ss", size, note, and "Y" only when a same-named .jpg exists.
QStringList row(const QString &storedPath, const QString &note);

// Offers the stored file to the main window's list through hooks; true when added.
bool offer(const Hooks &hooks, const QString &storedPath, const QString &selectPath,
           const QString &selectExt, const QString &portExtension);

// (description, pattern) per extension box item: the first and middle items describe
// themselves without their first character, the last one (of two or more) as it stands.
QList<QPair<QString, QString>> fileTypes(const QStringList &extItems);

} // namespace ReceiveFileList
