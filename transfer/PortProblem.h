#pragma once
// Port problems in the user's words: the serial driver's own texts ("Is a directory",
// "Permission error while locking the device") do not say what is wrong. The command line
// and the windows share the reasons; each says them in its own words.
#include <QString>
#include <QStringList>

namespace PortProblem
{
// Why a port would not open, as far as it can be told.
enum class Reason {
    Other,         // only the driver's text says it
    HeldBy,        // another program holds the port's lock file and names itself
    HeldElsewhere, // another program holds the port's lock
    OpenHere,      // another window of this program has the port open
    Folder,        // the name is a folder, not a port
    StaleLock,     // a lock file left by a program that has ended still blocks the port
    NoAccess,      // this user may not read and write the device node
};

// Whether this user may open a local port's device node. Serial nodes belong to a group
// ("dialout" on Debian) whose members may use them; that group is read from the node.
struct DeviceAccess {
    bool denied = false;
    QString group;            // the node's group
    bool groupMayUse = false; // the group may read and write it, so joining it helps
};
DeviceAccess deviceAccess(const QString &portName);

struct OpenFailure {
    Reason reason = Reason::Other;
    QString program;     // HeldBy: the program holding the lock
    qint64 pid = 0;      // HeldBy: its process
    QString lockPath;    // StaleLock: the file in the way
    DeviceAccess access; // NoAccess: the node's group
};

// Empty when the record names a port, else why it cannot be used.
QString missingPort(const QString &record, const QString &portName);
OpenFailure openFailureReason(const QString &portName, const QString &driverMessage);
// The command line's message for a port that would not open: a port locked by another
// program names that program when its lock file says; anything else keeps the driver's text.
QString openFailure(const QString &portName, const QString &driverMessage);
// A window's message, from its language pack lines: `lines` hold the texts for HeldBy
// (%1 port, %2 program, %3 process), HeldElsewhere, OpenHere, Folder (%1 port),
// StaleLock (%1 port, %2 lock file), NoAccess with a group to join (%1 port, %2 group) and
// NoAccess without one (%1 port), in that order. Other reasons, or a text missing (a pack
// written before the line was added), give the command line's message.
QString openFailure(const QString &portName, const QString &driverMessage,
                    const QStringList &lines);
// The program holding the port's lock file ("ncferry-cli (process 123)"); empty when there
// is none or its process has ended (a stale lock: the port is not in use).
QString lockHolder(const QString &portName);
} // namespace PortProblem
