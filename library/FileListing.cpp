#include "library/FileListing.h"

#include "library/NotesStore.h"
#include "library/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace FileListing
{

QString folderWithSeparator(const QString &folder)
{
    QString f = QDir::toNativeSeparators(folder);
    if (!f.endsWith(QDir::separator()) && !f.endsWith(u'/'))
        f += QDir::separator();
    return f;
}

QString pictureNameFor(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot < 0 ? name : name.left(dot)) + QStringLiteral(".jpg");
}

QStringList patternList(const QString &ext)
{
    QStringList patterns;
    for (const QString &p : ext.split(u';')) {
        const QString t = p.trimmed();
        if (!t.isEmpty())
            patterns.append(t);
    }
    return patterns;
}

static bool globMatch(QStringView name, QStringView pattern)
{
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == u'?' ||
             (pattern[p] != u'*' && pattern[p].toCaseFolded() == name[n].toCaseFolded()))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// Names compare as the file system compares them.
static QString nameKey(const QString &name)
{
#ifdef Q_OS_WIN
    return name.toCaseFolded();
#else
    return name;
#endif
}

// Cameras write ".JPG"; on case-sensitive file systems that picture counts as well.
static QString upperJpg(const QString &pictureName)
{
    return pictureName.left(pictureName.size() - 4) + QStringLiteral(".JPG");
}

QString existingPicture(const QString &filePath)
{
    const QFileInfo fi(filePath);
    const QString jpg = fi.dir().filePath(pictureNameFor(fi.fileName()));
    if (QFileInfo::exists(jpg))
        return jpg;
    const QString upper = fi.dir().filePath(upperJpg(pictureNameFor(fi.fileName())));
    return QFileInfo::exists(upper) ? upper : QString();
}

bool matchesPattern(const QString &name, const QString &pattern)
{
    // As on Windows, "*.*" also lists names without an extension.
    if (pattern == u"*.*" || pattern == u"*")
        return true;
    return globMatch(name, pattern);
}

ListingResult listFolder(const QString &folder, const QString &ext, bool commentMode,
                         NotesStore *notes, const std::function<void(int)> &progress)
{
    ListingResult result;
    const QString base = folderWithSeparator(folder);
    QDir dir(base);
    if (!dir.exists()) {
        result.folderMissing = true;
        return result;
    }
    const QStringList patterns = patternList(ext);

    // Hidden files are read too, so a hidden picture still counts; they are not listed.
    QDir::Filters filters = QDir::Files | QDir::Hidden;
#ifdef Q_OS_WIN
    filters |= QDir::System;
#endif
    const QFileInfoList entries = dir.entryInfoList(filters, QDir::Unsorted);
    QSet<QString> names;
    names.reserve(entries.size());
    for (const QFileInfo &fi : entries)
        names.insert(nameKey(fi.fileName()));

    QHash<QString, QString> folderNotes;
    if (!commentMode && notes && !notes->loadFolderNotes(base, &folderNotes))
        result.noteError = notes->lastError();

    int done = 0;
    for (const QFileInfo &fi : entries) {
        const QString name = fi.fileName();
        if (fi.isHidden())
            continue;
        bool matched = false;
        for (const QString &p : patterns)
            if ((matched = matchesPattern(name, p)))
                break;
        if (!matched)
            continue;

        FileRow row;
        row.name = name;
        row.time = fi.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        row.size = QString::number(fi.size());
        const QString path = base + name;
        if (commentMode) {
            if (!TextFile::readCommentTitle(path, &row.note)) {
                result.noteFailures.append(path);
                if (result.noteError.isEmpty())
                    result.noteError = QStringLiteral("Cannot read %1").arg(path);
            }
        } else if (result.noteError.isEmpty()) {
            row.note = folderNotes.value(path);
        } else {
            result.noteFailures.append(path);
        }
        const QString picture = pictureNameFor(name);
        if (names.contains(nameKey(picture)) || names.contains(nameKey(upperJpg(picture))))
            row.picture = QStringLiteral("Y");
        result.rows.append(row);
        if (progress && ++done % 1000 == 0)
            progress(done);
    }
    return result;
}

} // namespace FileListing
