#include "library/FolderOperations.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#endif

namespace FolderOperations
{

namespace
{
Qt::CaseSensitivity fileCase()
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool exists(const QString &path)
{
    // A dangling link still takes the name.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool renameEntry(const QString &from, const QString &to, QString *error)
{
    if (exists(to)) {
        *error = QStringLiteral("\"%1\" already exists.").arg(native(to));
        return false;
    }
#ifdef Q_OS_UNIX
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    const int code = errno;
    *error = code == EXDEV
                 ? QStringLiteral("\"%1\" cannot be moved to another volume.").arg(native(from))
                 : QStringLiteral("\"%1\" cannot be moved to \"%2\": %3")
                       .arg(native(from), native(to), QString::fromLocal8Bit(std::strerror(code)));
    return false;
#else
    if (QDir().rename(from, to))
        return true;
    *error = QStringLiteral("\"%1\" cannot be moved to \"%2\".").arg(native(from), native(to));
    return false;
#endif
}
} // namespace

QString newFolderName(const QString &parent, const QString &base)
{
    const QDir dir(parent);
    QString name = base;
    for (int k = 2; exists(dir.filePath(name)); ++k)
        name = base + QStringLiteral(" (") + QString::number(k) + u')';
    return name;
}

bool createFolder(const QString &path, QString *error)
{
    if (QDir().mkpath(path) && QFileInfo(path).isDir())
        return true;
    *error = QStringLiteral("The folder \"%1\" cannot be created.").arg(native(path));
    return false;
}

bool isSameOrInside(const QString &folder, const QString &target)
{
    const QStringList a = QDir::cleanPath(QDir::fromNativeSeparators(folder)).split(u'/');
    const QStringList b = QDir::cleanPath(QDir::fromNativeSeparators(target)).split(u'/');
    if (b.size() < a.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (a.at(i).compare(b.at(i), fileCase()) != 0)
            return false;
    return true;
}

QString editedName(const QString &oldName, const QString &name, const QStringList &siblings)
{
    if (name.isEmpty())
        return oldName;
    for (const QString &s : siblings)
        if (s == name)
            return oldName;
    return name;
}

bool isMountPoint(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray p = QFile::encodeName(QDir::cleanPath(path));
    struct stat self, parent;
    if (::lstat(p.constData(), &self) != 0 || !S_ISDIR(self.st_mode))
        return false;
    if (::stat((p + "/..").constData(), &parent) != 0)
        return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
#else
    const QFileInfo info(path);
    return info.isRoot() || info.isJunction();
#endif
}

bool moveFolder(const QString &folder, const QString &targetFolder, QString *moved, QString *error)
{
    const QString from = QDir::cleanPath(folder);
    const QString to = QDir(targetFolder).filePath(QFileInfo(from).fileName());
    if (isSameOrInside(from, targetFolder)) {
        *error = QStringLiteral("\"%1\" cannot be moved into itself.").arg(native(from));
        return false;
    }
    if (!renameEntry(from, to, error))
        return false;
    *moved = to;
    return true;
}

bool renameFolder(const QString &folder, const QString &name, QString *renamed, QString *error)
{
    if (name.contains(u'/') || name.contains(QDir::separator()) || name == QLatin1String(".") ||
        name == QLatin1String("..")) {
        *error = QStringLiteral("\"%1\" is not a valid folder name.").arg(name);
        return false;
    }
    const QString from = QDir::cleanPath(folder);
    const QString to = QFileInfo(from).dir().filePath(name);
    if (to == from) {
        *renamed = to;
        return true;
    }
    // "Prog" to "prog" on a file system that ignores case is the same entry.
    const bool sameEntry = fileCase() == Qt::CaseInsensitive &&
                           to.compare(from, Qt::CaseInsensitive) == 0 && exists(to);
    if (sameEntry) {
        const QString step = from + QStringLiteral(".renaming");
        if (!renameEntry(from, step, error))
            return false;
        if (!renameEntry(step, to, error)) {
            QString ignored;
            renameEntry(step, from, &ignored);
            return false;
        }
    } else if (!renameEntry(from, to, error)) {
        return false;
    }
    *renamed = to;
    return true;
}

} // namespace FolderOperations
