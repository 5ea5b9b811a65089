#pragma once
// The one place that decides which kind of line a port name needs.
#include <QString>

class QObject;
class SerialLine;

// A NetworkSerialLine for "tcp://host:port" and "rfc2217://host:port", a PortSerialLine
// for anything else (a port name or a device path).
SerialLine *makeSerialLine(const QString &portName, QObject *parent = nullptr);
