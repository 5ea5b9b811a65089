#include "library/TransferJournal.h"

#include <QAtomicInt>
#include <QAtomicPointer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace
{

QAtomicInt connectionCounter;
QAtomicPointer<TransferJournal> processJournal_;

const char createTable[] = "CREATE TABLE IF NOT EXISTS journal (\n"
                           "id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
                           "time TEXT NOT NULL,\n"
                           "port_setting TEXT, device TEXT, direction TEXT, file TEXT,\n"
                           "characters INTEGER, sha256 TEXT, result TEXT, reason TEXT,\n"
                           "user TEXT, prev_hash TEXT NOT NULL, row_hash TEXT NOT NULL)";
const char columns[] = "id, time, port_setting, device, direction, file, characters, sha256, "
                       "result, reason, user, prev_hash, row_hash";

QString timeText(const QDateTime &t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QString nextConnection(const char *kind)
{
    return QStringLiteral("NCFerryJournal%1%2")
        .arg(QLatin1String(kind))
        .arg(connectionCounter.fetchAndAddOrdered(1));
}

QString sha256Of(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

// The connection is dropped when the scope ends, after every query on it is gone.
class Connection
{
public:
    Connection(const QString &name, const QString &path, const QString &options) : m_name(name)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(options);
        m_ok = db.open();
        if (!m_ok)
            m_error = db.lastError().text();
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

private:
    QString m_name;
    bool m_ok = false;
    QString m_error;
};

JournalRow rowOf(const QSqlQuery &q)
{
    JournalRow r;
    r.id = q.value(0).toLongLong();
    JournalEntry &e = r.entry;
    e.time = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
    e.portSetting = q.value(2).toString();
    e.device = q.value(3).toString();
    e.direction = q.value(4).toString();
    e.file = q.value(5).toString();
    e.characters = q.value(6).toLongLong();
    e.sha256 = q.value(7).toString();
    e.result = q.value(8).toString();
    e.reason = q.value(9).toString();
    e.user = q.value(10).toString();
    r.previousHash = q.value(11).toString();
    r.rowHash = q.value(12).toString();
    return r;
}

QString csvField(const QString &s)
{
    if (!s.contains(u',') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString quoted = s;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

TransferJournal::TransferJournal(const QString &path, QObject *parent)
    : QObject(parent), m_path(path), m_connection(nextConnection("W"))
{
    m_thread = std::thread([this] { run(); });
}

TransferJournal::~TransferJournal()
{
    TransferJournal *self = this;
    processJournal_.testAndSetOrdered(self, nullptr);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TransferJournal::setProcessJournal(TransferJournal *journal)
{
    processJournal_.storeRelease(journal);
}

TransferJournal *TransferJournal::processJournal()
{
    return processJournal_.loadAcquire();
}

void TransferJournal::record(const JournalEntry &entry)
{
    if (TransferJournal *j = processJournal_.loadAcquire())
        j->append(entry);
}

QString TransferJournal::currentUser()
{
    // Looked up once: getpwuid's answer lives in a buffer that every caller shares, and rows
    // are recorded from the send worker and the window's thread alike.
    static const QString user = [] {
#ifdef Q_OS_UNIX
        if (const passwd *pw = ::getpwuid(::geteuid()))
            return QString::fromLocal8Bit(pw->pw_name);
#endif
        const QString name = qEnvironmentVariable("USER");
        return name.isEmpty() ? qEnvironmentVariable("USERNAME") : name;
    }();
    return user;
}

void TransferJournal::append(JournalEntry entry)
{
    if (!entry.time.isValid())
        entry.time = QDateTime::currentDateTimeUtc();
    if (entry.user.isEmpty())
        entry.user = currentUser();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(entry));
        while (m_queue.size() > size_t(MaxPending))
            m_queue.pop_front();
        m_writing = true;
    }
    m_wake.notify_all();
}

void TransferJournal::flush()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_writing; });
}

void TransferJournal::tell(const QString &message)
{
    if (m_told)
        return;
    m_told = true;
    emit problem(message);
}

QString TransferJournal::rowHash(const QString &previousHash, qint64 id, const JournalEntry &e)
{
    const QChar sep(0x1f);
    const QString text = QStringList{previousHash,     QString::number(id),
                                     timeText(e.time), e.portSetting,
                                     e.device,         e.direction,
                                     e.file,           QString::number(e.characters),
                                     e.sha256,         e.result,
                                     e.reason,         e.user}
                             .join(sep);
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool TransferJournal::openDatabase()
{
    if (m_opened)
        return true;
    const QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString why;
        {
            if (!QFileInfo(m_path).absoluteDir().exists())
                QDir().mkpath(QFileInfo(m_path).absolutePath());
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
            db.setDatabaseName(m_path);
            db.setConnectOptions(options);
            if (!db.open()) {
                why = db.lastError().text();
            } else {
                QSqlQuery q(db);
                // A file that is no database fails its first read, not its open.
                if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
                    why = q.lastError().text();
                // A commit then costs one write to the log, not a sync of every page: the
                // row of a transfer is on disk long before the next transfer ends.
                else if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
                         !q.exec(QStringLiteral("PRAGMA synchronous=NORMAL")))
                    why = q.lastError().text();
                else if (!q.exec(QString::fromLatin1(createTable)))
                    why = q.lastError().text();
                else if (!q.exec(QStringLiteral("SELECT %1 FROM journal LIMIT 1")
                                     .arg(QLatin1String(columns))))
                    why = QStringLiteral("its journal table is not one of ours (%1)")
                              .arg(q.lastError().text());
            }
            if (why.isEmpty()) {
                m_opened = true;
                return true;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
        if (attempt > 0 || !QFileInfo(m_path).isFile() || !QFileInfo(m_path).isWritable() ||
            why.contains(QLatin1String("unable to open"), Qt::CaseInsensitive) ||
            why.contains(QLatin1String("locked"), Qt::CaseInsensitive)) {
            tell(QStringLiteral("The transfer journal \"%1\" cannot be written (%2); transfers go "
                                "on without it.")
                     .arg(QDir::toNativeSeparators(m_path), why));
            return false;
        }
        // Not a journal: kept aside for whoever wants to look, and a new one begun.
        const QString aside = m_path + QDateTime::currentDateTime().toString(
                                           QStringLiteral(".'damaged'-yyyyMMdd-HHmmss"));
        if (!QFile::rename(m_path, aside)) {
            tell(QStringLiteral("The transfer journal \"%1\" is not a journal database (%2) and "
                                "cannot be set aside; transfers go on without it.")
                     .arg(QDir::toNativeSeparators(m_path), why));
            return false;
        }
        tell(QStringLiteral("The transfer journal \"%1\" was not a journal database (%2); it is "
                            "kept as \"%3\" and a new journal is started.")
                 .arg(QDir::toNativeSeparators(m_path), why, QDir::toNativeSeparators(aside)));
    }
    return false;
}

bool TransferJournal::writeRow(JournalEntry &e)
{
    if (e.sha256.isEmpty())
        e.sha256 = sha256Of(e.file);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    // The write lock first: a second program writing the journal waits, and the chain never
    // forks.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        tell(QStringLiteral("The transfer journal \"%1\" cannot be written (%2); transfers go on, "
                            "and the rows are kept until it can.")
                 .arg(QDir::toNativeSeparators(m_path), q.lastError().text()));
        return false;
    }
    qint64 last = 0;
    QString previous;
    bool ok = q.exec(QStringLiteral("SELECT id, row_hash FROM journal ORDER BY id DESC LIMIT 1"));
    if (ok && q.next()) {
        last = q.value(0).toLongLong();
        previous = q.value(1).toString();
    }
    // A removed last row leaves its number in use: the next row says so by its gap.
    if (ok && q.exec(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'journal'")) &&
        q.next())
        last = qMax(last, q.value(0).toLongLong());
    const qint64 id = last + 1;
    ok = ok && q.prepare(QStringLiteral("INSERT INTO journal (%1) VALUES "
                                        "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                             .arg(QLatin1String(columns)));
    if (ok) {
        q.addBindValue(id);
        q.addBindValue(timeText(e.time));
        q.addBindValue(e.portSetting);
        q.addBindValue(e.device);
        q.addBindValue(e.direction);
        q.addBindValue(e.file);
        q.addBindValue(e.characters);
        q.addBindValue(e.sha256);
        q.addBindValue(e.result);
        q.addBindValue(e.reason);
        q.addBindValue(e.user);
        q.addBindValue(previous.isNull() ? QStringLiteral("") : previous); // NULL is refused
        q.addBindValue(rowHash(previous, id, e));
        ok = q.exec();
    }
    q.finish(); // a statement still open would keep COMMIT from ending the transaction
    QSqlQuery end(db);
    if (!ok || !end.exec(QStringLiteral("COMMIT"))) {
        const QString why = (ok ? end : q).lastError().text();
        end.exec(QStringLiteral("ROLLBACK"));
        tell(QStringLiteral("The transfer journal \"%1\" cannot be written (%2); transfers go on, "
                            "and the rows are kept until it can.")
                 .arg(QDir::toNativeSeparators(m_path), why));
        return false;
    }
    return true;
}

void TransferJournal::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_writing; });
        if (m_queue.empty()) {
            m_writing = false;
            m_idle.notify_all();
            if (m_stopping)
                break;
            continue;
        }
        JournalEntry e = m_queue.front();
        lock.unlock();
        const bool written = openDatabase() && writeRow(e);
        lock.lock();
        if (written) {
            m_queue.pop_front();
            continue;
        }
        // Kept for the next row that comes; nothing retries in a loop meanwhile.
        m_writing = false;
        m_idle.notify_all();
        if (m_stopping)
            break;
    }
    lock.unlock();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool TransferJournal::readRows(const QString &path, const QDateTime &since, QList<JournalRow> *rows,
                               QString *error)
{
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("there is no journal \"%1\"").arg(QDir::toNativeSeparators(path));
        return false;
    }
    Connection c(nextConnection("R"), path,
                 QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    if (!c.ok()) {
        *error = c.error();
        return false;
    }
    bool ok;
    {
        QSqlQuery q(c.db());
        QString sql = QStringLiteral("SELECT %1 FROM journal").arg(QLatin1String(columns));
        if (since.isValid())
            sql += QStringLiteral(" WHERE time >= ?");
        ok = q.prepare(sql + QStringLiteral(" ORDER BY id"));
        if (ok && since.isValid())
            q.addBindValue(timeText(since));
        ok = ok && q.exec();
        if (!ok)
            *error = q.lastError().text();
        while (ok && q.next())
            rows->append(rowOf(q));
    }
    return ok;
}

TransferJournal::Check TransferJournal::verify(const QString &path)
{
    Check check;
    QList<JournalRow> rows;
    if (!readRows(path, QDateTime(), &rows, &check.problem))
        return check;
    QString previous;
    qint64 lastId = 0;
    for (const JournalRow &r : rows) {
        ++check.rows;
        if (r.id != lastId + 1 || r.previousHash != previous) {
            check.firstBadId = r.id;
            check.problem =
                QStringLiteral("row %1 does not follow the row before it: a row before it was "
                               "removed or changed")
                    .arg(r.id);
            return check;
        }
        if (rowHash(previous, r.id, r.entry) != r.rowHash) {
            check.firstBadId = r.id;
            check.problem = QStringLiteral("row %1 was changed after it was written").arg(r.id);
            return check;
        }
        previous = r.rowHash;
        lastId = r.id;
    }
    {
        Connection c(nextConnection("V"), path, QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(c.db());
        if (c.ok() &&
            q.exec(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'journal'")) &&
            q.next() && q.value(0).toLongLong() > lastId) {
            check.firstBadId = lastId + 1;
            check.problem = QStringLiteral("rows %1 to %2 were removed")
                                .arg(lastId + 1)
                                .arg(q.value(0).toLongLong());
            return check;
        }
    }
    check.ok = true;
    return check;
}

QString TransferJournal::csv(const QList<JournalRow> &rows)
{
    QString out = QStringLiteral("id,time (UTC),port setting,device,direction,file,characters,"
                                 "sha256,result,reason,user\r\n");
    for (const JournalRow &r : rows) {
        const JournalEntry &e = r.entry;
        out += QStringList{QString::number(r.id),
                           timeText(e.time),
                           csvField(e.portSetting),
                           csvField(e.device),
                           e.direction,
                           csvField(e.file),
                           QString::number(e.characters),
                           e.sha256,
                           csvField(e.result),
                           csvField(e.reason),
                           csvField(e.user)}
                   .join(u',') +
               QStringLiteral("\r\n");
    }
    return out;
}
