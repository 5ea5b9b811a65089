#include "automode/RemoteRequests.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace AutoMode
{

namespace
{

bool matches(QStringView name, QStringView pattern)
{
    // Iterative "*" matching with one back-track point: linear enough for 10,000 names.
    qsizetype n = 0, p = 0, star = -1, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            mark = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool ignoredInCompare(const QString &line, const QString &pathCode, const QString &folderCode)
{
    return line == QLatin1String(CompareLine) ||
           (!pathCode.isEmpty() && line.startsWith(u'(' + pathCode)) ||
           (!folderCode.isEmpty() && line.startsWith(u'(' + folderCode));
}

} // namespace

QString RestartOf(const QString &line)
{
    if (!line.startsWith(QLatin1String("(R=")) || !line.endsWith(u')'))
        return QString();
    return line.mid(3, line.size() - 4);
}

bool IsWildcard(const QString &name)
{
    return name.contains(u'*') || name.contains(u'?');
}

QStringList MatchingFiles(const QString &folder, const QString &pattern, const QString &extension)
{
    QStringList out;
    // Unsorted and matched first: a folder of 10,000 programs is read in a few milliseconds,
    // and only the matches are sorted.
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (!name.endsWith(extension))
            continue;
        const QStringView stem = QStringView(name).left(name.size() - extension.size());
        if (matches(stem, pattern))
            out << name;
    }
    // Name order as the control's operator reads it: case does not split O1 from o1.
    std::sort(out.begin(), out.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return out;
}

QString IsoComment(const QString &text)
{
    QString out = text.toUpper();
    for (QChar &c : out) {
        const bool kept = (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u' ' ||
                          c == u'.' || c == u'-' || c == u'/';
        if (!kept)
            c = u'-';
    }
    return out;
}

QStringList ListingLines(const QStringList &paths, const QString &extension)
{
    QStringList lines;
    const qsizetype room = paths.size() > MaxListingLines ? MaxListingLines - 1 : paths.size();
    for (qsizetype i = 0; i < room; ++i) {
        const QFileInfo info(paths.at(i));
        const QString name = info.fileName();
        const QString stem =
            name.endsWith(extension) ? name.left(name.size() - extension.size()) : name;
        lines << IsoComment(QStringLiteral("%1 %2 %3")
                                .arg(stem)
                                .arg(info.size())
                                .arg(info.lastModified().toString(QStringLiteral("yyyy-MM-dd"))));
    }
    if (room < paths.size())
        lines << QStringLiteral("%1 MORE NOT LISTED").arg(paths.size() - room);
    return lines;
}

QStringList TextLines(const QString &text)
{
    QStringView view(text);
    const qsizetype end = view.indexOf(QChar(0x1A));
    if (end >= 0)
        view = view.left(end);
    QStringList lines;
    for (qsizetype from = 0; from < view.size();) {
        qsizetype nl = view.indexOf(u'\n', from);
        const bool last = nl < 0;
        if (last)
            nl = view.size();
        QStringView line = view.mid(from, nl - from);
        if (line.endsWith(u'\r'))
            line.chop(1);
        lines << line.toString();
        from = nl + 1;
    }
    return lines;
}

Comparison CompareLines(const QStringList &returned, const QStringList &stored,
                        const QString &pathCode, const QString &folderCode)
{
    Comparison c;
    qsizetype r = 0, s = 0;
    const auto skip = [&](const QStringList &lines, qsizetype &i) {
        while (i < lines.size() && ignoredInCompare(lines.at(i), pathCode, folderCode))
            ++i;
    };
    for (;;) {
        skip(returned, r);
        skip(stored, s);
        const bool rEnd = r >= returned.size(), sEnd = s >= stored.size();
        if (rEnd && sEnd) {
            c.identical = true;
            return c;
        }
        if (rEnd || sEnd || returned.at(r) != stored.at(s)) {
            c.storedLine = int(s) + 1;
            c.storedText = sEnd ? QString() : stored.at(s);
            return c;
        }
        ++r;
        ++s;
    }
}

} // namespace AutoMode
