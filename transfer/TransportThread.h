#pragma once
// The send worker: frames each program file and writes it to the line one character at a
// time, honouring one pause gate. Window updates go out as an ordered, coalesced queue.
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QVector>
#include <QWaitCondition>

#include <atomic>

class SerialLine;

struct SendUpdate {
    enum Kind {
        PauseCaption, // text: put on the confirm button while waiting between files
        ProgressMax,  // value: file size in bytes; position back to 0
        ProgressStep, // value: steps taken
        SelectFile,   // value: index in the file list
        EchoStart,    // echo emptied and one empty line added
        EchoNewLine,  // a new empty echo line, selected
        EchoAppend,   // text: appended to the last echo line
        Waiting,      // value 1: the line takes no characters, the rest is kept; 0: moving again
        FileFailed,   // value: index; text: why
        Finished      // every file went out; the line is closed
    };
    Kind kind;
    qint64 value = 0;
    QString text;
};

class TransportThread : public QThread
{
    Q_OBJECT
public:
    static constexpr char DC2 = 0x12;
    static constexpr char DC4 = 0x14;
    static constexpr char CtrlZ = 0x1A;
    // Characters allowed in the driver's output queue before the next one is written, so
    // that an XOFF is obeyed within about this many characters.
    static constexpr qint64 MaxDriverQueue = 16;

    explicit TransportThread(QObject *parent = nullptr);
    ~TransportThread() override;

    void setComPort(SerialLine *line) { m_line = line; }
    void setFileListBox(const QStringList &files);
    void setPauseString(const QString &text);

    // One paused state, whoever caused it. The worker is created paused: the first resume
    // starts it.
    void resumeWorker();
    void pauseWorker();
    bool isPaused() const;
    // Ends the worker before its next character; it sends nothing more.
    void stopWorker();

    QVector<SendUpdate> takeUpdates();

signals:
    // Emitted when the update queue stops being empty; drain it with takeUpdates().
    void updatesPending();

protected:
    void run() override;

private:
    bool gate();
    bool waitForDriverQueue();
    bool sendBytes(const QByteArray &bytes);
    bool sendFile(int index, const QString &path);
    void post(SendUpdate::Kind kind, qint64 value = 0, const QString &text = QString());

    SerialLine *m_line = nullptr;
    QStringList m_files;
    QString m_pauseText;
    int m_current = 0;

    mutable QMutex m_gateMutex;
    QWaitCondition m_gateChanged;
    bool m_started = false;
    bool m_paused = true;
    std::atomic<bool> m_stop{false};

    QMutex m_updateMutex;
    QVector<SendUpdate> m_updates;
};
