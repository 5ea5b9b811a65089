#include "transfer/PortProblem.h"

#include "transfer/PortSerialLine.h"

#include "transfer/NetworkSerialLine.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

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

// The pid and program name of the port's lock file; false when there is none.
bool lockInfo(const QString &portName, qint64 *pid, QString *program)
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
        QString host;
        if (lock.getLockInfo(pid, &host, program) && *pid > 0)
            return true;
    }
    return false;
}

} // namespace

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
    qint64 pid = 0;
    QString app;
    if (!lockInfo(portName, &pid, &app))
        return {};
    return app.isEmpty() ? QStringLiteral("process %1").arg(pid)
                         : QStringLiteral("%1 (process %2)").arg(app).arg(pid);
}

PortProblem::OpenFailure PortProblem::openFailureReason(const QString &portName,
                                                        const QString &driverMessage)
{
    OpenFailure failure;
    if (PortSerialLine::isOpenHere(portName)) {
        failure.reason = Reason::OpenHere;
    } else if (lockInfo(portName, &failure.pid, &failure.program)) {
        failure.reason = failure.program.isEmpty() ? Reason::HeldElsewhere : Reason::HeldBy;
    } else if (driverMessage.contains(QLatin1String("locking the device"), Qt::CaseInsensitive)) {
        failure.reason = Reason::HeldElsewhere;
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
    const QString holder = lockHolder(portName);
    if (!holder.isEmpty())
        return QStringLiteral("port \"%1\" is in use by %2; close it there first")
            .arg(portName, holder);
    if (driverMessage.contains(QLatin1String("locking the device"), Qt::CaseInsensitive))
        return QStringLiteral("port \"%1\" is in use by another program; close it there first")
            .arg(portName);
    if (QFileInfo(portName).isDir())
        return QStringLiteral("\"%1\" is a folder, not a serial port").arg(portName);
    return driverMessage;
}

QString PortProblem::openFailure(const QString &portName, const QString &driverMessage,
                                 const QStringList &lines)
{
    const OpenFailure failure = openFailureReason(portName, driverMessage);
    const int line = int(failure.reason) - int(Reason::HeldBy);
    if (failure.reason == Reason::Other || line >= lines.size() || lines.at(line).isEmpty())
        return driverMessage;
    if (failure.reason == Reason::HeldBy)
        return lines.at(line).arg(portName, failure.program, QString::number(failure.pid));
    return lines.at(line).arg(portName);
}
