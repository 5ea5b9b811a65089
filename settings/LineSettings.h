#pragma once
// Line parameters a port setting yields and a serial line takes.
#include <QString>

// Field 6 of a port setting, numbered in the order its texts are offered. The line's driver
// does only the hardware handshake; XON and XOFF are always handled by our own code.
enum class FlowControl { None = 0, RtsCts = 1, XonXoff = 2, RtsCtsXonXoff = 3 };

constexpr bool usesCts(FlowControl f)
{
    return f == FlowControl::RtsCts || f == FlowControl::RtsCtsXonXoff;
}
constexpr bool usesXon(FlowControl f)
{
    return f == FlowControl::XonXoff || f == FlowControl::RtsCtsXonXoff;
}

struct LineSettings {
    enum class Parity { None, Odd, Even };
    enum class StopBits { One, OneAndHalf, Two };

    QString portName;
    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    bool hardwareHandshake = false;
    bool discardNull = false;

    bool operator==(const LineSettings &o) const
    {
        return portName == o.portName && baudRate == o.baudRate && parity == o.parity &&
               dataBits == o.dataBits && stopBits == o.stopBits &&
               hardwareHandshake == o.hardwareHandshake && discardNull == o.discardNull;
    }
};
