#include "automode/SendListEntry.h"

#include "automode/RequestProtocol.h"
#include "settings/NcText.h"
#include "transfer/LineControl.h"

#include <QDir>
#include <QFile>

namespace AutoMode
{

namespace
{

const char *const verbTexts[] = {"SHOW", "MARK", "SEND", "ERROR", "SUCCESS"};

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
        break;
    case Error:
    case Success:
        fields << device << path << kind << number;
        break;
    }
    return fields.join(u',');
}

bool SendListEntry::operator==(const SendListEntry &o) const
{
    return verb == o.verb && device == o.device && path == o.path && kind == o.kind &&
           number == o.number;
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
           event.kind + u':' + ToPcPath(event.path);
}

QByteArray ReplyProgram(const SendListEntry &entry)
{
    const QString text =
        QStringLiteral("%\r\nO%1\r\n(%2)\r\n(%3)\r\n(%4)\r\nM30\r\n%")
            .arg(entry.number, entry.verbText(), entry.kind, asciiUpper(entry.path));
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

bool ReadProgramFile(const QString &path, ProgramFile *file, QString *error)
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
    *file = ProgramFileFromContent(content);
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
