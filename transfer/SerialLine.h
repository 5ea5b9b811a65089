#pragma once
// One serial line as the transfer engines see it. Engines never touch QSerialPort;
// tests put a double in its place.
#include "transfer/LineSettings.h"

#include <QByteArray>
#include <QObject>

#include <atomic>

class SerialLine : public QObject
{
    Q_OBJECT
public:
    // A write may take this long before it ends short (milliseconds).
    static constexpr int WriteTimeoutConstantMs = 1000;
    static constexpr int WriteTimeoutPerByteMs = 100;

    explicit SerialLine(QObject *parent = nullptr) : QObject(parent) {}
    ~SerialLine() override = default;

    // Settings change takes effect at once on an open line.
    virtual void setSettings(const LineSettings &settings) = 0;
    virtual LineSettings settings() const = 0;
    void setDiscardNull(bool on)
    {
        LineSettings s = settings();
        s.discardNull = on;
        setSettings(s);
    }

    // Opening an open line does nothing. On failure the line stays closed and
    // *error says why (no such port, port busy, setting refused).
    virtual bool open(QString *error) = 0;
    // Discards what is still queued both ways; afterClose() follows on the calling thread.
    virtual void close() = 0;
    // Closes after what is queued has gone out (or the write time-out for it passed),
    // so the end of a program is not discarded with the output buffer.
    virtual void drainAndClose() = 0;
    virtual bool isConnected() const = 0;

    // Thread-safe and blocking: every byte as one request, returning when the bytes are
    // with the driver or the time-out passed. Returns bytes accepted, -1 on a closed line.
    virtual qint64 write(const QByteArray &bytes) = 0;
    // Bytes still queued for output below the program: in the driver and the UART.
    // Thread-safe.
    virtual qint64 outputQueued() const = 0;

    // Received bytes waiting to be read (after NUL discarding). GUI thread.
    virtual qint64 bytesWaiting() const = 0;
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual bool cts() const = 0;
    // False for a line that cannot report CTS at all (a pseudo-terminal, some adapters).
    virtual bool hasModemLines() const { return true; }

    void setWriteTimeouts(int constantMs, int perByteMs)
    {
        m_timeoutConstantMs = constantMs;
        m_timeoutPerByteMs = perByteMs;
    }
    int writeTimeoutMs(qint64 bytes) const
    {
        return m_timeoutConstantMs + int(bytes) * m_timeoutPerByteMs;
    }

signals:
    // Delivered on the GUI thread in the order the line saw them.
    void rxChar(qint64 count);
    void ctsChanged(bool on);
    void afterClose();

private:
    std::atomic<int> m_timeoutConstantMs{WriteTimeoutConstantMs};
    std::atomic<int> m_timeoutPerByteMs{WriteTimeoutPerByteMs};
};
