#pragma once
// What the auto mode queues for the link, what it logs, and the bytes it puts on the line.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace AutoMode
{

// Device 0 on a cable line, else one bit per radio device (0x01 device 0 ... 0x80 device 7).
constexpr int CableDevice = 0;
constexpr int AllDevices = 0xFF;

// Two upper-case hexadecimal digits: "00" cable, "01" ... "80", "FF" all devices.
QString DeviceCode(int device);
// The radio device number 0 to 7 of a code "01" ... "80"; -1 for "00", "FF" or anything else.
int DeviceNumber(const QString &code);

// One action for the link. The fields are kept apart, so a path holding blanks or commas is
// never split; text() is the written form, for display only.
struct SendListEntry {
    enum Verb { Show, Mark, Send, Error, Success, List, Compare };

    Verb verb = Show;
    QString device; // device code; for "MARK" the devices to select
    QString path;   // "SEND", "ERROR", "SUCCESS"
    QString kind;   // "READ" or "SAVE"
    QString number; // error-output number of a reply
    // Comment lines of the reply without brackets: an error's reason, a listing's programs,
    // a comparison's result.
    QStringList detail;
    // "SEND": the block or tool to begin at ("N1500", "T5"); empty: from the start.
    QString restart;
    // An answer's first byte goes out no earlier than this (QDeadlineTimer ms); 0: at once.
    qint64 answerAtMs = 0;

    static SendListEntry show();
    static SendListEntry mark(const QString &device);
    static SendListEntry send(const QString &device, const QString &path);
    static SendListEntry error(const QString &device, const QString &path, const QString &number);
    static SendListEntry success(const QString &device, const QString &path, const QString &number);
    // A listing of folder, one program per detail line.
    static SendListEntry list(const QString &device, const QString &folder, const QString &number,
                              const QStringList &lines);
    // The result of comparing a returned program with the stored one at path.
    static SendListEntry compare(const QString &device, const QString &path, const QString &number,
                                 const QStringList &result);

    QString verbText() const;
    // "SHOW", "MARK,04", "SEND,04,<path>,READ", "ERROR,04,<path>,READ,9997", ...
    QString text() const;
    bool isReply() const
    {
        return verb == Error || verb == Success || verb == List || verb == Compare;
    }

    bool operator==(const SendListEntry &other) const;
    bool operator!=(const SendListEntry &other) const { return !(*this == other); }
};

struct LogEvent {
    LogEvent() = default;
    LogEvent(QString status, QString device, QString kind, QString path, QString detail = {})
        : status(std::move(status)), device(std::move(device)), kind(std::move(kind)),
          path(std::move(path)), detail(std::move(detail))
    {
    }

    QString status; // "SUCCESS" or "ERROR"
    QString device; // device code
    QString kind;   // "READ" or "SAVE"
    QString path;
    QString detail; // what else the log says: a reason, a comparison's result, a restart

    bool operator==(const LogEvent &other) const;
};

// "SUCCESS 2012-03-05 14:07:09 Device[2] READ:D:\NC\LATHE\O1234.nc"; a cable line shows
// " Device " without a number; a detail follows in brackets.
QString LogLine(const LogEvent &event, const QDateTime &when);

// The reply program of a reply entry, DC2 to DC4; the path goes out with its ASCII letters in
// upper case. An error's or success's detail lines follow the path line; a listing's and a
// comparison's detail lines are the body (a comparison's followed by the path).
QByteArray ReplyProgram(const SendListEntry &entry);

// A program file as it is sent: what the file holds up to its first Ctrl-Z, read in the NC
// code page. text is for the send pane; bytes are DC2, the text with every "O" as ":", DC4.
struct ProgramFile {
    QString text;
    QByteArray bytes;
};
ProgramFile ProgramFileFromContent(const QByteArray &content);
// The same from the block or tool restart names ("N1500", "T5"); false with *error when the
// program has no such block.
bool ProgramFileFrom(const QByteArray &content, const QString &restart, ProgramFile *file,
                     QString *error);
// The pause after a program file's DC4 before its entry counts as done.
constexpr int AfterProgramFileMs = 100;
// False with a user-facing *error when the file cannot be read.
bool ReadProgramFile(const QString &path, ProgramFile *file, QString *error,
                     const QString &restart = QString());

// A received program as it is stored: the lines joined by CR LF, with a final CR LF when the
// received text ended with a line feed.
QByteArray StoredProgram(const QStringList &lines, bool endsWithLineBreak);

// The lines of a receive buffer (CR LF line breaks, as the link collects them); an empty last
// line after a final line break is not counted, and *endsWithLineBreak tells whether there was one.
QStringList BufferLines(const QString &buffer, bool *endsWithLineBreak);

} // namespace AutoMode
