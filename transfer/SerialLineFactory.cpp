#include "transfer/SerialLineFactory.h"

#include "transfer/NetworkSerialLine.h"
#include "transfer/PortSerialLine.h"

SerialLine *makeSerialLine(const QString &portName, QObject *parent)
{
    if (NetworkSerialLine::isNetworkName(portName))
        return new NetworkSerialLine(parent);
    return new PortSerialLine(parent);
}
