#include "transfer/UsbLatency.h"

#include "transfer/LinePacer.h"

#include <QFile>
#include <QFileInfo>

namespace
{
// The kernel's name of the port's device (ttyUSB0), through /dev/serial/by-id links.
QString kernelName(const QString &portName)
{
    const QString path =
        portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QString real = QFileInfo(path).canonicalFilePath();
    return QFileInfo(real.isEmpty() ? path : real).fileName();
}

QString timerPath(const QString &portName, const QString &sysRoot)
{
    return sysRoot + QStringLiteral("/class/tty/") + kernelName(portName) +
           QStringLiteral("/device/latency_timer");
}
} // namespace

int UsbLatency::timerMs(const QString &portName, const QString &sysRoot)
{
    if (portName.contains(QLatin1String("://")))
        return -1;
    QFile f(timerPath(portName, sysRoot));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int ms = f.readLine(32).trimmed().toInt(&ok);
    return ok && ms >= 0 ? ms : -1;
}

QString UsbLatency::warning(const LineSettings &line, const QString &sysRoot)
{
    const int ms = timerMs(line.portName, sysRoot);
    if (ms <= WarnAboveMs)
        return {};
    const qint64 late = qint64(ms) * 1000000 / LinePacer::nominalCharNs(line);
    return QStringLiteral("%1 is a USB adapter that holds what the machine sends for up to %2 ms "
                          "(its latency timer): at %3 baud an XOFF can come %4 characters late. "
                          "Lower it with: echo 1 | sudo tee %5")
        .arg(line.portName)
        .arg(ms)
        .arg(line.baudRate)
        .arg(late)
        .arg(QStringLiteral("/sys/bus/usb-serial/devices/%1/latency_timer")
                 .arg(kernelName(line.portName)));
}
