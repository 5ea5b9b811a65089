#include "settings/UnitFunction.h"

#include "settings/NcText.h"
#include "settings/TextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringConverter>
#include <QStringDecoder>

namespace
{

bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

void removeLink(const QString &path)
{
    // A link to a folder is itself a folder entry on Windows and must be removed as one.
    if (!QFile::remove(path))
        QDir().rmdir(path);
}

void makeRemovable(const QString &path, bool folder)
{
    QFile::Permissions plain = QFile::ReadOwner | QFile::WriteOwner;
    if (folder)
        plain |= QFile::ExeOwner;
    QFile::setPermissions(path, QFile::permissions(path) | plain);
}

} // namespace

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace
{
// Another file system mounted below the folder (a share, a stick) is never emptied with it.
bool onOtherDevice(const QString &path, const QString &top)
{
#ifdef Q_OS_UNIX
    struct stat a, b;
    return ::lstat(QFile::encodeName(path).constData(), &a) == 0 &&
           ::lstat(QFile::encodeName(top).constData(), &b) == 0 && a.st_dev != b.st_dev;
#else
    Q_UNUSED(path);
    Q_UNUSED(top);
    return false;
#endif
}

void deleteBelow(const QString &folder, const QString &top);
} // namespace

void DeleteDirectory(const QString &folder)
{
    deleteBelow(folder, QDir::cleanPath(folder));
}

namespace
{
void deleteBelow(const QString &folder, const QString &top)
{
    // "link/" would resolve the link; the clean path names the link itself.
    const QString path = QDir::cleanPath(folder);
    const QFileInfo base(path);
    if (isLink(base)) {
        removeLink(path);
        return;
    }
    if (!base.isDir())
        return;
    makeRemovable(path, true);
    QDir dir(path);
    const QStringList names = dir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &name : names) {
        const QString entry = dir.filePath(name);
        const QFileInfo info(entry);
        if (isLink(info)) {
            removeLink(entry);
        } else if (info.isDir()) {
            if (!onOtherDevice(entry, top))
                deleteBelow(entry, top);
        } else {
            makeRemovable(entry, false);
            QFile::remove(entry);
        }
    }
    QDir().rmdir(path);
}
} // namespace

QString GetExePath()
{
    QString folder =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

namespace
{

bool holdsComment(const QByteArray &line)
{
    return line.contains('(') && line.contains(')');
}

// The first line holding both "(" and ")", as bytes. Reads no further than needed, so a
// note column in comment mode does not read whole programs.
bool firstCommentLine(QFile &file, QByteArray *line)
{
    QByteArray current;
    char buffer[16384];
    qint64 n;
    while ((n = file.read(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c != '\r' && c != '\n') {
                current += c;
                continue;
            }
            if (holdsComment(current)) {
                *line = current;
                return true;
            }
            current.clear();
        }
    }
    if (n < 0)
        return false;
    if (holdsComment(current))
        *line = current;
    return true;
}

QString titleOf(const QString &line)
{
    const QString trimmed = [&] {
        qsizetype first = 0, last = line.size();
        while (first < last && line.at(first).unicode() <= 0x20)
            ++first;
        while (last > first && line.at(last - 1).unicode() <= 0x20)
            --last;
        return line.mid(first, last - first);
    }();
    const qsizetype open = trimmed.indexOf(u'(');
    const qsizetype close = open < 0 ? -1 : trimmed.indexOf(u')', open);
    if (close < 0)
        return {};
    const QString comment = trimmed.mid(open, close - open + 1);
    return comment.size() > 1 ? comment.mid(1, comment.size() - 2) : QString();
}

} // namespace

QString GetCommentTitle(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return {};
    }
    const QByteArray head = file.peek(4);
    const auto encoding = QStringConverter::encodingForData(head);
    if (encoding && *encoding != QStringConverter::Utf8) {
        // Wide encodings: the byte scan below does not apply, so read the whole text.
        QStringList lines;
        if (!TextFile::readLines(path, &lines, error))
            return {};
        for (const QString &line : lines) {
            if (line.contains(u'(') && line.contains(u')'))
                return titleOf(line);
        }
        return {};
    }
    if (encoding)
        file.skip(3);
    QByteArray line;
    if (!firstCommentLine(file, &line)) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), file.errorString());
        return {};
    }
    return titleOf(encoding ? QString::fromUtf8(line) : TextFile::decode(line));
}

bool IntToFlags(const QString &text, QList<bool> &flags)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return false;
    for (qsizetype i = 0; i < flags.size(); ++i)
        flags[i] = i < 64 && (quint64(value) >> i) & 1u;
    return true;
}

QString GetFileVersion(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {};
    const QStringList parts = QStringLiteral(NCFERRY_VERSION).split(u'.');
    return parts.value(0) + u'.' + parts.value(1, QStringLiteral("0"));
}
