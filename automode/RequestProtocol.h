#pragma once
// The auto mode's request protocol: what a program punched out by a machine means, and what
// the PC does about it. A program whose program line is "O" + the request number asks for
// files named by its code lines; any other program is stored. The engine never touches the
// line: it is given one complete received program and answers with the send-list entries to
// queue, the events to log and the file it stored. The link engine feeds it and executes the
// entries; the window and `ncferry-cli auto` show and keep the log.
#include "automode/AutoModeValues.h"
#include "automode/SendListEntry.h"
#include "library/ProgramFiles.h"
#include "settings/PortProfile.h"

#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

namespace AutoMode
{

// Machine form to PC form: "#" stands for ":" and "/" for the folder separator, since a
// control cannot punch ":" (it means "O") and often has no "\". Off Windows the PC separator
// is "/" itself.
QString ToPcPath(const QString &text);
QString ToMachinePath(const QString &text);

using ProgramFiles::SafeFileName;
using ProgramFiles::UnnamedProgram;
// Characters kept of a stored program's name: room for "-n", the extension and characters
// that take two bytes on disk, within the 255 bytes file systems allow.
constexpr int MaxStoredName = 100;

// What one handling did, for the link (entries), the log (events) and the operator.
struct Handling {
    enum Kind { Ignored, Request, Return };

    Kind kind = Ignored;
    QList<SendListEntry> entries; // to append to the send list, in order
    QList<LogEvent> log;
    QString storedPath; // return program: where it was written
    QString storeError; // return program: why it could not be written, and where it was kept
    QString keptPath;   // return program that could not be stored: the failed transfer
    QString heldPath;   // return program held for review: the held copy
};

// Where a received program belongs: its folder and file name, from its code lines.
struct ProgramTarget {
    QString folder;
    QString fileName;
};

// Settings of the request forms that Option.ini has no line for (NCFerry.ini).
struct RequestOptions {
    // A comment line with the reason in every ERROR reply; off for controls that must get the
    // reply without it.
    bool errorReasons = true;
    // Time for the operator to switch the control to input before an answer begins.
    int answerDelayMs = 0;
    // Numbered backups kept of each replaced program ("[Backups] Limit").
    int backupLimit = 10;
    // Returned programs wait in the review folder beside their target until accepted.
    bool holdForReview = false;
};

class RequestProtocol
{
public:
    // portSetting: the port setting the auto mode runs on.
    RequestProtocol(const PortProfile &portSetting, GeneralValuesSource values);

    void setPortSetting(const PortProfile &portSetting) { m_port = portSetting; }
    void setOptions(const RequestOptions &options) { m_options = options; }
    const RequestOptions &options() const { return m_options; }
    bool isRadio() const { return m_port.isRadio(); }
    // The port setting's extension pattern without its first character ("*.nc" gives ".nc").
    QString extension() const { return m_port.extension(); }

    // One received program from `device` (0 cable, else its bit): its lines without line
    // ends, ":" already turned into "O". Fewer than two lines hold no program line and are
    // ignored. The general values are read once, at the start.
    Handling HandleProgram(int device, const QStringList &lines, bool endsWithLineBreak = true);
    // The same for a receive buffer as the link collects it (CR LF line breaks, NC code
    // page). A return program is stored from the buffer itself, never split into lines:
    // its memory is the buffer's and little more.
    Handling HandleBuffer(int device, const QByteArray &buffer);
    // Where the program in buffer would be stored (a program cut short has no other name).
    ProgramTarget TargetOf(const QByteArray &buffer) const;
    // Keeps bytes that are not a whole program as a failed transfer beside where they belong;
    // the file written, or empty with *reason.
    QString KeepFailedTransfer(const QByteArray &buffer, QString *reason) const;
    // The user's data folder, where failed transfers go when the program folder takes none.
    void setFallbackFolder(const QString &folder) { m_fallback = folder; }

    // The rules of one handling, against the values and port setting given.
    static QString ResolvePath(const GeneralValues &values, const PortProfile &port,
                               const QString &current, const QString &line);
    static QString ResolveFolder(const GeneralValues &values, const QString &current,
                                 const QString &line);
    // The requested file name without extension, safe to put in a folder.
    static QString ResolveName(const GeneralValues &values, const QString &line);
    // The same with "*" and "?" kept, for matching names in a folder.
    static QString ResolvePattern(const GeneralValues &values, const QString &line);
    // The stored program's name: the comment of its program line or the text before it;
    // an unusable name falls back to the program number, then to UnnamedProgram. At most
    // MaxStoredName characters are kept.
    static QString NameFromProgramLine(const GeneralValues &values, const QString &line);
    // path itself when nothing exists there, else stem-1.ext, stem-2.ext, ... the first free.
    static QString UniqueFileName(const QString &path)
    {
        return ProgramFiles::UniqueFileName(path);
    }

    static bool isCodeLine(const QString &code, const QString &line);

    // The general values as they are now.
    GeneralValues currentValues() const { return m_values ? m_values() : GeneralValues(); }

private:
    GeneralValues values() const { return currentValues(); }
    ProgramTarget targetOf(const GeneralValues &values, const QByteArray &buffer) const;
    void storeReturn(Handling &h, const GeneralValues &values, const QString &code,
                     const ProgramTarget &target, const QByteArray &bytes) const;
    void holdReturn(Handling &h, const GeneralValues &values, const QString &code,
                    const ProgramTarget &target, const QByteArray &bytes) const;
    void keepUnstored(Handling &h, const QString &code, const ProgramTarget &target,
                      const QString &path, const QString &problem, const QByteArray &bytes) const;
    // Request forms: the answers to one name line, and the listing of a request.
    void answerName(Handling &h, const GeneralValues &values, const QString &code,
                    const QString &folder, const QString &name, const QString &restart,
                    const QString &noFolder) const;
    // asked: {folder, pattern, "P3" when a number was outside its list} per name line.
    void answerListing(Handling &h, const GeneralValues &values, const QString &code,
                       const QList<QStringList> &asked) const;
    void compareReturn(Handling &h, const GeneralValues &values, const QString &code,
                       const ProgramTarget &target, const QStringList &lines) const;
    void errorReply(Handling &h, const GeneralValues &values, const QString &code,
                    const QString &path, const QString &reason, const QString &kind) const;
    // The answer delay on the first answer of a handling.
    void delayAnswers(Handling &h, const QDeadlineTimer &at) const;

    PortProfile m_port;
    GeneralValuesSource m_values;
    QString m_fallback;
    RequestOptions m_options;
};

} // namespace AutoMode
