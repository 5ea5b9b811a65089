#include "library/ProgramStore.h"

#include "library/ProgramFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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

namespace
{
std::atomic<int> limitOfProcess{ProgramStore::DefaultBackupLimit};
}

int ProgramStore::backupLimitFrom(const QString &iniPath)
{
    if (!QFileInfo::exists(iniPath))
        return DefaultBackupLimit;
    const QSettings ini(iniPath, QSettings::IniFormat);
    bool ok = false;
    const int n = ini.value(QStringLiteral("Backups/Limit")).toString().trimmed().toInt(&ok);
    return ok ? qBound(0, n, int(MaxBackupLimit)) : int(DefaultBackupLimit);
}

void ProgramStore::setProcessLimit(int limit)
{
    limitOfProcess.store(qBound(0, limit, int(MaxBackupLimit)));
}

int ProgramStore::processLimit()
{
    return limitOfProcess.load();
}

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
    const QString folder = QFileInfo(path).absoluteDir().filePath(QLatin1String(BackupFolder));
    if (!ProgramFiles::MakeFolder(folder, problem))
        return QString();
    const QList<int> numbers = backupNumbers(path);
    const QString backup = backupPathFor(path, numbers.isEmpty() ? 1 : numbers.last() + 1);
    // A second name for the old file costs nothing; the new program is written to a file of
    // its own and renamed over path, so the backup's bytes stay the old ones.
#ifdef Q_OS_UNIX
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(backup).constData()) == 0)
        return backup;
#endif
    if (!QFile::copy(path, backup)) {
        *problem =
            QStringLiteral("cannot keep a backup in \"%1\"").arg(QDir::toNativeSeparators(backup));
        return QString();
    }
    return backup;
}

void ProgramStore::prune(const QString &path) const
{
    QList<int> numbers = backupNumbers(path);
    while (numbers.size() > m_limit)
        QFile::remove(backupPathFor(path, numbers.takeFirst()));
}

ProgramStore::Result ProgramStore::store(const QString &path, const QByteArray &bytes) const
{
    return storeBy(
        path,
        [&](QFile &stored) { return stored.size() == bytes.size() && stored.readAll() == bytes; },
        [&](const QString &to, QString *reason) {
            return ProgramFiles::WriteWhole(to, bytes, reason);
        });
}

ProgramStore::Result
ProgramStore::storeBy(const QString &path, const std::function<bool(QFile &)> &same,
                      const std::function<bool(const QString &, QString *)> &write) const
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
    if (!exists || m_limit <= 0) {
        r.outcome = write(path, &r.reason) ? Result::Stored : Result::Failed;
        return r;
    }
    // The new program first, whole, beside the old one: a failed write changes nothing.
    const QFileInfo info(path);
    const QString fresh =
        info.absoluteDir().filePath(QStringLiteral(".%1.ncferry-new").arg(info.fileName()));
    if (!write(fresh, &r.reason)) {
        QFile::remove(fresh);
        r.outcome = Result::Failed;
        return r;
    }
    r.backupPath = keepBackup(path, &r.backupProblem);
    if (m_backupRequired && !r.backupProblem.isEmpty()) {
        QFile::remove(fresh);
        r.reason = r.backupProblem;
        r.outcome = Result::Failed;
        return r;
    }
    bool renamed = false;
#ifdef Q_OS_UNIX
    renamed =
        ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()) == 0;
    if (!renamed)
        r.reason = QString::fromLocal8Bit(std::strerror(errno));
#else
    renamed = (!QFile::exists(path) || QFile::remove(path)) && QFile::rename(fresh, path);
    if (!renamed)
        r.reason = QStringLiteral("cannot replace the file");
#endif
    if (!renamed) {
        // The old program stays in place: a backup of it is not needed.
        QFile::remove(fresh);
        if (!r.backupPath.isEmpty())
            QFile::remove(r.backupPath);
        r.backupPath.clear();
        r.outcome = Result::Failed;
        return r;
    }
    prune(path);
    r.outcome = Result::Stored;
    return r;
}
