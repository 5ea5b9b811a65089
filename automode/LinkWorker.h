#pragma once
// The auto mode's worker (`WATThread`): carries out one send-list entry on the line. It
// addresses radio devices through the adapter's command mode, sends program files and reply
// programs one character per write, and hands what it showed and what went wrong to the
// window thread. At most one exists per line, so the writes of two entries never interleave.
#include "automode/SendListEntry.h"
#include "transfer/PauseGate.h"

#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class SerialLine;

namespace AutoMode
{

inline constexpr int DefaultXonWaitMs = 10 * 60 * 1000;
inline constexpr qint64 DefaultMaxProgramBytes = 64 * 1024 * 1024;

// Waits of the link, shortened by the tests and the benchmark.
struct LinkTimings {
    int tickMs = 100;           // the dispatcher
    int promptTimeoutMs = 5000; // an adapter that never shows "RFCABLE>"
    int selectPauseMs = 200;    // around the adapter's command mode in SelectDevice
    int afterFileMs = AfterProgramFileMs;
    int holdFlushMs = 500; // held-back radio bytes go on when nothing follows
    // An answer whose machine never sends its XON is dropped after this long.
    int xonWaitMs = DefaultXonWaitMs;
    // An adapter that did not answer is asked again this often; its failed tries are
    // logged at most once per retryLogMs.
    int queryRetryMs = 30000;
    int retryLogMs = 60000;
    // An adapter answer longer than this without its prompt is babble, not an answer.
    int maxAnswerBytes = 4096;
    // Received bytes handled in one go before the other lines and timers get their turn.
    int readSliceBytes = 16384;
    // Not a time: the largest program taken into memory; the rest is not received.
    qint64 maxProgramBytes = DefaultMaxProgramBytes;
};

// The prompt wait as a one-shot signal: a prompt seen before the worker waits still
// releases it. The worker arms it before each command, so an older prompt never counts.
class PromptSignal
{
public:
    // A new worker: no prompt seen, nothing cancelled.
    void reset();
    void arm();
    void release();
    // Ends every wait for good (the line is closing).
    void cancel();
    // Ends the current wait without a prompt: the adapter babbles instead of answering.
    void overrun();
    // True when the prompt came within timeoutMs.
    bool wait(int timeoutMs);
    // The last wait was ended by overrun().
    bool overran() const;

private:
    mutable QMutex m_mutex;
    QWaitCondition m_cond;
    bool m_seen = false;
    bool m_cancelled = false;
    bool m_overrun = false;
};

// What the worker shares with the receive handling of its link.
struct LinkShared {
    // Command mode while the adapter answers commands; read per received byte.
    std::atomic<bool> commandMode{false};
    PromptSignal prompt;
    // A switch the worker asked for takes effect at a position in the received stream, when
    // the receive handling has read up to it: bytes that came before it are handled in the
    // old mode however late they are read. done is released once it took effect.
    struct ModeSwitch {
        bool on = false;
        qint64 at = 0;
        std::shared_ptr<QSemaphore> done;
        // The command mode that ends here holds a whole device listing: machines known from
        // it may speak from the switch on.
        bool listed = false;
    };
    QMutex switchMutex;
    std::optional<ModeSwitch> pendingSwitch;
    // Wakes the receive handling to carry out a pending switch. Without it the worker
    // switches at once.
    std::function<void()> nudge;
};

class WATThread : public QThread
{
    Q_OBJECT
public:
    // held: an answer that waits for its machine's XON; once the XON came it begins only
    // when the link has confirmed that no newer program from that machine came before it.
    WATThread(SerialLine *line, const SendListEntry &entry, std::shared_ptr<PauseGate> gate,
              LinkShared *shared, const LinkTimings &timings, bool held = false,
              QObject *parent = nullptr);
    ~WATThread() override;

    const SendListEntry &entry() const { return m_entry; }
    // `SnedString`: the entry as written.
    QString snedString() const { return m_entry.text(); }
    // Ends the worker before its next character or step.
    void stopWorker();
    // Text shown since the last call (program files only).
    QString takeShown();
    // After the end: why the entry was not carried out; empty when it was.
    QString problem() const;
    // True once run() has returned and the thread is gone; from then on the worker's state
    // may be read and the worker deleted.
    bool hasEnded() const;
    // Stops and joins the worker.
    void join();
    // The adapter did not answer (no prompt, or babble instead of one).
    bool adapterFailed() const { return m_adapterFailed.load(); }

    // Link side, for a held answer. confirmStart(): the worker may begin (false when it was
    // dropped first). dropIfWaiting(): ends a worker that has not written a byte of its
    // answer, never one that has; *xonSeen: its XON had already come.
    bool confirmStart();
    bool dropIfWaiting(bool *xonSeen);

signals:
    void shownPending();
    // A held answer's XON came: the link is to confirm or drop it.
    void startAsked();

protected:
    void run() override;

private:
    void carryOut();
    void QueryDevices();
    void SelectDevice(const QString &mask);
    void SendFile(const QString &path);
    void SendReply();

    void setCommandMode(bool on, bool listed = false);
    // One adapter command; false when the line failed or the prompt did not come.
    bool command(const QByteArray &bytes, bool waitPrompt);
    bool writeAll(const QByteArray &bytes);
    // One character per write, each passing the pause gate first.
    bool writePaced(const QByteArray &bytes, const QString &shown);
    void pauseMs(int ms);
    void fail(const QString &why);
    // Before the first byte of a held answer: waits for the link's word.
    bool mayBegin();
    // Before an answer's first byte: waits for its answer time; false when stopped.
    bool waitAnswerTime();

    SerialLine *m_line;
    SendListEntry m_entry;
    std::shared_ptr<PauseGate> m_gate;
    LinkShared *m_shared;
    LinkTimings m_timings;
    std::atomic<bool> m_stop{false};
    // Set as run() returns. QThread joins inside Qt, where ThreadSanitizer cannot see it;
    // reading this flag after the join makes the hand-off of the worker's state visible.
    std::atomic<bool> m_runDone{false};
    std::atomic<bool> m_adapterFailed{false};
    enum Start { Waiting, Begun, Dropped };
    std::atomic<int> m_start{Begun};
    std::atomic<bool> m_startAsked{false};
    QSemaphore m_startWord;

    QMutex m_stopMutex;
    QWaitCondition m_stopped;

    mutable QMutex m_mutex;
    QString m_shown;
    QString m_problem;
};

} // namespace AutoMode
