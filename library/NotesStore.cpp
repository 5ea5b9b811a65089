#include "library/NotesStore.h"

#include "library/FileListing.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace
{

QAtomicInt connectionCounter;

const char *const createTable = "CREATE TABLE FileNote (\n"
                                "FilePath Char(255),\n"
                                "Mark Char(255),\n"
                                "Primary Key(FilePath)\n"
                                ")";

} // namespace

NotesStore::NotesStore(const QString &baseFolder)
    : m_connectionName(
          QStringLiteral("NCFerryNotes%1").arg(connectionCounter.fetchAndAddOrdered(1))),
      m_databasePath(QDir(baseFolder).filePath(QStringLiteral("access.mdb")))
{
}

NotesStore::~NotesStore()
{
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool NotesStore::fail(const QString &message)
{
    m_lastError = message;
    return false;
}

bool NotesStore::open()
{
    m_unusable = false;
    m_startupMessage.clear();
    if (QFile::exists(m_databasePath) ? ConnectMyAccess() : CreateAccess())
        return true;
    // A file that is no database (or one that cannot take the table) stays as it is: the
    // connection is dropped, so every later note operation says the database is not open
    // instead of a driver's riddle, and the notes come from the files' comments.
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::database(m_connectionName, false).close();
    m_unusable = true;
    m_startupMessage = QStringLiteral("The notes database \"%1\" cannot be used (%2). Notes "
                                      "are taken from each file's first comment until it is "
                                      "repaired or removed; the file is left as it is.")
                           .arg(QDir::toNativeSeparators(m_databasePath), m_lastError);
    return false;
}

bool NotesStore::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

bool NotesStore::connect()
{
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (db.isOpen())
        db.close();
    if (!db.isValid())
        return fail(db.lastError().text());
    db.setDatabaseName(m_databasePath);
    if (!db.open())
        return fail(db.lastError().text());
    return true;
}

bool NotesStore::ensureTable()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    if (!db.tables().contains(QStringLiteral("FileNote"), Qt::CaseInsensitive) &&
        !query.exec(QString::fromLatin1(createTable)))
        return fail(query.lastError().text());
    // A listing reads a folder's paths with their notes; with the notes in the index it never
    // visits the table. Other readers of the file see the same table; a read-only file
    // simply goes without.
    query.exec(
        QStringLiteral("create index if not exists FileNoteMarks on FileNote (FilePath, Mark)"));
    return true;
}

bool NotesStore::CreateAccess()
{
    // The failure is shown, yet connecting is still tried, as the user may fix the folder.
    QFile file(m_databasePath);
    m_creationFailed =
        !file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !QFile::exists(m_databasePath);
    file.close();
    if (m_creationFailed)
        m_lastError = creationFailedText();
    return connect() && ensureTable();
}

bool NotesStore::ConnectMyAccess()
{
    // A database without the table would fail every note operation; make the table instead.
    return connect() && ensureTable();
}

QString NotesStore::getSQLMarkData(const QString &path, bool *ok)
{
    if (ok)
        *ok = false;
    if (!isOpen()) {
        fail(QStringLiteral("The notes database is not open."));
        return {};
    }
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("select Mark from FileNote where FilePath = ?"));
    query.addBindValue(path);
    if (!query.exec()) {
        fail(query.lastError().text());
        return {};
    }
    if (ok)
        *ok = true;
    return query.next() ? query.value(0).toString() : QString();
}

bool NotesStore::InsertSQLMarkData(const QString &FilePath, const QString &Mark)
{
    if (!isOpen())
        return fail(QStringLiteral("The notes database is not open."));
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("insert into FileNote (FilePath, Mark) values (?, ?)"));
    query.addBindValue(FilePath);
    query.addBindValue(Mark);
    if (!query.exec())
        return fail(query.lastError().text());
    return true;
}

bool NotesStore::UpdataSQLMarkData(const QString &FilePath, const QString &Mark)
{
    if (!isOpen())
        return fail(QStringLiteral("The notes database is not open."));
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("update FileNote set Mark = ? where FilePath = ?"));
    query.addBindValue(Mark);
    query.addBindValue(FilePath);
    if (!query.exec())
        return fail(query.lastError().text());
    return true;
}

bool NotesStore::storeNote(const QString &FilePath, const QString &Mark)
{
    if (!isOpen())
        return fail(QStringLiteral("The notes database is not open."));
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("select 1 from FileNote where FilePath = ?"));
    query.addBindValue(FilePath);
    if (!query.exec())
        return fail(query.lastError().text());
    const bool exists = query.next();
    query.finish();
    return exists ? UpdataSQLMarkData(FilePath, Mark) : InsertSQLMarkData(FilePath, Mark);
}

namespace
{
// The paths under a folder form the key range [prefix, upper): the folder with its separator,
// and the same with the separator raised by one.
QString upperBound(const QString &prefix)
{
    QString upper = prefix;
    upper.back() = QChar(upper.back().unicode() + 1);
    return upper;
}
} // namespace

bool NotesStore::moveFolderNotes(const QString &oldFolder, const QString &newFolder)
{
    if (!isOpen())
        return fail(QStringLiteral("The notes database is not open."));
    const QString from = FileListing::folderWithSeparator(oldFolder);
    const QString to = FileListing::folderWithSeparator(newFolder);
    if (from == to)
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    // "or replace": a note left under the new path by a folder deleted long ago gives way.
    query.prepare(QStringLiteral("update or replace FileNote set FilePath = ? || "
                                 "substr(FilePath, length(?) + 1) where FilePath >= ? and "
                                 "FilePath < ?"));
    query.addBindValue(to);
    query.addBindValue(from);
    query.addBindValue(from);
    query.addBindValue(upperBound(from));
    if (!query.exec())
        return fail(query.lastError().text());
    return true;
}

bool NotesStore::removeFolderNotes(const QString &folder)
{
    if (!isOpen())
        return fail(QStringLiteral("The notes database is not open."));
    const QString prefix = FileListing::folderWithSeparator(folder);
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.prepare(QStringLiteral("delete from FileNote where FilePath >= ? and FilePath < ?"));
    query.addBindValue(prefix);
    query.addBindValue(upperBound(prefix));
    if (!query.exec())
        return fail(query.lastError().text());
    return true;
}

bool NotesStore::loadFolderNotes(const QString &folder, QHash<QString, QString> *notes)
{
    if (!isOpen())
        return fail(QStringLiteral("The notes database is not open."));
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    // The paths that begin with folder form one key range: from folder up to folder with its
    // last character raised by one. The primary key's index serves it.
    if (folder.isEmpty()) {
        query.prepare(QStringLiteral("select FilePath, Mark from FileNote"));
    } else {
        QString upper = folder;
        upper.back() = QChar(upper.back().unicode() + 1);
        query.prepare(QStringLiteral(
            "select FilePath, Mark from FileNote where FilePath >= ? and FilePath < ?"));
        query.addBindValue(folder);
        query.addBindValue(upper);
    }
    if (!query.exec())
        return fail(query.lastError().text());
    notes->clear();
    while (query.next())
        notes->insert(query.value(0).toString(), query.value(1).toString());
    return true;
}

bool NotesStore::loadFolderNotes(const QString &folder, FolderNotes *notes)
{
    notes->clear();
    if (!isOpen())
        return fail(QStringLiteral("The notes database is not open."));
    if (folder.isEmpty())
        return true;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    // Blobs come back as bytes, sparing the driver's conversion of every text to UTF-16;
    // only the part after the folder is returned, and nothing from the folders below it.
    const QByteArray prefix = folder.toUtf8();
    QString upper = folder;
    upper.back() = QChar(upper.back().unicode() + 1);
    query.prepare(
        QStringLiteral("select substr(cast(FilePath as blob), ?), cast(Mark as blob) from FileNote "
                       "where FilePath >= ? and FilePath < ? and instr(substr(cast(FilePath as "
                       "blob), ?), ?) = 0"));
    const int nameStart = int(prefix.size()) + 1;
    query.addBindValue(nameStart);
    query.addBindValue(folder);
    query.addBindValue(upper);
    query.addBindValue(nameStart);
    query.addBindValue(prefix.right(1));
    if (!query.exec())
        return fail(query.lastError().text());
    while (query.next())
        notes->add(query.value(0).toByteArray(), query.value(1).toByteArray());
    notes->finish();
    return true;
}
