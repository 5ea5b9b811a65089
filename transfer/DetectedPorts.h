#pragma once
// Serial ports found on this computer, as the port settings dialog offers them: the
// system's port names, USB adapters under /dev (ttyUSB*, ttyACM*) and their stable
// /dev/serial/by-id/ names, each with what the system says about the device.
#include "transfer/PortProblem.h"

#include <QList>
#include <QString>

struct PortFacts {
    QString name;     // "ttyUSB0", "COM3"
    QString location; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serialNumber;
};

struct DetectedPort {
    QString name; // what a record stores: a port name or a full path
    QString description;
    QString toolTip;                  // description, manufacturer and serial number, one a line
    PortProblem::DeviceAccess access; // denied: this user may not open it
};

namespace DetectedPorts
{
// The system's ports, as Qt reports them.
QList<PortFacts> systemFacts();
// The entries for facts, plus devices named like USB adapters in devFolder that the facts
// lack, plus every link in byIdFolder (described as the device it points to). Port names
// sorted as text, then the by-id paths. Empty folder arguments are skipped.
QList<DetectedPort> entries(const QList<PortFacts> &facts, const QString &devFolder,
                            const QString &byIdFolder);
// entries() for this computer.
QList<DetectedPort> present();
} // namespace DetectedPorts
