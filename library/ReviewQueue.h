#pragma once
// Returned programs that wait for a person before they replace anything. A held program lies
// in the "review" folder beside the program it would replace, as
// "review/<stem>~<yyyyMMdd-HHmmss>[-n]<ext>" (local time of holding; "-2", "-3", ... when one
// second holds more than one), so every held version keeps a file of its own. Beside it,
// "<held name>.held" says which program it is for, when, and from which port setting and
// device. Accepting stores it through ProgramStore (the old program kept as a backup first);
// rejecting moves it into the "failed" folder beside its target. Neither removes the held
// copy before its new place is written.
#include "library/ProgramStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class ReviewQueue
{
public:
    static constexpr char Folder[] = "review";
    static constexpr char InfoSuffix[] = ".held";

    // Where a returned program came from; empty texts when not known.
    struct Origin {
        QString portSetting;
        QString device; // device code: "00" a cable, "01" ... "80" radio devices
    };

    struct Entry {
        QString heldPath;
        QString targetPath;
        QDateTime time; // when it was held; the file's time when its note is missing
        Origin origin;
    };

    struct Hold {
        enum Outcome { Held, Identical, AlreadyHeld, Failed };
        Outcome outcome = Failed;
        QString heldPath; // Held: the new copy; AlreadyHeld: the copy with the same bytes
        QString reason;   // Failed: why, with the folder's name
    };

    struct Decision {
        bool done = false;
        QString targetPath;
        ProgramStore::Result stored; // accept: what storing did
        QString movedTo;             // reject: the program's file in "failed"
        QString reason;              // not done: why; nothing was changed
        QString warning;             // done, but the held copy could not be removed
    };

    // The review folder of the program at targetPath.
    static QString folderFor(const QString &targetPath);

    // Holds bytes meant for targetPath. A program identical to the stored one, or to one
    // already held for it, is not held again.
    static Hold hold(const QString &targetPath, const QByteArray &bytes, const Origin &origin);

    // The programs held in folder's review folder, oldest first.
    static QList<Entry> list(const QString &folder);
    // The same in every review folder at or below each of roots (symbolic links not followed),
    // each folder once.
    static QList<Entry> find(const QStringList &roots);
    // What heldPath is; false with a reason when it is not a program held for review.
    static bool entryOf(const QString &heldPath, Entry *entry, QString *reason);

    static Decision accept(const QString &heldPath, int backupLimit = ProgramStore::processLimit());
    static Decision reject(const QString &heldPath);
};
