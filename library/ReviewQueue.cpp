#include "library/ReviewQueue.h"

#include "library/ProgramFiles.h"
#include "library/TransferJournal.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace
{

constexpr char StampFormat[] = "yyyyMMdd-HHmmss";

struct NameParts {
    QString stem, ext; // ext with its "."
};

NameParts partsOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A value on one line of the note, whatever the port setting's name holds.
QString oneLine(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20)
            c = u' ';
    return text;
}

QByteArray noteText(const QString &targetName, const QDateTime &time,
                    const ReviewQueue::Origin &origin)
{
    return QStringLiteral("target=%1\ntime=%2\nport setting=%3\ndevice=%4\n")
        .arg(oneLine(targetName), time.toUTC().toString(Qt::ISODateWithMs),
             oneLine(origin.portSetting), oneLine(origin.device))
        .toUtf8();
}

QHash<QString, QString> readNote(const QString &path)
{
    QHash<QString, QString> values;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return values;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0)
            values.insert(line.left(eq), line.mid(eq + 1).trimmed());
    }
    return values;
}

// A target named by a note must stay beside the review folder: a hand-edited note never
// sends an accepted program elsewhere.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(u'\\');
}

bool sameBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.size() == bytes.size() && f.open(QIODevice::ReadOnly) && f.readAll() == bytes;
}

// Oldest first; within one millisecond "O1~t.nc" before "O1~t-2.nc" before "O1~t-10.nc".
bool heldBefore(const ReviewQueue::Entry &a, const ReviewQueue::Entry &b)
{
    if (a.time != b.time)
        return a.time < b.time;
    if (a.heldPath.size() != b.heldPath.size())
        return a.heldPath.size() < b.heldPath.size();
    return a.heldPath < b.heldPath;
}

bool isReviewFolder(const QFileInfo &dir)
{
    return dir.fileName() == QLatin1String(ReviewQueue::Folder);
}

} // namespace

QString ReviewQueue::folderFor(const QString &targetPath)
{
    return QFileInfo(targetPath).absoluteDir().filePath(QLatin1String(Folder));
}

ReviewQueue::Hold ReviewQueue::hold(const QString &targetPath, const QByteArray &bytes,
                                    const Origin &origin)
{
    Hold h;
    if (QFileInfo(targetPath).isFile() && sameBytes(targetPath, bytes)) {
        h.outcome = Hold::Identical;
        return h;
    }
    const QString folder = folderFor(targetPath);
    const QString target = QFileInfo(targetPath).absoluteFilePath();
    for (const Entry &e : list(QFileInfo(targetPath).absolutePath())) {
        if (QFileInfo(e.targetPath).absoluteFilePath() == target && sameBytes(e.heldPath, bytes)) {
            h.outcome = Hold::AlreadyHeld;
            h.heldPath = e.heldPath;
            return h;
        }
    }
    if (!ProgramFiles::MakeFolder(folder, &h.reason))
        return h;
    const QDateTime now = QDateTime::currentDateTime();
    const NameParts p = partsOf(QFileInfo(targetPath).fileName());
    const QString stamp = p.stem + u'~' + now.toString(QLatin1String(StampFormat));
    // The note is created exclusively, so a window and a service holding in the same second
    // never share a name; the program appears whole, by a rename, once its note is there.
    QString path;
    for (int n = 1; path.isEmpty(); ++n) {
        const QString candidate =
            QDir(folder).filePath(stamp + (n == 1 ? QString() : u'-' + QString::number(n)) + p.ext);
        if (QFileInfo::exists(candidate))
            continue;
        QFile reserve(candidate + QLatin1String(InfoSuffix));
        if (reserve.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            path = candidate;
        } else if (!reserve.exists() || n > 1000) {
            h.reason = QStringLiteral("cannot write in \"%1\": %2")
                           .arg(shown(folder), reserve.errorString());
            return h;
        }
    }
    QString why;
    if (!ProgramFiles::WriteWhole(path + QLatin1String(InfoSuffix),
                                  noteText(QFileInfo(targetPath).fileName(), now, origin), &why) ||
        !ProgramFiles::WriteWhole(path, bytes, &why)) {
        QFile::remove(path);
        QFile::remove(path + QLatin1String(InfoSuffix));
        h.reason = QStringLiteral("cannot write \"%1\": %2").arg(shown(path), why);
        return h;
    }
    h.outcome = Hold::Held;
    h.heldPath = path;
    return h;
}

bool ReviewQueue::entryOf(const QString &heldPath, Entry *entry, QString *reason)
{
    const QFileInfo held(heldPath);
    const QFileInfo dir(held.absolutePath());
    const auto refuse = [&](const QString &why) {
        if (reason)
            *reason = QStringLiteral("\"%1\" %2").arg(shown(heldPath), why);
        return false;
    };
    if (!held.isFile())
        return refuse(QStringLiteral("is not there (accepted or rejected already?)"));
    if (!isReviewFolder(dir) || held.fileName().endsWith(QLatin1String(InfoSuffix)))
        return refuse(QStringLiteral("is not a program held for review (those lie in a "
                                     "\"%1\" folder)")
                          .arg(QLatin1String(Folder)));
    const QHash<QString, QString> note = readNote(heldPath + QLatin1String(InfoSuffix));
    QString targetName = note.value(QStringLiteral("target"));
    QDateTime time = QDateTime::fromString(note.value(QStringLiteral("time")), Qt::ISODateWithMs);
    static const QRegularExpression stamped(
        QStringLiteral("^(.+)~(\\d{8}-\\d{6})(?:-\\d+)?(\\.[^.]*)?$"));
    const auto m = stamped.match(held.fileName());
    if (!isPlainName(targetName)) {
        // A held copy whose note was lost still names its program.
        if (!m.hasMatch())
            return refuse(QStringLiteral("is not a program held for review (its name does not "
                                         "say which program it is for)"));
        targetName = m.captured(1) + m.captured(3);
    }
    if (!time.isValid() && m.hasMatch())
        time = QDateTime::fromString(m.captured(2), QLatin1String(StampFormat));
    if (!time.isValid())
        time = held.lastModified();
    entry->heldPath = held.absoluteFilePath();
    // dir is the review folder: its absolutePath() is the folder of the target.
    entry->targetPath = QDir(dir.absolutePath()).filePath(targetName);
    entry->time = time;
    entry->origin.portSetting = note.value(QStringLiteral("port setting"));
    entry->origin.device = note.value(QStringLiteral("device"));
    return true;
}

QList<ReviewQueue::Entry> ReviewQueue::list(const QString &folder)
{
    QList<Entry> entries;
    const QDir review(QDir(folder).filePath(QLatin1String(Folder)));
    for (const QString &name : review.entryList(QDir::Files | QDir::Hidden)) {
        Entry e;
        if (!name.endsWith(QLatin1String(InfoSuffix)) &&
            entryOf(review.filePath(name), &e, nullptr))
            entries << e;
    }
    std::sort(entries.begin(), entries.end(), heldBefore);
    return entries;
}

QList<ReviewQueue::Entry> ReviewQueue::find(const QStringList &roots)
{
    QList<Entry> entries;
    QSet<QString> seen;
    const auto take = [&](const QString &reviewFolder) {
        const QString key = QFileInfo(reviewFolder).canonicalFilePath();
        if (key.isEmpty() || seen.contains(key))
            return;
        seen.insert(key);
        entries += list(QFileInfo(QDir::cleanPath(reviewFolder)).absolutePath());
    };
    for (const QString &given : roots) {
        const QString root = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
        if (given.isEmpty() || !QFileInfo(root).isDir())
            continue;
        // The review folder itself may be given as well as the folder it lies in.
        if (isReviewFolder(QFileInfo(root)))
            take(root);
        take(QDir(root).filePath(QLatin1String(Folder)));
        QDirIterator it(root, {QLatin1String(Folder)}, QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            take(it.next());
    }
    std::sort(entries.begin(), entries.end(), heldBefore);
    return entries;
}

namespace
{

// The held copy and its note, once its program has a new place.
QString removeHeld(const QString &heldPath)
{
    QFile::remove(heldPath + QLatin1String(ReviewQueue::InfoSuffix));
    QFile held(heldPath);
    if (!held.exists() || held.remove())
        return QString();
    return QStringLiteral("the held copy \"%1\" could not be removed: %2")
        .arg(shown(heldPath), held.errorString());
}

// A decision in the transfer journal, as a transfer is: what it did to which file.
void journal(const ReviewQueue::Entry &e, const QString &file, qint64 characters,
             const QString &result, const QString &reason)
{
    JournalEntry j;
    j.portSetting = e.origin.portSetting;
    j.device = e.origin.device;
    j.direction = QStringLiteral("review");
    j.file = file;
    j.characters = characters;
    j.result = result;
    j.reason = reason;
    TransferJournal::record(j);
}

} // namespace

ReviewQueue::Decision ReviewQueue::accept(const QString &heldPath, int backupLimit)
{
    Decision d;
    Entry e;
    if (!entryOf(heldPath, &e, &d.reason))
        return d;
    d.targetPath = e.targetPath;
    QFile held(e.heldPath);
    if (!held.open(QIODevice::ReadOnly)) {
        d.reason =
            QStringLiteral("cannot read \"%1\": %2").arg(shown(e.heldPath), held.errorString());
        return d;
    }
    const QByteArray bytes = held.readAll();
    held.close();
    ProgramStore store(backupLimit);
    store.setBackupRequired(true);
    d.stored = store.store(e.targetPath, bytes);
    if (d.stored.outcome == ProgramStore::Result::Failed) {
        d.reason = QStringLiteral("cannot store \"%1\": %2; it stays held for review")
                       .arg(shown(e.targetPath), d.stored.reason);
        return d;
    }
    d.done = true;
    d.warning = removeHeld(e.heldPath);
    journal(e, e.targetPath, bytes.size(),
            d.stored.outcome == ProgramStore::Result::Identical ? QStringLiteral("identical")
                                                                : QStringLiteral("accepted"),
            d.stored.backupPath.isEmpty()
                ? QString()
                : QStringLiteral("old program kept as \"%1\"")
                      .arg(QDir::toNativeSeparators(d.stored.backupPath)));
    return d;
}

ReviewQueue::Decision ReviewQueue::reject(const QString &heldPath)
{
    Decision d;
    Entry e;
    if (!entryOf(heldPath, &e, &d.reason))
        return d;
    d.targetPath = e.targetPath;
    // Named as every failed transfer is: port setting, program, date and time.
    QString why;
    const QString to =
        ProgramFiles::FailedPath(QFileInfo(e.targetPath).absolutePath(), e.origin.portSetting,
                                 QFileInfo(e.targetPath).fileName(), &why);
    if (to.isEmpty()) {
        d.reason = why + QStringLiteral("; it stays held for review");
        return d;
    }
    QFile held(e.heldPath);
    if (!held.rename(to)) {
        d.reason = QStringLiteral("cannot move \"%1\" to \"%2\": %3; it stays held for review")
                       .arg(shown(e.heldPath), shown(to), held.errorString());
        return d;
    }
    d.done = true;
    d.movedTo = to;
    d.warning = removeHeld(e.heldPath);
    journal(e, to, QFileInfo(to).size(), QStringLiteral("rejected"),
            QStringLiteral("held for \"%1\"").arg(QDir::toNativeSeparators(e.targetPath)));
    return d;
}
