#include "library/ProgramStore.h"

#include "automode/ProgramFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace
{

struct NameParts {
    QString stem, ext; // ext with its "."
};

NameParts partsOf(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}

// Numbers of the backups of path that exist now, ascending.
QList<int> backupNumbers(const QString &path)
{
    const NameParts p = partsOf(path);
    const QDir dir(
        QFileInfo(path).absoluteDir().filePath(QLatin1String(ProgramStore::BackupFolder)));
    const QRegularExpression re(QLatin1Char('^') + QRegularExpression::escape(p.stem) +
                                QStringLiteral("~(\\d+)") + QRegularExpression::escape(p.ext) +
                                QLatin1Char('$'));
    QList<int> numbers;
    for (const QString &name : dir.entryList(QDir::Files)) {
        const auto m = re.match(name);
        if (m.hasMatch())
            numbers << m.captured(1).toInt();
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace

QString ProgramStore::backupPathFor(const QString &path, int n)
{
    const NameParts p = partsOf(path);
    return QFileInfo(path).absoluteDir().filePath(QLatin1String(BackupFolder) + u'/' + p.stem +
                                                  u'~' + QString::number(n) + p.ext);
}

QStringList ProgramStore::backupsOf(const QString &path)
{
    const QList<int> numbers = backupNumbers(path);
    QStringList paths;
    for (auto n = numbers.crbegin(); n != numbers.crend(); ++n)
        paths << backupPathFor(path, *n);
    return paths;
}

QString ProgramStore::keepBackup(const QString &path, QString *problem) const
{
    if (m_limit <= 0)
        return QString();
    const QString folder = QFileInfo(path).absoluteDir().filePath(QLatin1String(BackupFolder));
    if (!AutoMode::MakeFolder(folder, problem))
        return QString();
    QList<int> numbers = backupNumbers(path);
    const int next = numbers.isEmpty() ? 1 : numbers.last() + 1;
    const QString backup = backupPathFor(path, next);
    // A copy, not a hard link: the new program's write would reach the backup through it.
    if (!QFile::exists(backup) && !QFile::copy(path, backup)) {
        *problem =
            QStringLiteral("cannot keep a backup in \"%1\"").arg(QDir::toNativeSeparators(backup));
        return QString();
    }
    numbers << next;
    while (numbers.size() > m_limit)
        QFile::remove(backupPathFor(path, numbers.takeFirst()));
    return backup;
}

ProgramStore::Result ProgramStore::store(const QString &path, const QByteArray &bytes) const
{
    return storeBy(
        path,
        [&](QFile &stored) { return stored.size() == bytes.size() && stored.readAll() == bytes; },
        [&](QString *reason) { return AutoMode::WriteWhole(path, bytes, reason); });
}

ProgramStore::Result ProgramStore::storeBy(const QString &path,
                                           const std::function<bool(QFile &)> &same,
                                           const std::function<bool(QString *)> &write) const
{
    Result r;
    const bool exists = QFileInfo(path).isFile();
    if (exists) {
        QFile stored(path);
        if (stored.open(QIODevice::ReadOnly) && same(stored)) {
            r.outcome = Result::Identical;
            return r;
        }
    }
    if (exists)
        r.backupPath = keepBackup(path, &r.backupProblem);
    if (!write(&r.reason)) {
        // The old program stays in place: a backup of it is not needed.
        if (!r.backupPath.isEmpty())
            QFile::remove(r.backupPath);
        r.backupPath.clear();
        r.outcome = Result::Failed;
        return r;
    }
    r.outcome = Result::Stored;
    return r;
}
