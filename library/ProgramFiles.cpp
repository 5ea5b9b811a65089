#include "library/ProgramFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace ProgramFiles
{

namespace
{

// Qt says "Unknown error" when a write ends short (a full disk's first answer); errno holds
// the system's reason once the next write has failed outright.
QString reasonOf(const QFileDevice &file, int savedErrno)
{
    const QString qt = file.errorString();
    if (savedErrno != 0 && (qt.isEmpty() || qt == QLatin1String("Unknown error")))
        return qt_error_string(savedErrno);
    return qt.isEmpty() ? QStringLiteral("Unknown error") : qt;
}

// Every byte, retrying a short write so that the failing one reports why.
bool writeEvery(QFileDevice &file, const QByteArray &bytes, int *savedErrno)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *savedErrno = errno;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

bool IsForbiddenInName(QChar c)
{
    return c.unicode() < 0x20 || c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' ||
           c == u'"' || c == u'<' || c == u'>' || c == u'|';
}

QString SafeFileName(const QString &name)
{
    QString out = name;
    bool onlyDots = true;
    for (QChar &c : out) {
        if (IsForbiddenInName(c))
            c = u'_';
        onlyDots = onlyDots && c == u'.';
    }
    return onlyDots ? QString() : out;
}

QString UniqueFileName(const QString &path)
{
    if (!QFileInfo::exists(path))
        return path;
    const qsizetype slash = qMax(path.lastIndexOf(u'/'), path.lastIndexOf(PcSeparator));
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype split = dot > slash ? dot : path.size();
    const QString stem = path.left(split);
    const QString ext = path.mid(split);
    for (int n = 1;; ++n) {
        const QString candidate = stem + u'-' + QString::number(n) + ext;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

bool MakeFolder(const QString &path, QString *reason)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (QDir().mkpath(path))
        return true;
    // Find out why: the first part of the path that could not be made.
    QString missing = QDir::cleanPath(info.absoluteFilePath());
    while (!QFileInfo(QFileInfo(missing).absolutePath()).exists() &&
           QFileInfo(missing).absolutePath() != missing)
        missing = QFileInfo(missing).absolutePath();
    QString why;
    const QFileInfo parent(QFileInfo(missing).absolutePath());
    if (parent.exists() && !parent.isDir()) {
        why = qt_error_string(ENOTDIR);
    } else if (QFileInfo(missing).exists() && !QFileInfo(missing).isDir()) {
        why = qt_error_string(EEXIST);
    } else {
#ifdef Q_OS_UNIX
        errno = 0;
        if (::mkdir(QFile::encodeName(missing).constData(), 0777) != 0)
            why = qt_error_string(errno);
#endif
        if (why.isEmpty())
            why = QStringLiteral("the folder cannot be created");
    }
    if (reason)
        *reason = QStringLiteral("cannot create the folder \"%1\": %2")
                      .arg(QDir::toNativeSeparators(missing), why);
    return false;
}

bool WriteWhole(const QString &path, const QByteArray &bytes, QString *reason)
{
    QSaveFile file(path);
    int savedErrno = 0;
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (!ok)
        savedErrno = errno;
    ok = ok && writeEvery(file, bytes, &savedErrno);
    if (ok) {
        errno = 0;
        ok = file.commit();
        if (!ok)
            savedErrno = errno;
    }
    if (ok)
        return true;
    if (reason)
        *reason = reasonOf(file, savedErrno);
    file.cancelWriting();
    return false;
}

bool AppendTo(const QString &path, const QByteArray &bytes, QString *reason)
{
    if (!MakeFolder(QFileInfo(path).absolutePath(), reason))
        return false;
    QFile file(path);
    int savedErrno = 0;
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    if (!ok)
        savedErrno = errno;
    if (ok && writeEvery(file, bytes, &savedErrno))
        return true;
    if (reason)
        *reason = reasonOf(file, savedErrno);
    return false;
}

QString FailedPath(const QString &folder, const QString &portSetting, const QString &fileName,
                   QString *reason)
{
    const QFileInfo name(fileName);
    const QString stem = name.completeBaseName().isEmpty() ? QString::fromLatin1(UnnamedProgram)
                                                           : name.completeBaseName();
    const QString ext = name.suffix().isEmpty() ? QString() : u'.' + name.suffix();
    const QString port = SafeFileName(portSetting);
    const QString stamped =
        (port.isEmpty() ? QString() : port + u'-') + stem +
        QDateTime::currentDateTime().toString(QStringLiteral("-yyyyMMdd-HHmmss")) + ext;
    const QString into = QDir(folder).filePath(QString::fromLatin1(FailedFolder));
    if (!MakeFolder(into, reason))
        return QString();
    return UniqueFileName(QDir(into).filePath(stamped));
}

QString KeepFailed(const QString &folder, const QString &fallbackFolder, const QString &portSetting,
                   const QString &fileName, const QByteArray &bytes, QString *reason)
{
    QStringList reasons;
    for (const QString &base : {folder, fallbackFolder}) {
        if (base.isEmpty())
            continue;
        QString why;
        const QString path = FailedPath(base, portSetting, fileName, &why);
        if (!path.isEmpty()) {
            if (WriteWhole(path, bytes, &why))
                return path;
            why = QStringLiteral("\"%1\": %2").arg(QDir::toNativeSeparators(path), why);
        }
        reasons << why;
    }
    if (reason)
        *reason = reasons.join(QStringLiteral("; "));
    return QString();
}

} // namespace ProgramFiles
