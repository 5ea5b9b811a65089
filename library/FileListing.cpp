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
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>
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

#ifndef Q_OS_UNIX
// Names compare as the file system compares them.
static QString nameKey(const QString &name)
{
#ifdef Q_OS_WIN
    return name.toCaseFolded();
#else
    return name;
#endif
}
#endif

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
static QString formatTime(int year, int month, int day, int hour, int minute, int second)
{
    char16_t buf[19];
    const auto put = [&buf](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            buf[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, year, 4);
    buf[4] = u'-';
    put(5, month, 2);
    buf[7] = u'-';
    put(8, day, 2);
    buf[10] = u' ';
    put(11, hour, 2);
    buf[13] = u':';
    put(14, minute, 2);
    buf[16] = u':';
    put(17, second, 2);
    return QString(reinterpret_cast<const QChar *>(buf), 19);
}

bool matchesPattern(const QString &name, const QString &pattern)
{
    // As on Windows, "*.*" also lists names without an extension.
    if (pattern == u"*.*" || pattern == u"*")
        return true;
    return globMatch(name, pattern);
}

namespace
{

// A pattern in its cheapest form: most are "*.ext", which only compares the name's end.
class Matcher
{
public:
    explicit Matcher(const QString &ext)
    {
        for (const QString &p : patternList(ext)) {
            const QStringView rest = QStringView(p).mid(1);
            if (p.startsWith(u'*') && !rest.contains(u'*') && !rest.contains(u'?'))
                m_suffixes.append(p.mid(1));
            else
                m_patterns.append(p);
        }
    }
    bool matches(const QString &name) const
    {
        for (const QString &s : m_suffixes)
            if (endsWithFolded(name, s))
                return true;
        for (const QString &p : m_patterns)
            if (matchesPattern(name, p))
                return true;
        return false;
    }

private:
    // Letter case compared as globMatch compares it, one code unit at a time.
    static bool endsWithFolded(QStringView name, QStringView suffix)
    {
        if (name.size() < suffix.size())
            return false;
        const QChar *n = name.data() + (name.size() - suffix.size());
        for (qsizetype i = 0; i < suffix.size(); ++i)
            if (n[i] != suffix[i] && n[i].toCaseFolded() != suffix[i].toCaseFolded())
                return false;
        return true;
    }

    QStringList m_suffixes, m_patterns;
};

void noteFromComment(const QString &path, FileRow *row, ListingResult *result)
{
    QString error;
    row->note = GetCommentTitle(path, &error);
    if (!error.isEmpty()) {
        result->noteFailures.append(path);
        if (result->noteError.isEmpty())
            result->noteError = QStringLiteral("Cannot read %1").arg(path);
    }
}

#ifdef Q_OS_UNIX

// The folder is read once; each listed file costs one fstatat relative to the open folder,
// which also rules out devices, pipes and links to folders. Names stay bytes as long as
// possible: the picture test and the note lookup compare bytes, not built paths.
ListingResult listUnix(const QString &base, const QString &ext, bool commentMode, NotesStore *notes,
                       const std::function<void(int)> &progress)
{
    ListingResult result;
    const int dirFd =
        ::open(QFile::encodeName(base).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = dirFd < 0 ? nullptr : ::fdopendir(dirFd);
    if (!dir) {
        if (dirFd >= 0)
            ::close(dirFd);
        result.folderMissing = true;
        return result;
    }
    // Every name, each followed by its terminating zero, in one buffer.
    QByteArray names;
    std::vector<std::pair<int, int>> entries; // offset and length in names
    ByteTable pictureStems;                   // "O1" for O1.jpg or O1.JPG
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_type == DT_DIR ||
            (e->d_type != DT_REG && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN))
            continue;
        const int length = int(std::strlen(e->d_name));
        const char *end = e->d_name + length;
        if (length >= 4 &&
            (std::memcmp(end - 4, ".jpg", 4) == 0 || std::memcmp(end - 4, ".JPG", 4) == 0))
            pictureStems.add(QByteArrayView(e->d_name, length - 4), {});
        if (e->d_name[0] == '.')
            continue; // hidden: a picture still, but never a row
        entries.emplace_back(int(names.size()), length);
        names.append(e->d_name, length + 1);
    }
    pictureStems.finish();

    FolderNotes folderNotes;
    if (!commentMode && notes && !notes->loadFolderNotes(base, &folderNotes))
        result.noteError = notes->lastError();

    const Matcher matcher(ext);
    result.rows.reserve(qsizetype(entries.size()));
    const int fd = ::dirfd(dir);
    int done = 0;
    const auto rawName = [&](size_t i) {
        return QByteArrayView(names.constData() + entries[i].first, entries[i].second);
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        // Each stat leaves time to bring the notes of the next rows into the cache.
        if (i + 2 < entries.size())
            folderNotes.prefetchSlot(rawName(i + 2));
        if (i + 1 < entries.size())
            folderNotes.prefetchRecord(rawName(i + 1));
        const char *raw = names.constData() + entries[i].first;
        const int length = entries[i].second;
        FileRow row;
        row.name = QFile::decodeName(QByteArray::fromRawData(raw, length));
        if (!matcher.matches(row.name))
            continue;
        // A note's path holds the decoded name; bytes that did not decode differ from it.
        const QByteArray undecoded =
            row.name.contains(QChar::ReplacementCharacter) ? row.name.toUtf8() : QByteArray();
        const QByteArrayView noteKey =
            undecoded.isNull() ? QByteArrayView(raw, length) : QByteArrayView(undecoded);
        struct stat st;
        if (::fstatat(fd, raw, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue; // not a file, or removed since the folder was read
        row.size = QString::number(qint64(st.st_size));
        struct tm local;
        const time_t mtime = st.st_mtime;
        if (!localtime_r(&mtime, &local))
            continue;
        row.time = formatTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, qMin(local.tm_sec, 59));
        if (commentMode) {
            noteFromComment(base + row.name, &row, &result);
        } else if (!result.noteError.isEmpty()) {
            result.noteFailures.append(base + row.name);
        } else {
            QByteArrayView note;
            if (folderNotes.find(noteKey, &note))
                row.note = QString::fromUtf8(note);
        }
        if (!pictureStems.isEmpty()) {
            int stem = length;
            while (stem > 0 && raw[stem - 1] != '.')
                --stem;
            stem = stem > 0 ? stem - 1 : length; // up to the last dot, or the whole name
            if (pictureStems.find(QByteArrayView(raw, stem)))
                row.picture = QStringLiteral("Y");
        }
        result.rows.append(std::move(row));
        if (progress && ++done % 1000 == 0)
            progress(done);
    }
    ::closedir(dir);
    return result;
}

#else

ListingResult listPortable(const QString &base, const QString &ext, bool commentMode,
                           NotesStore *notes, const std::function<void(int)> &progress)
{
    ListingResult result;
    if (!QFileInfo(base).isDir()) {
        result.folderMissing = true;
        return result;
    }
    // Hidden files are read too, so a hidden picture still counts; they are not listed.
    const QFileInfoList infos =
        QDir(base).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    QSet<QString> pictures;
    for (const QFileInfo &fi : infos)
        if (fi.fileName().endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive))
            pictures.insert(nameKey(fi.fileName()));
    QHash<QString, QString> folderNotes;
    if (!commentMode && notes && !notes->loadFolderNotes(base, &folderNotes))
        result.noteError = notes->lastError();
    const Matcher matcher(ext);
    result.rows.reserve(infos.size());
    int done = 0;
    for (const QFileInfo &fi : infos) {
        if (fi.isHidden() || !matcher.matches(fi.fileName()))
            continue;
        FileRow row;
        row.name = fi.fileName();
        const QString path = base + row.name;
        row.size = QString::number(fi.size());
        const QDateTime modified = fi.lastModified();
        const QDate d = modified.date();
        const QTime t = modified.time();
        row.time = formatTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
        if (commentMode)
            noteFromComment(path, &row, &result);
        else if (!result.noteError.isEmpty())
            result.noteFailures.append(path);
        else
            row.note = folderNotes.value(path);
        const QString picture = pictureNameFor(row.name);
        if (pictures.contains(nameKey(picture)) || pictures.contains(nameKey(upperJpg(picture))))
            row.picture = QStringLiteral("Y");
        result.rows.append(std::move(row));
        if (progress && ++done % 1000 == 0)
            progress(done);
    }
    return result;
}

#endif

} // namespace

ListingResult listFolder(const QString &folder, const QString &ext, bool commentMode,
                         NotesStore *notes, const std::function<void(int)> &progress)
{
    const QString base = folderWithSeparator(folder);
#ifdef Q_OS_UNIX
    return listUnix(base, ext, commentMode, notes, progress);
#else
    return listPortable(base, ext, commentMode, notes, progress);
#endif
}

} // namespace FileListing
