#include "automode/SendListEntry.h"

#include "automode/RequestProtocol.h"
#include "settings/NcText.h"
#include "transfer/LineControl.h"
#include "transfer/ProgramRestart.h"

#include <QDir>
#include <QFile>

namespace AutoMode
{

namespace
{

const char *const verbTexts[] = {"SHOW", "MARK", "SEND", "ERROR", "SUCCESS", "LIST", "COMPARE"};

QString asciiUpper(QString text)
{
    for (QChar &c : text) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return text;
}

} // namespace

QString DeviceCode(int device)
{
    return QStringLiteral("%1").arg(device & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

int DeviceNumber(const QString &code)
{
    for (int n = 0; n < 8; ++n) {
        if (code == DeviceCode(1 << n))
            return n;
    }
    return -1;
}

SendListEntry SendListEntry::show()
{
    return {};
}

SendListEntry SendListEntry::mark(const QString &device)
{
    SendListEntry e;
    e.verb = Mark;
    e.device = device;
    return e;
}

SendListEntry SendListEntry::send(const QString &device, const QString &path)
{
    SendListEntry e;
    e.verb = Send;
    e.device = device;
    e.path = path;
    e.kind = QStringLiteral("READ");
    return e;
}

SendListEntry SendListEntry::error(const QString &device, const QString &path,
                                   const QString &number)
{
    SendListEntry e = send(device, path);
    e.verb = Error;
    e.number = number;
    return e;
}

SendListEntry SendListEntry::success(const QString &device, const QString &path,
                                     const QString &number)
{
    SendListEntry e;
    e.verb = Success;
    e.device = device;
    e.path = path;
    e.kind = QStringLiteral("SAVE");
    e.number = number;
    return e;
}

SendListEntry SendListEntry::list(const QString &device, const QString &folder,
                                  const QString &number, const QStringList &lines)
{
    SendListEntry e = error(device, folder, number);
    e.verb = List;
    e.detail = lines;
    return e;
}

SendListEntry SendListEntry::compare(const QString &device, const QString &path,
                                     const QString &number, const QStringList &result)
{
    SendListEntry e = success(device, path, number);
    e.verb = Compare;
    e.detail = result;
    return e;
}

QString SendListEntry::verbText() const
{
    return QString::fromLatin1(verbTexts[verb]);
}

QString SendListEntry::text() const
{
    QStringList fields{verbText()};
    switch (verb) {
    case Show:
        break;
    case Mark:
        fields << device;
        break;
    case Send:
        fields << device << path << kind;
        if (!restart.isEmpty())
            fields << restart;
        break;
    case Error:
    case Success:
    case List:
    case Compare:
        fields << device << path << kind << number;
        break;
    }
    return fields.join(u',');
}

bool SendListEntry::operator==(const SendListEntry &o) const
{
    return verb == o.verb && device == o.device && path == o.path && kind == o.kind &&
           number == o.number && detail == o.detail && restart == o.restart;
}

bool LogEvent::operator==(const LogEvent &o) const
{
    return status == o.status && device == o.device && kind == o.kind && path == o.path;
}

QString LogLine(const LogEvent &event, const QDateTime &when)
{
    QString device = QStringLiteral(" Device ");
    if (event.device != DeviceCode(CableDevice)) {
        const int n = DeviceNumber(event.device);
        device = QStringLiteral(" Device[%1] ").arg(n >= 0 ? QString::number(n) : event.device);
    }
    return event.status + when.toString(QStringLiteral(" yyyy-MM-dd HH:mm:ss")) + device +
           event.kind + u':' + ToPcPath(event.path) +
           (event.detail.isEmpty() ? QString() : QStringLiteral(" (") + event.detail + u')');
}

QByteArray ReplyProgram(const SendListEntry &entry)
{
    QString text = QStringLiteral("%\r\nO") + entry.number + QStringLiteral("\r\n");
    const auto comment = [&text](const QString &line) {
        text += u'(' + line + QStringLiteral(")\r\n");
    };
    if (entry.verb == SendListEntry::List || entry.verb == SendListEntry::Compare) {
        for (const QString &line : entry.detail)
            comment(line);
        if (entry.verb == SendListEntry::Compare)
            comment(asciiUpper(entry.path));
    } else {
        comment(entry.verbText());
        comment(entry.kind);
        comment(asciiUpper(entry.path));
        for (const QString &line : entry.detail)
            comment(line);
    }
    text += QStringLiteral("M30\r\n%");
    return LineControl::DC2 + NcText::toBytes(text) + LineControl::DC4;
}

ProgramFile ProgramFileFromContent(const QByteArray &content)
{
    // Cut and changed as text, not as bytes: in a double-byte code page an "O" byte can be
    // the second half of a character.
    ProgramFile file;
    file.text = NcText::fromBytes(content);
    const qsizetype end = file.text.indexOf(QChar(0x1A));
    if (end >= 0)
        file.text.truncate(end);
    QString sent = file.text;
    sent.replace(u'O', u':');
    file.bytes = LineControl::DC2 + NcText::toBytes(sent) + LineControl::DC4;
    return file;
}

bool ProgramFileFrom(const QByteArray &content, const QString &restart, ProgramFile *file,
                     QString *error)
{
    if (restart.isEmpty()) {
        *file = ProgramFileFromContent(content);
        return true;
    }
    const ProgramRestart::Point at = ProgramRestart::Parse(restart);
    QString text = NcText::fromBytes(content);
    const qsizetype end = text.indexOf(QChar(0x1A));
    if (end >= 0)
        text.truncate(end);
    const ProgramRestart::Result r = ProgramRestart::Apply(text, at);
    if (!r.found) {
        if (error)
            *error =
                at.isValid()
                    ? QStringLiteral("the program has no block %1").arg(at.text)
                    : QStringLiteral("\"%1\" is not a block (N1500) or a tool (T5)").arg(restart);
        return false;
    }
    *file = ProgramFileFromContent(NcText::toBytes(r.text));
    return true;
}

bool ReadProgramFile(const QString &path, ProgramFile *file, QString *error, const QString &restart)
{
    QFile f(path);
    QByteArray content;
    if (f.open(QIODevice::ReadOnly))
        content = f.readAll();
    if (!f.isOpen() || f.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("\"%1\" cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    if (!ProgramFileFrom(content, restart, file, error)) {
        if (error)
            *error = QStringLiteral("\"%1\": %2").arg(QDir::toNativeSeparators(path), *error);
        return false;
    }
    return true;
}

QByteArray StoredProgram(const QStringList &lines, bool endsWithLineBreak)
{
    QString text = lines.join(QStringLiteral("\r\n"));
    if (endsWithLineBreak)
        text += QStringLiteral("\r\n");
    return NcText::toBytes(text);
}

QStringList BufferLines(const QString &buffer, bool *endsWithLineBreak)
{
    QStringList lines = buffer.split(QStringLiteral("\r\n"));
    const bool ends = buffer.endsWith(QStringLiteral("\r\n"));
    if (ends || buffer.isEmpty())
        lines.removeLast();
    if (endsWithLineBreak)
        *endsWithLineBreak = ends;
    return lines;
}

} // namespace AutoMode
