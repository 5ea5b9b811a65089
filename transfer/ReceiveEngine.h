#pragma once
// Receives one NC program from a machine control between DC2 and DC4, in ISO or EIA code,
// and stores it as a text file. Shared by the receive window and the command-line tool.
#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <limits>
#include <vector>

class QFile;

class SerialLine;

class ReceiveEngine : public QObject
{
    Q_OBJECT
public:
    enum Status { Waiting = 0, Receiving = 1, Storing = 2, Done = 3 };

    // Received after DC2, this code switches the rest of the program to EIA.
    static constexpr char EiaPercent = 0x0B;
    // How long after the stored program the window stays open; tests shorten it.
    static constexpr int CloseDelayMs = 100;

    explicit ReceiveEngine(SerialLine *line, QObject *parent = nullptr);

    void setFileName(const QString &path) { m_fileName = path; }
    QString fileName() const { return m_fileName; }
    void setCloseDelay(int ms) { m_closeTimer.setInterval(ms); }
    // The port setting the journal rows name. A stored program is journaled here; a receive
    // that failed, by whoever decides what becomes of it, through journalFailure.
    void setJournalName(const QString &portSetting) { m_journalName = portSetting; }
    void journalFailure(const QString &reason, const QString &keptPath) const;
    // The next store goes to path as a failed transfer (its store elsewhere failed for reason).
    void keepAsFailed(const QString &path, const QString &reason)
    {
        m_fileName = path;
        m_failedBecause = reason;
    }

    int status() const { return m_status; }
    qint64 charCount() const { return m_charCount; }
    bool isEia() const { return m_eia; }
    // The received program as bytes in the NC code page, with a line index: memory stays
    // close to the program's size however many lines it has. The last line may still grow.
    int lineCount() const { return int(m_starts.size()); }
    // Lines with text: a line only just begun does not count.
    int keptLineCount() const
    {
        return lineCount() - (!m_starts.empty() && m_starts.back() == m_text.size() ? 1 : 0);
    }
    QByteArray lineBytes(int row) const;
    QString line(int row) const;
    // A copy of every line; for short programs.
    QStringList lines() const;
    // A complete program is waiting for a successful store.
    bool hasUnstoredProgram() const { return m_status == Storing; }
    // Lines arrived that are not stored: a program in progress or one waiting for a store.
    bool hasUnsavedData() const;
    QString lastError() const { return m_lastError; }
    // The last store: the backup of the file it replaced, or that it was identical.
    QString lastBackup() const { return m_lastBackup; }
    bool lastWasIdentical() const { return m_identical; }

    // Handles received bytes exactly as if they came from the line.
    void feedBytes(const QByteArray &bytes);
    // Stores a program whose store failed (after the cause was fixed or the file name
    // changed). Returns true when it is stored now.
    bool retryStore();
    // Writes what has arrived so far (a program cut short) to path, as a stored program
    // would be written. Leaves the engine's state alone. False with *error on failure.
    bool savePartial(const QString &path, QString *error, int *linesWritten = nullptr) const;

signals:
    void charCountChanged(qint64 count);
    // Rows from firstRow on were changed, removed or added since the last report.
    void linesChanged(int firstRow);
    void programStored(const QString &path);
    // The program is kept; message names the file and the cause.
    void storeFailed(const QString &message);
    // The close delay after a stored program has passed with nothing new started.
    void finished();

public slots:
    void ComPort1RxChar(qint64 count);

private:
    void handle(ushort c);
    void keep(ushort c);
    bool writeLines(const QString &path, QString *cause, int *linesWritten = nullptr) const;
    void newLine();
    void touch(int row) { m_firstChanged = qMin(m_firstChanged, row); }
    bool store();
    bool sameAs(QFile &stored) const;

    static constexpr int NoChange = std::numeric_limits<int>::max();

    SerialLine *m_line;
    QString m_fileName;
    QString m_journalName;
    QString m_failedBecause;
    int m_status = Waiting;
    qint64 m_charCount = 0;
    bool m_eia = false;
    QByteArray m_text;
    std::vector<qint64> m_starts;
    int m_firstChanged = NoChange;
    bool m_storeTried = false;
    QString m_lastError;
    QString m_lastBackup;
    bool m_identical = false;
    QTimer m_closeTimer;
};
