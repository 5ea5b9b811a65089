#include "transfer/DetectedPorts.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace
{

QString describe(const PortFacts &f)
{
    QStringList lines;
    if (!f.description.isEmpty())
        lines << f.description;
    if (!f.manufacturer.isEmpty())
        lines << QStringLiteral("Manufacturer: %1").arg(f.manufacturer);
    if (!f.serialNumber.isEmpty())
        lines << QStringLiteral("Serial number: %1").arg(f.serialNumber);
    if (!f.location.isEmpty())
        lines << f.location;
    return lines.join(QLatin1Char('\n'));
}

DetectedPort entryFor(const QString &name, const PortFacts &f)
{
    return {name, f.description, describe(f),
            PortProblem::deviceAccess(f.location.isEmpty() ? name : f.location)};
}

} // namespace

QList<PortFacts> DetectedPorts::systemFacts()
{
    QList<PortFacts> facts;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        facts << PortFacts{info.portName(), info.systemLocation(), info.description(),
                           info.manufacturer(), info.serialNumber()};
    return facts;
}

QList<DetectedPort> DetectedPorts::entries(const QList<PortFacts> &given, const QString &devFolder,
                                           const QString &byIdFolder)
{
    QList<PortFacts> facts;
    for (PortFacts f : given) {
        f.name = f.name.trimmed();
        if (f.name.isEmpty())
            continue;
        const bool seen = std::any_of(facts.begin(), facts.end(),
                                      [&](const PortFacts &o) { return o.name == f.name; });
        if (!seen)
            facts << f;
    }
    // Without udev Qt may miss USB adapters; their device nodes are enough to offer them.
    if (!devFolder.isEmpty()) {
        const QFileInfoList nodes = QDir(devFolder).entryInfoList(
            {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")}, QDir::System | QDir::Files);
        for (const QFileInfo &node : nodes) {
            const bool seen = std::any_of(facts.begin(), facts.end(), [&](const PortFacts &o) {
                return o.name == node.fileName();
            });
            if (!seen)
                facts << PortFacts{node.fileName(), node.filePath(), {}, {}, {}};
        }
    }
    std::sort(facts.begin(), facts.end(),
              [](const PortFacts &a, const PortFacts &b) { return a.name < b.name; });
    QList<DetectedPort> out;
    for (const PortFacts &f : std::as_const(facts))
        out << entryFor(f.name, f);

    if (!byIdFolder.isEmpty()) {
        QStringList links =
            QDir(byIdFolder).entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        links.sort();
        for (const QString &link : std::as_const(links)) {
            const QString path = QDir(byIdFolder).filePath(link);
            const QString target = QFileInfo(path).canonicalFilePath();
            PortFacts f;
            for (const PortFacts &o : std::as_const(facts)) {
                if (!target.isEmpty() && (QFileInfo(o.location).canonicalFilePath() == target)) {
                    f = o;
                    break;
                }
            }
            f.location = target;
            out << entryFor(path, f);
        }
    }
    return out;
}

QList<DetectedPort> DetectedPorts::present()
{
#ifdef Q_OS_LINUX
    return entries(systemFacts(), QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id"));
#else
    return entries(systemFacts(), QString(), QString());
#endif
}
