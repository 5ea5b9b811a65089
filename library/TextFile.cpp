#include "library/TextFile.h"

#include "settings/NcText.h"

#include <QFile>
#include <QStringDecoder>

namespace TextFile
{

QString decode(const QByteArray &bytes)
{
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(bytes);
    }
    return NcText::fromBytes(bytes);
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

bool readLines(const QString &path, QStringList *lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    *lines = splitLines(decode(bytes));
    return true;
}

static bool isBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

QString commentTitleOfLines(const QStringList &lines)
{
    for (const QString &line : lines) {
        if (!line.contains(u'(') || !line.contains(u')'))
            continue;
        qsizetype b = 0, e = line.size();
        while (b < e && isBlank(line.at(b)))
            ++b;
        while (e > b && isBlank(line.at(e - 1)))
            --e;
        const QStringView trimmed = QStringView(line).mid(b, e - b);
        const qsizetype open = trimmed.indexOf(u'(');
        const qsizetype close = open < 0 ? -1 : trimmed.indexOf(u')', open);
        if (close < 0)
            return {};
        // Only the first qualifying line counts, even when its ")" comes first.
        const QStringView inner = trimmed.mid(open, close - open + 1);
        return inner.size() > 1 ? inner.mid(1, inner.size() - 2).toString() : QString();
    }
    return {};
}

bool readCommentTitle(const QString &path, QString *title)
{
    QStringList lines;
    if (!readLines(path, &lines))
        return false;
    *title = commentTitleOfLines(lines);
    return true;
}

} // namespace TextFile
