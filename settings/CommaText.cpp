#include "settings/CommaText.h"

namespace CommaText
{
namespace
{

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20;
}

bool needsQuotes(const QString &item)
{
    for (QChar c : item) {
        if (isBlankOrControl(c) || c == u',' || c == u'"')
            return true;
    }
    return false;
}

QString quoted(const QString &item)
{
    QString out;
    out.reserve(item.size() + 2);
    out += u'"';
    for (QChar c : item) {
        if (c == u'"')
            out += u'"';
        out += c;
    }
    out += u'"';
    return out;
}

} // namespace

QString write(const QStringList &items)
{
    if (items.size() == 1 && items.first().isEmpty())
        return QStringLiteral("\"\"");
    QString out;
    for (int i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += u',';
        out += needsQuotes(items[i]) ? quoted(items[i]) : items[i];
    }
    return out;
}

QStringList read(const QString &text)
{
    QStringList items;
    const int n = text.size();
    int p = 0;
    auto skipBlanks = [&] {
        while (p < n && isBlankOrControl(text[p]))
            ++p;
    };
    skipBlanks();
    while (p < n) {
        QString item;
        if (text[p] == u'"') {
            ++p;
            while (p < n) {
                if (text[p] == u'"') {
                    if (p + 1 < n && text[p + 1] == u'"') {
                        item += u'"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const int start = p;
            while (p < n && !isBlankOrControl(text[p]) && text[p] != u',')
                ++p;
            item = text.mid(start, p - start);
        }
        items << item;
        skipBlanks();
        if (p < n && text[p] == u',') {
            if (p + 1 == n)
                items << QString();
            ++p;
            skipBlanks();
        }
    }
    return items;
}

} // namespace CommaText
