#include "transfer/PortProblem.h"

#include "transfer/PortSerialLine.h"

#include "transfer/NetworkSerialLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <limits>
#include <sys/types.h>
#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

// Where Qt's serial port (and other UUCP-style programs) put their "LCK.." files.
const char *const lockFolders[] = {"/var/lock",       "/run/lock", "/etc/locks", "/var/spool/locks",
                                   "/var/spool/uucp", "/tmp",      "/var/tmp"};

QString lockName(const QString &portName)
{
    QString name = portName;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

struct LockFile {
    QString path; // empty: the port has no lock file
    qint64 pid = 0;
    QString program;
    bool live = false;
};

// A lock is stale as QLockFile (and so Qt's serial port) judges it: written on this host by
// a process that has ended, or whose number now belongs to another program. A lock from
// another host, or a process whose program cannot be read (another user's), counts as live.
bool holderLive(qint64 pid, const QString &host, const QString &program)
{
#ifdef Q_OS_UNIX
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return true;
    if (pid > std::numeric_limits<pid_t>::max())
        return false;
    if (::kill(pid_t(pid), 0) == -1 && errno == ESRCH)
        return false;
    const QString running = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    if (program.isEmpty() || running.isEmpty())
        return true;
    QFileInfo named(program);
    if (named.isSymLink())
        named.setFile(named.symLinkTarget());
    return QFileInfo(running).fileName() == named.fileName();
#else
    Q_UNUSED(pid);
    Q_UNUSED(host);
    Q_UNUSED(program);
    return true;
#endif
}

// The port's lock file as the serial port would find it.
LockFile lockFile(const QString &portName)
{
    QStringList folders;
    for (const char *folder : lockFolders)
        folders << QString::fromLatin1(folder);
    folders << QDir::tempPath();
    for (const QString &folder : folders) {
        const QString path = folder + QLatin1Char('/') + lockName(portName);
        if (!QFileInfo::exists(path))
            continue;
        QLockFile lock(path);
        LockFile found;
        QString host;
        if (lock.getLockInfo(&found.pid, &host, &found.program) && found.pid > 0) {
            found.path = path;
            found.live = holderLive(found.pid, host, found.program);
            return found;
        }
    }
    return {};
}

QString holderText(const LockFile &lock)
{
    return lock.program.isEmpty()
               ? QStringLiteral("process %1").arg(lock.pid)
               : QStringLiteral("%1 (process %2)").arg(lock.program).arg(lock.pid);
}

QString noAccessText(const QString &portName, const PortProblem::DeviceAccess &access)
{
    if (access.groupMayUse)
        return QStringLiteral("this user has no access to port \"%1\"; members of the group "
                              "\"%2\" may use it: add this user with  sudo usermod -aG %2 "
                              "$USER  and log out and in again (a group counts from the next "
                              "login)")
            .arg(portName, access.group);
    return QStringLiteral("this user has no access to port \"%1\"; ask the administrator to "
                          "give it access")
        .arg(portName);
}

} // namespace

PortProblem::DeviceAccess PortProblem::deviceAccess(const QString &portName)
{
    DeviceAccess access;
#ifdef Q_OS_UNIX
    if (portName.isEmpty() || NetworkSerialLine::isNetworkName(portName))
        return access;
    // A bare name is one under /dev, as the serial port takes it.
    const QString path =
        portName.contains(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QByteArray node = QFile::encodeName(path);
    if (::access(node.constData(), R_OK | W_OK) == 0 || (errno != EACCES && errno != EPERM))
        return access;
    access.denied = true;
    struct stat st;
    if (::stat(node.constData(), &st) != 0)
        return access;
    group entry;
    group *found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        access.group = QString::fromLocal8Bit(found->gr_name);
    // Joining root's group is no advice to give.
    access.groupMayUse = st.st_gid != 0 && !access.group.isEmpty() &&
                         (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
#else
    Q_UNUSED(portName);
#endif
    return access;
}

QString PortProblem::missingPort(const QString &record, const QString &portName)
{
    if (!portName.trimmed().isEmpty())
        return {};
    return QStringLiteral("The port setting \"%1\" names no port (its second field is empty). "
                          "Give the port, for example ttyS0, /dev/ttyUSB0 or rfc2217://host:port.")
        .arg(record);
}

QString PortProblem::lockHolder(const QString &portName)
{
    const LockFile lock = lockFile(portName);
    return lock.live ? holderText(lock) : QString();
}

PortProblem::OpenFailure PortProblem::openFailureReason(const QString &portName,
                                                        const QString &driverMessage)
{
    OpenFailure failure;
    if (PortSerialLine::isOpenHere(portName)) {
        failure.reason = Reason::OpenHere;
        return failure;
    }
    failure.access = deviceAccess(portName);
    if (failure.access.denied) {
        failure.reason = Reason::NoAccess;
        return failure;
    }
    const LockFile lock = lockFile(portName);
    if (lock.live) {
        failure.reason = lock.program.isEmpty() ? Reason::HeldElsewhere : Reason::HeldBy;
        failure.program = lock.program;
        failure.pid = lock.pid;
    } else if (driverMessage.contains(QLatin1String("locking the device"), Qt::CaseInsensitive)) {
        // A stale lock in the way is no "in use": nobody is to be asked to close the port.
        failure.reason = lock.path.isEmpty() ? Reason::HeldElsewhere : Reason::StaleLock;
        failure.lockPath = lock.path;
    } else if (QFileInfo(portName).isDir()) {
        failure.reason = Reason::Folder;
    }
    return failure;
}

QString PortProblem::openFailure(const QString &portName, const QString &driverMessage)
{
    // A device server's own message already says what went wrong.
    if (NetworkSerialLine::isNetworkName(portName))
        return driverMessage;
    const DeviceAccess access = deviceAccess(portName);
    if (access.denied)
        return noAccessText(portName, access);
    const LockFile lock = lockFile(portName);
    if (lock.live)
        return QStringLiteral("port \"%1\" is in use by %2; close it there first")
            .arg(portName, holderText(lock));
    if (driverMessage.contains(QLatin1String("locking the device"), Qt::CaseInsensitive)) {
        if (!lock.path.isEmpty())
            return QStringLiteral("port \"%1\" is locked by \"%2\", a lock file left behind by "
                                  "%3, which is no longer running; remove that file")
                .arg(portName, lock.path, holderText(lock));
        return QStringLiteral("port \"%1\" is in use by another program; close it there first")
            .arg(portName);
    }
    if (QFileInfo(portName).isDir())
        return QStringLiteral("\"%1\" is a folder, not a serial port").arg(portName);
    return driverMessage;
}

QString PortProblem::openFailure(const QString &portName, const QString &driverMessage,
                                 const QStringList &lines)
{
    const OpenFailure failure = openFailureReason(portName, driverMessage);
    int line = int(failure.reason) - int(Reason::HeldBy);
    if (failure.reason == Reason::NoAccess && !failure.access.groupMayUse)
        ++line;
    if (failure.reason == Reason::Other || line >= lines.size() || lines.at(line).isEmpty())
        return openFailure(portName, driverMessage);
    if (failure.reason == Reason::HeldBy)
        return lines.at(line).arg(portName, failure.program, QString::number(failure.pid));
    if (failure.reason == Reason::StaleLock)
        return lines.at(line).arg(portName, QDir::toNativeSeparators(failure.lockPath));
    if (failure.reason == Reason::NoAccess && failure.access.groupMayUse)
        return lines.at(line).arg(portName, failure.access.group);
    return lines.at(line).arg(portName);
}
