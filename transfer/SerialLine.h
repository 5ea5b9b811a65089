#pragma once
// One serial line as the transfer engines see it. Engines never touch QSerialPort;
// tests put a double in its place.
#include "settings/LineSettings.h"
#include "transfer/LinePacer.h"
#include "transfer/PauseGate.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <memory>

// Which pacing bytes the line's reader acts on while a sender is armed.
struct FlowGateRules {
    bool xoffPauses = false; // XOFF closes the gate at once
    bool xonResumes = false; // XON reopens it after xonDelayMs
    int xonDelayMs = 500;
    bool lfAfterXon = false; // one LF goes out when the XON's wait has ended
    bool consume = false;    // bytes that acted are not delivered as received data
};

class SerialLine : public QObject
{
    Q_OBJECT
public:
    // A write may take this long before it ends short (milliseconds).
    static constexpr int WriteTimeoutConstantMs = 1000;
    static constexpr int WriteTimeoutPerByteMs = 100;
    // Closing lets queued output drain for at most this long plus its transmit time.
    static constexpr int DrainGraceMs = 200;

    explicit SerialLine(QObject *parent = nullptr) : QObject(parent) {}
    ~SerialLine() override;

    // Settings change takes effect at once on an open line. False (with *error) when the
    // open port refused them.
    virtual bool setSettings(const LineSettings &settings, QString *error = nullptr) = 0;
    virtual LineSettings settings() const = 0;
    // Read by the reader byte by byte; never re-applies the port configuration.
    void setDiscardNull(bool on);
    bool discardNull() const { return m_discardNull.load(std::memory_order_relaxed); }

    // Opening an open line does nothing. On failure the line stays closed and
    // *error says why (no such port, port busy, setting refused).
    virtual bool open(QString *error) = 0;
    // The same without holding up the calling thread: openFinished() follows on the line's
    // own thread. A close() before then cancels the open, and no openFinished() comes.
    // Here the open is made at once (a local port opens quickly) and only told later.
    virtual void openAsync();
    // An asynchronous open is under way.
    virtual bool isOpening() const { return false; }
    // Discards what is still queued both ways; afterClose() follows on the calling thread.
    virtual void close() = 0;
    // Closes after what is queued has gone out, waiting at most DrainGraceMs plus the
    // transmit time of the queue; never holds up a close() from another thread.
    virtual void drainAndClose() = 0;
    virtual bool isConnected() const = 0;

    // Thread-safe and blocking: every byte as one request, returning when the bytes are
    // with the driver or the time-out passed. Returns bytes accepted, -1 on a closed or
    // lost line. Paced: it never runs more than paceLead() characters ahead of what the
    // line can have carried at its rate.
    virtual qint64 write(const QByteArray &bytes) = 0;
    // Bytes still queued for output below the program, where the driver tells (0 where it
    // cannot: a pseudo-terminal, some adapters). Thread-safe.
    virtual qint64 outputQueued() const = 0;
    // Characters written that the line has not carried yet: its queue below, or the line's
    // clock at its character rate, whichever says more. Thread-safe.
    qint64 notCarried() const;
    // Blocks until the line has carried everything written, *stop is set, the line closes
    // or drainBoundMs() of what was on its way passed. True when carried.
    bool waitCarried(const std::atomic<bool> *stop = nullptr);
    // Characters a writer may be ahead of the line, and one character's time on the wire.
    int paceLead() const { return m_pacer.leadChars(); }
    qint64 charTimeNs() const { return m_pacer.charNs(); }

    // Received bytes waiting to be read (after NUL discarding and the flow gate). Thread-safe;
    // read by the GUI thread.
    qint64 bytesWaiting() const;
    QByteArray read(qint64 maxBytes);
    // Received bytes read or discarded since the line was made: a position in the stream.
    qint64 receivedTaken() const;
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
        return int(qMin<qint64>(m_timeoutConstantMs + bytes * m_timeoutPerByteMs, INT_MAX));
    }
    // How long a drain before close may take for `queued` bytes at the line's rate.
    int drainBoundMs(qint64 queued) const;

    // The flow gate: while armed, the reader acts on XON/XOFF as it reads them, before
    // anything reaches the window thread. Thread-safe.
    void armFlowGate(std::shared_ptr<PauseGate> gate, const FlowGateRules &rules);
    void disarmFlowGate();
    // While on, XON and XOFF pass as plain data (a radio adapter's command mode).
    void setFlowGateBypass(bool on) { m_gateBypass.store(on); }
    bool flowGateBypass() const { return m_gateBypass.load(); }
    // The same between two reads, returning the stream position of the switch: bytes before
    // it were screened the old way, bytes after it the new way.
    qint64 switchFlowGateBypass(bool on);

    // The far end has gone (cable or adapter pulled): writes fail, nothing more arrives.
    bool isLost() const { return m_lost.load(); }
    QString lostMessage() const;

signals:
    // Delivered on the GUI thread in the order the line saw them.
    void rxChar(qint64 count);
    void ctsChanged(bool on);
    void afterClose();
    // The end of openAsync(); error says why when ok is false.
    void openFinished(bool ok, const QString &error);
    // Once per open, on the line's own thread, after the armed gate was stopped.
    void lineLost(const QString &message);

protected:
    // Called by the reader (the I/O thread) with the bytes just read: the flow gate acts on
    // them and what is data joins the received queue. Returns the bytes now waiting.
    qint64 takeIn(const QByteArray &bytes, PauseGate::Clock::time_point readAt);
    // The same, and rxChar() follows on the line's own thread: one notice for however many
    // reads came before it was delivered.
    void queueReceived(const QByteArray &bytes, PauseGate::Clock::time_point readAt);
    // Drops what is waiting (a line opened afresh); it counts as taken.
    void clearReceived();
    // Any thread. Marks the line lost, stops an armed sender and queues lineLost().
    void reportLost(const QString &message);
    // Marks the line lost at once; reportLost() tells of it.
    void noteLost(const QString &message);
    void clearLost()
    {
        m_lost.store(false);
        m_lostReported.store(false);
    }

private:
    QByteArray screenReceived(const QByteArray &bytes, PauseGate::Clock::time_point readAt);

    // Screening and queueing happen under one lock, so that a bypass switch falls between
    // two reads and its position in the stream is exact.
    mutable QMutex m_rxMutex;
    QByteArray m_rx;
    qint64 m_rxTaken = 0;
    std::atomic<bool> m_rxNotifyPending{false};

    std::atomic<int> m_timeoutConstantMs{WriteTimeoutConstantMs};
    std::atomic<int> m_timeoutPerByteMs{WriteTimeoutPerByteMs};
    std::atomic<bool> m_discardNull{false};
    std::atomic<qint32> m_baud{9600};

    mutable QMutex m_gateMutex;
    std::shared_ptr<PauseGate> m_gate;
    FlowGateRules m_rules;
    std::atomic<bool> m_gateArmed{false};
    std::atomic<bool> m_gateBypass{false};

    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_lostReported{false};
    mutable QMutex m_lostMutex;
    QString m_lostMessage;

    mutable QMutex m_settingsMutex;
    LineSettings m_storedSettings;

    mutable LinePacer m_pacer;

protected:
    // Concrete lines call this whenever they take new settings.
    void noteSettings(const LineSettings &s)
    {
        m_discardNull.store(s.discardNull);
        m_baud.store(s.baudRate > 0 ? s.baudRate : 9600);
        m_pacer.setLine(s);
    }
    // Writers: how many of `want` bytes may go to the driver now (waiting for the line to
    // carry its lead); 0 when the deadline passed, -1 once closing is set or the line is lost.
    // queued() reads the driver's queue; it is called without any of the base's locks.
    qint64 awaitRoom(qint64 want, const QDeadlineTimer &deadline,
                     const std::function<qint64()> &queued, const std::atomic<bool> &closing);
    // Bytes the driver took; clocked as LinePacer::handedOn().
    void handedOn(qint64 bytes, bool clocked = true) { m_pacer.handedOn(bytes, clocked); }
    // A line opened afresh has nothing on its way.
    void restartPacing() { m_pacer.restart(); }
    // A closing line wakes writers and drains that wait for it.
    void wakePacer() { m_pacer.wake(); }
    // False while the hardware below the driver queue still holds characters (a UART's FIFO).
    virtual bool transmitterEmpty() const { return true; }
    // For lines that keep their settings here: stores and notes them, returning the old ones.
    LineSettings exchangeSettings(const LineSettings &s);
    // What was stored, with the reader's current NUL discarding.
    LineSettings storedSettings() const;
    qint32 baudRate() const { return m_baud.load(); }
    // Before a close that keeps queued output: waits until the line has carried what was
    // written (its clock, its queue, its transmitter). Gives up at drainBoundMs(), or at
    // once when the line is closing or lost. True when drained.
    bool waitForDrain(const std::atomic<bool> &closing);
    // Lets `span` pass, or less once the line is closing or lost.
    void awaitClosing(std::chrono::milliseconds span, const std::atomic<bool> &closing);
};
