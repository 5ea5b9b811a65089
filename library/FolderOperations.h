#pragma once
// Folder operations of the folder tree, free of widgets: the new folder's name, the rename
// and drop rules, and moving a folder on disk with a reason when it fails.
#include <QString>
#include <QStringList>

namespace FolderOperations
{

// The first free name in `parent`: base, else "base (2)", "base (3)", ...
QString newFolderName(const QString &parent, const QString &base);
// Creates parent/name with any missing parents; false with a reason on failure.
bool createFolder(const QString &path, QString *error);

// True when `target` is `folder` itself or lies inside it, compared by path components
// (so /nc is not inside /nc2). Letter case counts only where the file system's does.
bool isSameOrInside(const QString &folder, const QString &target);

// The name an in-place edit ends with: the old one back for an empty name or one that a
// sibling (the node itself included) already carries, exact letter case.
QString editedName(const QString &oldName, const QString &name, const QStringList &siblings);

// Moves `folder` into `targetFolder` under its own name. On success *moved is its new path;
// on failure nothing changed on disk and *error says why.
bool moveFolder(const QString &folder, const QString &targetFolder, QString *moved, QString *error);
// Gives `folder` the name `name` in its own parent.
bool renameFolder(const QString &folder, const QString &name, QString *renamed, QString *error);

// True for a folder on which another file system is mounted (a USB stick, a network share,
// /dev/shm): its device differs from its parent's, or it is a root. A link is never one.
bool isMountPoint(const QString &path);

// Delete is refused for the computer node (depth 0) and drives / file-system roots (depth 1).
inline bool deletable(int depth)
{
    return depth >= 2;
}

} // namespace FolderOperations
