#pragma once
// Receives one NC program from a machine control between DC2 and DC4, in ISO or EIA code,
// and stores it as a text file. Shared by the receive window and the command-line tool.
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <limits>

class SerialLine;

class ReceiveEngine : public QObject
{
    Q_OBJECT
public:
    enum Status { Waiting = 0, Receiving = 1, Storing = 2, Done = 3 };

    static constexpr char DC2 = 0x12;
    static constexpr char DC4 = 0x14;
    // Received after DC2, this code switches the rest of the program to EIA.
    static constexpr char EiaPercent = 0x0B;
    // How long after the stored program the window stays open; tests shorten it.
    static constexpr int CloseDelayMs = 100;

    explicit ReceiveEngine(SerialLine *line, QObject *parent = nullptr);

    void setFileName(const QString &path) { m_fileName = path; }
    QString fileName() const { return m_fileName; }
    void setCloseDelay(int ms) { m_closeTimer.setInterval(ms); }

    int status() const { return m_status; }
    qint64 charCount() const { return m_charCount; }
    bool isEia() const { return m_eia; }
    // The received program, one entry per line; the last one may still grow.
    const QStringList &lines() const { return m_lines; }
    // A complete program is waiting for a successful store.
    bool hasUnstoredProgram() const { return m_status == Storing; }
    QString lastError() const { return m_lastError; }

    // Handles received characters exactly as if they came from the line.
    void feed(const QString &text);
    // Stores a program whose store failed (after the cause was fixed or the file name
    // changed). Returns true when it is stored now.
    bool retryStore();

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
    void newLine();
    void touch(int row) { m_firstChanged = qMin(m_firstChanged, row); }
    bool store();

    static constexpr int NoChange = std::numeric_limits<int>::max();

    SerialLine *m_line;
    QString m_fileName;
    int m_status = Waiting;
    qint64 m_charCount = 0;
    bool m_eia = false;
    QStringList m_lines;
    int m_firstChanged = NoChange;
    bool m_storeTried = false;
    QString m_lastError;
    QTimer m_closeTimer;
};
