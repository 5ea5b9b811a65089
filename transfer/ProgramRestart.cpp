#include "transfer/ProgramRestart.h"

#include "settings/NcText.h"

#include <QRegularExpression>

namespace ProgramRestart
{

namespace
{

struct Word {
    QChar letter;
    QString value; // as written, sign and point included
};

// The words of a block, comments and what follows ";" left out.
QList<Word> wordsOf(const QString &line)
{
    QList<Word> words;
    int depth = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'(') {
            ++depth;
            continue;
        }
        if (c == u')') {
            depth = qMax(0, depth - 1);
            continue;
        }
        if (depth > 0)
            continue;
        if (c == u';')
            break;
        const QChar up = c.toUpper();
        if (up < u'A' || up > u'Z')
            continue;
        qsizetype j = i + 1;
        while (j < line.size() && line.at(j) == u' ')
            ++j;
        const qsizetype from = j;
        while (j < line.size() && (line.at(j).isDigit() || line.at(j) == u'.' ||
                                   line.at(j) == u'-' || line.at(j) == u'+'))
            ++j;
        if (j > from) {
            words.append({up, line.mid(from, j - from).remove(u' ')});
            i = j - 1;
        }
    }
    return words;
}

int intOf(const QString &value)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    return ok && v >= 0 && v == int(v) ? int(v) : -1;
}

bool isProgramLine(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(u'O') || t.startsWith(u':');
}

// The state the skipped blocks leave behind, each as the word that set it.
struct State {
    QString units, plane, distance, offset;
    QString toolCall, loadedTool;
    bool changed = false; // an M6 loaded loadedTool
    QString speed, spindle, coolant;

    void take(const QList<Word> &words)
    {
        QString toolHere;
        bool m6 = false;
        for (const Word &w : words) {
            const QString word = w.letter + w.value;
            const int n = intOf(w.value);
            if (w.letter == u'G') {
                if (n == 20 || n == 21)
                    units = word;
                else if (n >= 17 && n <= 19)
                    plane = word;
                else if (n == 90 || n == 91)
                    distance = word;
                else if (n >= 54 && n <= 59 && !w.value.contains(u'.'))
                    offset = word;
            } else if (w.letter == u'T') {
                toolHere = word;
            } else if (w.letter == u'S') {
                speed = word;
            } else if (w.letter == u'M') {
                if (n == 3 || n == 4)
                    spindle = word;
                else if (n == 5)
                    spindle.clear();
                else if (n == 7 || n == 8)
                    coolant = word;
                else if (n == 9)
                    coolant.clear();
                else if (n == 6)
                    m6 = true;
            }
        }
        if (!toolHere.isEmpty())
            toolCall = toolHere;
        if (m6) {
            // The tool an M6 loads: the one in its block, else the one called before it.
            loadedTool = toolCall;
            changed = true;
        }
    }

    QStringList header(const Point &at) const
    {
        QStringList lines{QStringLiteral("(RESTART AT %1)").arg(at.text)};
        const QString modal =
            QStringList{units, plane, distance, offset}.filter(QRegularExpression(".")).join(u' ');
        if (!modal.isEmpty())
            lines << modal;
        // A restart at a tool calls that tool in its own block: the tool before it, its
        // spindle and its coolant would only be switched off again.
        if (at.kind == Point::Tool)
            return lines;
        if (changed && !loadedTool.isEmpty())
            lines << loadedTool + QStringLiteral(" M6");
        else if (!toolCall.isEmpty())
            lines << toolCall;
        const QString spin = QStringList{speed, spindle}.filter(QRegularExpression(".")).join(u' ');
        if (!spin.isEmpty())
            lines << spin;
        if (!coolant.isEmpty())
            lines << coolant;
        return lines;
    }
};

bool isRestartBlock(const QList<Word> &words, const Point &at)
{
    if (at.kind == Point::Block)
        return !words.isEmpty() && words.first().letter == u'N' &&
               intOf(words.first().value) == at.number;
    for (const Word &w : words) {
        if (w.letter == u'T' && !w.value.contains(u'.') && !w.value.contains(u'-') &&
            ToolOf(w.value) == at.number)
            return true;
    }
    return false;
}

} // namespace

int ToolOf(const QString &digits)
{
    bool ok = false;
    const int whole = digits.toInt(&ok, 10);
    if (!ok || whole < 0)
        return -1;
    return digits.size() == 4 ? digits.left(2).toInt() : whole;
}

Point Parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([NnTt])\\s*([0-9]{1,8})\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    Point p;
    if (!m.hasMatch())
        return p;
    p.kind = m.captured(1).toUpper() == u"N" ? Point::Block : Point::Tool;
    p.number = p.kind == Point::Block ? m.captured(2).toInt() : ToolOf(m.captured(2));
    p.text = m.captured(1).toUpper() + QString::number(p.number);
    return p;
}

Result Apply(const QString &program, const Point &at)
{
    Result r;
    if (!at.isValid())
        return r;
    const QString eol =
        program.contains(QStringLiteral("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    // Lines with their own line ends, so the part sent after the header is the file itself.
    QStringList lines;
    for (qsizetype from = 0; from < program.size();) {
        qsizetype end = program.indexOf(u'\n', from);
        end = end < 0 ? program.size() : end + 1;
        lines << program.mid(from, end - from);
        from = end;
    }
    int head = -1; // last line of the head
    for (int i = 0; i < lines.size() && i < 3; ++i) {
        if (isProgramLine(lines.at(i))) {
            head = i;
            break;
        }
    }
    if (head < 0)
        head = !lines.isEmpty() && lines.first().trimmed().startsWith(u'%') ? 0 : -1;
    State state;
    for (int i = head + 1; i < lines.size(); ++i) {
        const QList<Word> words = wordsOf(lines.at(i));
        if (!isRestartBlock(words, at)) {
            state.take(words);
            continue;
        }
        r.found = true;
        r.lineNumber = i + 1;
        r.header = state.header(at);
        QString text;
        for (int k = 0; k <= head; ++k)
            text += lines.at(k);
        if (!text.isEmpty() && !text.endsWith(u'\n'))
            text += eol;
        for (const QString &h : r.header)
            text += h + eol;
        for (int k = i; k < lines.size(); ++k)
            text += lines.at(k);
        r.text = text;
        return r;
    }
    return r;
}

bool FromPoint(const QString &point, const QByteArray &content, QByteArray *out, QString *why)
{
    const Point at = Parse(point);
    if (!at.isValid()) {
        *why = QStringLiteral("\"%1\" is not a block (N1500) or a tool (T5)").arg(point);
        return false;
    }
    QString text = NcText::fromBytes(content);
    const qsizetype end = text.indexOf(QChar(0x1A));
    if (end >= 0)
        text.truncate(end);
    const Result r = Apply(text, at);
    if (!r.found) {
        *why = at.kind == Point::Block
                   ? QStringLiteral("the program has no block %1").arg(at.text)
                   : QStringLiteral("the program never calls tool %1").arg(at.number);
        return false;
    }
    *out = NcText::toBytes(r.text);
    return true;
}

} // namespace ProgramRestart
