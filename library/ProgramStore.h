#pragma once
// The one writer of received programs. A program that would replace a stored one is compared
// first: identical bytes are not written again; different bytes keep the old content as
// "backup/<stem>~<n>.<ext>" beside it (at most backupLimit per program, oldest pruned) before
// the new file is renamed into place.
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

    explicit ProgramStore(int backupLimit = DefaultBackupLimit) : m_limit(backupLimit) {}

    Result store(const QString &path, const QByteArray &bytes) const;
    // The same for a program too large to hold twice: `same` tells whether the stored file
    // (opened for reading) holds the new program already; `write` writes it atomically.
    Result storeBy(const QString &path, const std::function<bool(QFile &stored)> &same,
                   const std::function<bool(QString *reason)> &write) const;
    // The backup folder of a stored program and the n-th backup's path.
    static QString backupPathFor(const QString &path, int n);
    // The backups of a stored program that exist now, the newest (highest number) first.
    static QStringList backupsOf(const QString &path);

private:
    QString keepBackup(const QString &path, QString *problem) const;
    int m_limit;
};
