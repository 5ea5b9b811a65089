#pragma once
// The one writer of received programs. A program that would replace a stored one is compared
// first: identical bytes are not written again; different bytes are written beside it, the
// old file takes the name "backup/<stem>~<n>.<ext>" (at most backupLimit per program, oldest
// pruned) and the new file is renamed into place. The old bytes are never copied.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QFile;

class ProgramStore
{
public:
    static constexpr int DefaultBackupLimit = 10;
    static constexpr char BackupFolder[] = "backup";

    struct Result {
        enum Outcome { Stored, Identical, Failed };
        Outcome outcome = Failed;
        QString backupPath;    // the old content, when one was replaced
        QString backupProblem; // why no backup could be made (the program is stored anyway)
        QString reason;        // Failed: the system's reason
    };

    static constexpr int MaxBackupLimit = 1000;

    explicit ProgramStore(int backupLimit = processLimit()) : m_limit(backupLimit) {}
    // A program is replaced only once its old content is kept (a decision made at the PC, where
    // the new program stays put when the old one cannot be kept).
    void setBackupRequired(bool required) { m_backupRequired = required; }

    // "[Backups] Limit" of the NCFerry.ini at path: DefaultBackupLimit when it is missing or
    // not a number, 0 (no backups) up to MaxBackupLimit.
    static int backupLimitFrom(const QString &iniPath);
    // The limit of every store of this process that is not given one.
    static void setProcessLimit(int limit);
    static int processLimit();

    Result store(const QString &path, const QByteArray &bytes) const;
    // The same for a program too large to hold twice: `same` tells whether the stored file
    // (opened for reading) holds the new program already; `write` writes it atomically to
    // the path it is given (path itself, or a file beside it).
    Result storeBy(const QString &path, const std::function<bool(QFile &stored)> &same,
                   const std::function<bool(const QString &to, QString *reason)> &write) const;
    // The backup folder of a stored program and the n-th backup's path.
    static QString backupPathFor(const QString &path, int n);
    // The backups of a stored program that exist now, the newest (highest number) first.
    static QStringList backupsOf(const QString &path);

private:
    // Gives the stored file at path a backup name as well (a second link, else a copy).
    QString keepBackup(const QString &path, QString *problem) const;
    void prune(const QString &path) const;
    int m_limit;
    bool m_backupRequired = false;
};
