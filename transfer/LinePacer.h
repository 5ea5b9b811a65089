#pragma once
// A writer's lead over the line. A real line carries only baud / bits-per-character
// characters a second; whatever is handed to the driver beyond that waits in queues below
// us (driver, UART, USB adapter, device server) and keeps going out after an XOFF. The
// pacer keeps what was handed on but not yet carried within a few characters, by the
// line's own clock and, where the driver tells it, by its queue, whichever is longer.
#include "settings/LineSettings.h"

#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <chrono>
#include <functional>

class LinePacer
{
public:
    using Clock = std::chrono::steady_clock;

    // Characters a writer may run ahead of the line: at least LeadMinChars, or as many as
    // last LeadTimeNs at fast rates, so that a late wake-up never leaves the line idle.
    static constexpr int LeadMinChars = 4;
    static constexpr qint64 LeadTimeNs = 2000000;
    // The clock runs this share (per mille) of the nominal rate: a far UART a little slow
    // (a device server's, whose queue cannot be read) then builds no backlog.
    static constexpr int RatePermille = 990;

    // Start, data, parity and stop bits of one character (1.5 stop bits counts as 1.5).
    static double bitsPerChar(const LineSettings &s);
    // Nominal time of one character on the wire.
    static qint64 nominalCharNs(const LineSettings &s);

    void setLine(const LineSettings &s);
    qint64 charNs() const { return m_charNs.load(std::memory_order_relaxed); }
    int leadChars() const { return m_lead.load(std::memory_order_relaxed); }

    // What may be handed on now, of `want` bytes: waits until the line can have carried all
    // but a lead's worth. queued() gives the driver's output queue (0 where it cannot tell).
    // Returns at least 1, or 0 when the deadline passed first, or -1 once cancelled().
    // queued() is called without the pacer's lock, cancelled() (atomic reads only) with it,
    // so that a wake() after the flag was set is never missed.
    qint64 awaitRoom(qint64 want, std::chrono::nanoseconds left,
                     const std::function<qint64()> &queued, const std::function<bool()> &cancelled);
    // Bytes that went to the driver. clocked: they count on the line's clock too (a line
    // whose queue is exact, like a test's, leaves it out).
    void handedOn(qint64 bytes, bool clocked = true);
    // Characters handed on that the clock says are still on their way.
    qint64 clockAhead() const;
    // Waits (at most `left`) until the clock says everything handed on was carried and
    // below() (characters still in the queues below, where they can be read) is 0.
    // False when cancelled or out of time first.
    bool awaitCarried(std::chrono::nanoseconds left, const std::function<qint64()> &below,
                      const std::function<bool()> &cancelled);
    // Waits `left`, ended early when cancelled() after a wake(); true when cancelled.
    bool awaitCancelled(std::chrono::nanoseconds left, const std::function<bool()> &cancelled);
    // Wakes every waiter to look at its cancel condition again.
    void wake();
    // A line opened afresh: nothing is on its way.
    void restart();

private:
    // Bounds of one wait: shorter is not worth a wake-up; longer would leave a queue that
    // started to move unseen.
    static constexpr qint64 MinWaitNs = 20000;
    static constexpr qint64 MaxWaitNs = 50000000;
    qint64 aheadNsLocked(qint64 nowNs) const;
    static qint64 nowNs();

    std::atomic<qint64> m_charNs{1041666};
    std::atomic<int> m_lead{LeadMinChars};
    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    qint64 m_freeAtNs = 0; // when the line will have carried all handed on
    qint64 m_granted = 0;  // bytes found room for and not yet handed on
};
