#pragma once
// Line parameters a port setting yields and a serial line takes.
#include <QString>

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
