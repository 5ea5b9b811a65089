#include "transfer/DeviceClaim.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace
{

struct DeviceKey {
    enum class Kind { Port, Network } kind = Kind::Port;
    QString name;     // resolved path, or "host:port" in lower case
    quint64 rdev = 0; // a port's device number, 0 where unknown

    bool sameDevice(const DeviceKey &other) const
    {
        if (kind != other.kind)
            return false;
        return name == other.name || (rdev != 0 && rdev == other.rdev);
    }
};

// The innermost lock of all: nothing is called under it, least of all a line's own locks.
QMutex g_claimsMutex;
QHash<quint64, DeviceKey> g_claims;
quint64 g_lastId = 0;

// Where a port name leads once the line's own naming ("ttyS0" is /dev/ttyS0) and every
// link on the way are followed.
QString resolvedPortPath(const QString &portName)
{
#ifdef Q_OS_UNIX
    // The line opens a bare name in /dev, anything that looks like a path as it is.
    const bool isPath = portName.startsWith(QLatin1Char('/')) ||
                        portName.startsWith(QLatin1String("./")) ||
                        portName.startsWith(QLatin1String("../"));
    const QFileInfo info(isPath ? portName : QStringLiteral("/dev/") + portName);
    const QString canonical = info.canonicalFilePath();
    // A port that is not there (yet) is still one name however it is spelt.
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
#else
    return portName;
#endif
}

DeviceKey portKey(const QString &portName)
{
    DeviceKey key;
    key.name = resolvedPortPath(portName);
#ifdef Q_OS_UNIX
    struct stat st = {};
    if (::stat(QFile::encodeName(key.name).constData(), &st) == 0 && S_ISCHR(st.st_mode))
        key.rdev = quint64(st.st_rdev);
#endif
    return key;
}

DeviceKey networkKey(const QString &host, quint16 port)
{
    DeviceKey key;
    key.kind = DeviceKey::Kind::Network;
    key.name = QStringLiteral("%1:%2").arg(host.toLower()).arg(port);
    return key;
}

bool isClaimed(const DeviceKey &key)
{
    QMutexLocker lock(&g_claimsMutex);
    for (const DeviceKey &held : std::as_const(g_claims)) {
        if (held.sameDevice(key))
            return true;
    }
    return false;
}

quint64 claim(const DeviceKey &key)
{
    QMutexLocker lock(&g_claimsMutex);
    for (const DeviceKey &held : std::as_const(g_claims)) {
        if (held.sameDevice(key))
            return 0;
    }
    const quint64 id = ++g_lastId;
    g_claims.insert(id, key);
    return id;
}

QString inUseText(const QString &portName)
{
    return QStringLiteral("Cannot open port \"%1\": it is in use by another window.").arg(portName);
}

} // namespace

DeviceClaim &DeviceClaim::operator=(DeviceClaim &&other) noexcept
{
    if (this != &other) {
        release();
        m_id.store(other.m_id.exchange(0));
    }
    return *this;
}

DeviceClaim DeviceClaim::port(const QString &portName, QString *error)
{
    // The file system is asked before the registry's lock is taken.
    const quint64 id = claim(portKey(portName));
    if (id == 0 && error)
        *error = inUseText(portName);
    return DeviceClaim(id);
}

DeviceClaim DeviceClaim::network(const QString &portName, const QString &host, quint16 port,
                                 QString *error)
{
    const quint64 id = claim(networkKey(host, port));
    if (id == 0 && error)
        *error = inUseText(portName);
    return DeviceClaim(id);
}

bool DeviceClaim::isPortClaimed(const QString &portName)
{
    return isClaimed(portKey(portName));
}

void DeviceClaim::release()
{
    const quint64 id = m_id.exchange(0);
    if (id == 0)
        return;
    QMutexLocker lock(&g_claimsMutex);
    g_claims.remove(id);
}
