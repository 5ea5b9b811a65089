#include "automode/RequestProtocol.h"

#include "library/ProgramStore.h"
#include "library/ReviewQueue.h"

#include "automode/RemoteRequests.h"
#include "settings/NcText.h"
#include "settings/PortSetting.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace AutoMode
{

namespace
{

constexpr char16_t pcSeparator = ProgramFiles::PcSeparator;

bool endsWithSeparator(const QString &path)
{
    return path.endsWith(u'/') || path.endsWith(pcSeparator);
}

QString withSeparator(const QString &path)
{
    return endsWithSeparator(path) ? path : path + QChar(pcSeparator);
}

// The value a code line carries: a literal text after "(" code "=", else a list number.
struct CodeValue {
    bool literal = false;
    QString text;
};

CodeValue codeValue(const QString &code, const QString &line)
{
    CodeValue value;
    if (line.startsWith(u'(' + code)) {
        const qsizetype at = 1 + code.size();
        if (line.mid(at, 1) == u"=") {
            value.literal = true;
            const qsizetype close = line.indexOf(u')');
            if (close > at)
                value.text = line.mid(at + 1, close - at - 1);
        } else {
            // Up to, not including, the last character: normally the closing ")".
            value.text = line.mid(at, qMax<qsizetype>(0, line.size() - at - 1));
        }
    } else {
        value.text = line.mid(code.size());
    }
    return value;
}

// Only a whole decimal number counts: "200." or "5 " select nothing.
bool listNumber(const CodeValue &value, int *number)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (value.literal || !decimal.match(value.text).hasMatch())
        return false;
    bool ok = false;
    *number = value.text.toInt(&ok, 10);
    return ok;
}

QString fromList(const QStringList &list, int number, const QString &current)
{
    return number >= 1 && number <= list.size() ? list.at(number - 1) : current;
}

// Calls take(index, line) for each line of a buffer with CR LF breaks, as BufferLines counts
// them, until it returns false; gives the number of lines seen.
template <typename Take> int forEachLine(const QByteArray &buffer, Take take)
{
    qsizetype from = 0;
    int index = 0;
    while (from < buffer.size()) {
        qsizetype end = buffer.indexOf("\r\n", from);
        if (end < 0)
            end = buffer.size();
        if (!take(index++, QByteArrayView(buffer).sliced(from, end - from)))
            return index;
        from = end + 2;
    }
    return index;
}

// A line that may be a code line of code: only those are turned into text.
bool mayBeCodeLine(QByteArrayView line, const QString &code)
{
    if (line.isEmpty() || code.isEmpty())
        return false;
    const uchar first = uchar(line.front());
    return first == '(' || first >= 0x80 || QChar(first) == code.front();
}

// "P3" for a code line whose number is outside its list (0 always selects something).
QString outOfList(const QString &code, const QString &line, const QStringList &list)
{
    int number = 0;
    if (!listNumber(codeValue(code, line), &number) || number == 0)
        return QString();
    return number >= 1 && number <= list.size() ? QString() : code + QString::number(number);
}

bool hasLine(const QStringList &lines, const char *line)
{
    for (int i = 2; i < lines.size(); ++i) {
        if (lines.at(i) == QLatin1String(line))
            return true;
    }
    return false;
}

using ProgramFiles::IsForbiddenInName;

} // namespace

QString ToPcPath(const QString &text)
{
    QString out = text;
    out.replace(u'#', u':');
    out.replace(u'/', QChar(pcSeparator));
    return out;
}

QString ToMachinePath(const QString &text)
{
    QString out = text;
    out.replace(u':', u'#');
    out.replace(QChar(pcSeparator), u'/');
    return out;
}

RequestProtocol::RequestProtocol(const PortProfile &portSetting, GeneralValuesSource values)
    : m_port(portSetting), m_values(std::move(values))
{
}

bool RequestProtocol::isCodeLine(const QString &code, const QString &line)
{
    return !code.isEmpty() && (line.startsWith(u'(' + code) || line.startsWith(code));
}

QString RequestProtocol::ResolvePath(const GeneralValues &values, const PortProfile &port,
                                     const QString &current, const QString &line)
{
    const CodeValue value = codeValue(values.pathCode, line);
    if (value.literal)
        return ToPcPath(value.text);
    int number = 0;
    if (!listNumber(value, &number))
        return current;
    if (number == 0)
        return port.workFolder();
    return fromList(values.pathList, number, current);
}

QString RequestProtocol::ResolveFolder(const GeneralValues &values, const QString &current,
                                       const QString &line)
{
    const CodeValue value = codeValue(values.folderCode, line);
    if (value.literal)
        return value.text;
    int number = 0;
    if (!listNumber(value, &number))
        return current;
    if (number == 0)
        return QString();
    return fromList(values.folderList, number, current);
}

QString RequestProtocol::ResolveName(const GeneralValues &values, const QString &line)
{
    // The digits stay text, so leading zeros name O0012, not O12.
    const CodeValue value = codeValue(values.nameCode, line);
    return SafeFileName(value.literal ? value.text : u'O' + value.text);
}

QString RequestProtocol::ResolvePattern(const GeneralValues &values, const QString &line)
{
    const CodeValue value = codeValue(values.nameCode, line);
    QString name = value.literal ? value.text : u'O' + value.text;
    // Matched against the names in one folder: a pattern can never name a path.
    for (QChar &c : name) {
        if (c != u'*' && c != u'?' && IsForbiddenInName(c))
            c = u'_';
    }
    return name;
}

QString RequestProtocol::NameFromProgramLine(const GeneralValues &values, const QString &line)
{
    const qsizetype open = line.indexOf(u'(');
    QString name = line;
    if (open >= 0 && values.nameFromComment) {
        const qsizetype close = line.indexOf(u')');
        name = close > open ? line.mid(open + 1, close - open - 1) : QString();
    } else if (open >= 0) {
        name = line.left(open);
    }
    // A name longer than a file system takes would lose the program as surely as a "/".
    name = SafeFileName(name.left(MaxStoredName));
    if (name.isEmpty())
        name = SafeFileName(line.left(open).trimmed().left(MaxStoredName));
    return name.isEmpty() ? QString::fromLatin1(UnnamedProgram) : name;
}

ProgramTarget RequestProtocol::targetOf(const GeneralValues &values, const QByteArray &buffer) const
{
    ProgramTarget target;
    QString base = withSeparator(m_port.workFolder());
    QString sub;
    QString programLine;
    forEachLine(buffer, [&](int index, QByteArrayView bytes) {
        if (index == 1)
            programLine = NcText::fromBytes(bytes.toByteArray());
        if (index < 2 ||
            (!mayBeCodeLine(bytes, values.pathCode) && !mayBeCodeLine(bytes, values.folderCode)))
            return true;
        const QString line = NcText::fromBytes(bytes.toByteArray());
        if (isCodeLine(values.pathCode, line))
            base = withSeparator(ResolvePath(values, m_port, base, line));
        if (isCodeLine(values.folderCode, line))
            sub = ResolveFolder(values, sub, line);
        return true;
    });
    target.folder = base + sub;
    target.fileName = NameFromProgramLine(values, programLine) + extension();
    return target;
}

ProgramTarget RequestProtocol::TargetOf(const QByteArray &buffer) const
{
    return targetOf(values(), buffer);
}

QString RequestProtocol::KeepFailedTransfer(const QByteArray &buffer, QString *reason) const
{
    const ProgramTarget target = TargetOf(buffer);
    return ProgramFiles::KeepFailed(target.folder, m_fallback, m_port.name(), target.fileName,
                                    buffer, reason);
}

Handling RequestProtocol::HandleBuffer(int device, const QByteArray &buffer)
{
    QByteArray programLine;
    const int seen = forEachLine(buffer, [&](int index, QByteArrayView line) {
        if (index == 1)
            programLine = line.toByteArray();
        return index < 1;
    });
    if (seen < 2)
        return {};
    const GeneralValues values = this->values();
    const QDeadlineTimer answerAt(m_options.answerDelayMs);
    if (NcText::fromBytes(programLine) == u'O' + values.requestNumber) {
        bool ends = false;
        const QStringList lines = BufferLines(NcText::fromBytes(buffer), &ends);
        return HandleProgram(device, lines, ends);
    }
    // The buffer is the stored form already: its lines joined by CR LF, with a final one
    // when the machine ended its text with a line feed.
    Handling h;
    h.kind = Handling::Return;
    const QString code = DeviceCode(device);
    if (isRadio())
        h.entries << SendListEntry::mark(code);
    bool compare = false;
    forEachLine(buffer, [&](int index, QByteArrayView line) {
        compare = index >= 2 && line == QByteArrayView(CompareLine);
        return !compare;
    });
    // A program sent to be compared is read against the stored one, never stored.
    if (compare)
        compareReturn(h, values, code, targetOf(values, buffer),
                      BufferLines(NcText::fromBytes(buffer), nullptr));
    else
        storeReturn(h, values, code, targetOf(values, buffer), buffer);
    if (isRadio())
        h.entries << SendListEntry::mark(DeviceCode(AllDevices));
    delayAnswers(h, answerAt);
    return h;
}

void RequestProtocol::storeReturn(Handling &h, const GeneralValues &values, const QString &code,
                                  const ProgramTarget &target, const QByteArray &bytes) const
{
    if (m_options.holdForReview)
        return holdReturn(h, values, code, target, bytes);
    QString path = withSeparator(target.folder) + target.fileName;
    QString reason;
    const bool folder = ProgramFiles::MakeFolder(target.folder, &reason);
    if (folder && !values.overwrite)
        path = UniqueFileName(path);
    // Written beside the target and renamed: a failed store leaves any old file whole and
    // is never reported as stored.
    // An approved program replaced with overwrite on is kept as a numbered backup first.
    ProgramStore::Result stored;
    if (folder) {
        stored = ProgramStore(m_options.backupLimit).store(path, bytes);
        reason = stored.reason;
    }
    if (folder && stored.outcome != ProgramStore::Result::Failed) {
        h.storedPath = path;
        if (values.saveOkReply)
            h.entries << SendListEntry::success(code, path, values.errorNumber);
        LogEvent event{QStringLiteral("SUCCESS"), code, QStringLiteral("SAVE"), path};
        if (stored.outcome == ProgramStore::Result::Identical)
            event.detail = QStringLiteral("identical");
        else if (!stored.backupPath.isEmpty())
            event.detail = QStringLiteral("old program kept as \"%1\"")
                               .arg(QDir::toNativeSeparators(stored.backupPath));
        else if (!stored.backupProblem.isEmpty())
            h.storeError = stored.backupProblem;
        h.log << event;
        return;
    }
    keepUnstored(h, code, target, path,
                 QStringLiteral("Cannot store the returned program in \"%1\": %2")
                     .arg(QDir::toNativeSeparators(path), reason),
                 bytes);
}

// The program waits beside its target under a name of its own, so requests go on serving
// the approved one; the machine is answered as if it had been stored.
void RequestProtocol::holdReturn(Handling &h, const GeneralValues &values, const QString &code,
                                 const ProgramTarget &target, const QByteArray &bytes) const
{
    const QString path = withSeparator(target.folder) + target.fileName;
    const ReviewQueue::Hold held = ReviewQueue::hold(path, bytes, {m_port.name(), code});
    if (held.outcome == ReviewQueue::Hold::Failed)
        return keepUnstored(
            h, code, target, path,
            QStringLiteral("Cannot hold the returned program for review: %1").arg(held.reason),
            bytes);
    if (values.saveOkReply)
        h.entries << SendListEntry::success(code, path, values.errorNumber);
    LogEvent event{QStringLiteral("SUCCESS"), code, QStringLiteral("SAVE"), path};
    if (held.outcome == ReviewQueue::Hold::Identical) {
        event.detail = QStringLiteral("identical");
        h.storedPath = path;
    } else {
        h.heldPath = held.heldPath;
        const QString as = held.outcome == ReviewQueue::Hold::Held
                               ? QStringLiteral("held for review as \"%1\"")
                               : QStringLiteral("already held for review as \"%1\"");
        event.detail = as.arg(QDir::toNativeSeparators(held.heldPath));
    }
    h.log << event;
}

// Logged as not stored and kept as a failed transfer: nothing a machine returns is lost.
void RequestProtocol::keepUnstored(Handling &h, const QString &code, const ProgramTarget &target,
                                   const QString &path, const QString &problem,
                                   const QByteArray &bytes) const
{
    h.log << LogEvent{QStringLiteral("ERROR"), code, QStringLiteral("SAVE"), path};
    QString keptWhy;
    h.keptPath = ProgramFiles::KeepFailed(target.folder, m_fallback, m_port.name(), target.fileName,
                                          bytes, &keptWhy);
    h.storeError =
        problem + QStringLiteral("; ") +
        (h.keptPath.isEmpty()
             ? QStringLiteral("it could not be kept either: %1").arg(keptWhy)
             : QStringLiteral("it was kept in \"%1\"").arg(QDir::toNativeSeparators(h.keptPath)));
}

Handling RequestProtocol::HandleProgram(int device, const QStringList &lines,
                                        bool endsWithLineBreak)
{
    Handling h;
    if (lines.size() < 2)
        return h;
    const GeneralValues values = m_values ? m_values() : GeneralValues();
    const QDeadlineTimer answerAt(m_options.answerDelayMs);
    const QString code = DeviceCode(device);
    const bool radio = isRadio();
    const QString ext = extension();
    QString base = withSeparator(m_port.workFolder());
    QString sub;
    h.kind = lines.at(1) == u'O' + values.requestNumber ? Handling::Request : Handling::Return;
    if (radio)
        h.entries << SendListEntry::mark(code);

    const bool request = h.kind == Handling::Request;
    const bool listing = request && hasLine(lines, ListLine);
    QString badPath, badFolder; // a path or folder number outside its list, for the reason
    QList<QStringList> asked;   // listing: {folder, pattern} per name line
    for (int i = 2; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line == QLatin1String(ListLine))
            continue;
        if (isCodeLine(values.pathCode, line)) {
            base = withSeparator(ResolvePath(values, m_port, base, line));
            badPath = outOfList(values.pathCode, line, values.pathList);
        }
        if (isCodeLine(values.folderCode, line)) {
            sub = ResolveFolder(values, sub, line);
            badFolder = outOfList(values.folderCode, line, values.folderList);
        }
        if (!request || !isCodeLine(values.nameCode, line))
            continue;
        const QString folder = withSeparator(base + sub);
        const QString noFolder = !badPath.isEmpty() ? badPath : badFolder;
        if (listing) {
            asked << QStringList{folder, ResolvePattern(values, line), noFolder};
            continue;
        }
        // A restart line belongs to the name line before it.
        QString restart;
        for (int j = i + 1; j < lines.size() && !isCodeLine(values.nameCode, lines.at(j)); ++j) {
            if (!RestartOf(lines.at(j)).isEmpty())
                restart = RestartOf(lines.at(j));
        }
        answerName(h, values, code, folder, ResolvePattern(values, line), restart, noFolder);
    }
    // Without a name line the whole folder in force at the end is listed.
    if (listing && asked.isEmpty())
        asked << QStringList{withSeparator(base + sub), QStringLiteral("*"),
                             !badPath.isEmpty() ? badPath : badFolder};
    if (listing)
        answerListing(h, values, code, asked);

    if (h.kind == Handling::Return) {
        ProgramTarget target;
        target.folder = base + sub;
        target.fileName = NameFromProgramLine(values, lines.at(1)) + ext;
        if (hasLine(lines, CompareLine))
            compareReturn(h, values, code, target, lines);
        else
            storeReturn(h, values, code, target, StoredProgram(lines, endsWithLineBreak));
    }

    if (radio)
        h.entries << SendListEntry::mark(DeviceCode(AllDevices));
    // The operator's time runs from the request's end, not from when its answer was ready.
    delayAnswers(h, answerAt);
    return h;
}

void RequestProtocol::errorReply(Handling &h, const GeneralValues &values, const QString &code,
                                 const QString &path, const QString &reason,
                                 const QString &kind) const
{
    LogEvent event{QStringLiteral("ERROR"), code, kind, path};
    event.detail = reason;
    if (!values.readErrorReply)
        return;
    SendListEntry e = SendListEntry::error(code, path, values.errorNumber);
    e.kind = kind;
    if (m_options.errorReasons && !reason.isEmpty())
        e.detail << reason;
    h.entries << e;
    h.log << event;
}

void RequestProtocol::answerName(Handling &h, const GeneralValues &values, const QString &code,
                                 const QString &folder, const QString &name, const QString &restart,
                                 const QString &noFolder) const
{
    const QString ext = extension();
    const QString read = QStringLiteral("READ");
    const QString notFound = !noFolder.isEmpty()         ? QStringLiteral("NO FOLDER ") + noFolder
                             : QFileInfo(folder).isDir() ? QStringLiteral("NOT FOUND")
                                                         : QStringLiteral("NO FOLDER");
    QStringList paths;
    if (IsWildcard(name)) {
        for (const QString &file : MatchingFiles(folder, name, ext))
            paths << folder + file;
        if (paths.size() > MaxWildcardMatches)
            return errorReply(h, values, code, folder + name + ext,
                              QStringLiteral("TOO MANY MATCHES"), read);
    } else if (QFileInfo(folder + SafeFileName(name) + ext).isFile()) {
        paths << folder + SafeFileName(name) + ext;
    }
    if (paths.isEmpty()) {
        const QString shown = IsWildcard(name) ? name : SafeFileName(name);
        return errorReply(h, values, code, folder + shown + ext, notFound, read);
    }
    for (const QString &path : paths) {
        SendListEntry e = SendListEntry::send(code, path);
        LogEvent event{QStringLiteral("SUCCESS"), code, read, path};
        if (!restart.isEmpty()) {
            // Checked now, so a block the program lacks is answered, not silently skipped.
            QFile f(path);
            ProgramFile file;
            if (!f.open(QIODevice::ReadOnly) ||
                !ProgramFileFrom(f.readAll(), restart, &file, nullptr)) {
                errorReply(h, values, code, path,
                           IsoComment(restart) + QStringLiteral(" NOT FOUND"), read);
                continue;
            }
            e.restart = restart;
            event.detail = QStringLiteral("from ") + restart;
        }
        h.entries << e;
        h.log << event;
    }
}

void RequestProtocol::answerListing(Handling &h, const GeneralValues &values, const QString &code,
                                    const QList<QStringList> &asked) const
{
    const QString ext = extension();
    const QString folder = asked.first().at(0);
    const bool all = asked.size() == 1 && asked.first().at(1) == u"*";
    QStringList paths;
    bool missing = false;
    for (const QStringList &w : asked) {
        if (!QFileInfo(w.at(0)).isDir()) {
            missing = true;
            errorReply(h, values, code, w.at(0), (QStringLiteral("NO FOLDER ") + w.at(2)).trimmed(),
                       QStringLiteral("READ"));
            continue;
        }
        for (const QString &file : MatchingFiles(w.at(0), w.at(1), ext))
            paths << w.at(0) + file;
    }
    if (paths.isEmpty() && missing)
        return;
    // An empty folder is listed as such; names that match nothing are not found.
    if (paths.isEmpty() && !all)
        return errorReply(h, values, code, folder, QStringLiteral("NOT FOUND"),
                          QStringLiteral("READ"));
    QStringList lines = ListingLines(paths, ext);
    if (lines.isEmpty())
        lines << QStringLiteral("NO PROGRAMS");
    h.entries << SendListEntry::list(code, folder, values.errorNumber, lines);
    LogEvent event{QStringLiteral("SUCCESS"), code, QStringLiteral("LIST"), folder};
    event.detail = QStringLiteral("%1 programs").arg(paths.size());
    h.log << event;
}

void RequestProtocol::compareReturn(Handling &h, const GeneralValues &values, const QString &code,
                                    const ProgramTarget &target, const QStringList &lines) const
{
    const QString path = withSeparator(target.folder) + target.fileName;
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        LogEvent event{QStringLiteral("ERROR"), code, QStringLiteral("COMPARE"), path};
        event.detail = QStringLiteral("no stored program to compare with");
        h.log << event;
        SendListEntry e = SendListEntry::error(code, path, values.errorNumber);
        e.kind = QStringLiteral("COMPARE");
        if (m_options.errorReasons)
            e.detail << QStringLiteral("NOT FOUND");
        h.entries << e;
        return;
    }
    const Comparison c = CompareLines(lines, TextLines(NcText::fromBytes(f.readAll())),
                                      values.pathCode, values.folderCode);
    QStringList result;
    LogEvent event{QStringLiteral("SUCCESS"), code, QStringLiteral("COMPARE"), path};
    if (c.identical) {
        result << QStringLiteral("IDENTICAL");
        event.detail = QStringLiteral("identical");
    } else {
        result << QStringLiteral("DIFFERS AT LINE %1").arg(c.storedLine)
               << (c.storedText.isNull() ? QStringLiteral("END OF STORED PROGRAM")
                                         : IsoComment(c.storedText));
        event.detail = QStringLiteral("differs at line %1").arg(c.storedLine);
    }
    h.entries << SendListEntry::compare(code, path, values.errorNumber, result);
    h.log << event;
}

void RequestProtocol::delayAnswers(Handling &h, const QDeadlineTimer &at) const
{
    if (m_options.answerDelayMs <= 0)
        return;
    for (SendListEntry &e : h.entries) {
        if (e.verb == SendListEntry::Send || e.isReply()) {
            e.answerAtMs = at.deadline();
            if (!h.log.isEmpty())
                h.log.first().detail +=
                    (h.log.first().detail.isEmpty() ? QString() : QStringLiteral(", ")) +
                    QStringLiteral("answer delayed %1 s").arg(m_options.answerDelayMs / 1000.0);
            return;
        }
    }
}

} // namespace AutoMode
