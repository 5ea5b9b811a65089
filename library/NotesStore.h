#pragma once
// The notes database: one note per full file path, kept in access.mdb in the data folder.
#include "library/ByteTable.h"

#include <QHash>
#include <QString>

// The notes of one folder's files, keyed by the UTF-8 bytes of the file's name.
using FolderNotes = ByteTable;

class NotesStore
{
public:
    // The database lives in baseFolder as access.mdb (the program's data folder).
    explicit NotesStore(const QString &baseFolder);
    ~NotesStore();
    NotesStore(const NotesStore &) = delete;
    NotesStore &operator=(const NotesStore &) = delete;

    static QString creationFailedText() { return QStringLiteral("Database creation failed。"); }
    static QString creationFailedCaption() { return QStringLiteral("error"); }

    QString databasePath() const { return m_databasePath; }

    // Start-up: connect when access.mdb exists, otherwise create it. False when unusable.
    bool open();
    bool CreateAccess();
    bool ConnectMyAccess();
    bool isOpen() const;
    // True after CreateAccess could not make the file; the window shows creationFailedText().
    bool creationFailed() const { return m_creationFailed; }
    // The database's message for the last failed operation.
    QString lastError() const { return m_lastError; }
    // After open(): the file exists (or was made) but cannot hold notes. The message names
    // it and is meant to be shown once at start.
    bool unusable() const { return m_unusable; }
    QString startupMessage() const { return m_startupMessage; }

    // Empty when the path has no note; *ok is false when the lookup failed.
    QString getSQLMarkData(const QString &path, bool *ok = nullptr);
    bool InsertSQLMarkData(const QString &FilePath, const QString &Mark);
    bool UpdataSQLMarkData(const QString &FilePath, const QString &Mark);
    // Leaving the note editor: update the path's row when there is one, else add it.
    bool storeNote(const QString &FilePath, const QString &Mark);
    // A folder moved or given a new name: the notes of every file in it and below it go to
    // the new paths (replacing what an older folder of that path left behind).
    bool moveFolderNotes(const QString &oldFolder, const QString &newFolder);
    // A folder deleted: the notes of the files in it and below it are deleted with it.
    bool removeFolderNotes(const QString &folder);
    // All notes whose path starts with folder (which ends in a separator), for one listing.
    bool loadFolderNotes(const QString &folder, QHash<QString, QString> *notes);
    // The notes of the files directly in folder (which ends in a separator), for a listing.
    bool loadFolderNotes(const QString &folder, FolderNotes *notes);

private:
    bool connect();
    bool ensureTable();
    bool fail(const QString &message);

    QString m_connectionName;
    QString m_databasePath;
    QString m_lastError;
    bool m_creationFailed = false;
    bool m_unusable = false;
    QString m_startupMessage;
};
