#pragma once
// The send worker: frames each program file and writes it to the line one character at a
// time, honouring one pause gate. Window updates go out as an ordered, coalesced queue.
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVector>

#include "transfer/PauseGate.h"

#include <atomic>
#include <functional>
#include <memory>

class SerialLine;

struct SendUpdate {
    enum Kind {
        PauseCaption, // text: put on the confirm button while waiting between files
        ProgressMax,  // value: file size in bytes; position back to 0
        SelectFile,   // value: index in the file list
        EchoStart,    // echo emptied and one empty line added
        Sent,         // value: characters sent; text: their echo, "\n" starting a new line;
                      // reset: older pending echo was dropped, show this text alone
        Waiting,      // value 1: the line takes no characters, the rest is kept; 0: moving again
        FileFailed,   // value: index; text: why
        Finished,     // the line has carried every file and is closed
        Resumed,      // the worker passed its gate after waiting there
        FileDone      // value: index; the line has carried the file's end
    };
    Kind kind;
    qint64 value = 0;
    QString text;
    bool reset = false;
};

class TransportThread : public QThread
{
    Q_OBJECT
public:
    static constexpr char CtrlZ = 0x1A;
    // Echo text kept for a window that has not collected it yet; older text is dropped, so
    // a window thread that is held up never makes the worker's memory grow.
    static constexpr int MaxPendingEcho = 64 * 1024;
    // The window hears of updates at most this often (milliseconds).
    static constexpr int UpdateFrameMs = 16;

    explicit TransportThread(QObject *parent = nullptr);
    ~TransportThread() override;

    void setComPort(SerialLine *line) { m_line = line; }
    void setFileListBox(const QStringList &files);
    void setPauseString(const QString &text);
    // The port setting each file's journal row names.
    void setJournalName(const QString &portSetting)
    {
        QMutexLocker lock(&m_setupMutex);
        m_journalName = portSetting;
    }
    // The bytes to send in place of a file's content (a restart in its middle); false with
    // *why fails that file. Set before the first resume.
    using SendFilter = std::function<bool(const QByteArray &, QByteArray *, QString *)>;
    void setSendFilter(SendFilter filter)
    {
        QMutexLocker lock(&m_setupMutex);
        m_filter = std::move(filter);
    }

    // Starts the thread, waiting at its gate: from then on the line's reader and the
    // delayed resumes can start it without the window thread. Idempotent.
    void begin();
    // One paused state, whoever caused it. The worker is created paused: the first resume
    // starts it.
    void resumeWorker();
    // A pause from the window thread; it also cancels resumes still waiting their turn.
    void pauseWorker();
    bool isPaused() const;
    // Ends the worker before its next character; it sends nothing more.
    void stopWorker();
    // Waits for the thread to end; what it did is then seen by the caller (also by
    // ThreadSanitizer, which cannot see QThread::wait's own hand-off).
    void join();
    const std::shared_ptr<PauseGate> &pauseGate() const { return m_gate; }

    QVector<SendUpdate> takeUpdates();

signals:
    // Emitted on the window's thread, at most once a frame, while updates wait; drain them
    // with takeUpdates().
    void updatesPending();

protected:
    void run() override;
    void runFiles();

private:
    bool gate();
    bool writeLf();
    bool sendBytes(const QByteArray &bytes);
    bool waitCarried();
    bool holdAtGate(bool *waiting);
    bool failFile(int index, const QString &why);
    bool sendFile(int index, const QString &path);
    void post(SendUpdate::Kind kind, qint64 value = 0, const QString &text = QString());
    bool noticeDueLocked();
    void scheduleNotice();
    // Adds what c completes to the echo; true when text was added.
    bool appendEcho(QString *to, char c, bool echoed);
    void postSent(char c);
    void reportStop();
    void journal(const QString &result, const QString &reason = QString());

    SerialLine *m_line = nullptr;
    std::shared_ptr<PauseGate> m_gate;
    QStringList m_files;
    QString m_pauseText;
    SendFilter m_filter;   // under m_setupMutex
    QString m_journalName; // under m_setupMutex
    QString m_currentPath;
    qint64 m_sentInFile = 0;
    bool m_journaled = true; // the current file has its row
    int m_current = 0;
    bool m_failurePosted = false;
    QByteArray m_echoBytes; // sent, not yet shown: part of a character

    mutable QMutex m_setupMutex;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_over{false};

    QMutex m_updateMutex;
    QVector<SendUpdate> m_updates;
    bool m_noticeOwed = false; // under m_updateMutex
    QTimer m_frame;            // on the window's thread
};
