#pragma once
// The pause gate of a worker that writes to a serial line: one paused state, not a count,
// checked before every character. The line's I/O thread closes it the moment it reads an
// XOFF, so a pause never waits for the window thread. Resumes that must come after a wait
// (500 ms after XON or a CTS rise) are queued here and carried out by the worker itself,
// together with the LF that follows an XON; the window thread never sleeps or writes for them.
#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <vector>

class PauseGate
{
public:
    using Clock = std::chrono::steady_clock;

    // What one XOFF cost: characters the worker wrote after the gate closed, and how long
    // after the byte was read the gate was closed.
    struct XoffSample {
        qint64 writtenAfter = 0;
        qint64 closeDelayNs = 0;
    };

    explicit PauseGate(bool paused = true) : m_paused(paused) {}

    // Worker side. Blocks while paused, carrying out due delayed actions (writeLf is called
    // for each LF owed, outside the lock). False once stopped. *waited: it had to wait.
    bool pass(const std::function<bool()> &writeLf, bool *waited = nullptr);
    // Pauses without cancelling queued resumes (the worker pausing itself between files:
    // an XON that is already on its way still continues it).
    void pauseSelf();
    // Called after each character has been written.
    void countWritten() { m_written.fetch_add(1, std::memory_order_relaxed); }
    // Characters counted so far: with the worker held at the gate, what the peer must get.
    qint64 written() const { return m_written.load(); }

    // Control side, any thread. A pause cancels the resumes queued before it, as a later
    // event on the line overrules an earlier one.
    void pause();
    // Ends any pause at once.
    void resume();
    // Resumes after delayMs, behind the delayed actions already queued; lf: one LF goes out
    // first (even if a later pause cancels the resume).
    void scheduleResume(int delayMs, bool lf);
    // XOFF read by the I/O thread: pause, and note when the byte was read.
    void pauseFromLine(Clock::time_point readAt);
    bool isPaused() const;
    bool hasPendingActions() const;

    // Ends the gate for good: the worker ends before its next character.
    void stop(const QString &reason = QString());
    bool isStopped() const { return m_stopped.load(); }
    QString stopReason() const;

    // For the benchmark and the tests: one sample per XOFF that found the worker running,
    // filled in when the worker next reaches the gate. Bounded.
    std::vector<XoffSample> xoffSamples() const;

private:
    struct Delayed {
        Clock::time_point due;
        bool lf;
        bool resume;
    };
    bool runDueLocked(Clock::time_point now, int *lfOwed);

    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    bool m_paused;
    std::atomic<bool> m_stopped{false};
    QString m_stopReason;
    std::deque<Delayed> m_delayed;

    std::atomic<qint64> m_written{0};
    bool m_sampleOpen = false;
    qint64 m_writtenAtXoff = 0;
    qint64 m_openCloseDelayNs = 0;
    std::vector<XoffSample> m_samples;
    static constexpr size_t MaxSamples = 4096;
};
