#pragma once
// A line's hold on its device within this process: whatever name a window gives it
// ("ttyS0", "/dev/ttyS0", a /dev/serial/by-id link, "tcp://Host:p"), one device is open
// in one line at a time. The hold goes with the object, or earlier by release().
#include <QString>

#include <atomic>

class DeviceClaim
{
public:
    DeviceClaim() = default;
    ~DeviceClaim() { release(); }
    DeviceClaim(DeviceClaim &&other) noexcept : m_id(other.m_id.exchange(0)) {}
    DeviceClaim &operator=(DeviceClaim &&other) noexcept;
    DeviceClaim(const DeviceClaim &) = delete;
    DeviceClaim &operator=(const DeviceClaim &) = delete;

    // The device a local port name opens. An empty claim, and *error, when a line of this
    // program has it under any name.
    static DeviceClaim port(const QString &portName, QString *error);
    // A device server's port (host in any letter case); portName is the name for the message.
    static DeviceClaim network(const QString &portName, const QString &host, quint16 port,
                               QString *error);
    // True while a line of this program holds the device the port name opens.
    static bool isPortClaimed(const QString &portName);

    bool isHeld() const { return m_id.load() != 0; }
    // Safe from any thread and more than once: a lost line lets go of its device early.
    void release();

private:
    explicit DeviceClaim(quint64 id) : m_id(id) {}
    std::atomic<quint64> m_id{0};
};
