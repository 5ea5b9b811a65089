#pragma once
// The transfer journal: one row per send, receive, auto-mode answer and return, and review
// decision, in an SQLite file of its own beside the notes. Each row carries the hash of the
// row before it, so a row edited or removed by hand breaks the chain. Rows are written on a
// thread of the journal's own: a transfer never waits for the disk, and a journal that cannot
// be written never fails one.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct JournalEntry {
    QDateTime time; // UTC; set when recorded when empty
    QString portSetting;
    QString device;    // "" for the window's own line, else the auto mode's device code
    QString direction; // "send", "receive", "request", "return", "review"
    QString file;
    qint64 characters = 0;
    QString sha256; // hex; taken from file (as it is on disk when written) when empty
    QString result; // "done", "failed", "stopped", "stored", "identical", "held", ...
    QString reason;
    QString user; // the operating-system user; filled in when empty
};

struct JournalRow {
    qint64 id = 0;
    JournalEntry entry;
    QString previousHash;
    QString rowHash;
};

// What the Journal window shows: rows of one machine (port setting, and device when given as
// "name / device"), whose file contains a text, between two days (local time, inclusive).
struct JournalFilter {
    QString machine;
    QString fileContains;
    QDate from, to; // invalid: open
    static QString machineOf(const JournalEntry &e)
    {
        return e.device.isEmpty() ? e.portSetting
                                  : e.portSetting + QStringLiteral(" / ") + e.device;
    }
    bool matches(const JournalEntry &e) const
    {
        const QDate day = e.time.toLocalTime().date();
        return (machine.isEmpty() || machineOf(e) == machine || e.portSetting == machine) &&
               (fileContains.isEmpty() || e.file.contains(fileContains, Qt::CaseInsensitive)) &&
               (!from.isValid() || day >= from) && (!to.isValid() || day <= to);
    }
};

class TransferJournal : public QObject
{
    Q_OBJECT
public:
    static constexpr char FileName[] = "journal.db";
    // Rows kept in memory while the file cannot be written; older ones are dropped.
    static constexpr int MaxPending = 10000;

    explicit TransferJournal(const QString &path, QObject *parent = nullptr);
    ~TransferJournal() override; // writes what is queued first

    QString path() const { return m_path; }
    // Queues one row; returns at once.
    void append(JournalEntry entry);
    // Waits until every queued row is written or found unwritable.
    void flush();

    // The journal every transfer of this process records in (none: recording does nothing).
    static void setProcessJournal(TransferJournal *journal);
    static void record(const JournalEntry &entry);
    static TransferJournal *processJournal();
    static QString currentUser();

    // Reading, for the Journal window and ncferry-cli. Rows from since on (all when invalid).
    static bool readRows(const QString &path, const QDateTime &since, QList<JournalRow> *rows,
                         QString *error);
    struct Check {
        bool ok = false;
        qint64 rows = 0;
        qint64 firstBadId = 0;
        QString problem; // what is wrong, in words
    };
    static Check verify(const QString &path);
    static QString csv(const QList<JournalRow> &rows);
    // The hash a row must carry, from the row before it.
    static QString rowHash(const QString &previousHash, qint64 id, const JournalEntry &e);

signals:
    // The journal could not be written or was set aside; said once per journal.
    void problem(const QString &message);

private:
    void run();
    bool openDatabase();
    bool writeRow(JournalEntry &e);
    void tell(const QString &message);

    QString m_path;
    QString m_connection;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<JournalEntry> m_queue;
    bool m_writing = false;
    bool m_stopping = false;
    bool m_opened = false;
    bool m_told = false;
    std::thread m_thread;
};
