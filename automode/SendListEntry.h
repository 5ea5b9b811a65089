#pragma once
// What the auto mode queues for the link, what it logs, and the bytes it puts on the line.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

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
    enum Verb { Show, Mark, Send, Error, Success };

    Verb verb = Show;
    QString device; // device code; for "MARK" the devices to select
    QString path;   // "SEND", "ERROR", "SUCCESS"
    QString kind;   // "READ" or "SAVE"
    QString number; // error-output number of a reply

    static SendListEntry show();
    static SendListEntry mark(const QString &device);
    static SendListEntry send(const QString &device, const QString &path);
    static SendListEntry error(const QString &device, const QString &path, const QString &number);
    static SendListEntry success(const QString &device, const QString &path, const QString &number);

    QString verbText() const;
    // "SHOW", "MARK,04", "SEND,04,<path>,READ", "ERROR,04,<path>,READ,9997", ...
    QString text() const;
    bool isReply() const { return verb == Error || verb == Success; }

    bool operator==(const SendListEntry &other) const;
    bool operator!=(const SendListEntry &other) const { return !(*this == other); }
};

struct LogEvent {
    QString status; // "SUCCESS" or "ERROR"
    QString device; // device code
    QString kind;   // "READ" or "SAVE"
    QString path;

    bool operator==(const LogEvent &other) const;
};

// "SUCCESS 2012-03-05 14:07:09 Device[2] READ:D:\NC\LATHE\O1234.nc"; a cable line shows
// " Device " without a number.
QString LogLine(const LogEvent &event, const QDateTime &when);

// The reply program of an "ERROR" or "SUCCESS" entry, DC2 to DC4; the path goes out with its
// ASCII letters in upper case.
QByteArray ReplyProgram(const SendListEntry &entry);

// A program file as it is sent: what the file holds up to its first Ctrl-Z, read in the NC
// code page. text is for the send pane; bytes are DC2, the text with every "O" as ":", DC4.
struct ProgramFile {
    QString text;
    QByteArray bytes;
};
ProgramFile ProgramFileFromContent(const QByteArray &content);
// The pause after a program file's DC4 before its entry counts as done.
constexpr int AfterProgramFileMs = 100;
// False with a user-facing *error when the file cannot be read.
bool ReadProgramFile(const QString &path, ProgramFile *file, QString *error);

// A received program as it is stored: the lines joined by CR LF, with a final CR LF when the
// received text ended with a line feed.
QByteArray StoredProgram(const QStringList &lines, bool endsWithLineBreak);

// The lines of a receive buffer (CR LF line breaks, as the link collects them); an empty last
// line after a final line break is not counted, and *endsWithLineBreak tells whether there was one.
QStringList BufferLines(const QString &buffer, bool *endsWithLineBreak);

} // namespace AutoMode
