#include "library/FileListing.h"

#include "library/NotesStore.h"
#include "settings/UnitFunction.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <time.h>
#endif

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

// "yyyy-MM-dd hh:mm:ss" without QDateTime::toString, which dominates large listings.
static QString formatTime(const QDate &d, const QTime &t)
{
    char16_t buf[19];
    const auto put = [&buf](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            buf[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, d.year(), 4);
    buf[4] = u'-';
    put(5, d.month(), 2);
    buf[7] = u'-';
    put(8, d.day(), 2);
    buf[10] = u' ';
    put(11, t.hour(), 2);
    buf[13] = u':';
    put(14, t.minute(), 2);
    buf[16] = u':';
    put(17, t.second(), 2);
    return QString(reinterpret_cast<const QChar *>(buf), 19);
}

namespace {

// One directory entry that may be listed: a file, or a link that may lead to one.
struct Entry {
    QString name;
    bool hidden = false;
#ifndef Q_OS_UNIX
    QFileInfo info;
#endif
};

// The folder's entries other than folders, in the file system's order. On Unix this reads
// the directory once without asking about each file; the one stat per listed file comes
// later and also rules out devices, pipes and links to folders.
bool readEntries(const QString &base, QVector<Entry> *entries)
{
#ifdef Q_OS_UNIX
    DIR *dir = ::opendir(QFile::encodeName(base).constData());
    if (!dir)
        return false;
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_type == DT_DIR || (e->d_type != DT_REG && e->d_type != DT_LNK &&
                                    e->d_type != DT_UNKNOWN))
            continue;
        Entry entry;
        entry.name = QFile::decodeName(e->d_name);
        entry.hidden = entry.name.startsWith(u'.');
        entries->append(std::move(entry));
    }
    ::closedir(dir);
    return true;
#else
    // Hidden files are read too, so a hidden picture still counts; they are not listed.
    const QFileInfoList infos = QDir(base).entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo &fi : infos)
        entries->append(Entry{fi.fileName(), fi.isHidden(), fi});
    return true;
#endif
}

// Size and time of a regular file; false for anything else or a file gone meanwhile.
bool readSizeAndTime(const Entry &entry, int dirFd, const QString &path, FileRow *row)
{
#ifdef Q_OS_UNIX
    struct stat st;
    const QByteArray target = QFile::encodeName(dirFd == AT_FDCWD ? path : entry.name);
    if (::fstatat(dirFd, target.constData(), &st, 0) != 0 || !S_ISREG(st.st_mode))
        return false;
    row->size = QString::number(qint64(st.st_size));
    struct tm local;
    const time_t mtime = st.st_mtime;
    if (!localtime_r(&mtime, &local))
        return false;
    row->time = formatTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                           QTime(local.tm_hour, local.tm_min, qMin(local.tm_sec, 59)));
#else
    Q_UNUSED(dirFd);
    Q_UNUSED(path);
    row->size = QString::number(entry.info.size());
    const QDateTime modified = entry.info.lastModified();
    row->time = formatTime(modified.date(), modified.time());
#endif
    return true;
}

} // namespace

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
    QVector<Entry> entries;
    if (!QFileInfo(base).isDir() || !readEntries(base, &entries)) {
        result.folderMissing = true;
        return result;
    }
    const QStringList patterns = patternList(ext);

    // Only the pictures are looked up by name.
    QSet<QString> names;
    for (const Entry &entry : entries) {
        if (entry.name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive))
            names.insert(nameKey(entry.name));
    }

    QHash<QString, QString> folderNotes;
    if (!commentMode && notes && !notes->loadFolderNotes(base, &folderNotes))
        result.noteError = notes->lastError();

    result.rows.reserve(entries.size());
    int dirFd = -1;
#ifdef Q_OS_UNIX
    dirFd = ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        dirFd = AT_FDCWD; // then each file is found by its full path
#endif
    int done = 0;
    for (const Entry &entry : entries) {
        if (entry.hidden)
            continue;
        const QString &name = entry.name;
        bool matched = false;
        for (const QString &p : patterns)
            if ((matched = matchesPattern(name, p)))
                break;
        if (!matched)
            continue;

        const QString path = base + name;
        FileRow row;
        row.name = name;
        if (!readSizeAndTime(entry, dirFd, path, &row))
            continue; // not a file, or removed since the enumeration
        if (commentMode) {
            QString error;
            row.note = GetCommentTitle(path, &error);
            if (!error.isEmpty()) {
                result.noteFailures.append(path);
                if (result.noteError.isEmpty())
                    result.noteError = QStringLiteral("Cannot read %1").arg(path);
            }
        } else if (result.noteError.isEmpty()) {
            row.note = folderNotes.value(path);
        } else {
            result.noteFailures.append(path);
        }
        if (!names.isEmpty()) {
            const QString picture = pictureNameFor(name);
            if (names.contains(nameKey(picture)) || names.contains(nameKey(upperJpg(picture))))
                row.picture = QStringLiteral("Y");
        }
        result.rows.append(std::move(row));
        if (progress && ++done % 1000 == 0)
            progress(done);
    }
#ifdef Q_OS_UNIX
    if (dirFd >= 0)
        ::close(dirFd);
#endif
    return result;
}

} // namespace FileListing
